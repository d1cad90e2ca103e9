// SPDX-License-Identifier: MIT
// Files, directories and the running program on Windows: the runtime's
// wide-character functions and the shell's command-line splitter, each
// given a UTF-16LE copy of the path.
#include "platform/os.h"
#include "platform/win32/file_replace.h"
#include "platform/win32/wide_text.h"

#include <keloutil/memory.h>

#include <direct.h>
#include <io.h>
#include <windows.h> // before shellapi.h, which relies on it

#include <aclapi.h>
#include <shellapi.h>

#include <new>

namespace keloutil::os {

str_t* current_directory() {
    // 2048 UTF-16 units and a terminator, zero-filled: an unreadable
    // directory leaves it empty.
    auto* buffer = static_cast<wchar_t*>(memory_allocate(4098));
    if (buffer == nullptr) return nullptr;
    _wgetcwd(buffer, 2048);
    str_t* directory = str_from(buffer, static_cast<int32_t>(2 * wcslen(buffer)), STR_ENC_UTF16LE);
    memory_free(buffer);
    return directory;
}

bool change_directory(const str_t* path) {
    const WideText wide(path);
    return wide.valid() && _wchdir(wide.get()) == 0;
}

bool file_exists(const str_t* path) { return GetFileAttributesW(WideText(path).get()) != INVALID_FILE_ATTRIBUTES; }

void file_status(const str_t* path, FileStatus* status) { _wstat64i32(WideText(path).get(), status); }

FILE* open_file(const str_t* path, const char* mode) {
    const WideText wide_path(path);
    str_t* mode_text = str_from_cstr(mode);
    const bool mode_made = !str_null(mode_text);
    const WideText wide_mode(mode_text);
    str_uninit(mode_text);
    if ((!wide_path.valid() && !str_null(path)) || !mode_made || !wide_mode.valid()) throw std::bad_alloc();
    return _wfopen(wide_path.get(), wide_mode.get());
}

FILE* open_regular_file(const str_t* path) {
    FILE* stream = open_file(path, "rb");
    if (stream == nullptr) return nullptr;
    // A device (CON, a pipe) is opened at once, but reading it may wait.
    if (GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))) == FILE_TYPE_DISK) return stream;
    std::fclose(stream);
    return nullptr;
}

int32_t make_directory(const str_t* path, int32_t) { return _wmkdir(WideText(path).get()); }

int32_t remove_directory(const str_t* path) { return _wrmdir(WideText(path).get()); }

int32_t remove_file(const str_t* path) { return _wunlink(WideText(path).get()); }

bool may_access(const str_t* path, bool write) { return _waccess(WideText(path).get(), write ? 2 : 4) == 0; }

bool write_whole_file(const str_t* path, FileWriter write, void* context) {
    const WideText target(path);
    return target.valid() && replace_file(target.get(), write, context, true);
}

bool restore_interrupted_write(const str_t* path) {
    const WideText target(path);
    return target.valid() && (*target.get() == L'\0' || restore_interrupted_write(std::wstring(target.get())));
}

bool grant_open_access(const str_t* path) {
    WideText target(path);
    return target.valid() && SetNamedSecurityInfoW(target.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                                   nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool root_is_absolute() { return false; }

str_t* native_path(const str_t* path) { return str_dup(path); }

str_t* program_as_started() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return str_from_utf8("");
    str_t* program = count > 0 ? str_from(arguments[0], static_cast<int32_t>(2 * wcslen(arguments[0])), STR_ENC_UTF16LE)
                               : str_from_utf8("");
    GlobalFree(arguments);
    return program;
}

const char* program_file_pattern() { return "%1.exe"; }

} // namespace keloutil::os
