#include "app/CMurelAdjDiffAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjEntryPrint.h"
#include "app/MurelAdjJson.h"
#include "app/MurelAdjTypes.h"
#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <cstdio>
#include <cstring>

using NMurelMeta::TMetaNodePtr;

namespace {

constexpr const char* ACTION_NAME = "diff";

// An entry of the description in use; its name belongs to the description.
struct CDiffEntry {
    const CVXString* name;
    uint32_t offset;
    CMurelAdjTypeInfo type;
};

// One line of the comparison: a differing entry, or a run of differing bytes outside every entry
// (entry null).
struct CDifference {
    const CDiffEntry* entry;
    uint32_t offset;
    uint32_t size;
};

// Bytes of an entry; an entry reaching past the block is reported and compared as empty.
uint32_t entryByteCount(const CDiffEntry& entry) {
    const uint64_t size =
        static_cast<uint64_t>(entry.type.size) * static_cast<uint64_t>(entry.type.count);
    if (entry.offset + size > ADJUST_BLOCK_SIZE) {
        VXAssertionFailed(__LINE__, "CMurelAdjDiffAction", "Entry outside the adjust block.");
        return 0;
    }
    return static_cast<uint32_t>(size);
}

// The differences in block order: differing entries in description order (ascending offset), and
// before each the runs of differing uncovered bytes that start ahead of it.
void compareBlocks(const uint8_t* current, const uint8_t* reference,
                   const TVXVector<CDiffEntry>& entries, TVXVector<CDifference>& differences) {
    bool covered[ADJUST_BLOCK_SIZE] = {};
    for (const CDiffEntry& entry : entries) {
        memset(covered + entry.offset, 1, entryByteCount(entry));
    }
    TVXVector<CDifference> runs;
    for (uint32_t i = 0; i < ADJUST_BLOCK_SIZE; ++i) {
        if (covered[i] || current[i] == reference[i]) {
            continue;
        }
        if (!runs.isEmpty() && runs[runs.size() - 1].offset + runs[runs.size() - 1].size == i) {
            ++runs[runs.size() - 1].size;
        } else {
            runs.append({nullptr, i, 1});
        }
    }
    int32_t run = 0;
    for (const CDiffEntry& entry : entries) {
        const uint32_t size = entryByteCount(entry);
        if (memcmp(current + entry.offset, reference + entry.offset, size) == 0) {
            continue;
        }
        for (; run < runs.size() && runs[run].offset < entry.offset; ++run) {
            differences.append(runs[run]);
        }
        differences.append({&entry, entry.offset, size});
    }
    for (; run < runs.size(); ++run) {
        differences.append(runs[run]);
    }
}

void printDifferences(const uint8_t* current, const uint8_t* reference,
                      const TVXVector<CDifference>& differences, uint32_t endianness) {
    uint8_t bytes[ADJUST_BLOCK_SIZE];
    char referenceHex[2 * ADJUST_BLOCK_SIZE + 1];
    char currentHex[2 * ADJUST_BLOCK_SIZE + 1];
    for (const CDifference& difference : differences) {
        if (difference.entry != nullptr) {
            const CMurelAdjTypeInfo& type = difference.entry->type;
            uint32_t count =
                entryBytesInPrintOrder(reference + difference.offset, type, endianness, bytes);
            formatHexBytes(bytes, count, referenceHex);
            count = entryBytesInPrintOrder(current + difference.offset, type, endianness, bytes);
            formatHexBytes(bytes, count, currentHex);
            printf("%s: %s -> %s\n", difference.entry->name->c_str(), referenceHex, currentHex);
        } else {
            formatHexBytes(reference + difference.offset, difference.size, referenceHex);
            formatHexBytes(current + difference.offset, difference.size, currentHex);
            printf("bytes %u-%u: %s -> %s\n", difference.offset,
                   difference.offset + difference.size - 1, referenceHex, currentHex);
        }
    }
    if (differences.isEmpty()) {
        fputs("identical\n", stdout);
    } else {
        printf("%d differences\n", differences.size());
    }
}

void writeDiffDocument(const CMurelAdjOptions& options, const uint8_t* current,
                       const uint8_t* reference, bool byEntries,
                       const TVXVector<CDifference>& differences) {
    CMurelAdjJsonWriter json(stdout);
    json.beginObject();
    writeJsonHead(json, ACTION_NAME, options);
    json.key("reference");
    json.beginObject();
    json.key("file");
    json.string(options.filePath);
    json.endObject();
    json.key("mode");
    json.string(byEntries ? "entries" : "bytes");
    json.key("config");
    if (options.description.isEmpty()) {
        json.null();
    } else {
        json.string(options.configPath);
    }
    writeJsonVersion(json, current, reference);
    json.key("differences");
    json.beginArray();
    for (const CDifference& difference : differences) {
        json.beginObject();
        json.key("kind");
        const CDiffEntry* entry = difference.entry;
        json.string(entry != nullptr ? "entry" : "bytes");
        if (entry != nullptr) {
            json.key("name");
            json.string(*entry->name);
        }
        json.key("offset");
        json.number(difference.offset);
        json.key("size");
        json.number(difference.size);
        if (entry != nullptr) {
            json.key("type");
            json.string(entry->type.typeName);
            json.key("count");
            json.number(entry->type.count);
        }
        const uint8_t* const sides[2] = {reference, current};
        const char* const sideNames[2] = {"reference", "current"};
        for (int side = 0; side < 2; ++side) {
            json.key(sideNames[side]);
            json.beginObject();
            if (entry != nullptr) {
                writeJsonEntryValue(json, sides[side] + difference.offset, entry->type,
                                    options.endianness);
            } else {
                json.key("hex");
                json.hex(sides[side] + difference.offset, difference.size);
            }
            json.endObject();
        }
        json.endObject();
    }
    json.endArray();
    json.key("identical");
    json.boolean(differences.isEmpty());
    json.endObject();
    json.finish();
}

} // namespace

