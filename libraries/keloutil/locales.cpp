// SPDX-License-Identifier: MIT
// The locale manager and the KeloUtil locale functions. The system's
// locale services (the installed locales, their names and the user's
// default) come through the platform seam.
#include <keloutil/locales.hpp>

#include "guarded.h"
#include "locale_manager.h"
#include "platform/os.h"

#include <string>
#include <string_view>

namespace {

const char* const supported_locales = "cs_CZ;de_DE;en_US;es_ES;fr_FR;hu_HU;it_IT;ja_JP;ko_KR;pl_PL;pt_BR;ru_RU;zh_CN;zh_TW";
const char* const fallback_locale = "en_US";

// The answers are worked out on std::string and made strings only at the
// end, every step checked: memory that runs out throws, and the public
// functions answer the empty string for it, never a wrong locale.

// The UTF-8 bytes a string holds, read in place.
std::string_view view(const TStr& s) {
    const auto* record = static_cast<const str_t*>(s.handle());
    if (str_null(record)) return {};
    return {record->buffer, static_cast<size_t>(str_len(record))};
}

// The string of `text`; throws std::bad_alloc when it cannot be made.
TStr made(std::string_view text) {
    TStr result(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8);
    if (result.isNull()) keloutil::out_of_memory();
    return result;
}

// A copy that is checked as `made` is.
TStr copy_of(const TStr& s) { return s.isNull() ? TStr() : made(view(s)); }

bool isSupportedLocale(std::string_view name) {
    const std::string_view list = supported_locales;
    for (size_t at = list.find(name); !name.empty() && at != std::string_view::npos; at = list.find(name, at + 1)) {
        const size_t end = at + name.size();
        if ((at == 0 || list[at - 1] == ';') && (end == list.size() || list[end] == ';')) return true;
    }
    return false;
}

// Characters outside ASCII are never letters here.
bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// 'll_CC' or 'll-CC', letters in any case.
bool hasFiveCharacterForm(std::string_view locale) {
    return locale.size() == 5 && isAsciiLetter(locale[0]) && isAsciiLetter(locale[1]) &&
           (locale[2] == '-' || locale[2] == '_') && isAsciiLetter(locale[3]) && isAsciiLetter(locale[4]);
}

bool hasThreeLetterForm(std::string_view locale) {
    return locale.size() == 3 && isAsciiLetter(locale[0]) && isAsciiLetter(locale[1]) && isAsciiLetter(locale[2]);
}

// ASCII letters in the one case.
std::string inCase(std::string_view text, bool upper) {
    std::string result(text);
    for (char& c : result)
        if (isAsciiLetter(c)) c = static_cast<char>(upper ? (c & ~0x20) : (c | 0x20));
    return result;
}

void addLocaleOf(uint32_t lcid, void* manager) { static_cast<CKeloUtilLocaleMgr*>(manager)->addLocale(lcid); }

TStr localeText(uint32_t lcid, keloutil::os::LocaleText which) {
    return TStr(keloutil::os::locale_text(lcid, which).c_str());
}

// The default locale's name, never empty.
TStr defaultLocale() {
    const TStr locale = CKeloUtilLocaleMgr::mInstance.localeFromLcid(keloutil::os::user_default_lcid());
    return locale.isEmpty() ? made(fallback_locale) : locale;
}

} // namespace

// What memory fails while the table is filled is left out of it.
CKeloUtilLocaleMgr::CKeloUtilLocaleMgr() {
    keloutil::guarded([this] { enumerateLocales(); });
}

CKeloUtilLocaleMgr::~CKeloUtilLocaleMgr() {}

void CKeloUtilLocaleMgr::enumerateLocales() {
    if (lcidToAbbrev.empty()) keloutil::os::enumerate_locales(addLocaleOf, this);
}

void CKeloUtilLocaleMgr::addLocale(uint32_t lcid) {
    if (lcidToAbbrev.count(lcid) != 0) return;
    using keloutil::os::LocaleText;
    const TStr abbrev = localeText(lcid, LocaleText::abbreviated_language);
    const TStr language = localeText(lcid, LocaleText::iso639_language);
    const TStr country = localeText(lcid, LocaleText::iso3166_country);
    if (abbrev.isEmpty() || language.isEmpty() || country.isEmpty()) return;
    const TStr key = made(inCase(view(abbrev), true));
    const TStr name = made(std::string(view(language)) + "_" + std::string(view(country)));
    lcidToAbbrev.emplace(lcid, key);
    abbrevToLocale.emplace(key, name);
}

TStr CKeloUtilLocaleMgr::localeFromLcid(uint32_t lcid) const {
    if (lcidToAbbrev.empty()) return TStr();
    const auto abbrev = lcidToAbbrev.find(lcid);
    if (abbrev == lcidToAbbrev.end()) return made(fallback_locale);
    const auto locale = abbrevToLocale.find(abbrev->second);
    return locale == abbrevToLocale.end() ? made(fallback_locale) : copy_of(locale->second);
}

TStr CKeloUtilLocaleMgr::localeFromAbbrev(const TStr& abbrev) const {
    if (abbrev.isEmpty()) return TStr();
    const auto locale = abbrevToLocale.find(made(inCase(view(abbrev), true)));
    return locale == abbrevToLocale.end() ? made(fallback_locale) : copy_of(locale->second);
}

namespace KeloUtil {

TStr getKeloDefaultLocale() { return keloutil::guarded(TStr::null, defaultLocale); }

TStr getKeloInternalLocale(const TStr& locale, bool useDefault) {
    return keloutil::guarded(TStr::null, [&] {
        const std::string_view text = view(locale);
        TStr result;
        if (hasFiveCharacterForm(text)) {
            const std::string name = inCase(text.substr(0, 2), false) + "_" + inCase(text.substr(3), true);
            result = made(name);
            if (isSupportedLocale(name)) return result;
        }
        if (hasThreeLetterForm(text)) {
            result = CKeloUtilLocaleMgr::mInstance.localeFromAbbrev(locale);
            if (isSupportedLocale(view(result))) return result;
        }
        return useDefault ? defaultLocale() : result;
    });
}

TStr getKeloLocaleDir(const TStr& locale) {
    return keloutil::guarded(TStr::null, [&] {
        const TStr internal = getKeloInternalLocale(locale, true);
        const std::string_view name = view(internal);
        if (name.size() < 2) return copy_of(internal);
        return made(std::string(name.substr(0, 2)) + "-" + std::string(name.substr(name.size() - 2)));
    });
}

} // namespace KeloUtil
