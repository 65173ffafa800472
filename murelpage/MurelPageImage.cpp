#include "murelpage/MurelPageImage.h"

#include "murelpage/MurelPageGet.h"

#include <cstring>

bool MurelPageImage_build(const std::vector<CMurelPageItem>& items, std::vector<uint8_t>& page,
                          uint8_t format) {
    const size_t directoryLength = items.size() * 6;
    size_t dataLength = 0;
    for (const CMurelPageItem& item : items) {
        const size_t entrySize = item.data.size() + (MurelPageImage_kind(item.id) == 0 ? 2 : 0);
        if (entrySize > 0xFFFF) {
            return false;
        }
        dataLength += entrySize;
    }
    if (directoryLength > 0xFFFF || 3 + directoryLength + dataLength > MURELPAGE_SIZE) {
        return false;
    }
    page.assign(MURELPAGE_SIZE, 0);
    page[0] = format;
    const uint16_t length16 = static_cast<uint16_t>(directoryLength);
    memcpy(&page[1], &length16, sizeof(length16));
    size_t entryAt = 3;
    size_t dataAt = 3 + directoryLength;
    for (const CMurelPageItem& item : items) {
        const bool isValue = MurelPageImage_kind(item.id) == 0;
        const uint16_t entrySize = static_cast<uint16_t>(item.data.size() + (isValue ? 2 : 0));
        memcpy(&page[entryAt], &item.id, sizeof(item.id));
        memcpy(&page[entryAt + 4], &entrySize, sizeof(entrySize));
        entryAt += 6;
        if (isValue) {
            memcpy(&page[dataAt], &item.version, sizeof(item.version));
            dataAt += 2;
        }
        if (!item.data.empty()) {
            memcpy(&page[dataAt], item.data.data(), item.data.size());
        }
        dataAt += item.data.size();
    }
    return true;
}
