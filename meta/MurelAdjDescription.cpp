#include "meta/MurelAdjDescription.h"

int CMurelAdjNodeDescOrder::operator()(const CMurelAdjNodeDesc& first,
                                       const CMurelAdjNodeDesc& second) const {
    // Equal addresses or equal names make two nodes equivalent (a duplicate).
    if (first.address < second.address && first.name != second.name) {
        return 1;
    }
    if (second.address < first.address && first.name != second.name) {
        return -1;
    }
    return 0;
}

bool isFullEntryName(const CVXString& name) {
    TVXVector<CVXString> pieces;
    splitString(name, CVXString("."), false, pieces);
    if (hasEmptyPiece(pieces)) {
        return false;
    }
    if (pieces.size() < 2) {
        return false;
    }
    return pieces[0] == CVXString("E2P");
}

bool isHexByteString(const CVXString& text) {
    const uint32_t length = text.byteLength();
    if (length == 0 || length % 2 != 0) {
        return false;
    }
    const char* const bytes = text.c_str();
    for (uint32_t index = 0; index < length; ++index) {
        const char c = bytes[index];
        const bool digit =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
        if (!digit) {
            return false;
        }
    }
    return true;
}
