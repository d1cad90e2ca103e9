// SPDX-License-Identifier: MIT
// CKeloUtilCustomEnv: the custom environment file, read once through
// TinyXML, and the lookup of a key for this platform with its "$NAME"
// references to environment variables expanded.
#include <keloutil/customenv.hpp>

#include "c_str_internal.h"
#include "customenv_internal.h"
#include "guarded.h"
#include "platform/os.h"
#include "xml_text.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

namespace {

const char* const thin_client_variable = "NORVAXIS_KELO_THINCLIENT_ENV";
const char* const custom_variable = "NORVAXIS_KELO_CUSTOM_ENV";

// TinyXML parses nested elements recursively and checks each attribute of
// an element against all earlier ones. A custom environment file needs a
// handful of elements; beyond these counts a file is refused like a
// malformed one, so that no file can exhaust the stack or take quadratic
// time. Every element starts with "<" and a name character, and every
// attribute holds a "=", so counting those bytes bounds both.
constexpr size_t max_element_tags = 4096;
constexpr size_t max_equals_signs = 8192;

// At most this many references are replaced in one value, so that a
// variable that refers to itself cannot make the expansion go on forever.
constexpr int max_expansions = 64;

bool within_limits(std::string_view text) {
    size_t tags = 0, equals = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '=' && ++equals > max_equals_signs) return false;
        if (c != '<' || i + 1 == text.size()) continue;
        const unsigned char next = static_cast<unsigned char>(text[i + 1]);
        // TinyXML takes any byte from 0x7F up as a letter.
        const bool name_start = next >= 0x7F || next == '_' || static_cast<unsigned>((next | 0x20) - 'a') < 26u;
        if (name_start && ++tags > max_element_tags) return false;
    }
    return true;
}

std::string_view view(const TStr& s) {
    const auto* record = static_cast<const str_t*>(s.handle());
    if (str_null(record)) return {};
    return {record->buffer, static_cast<size_t>(str_len(record))};
}

// Bytes of the character that starts with `lead`, as the string module
// counts characters.
size_t char_size(unsigned char lead) { return static_cast<size_t>(keloutil::utf8_sequence_length(lead)); }

// Byte offset of character `index`; text.size() when the text is shorter.
size_t byte_offset(std::string_view text, int32_t index) {
    size_t offset = 0;
    for (int32_t i = 0; i < index && offset < text.size(); ++i) offset += char_size(static_cast<unsigned char>(text[offset]));
    return offset < text.size() ? offset : text.size();
}

// Characters in text[from, to), `from` being a character boundary.
int32_t chars_between(std::string_view text, size_t from, size_t to) {
    int32_t count = 0;
    while (from < to) {
        from += char_size(static_cast<unsigned char>(text[from]));
        ++count;
    }
    return count;
}

// The first occurrence of `what` that begins on a character boundary at or
// after byte `from` (itself a boundary); npos when there is none.
size_t find_at_boundary(std::string_view text, std::string_view what, size_t from) {
    size_t boundary = from;
    for (size_t hit = text.find(what, from); hit != std::string_view::npos; hit = text.find(what, hit + 1)) {
        while (boundary < hit) boundary += char_size(static_cast<unsigned char>(text[boundary]));
        if (boundary == hit) return hit;
    }
    return std::string_view::npos;
}

// Replaces the "$NAME" references in `value` by the values of those
// environment variables. The name runs to the next "\\" or the end. A
// variable that is not set is reported on standard output and its
// reference stays; running out of memory throws std::bad_alloc. The scan goes on one character after each "$", so a
// replacement's own references are expanded too, up to max_expansions.
void expand(std::string& value) {
    // `at` is the byte offset of the character at position `pos`.
    size_t at = find_at_boundary(value, "$", 0);
    if (at == std::string::npos) return;
    int32_t pos = chars_between(value, 0, at);
    int32_t expansions = 0;
    while (at + 1 < value.size()) { // the "$" is not the last character
        const size_t cut = value.find('\\', at);
        const std::string reference = value.substr(at, cut == std::string::npos ? std::string::npos : cut - at);
        const char* name = reference.c_str() + 1;
        str_t* setting = keloutil::os::environment_variable(name);
        size_t next_from = at + 1;
        if (setting == nullptr) {
            std::printf("Environment variable %s cannot be found\n", name);
        } else {
            // The first occurrence anywhere, which may stand before this one.
            const size_t p = find_at_boundary(value, reference, 0);
            const std::unique_ptr<str_t, decltype(&str_uninit)> owner(setting, str_uninit);
            value.replace(p, reference.size(), str_null(setting) ? "" : setting->buffer);
            if (++expansions == max_expansions) return;
            at = byte_offset(value, pos);
            if (at >= value.size()) return; // no character at pos any more
            next_from = at + char_size(static_cast<unsigned char>(value[at]));
        }
        const size_t next = find_at_boundary(value, "$", std::min(next_from, value.size()));
        if (next == std::string::npos) return;
        pos += chars_between(value, at, next);
        at = next;
    }
}

} // namespace

struct CKeloUtilCustomEnv::Document {
    Document() { xml.SetTabSize(0); } // no row and column counting: nobody reads them
    TiXmlDocument xml;
};

CKeloUtilCustomEnv::CKeloUtilCustomEnv()
    : platform(keloutil::os::platform_name()), document(nullptr), loaded(false), loadPending(true),
      thinClient(false), status(-1) {}

