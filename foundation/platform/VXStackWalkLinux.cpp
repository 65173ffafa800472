// Linux stand-in for the stack walk and memory-map calls.
#include "foundation/platform/VXStackWalk.h"

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char* DEFAULT_MAP_FILE = "/proc/self/maps";
// Longest file name shown for one map entry; longer names keep their end.
constexpr size_t MAX_NAME = 96;

std::atomic<VXBacktraceSource> g_backtraceSource{nullptr};
std::atomic<const char*> g_mapFile{nullptr};

int walkStack(uintptr_t* addresses, int capacity) {
    constexpr int MAX_FRAMES = 128;
    void* frames[MAX_FRAMES];
    int wanted = capacity + 1; // the walker's own frame is left out
    if (wanted > MAX_FRAMES) {
        wanted = MAX_FRAMES;
    }
    int found = backtrace(frames, wanted);
    int count = 0;
    for (int i = 1; i < found && count < capacity; ++i) {
        addresses[count++] = reinterpret_cast<uintptr_t>(frames[i]);
    }
    return count;
}

// glibc loads its unwinder on the first walk, which allocates; doing that at start-up keeps a later
// walk (for example after a failed allocation) free of allocations. A statically linked program
// (no dynamic section) has the unwinder built in: nothing is loaded, and its first walk would only
// sort the frame tables, which costs more than all the rest of a short run's start-up (without
// memory the unwinder searches the tables unsorted).
extern "C" __attribute__((weak)) const char _DYNAMIC[];
[[maybe_unused]] const int s_unwinderLoaded = [] {
    if (_DYNAMIC == nullptr) {
        return 0;
    }
    void* frame[1];
    return backtrace(frame, 1);
}();

// One line of the map file, split into its fields.
struct MapLine {
    uintptr_t start = 0;
    uintptr_t end = 0;
    char permissions[5] = {};
    uintptr_t offset = 0;
    const char* name = nullptr; // points into the line, not terminated
    size_t nameLength = 0;
};

bool parseMapLine(const char* line, size_t length, MapLine& out) {
    // "start-end perms offset dev inode      name"
    char copy[512];
    if (length >= sizeof copy) {
        length = sizeof copy - 1;
    }
    memcpy(copy, line, length);
    copy[length] = '\0';
    unsigned long long start = 0;
    unsigned long long end = 0;
    unsigned long long offset = 0;
    char permissions[5] = {};
    int nameStart = -1;
    if (sscanf(copy, "%llx-%llx %4s %llx %*s %*s %n", &start, &end, permissions, &offset,
               &nameStart) < 4 ||
        nameStart < 0) {
        return false;
    }
    out.start = static_cast<uintptr_t>(start);
    out.end = static_cast<uintptr_t>(end);
    memcpy(out.permissions, permissions, sizeof out.permissions);
    out.offset = static_cast<uintptr_t>(offset);
    out.name = line + nameStart;
    out.nameLength = length - static_cast<size_t>(nameStart);
    return true;
}

// Code of a loaded object: executable and backed by a file.
bool isListed(const MapLine& entry) {
    return entry.permissions[2] == 'x' && entry.nameLength > 0 && entry.name[0] == '/';
}

template <typename Visitor>
void forEachListedEntry(const VXMemoryMap& map, Visitor visit) {
    size_t position = 0;
    while (position < map.length) {
        const char* line = map.text + position;
        const char* lineEnd = static_cast<const char*>(memchr(line, '\n', map.length - position));
        size_t length =
            (lineEnd != nullptr) ? static_cast<size_t>(lineEnd - line) : map.length - position;
        position += length + 1;
        MapLine entry;
        if (parseMapLine(line, length, entry) && isListed(entry)) {
            if (!visit(entry)) {
                return;
            }
        }
    }
}

} // namespace

int VXPlatformBacktrace(uintptr_t* addresses, int capacity) {
    if (addresses == nullptr || capacity <= 0) {
        return 0;
    }
    VXBacktraceSource source = g_backtraceSource.load(std::memory_order_acquire);
    if (source != nullptr) {
        int count = source(addresses, capacity);
        return (count < 0) ? 0 : (count > capacity ? capacity : count);
    }
    return walkStack(addresses, capacity);
}

VXBacktraceSource VXPlatformSetBacktraceSource(VXBacktraceSource source) {
    return g_backtraceSource.exchange(source, std::memory_order_acq_rel);
}

void VXPlatformSetMemoryMapFile(const char* path) {
    g_mapFile.store(path, std::memory_order_release);
}

bool VXPlatformLoadMemoryMap(VXMemoryMap& map) {
    map = VXMemoryMap{};
    const char* path = g_mapFile.load(std::memory_order_acquire);
    if (path == nullptr) {
        path = DEFAULT_MAP_FILE;
    }
    int descriptor;
    do {
        descriptor = open(path, O_RDONLY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        return false;
    }
    // The size of a /proc file is unknown in advance: read in growing chunks.
    size_t capacity = 16384;
    size_t length = 0;
    char* text = static_cast<char*>(malloc(capacity));
    bool ok = (text != nullptr);
    while (ok) {
        if (length == capacity) {
            char* larger = static_cast<char*>(realloc(text, capacity * 2));
            if (larger == nullptr) {
                ok = false;
                break;
            }
            text = larger;
            capacity *= 2;
        }
        ssize_t got = read(descriptor, text + length, capacity - length);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ok = false;
        } else if (got == 0) {
            break;
        } else {
            length += static_cast<size_t>(got);
        }
    }
    close(descriptor);
    if (!ok) {
        free(text);
        return false;
    }
    map.text = text;
    map.length = length;
    forEachListedEntry(map, [&map](const MapLine&) {
        ++map.entryCount;
        return true;
    });
    return true;
}

size_t VXPlatformPrintMemoryMap(const VXMemoryMap& map, int maxEntries, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    buffer[0] = '\0';
    size_t used = 0;
    int printed = 0;
    forEachListedEntry(map, [&](const MapLine& entry) {
        if (printed >= maxEntries || used + 1 >= size) {
            return false;
        }
        const char* name = entry.name;
        size_t nameLength = entry.nameLength;
        const char* ellipsis = "";
        if (nameLength > MAX_NAME) {
            name += nameLength - (MAX_NAME - 3);
            nameLength = MAX_NAME - 3;
            ellipsis = "...";
        }
        int written = snprintf(buffer + used, size - used,
                               "%08" PRIXPTR "-%08" PRIXPTR " %s %08" PRIXPTR " %s%.*s\n",
                               entry.start, entry.end, entry.permissions, entry.offset, ellipsis,
                               static_cast<int>(nameLength), name);
        if (written < 0) {
            return false;
        }
        if (static_cast<size_t>(written) >= size - used) {
            used = size - 1; // cut: the buffer is full
            return false;
        }
        used += static_cast<size_t>(written);
        ++printed;
        return true;
    });
    return used;
}

void VXPlatformUnloadMemoryMap(VXMemoryMap& map) {
    free(map.text);
    map = VXMemoryMap{};
}
