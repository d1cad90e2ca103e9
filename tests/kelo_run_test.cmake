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

# Runs kelo run with `input` as its standard input; sets RC, OUT and ERR.
function(kelo_run input)
    file(WRITE "${WORK_DIR}/input.txt" "${input}")
    execute_process(COMMAND ${EMULATOR} "${KELO}" run ${ARGN} WORKING_DIRECTORY "${WORK_DIR}"
        INPUT_FILE "${WORK_DIR}/input.txt" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(RC "${rc}" PARENT_SCOPE)
    set(OUT "${out}" PARENT_SCOPE)
    set(ERR "${err}" PARENT_SCOPE)
endfunction()

# Passes `argument` (";" and an empty text included, which ARGN would lose)
# through kelo run to `kelo str arg %1 ARGUMENT`, which prints it.
function(pass_argument argument)
    file(WRITE "${WORK_DIR}/input.txt" "")
    execute_process(COMMAND ${EMULATOR} "${KELO}" run -- "${child}" str arg %1 "${argument}"
        WORKING_DIRECTORY "${WORK_DIR}" INPUT_FILE "${WORK_DIR}/input.txt"
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    set(RC "${rc}" PARENT_SCOPE)
    set(OUT "${out}" PARENT_SCOPE)
    set(ERR "${err}" PARENT_SCOPE)
endfunction()

# Standard input reaches the child and all of it comes back, with the child
# still writing while kelo still feeds it (far more than a pipe holds).
string(REPEAT "a line of input\n" 20000 input)
kelo_run("${input}" -- "${child}" str unescape -)
if(NOT RC EQUAL 0 OR NOT OUT STREQUAL input OR NOT ERR STREQUAL "")
    string(LENGTH "${OUT}" length)
    message(FATAL_ERROR "input through the child: exit status ${RC}, ${length} bytes back, stderr '${ERR}'")
endif()

# The child's error output comes back on kelo's standard output.
kelo_run("" "${child}" str frobnicate)
if(NOT OUT MATCHES "^kelo str: " OR NOT ERR STREQUAL "")
    message(FATAL_ERROR "error output of the child: printed '${OUT}', stderr '${ERR}'")
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

# A program that cannot be found or started: exit status 127 and a message.
foreach(missing "kelo-no-such-program" "./no-such-program")
    kelo_run("" -- "${missing}")
    if(NOT RC EQUAL 127 OR NOT ERR MATCHES "^kelo run: cannot start '[^\n]*${missing}'")
        message(FATAL_ERROR "missing program '${missing}': exit status ${RC}, stderr '${ERR}'")
    endif()
endforeach()

if(LINUX_KELO)
    # The exit status is the child's; a child ended by a signal gives 1. sh is
    # found on the PATH.
    foreach(row "exit 3|3" "exit 0|0" "kill -9 $$|1")
        string(REPLACE "|" ";" fields "${row}")
        list(GET fields 0 script)
        list(GET fields 1 status)
        kelo_run("" -- sh -c "${script}")
        if(NOT RC EQUAL status)
            message(FATAL_ERROR "sh -c '${script}': exit status ${RC}, expected ${status}")
        endif()
    endforeach()
    # Arguments the splitter of the child's arguments cannot give back.
    foreach(refused "" "both ' and \"" "carriage\rreturn")
        pass_argument("${refused}")
        expect_refusal("refused argument '${refused}'" none)
    endforeach()
else()
    # A bare name is found beside kelo; no exit status comes back.
    kelo_run("" kelo split-args "a b")
    expect_output("kelo found beside kelo" "a\nb")
endif()
