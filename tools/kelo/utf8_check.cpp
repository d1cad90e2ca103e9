// SPDX-License-Identifier: MIT
// The library decodes the text into UTF-32 and encodes that back into UTF-8;
// the text is valid where the result is the text again and each character
// is a Unicode scalar value. Over-long forms, bad continuation bytes, stray
// bytes and 5- and 6-byte sequences come back otherwise, surrogates and code
// points above U+10FFFF are caught by value, and a sequence cut short by the
// end is not read at all. The text goes through in rounds, so that a large
// input needs little more memory.
#include "utf8_check.hpp"

#include "cli.hpp"

#include <keloutil/keloutil.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kelo {

bool is_unicode_scalar(uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); }

namespace {

// Bytes read per round. A round longer than the longest sequence the library
// reads (6 bytes) always gets at least one character on.
constexpr size_t round_bytes = size_t{1} << 16;

class Reader {
public:
    Reader() : record_(str_init(), str_uninit) {
        if (!record_) fail("out of memory");
    }

    // Offset of the first error in `text`, which holds no NUL, or npos.
    size_t error_offset(std::string_view text) {
        for (size_t start = 0; start < text.size();) {
            const size_t size = std::min(round_bytes, text.size() - start);
            const bool last = start + size == text.size();
            size_t read = 0;
            const size_t error = round(text.substr(start, size), &read);
            if (error != std::string_view::npos) return start + error;
            // The round ended early: on a sequence that its end cut short,
            // which the next round reads whole, or on a character 0 that
            // only an over-long form gives, which the next round meets first.
            if (read < size && (last || read == 0)) return start + read;
            start += read;
        }
        return std::string_view::npos;
    }

private:
    // Reads the bytes through the library: the offset of the first character
    // that does not come back as it was, or npos with *read set to the bytes
    // of the characters that did.
    size_t round(std::string_view bytes, size_t* read) {
        // The record takes UTF-8 as it is, and its UTF-32 read-out ends
        // before a last sequence that the end of the bytes cuts short.
        str_set(record_.get(), bytes.data(), static_cast<int32_t>(bytes.size()), STR_ENC_UTF8);
        if (str_null(record_.get())) fail("out of memory");
        codes_.resize(bytes.size() + 2);
        const auto room = static_cast<int32_t>(codes_.size() * sizeof(uint32_t));
        const size_t count =
            str_get(record_.get(), codes_.data(), room, STR_ENC_UTF32) != 0 ? str_utf32_len(codes_.data()) : 0;

        const std::string_view back = encoded(codes_.data(), count);
        const uint32_t* const codes = codes_.data();
        if (bytes.substr(0, back.size()) == back && std::all_of(codes, codes + count, is_unicode_scalar)) {
            *read = back.size();
            return std::string_view::npos;
        }
        // One character at a time, to find the first that changed.
        size_t offset = 0;
        for (size_t i = 0; i < count; ++i) {
            const std::string_view character = encoded(&codes_[i], 1);
            if (!is_unicode_scalar(codes_[i]) || bytes.substr(offset, character.size()) != character) return offset;
            offset += character.size();
        }
        return offset; // not reached: some character differed
    }

    // `count` code points in UTF-8, as the library writes them (at most 4
    // bytes each, so the conversion has the room it needs).
    std::string_view encoded(const uint32_t* codes, size_t count) {
        back_.resize(4 * count + 1);
        if (str_encode(codes, static_cast<int32_t>(4 * count), STR_ENC_UTF32, back_.data(),
                       static_cast<int32_t>(back_.size()), STR_ENC_UTF8) == 0)
            return {};
        return std::string_view(back_.data(), std::strlen(back_.data()));
    }

    std::unique_ptr<str_t, decltype(&str_uninit)> record_;
    std::vector<uint32_t> codes_;
    std::string back_;
};

} // namespace

size_t utf8_error_offset(std::string_view text) {
    Reader reader;
    for (size_t start = 0; start <= text.size();) {
        const size_t nul = std::min(text.find('\0', start), text.size());
        const size_t error = reader.error_offset(text.substr(start, nul - start));
        if (error != std::string_view::npos) return start + error;
        start = nul + 1;
    }
    return std::string_view::npos;
}

std::string replace_invalid_utf8(std::string_view text, bool& replaced) {
    std::string valid;
    // Byte by byte: the bytes after a bad one are read afresh, so a
    // character that begins among them is kept.
    for (size_t error; (error = utf8_error_offset(text)) != std::string_view::npos; text.remove_prefix(error + 1)) {
        valid.append(text.substr(0, error));
        valid += "\xEF\xBF\xBD";
        replaced = true;
    }
    return valid.append(text);
}

} // namespace kelo
