# SPDX-License-Identifier: MIT
# kelo str, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_str_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# arg fills the lowest placeholder first, and every occurrence of it, and
# leaves %%1 alone.
expect_outputs(str "arg <%2|%1> X Y => <Y|X>" "arg \"%%1 %1-%1\" é => %%1 é-é"
    "escape --chars \" \" \"a b{c\" => a!{20}b!{7b}c" "unescape x!{41}y!{e9} => xAyé")

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
# Rows: STATUS ARGUMENTS (2: a command line that kelo cannot take).
expect_refusals(str "1 arg 100% X" "2 escape \"a b\"" "2 frobnicate" "2 unescape a b"
    "1 unescape x!{d800}y" "1 unescape !{DFFF}" "1 unescape !{110000}" "1 escape --chars è aéb")
