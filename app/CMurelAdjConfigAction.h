#pragma once

#include "app/CMurelAdjAction.h"

class CMurelAdjConfigAction final : public CMurelAdjAction {
public:
    bool execute(CMurelAdjOptions& options) override;
};
