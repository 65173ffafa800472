#include "murelpage/murelpagegetsh.h"

#include "foundation/VXAssert.h"
#include "murelpage/MurelPageLog.h"
#include "murelpage/murelshaccobj.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kSource = "murelpagegetsh";
const uint32_t kDirectoryOffset = 3; // format byte, 2-byte directory length
const uint32_t kEntrySize = 6;       // 4-byte id, 2-byte size
const uint32_t kValueVersionSize = 2;
const uint32_t kRegionVersionOffset = 8;

// Parsed header of the private copy.
struct CMurelPageDescriptor {
    uint8_t format;
    uint16_t directoryLength;
    const uint8_t* directory;
    const uint8_t* base;
};

// One item lookup: the directory entry's id, the item's size, its position counted from the start
// of the directory, and the stored version.
struct CMurelPageLookup {
    uint32_t id;
    uint16_t size;
    uint32_t position;
    uint16_t version;
};

// Module state, one set per process.
MurelShAccObj g_moduleLock = MURELSHACCOBJ_INITIALIZER;
MurelPageGet_EResult g_attachState = MurelPageGet_UNKNOWN;
const uint8_t* g_page = nullptr;
int g_pageDescriptor = -1; // kept open with the mapping: the copy is read through it
char g_pagePath[PATH_MAX] = {};
MurelShAccObj* g_accessObject = nullptr;
uint32_t g_seenCounter = 0;
uint32_t g_seenTime = 0;
uint8_t g_copy[MURELPAGE_SIZE];
CMurelPageDescriptor g_descriptor = {};

uint32_t readUint32(const uint8_t* bytes) {
    uint32_t value = 0;
    memcpy(&value, bytes, sizeof(value));
    return value;
}

uint16_t readUint16(const uint8_t* bytes) {
    uint16_t value = 0;
    memcpy(&value, bytes, sizeof(value));
    return value;
}

uint32_t kindOf(uint32_t id) {
    return id >> 30;
}

void releaseModuleLock(int line) {
    if (MurelShAccObj_unlock(&g_moduleLock) != 0) {
        MURELPAGE_LOG_ERROR("MurelPageGetSh_releaseModuleLock", " ");
        VXFatalError(line, kSource, " ");
    }
}

MurelPageGet_EResult parseHeader() {
    g_descriptor = {};
    g_descriptor.base = g_copy;
    g_descriptor.format = g_copy[0];
    g_descriptor.directoryLength = readUint16(g_copy + 1);
    g_descriptor.directory = g_copy + kDirectoryOffset;
    return g_descriptor.format == 1 ? MurelPageGet_OK : MurelPageGet_PAGE_VERSION_MISMATCH;
}

// True when bytes [position, position + size) after the directory start lie inside the copy.
bool isInCopy(uint32_t position, uint32_t size) {
    const uint64_t end = uint64_t{kDirectoryOffset} + position + size;
    return end <= MURELPAGE_SIZE;
}

MurelPageGet_EResult rejectOutOfCopy(uint32_t requestedId, uint32_t position, uint32_t size) {
    MURELPAGE_LOG_ERROR("MurelPageGetSh_findItem",
                        "item 0x%08X reaches past the page copy (position %u, size %u)",
                        requestedId, position, size);
    return MurelPageGet_ERROR_INIT_SYSPAGE;
}

// Walks the directory for the first entry whose id satisfies matches(id).
template <typename Predicate>
MurelPageGet_EResult walkDirectory(Predicate matches, CMurelPageLookup* lookup) {
    if (g_descriptor.directory == nullptr || lookup == nullptr) {
        return MurelPageGet_UNKNOWN;
    }
    const uint32_t directoryLength = g_descriptor.directoryLength;
    if (!isInCopy(0, directoryLength)) {
        MURELPAGE_LOG_ERROR("MurelPageGetSh_findItem",
                            "directory of %u bytes reaches past the page copy", directoryLength);
        return MurelPageGet_ERROR_INIT_SYSPAGE;
    }
    const uint32_t entries = directoryLength / kEntrySize;
    uint32_t position = directoryLength;
    for (uint32_t index = 0; index < entries; ++index) {
        const uint8_t* entry = g_descriptor.directory + index * kEntrySize;
        const uint32_t id = readUint32(entry);
        const uint16_t size = readUint16(entry + 4);
        if (matches(id)) {
            *lookup = CMurelPageLookup{id, size, position, 0};
            return MurelPageGet_OK;
        }
        position += size;
    }
    return MurelPageGet_INVALID_ID;
}

