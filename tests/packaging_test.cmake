# SPDX-License-Identifier: MIT
# Builds and runs the consumer in tests/packaging/consumer against keloutil
# taken one way (MODE: package, subdirectory or pkg-config), as a project of
# its own would. Run with cmake -P and:
#   MODE, SOURCE_DIR (keloutil's sources), BUILD_DIR (its built tree),
#   WORK_DIR (scratch), GENERATOR, C_COMPILER, CXX_COMPILER
cmake_minimum_required(VERSION 3.25)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "failed (${result}): ${command}\n${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/keloutil-prefix)
set(consumer_args
    -S ${SOURCE_DIR}/tests/packaging/consumer -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DKELOUTIL_VIA=${MODE})

if(MODE STREQUAL "subdirectory")
    run(${CMAKE_COMMAND} ${consumer_args} -DKELOUTIL_SOURCE_DIR=${SOURCE_DIR})
else()
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
    if(MODE STREQUAL "pkg-config")
        # Only this installation's keloutil.pc is seen: no system copy, and no
        # tinyxml.pc, which it must not need.
        file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
        string(JOIN ":" pc_path ${pc_dirs})
        set(ENV{PKG_CONFIG_PATH} "${pc_path}")
        set(ENV{PKG_CONFIG_LIBDIR} "${pc_path}")
        run(pkg-config --cflags --libs keloutil)
        message(STATUS "pkg-config --cflags --libs keloutil: ${output}")
        run(${CMAKE_COMMAND} ${consumer_args})
    else()
        run(${CMAKE_COMMAND} ${consumer_args} -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
    endif()
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
foreach(program consumer_c consumer_cpp)
    run(${WORK_DIR}/consumer/${program})
    string(STRIP "${output}" output)
    message(STATUS "${program}: ${output}")
endforeach()

if(MODE STREQUAL "subdirectory")
    # A parent project's installation holds its own files, none of keloutil's.
    run(${CMAKE_COMMAND} --install ${WORK_DIR}/consumer --prefix ${WORK_DIR}/consumer-prefix)
    file(GLOB_RECURSE installed RELATIVE ${WORK_DIR}/consumer-prefix ${WORK_DIR}/consumer-prefix/*)
    list(FILTER installed INCLUDE REGEX "keloutil|kelo$")
    if(installed)
        message(FATAL_ERROR "the parent project installed keloutil's files: ${installed}")
    endif()
endif()
