// Fuzz target: the page client's lookups on a private copy of a page. Byte 0: the number of queries
// (low 3 bits), 6 bytes each (item id, expected version); then the page, cut or zero-padded to 8192
// bytes. Every version and item read gives the result, length and bytes of the layout below.
#include "fuzz/FuzzSupport.h"
#include "murelpage/MurelPageGet.h"
#include "murelpage/murelpagegetsh.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t PAGE = MURELPAGE_SIZE;

uint32_t read(const uint8_t* bytes, size_t size) {
    uint32_t value = 0;
    memcpy(&value, bytes, size);
    return value;
}

struct CItem {
    MurelPageGet_EResult result;
    uint64_t start = 0; // in the page
    uint64_t size = 0;
    uint16_t version = 0;
};

// Byte 0 is the format, bytes 1-2 the directory length, then 6-byte entries (id, size) and the
// entries' data one after the other. Bits 31-30 of an id give its kind: 0 a value (the first entry
// of that id: a 2-byte version, then the bytes), 1 a field of the value whose id is in bits 28-23
// (at offset 22-11 behind its version; bits 10-0 its size when bit 29 is set, else 1 byte), 2 a
// piece of the first region (offset 29-16, size 15-0; the version is its byte 8), 3 a whole entry.
CItem layout(const uint8_t* page, uint32_t id) {
    const uint32_t kind = id >> 30;
    const uint32_t directory = read(page + 1, 2);
    if (3 + directory > PAGE) {
        return {MurelPageGet_ERROR_INIT_SYSPAGE};
    }
    uint64_t at = 3 + directory;
    for (uint32_t entry = 0; entry < directory / 6; ++entry) {
        const uint32_t entryId = read(page + 3 + 6 * entry, 4);
        const uint32_t size = read(page + 7 + 6 * entry, 2);
        if (kind == 1   ? entryId != ((id >> 23) & 0x3Fu)
            : kind == 2 ? entryId >> 30 != 2
                        : entryId != id) {
            at += size;
            continue;
        }
        CItem item{MurelPageGet_OK, at, size};
        uint64_t head = size; // bytes from at that must lie in the page
        if (kind == 0) {
            item.start = at + 2;
            item.size = size < 2 ? 0 : size - 2;
        } else if (kind == 1) {
            item.start = at + 2 + ((id >> 11) & 0xFFFu);
            item.size = (id & (1u << 29)) != 0 ? id & 0x7FFu : 1;
            head = 2;
        } else if (kind == 2) {
            item.start = at + ((id >> 16) & 0x3FFFu);
            item.size = id & 0xFFFFu;
            head = 9;
        }
        if ((kind == 0 && size < 2) || at + head > PAGE || item.start + item.size > PAGE) {
            item.result = MurelPageGet_ERROR_INIT_SYSPAGE;
        } else if (kind < 2) {
            item.version = static_cast<uint16_t>(read(page + at, 2));
        } else if (kind == 2) {
            item.version = page[at + 8];
        }
        return item;
    }
    return {MurelPageGet_INVALID_ID};
}

void checkItem(const uint8_t* page, uint32_t id, uint16_t expected) {
    const CItem item = layout(page, id);
    const MurelPageGet_EResult found =
        page[0] == 1 ? item.result : MurelPageGet_PAGE_VERSION_MISMATCH;
    uint16_t version = 0xFFFF;
    FUZZ_EXPECT(MurelPageGetSh_getDataVersion(id, &version) == found);
    FUZZ_EXPECT(found != MurelPageGet_OK || version == item.version);

    for (const uint16_t tried : {item.version, expected}) {
        // A region's version must be equal, a value's in its high byte; a whole entry has none.
        const uint32_t kind = id >> 30;
        const bool fits =
            kind == 3 || (kind == 2 ? item.version == tried : item.version >> 8 == tried >> 8);
        for (const uint32_t bufferSize : {2036u, PAGE}) {
            const MurelPageGet_EResult result = found != MurelPageGet_OK ? found
                                                : !fits ? MurelPageGet_ITEM_VERSION_MISMATCH
                                                : item.size > bufferSize ? MurelPageGet_INVALID_SIZE
                                                                         : MurelPageGet_OK;
            std::vector<uint8_t> buffer(bufferSize, 0xA5);
            uint32_t length = 0;
            FUZZ_EXPECT(MurelPageGetSh_getBuffer(id, tried, buffer.data(), bufferSize, &length) ==
                        result);
            const bool sized = result == MurelPageGet_OK || result == MurelPageGet_INVALID_SIZE;
            FUZZ_EXPECT(length == (sized ? item.size : 0));
            FUZZ_EXPECT(result == MurelPageGet_OK
                            ? memcmp(buffer.data(), page + item.start, item.size) == 0 &&
                                  (item.size == bufferSize || buffer[item.size] == 0xA5)
                            : buffer[0] == 0xA5);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t queries = size == 0 ? 0 : data[0] & 7u;
    if (size < 1 + 6 * queries) {
        return 0;
    }
    std::vector<uint8_t> page(PAGE, 0);
    memcpy(page.data(), data + 1 + 6 * queries, std::min<size_t>(size - 1 - 6 * queries, PAGE));
    FUZZ_EXPECT(MurelPageGetSh_loadCopyForTesting(page.data()) ==
                (page[0] == 1 ? MurelPageGet_OK : MurelPageGet_ERROR_INIT_SYSPAGE));

    checkItem(page.data(), 0x800007F4u, 2); // the adjust block
    for (size_t query = 0; query < queries; ++query) {
        checkItem(page.data(), read(data + 1 + 6 * query, 4), read(data + 5 + 6 * query, 2));
    }
    // The first twelve entries.
    const uint32_t entries = std::min(read(page.data() + 1, 2) / 6, 12u);
    for (uint32_t entry = 0; entry < entries; ++entry) {
        const uint32_t id = read(page.data() + 3 + 6 * entry, 4);
        const uint32_t entrySize = read(page.data() + 7 + 6 * entry, 2);
        checkItem(page.data(), id, static_cast<uint16_t>(entrySize));
    }
    return 0;
}
