# SPDX-License-Identifier: MIT
# Builds and runs the consumer in tests/packaging/consumer against keloutil
# taken one way (MODE), as a project of its own would:
#   package       find_package(keloutil 5) from `cmake --install` into a scratch
#                 prefix, whose kelo must run there as it is
#   subdirectory  add_subdirectory of the source tree
#   pkg-config    keloutil.pc of that installation, with no other .pc file in sight
#   deb           the Debian packages that cpack makes of the build: lintian
#                 (no errors), dpkg -i, MODE=system, and dpkg --purge however
#                 that went; skipped unless run as root where dpkg is, on a
#                 build for the prefix /usr
#   system        find_package and pkg-config of keloutil installed in /usr,
#                 and /usr/bin/kelo (run by MODE=deb)
# Run with cmake -P and:
#   MODE, SOURCE_DIR (keloutil's sources), BUILD_DIR (its built tree),
#   WORK_DIR (scratch), GENERATOR, C_COMPILER, CXX_COMPILER, INSTALL_PREFIX
#   (the build's CMAKE_INSTALL_PREFIX)
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/run_checked.cmake)

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

elseif(MODE STREQUAL "system")
    # Nothing but the system's own search paths.
    foreach(variable CMAKE_PREFIX_PATH PKG_CONFIG_PATH PKG_CONFIG_LIBDIR LD_LIBRARY_PATH)
        unset(ENV{${variable}})
    endforeach()
    consumer(package -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
    consumer(pkg-config)
    # The library is found through the loader's cache, which the package's
    # ldconfig trigger brought up to date.
    foreach(program ${WORK_DIR}/consumer-package/consumer_cpp ${WORK_DIR}/consumer-pkg-config/consumer_c /usr/bin/kelo)
        loaded_library(${program})
        if(NOT library MATCHES "^(/usr)?/lib/[^/]+/libkeloutil\\.so\\.5$")
            message(FATAL_ERROR "${program} loads ${library}")
        endif()
    endforeach()
    run(/usr/bin/kelo version)
    message(STATUS "/usr/bin/kelo version: ${output}")
    foreach(file /usr/share/man/man1/kelo.1.gz /usr/share/bash-completion/completions/kelo)
        if(NOT EXISTS ${file})
            message(FATAL_ERROR "the kelo package did not install ${file}")
        endif()
    endforeach()

elseif(MODE STREQUAL "deb")
    set(packages kelo libkeloutil-dev libkeloutil5)
    find_program(DPKG dpkg)
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT DPKG)
        message(STATUS "skipped: this system has no dpkg")
        return()
    elseif(NOT uid STREQUAL "0")
        message(STATUS "skipped: installing the Debian packages needs root")
        return()
    elseif(NOT INSTALL_PREFIX STREQUAL "/usr")
        # The library's folder (multiarch or not) follows the prefix.
        message(STATUS "skipped: the Debian packages are made from a build for /usr "
            "(the release preset); this one is for ${INSTALL_PREFIX}")
        return()
    endif()
    # Sets PRESENT to dpkg's status lines of those of the packages that are
    # there in any way (installed, unpacked, configuration files left).
    function(present_packages)
        execute_process(COMMAND dpkg-query -W -f=\${db:Status-Abbrev}\${Package}\\n ${packages}
            OUTPUT_VARIABLE status ERROR_QUIET)
        string(REGEX MATCHALL "[^\n]+" lines "${status}")
        list(FILTER lines EXCLUDE REGEX "^.n")
        list(JOIN lines ", " lines)
        set(present "${lines}" PARENT_SCOPE)
    endfunction()
    present_packages()
    if(present)
        message(STATUS "skipped: keloutil's packages are here already, and the test would remove them "
            "(dpkg --purge kelo libkeloutil-dev libkeloutil5): ${present}")
        return()
    endif()
    find_program(LINTIAN lintian)
    if(NOT LINTIAN)
        message(FATAL_ERROR "lintian is not installed (scripts/install-deps.sh installs it)")
    endif()

    run(${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/debs)
    file(GLOB debs ${WORK_DIR}/debs/*.deb)
    list(LENGTH debs count)
    if(NOT count EQUAL 3)
        message(FATAL_ERROR "cpack made ${count} packages, not 3: ${debs}")
    endif()
    # Errors fail the test; warnings are shown.
    run(${LINTIAN} --fail-on error ${debs})
    message(STATUS "lintian:\n${output}")

    # From here on the packages are removed whatever fails.
    execute_process(COMMAND dpkg -i ${debs} RESULT_VARIABLE result OUTPUT_VARIABLE installed ERROR_VARIABLE installed)
    if(result EQUAL 0)
        execute_process(COMMAND ${CMAKE_COMMAND} -DMODE=system -DSOURCE_DIR=${SOURCE_DIR} -DWORK_DIR=${WORK_DIR}/system
                -DGENERATOR=${GENERATOR} -DC_COMPILER=${C_COMPILER} -DCXX_COMPILER=${CXX_COMPILER}
                -P ${CMAKE_CURRENT_LIST_FILE}
            RESULT_VARIABLE result OUTPUT_VARIABLE installed ERROR_VARIABLE installed)
    else()
        string(PREPEND installed "dpkg -i failed:\n")
    endif()
    run(dpkg --purge ${packages})
    present_packages()
    if(present)
        message(FATAL_ERROR "packages left after dpkg --purge: ${present}")
    endif()
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${installed}")
    endif()
    message("${installed}")

else()
    message(FATAL_ERROR "MODE must be package, subdirectory, pkg-config, deb or system")
endif()
