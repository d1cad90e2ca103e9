// Writing a whole file on Windows: into a new temporary file beside it,
// which takes over the file's access-control list and is then moved over
// it, so that a reader or a crash meets either the old content or the new
// one. Where the move is refused, the file is written in place.
#include "platform/os.h"
#include "platform/win32/wide_text.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h> // before aclapi.h, which relies on it

#include <aclapi.h>

#include <cwchar>
#include <string>

namespace keloutil::os {

namespace {

// Writes through `write` and closes the stream; true when everything
// reached the file (flushed, and with `sync` on the disk).
bool write_and_close(FILE* stream, FileWriter write, void* context, bool sync) {
    bool written = write(stream, context);
    written = std::fflush(stream) == 0 && written;
    written = written && (!sync || FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)))));
    return std::fclose(stream) == 0 && written;
}

// A new temporary file ".<name>.<number>.tmp" beside `target`, open for
// writing; INVALID_HANDLE_VALUE when the folder refuses one.
HANDLE create_temporary(const std::wstring& target, std::wstring& name) {
    const size_t separator = target.find_last_of(L"\\/");
    const std::wstring folder = separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1);
    const std::wstring base = target.substr(separator == std::wstring::npos ? 0 : separator + 1);
    unsigned long long seed = (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^ GetTickCount();
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter)) seed ^= static_cast<unsigned long long>(counter.QuadPart);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        wchar_t number[17];
        std::swprintf(number, 17, L"%016llx", seed);
        name = folder + L"." + base + L"." + number + L".tmp";
        const HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// Gives the temporary file the access-control list of the file it will
// replace (a null list, open to everyone, included); best effort.
void copy_access_list(const std::wstring& from, const std::wstring& to) {
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(from.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &list,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    SECURITY_INFORMATION information = DACL_SECURITY_INFORMATION;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision))
        information |= (control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                                     : UNPROTECTED_DACL_SECURITY_INFORMATION;
    SetNamedSecurityInfoW(const_cast<wchar_t*>(to.c_str()), SE_FILE_OBJECT, information, nullptr, nullptr, list,
                          nullptr);
    LocalFree(descriptor);
}

// Whether the file has other names besides this one.
bool has_other_links(const std::wstring& target) {
    const HANDLE file = CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information;
    const bool linked = GetFileInformationByHandle(file, &information) && information.nNumberOfLinks > 1;
    CloseHandle(file);
    return linked;
}

enum class Outcome { written, failed, refused };

// The write through a temporary file; `refused` when this target cannot be
// replaced that way and must be written in place.
Outcome replace(const std::wstring& target, bool exists, FileWriter write, void* context) {
    std::wstring temporary;
    const HANDLE file = create_temporary(target, temporary);
    if (file == INVALID_HANDLE_VALUE) return Outcome::refused;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd == -1) CloseHandle(file);
    FILE* stream = fd != -1 ? _fdopen(fd, "wb") : nullptr;
    if (fd != -1 && stream == nullptr) _close(fd);
    if (stream == nullptr || !write_and_close(stream, write, context, true)) {
        DeleteFileW(temporary.c_str());
        return Outcome::failed;
    }
    if (exists) copy_access_list(target, temporary);
    if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Outcome::written;
    DeleteFileW(temporary.c_str());
    return Outcome::refused;
}

} // namespace

bool write_whole_file(const str_t* path, FileWriter write, void* context) {
    const std::wstring target = WideText(path).get();
    if (target.empty()) return false;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // As opening it for writing would: a read-only file is refused.
    if (exists && _waccess(target.c_str(), 2) != 0) return false;
    // A link or a file with other names must stay what it is.
    if (!exists || ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && !has_other_links(target))) {
        const Outcome outcome = replace(target, exists, write, context);
        if (outcome != Outcome::refused) return outcome == Outcome::written;
    }
    FILE* stream = _wfopen(target.c_str(), L"wb");
    return stream != nullptr && write_and_close(stream, write, context, false);
}

// Files written in place here get no copy of their old content (yet), so
// there is nothing to put back.
bool restore_interrupted_write(const str_t*) { return true; }

bool grant_open_access(const str_t* path) {
    std::wstring target = WideText(path).get();
    return SetNamedSecurityInfoW(target.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                                 nullptr) == ERROR_SUCCESS;
}

} // namespace keloutil::os
