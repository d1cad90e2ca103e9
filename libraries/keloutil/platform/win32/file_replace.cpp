// SPDX-License-Identifier: MIT
// Writing a whole file on Windows: into a new temporary file beside it,
// which takes over the file's access-control list and is then moved over
// it, so that a reader or a crash meets either the old content or the new
// one. Targets that a move would break are written in place instead,
// behind a copy of the old content.
//
// Every name the write needs is made before anything is created or opened,
// and handles close themselves, so that memory running out (a throw)
// leaves nothing behind; past the move nothing can fail any more.
#include "platform/win32/file_replace.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h> // before aclapi.h, which relies on it

#include <aclapi.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <vector>
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

// An open handle, closed when it goes.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (valid()) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Closes it now; false when the close reports an error.
    bool close() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != 0;
    }
    // Hands the handle over (to a stream).
    HANDLE release() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }

private:
    HANDLE handle_;
};

// The names a write of a file uses beside it: its folder (with its
// separator; empty for the current folder), its name, and its copy of old
// content (".NAME.rollback").
struct Place {
    explicit Place(const std::wstring& path)
        : file(path), folder(path.substr(0, path.find_last_of(L"\\/") + 1)), name(path.substr(folder.size())),
          rollback(beside(L".rollback")) {}
    std::wstring file, folder, name, rollback;
    std::wstring beside(const std::wstring& suffix) const { return folder + L"." + name + suffix; }
};

// Calls the writer; one that throws has failed, as one that answers false.
bool wrote(bool (*write)(FILE*, void*), FILE* stream, void* context) {
    try {
        return write(stream, context);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

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

// Temporary files are ".<name>.<16 hex digits>.tmp" beside the file:
// `prefix` is ".<name>.".
bool temporary_of(const wchar_t* entry, const std::wstring& prefix) {
    const size_t size = std::wcslen(entry);
    if (size != prefix.size() + 20 || _wcsnicmp(entry, prefix.c_str(), prefix.size()) != 0 ||
        _wcsicmp(entry + size - 4, L".tmp") != 0)
        return false;
    for (size_t i = prefix.size(); i < prefix.size() + 16; ++i)
        if (!std::iswxdigit(entry[i])) return false;
    return true;
}

// Removes the temporary files of `target` that writes which died left:
// the caller holds the file's locks, so no live write owns one. The names
// are gathered first, so that no search is open while memory may run out.
void remove_stale_temporaries(const Place& target) {
    const std::wstring prefix = L"." + target.name + L".", pattern = target.folder + prefix + L"*.tmp";
    std::vector<std::wstring> stale;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    try {
        do {
            if (temporary_of(entry.cFileName, prefix))
                stale.push_back(target.folder + entry.cFileName);
        } while (FindNextFileW(search, &entry));
    } catch (...) {
        FindClose(search);
        throw;
    }
    FindClose(search);
    for (const std::wstring& name : stale) DeleteFileW(name.c_str());
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
    const bool written = wrote(write, stream, context);
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
    const std::unique_ptr<FILE, decltype(&std::fclose)> stream(stream_of(file, "w+b"), &std::fclose);
    if (stream == nullptr) return false;
    const bool made = wrote(write, stream.get(), context) && std::fflush(stream.get()) == 0 &&
                      std::fseek(stream.get(), 0, SEEK_SET) == 0;
    return made && read_all(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream.get()))), bytes);
}

// The copy of the old content `bytes` of `target`, made whole in a
// temporary file before it takes its name, so that a copy is only ever
// found whole; false (and no copy) when it cannot be made.
bool write_copy(const Place& target, const std::string& bytes) {
    std::wstring temporary;
    Handle file(create_temporary(target, temporary));
    if (!file.valid()) return false;
    const bool copied = overwrite(file.get(), bytes);
    if (file.close() && copied &&
        MoveFileExW(temporary.c_str(), target.rollback.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
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

bool write_in_place(const Place& target, const std::string& content) {
    Handle file(CreateFileW(target.file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    std::string old;
    bool ready = read_all(file.get(), old);
    const bool copied = ready && write_copy(target, old);
    if (ready && !copied && content.size() > old.size()) ready = reserve(file.get(), content.size());
    const bool written = ready && overwrite(file.get(), content);
    const KeptError error;
    // A write that failed puts the old content back at once where it can.
    if (ready && !written && overwrite(file.get(), old) && copied) DeleteFileW(target.rollback.c_str());
    if (written && copied) DeleteFileW(target.rollback.c_str());
    return written;
}

enum class Outcome { written, failed, refused };

// The write through a temporary file; `refused` when this target cannot be
// replaced that way and must be written in place.
Outcome replace(const Place& target, bool exists, bool (*write)(FILE*, void*), void* context) {
    std::wstring temporary;
    Handle file(create_temporary(target, temporary));
    if (!file.valid()) return Outcome::refused;
    FILE* stream = stream_of(file.release(), "wb");
    const bool written = stream != nullptr && write_and_flush(stream, write, context);
    const bool closed = stream != nullptr && std::fclose(stream) == 0;
    if (!written || !closed) {
        const KeptError error;
        DeleteFileW(temporary.c_str());
        return Outcome::failed;
    }
    if (exists) copy_access_list(target.file, temporary);
    if (MoveFileExW(temporary.c_str(), target.file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Outcome::written;
    DeleteFileW(temporary.c_str());
    return Outcome::refused;
}

bool replace_or_write_in_place(const std::wstring& path, bool (*write)(FILE*, void*), void* context,
                               bool exclusive) {
    const Place target(final_target(path));
    const DWORD attributes = GetFileAttributesW(target.file.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // As opening it for writing would: a folder and a read-only file are
    // refused.
    if (exists && ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || _waccess(target.file.c_str(), 2) != 0)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    if (exclusive) remove_stale_temporaries(target);
    // A file with other names must stay one file.
    if (!exists || !has_other_links(target.file)) {
        const Outcome outcome = replace(target, exists, write, context);
        if (outcome != Outcome::refused) return outcome == Outcome::written;
    }
    std::string content;
    return content_of(write, context, content) && write_in_place(target, content);
}

} // namespace

bool restore_interrupted_write(const std::wstring& path) {
    try {
        const Place target(final_target(path));
        Handle copy(CreateFileW(target.rollback.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!copy.valid()) return GetLastError() == ERROR_FILE_NOT_FOUND;
        std::string old;
        if (!read_all(copy.get(), old)) return false;
        copy.close();
        Handle file(CreateFileW(target.file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid() || !overwrite(file.get(), old)) return false;
        file.close();
        DeleteFileW(target.rollback.c_str());
        return true;
    } catch (...) { // memory ran out
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

bool replace_file(const std::wstring& path, bool (*write)(FILE*, void*), void* context, bool exclusive) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    try {
        return replace_or_write_in_place(path, write, context, exclusive);
    } catch (...) { // memory ran out before anything changed
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

} // namespace keloutil::os
