# Regenerates the examples into the build tree and compares them with the committed files.
#     cmake -DEXAMPLEGEN=<examplegen> -DSOURCE_DIR=<repository> -DBINARY_DIR=<dir> -P CheckExamples.cmake
set(block ${BINARY_DIR}/examples/adjust-block.bin)
set(description ${BINARY_DIR}/examples/adjust-block.txt)
set(field ${BINARY_DIR}/examples/adjust-block-field.bin)
file(MAKE_DIRECTORY ${BINARY_DIR}/examples)
execute_process(COMMAND ${EXAMPLEGEN} ${block} ${description} ${field} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "examplegen failed: ${result}")
endif()
foreach(name adjust-block.bin adjust-block.txt adjust-block-field.bin)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${BINARY_DIR}/examples/${name}
                            ${SOURCE_DIR}/examples/${name}
                    RESULT_VARIABLE different)
    if(NOT different EQUAL 0)
        message(FATAL_ERROR "examples/${name} differs from what examplegen writes now; "
                            "regenerate it (see tools/examplegen/CMakeLists.txt)")
    endif()
endforeach()
