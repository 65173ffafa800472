// Page access wrapper: a private copy of the adjust block out of the MurelPage.
#pragma once

#include "foundation/CVXRCMemoryBuffer.h"
#include "foundation/CVXString.h"
#include "murelpage/MurelPageGet.h"

#include <cstdint>

// Paths used when neither the command line nor the environment names one.
constexpr const char* MURELADJ_DEFAULT_PAGE_PATH = "/murelpage";
constexpr const char* MURELADJ_DEFAULT_PAGELOCK_PATH = "/murelpage-lock";

// An empty path is taken from the environment variable (trimmed), then from the default; a given
// path is used unchanged.
CVXString settlePagePath(const CVXString& path, const char* environmentName,
                         const char* defaultPath);

// Attaches to the page, reads the adjust block's stored version and copies the block. On success
// buffer refers to a new buffer of ADJUST_BLOCK_SIZE bytes; on failure it is left as it was and the
// reason is logged (a failed copy is not).
bool getAdjustBlock(const CVXString& pagePath, const CVXString& pageLockPath,
                    CVXRCMemoryBuffer& buffer);

// Name of a page client result ("OK" ... "UNKNOWN"); any other value is reported and gives "".
const char* pageResultName(uint32_t result);
