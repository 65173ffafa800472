# Compiler warnings shared by every target of the project.
option(VELKOR_WERROR "Treat compiler warnings as errors" OFF)

add_library(velkor_warnings INTERFACE)
target_compile_options(velkor_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wcast-align -Wformat -Wformat-security -Wimplicit-fallthrough -Wmissing-declarations
    $<$<BOOL:${VELKOR_WERROR}>:-Werror>)
