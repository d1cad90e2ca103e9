/* SPDX-License-Identifier: MIT */
// A NUL-terminated UTF-16LE copy of a library text, for the wide-character
// calls of Windows; released when it goes.
#ifndef KELOUTIL_PLATFORM_WIN32_WIDE_TEXT_H
#define KELOUTIL_PLATFORM_WIN32_WIDE_TEXT_H

#include <keloutil/c_str.h>
#include <keloutil/memory.h>

namespace keloutil::os {

class WideText {
public:
    explicit WideText(const str_t* text) : text_(reinterpret_cast<wchar_t*>(str_utf16le_alloc(text))) {}
    ~WideText() { memory_free(text_); }
    WideText(const WideText&) = delete;
    WideText& operator=(const WideText&) = delete;

    // Whether the copy could be made: not for a null string, nor when memory
    // runs out.
    bool valid() const { return text_ != nullptr; }
    // The copy, or an empty text when there is none, so that the call it is
    // given to fails as it does for an empty name.
    const wchar_t* get() const { return text_ != nullptr ? text_ : L""; }
    // The copy itself, for calls that may write into it; null when !valid().
    wchar_t* data() { return text_; }

private:
    wchar_t* text_;
};

} // namespace keloutil::os

#endif // KELOUTIL_PLATFORM_WIN32_WIDE_TEXT_H