// Locates an item by its kind and reads its stored version. Every byte the lookup hands out or
// reads lies inside the copy, else ERROR_INIT_SYSPAGE.
MurelPageGet_EResult findItem(uint32_t itemId, CMurelPageLookup* lookup) {
    MurelPageGet_EResult result = MurelPageGet_UNKNOWN;
    switch (kindOf(itemId)) {
    case 0: {
        result = walkDirectory([itemId](uint32_t id) { return id == itemId; }, lookup);
        if (result != MurelPageGet_OK) {
            return result;
        }
        if (lookup->size < kValueVersionSize || !isInCopy(lookup->position, lookup->size)) {
            return rejectOutOfCopy(itemId, lookup->position, lookup->size);
        }
        lookup->version = readUint16(g_descriptor.directory + lookup->position);
        lookup->position += kValueVersionSize;
        lookup->size = static_cast<uint16_t>(lookup->size - kValueVersionSize);
        return MurelPageGet_OK;
    }
    case 1: {
        const uint32_t parentId = (itemId >> 23) & 0x3Fu;
        const bool explicitSize = (itemId & (1u << 29)) != 0;
        const uint32_t offset = (itemId >> 11) & 0xFFFu;
        const uint32_t size = explicitSize ? (itemId & 0x7FFu) : 1u;
        result = walkDirectory(
            [parentId](uint32_t id) { return kindOf(id) == 0 && id == parentId; }, lookup);
        if (result != MurelPageGet_OK) {
            return result;
        }
        const uint32_t position = lookup->position + kValueVersionSize + offset;
        if (!isInCopy(lookup->position, kValueVersionSize) || !isInCopy(position, size)) {
            return rejectOutOfCopy(itemId, position, size);
        }
        lookup->version = readUint16(g_descriptor.directory + lookup->position);
        lookup->position = position;
        lookup->size = static_cast<uint16_t>(size);
        return MurelPageGet_OK;
    }
    case 2: {
        const uint32_t offset = (itemId >> 16) & 0x3FFFu;
        const uint32_t size = itemId & 0xFFFFu;
        result = walkDirectory([](uint32_t id) { return kindOf(id) == 2; }, lookup);
        if (result != MurelPageGet_OK) {
            return result;
        }
        const uint32_t position = lookup->position + offset;
        if (!isInCopy(lookup->position, kRegionVersionOffset + 1) || !isInCopy(position, size)) {
            return rejectOutOfCopy(itemId, position, size);
        }
        lookup->version = g_descriptor.directory[lookup->position + kRegionVersionOffset];
        lookup->position = position;
        lookup->size = static_cast<uint16_t>(size);
        return MurelPageGet_OK;
    }
    default: {
        result = walkDirectory([itemId](uint32_t id) { return id == itemId; }, lookup);
        if (result == MurelPageGet_OK && !isInCopy(lookup->position, lookup->size)) {
            return rejectOutOfCopy(itemId, lookup->position, lookup->size);
        }
        return result;
    }
    }
}

MurelPageGet_EResult checkVersion(uint32_t itemId, uint16_t expectedVersion) {
    const uint32_t kind = kindOf(itemId);
    if (kind == 3) {
        return MurelPageGet_OK;
    }
    CMurelPageLookup lookup = {};
    const MurelPageGet_EResult result = findItem(itemId, &lookup);
    if (result != MurelPageGet_OK) {
        return result;
    }
    const bool fits = kind == 2 ? lookup.version == expectedVersion
                                : (lookup.version >> 8) == (expectedVersion >> 8);
    return fits ? MurelPageGet_OK : MurelPageGet_ITEM_VERSION_MISMATCH;
}

const char* const kOpenFunction = "MURELPAGE_OPEN_SHARED_MEMORY_RONLY";

void logShortPage(const char* pagePath) {
    MURELPAGE_LOG_ERROR(kOpenFunction, "shared memory object '%s' is shorter than %u bytes",
                        pagePath, MURELPAGE_SIZE);
}

// Releases the mapping and the descriptor of the page, if any.
void detachPage() {
    if (g_page != nullptr) {
        munmap(const_cast<uint8_t*>(g_page), MURELPAGE_SIZE);
        g_page = nullptr;
    }
    if (g_pageDescriptor >= 0) {
        if (MurelShAccObj_closeSharedMemory(g_pageDescriptor) == 0) {
            MURELPAGE_LOG_WARNING(kOpenFunction, "Error while try close shared memory.");
        }
        g_pageDescriptor = -1;
    }
}

