// Text services of the platform seam on Windows.
#include "platform/os.h"

#include <windows.h>

namespace keloutil::os {

static_assert(sizeof(wchar_t) == 2, "Windows wide characters are UTF-16 units");

int32_t utf8_to_wide(const char* utf8, wchar_t* destination, int32_t capacity) {
    // Code page 65001 (UTF-8), no flags, the whole NUL-terminated text.
    return MultiByteToWideChar(CP_UTF8, 0, utf8, -1, destination, capacity);
}

} // namespace keloutil::os
