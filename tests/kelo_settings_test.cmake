# SPDX-License-Identifier: MIT
# kelo settings, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_settings_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# Expects exit status 1 with a one-line message (or, with `quiet`, with no
# output at all) and FILE byte for byte as it was before.
function(expect_refused_unchanged what file hash_before)
    if(ARGN STREQUAL "usage") # a command line that kelo cannot take
        expect_refusal("${what}" none 2)
    elseif(ARGN STREQUAL "quiet")
        if(NOT RC EQUAL 1 OR NOT OUT STREQUAL "" OR NOT ERR STREQUAL "")
            message(FATAL_ERROR "${what}: expected exit status 1 and no output, got ${RC}: '${OUT}' '${ERR}'")
        endif()
    else()
        expect_refusal("${what}" none)
    endif()
    if(hash_before STREQUAL "")
        if(EXISTS "${WORK_DIR}/${file}")
            message(FATAL_ERROR "${what}: created ${file}")
        endif()
        return()
    endif()
    file(SHA256 "${WORK_DIR}/${file}" hash_after)
    if(NOT hash_after STREQUAL hash_before)
        message(FATAL_ERROR "${what}: changed ${file}")
    endif()
endfunction()

# A missing file holds no values; reading it creates nothing.
kelo(settings get s.xml General Color)
expect_refused_unchanged("get from a missing file" s.xml "" quiet)
kelo(settings list s.xml)
expect_success("list of a missing file")

# The value comes back as set, escapes and all, also after a second writer.
set(tricky "Grüße & <b> \"double\" 'single' €")
kelo(settings set deep/er/s.xml General Color "${tricky}")
expect_success("set into a missing folder")
kelo(settings set deep/er/s.xml General Size 12)
kelo(settings get deep/er/s.xml General Color)
expect_output("get of a value with markup, quotes and non-ASCII text" "${tricky}")
# save makes missing folders as kelo path mkpath does.
kelo(path mkpath made/by/mkpath)
if(LINUX_KELO)
    execute_process(COMMAND stat --format %a "${WORK_DIR}/deep/er" "${WORK_DIR}/made/by" OUTPUT_VARIABLE modes)
    string(REPLACE "\n" ";" modes "${modes}")
    list(GET modes 0 by_save)
    list(GET modes 1 by_mkpath)
    if(NOT by_save STREQUAL by_mkpath)
        message(FATAL_ERROR "save made a folder of mode ${by_save}, mkpath one of ${by_mkpath}")
    endif()
endif()
file(RENAME "${WORK_DIR}/deep/er/s.xml" "${WORK_DIR}/s.xml")

# Sections are matched exactly: "b" is not "ab".
foreach(entry "b;x;1" "ab;y;2" "b;a;3" "Z;k;4")
    kelo(settings set s.xml ${entry})
    expect_success("set ${entry}")
endforeach()
kelo(settings list s.xml)
expect_output("list" "General/Color=${tricky}\nGeneral/Size=12\nZ/k=4\nab/y=2\nb/a=3\nb/x=1")
kelo(settings list s.xml b)
expect_output("list of one section" "b/a=3\nb/x=1")
kelo(settings sections s.xml)
expect_output("sections" "General\nZ\nab\nb")
kelo(settings remove s.xml General Size)
expect_success("remove")
kelo(settings remove-section s.xml b)
expect_success("remove-section")
kelo(settings list s.xml)
expect_output("list after the removals" "General/Color=${tricky}\nZ/k=4\nab/y=2")

# Refused, the file left as it was. Rows: ARGUMENTS (after FILE), "|"
# between them.
file(SHA256 "${WORK_DIR}/s.xml" hash)
string(ASCII 1 control)
foreach(row "set|General|Color| \t " "set|a/b|k|v" "set|a|k/l|v" "set|General|Color|=usage"
        "set|General|Color|x${control}y" "set|a${control}|k|v"
        "remove|General|Size" "remove-section|b" "remove-section|a/b" "list|a|b|=usage"
        "frobnicate|=usage")
    set(kind "")
    if(row MATCHES "(.*)\\|=usage$") # "=usage": a command line that kelo cannot take
        set(row "${CMAKE_MATCH_1}")
        set(kind usage)
    endif()
    string(REPLACE "|" ";" arguments "${row}")
    list(INSERT arguments 1 s.xml)
    kelo(settings ${arguments})
    expect_refused_unchanged("settings ${row}" s.xml "${hash}" ${kind})
endforeach()
# Empty arguments, which kelo() cannot pass (a list drops its empty items).
execute_process(COMMAND ${EMULATOR} "${KELO}" settings set s.xml General Color "" WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
expect_refused_unchanged("set of an empty value" s.xml "${hash}")
execute_process(COMMAND ${EMULATOR} "${KELO}" settings set s.xml "" Color v WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
expect_refused_unchanged("set into an empty section" s.xml "${hash}")
kelo(settings get s.xml General Size)
expect_refused_unchanged("get of a removed key" s.xml "${hash}" quiet)

# The last value is never removed: a file without any is not written.
file(WRITE "${WORK_DIR}/one.xml" "<KeloSettings><Section Name=\"a\"><Data Key=\"k\">v</Data></Section></KeloSettings>")
file(SHA256 "${WORK_DIR}/one.xml" hash)
kelo(settings remove one.xml a k)
expect_refused_unchanged("remove of the last value" one.xml "${hash}")

# Files that are not settings files, each with the reason given. Rows:
# CONTENT|REASON (a regular expression).
string(REPEAT "<x>" 300 deep)
set(wide "")
foreach(i RANGE 300)
    string(APPEND wide " a${i}=\"\"")
endforeach()
foreach(row "<KeloSettings><Section Name=\"a\">|Error reading Element value" "not xml at all|empty"
        "<Other/>|no KeloSettings element" "<KeloSettings></Other>|end tag. .row 1, column 15." "<KeloSettings>${deep}|nested too deeply"
        "<KeloSettings${wide}/>|more than 256 attributes")
    split_row("${row}" content reason)
    file(WRITE "${WORK_DIR}/bad.xml" "${content}")
    file(SHA256 "${WORK_DIR}/bad.xml" hash)
    kelo(settings set bad.xml a k v)
    expect_refused_unchanged("set with a file holding '${content}'" bad.xml "${hash}")
    expect_error("set with a file holding '${content}'" 1 "${reason}")
endforeach()

# list writes each value on one line: backslashes, control characters and
# DEL are escaped.
file(WRITE "${WORK_DIR}/escaped.xml"
    "<KeloSettings><Section Name=\"a\"><Data Key=\"k\">1&#10;2\\3&#9;4&#1;5&#127;6</Data></Section></KeloSettings>")
kelo(settings list escaped.xml)
expect_output("list of a value with control characters" [=[a/k=1\n2\\3\t4\x015\x7F6]=])

kelo(settings set s.xml/inner.xml a k v)
expect_refused_unchanged("set below a regular file" s.xml/inner.xml "")

# A FIFO is no settings file: kelo answers at once rather than wait for a
# writer (kelo() gives up after a while, which fails the test).
if(LINUX_KELO)
    execute_process(COMMAND mkfifo "${WORK_DIR}/fifo.xml")
    kelo(settings get fifo.xml a k)
    expect_refusal("get from a FIFO" none)
    expect_error("get from a FIFO" 1 "not a regular file")
endif()
