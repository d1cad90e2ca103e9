// SPDX-License-Identifier: MIT
/// @file
/// Locale names of the framework.
///
/// The framework is localized into a fixed set of locales (cs_CZ, de_DE,
/// en_US, es_ES, fr_FR, hu_HU, it_IT, ja_JP, ko_KR, pl_PL, pt_BR, ru_RU,
/// zh_CN, zh_TW); its localized data lie in folders named 'll-CC'. These
/// functions turn a caller's locale name, 'll_CC' or 'll-CC' in any mix of
/// case or a three-letter Windows language abbreviation such as 'DEU', into
/// the internal form 'll_CC', and fall back to the user's default locale.
/// The installed locales are read once, while the library is loaded; the
/// functions may then be called from any thread.
#ifndef KELOUTIL_LOCALES_HPP
#define KELOUTIL_LOCALES_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

namespace KeloUtil {

/// The 'll_CC' name of the user's default locale, "en_US" when it is not
/// known. Not checked against the supported locales.
KELOUTIL_API TStr getKeloDefaultLocale();

/// The internal 'll_CC' form of `locale` when it is a supported locale. A
/// well-formed name that is not supported comes back normalized (an unknown
/// abbreviation as "en_US"), and anything else as an empty string, unless
/// `useDefault` is set: then the answer is the default locale.
KELOUTIL_API TStr getKeloInternalLocale(const TStr& locale, bool useDefault);

/// The folder name 'll-CC' of `locale` read with useDefault set (so the
/// default locale's folder for a name that is not supported); empty only
/// when that gives no name.
KELOUTIL_API TStr getKeloLocaleDir(const TStr& locale);

} // namespace KeloUtil

#endif // KELOUTIL_LOCALES_HPP
