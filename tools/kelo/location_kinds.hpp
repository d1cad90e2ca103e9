// SPDX-License-Identifier: MIT
// The kinds of framework location that kelo location and kelo info show, by
// the names of the library's enumerations.
#ifndef KELO_LOCATION_KINDS_HPP
#define KELO_LOCATION_KINDS_HPP

#include <keloutil/tstr.hpp>

#include <string>
#include <vector>

namespace kelo {

struct LocationKind {
    const char* name;
    int32_t value;
    bool override_only; // a KeloAPIFileType: a custom environment's value or nothing
};

// Every kind, the framework's own first, in the order of their values.
const std::vector<LocationKind>& location_kinds();

// The kind named `name` (case-insensitive); fails with the list of names
// when there is none.
const LocationKind& location_kind(const std::string& name);

// The folder of `kind`, as the library answers it; `locale` matters only for
// COMMON_LOCALIZED_DATA. UTF-8, empty when the library knows none.
std::string location_of(const LocationKind& kind, const TStr& locale);

// The locale part of a locale name, read as the library reads the locale
// variables of the environment (ll_CC[.codeset][@modifier]): the text
// before the first "." or "@".
std::string locale_name(const std::string& name);

// The UTF-8 text of a TStr; empty for a null one.
std::string utf8(const TStr& text);

} // namespace kelo

#endif // KELO_LOCATION_KINDS_HPP