bool CMurelAdjDiffAction::execute(CMurelAdjOptions& options) {
    CVXRCMemoryBuffer current(ADJUST_BLOCK_SIZE);
    if (!obtainAdjustBlock(options, current)) {
        return false;
    }
    CVXRCMemoryBuffer reference;
    if (!readAdjustBlockFile(options.filePath, reference)) {
        return false;
    }

    // The entries of the description file, or of the compiled-in description when both blocks
    // carry its layout version; otherwise none, and every byte is compared on its own.
    TVXVector<TMetaNodePtr> nodes;
    TVXVector<CDiffEntry> entries;
    bool byEntries = true;
    if (!options.description.isEmpty()) {
        for (const CMurelAdjNodeDesc& entry : options.description) {
            entries.append({&entry.name, entry.address, entry.type});
        }
    } else {
        if (!collectAdjustEntries(nodes)) {
            CMurelAdjLog::error("%s: adjust configuration not found", ACTION_NAME);
            return false;
        }
        const uint32_t compiled = NMurelMeta::COMPILED_ADJUST_VERSION;
        const uint32_t stored =
            current.data()[8] != compiled ? current.data()[8] : reference.data()[8];
        if (stored != compiled) {
            CMurelAdjLog::warning(
                "%s: version mismatch, compiled/stored: %u/%u, HEX dump will be provided",
                ACTION_NAME, compiled, stored);
            byEntries = false;
        } else {
            sortNodesById(nodes, 0, nodes.size() - 1);
            entries.reserve(static_cast<uint32_t>(nodes.size()));
            for (const TMetaNodePtr& node : nodes) {
                entries.append(
                    {&node->name(), adjustEntryOffset(node->id()), adjustEntryType(*node)});
            }
        }
    }

    TVXVector<CDifference> differences;
    compareBlocks(current.data(), reference.data(), entries, differences);
    if (options.jsonOutput != 0) {
        writeDiffDocument(options, current.data(), reference.data(), byEntries, differences);
    } else {
        printDifferences(current.data(), reference.data(), differences, options.endianness);
        fflush(stdout);
    }
    return differences.isEmpty();
}
