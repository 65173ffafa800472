#include "app/MurelAdjOptionTable.h"

#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjUsage.h"
#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"
#include "foundation/VXAssert.h"
#include "meta/MurelAdjDescription.h"

#include <cstring>

namespace {

constexpr uint32_t TARGET_SLOG = 1;
constexpr uint32_t TARGET_STDOUT = 2;
constexpr uint32_t LEVEL_NONE = 0xFFFFFFFFu;
constexpr uint32_t LEVEL_WARNING = 1;
constexpr uint32_t LEVEL_ERROR = 2;
constexpr uint32_t LEVEL_INFO = 4;

// The value behind the first "=" (callers check hasOptionValue first).
const char* optionValue(const char* rest) {
    return strchr(rest, '=') + 1;
}

// A single value, trimmed.
CVXString trimmedValue(const char* rest) {
    CVXString value(optionValue(rest));
    value.trim();
    return value;
}

// A comma list split into trimmed pieces; false when a piece is empty after trimming.
bool splitList(const char* rest, TVXVector<CVXString>& pieces) {
    splitString(CVXString(optionValue(rest)), CVXString(","), false, pieces);
    return !hasEmptyPiece(pieces);
}

bool actionChosen(const CMurelAdjOptions& options) {
    return options.action != MURELADJ_ACTION_UNDEFINED;
}

bool fromGiven(const CMurelAdjOptions& options) {
    return !options.fromPath.isEmpty();
}

// The path options: a duplicate first, then the value.
EMurelAdjOptionResult handlePathOption(const char* rest, CVXString& path) {
    if (!path.isEmpty()) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_NO_VALUE;
    }
    CVXString value = trimmedValue(rest);
    if (value.isEmpty()) {
        return MURELADJ_OPTION_INVALID;
    }
    path = value;
    return MURELADJ_OPTION_OK;
}

// The actions "--backup" and "--diff": the file is required.
EMurelAdjOptionResult chooseActionWithFile(const char* rest, CMurelAdjOptions& options,
                                           EMurelAdjAction action) {
    if (actionChosen(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.action = action;
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_NO_VALUE;
    }
    CVXString value = trimmedValue(rest);
    if (value.isEmpty()) {
        return MURELADJ_OPTION_INVALID;
    }
    options.filePath = value;
    return MURELADJ_OPTION_OK;
}

// The file of "--getver" and "--check": optional; given, it must not be blank, and it is a second
// source of the block beside "--from".
EMurelAdjOptionResult storeOptionalFile(const char* rest, CMurelAdjOptions& options) {
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_OK;
    }
    CVXString value = trimmedValue(rest);
    if (value.isEmpty()) {
        return MURELADJ_OPTION_INVALID;
    }
    if (fromGiven(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.filePath = value;
    return MURELADJ_OPTION_OK;
}

} // namespace

const CMurelAdjOptionEntry MURELADJ_OPTION_TABLE[MURELADJ_OPTION_COUNT] = {
    {"--help", handleHelpOption},         {"--log", handleLogOption},
    {"--loglevel", handleLogLevelOption}, {"--endianness", handleEndiannessOption},
    {"--config", handleConfigOption},     {"--dump", handleDumpOption},
    {"--backup", handleBackupOption},     {"--getver", handleGetverOption},
    {"--get", handleGetOption},           {"--check", handleCheckOption},
    {"--pagelock", handlePageLockOption}, {"--page", handlePageOption},
    {"--from", handleFromOption},         {"--diff", handleDiffOption},
    {"--json", handleJsonOption},         {"--version", handleVersionOption},
};

bool matchOption(const char* argument, const char* name) {
    if (argument == nullptr || name == nullptr) {
        VXAssertionFailed(__LINE__, "MurelAdjOptionTable", "Invalid parameter");
        return false;
    }
    const size_t length = strlen(name);
    if (strncmp(argument, name, length) != 0) {
        return false;
    }
    return argument[length] == '\0' || argument[length] == '=';
}

bool hasOptionValue(const char* rest) {
    if (rest == nullptr) {
        VXAssertionFailed(__LINE__, "MurelAdjOptionTable", "Invalid parameter");
        return false;
    }
    const char* const equals = strchr(rest, '=');
    return equals != nullptr && equals[1] != '\0';
}

EMurelAdjOptionResult handleHelpOption(const char* /*rest*/, CMurelAdjOptions& options) {
    printMurelAdjUsage();
    options.helpRequested = 1;
    return MURELADJ_OPTION_OK;
}

EMurelAdjOptionResult handleLogOption(const char* rest, CMurelAdjOptions& options) {
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_NO_VALUE;
    }
    TVXVector<CVXString> pieces;
    if (!splitList(rest, pieces)) {
        return MURELADJ_OPTION_WRONG_FORMAT;
    }
    uint32_t target = 0;
    for (const CVXString& piece : pieces) {
        if (piece == CVXString("slog")) {
            target |= TARGET_SLOG;
        } else if (piece == CVXString("stdout")) {
            target |= TARGET_STDOUT;
        } else {
            return MURELADJ_OPTION_INVALID;
        }
    }
    if (options.logTarget != 0) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.logTarget = target;
    return MURELADJ_OPTION_OK;
}

