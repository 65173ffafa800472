#include "app/CMurelAdjDumpAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjEntryPrint.h"
#include "app/MurelAdjPageAccess.h"
#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <cstdio>

using NMurelMeta::TMetaNodePtr;

namespace {

// "name=" and the value; an entry that does not lie inside the block is reported and printed empty.
void printEntryLine(const char* name, const uint8_t* data, uint32_t length, uint32_t offset,
                    const CMurelAdjTypeInfo& type, uint32_t endianness) {
    printf("%s=", name);
    const uint64_t end = static_cast<uint64_t>(offset) +
                         static_cast<uint64_t>(type.size) * static_cast<uint64_t>(type.count);
    if (end > length) {
        VXAssertionFailed(__LINE__, "CMurelAdjDumpAction", "Entry outside the adjust block.");
        putchar('\n');
        return;
    }
    printEntryValue(data + offset, type, endianness);
}

} // namespace

// The printing part of execute; everything it prints is on standard output when it returns.
static bool dumpOrGet(CMurelAdjOptions& options) {
    CVXRCMemoryBuffer block(ADJUST_BLOCK_SIZE);
    if (!getAdjustBlock(options.pagePath, options.pageLockPath, block)) {
        return false;
    }
    const uint8_t* data = block.data();
    const uint32_t length = block.size();

    if (options.dumpMode != MURELADJ_DUMP_VERBOSE) {
        printHexRows(data, length);
        return true;
    }

    const char* name = options.action == MURELADJ_ACTION_DUMP ? "dump" : "get";
    const bool fromFile = !options.description.isEmpty();

    // The compiled-in tree is built only here, when no description file replaces it.
    TMetaNodePtr adjustBlock;
    TVXVector<TMetaNodePtr> entries;
    bool found = false;
    if (!fromFile) {
        TMetaNodePtr root;
        NMurelMeta::getRootNode(root);
        if (NMurelMeta::findRegisteredNode(root.get(), NMurelMeta::ADJUST_BLOCK_DATA_ID,
                                           adjustBlock)) {
            const uint32_t mask = NMurelMeta::AdjNode;
            found = NMurelMeta::collectNodes(adjustBlock.get(), false, &mask, entries);
        }
        root.release();
    }

    const uint32_t compiled = NMurelMeta::COMPILED_ADJUST_VERSION;
    uint32_t stored = 0xFFFF;
    if (length > 8) {
        stored = data[8];
    }

    if (!fromFile && !found) {
        CMurelAdjLog::error("%s: adjust configuration not found", name);
        return false;
    }

    if (options.action == MURELADJ_ACTION_DUMP) {
        if (fromFile) {
            for (const CMurelAdjNodeDesc& entry : options.description) {
                printEntryLine(entry.name.c_str(), data, length, entry.address, entry.type,
                               options.endianness);
            }
            return true;
        }
        if (compiled != stored) {
            CMurelAdjLog::warning(
                "%s: version mismatch, compiled/stored: %u/%u, HEX dump will be provided", name,
                compiled, stored);
            printHexRows(data, length);
            return true;
        }
        if (!entries.isEmpty()) {
            sortNodesById(entries, 0, entries.size() - 1);
        }
        for (const TMetaNodePtr& entry : entries) {
            printEntryLine(entry->name().c_str(), data, length, adjustEntryOffset(entry->id()),
                           adjustEntryType(*entry), options.endianness);
        }
        return true;
    }

    if (!fromFile && compiled != stored) {
        CMurelAdjLog::error("%s: version mismatch, compiled/stored: %u/%u", name, compiled, stored);
        return false;
    }
    for (const CVXString& requested : options.getNames) {
        if (fromFile) {
            const int32_t index = findDescIndexByName(requested, options.description);
            if (index < 0) {
                CMurelAdjLog::warning("%s: %s invalid node name, will be ignored", name,
                                      requested.c_str());
                continue;
            }
            const CMurelAdjNodeDesc& entry = options.description[index];
            printEntryLine(requested.c_str(), data, length, entry.address, entry.type,
                           options.endianness);
        } else {
            const int32_t index = findNodeIndexByName(requested, entries);
            if (index < 0) {
                CMurelAdjLog::warning("%s: %s invalid node name, will be ignored", name,
                                      requested.c_str());
                continue;
            }
            const TMetaNodePtr& entry = entries[index];
            printEntryLine(requested.c_str(), data, length, adjustEntryOffset(entry->id()),
                           adjustEntryType(*entry), options.endianness);
        }
    }
    return true;
}

bool CMurelAdjDumpAction::execute(CMurelAdjOptions& options) {
    const bool result = dumpOrGet(options);
    // The result lines come before the verdict that main writes to standard error.
    fflush(stdout);
    return result;
}
