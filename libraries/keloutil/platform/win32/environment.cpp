// SPDX-License-Identifier: MIT
// The process environment on Windows, read through the runtime's wide
// functions and handed on as UTF-8.
#include "platform/os.h"
#include "platform/win32/wide_text.h"

#include <cstdlib>
#include <cwchar>
#include <new>

namespace keloutil::os {

const char* platform_name() { return "Windows"; }

str_t* environment_variable(const char* name) {
    if (name == nullptr) return nullptr;
    str_t* utf8_name = str_from_utf8(name);
    const bool name_made = !str_null(utf8_name);
    const WideText wide_name(utf8_name);
    str_uninit(utf8_name);
    if (!name_made || !wide_name.valid()) throw std::bad_alloc();
    const wchar_t* value = _wgetenv(wide_name.get());
    if (value == nullptr) return nullptr;
    str_t* text = str_from(value, static_cast<int32_t>(std::wcslen(value) * sizeof(wchar_t)), STR_ENC_UTF16LE);
    if (text == nullptr || (str_null(text) && *value != L'\0')) {
        str_uninit(text);
        throw std::bad_alloc();
    }
    return text;
}

namespace {

// The wide copy of a UTF-8 variable name.
class WideName {
public:
    explicit WideName(const char* name) : utf8_(str_from_utf8(name)), wide_(utf8_) {}
    ~WideName() { str_uninit(utf8_); }
    WideName(const WideName&) = delete;
    WideName& operator=(const WideName&) = delete;
    const WideText& text() const { return wide_; }

private:
    str_t* utf8_;
    WideText wide_;
};

} // namespace

bool environment_variable_is_set(const char* name) {
    if (name == nullptr) return false;
    const WideName wide_name(name);
    return wide_name.text().valid() && _wgetenv(wide_name.text().get()) != nullptr;
}

bool set_environment_variable(const char* name, const str_t* value) {
    if (name == nullptr) return false;
    const WideName wide_name(name);
    str_t* empty = str_null(value) ? str_from_utf8("") : nullptr;
    const WideText wide_value(empty != nullptr ? empty : value);
    str_uninit(empty);
    // The runtime's copy and the system's copy of the environment both change.
    return wide_name.text().valid() && wide_value.valid() &&
           _wputenv_s(wide_name.text().get(), wide_value.get()) == 0;
}

// Folder names do not differ by case; "dir\\" lists dir only before a ";".
PathListRules path_list_rules() { return {';', '\\', false, false}; }

} // namespace keloutil::os
