// Fuzz target: the description-file parser. The input is the contents of a description file; it is
// parsed through the description-file action (the path of a memory file as --config names it), and
// every line on its own through both ways of checking a data line (as bytes and as a string), which
// must agree on plain ASCII lines. Expectations: a clean result or a clean failure, a previous list
// kept on failure, and only entries that satisfy every rule on success.
#include "app/CMurelAdjConfigAction.h"
#include "app/CMurelAdjOptions.h"
#include "fuzz/FuzzSupport.h"
#include "meta/MurelAdjDescription.h"
#include "meta/MurelAdjDescriptionLine.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t BLOCK_SIZE = 2036;
constexpr uint32_t FIRST_ENTRY_BYTE = 12;

CFuzzMemoryFile* s_file = nullptr;

bool isUpperHex(const CVXString& text) {
    for (const char* at = text.c_str(); *at != '\0'; ++at) {
        if (!((*at >= '0' && *at <= '9') || (*at >= 'A' && *at <= 'F'))) {
            return false;
        }
    }
    return true;
}

uint32_t elementSize(const CVXString& typeName) {
    static const struct {
        const char* name;
        uint32_t size;
    } types[] = {{"INT8", 1},  {"UINT8", 1},  {"INT16", 2}, {"UINT16", 2},
                 {"INT32", 4}, {"UINT32", 4}, {"INT64", 8}, {"UINT64", 8}};
    for (const auto& type : types) {
        if (strcmp(typeName.c_str(), type.name) == 0) {
            return type.size;
        }
    }
    return 0;
}

// Every rule of a data line holds for a parsed node.
void expectValidNode(const CMurelAdjNodeDesc& node) {
    FUZZ_EXPECT(node.address >= FIRST_ENTRY_BYTE && node.address < BLOCK_SIZE);
    FUZZ_EXPECT(node.type.size == elementSize(node.type.typeName) && node.type.size != 0);
    FUZZ_EXPECT(node.type.count > 0);
    const uint64_t bytes = uint64_t{node.type.size} * node.type.count;
    FUZZ_EXPECT(node.address + bytes <= BLOCK_SIZE);
    FUZZ_EXPECT(isFullEntryName(node.name));
    FUZZ_EXPECT(node.value.byteLength() == 2 * bytes && isUpperHex(node.value));
    FUZZ_EXPECT(node.name.byteLength() == strlen(node.name.c_str()));
}

bool sameNode(const CMurelAdjNodeDesc& first, const CMurelAdjNodeDesc& second) {
    return first.name == second.name && first.value == second.value &&
           first.address == second.address && first.type.typeName == second.type.typeName &&
           first.type.size == second.type.size && first.type.count == second.type.count;
}

// A plain ASCII line: the byte-wise check and the string check agree on the outcome and the node.
void checkLineBothWays(const char* bytes, uint32_t length) {
    if (length == 0 || !isPlainAsciiText(bytes, length)) {
        return;
    }
    const char* first = bytes;
    const char* last = bytes + length;
    while (first < last && isDescriptionSpace(*first)) {
        ++first;
    }
    while (last > first && isDescriptionSpace(last[-1])) {
        --last;
    }
    const uint32_t trimmedLength = static_cast<uint32_t>(last - first);
    CVXString text(bytes, length);
    text.trim();
    FUZZ_EXPECT(text.byteLength() == trimmedLength);
    if (classifyDescriptionLine(text) != MURELADJ_LINE_DATA) {
        return;
    }
    CMurelAdjNodeDesc asBytes;
    CMurelAdjNodeDesc asText;
    const bool bytesValid = parseAsciiDescriptionDataLine(first, trimmedLength, asBytes);
    const bool textValid = parseTextDescriptionDataLine(text, asText);
    FUZZ_EXPECT(bytesValid == textValid);
    if (bytesValid) {
        FUZZ_EXPECT(sameNode(asBytes, asText));
        expectValidNode(asBytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzzQuietProcess();
    s_file = new CFuzzMemoryFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1u << 20 || !s_file->assign(data, size)) {
        return 0;
    }
    // Lines on their own (the last line only when a line feed ends it).
    const char* const text = reinterpret_cast<const char*>(data);
    size_t lineStart = 0;
    for (size_t at = 0; at < size; ++at) {
        if (data[at] == '\n') {
            checkLineBothWays(text + lineStart, static_cast<uint32_t>(at - lineStart));
            lineStart = at + 1;
        }
    }

    // The whole file through the action, over a list that must survive a failure.
    CMurelAdjOptions options;
    options.configPath = CVXString(s_file->path().c_str());
    CMurelAdjNodeDesc previous;
    previous.name = "E2P.Previous.Entry";
    previous.address = FIRST_ENTRY_BYTE;
    FUZZ_EXPECT(options.description.insert(previous));

    CMurelAdjConfigAction action;
    const bool parsed = action.execute(options);
    if (!parsed) {
        FUZZ_EXPECT(options.description.size() == 1);
        FUZZ_EXPECT(options.description[0].name == previous.name);
        return 0;
    }
    const CMurelAdjDescription& nodes = options.description;
    FUZZ_EXPECT(nodes.size() > 0);
    // Only a data line ended by a line feed yields a node: at most one node per line feed.
    FUZZ_EXPECT(static_cast<size_t>(nodes.size()) <=
                static_cast<size_t>(std::count(data, data + size, '\n')));
    bool namesDistinct = true;
    for (int32_t index = 0; index < nodes.size(); ++index) {
        expectValidNode(nodes[index]);
        for (int32_t other = 0; other < index; ++other) {
            // Equal addresses are always refused; a repeated name is caught only next to its twin.
            FUZZ_EXPECT(nodes[other].address != nodes[index].address);
            namesDistinct = namesDistinct && nodes[other].name != nodes[index].name;
        }
    }
    if (namesDistinct) {
        for (int32_t index = 1; index < nodes.size(); ++index) {
            FUZZ_EXPECT(nodes[index - 1].address < nodes[index].address);
        }
    }
    return 0;
}
