// SPDX-License-Identifier: MIT
// Feeds arbitrary text to KeloSettings::parse. When it parses, every
// visible value must be found by getData and every section by getSection;
// then a few keys are set and removed (getAll must follow a map of the
// visible values), the store is saved to a temporary file, and a fresh store
// that opens the file must hold the same visible values, except for what
// TinyXML's reader does to element text: it condenses white space, so a
// value set reads back condensed.
//
// The input is the document up to its first NUL byte; the bytes after it,
// or the document itself when there is none, choose the changes.
//
// Some changes cannot survive the file, by its format; inputs that make
// them skip the comparison (see `predictable`).
#include "fuzz_support.hpp"

#include <keloutil/kelosettings.hpp>
#include <keloutil/keloutil.hpp>

#include <tinyxml.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Values = std::map<std::string, std::string>;

std::string text_of(const TStr& s) {
    const auto* record = static_cast<const str_t*>(s.handle());
    return str_null(record) ? std::string() : std::string(record->buffer, static_cast<size_t>(str_len(record)));
}

TStr tstr(const std::string& text) {
    return TStr(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8);
}

Values values_of(KeloSettings& store) {
    std::map<TStr, TStr> all;
    FUZZ_CHECK(store.getAll(all));
    Values values;
    for (const auto& [key, value] : all) values.emplace(text_of(key), text_of(value));
    return values;
}

std::string section_of(const std::string& combined) { return combined.substr(0, combined.rfind('/')); }
std::string key_of(const std::string& combined) { return combined.substr(combined.rfind('/') + 1); }

bool contains(const std::string& combined, const std::string& section) {
    return combined.find(section + "/") != std::string::npos;
}

// The folder of the file every run writes: one per process, preferably on a
// memory file system, where the flush of a save costs nothing.
std::string folder;

void remove_folder() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

const std::string& file_name() {
    static const std::string name = [] {
        std::error_code error;
        const fs::path base = fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
        folder = (base / "settings_parse_fuzz.XXXXXX").string();
        FUZZ_CHECK(mkdtemp(folder.data()) != nullptr);
        std::atexit(remove_folder);
        return folder + "/settings.xml";
    }();
    return name;
}

// Element text as the reader gives back what the printer wrote: the
// printer escapes every character below 32 as a character reference, which
// the reader keeps, so only blanks are condensed; at the start the reader
// also skips the marks EF BB BF, EF BF BE and EF BF BF. Text of white space
// alone (references included) is dropped: the value reads back empty.
std::string condensed(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ')
            ++i;
        else if (text.compare(i, 3, "\xEF\xBB\xBF") == 0 || text.compare(i, 3, "\xEF\xBF\xBE") == 0 ||
                 text.compare(i, 3, "\xEF\xBF\xBF") == 0)
            i += 3;
        else
            break;
    }
    std::string out;
    bool blank = false;
    for (; i < text.size(); ++i) {
        if (text[i] == ' ') {
            blank = true;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += text[i];
    }
    return out.find_first_not_of(" \t\n\v\f\r") == std::string::npos ? std::string() : out;
}

// The text with its line ends as reading a file leaves them: TinyXML turns
// "\r\n" and "\r" into "\n" when it loads a file (not when it parses text),
// which shows where the printer writes text as it stands, in CDATA.
std::string unix_line_ends(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') out += text[i];
        else if (i + 1 == text.size() || text[i + 1] != '\n') out += '\n';
    }
    return out;
}

