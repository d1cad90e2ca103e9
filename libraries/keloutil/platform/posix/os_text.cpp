// SPDX-License-Identifier: MIT
// Text services of the platform seam on POSIX systems. wchar_t holds UTF-32
// code points there, whatever the locale, so the wide text is the string
// module's own UTF-32 conversion rather than that of the locale-dependent
// mbstowcs family: it decodes by the same rules as the module's measure.
#include "platform/os.h"

#include <keloutil/memory.h>

#include <cstring>
#include <cwchar>

namespace keloutil::os {

static_assert(sizeof(wchar_t) == 4, "POSIX wide characters are expected to be UTF-32");

int32_t utf8_to_wide(const char* utf8, wchar_t* destination, int32_t capacity) {
    const size_t length = std::strlen(utf8);
    if (capacity <= 0 || capacity > INT32_MAX / wide_char_size || length > INT32_MAX) return 0;
    if (str_encode(utf8, static_cast<int32_t>(length), STR_ENC_UTF8, destination, capacity * wide_char_size,
                   STR_ENC_UTF32) == 0)
        return 0;
    // The conversion ends at the text's end or at a character 0 that it
    // decodes, and terminates the output there.
    return static_cast<int32_t>(std::wcslen(destination)) + 1;
}

// The narrow encoding here is UTF-8, the library's own: the text is read
// out as every other UTF-8 read-out reads it.
int32_t to_narrow(const str_t* text, char* destination, int32_t capacity) {
    char* utf8 = str_utf8_alloc(text);
    if (utf8 == nullptr) return 0;
    const size_t needed = std::strlen(utf8) + 1;
    int32_t result = 0;
    if (capacity == 0) {
        result = static_cast<int32_t>(needed);
    } else if (capacity > 0 && needed <= static_cast<size_t>(capacity)) {
        std::memcpy(destination, utf8, needed);
        result = static_cast<int32_t>(needed);
    }
    memory_free(utf8);
    return result;
}

} // namespace keloutil::os
