# SPDX-License-Identifier: MIT
# keloutil on a machine without the packages of its tests and benchmarks:
# configuring says, one line each, what it leaves out, and the library and
# kelo build. The packages are hidden from CMake's searches: GoogleTest (and
# its sources), Google Benchmark; then, with Google Benchmark there, the
# benchmarks' peers Qt 5, ICU and GLib (no .pc files in pkg-config's sight).
# Run with cmake -P and:
#   SOURCE_DIR (keloutil's sources), WORK_DIR (scratch), GENERATOR, C_COMPILER, CXX_COMPILER
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

# Configures keloutil in WORK_DIR/<name> with the arguments after "EXPECT
# <lines>", and checks that its output has each of the lines.
function(configure name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "EXPECT")
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/${name} -G ${GENERATOR}
        -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
        -DCMAKE_BUILD_TYPE=Release -DKELOUTIL_WERROR=ON ${arg_UNPARSED_ARGUMENTS})
    foreach(line IN LISTS arg_EXPECT)
        string(FIND "${output}" "-- keloutil: ${line}\n" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "configuring ${name} did not say \"${line}\":\n${output}")
        endif()
        message(STATUS "${name}: ${line}")
    endforeach()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})

configure(without-test-packages
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DKELOUTIL_GTEST_SOURCE_DIR=${WORK_DIR}/no-googletest
    -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
    EXPECT "tests skipped (GoogleTest not found)" "benchmarks skipped (Google Benchmark not found)")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/without-test-packages --target keloutil kelo)
run(${WORK_DIR}/without-test-packages/bin/kelo version)

file(MAKE_DIRECTORY ${WORK_DIR}/no-pc-files)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_LIBDIR} ${WORK_DIR}/no-pc-files)
configure(without-benchmark-peers
    -DKELOUTIL_BUILD_TESTS=OFF -DCMAKE_DISABLE_FIND_PACKAGE_Qt5=ON -DCMAKE_DISABLE_FIND_PACKAGE_ICU=ON
    EXPECT "benchmark comparisons with Qt 5 skipped (Qt5 not found)"
        "conversion benchmark skipped (ICU not found)"
        "benchmark comparison with GLib skipped (GLib not found)")
