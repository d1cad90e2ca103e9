// The process environment on Windows, read through the runtime's wide
// functions and handed on as UTF-8.
#include "platform/os.h"
#include "platform/win32/wide_text.h"

#include <cstdlib>
#include <cwchar>

namespace keloutil::os {

const char* platform_name() { return "Windows"; }

str_t* environment_variable(const char* name) {
    if (name == nullptr) return nullptr;
    str_t* utf8_name = str_from_utf8(name);
    const WideText wide_name(utf8_name);
    str_uninit(utf8_name);
    if (!wide_name.valid()) return nullptr;
    const wchar_t* value = _wgetenv(wide_name.get());
    if (value == nullptr) return nullptr;
    return str_from(value, static_cast<int32_t>(std::wcslen(value) * sizeof(wchar_t)), STR_ENC_UTF16LE);
}

} // namespace keloutil::os
