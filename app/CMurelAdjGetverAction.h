#pragma once

#include "app/CMurelAdjAction.h"

class CMurelAdjGetverAction final : public CMurelAdjAction {
public:
    bool execute(CMurelAdjOptions& options) override;
};
