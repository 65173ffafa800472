// murelpage-sim through its binary: the pages it writes are read back with the page client.
#include "murelpage/MurelPageGet.h"
#include "murelpage/murelpagegetsh.h"
#include "murelpage/murelshaccobj.h"
#include "tests/support/ProcessRunner.h"
#include "tools/murelpage-sim/MurelPageSimBlockCrc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const uint32_t kBlockId = 0x800007F4u;

ProcessResult runSim(const std::vector<std::string>& arguments,
                     const ProcessOptions& options = {}) {
    return runProcess(MURELPAGE_SIM_BINARY, arguments, options);
}

std::string blockBytes() {
    std::string block(2036, '\0');
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>(i * 13 + 5);
    }
    return block;
}

off_t objectSize(const std::string& name) {
    struct stat status {};
    return stat(("/dev/shm" + name).c_str(), &status) == 0 ? status.st_size : -1;
}

class MurelPageSimTest : public testing::Test {
protected:
    void SetUp() override { MurelPageGetSh_resetForTesting(); }
    void TearDown() override {
        MurelPageGetSh_resetForTesting();
        shm_unlink(m_page.c_str());
        shm_unlink(m_lock.c_str());
    }
    std::vector<std::string> args(const std::string& command, std::vector<std::string> more = {}) {
        std::vector<std::string> all = {command, "--page=" + m_page, "--pagelock=" + m_lock};
        all.insert(all.end(), more.begin(), more.end());
        return all;
    }
    std::string blockFile(const std::string& bytes = blockBytes()) {
        return m_dir.write("block.bin", bytes);
    }
    MurelPageGet_EResult attach() { return MurelPageGetSh_attach(m_page.c_str(), m_lock.c_str()); }
    std::string fetch(uint32_t id, uint16_t version) {
        std::vector<uint8_t> buffer(8192);
        uint32_t length = 0;
        EXPECT_EQ(MurelPageGetSh_getBuffer(id, version, buffer.data(), 8192, &length),
                  MurelPageGet_OK);
        return std::string(buffer.begin(), buffer.begin() + length);
    }
    // The sim's "show" lines without the time stamp.
    std::vector<std::string> shown() {
        const ProcessResult result = runSim(args("show"));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < result.out.size()) {
            const size_t end = result.out.find('\n', start);
            const std::string line = result.out.substr(start, end - start);
            if (line.rfind("time=", 0) != 0) {
                lines.push_back(line);
            }
            start = end == std::string::npos ? result.out.size() : end + 1;
        }
        return lines;
    }

    std::string m_page = uniqueShmName("sim-page");
    std::string m_lock = uniqueShmName("sim-lock");
    TempDir m_dir;
};

TEST(MurelPageSimCrcTest, CrcIsTheNonReflectedCrc32) {
    const char* check = "123456789";
    EXPECT_EQ(MurelPageSimCrc32(reinterpret_cast<const uint8_t*>(check), 9), 0xFC891918u);
    std::string block(2036, '\0');
    block[2035] = 1; // the big-endian tail word 0x00000001 is XORed in
    const uint32_t plain =
        MurelPageSimCrc32(reinterpret_cast<const uint8_t*>(block.data()) + 4, 2028);
    EXPECT_EQ(MurelPageSimBlockCrc(reinterpret_cast<const uint8_t*>(block.data())), plain ^ 1u);
}

