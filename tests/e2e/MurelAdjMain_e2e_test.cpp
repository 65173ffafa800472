// The command line of velkor through the binary: usage text, option errors, verdicts and the
// application log's filtering.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// clang-format off
const char USAGE[] = R"(
velkor - read adjust block from MurelPage (read-only version)

Options:

--dump[=<hex|verbose>]:
   Print all adjust block entries (default mode is verbose).
   Example 1:
    velkor --page=/murelpage --pagelock=/murelpage-lock --dump
   Output 1:
    E2P.ProdLogistic.VXVariant=32303639
    E2P.ProdLogistic.ProdDate=0000000020111124
    E2P.ProdLogistic.SerialNo=00304237353038303032
    ...
   Example 2:
    velkor --page=/murelpage --pagelock=/murelpage-lock --dump=hex
   Output 2:
    00000000: F46B88C8969D84000101FFFF0302020202030201000000000002020000020202
    00000020: 01020201000101010102010101010100FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF
    ...

--endianness=<big>|<little>
   Set big-endian/little-endian byte order for intput/output
   (default order is big-endian).

--config=<config_file_path>:
   Set E2P structure description.
   Config file is necessary for accessing specific adjust block entries.
   Example:
    velkor --page=/murelpage --pagelock=/murelpage-lock
                 --config=XJD_AdjBlock_V850.txt --dump

--get=<full_entry_name1>[,<<full_entry_name2>[,...]]:
   Print specific adjust block entry(ies) value(s).
   Example 1:
    velkor --page=/murelpage --pagelock=/murelpage-lock
                 --config=XJD_AdjBlock_V850.txt
                 --get=E2P.Networking.Eth0MacAddr
   Output 1:
    E2P.Networking.Eth0MacAddr=02B4E12BB056
   Example 2:
    velkor --page=/murelpage --pagelock=/murelpage-lock
                 --config=XJD_AdjBlock_V850.txt
                 --get=E2P.Networking.Eth0MacAddr,E2P.Networking.Eth1MacAddr
   Output 2:
    E2P.Networking.Eth0MacAddr=02B4E12BB056
    E2P.Networking.Eth1MacAddr=02B4E10BB026

--getver:
   Print version of stored adjust block.

--backup=<file_path>:
   Write a copy of the adjust block to file as binary.
   Example:
    velkor --page=/murelpage --pagelock=/murelpage-lock
                 --backup=backup_adjustblock.bin

--check[=<file_path>]:
   Verify check sum. Adjust block is read from file at given path,
   otherwise obtained from MurelPage.

--page=<murelpage_path>:
   Use specific shared memory path where MurelPage resides on
   to read adjust block from. If path is not given, 'MUREL_PAGE'
   environment variable is checked to obtain MurelPage path.
   If environment variable is not set, default path '/murelpage' is used.
   Example:
    velkor --page=/murelpage --pagelock=/murelpage-lock --dump

--pagelock=<murelpage_lock_path>:
   User specific shared memory path where MurelPage lock object resides on.
   If path is not given, 'MUREL_PAGELOCK' environment variable is checked
   to obtain MurelPage lock object path. If environment variable is not set,
   default path '/murelpage-lock' is used.

--log=<slog>[,<stdout>]:
   Write log messages (default log type is both).

--loglevel=<warning>[,<error>[,<info>]]|<none>:
   Set loglevel (default is warning,error,info).

)";
// clang-format on

const std::string HELP_HINT = "velkor: Use option '--help' for detailed information.\n";

void expectOptionError(const std::vector<std::string>& arguments, const std::string& firstLine) {
    const ProcessResult result = runVelkor(arguments);
    EXPECT_EQ(result.exitCode, 1) << firstLine;
    EXPECT_EQ(result.out, "") << firstLine;
    EXPECT_EQ(result.err, "velkor: " + firstLine + "\n" + HELP_HINT);
}

TEST(MurelAdjMainE2E, HelpPrintsTheUsageTextAlone) {
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--help"},
                                               {"--help=x"},
                                               {"--bogus", "--help"},
                                               {"--dump", "--dump", "--help"},
                                               {"--page=", "--get=E2P", "--help="}}) {
        const ProcessResult result = runVelkor(arguments);
        EXPECT_EQ(result.exitCode, 0) << arguments[0];
        EXPECT_EQ(result.out, USAGE) << arguments[0];
        EXPECT_EQ(result.err, "") << arguments[0];
    }
}

