# SPDX-License-Identifier: MIT
# kelo info, kelo locale and kelo location, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_info_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# A path in WORK_DIR as kelo reads it: under Wine the Unix root is drive Z:.
function(native_path name variable)
    if(LINUX_KELO)
        set(${variable} "${WORK_DIR}/${name}" PARENT_SCOPE)
    else()
        string(REPLACE "/" "\\" path "Z:${WORK_DIR}/${name}")
        set(${variable} "${path}" PARENT_SCOPE)
    endif()
endfunction()

# Sets KELO_ENV, which kelo() reads, to run kelo with NORVAXIS_KELO_CUSTOM_ENV
# naming WORK_DIR/`file` (none when empty), without the thin-client variable
# and with the caller's EXTRA_ENV.
macro(custom_env file)
    set(KELO_ENV --unset=NORVAXIS_KELO_THINCLIENT_ENV --unset=NORVAXIS_KELO_CUSTOM_ENV ${EXTRA_ENV})
    if(NOT "${file}" STREQUAL "")
        native_path("${file}" path)
        list(APPEND KELO_ENV "NORVAXIS_KELO_CUSTOM_ENV=${path}")
    endif()
endmacro()

# Without a custom environment: every framework kind has a folder of version
# R5, printed in the native form.
if(LINUX_KELO)
    set(native_separator "/")
else()
    set(native_separator "\\")
endif()
custom_env("")
kelo(info)
expect_match("info" "custom environment +none\n")
foreach(kind COMMON_BIN COMMON_LIB COMMON_DATA LOG_FILE ERROR_TABLE)
    if(NOT OUT MATCHES "\n${kind} +[^\n]*R5[${native_separator}]\n")
        message(FATAL_ERROR "info: no native R5 folder for ${kind}: '${OUT}'")
    endif()
endforeach()
kelo(info --json --library-form)
string(JSON folder GET "${OUT}" locations COMMON_BIN)
if(NOT folder MATCHES "^[^/]*R5\\\\$")
    message(FATAL_ERROR "info --json --library-form: COMMON_BIN is '${folder}'")
endif()

# A custom environment for both platforms: the answers come from it alone.
file(WRITE "${WORK_DIR}/env.xml" [[
<KELOCUSTOMENV>
  <PLATFORM OS="Linux"><KEY ID="KELO_COMMON_LOCALIZED_DATA_LOCATION"><STRING>D:/env</STRING></KEY>
    <KEY ID="KELO_APPLICATION_ERROR_LOG_FILE"><STRING>X:\res</STRING></KEY></PLATFORM>
  <PLATFORM OS="Windows"><KEY ID="KELO_COMMON_LOCALIZED_DATA_LOCATION"><STRING>D:/env</STRING></KEY>
    <KEY ID="KELO_APPLICATION_ERROR_LOG_FILE"><STRING>X:\res</STRING></KEY></PLATFORM>
</KELOCUSTOMENV>
]])
custom_env(env.xml)
expect_outputs(location "common_localized_data --locale ja_JP.UTF-8 => D:/env/ja-JP/"
    "APPLICATION_ERROR_LOG_FILE --library-form => X:\\res" "APPLICATION_ERROR_LOG_FILE => X:${native_separator}res")
kelo(location COMMON_BIN)
if(NOT RC EQUAL 1 OR NOT OUT STREQUAL "")
    message(FATAL_ERROR "a kind the custom environment leaves out: exit status ${RC}, printed '${OUT}'")
endif()
kelo(info --json)
expect_match("info --json" "\"status\": 0,\n +\"status_text\": \"loaded\",.*\"COMMON_BIN\": \"\",.*\"COMMON_LOCALIZED_DATA\": \"D:/env/[a-z][a-z]-[A-Z][A-Z]/\"")

# A bad custom environment file (the library's tests hold every kind):
# status 3, and kelo still answers.
file(WRITE "${WORK_DIR}/malformed.xml" "<KELOCUSTOMENV><PLATFORM OS=\"Linux\">")
foreach(bad malformed.xml missing.xml)
    custom_env(${bad})
    kelo(info --json)
    expect_match("custom environment ${bad}" "\"status\": 3,")
endforeach()

# Locale names: kelo drops a codeset and a modifier, the library does the rest.
custom_env("")
expect_outputs(locale "DEU => internal  de_DE\nfolder    de-DE" "fr_FR@euro => internal  fr_FR\nfolder    fr-FR"
    "ja_JP.eucJP@x => internal  ja_JP\nfolder    ja-JP")
kelo(locale de.DE --no-default)
if(NOT RC EQUAL 1)
    message(FATAL_ERROR "locale de.DE --no-default: exit status ${RC}, printed '${OUT}'")
endif()
expect_refusals(location "2 NO_SUCH_KIND")

# Bytes that are not UTF-8 (a Latin-1 e-acute in HOME and in the file's name)
# become U+FFFD: the JSON parses and holds valid UTF-8, and the text says so.
# Wine hands Windows programs the environment already decoded.
string(ASCII 233 latin1_e)
string(ASCII 239 191 189 replacement)
set(EXTRA_ENV "HOME=/tmp/h${latin1_e}" --unset=XDG_DATA_HOME)
custom_env("h${latin1_e}.xml")
kelo(info --json)
string(JSON status_text GET "${OUT}" custom_environment status_text)
string(JSON file GET "${OUT}" custom_environment file)
string(JSON user_data GET "${OUT}" local_user_data)
if(NOT status_text STREQUAL "file cannot be read" OR
        (LINUX_KELO AND NOT "${file}|${user_data}" MATCHES "h${replacement}[.]xml[|]/tmp/h${replacement}/"))
    message(FATAL_ERROR "info --json with bytes that are not UTF-8: '${OUT}'")
endif()
if(LINUX_KELO)
    custom_env("")
    kelo(info)
    expect_match("info with bytes that are not UTF-8" "\nnote +bytes that are not UTF-8")
endif()
unset(EXTRA_ENV)
