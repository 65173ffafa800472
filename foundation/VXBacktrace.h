// Backtrace writer: appends a report (caption, ids, return addresses, memory map) to
// "<directory>/PID<pid>.<suffix>".
#pragma once

#include "foundation/CVXString.h"

#include <cstddef>

// Naming hook: writes the header text and the file-name stem.
using VXBacktraceNamingHook = void (*)(char* header, size_t headerSize, char* stem,
                                       size_t stemSize);

// The default hook: "TID: %d PID: %d" and "PID%d".
void VXBacktraceDefaultNaming(char* header, size_t headerSize, char* stem, size_t stemSize);

void VXBacktraceWrite(const char* caption, const char* directory, const char* suffix, bool append,
                      VXBacktraceNamingHook hook);
void VXBacktraceWrite(const CVXString& caption, const CVXString& directory, const CVXString& suffix,
                      bool append);

// Directory for backtrace reports: VX_ASSERTION_BACKTRACE_DIR, else the platform default
// ("/dev/shm" on Linux, "/dev/shmem" on QNX).
const char* VXBacktraceDirectory();
