#include "app/MurelAdjPageAccess.h"

#include "app/CMurelAdjLog.h"
#include "app/MurelAdjTypes.h"
#include "foundation/VXAssert.h"
#include "meta/MurelMetaDescription.h"

#include <cstdlib>
#include <cstring>

CVXString settlePagePath(const CVXString& path, const char* environmentName,
                         const char* defaultPath) {
    if (!path.isEmpty()) {
        return path;
    }
    const char* value = getenv(environmentName);
    CVXString settled(value != nullptr ? value : "");
    settled.trim();
    if (settled.isEmpty()) {
        return CVXString(defaultPath);
    }
    return settled;
}

bool getAdjustBlock(const CVXString& pagePath, const CVXString& pageLockPath,
                    CVXRCMemoryBuffer& buffer) {
    const CVXString page = settlePagePath(pagePath, "MUREL_PAGE", MURELADJ_DEFAULT_PAGE_PATH);
    const CVXString pageLock =
        settlePagePath(pageLockPath, "MUREL_PAGELOCK", MURELADJ_DEFAULT_PAGELOCK_PATH);

    MurelPageGet_EResult result = MurelPageGetSh_attach(page.c_str(), pageLock.c_str());
    if (result != MurelPageGet_OK) {
        CMurelAdjLog::error("failed attach, page: '%s', pagelock: '%s', res: %s", page.c_str(),
                            pageLock.c_str(), pageResultName(result));
        return false;
    }

    uint16_t version = 0xFFFF;
    result = MurelPageGetSh_getDataVersion(NMurelMeta::ADJUST_BLOCK_DATA_ID, &version);
    if (result != MurelPageGet_OK) {
        CMurelAdjLog::error("failed get adjust version, page: '%s', pagelock: '%s', res: %s",
                            page.c_str(), pageLock.c_str(), pageResultName(result));
        return false;
    }

    // Cleared, so that a short copy can never hand out stack contents.
    uint8_t block[ADJUST_BLOCK_SIZE] = {};
    uint32_t length = 0;
    result = MurelPageGetSh_getBuffer(NMurelMeta::ADJUST_BLOCK_DATA_ID, version, block,
                                      ADJUST_BLOCK_SIZE, &length);
    if (result != MurelPageGet_OK) {
        return false;
    }
    if (length != ADJUST_BLOCK_SIZE) {
        VXAssertionFailed(__LINE__, "MurelAdjPageAccess", "adjBlockLen is wrong");
    }

    CVXRCMemoryBuffer copy(ADJUST_BLOCK_SIZE);
    memcpy(copy.writableData(), block, ADJUST_BLOCK_SIZE);
    buffer = copy;
    return true;
}

const char* pageResultName(uint32_t result) {
    switch (result) {
    case MurelPageGet_OK:
        return "OK";
    case MurelPageGet_INVALID_ID:
        return "INVALID_ID";
    case MurelPageGet_NOT_VALUE:
        return "NOT_VALUE";
    case MurelPageGet_PAGE_VERSION_MISMATCH:
        return "PAGE_VERSION_MISMATCH";
    case MurelPageGet_ITEM_VERSION_MISMATCH:
        return "ITEM_VERSION_MISMATCH";
    case MurelPageGet_ERROR_ATTACH_SHMEM:
        return "ERROR_ATTACH_SHMEM";
    case MurelPageGet_ERROR_ATTACH_SHACC:
        return "ERROR_ATTACH_SHACC";
    case MurelPageGet_LOCK_TIMEOUT:
        return "LOCK_TIMEOUT";
    case MurelPageGet_ERROR_INIT_SYSPAGE:
        return "ERROR_INIT_SYSPAGE";
    case MurelPageGet_INVALID_SIZE:
        return "INVALID_SIZE";
    case MurelPageGet_INCONVERTIBLE:
        return "INCONVERTIBLE";
    case MurelPageGet_UNKNOWN:
        return "UNKNOWN";
    default:
        VXAssertionFailed(__LINE__, "MurelAdjPageAccess", "Invalid MurelPageGet_EResult value.");
        return "";
    }
}