// Reads the 8192 bytes of the page through its descriptor. A page object that shrank since the
// attach (or since any check of its size) makes the read end early, where touching the mapping
// past the object's end would raise SIGBUS; it is refused as at the first attach.
bool readPage(uint8_t* page) {
    size_t done = 0;
    while (done < MURELPAGE_SIZE) {
        const ssize_t count =
            pread(g_pageDescriptor, page + done, MURELPAGE_SIZE - done, static_cast<off_t>(done));
        if (count > 0) {
            done += static_cast<size_t>(count);
        } else if (count == 0) {
            logShortPage(g_pagePath);
            return false;
        } else if (errno != EINTR) {
            MURELPAGE_LOG_ERROR("MurelPageGetSh_updateImpl", "pread('%s'): failed with <%d|%s>",
                                g_pagePath, errno, strerror(errno));
            return false;
        }
    }
    return true;
}

MurelPageGet_EResult MurelPageGetSh_attachShMemImternal(const char* pagePath,
                                                        const char* lockPath) {
    const char* const function = kOpenFunction;
    detachPage();
    if (pagePath == nullptr || pagePath[0] == '\0') {
        return MurelPageGet_UNKNOWN;
    }
    const int descriptor = shm_open(pagePath, O_RDONLY, 0444);
    if (descriptor < 0) {
        if (errno == ENOENT) {
            MURELPAGE_LOG_WARNING(
                function,
                "shm_open('%s'): failed as shared memory object does not exist, to be created",
                pagePath);
        } else {
            MURELPAGE_LOG_ERROR(function, "shm_open('%s'): failed with <%d|%s>", pagePath, errno,
                                strerror(errno));
        }
        return MurelPageGet_ERROR_ATTACH_SHMEM;
    }
    // Touching a mapping beyond the end of the object raises SIGBUS: a short page is refused.
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || status.st_size < static_cast<off_t>(MURELPAGE_SIZE)) {
        logShortPage(pagePath);
        MurelShAccObj_closeSharedMemory(descriptor);
        return MurelPageGet_ERROR_ATTACH_SHMEM;
    }
    void* mapping = mmap(nullptr, MURELPAGE_SIZE, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapping == MAP_FAILED) {
        const int mapError = errno;
        if (MurelShAccObj_closeSharedMemory(descriptor) == 0) {
            MURELPAGE_LOG_WARNING(function, "Error while try close shared memory.");
        }
        MURELPAGE_LOG_ERROR(function, "mmap('%s'): failed with <%d|%s>", pagePath, mapError,
                            strerror(mapError));
        return MurelPageGet_ERROR_ATTACH_SHMEM;
    }
    // The descriptor stays open: every copy is read through it (see readPage).
    g_page = static_cast<const uint8_t*>(mapping);
    g_pageDescriptor = descriptor;
    snprintf(g_pagePath, sizeof(g_pagePath), "%s", pagePath);
    if (g_accessObject != nullptr) {
        munmap(g_accessObject, MURELSHACCOBJ_SIZE);
        g_accessObject = nullptr;
    }
    if (MurelShAccObj_attach(lockPath, &g_accessObject) != 0) {
        return MurelPageGet_ERROR_ATTACH_SHACC;
    }
    g_seenCounter = 0;
    g_seenTime = 0;
    return MurelPageGetSh_updateImpl();
}

} // namespace

MurelPageGet_EResult MurelPageGetSh_updateImpl(void) {
    if (g_page == nullptr || g_accessObject == nullptr) {
        return MurelPageGet_ERROR_ATTACH_SHMEM;
    }
    if (MurelShAccObj_timedLockROnly(g_accessObject, MURELSHACCOBJ_WAIT_FOREVER) != 0) {
        return MurelPageGet_LOCK_TIMEOUT;
    }
    MurelPageGet_EResult result = MurelPageGet_OK;
    const uint32_t counter = __atomic_load_n(&g_accessObject->changeCounter, __ATOMIC_ACQUIRE);
    if (g_seenCounter < counter || (g_seenCounter == 0 && g_seenTime == 0)) {
        // Read aside first: a page that cannot be read leaves the copy and the seen counter as
        // they were, and a later refresh tries again.
        uint8_t page[MURELPAGE_SIZE];
        if (!readPage(page)) {
            result = MurelPageGet_ERROR_ATTACH_SHMEM;
        } else {
            g_seenCounter = counter;
            g_seenTime = __atomic_load_n(&g_accessObject->timeStamp, __ATOMIC_ACQUIRE);
            memcpy(g_copy, page, MURELPAGE_SIZE);
            if (parseHeader() != MurelPageGet_OK) {
                result = MurelPageGet_ERROR_INIT_SYSPAGE;
            }
        }
    }
    if (MurelShAccObj_unlock(g_accessObject) != 0) {
        const char* const message = "RW lock counter is broken, each client is affected!";
        MURELPAGE_LOG_ERROR("MurelPageGetSh_updateImpl", "%s", message);
        VXFatalError(__LINE__, kSource, message);
    }
    return result;
}

