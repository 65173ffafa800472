# Writes velkor's bash completion from its template, with the entry names of the adjust block.
#
#   cmake -DTEMPLATE=app/velkor.bash-completion.in -DDESCRIPTION=examples/adjust-block.txt \
#         -DOUTPUT=<file> -P cmake/VelkorBashCompletion.cmake
#
# The names come from examples/adjust-block.txt, the description file that tools/examplegen writes
# from the layout compiled into velkor (the test examples_up_to_date keeps the two equal): the
# full name of a data line is its second column, a dot and its third column.

foreach(variable TEMPLATE DESCRIPTION OUTPUT)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "VelkorBashCompletion: ${variable} is not set")
    endif()
endforeach()

file(STRINGS "${DESCRIPTION}" lines)
set(names "")
set(count 0)
foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#" OR line MATCHES "^Address")
        continue()
    endif()
    string(REGEX MATCHALL "[^ \t]+" columns "${line}")
    list(LENGTH columns columnCount)
    if(columnCount LESS 3)
        message(FATAL_ERROR "VelkorBashCompletion: ${DESCRIPTION}: too few columns: ${line}")
    endif()
    list(GET columns 1 group)
    list(GET columns 2 entry)
    set(name "${group}.${entry}")
    # The completion keeps the names unquoted in a bash array.
    if(NOT name MATCHES "^E2P(\\.[A-Za-z0-9_]+)+$")
        message(FATAL_ERROR "VelkorBashCompletion: ${DESCRIPTION}: unexpected entry name '${name}'")
    endif()
    string(APPEND names "    ${name}\n")
    math(EXPR count "${count} + 1")
endforeach()
if(count EQUAL 0)
    message(FATAL_ERROR "VelkorBashCompletion: no entry names in ${DESCRIPTION}")
endif()

string(REGEX REPLACE "\n$" "" VELKOR_ENTRY_NAMES "${names}")
configure_file("${TEMPLATE}" "${OUTPUT}" @ONLY)
