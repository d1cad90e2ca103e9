# SPDX-License-Identifier: MIT
# kelo str, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_str_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

kelo(str arg "<%2|%1>" X Y)
expect_output("arg fills the lowest placeholder first" "<Y|X>")
kelo(str arg "%%1 %1-%1" "é")
expect_output("arg fills every occurrence and leaves %%1 alone" "%%1 é-é")
kelo(str escape --chars " " "a b{c")
expect_output("escape" "a!{20}b!{7b}c")
kelo(str unescape "x!{41}y!{e9}")
expect_output("unescape" "xAyé")

# split-list prints the items that shifting them off the front one by one
# gives. Rows: SEP|LIST|ITEMS, the items joined by "/". The list comes from
# standard input, whose final line break is not part of it.
set(KELO_INPUT "${WORK_DIR}/list.txt")
foreach(row ",||" ",|a|a" ",|,,|//" ",|a,,b|a//b" "::|a:::b|a/:b" "::|:|:" "aa|aaa|/a" "ab|abab|//")
    split_row("${row}" separator list items)
    string(REPLACE "/" "\n" items "${items}")
    file(WRITE "${KELO_INPUT}" "${list}\n")
    kelo(str split-list --sep "${separator}" -)
    expect_output("split-list of '${list}' by '${separator}'" "${items}")
endforeach()
unset(KELO_INPUT)

# Refused, with nothing printed: results that would not be valid UTF-8 too.
# "=2" ends the rows of a command line that kelo cannot take.
foreach(refused "arg;100%;X" "escape;a b;=2" "frobnicate;=2" "unescape;a;b;=2"
        "unescape;x!{d800}y" "unescape;!{DFFF}" "unescape;!{110000}" "escape;--chars;è;aéb")
    set(status 1)
    if(refused MATCHES "(.*);=2$")
        set(refused "${CMAKE_MATCH_1}")
        set(status 2)
    endif()
    kelo(str ${refused})
    expect_refusal("str ${refused}" none ${status})
    if(NOT OUT STREQUAL "")
        message(FATAL_ERROR "str ${refused}: printed '${OUT}'")
    endif()
endforeach()
