// SPDX-License-Identifier: MIT
// Folder locks on Windows: a named mutex per folder identity (volume serial
// number and file index), so that every path that leads to the folder
// meets the same mutex. The system releases it when its holder ends.
#include "platform/os.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <string>

namespace keloutil::os {

namespace {

std::wstring hex(DWORD value) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring text(8, L'0');
    for (int i = 7; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = digits[value & 15];
    return text;
}

} // namespace

intptr_t lock_folder_of(const str_t* file) {
    const WideText wide(file);
    if (!wide.valid()) return -1;
    std::wstring folder = wide.get();
    const size_t slash = folder.find_last_of(L"\\/");
    folder = slash == std::wstring::npos ? L"." : folder.substr(0, slash + 1);
    HANDLE handle = CreateFileW(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return -1;
    BY_HANDLE_FILE_INFORMATION identity;
    const bool known = GetFileInformationByHandle(handle, &identity) != 0;
    CloseHandle(handle);
    if (!known) return -1;
    const std::wstring name = L"Local\\keloutil-folder-" + hex(identity.dwVolumeSerialNumber) + L"-" +
                              hex(identity.nFileIndexHigh) + hex(identity.nFileIndexLow);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (mutex == nullptr) return -1;
    const DWORD waited = WaitForSingleObject(mutex, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return -1;
    }
    return reinterpret_cast<intptr_t>(mutex);
}

void unlock_folder(intptr_t lock) {
    if (lock == -1) return;
    HANDLE mutex = reinterpret_cast<HANDLE>(lock);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}

} // namespace keloutil::os
