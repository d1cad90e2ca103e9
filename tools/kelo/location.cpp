// SPDX-License-Identifier: MIT
// kelo location: the folder of one kind of the framework's files.
#include "commands.hpp"
#include "location_kinds.hpp"

#include <keloutil/locales.hpp>
#include <keloutil/locations.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace kelo {

const char* const location_usage =
    "kelo location KIND [--locale LOCALE] [--library-form]\n"
    "    Print the folder of KIND, one of COMMON_BIN, COMMON_LIB,\n"
    "    COMMON_LOCALIZED_DATA, COMMON_DATA, LOG_FILE, ERROR_TABLE,\n"
    "    USER_SETTINGS_FILE, APPLICATION_KELO_RESOURCE, APPLICATION_ERROR_LOG_FILE\n"
    "    (any case), in the system's native form; with --library-form in the\n"
    "    library's own text, with \\. COMMON_LOCALIZED_DATA ends in the folder of\n"
    "    LOCALE, a name as kelo locale takes it (the default locale when it is not\n"
    "    given). The last two come only from a custom environment. Exit status 1\n"
    "    when no folder is known.\n";

const std::vector<LocationKind>& location_kinds() {
    static const std::vector<LocationKind> kinds = {
        {"COMMON_BIN", KeloUtil::COMMON_BIN, false},
        {"COMMON_LIB", KeloUtil::COMMON_LIB, false},
        {"COMMON_LOCALIZED_DATA", KeloUtil::COMMON_LOCALIZED_DATA, false},
        {"COMMON_DATA", KeloUtil::COMMON_DATA, false},
        {"LOG_FILE", KeloUtil::LOG_FILE, false},
        {"ERROR_TABLE", KeloUtil::ERROR_TABLE, false},
        {"USER_SETTINGS_FILE", KeloUtil::USER_SETTINGS_FILE, false},
        {"APPLICATION_KELO_RESOURCE", KeloUtil::APPLICATION_KELO_RESOURCE, true},
        {"APPLICATION_ERROR_LOG_FILE", KeloUtil::APPLICATION_ERROR_LOG_FILE, true},
    };
    return kinds;
}

const LocationKind& location_kind(const std::string& name) {
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const LocationKind& kind : location_kinds()) {
        if (upper == kind.name) return kind;
    }
    std::string names;
    for (const LocationKind& kind : location_kinds()) names += std::string(names.empty() ? "" : ", ") + kind.name;
    usage_error("unknown location kind '" + name + "' (kinds: " + names + ")");
}

std::string utf8(const TStr& text) {
    const auto* record = static_cast<const str_t*>(text.handle());
    return record != nullptr && record->buffer != nullptr ? record->buffer : "";
}

std::string location_of(const LocationKind& kind, const TStr& locale) {
    if (kind.override_only)
        return utf8(KeloUtil::getKeloAPIFileLocationOverride(static_cast<KeloUtil::KeloAPIFileType>(kind.value), TStr()));
    return utf8(KeloUtil::getKeloFileLocation(static_cast<KeloUtil::KeloFileType>(kind.value), locale));
}

int run_location(Arguments args) {
    const CommandLine line = read_command_line(args, {{"locale", 0, true}, {"library-form", 0, false}});
    expect_operands(line, 1, 1, "kelo location KIND [--locale LOCALE] [--library-form]");
    args = line.operands;
    const std::optional<std::string> locale = line.value("locale");
    const bool library_form = line.has("library-form");
    if (locale) require_utf8(*locale, "LOCALE");
    const LocationKind& kind = location_kind(args.front());
    const std::string folder =
        location_of(kind, locale ? TStr(locale_name(*locale).c_str()) : KeloUtil::getKeloDefaultLocale());
    if (folder.empty()) fail("no folder of " + args.front() + " is known");
    std::printf("%s\n", library_form ? folder.c_str() : native_form(folder).c_str());
    return 0;
}

} // namespace kelo
