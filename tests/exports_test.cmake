# SPDX-License-Identifier: MIT
# The export list keloutil.def against the functions that the public headers
# mark KELOUTIL_C_API, both ways; given a DLL and objdump, also the DLL's
# export table against the list: plain, undecorated names, nothing missing,
# nothing extra, and the expected file format. Run by ctest as:
#   cmake -DDEF=<keloutil.def> -DINCLUDE_DIR=<include> [-DDLL=<dll> -DOBJDUMP=<objdump>
#         -DFORMAT=<pei-x86-64|pei-i386>] -P exports_test.cmake
cmake_minimum_required(VERSION 3.25)

function(compare what expected actual)
    list(SORT expected)
    list(SORT actual)
    set(missing ${expected})
    list(REMOVE_ITEM missing ${actual})
    set(extra ${actual})
    list(REMOVE_ITEM extra ${expected})
    if(missing OR extra)
        message(FATAL_ERROR "${what}: missing [${missing}], unexpected [${extra}]")
    endif()
endfunction()

file(STRINGS "${DEF}" def_lines REGEX "^[ \t]+[A-Za-z_][A-Za-z0-9_]*[ \t]*$")
set(listed)
foreach(line IN LISTS def_lines)
    string(STRIP "${line}" name)
    list(APPEND listed ${name})
endforeach()

file(GLOB headers "${INCLUDE_DIR}/keloutil/*.h")
set(declared)
foreach(header IN LISTS headers)
    file(READ "${header}" text)
    string(REGEX MATCHALL "\nKELOUTIL_C_API [^;(]*[ *][A-Za-z_][A-Za-z0-9_]*\\(" declarations "${text}")
    foreach(declaration IN LISTS declarations)
        string(REGEX REPLACE ".*[ *]([A-Za-z_][A-Za-z0-9_]*)\\($" "\\1" name "${declaration}")
        list(APPEND declared ${name})
    endforeach()
endforeach()
list(LENGTH declared count)
if(count LESS 40)
    message(FATAL_ERROR "found only ${count} exported declarations in ${INCLUDE_DIR}")
endif()
compare("keloutil.def against the headers" "${declared}" "${listed}")

if(DLL)
    execute_process(COMMAND "${OBJDUMP}" -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
    endif()
    if(NOT dump MATCHES "file format ${FORMAT}")
        message(FATAL_ERROR "${DLL} is not in the file format ${FORMAT}")
    endif()
    # Entries look like "\t[   4] memory_allocate"; brackets would confuse
    # CMake's lists, so they go before the text is split into lines.
    string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t[^\n]+\n)+" table "${dump}")
    string(FIND "${table}" "\n" header_end)
    math(EXPR header_end "${header_end} + 1")
    string(SUBSTRING "${table}" ${header_end} -1 table)
    string(REGEX REPLACE "\t\\[ *[0-9]+\\] " "" table "${table}")
    string(STRIP "${table}" table)
    string(REPLACE "\n" ";" exported "${table}")
    # C++ classes and functions are exported by their (mangled) declarations.
    list(FILTER exported EXCLUDE REGEX "^_Z")
    compare("the export table of ${DLL}" "${listed}" "${exported}")
endif()
message(STATUS "${count} functions exported by their plain names")
