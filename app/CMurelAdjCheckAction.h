#pragma once

#include "app/CMurelAdjAction.h"

class CMurelAdjCheckAction final : public CMurelAdjAction {
public:
    bool execute(CMurelAdjOptions& options) override;
};
