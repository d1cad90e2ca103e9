// SPDX-License-Identifier: MIT
// kelo settings: reads and changes a settings file of KeloSettings for
// scripts. Every change opens the file, makes the one change and saves it,
// so that values other processes saved in the meantime survive.
//
// Sections are matched exactly here (list, remove-section), not by the
// library's containment match, under which section "b" would also take in
// the keys of "ab".
#include "commands.hpp"
#include "xml_text.h"

#include <keloutil/kelosettings.hpp>
#include <keloutil/keloutil.hpp>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>

namespace kelo {

const char* const settings_usage =
    "kelo settings get FILE SECTION KEY\n"
    "    Print the value of KEY in SECTION. Exit status 1, printing nothing,\n"
    "    when there is none (a missing FILE holds no values).\n"
    "kelo settings set FILE SECTION KEY VALUE\n"
    "    Set KEY in SECTION to VALUE, creating FILE and its folders when\n"
    "    missing. VALUE must not be empty or only white space; white space in\n"
    "    it is condensed when the file is read (none at either end, one blank\n"
    "    for each inner run).\n"
    "kelo settings remove FILE SECTION KEY\n"
    "    Remove KEY from SECTION; exit status 1 when it is not there.\n"
    "kelo settings remove-section FILE SECTION\n"
    "    Remove every key of SECTION; exit status 1 when it has none.\n"
    "kelo settings list FILE [SECTION]\n"
    "    Print every value as a line SECTION/KEY=VALUE, sorted by SECTION/KEY\n"
    "    byte by byte; with SECTION only the keys of that section. So that\n"
    "    each value stays one line, a backslash in it is written '\\\\', a line\n"
    "    feed '\\n', a carriage return '\\r', a tab '\\t' and any other control\n"
    "    character '\\xHH' (two hexadecimal digits).\n"
    "kelo settings sections FILE\n"
    "    Print the name of every section that holds a value, sorted.\n"
    "    A file without any value is never written: removing its last value is\n"
    "    refused. SECTION and KEY of the commands that change the file must\n"
    "    not be empty and must not hold '/'; they and VALUE must not hold\n"
    "    control characters that an XML file cannot (all below U+0020 but tab,\n"
    "    line feed and carriage return; U+FFFE and U+FFFF). A file that cannot\n"
    "    be read as a settings file (with the reason) or cannot be written is\n"
    "    reported, and left as it was.\n";

namespace {

TStr text_argument(const std::string& argument, const std::string& what) {
    require_utf8(argument, what);
    return TStr(argument.c_str());
}

// Text that the file will hold: XML 1.0 has no way to write the control
// characters below U+0020 other than tab, line feed and carriage return, nor
// U+FFFE and U+FFFF (the character references TinyXML would write for them
// are refused by other XML readers).
TStr stored_argument(const std::string& argument, const std::string& what) {
    for (size_t i = 0; i < argument.size(); ++i) {
        const auto byte = static_cast<unsigned char>(argument[i]);
        const bool control = byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r';
        const bool non_character = argument.compare(i, 3, "\xEF\xBF\xBE") == 0 || argument.compare(i, 3, "\xEF\xBF\xBF") == 0;
        if (control || non_character)
            fail(what + " holds a character that a settings file cannot hold, at byte offset " + std::to_string(i));
    }
    return text_argument(argument, what);
}

// A section or key that the file keeps as it is: a "/" would be taken for
// the joint of section and key when the file is written.
TStr name_argument(const std::string& argument, const std::string& what) {
    if (argument.empty()) fail(what + " is empty");
    if (argument.find('/') != std::string::npos) fail(what + " holds '/', which the file cannot keep");
    return stored_argument(argument, what);
}

std::string text_of(const TStr& text) {
    const char* utf8 = text.toUtf8();
    return utf8 != nullptr ? utf8 : "";
}

// A value as one line of list: backslashes and control characters escaped.
std::string escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (byte < 0x20 || byte == 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

// Why `argument` did not open as a settings file, as far as can be told.
std::string why_unreadable(const std::string& argument, TPath& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(fs::u8path(argument), error);
    if (fs::is_directory(status)) return "it is a folder";
    // Reading a FIFO or a device could wait for ever.
    if (fs::exists(status) && !fs::is_regular_file(status)) return "not a regular file";
    std::FILE* stream = path_fopen(static_cast<str_t*>(static_cast<void*>(path)), "rb");
    if (stream == nullptr) return std::strerror(errno);
    std::string text;
    const bool read = keloutil::read_xml_text(stream, text);
    std::fclose(stream);
    if (!read) return "it cannot be read";
    if (!keloutil::xml_within_limits(text, keloutil::settings_max_depth, SIZE_MAX))
        return "nested too deeply (more than " + std::to_string(keloutil::settings_max_depth) + " levels)";
    if (!keloutil::xml_within_limits(text, SIZE_MAX, keloutil::settings_max_attributes))
        return "an element has more than " + std::to_string(keloutil::settings_max_attributes) + " attributes";
    TiXmlDocument document;
    if (!keloutil::parse_xml_text(document, text, TIXML_ENCODING_UTF8)) {
        std::string reason = document.ErrorDesc();
        reason.erase(reason.find_last_not_of(' ') + 1);
        if (document.ErrorRow() > 0) // where TinyXML knows it
            reason += " (row " + std::to_string(document.ErrorRow()) + ", column " +
                      std::to_string(document.ErrorCol()) + ")";
        return reason;
    }
    if (document.FirstChildElement("KeloSettings") == nullptr) return "it has no KeloSettings element";
    return "it cannot be read (out of memory?)";
}

void print_line(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

// The store of FILE as it is on disk; a missing file gives an empty store.
struct Store {
    explicit Store(const std::string& argument) : name(argument), path(path_argument(argument, "FILE")) {
        if (!settings.open(path))
            fail("cannot read '" + name + "' as a settings file: " + why_unreadable(name, path));
    }

    std::map<TStr, TStr> values() {
        std::map<TStr, TStr> all;
        settings.getAll(all);
        return all;
    }

    void save() {
        if (settings.save(path)) return;
        if (values().empty()) fail("'" + name + "' would be left without any value; it is left as it was");
        fail("cannot write '" + name + "'");
    }

    std::string name;
    TPath path;
    KeloSettings settings;
};

// The section of a combined key: the text before its last "/".
std::string section_of(const std::string& combined) { return combined.substr(0, combined.rfind('/')); }

// The operands of an operation (none takes options).
Arguments operands(const Arguments& args, size_t least, size_t most, const char* usage) {
    return read_operands(args, least, most, std::string("kelo settings ") + usage);
}

int run_get(Arguments args) {
    args = operands(args, 3, 3, "get FILE SECTION KEY");
    Store store(args[0]);
    TStr value;
    if (!store.settings.getData(text_argument(args[1], "SECTION"), text_argument(args[2], "KEY"), value)) return 1;
    print_line(text_of(value));
    return 0;
}

int run_set(Arguments args) {
    args = operands(args, 4, 4, "set FILE SECTION KEY VALUE");
    const TStr section = name_argument(args[1], "SECTION"), key = name_argument(args[2], "KEY");
    // A value of white space alone reads back empty.
    if (args[3].find_first_not_of(" \t\n\v\f\r") == std::string::npos)
        fail("VALUE is empty or only white space (use 'kelo settings remove')");
    const TStr value = stored_argument(args[3], "VALUE");
    Store store(args[0]);
    if (!store.settings.setData(section, key, value)) fail("cannot set the value");
    store.save();
    return 0;
}

int run_remove(Arguments args) {
    args = operands(args, 3, 3, "remove FILE SECTION KEY");
    const TStr section = name_argument(args[1], "SECTION"), key = name_argument(args[2], "KEY");
    Store store(args[0]);
    if (!store.settings.removeData(section, key)) fail("no such key");
    store.save();
    return 0;
}

int run_remove_section(Arguments args) {
    args = operands(args, 2, 2, "remove-section FILE SECTION");
    const TStr section = name_argument(args[1], "SECTION");
    Store store(args[0]);
    bool removed = false;
    for (const auto& entry : store.values()) {
        const std::string text = text_of(entry.first);
        if (section_of(text) != args[1]) continue;
        store.settings.removeData(section, text.substr(args[1].size() + 1).c_str());
        removed = true;
    }
    if (!removed) fail("no such section");
    store.save();
    return 0;
}

int run_list(Arguments args) {
    args = operands(args, 1, 2, "list FILE [SECTION]");
    const bool all = args.size() == 1;
    const std::string section = all ? std::string() : text_of(text_argument(args[1], "SECTION"));
    Store store(args[0]);
    for (const auto& [combined, value] : store.values()) {
        const std::string text = text_of(combined);
        if (all || section_of(text) == section) print_line(escaped(text) + "=" + escaped(text_of(value)));
    }
    return 0;
}

int run_sections(Arguments args) {
    args = operands(args, 1, 1, "sections FILE");
    Store store(args[0]);
    std::set<std::string> sections;
    for (const auto& entry : store.values()) sections.insert(section_of(text_of(entry.first)));
    for (const std::string& section : sections) print_line(section);
    return 0;
}

} // namespace

const Operation settings_operations[] = {{"get", run_get},   {"set", run_set},   {"remove", run_remove},
                                         {"remove-section", run_remove_section},
                                         {"list", run_list}, {"sections", run_sections}};

int run_settings(Arguments args) {
    return run_operation("settings", settings_operations, std::size(settings_operations), std::move(args));
}

} // namespace kelo
