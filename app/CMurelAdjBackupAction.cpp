#include "app/CMurelAdjBackupAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjJson.h"
#include "app/MurelAdjTypes.h"

#include <cstdio>

bool CMurelAdjBackupAction::execute(CMurelAdjOptions& options) {
    CVXRCMemoryBuffer block(ADJUST_BLOCK_SIZE);
    if (!obtainAdjustBlock(options, block)) {
        return false;
    }
    if (!writeAdjustBlockFile(options.filePath, block)) {
        return false;
    }
    if (options.fromPath.isEmpty()) {
        CMurelAdjLog::info("backup: %s data block successfully saved to '%s'", "MurelPage",
                           options.filePath.c_str());
    } else {
        CMurelAdjLog::info("backup: '%s' data block successfully saved to '%s'",
                           options.fromPath.c_str(), options.filePath.c_str());
    }
    if (options.jsonOutput != 0) {
        CMurelAdjJsonWriter json(stdout);
        json.beginObject();
        writeJsonHead(json, "backup", options);
        json.key("file");
        json.string(options.filePath);
        json.key("bytes");
        json.number(block.size());
        json.endObject();
        json.finish();
    }
    return true;
}
