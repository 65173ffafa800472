# Debian package of velkor and murelpage-sim with their man pages, the bash completion, the
# documentation and the examples (everything `cmake --install` puts under the prefix, here /usr).
#
#   cmake --build --preset release && (cd build/release && cpack)   # velkor_<version>_amd64.deb
#   cmake --build --preset armhf && (cd build/armhf && cpack)       # velkor_<version>_armhf.deb
#
# The architecture is the build's target: dpkg's own on a native build; on a cross build the one
# dpkg-architecture names for the compiler's multiarch triplet. Dependencies: dpkg-shlibdeps
# computes them from the programs on a native build; a cross build has no target libraries that
# dpkg knows, so it declares VELKOR_DEB_CROSS_DEPENDS (the C and C++ run-time libraries that a
# dynamically linked program of this project needs; the test of the native package checks that the
# computed list covers every library the programs load).

set(VELKOR_PACKAGE_MAINTAINER "velkor developers <velkor@localhost>" CACHE STRING
    "Maintainer field of the Debian package")
set(VELKOR_DEB_CROSS_DEPENDS "libc6 (>= 2.34), libgcc-s1 (>= 3.5), libstdc++6 (>= 11)"
    CACHE STRING "Depends field of the Debian package of a cross build")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velkor)
set(CPACK_PACKAGE_VENDOR "velkor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "read the head unit's adjust block from its settings page")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELKOR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion, man-db")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}
velkor attaches read-only to the MurelPage, the head unit's 8 KiB shared-memory
settings page, copies the 2036-byte adjust block under the page's lock and
prints it by entry name or as hex rows, prints its layout version, writes a raw
backup and verifies its CRC.
.
murelpage-sim creates and fills such a page on a development host.")

if(CMAKE_CROSSCOMPILING)
    set(debArchitecture "")
    find_program(VELKOR_DPKG_ARCHITECTURE dpkg-architecture)
    mark_as_advanced(VELKOR_DPKG_ARCHITECTURE)
    if(VELKOR_DPKG_ARCHITECTURE AND CMAKE_LIBRARY_ARCHITECTURE)
        execute_process(COMMAND ${VELKOR_DPKG_ARCHITECTURE} -t ${CMAKE_LIBRARY_ARCHITECTURE}
                                -qDEB_HOST_ARCH
                        OUTPUT_VARIABLE debArchitecture OUTPUT_STRIP_TRAILING_WHITESPACE
                        ERROR_QUIET)
    endif()
    if(NOT debArchitecture)
        if(CMAKE_LIBRARY_ARCHITECTURE STREQUAL "arm-linux-gnueabihf")
            set(debArchitecture armhf)
        elseif(CMAKE_LIBRARY_ARCHITECTURE STREQUAL "aarch64-linux-gnu")
            set(debArchitecture arm64)
        else()
            message(WARNING "No Debian architecture known for '${CMAKE_LIBRARY_ARCHITECTURE}'; "
                            "set CPACK_DEBIAN_PACKAGE_ARCHITECTURE")
        endif()
    endif()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${debArchitecture})
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${VELKOR_DEB_CROSS_DEPENDS}")
else()
    # The architecture: CPack asks dpkg --print-architecture.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/\\\\.cache/")

include(CPack)
