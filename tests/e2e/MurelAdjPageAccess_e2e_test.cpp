// How velkor finds the page (option, environment) and how it fails on missing and bad pages.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>

namespace {

const std::string VERSION_LINE = "Compiled version: 2, stored version: 2\n";

TEST(PageE2E, MissingPageFailsEveryActionNamingBothPaths) {
    E2EPage page;
    for (const char* action : {"--dump", "--dump=hex", "--get=E2P.END", "--check", "--getver",
                               "--backup=/nonexistent/never-written.bin"}) {
        SCOPED_TRACE(action);
        EXPECT_RUN(page.velkor({action}), 1, "",
                   attachError(page.page(), page.lock(), "ERROR_ATTACH_SHMEM") + "FAILURE\n");
    }
}

TEST(PageE2E, EnvironmentNamesThePageUnlessAnOptionDoes) {
    E2EPage page;
    ASSERT_TRUE(page.writeBlock(sampleBlock()));
    EXPECT_RUN(runVelkor({"--getver"}, {"MUREL_PAGE= \t" + page.page() + " ",
                                        "MUREL_PAGELOCK=\t" + page.lock() + "\n"}),
               0, VERSION_LINE, "SUCCESS\n");
    EXPECT_RUN(page.velkor({"--getver"}, {"MUREL_PAGE=" + uniqueShmName("other"),
                                          "MUREL_PAGELOCK=" + uniqueShmName("x")}),
               0, VERSION_LINE, "SUCCESS\n");
    const std::string absent = uniqueShmName("env-page");
    EXPECT_RUN(runVelkor({"--pagelock=" + page.lock(), "--check"}, {"MUREL_PAGE=  " + absent}), 1,
               "", attachError(absent, page.lock(), "ERROR_ATTACH_SHMEM") + "FAILURE\n");
}

// Bad pages fail with the page client's result; velkor never crashes on them.
TEST(PageE2E, BadPages) {
    E2EPage page;
    const std::string versionError = "velkor: ERROR: failed get adjust version, page: '" +
                                     page.page() + "', pagelock: '" + page.lock() + "', res: ";
    ASSERT_TRUE(page.write({"--item=0x00000001:0102030405:0x0100"})); // no adjust block
    EXPECT_RUN(page.velkor({"--dump"}), 1, "", versionError + "INVALID_ID\nFAILURE\n");
    ASSERT_TRUE(page.writeBlock(sampleBlock(), {"--format=2"}));
    EXPECT_RUN(page.velkor({"--check"}), 1, "",
               attachError(page.page(), page.lock(), "ERROR_INIT_SYSPAGE") + "FAILURE\n");
    ASSERT_TRUE(page.writeBlock(sampleBlock(), {"--dir-length=8190"})); // past the page's end
    EXPECT_RUN(page.velkor({"--dump"}), 1, "", versionError + "ERROR_INIT_SYSPAGE\nFAILURE\n");
    std::string image(100, '\0');
    image[0] = 1;
    ASSERT_TRUE(page.write({"--raw=" + page.dir().write("page.bin", image), "--size=100"}));
    EXPECT_RUN(page.velkor({"--dump"}), 1, "",
               attachError(page.page(), page.lock(), "ERROR_ATTACH_SHMEM") + "FAILURE\n");
}

// A create lock that is no semaphore (an empty or a wrong-sized file) fails velkor and
// murelpage-sim cleanly, murelpage-sim naming what to remove; removed, it is made anew. In a
// /dev/shm of its own.
TEST(PageE2E, DamagedCreateLock) {
    const int status = runWithPrivateShm([] {
        E2EPage page;
        const std::string file = "/dev/shm/sem.murelpage-create-lock";
        EXPECT_TRUE(page.writeBlock(sampleBlock()));
        for (const off_t size : {0, 100}) {
            SCOPED_TRACE(size);
            EXPECT_EQ(truncate(file.c_str(), size), 0);
            EXPECT_RUN(page.velkor({"--check"}), 1, "",
                       attachError(page.page(), page.lock(), "ERROR_ATTACH_SHACC") + "FAILURE\n");
            EXPECT_RUN(runProcess(MURELPAGE_SIM_BINARY,
                                  {"write", "--page=" + page.page(), "--pagelock=" + page.lock()}),
                       1, "",
                       "murelpage-sim: cannot attach the shared access object '" + page.lock() +
                           "': the create lock '" + file +
                           "' is not a semaphore, remove it when nothing runs\n");
        }
        unlink(file.c_str());
        EXPECT_RUN(page.velkor({"--getver"}), 0, "Compiled version: 2, stored version: 2\n",
                   "SUCCESS\n");
        return testing::Test::HasFailure() ? 1 : 0;
    });
    if (status == 77) {
        GTEST_SKIP() << "no private /dev/shm here";
    }
    EXPECT_EQ(status, 0);
}

} // namespace
