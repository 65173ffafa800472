// The description-file action's messages through the binary.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const std::string GOOD = "0000000C E2P.G A UINT8 1 01 00 FF\n";

// Runs the description file through "--get" (the page is never reached when the file fails) and
// returns standard error.
ProcessResult runConfig(const std::string& path) {
    return runVelkor({"--page=" + uniqueShmName("page"), "--pagelock=" + uniqueShmName("lock"),
                      "--config=" + path, "--get=E2P.G.A", "--loglevel=error,info"});
}

void expectConfigError(const std::string& path, const std::string& message) {
    const ProcessResult result = runConfig(path);
    EXPECT_EQ(result.exitCode, 1) << message;
    EXPECT_EQ(result.out, "") << message;
    EXPECT_EQ(result.err, "velkor: ERROR: config: " + message + "\nFAILURE\n");
}

TEST(CMurelAdjConfigActionE2E, FileSystemMessages) {
    TempDir dir;
    const std::string missing = dir.file("missing.txt");
    expectConfigError(missing, "failed to get file status '" + missing +
                                   "', errno: <2|No such file or directory>");
    expectConfigError(dir.path(), "'" + dir.path() + "' is not a regular file");
    const std::string notDirectory = dir.write("plain", GOOD) + "/x";
    expectConfigError(notDirectory, "failed to get file status '" + notDirectory +
                                        "', errno: <20|Not a directory>");
    if (geteuid() != 0) {
        const std::string locked = dir.write("locked.txt", GOOD);
        ASSERT_EQ(chmod(locked.c_str(), 0), 0);
        expectConfigError(locked, "failed to open '" + locked + "', errno: <13|Permission denied>");
    }
}

TEST(CMurelAdjConfigActionE2E, ParseMessagesNameTheLine) {
    TempDir dir;
    struct Case {
        std::string content;
        std::string message; // %s for the path
    };
    const std::vector<Case> cases = {
        {"", "no adjust node description found in '%s'"},
        {"# only a comment\nAddress Group Entry\n", "no adjust node description found in '%s'"},
        {GOOD.substr(0, GOOD.size() - 1), "no adjust node description found in '%s'"},
        {GOOD + "\n", "wrong format '%s', stopped parsing at line: 2"},
        {"\n" + GOOD + "bad\n", "wrong format '%s', stopped parsing at line: 3"},
        {"# c\r\nAddress\r\n" + GOOD + "0000000B E2P.G B UINT8 1 01 00 FF\n",
         "wrong format '%s', stopped parsing at line: 4"},
        {GOOD + "0000000D E2P.G B UINT8 1 01 00 FF\n0000000C E2P.G C UINT8 1 01 00 FF\n",
         "adjust node duplication found '%s', stopped parsing at line: 3"},
    };
    for (const Case& testCase : cases) {
        const std::string path = dir.write("description.txt", testCase.content);
        std::string message = testCase.message;
        message.replace(message.find("%s"), 2, path);
        expectConfigError(path, message);
    }
}

TEST(CMurelAdjConfigActionE2E, MessagesShowThePathAsTheOptionStoredIt) {
    TempDir dir;
    const std::string path = dir.write("spaced.txt", "bad\n");
    const ProcessResult result =
        runVelkor({"--config=  " + path + " \t", "--get=E2P.G.A", "--log=stdout"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "velkor: ERROR: config: wrong format '" + path +
                              "', stopped parsing at line: 1\n"
                              "FAILURE\n");
    // A relative path stays relative.
    ProcessOptions options;
    options.workingDirectory = dir.path();
    const ProcessResult relative =
        runProcess(VELKOR_BINARY, {"--config=spaced.txt", "--dump", "--log=stdout"}, options);
    EXPECT_EQ(relative.err,
              "velkor: ERROR: config: wrong format 'spaced.txt', stopped parsing at line: 1\n"
              "FAILURE\n");
}

TEST(CMurelAdjConfigActionE2E, TheSampleDescriptionDumpsLikeTheCompiledOne) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    const ProcessResult compiled = runVelkor(page.arguments({"--dump"}));
    const ProcessResult fromFile =
        runVelkor(page.arguments({"--config=" + sampleDescriptionPath(), "--dump"}));
    EXPECT_EQ(fromFile.exitCode, 0);
    EXPECT_EQ(fromFile.out, compiled.out);
    EXPECT_EQ(fromFile.out, sourceFile("tests/e2e/expected/adjust-block-dump-big.txt"));
    EXPECT_EQ(fromFile.err, "velkor: INFO: config: '" + sampleDescriptionPath() +
                                "' successfully parsed, 139 adjust nodes found\nSUCCESS\n");
}

} // namespace
