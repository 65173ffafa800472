// Abstract action: main creates the actions, runs each at most once and destroys it after its turn.
#pragma once

struct CMurelAdjOptions;

class CMurelAdjAction {
public:
    CMurelAdjAction() = default;
    CMurelAdjAction(const CMurelAdjAction&) = delete;
    CMurelAdjAction& operator=(const CMurelAdjAction&) = delete;
    virtual ~CMurelAdjAction() = default;
    // Runs the action; true on success. Failures are logged by the action itself.
    virtual bool execute(CMurelAdjOptions& options) = 0;
};