TEST(MurelAdjMainE2E, TheUsageTextBeginsAndEndsWithAnEmptyLine) {
    const std::string usage(USAGE);
    const std::string head = "\nvelkor - read adjust block from MurelPage (read-only version)\n\n";
    const std::string tail = "\n   Set loglevel (default is warning,error,info).\n\n";
    EXPECT_EQ(usage.substr(0, head.size()), head);
    EXPECT_EQ(usage.substr(usage.size() - tail.size()), tail);
    EXPECT_EQ(usage.find("\n\n\n"), std::string::npos);
    EXPECT_NE(usage.find("for intput/output"), std::string::npos);
    EXPECT_NE(usage.find("--get=<full_entry_name1>[,<<full_entry_name2>[,...]]:"),
              std::string::npos);
}

TEST(MurelAdjMainE2E, OptionErrors) {
    expectOptionError({}, "Too few options, action cannot be identified.");
    expectOptionError({"--page=/p", "--log=stdout"},
                      "Too few options, action cannot be identified.");
    expectOptionError({"--bogus", "--dump"}, "'--bogus' option not supported.");
    expectOptionError({"--getverx"}, "'--getverx' option not supported.");
    expectOptionError({"--dumpx"}, "'--dumpx' option not supported.");
    expectOptionError({"--dump", "dump"}, "'dump' option not supported.");
    expectOptionError({"--dump", ""}, "'' option not supported.");
    expectOptionError({"--dump", "-d %s"}, "'-d %s' option not supported.");
    expectOptionError({"--check", "--backup=f"}, "'--backup' option duplications forbidden.");
    expectOptionError({"--page=/a", "--page=/b", "--dump"},
                      "'--page' option duplications forbidden.");
    expectOptionError({"--endianness=little", "--endianness=big"},
                      "'--endianness' option duplications forbidden.");
    expectOptionError({"--backup"}, "'--backup' option requires value(s).");
    expectOptionError({"--backup="}, "'--backup' option requires value(s).");
    expectOptionError({"--endianness"}, "'--endianness' option requires value(s).");
    expectOptionError({"--get"}, "'--get' option requires value(s).");
    expectOptionError({"--dump", "--config"}, "'--config' option requires value(s).");
    expectOptionError({"--pagelock="}, "'--pagelock' option requires value(s).");
    expectOptionError({"--log=slog,"}, "'--log' option value(s) in wrong format.");
    expectOptionError({"--log=,stdout"}, "'--log' option value(s) in wrong format.");
    expectOptionError({"--get=E2P.A.B,,E2P.C"}, "'--get' option value(s) in wrong format.");
    expectOptionError({"--loglevel=error, "}, "'--loglevel' option value(s) in wrong format.");
    expectOptionError({"--dump=HEX"}, "'--dump' option value(s) invalid.");
    expectOptionError({"--backup=  "}, "'--backup' option value(s) invalid.");
    expectOptionError({"--check= "}, "'--check' option value(s) invalid.");
    expectOptionError({"--getver=\t"}, "'--getver' option value(s) invalid.");
    expectOptionError({"--log=syslog"}, "'--log' option value(s) invalid.");
    expectOptionError({"--loglevel=none,error"}, "'--loglevel' option value(s) invalid.");
    expectOptionError({"--get=E2P"}, "'--get' option value(s) invalid.");
    expectOptionError({"--endianness=middle"}, "'--endianness' option value(s) invalid.");
    expectOptionError({"--config= ", "--dump"}, "'--config' option value(s) invalid.");
    expectOptionError({"--page=\t"}, "'--page' option value(s) invalid.");
    // A repeated --log with a bad value reports the value.
    expectOptionError({"--log=slog", "--log=bad"}, "'--log' option value(s) invalid.");
    expectOptionError({"--log=slog", "--log=stdout"}, "'--log' option duplications forbidden.");
}

TEST(MurelAdjMainE2E, OptionFileArgumentsStayInTheirSlot) {
    // The lines of an "@file" are appended, but the "@file" argument itself is parsed too.
    TempDir dir;
    const std::string withHelp = dir.write("help.opts", "[COMMANDLINE]\n--help\n");
    const ProcessResult help = runVelkor({"@" + withHelp});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, USAGE);
    EXPECT_EQ(help.err, "");

    const std::string withDump = dir.write("dump.opts", "[COMMANDLINE]\n--dump=hex\n");
    expectOptionError({"@" + withDump}, "'@" + withDump + "' option not supported.");
    expectOptionError({"@" + dir.file("missing")},
                      "'@" + dir.file("missing") + "' option not supported.");
    // Arguments from the file come behind the last argument given.
    const ProcessResult order = runVelkor({"--dump", "@" + withDump});
    EXPECT_EQ(order.exitCode, 1);
    EXPECT_EQ(order.err, "velkor: '@" + withDump + "' option not supported.\n" + HELP_HINT);
}

