#pragma once

#include "app/CMurelAdjAction.h"

class CMurelAdjBackupAction final : public CMurelAdjAction {
public:
    bool execute(CMurelAdjOptions& options) override;
};
