// SPDX-License-Identifier: MIT
// The framework's folders by kind: the custom environment's values when a
// custom environment file is in force, else folders built from the system's
// standard folders; and the COMMON_LIB folder put on PATH. The answers are
// built as std::string and made strings only at the end, every step
// checked: memory that runs out throws, and the public functions answer
// their failure result for it (the empty string, or nothing done), never a
// folder that lacks a part.
#include <keloutil/customenv.hpp>
#include <keloutil/locales.hpp>
#include <keloutil/locations.hpp>
#include <keloutil/version.h>

#include "guarded.h"
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

// The string of `text`; throws std::bad_alloc when it cannot be made.
TStr from_bytes(const std::string& text) {
    TStr made = adopt(str_from(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8));
    if (made.isNull()) keloutil::out_of_memory();
    return made;
}

// "/" for a path written with "/" anywhere, else "\\".
char separator_of(const std::string& path) { return path.find('/') != std::string::npos ? '/' : '\\'; }

// The path with `separator` at its end.
std::string with_separator(std::string path, char separator) {
    if (path.empty() || path.back() != separator) path += separator;
    return path;
}

// ---- keys and building blocks ---------------------------------------------------

// The custom environment's key of a kind; nullptr for none.
const char* getFileTypeKey(int32_t type) {
    switch (type) {
    case COMMON_BIN: return "KELO_COMMON_BIN_LOCATION";
    case COMMON_LIB: return "KELO_COMMON_LIB_LOCATION";
    case COMMON_LOCALIZED_DATA: return "KELO_COMMON_LOCALIZED_DATA_LOCATION";
    case COMMON_DATA: return "KELO_COMMON_DATA_LOCATION";
    case LOG_FILE: return "KELO_LOG_FILE_LOCATION";
    case ERROR_TABLE: return "KELO_ERROR_TABLE_LOCATION";
    case USER_SETTINGS_FILE: return "KELO_USER_SETTINGS_FILE_LOCATION";
    default: return nullptr;
    }
}

const char* getAPIFileTypeKey(int32_t type) {
    switch (type) {
    case APPLICATION_KELO_RESOURCE: return "KELO_APPLICATION_KELO_RESOURCE_LOCATION";
    case APPLICATION_ERROR_LOG_FILE: return "KELO_APPLICATION_ERROR_LOG_FILE";
    default: return nullptr;
    }
}

// The custom environment's value of a key, as it stands.
std::string customValue(const char* key) {
    return bytes_of(CKeloUtilCustomEnv::instance().getValue(from_bytes(key)));
}

// A standard folder of the system (adopted) with the framework's
// subfolders and a separator; empty when the system gave no folder.
std::string frameworkFolder(str_t* systemFolder, const char* subfolders) {
    const TStr folder = adopt(systemFolder);
    if (folder.isNull()) return std::string();
    return bytes_of(folder) + subfolders + "\\";
}

std::string getSharedFolder() {
    return frameworkFolder(keloutil::os::common_files_folder(), "\\Norvaxis Shared\\Kelo");
}

std::string getProgramDataFolder() { return frameworkFolder(keloutil::os::common_data_folder(), "\\Norvaxis\\Kelo"); }

// "R" and the major version: the version text up to its first ".".
std::string getVersionFolder() {
    std::string major = keloUtilVersionString();
    major = major.substr(0, major.find('.'));
    return major.empty() ? major : "R" + major;
}

// path, then the locale's folder, each followed by the path's separator.
std::string appendLocaleDir(const std::string& path, const TStr& locale) {
    if (path.empty() || locale.isEmpty()) return path;
    const std::string dir = bytes_of(getKeloLocaleDir(locale));
    if (dir.empty()) keloutil::out_of_memory(); // a name is empty only then
    const char separator = separator_of(path);
    return with_separator(path, separator) + dir + separator;
}

std::string builtInLocation(int32_t type, const TStr& locale) {
    std::string folder;
    switch (type) {
    case COMMON_BIN:
    case COMMON_LIB:
    case COMMON_LOCALIZED_DATA: folder = getSharedFolder(); break;
    case COMMON_DATA:
    case LOG_FILE:
    case ERROR_TABLE: folder = getProgramDataFolder(); break;
    case USER_SETTINGS_FILE: return frameworkFolder(keloutil::os::local_data_folder(), "\\Norvaxis\\Kelo");
    default: return std::string();
    }
    if (folder.empty()) return folder;
    const std::string version = getVersionFolder();
    if (!version.empty()) folder += version + "\\";
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
    if (rules.case_sensitive) return text;
    const TStr upper = from_bytes(text).upper();
    if (upper.isNull()) keloutil::out_of_memory();
    return bytes_of(upper);
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

// The body of setCustomEnvPathVars.
void putLibraryFolderOnPath() {
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
    std::string value = bytes_of(adopt(keloutil::os::environment_variable("PATH")));
    if (isListed(comparable(value, rules), comparable(libEntry, rules), rules)) return;
    if (!value.empty() && value.back() != rules.list_separator) value += rules.list_separator;
    value += libEntry;
    keloutil::os::set_environment_variable("PATH", record_of(from_bytes(value)));
}

} // namespace

TStr getKeloFileLocation(KeloFileType type, const TStr& locale) {
    return keloutil::guarded(TStr::null, [&] {
        const int32_t status = CKeloUtilCustomEnv::instance().getStatus();
        if (status == -1) return TStr(""); // whether a custom environment is in force is not known
        const char* const key = getFileTypeKey(type);
        if (key == nullptr || status != keloUTIL_OK) return from_bytes(builtInLocation(type, locale));
        // The custom environment answers alone, also for the kinds it leaves out.
        const std::string value = customValue(key);
        if (value.empty()) return TStr("");
        const std::string folder = with_separator(value, separator_of(value));
        return from_bytes(type == COMMON_LOCALIZED_DATA ? appendLocaleDir(folder, locale) : folder);
    });
}

TStr getKeloAPIFileLocationOverride(KeloAPIFileType type, const TStr& /*argument*/) {
    return keloutil::guarded(TStr::null, [type] {
        const char* const key = getAPIFileTypeKey(type);
        if (key == nullptr || !CKeloUtilCustomEnv::instance().hasSettings()) return TStr("");
        return CKeloUtilCustomEnv::instance().getValue(from_bytes(key));
    });
}

TStr getKeloLocalUserDataLocation() {
    return keloutil::guarded(TStr::null, [] { return from_bytes(builtInLocation(USER_SETTINGS_FILE, TStr())); });
}

void setCustomEnvPathVars() { keloutil::guarded(putLibraryFolderOnPath); }

} // namespace KeloUtil
