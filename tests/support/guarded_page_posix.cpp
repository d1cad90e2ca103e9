// SPDX-License-Identifier: MIT
// GuardedPage on POSIX: two anonymous pages, the second made inaccessible.
#include "guarded_page.hpp"

#include <sys/mman.h>
#include <unistd.h>

GuardedPage::GuardedPage() {
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0) return;
    page_ = static_cast<size_t>(page);
    void* pages = mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) return;
    readable_ = static_cast<unsigned char*>(pages);
    if (mprotect(readable_ + page_, page_, PROT_NONE) != 0) {
        munmap(pages, 2 * page_);
        readable_ = nullptr;
    }
}

GuardedPage::~GuardedPage() {
    if (readable_ != nullptr) munmap(readable_, 2 * page_);
}
