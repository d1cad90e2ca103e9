# SPDX-License-Identifier: MIT
# kelo run, end to end. The started program is mostly kelo itself, which
# exists on both platforms. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_run_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# kelo as the child sees it: under Wine, the Unix root is drive Z:.
if(LINUX_KELO)
    set(child "${KELO}")
else()
    string(REPLACE "/" "\\" child "Z:${KELO}")
endif()
# The test child program, beside kelo.
string(REGEX REPLACE "kelo((\\.exe)?)$" "keloutil_process_child\\1" process_child "${child}")

# kelo reads its standard input from this file.
set(KELO_INPUT "${WORK_DIR}/input.txt")
file(WRITE "${KELO_INPUT}" "")

# Passes `argument` (";" and an empty text included, which ARGN would lose)
# through kelo run to `kelo str arg %1 ARGUMENT`, which prints it.
function(pass_argument argument)
    execute_process(COMMAND ${EMULATOR} "${KELO}" run -- "${child}" str arg -- %1 "${argument}"
        WORKING_DIRECTORY "${WORK_DIR}" INPUT_FILE "${KELO_INPUT}"
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(RC "${rc}" PARENT_SCOPE)
    set(OUT "${out}" PARENT_SCOPE)
    set(ERR "${err}" PARENT_SCOPE)
endfunction()

# The child's error output comes back on kelo's standard output.
kelo(run "${child}" str frobnicate)
if(NOT OUT MATCHES "^kelo str: " OR NOT ERR STREQUAL "")
    message(FATAL_ERROR "error output of the child: printed '${OUT}', stderr '${ERR}'")
endif()

# Standard input reaches the child and all of it comes back, with the child
# still writing while kelo still feeds it (far more than a pipe holds).
string(REPEAT "a line of input\n" 20000 input)
file(WRITE "${KELO_INPUT}" "${input}")
kelo(run -- "${child}" str unescape -)
file(WRITE "${KELO_INPUT}" "")
if(NOT RC EQUAL 0 OR NOT OUT STREQUAL input OR NOT ERR STREQUAL "")
    string(LENGTH "${OUT}" length)
    message(FATAL_ERROR "input through the child: exit status ${RC}, ${length} bytes back, stderr '${ERR}'")
endif()

# Arguments arrive as they were given. "SEMICOLON" stands for ";", which a CMake list cannot hold.
set(arguments "xSEMICOLONy $(z) | *" "a \"b\" c" "it's here" "tab\there" "\\" "a b\\" "\\\"" "é €" "--")
if(NOT LINUX_KELO)
    list(APPEND arguments "both ' and \"")
endif()
foreach(argument IN LISTS arguments)
    string(REPLACE "SEMICOLON" ";" argument "${argument}")
    pass_argument("${argument}")
    if(NOT RC EQUAL 0 OR NOT OUT STREQUAL "${argument}\n")
        message(FATAL_ERROR "argument '${argument}': exit status ${RC}, printed '${OUT}', stderr '${ERR}'")
    endif()
endforeach()

# How kelo run ends: the child's own exit status, saying nothing, or a
# status that says why on standard error. Rows: COMMAND,ARGS|STATUS|STDERR.
file(MAKE_DIRECTORY "${WORK_DIR}/folder")
file(WRITE "${WORK_DIR}/plain.txt" "not a program\n")
set(cannot "^kelo run: cannot start '[^\n]*")
set(rows
    "${process_child},exit,3|3|^$"
    "kelo-no-such-program|127|${cannot}': not found on the PATH\n$"
    "./no-such-program|127|${cannot}': not found\n$"
    "./folder|126|${cannot}': is a directory\n$"
    "./plain.txt|126|${cannot}': [^\n]+\n$")
if(LINUX_KELO)
    list(APPEND rows "sh,-c,kill -TERM $$|143|^kelo run: '/[^\n]*/sh' was ended by signal 15 [^\n]+\n$")
endif()
foreach(row IN LISTS rows)
    split_row("${row}" command status reason)
    string(REPLACE "," ";" command "${command}")
    kelo(run -- ${command})
    expect_error("kelo run row '${row}'" ${status} "${reason}")
endforeach()

if(LINUX_KELO)
    # Arguments the splitter of the child's arguments cannot give back.
    foreach(refused "" "both ' and \"" "carriage\rreturn")
        pass_argument("${refused}")
        expect_refusal("refused argument '${refused}'" none)
    endforeach()
else()
    # A bare name is found beside kelo.
    kelo(run kelo split-args "a b")
    expect_output("kelo found beside kelo" "a\nb")
endif()
