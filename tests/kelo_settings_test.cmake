# SPDX-License-Identifier: MIT
# kelo settings, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_settings_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# Expects a refusal with exit status STATUS (expect_refusal), or with
# "quiet" exit status 1 and no output at all, and FILE byte for byte as
# HASH_BEFORE says ("" for no file).
function(expect_refused_unchanged what file hash_before status)
    if(status STREQUAL "quiet")
        if(NOT RC EQUAL 1 OR NOT "${OUT}${ERR}" STREQUAL "")
            message(FATAL_ERROR "${what}: expected exit status 1 and no output, got ${RC}: '${OUT}' '${ERR}'")
        endif()
    else()
        expect_refusal("${what}" none ${status})
    endif()
    set(hash_after "")
    if(EXISTS "${WORK_DIR}/${file}")
        file(SHA256 "${WORK_DIR}/${file}" hash_after)
    endif()
    if(NOT hash_after STREQUAL hash_before)
        message(FATAL_ERROR "${what}: changed or created ${file}")
    endif()
endfunction()

# A missing file holds no values; reading it creates nothing.
kelo(settings get s.xml General Color)
expect_refused_unchanged("get from a missing file" s.xml "" quiet)
expect_outputs(settings "list s.xml =>")

# The value comes back as set, escapes and all, also after a second writer.
set(tricky "Grüße & <b> \"double\" 'single' €")
kelo(settings set deep/er/s.xml General Color "${tricky}")
expect_success("set into a missing folder")
kelo(settings set deep/er/s.xml General Size 12)
kelo(settings get deep/er/s.xml General Color)
expect_output("get of a value with markup, quotes and non-ASCII text" "${tricky}")
file(RENAME "${WORK_DIR}/deep/er/s.xml" "${WORK_DIR}/s.xml")

# Sections are matched exactly: "b" is not "ab".
expect_outputs("settings" "set s.xml b x 1 =>" "set s.xml ab y 2 =>" "set s.xml b a 3 =>" "set s.xml Z k 4 =>"
    "list s.xml => General/Color=${tricky}\nGeneral/Size=12\nZ/k=4\nab/y=2\nb/a=3\nb/x=1"
    "list s.xml b => b/a=3\nb/x=1"
    "sections s.xml => General\nZ\nab\nb"
    "remove s.xml General Size =>"
    "remove-section s.xml b =>"
    "list s.xml => General/Color=${tricky}\nZ/k=4\nab/y=2")

# Refused, the file left as it was. Rows: STATUS (2: a command line that
# kelo cannot take, "quiet": no message), then the arguments after FILE,
# "|" between them.
file(SHA256 "${WORK_DIR}/s.xml" hash)
string(ASCII 1 control)
foreach(row "1|set|General|Color| \t " "1|set|a/b|k|v" "1|set|a|k/l|v" "2|set|General|Color"
        "1|set|General|Color|x${control}y" "1|set|a${control}|k|v" "quiet|get|General|Size"
        "1|remove|General|Size" "1|remove-section|b" "1|remove-section|a/b" "2|list|a|b" "2|frobnicate")
    string(REPLACE "|" ";" arguments "${row}")
    list(POP_FRONT arguments status)
    list(INSERT arguments 1 s.xml)
    kelo(settings ${arguments})
    expect_refused_unchanged("settings ${row}" s.xml "${hash}" ${status})
endforeach()
# Empty arguments, which kelo() cannot pass (a list drops its empty items).
foreach(row "General|Color|" "|Color|v")
    split_row("${row}" section key value)
    execute_process(COMMAND ${EMULATOR} "${KELO}" settings set s.xml "${section}" "${key}" "${value}"
        WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
    expect_refused_unchanged("set ${row}" s.xml "${hash}" 1)
endforeach()

# The last value is never removed: a file without any is not written.
file(WRITE "${WORK_DIR}/one.xml" "<KeloSettings><Section Name=\"a\"><Data Key=\"k\">v</Data></Section></KeloSettings>")
file(SHA256 "${WORK_DIR}/one.xml" hash)
kelo(settings remove one.xml a k)
expect_refused_unchanged("remove of the last value" one.xml "${hash}" 1)

# Files that are not settings files, each with the reason given (the
# library's reader has its own tests). Rows: CONTENT|REASON (a regular
# expression).
foreach(row "not xml at all|empty" "<Other/>|no KeloSettings element" "<KeloSettings></Other>|end tag. .row 1, column 15.")
    split_row("${row}" content reason)
    file(WRITE "${WORK_DIR}/bad.xml" "${content}")
    file(SHA256 "${WORK_DIR}/bad.xml" hash)
    kelo(settings set bad.xml a k v)
    expect_refused_unchanged("set with a file holding '${content}'" bad.xml "${hash}" 1)
    expect_error("set with a file holding '${content}'" 1 "${reason}")
endforeach()

# list writes each value on one line: backslashes, control characters and
# DEL are escaped.
file(WRITE "${WORK_DIR}/escaped.xml"
    "<KeloSettings><Section Name=\"a\"><Data Key=\"k\">1&#10;2\\3&#9;4&#1;5&#127;6</Data></Section></KeloSettings>")
kelo(settings list escaped.xml)
expect_output("list of a value with control characters" [=[a/k=1\n2\\3\t4\x015\x7F6]=])

kelo(settings set s.xml/inner.xml a k v)
expect_refused_unchanged("set below a regular file" s.xml/inner.xml "" 1)

# A FIFO is no settings file: kelo answers at once rather than wait for a
# writer (kelo() gives up after a while, which fails the test).
if(LINUX_KELO)
    execute_process(COMMAND mkfifo "${WORK_DIR}/fifo.xml")
    kelo(settings get fifo.xml a k)
    expect_refusal("get from a FIFO" none)
    expect_error("get from a FIFO" 1 "not a regular file")
endif()
