// Builds MurelPage images from a list of items: the format byte, the directory length, the
// directory of 6-byte entries and the data area, in the machine's byte order. Used by the host-side
// page writer and by tests; the page client itself never builds a page.
#pragma once

#include <cstdint>
#include <vector>

struct CMurelPageItem {
    uint32_t id = 0;
    uint16_t version = 0;      // stored in front of the data of a kind-0 item (bits 31..30 = 00)
    std::vector<uint8_t> data; // the item's bytes (for kind 0: the value after the version)
};

// Kind of an item id: bits 31..30.
inline uint32_t MurelPageImage_kind(uint32_t id) {
    return id >> 30;
}

// Builds an image of MURELPAGE_SIZE bytes, zero after the last item. False when the directory and
// the data do not fit into the page or an entry would exceed 65535 bytes.
bool MurelPageImage_build(const std::vector<CMurelPageItem>& items, std::vector<uint8_t>& page,
                          uint8_t format = 1);
