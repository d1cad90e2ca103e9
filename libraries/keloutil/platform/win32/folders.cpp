// SPDX-License-Identifier: MIT
// The standard folders on Windows: Common Files from the registry, else
// from the shell; the common application data folder from the shell; the
// user's local application data folder from the shell's known folders
// where this system has them, else from its older folder call.
#include "platform/os.h"

#include <keloutil/memory.h>

#include <windows.h>
#include <shlobj.h>

#include <cwchar>

namespace keloutil::os {

namespace {

// A new string from zero-terminated UTF-16; nullptr for an empty text.
str_t* from_wide(const wchar_t* text) {
    const size_t units = std::wcslen(text);
    if (units == 0 || units > INT32_MAX / 2) return nullptr;
    return str_from(text, static_cast<int32_t>(units * 2), STR_ENC_UTF16LE);
}

// A folder of the shell by its CSIDL, as it is by default (SHGFP_TYPE_DEFAULT).
str_t* shell_folder(int csidl) {
    wchar_t path[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_DEFAULT, path))) return nullptr;
    return from_wide(path);
}

// The REG_SZ value "CommonFilesDir" of the Windows version key.
str_t* registry_common_files() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return nullptr;
    str_t* folder = nullptr;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"CommonFilesDir", nullptr, &type, nullptr, &size) == ERROR_SUCCESS && size > 0) {
        // One unit more than the value, zeroed: a stored text need not end
        // with its terminator.
        const DWORD capacity = size + sizeof(wchar_t);
        auto* text = static_cast<wchar_t*>(memory_allocate(capacity));
        if (text != nullptr) {
            ZeroMemory(text, capacity);
            if (RegQueryValueExW(key, L"CommonFilesDir", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
                    ERROR_SUCCESS &&
                type == REG_SZ)
                folder = from_wide(text);
            memory_free(text);
        }
    }
    RegCloseKey(key);
    return folder;
}

// LocalAppData, {F1B32785-6FBA-4FCF-9D55-7B8E7F157091}.
const GUID local_app_data = {0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};

using KnownFolderPath = HRESULT(WINAPI*)(const GUID& folder, DWORD flags, HANDLE token, PWSTR* path);

// The known folder LocalAppData, looked up at run time: systems before
// Vista have no SHGetKnownFolderPath.
str_t* known_local_app_data() {
    HMODULE shell = GetModuleHandleW(L"shell32.dll");
    const bool loaded_here = shell == nullptr;
    if (loaded_here) shell = LoadLibraryW(L"shell32.dll");
    if (shell == nullptr) return nullptr;
    str_t* folder = nullptr;
    const FARPROC found = GetProcAddress(shell, "SHGetKnownFolderPath");
    if (found != nullptr) {
        // Through void(*)() to the real type: GetProcAddress answers a
        // generic function pointer.
        const auto known_folder_path = reinterpret_cast<KnownFolderPath>(reinterpret_cast<void (*)()>(found));
        PWSTR path = nullptr;
        if (SUCCEEDED(known_folder_path(local_app_data, 0, nullptr, &path)) && path != nullptr)
            folder = from_wide(path);
        CoTaskMemFree(path); // also after a failure that left a block
    }
    if (loaded_here) FreeLibrary(shell);
    return folder;
}

} // namespace

str_t* common_files_folder() {
    str_t* folder = registry_common_files();
    return folder != nullptr ? folder : shell_folder(CSIDL_PROGRAM_FILES_COMMON);
}

str_t* common_data_folder() { return shell_folder(CSIDL_COMMON_APPDATA); }

str_t* local_data_folder() {
    str_t* folder = known_local_app_data();
    return folder != nullptr ? folder : shell_folder(CSIDL_LOCAL_APPDATA);
}

} // namespace keloutil::os
