// SPDX-License-Identifier: MIT
// Text services of the platform seam on Windows.
#include "platform/os.h"
#include "platform/win32/wide_text.h"

#include <windows.h>

namespace keloutil::os {

static_assert(sizeof(wchar_t) == 2, "Windows wide characters are UTF-16 units");

int32_t utf8_to_wide(const char* utf8, wchar_t* destination, int32_t capacity) {
    // Code page 65001 (UTF-8), no flags, the whole NUL-terminated text.
    return MultiByteToWideChar(CP_UTF8, 0, utf8, -1, destination, capacity);
}

int32_t to_narrow(const str_t* text, char* destination, int32_t capacity) {
    const WideText wide(text);
    if (!wide.valid()) return 0;
    // The system's ANSI code page, no flags, the whole zero-terminated text,
    // no default character. A capacity of 0 makes the call measure.
    return WideCharToMultiByte(CP_ACP, 0, wide.get(), -1, capacity != 0 ? destination : nullptr, capacity, nullptr,
                               nullptr);
}

} // namespace keloutil::os
