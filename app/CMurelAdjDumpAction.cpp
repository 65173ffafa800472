#include "app/CMurelAdjDumpAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjBlockFile.h"
#include "app/MurelAdjEntryPrint.h"
#include "app/MurelAdjJson.h"
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

// Where the results of dump and get go: text lines on standard output as they come, or, with
// --json, one JSON document.
class CEntryOutput {
public:
    CEntryOutput(const CMurelAdjOptions& options, const uint8_t* data, uint32_t length)
        : m_options(options), m_data(data), m_length(length), m_json(stdout) {}

    // The whole block: hex rows, or a document of mode "hex".
    void hexDump() {
        if (m_options.jsonOutput == 0) {
            printHexRows(m_data, m_length);
            return;
        }
        m_json.beginObject();
        writeJsonHead(m_json, "dump", m_options);
        m_json.key("mode");
        m_json.string("hex");
        writeJsonVersion(m_json, m_data);
        m_json.key("hex");
        m_json.hex(m_data, m_length);
        m_json.endObject();
        m_json.finish();
    }

    // The start of a list of entries: nothing in text, the head of the document in JSON.
    void beginEntries(const char* action, bool fromFile) {
        if (m_options.jsonOutput == 0) {
            return;
        }
        m_json.beginObject();
        writeJsonHead(m_json, action, m_options);
        if (m_options.action == MURELADJ_ACTION_DUMP) {
            m_json.key("mode");
            m_json.string("verbose");
        }
        m_json.key("config");
        if (fromFile) {
            m_json.string(m_options.configPath);
        } else {
            m_json.null();
        }
        writeJsonVersion(m_json, m_data);
        m_json.key("entries");
        m_json.beginArray();
    }

    void entry(const CVXString& name, uint32_t offset, const CMurelAdjTypeInfo& type) {
        if (m_options.jsonOutput == 0) {
            printEntryLine(name.c_str(), m_data, m_length, offset, type, m_options.endianness);
        } else {
            writeJsonEntry(m_json, name, m_data, m_length, offset, type, m_options.endianness);
        }
    }

    // A requested name that no entry has (its warning is the action's).
    void notFound(const CVXString& name) { m_notFound.append(name); }

    void endEntries() {
        if (m_options.jsonOutput == 0) {
            return;
        }
        m_json.endArray();
        if (m_options.action != MURELADJ_ACTION_DUMP) {
            m_json.key("not_found");
            m_json.beginArray();
            for (const CVXString& name : m_notFound) {
                m_json.string(name);
            }
            m_json.endArray();
        }
        m_json.endObject();
        m_json.finish();
    }

private:
    const CMurelAdjOptions& m_options;
    const uint8_t* m_data;
    uint32_t m_length;
    CMurelAdjJsonWriter m_json;
    TVXVector<CVXString> m_notFound;
};

} // namespace

// The printing part of execute; everything it prints is on standard output when it returns.
static bool dumpOrGet(CMurelAdjOptions& options) {
    CVXRCMemoryBuffer block(ADJUST_BLOCK_SIZE);
    if (!obtainAdjustBlock(options, block)) {
        return false;
    }
    const uint8_t* data = block.data();
    const uint32_t length = block.size();
    CEntryOutput output(options, data, length);

    if (options.dumpMode != MURELADJ_DUMP_VERBOSE) {
        output.hexDump();
        return true;
    }

    const char* name = options.action == MURELADJ_ACTION_DUMP ? "dump" : "get";
    const bool fromFile = !options.description.isEmpty();

    // The compiled-in tree is built only here, when no description file replaces it.
    TVXVector<TMetaNodePtr> entries;
    const bool found = !fromFile && collectAdjustEntries(entries);

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
            output.beginEntries(name, fromFile);
            for (const CMurelAdjNodeDesc& entry : options.description) {
                output.entry(entry.name, entry.address, entry.type);
            }
            output.endEntries();
            return true;
        }
        if (compiled != stored) {
            CMurelAdjLog::warning(
                "%s: version mismatch, compiled/stored: %u/%u, HEX dump will be provided", name,
                compiled, stored);
            output.hexDump();
            return true;
        }
        if (!entries.isEmpty()) {
            sortNodesById(entries, 0, entries.size() - 1);
        }
        output.beginEntries(name, fromFile);
        for (const TMetaNodePtr& entry : entries) {
            output.entry(entry->name(), adjustEntryOffset(entry->id()), adjustEntryType(*entry));
        }
        output.endEntries();
        return true;
    }

    if (!fromFile && compiled != stored) {
        CMurelAdjLog::error("%s: version mismatch, compiled/stored: %u/%u", name, compiled, stored);
        return false;
    }
    output.beginEntries(name, fromFile);
    for (const CVXString& requested : options.getNames) {
        const int32_t index = fromFile ? findDescIndexByName(requested, options.description)
                                       : findNodeIndexByName(requested, entries);
        if (index < 0) {
            CMurelAdjLog::warning("%s: %s invalid node name, will be ignored", name,
                                  requested.c_str());
            output.notFound(requested);
        } else if (fromFile) {
            const CMurelAdjNodeDesc& entry = options.description[index];
            output.entry(requested, entry.address, entry.type);
        } else {
            const TMetaNodePtr& entry = entries[index];
            output.entry(requested, adjustEntryOffset(entry->id()), adjustEntryType(*entry));
        }
    }
    output.endEntries();
    return true;
}

bool CMurelAdjDumpAction::execute(CMurelAdjOptions& options) {
    const bool result = dumpOrGet(options);
    // The result lines come before the verdict that main writes to standard error.
    fflush(stdout);
    return result;
}