EMurelAdjOptionResult handleLogLevelOption(const char* rest, CMurelAdjOptions& options) {
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_NO_VALUE;
    }
    TVXVector<CVXString> pieces;
    if (!splitList(rest, pieces)) {
        return MURELADJ_OPTION_WRONG_FORMAT;
    }
    uint32_t mask = 0;
    for (const CVXString& piece : pieces) {
        if (piece == CVXString("none")) {
            if (pieces.size() > 1) {
                return MURELADJ_OPTION_INVALID;
            }
            mask |= LEVEL_NONE;
        } else if (piece == CVXString("warning")) {
            mask |= LEVEL_WARNING;
        } else if (piece == CVXString("error")) {
            mask |= LEVEL_ERROR;
        } else if (piece == CVXString("info")) {
            mask |= LEVEL_INFO;
        } else {
            return MURELADJ_OPTION_INVALID;
        }
    }
    if (options.logLevelMask != 0) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.logLevelMask = mask;
    return MURELADJ_OPTION_OK;
}

EMurelAdjOptionResult handleEndiannessOption(const char* rest, CMurelAdjOptions& options) {
    if (options.endianness != 0) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_NO_VALUE;
    }
    const CVXString value = trimmedValue(rest);
    if (value == CVXString("big")) {
        options.endianness = MURELADJ_BIG_ENDIAN;
    } else if (value == CVXString("little")) {
        options.endianness = MURELADJ_LITTLE_ENDIAN;
    } else {
        return MURELADJ_OPTION_INVALID;
    }
    return MURELADJ_OPTION_OK;
}

EMurelAdjOptionResult handleConfigOption(const char* rest, CMurelAdjOptions& options) {
    return handlePathOption(rest, options.configPath);
}

EMurelAdjOptionResult handleDumpOption(const char* rest, CMurelAdjOptions& options) {
    if (actionChosen(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.action = MURELADJ_ACTION_DUMP;
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_OK;
    }
    const CVXString value = trimmedValue(rest);
    if (value == CVXString("hex")) {
        options.dumpMode = MURELADJ_DUMP_HEX;
    } else if (value == CVXString("verbose")) {
        options.dumpMode = MURELADJ_DUMP_VERBOSE;
    } else {
        return MURELADJ_OPTION_INVALID;
    }
    return MURELADJ_OPTION_OK;
}

EMurelAdjOptionResult handleBackupOption(const char* rest, CMurelAdjOptions& options) {
    return chooseActionWithFile(rest, options, MURELADJ_ACTION_BACKUP);
}

EMurelAdjOptionResult handleGetverOption(const char* rest, CMurelAdjOptions& options) {
    if (actionChosen(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.action = MURELADJ_ACTION_GETVER;
    return storeOptionalFile(rest, options);
}

EMurelAdjOptionResult handleGetOption(const char* rest, CMurelAdjOptions& options) {
    if (actionChosen(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.action = MURELADJ_ACTION_GET;
    if (!hasOptionValue(rest)) {
        return MURELADJ_OPTION_NO_VALUE;
    }
    TVXVector<CVXString> pieces;
    if (!splitList(rest, pieces)) {
        return MURELADJ_OPTION_WRONG_FORMAT;
    }
    for (const CVXString& piece : pieces) {
        if (!isFullEntryName(piece)) {
            return MURELADJ_OPTION_INVALID;
        }
    }
    options.getNames = pieces;
    return MURELADJ_OPTION_OK;
}

EMurelAdjOptionResult handleCheckOption(const char* rest, CMurelAdjOptions& options) {
    if (actionChosen(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    options.action = MURELADJ_ACTION_CHECK;
    return storeOptionalFile(rest, options);
}

EMurelAdjOptionResult handlePageLockOption(const char* rest, CMurelAdjOptions& options) {
    if (fromGiven(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    return handlePathOption(rest, options.pageLockPath);
}

EMurelAdjOptionResult handlePageOption(const char* rest, CMurelAdjOptions& options) {
    if (fromGiven(options)) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    return handlePathOption(rest, options.pagePath);
}

EMurelAdjOptionResult handleFromOption(const char* rest, CMurelAdjOptions& options) {
    const bool actionReadsFile =
        (options.action == MURELADJ_ACTION_CHECK || options.action == MURELADJ_ACTION_GETVER) &&
        !options.filePath.isEmpty();
    if (!options.pagePath.isEmpty() || !options.pageLockPath.isEmpty() || actionReadsFile) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    return handlePathOption(rest, options.fromPath);
}

EMurelAdjOptionResult handleDiffOption(const char* rest, CMurelAdjOptions& options) {
    return chooseActionWithFile(rest, options, MURELADJ_ACTION_DIFF);
}

EMurelAdjOptionResult handleJsonOption(const char* rest, CMurelAdjOptions& options) {
    if (options.jsonOutput != 0) {
        return MURELADJ_OPTION_DUPLICATE;
    }
    if (hasOptionValue(rest)) {
        return MURELADJ_OPTION_INVALID;
    }
    options.jsonOutput = 1;
    return MURELADJ_OPTION_OK;
}

EMurelAdjOptionResult handleVersionOption(const char* /*rest*/, CMurelAdjOptions& options) {
    printMurelAdjVersion();
    options.versionRequested = 1;
    return MURELADJ_OPTION_OK;
}
