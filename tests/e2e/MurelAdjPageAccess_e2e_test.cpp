// How velkor finds the page (option, environment, default) and how it fails on missing and bad
// pages.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string attachError(const std::string& page, const std::string& lock, const char* result) {
    return "velkor: ERROR: failed attach, page: '" + page + "', pagelock: '" + lock +
           "', res: " + result + "\n";
}

class PageE2E : public testing::Test {
protected:
    void SetUp() override { m_block = sampleBlock(); }

    std::string m_block;
    E2EPage m_page;
};

TEST_F(PageE2E, MissingPageFailsEveryActionNamingBothPaths) {
    const std::string expected =
        attachError(m_page.page(), m_page.lock(), "ERROR_ATTACH_SHMEM") + "FAILURE\n";
    for (const char* action : {"--dump", "--dump=hex", "--get=E2P.END", "--check", "--getver",
                               "--backup=/nonexistent/never-written.bin"}) {
        const ProcessResult result = runVelkor(m_page.arguments({action}));
        EXPECT_EQ(result.exitCode, 1) << action;
        EXPECT_EQ(result.termSignal, 0) << action;
        EXPECT_EQ(result.out, "") << action;
        EXPECT_EQ(result.err, expected) << action;
    }
}

TEST_F(PageE2E, EnvironmentNamesThePageTrimmed) {
    ASSERT_TRUE(m_page.writeBlock(m_block));
    const ProcessResult result =
        runVelkor({"--getver"}, {"MUREL_PAGE= \t" + m_page.page() + " ",
                                 "MUREL_PAGELOCK=\t" + m_page.lock() + "\n"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 2\n");
}

TEST_F(PageE2E, OptionsWinOverTheEnvironment) {
    ASSERT_TRUE(m_page.writeBlock(m_block));
    const ProcessResult result =
        runVelkor(m_page.arguments({"--getver"}),
                  {"MUREL_PAGE=" + uniqueShmName("other"), "MUREL_PAGELOCK=" + uniqueShmName("x")});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 2\n");
}

TEST_F(PageE2E, EnvironmentOfAMissingPageAppearsInTheError) {
    const std::string page = uniqueShmName("env-page");
    const ProcessResult result =
        runVelkor({"--pagelock=" + m_page.lock(), "--check"}, {"MUREL_PAGE=  " + page + "  "});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, attachError(page, m_page.lock(), "ERROR_ATTACH_SHMEM") + "FAILURE\n");
}

TEST_F(PageE2E, PageWithoutTheBlock) {
    ASSERT_TRUE(m_page.write({"--item=0x00000001:0102030405:0x0100"}));
    const ProcessResult result = runVelkor(m_page.arguments({"--dump"}));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "velkor: ERROR: failed get adjust version, page: '" + m_page.page() +
                              "', pagelock: '" + m_page.lock() + "', res: INVALID_ID\nFAILURE\n");
}

TEST_F(PageE2E, PageOfAnotherFormat) {
    ASSERT_TRUE(m_page.writeBlock(m_block, {"--format=2"}));
    const ProcessResult result = runVelkor(m_page.arguments({"--check"}));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              attachError(m_page.page(), m_page.lock(), "ERROR_INIT_SYSPAGE") + "FAILURE\n");
}

// A page whose directory claims more than the page holds, and a page object shorter than a page:
// velkor fails with the page client's result and never crashes.
TEST_F(PageE2E, DirectoryReachingPastThePage) {
    ASSERT_TRUE(m_page.writeBlock(m_block, {"--dir-length=8190"}));
    const ProcessResult result = runVelkor(m_page.arguments({"--dump"}));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.termSignal, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "velkor: ERROR: failed get adjust version, page: '" + m_page.page() +
                              "', pagelock: '" + m_page.lock() +
                              "', res: ERROR_INIT_SYSPAGE\nFAILURE\n");
}

TEST_F(PageE2E, ShortPageObject) {
    std::string image(100, '\0');
    image[0] = 1;
    ASSERT_TRUE(m_page.writeRaw(image, {"--size=100"}));
    const ProcessResult result = runVelkor(m_page.arguments({"--dump"}));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.termSignal, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              attachError(m_page.page(), m_page.lock(), "ERROR_ATTACH_SHMEM") + "FAILURE\n");
}

} // namespace
