// SPDX-License-Identifier: MIT
/// @file
/// The folders of the framework's files by kind.
///
/// While a custom environment file is in force (customenv.hpp) it is the only
/// source: each kind's key gives its folder. Otherwise a kind has a built-in
/// folder under one of the system's standard folders, named after the
/// framework and its major version (R5). Every answer is a folder path that
/// ends with a separator, or the empty string when no location is known.
/// Nothing is cached and nothing is created on disk.
#ifndef KELOUTIL_LOCATIONS_HPP
#define KELOUTIL_LOCATIONS_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

#include <cstdint>

namespace KeloUtil {

/// The framework's own kinds; the values are part of the interface (6 to 9
/// are reserved).
enum KeloFileType : int32_t {
    COMMON_BIN = 0,
    COMMON_LIB = 1, ///< the same built-in folder as COMMON_BIN
    COMMON_LOCALIZED_DATA = 2,
    COMMON_DATA = 3,
    LOG_FILE = 4,
    ERROR_TABLE = 5,
    USER_SETTINGS_FILE = 10,
};

/// Locations that an application may override; they have no built-in folder
/// (2 is reserved).
enum KeloAPIFileType : int32_t {
    APPLICATION_KELO_RESOURCE = 0,
    APPLICATION_ERROR_LOG_FILE = 1,
};

/// The folder of `type`. `locale` is read only for COMMON_LOCALIZED_DATA,
/// whose folder then ends with the locale's folder ('fr-FR' for "fr_FR").
KELOUTIL_API TStr getKeloFileLocation(KeloFileType type, const TStr& locale);

/// The custom environment's value for `type` exactly as it stands (no
/// separator added); empty without a custom environment. `argument` has no
/// effect.
KELOUTIL_API TStr getKeloAPIFileLocationOverride(KeloAPIFileType type, const TStr& argument);

/// The framework's folder in the user's local application data folder.
KELOUTIL_API TStr getKeloLocalUserDataLocation();

/// Puts the COMMON_LIB folder on the process's PATH when it differs from the
/// COMMON_BIN folder and is not listed there yet.
KELOUTIL_API void setCustomEnvPathVars();

} // namespace KeloUtil

#endif // KELOUTIL_LOCATIONS_HPP
