// SPDX-License-Identifier: MIT
// The process environment on POSIX systems, where its text is UTF-8.
#include "platform/os.h"

#include <cstdlib>
#include <new>
#include <string>

namespace keloutil::os {

const char* platform_name() { return "Linux"; }

str_t* environment_variable(const char* name) {
    const char* value = name != nullptr ? std::getenv(name) : nullptr;
    if (value == nullptr) return nullptr;
    str_t* text = str_from_utf8(value);
    if (text == nullptr || (str_null(text) && *value != '\0')) {
        str_uninit(text);
        throw std::bad_alloc();
    }
    return text;
}

bool environment_variable_is_set(const char* name) { return name != nullptr && std::getenv(name) != nullptr; }

bool set_environment_variable(const char* name, const str_t* value) {
    if (name == nullptr) return false;
    const std::string text =
        str_null(value) ? std::string() : std::string(value->buffer, static_cast<size_t>(str_len(value)));
    return setenv(name, text.c_str(), 1) == 0;
}

// Folder names are case-sensitive here; "dir/" lists dir wherever it stands.
PathListRules path_list_rules() { return {':', '/', true, true}; }

} // namespace keloutil::os
