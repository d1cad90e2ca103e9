/* SPDX-License-Identifier: MIT */
// The table of the installed system locales behind the KeloUtil locale
// functions: each locale's abbreviated language name by LCID, and the
// 'll_CC' name by abbreviation. The library's one instance is a static
// object (library_statics.cpp) that fills both maps while the library is
// loaded; afterwards they are only read. Its answers throw std::bad_alloc
// when memory runs out. Internal: not exported.
#ifndef KELOUTIL_LOCALE_MANAGER_H
#define KELOUTIL_LOCALE_MANAGER_H

#include <keloutil/tstr.hpp>

#include <cstdint>
#include <map>

class CKeloUtilLocaleMgr {
public:
    CKeloUtilLocaleMgr();
    virtual ~CKeloUtilLocaleMgr();

    // Adds every installed system locale, unless the maps are filled already.
    void enumerateLocales();
    // Records the locale when the system knows its abbreviated language
    // name, ISO 639 language and ISO 3166 country; an LCID or abbreviation
    // that is recorded already keeps its entry.
    void addLocale(uint32_t lcid);
    // The 'll_CC' name of the locale: empty when no locale is recorded at
    // all, "en_US" when this one is not.
    TStr localeFromLcid(uint32_t lcid) const;
    // The 'll_CC' name for an abbreviated language name in any case: empty
    // for an empty argument, "en_US" when no locale has it.
    TStr localeFromAbbrev(const TStr& abbrev) const;

    // The library's instance, constructed at load.
    static CKeloUtilLocaleMgr mInstance;

private:
    CKeloUtilLocaleMgr(const CKeloUtilLocaleMgr&);
    CKeloUtilLocaleMgr& operator=(const CKeloUtilLocaleMgr&);

    std::map<uint32_t, TStr> lcidToAbbrev;
    std::map<TStr, TStr> abbrevToLocale;
};

#endif // KELOUTIL_LOCALE_MANAGER_H
