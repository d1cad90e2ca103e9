// Internal to the library: reading an XML file for TinyXML, shared by the
// settings store and the custom environment.
#ifndef KELOUTIL_XML_TEXT_H
#define KELOUTIL_XML_TEXT_H

#include <tinyxml.h>

#include <cstdio>
#include <string>

namespace keloutil {

// Reads the rest of `stream` as TinyXML's own file loader does: up to the
// first NUL byte, with every "\r\n" and lone "\r" turned into "\n". false
// when the stream reports a read error (a directory, for one).
bool read_xml_text(FILE* stream, std::string& text);

// Parses `text` into `document` in `encoding`; true without a parse error.
// The parser may step up to three bytes past a multi-byte sequence that the
// text's end cuts short, so the text gets that many more NUL bytes.
bool parse_xml_text(TiXmlDocument& document, std::string& text, TiXmlEncoding encoding);

} // namespace keloutil

#endif // KELOUTIL_XML_TEXT_H
