// velkor --dump and --get against pages written by murelpage-sim.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string ETH0 = "E2P.Networking.Eth0MacAddr";
const std::string ETH1 = "E2P.Networking.Eth1MacAddr";
const std::string ETH0_LINE = ETH0 + "=02B4E12BB056\n";
const std::string ETH1_LINE = ETH1 + "=02B4E10BB026\n";

std::string ignored(const std::string& name) {
    return "velkor: WARNING: get: " + name + " invalid node name, will be ignored\n";
}

TEST(DumpE2E, VerboseDumpOfTheSampleInBothByteOrders) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    EXPECT_RUN(page.velkor({"--dump"}), 0, expectedOutput("adjust-block-dump-big.txt"),
               "SUCCESS\n");
    EXPECT_RUN(page.velkor({"--endianness=little", "--dump=verbose"}), 0,
               expectedOutput("adjust-block-dump-little.txt"), "SUCCESS\n");
}

TEST(DumpE2E, HexRowsWhateverTheStoredVersionAndVersionMismatch) {
    E2EPage page;
    std::string block = sampleBlock();
    block[8] = 3;
    ASSERT_TRUE(page.writeBlock(block));
    const std::string rows = hexRowsOf(block);
    ASSERT_EQ(rows.size(), 63 * (10 + 64 + 1) + 10 + 40 + 1); // 64 rows, the last of 20 bytes
    EXPECT_EQ(rows.substr(rows.size() - 51, 10), "000007E0: ");

    EXPECT_RUN(page.velkor({"--dump= hex "}), 0, rows, "SUCCESS\n");
    EXPECT_RUN(page.velkor({"--config=/nonexistent/layout.txt", "--dump=hex"}), 0, rows,
               "SUCCESS\n");
    EXPECT_RUN(page.velkor({"--dump"}), 0, rows,
               "velkor: WARNING: dump: version mismatch, compiled/stored: 2/3, HEX dump will be "
               "provided\nSUCCESS\n");
    EXPECT_RUN(page.velkor({"--get=" + ETH0}), 1, "",
               "velkor: ERROR: get: version mismatch, compiled/stored: 2/3\nFAILURE\n");
}

TEST(DumpE2E, GetPrintsTheNamedEntries) {
    E2EPage page;
    std::string block = sampleBlock();
    block[553] = '\x34';
    block[554] = '\x12';
    ASSERT_TRUE(page.writeBlock(block, {"--fix-crc"}));
    const std::string adc = "E2P.AdjustData.SupplyVoltage.ADC_cal_9";
    // In the order given, trimmed, a repeated name twice; two-byte elements in the chosen order.
    EXPECT_RUN(page.velkor({"--get=" + ETH1 + ", " + ETH0 + " ," + adc + ",E2P.END," + ETH1}), 0,
               ETH1_LINE + ETH0_LINE + adc + "=1234\nE2P.END=A5\n" + ETH1_LINE, "SUCCESS\n");
    EXPECT_RUN(page.velkor({"--endianness=little", "--get=" + adc + "," + ETH0}), 0,
               adc + "=3412\n" + ETH0_LINE, "SUCCESS\n");
    // Unknown names, groups and names in another case are no entries.
    EXPECT_RUN(
        page.velkor({"--get=E2P.A.B," + ETH1 +
                     ",E2P.Networking,E2P.networking.eth0macaddr,E2P.ProdLogistic.HWCoding"}),
        0, ETH1_LINE,
        ignored("E2P.A.B") + ignored("E2P.Networking") + ignored("E2P.networking.eth0macaddr") +
            ignored("E2P.ProdLogistic.HWCoding") + "SUCCESS\n");
    EXPECT_RUN(page.velkor({"--loglevel=error", "--get=E2P.Nothing.Here"}), 0, "", "SUCCESS\n");
}

TEST(DumpE2E, DescriptionFileEntriesInAddressOrderWithoutVersionCheck) {
    E2EPage page;
    std::string block = sampleBlock();
    block[8] = 7;
    block.replace(100, 4, "\x01\x02\x03\x04", 4);
    ASSERT_TRUE(page.writeBlock(block));
    const std::string path = page.dir().write(
        "description.txt", "# test layout\nAddress Group Entry Type Count Value Min Max\n"
                           "000000CC E2P.Net Mac UINT8 6 000000000000 000000000000 FFFFFFFFFFFF\n"
                           "00000064 E2P.X Y UINT16 2 00000000 00000000 FFFFFFFF\n"
                           "0000000C\tE2P\tFirst\tUINT8\t2\t0000\t0000\tFFFF\n");
    for (const auto& [endianness, value] : {std::pair{"big", "02010403"}, {"little", "01020304"}}) {
        EXPECT_RUN(
            page.velkor({"--config=" + path, "--dump", "--endianness=" + std::string(endianness)}),
            0, "E2P.First=0302\nE2P.X.Y=" + std::string(value) + "\nE2P.Net.Mac=02B4E12BB056\n",
            parsedLine(path, 3) + "SUCCESS\n");
    }
    EXPECT_RUN(page.velkor({"--loglevel=warning", "--config=" + path, "--get=E2P.Net.Mac," + ETH0}),
               0, "E2P.Net.Mac=02B4E12BB056\n", ignored(ETH0) + "SUCCESS\n");
}

} // namespace
