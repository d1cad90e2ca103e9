/* SPDX-License-Identifier: MIT */
// Internal to the library: reading an XML file for TinyXML, shared by the
// settings store and the custom environment, and by the kelo tool, which
// tells why a settings file cannot be read.
#ifndef KELOUTIL_XML_TEXT_H
#define KELOUTIL_XML_TEXT_H

#include <tinyxml.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace keloutil {

// Reads the rest of `stream` as TinyXML's own file loader does: up to the
// first NUL byte, with every "\r\n" and lone "\r" turned into "\n". false
// when the stream reports a read error (a directory, for one).
bool read_xml_text(FILE* stream, std::string& text);

// Whether TinyXML can read `text` in time linear in its size and without
// deep recursion: no element nested deeper than `max_depth` and none with
// more than `max_attributes` attributes (TinyXML parses nested elements
// recursively and checks each attribute against all earlier ones of its
// element). The text is walked as TinyXML's parser walks it, so that
// markup inside comments, CDATA sections and quoted values does not count.
bool xml_within_limits(std::string_view text, size_t max_depth, size_t max_attributes);

// A settings document nested deeper, or with an element of more
// attributes, is malformed: no settings file needs them, and the limits
// keep reading linear in the file's size.
inline constexpr size_t settings_max_depth = 256;
inline constexpr size_t settings_max_attributes = 256;

// Parses `text` into `document` in `encoding`; true without a parse error.
// The parser may step up to three bytes past a multi-byte sequence that the
// text's end cuts short, so the text gets that many more NUL bytes.
bool parse_xml_text(TiXmlDocument& document, std::string& text, TiXmlEncoding encoding);

} // namespace keloutil

#endif // KELOUTIL_XML_TEXT_H
