// SPDX-License-Identifier: MIT
// Prints the Windows locale data that the POSIX build of keloutil compiles
// in: for each installed locale, its LCID and the three texts the locale
// manager asks GetLocaleInfoW for (abbreviated language name, ISO 639
// language, ISO 3166 country), one C++ initialiser per line, sorted by LCID.
// Each text is read exactly as the library reads it on Windows, into a
// zero-filled buffer of 10 wide characters, so a text that does not fit is
// empty here as it is there.
//
// Built with mingw-w64 and run under Wine by scripts/update-locale-table.sh;
// not part of the normal build.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::vector<uint32_t> lcids;

BOOL CALLBACK collect(LPWSTR text) {
    if (text == nullptr) return FALSE;
    unsigned int lcid = 0;
    if (swscanf(text, L"%x", &lcid) == 1) lcids.push_back(lcid);
    return TRUE;
}

// The text as a C++ string literal: printable ASCII as it is, every other
// byte of its UTF-8 form as an octal escape (three digits, so no following
// character can extend it).
std::string literal(LCID lcid, LCTYPE type) {
    wchar_t buffer[11] = {}; // the last zero ends a text that fills the ten
    GetLocaleInfoW(lcid, type, buffer, 10);
    char utf8[64] = {};
    WideCharToMultiByte(CP_UTF8, 0, buffer, -1, utf8, sizeof utf8, nullptr, nullptr);
    std::string out = "\"";
    for (const char* p = utf8; *p != '\0'; ++p) {
        unsigned char byte = static_cast<unsigned char>(*p);
        if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
            out += static_cast<char>(byte);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\%03o", byte);
            out += escape;
        }
    }
    return out + "\"";
}

} // namespace

int main() {
    if (!EnumSystemLocalesW(collect, LCID_INSTALLED)) {
        std::fprintf(stderr, "EnumSystemLocalesW failed: %lu\n", GetLastError());
        return 1;
    }
    std::sort(lcids.begin(), lcids.end());
    lcids.erase(std::unique(lcids.begin(), lcids.end()), lcids.end());
    for (uint32_t lcid : lcids) {
        std::printf("{0x%08X, %s, %s, %s},\n", lcid, literal(lcid, LOCALE_SABBREVLANGNAME).c_str(),
                    literal(lcid, LOCALE_SISO639LANGNAME).c_str(), literal(lcid, LOCALE_SISO3166CTRYNAME).c_str());
    }
    return 0;
}
