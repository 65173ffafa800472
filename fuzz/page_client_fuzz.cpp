// Fuzz target: the page client on an arbitrary 8192-byte page.
//
// Input: byte 0 gives the number of explicit queries (low three bits), each 6 bytes (item id and
// expected version, little-endian); the rest is the page image, cut or zero-padded to 8192 bytes.
// The image becomes the client's private copy as a refresh would take it (through the client's
// test entry: no shared memory is involved, so the target also runs under qemu-user beside 64-bit
// processes). Then the stored version and the bytes of items of every kind are read: the block
// region, every directory entry's id, fields of value items, and the explicit queries. Each result
// is compared with a model of the page layout that refuses any item or directory reaching past the
// 8192 bytes.
#include "fuzz/FuzzSupport.h"
#include "murelpage/MurelPageGet.h"
#include "murelpage/murelpagegetsh.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t PAGE = MURELPAGE_SIZE;
constexpr uint32_t DIRECTORY = 3;
constexpr uint32_t BLOCK_ID = 0x800007F4u;
constexpr uint32_t MAX_DIRECTORY_QUERIES = 12;

uint16_t read16(const uint8_t* bytes) {
    uint16_t value = 0;
    memcpy(&value, bytes, sizeof value);
    return value;
}

uint32_t read32(const uint8_t* bytes) {
    uint32_t value = 0;
    memcpy(&value, bytes, sizeof value);
    return value;
}

struct CModelItem {
    MurelPageGet_EResult result = MurelPageGet_UNKNOWN;
    uint32_t position = 0; // page offset of the item's first byte
    uint32_t size = 0;
    uint16_t version = 0;
};

bool inPage(uint64_t fromDirectory, uint64_t size) {
    return DIRECTORY + fromDirectory + size <= PAGE;
}

// The item an id names, by the layout rules of the page.
CModelItem modelFind(const uint8_t* page, uint32_t itemId) {
    CModelItem item;
    const uint32_t directoryLength = read16(page + 1);
    if (!inPage(0, directoryLength)) {
        item.result = MurelPageGet_ERROR_INIT_SYSPAGE;
        return item;
    }
    const uint32_t kind = itemId >> 30;
    const uint32_t parent = (itemId >> 23) & 0x3Fu;
    uint64_t position = directoryLength;
    uint32_t entrySize = 0;
    bool found = false;
    for (uint32_t index = 0; index < directoryLength / 6 && !found; ++index) {
        const uint32_t id = read32(page + DIRECTORY + 6 * index);
        entrySize = read16(page + DIRECTORY + 6 * index + 4);
        switch (kind) {
        case 1:
            found = (id >> 30) == 0 && id == parent;
            break;
        case 2:
            found = (id >> 30) == 2;
            break;
        default:
            found = id == itemId;
            break;
        }
        if (!found) {
            position += entrySize;
        }
    }
    if (!found) {
        item.result = MurelPageGet_INVALID_ID;
        return item;
    }
    uint64_t start = position;
    uint64_t size = entrySize;
    bool inside = true;
    switch (kind) {
    case 0:
        inside = entrySize >= 2 && inPage(position, entrySize);
        if (inside) {
            item.version = read16(page + DIRECTORY + position);
        }
        start = position + 2;
        size = entrySize - 2u;
        break;
    case 1:
        start = position + 2 + ((itemId >> 11) & 0xFFFu);
        size = (itemId & (1u << 29)) != 0 ? (itemId & 0x7FFu) : 1u;
        inside = inPage(position, 2) && inPage(start, size);
        if (inside) {
            item.version = read16(page + DIRECTORY + position);
        }
        break;
    case 2:
        start = position + ((itemId >> 16) & 0x3FFFu);
        size = itemId & 0xFFFFu;
        inside = inPage(position, 9) && inPage(start, size);
        if (inside) {
            item.version = page[DIRECTORY + position + 8];
        }
        break;
    default:
        inside = inPage(position, entrySize);
        break;
    }
    if (!inside) {
        item.result = MurelPageGet_ERROR_INIT_SYSPAGE;
        return item;
    }
    item.result = MurelPageGet_OK;
    item.position = static_cast<uint32_t>(DIRECTORY + start);
    item.size = static_cast<uint32_t>(size);
    return item;
}

// The version check before an item is handed out, on the item already found.
MurelPageGet_EResult modelVersionCheck(const CModelItem& item, uint32_t itemId, uint16_t expected) {
    const uint32_t kind = itemId >> 30;
    if (kind == 3) {
        return MurelPageGet_OK;
    }
    if (item.result != MurelPageGet_OK) {
        return item.result;
    }
    const bool fits = kind == 2 ? item.version == expected : (item.version >> 8) == (expected >> 8);
    return fits ? MurelPageGet_OK : MurelPageGet_ITEM_VERSION_MISMATCH;
}

