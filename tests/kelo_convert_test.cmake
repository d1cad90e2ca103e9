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
    expect_same_files("round trip through ${encoding}" mixed.txt back.${encoding}.txt)
endforeach()

# Standard input and output, with names in upper case.
kelo(convert --from UTF-8 --to utf-8 mixed.txt)
expect_success("utf-8 to standard output")
file(READ "${WORK_DIR}/mixed.txt" original)
if(NOT OUT STREQUAL original)
    message(FATAL_ERROR "standard output differs from the input")
endif()

# The first bytes of the encoded files.
file(READ "${WORK_DIR}/mixed.utf-16le" head LIMIT 4 HEX)
if(NOT head STREQUAL "50006c00")
    message(FATAL_ERROR "utf-16le output starts with ${head}")
endif()
file(READ "${WORK_DIR}/mixed.utf-16" head LIMIT 2 HEX)
if(NOT head MATCHES "^(fffe|feff)$")
    message(FATAL_ERROR "utf-16 output starts with ${head}, not a byte-order mark")
endif()

# An odd-length UTF-16 input is refused and leaves no output file.
file(WRITE "${WORK_DIR}/odd.bin" "abc")
kelo(convert --from utf-16le --to utf-8 odd.bin odd.out)
expect_refusal("odd-length utf-16le" odd.out)

# A failed conversion keeps an existing output file as it was.
file(WRITE "${WORK_DIR}/keep.txt" "keep me")
kelo(convert --from utf-16le --to utf-8 odd.bin keep.txt)
file(READ "${WORK_DIR}/keep.txt" kept)
if(NOT kept STREQUAL "keep me")
    message(FATAL_ERROR "a refused conversion changed its output file")
endif()

# Raw bytes (CMake strings cannot hold NUL, so these contain none).
string(ASCII 61 216 65 65 surrogate) # UTF-16LE D83D 4141: an unpaired high surrogate
file(WRITE "${WORK_DIR}/surrogate.bin" "${surrogate}")
kelo(convert --from utf-16le --to utf-8 surrogate.bin surrogate.out)
expect_refusal("unpaired surrogate" surrogate.out)
if(NOT ERR MATCHES "unpaired high surrogate")
    message(FATAL_ERROR "the library's message is missing: ${ERR}")
endif()

string(ASCII 65 255 66 malformed)
file(WRITE "${WORK_DIR}/malformed.txt" "${malformed}")
kelo(convert --from utf-8 --to utf-16le malformed.txt malformed.out)
expect_refusal("malformed utf-8" malformed.out)

foreach(bad
        "--from latin1 --to utf-8"
        "--from utf-8 --to ebcdic"
        "--to utf-8"
        "--from utf-8 --to utf-8 --frobnicate")
    separate_arguments(arguments UNIX_COMMAND "${bad}")
    kelo(convert ${arguments} mixed.txt bad.out)
    expect_refusal("convert ${bad}" bad.out)
endforeach()

# Malformed UTF-8 and non-ASCII bytes under --from ascii.
file(WRITE "${WORK_DIR}/latin1.txt" "caf")
file(APPEND "${WORK_DIR}/latin1.txt" "é") # valid UTF-8; its bytes are not ASCII
kelo(convert --from ascii --to utf-8 latin1.txt latin1.out)
expect_refusal("non-ASCII bytes as ascii" latin1.out)

kelo(convert --from utf-8 --to utf-16le missing.txt missing.out)
expect_refusal("missing input file" missing.out)

kelo()
expect_success("kelo without arguments")
if(NOT OUT MATCHES "convert")
    message(FATAL_ERROR "the summary does not mention convert: ${OUT}")
endif()
kelo(version)
expect_success("kelo version")
if(NOT OUT MATCHES "5\\.0\\.31\\.0")
    message(FATAL_ERROR "kelo version printed: ${OUT}")
endif()
