// murelpage-sim through its binary: the pages it writes are read back with the page client.
#include "murelpage/MurelPageGet.h"
#include "murelpage/murelpagegetsh.h"
#include "murelpage/murelshaccobj.h"
#include "tests/e2e/E2EPage.h"
#include "tools/murelpage-sim/MurelPageSimBlockCrc.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sstream>
#include <sys/mman.h>
#include <sys/stat.h>

namespace {

using Lines = std::vector<std::string>;
const uint32_t BLOCK_ID = 0x800007F4u;

ProcessResult runSim(const Lines& arguments, const ProcessOptions& options = {}) {
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
    void TearDown() override { MurelPageGetSh_resetForTesting(); }
    Lines args(const std::string& command, const Lines& more = {}) {
        Lines all = m_names.arguments(more);
        all.insert(all.begin(), command);
        return all;
    }
    // Runs "write" with these options and attaches the page client to the result.
    void write(const Lines& options) {
        const ProcessResult result = runSim(args("write", options));
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out + result.err, "");
        MurelPageGetSh_resetForTesting();
        ASSERT_EQ(MurelPageGetSh_attach(m_page.c_str(), m_lock.c_str()), MurelPageGet_OK);
    }
    std::string fetch(uint32_t id, uint16_t expectedVersion) {
        uint16_t version = 0xFFFF;
        EXPECT_EQ(MurelPageGetSh_getDataVersion(id, &version), MurelPageGet_OK);
        EXPECT_EQ(version, expectedVersion);
        std::vector<uint8_t> buffer(8192);
        uint32_t length = 0;
        EXPECT_EQ(MurelPageGetSh_getBuffer(id, version, buffer.data(), 8192, &length),
                  MurelPageGet_OK);
        return std::string(buffer.begin(), buffer.begin() + length);
    }
    // The lines of "show" but its time stamp.
    Lines shown() {
        const ProcessResult result = runSim(args("show"));
        EXPECT_EQ(result.exitCode, 0) << result.err;
        std::istringstream text(result.out);
        Lines lines;
        for (std::string line; std::getline(text, line);) {
            if (line.rfind("time=", 0) != 0) {
                lines.push_back(line);
            }
        }
        return lines;
    }

    E2EPage m_names; // removes what the test made
    const std::string& m_page = m_names.page();
    const std::string& m_lock = m_names.lock();
    const TempDir& m_dir = m_names.dir();
    std::string m_block = m_dir.write("block.bin", blockBytes());
};

TEST(MurelPageSimCrcTest, CrcIsTheNonReflectedCrc32) {
    EXPECT_EQ(MurelPageSimCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xFC891918u);
    std::string block(2036, '\0');
    block[2035] = 1; // the big-endian tail word 0x00000001 is XORed in
    const auto* bytes = reinterpret_cast<const uint8_t*>(block.data());
    EXPECT_EQ(MurelPageSimBlockCrc(bytes), MurelPageSimCrc32(bytes + 4, 2028) ^ 1u);
}

