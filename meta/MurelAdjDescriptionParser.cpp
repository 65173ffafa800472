#include "meta/MurelAdjDescriptionParser.h"

#include "foundation/CVXFile.h"
#include "foundation/CVXRCMemoryBuffer.h"
#include "foundation/TVXVector.h"
#include "meta/MurelMeta.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <utility>

namespace {

// Bytes of the adjust block; an entry must end within them.
constexpr uint64_t BLOCK_SIZE = 2036;
// Bytes 0 to 11 (CRC, version, ...) never belong to an entry.
constexpr uint32_t FIRST_ENTRY_ADDRESS = 12;
constexpr uint32_t LAST_ENTRY_ADDRESS = 2035;
constexpr uint32_t ADDRESS_DIGITS = 8;
constexpr uint32_t MIN_COLUMNS = 8;
constexpr uint32_t RESERVED_NODES = 150;

// The file is read in blocks of this size. A line is kept in memory while it is shorter than
// MAX_KEPT_LINE; a longer one is read again from the file when its line feed is found.
constexpr uint32_t READ_BLOCK = 65536;
constexpr uint32_t MAX_KEPT_LINE = 65536;

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

uint32_t hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint32_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint32_t>(c - 'A' + 10);
    }
    return static_cast<uint32_t>(c - 'a' + 10);
}

// Column 1: exactly eight hexadecimal digits.
bool parseAddress(const CVXString& text, uint32_t& address) {
    if (text.byteLength() != ADDRESS_DIGITS) {
        return false;
    }
    const char* const digits = text.c_str();
    uint32_t value = 0;
    for (uint32_t index = 0; index < ADDRESS_DIGITS; ++index) {
        if (!isHexDigit(digits[index])) {
            return false;
        }
        value = value * 16 + hexDigitValue(digits[index]);
    }
    address = value;
    return true;
}

