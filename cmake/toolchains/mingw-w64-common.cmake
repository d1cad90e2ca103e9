# SPDX-License-Identifier: MIT
# Shared by the mingw-w64 toolchain files; KELOUTIL_MINGW_TRIPLE names the target.
#
# The -posix compilers are the ones with std::thread support that GoogleTest
# needs. Everything links statically, so the DLLs and the programs import only
# the system DLLs (KERNEL32, msvcrt and those the library calls).
set(CMAKE_C_COMPILER ${KELOUTIL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELOUTIL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KELOUTIL_MINGW_TRIPLE}-windres)
set(CMAKE_OBJDUMP ${KELOUTIL_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KELOUTIL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows programs of the build run under Wine: ctest and test discovery go
# through it. The i686 build's run under 32-bit Wine where it is installed
# and this machine can run 32-bit programs; elsewhere they are only built.
if(KELOUTIL_MINGW_TRIPLE STREQUAL "x86_64-w64-mingw32")
    set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
elseif(EXISTS /usr/lib/wine/wine)
    execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../../scripts/can-run-32bit.sh RESULT_VARIABLE runs_32bit)
    if(runs_32bit EQUAL 0)
        set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
    endif()
endif()
