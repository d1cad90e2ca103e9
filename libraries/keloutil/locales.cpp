// The locale manager and the KeloUtil locale functions. The system's
// locale services (the installed locales, their names and the user's
// default) come through the platform seam.
#include <keloutil/locales.hpp>

#include "locale_manager.h"
#include "platform/os.h"

namespace {

const char* const supported_locales = "cs_CZ;de_DE;en_US;es_ES;fr_FR;hu_HU;it_IT;ja_JP;ko_KR;pl_PL;pt_BR;ru_RU;zh_CN;zh_TW";
const char* const fallback_locale = "en_US";

bool isSupportedLocale(const TStr& name) {
    TStr list(supported_locales);
    const TStr separator(";");
    while (!list.isEmpty()) {
        if (list.shift(separator) == name) return true;
    }
    return false;
}

// at() widens the first byte of a character as a signed byte, so any
// character outside ASCII fails here.
bool isAsciiLetter(uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool hasFiveCharacterForm(const TStr& locale) {
    if (locale.utf8CharCount() != 5) return false;
    const uint32_t middle = locale.at(2);
    return isAsciiLetter(locale.at(0)) && isAsciiLetter(locale.at(1)) && (middle == '-' || middle == '_') &&
           isAsciiLetter(locale.at(3)) && isAsciiLetter(locale.at(4));
}

bool hasThreeLetterForm(const TStr& locale) {
    return locale.utf8CharCount() == 3 && isAsciiLetter(locale.at(0)) && isAsciiLetter(locale.at(1)) &&
           isAsciiLetter(locale.at(2));
}

void addLocaleOf(uint32_t lcid, void* manager) { static_cast<CKeloUtilLocaleMgr*>(manager)->addLocale(lcid); }

TStr localeText(uint32_t lcid, keloutil::os::LocaleText which) {
    return TStr(keloutil::os::locale_text(lcid, which).c_str());
}

} // namespace

CKeloUtilLocaleMgr::CKeloUtilLocaleMgr() { enumerateLocales(); }

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
    const TStr key = abbrev.upper();
    lcidToAbbrev.emplace(lcid, key);
    abbrevToLocale.emplace(key, language + "_" + country);
}

TStr CKeloUtilLocaleMgr::localeFromLcid(uint32_t lcid) const {
    if (lcidToAbbrev.empty()) return TStr();
    const auto abbrev = lcidToAbbrev.find(lcid);
    if (abbrev == lcidToAbbrev.end()) return TStr(fallback_locale);
    const auto locale = abbrevToLocale.find(abbrev->second);
    return locale == abbrevToLocale.end() ? TStr(fallback_locale) : locale->second;
}

TStr CKeloUtilLocaleMgr::localeFromAbbrev(const TStr& abbrev) const {
    if (abbrev.isEmpty()) return TStr();
    const auto locale = abbrevToLocale.find(abbrev.upper());
    return locale == abbrevToLocale.end() ? TStr(fallback_locale) : locale->second;
}

namespace KeloUtil {

TStr getKeloDefaultLocale() {
    TStr result = CKeloUtilLocaleMgr::mInstance.localeFromLcid(keloutil::os::user_default_lcid());
    if (result.isEmpty()) result = fallback_locale;
    return result;
}

TStr getKeloInternalLocale(const TStr& locale, bool useDefault) {
    TStr result;
    if (hasFiveCharacterForm(locale)) {
        result = locale.left(2).lower() + "_" + locale.right(2).upper();
        if (isSupportedLocale(result)) return result;
    }
    if (hasThreeLetterForm(locale)) {
        result = CKeloUtilLocaleMgr::mInstance.localeFromAbbrev(locale);
        if (isSupportedLocale(result)) return result;
    }
    if (useDefault) result = getKeloDefaultLocale();
    return result;
}

TStr getKeloLocaleDir(const TStr& locale) {
    const TStr name = getKeloInternalLocale(locale, true);
    if (name.isEmpty()) return name;
    return name.left(2) + "-" + name.right(2);
}

} // namespace KeloUtil
