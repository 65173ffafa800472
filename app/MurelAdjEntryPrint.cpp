#include "app/MurelAdjEntryPrint.h"

#include "app/MurelAdjTypes.h"
#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* SOURCE = "MurelAdjEntryPrint";
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
// Domain of every node in the adjust block.
constexpr uint32_t ADJUST_DOMAIN = 4;

// Collects output in chunks, so that a line costs one stdio call instead of one per byte.
class CHexWriter {
public:
    void byte(uint8_t value) {
        if (m_used + 2 > sizeof(m_text)) {
            flush();
        }
        m_text[m_used++] = HEX_DIGITS[value >> 4];
        m_text[m_used++] = HEX_DIGITS[value & 0x0F];
    }
    void text(const char* text, uint32_t length) {
        if (m_used + length > sizeof(m_text)) {
            flush();
        }
        memcpy(m_text + m_used, text, length);
        m_used += length;
    }
    void flush() {
        if (m_used > 0) {
            fwrite(m_text, 1, m_used, stdout);
            m_used = 0;
        }
    }
    ~CHexWriter() { flush(); }

private:
    char m_text[4096];
    uint32_t m_used = 0;
};

uint32_t sortKey(const NMurelMeta::TMetaNodePtr& node) {
    if (node.isEmpty()) {
        VXAssertionFailed(__LINE__, SOURCE, "Invalid parameter");
        return 0;
    }
    if (node->getDomain() != ADJUST_DOMAIN) {
        VXAssertionFailed(__LINE__, SOURCE, "Node is not an adjust block node.");
    }
    return node->id();
}

} // namespace

void printEntryValue(const uint8_t* data, const CMurelAdjTypeInfo& type, uint32_t endianness) {
    bool valid = VX_CHECK(data != nullptr, SOURCE, "Invalid parameter");
    valid = VX_CHECK(type.size != 0, SOURCE, "Invalid parameter") && valid;
    valid = VX_CHECK(type.count != 0, SOURCE, "Invalid parameter") && valid;
    CHexWriter writer;
    if (valid) {
        const bool bigEndian = endianness == MURELADJ_BIG_ENDIAN;
        const uint8_t* element = data;
        for (uint32_t k = 0; k < type.count; ++k, element += type.size) {
            for (uint32_t j = 0; j < type.size; ++j) {
                writer.byte(element[bigEndian ? type.size - 1 - j : j]);
            }
        }
    }
    writer.text("\n", 1);
}

void printHexRows(const uint8_t* data, uint32_t length) {
    if (!VX_CHECK(data != nullptr, SOURCE, "Invalid parameter")) {
        return;
    }
    CHexWriter writer;
    for (uint32_t offset = 0; offset < length; offset += MURELADJ_HEX_ROW_BYTES) {
        char label[16];
        const int labelLength = snprintf(label, sizeof(label), "%08X: ", offset);
        writer.text(label, static_cast<uint32_t>(labelLength));
        const uint32_t rowEnd =
            length - offset < MURELADJ_HEX_ROW_BYTES ? length : offset + MURELADJ_HEX_ROW_BYTES;
        for (uint32_t i = offset; i < rowEnd; ++i) {
            writer.byte(data[i]);
        }
        writer.text("\n", 1);
    }
}

uint32_t entryBytesInPrintOrder(const uint8_t* data, const CMurelAdjTypeInfo& type,
                                uint32_t endianness, uint8_t* out) {
    if (data == nullptr || type.size == 0 || type.count == 0) {
        return 0;
    }
    const bool bigEndian = endianness == MURELADJ_BIG_ENDIAN;
    uint32_t used = 0;
    const uint8_t* element = data;
    for (uint32_t k = 0; k < type.count; ++k, element += type.size) {
        for (uint32_t j = 0; j < type.size; ++j) {
            out[used++] = element[bigEndian ? type.size - 1 - j : j];
        }
    }
    return used;
}

void formatHexBytes(const uint8_t* bytes, uint32_t count, char* text) {
    for (uint32_t i = 0; i < count; ++i) {
        *text++ = HEX_DIGITS[bytes[i] >> 4];
        *text++ = HEX_DIGITS[bytes[i] & 0x0F];
    }
    *text = '\0';
}

bool collectAdjustEntries(TVXVector<NMurelMeta::TMetaNodePtr>& entries) {
    NMurelMeta::TMetaNodePtr root;
    NMurelMeta::getRootNode(root);
    NMurelMeta::TMetaNodePtr adjustBlock;
    if (!NMurelMeta::findRegisteredNode(root.get(), NMurelMeta::ADJUST_BLOCK_DATA_ID,
                                        adjustBlock)) {
        return false;
    }
    const uint32_t mask = NMurelMeta::AdjNode;
    return NMurelMeta::collectNodes(adjustBlock.get(), false, &mask, entries);
}

uint32_t adjustEntryOffset(uint32_t id) {
    return (id >> 16) & 0x3FFFu;
}

CMurelAdjTypeInfo adjustEntryType(const NMurelMeta::CMetaNode& node) {
    CMurelAdjTypeInfo type;
    NMurelMeta::getDataTypeInfo(node.dataType(), &type);
    type.count = type.size != 0 ? node.size() / type.size : 0;
    return type;
}

void sortNodesById(TVXVector<NMurelMeta::TMetaNodePtr>& nodes, int32_t first, int32_t last) {
    if (first >= last) {
        return;
    }
    if (first < 0 || last >= nodes.size()) {
        VXAssertionFailed(__LINE__, SOURCE, "Invalid parameter");
        return;
    }
    const uint32_t pivot = sortKey(nodes[first + (last - first) / 2]);
    int32_t low = first;
    int32_t high = last;
    while (low <= high) {
        while (sortKey(nodes[low]) < pivot) {
            ++low;
        }
        while (sortKey(nodes[high]) > pivot) {
            --high;
        }
        if (low <= high) {
            if (low != high) {
                nodes.swapElements(low, high);
            }
            ++low;
            --high;
        }
    }
    sortNodesById(nodes, first, high);
    sortNodesById(nodes, low, last);
}

int32_t findNodeIndexByName(const CVXString& name,
                            const TVXVector<NMurelMeta::TMetaNodePtr>& nodes) {
    for (int32_t i = 0; i < nodes.size(); ++i) {
        if (!nodes[i].isEmpty() && nodes[i]->name() == name) {
            return i;
        }
    }
    return -1;
}

int32_t findDescIndexByName(const CVXString& name, const CMurelAdjDescription& description) {
    for (int32_t i = 0; i < description.size(); ++i) {
        if (description[i].name == name) {
            return i;
        }
    }
    return -1;
}
