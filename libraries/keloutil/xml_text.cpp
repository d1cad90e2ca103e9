// SPDX-License-Identifier: MIT
#include "xml_text.h"

#include <cstring>

namespace keloutil {

bool read_xml_text(FILE* stream, std::string& text) {
    text.clear();
    char block[65536];
    size_t count;
    while ((count = std::fread(block, 1, sizeof block, stream)) > 0) {
        // Nothing after a NUL byte is ever parsed, so reading stops there.
        const void* nul = std::memchr(block, '\0', count);
        if (nul != nullptr) {
            text.append(block, static_cast<const char*>(nul) - block);
            break;
        }
        text.append(block, count);
    }
    if (std::ferror(stream)) return false;
    size_t out = 0;
    for (size_t in = 0; in < text.size(); ++in) {
        if (text[in] != '\r') {
            text[out++] = text[in];
            continue;
        }
        text[out++] = '\n';
        if (in + 1 < text.size() && text[in + 1] == '\n') ++in;
    }
    text.resize(out);
    return true;
}

namespace {

bool white_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// TinyXML takes any byte from 0x7F up as a letter.
bool letter(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x7F || static_cast<unsigned>((b | 0x20) - 'a') < 26u;
}
bool name_start(char c) { return letter(c) || c == '_'; }
bool name_part(char c) { return name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':'; }

// Where TinyXML reads text (element content and quoted values) it
// takes the bytes of a character by the length that its lead byte
// announces, whatever they are: a "<" or a quote among them is text.
size_t character_length(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0xC2 && b < 0xE0 ? 2 : b >= 0xE0 && b < 0xF0 ? 3 : b >= 0xF0 && b < 0xF5 ? 4 : 1;
}

} // namespace

bool xml_within_limits(std::string_view text, size_t max_depth, size_t max_attributes) {
    constexpr size_t none = std::string_view::npos;
    text = text.substr(0, text.find('\0')); // TinyXML reads up to the first NUL
    const size_t n = text.size();
    size_t depth = 0;
    size_t i = 0;
    // Moves i past the first `end` from `from` on (to the end when there is none).
    const auto skip_past = [&](size_t from, std::string_view end) {
        const size_t at = text.find(end, from);
        i = at == none ? n : at + end.size();
    };
    // Moves i, character by character as TinyXML reads text, to the first
    // `end` (or to the end); true when there is one.
    const auto read_text_to = [&](std::string_view end) {
        for (; i < n; i += character_length(text[i]))
            if (text.compare(i, end.size(), end) == 0) return true;
        i = n;
        return false;
    };
    // TinyXML's reader of UTF-8 passes over byte-order marks and the
    // non-characters U+FFFE and U+FFFF as white space.
    const auto skip_white_space = [&] {
        for (;;) {
            if (i < n && white_space(text[i])) {
                ++i;
            } else if (n - i >= 3 && text.compare(i, 2, "\xEF\xBB") == 0 && text[i + 2] == '\xBF') {
                i += 3;
            } else if (n - i >= 3 && text.compare(i, 2, "\xEF\xBF") == 0 && (text[i + 2] | 1) == '\xBF') {
                i += 3;
            } else {
                return;
            }
        }
    };
    const auto at_word = [&](std::string_view word) { // ignoring case, as TinyXML compares these
        if (n - i < word.size()) return false;
        for (size_t k = 0; k < word.size(); ++k) {
            const char c = text[i + k];
            if ((c >= 'A' && c <= 'Z' ? c | 0x20 : c) != word[k]) return false; // ASCII letters only
        }
        return true;
    };
    // An attribute at i: name, "=", value. false where TinyXML stops with
    // an error (and builds nothing more).
    const auto attribute = [&] {
        if (i >= n || !name_start(text[i])) return false;
        while (i < n && name_part(text[i])) ++i;
        skip_white_space();
        if (i >= n || text[i] != '=') return false;
        ++i;
        skip_white_space();
        if (i < n && (text[i] == '"' || text[i] == '\'')) {
            const char quote[] = {text[i++], '\0'};
            if (!read_text_to(quote)) return false;
            ++i;
            return true;
        }
        for (; i < n && !white_space(text[i]) && text[i] != '/' && text[i] != '>'; ++i)
            if (text[i] == '"' || text[i] == '\'') return false;
        return true;
    };
    for (;;) {
        // Between elements TinyXML reads markup only: text there ends the
        // document. Inside one, text runs up to the next "<".
        if (depth == 0) {
            skip_white_space();
            if (i >= n || text[i] != '<') return true;
        } else if (!read_text_to("<")) {
            return true;
        }
        const std::string_view markup = text.substr(i);
        if (at_word("<?xml")) {
            // A declaration: version, encoding and standalone are read as
            // attributes, anything else up to white space, until a ">".
            for (i += 5;;) {
                if (i >= n) return true;
                if (text[i] == '>') {
                    ++i;
                    break;
                }
                skip_white_space();
                if (at_word("version") || at_word("encoding") || at_word("standalone")) {
                    if (!attribute()) return true;
                } else {
                    while (i < n && text[i] != '>' && !white_space(text[i])) ++i;
                }
            }
        } else if (markup.rfind("<!--", 0) == 0) {
            skip_past(i + 4, "-->"); // comments are read byte by byte
        } else if (markup.rfind("<![CDATA[", 0) == 0) {
            skip_past(i + 9, "]]>");
        } else if (markup.rfind("</", 0) == 0) {
            if (depth > 0) --depth;
            skip_past(i + 2, ">");
        } else if (markup.size() < 2 || !name_start(markup[1])) {
            skip_past(i + 1, ">"); // a document type, anything else: up to the first ">"
        } else { // a start tag: its name, then its attributes
            if (depth + 1 > max_depth) return false; // TinyXML makes the element before it reads the tag
            for (++i; i < n && name_part(text[i]);) ++i;
            for (size_t attributes = 0;;) {
                skip_white_space();
                if (i >= n) return true; // TinyXML stops at the error
                if (text[i] == '/') { // an empty element
                    if (i + 1 == n || text[i + 1] != '>') return true;
                    i += 2;
                    break;
                }
                if (text[i] == '>') {
                    ++i;
                    ++depth;
                    break;
                }
                if (++attributes > max_attributes) return false;
                if (!attribute()) return true;
            }
        }
    }
}

bool parse_xml_text(TiXmlDocument& document, std::string& text, TiXmlEncoding encoding) {
    text.append(3, '\0');
    document.Parse(text.c_str(), nullptr, encoding);
    return !document.Error();
}

} // namespace keloutil