CVXString trimmedCopy(const CVXString& text) {
    CVXString copy(text);
    copy.trim();
    return copy;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The file being scanned, with the window of bytes read ahead.
class CDescriptionReader {
public:
    CDescriptionReader(CVXFile& file, int64_t size, CMurelAdjDescriptionReport& report)
        : m_file(file), m_size(size), m_report(report) {}

    EMurelAdjDescriptionResult parse(CMurelAdjDescription& nodes);

private:
    bool fill();
    bool takeLine(int64_t lineStart, int64_t lineFeed, int32_t length, CVXString& text);
    EMurelAdjDescriptionResult fail(EMurelAdjDescriptionResult result, int64_t position,
                                    int error) {
        m_report.result = result;
        m_report.position = position;
        m_report.errorNumber = error;
        return result;
    }

    CVXFile& m_file;
    const int64_t m_size;
    CMurelAdjDescriptionReport& m_report;
    CVXRCMemoryBuffer m_window;
    int64_t m_windowStart = 0; // file offset of the window's first byte
    int64_t m_filled = 0;      // file offset behind the window's last byte
    int64_t m_lineStart = 0;
    int64_t m_pos = 0;
    bool m_reposition = false; // a line was read again: the file offset is not m_filled
};

// Makes the byte at m_pos available. The window keeps the current line from m_lineStart on when
// it is short enough, and the next bytes up to the file size are appended behind it.
bool CDescriptionReader::fill() {
    int64_t keepFrom = m_lineStart;
    if (m_filled - keepFrom > MAX_KEPT_LINE) {
        keepFrom = m_filled;
    }
    const uint32_t kept = static_cast<uint32_t>(m_filled - keepFrom);
    int64_t wanted = m_size - m_filled;
    if (wanted > READ_BLOCK) {
        wanted = READ_BLOCK;
    }
    const uint32_t needed = kept + static_cast<uint32_t>(wanted);
    if (m_window.size() < needed) {
        CVXRCMemoryBuffer larger(needed);
        if (kept > 0) {
            memcpy(larger.writableData(), m_window.data() + (keepFrom - m_windowStart), kept);
        }
        m_window = larger;
    } else if (kept > 0 && keepFrom != m_windowStart) {
        uint8_t* const bytes = m_window.writableData();
        memmove(bytes, bytes + (keepFrom - m_windowStart), kept);
    }
    m_windowStart = keepFrom;
    if (m_reposition) {
        if (!m_file.seek(m_filled, CVXFile::SEEK_FROM_START)) {
            fail(MURELADJ_DESCRIPTION_READ_BYTE_FAILED, m_pos, errno);
            return false;
        }
        m_reposition = false;
    }
    const int32_t count =
        m_file.read(m_window.writableData() + kept, static_cast<uint32_t>(wanted));
    if (count <= 0) {
        // The file ended before the size taken at the start (or the read failed): the byte at
        // m_pos cannot be read.
        fail(MURELADJ_DESCRIPTION_READ_BYTE_FAILED, m_pos, errno);
        return false;
    }
    m_filled += count;
    return true;
}

// The bytes of a line, from the window, or read again from the file when the window no longer
// holds the line's start.
bool CDescriptionReader::takeLine(int64_t lineStart, int64_t lineFeed, int32_t length,
                                  CVXString& text) {
    if (lineStart >= m_windowStart && lineFeed - lineStart == length) {
        const char* const bytes =
            reinterpret_cast<const char*>(m_window.data()) + (lineStart - m_windowStart);
        text = CVXString(bytes, static_cast<uint32_t>(length));
        return true;
    }
    if (!m_file.seek(lineStart, CVXFile::SEEK_FROM_START)) {
        fail(MURELADJ_DESCRIPTION_SEEK_FAILED, lineStart, errno);
        return false;
    }
    m_reposition = true;
    CVXRCMemoryBuffer line(static_cast<uint32_t>(length) + 1);
    uint8_t* const bytes = line.writableData();
    memset(bytes, 0, static_cast<uint32_t>(length) + 1);
    if (m_file.read(bytes, static_cast<uint32_t>(length)) != length) {
        m_report.length = length;
        fail(MURELADJ_DESCRIPTION_READ_LINE_FAILED, lineFeed, errno);
        return false;
    }
    text = CVXString(reinterpret_cast<const char*>(bytes), static_cast<uint32_t>(length));
    return true;
}

EMurelAdjDescriptionResult CDescriptionReader::parse(CMurelAdjDescription& nodes) {
    uint32_t line = 1;
    while (m_pos < m_size) {
        if (m_pos == m_filled && !fill()) {
            return m_report.result;
        }
        // Find the next line feed within the bytes read so far.
        const uint8_t* const windowBytes = m_window.data();
        const int64_t offset = m_pos - m_windowStart;
        const void* const lineFeedByte =
            memchr(windowBytes + offset, '\n', static_cast<size_t>(m_filled - m_pos));
        if (lineFeedByte == nullptr) {
            m_pos = m_filled;
            continue;
        }
        m_pos = m_windowStart + (static_cast<const uint8_t*>(lineFeedByte) - windowBytes);

        const int32_t length = static_cast<int32_t>(static_cast<uint32_t>(m_pos - m_lineStart));
        if (length <= 0) {
            // Only an empty first line: it produces no text, and the next line starts at it.
            ++line;
            ++m_pos;
            continue;
        }
        CVXString text;
        if (!takeLine(m_lineStart, m_pos, length, text)) {
            return m_report.result;
        }
        text.trim();
        if (classifyDescriptionLine(text) == MURELADJ_LINE_DATA) {
            CMurelAdjNodeDesc node;
            if (!parseDescriptionDataLine(text, node)) {
                m_report.result = MURELADJ_DESCRIPTION_WRONG_FORMAT;
                m_report.line = line;
                return m_report.result;
            }
            if (!nodes.insert(node)) {
                m_report.result = MURELADJ_DESCRIPTION_DUPLICATE;
                m_report.line = line;
                return m_report.result;
            }
        }
        // The next line's bytes begin with this line feed; its trim removes it.
        m_lineStart = m_pos;
        ++line;
        ++m_pos;
    }
    return MURELADJ_DESCRIPTION_OK;
}

} // namespace

EMurelAdjDescriptionLine classifyDescriptionLine(const CVXString& trimmedLine) {
    if (trimmedLine.startsWith("Address")) {
        return MURELADJ_LINE_HEADER;
    }
    if (trimmedLine.startsWith("#")) {
        return MURELADJ_LINE_COMMENT;
    }
    return MURELADJ_LINE_DATA;
}

