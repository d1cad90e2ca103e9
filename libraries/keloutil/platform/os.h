// The platform seam: every service that keloutil needs from the operating
// system, named by what it does. It is implemented twice, in platform/posix/
// and platform/win32/; the build compiles exactly one of them. Code above
// this header never includes system headers for these services and never
// tests the platform.
#ifndef KELOUTIL_PLATFORM_OS_H
#define KELOUTIL_PLATFORM_OS_H

#include <cstdint>

namespace keloutil::os {

// ---- text ------------------------------------------------------------------

// Bytes of one platform wide character: 2 where wchar_t holds UTF-16 units,
// 4 where it holds UTF-32 code points.
constexpr int32_t wide_char_size = static_cast<int32_t>(sizeof(wchar_t));

// Converts NUL-terminated UTF-8 into the platform's wide characters, the
// terminator included, writing at most `capacity` wide characters. Invalid
// sequences become U+FFFD. Returns the wide characters written (terminator
// included), or 0 when `destination` is too small.
int32_t utf8_to_wide(const char* utf8, wchar_t* destination, int32_t capacity);

} // namespace keloutil::os

#endif // KELOUTIL_PLATFORM_OS_H
