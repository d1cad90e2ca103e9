// The framework's folders by kind: the custom environment's values when a
// custom environment file is in force, else folders built from the system's
// standard folders; and the COMMON_LIB folder put on PATH.
#include <keloutil/customenv.hpp>
#include <keloutil/locales.hpp>
#include <keloutil/locations.hpp>
#include <keloutil/version.h>

#include "platform/os.h"

#include <string>

namespace KeloUtil {

namespace {

// ---- small helpers on TStr ----------------------------------------------------

TStr adopt(str_t* record) {
    void* handle = record;
    return TStr(handle);
}

const str_t* record_of(const TStr& s) { return static_cast<const str_t*>(s.handle()); }

// The UTF-8 bytes of the text; empty for a null string.
std::string bytes_of(const TStr& s) {
    const str_t* record = record_of(s);
    return str_null(record) ? std::string() : std::string(record->buffer, static_cast<size_t>(str_len(record)));
}

TStr from_bytes(const std::string& text) {
    return adopt(str_from(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8));
}

bool ends_with(const TStr& text, char c) {
    const std::string bytes = bytes_of(text);
    return !bytes.empty() && bytes.back() == c;
}

// "/" for a path written with "/" anywhere, else "\\".
char separator_of(const TStr& path) { return bytes_of(path).find('/') != std::string::npos ? '/' : '\\'; }

// ---- keys and building blocks ---------------------------------------------------

TStr getFileTypeKey(int32_t type) {
    switch (type) {
    case COMMON_BIN: return TStr("KELO_COMMON_BIN_LOCATION");
    case COMMON_LIB: return TStr("KELO_COMMON_LIB_LOCATION");
    case COMMON_LOCALIZED_DATA: return TStr("KELO_COMMON_LOCALIZED_DATA_LOCATION");
    case COMMON_DATA: return TStr("KELO_COMMON_DATA_LOCATION");
    case LOG_FILE: return TStr("KELO_LOG_FILE_LOCATION");
    case ERROR_TABLE: return TStr("KELO_ERROR_TABLE_LOCATION");
    case USER_SETTINGS_FILE: return TStr("KELO_USER_SETTINGS_FILE_LOCATION");
    default: return TStr("");
    }
}

TStr getAPIFileTypeKey(int32_t type) {
    switch (type) {
    case APPLICATION_KELO_RESOURCE: return TStr("KELO_APPLICATION_KELO_RESOURCE_LOCATION");
    case APPLICATION_ERROR_LOG_FILE: return TStr("KELO_APPLICATION_ERROR_LOG_FILE");
    default: return TStr("");
    }
}

// A standard folder of the system (adopted) with the framework's
// subfolders and a separator; empty when the system gave no folder.
TStr frameworkFolder(str_t* systemFolder, const char* subfolders) {
    TStr folder = adopt(systemFolder);
    if (folder.isNull()) return TStr("");
    folder += subfolders;
    folder += "\\";
    return folder;
}

TStr getSharedFolder() { return frameworkFolder(keloutil::os::common_files_folder(), "\\Norvaxis Shared\\Kelo"); }

TStr getProgramDataFolder() { return frameworkFolder(keloutil::os::common_data_folder(), "\\Norvaxis\\Kelo"); }

// "R" and the major version: the version text up to its first ".".
TStr getVersionFolder() {
    std::string major = keloUtilVersionString();
    major = major.substr(0, major.find('.'));
    return major.empty() ? TStr("") : from_bytes("R" + major);
}

// path, then the locale's folder, each followed by the path's separator.
TStr appendLocaleDir(const TStr& path, const TStr& locale) {
    if (path.isEmpty() || locale.isEmpty()) return path;
    const TStr dir = getKeloLocaleDir(locale);
    if (dir.isEmpty()) return path;
    const char separator = separator_of(path);
    TStr result(path);
    if (!ends_with(result, separator)) result += separator;
    result += dir;
    result += separator;
    return result;
}

TStr builtInLocation(int32_t type, const TStr& locale) {
    TStr folder;
    switch (type) {
    case COMMON_BIN:
    case COMMON_LIB:
    case COMMON_LOCALIZED_DATA: folder = getSharedFolder(); break;
    case COMMON_DATA:
    case LOG_FILE:
    case ERROR_TABLE: folder = getProgramDataFolder(); break;
    case USER_SETTINGS_FILE: return getKeloLocalUserDataLocation();
    default: return TStr("");
    }
    if (folder.isEmpty()) return folder;
    const TStr version = getVersionFolder();
    if (!version.isEmpty()) {
        folder += version;
        folder += "\\";
    }
    return type == COMMON_LOCALIZED_DATA ? appendLocaleDir(folder, locale) : folder;
}

// ---- PATH -----------------------------------------------------------------------

// A folder as PATH lists it: in the native form, less one trailing separator.
std::string pathEntry(const TStr& folder, const keloutil::os::PathListRules& rules) {
    std::string entry = bytes_of(adopt(keloutil::os::native_path(record_of(folder))));
    if (!entry.empty() && entry.back() == rules.folder_separator) entry.pop_back();
    return entry;
}

// The text as folder names are compared here.
std::string comparable(const std::string& text, const keloutil::os::PathListRules& rules) {
    return rules.case_sensitive ? text : bytes_of(from_bytes(text).upper());
}

// Whether `folder` is listed in `path` (both comparable): an occurrence
// counts when the list ends after it or goes on with a list separator,
// directly or after one folder separator.
bool isListed(const std::string& path, const std::string& folder, const keloutil::os::PathListRules& rules) {
    for (size_t at = path.find(folder); at != std::string::npos; at = path.find(folder, at + folder.size())) {
        const size_t after = at + folder.size();
        if (after == path.size() || path[after] == rules.list_separator) return true;
        if (path[after] != rules.folder_separator) continue;
        if (after + 1 == path.size() ? rules.separator_ends_list : path[after + 1] == rules.list_separator)
            return true;
    }
    return false;
}

} // namespace

TStr getKeloFileLocation(KeloFileType type, const TStr& locale) {
    const TStr key = getFileTypeKey(type);
    CKeloUtilCustomEnv& customEnv = CKeloUtilCustomEnv::instance();
    if (key.isEmpty() || !customEnv.hasSettings()) return builtInLocation(type, locale);
    // The custom environment answers alone, also for the kinds it leaves out.
    TStr result = customEnv.getValue(key);
    if (result.isEmpty()) return TStr("");
    const char separator = separator_of(result);
    if (!ends_with(result, separator)) result += separator;
    return type == COMMON_LOCALIZED_DATA ? appendLocaleDir(result, locale) : result;
}

TStr getKeloAPIFileLocationOverride(KeloAPIFileType type, const TStr& /*argument*/) {
    const TStr key = getAPIFileTypeKey(type);
    CKeloUtilCustomEnv& customEnv = CKeloUtilCustomEnv::instance();
    if (key.isEmpty() || !customEnv.hasSettings()) return TStr("");
    return customEnv.getValue(key);
}

TStr getKeloLocalUserDataLocation() { return frameworkFolder(keloutil::os::local_data_folder(), "\\Norvaxis\\Kelo"); }

void setCustomEnvPathVars() {
    const TStr bin = getKeloFileLocation(COMMON_BIN, TStr(""));
    const TStr lib = getKeloFileLocation(COMMON_LIB, TStr(""));
    if (bin.isEmpty() || lib.isEmpty()) return;
    const keloutil::os::PathListRules rules = keloutil::os::path_list_rules();
    const std::string binEntry = pathEntry(bin, rules);
    const std::string libEntry = pathEntry(lib, rules);
    // An entry that was only a separator names no folder to add.
    if (libEntry.empty() || comparable(binEntry, rules) == comparable(libEntry, rules)) return;

    if (!keloutil::os::environment_variable_is_set("PATH")) {
        keloutil::os::set_environment_variable("PATH", record_of(from_bytes(libEntry)));
        return;
    }
    const TStr path = adopt(keloutil::os::environment_variable("PATH"));
    if (path.isNull()) return; // no memory for the current value
    std::string value = bytes_of(path);
    if (isListed(comparable(value, rules), comparable(libEntry, rules), rules)) return;
    if (!value.empty() && value.back() != rules.list_separator) value += rules.list_separator;
    value += libEntry;
    keloutil::os::set_environment_variable("PATH", record_of(from_bytes(value)));
}

} // namespace KeloUtil
