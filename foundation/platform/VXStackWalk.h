// Stack walk and memory-map listing of the own process (QNX libbacktrace).
//
// On Linux the return addresses come from glibc's backtrace() and the map from /proc/self/maps;
// the map lists the executable, file-backed mappings (the code of the program and its shared
// libraries), one line per mapping, so that return addresses can be resolved offline.
#pragma once

#include <cstddef>
#include <cstdint>

// Default directory of backtrace reports.
#if defined(__QNX__)
#define VX_PLATFORM_BACKTRACE_DIRECTORY "/dev/shmem"
#else
#define VX_PLATFORM_BACKTRACE_DIRECTORY "/dev/shm"
#endif

// Most bytes one map entry takes in the listing (line feed included).
constexpr size_t VX_MEMORY_MAP_ENTRY_TEXT = 150;

// Collects up to capacity return addresses of the calling thread; returns the number found.
int VXPlatformBacktrace(uintptr_t* addresses, int capacity);

// Source of return addresses (tests install their own); null restores the stack walk.
using VXBacktraceSource = int (*)(uintptr_t* addresses, int capacity);
// Installs source and returns the previous one.
VXBacktraceSource VXPlatformSetBacktraceSource(VXBacktraceSource source);

// The process's memory map as loaded by VXPlatformLoadMemoryMap.
struct VXMemoryMap {
    char* text = nullptr; // the raw listing read from the map file
    size_t length = 0;
    int entryCount = 0; // entries that the listing will show
};

// Loads the map of the own process; false (and an empty map) when it cannot be read.
bool VXPlatformLoadMemoryMap(VXMemoryMap& map);
// Writes the first maxEntries entries, one per line, into buffer (always terminated, cut to size).
// Returns the number of characters stored.
size_t VXPlatformPrintMemoryMap(const VXMemoryMap& map, int maxEntries, char* buffer, size_t size);
void VXPlatformUnloadMemoryMap(VXMemoryMap& map);

// File read as the process map (tests install their own listing); null restores the default.
void VXPlatformSetMemoryMapFile(const char* path);
