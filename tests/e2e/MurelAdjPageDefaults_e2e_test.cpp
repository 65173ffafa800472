// velkor on the default page names "/murelpage" and "/murelpage-lock". They are shared with every
// other user of this machine: these tests run alone (RESOURCE_LOCK murelpage_fixed) and touch the
// fixed objects only when neither exists.
#include "tests/e2e/E2EPage.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

TEST(PageDefaultsE2E, DefaultPathsWhenNeitherOptionNorEnvironment) {
    for (const char* name : {"/murelpage", "/murelpage-lock"}) {
        const int descriptor = shm_open(name, O_RDONLY, 0);
        if (descriptor >= 0) {
            close(descriptor);
            GTEST_SKIP() << name << " exists; not touching it";
        }
    }
    const Args unset = {"MUREL_PAGE", "MUREL_PAGELOCK"};
    const std::string error =
        attachError("/murelpage", "/murelpage-lock", "ERROR_ATTACH_SHMEM") + "FAILURE\n";
    EXPECT_RUN(runVelkor({"--getver"}, unset), 1, "", error);
    EXPECT_RUN(runVelkor({"--getver"}, {"MUREL_PAGE= \t ", "MUREL_PAGELOCK="}), 1, "", error);

    TempDir dir;
    ProcessOptions options;
    options.environment = unset;
    const ProcessResult written = runProcess(
        MURELPAGE_SIM_BINARY,
        {"write", "--block=" + dir.write("block.bin", sampleBlock()), "--version=4"}, options);
    ASSERT_EQ(written.exitCode, 0) << written.err;
    const ProcessResult result = runVelkor({"--getver"}, unset);
    runProcess(MURELPAGE_SIM_BINARY, {"remove"}, options);
    EXPECT_RUN(result, 0, "Compiled version: 2, stored version: 4\n", "SUCCESS\n");
}

} // namespace
