// SPDX-License-Identifier: MIT
// The string read out in the platform's wide characters. It is the one
// read-out that needs the platform (wchar_t holds UTF-16 on Windows, UTF-32
// elsewhere, and Windows converts by its own rules), so it lives here, above
// the seam, and the string module itself needs no operating system.
#include <keloutil/c_str.h>
#include <keloutil/memory.h>

#include "c_str_internal.h"
#include "platform/os.h"

extern "C" {

wchar_t* str_wchar_alloc(const str_t* s) {
    char* text = str_utf8_alloc(s);
    if (text == nullptr) return nullptr;
    // The text ends where the other read-outs end it, before a last
    // sequence that its terminator cuts short.
    text[s->buffer != nullptr ? keloutil::decodable_length(s) : 0] = '\0';
    // Measured in the encoding that the platform's wide characters hold.
    const int32_t target = keloutil::os::wide_char_size == 2 ? STR_ENC_UTF16 : STR_ENC_UTF32;
    const int32_t bytes = str_encoding_requires_bytes(text, keloutil::length_of(text), STR_ENC_UTF8, target);
    auto* wide = static_cast<wchar_t*>(memory_allocate(static_cast<uint32_t>(bytes)));
    const int32_t converted =
        wide != nullptr ? keloutil::os::utf8_to_wide(text, wide, bytes / keloutil::os::wide_char_size) : 0;
    memory_free(text);
    if (converted == 0) {
        memory_free(wide);
        return nullptr;
    }
    return wide;
}

} // extern "C"
