// Writing a whole file on Windows: into a new temporary file beside it,
// which takes over the file's access-control list and is then moved over
// it, so that a reader or a crash meets either the old content or the new
// one. Targets that a move would break are written in place instead,
// behind a copy of the old content.
#include "platform/win32/file_replace.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h> // before aclapi.h, which relies on it

#include <aclapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace keloutil::os {

namespace {

// Keeps the last error through the clean-up after a failure, so that the
// caller learns the failure's cause rather than the clean-up's.
class KeptError {
public:
    KeptError() : error_(GetLastError()) {}
    ~KeptError() { SetLastError(error_); }
    KeptError(const KeptError&) = delete;
    KeptError& operator=(const KeptError&) = delete;

private:
    DWORD error_;
};

// A path cut into its folder (with its separator; empty for the current
// folder) and the file's name.
struct Place {
    std::wstring folder, name;
    explicit Place(const std::wstring& path) {
        const size_t separator = path.find_last_of(L"\\/");
        folder = separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
        name = path.substr(separator == std::wstring::npos ? 0 : separator + 1);
    }
    std::wstring beside(const std::wstring& suffix) const { return folder + L"." + name + suffix; }
    std::wstring rollback() const { return beside(L".rollback"); }
};

// The final target of a symbolic link (or other name surrogate), as far as
// it leads; any other path as it is.
std::wstring final_target(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return path;
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return path;
    std::wstring target(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = GetFinalPathNameByHandleW(file, target.data(), static_cast<DWORD>(target.size()),
                                                     FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (size == 0) target = path;
        if (size == 0 || size < target.size()) {
            if (size != 0) target.resize(size);
            break;
        }
        target.resize(size); // the size needed, terminator included
    }
    CloseHandle(file);
    return target;
}

// Temporary files are ".<name>.<16 hex digits>.tmp" beside the file.
bool temporary_of(const std::wstring& entry, const std::wstring& name) {
    const std::wstring prefix = L"." + name + L".";
    if (entry.size() != prefix.size() + 20 || _wcsnicmp(entry.c_str(), prefix.c_str(), prefix.size()) != 0 ||
        _wcsicmp(entry.c_str() + entry.size() - 4, L".tmp") != 0)
        return false;
    for (size_t i = prefix.size(); i < prefix.size() + 16; ++i)
        if (!std::iswxdigit(entry[i])) return false;
    return true;
}

// Removes the temporary files of `target` that writes which died left:
// the caller holds the file's locks, so no live write owns one.
void remove_stale_temporaries(const Place& target) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(target.beside(L".*.tmp").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (temporary_of(entry.cFileName, target.name)) DeleteFileW((target.folder + entry.cFileName).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

// A new temporary file beside `target`, open for writing;
// INVALID_HANDLE_VALUE when the folder refuses one.
HANDLE create_temporary(const Place& target, std::wstring& name) {
    unsigned long long seed = (static_cast<unsigned long long>(GetCurrentProcessId()) << 32) ^ GetTickCount();
    LARGE_INTEGER counter;
    if (QueryPerformanceCounter(&counter)) seed ^= static_cast<unsigned long long>(counter.QuadPart);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        wchar_t number[18];
        std::swprintf(number, 18, L".%016llx", seed);
        name = target.beside(number) + L".tmp";
        const HANDLE file =
            CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

// A stream over an open file handle, which it then owns; nullptr (and the
// handle closed) when none can be made.
FILE* stream_of(HANDLE file, const char* mode) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
    if (fd == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(fd, mode);
    if (stream == nullptr) _close(fd);
    return stream;
}

// Writes through `write` and flushes the stream to the disk, leaving it open.
bool write_and_flush(FILE* stream, bool (*write)(FILE*, void*), void* context) {
    const bool written = write(stream, context);
    return std::fflush(stream) == 0 && written &&
           FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
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

// ---- writing in place -----------------------------------------------------------
//
// A file that must be written in place gets its old content copied to
// ".NAME.rollback" beside it first; the copy goes once the new content is
// flushed. A write that dies in between leaves the copy, and the next
// write or settings open, holding the file's locks, puts it back. Where no
// copy can be made, the space the new content needs is reserved before the
// old content is touched, so that a full disk cannot cut it short.

bool read_all(HANDLE file, std::string& bytes) {
    bytes.clear();
    char block[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, block, sizeof block, &got, nullptr)) return false;
        if (got == 0) return true;
        bytes.append(block, got);
    }
}

// Writes `bytes` over the file from its start, cuts it there and flushes it.
bool overwrite(HANDLE file, const std::string& bytes) {
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    for (size_t done = 0; done < bytes.size();) {
        DWORD put = 0;
        const DWORD size = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        if (!WriteFile(file, bytes.data() + done, size, &put, nullptr) || put == 0) return false;
        done += put;
    }
    return SetEndOfFile(file) && FlushFileBuffers(file);
}

// The new content as bytes, made through a file in the user's temporary
// folder that goes when it is closed.
bool content_of(bool (*write)(FILE*, void*), void* context, std::string& bytes) {
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"kel", 0, name) == 0) return false;
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const KeptError error;
        DeleteFileW(name);
        return false;
    }
    FILE* stream = stream_of(file, "w+b");
    if (stream == nullptr) return false;
    bool made = write(stream, context) && std::fflush(stream) == 0 && std::fseek(stream, 0, SEEK_SET) == 0;
    made = made && read_all(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), bytes);
    std::fclose(stream);
    return made;
}

