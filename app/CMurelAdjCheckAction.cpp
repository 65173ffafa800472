#include "app/CMurelAdjCheckAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjCrc.h"
#include "app/MurelAdjJson.h"

#include <cstdio>

namespace {

void writeCheckDocument(const CMurelAdjOptions& options, uint32_t storedCrc,
                        uint32_t calculatedCrc) {
    CMurelAdjJsonWriter json(stdout);
    json.beginObject();
    writeJsonHead(json, "check", options);
    json.key("crc");
    json.beginObject();
    char text[9];
    snprintf(text, sizeof(text), "%08X", storedCrc);
    json.key("stored");
    json.string(text);
    snprintf(text, sizeof(text), "%08X", calculatedCrc);
    json.key("calculated");
    json.string(text);
    json.endObject();
    json.key("match");
    json.boolean(storedCrc == calculatedCrc);
    json.endObject();
    json.finish();
}

} // namespace

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
    if (options.jsonOutput != 0) {
        writeCheckDocument(options, storedCrc, calculatedCrc);
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