CKeloUtilCustomEnv::~CKeloUtilCustomEnv() { delete document; }

CKeloUtilCustomEnv& CKeloUtilCustomEnv::instance() { return mInstance; }

// A load that runs out of memory tells nothing about the file: it leaves
// the status at -1 and the load pending, to be tried again.
int32_t CKeloUtilCustomEnv::load() {
    if (!loadPending) return status;
    bool from_thin_client = false;
    const int32_t loaded_status = keloutil::guarded(-1, [&] {
        from_thin_client = true;
        str_t* path = keloutil::os::environment_variable(thin_client_variable);
        if (path == nullptr) {
            from_thin_client = false;
            path = keloutil::os::environment_variable(custom_variable);
        }
        if (path == nullptr) return int32_t{KeloUtil::keloUTIL_NO_CUSTOM_ENV};
        const std::unique_ptr<str_t, decltype(&str_uninit)> owner(path, str_uninit);
        const std::unique_ptr<FILE, int (*)(FILE*)> stream(keloutil::os::open_file(path, "rb"), std::fclose);
        if (document == nullptr) document = new Document;
        std::string text;
        if (stream != nullptr && keloutil::read_xml_text(stream.get(), text) && within_limits(text) &&
            keloutil::parse_xml_text(document->xml, text, TIXML_DEFAULT_ENCODING))
            return int32_t{KeloUtil::keloUTIL_OK};
        return int32_t{from_thin_client ? KeloUtil::keloUTIL_THINCLIENT_ENV_ERROR : KeloUtil::keloUTIL_CUSTOM_ENV_ERROR};
    });
    if (loaded_status != KeloUtil::keloUTIL_OK && document != nullptr) document->xml.Clear();
    if (loaded_status == -1) return status = -1;
    loadPending = false;
    loaded = loaded_status == KeloUtil::keloUTIL_OK;
    thinClient = loaded && from_thin_client;
    return status = loaded_status;
}

bool CKeloUtilCustomEnv::hasSettings() {
    if (loadPending) load();
    return loaded;
}

bool CKeloUtilCustomEnv::isThinClientEnv() const { return thinClient; }

int32_t CKeloUtilCustomEnv::getStatus() { return loadPending ? load() : status; }

TStr CKeloUtilCustomEnv::getValue(const TStr& id) const {
    const std::string_view key = view(id);
    if (key.empty() || !loaded || document == nullptr) return TStr();
    const std::string_view os = view(platform);
    const TiXmlElement* root = document->xml.FirstChildElement("KELOCUSTOMENV");
    const TiXmlElement* first = root != nullptr ? root->FirstChildElement("PLATFORM") : nullptr;
    const char* found = nullptr;
    // From the first PLATFORM on, every following sibling counts, whatever
    // its name; likewise every sibling from the first KEY on.
    for (const TiXmlNode* node = first; node != nullptr; node = node->NextSibling()) {
        const TiXmlElement* element = node->ToElement();
        const char* name = element != nullptr ? element->Attribute("OS") : nullptr;
        if (name == nullptr || os != name) continue;
        for (const TiXmlNode* child = element->FirstChildElement("KEY"); child != nullptr;
             child = child->NextSibling()) {
            const TiXmlElement* entry = child->ToElement();
            const char* entry_id = entry != nullptr ? entry->Attribute("ID") : nullptr;
            if (entry_id == nullptr || key != entry_id) continue;
            const TiXmlElement* string = entry->FirstChildElement("STRING");
            if (string == nullptr) continue;
            if (string->GetText() != nullptr) found = string->GetText();
            break;
        }
    }
    if (found == nullptr || *found == '\0') return TStr();
    return keloutil::guarded(TStr::null, [found] {
        std::string value(found);
        expand(value);
        return TStr(value.data(), static_cast<int32_t>(value.size()), STR_ENC_UTF8);
    });
}

int32_t CKeloUtilCustomEnv::findText(const TStr& text, const TStr& what, int32_t start) {
    const std::string_view haystack = view(text), needle = view(what);
    if (haystack.empty() || needle.empty() || start < 0) return -1;
    const size_t from = byte_offset(haystack, start);
    if (from >= haystack.size()) return -1; // nothing left at or after start
    const size_t hit = find_at_boundary(haystack, needle, from);
    return hit == std::string_view::npos ? -1 : chars_between(haystack, 0, hit);
}

KeloUtil::keloUTILSTATUS KeloUtil::loadCustomEnvSettings() {
    switch (CKeloUtilCustomEnv::instance().getStatus()) {
    case keloUTIL_OK: return keloUTIL_OK;
    case keloUTIL_THINCLIENT_ENV_ERROR: return keloUTIL_THINCLIENT_ENV_ERROR;
    case keloUTIL_CUSTOM_ENV_ERROR:
    case -1: return keloUTIL_CUSTOM_ENV_ERROR; // memory ran out while loading
    default: return keloUTIL_NO_CUSTOM_ENV;
    }
}

bool KeloUtil::hasCustomSettings() { return CKeloUtilCustomEnv::instance().hasSettings(); }

bool KeloUtil::isThinClient() { return CKeloUtilCustomEnv::instance().isThinClientEnv(); }

#ifdef KELOUTIL_FAULT_INJECTION
void keloutil::reset_custom_environment() {
    CKeloUtilCustomEnv& instance = CKeloUtilCustomEnv::instance();
    instance.~CKeloUtilCustomEnv();
    new (&instance) CKeloUtilCustomEnv();
}
#endif
