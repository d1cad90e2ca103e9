# SPDX-License-Identifier: MIT
# Shared by the kelo tests: run kelo (through an emulator when given) in
# WORK_DIR and check its outcome. The including script sets KELO, EMULATOR
# and WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# kelo.exe runs under Wine, which has no Linux links, FIFOs, devices or
# permission bits: the cases that need them check LINUX_KELO.
if(KELO MATCHES "[.]exe$")
    set(LINUX_KELO FALSE)
else()
    set(LINUX_KELO TRUE)
endif()

# Runs kelo with the given arguments; sets RC, OUT and ERR in the caller.
# Its standard input is the file KELO_INPUT names, if the caller sets it;
# KELO_ENV lists changes to its environment as `cmake -E env` takes them.
# A kelo that waits for a minute has hung: RC then holds CMake's message.
function(kelo)
    set(input)
    if(DEFINED KELO_INPUT)
        set(input INPUT_FILE "${KELO_INPUT}")
    endif()
    set(env)
    if(KELO_ENV)
        set(env ${CMAKE_COMMAND} -E env ${KELO_ENV})
    endif()
    execute_process(COMMAND ${env} ${EMULATOR} "${KELO}" ${ARGN} WORKING_DIRECTORY "${WORK_DIR}" TIMEOUT 60
        ${input} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(RC "${rc}" PARENT_SCOPE)
    set(OUT "${out}" PARENT_SCOPE)
    set(ERR "${err}" PARENT_SCOPE)
endfunction()

# Sets the variables named after `row` to its fields, "|" between them.
function(split_row row)
    string(REPLACE "|" ";" fields "${row}")
    set(index 0)
    foreach(name IN LISTS ARGN)
        list(GET fields ${index} field)
        set(${name} "${field}" PARENT_SCOPE)
        math(EXPR index "${index} + 1")
    endforeach()
endfunction()

function(expect_success what)
    if(NOT RC EQUAL 0)
        message(FATAL_ERROR "${what}: exit status ${RC}, stderr: ${ERR}")
    endif()
endfunction()

# Expects exit status `status` and standard error matching `pattern`.
function(expect_error what status pattern)
    if(NOT RC EQUAL status OR NOT ERR MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: exit status ${RC}, stderr '${ERR}'")
    endif()
endfunction()

# Expects exit status 0 and standard output matching `pattern`.
function(expect_match what pattern)
    expect_success("${what}")
    if(NOT OUT MATCHES "${pattern}")
        message(FATAL_ERROR "${what}: printed '${OUT}'")
    endif()
endfunction()

# Expects exit status 0 and standard output `expected` (one line).
function(expect_output what expected)
    expect_success("${what}")
    if(NOT OUT STREQUAL "${expected}\n")
        message(FATAL_ERROR "${what}: printed '${OUT}', expected '${expected}'")
    endif()
endfunction()

# Expects exit status 1 (refused input; or the status given third, 2 for a
# command line that kelo cannot take) with a one-line message, no output
# file and no temporary files.
function(expect_refusal what output)
    set(status 1)
    if(ARGC GREATER 2)
        set(status ${ARGV2})
    endif()
    string(STRIP "${ERR}" message)
    if(NOT RC EQUAL status OR message STREQUAL "" OR message MATCHES "\n")
        message(FATAL_ERROR "${what}: expected exit status ${status} and a one-line message, got ${RC}: '${ERR}'")
    endif()
    file(GLOB leftovers "${WORK_DIR}/*.tmp")
    if(EXISTS "${WORK_DIR}/${output}" OR leftovers)
        message(FATAL_ERROR "${what}: left files behind: ${output} ${leftovers}")
    endif()
endfunction()

# Runs each row "ARGUMENTS => OUTPUT" as `kelo PREFIX ARGUMENTS`, the words
# split as a shell would, and expects exit status 0 and exactly OUTPUT on
# standard output, a line break after each line (nothing for an empty OUTPUT).
function(expect_outputs prefix)
    separate_arguments(prefix UNIX_COMMAND "${prefix}")
    foreach(row IN LISTS ARGN)
        string(FIND "${row}" " =>" at REVERSE)
        string(SUBSTRING "${row}" 0 ${at} arguments)
        math(EXPR at "${at} + 3")
        string(SUBSTRING "${row}" ${at} -1 expected)
        string(REGEX REPLACE "^ (.+)$" "\\1\n" expected "${expected}")
        separate_arguments(arguments UNIX_COMMAND "${arguments}")
        kelo(${prefix} ${arguments})
        expect_success("kelo ${row}")
        if(NOT OUT STREQUAL expected)
            message(FATAL_ERROR "kelo ${row}: printed '${OUT}'")
        endif()
    endforeach()
endfunction()

# Runs each row "STATUS ARGUMENTS" as `kelo PREFIX ARGUMENTS` and expects
# expect_refusal's outcome with that status (no file refused.out either)
# and nothing on standard output. ERR keeps the last row's message.
function(expect_refusals prefix)
    separate_arguments(prefix UNIX_COMMAND "${prefix}")
    foreach(row IN LISTS ARGN)
        separate_arguments(arguments UNIX_COMMAND "${row}")
        list(POP_FRONT arguments status)
        kelo(${prefix} ${arguments})
        expect_refusal("kelo ${prefix} ${row}" refused.out ${status})
        if(NOT OUT STREQUAL "")
            message(FATAL_ERROR "kelo ${prefix} ${row}: printed '${OUT}'")
        endif()
    endforeach()
    set(ERR "${ERR}" PARENT_SCOPE)
endfunction()