uint32_t parseDescriptionCount(const char* text) {
    const char* cursor = text;
    while (isSpace(*cursor)) {
        ++cursor;
    }
    bool negative = false;
    if (*cursor == '+' || *cursor == '-') {
        negative = *cursor == '-';
        ++cursor;
    }
    uint64_t value = 0;
    bool overflow = false;
    while (*cursor >= '0' && *cursor <= '9') {
        value = value * 10 + static_cast<uint64_t>(*cursor - '0');
        if (value > 0xFFFFFFFFull) {
            overflow = true;
            value = 0xFFFFFFFFull;
        }
        ++cursor;
    }
    if (overflow) {
        return 0xFFFFFFFFu;
    }
    const uint32_t result = static_cast<uint32_t>(value);
    return negative ? 0u - result : result;
}

bool parseDescriptionDataLine(const CVXString& trimmedLine, CMurelAdjNodeDesc& node) {
    TVXVector<CVXString> columns;
    splitString(trimmedLine, CVXString(" \t"), true, columns);
    if (columns.size() < static_cast<int32_t>(MIN_COLUMNS)) {
        return false;
    }

    uint32_t address = 0;
    if (!parseAddress(trimmedCopy(columns[0]), address) || address < FIRST_ENTRY_ADDRESS ||
        address > LAST_ENTRY_ADDRESS) {
        return false;
    }

    CVXString name = trimmedCopy(columns[1]);
    name.append(".");
    name.append(columns[2]);
    name.trim();
    if (!isFullEntryName(name)) {
        return false;
    }

    const CVXString typeName = trimmedCopy(columns[3]);
    CMurelAdjTypeInfo type;
    if (!NMurelMeta::findDataTypeByName(typeName, &type)) {
        return false;
    }
    type.typeName = typeName;
    type.count = parseDescriptionCount(trimmedCopy(columns[4]).c_str());

    const uint64_t bytes = static_cast<uint64_t>(type.size) * type.count;
    if (address + bytes > BLOCK_SIZE) {
        return false;
    }

    CVXString value = trimmedCopy(columns[5]);
    if (!isHexByteString(value) || value.byteLength() != 2 * bytes) {
        return false;
    }
    for (int32_t column = 6; column < 8; ++column) {
        const CVXString other = trimmedCopy(columns[column]);
        if (!isHexByteString(other) || other.byteLength() != value.byteLength()) {
            return false;
        }
    }
    toUpperCase(value);

    node.name = name;
    node.value = value;
    node.address = address;
    node.type = type;
    return true;
}

EMurelAdjDescriptionResult parseDescriptionFile(const CVXString& path,
                                                CMurelAdjDescription& description,
                                                CMurelAdjDescriptionReport& report) {
    report = CMurelAdjDescriptionReport();
    VXFileStatus status;
    memset(&status, 0, sizeof(status));
    if (!CVXFileSystem::status(path, status)) {
        report.result = MURELADJ_DESCRIPTION_STATUS_FAILED;
        report.errorNumber = errno;
        return report.result;
    }
    if (!CVXFileSystem::isRegularFile(status)) {
        report.result = MURELADJ_DESCRIPTION_NOT_REGULAR_FILE;
        return report.result;
    }
    CVXFile file;
    if (!file.open(path, O_RDONLY)) {
        report.result = MURELADJ_DESCRIPTION_OPEN_FAILED;
        report.errorNumber = errno;
        return report.result;
    }

    return parseDescriptionStream(file, static_cast<int64_t>(status.st_size), description, report);
}

EMurelAdjDescriptionResult parseDescriptionStream(CVXFile& file, int64_t size,
                                                  CMurelAdjDescription& description,
                                                  CMurelAdjDescriptionReport& report) {
    report = CMurelAdjDescriptionReport();
    CMurelAdjDescription nodes;
    nodes.reserve(RESERVED_NODES);
    CDescriptionReader reader(file, size, report);
    if (reader.parse(nodes) != MURELADJ_DESCRIPTION_OK) {
        return report.result;
    }
    if (nodes.isEmpty()) {
        report.result = MURELADJ_DESCRIPTION_NO_NODES;
        return report.result;
    }
    report.result = MURELADJ_DESCRIPTION_OK;
    report.nodeCount = nodes.size();
    description = std::move(nodes);
    return report.result;
}
