# Debian package of velkor and murelpage-sim with their man pages, the bash completion, the
# documentation and the examples (everything `cmake --install` puts under the prefix, here /usr),
# the copyright file, the Debian changelog and the lintian overrides (cmake/debian/).
#
#   cmake --build --preset release && (cd build/release && cpack)   # velkor_<version>-1_amd64.deb
#   cmake --build --preset armhf-release && (cd build/armhf-release && cpack)
#                                                                   # velkor_<version>-1_armhf.deb
#
# The architecture is the build's target: dpkg's own on a native build; on a cross build the one
# dpkg-architecture names for the compiler's multiarch triplet. Dependencies: dpkg-shlibdeps
# computes them from the programs on a native build; a cross build has no target libraries that
# dpkg knows, so it declares VELKOR_DEB_CROSS_DEPENDS (the C and C++ run-time libraries that a
# dynamically linked program of this project needs; the test of the native package checks that the
# computed list covers every library the programs load).

# The maintainer, "Name <address>": the default has that form but a reserved example domain; a
# package that leaves the team names a real one (-DVELKOR_PACKAGE_MAINTAINER="...").
set(VELKOR_PACKAGE_MAINTAINER "velkor developers <velkor-dev@example.com>" CACHE STRING
    "Maintainer field of the Debian package, and the signer of its changelog: Name <address>")
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
# The extended description only: cpack puts the summary line before it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "velkor attaches read-only to the MurelPage, the head unit's 8 KiB shared-memory
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

# ---- files of the package only ----
# The release date as the changelog wants it, "Sun, 06 Dec 2026 00:00:00 +0000".
if(NOT VELKOR_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "VELKOR_RELEASE_DATE is not YYYY-MM-DD: '${VELKOR_RELEASE_DATE}'")
endif()
set(VELKOR_RELEASE_YEAR ${CMAKE_MATCH_1})
set(dayText ${CMAKE_MATCH_3})
string(REGEX REPLACE "^0" "" month ${CMAKE_MATCH_2})
string(REGEX REPLACE "^0" "" day ${dayText})
# Day of the week (0 Sunday) by Sakamoto's method.
set(monthOffsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR monthIndex "${month} - 1")
list(GET monthOffsets ${monthIndex} monthOffset)
set(y ${VELKOR_RELEASE_YEAR})
if(month LESS 3)
    math(EXPR y "${y} - 1")
endif()
math(EXPR weekday "(${y} + ${y} / 4 - ${y} / 100 + ${y} / 400 + ${monthOffset} + ${day}) % 7")
set(weekdays Sun Mon Tue Wed Thu Fri Sat)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET weekdays ${weekday} weekdayName)
list(GET months ${monthIndex} monthName)
set(VELKOR_RELEASE_DATE_RFC2822
    "${weekdayName}, ${dayText} ${monthName} ${VELKOR_RELEASE_YEAR} 00:00:00 +0000")

set(debianDir ${PROJECT_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/copyright.in ${debianDir}/copyright @ONLY)
install(FILES ${debianDir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.Debian.in ${debianDir}/changelog.Debian
               @ONLY)
# gzip -9n: the changelog without a name or time stamp inside, as Debian wants it.
if(VELKOR_GZIP)
    execute_process(COMMAND ${VELKOR_GZIP} -9 -n -f -k ${debianDir}/changelog.Debian
                    RESULT_VARIABLE gzipResult)
endif()
if(NOT VELKOR_GZIP OR NOT gzipResult EQUAL 0)
    message(WARNING "No gzip: the Debian package will lack its changelog")
endif()
# The override of the static velkor names the tag its kind of link draws (app/CMakeLists.txt).
if(NOT VELKOR_STATIC_EXECUTABLE OR VELKOR_SANITIZE)
    set(VELKOR_STATIC_OVERRIDE "
# (Not in this build, which links it dynamically.)")
elseif(VELKOR_HAVE_STATIC_PIE)
    set(VELKOR_STATIC_OVERRIDE "
# It is a static PIE, which lintian takes for a shared library: it needs no library at all.
velkor: shared-library-lacks-prerequisites [usr/bin/velkor]")
else()
    set(VELKOR_STATIC_OVERRIDE "
velkor: statically-linked-binary [usr/bin/velkor]")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides.in ${debianDir}/lintian/velkor
               @ONLY)
set(CPACK_VELKOR_DEBIAN_DIR ${debianDir})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/VelkorDebianFiles.cmake)

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/build/" "/\\\\.cache/")

include(CPack)
