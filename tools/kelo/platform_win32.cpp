#include "platform.hpp"

#include "platform/win32/file_replace.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h> // before shellapi.h, which relies on it

#include <shellapi.h>

#include <cerrno>
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
// and the PATH, with ".exe" added when the name has no extension.
std::string find_program(const std::string& command) {
    if (command.find_first_of("/\\:") != std::string::npos) return command;
    const std::wstring name = wide_path(command);
    std::wstring found(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = SearchPathW(nullptr, name.c_str(), L".exe", static_cast<DWORD>(found.size()), found.data(), nullptr);
        if (size == 0) return {};
        if (size < found.size()) {
            found.resize(size);
            break;
        }
        found.resize(size); // the size needed, terminator included
    }
    const DWORD attributes = GetFileAttributesW(found.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {};
    return utf8_from_wide(found.c_str());
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

// wait does not wait here and has no exit status to give; the child's
// output has ended by the time it is asked.
int exit_status(long) { return 0; }

std::optional<std::string> environment_variable(const char* name) {
    const wchar_t* value = _wgetenv(std::filesystem::u8path(name).wstring().c_str());
    return value != nullptr ? std::optional<std::string>(utf8_from_wide(value)) : std::nullopt;
}

} // namespace kelo
