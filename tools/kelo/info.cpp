// SPDX-License-Identifier: MIT
// kelo info: what the library answers a framework module that asks where
// its files are, which language and which version.
#include "commands.hpp"
#include "location_kinds.hpp"
#include "platform.hpp"
#include "utf8_check.hpp"

#include <keloutil/customenv.hpp>
#include <keloutil/keloutil.h>
#include <keloutil/locales.hpp>
#include <keloutil/locations.hpp>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelo {

const char* const info_usage =
    "kelo info [--json] [--library-form]\n"
    "    Print the library's version, the custom environment in force (the file\n"
    "    named by NORVAXIS_KELO_THINCLIENT_ENV, else NORVAXIS_KELO_CUSTOM_ENV,\n"
    "    and the status of its load), the default locale and the folder of every\n"
    "    kind of location, localised folders for the default locale. Folders are\n"
    "    in the system's native form; with --library-form in the library's own\n"
    "    text, with \\. --json prints the same as one JSON object, the status as\n"
    "    a number and as words. Bytes that are not UTF-8 are shown as U+FFFD,\n"
    "    and a note says so.\n";

namespace {

struct Info {
    std::string version;
    int status;                       // of loading the custom environment
    std::optional<std::string> file;  // the custom environment file named
    bool thin_client;
    std::string locale;
    std::vector<std::pair<std::string, std::string>> locations; // kind, folder
    std::string user_data;
    bool replaced = false; // bytes that are not UTF-8 were replaced
};

const char* status_name(int status) {
    switch (status) {
    case KeloUtil::keloUTIL_OK: return "loaded";
    case KeloUtil::keloUTIL_NO_CUSTOM_ENV: return "none";
    case KeloUtil::keloUTIL_THINCLIENT_ENV_ERROR: return "thin-client file cannot be read";
    default: return "file cannot be read";
    }
}

// Every folder as the library gives it, or in the native form; all text in
// valid UTF-8, for JSON and for the terminal.
Info gather(bool library_form) {
    Info info;
    info.version = std::string(keloUtilVersionString()) + keloUtilVersionModifierString();
    info.status = KeloUtil::loadCustomEnvSettings();
    // The same variables, in the same order, as the library reads.
    info.file = environment_variable("NORVAXIS_KELO_THINCLIENT_ENV");
    if (!info.file) info.file = environment_variable("NORVAXIS_KELO_CUSTOM_ENV");
    info.thin_client = KeloUtil::isThinClient();
    info.locale = utf8(KeloUtil::getKeloDefaultLocale());
    const TStr locale(info.locale.c_str());
    const auto folder = [&](const std::string& text) {
        return replace_invalid_utf8(library_form ? text : native_form(text), info.replaced);
    };
    for (const LocationKind& kind : location_kinds())
        info.locations.emplace_back(kind.name, folder(location_of(kind, locale)));
    info.user_data = folder(utf8(KeloUtil::getKeloLocalUserDataLocation()));
    if (info.file) info.file = replace_invalid_utf8(*info.file, info.replaced);
    return info;
}

// `text` as a JSON string.
std::string json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') out += std::string("\\") + c;
        else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void print_json(const Info& info) {
    std::printf("{\n  \"version\": %s,\n", json(info.version).c_str());
    std::printf("  \"custom_environment\": {\n    \"status\": %d,\n    \"status_text\": %s,\n    \"file\": %s,\n"
                "    \"thin_client\": %s\n  },\n",
                info.status, json(status_name(info.status)).c_str(), info.file ? json(*info.file).c_str() : "null",
                info.thin_client ? "true" : "false");
    std::printf("  \"default_locale\": %s,\n  \"locations\": {\n", json(info.locale).c_str());
    for (size_t i = 0; i < info.locations.size(); ++i)
        std::printf("    %s: %s%s\n", json(info.locations[i].first).c_str(), json(info.locations[i].second).c_str(),
                    i + 1 < info.locations.size() ? "," : "");
    std::printf("  },\n  \"local_user_data\": %s\n}\n", json(info.user_data).c_str());
}

void print_text(const Info& info) {
    std::vector<std::pair<std::string, std::string>> rows = {
        {"version", info.version},
        {"custom environment", std::string(status_name(info.status)) + (info.thin_client ? " (thin client)" : "")},
    };
    if (info.file) rows.emplace_back("custom file", *info.file);
    rows.emplace_back("default locale", info.locale);
    for (const auto& [kind, folder] : info.locations) rows.emplace_back(kind, folder.empty() ? "-" : folder);
    rows.emplace_back("local user data", info.user_data.empty() ? "-" : info.user_data);
    if (info.replaced) rows.emplace_back("note", "bytes that are not UTF-8 are shown as U+FFFD");
    size_t width = 0;
    for (const auto& row : rows) width = std::max(width, row.first.size());
    for (const auto& [name, value] : rows) std::printf("%-*s  %s\n", static_cast<int>(width), name.c_str(), value.c_str());
}

} // namespace

int run_info(Arguments args) {
    const CommandLine line = read_command_line(args, {{"json", 0, false}, {"library-form", 0, false}});
    expect_operands(line, 0, 0, "kelo info [--json] [--library-form]");
    const bool as_json = line.has("json"), library_form = line.has("library-form");
    const Info info = gather(library_form);
    if (as_json) print_json(info);
    else print_text(info);
    return 0;
}

} // namespace kelo
