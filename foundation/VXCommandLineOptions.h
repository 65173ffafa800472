// VXCommandLineOptions: the program's argument list, with "@file" expansion.
#pragma once

#include <cstdint>

class VXCommandLineOptions {
public:
    static constexpr int32_t MAX_ARGUMENTS = 128;

    // Argument count (0 to 128); builds the table on first use.
    static int32_t getArgc();
    // The argument slots; builds the table on first use.
    static char** getArgv();
    // Argument text, or null for an index below 0 or not below the count.
    static const char* getArg(int32_t index);
};
