// SPDX-License-Identifier: MIT
// The standard folders on POSIX systems: shared program files under /opt,
// machine-wide data under /var/opt, and the user's data folder of the XDG
// base directory rules. Answers are in the library's form ("\\" for "/").
#include "platform/os.h"
#include "platform/posix/library_form.h"

#include <cstdlib>
#include <string>

namespace keloutil::os {

namespace {

// The folder that the variable names, without trailing "/"; false when
// the variable is not set or empty. The root comes back as the empty text,
// which the caller extends with "\\..." to a path under the root.
bool variable_folder(const char* name, std::string* folder) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return false;
    *folder = value;
    while (!folder->empty() && folder->back() == '/') folder->pop_back();
    return true;
}

} // namespace

str_t* common_files_folder() { return library_form("/opt"); }

str_t* common_data_folder() { return library_form("/var/opt"); }

str_t* local_data_folder() {
    std::string folder;
    if (variable_folder("XDG_DATA_HOME", &folder)) return library_form(folder);
    if (variable_folder("HOME", &folder)) return library_form(folder + "/.local/share");
    return nullptr;
}

} // namespace keloutil::os