// Whether the text is well-formed UTF-8 (no over-long forms, surrogates or
// code points above U+10FFFF).
bool is_utf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                                                              : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        uint32_t code = length == 1 ? lead : lead & (0x3Fu >> (length - 1));
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = code << 6 | (next & 0x3Fu);
        }
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// Combined keys whose change the file cannot show as made, because the
// document holds them more than once (a key twice, or a section name on
// two elements: setting changes the first element, removing removes the
// first one, and another may still be read), holds an element of the key
// whose first child is not text (setting changes nothing, or adds an
// element behind it that reading never reaches), or one with more than one
// child (setting replaces the first; a text after it is printed right
// behind the new text and reads back as part of it).
//
// `hidden` collects the keys whose text holds a NUL, from a reference to
// character 0: the value shows the text before it, but the printer writes
// the whole text and the reader condenses it as one, so an untouched value
// may read back changed.
std::set<std::string> ambiguous_keys(const std::string& document, std::set<std::string>& hidden) {
    TiXmlDocument xml;
    xml.Parse(document.c_str(), nullptr, TIXML_ENCODING_UTF8);
    std::set<std::string> ambiguous;
    const TiXmlElement* root = xml.FirstChildElement("KeloSettings");
    if (xml.Error() || root == nullptr) return ambiguous;
    std::map<std::string, int> sections, keys;
    for (const TiXmlElement* s = root->FirstChildElement("Section"); s; s = s->NextSiblingElement("Section")) {
        const char* name = s->Attribute("Name");
        if (name == nullptr || *name == '\0') continue;
        ++sections[name];
        for (const TiXmlElement* d = s->FirstChildElement("Data"); d; d = d->NextSiblingElement("Data")) {
            const char* key = d->Attribute("Key");
            if (key == nullptr || *key == '\0') continue;
            const std::string combined = std::string(name) + "/" + key;
            const TiXmlNode* first = d->FirstChild();
            if (++keys[combined] > 1 || first == nullptr || first->ToText() == nullptr || first->NextSibling())
                ambiguous.insert(combined);
            else if (first->ValueStr().find('\0') != std::string::npos)
                hidden.insert(combined);
        }
    }
    for (const auto& [combined, count] : keys)
        if (sections[section_of(combined)] > 1) ambiguous.insert(combined);
    return ambiguous;
}

// Names and values for the changes: pieces that meet the escapes, the
// condensing of white space and the separator "/".
std::string piece_text(fuzz::Input& in) {
    static const char* const pieces[] = {"a", "b", "Section", "Key", " ", "  ", "/", "&", "<", ">", "\"", "'",
                                         "\t", "\n", "\xC3\xA9", "\xE2\x82\xAC", "\xEF\xBB\xBF", "]]>", "&#x41;",
                                         "&amp;", "\r\n"};
    std::string out;
    for (int n = in.range(0, 5); n > 0; --n) out += pieces[in.range(0, sizeof pieces / sizeof *pieces - 1)];
    return out;
}

// A key of `values` picked by the input, or "" when there is none.
std::string pick(fuzz::Input& in, const Values& values) {
    if (values.empty()) return std::string();
    auto it = values.begin();
    std::advance(it, in.range(0, static_cast<int32_t>(values.size()) - 1));
    return it->first;
}

