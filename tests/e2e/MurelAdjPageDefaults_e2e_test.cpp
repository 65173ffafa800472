// velkor on the default page names "/murelpage" and "/murelpage-lock".
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

std::string attachError(const std::string& page, const std::string& lock, const char* result) {
    return "velkor: ERROR: failed attach, page: '" + page + "', pagelock: '" + lock +
           "', res: " + result + "\n";
}

// The default names are shared with every other user of this machine: these tests run alone
// (RESOURCE_LOCK murelpage_fixed) and leave the fixed objects as they found them.
bool sharedObjectExists(const char* name) {
    const int descriptor = shm_open(name, O_RDONLY, 0);
    if (descriptor < 0) {
        return false;
    }
    close(descriptor);
    return true;
}

bool fixedPageExists() {
    return sharedObjectExists("/murelpage") || sharedObjectExists("/murelpage-lock");
}

TEST(PageDefaultsE2E, DefaultPathsWhenNeitherOptionNorEnvironment) {
    if (fixedPageExists()) {
        GTEST_SKIP() << "/murelpage or /murelpage-lock exists; not touching them";
    }
    for (const std::vector<std::string>& environment :
         {std::vector<std::string>{"MUREL_PAGE", "MUREL_PAGELOCK"},
          std::vector<std::string>{"MUREL_PAGE= \t ", "MUREL_PAGELOCK="}}) {
        const ProcessResult result = runVelkor({"--getver"}, environment);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err,
                  attachError("/murelpage", "/murelpage-lock", "ERROR_ATTACH_SHMEM") + "FAILURE\n");
    }
}

TEST(PageDefaultsE2E, DefaultPageIsRead) {
    if (fixedPageExists()) {
        GTEST_SKIP() << "/murelpage or /murelpage-lock exists; not touching them";
    }
    TempDir dir;
    const std::string block = dir.write("block.bin", sampleBlock());
    const ProcessResult written =
        runProcess(MURELPAGE_SIM_BINARY, {"write", "--block=" + block, "--version=4"},
                   {{"MUREL_PAGE", "MUREL_PAGELOCK"}, "", "", 30000});
    ASSERT_EQ(written.exitCode, 0) << written.err;
    const ProcessResult result = runVelkor({"--getver"}, {"MUREL_PAGE", "MUREL_PAGELOCK"});
    runProcess(MURELPAGE_SIM_BINARY, {"remove"}, {{"MUREL_PAGE", "MUREL_PAGELOCK"}, "", "", 30000});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "Compiled version: 2, stored version: 4\n");
}

} // namespace
