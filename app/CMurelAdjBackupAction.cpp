#include "app/CMurelAdjBackupAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjPageAccess.h"

bool CMurelAdjBackupAction::execute(CMurelAdjOptions& options) {
    CVXRCMemoryBuffer block(ADJUST_BLOCK_SIZE);
    if (!getAdjustBlock(options.pagePath, options.pageLockPath, block)) {
        return false;
    }
    if (!writeAdjustBlockFile(options.filePath, block)) {
        return false;
    }
    CMurelAdjLog::info("backup: %s data block successfully saved to '%s'", "MurelPage",
                       options.filePath.c_str());
    return true;
}
