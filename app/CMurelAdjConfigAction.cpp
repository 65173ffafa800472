#include "app/CMurelAdjConfigAction.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "meta/MurelAdjDescriptionParser.h"

#include <cstring>

bool CMurelAdjConfigAction::execute(CMurelAdjOptions& options) {
    const char* const path = options.configPath.c_str();
    CMurelAdjDescriptionReport report;
    const EMurelAdjDescriptionResult result =
        parseDescriptionFile(options.configPath, options.description, report);
    const int error = report.errorNumber;
    const long long position = static_cast<long long>(report.position);
    switch (result) {
    case MURELADJ_DESCRIPTION_OK:
        CMurelAdjLog::info("config: '%s' successfully parsed, %d adjust nodes found", path,
                           static_cast<int>(report.nodeCount));
        return true;
    case MURELADJ_DESCRIPTION_STATUS_FAILED:
        CMurelAdjLog::error("config: failed to get file status '%s', errno: <%d|%s>", path, error,
                            strerror(error));
        break;
    case MURELADJ_DESCRIPTION_NOT_REGULAR_FILE:
        CMurelAdjLog::error("config: '%s' is not a regular file", path);
        break;
    case MURELADJ_DESCRIPTION_OPEN_FAILED:
        CMurelAdjLog::error("config: failed to open '%s', errno: <%d|%s>", path, error,
                            strerror(error));
        break;
    case MURELADJ_DESCRIPTION_READ_BYTE_FAILED:
        CMurelAdjLog::error("config: failed to read 1 byte from '%s' at pos: %lld, errno: <%d|%s>",
                            path, position, error, strerror(error));
        break;
    case MURELADJ_DESCRIPTION_SEEK_FAILED:
        CMurelAdjLog::error("config: failed seek '%s' for pos: %lld, errno: <%d|%s>", path,
                            position, error, strerror(error));
        break;
    case MURELADJ_DESCRIPTION_READ_LINE_FAILED:
        CMurelAdjLog::error("config: failed read %d bytes from '%s' at pos: %lld, errno: <%d|%s>",
                            static_cast<int>(report.length), path, position, error,
                            strerror(error));
        break;
    case MURELADJ_DESCRIPTION_WRONG_FORMAT:
        CMurelAdjLog::error("config: wrong format '%s', stopped parsing at line: %u", path,
                            static_cast<unsigned>(report.line));
        break;
    case MURELADJ_DESCRIPTION_DUPLICATE:
        CMurelAdjLog::error(
            "config: adjust node duplication found '%s', stopped parsing at line: %u", path,
            static_cast<unsigned>(report.line));
        break;
    case MURELADJ_DESCRIPTION_NO_NODES:
        CMurelAdjLog::error("config: no adjust node description found in '%s'", path);
        break;
    }
    return false;
}
