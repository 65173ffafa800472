// The description-file action's messages through the binary (which line stops the parse is the
// parser's own tests' concern).
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

TEST(CMurelAdjConfigActionE2E, MessagesNameTheFileAndTheLine) {
    E2EPage absent; // never reached when the file fails
    const TempDir& dir = absent.dir();
    const std::string good = "0000000C E2P.G A UINT8 1 01 00 FF\n";
    const std::string missing = dir.file("missing.txt");
    const std::string notDirectory = dir.write("plain", good) + "/x";
    const std::string empty = dir.write("empty.txt", "");
    const std::string bad = dir.write("bad.txt", "\n" + good + "bad\n");
    const std::string twice =
        dir.write("twice.txt", good + "0000000D E2P.G B UINT8 1 01 00 FF\n" + good);
    std::vector<std::pair<std::string, std::string>> cases = {
        {missing,
         "failed to get file status '" + missing + "', errno: <2|No such file or directory>"},
        {notDirectory,
         "failed to get file status '" + notDirectory + "', errno: <20|Not a directory>"},
        {dir.path(), "'" + dir.path() + "' is not a regular file"},
        {empty, "no adjust node description found in '" + empty + "'"},
        {bad, "wrong format '" + bad + "', stopped parsing at line: 3"},
        {twice, "adjust node duplication found '" + twice + "', stopped parsing at line: 3"}};
    if (geteuid() != 0) {
        const std::string locked = dir.write("locked.txt", good);
        EXPECT_EQ(chmod(locked.c_str(), 0), 0);
        cases.emplace_back(locked,
                           "failed to open '" + locked + "', errno: <13|Permission denied>");
    }
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(message);
        EXPECT_RUN(absent.velkor({"--config=" + path, "--get=E2P.G.A", "--loglevel=error,info"}), 1,
                   "", "velkor: ERROR: config: " + message + "\nFAILURE\n");
    }

    // Messages show the path as the option stored it: trimmed, relative.
    EXPECT_RUN(runVelkor({"--config=  " + bad + " \t", "--get=E2P.G.A", "--log=stdout"}), 1, "",
               "velkor: ERROR: config: wrong format '" + bad +
                   "', stopped parsing at line: 3\nFAILURE\n");
    ProcessOptions options;
    options.workingDirectory = dir.path();
    EXPECT_RUN(runProcess(VELKOR_BINARY, {"--config=bad.txt", "--dump", "--log=stdout"}, options),
               1, "",
               "velkor: ERROR: config: wrong format 'bad.txt', stopped parsing at line: 3\n"
               "FAILURE\n");
}

TEST(CMurelAdjConfigActionE2E, TheSampleDescriptionDumpsLikeTheCompiledOne) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    EXPECT_RUN(page.velkor({"--config=" + sampleDescriptionPath(), "--dump"}), 0,
               expectedOutput("adjust-block-dump-big.txt"),
               parsedLine(sampleDescriptionPath()) + "SUCCESS\n");
}

} // namespace
