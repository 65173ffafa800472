#pragma once

#include "app/CMurelAdjAction.h"

class CMurelAdjDumpAction final : public CMurelAdjAction {
public:
    bool execute(CMurelAdjOptions& options) override;
};
