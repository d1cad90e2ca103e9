// SPDX-License-Identifier: MIT
#include "platform.hpp"

#include "platform/win32/file_replace.h"

#include <keloutil/tprocess.hpp>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h> // before shellapi.h, which relies on it

#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kelo {

namespace {

std::wstring wide_path(const std::string& path) { return std::filesystem::u8path(path).wstring(); }

std::string last_error_text() { return std::error_code(static_cast<int>(GetLastError()), std::system_category()).message(); }

std::string utf8_from_wide(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back(); // the terminator
    return out;
}

} // namespace

// argv holds the arguments in the ANSI code page, which cannot represent
// every file name; the wide command line can.
Arguments command_line_arguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    Arguments arguments;
    for (int i = 1; wide != nullptr && i < count; ++i) arguments.push_back(utf8_from_wide(wide[i]));
    LocalFree(wide);
    return arguments;
}

void use_binary_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

// A device (NUL, CON) or a pipe is no file on disk.
bool is_device(const std::string& path) {
    const HANDLE file = CreateFileW(wide_path(path).c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool device = GetFileType(file) != FILE_TYPE_DISK;
    CloseHandle(file);
    return device;
}

std::FILE* open_for_writing(const std::string& path) { return _wfopen(wide_path(path).c_str(), L"wb"); }

std::FILE* open_for_reading(const std::string& path) { return _wfopen(wide_path(path).c_str(), L"rb"); }

std::string replace_file(const std::string& path, bool (*write)(std::FILE*, void*), void* context) {
    return keloutil::os::replace_file(wide_path(path), write, context, false) ? std::string() : last_error_text();
}

// A command with a path in it is used as it is; a bare name is searched as
// SearchPathW does, in kelo's folder, the current folder, the system folders
// and the PATH, with ".exe" added when the name has no extension. A folder
// is refused with 126; whether a file can be run only starting it tells.
Program find_program(const std::string& command) {
    const bool bare = command.find_first_of("/\\:") == std::string::npos;
    std::wstring found = wide_path(command);
    if (bare) {
        const std::wstring name = found;
        found.assign(MAX_PATH, L'\0');
        for (;;) {
            const DWORD size =
                SearchPathW(nullptr, name.c_str(), L".exe", static_cast<DWORD>(found.size()), found.data(), nullptr);
            if (size == 0) return {{}, 127, "not found on the PATH"};
            if (size < found.size()) {
                found.resize(size);
                break;
            }
            found.resize(size); // the size needed, terminator included
        }
    }
    const DWORD attributes = GetFileAttributesW(found.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {{}, 127, "not found"};
        return {{}, 126, last_error_text()};
    }
    const std::string path = utf8_from_wide(found.c_str());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return {{}, 126, bare ? path + ": is a directory" : "is a directory"};
    return {path, 0, {}};
}

// The started program reads its arguments from its command line as
// CommandLineToArgvW does: blanks and tabs separate them, double quotes
// group, and backslashes escape a double quote (2n backslashes before one
// stand for n, 2n + 1 for n and the quote itself). Single quotes mean
// nothing, so every argument is written in double quotes when it needs any.
std::string quoted_argument(const std::string& argument, const std::string&) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(2 * backslashes, '\\'); // before the closing quote
    quoted += '"';
    return quoted;
}

// A write to a pipe without a reader fails with ERROR_NO_DATA; nothing ends.
void ignore_broken_pipes() {}

void* standard_input() { return GetStdHandle(STD_INPUT_HANDLE); }

void* standard_output() { return GetStdHandle(STD_OUTPUT_HANDLE); }

// A pipe whose writers have all gone fails with ERROR_BROKEN_PIPE: its end.
size_t read_some(void* handle, char* buffer, size_t size) {
    DWORD got = 0;
    if (!ReadFile(handle, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
    return got;
}

bool write_all(void* handle, const char* data, size_t size) {
    while (size > 0) {
        DWORD put = 0;
        if (!WriteFile(handle, data, static_cast<DWORD>(size), &put, nullptr) || put == 0) return false;
        data += put;
        size -= put;
    }
    return true;
}

// TProcess keeps only the child's id and its wait answers -1 at once here.
// A handle to the child, opened as soon as it has started, keeps the process
// and its exit code until they are asked for. (A child that ended before
// that has taken its exit code with it: the status is then unknown.)
void* hold_child(const TProcess& process) {
    return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process.pid()));
}

int exit_status(TProcess&, void* held, const std::string& program) {
    DWORD code = 0;
    const bool known =
        held != nullptr && WaitForSingleObject(held, INFINITE) == WAIT_OBJECT_0 && GetExitCodeProcess(held, &code);
    if (held != nullptr) CloseHandle(held);
    if (known) return static_cast<int>(code);
    std::fprintf(stderr, "kelo run: the exit status of '%s' cannot be learned\n", program.c_str());
    return 1;
}

std::optional<std::string> environment_variable(const char* name) {
    const wchar_t* value = _wgetenv(std::filesystem::u8path(name).wstring().c_str());
    return value != nullptr ? std::optional<std::string>(utf8_from_wide(value)) : std::nullopt;
}

} // namespace kelo
