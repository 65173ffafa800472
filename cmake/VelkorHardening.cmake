# Hardening of every target, as Debian's dpkg-buildflags gives it to packages:
#   -fstack-protector-strong, -Wformat -Werror=format-security      every build
#   -D_FORTIFY_SOURCE=2                                             optimised builds without
#                                                                   sanitizers (it needs -O, and
#                                                                   its checked calls would hide
#                                                                   accesses from the sanitizers)
#   -fPIE, executables linked with -pie                             every build (a static velkor
#                                                                   is a static PIE where the C
#                                                                   library has one, see app/)
#   -Wl,-z,relro -Wl,-z,now                                         every link
option(VELKOR_HARDENING "Build with the hardening flags of Debian's dpkg-buildflags" ON)

if(VELKOR_HARDENING)
    add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
    if(NOT VELKOR_SANITIZE)
        # -U first: some compilers define _FORTIFY_SOURCE themselves.
        add_compile_options(
            "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
    endif()
    # -fPIE rather than CMake's -fPIC for the static libraries: they end up in executables only.
    add_compile_options(-fPIE)
    add_link_options("$<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-pie>"
                     LINKER:-z,relro LINKER:-z,now)
endif()
