// SPDX-License-Identifier: MIT
#include "child_process.hpp"

#include <windows.h>

#include <filesystem>

namespace {

std::wstring wide(const std::string& text) { return std::filesystem::u8path(text).wstring(); }

// One argument quoted so that the child's CommandLineToArgvW gives it back
// unchanged: backslashes are doubled only before a quote.
void append_quoted(std::wstring& line, const std::wstring& argument) {
    line += L'"';
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

HANDLE process(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

} // namespace

std::string sibling_program(const std::string& name) {
    std::wstring self(MAX_PATH, L'\0');
    DWORD size;
    while ((size = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()))) == self.size())
        self.resize(self.size() * 2);
    self.resize(size);
    return (std::filesystem::path(self).parent_path() / (name + ".exe")).u8string();
}

std::string read_all(void* handle) {
    std::string data;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
    return data;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
    const std::wstring path = wide(program);
    std::wstring line;
    append_quoted(line, path);
    for (const std::string& argument : arguments) {
        line += L' ';
        append_quoted(line, wide(argument));
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        handle_ = reinterpret_cast<intptr_t>(info.hProcess);
    }
}

ChildProcess::~ChildProcess() {
    if (running()) kill();
    wait();
    if (handle_ != 0) CloseHandle(process(handle_));
}

bool ChildProcess::running() {
    return handle_ != 0 && !ended_ && WaitForSingleObject(process(handle_), 0) == WAIT_TIMEOUT;
}

int ChildProcess::wait() {
    if (handle_ != 0 && !ended_ && WaitForSingleObject(process(handle_), INFINITE) == WAIT_OBJECT_0) {
        DWORD code = 0;
        if (GetExitCodeProcess(process(handle_), &code)) exit_code_ = static_cast<int>(code);
        ended_ = true;
    }
    return killed_ ? -1 : exit_code_;
}

void ChildProcess::kill() {
    if (handle_ != 0 && !ended_) killed_ = TerminateProcess(process(handle_), 1) != 0;
}