MurelPageGet_EResult MurelPageGetSh_attach(const char* pagePath, const char* lockPath) {
    if (MurelShAccObj_timedLockWrite(&g_moduleLock, MURELSHACCOBJ_WAIT_FOREVER) != 0) {
        return MurelPageGet_UNKNOWN;
    }
    MurelPageGet_EResult result = MurelPageGet_UNKNOWN;
    if (g_attachState == MurelPageGet_OK) {
        result = MurelPageGetSh_updateImpl();
    } else {
        result = MurelPageGetSh_attachShMemImternal(pagePath, lockPath);
        g_attachState = result;
    }
    releaseModuleLock(__LINE__);
    return result;
}

MurelPageGet_EResult MurelPageGetSh_getDataVersion(uint32_t itemId, uint16_t* version) {
    if (MurelShAccObj_timedLockROnly(&g_moduleLock, MURELSHACCOBJ_WAIT_FOREVER) != 0) {
        return MurelPageGet_UNKNOWN;
    }
    MurelPageGet_EResult result = MurelPageGet_UNKNOWN;
    if (version == nullptr) {
        result = MurelPageGet_UNKNOWN;
    } else if (g_descriptor.format != 1) {
        result = MurelPageGet_PAGE_VERSION_MISMATCH;
    } else {
        CMurelPageLookup lookup = {};
        result = findItem(itemId, &lookup);
        if (result == MurelPageGet_OK) {
            *version = lookup.version;
        }
    }
    releaseModuleLock(__LINE__);
    return result;
}

MurelPageGet_EResult MurelPageGetSh_getBuffer(uint32_t itemId, uint16_t expectedVersion,
                                              uint8_t* buffer, uint32_t bufferSize,
                                              uint32_t* length) {
    if (MurelShAccObj_timedLockROnly(&g_moduleLock, MURELSHACCOBJ_WAIT_FOREVER) != 0) {
        return MurelPageGet_UNKNOWN;
    }
    MurelPageGet_EResult result = MurelPageGet_UNKNOWN;
    if (buffer == nullptr || length == nullptr || g_descriptor.base == nullptr) {
        result = MurelPageGet_UNKNOWN;
    } else if (g_descriptor.format != 1) {
        result = MurelPageGet_PAGE_VERSION_MISMATCH;
    } else {
        result = checkVersion(itemId, expectedVersion);
        CMurelPageLookup lookup = {};
        if (result == MurelPageGet_OK) {
            result = findItem(itemId, &lookup);
        }
        if (result == MurelPageGet_OK) {
            *length = lookup.size;
            if (lookup.size > bufferSize) {
                result = MurelPageGet_INVALID_SIZE;
            } else {
                memcpy(buffer, g_descriptor.directory + lookup.position, lookup.size);
            }
        }
    }
    releaseModuleLock(__LINE__);
    return result;
}

MurelPageGet_EResult MurelPageGetSh_loadCopyForTesting(const uint8_t* page) {
    if (page == nullptr ||
        MurelShAccObj_timedLockWrite(&g_moduleLock, MURELSHACCOBJ_WAIT_FOREVER) != 0) {
        return MurelPageGet_UNKNOWN;
    }
    memcpy(g_copy, page, MURELPAGE_SIZE);
    const MurelPageGet_EResult result =
        parseHeader() == MurelPageGet_OK ? MurelPageGet_OK : MurelPageGet_ERROR_INIT_SYSPAGE;
    releaseModuleLock(__LINE__);
    return result;
}

void MurelPageGetSh_resetForTesting(void) {
    detachPage();
    if (g_accessObject != nullptr) {
        munmap(g_accessObject, MURELSHACCOBJ_SIZE);
    }
    g_accessObject = nullptr;
    g_attachState = MurelPageGet_UNKNOWN;
    g_seenCounter = 0;
    g_seenTime = 0;
    g_descriptor = {};
    memset(g_copy, 0, sizeof(g_copy));
}
