# SPDX-License-Identifier: MIT
# kelo path, end to end. Run by ctest as:
#   cmake -DKELO=<kelo> [-DEMULATOR=<runner>] -DWORK_DIR=<dir> -P kelo_path_test.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/kelo_test_common.cmake)

# "/" is read as "\"; one "\" at each join.
kelo(path join "C:/a" "b/" "\\c" d)
expect_output("join" "C:\\a\\b\\c\\d")
kelo(path split "/top/x\\y.txt")
expect_output("split" "\ntop\nx\ny.txt")

file(WRITE "${WORK_DIR}/file.txt" "hello")
kelo(path info file.txt missing/one)
set(pattern "^path: file.txt\nexists: yes\ntype: file\nsize: 5\nreadable: yes\nwritable: yes\n")
string(APPEND pattern "absolute: [^\n]+\\\\file.txt\nnative: file.txt\n\n")
string(APPEND pattern "path: missing\\\\one\nexists: no\ntype: none\nsize: 0\nreadable: no\nwritable: no\n")
string(APPEND pattern "absolute: [^\n]+\\\\missing\\\\one\nnative: missing[/\\\\]one\n$")
expect_match("info" "${pattern}")

kelo(path mkpath "deep/er/est/")
expect_success("mkpath with a trailing separator")
if(NOT IS_DIRECTORY "${WORK_DIR}/deep/er/est")
    message(FATAL_ERROR "mkpath did not create deep/er/est")
endif()
expect_refusals(path "1 mkpath file.txt/sub/dir")

# app: the directory that holds kelo, in the library's form with
# --library-form, else in the native one. Its full form is known only where
# kelo sees the same file system paths as this script; there it must not
# depend on how kelo is started (by a relative path, from another directory).
get_filename_component(kelo_dir "${KELO}" DIRECTORY)
get_filename_component(kelo_dir_name "${kelo_dir}" NAME)
kelo(path app --library-form)
expect_match("app --library-form" "\\\\${kelo_dir_name}\n$")
if(EMULATOR STREQUAL "")
    file(REAL_PATH "${kelo_dir}" kelo_dir)
    string(REPLACE "/" "\\" expected "${kelo_dir}")
    expect_output("app --library-form" "${expected}")
    kelo(path app)
    expect_output("app" "${kelo_dir}")
    file(MAKE_DIRECTORY "${WORK_DIR}/elsewhere")
    file(RELATIVE_PATH relative_kelo "${WORK_DIR}/elsewhere" "${KELO}")
    execute_process(COMMAND "./${relative_kelo}" path app WORKING_DIRECTORY "${WORK_DIR}/elsewhere"
        RESULT_VARIABLE RC OUTPUT_VARIABLE OUT ERROR_VARIABLE ERR)
    expect_output("app when started by a relative path" "${kelo_dir}")
endif()
