# SPDX-License-Identifier: MIT
# How kelo writes its output files. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_output_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

set(new_text "new text\n")
file(WRITE "${WORK_DIR}/in.txt" "${new_text}")

# Expects `path` (relative to WORK_DIR, or absolute) to hold the new text and
# no temporary file to be left beside it.
function(expect_new_text what path)
    get_filename_component(path "${path}" ABSOLUTE BASE_DIR "${WORK_DIR}")
    get_filename_component(folder "${path}" DIRECTORY)
    get_filename_component(name "${path}" NAME)
    file(READ "${path}" text)
    file(GLOB leftovers "${folder}/.${name}.*")
    if(NOT text STREQUAL new_text OR leftovers)
        message(FATAL_ERROR "${what}: '${path}' holds '${text}'; left behind: '${leftovers}'")
    endif()
endfunction()

# An existing file is replaced as a whole.
file(WRITE "${WORK_DIR}/plain.txt" "old text, longer than the new one\n")
kelo(convert --from utf-8 --to utf-8 in.txt plain.txt)
expect_success("convert over a file")
expect_new_text("convert over a file" plain.txt)

if(NOT LINUX_KELO)
    return()
endif()
# Linux only from here: links, FIFOs, devices, owners and folder permissions.

# Sets `var` to `stat --format` of `path`.
function(stat_of path format var)
    execute_process(COMMAND stat --format "${format}" "${path}" WORKING_DIRECTORY "${WORK_DIR}"
        OUTPUT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    set(${var} "${status}" PARENT_SCOPE)
endfunction()

execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)

# The shared safe replacement's own tests (the settings store's) hold links
# and permission bits; kelo's output keeps a symbolic link a link, and as
# root a replaced file keeps its owner and group, which no other test sees.
file(WRITE "${WORK_DIR}/target.txt" "old")
file(CREATE_LINK target.txt "${WORK_DIR}/symbolic.txt" SYMBOLIC)
kelo(convert --from utf-8 --to utf-8 in.txt symbolic.txt)
expect_success("convert into a symbolic link")
expect_new_text("convert into a symbolic link" target.txt)
if(NOT IS_SYMLINK "${WORK_DIR}/symbolic.txt")
    message(FATAL_ERROR "a symbolic link is no link any more")
endif()
if(uid EQUAL 0)
    file(WRITE "${WORK_DIR}/others.txt" "old")
    execute_process(COMMAND chown 65534:65534 others.txt WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
    kelo(convert --from utf-8 --to utf-8 in.txt others.txt)
    expect_success("convert into a file of another owner")
    expect_new_text("convert into a file of another owner" others.txt)
    stat_of(others.txt "%u:%g" owner)
    if(NOT owner STREQUAL "65534:65534")
        message(FATAL_ERROR "a file of 65534:65534 belongs to ${owner} now")
    endif()
endif()

# A FIFO is written, not replaced: a reader gets the text.
execute_process(COMMAND mkfifo fifo WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${EMULATOR} "${KELO}" convert --from utf-8 --to utf-8 in.txt fifo
    COMMAND cat fifo
    WORKING_DIRECTORY "${WORK_DIR}" TIMEOUT 30 RESULTS_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
stat_of(fifo "%F" type)
if(NOT RC STREQUAL "0;0" OR NOT OUT STREQUAL new_text OR NOT type STREQUAL "fifo")
    message(FATAL_ERROR "convert into a FIFO: exit statuses ${RC}, read '${OUT}', now a ${type}; stderr: ${ERR}")
endif()

# A file that the user may write in a folder that they may not is written in
# place. Folder permissions do not bind root, so root runs kelo as nobody,
# where nobody can reach kelo and in.txt.
file(MAKE_DIRECTORY "${WORK_DIR}/locked")
file(WRITE "${WORK_DIR}/locked/file.txt" "old")
set(as_user)
set(skipped)
if(uid EQUAL 0)
    find_program(SETPRIV setpriv)
    set(as_user ${SETPRIV} --reuid=65534 --regid=65534 --clear-groups)
    execute_process(COMMAND ${as_user} "${KELO}" convert --from utf-8 --to utf-8 in.txt
        WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE probe OUTPUT_QUIET ERROR_QUIET)
    if(NOT SETPRIV OR NOT probe EQUAL 0)
        set(skipped "running as root, and nobody cannot run kelo on in.txt here")
    endif()
    execute_process(COMMAND chown 65534:65534 locked/file.txt WORKING_DIRECTORY "${WORK_DIR}")
endif()
if(skipped)
    message(STATUS "skipped: a file in a read-only folder (${skipped})")
else()
    execute_process(COMMAND chmod 555 locked WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND ${as_user} "${KELO}" convert --from utf-8 --to utf-8 in.txt locked/file.txt
        WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
    execute_process(COMMAND chmod 755 locked WORKING_DIRECTORY "${WORK_DIR}")
    expect_success("convert into a file of a read-only folder")
    expect_new_text("convert into a file of a read-only folder" locked/file.txt)
endif()

# Every command fails when its standard output cannot be written: main
# checks what went through the buffer (a short text, and help long enough
# to overflow it), convert its own writes.
foreach(command "--help" "version" "convert --from utf-8 --to utf-8 in.txt")
    separate_arguments(arguments UNIX_COMMAND "${command}")
    execute_process(COMMAND ${EMULATOR} "${KELO}" ${arguments} WORKING_DIRECTORY "${WORK_DIR}"
        OUTPUT_FILE /dev/full RESULT_VARIABLE RC ERROR_VARIABLE ERR)
    expect_refusal("kelo ${command} > /dev/full" none)
    expect_error("kelo ${command} > /dev/full" 1 "cannot write standard output")
endforeach()

# A device stays the device. This comes last: a kelo that replaced the link
# and the FIFO above never gets here.
kelo(convert --from utf-8 --to utf-8 in.txt /dev/null)
expect_success("convert into /dev/null")
stat_of(/dev/null "%F" type)
file(GLOB leftovers "/dev/.null.*")
if(NOT type STREQUAL "character special file" OR leftovers)
    message(FATAL_ERROR "/dev/null is a ${type} now; left behind: ${leftovers}")
endif()
