// velkor --dump and --get against pages written by murelpage-sim.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class DumpE2E : public testing::Test {
protected:
    void SetUp() override {
        m_block = sampleBlock();
        ASSERT_EQ(m_block.size(), E2E_BLOCK_SIZE);
    }

    // Writes block into the test's page (the sample when none is given).
    void provision(const std::vector<std::string>& options = {}) {
        ASSERT_TRUE(m_page.writeBlock(m_block, options));
    }

    ProcessResult velkor(const std::vector<std::string>& more) {
        return runVelkor(m_page.arguments(more));
    }

    // A description file holding the given data lines.
    std::string description(const std::string& lines) {
        return m_page.dir().write("description.txt",
                                  "# test layout\nAddress Group Entry Type Count Value Min Max\n" +
                                      lines);
    }

    std::string m_block;
    E2EPage m_page;
};

TEST_F(DumpE2E, VerboseDumpPrintsEveryEntryInOffsetOrderBigEndian) {
    provision();
    const ProcessResult result = velkor({"--dump"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "SUCCESS\n");
    const std::vector<std::string> expected =
        linesOf(sourceFile("tests/e2e/expected/adjust-block-dump-big.txt"));
    const std::vector<std::string> printed = linesOf(result.out);
    ASSERT_EQ(expected.size(), 139u);
    ASSERT_EQ(printed.size(), expected.size()) << result.out;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(printed[i], expected[i]) << "line " << i + 1;
    }
    EXPECT_EQ(printed.front(), "E2P.ProdLogistic.HWCoding.APIX=03");
    EXPECT_EQ(printed.back(), "E2P.END=A5");
}

TEST_F(DumpE2E, VerboseDumpLittleEndian) {
    provision();
    const ProcessResult result = velkor({"--endianness=little", "--dump=verbose"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "SUCCESS\n");
    const std::vector<std::string> expected =
        linesOf(sourceFile("tests/e2e/expected/adjust-block-dump-little.txt"));
    const std::vector<std::string> printed = linesOf(result.out);
    ASSERT_EQ(printed.size(), expected.size()) << result.out;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(printed[i], expected[i]) << "line " << i + 1;
    }
}

TEST_F(DumpE2E, UsageTextValuesOfTheSample) {
    provision();
    const ProcessResult result = velkor({"--dump"});
    for (const char* line :
         {"E2P.ProdLogistic.VXVariant=32303639\n", "E2P.ProdLogistic.ProdDate=0000000020111124\n",
          "E2P.ProdLogistic.SerialNo=00304237353038303032\n",
          "E2P.Networking.Eth0MacAddr=02B4E12BB056\n", "E2P.Networking.Eth1MacAddr=02B4E10BB026\n",
          "E2P.AdjustData.SupplyVoltage.ADC_cal_9=0262\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line;
    }
    // Groups are not printed.
    EXPECT_EQ(result.out.find("E2P.Networking="), std::string::npos);
    EXPECT_EQ(result.out.find("AdjustBlock"), std::string::npos);
}

TEST_F(DumpE2E, Uint16EntriesSwapOnlyWithBigEndianOutput) {
    m_block[553] = '\x34';
    m_block[554] = '\x12';
    provision({"--fix-crc"});
    const std::string name = "E2P.AdjustData.SupplyVoltage.ADC_cal_9";
    EXPECT_EQ(velkor({"--get=" + name}).out, name + "=1234\n");
    EXPECT_EQ(velkor({"--get=" + name, "--endianness=big"}).out, name + "=1234\n");
    EXPECT_EQ(velkor({"--get=" + name, "--endianness=little"}).out, name + "=3412\n");
    // One-byte elements print in storage order either way.
    EXPECT_EQ(velkor({"--get=E2P.Networking.Eth0MacAddr", "--endianness=little"}).out,
              "E2P.Networking.Eth0MacAddr=02B4E12BB056\n");
}

TEST_F(DumpE2E, HexDumpPrintsSixtyFourRows) {
    provision();
    const ProcessResult result = velkor({"--dump=hex"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "SUCCESS\n");
    EXPECT_EQ(result.out, hexRowsOf(m_block));
    const std::vector<std::string> rows = linesOf(result.out);
    ASSERT_EQ(rows.size(), 64u);
    EXPECT_EQ(rows.front().size(), 10u + 64u);
    EXPECT_EQ(rows.back().substr(0, 10), "000007E0: ");
    EXPECT_EQ(rows.back().size(), 10u + 40u);
}

TEST_F(DumpE2E, HexDumpIgnoresTheStoredVersionAndTheDescriptionFile) {
    provision({"--version=3", "--fix-crc"});
    m_block[8] = 3;
    const std::string expected = hexRowsOf(withValidCrc(m_block));
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--dump= hex "},
          std::vector<std::string>{"--config=/nonexistent/layout.txt", "--dump=hex"}}) {
        const ProcessResult result = velkor(options);
        EXPECT_EQ(result.exitCode, 0) << options.front();
        EXPECT_EQ(result.err, "SUCCESS\n");
        EXPECT_EQ(result.out, expected);
    }
}

