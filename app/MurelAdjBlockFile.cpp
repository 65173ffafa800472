#include "app/MurelAdjBlockFile.h"

#include "app/CMurelAdjLog.h"
#include "app/CMurelAdjOptions.h"
#include "app/MurelAdjPageAccess.h"
#include "app/MurelAdjTypes.h"
#include "foundation/CVXFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>

bool readAdjustBlockFile(const CVXString& path, CVXRCMemoryBuffer& buffer) {
    VXFileStatus status;
    if (!CVXFileSystem::status(path, status)) {
        const int error = errno;
        CMurelAdjLog::error("failed to get '%s' status, errno: <%d|%s>", path.c_str(), error,
                            strerror(error));
        return false;
    }
    if (!CVXFileSystem::isRegularFile(status)) {
        CMurelAdjLog::error("'%s' is not a regular file, reading skipped", path.c_str());
        return false;
    }
    if (static_cast<int64_t>(status.st_size) < static_cast<int64_t>(MURELADJ_MIN_BLOCK_FILE_SIZE)) {
        CMurelAdjLog::error("'%s' file size is less than minimum valid size: %u, reading skipped",
                            path.c_str(), MURELADJ_MIN_BLOCK_FILE_SIZE);
        return false;
    }

    CVXRCMemoryBuffer block(ADJUST_BLOCK_SIZE);
    uint8_t* data = block.writableData();
    // A file shorter than the block leaves the rest zero, so CRC and version are deterministic.
    memset(data, 0, ADJUST_BLOCK_SIZE);

    CVXFile file;
    int32_t count = -1;
    if (file.open(path, O_RDONLY)) {
        count = file.read(data, ADJUST_BLOCK_SIZE);
    }
    if (count <= 12) {
        const int error = errno;
        CMurelAdjLog::error("failed to read file '%s', errno: <%d|%s>", path.c_str(), error,
                            strerror(error));
        file.close();
        return false;
    }
    file.close();
    buffer = block;
    return true;
}

bool writeAdjustBlockFile(const CVXString& path, const CVXRCMemoryBuffer& buffer) {
    CVXFile file;
    if (!file.open(path, O_WRONLY | O_CREAT | O_TRUNC)) {
        const int error = errno;
        CMurelAdjLog::error("failed to open '%s', errno: <%d|%s>", path.c_str(), error,
                            strerror(error));
        return false;
    }
    const uint32_t size = buffer.size();
    const bool written = file.write(buffer.data(), size);
    if (!written) {
        const int error = errno;
        CMurelAdjLog::error("failed to write %u bytes to '%s', errno: <%d|%s>", size, path.c_str(),
                            error, strerror(error));
    }
    file.close();
    return written;
}

const CVXString* adjustBlockFilePath(const CMurelAdjOptions& options) {
    if (!options.fromPath.isEmpty()) {
        return &options.fromPath;
    }
    const bool actionReadsFile =
        options.action == MURELADJ_ACTION_CHECK || options.action == MURELADJ_ACTION_GETVER;
    if (actionReadsFile && !options.filePath.isEmpty()) {
        return &options.filePath;
    }
    return nullptr;
}

bool obtainAdjustBlock(const CMurelAdjOptions& options, CVXRCMemoryBuffer& buffer) {
    const CVXString* path = adjustBlockFilePath(options);
    if (path != nullptr) {
        return readAdjustBlockFile(*path, buffer);
    }
    return getAdjustBlock(options.pagePath, options.pageLockPath, buffer);
}
