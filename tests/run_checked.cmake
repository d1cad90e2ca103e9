# SPDX-License-Identifier: MIT
# run(COMMAND...): runs a command from a cmake -P test script, stops the test
# with the command and its output when it fails, and leaves its output
# (standard output and error together) in `output` of the caller.
function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "failed (${result}): ${command}\n${output}")
    endif()
    set(output "${output}" PARENT_SCOPE)
endfunction()
