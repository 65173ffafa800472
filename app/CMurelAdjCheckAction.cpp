#include "app/CMurelAdjCheckAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjCrc.h"

bool CMurelAdjCheckAction::execute(CMurelAdjOptions& options) {
    static const char* const ACTION_NAME = "check";

    CVXRCMemoryBuffer block;
    if (!obtainAdjustBlock(options, block)) {
        return false;
    }

    const uint8_t* data = block.data();
    const uint32_t length = block.size();
    uint32_t storedCrc = 0;
    uint32_t calculatedCrc = 0;
    int32_t result = getStoredCrc(data, length, &storedCrc);
    if (result != MURELADJ_CRC_OK) {
        CMurelAdjLog::error("%s: CRC getting failed, res: %d", ACTION_NAME, result);
        return false;
    }
    result = calculateCrc(data, length, &calculatedCrc);
    if (result != MURELADJ_CRC_OK) {
        CMurelAdjLog::error("%s: CRC calculation failed, res: %d", ACTION_NAME, result);
        return false;
    }
    if (storedCrc == calculatedCrc) {
        CMurelAdjLog::info("%s: stored CRC: %08X, calculated CRC: %08X", ACTION_NAME, storedCrc,
                           calculatedCrc);
        return true;
    }
    CMurelAdjLog::warning("%s: stored CRC: %08X, calculated CRC: %08X", ACTION_NAME, storedCrc,
                          calculatedCrc);
    return false;
}
