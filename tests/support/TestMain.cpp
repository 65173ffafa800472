// Entry of every GoogleTest program. Failed internal checks write backtrace reports; a test binary
// run by hand, outside CTest (which names the directory), writes them to the build tree's scratch
// folder rather than the host's /dev/shm, unless VX_ASSERTION_BACKTRACE_DIR names another.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("VX_ASSERTION_BACKTRACE_DIR", VELKOR_TEST_BACKTRACE_DIR, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