TEST(MurelAdjMainE2E, VerdictAndExitStatus) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    const ProcessResult get = runVelkor(page.arguments({"--get=E2P.Networking.Eth0MacAddr"}));
    EXPECT_EQ(get.exitCode, 0);
    EXPECT_EQ(get.out, "E2P.Networking.Eth0MacAddr=02B4E12BB056\n");
    EXPECT_EQ(get.err, "SUCCESS\n");

    const ProcessResult little =
        runVelkor(page.arguments({"--endianness=little", "--get=E2P.Networking.Eth0MacAddr"}));
    EXPECT_EQ(little.exitCode, 0);
    EXPECT_EQ(little.out, "E2P.Networking.Eth0MacAddr=02B4E12BB056\n");

    E2EPage missing;
    const ProcessResult failed = runVelkor(missing.arguments({"--dump", "--loglevel=warning"}));
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "");
    EXPECT_EQ(failed.err, "FAILURE\n");
}

TEST(MurelAdjMainE2E, TheDescriptionFileIsReadOnlyForGetAndVerboseDump) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    TempDir dir;
    const std::string missing = dir.file("missing.txt");
    // With the hex dump, a backup or a check the description file is not read at all.
    const ProcessResult hex = runVelkor(page.arguments({"--config=" + missing, "--dump=hex"}));
    EXPECT_EQ(hex.exitCode, 0);
    EXPECT_EQ(hex.out, hexRowsOf(sampleBlock()));
    EXPECT_EQ(hex.err, "SUCCESS\n");
    const ProcessResult backup = runVelkor(
        page.arguments({"--config=" + missing, "--backup=" + dir.file("b.bin"), "--log=slog"}));
    EXPECT_EQ(backup.exitCode, 0);
    EXPECT_EQ(readFile(dir.file("b.bin")), sampleBlock());

    // With get it is read first, and when that fails get does not run.
    const ProcessResult get =
        runVelkor(page.arguments({"--config=" + missing, "--get=E2P.Networking.Eth0MacAddr"}));
    EXPECT_EQ(get.exitCode, 1);
    EXPECT_EQ(get.out, "");
    EXPECT_EQ(get.err, "velkor: ERROR: config: failed to get file status '" + missing +
                           "', errno: <2|No such file or directory>\nFAILURE\n");

    const ProcessResult dump = runVelkor(page.arguments({"--config=" + missing, "--dump="}));
    EXPECT_EQ(dump.exitCode, 1);
    EXPECT_EQ(dump.out, "");

    const ProcessResult fromFile = runVelkor(page.arguments(
        {"--config=" + sampleDescriptionPath(), "--get=E2P.Networking.Eth1MacAddr"}));
    EXPECT_EQ(fromFile.exitCode, 0);
    EXPECT_EQ(fromFile.out, "E2P.Networking.Eth1MacAddr=02B4E10BB026\n");
    EXPECT_EQ(fromFile.err, "velkor: INFO: config: '" + sampleDescriptionPath() +
                                "' successfully parsed, 139 adjust nodes found\nSUCCESS\n");
}

TEST(MurelAdjMainE2E, LogLevelAndTargetFilterStandardError) {
    // A description file that parses, then a page that is missing: one info and one error line.
    E2EPage missing;
    const std::string config = sampleDescriptionPath();
    const std::string info =
        "velkor: INFO: config: '" + config + "' successfully parsed, 139 adjust nodes found\n";
    const std::string error = "velkor: ERROR: failed attach, page: '" + missing.page() +
                              "', pagelock: '" + missing.lock() + "', res: ERROR_ATTACH_SHMEM\n";
    struct Case {
        std::vector<std::string> options;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, info + error + "FAILURE\n"},
        {{"--log=stdout"}, info + error + "FAILURE\n"},
        {{"--log=slog,stdout"}, info + error + "FAILURE\n"},
        {{"--loglevel=error"}, error + "FAILURE\n"},
        {{"--loglevel=info"}, info + "FAILURE\n"},
        {{"--loglevel=warning"}, "FAILURE\n"},
        {{"--loglevel=info,error", "--log=stdout"}, info + error + "FAILURE\n"},
        {{"--loglevel=none"}, "FAILURE\n"},
        {{"--log=slog"}, "FAILURE\n"},
    };
    for (const Case& testCase : cases) {
        std::vector<std::string> options = {"--config=" + config,
                                            "--get=E2P.Networking.Eth0MacAddr"};
        options.insert(options.end(), testCase.options.begin(), testCase.options.end());
        const ProcessResult result = runVelkor(missing.arguments(options));
        const std::string label = testCase.options.empty() ? "defaults" : testCase.options[0];
        EXPECT_EQ(result.exitCode, 1) << label;
        EXPECT_EQ(result.out, "") << label;
        EXPECT_EQ(result.err, testCase.err) << label;
    }
}

} // namespace
