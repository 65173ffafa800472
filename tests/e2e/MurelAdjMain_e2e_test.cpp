// The command line of velkor through the binary: usage text, option errors, verdicts and the
// application log's filtering.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

TEST(MurelAdjMainE2E, HelpAnywherePrintsTheUsageTextAlone) {
    TempDir dir;
    const std::string optionFile = dir.write("help.opts", "[COMMANDLINE]\n--help\n");
    for (const Args& arguments : std::vector<Args>{{"--help"},
                                                   {"--help=x"},
                                                   {"--bogus", "--help"},
                                                   {"--dump", "--dump", "--help"},
                                                   {"--page=", "--get=E2P", "--help="},
                                                   {"@" + optionFile}}) {
        SCOPED_TRACE(arguments[0]);
        EXPECT_RUN(runVelkor(arguments), 0, expectedOutput("usage.txt"), "");
    }
}

// One case of each message; which value gives which result is the option table's tests' concern.
TEST(MurelAdjMainE2E, OptionErrors) {
    TempDir dir;
    const std::string optionFile = dir.write("dump.opts", "[COMMANDLINE]\n--dump=hex\n");
    const std::vector<std::pair<Args, std::string>> cases = {
        {{}, "Too few options, action cannot be identified."},
        {{"--page=/p", "--log=stdout"}, "Too few options, action cannot be identified."},
        {{"--bogus", "--dump"}, "'--bogus' option not supported."},
        {{"--getverx"}, "'--getverx' option not supported."},
        {{"--dump", "-d %s"}, "'-d %s' option not supported."},
        // An option file's lines are appended, but the "@file" argument is parsed too.
        {{"--dump", "@" + optionFile}, "'@" + optionFile + "' option not supported."},
        {{"--check", "--backup=f"}, "'--backup' option duplications forbidden."},
        {{"--page=/a", "--page=/b", "--dump"}, "'--page' option duplications forbidden."},
        {{"--dump", "--config"}, "'--config' option requires value(s)."},
        {{"--get=E2P.A.B,,E2P.C"}, "'--get' option value(s) in wrong format."},
        {{"--dump=HEX"}, "'--dump' option value(s) invalid."},
        {{"--log=slog", "--log=bad"}, "'--log' option value(s) invalid."},
    };
    for (const auto& [arguments, firstLine] : cases) {
        SCOPED_TRACE(firstLine);
        EXPECT_RUN(runVelkor(arguments), 1, "",
                   "velkor: " + firstLine +
                       "\nvelkor: Use option '--help' for detailed information.\n");
    }
}

TEST(MurelAdjMainE2E, TheDescriptionFileIsReadOnlyForGetAndVerboseDump) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    const std::string missing = page.dir().file("missing.txt");
    const std::string backup = page.dir().file("b.bin");
    for (const std::string& action :
         Args{"--backup=" + backup, "--check", "--getver", "--dump=hex"}) {
        EXPECT_EQ(page.velkor({"--config=" + missing, action, "--log=slog"}).err, "SUCCESS\n")
            << action;
    }
    EXPECT_EQ(readFile(backup), sampleBlock());
    // When reading it fails, get and the verbose dump do not run.
    const std::string error = "velkor: ERROR: config: failed to get file status '" + missing +
                              "', errno: <2|No such file or directory>\nFAILURE\n";
    EXPECT_RUN(page.velkor({"--config=" + missing, "--get=E2P.Networking.Eth0MacAddr"}), 1, "",
               error);
    EXPECT_RUN(page.velkor({"--config=" + missing, "--dump="}), 1, "", error);
    EXPECT_RUN(
        page.velkor({"--config=" + sampleDescriptionPath(), "--get=E2P.Networking.Eth1MacAddr"}), 0,
        "E2P.Networking.Eth1MacAddr=02B4E10BB026\n",
        parsedLine(sampleDescriptionPath()) + "SUCCESS\n");
}

TEST(MurelAdjMainE2E, LogLevelAndTargetFilterStandardError) {
    // A description file that parses, then a page that is missing: one info and one error line.
    E2EPage missing;
    const std::string info = parsedLine(sampleDescriptionPath());
    const std::string error = attachError(missing.page(), missing.lock(), "ERROR_ATTACH_SHMEM");
    const std::vector<std::pair<Args, std::string>> cases = {
        {{}, info + error},          {{"--log=stdout"}, info + error},
        {{"--log=slog"}, ""},        {{"--loglevel=error"}, error},
        {{"--loglevel=info"}, info}, {{"--loglevel=warning"}, ""},
        {{"--loglevel=none"}, ""},
    };
    for (const auto& [options, err] : cases) {
        SCOPED_TRACE(options.empty() ? "defaults" : options[0]);
        Args arguments = {"--config=" + sampleDescriptionPath(),
                          "--get=E2P.Networking.Eth0MacAddr"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_RUN(missing.velkor(arguments), 1, "", err + "FAILURE\n");
    }
}

} // namespace