TEST_F(DumpE2E, DumpWithAnotherStoredVersionGivesHexRows) {
    provision({"--version=3", "--fix-crc"});
    m_block[8] = 3;
    const ProcessResult result = velkor({"--dump"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "velkor: WARNING: dump: version mismatch, compiled/stored: 2/3, HEX dump "
                          "will be provided\nSUCCESS\n");
    EXPECT_EQ(result.out, hexRowsOf(withValidCrc(m_block)));
}

TEST_F(DumpE2E, GetWithAnotherStoredVersionFails) {
    provision({"--version=255"});
    const ProcessResult result = velkor({"--get=E2P.Networking.Eth0MacAddr"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "velkor: ERROR: get: version mismatch, compiled/stored: 2/255\nFAILURE\n");
}

TEST_F(DumpE2E, GetPrintsTheNamedEntriesInTheOrderGiven) {
    provision();
    const ProcessResult result =
        velkor({"--get=E2P.Networking.Eth1MacAddr, E2P.Networking.Eth0MacAddr ,E2P.END"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "SUCCESS\n");
    EXPECT_EQ(result.out, "E2P.Networking.Eth1MacAddr=02B4E10BB026\n"
                          "E2P.Networking.Eth0MacAddr=02B4E12BB056\n"
                          "E2P.END=A5\n");
}

TEST_F(DumpE2E, GetWarnsAboutUnknownNamesGroupsAndWrongCase) {
    provision();
    const ProcessResult result = velkor({"--get=E2P.A.B,E2P.Networking.Eth1MacAddr,E2P.Networking,"
                                         "E2P.networking.eth0macaddr,E2P.ProdLogistic.HWCoding"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "E2P.Networking.Eth1MacAddr=02B4E10BB026\n");
    EXPECT_EQ(
        result.err,
        "velkor: WARNING: get: E2P.A.B invalid node name, will be ignored\n"
        "velkor: WARNING: get: E2P.Networking invalid node name, will be ignored\n"
        "velkor: WARNING: get: E2P.networking.eth0macaddr invalid node name, will be ignored\n"
        "velkor: WARNING: get: E2P.ProdLogistic.HWCoding invalid node name, will be ignored\n"
        "SUCCESS\n");
}

TEST_F(DumpE2E, GetOfOnlyUnknownNamesStillSucceeds) {
    provision();
    const ProcessResult result = velkor({"--loglevel=error", "--get=E2P.Nothing.Here"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "SUCCESS\n");
}

TEST_F(DumpE2E, RepeatedNamePrintsTwice) {
    provision();
    const ProcessResult result =
        velkor({"--get=E2P.ProdLogistic.SerialNo,E2P.ProdLogistic.SerialNo"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "E2P.ProdLogistic.SerialNo=00304237353038303032\n"
                          "E2P.ProdLogistic.SerialNo=00304237353038303032\n");
}

TEST_F(DumpE2E, DescriptionFileDumpUsesItsTypesWithoutVersionCheck) {
    m_block[8] = 7;
    m_block[100] = 1;
    m_block[101] = 2;
    m_block[102] = 3;
    m_block[103] = 4;
    provision();
    const std::string path = description("00000064 E2P.X Y UINT16 2 00000000 00000000 FFFFFFFF\n"
                                         "0000000C\tE2P\tFirst\tUINT8\t2\t0000\t0000\tFFFF\n");
    ProcessResult result = velkor({"--config=" + path, "--dump"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "E2P.First=0302\nE2P.X.Y=02010403\n");
    EXPECT_EQ(result.err.find("version mismatch"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("SUCCESS\n"), std::string::npos);

    result = velkor({"--config=" + path, "--dump", "--endianness=little"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "E2P.First=0302\nE2P.X.Y=01020304\n");
}

TEST_F(DumpE2E, DescriptionFileGetSearchesTheFileNames) {
    m_block[8] = 9;
    provision();
    const std::string path = description("000000CC E2P.Net Mac UINT8 6 000000000000 000000000000 "
                                         "FFFFFFFFFFFF\n");
    const ProcessResult result = velkor(
        {"--loglevel=warning", "--config=" + path, "--get=E2P.Net.Mac,E2P.Networking.Eth0MacAddr"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "E2P.Net.Mac=02B4E12BB056\n");
    EXPECT_EQ(result.err, "velkor: WARNING: get: E2P.Networking.Eth0MacAddr invalid node name, "
                          "will be ignored\nSUCCESS\n");
}

TEST_F(DumpE2E, SampleDescriptionFileDumpsLikeTheCompiledDescription) {
    provision();
    const ProcessResult compiled = velkor({"--dump"});
    const ProcessResult fromFile = velkor({"--config=" + sampleDescriptionPath(), "--dump"});
    EXPECT_EQ(fromFile.exitCode, 0);
    EXPECT_EQ(linesOf(fromFile.out).size(), 139u);
    EXPECT_EQ(fromFile.out, compiled.out);
}

} // namespace