// Reading back what parse read: getData of each value, getSection of each
// section (which takes the keys of every combined key that contains
// "section/", the first in key order winning).
void check_reading(KeloSettings& store, const Values& values) {
    TStr value;
    for (const auto& [combined, expected] : values) {
        // Section and key are not empty: some "/" has text on both sides.
        const size_t slash = combined.find('/', 1);
        FUZZ_CHECK(slash != std::string::npos && slash + 1 < combined.size());
        FUZZ_CHECK(store.getData(tstr(combined.substr(0, slash)), tstr(combined.substr(slash + 1)), value));
        FUZZ_CHECK(text_of(value) == expected);
    }
    std::set<std::string> sections;
    for (const auto& entry : values) sections.insert(section_of(entry.first));
    for (const std::string& section : sections) {
        Values expected;
        for (const auto& [combined, v] : values)
            if (contains(combined, section) && !key_of(combined).empty()) expected.emplace(key_of(combined), v);
        std::map<TStr, TStr> got;
        FUZZ_CHECK(store.getSection(tstr(section), got));
        Values got_text;
        for (const auto& [key, v] : got) got_text.emplace(text_of(key), text_of(v));
        FUZZ_CHECK(got_text == expected);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::LeakCheck leaks;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t nul = input.find('\0');
    const std::string document = input.substr(0, nul);
    fuzz::Input in = nul == std::string::npos ? fuzz::Input(data, size) : fuzz::Input(data + nul + 1, size - nul - 1);

    KeloSettings store;
    if (!store.parse(tstr(document))) {
        FUZZ_CHECK(!store.isLoaded());
        return 0;
    }
    FUZZ_CHECK(store.isLoaded());
    const Values stored = values_of(store);
    check_reading(store, stored);

    // The changes, beside a map of the visible values. `touched` collects
    // every key that a change may have reached; `set` the keys whose value
    // is the one set last.
    Values visible = stored;
    std::set<std::string> touched, set, ever_set;
    for (int n = in.range(1, 8); n > 0; --n) {
        const int operation = in.range(0, 4);
        std::string section, key;
        if (operation == 0 || operation == 2) {
            const std::string combined = pick(in, visible);
            section = section_of(combined), key = key_of(combined);
        } else {
            const std::string existing = section_of(pick(in, visible));
            section = in.range(0, 1) == 0 ? existing : piece_text(in);
            key = piece_text(in);
        }
        const std::string combined = section + "/" + key;
        const bool named = !section.empty() && !key.empty();
        if (operation <= 1) {
            const std::string value = piece_text(in);
            FUZZ_CHECK(store.setData(tstr(section), tstr(key), tstr(value)) == (named && !value.empty()));
            if (!named || value.empty()) continue;
            visible[combined] = value;
            touched.insert(combined), set.insert(combined), ever_set.insert(combined);
        } else if (operation <= 3) {
            const bool known = named && (stored.count(combined) != 0 || set.count(combined) != 0);
            FUZZ_CHECK(store.removeData(tstr(section), tstr(key)) == known);
            if (!known) continue;
            visible.erase(combined);
            touched.insert(combined), set.erase(combined);
        } else {
            FUZZ_CHECK(store.removeSection(tstr(section)) == !section.empty());
            if (section.empty()) continue;
            for (auto it = visible.begin(); it != visible.end();)
                it = contains(it->first, section) ? visible.erase(it) : std::next(it);
            for (const auto& entry : stored)
                if (contains(entry.first, section)) touched.insert(entry.first);
            for (const std::string& combined : ever_set)
                if (contains(combined, section)) touched.insert(combined);
            for (auto it = set.begin(); it != set.end();) it = contains(*it, section) ? set.erase(it) : std::next(it);
        }
        FUZZ_CHECK(values_of(store) == visible);
    }

    // What the file cannot keep. Text that is not UTF-8: the reader takes
    // the length of a sequence from its lead byte alone, so a malformed one
    // swallows the next character, which the printer may have escaped. A
    // change of a key with "/" in its section name or its key: it is
    // written split at its last two "/", so elsewhere. A change of a key
    // held ambiguously by the document (see ambiguous_keys).
    if (!is_utf8(document)) return 0;
    std::set<std::string> hidden;
    const std::set<std::string> ambiguous = ambiguous_keys(document, hidden);
    for (const std::string& combined : touched)
        if (combined.find('/') != combined.rfind('/') || ambiguous.count(combined) != 0) return 0;

    // A document left without any section is not written.
    const TPath file(file_name().c_str());
    if (!store.save(file)) {
        FUZZ_CHECK(visible.empty());
        return 0;
    }
    KeloSettings reread;
    if (!reread.open(file)) {
        FUZZ_CHECK(visible.empty());
        return 0;
    }
    // The values set read back condensed. The others were read once
    // already: they read back as they are, except that blanks or marks that
    // came from character references are condensed now, and the line ends
    // of a CDATA section become "\n".
    const Values back = values_of(reread);
    FUZZ_CHECK(back.size() == visible.size());
    for (const auto& [combined, value] : visible) {
        const auto found = back.find(combined);
        FUZZ_CHECK(found != back.end());
        if (hidden.count(combined) != 0 && set.count(combined) == 0) continue;
        const bool as_set = found->second == condensed(value);
        const bool as_read = set.count(combined) == 0 && found->second == unix_line_ends(value);
        if (!as_set && !as_read) fuzz::report(combined.c_str(), false, found->second, false, value);
        FUZZ_CHECK(as_set || as_read);
    }
    return 0;
}
