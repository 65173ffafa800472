#include "app/CMurelAdjGetverAction.h"

#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjJson.h"
#include "meta/MurelMetaDescription.h"

#include <cstdio>

bool CMurelAdjGetverAction::execute(CMurelAdjOptions& options) {
    CVXRCMemoryBuffer block;
    if (!obtainAdjustBlock(options, block)) {
        return false;
    }
    const uint32_t stored = block.data()[8];
    if (options.jsonOutput != 0) {
        CMurelAdjJsonWriter json(stdout);
        json.beginObject();
        writeJsonHead(json, "getver", options);
        writeJsonVersion(json, block.data());
        json.endObject();
        json.finish();
        return true;
    }
    printf("Compiled version: %hu, stored version: %u\n", NMurelMeta::COMPILED_ADJUST_VERSION,
           stored);
    fflush(stdout);
    return true;
}
