// velkor on the default page names "/murelpage" and "/murelpage-lock". They are shared with every
// other user of this machine: these tests run alone (RESOURCE_LOCK murelpage_fixed) and touch the
// fixed objects only when neither exists.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

bool fixedPageExists() {
    for (const char* name : {"/murelpage", "/murelpage-lock"}) {
        const int descriptor = shm_open(name, O_RDONLY, 0);
        if (descriptor >= 0) {
            close(descriptor);
            return true;
        }
    }
    return false;
}

const std::vector<std::string> NO_ENVIRONMENT = {"MUREL_PAGE", "MUREL_PAGELOCK"};

TEST(PageDefaultsE2E, DefaultPathsWhenNeitherOptionNorEnvironment) {
    if (fixedPageExists()) {
        GTEST_SKIP() << "/murelpage or /murelpage-lock exists; not touching them";
    }
    const std::string error =
        attachError("/murelpage", "/murelpage-lock", "ERROR_ATTACH_SHMEM") + "FAILURE\n";
    EXPECT_RUN(runVelkor({"--getver"}, NO_ENVIRONMENT), 1, "", error);
    EXPECT_RUN(runVelkor({"--getver"}, {"MUREL_PAGE= \t ", "MUREL_PAGELOCK="}), 1, "", error);

    TempDir dir;
    ProcessOptions options;
    options.environment = NO_ENVIRONMENT;
    const ProcessResult written = runProcess(
        MURELPAGE_SIM_BINARY,
        {"write", "--block=" + dir.write("block.bin", sampleBlock()), "--version=4"}, options);
    ASSERT_EQ(written.exitCode, 0) << written.err;
    const ProcessResult result = runVelkor({"--getver"}, NO_ENVIRONMENT);
    runProcess(MURELPAGE_SIM_BINARY, {"remove"}, options);
    EXPECT_RUN(result, 0, "Compiled version: 2, stored version: 4\n", "SUCCESS\n");
}

} // namespace