void checkItem(const uint8_t* page, uint32_t itemId, uint16_t expected) {
    const bool formatOk = page[0] == 1;
    const CModelItem model = modelFind(page, itemId);

    uint16_t version = 0xFFFF;
    const MurelPageGet_EResult versionResult = MurelPageGetSh_getDataVersion(itemId, &version);
    if (!formatOk) {
        FUZZ_EXPECT(versionResult == MurelPageGet_PAGE_VERSION_MISMATCH);
    } else {
        FUZZ_EXPECT(versionResult == model.result);
        FUZZ_EXPECT(versionResult != MurelPageGet_OK || version == model.version);
    }

    // Once with the stored version (when there is one), once with the expected one of the input;
    // into a buffer of the block's size and into one of a whole page.
    static uint8_t buffer[PAGE + 16];
    const uint16_t versions[2] = {versionResult == MurelPageGet_OK ? version : expected, expected};
    const uint32_t bufferSizes[2] = {2036, PAGE};
    for (const uint16_t tried : versions) {
        for (const uint32_t bufferSize : bufferSizes) {
            // Guard bytes where writing must stop: behind the item, or at the start.
            const uint32_t guard =
                model.result == MurelPageGet_OK && model.size <= bufferSize ? model.size : 0;
            buffer[guard] = 0xA5;
            uint32_t length = 0;
            const MurelPageGet_EResult result =
                MurelPageGetSh_getBuffer(itemId, tried, buffer, bufferSize, &length);
            if (!formatOk) {
                FUZZ_EXPECT(result == MurelPageGet_PAGE_VERSION_MISMATCH && length == 0);
                continue;
            }
            MurelPageGet_EResult expectedResult = modelVersionCheck(model, itemId, tried);
            if (expectedResult == MurelPageGet_OK) {
                expectedResult = model.result;
            }
            if (expectedResult == MurelPageGet_OK && model.size > bufferSize) {
                expectedResult = MurelPageGet_INVALID_SIZE;
            }
            FUZZ_EXPECT(result == expectedResult);
            if (result == MurelPageGet_OK || result == MurelPageGet_INVALID_SIZE) {
                FUZZ_EXPECT(length == model.size);
            } else {
                FUZZ_EXPECT(length == 0);
            }
            if (result == MurelPageGet_OK) {
                FUZZ_EXPECT(memcmp(buffer, page + model.position, model.size) == 0);
            }
            // Nothing is written behind the item, nothing at all on failure.
            FUZZ_EXPECT(result != MurelPageGet_OK || buffer[model.size] == 0xA5);
            FUZZ_EXPECT(result == MurelPageGet_OK || guard != 0 || buffer[0] == 0xA5);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    fuzzQuietProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint32_t queries = data[0] & 7u;
    const size_t queryBytes = 1 + 6 * static_cast<size_t>(queries);
    if (size < queryBytes) {
        return 0;
    }
    std::vector<uint8_t> page(PAGE, 0);
    memcpy(page.data(), data + queryBytes,
           size - queryBytes < PAGE ? size - queryBytes : static_cast<size_t>(PAGE));
    const MurelPageGet_EResult refreshed = MurelPageGetSh_loadCopyForTesting(page.data());
    FUZZ_EXPECT(refreshed == (page[0] == 1 ? MurelPageGet_OK : MurelPageGet_ERROR_INIT_SYSPAGE));

    checkItem(page.data(), BLOCK_ID, 2);
    checkItem(page.data(), 0x80000000u, 0);
    for (uint32_t query = 0; query < queries; ++query) {
        const uint8_t* at = data + 1 + 6 * query;
        checkItem(page.data(), read32(at), read16(at + 4));
    }
    // Every directory entry, and for value items a field of one byte and one of explicit size.
    const uint32_t entries = read16(page.data() + 1) / 6u;
    for (uint32_t index = 0; index < entries && index < MAX_DIRECTORY_QUERIES; ++index) {
        const uint8_t* entry = page.data() + DIRECTORY + 6 * index;
        if (DIRECTORY + 6 * index + 6 > PAGE) {
            break;
        }
        const uint32_t id = read32(entry);
        checkItem(page.data(), id, read16(entry + 4));
        if ((id >> 30) == 0 && id < 64) {
            const uint32_t field = (1u << 30) | (id << 23) | ((index & 0xFu) << 11);
            checkItem(page.data(), field, 0x0100);
            checkItem(page.data(), field | (1u << 29) | (read16(entry + 4) & 0x7FFu), 0x0100);
        }
    }
    return 0;
}