TEST_F(MurelPageSimTest, HelpPrintsTheUsage) {
    const ProcessResult result = runSim({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out.rfind("Usage: murelpage-sim COMMAND [OPTIONS]\n", 0), 0u);
    for (const char* text : {"  write ", "  remove ", "  hold-lock ", "  show ", "--block=FILE",
                             "--raw=FILE", "--size=N", "--seconds=N", "--fix-crc", "--break-crc"}) {
        EXPECT_NE(result.out.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(runSim({"write", "--bogus", "--help"}).exitCode, 0);
}

TEST_F(MurelPageSimTest, BadInputIsRefusedWithStatusOneAndNothingIsCreated) {
    const std::string block = blockFile();
    const std::string shortBlock = m_dir.write("short.bin", std::string(2035, 'x'));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command given (write, remove, hold-lock, show; --help for usage)"},
        {{"erase"}, "unknown command 'erase'"},
        {args("write", {"--bogus"}), "unknown option '--bogus' for write"},
        {args("remove", {"--block=" + block}), "unknown option '--block=" + block + "' for remove"},
        {args("write", {"--block"}), "option --block needs a value"},
        {args("write", {"--fix-crc=1", "--block=" + block}), "option --fix-crc takes no value"},
        {args("write", {"--block=" + block, "--version=256"}),
         "--version needs a number 0..255: '256'"},
        {args("write", {"--version=2"}), "--version, --fix-crc and --break-crc need --block"},
        {args("write", {"--block=" + block, "--fix-crc", "--break-crc"}),
         "--fix-crc and --break-crc exclude each other"},
        {args("write", {"--block=" + shortBlock}),
         "block file '" + shortBlock + "' has 2035 bytes, expected 2036"},
        {args("write", {"--block=" + m_dir.file("missing.bin")}),
         "cannot read '" + m_dir.file("missing.bin") + "': No such file or directory"},
        {args("write", {"--raw=" + block, "--block=" + block}),
         "--raw excludes --block, --item, --no-items, --format and --dir-length"},
        {args("write", {"--item=0x1:ABC"}), "--item: bad hex bytes 'ABC'"},
        {args("write", {"--item=zz:AB"}), "--item: bad id 'zz'"},
        {args("write", {"--item=0xC0000001:AB:0x100"}),
         "--item: a version is allowed for kind-0 ids only: '0xC0000001:AB:0x100'"},
        {args("write", {"--item=0x1:AB", "--no-items"}),
         "--no-items and --item exclude each other"},
        {args("write", {"--size=0"}), "--size needs a number 1..65536: '0'"},
        {args("write", {"--size=-5"}), "--size needs a number 1..65536: '-5'"},
        {args("hold-lock", {"--seconds=x"}), "--seconds needs a number 0..86400: 'x'"},
        {args("write", {"--read"}), "unknown option '--read' for write"},
        {args("write", {"--item=0xC0000001:" + std::string(16400, 'A')}),
         "the items do not fit into the 8192-byte page"},
    };
    for (const auto& [arguments, message] : cases) {
        const ProcessResult result = runSim(arguments);
        EXPECT_EQ(result.exitCode, 1) << message;
        EXPECT_EQ(result.err, "murelpage-sim: " + message + "\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(objectSize(m_page), -1);
    EXPECT_EQ(objectSize(m_lock), -1);
}

TEST_F(MurelPageSimTest, WrittenPageHoldsTheDefaultItemsAndTheBlock) {
    const ProcessResult result =
        runSim(args("write", {"--block=" + blockFile(), "--version=2", "--fix-crc"}));
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_EQ(objectSize(m_page), 8192);
    EXPECT_EQ(objectSize(m_lock), 56);
    EXPECT_EQ(shown(),
              (std::vector<std::string>{"counter=1", "size=8192", "format=1", "dirlength=24",
                                        "item 0x00000001 size 6", "item 0x00000002 size 3",
                                        "item 0xC0000010 size 6", "item 0x800007F4 size 2036"}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0xFFFF;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 2);
    std::string expected = blockBytes();
    expected[8] = 2;
    MurelPageSimStoreCrc(reinterpret_cast<uint8_t*>(expected.data()),
                         MurelPageSimBlockCrc(reinterpret_cast<const uint8_t*>(expected.data())));
    EXPECT_EQ(fetch(kBlockId, 2), expected);
    ASSERT_EQ(MurelPageGetSh_getDataVersion(0x1, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 0x0102);
    EXPECT_EQ(fetch(0x1, 0x0102), std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(fetch(0x2, 0x0100), "\x2A");
    EXPECT_EQ(fetch(0xC0000010u, 0), std::string("\xDE\xAD\xBE\xEF\x00\x11", 6));
}

TEST_F(MurelPageSimTest, BrokenCrcAndUntouchedBlock) {
    ASSERT_EQ(runSim(args("write", {"--block=" + blockFile(), "--break-crc"})).exitCode, 0);
    ASSERT_EQ(attach(), MurelPageGet_OK);
    std::string expected = blockBytes();
    const uint32_t crc = MurelPageSimBlockCrc(reinterpret_cast<const uint8_t*>(expected.data()));
    MurelPageSimStoreCrc(reinterpret_cast<uint8_t*>(expected.data()), crc ^ 1u);
    EXPECT_EQ(fetch(kBlockId, static_cast<uint8_t>(expected[8])), expected);

    ASSERT_EQ(runSim(args("write", {"--block=" + blockFile()})).exitCode, 0);
    ASSERT_EQ(attach(), MurelPageGet_OK);
    EXPECT_EQ(fetch(kBlockId, static_cast<uint8_t>(blockBytes()[8])), blockBytes());
}

TEST_F(MurelPageSimTest, CustomItemsReplaceTheDefaults) {
    ASSERT_EQ(runSim(args("write", {"--item=0x5:A1B2:0x0304", "--item=0xC0000007:", "--item=9:ff",
                                    "--block=" + blockFile()}))
                  .exitCode,
              0);
    EXPECT_EQ(shown(),
              (std::vector<std::string>{"counter=1", "size=8192", "format=1", "dirlength=24",
                                        "item 0x00000005 size 4", "item 0xC0000007 size 0",
                                        "item 0x00000009 size 3", "item 0x800007F4 size 2036"}));
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(0x5, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 0x0304);
    EXPECT_EQ(fetch(0x5, 0x0300), "\xA1\xB2");
    ASSERT_EQ(MurelPageGetSh_getDataVersion(0x9, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 0x0100);

    ASSERT_EQ(runSim(args("write", {"--no-items"})).exitCode, 0);
    EXPECT_EQ(shown(),
              (std::vector<std::string>{"counter=2", "size=8192", "format=1", "dirlength=0"}));
}

TEST_F(MurelPageSimTest, CounterRisesWithEachWriteUnlessKept) {
    const std::string block = blockFile();
    ASSERT_EQ(runSim(args("write", {"--block=" + block})).exitCode, 0);
    ASSERT_EQ(runSim(args("write", {"--block=" + block})).exitCode, 0);
    EXPECT_EQ(shown()[0], "counter=2");
    ASSERT_EQ(runSim(args("write", {"--block=" + block, "--version=9", "--keep-counter"})).exitCode,
              0);
    EXPECT_EQ(shown()[0], "counter=2");
    // The page itself was rewritten: a first copy sees the new version.
    ASSERT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    ASSERT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version), MurelPageGet_OK);
    EXPECT_EQ(version, 9);
}

TEST_F(MurelPageSimTest, BrokenPagesForTheClient) {
    ASSERT_EQ(runSim(args("write", {"--block=" + blockFile(), "--format=2"})).exitCode, 0);
    EXPECT_EQ(attach(), MurelPageGet_ERROR_INIT_SYSPAGE);

    ASSERT_EQ(runSim(args("write", {"--block=" + blockFile(), "--dir-length=8190"})).exitCode, 0);
    EXPECT_EQ(attach(), MurelPageGet_OK);
    uint16_t version = 0;
    EXPECT_EQ(MurelPageGetSh_getDataVersion(kBlockId, &version), MurelPageGet_ERROR_INIT_SYSPAGE);

    MurelPageGetSh_resetForTesting();
    const std::string raw = m_dir.write("raw.bin", std::string("\x01\x06\x00", 3) + "abc");
    ASSERT_EQ(runSim(args("write", {"--raw=" + raw, "--size=100"})).exitCode, 0);
    EXPECT_EQ(objectSize(m_page), 100);
    EXPECT_EQ(attach(), MurelPageGet_ERROR_ATTACH_SHMEM);
    const int descriptor = shm_open(m_page.c_str(), O_RDONLY, 0);
    ASSERT_GE(descriptor, 0);
    char bytes[100];
    ASSERT_EQ(read(descriptor, bytes, sizeof(bytes)), 100);
    close(descriptor);
    EXPECT_EQ(std::string(bytes, 100),
              std::string("\x01\x06\x00", 3) + "abc" + std::string(94, '\0'));
}

TEST_F(MurelPageSimTest, RemoveIsIdempotent) {
    ASSERT_EQ(runSim(args("write", {"--block=" + blockFile()})).exitCode, 0);
    ProcessResult result = runSim(args("remove"));
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out + result.err, "");
    EXPECT_EQ(objectSize(m_page), -1);
    EXPECT_EQ(objectSize(m_lock), -1);
    EXPECT_EQ(runSim(args("remove")).exitCode, 0);
    result = runSim(args("show"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "murelpage-sim: cannot open '" + m_lock + "': No such file or directory\n");
}

TEST_F(MurelPageSimTest, ObjectNamesComeFromTheEnvironment) {
    ProcessOptions options;
    options.environment = {"MUREL_PAGE=  " + m_page + " ", "MUREL_PAGELOCK=" + m_lock};
    ASSERT_EQ(runSim({"write", "--block=" + blockFile()}, options).exitCode, 0);
    EXPECT_EQ(objectSize(m_page), 8192);
    EXPECT_EQ(objectSize(m_lock), 56);
}

TEST_F(MurelPageSimTest, HoldLockKeepsWritersAndReadersOut) {
    RunningProcess holder(MURELPAGE_SIM_BINARY, args("hold-lock", {"--seconds=3"}));
    ASSERT_TRUE(holder.waitForOutput("locked\n"));
    MurelShAccObj* object = nullptr;
    ASSERT_EQ(MurelShAccObj_attach(m_lock.c_str(), &object), 0);
    EXPECT_EQ(MurelShAccObj_timedLockROnly(object, 1), ETIMEDOUT);
    const ProcessResult result = holder.wait();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "locked\nunlocked\n");
    EXPECT_EQ(MurelShAccObj_timedLockWrite(object, 1), 0);
    EXPECT_EQ(MurelShAccObj_unlock(object), 0);
    munmap(object, MURELSHACCOBJ_SIZE);
}

TEST_F(MurelPageSimTest, HeldReadLockAdmitsReadersOnly) {
    RunningProcess holder(MURELPAGE_SIM_BINARY, args("hold-lock", {"--seconds=20", "--read"}));
    ASSERT_TRUE(holder.waitForOutput("locked\n"));
    MurelShAccObj* object = nullptr;
    ASSERT_EQ(MurelShAccObj_attach(m_lock.c_str(), &object), 0);
    EXPECT_EQ(MurelShAccObj_timedLockROnly(object, 1), 0);
    EXPECT_EQ(MurelShAccObj_unlock(object), 0);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(object, 1), ETIMEDOUT);
    // SIGTERM ends the hold early: the lock is released and the status is 1.
    holder.signal(SIGTERM);
    const ProcessResult result = holder.wait();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "locked\nunlocked\n");
    EXPECT_EQ(MurelShAccObj_timedLockWrite(object, 1), 0);
    EXPECT_EQ(MurelShAccObj_unlock(object), 0);
    munmap(object, MURELSHACCOBJ_SIZE);
}

} // namespace
