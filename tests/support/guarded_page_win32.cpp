// SPDX-License-Identifier: MIT
// GuardedPage on Windows: two committed pages, the second made inaccessible.
#include "guarded_page.hpp"

#include <windows.h>

GuardedPage::GuardedPage() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    page_ = system.dwPageSize;
    void* pages = VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (pages == nullptr) return;
    readable_ = static_cast<unsigned char*>(pages);
    DWORD before;
    if (!VirtualProtect(readable_ + page_, page_, PAGE_NOACCESS, &before)) {
        VirtualFree(pages, 0, MEM_RELEASE);
        readable_ = nullptr;
    }
}

GuardedPage::~GuardedPage() {
    if (readable_ != nullptr) VirtualFree(readable_, 0, MEM_RELEASE);
}
