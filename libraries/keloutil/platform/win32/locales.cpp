// SPDX-License-Identifier: MIT
// Installed locales on Windows: the system's own locale services.
#include "platform/os.h"

#include <windows.h>

#include <cwchar>

namespace keloutil::os {

namespace {

// EnumSystemLocalesW passes its callback no context of its own, so the
// adder of the enumeration in progress waits here. The library enumerates
// once, while it is loaded, on one thread.
LocaleAdder current_add = nullptr;
void* current_context = nullptr;

// Receives each locale's LCID as hexadecimal digits ('00000409'); false
// ends the enumeration.
BOOL CALLBACK enumLocalesProc(LPWSTR text) {
    if (text == nullptr) return FALSE;
    unsigned int lcid = 0;
    swscanf_s(text, L"%x", &lcid);
    current_add(lcid, current_context);
    return TRUE;
}

LCTYPE locale_info_type(LocaleText which) {
    switch (which) {
    case LocaleText::abbreviated_language: return LOCALE_SABBREVLANGNAME;
    case LocaleText::iso639_language: return LOCALE_SISO639LANGNAME;
    case LocaleText::iso3166_country: return LOCALE_SISO3166CTRYNAME;
    }
    return 0;
}

} // namespace

void enumerate_locales(LocaleAdder add, void* context) {
    current_add = add;
    current_context = context;
    EnumSystemLocalesW(enumLocalesProc, LCID_INSTALLED);
    current_add = nullptr;
    current_context = nullptr;
}

std::string locale_text(uint32_t lcid, LocaleText which) {
    // Ten characters as the system is told, and one more zero that always
    // ends the text, whatever a failed call leaves in the ten.
    wchar_t name[11] = {};
    GetLocaleInfoW(lcid, locale_info_type(which), name, 10);
    char utf8[40] = {};
    WideCharToMultiByte(CP_UTF8, 0, name, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

uint32_t user_default_lcid() { return GetUserDefaultLCID(); }

} // namespace keloutil::os
