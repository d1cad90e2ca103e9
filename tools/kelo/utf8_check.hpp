// SPDX-License-Identifier: MIT
// Whether text is UTF-8 that every conversion of the library keeps as it is.
// The library reads any bytes as UTF-8 somehow (a stray byte becomes a
// character, C3 41 becomes U+0081), so kelo refuses what would be changed,
// judging it by the library's own reading.
#ifndef KELO_UTF8_CHECK_HPP
#define KELO_UTF8_CHECK_HPP

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kelo {

// Whether `c` is a Unicode scalar value: not a surrogate, not above U+10FFFF.
bool is_unicode_scalar(uint32_t c);

// Offset of the first byte of `text` where a character begins that the
// library does not read back as the same bytes or that is no Unicode scalar
// value (so the first byte of an ill-formed sequence), or npos when `text`
// is valid UTF-8. NUL bytes count as characters.
size_t utf8_error_offset(std::string_view text);

// `text` with U+FFFD for every byte at which utf8_error_offset finds an
// error, so valid UTF-8; sets `replaced` when a byte was replaced.
std::string replace_invalid_utf8(std::string_view text, bool& replaced);

} // namespace kelo

#endif // KELO_UTF8_CHECK_HPP
