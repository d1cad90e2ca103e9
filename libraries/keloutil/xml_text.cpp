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

} // namespace

bool xml_within_limits(std::string_view text, size_t max_depth, size_t max_attributes) {
    constexpr size_t none = std::string_view::npos;
    const size_t n = text.size();
    size_t depth = 0;
    size_t i = 0;
    // Moves i past the first `end` from `from` on (to the end when there is none).
    const auto skip_past = [&](size_t from, std::string_view end) {
        const size_t at = text.find(end, from);
        i = at == none ? n : at + end.size();
    };
    const auto skip_white_space = [&] {
        while (i < n && white_space(text[i])) ++i;
    };
    while ((i = text.find('<', i)) != none) {
        const std::string_view markup = text.substr(i);
        if (markup.rfind("<!--", 0) == 0) {
            skip_past(i + 4, "-->");
        } else if (markup.rfind("<![CDATA[", 0) == 0) {
            skip_past(i + 9, "]]>");
        } else if (markup.rfind("</", 0) == 0) {
            if (depth > 0) --depth;
            skip_past(i + 2, ">");
        } else if (markup.size() < 2 || !name_start(markup[1])) {
            // A declaration, a document type, anything else: up to the
            // first ">" (TinyXML may read on past one inside the quoted
            // values of a declaration, and sees less markup then).
            skip_past(i + 1, ">");
        } else { // a start tag: its name, then its attributes
            for (++i; i < n && name_part(text[i]);) ++i;
            for (size_t attributes = 0;;) {
                skip_white_space();
                if (i >= n) return true; // TinyXML stops at the error
                if (text[i] == '/') {
                    if (i + 1 == n || text[i + 1] != '>') return true;
                    i += 2; // an empty element
                    break;
                }
                if (text[i] == '>') {
                    ++i;
                    if (++depth > max_depth) return false;
                    break;
                }
                if (++attributes > max_attributes) return false;
                if (!name_start(text[i])) return true;
                while (i < n && name_part(text[i])) ++i;
                skip_white_space();
                if (i >= n || text[i] != '=') return true;
                ++i;
                skip_white_space();
                if (i < n && (text[i] == '"' || text[i] == '\'')) {
                    const size_t close = text.find(text[i], i + 1);
                    if (close == none) return true;
                    i = close + 1;
                } else {
                    for (; i < n && !white_space(text[i]) && text[i] != '/' && text[i] != '>'; ++i)
                        if (text[i] == '"' || text[i] == '\'') return true;
                }
            }
        }
    }
    return true;
}

bool parse_xml_text(TiXmlDocument& document, std::string& text, TiXmlEncoding encoding) {
    text.append(3, '\0');
    document.Parse(text.c_str(), nullptr, encoding);
    return !document.Error();
}

} // namespace keloutil
