// Command line of murelpage-sim: the command, its options, and the usage text.
#pragma once

#include "murelpage/MurelPageImage.h"

#include <cstdint>
#include <string>
#include <vector>

enum class EMurelPageSimCommand { None, Help, Write, Remove, HoldLock, Show };

struct CMurelPageSimOptions {
    EMurelPageSimCommand command = EMurelPageSimCommand::None;
    std::string page;
    std::string pageLock;
    // write
    std::string blockFile;
    int version = -1; // -1: leave byte 8 of the block as it is
    bool fixCrc = false;
    bool breakCrc = false;
    bool customItems = false; // --item or --no-items given
    std::vector<CMurelPageItem> items;
    int format = 1;
    long directoryLength = -1; // -1: the true length
    std::string rawFile;
    uint32_t size = 8192;
    bool keepCounter = false;
    // hold-lock
    uint32_t seconds = 5;
    bool readLock = false;
};

// Parses arguments (without the program name). False with a message on any error.
bool MurelPageSimParse(const std::vector<std::string>& arguments, CMurelPageSimOptions& options,
                       std::string& error);

// Reads a decimal or 0x-prefixed hexadecimal number no larger than maximum.
bool MurelPageSimParseNumber(const std::string& text, uint64_t maximum, uint64_t& value);

const char* MurelPageSimUsage();
