# SPDX-License-Identifier: MIT
# Makes the manual page kelo.1 and the bash completion file of kelo from the
# text that `kelo --help` prints, so that both say what the program says.
# Run at build time as:
#   cmake -DKELO=<kelo> -DVERSION=<version> -DTEMPLATE=<completion template>
#         -DMAN_PAGE=<kelo.1> -DCOMPLETION=<kelo> -P make_manual.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${KELO}" --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "kelo --help failed (${status})")
endif()
# One list item per line; ";" would split items, so it is kept as a marker.
string(REPLACE ";" "\\x3b" help "${help}")
string(REPLACE "\n" ";" lines "${help}")

# Text for roff: "\" is written "\e", "-" as "\-", and a line must not start
# with a control character.
function(roff text var)
    string(REPLACE "\\x3b" ";" text "${text}")
    string(REPLACE "\\" "\\e" text "${text}")
    string(REPLACE "-" "\\-" text "${text}")
    if(text MATCHES "^[.']")
        set(text "\\&${text}")
    endif()
    set(${var} "${text}" PARENT_SCOPE)
endfunction()

string(TIMESTAMP today "%Y-%m-%d" UTC)
set(page ".TH KELO 1 \"${today}\" \"keloutil ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nkelo \\- the keloutil command-line tool\n")
set(commands "")
set(operations_str "")
set(operations_path "")
set(operations_settings "")
foreach(line IN LISTS lines)
    if(line MATCHES "^Usage: (.*)")
        roff("${CMAKE_MATCH_1}" synopsis)
        string(APPEND page ".SH SYNOPSIS\n.B ${synopsis}\n.SH COMMANDS\n")
    elseif(line MATCHES "^kelo ([a-z-]+)( ([a-z-]+))?")
        # A command's usage line: "kelo COMMAND" or "kelo COMMAND OPERATION".
        set(command "${CMAKE_MATCH_1}")
        set(operation "${CMAKE_MATCH_3}")
        list(APPEND commands "${command}")
        if(command MATCHES "^(str|path|settings)$" AND operation)
            list(APPEND operations_${command} "${operation}")
        endif()
        roff("${line}" text)
        string(APPEND page ".TP\n.B ${text}\n")
    elseif(line MATCHES "^    (.*)")
        roff("${CMAKE_MATCH_1}" text)
        string(APPEND page "${text}\n")
    elseif(NOT line STREQUAL "")
        roff("${line}" text)
        if(NOT page MATCHES "\\.SH EXIT STATUS\n")
            string(APPEND page ".SH EXIT STATUS\n")
        endif()
        string(APPEND page "${text}\n")
    endif()
endforeach()
file(WRITE "${MAN_PAGE}" "${page}")

list(REMOVE_DUPLICATES commands)
foreach(list commands operations_str operations_path operations_settings)
    list(REMOVE_DUPLICATES ${list})
    string(REPLACE ";" " " ${list} "${${list}}")
endforeach()
configure_file("${TEMPLATE}" "${COMPLETION}" @ONLY)
