// murelpage-sim: creates and fills a MurelPage and its shared access object on a development host,
// where no other program provides them. See docs/murelpage-sim.md.
#include "murelpage/MurelPageImage.h"
#include "murelpage/MurelPageWriter.h"
#include "tools/murelpage-sim/MurelPageSimBlockCrc.h"
#include "tools/murelpage-sim/MurelPageSimCommandLine.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace {

const uint32_t kAdjustBlockId = 0x800007F4u;

int failWith(const std::string& message) {
    std::fprintf(stderr, "murelpage-sim: %s\n", message.c_str());
    return 1;
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        error = "cannot read '" + path + "': " + strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    if (stream.bad()) {
        error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

bool buildImage(const CMurelPageSimOptions& options, std::vector<uint8_t>& image,
                std::string& error) {
    if (!options.rawFile.empty()) {
        return readFileBytes(options.rawFile, image, error);
    }
    std::vector<CMurelPageItem> items = options.items;
    if (!options.blockFile.empty()) {
        CMurelPageItem block;
        block.id = kAdjustBlockId;
        if (!readFileBytes(options.blockFile, block.data, error)) {
            return false;
        }
        if (block.data.size() != kMurelPageSimBlockSize) {
            error = "block file '" + options.blockFile + "' has " +
                    std::to_string(block.data.size()) + " bytes, expected 2036";
            return false;
        }
        if (options.version >= 0) {
            block.data[8] = static_cast<uint8_t>(options.version);
        }
        if (options.fixCrc || options.breakCrc) {
            const uint32_t crc = MurelPageSimBlockCrc(block.data.data());
            MurelPageSimStoreCrc(block.data.data(), options.breakCrc ? crc ^ 1u : crc);
        }
        items.push_back(block);
    }
    if (!MurelPageImage_build(items, image, static_cast<uint8_t>(options.format))) {
        error = "the items do not fit into the 8192-byte page";
        return false;
    }
    if (options.directoryLength >= 0) {
        const uint16_t length = static_cast<uint16_t>(options.directoryLength);
        memcpy(&image[1], &length, sizeof(length));
    }
    return true;
}

int runWrite(const CMurelPageSimOptions& options) {
    std::vector<uint8_t> image;
    std::string error;
    if (!buildImage(options, image, error)) {
        return failWith(error);
    }
    CMurelPageWriter writer;
    if (!writer.open(options.page, options.pageLock, options.size) ||
        !writer.write(image, !options.keepCounter)) {
        return failWith(writer.error());
    }
    return 0;
}

int runRemove(const CMurelPageSimOptions& options) {
    std::string error;
    if (!CMurelPageWriter::remove(options.page, options.pageLock, error)) {
        return failWith(error);
    }
    return 0;
}

int runHoldLock(const CMurelPageSimOptions& options) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);

    CMurelPageWriter writer;
    if (!writer.attachLock(options.pageLock)) {
        return failWith(writer.error());
    }
    MurelShAccObj* object = writer.accessObject();
    const int locked = options.readLock
                           ? MurelShAccObj_timedLockROnly(object, MURELSHACCOBJ_WAIT_FOREVER)
                           : MurelShAccObj_timedLockWrite(object, MURELSHACCOBJ_WAIT_FOREVER);
    if (locked != 0) {
        return failWith(std::string("cannot take the lock: ") + strerror(locked));
    }
    std::printf("locked\n");
    std::fflush(stdout);

    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t deadline = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec +
                             int64_t{options.seconds} * 1000000000;
    bool interrupted = false;
    for (;;) {
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t left =
            deadline - (static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec);
        if (left <= 0) {
            break;
        }
        struct timespec wait {};
        wait.tv_sec = static_cast<time_t>(left / 1000000000);
        wait.tv_nsec = static_cast<long>(left % 1000000000);
        if (sigtimedwait(&signals, nullptr, &wait) > 0) {
            interrupted = true;
            break;
        }
    }
    MurelShAccObj_unlock(object);
    std::printf("unlocked\n");
    std::fflush(stdout);
    return interrupted ? 1 : 0;
}

// Maps an existing object read-only; null with a message when it is missing or too small.
const uint8_t* mapExisting(const std::string& path, size_t minimum, size_t& size,
                           std::string& error) {
    const int descriptor = shm_open(path.c_str(), O_RDONLY, 0);
    if (descriptor < 0) {
        error = "cannot open '" + path + "': " + strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || static_cast<size_t>(status.st_size) < minimum ||
        status.st_size == 0) {
        close(descriptor);
        error = "'" + path + "' is shorter than " + std::to_string(minimum) + " bytes";
        return nullptr;
    }
    size = static_cast<size_t>(status.st_size);
    void* mapping = mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor, 0);
    close(descriptor);
    if (mapping == MAP_FAILED) {
        error = "cannot map '" + path + "': " + strerror(errno);
        return nullptr;
    }
    return static_cast<const uint8_t*>(mapping);
}

int runShow(const CMurelPageSimOptions& options) {
    std::string error;
    size_t objectSize = 0;
    const uint8_t* object = mapExisting(options.pageLock, MURELSHACCOBJ_SIZE, objectSize, error);
    if (object == nullptr) {
        return failWith(error);
    }
    size_t pageSize = 0;
    const uint8_t* page = mapExisting(options.page, 3, pageSize, error);
    if (page == nullptr) {
        munmap(const_cast<uint8_t*>(object), objectSize);
        return failWith(error);
    }
    uint32_t counter = 0;
    uint32_t stamp = 0;
    memcpy(&counter, object + 48, sizeof(counter));
    memcpy(&stamp, object + 52, sizeof(stamp));
    uint16_t directoryLength = 0;
    memcpy(&directoryLength, page + 1, sizeof(directoryLength));
    std::printf("counter=%u\ntime=%u\nsize=%zu\nformat=%u\ndirlength=%u\n", counter, stamp,
                pageSize, page[0], directoryLength);
    for (size_t at = 3; at + 6 <= 3 + size_t{directoryLength} && at + 6 <= pageSize; at += 6) {
        uint32_t id = 0;
        uint16_t size = 0;
        memcpy(&id, page + at, sizeof(id));
        memcpy(&size, page + at + 4, sizeof(size));
        std::printf("item 0x%08X size %u\n", id, size);
    }
    munmap(const_cast<uint8_t*>(page), pageSize);
    munmap(const_cast<uint8_t*>(object), objectSize);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CMurelPageSimOptions options;
    std::string error;
    if (!MurelPageSimParse(arguments, options, error)) {
        return failWith(error);
    }
    switch (options.command) {
    case EMurelPageSimCommand::Help:
        std::fputs(MurelPageSimUsage(), stdout);
        return 0;
    case EMurelPageSimCommand::Write:
        return runWrite(options);
    case EMurelPageSimCommand::Remove:
        return runRemove(options);
    case EMurelPageSimCommand::HoldLock:
        return runHoldLock(options);
    case EMurelPageSimCommand::Show:
        return runShow(options);
    case EMurelPageSimCommand::None:
        break;
    }
    return failWith("no command given");
}
