# SPDX-License-Identifier: MIT
# kelo convert, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_convert_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# Mixed text: ASCII, Latin, Greek, CJK and characters beyond the BMP.
file(WRITE "${WORK_DIR}/mixed.txt"
    "Plain ASCII line.\nCafé, naïve, Straße, smørrebrød.\nΕλληνικά. 日本語のテキスト。\nEmoji: 😀 🎉 and 𝄞 music.\n")
foreach(encoding utf-16le utf-16be utf-16 utf-32)
    kelo(convert --from utf-8 --to ${encoding} mixed.txt mixed.${encoding})
    expect_success("utf-8 to ${encoding}")
    kelo(convert --from ${encoding} --to utf-8 mixed.${encoding} back.${encoding}.txt)
    expect_success("${encoding} to utf-8")
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK_DIR}/mixed.txt" "${WORK_DIR}/back.${encoding}.txt"
        RESULT_VARIABLE different)
    if(different)
        message(FATAL_ERROR "the round trip through ${encoding} changed the text")
    endif()
endforeach()

# Standard output, with encoding names in upper case.
kelo(convert --from UTF-8 --to utf-8 mixed.txt)
file(READ "${WORK_DIR}/mixed.txt" original)
expect_success("utf-8 to standard output")
if(NOT OUT STREQUAL original)
    message(FATAL_ERROR "standard output differs from the input")
endif()

# The round trips would pass with the byte orders swapped: check the first bytes.
file(READ "${WORK_DIR}/mixed.utf-16le" le_head LIMIT 4 HEX)
file(READ "${WORK_DIR}/mixed.utf-16" marked_head LIMIT 2 HEX)
if(NOT le_head STREQUAL "50006c00" OR NOT marked_head MATCHES "^(fffe|feff)$")
    message(FATAL_ERROR "utf-16le output starts with ${le_head}, utf-16 output with ${marked_head}")
endif()

# Blocks of 17 bytes cut characters at every offset (4-byte characters in
# UTF-8, surrogate pairs, units of UTF-16 and UTF-32): every pair of
# encodings must give what one block gives. The blocks come from the
# environment, which kelo() passes on.
string(REPEAT "😀a😀ab😀abc😀é中" 24 cut)
file(WRITE "${WORK_DIR}/cut.utf-8" "${cut}")
set(encodings utf-8 utf-16 utf-16be utf-16le utf-32)
foreach(from IN LISTS encodings)
    if(NOT from STREQUAL "utf-8")
        kelo(convert --from utf-8 --to ${from} cut.utf-8 cut.${from})
    endif()
    foreach(to IN LISTS encodings)
        kelo(convert --from ${from} --to ${to} cut.${from} whole.out)
        set(ENV{KELO_CONVERT_BLOCK_BYTES} 17)
        kelo(convert --from ${from} --to ${to} cut.${from} blocks.out)
        unset(ENV{KELO_CONVERT_BLOCK_BYTES})
        expect_success("${from} to ${to} in blocks of 17 bytes")
        file(SHA256 "${WORK_DIR}/whole.out" whole)
        file(SHA256 "${WORK_DIR}/blocks.out" blocks)
        if(NOT whole STREQUAL blocks)
            message(FATAL_ERROR "${from} to ${to}: blocks of 17 bytes give other bytes")
        endif()
    endforeach()
endforeach()

# A character that ASCII cannot hold is refused with its offset, or with
# --lossy written as '?'; the usual spellings of the encodings are taken.
file(WRITE "${WORK_DIR}/accent.txt" "hé\n")
kelo(convert --from UTF8 --to us-ascii accent.txt)
if(NOT RC EQUAL 1 OR NOT ERR MATCHES "byte offset 1")
    message(FATAL_ERROR "é to ascii: exit status ${RC}, '${ERR}'")
endif()
kelo(convert --from utf8 --to ascii --lossy accent.txt)
expect_output("é to ascii with --lossy" "h?")

