// SPDX-License-Identifier: MIT
// Memory that ends where a page nobody may read begins: bytes placed at its
// end are the last readable ones, so a read past them faults at once, in any
// build. One source per platform implements it (guarded_page_posix.cpp,
// guarded_page_win32.cpp).
#ifndef KELOUTIL_TESTS_GUARDED_PAGE_HPP
#define KELOUTIL_TESTS_GUARDED_PAGE_HPP

#include <cstddef>
#include <cstring>
#include <string>

class GuardedPage {
public:
    // One readable page followed by one that cannot be read or written.
    GuardedPage();
    ~GuardedPage();
    GuardedPage(const GuardedPage&) = delete;
    GuardedPage& operator=(const GuardedPage&) = delete;

    // Whether the memory could be had.
    bool ok() const { return readable_ != nullptr; }
    // Copies `bytes` (at most a page) to end at the last readable byte and
    // returns where they start.
    const unsigned char* place(const std::string& bytes) {
        unsigned char* start = readable_ + page_ - bytes.size();
        std::memcpy(start, bytes.data(), bytes.size());
        return start;
    }

private:
    unsigned char* readable_ = nullptr;
    size_t page_ = 0;
};

#endif // KELOUTIL_TESTS_GUARDED_PAGE_HPP
