# SPDX-License-Identifier: MIT
# Builds and runs the consumer in tests/packaging/consumer against keloutil
# taken one way (MODE), as a project of its own would:
#   package       find_package(keloutil 5) from `cmake --install` into a scratch
#                 prefix, whose kelo must run there as it is
#   subdirectory  add_subdirectory of the source tree
#   pkg-config    keloutil.pc of that installation, with no other .pc file in sight
# Run with cmake -P and:
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

# Configures, builds and runs the consumer taking keloutil by VIA, with the
# further configure arguments given.
function(consumer via)
    set(dir ${WORK_DIR}/consumer-${via})
    run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/packaging/consumer -B ${dir} -G ${GENERATOR}
        -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DKELOUTIL_VIA=${via} ${ARGN})
    run(${CMAKE_COMMAND} --build ${dir})
    foreach(program consumer_c consumer_cpp)
        run(${dir}/${program})
        string(STRIP "${output}" output)
        message(STATUS "${program} (${via}): ${output}")
    endforeach()
endfunction()

# Sets LIBRARY to the libkeloutil.so.5 that PROGRAM loads with no LD_LIBRARY_PATH.
function(loaded_library program)
    run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ldd ${program})
    if(NOT output MATCHES "libkeloutil\\.so\\.5 => (/[^ ]+)")
        message(FATAL_ERROR "${program} finds no libkeloutil.so.5:\n${output}")
    endif()
    cmake_path(NORMAL_PATH CMAKE_MATCH_1 OUTPUT_VARIABLE library)
    set(library ${library} PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/keloutil-prefix)

if(MODE STREQUAL "subdirectory")
    consumer(subdirectory -DKELOUTIL_SOURCE_DIR=${SOURCE_DIR})
    # A parent project's installation holds its own files, none of keloutil's.
    run(${CMAKE_COMMAND} --install ${WORK_DIR}/consumer-subdirectory --prefix ${WORK_DIR}/consumer-prefix)
    file(GLOB_RECURSE installed RELATIVE ${WORK_DIR}/consumer-prefix ${WORK_DIR}/consumer-prefix/*)
    list(FILTER installed INCLUDE REGEX "keloutil|kelo$")
    if(installed)
        message(FATAL_ERROR "the parent project installed keloutil's files: ${installed}")
    endif()

elseif(MODE STREQUAL "package")
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
    consumer(package -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
    # The installed kelo finds the installed library by itself.
    loaded_library(${prefix}/bin/kelo)
    cmake_path(IS_PREFIX prefix "${library}" NORMALIZE inside)
    if(NOT inside)
        message(FATAL_ERROR "the installed kelo loads ${library}")
    endif()
    run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin/kelo version)
    message(STATUS "installed kelo: ${output}")

elseif(MODE STREQUAL "pkg-config")
    run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
    # Only this installation's keloutil.pc is seen: no system copy, and no
    # tinyxml.pc, which it must not need.
    file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
    string(JOIN ":" pc_path ${pc_dirs})
    set(ENV{PKG_CONFIG_PATH} "${pc_path}")
    set(ENV{PKG_CONFIG_LIBDIR} "${pc_path}")
    run(pkg-config --cflags --libs keloutil)
    message(STATUS "pkg-config --cflags --libs keloutil: ${output}")
    consumer(pkg-config)

else()
    message(FATAL_ERROR "MODE must be package, subdirectory or pkg-config")
endif()