# Refusals. CMake strings cannot hold NUL, so the raw inputs contain none.
file(WRITE "${WORK_DIR}/odd.bin" "abc")
string(ASCII 61 216 65 65 surrogate) # UTF-16LE D83D 4141: an unpaired high surrogate
file(WRITE "${WORK_DIR}/surrogate.bin" "${surrogate}")
string(ASCII 65 255 66 malformed)
file(WRITE "${WORK_DIR}/malformed.txt" "${malformed}")
foreach(refused
        "--from utf-16le --to utf-8 odd.bin"
        "--from utf-16le --to utf-8 surrogate.bin"
        "--from utf-8 --to utf-16le malformed.txt"
        "--from ascii --to utf-8 mixed.txt" # valid UTF-8, but not ASCII
        "--from utf-8 --to utf-16le missing.txt"
        "--from latin1 --to utf-8 mixed.txt"
        "--from ucs-2 --to utf-8 mixed.txt"
        "--to utf-8 mixed.txt =2" # "=2": a command line that kelo cannot take
        "--from utf-8 --to utf-8 --frobnicate mixed.txt =2")
    set(status 1)
    if(refused MATCHES "(.*) =2$")
        set(refused "${CMAKE_MATCH_1}")
        set(status 2)
    endif()
    separate_arguments(arguments UNIX_COMMAND "${refused}")
    kelo(convert ${arguments} refused.out)
    expect_refusal("convert ${refused}" refused.out ${status})
    if(refused MATCHES "surrogate" AND NOT ERR MATCHES "unpaired high surrogate")
        message(FATAL_ERROR "the library's message is missing: ${ERR}")
    endif()
endforeach()

# UTF-8 that the library would read as other characters is refused at the
# first byte of the sequence. Rows: byte values (a "+" between runs, "a*N"
# for N bytes "a")|offset, or "-" for text that passes. The long rows put a
# character across, and an error behind, the 64 KiB steps the check takes.
foreach(row "195 65|0" "97 98 237 160 128|2" "97 244 144 128 128|1" "97 98 99 226 130|3" "97 192 175|1"
        "195 169 128|2" "248 136 128 128 128|0" "97 224 128 128|1" "226 130 172 240 159 152 128|-"
        "a*65535+195 169+195 65|65537" "a*65535+226 130 172|-")
    string(REPLACE "|" ";" fields "${row}")
    list(GET fields 0 runs)
    list(GET fields 1 offset)
    set(text "")
    string(REPLACE "+" ";" runs "${runs}")
    foreach(run IN LISTS runs)
        if(run MATCHES "^a[*]([0-9]+)$")
            string(REPEAT "a" ${CMAKE_MATCH_1} piece)
        else()
            string(REPLACE " " ";" codes "${run}")
            string(ASCII ${codes} piece)
        endif()
        string(APPEND text "${piece}")
    endforeach()
    file(WRITE "${WORK_DIR}/check.txt" "${text}")
    kelo(convert --from utf-8 --to utf-32 check.txt check.out)
    string(STRIP "${ERR}" message)
    if(offset STREQUAL "-")
        expect_success("utf-8 check of ${row}")
    elseif(NOT RC EQUAL 1 OR NOT message MATCHES "not valid utf-8 at byte offset ${offset}$")
        message(FATAL_ERROR "utf-8 check of ${row}: exit status ${RC}, '${ERR}'")
    endif()
    file(REMOVE "${WORK_DIR}/check.out")
endforeach()

# A failed conversion keeps an existing output file as it was.
file(WRITE "${WORK_DIR}/keep.txt" "keep me")
kelo(convert --from utf-16le --to utf-8 odd.bin keep.txt)
file(READ "${WORK_DIR}/keep.txt" kept)
if(NOT RC EQUAL 1 OR NOT kept STREQUAL "keep me")
    message(FATAL_ERROR "a refused conversion changed its output file (exit status ${RC})")
endif()

kelo()
expect_match("kelo without arguments" "convert")
kelo(version)
expect_match("kelo version" "5\\.0\\.31\\.0")
