// The description-file action's messages through the binary.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const std::string GOOD = "0000000C E2P.G A UINT8 1 01 00 FF\n";

TEST(CMurelAdjConfigActionE2E, MessagesNameTheFileAndTheLine) {
    TempDir dir;
    const std::string missing = dir.file("missing.txt");
    const std::string notDirectory = dir.write("plain", GOOD) + "/x";
    std::vector<std::pair<std::string, std::string>> cases = {
        {missing,
         "failed to get file status '" + missing + "', errno: <2|No such file or directory>"},
        {dir.path(), "'" + dir.path() + "' is not a regular file"},
        {notDirectory,
         "failed to get file status '" + notDirectory + "', errno: <20|Not a directory>"}};
    if (geteuid() != 0) {
        const std::string locked = dir.write("locked.txt", GOOD);
        EXPECT_EQ(chmod(locked.c_str(), 0), 0);
        cases.emplace_back(locked,
                           "failed to open '" + locked + "', errno: <13|Permission denied>");
    }
    const std::pair<std::string, std::string> contents[] = {
        {"", "no adjust node description found in '%s'"},
        {"# only a comment\nAddress Group Entry\n", "no adjust node description found in '%s'"},
        {GOOD.substr(0, GOOD.size() - 1), "no adjust node description found in '%s'"},
        {GOOD + "\n", "wrong format '%s', stopped parsing at line: 2"},
        {"\n" + GOOD + "bad\n", "wrong format '%s', stopped parsing at line: 3"},
        {"# c\r\nAddress\r\n" + GOOD + "0000000B E2P.G B UINT8 1 01 00 FF\n",
         "wrong format '%s', stopped parsing at line: 4"},
        {GOOD + "0000000D E2P.G B UINT8 1 01 00 FF\n0000000C E2P.G C UINT8 1 01 00 FF\n",
         "adjust node duplication found '%s', stopped parsing at line: 3"}};
    for (const auto& [content, message] : contents) {
        const std::string path = dir.write("d" + std::to_string(cases.size()) + ".txt", content);
        cases.emplace_back(path, message.substr(0, message.find("%s")) + path +
                                     message.substr(message.find("%s") + 2));
    }
    // The page is never reached when the file fails.
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(message);
        EXPECT_RUN(
            runVelkor({"--page=" + uniqueShmName("page"), "--pagelock=" + uniqueShmName("lock"),
                       "--config=" + path, "--get=E2P.G.A", "--loglevel=error,info"}),
            1, "", "velkor: ERROR: config: " + message + "\nFAILURE\n");
    }
}

TEST(CMurelAdjConfigActionE2E, MessagesShowThePathAsTheOptionStoredIt) {
    TempDir dir;
    const std::string path = dir.write("spaced.txt", "bad\n");
    EXPECT_RUN(runVelkor({"--config=  " + path + " \t", "--get=E2P.G.A", "--log=stdout"}), 1, "",
               "velkor: ERROR: config: wrong format '" + path +
                   "', stopped parsing at line: 1\nFAILURE\n");
    ProcessOptions options;
    options.workingDirectory = dir.path();
    EXPECT_RUN(
        runProcess(VELKOR_BINARY, {"--config=spaced.txt", "--dump", "--log=stdout"}, options), 1,
        "",
        "velkor: ERROR: config: wrong format 'spaced.txt', stopped parsing at line: 1\n"
        "FAILURE\n");
}

TEST(CMurelAdjConfigActionE2E, TheSampleDescriptionDumpsLikeTheCompiledOne) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    EXPECT_RUN(page.velkor({"--config=" + sampleDescriptionPath(), "--dump"}), 0,
               expectedOutput("adjust-block-dump-big.txt"),
               "velkor: INFO: config: '" + sampleDescriptionPath() +
                   "' successfully parsed, 139 adjust nodes found\nSUCCESS\n");
}

} // namespace
