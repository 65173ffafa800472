// Types shared by the front end and the actions of velkor.
#pragma once

#include <cstdint>

// The actions; only dump, backup, get, check, getver and diff can be chosen on the command line.
enum EMurelAdjAction : uint32_t {
    MURELADJ_ACTION_UNDEFINED = 0,
    MURELADJ_ACTION_DUMP = 1,
    MURELADJ_ACTION_BACKUP = 2,
    MURELADJ_ACTION_RESTORE = 3,
    MURELADJ_ACTION_GET = 4,
    MURELADJ_ACTION_SET = 5,
    MURELADJ_ACTION_CHECK = 6,
    MURELADJ_ACTION_GETVER = 7,
    MURELADJ_ACTION_DUMPCACHE = 8,
    MURELADJ_ACTION_CHECKCACHE = 9,
    MURELADJ_ACTION_DIFF = 10,
};

// Name printed in messages ("dump", "get", ...); an out-of-range value is reported and gives "".
const char* murelAdjActionName(EMurelAdjAction action);

// Results of the option handlers.
enum EMurelAdjOptionResult : uint32_t {
    MURELADJ_OPTION_OK = 0,
    MURELADJ_OPTION_NOT_SUPPORTED = 1,
    MURELADJ_OPTION_TOO_FEW = 2,
    MURELADJ_OPTION_NO_VALUE = 3,
    MURELADJ_OPTION_WRONG_FORMAT = 4,
    MURELADJ_OPTION_INVALID = 5,
    MURELADJ_OPTION_DUPLICATE = 6,
};

// Byte length of the adjust block; every copy has this length.
constexpr uint32_t ADJUST_BLOCK_SIZE = 2036;

// Endianness values of the options record.
constexpr uint32_t MURELADJ_BIG_ENDIAN = 1;
constexpr uint32_t MURELADJ_LITTLE_ENDIAN = 2;

// Dump modes.
constexpr uint32_t MURELADJ_DUMP_HEX = 1;
constexpr uint32_t MURELADJ_DUMP_VERBOSE = 2;
