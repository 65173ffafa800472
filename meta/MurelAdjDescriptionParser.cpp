#include "meta/MurelAdjDescriptionParser.h"

#include "foundation/CVXFile.h"
#include "foundation/CVXRCMemoryBuffer.h"
#include "meta/MurelAdjDescriptionLine.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <utility>

namespace {

constexpr uint32_t RESERVED_NODES = 150;

// The file is read in blocks of this size. A line is kept in memory while it is shorter than
// MAX_KEPT_LINE; a longer one is read again from the file when its line feed is found, as a scan
// without read-ahead would read every line.
constexpr uint32_t READ_BLOCK = 65536;
constexpr uint32_t MAX_KEPT_LINE = 65536;

// The file being scanned, with the window of bytes read ahead. Every result (line numbers, the
// positions of failed reads, the bound by the size taken before the file was opened) is what a
// scan that reads one byte per call gives.
class CDescriptionReader {
public:
    CDescriptionReader(CVXFile& file, int64_t size, CMurelAdjDescriptionReport& report)
        : m_file(file), m_size(size), m_report(report) {}

    EMurelAdjDescriptionResult parse(CMurelAdjDescription& nodes);

private:
    bool fill();
    bool lineBytes(int32_t length, const char*& bytes);
    bool parseLine(const char* bytes, int32_t length, uint32_t line, CMurelAdjDescription& nodes);
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
    CVXRCMemoryBuffer m_longLine;
    int64_t m_windowStart = 0; // file offset of the window's first byte
    int64_t m_filled = 0;      // file offset behind the window's last byte
    int64_t m_lineStart = 0;
    int64_t m_pos = 0;
    bool m_reposition = false; // a long line was read again: the file offset is not m_filled
};

// Makes the byte at m_pos (== m_filled) available. The window keeps the current line from
// m_lineStart on when it is short enough; the next bytes, up to the size, are read behind it.
bool CDescriptionReader::fill() {
    int64_t keepFrom = m_lineStart;
    if (m_filled - keepFrom > MAX_KEPT_LINE) {
        keepFrom = m_filled;
    }
    const uint32_t kept = static_cast<uint32_t>(m_filled - keepFrom);
    const uint32_t wanted =
        m_size - m_filled > READ_BLOCK ? READ_BLOCK : static_cast<uint32_t>(m_size - m_filled);
    if (m_window.size() < kept + wanted) {
        CVXRCMemoryBuffer larger(kept + wanted);
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
    const int32_t count = m_file.read(m_window.writableData() + kept, wanted);
    if (count <= 0) {
        // The file ends before the size taken at the start, or the read failed: the byte at m_pos
        // cannot be read.
        fail(MURELADJ_DESCRIPTION_READ_BYTE_FAILED, m_pos, errno);
        return false;
    }
    m_filled += count;
    return true;
}

// The bytes from m_lineStart to the line feed at m_pos: from the window, or read again from the
// file when the window no longer holds the line's start.
bool CDescriptionReader::lineBytes(int32_t length, const char*& bytes) {
    if (m_lineStart >= m_windowStart && m_pos - m_lineStart == length) {
        bytes = reinterpret_cast<const char*>(m_window.data()) + (m_lineStart - m_windowStart);
        return true;
    }
    if (!m_file.seek(m_lineStart, CVXFile::SEEK_FROM_START)) {
        fail(MURELADJ_DESCRIPTION_SEEK_FAILED, m_lineStart, errno);
        return false;
    }
    m_reposition = true;
    m_longLine.release();
    m_longLine = CVXRCMemoryBuffer(static_cast<uint32_t>(length) + 1);
    uint8_t* const buffer = m_longLine.writableData();
    memset(buffer, 0, static_cast<uint32_t>(length) + 1);
    if (m_file.read(buffer, static_cast<uint32_t>(length)) != length) {
        m_report.length = length;
        fail(MURELADJ_DESCRIPTION_READ_LINE_FAILED, m_pos, errno);
        return false;
    }
    bytes = reinterpret_cast<const char*>(buffer);
    return true;
}

// One line's bytes (beginning with the previous line's feed, which the trim removes). Plain ASCII
// is checked as bytes; anything else becomes a CVXString first, which ends the text at a zero byte
// or an ill-formed UTF-8 sequence (and logs the latter).
bool CDescriptionReader::parseLine(const char* bytes, int32_t length, uint32_t line,
                                   CMurelAdjDescription& nodes) {
    const uint32_t size = static_cast<uint32_t>(length);
    CMurelAdjNodeDesc node;
    bool valid = true;
    bool data = false;
    if (isPlainAsciiText(bytes, size)) {
        const char* first = bytes;
        const char* last = bytes + size;
        while (first < last && isDescriptionSpace(*first)) {
            ++first;
        }
        while (last > first && isDescriptionSpace(last[-1])) {
            --last;
        }
        const uint32_t trimmedLength = static_cast<uint32_t>(last - first);
        const bool header = trimmedLength >= 7 && memcmp(first, "Address", 7) == 0;
        const bool comment = trimmedLength >= 1 && first[0] == '#';
        data = !header && !comment;
        if (data) {
            valid = parseAsciiDescriptionDataLine(first, trimmedLength, node);
        }
    } else {
        CVXString text(bytes, size);
        text.trim();
        data = classifyDescriptionLine(text) == MURELADJ_LINE_DATA;
        if (data) {
            valid = parseTextDescriptionDataLine(text, node);
        }
    }
    if (!data) {
        return true;
    }
    if (!valid) {
        m_report.result = MURELADJ_DESCRIPTION_WRONG_FORMAT;
        m_report.line = line;
        return false;
    }
    if (!nodes.insert(node)) {
        m_report.result = MURELADJ_DESCRIPTION_DUPLICATE;
        m_report.line = line;
        return false;
    }
    return true;
}

EMurelAdjDescriptionResult CDescriptionReader::parse(CMurelAdjDescription& nodes) {
    uint32_t line = 1;
    while (m_pos < m_size) {
        if (m_pos == m_filled && !fill()) {
            return m_report.result;
        }
        // The next line feed among the bytes read so far.
        const uint8_t* const window = m_window.data();
        const void* const lineFeed =
            memchr(window + (m_pos - m_windowStart), '\n', static_cast<size_t>(m_filled - m_pos));
        if (lineFeed == nullptr) {
            m_pos = m_filled;
            continue;
        }
        m_pos = m_windowStart + (static_cast<const uint8_t*>(lineFeed) - window);

        const int32_t length = static_cast<int32_t>(static_cast<uint32_t>(m_pos - m_lineStart));
        if (length <= 0) {
            // Only an empty first line: it yields no text, and the next line starts at it.
            ++line;
            ++m_pos;
            continue;
        }
        const char* bytes = nullptr;
        if (!lineBytes(length, bytes) || !parseLine(bytes, length, line, nodes)) {
            return m_report.result;
        }
        // The next line's bytes begin with this line feed; its trim removes it.
        m_lineStart = m_pos;
        ++line;
        ++m_pos;
    }
    return MURELADJ_DESCRIPTION_OK;
}

} // namespace

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
