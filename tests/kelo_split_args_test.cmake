# SPDX-License-Identifier: MIT
# kelo split-args, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_split_args_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# Rows: TEXT|ARGUMENTS, the arguments joined by "/".
foreach(row "a \"b c\" d|a/b c/d" "'x y' z|x y/z" "a\"b c|a\"b/c" "\"\" x|x" "   \t |" "a\t\"b\tc\"|a/b\tc"
        "\"a b|a b" "'it\"s' \"it's\"|it\"s/it's" "\"a\"b|a/b" "é \"€ 5\"x|é/€ 5/x")
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 text)
    list(GET fields 1 arguments)
    kelo(split-args "${text}")
    if(arguments STREQUAL "")
        expect_success("split-args '${text}'")
        if(NOT OUT STREQUAL "")
            message(FATAL_ERROR "split-args '${text}': printed '${OUT}'")
        endif()
    else()
        string(REPLACE "/" "\n" arguments "${arguments}")
        expect_output("split-args '${text}'" "${arguments}")
    endif()
endforeach()

kelo(split-args)
expect_refusal("split-args without TEXT" none 2)
kelo(split-args a b)
expect_refusal("split-args with two TEXTs" none 2)
