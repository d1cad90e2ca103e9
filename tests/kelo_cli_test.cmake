# SPDX-License-Identifier: MIT
# kelo's command line, the same for every command and operation. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_cli_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# Every command and operation: -h and --help print its usage (exit 0), an
# unknown option is a one-line usage error naming the command (exit 2).
foreach(command version info locale location convert split-args run "str arg" "str escape" "str unescape"
        "str split-list" "path join" "path split" "path info" "path mkpath" "path app" "settings get"
        "settings set" "settings remove" "settings remove-section" "settings list" "settings sections")
    separate_arguments(words UNIX_COMMAND "${command}")
    list(GET words 0 first)
    foreach(help -h --help)
        kelo(${words} ${help})
        expect_match("${command} ${help}" "^Usage:\nkelo ${command}[ \n]")
    endforeach()
    kelo(${words} --no-such-option)
    expect_refusal("${command} --no-such-option" none 2)
    if(NOT ERR MATCHES "^kelo ${first}: ")
        message(FATAL_ERROR "${command} --no-such-option said '${ERR}'")
    endif()
endforeach()

# "--" ends the options: a file named -x is a file.
file(WRITE "${WORK_DIR}/-x" "text\n")
kelo(convert -f utf-8 -t utf-16le -- -x out.txt)
expect_success("convert -- -x")
kelo(path info -- -x)
expect_match("path info -- -x" "exists: yes")

kelo()
expect_match("kelo without arguments" "convert")
kelo(version)
expect_match("kelo version" "5\\.0\\.31\\.0")
string(STRIP "${OUT}" version)
foreach(flag --version -V)
    kelo(${flag})
    expect_output("kelo ${flag}" "${version}")
endforeach()
