// Entry of every GoogleTest program: backtrace reports of a test run by hand go to the build tree,
// not to the host's /dev/shm, unless VX_ASSERTION_BACKTRACE_DIR names another directory.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("VX_ASSERTION_BACKTRACE_DIR", VELKOR_TEST_BACKTRACE_DIR, 0);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
