/* SPDX-License-Identifier: MIT */
// Paths between the library's form and native POSIX text, for the POSIX
// side of the platform seam.
#ifndef KELOUTIL_PLATFORM_POSIX_LIBRARY_FORM_H
#define KELOUTIL_PLATFORM_POSIX_LIBRARY_FORM_H

#include <keloutil/c_str.h>

#include <string>

namespace keloutil::os {

// A new string holding `text` with "\\" for every "/".
inline str_t* library_form(std::string text) {
    for (char& c : text)
        if (c == '/') c = '\\';
    return str_from(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8);
}

// The native copy of a path in the library's form: its UTF-8 text with "/"
// for every "\\". Throws std::bad_alloc when memory runs out.
std::string native_text(const str_t* path);

} // namespace keloutil::os

#endif // KELOUTIL_PLATFORM_POSIX_LIBRARY_FORM_H
