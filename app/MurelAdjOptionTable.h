// The option table: the options of velkor, their matcher and their handlers.
#pragma once

#include "app/MurelAdjTypes.h"

#include <cstdint>

struct CMurelAdjOptions;

// A handler receives the text behind the option name (empty, or "=" and the value) and the record;
// it prints nothing (except the usage text) and reports only through its result.
using MurelAdjOptionHandler = EMurelAdjOptionResult (*)(const char* rest,
                                                        CMurelAdjOptions& options);

struct CMurelAdjOptionEntry {
    const char* name;
    MurelAdjOptionHandler handler;
};

// The twelve options of the usage text, then --from, --diff, --json and --version.
constexpr int32_t MURELADJ_OPTION_COUNT = 16;

// The table in the order in which the parse pass tries it.
extern const CMurelAdjOptionEntry MURELADJ_OPTION_TABLE[MURELADJ_OPTION_COUNT];

constexpr const char* MURELADJ_HELP_OPTION = "--help";
constexpr const char* MURELADJ_VERSION_OPTION = "--version";

// True when argument is name alone or name followed by "=" (and anything).
bool matchOption(const char* argument, const char* name);

// True when rest holds "=" and at least one character after the first "=".
bool hasOptionValue(const char* rest);

EMurelAdjOptionResult handleHelpOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleLogOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleLogLevelOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleEndiannessOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleConfigOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleDumpOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleBackupOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleGetverOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleGetOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleCheckOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handlePageLockOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handlePageOption(const char* rest, CMurelAdjOptions& options);
// --from names a second source of the block: together with --page, --pagelock or a file of
// --check or --getver it is a duplication, whichever of the two comes second.
EMurelAdjOptionResult handleFromOption(const char* rest, CMurelAdjOptions& options);
EMurelAdjOptionResult handleDiffOption(const char* rest, CMurelAdjOptions& options);
// --json takes no value: a value is invalid.
EMurelAdjOptionResult handleJsonOption(const char* rest, CMurelAdjOptions& options);
// Prints the version lines, like --help the usage text.
EMurelAdjOptionResult handleVersionOption(const char* rest, CMurelAdjOptions& options);
