# SPDX-License-Identifier: MIT
# kelo's manual page renders, and its bash completion completes. Run by ctest as:
#   cmake -DMAN_PAGE=<kelo.1> -DCOMPLETION=<completion file> -P kelo_manual_test.cmake
cmake_minimum_required(VERSION 3.25)

find_program(MAN man)
if(MAN)
    set(ENV{MANWIDTH} 100)
    execute_process(COMMAND ${MAN} -l "${MAN_PAGE}" OUTPUT_VARIABLE page RESULT_VARIABLE status ERROR_VARIABLE err)
    if(NOT status EQUAL 0 OR NOT page MATCHES "SYNOPSIS" OR NOT page MATCHES "kelo settings get FILE SECTION KEY")
        message(FATAL_ERROR "man -l kelo.1: status ${status}, ${err}")
    endif()
else()
    message(STATUS "man is not installed: the page is only checked for its header")
    file(STRINGS "${MAN_PAGE}" header LIMIT_COUNT 1)
    if(NOT header MATCHES "^\\.TH KELO 1")
        message(FATAL_ERROR "kelo.1 starts with '${header}'")
    endif()
endif()

# Rows: the words typed, "|", the completions expected.
foreach(row "kelo s|str settings split-args" "kelo settings re|remove remove-section" "kelo path m|mkpath"
        "kelo convert --from utf-16|utf-16 utf-16be utf-16le" "kelo convert --l|--lossy"
        "kelo location COMMON_L|COMMON_LIB COMMON_LOCALIZED_DATA")
    string(REGEX REPLACE "[|].*" "" typed "${row}")
    string(REGEX REPLACE ".*[|]" "" expected "${row}")
    separate_arguments(words UNIX_COMMAND "${typed}")
    list(LENGTH words count)
    math(EXPR current "${count} - 1")
    list(JOIN words " " joined)
    execute_process(COMMAND bash -c
        "source '${COMPLETION}'; COMP_WORDS=(${joined}); COMP_CWORD=${current}; _kelo; echo \"\${COMPREPLY[*]}\""
        OUTPUT_VARIABLE got OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT got STREQUAL expected)
        message(FATAL_ERROR "completing '${typed}' gave '${got}', expected '${expected}'")
    endif()
endforeach()
