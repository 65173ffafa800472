// Block image files: the raw 2036 bytes of the adjust block, without header or trailer.
#pragma once

#include "foundation/CVXRCMemoryBuffer.h"
#include "foundation/CVXString.h"

#include <cstdint>

struct CMurelAdjOptions;

// A file must hold more than the 12 header bytes to be read as a block image.
constexpr uint32_t MURELADJ_MIN_BLOCK_FILE_SIZE = 13;

// Reads the first ADJUST_BLOCK_SIZE bytes of a regular file of at least 13 bytes. On success buffer
// refers to a new buffer of ADJUST_BLOCK_SIZE bytes; bytes beyond a shorter file's end are zero.
// Failures are logged and leave buffer as it was.
bool readAdjustBlockFile(const CVXString& path, CVXRCMemoryBuffer& buffer);

// The file the options' block comes from: fromPath (--from), else the filePath of check and getver
// (--check=, --getver=); null when the block comes from the page.
const CVXString* adjustBlockFilePath(const CMurelAdjOptions& options);

// The block the options name: read from the file of adjustBlockFilePath, else copied out of the
// page. Failures are logged and leave buffer as it was.
bool obtainAdjustBlock(const CMurelAdjOptions& options, CVXRCMemoryBuffer& buffer);

// Creates or truncates the file and writes the whole buffer; failures are logged.
bool writeAdjustBlockFile(const CVXString& path, const CVXRCMemoryBuffer& buffer);
