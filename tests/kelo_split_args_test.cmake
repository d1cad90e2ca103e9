# SPDX-License-Identifier: MIT
# kelo split-args, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_split_args_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# The arguments that the library's splitter gives (its rules are tested with
# the library), one per line; nothing for none. Rows: TEXT|ARGUMENTS, the
# arguments joined by "/".
foreach(row "a \"b c\" d|a/b c/d" "é \"€ 5\"x|é/€ 5/x" "   \t |")
    split_row("${row}" text arguments)
    kelo(split-args "${text}")
    string(REPLACE "/" "\n" arguments "${arguments}")
    if(NOT arguments STREQUAL "")
        string(APPEND arguments "\n")
    endif()
    if(NOT RC EQUAL 0 OR NOT OUT STREQUAL arguments)
        message(FATAL_ERROR "split-args '${text}': exit status ${RC}, printed '${OUT}'")
    endif()
endforeach()

# Without TEXT, or with two.
expect_refusals(split-args "2" "2 a b")