// The copy of the old content `bytes` of `target`, made whole in a
// temporary file before it takes its name, so that a copy is only ever
// found whole; false (and no copy) when it cannot be made.
bool write_copy(const Place& target, const std::string& bytes) {
    std::wstring temporary;
    const HANDLE file = create_temporary(target, temporary);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool copied = overwrite(file, bytes);
    if (CloseHandle(file) && copied &&
        MoveFileExW(temporary.c_str(), target.rollback().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temporary.c_str());
    return false;
}

// Takes the space for `size` bytes without changing the file's content.
bool reserve(HANDLE file, size_t size) {
    FILE_ALLOCATION_INFO allocation;
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (SetFileInformationByHandle(file, FileAllocationInfo, &allocation, sizeof allocation)) return true;
    // A file system that cannot reserve: nothing better to do.
    return GetLastError() != ERROR_DISK_FULL;
}

bool write_in_place(const std::wstring& path, const std::string& content) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const Place target(path);
    std::string old;
    bool ready = read_all(file, old);
    const bool copied = ready && write_copy(target, old);
    if (ready && !copied && content.size() > old.size()) ready = reserve(file, content.size());
    const bool written = ready && overwrite(file, content);
    const KeptError error;
    // A write that failed puts the old content back at once where it can.
    if (ready && !written && overwrite(file, old) && copied) DeleteFileW(target.rollback().c_str());
    CloseHandle(file);
    if (written && copied) DeleteFileW(target.rollback().c_str());
    return written;
}

enum class Outcome { written, failed, refused };

// The write through a temporary file; `refused` when this target cannot be
// replaced that way and must be written in place.
Outcome replace(const std::wstring& target, bool exists, bool (*write)(FILE*, void*), void* context) {
    std::wstring temporary;
    const HANDLE file = create_temporary(Place(target), temporary);
    if (file == INVALID_HANDLE_VALUE) return Outcome::refused;
    FILE* stream = stream_of(file, "wb");
    const bool written = stream != nullptr && write_and_flush(stream, write, context);
    const bool closed = stream != nullptr && std::fclose(stream) == 0;
    if (!written || !closed) {
        const KeptError error;
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

bool restore_interrupted_write(const std::wstring& path) {
    const Place target(final_target(path));
    const HANDLE copy = CreateFileW(target.rollback().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (copy == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    std::string old;
    const bool read = read_all(copy, old);
    CloseHandle(copy);
    const HANDLE file = CreateFileW((target.folder + target.name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool restored = read && overwrite(file, old);
    CloseHandle(file);
    if (restored) DeleteFileW(target.rollback().c_str());
    return restored;
}

bool replace_file(const std::wstring& path, bool (*write)(FILE*, void*), void* context, bool exclusive) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    const std::wstring target = final_target(path);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // As opening it for writing would: a folder and a read-only file are
    // refused.
    if (exists && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || _waccess(target.c_str(), 2) != 0)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (exclusive) remove_stale_temporaries(Place(target));
    // A file with other names must stay one file.
    if (!exists || !has_other_links(target)) {
        const Outcome outcome = replace(target, exists, write, context);
        if (outcome != Outcome::refused) return outcome == Outcome::written;
    }
    std::string content;
    return content_of(write, context, content) && write_in_place(target, content);
}

} // namespace keloutil::os
