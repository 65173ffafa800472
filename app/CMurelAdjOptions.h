// The parsed command line, owned by main and passed by reference to every action.
#pragma once

#include "app/MurelAdjTypes.h"
#include "foundation/CVXString.h"
#include "foundation/TVXVector.h"
#include "meta/MurelAdjDescription.h"

#include <cstdint>

struct CMurelAdjOptions {
    uint8_t helpRequested = 0;
    uint32_t endianness = 0;   // 1 big-endian, 2 little-endian; main sets 1 if still 0
    uint32_t logTarget = 0;    // bit mask: 1 system log, 2 standard stream; 0 keeps the default
    uint32_t logLevelMask = 0; // bit mask: 1 warning, 2 error, 4 info; 0xFFFFFFFF none
    EMurelAdjAction action = MURELADJ_ACTION_UNDEFINED;
    uint32_t dumpMode = MURELADJ_DUMP_VERBOSE;
    CVXString configPath;
    CVXString filePath; // backup target, the file check/getver read, or diff's reference block
    TVXVector<CVXString> getNames;
    CMurelAdjDescription description;
    CVXString pagePath;
    CVXString pageLockPath;
    CVXString fromPath;     // block file read instead of the page (--from); excludes the above
    uint8_t jsonOutput = 0; // the action's result as one JSON document (--json)
    uint8_t versionRequested = 0; // the version was printed; no action runs
};
