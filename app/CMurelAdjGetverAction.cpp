#include "app/CMurelAdjGetverAction.h"

#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "meta/MurelMetaDescription.h"

#include <cstdio>

bool CMurelAdjGetverAction::execute(CMurelAdjOptions& options) {
    CVXRCMemoryBuffer block;
    if (!obtainAdjustBlock(options, block)) {
        return false;
    }
    const uint32_t stored = block.data()[8];
    printf("Compiled version: %hu, stored version: %u\n", NMurelMeta::COMPILED_ADJUST_VERSION,
           stored);
    fflush(stdout);
    return true;
}
