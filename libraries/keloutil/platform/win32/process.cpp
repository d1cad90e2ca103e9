// SPDX-License-Identifier: MIT
// Child processes on Windows: two anonymous pipes whose child-side ends are
// inherited through the start-up record, and CreateProcessW with the
// program given as the application name (so it is not searched and gets no
// extension) and the command line as the rest.
#include "platform/os.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <initializer_list>

namespace keloutil::os {

namespace {

void close_all(std::initializer_list<HANDLE> handles) {
    for (HANDLE handle : handles)
        if (handle != nullptr) CloseHandle(handle);
}

} // namespace

bool spawn_with_pipes(const str_t* program, const str_t* command_line, const std::vector<std::string>&,
                      ChildPipes* child) {
    const WideText application(program);
    WideText line(command_line); // CreateProcessW may write into it
    if (!application.valid() || !line.valid()) return false;

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};

    // Both pipes are made inheritable; the parent's ends are then taken out
    // of the inheritance so that only the child's ends reach it.
    HANDLE outRead = nullptr, outWrite = nullptr, inRead = nullptr, inWrite = nullptr;
    if (!CreatePipe(&outRead, &outWrite, &attributes, 0)) return false;
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    if (!CreatePipe(&inRead, &inWrite, &attributes, 0)) {
        close_all({outRead, outWrite});
        return false;
    }
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);

    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    startup.hStdInput = inRead;
    startup.dwFlags |= STARTF_USESTDHANDLES;
    if (!CreateProcessW(application.get(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                        &startup, &info)) {
        close_all({outRead, outWrite, inRead, inWrite});
        return false;
    }
    // Only the id is kept. The child has its own copies of its ends; the
    // reader of the output sees the end of the data only once no write end
    // is left open here.
    close_all({info.hThread, info.hProcess, inRead, outWrite});
    *child = ChildPipes{info.dwProcessId, inWrite, outRead, inRead, outWrite};
    return true;
}

bool process_exists(uint32_t pid, int32_t*) {
    // No access right is needed to learn that the process can be opened.
    HANDLE process = OpenProcess(0, FALSE, pid);
    if (process == nullptr) return false;
    CloseHandle(process);
    return true;
}

bool wait_for_process(uint32_t, int32_t*) { return false; } // no waiting on this platform

void close_handle(void* handle) {
    if (handle != invalid_handle() && handle != nullptr) CloseHandle(handle);
}

} // namespace keloutil::os
