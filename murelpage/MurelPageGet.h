/* Settings-page client: read access to the MurelPage (8192-byte shared-memory page). */
#ifndef MURELPAGE_MURELPAGEGET_H
#define MURELPAGE_MURELPAGEGET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum MurelPageGet_EResult {
    MurelPageGet_OK = 0,
    MurelPageGet_INVALID_ID = 1,
    MurelPageGet_NOT_VALUE = 2,
    MurelPageGet_PAGE_VERSION_MISMATCH = 3,
    MurelPageGet_ITEM_VERSION_MISMATCH = 4,
    MurelPageGet_ERROR_ATTACH_SHMEM = 5,
    MurelPageGet_ERROR_ATTACH_SHACC = 6,
    MurelPageGet_LOCK_TIMEOUT = 7,
    MurelPageGet_ERROR_INIT_SYSPAGE = 8,
    MurelPageGet_INVALID_SIZE = 9,
    MurelPageGet_INCONVERTIBLE = 10,
    MurelPageGet_UNKNOWN = 11
} MurelPageGet_EResult;

#define MURELPAGE_SIZE 8192u

/* Attaches to the page and its shared access object and takes the first copy. */
MurelPageGet_EResult MurelPageGetSh_attach(const char* pagePath, const char* lockPath);

/* Stored version of an item in the private copy. */
MurelPageGet_EResult MurelPageGetSh_getDataVersion(uint32_t itemId, uint16_t* version);

/* Copies an item's bytes into buffer; *length is set to the item size whenever it was found. */
MurelPageGet_EResult MurelPageGetSh_getBuffer(uint32_t itemId, uint16_t expectedVersion,
                                              uint8_t* buffer, uint32_t bufferSize,
                                              uint32_t* length);

#ifdef __cplusplus
}
#endif

#endif /* MURELPAGE_MURELPAGEGET_H */
