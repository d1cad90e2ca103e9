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

bool parse_xml_text(TiXmlDocument& document, std::string& text, TiXmlEncoding encoding) {
    text.append(3, '\0');
    document.Parse(text.c_str(), nullptr, encoding);
    return !document.Error();
}

} // namespace keloutil
