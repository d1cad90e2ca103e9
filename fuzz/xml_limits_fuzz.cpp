// SPDX-License-Identifier: MIT
// The walk that keeps settings documents within their nesting and
// attribute limits, held to TinyXML's own parser: arbitrary text with small
// limits drawn from the first byte. Whatever the walk lets through, TinyXML
// must build (even where it then stops at an error) without an element
// deeper or wider than the limits; and a document that TinyXML reads
// without error within the limits must not be refused.
#include "fuzz_support.hpp"

#include "xml_text.h"

#include <tinyxml.h>

#include <algorithm>
#include <string>

namespace {

struct Extent {
    size_t depth = 0;
    size_t attributes = 0;
};

void measure(const TiXmlNode* node, size_t depth, Extent& extent) {
    for (const TiXmlNode* child = node->FirstChild(); child != nullptr; child = child->NextSibling()) {
        const TiXmlElement* element = child->ToElement();
        if (element == nullptr) continue;
        size_t attributes = 0;
        for (const TiXmlAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next()) ++attributes;
        extent.depth = std::max(extent.depth, depth + 1);
        extent.attributes = std::max(extent.attributes, attributes);
        measure(element, depth + 1, extent);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input in(data, size);
    const uint8_t limits = in.byte();
    const size_t max_depth = 1 + limits % 8, max_attributes = limits / 8 % 8;
    // The library's readers end a document at its first NUL byte, as
    // TinyXML reads it (which may otherwise step over one).
    std::string text = in.rest();
    text.resize(std::min(text.size(), text.find('\0')));
    const bool within = keloutil::xml_within_limits(text, max_depth, max_attributes);

    TiXmlDocument document;
    document.SetTabSize(0);
    std::string padded = text;
    const bool read = keloutil::parse_xml_text(document, padded, TIXML_ENCODING_UTF8);
    Extent extent;
    measure(&document, 0, extent);
    const bool inside = extent.depth <= max_depth && extent.attributes <= max_attributes;
    if (within) FUZZ_CHECK(inside);
    if (read && inside) FUZZ_CHECK(within);
    return 0;
}