TEST_F(MurelPageSimTest, BadInputIsRefusedWithStatusOneAndNothingIsCreated) {
    const std::string shortBlock = m_dir.write("short.bin", std::string(2035, 'x'));
    const std::string missing = m_dir.file("missing.bin");
    const std::vector<std::pair<Lines, std::string>> cases = {
        {{}, "no command given (write, remove, hold-lock, show; --help for usage)"},
        {{"erase"}, "unknown command 'erase'"},
        {args("write", {"--bogus"}), "unknown option '--bogus' for write"},
        {args("write", {"--block"}), "option --block needs a value"},
        {args("write", {"--block=" + m_block, "--version=256"}),
         "--version needs a number 0..255: '256'"},
        {args("write", {"--version=2"}), "--version, --fix-crc and --break-crc need --block"},
        {args("write", {"--block=" + m_block, "--fix-crc", "--break-crc"}),
         "--fix-crc and --break-crc exclude each other"},
        {args("write", {"--block=" + shortBlock}),
         "block file '" + shortBlock + "' has 2035 bytes, expected 2036"},
        {args("write", {"--block=" + missing}),
         "cannot read '" + missing + "': No such file or directory"},
        {args("write", {"--raw=" + m_block, "--block=" + m_block}),
         "--raw excludes --block, --item, --no-items, --format and --dir-length"},
        {args("write", {"--item=0x1:ABC"}), "--item: bad hex bytes 'ABC'"},
        {args("write", {"--item=0xC0000001:AB:0x100"}),
         "--item: a version is allowed for kind-0 ids only: '0xC0000001:AB:0x100'"},
        {args("write", {"--size=-5"}), "--size needs a number 1..65536: '-5'"},
        {args("hold-lock", {"--seconds=x"}), "--seconds needs a number 0..86400: 'x'"},
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

TEST_F(MurelPageSimTest, WrittenPagesHoldTheItemsAndTheBlock) {
    write({"--block=" + m_block, "--version=2", "--fix-crc"});
    EXPECT_EQ(objectSize(m_page), 8192);
    EXPECT_EQ(objectSize(m_lock), 56);
    EXPECT_EQ(shown(), (Lines{"counter=1", "size=8192", "format=1", "dirlength=24",
                              "item 0x00000001 size 6", "item 0x00000002 size 3",
                              "item 0xC0000010 size 6", "item 0x800007F4 size 2036"}));
    std::string expected = blockBytes();
    expected[8] = 2;
    EXPECT_EQ(fetch(BLOCK_ID, 2), withValidCrc(expected));
    EXPECT_EQ(fetch(0x1, 0x0102), std::string("\x01\x02\x03\x04", 4));
    EXPECT_EQ(fetch(0x2, 0x0100), "\x2A");
    EXPECT_EQ(fetch(0xC0000010u, 0), std::string("\xDE\xAD\xBE\xEF\x00\x11", 6));

    write({"--block=" + m_block, "--break-crc"});
    expected = withValidCrc(blockBytes());
    expected[0] = static_cast<char>(expected[0] ^ 1); // the CRC's low bit
    EXPECT_EQ(fetch(BLOCK_ID, static_cast<uint8_t>(blockBytes()[8])), expected);

    write({"--item=0x5:A1B2:0x0304", "--item=0xC0000007:", "--item=9:ff", "--block=" + m_block});
    EXPECT_EQ(shown(), (Lines{"counter=3", "size=8192", "format=1", "dirlength=24",
                              "item 0x00000005 size 4", "item 0xC0000007 size 0",
                              "item 0x00000009 size 3", "item 0x800007F4 size 2036"}));
    EXPECT_EQ(fetch(0x5, 0x0304), "\xA1\xB2");
    EXPECT_EQ(fetch(0x9, 0x0100), "\xFF");

    write({"--no-items", "--keep-counter"});
    EXPECT_EQ(shown(), (Lines{"counter=3", "size=8192", "format=1", "dirlength=0"}));
}

TEST_F(MurelPageSimTest, NamesFromTheEnvironmentAndRemove) {
    ProcessOptions options;
    options.environment = {"MUREL_PAGE=  " + m_page + " ", "MUREL_PAGELOCK=" + m_lock};
    ASSERT_EQ(runSim({"write", "--block=" + m_block}, options).exitCode, 0);
    EXPECT_EQ(objectSize(m_page), 8192);
    EXPECT_EQ(objectSize(m_lock), 56);

    for (int run = 0; run < 2; ++run) {
        const ProcessResult result = runSim(args("remove"));
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out + result.err, "");
    }
    EXPECT_EQ(objectSize(m_page), -1);
    EXPECT_EQ(objectSize(m_lock), -1);
    const ProcessResult result = runSim(args("show"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "murelpage-sim: cannot open '" + m_lock + "': No such file or directory\n");
}

// The write lock of hold-lock is what the signal tests of velkor wait behind.
TEST_F(MurelPageSimTest, HoldLockWithReadAdmitsReadersOnly) {
    RunningProcess reader(MURELPAGE_SIM_BINARY, args("hold-lock", {"--seconds=20", "--read"}));
    ASSERT_TRUE(reader.waitForOutput("locked\n"));
    MurelShAccObj* object = nullptr;
    ASSERT_EQ(MurelShAccObj_attach(m_lock.c_str(), &object), 0);
    EXPECT_EQ(MurelShAccObj_timedLockROnly(object, 1), 0);
    EXPECT_EQ(MurelShAccObj_unlock(object), 0);
    EXPECT_EQ(MurelShAccObj_timedLockWrite(object, 1), ETIMEDOUT);
    // SIGTERM ends the hold early with status 1.
    reader.signal(SIGTERM);
    const ProcessResult result = reader.wait();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "locked\nunlocked\n");
    EXPECT_EQ(MurelShAccObj_timedLockWrite(object, 1), 0);
    EXPECT_EQ(MurelShAccObj_unlock(object), 0);
    munmap(object, MURELSHACCOBJ_SIZE);
}

} // namespace
