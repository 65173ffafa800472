# What `cmake --install` puts beside the programs (which app/ and tools/ install into bin/): the man
# pages, the bash completion of velkor, the documentation and the examples.
#
#   share/man/man1/velkor.1.gz, murelpage-sim.1.gz    (uncompressed when gzip is missing)
#   <completions dir>/velkor                           the bash completion, see below
#   share/doc/velkor/README.md, docs/*.md, examples/   the documentation and the sample block
#   share/doc/velkor/copyright                         the licence (cmake/VelkorPackaging.cmake)
#
# A stripping install (`cmake --install --strip`, cpack) also drops the programs' .comment
# sections, the compiler identification strings of every object linked in, as Debian's dh_strip
# does.
#
# The completion goes to the directory that bash-completion's pkg-config file names
# (completionsdir), taken relative to the install prefix when it lies below bash-completion's own
# prefix, else to share/bash-completion/completions. VELKOR_BASH_COMPLETION_DIR overrides both.
include(GNUInstallDirs)

# `make install` and cpack install what the last build made, without building the whole tree first
# (cpack runs from the package test while other tests use the binaries). Build first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# ---- programs ----
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(program velkor murelpage-sim)
            execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                                    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/\${program}\"
                            RESULT_VARIABLE result)
            if(NOT result EQUAL 0)
                message(FATAL_ERROR \"objcopy --remove-section=.comment \${program}: \${result}\")
            endif()
        endforeach()
    endif()")

# ---- man pages ----
# The pages carry the release date and version in their .TH lines (@VELKOR_RELEASE_DATE@ and
# @PROJECT_VERSION@ in the sources); build/<preset>/man/ holds them filled in.
find_program(VELKOR_GZIP gzip)
mark_as_advanced(VELKOR_GZIP)
set(VELKOR_MAN_PAGES
    ${PROJECT_SOURCE_DIR}/app/velkor.1
    ${PROJECT_SOURCE_DIR}/tools/murelpage-sim/murelpage-sim.1)
set(VELKOR_MAN_OUTPUTS "")
foreach(page IN LISTS VELKOR_MAN_PAGES)
    get_filename_component(pageName ${page} NAME)
    set(copy ${PROJECT_BINARY_DIR}/man/${pageName})
    configure_file(${page} ${copy} @ONLY)
    if(VELKOR_GZIP)
        # gzip -n: no name or time stamp inside, so that equal pages give equal packages.
        add_custom_command(OUTPUT ${copy}.gz
            COMMAND ${VELKOR_GZIP} -9 -n -f -k ${copy}
            DEPENDS ${copy}
            COMMENT "Compressing man page ${pageName}"
            VERBATIM)
        list(APPEND VELKOR_MAN_OUTPUTS ${copy}.gz)
    else()
        list(APPEND VELKOR_MAN_OUTPUTS ${copy})
    endif()
endforeach()
install(FILES ${VELKOR_MAN_OUTPUTS} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# ---- bash completion ----
# The entry names for --get come from the description file that tools/examplegen writes from the
# compiled-in layout.
set(VELKOR_BASH_COMPLETION_FILE ${PROJECT_BINARY_DIR}/completion/velkor)
add_custom_command(OUTPUT ${VELKOR_BASH_COMPLETION_FILE}
    COMMAND ${CMAKE_COMMAND}
            -DTEMPLATE=${PROJECT_SOURCE_DIR}/app/velkor.bash-completion.in
            -DDESCRIPTION=${PROJECT_SOURCE_DIR}/examples/adjust-block.txt
            -DOUTPUT=${VELKOR_BASH_COMPLETION_FILE}
            -P ${PROJECT_SOURCE_DIR}/cmake/VelkorBashCompletion.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/app/velkor.bash-completion.in
            ${PROJECT_SOURCE_DIR}/examples/adjust-block.txt
            ${PROJECT_SOURCE_DIR}/cmake/VelkorBashCompletion.cmake
    COMMENT "Writing the bash completion of velkor"
    VERBATIM)

add_custom_target(velkor_user_files ALL
                  DEPENDS ${VELKOR_MAN_OUTPUTS} ${VELKOR_BASH_COMPLETION_FILE})

set(VELKOR_BASH_COMPLETION_DIR "" CACHE STRING
    "Install directory of the bash completion (empty: from bash-completion's pkg-config file)")
set(VELKOR_BASH_COMPLETION_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
if(VELKOR_BASH_COMPLETION_DIR)
    set(VELKOR_BASH_COMPLETION_INSTALL_DIR ${VELKOR_BASH_COMPLETION_DIR})
else()
    find_program(VELKOR_PKG_CONFIG pkg-config)
    mark_as_advanced(VELKOR_PKG_CONFIG)
    if(VELKOR_PKG_CONFIG)
        execute_process(COMMAND ${VELKOR_PKG_CONFIG} --variable=completionsdir bash-completion
                        OUTPUT_VARIABLE pkgCompletionsDir OUTPUT_STRIP_TRAILING_WHITESPACE
                        RESULT_VARIABLE pkgResult ERROR_QUIET)
        execute_process(COMMAND ${VELKOR_PKG_CONFIG} --variable=prefix bash-completion
                        OUTPUT_VARIABLE pkgPrefix OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(pkgResult EQUAL 0 AND pkgCompletionsDir AND pkgPrefix)
            string(LENGTH "${pkgPrefix}/" prefixLength)
            string(SUBSTRING "${pkgCompletionsDir}" 0 ${prefixLength} head)
            if(head STREQUAL "${pkgPrefix}/")
                string(SUBSTRING "${pkgCompletionsDir}" ${prefixLength} -1
                       VELKOR_BASH_COMPLETION_INSTALL_DIR)
            else()
                message(STATUS "bash-completion's completionsdir ${pkgCompletionsDir} lies "
                               "outside its prefix ${pkgPrefix}; using "
                               "${VELKOR_BASH_COMPLETION_INSTALL_DIR}")
            endif()
        endif()
    endif()
endif()
message(STATUS "Bash completion install directory: ${VELKOR_BASH_COMPLETION_INSTALL_DIR}")
install(FILES ${VELKOR_BASH_COMPLETION_FILE} DESTINATION ${VELKOR_BASH_COMPLETION_INSTALL_DIR})

# ---- documentation and examples ----
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs
        FILES_MATCHING PATTERN "*.md")
# examples/README.md tells how the samples are made and tried in the sources; the installed
# examples get the README for someone who has the programs only.
install(FILES ${PROJECT_SOURCE_DIR}/examples/adjust-block.bin
              ${PROJECT_SOURCE_DIR}/examples/adjust-block.txt
              ${PROJECT_SOURCE_DIR}/examples/adjust-block-field.bin
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/examples/README.installed.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples RENAME README.md)
