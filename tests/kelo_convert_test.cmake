# SPDX-License-Identifier: MIT
# kelo convert, end to end: its blocks, its own checks of the input, its
# messages, exit statuses and output files. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_convert_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# Blocks of 17 bytes cut characters at every offset (4-byte characters in
# UTF-8, surrogate pairs, units of UTF-16 and UTF-32): every pair of
# encodings must give what one block gives, and the text must come back
# whole into UTF-8. The blocks come from the environment, which kelo()
# passes on.
string(REPEAT "😀a😀ab😀abc😀é中" 24 cut)
file(WRITE "${WORK_DIR}/cut.utf-8" "${cut}")
set(encodings utf-8 utf-16 utf-16be utf-16le utf-32)
foreach(from IN LISTS encodings)
    if(NOT from STREQUAL "utf-8")
        kelo(convert --from utf-8 --to ${from} cut.utf-8 cut.${from})
    endif()
    foreach(to IN LISTS encodings)
        kelo(convert --from ${from} --to ${to} cut.${from} whole.${to})
        expect_success("${from} to ${to}")
        set(ENV{KELO_CONVERT_BLOCK_BYTES} 17)
        kelo(convert --from ${from} --to ${to} cut.${from} blocks.out)
        unset(ENV{KELO_CONVERT_BLOCK_BYTES})
        expect_success("${from} to ${to} in blocks of 17 bytes")
        file(SHA256 "${WORK_DIR}/whole.${to}" whole)
        file(SHA256 "${WORK_DIR}/blocks.out" blocks)
        if(NOT whole STREQUAL blocks)
            message(FATAL_ERROR "${from} to ${to}: blocks of 17 bytes give other bytes")
        endif()
    endforeach()
    file(READ "${WORK_DIR}/whole.utf-8" back)
    if(NOT back STREQUAL cut)
        message(FATAL_ERROR "the round trip through ${from} changed the text")
    endif()
endforeach()

# The round trips would pass with the byte orders swapped: check the first
# bytes (U+1F600 is D83D DE00 in UTF-16).
file(READ "${WORK_DIR}/cut.utf-16le" le_head LIMIT 4 HEX)
file(READ "${WORK_DIR}/cut.utf-16be" be_head LIMIT 4 HEX)
file(READ "${WORK_DIR}/cut.utf-16" marked_head LIMIT 2 HEX)
if(NOT "${le_head} ${be_head}" STREQUAL "3dd800de d83dde00" OR NOT marked_head MATCHES "^(fffe|feff)$")
    message(FATAL_ERROR "utf-16le starts with ${le_head}, utf-16be with ${be_head}, utf-16 with ${marked_head}")
endif()

# Standard output, with encoding names in upper case; of an option given
# twice, the last counts.
kelo(convert --from ascii --from UTF-8 --to utf-8 cut.utf-8)
expect_success("utf-8 to standard output")
if(NOT OUT STREQUAL cut)
    message(FATAL_ERROR "standard output differs from the input")
endif()

# A character that ASCII cannot hold is refused with its offset, or with
# --lossy written as '?'; the usual spellings of the encodings are taken.
file(WRITE "${WORK_DIR}/accent.txt" "hé\n")
kelo(convert --from UTF8 --to us-ascii accent.txt)
expect_error("é to ascii" 1 "byte offset 1")
expect_outputs(convert "--from utf8 --to ascii --lossy accent.txt => h?")

# Refused, with a one-line message, no output file and no temporary file.
# CMake strings cannot hold NUL, so the raw inputs contain none. Rows:
# STATUS ARGUMENTS (2: a command line that kelo cannot take).
file(WRITE "${WORK_DIR}/odd.bin" "abc")
string(ASCII 61 216 65 65 surrogate) # UTF-16LE D83D 4141: an unpaired high surrogate
file(WRITE "${WORK_DIR}/surrogate.bin" "${surrogate}")
expect_refusals(convert "1 --from utf-16le --to utf-8 odd.bin refused.out"
    "1 --from ascii --to utf-8 accent.txt refused.out" "1 --from utf-8 --to utf-16le missing.txt refused.out"
    "1 --from ucs-2 --to utf-8 accent.txt refused.out" "2 --to utf-8 accent.txt refused.out"
    "1 --from utf-16le --to utf-8 surrogate.bin refused.out")
if(NOT ERR MATCHES "unpaired high surrogate") # the library's message is passed on
    message(FATAL_ERROR "the library's message is missing: ${ERR}")
endif()

# UTF-8 that the library would read as other characters is refused at the
# first byte of the sequence. Rows: N|BYTES|OFFSET: N bytes "a", then the
# byte values; the offset, or "-" for text that passes. The long rows put a
# character across, and an error behind, the 64 KiB steps the check takes.
foreach(row "0|195 65|0" "2|237 160 128|2" "1|244 144 128 128|1" "3|226 130|3" "1|192 175|1"
        "0|195 169 128|2" "0|248 136 128 128 128|0" "0|226 130 172 240 159 152 128 244 143 191 191|-"
        "65535|195 169 195 65|65537" "65535|226 130 172|-")
    split_row("${row}" run codes offset)
    string(REPEAT "a" ${run} text)
    string(REPLACE " " ";" codes "${codes}")
    string(ASCII ${codes} bytes)
    file(WRITE "${WORK_DIR}/check.txt" "${text}${bytes}")
    kelo(convert --from utf-8 --to utf-32 check.txt)
    if(offset STREQUAL "-")
        expect_success("utf-8 check of ${row}")
    else()
        expect_error("utf-8 check of ${row}" 1 "not valid utf-8 at byte offset ${offset}\n$")
    endif()
endforeach()

# A failed conversion keeps an existing output file as it was.
file(WRITE "${WORK_DIR}/keep.txt" "keep me")
kelo(convert --from utf-16le --to utf-8 odd.bin keep.txt)
file(READ "${WORK_DIR}/keep.txt" kept)
if(NOT RC EQUAL 1 OR NOT kept STREQUAL "keep me")
    message(FATAL_ERROR "a refused conversion changed its output file (exit status ${RC})")
endif()
