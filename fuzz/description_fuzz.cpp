// Fuzz target: a description file (the input) through the --config action, and each of its plain
// ASCII lines through both data-line checkers, which must agree. A file that fails keeps the list
// as it was; a file that passes yields only entries that keep every rule, at distinct addresses.
#include "app/CMurelAdjConfigAction.h"
#include "app/CMurelAdjOptions.h"
#include "fuzz/FuzzSupport.h"
#include "meta/MurelAdjDescription.h"
#include "meta/MurelAdjDescriptionLine.h"

#include <cstring>
#include <sys/mman.h>
#include <vector>

namespace {

// Inside the 2036-byte block behind its 12-byte header, a full entry name and a value of two
// upper-case hex digits per byte.
void expectValid(const CMurelAdjNodeDesc& node) {
    const uint64_t bytes = uint64_t{node.type.size} * node.type.count;
    FUZZ_EXPECT(bytes > 0);
    FUZZ_EXPECT(node.address >= 12 && node.address + bytes <= 2036);
    FUZZ_EXPECT(isFullEntryName(node.name));
    FUZZ_EXPECT(node.value.byteLength() == 2 * bytes &&
                strspn(node.value.c_str(), "0123456789ABCDEF") == 2 * bytes);
}

void checkLine(const char* bytes, uint32_t length) {
    CVXString line(bytes, length);
    line.trim();
    if (line.isEmpty() || !isPlainAsciiText(bytes, length) ||
        classifyDescriptionLine(line) != MURELADJ_LINE_DATA) {
        return;
    }
    // A copy of exactly the line's size for the byte-wise checker.
    const std::vector<char> exact(line.c_str(), line.c_str() + line.byteLength());
    CMurelAdjNodeDesc asBytes;
    CMurelAdjNodeDesc asText;
    const bool valid = parseAsciiDescriptionDataLine(exact.data(), line.byteLength(), asBytes);
    FUZZ_EXPECT(valid == parseTextDescriptionDataLine(line, asText));
    if (valid) {
        FUZZ_EXPECT(asBytes.name == asText.name && asBytes.value == asText.value &&
                    asBytes.address == asText.address && asBytes.type.count == asText.type.count &&
                    asBytes.type.typeName == asText.type.typeName);
        expectValid(asBytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A memory file: nothing is left on disk.
    static const std::string path =
        "/proc/self/fd/" + std::to_string(memfd_create("description", MFD_CLOEXEC));
    fuzzWriteFile(path, data, size);
    const char* const text = reinterpret_cast<const char*>(data);
    for (size_t start = 0, end = 0; end < size; ++end) {
        if (text[end] == '\n') {
            checkLine(text + start, static_cast<uint32_t>(end - start));
            start = end + 1;
        }
    }

    CMurelAdjOptions options;
    options.configPath = CVXString(path.c_str());
    CMurelAdjNodeDesc previous;
    previous.name = "E2P.Previous.Entry";
    FUZZ_EXPECT(options.description.insert(previous));
    const bool parsed = CMurelAdjConfigAction().execute(options);
    const CMurelAdjDescription& nodes = options.description;
    if (!parsed) {
        FUZZ_EXPECT(nodes.size() == 1 && nodes[0].name == previous.name);
        return 0;
    }
    // Equal addresses are refused.
    FUZZ_EXPECT(nodes.size() > 0);
    for (int32_t index = 0; index < nodes.size(); ++index) {
        expectValid(nodes[index]);
        for (int32_t other = 0; other < index; ++other) {
            FUZZ_EXPECT(nodes[other].address != nodes[index].address);
        }
    }
    return 0;
}
