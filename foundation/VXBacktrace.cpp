// Backtrace writer: appends a report (caption, ids, return addresses, memory map) to a file.
#include "foundation/VXBacktrace.h"

#include "foundation/CVXCriticalSection.h"
#include "foundation/VXAssert.h"
#include "foundation/VXOperatingSystem.h"
#include "foundation/platform/VXStackWalk.h"

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* SOURCE = "VXBacktraceQNX";

constexpr int MAX_ADDRESSES = 100;
constexpr int ADDRESSES_PER_ROW = 6;
// Map listing: up to this many entries fit the buffer on the stack; more are allocated at
// VX_MEMORY_MAP_ENTRY_TEXT bytes each, and at most MAX_MAP_ENTRIES are listed.
constexpr int STACK_MAP_ENTRIES = 27;
constexpr size_t STACK_MAP_BUFFER = 4096;
constexpr int MAX_MAP_ENTRIES = 50;

constexpr size_t FILE_NAME_SIZE = 1024;
constexpr size_t HEADER_SIZE = 256;
constexpr size_t STEM_SIZE = 256;

// The writer's section lives for the whole process: a report written by a late destructor or an
// atexit handler must still find it intact.
CVXCriticalSection& writerSection() {
    static CVXCriticalSection* const section = new CVXCriticalSection();
    return *section;
}

[[maybe_unused]] CVXCriticalSection& s_writerSection = writerSection();

int currentThreadId() {
    return static_cast<int>(gettid());
}

void writeText(int descriptor, const char* text, size_t length) {
    while (length > 0) {
        ssize_t written = write(descriptor, text, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return; // write errors shorten the report
        }
        text += written;
        length -= static_cast<size_t>(written);
    }
}

void writeText(int descriptor, const char* text) {
    writeText(descriptor, text, strlen(text));
}

int openReport(const char* fileName, bool append) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : 0);
    int descriptor;
    do {
        descriptor = open(fileName, flags, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

} // namespace

void VXBacktraceDefaultNaming(char* header, size_t headerSize, char* stem, size_t stemSize) {
    if (header != nullptr && headerSize > 0) {
        snprintf(header, headerSize, "TID: %d PID: %d", currentThreadId(),
                 static_cast<int>(getpid()));
    }
    if (stem != nullptr && stemSize > 0) {
        snprintf(stem, stemSize, "PID%d", static_cast<int>(getpid()));
    }
}

const char* VXBacktraceDirectory() {
    const char* directory = getenv("VX_ASSERTION_BACKTRACE_DIR");
    return (directory != nullptr && directory[0] != '\0') ? directory
                                                          : VX_PLATFORM_BACKTRACE_DIRECTORY;
}

void VXBacktraceWrite(const char* caption, const char* directory, const char* suffix, bool append,
                      VXBacktraceNamingHook hook) {
    if (!VX_CHECK(caption != nullptr, SOURCE, "caption is missing") ||
        !VX_CHECK(directory != nullptr, SOURCE, "directory is missing") ||
        !VX_CHECK(suffix != nullptr, SOURCE, "suffix is missing")) {
        return;
    }
    CVXCriticalSectionLock lock(writerSection());

    uintptr_t addresses[MAX_ADDRESSES];
    const int addressCount = VXPlatformBacktrace(addresses, MAX_ADDRESSES);

    char stackMapText[STACK_MAP_BUFFER];
    char* allocatedMapText = nullptr;
    const char* mapText = "";
    VXMemoryMap map;
    if (VXPlatformLoadMemoryMap(map)) {
        int entries = map.entryCount;
        char* buffer = stackMapText;
        size_t bufferSize = sizeof stackMapText;
        if (entries > STACK_MAP_ENTRIES) {
            if (entries > MAX_MAP_ENTRIES) {
                entries = MAX_MAP_ENTRIES;
            }
            bufferSize = VX_MEMORY_MAP_ENTRY_TEXT * static_cast<size_t>(entries);
            allocatedMapText = static_cast<char*>(VXMalloc(bufferSize));
            buffer = allocatedMapText;
        }
        if (buffer != nullptr) {
            VXPlatformPrintMemoryMap(map, entries, buffer, bufferSize);
            mapText = buffer;
        }
        VXPlatformUnloadMemoryMap(map);
    }

    char header[HEADER_SIZE];
    char fileName[FILE_NAME_SIZE];
    if (hook != nullptr) {
        char stem[STEM_SIZE];
        header[0] = '\0';
        stem[0] = '\0';
        hook(header, sizeof header, stem, sizeof stem);
        snprintf(fileName, sizeof fileName, "%s/%s.%s", directory, stem, suffix);
    } else {
        snprintf(fileName, sizeof fileName, "%s/PID%d.%s", directory, static_cast<int>(getpid()),
                 suffix);
    }

    const int descriptor = openReport(fileName, append);
    if (descriptor < 0) {
        printf("Cannot open %s\n", fileName);
        fflush(stdout);
    } else {
        char text[HEADER_SIZE + 8];
        writeText(descriptor, "\n[QNX backtrace] INFO - ");
        writeText(descriptor, caption);
        writeText(descriptor, "\n");
        if (hook != nullptr) {
            snprintf(text, sizeof text, "\n%s\n", header);
        } else {
            snprintf(text, sizeof text, "\nTID: %d PID: %d\n", currentThreadId(),
                     static_cast<int>(getpid()));
        }
        writeText(descriptor, text);
        writeText(descriptor,
                  "data below is the actual callstack created with QNX libbacktrace.so\n");
        writeText(descriptor, "usable for analysis with proper project MAP file\n\n");
        for (int i = 0; i < addressCount; ++i) {
            if (i % ADDRESSES_PER_ROW == 0) {
                writeText(descriptor, "\n");
            }
            snprintf(text, sizeof text, "%08" PRIXPTR " ", addresses[i]);
            writeText(descriptor, text);
        }
        writeText(descriptor, "\n\n");
        writeText(descriptor, mapText);
        writeText(descriptor, "\n\n");
        close(descriptor);
    }
    VXFree(allocatedMapText);
}

void VXBacktraceWrite(const CVXString& caption, const CVXString& directory, const CVXString& suffix,
                      bool append) {
    VXBacktraceWrite(caption.c_str(), directory.c_str(), suffix.c_str(), append,
                     VXBacktraceDefaultNaming);
}
