// Reading a description file ("E2P structure description") into the sorted description list.
//
// The file is a sequence of lines ended by line feeds; bytes after the last line feed are ignored.
// Each line is trimmed and checked by the rules of MurelAdjDescriptionLine.h; the first line that
// fails ends the parse. The scan is bounded by the file size taken before the file is opened.
#pragma once

#include "foundation/CVXFile.h"
#include "foundation/CVXString.h"
#include "meta/MurelAdjDescription.h"

#include <cstdint>

enum EMurelAdjDescriptionResult : uint32_t {
    MURELADJ_DESCRIPTION_OK = 0,
    MURELADJ_DESCRIPTION_STATUS_FAILED = 1,    // errorNumber
    MURELADJ_DESCRIPTION_NOT_REGULAR_FILE = 2, //
    MURELADJ_DESCRIPTION_OPEN_FAILED = 3,      // errorNumber
    MURELADJ_DESCRIPTION_READ_BYTE_FAILED = 4, // position of the byte, errorNumber
    MURELADJ_DESCRIPTION_SEEK_FAILED = 5,      // position of the line start, errorNumber
    MURELADJ_DESCRIPTION_READ_LINE_FAILED = 6, // length, position of the line feed, errorNumber
    MURELADJ_DESCRIPTION_WRONG_FORMAT = 7,     // line
    MURELADJ_DESCRIPTION_DUPLICATE = 8,        // line
    MURELADJ_DESCRIPTION_NO_NODES = 9,         //
};

// What went wrong (or, on success, how many nodes were found).
struct CMurelAdjDescriptionReport {
    EMurelAdjDescriptionResult result = MURELADJ_DESCRIPTION_OK;
    int errorNumber = 0; // errno of the failed system call
    int64_t position = 0;
    int32_t length = 0;
    uint32_t line = 0; // 1-based physical line number
    int32_t nodeCount = 0;
};

// Parses the file at path. On success description is replaced by the parsed list; otherwise it is
// left as it was. The report tells the outcome.
EMurelAdjDescriptionResult parseDescriptionFile(const CVXString& path,
                                                CMurelAdjDescription& description,
                                                CMurelAdjDescriptionReport& report);

// The scan of a file opened at offset 0, bounded by size (the file size taken before it was
// opened): a file that is shorter than size fails where its bytes end. Same results as
// parseDescriptionFile.
EMurelAdjDescriptionResult parseDescriptionStream(CVXFile& file, int64_t size,
                                                  CMurelAdjDescription& description,
                                                  CMurelAdjDescriptionReport& report);
