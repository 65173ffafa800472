# Fuzz builds (Clang): VELKOR_FUZZ instruments every target for libFuzzer's coverage feedback and
# builds the <what>_fuzz executables of fuzz/. The replay programs of fuzz/ are built either way.
option(VELKOR_FUZZ "Build the libFuzzer targets of fuzz/ (needs Clang)" OFF)

if(VELKOR_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VELKOR_FUZZ needs Clang (libFuzzer); use the \"fuzz\" preset")
    endif()
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
