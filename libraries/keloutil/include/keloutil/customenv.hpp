// SPDX-License-Identifier: MIT
/// @file
/// The custom environment: an optional XML file, named by an environment
/// variable, that gives string values by key for one platform. The framework
/// looks its file locations up here first.
///
/// The process has one instance, a static object of the library. It reads
/// the file once, at the first request (the variables
/// "NORVAXIS_KELO_THINCLIENT_ENV", then "NORVAXIS_KELO_CUSTOM_ENV"), keeps the
/// parsed document until the library is unloaded, and expands "$NAME"
/// references to environment variables in a value at every lookup.
///
/// File layout: KELOCUSTOMENV / PLATFORM OS="..." / KEY ID="..." / STRING.
/// The platform is "Windows" on Windows and "Linux" elsewhere, compared byte
/// for byte, as are keys.
///
/// Not thread-safe: the first request loads the file without a lock.
#ifndef KELOUTIL_CUSTOMENV_HPP
#define KELOUTIL_CUSTOMENV_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

#include <cstdint>

namespace KeloUtil {

/// The result of loading the custom environment.
enum keloUTILSTATUS : int32_t {
    keloUTIL_OK = 0,                   ///< a file was read and parsed
    keloUTIL_NO_CUSTOM_ENV = 1,        ///< neither variable is set
    keloUTIL_THINCLIENT_ENV_ERROR = 2, ///< the thin-client file cannot be opened or parsed
    keloUTIL_CUSTOM_ENV_ERROR = 3,     ///< the custom file cannot be opened or parsed
};

/// Loads the custom environment if that has not happened yet and answers the
/// result.
KELOUTIL_API keloUTILSTATUS loadCustomEnvSettings();
/// Whether a custom environment file is in force (loads it first).
KELOUTIL_API bool hasCustomSettings();
/// Whether the loaded file came from the thin-client variable. Does not load:
/// false until a load has run.
KELOUTIL_API bool isThinClient();

} // namespace KeloUtil

class KELOUTIL_API CKeloUtilCustomEnv {
public:
    CKeloUtilCustomEnv();
    virtual ~CKeloUtilCustomEnv();

    /// Reads and parses the file; runs once in the life of the instance and
    /// afterwards answers the status of that run (keloUTILSTATUS values). A
    /// run that memory fails answers -1 and leaves the load to be tried again.
    int32_t load();
    /// Whether a file is loaded; loads first when no load has run.
    bool hasSettings();
    /// Whether the loaded file came from the thin-client variable; no load.
    bool isThinClientEnv() const;
    /// The status of the load, loading first when none has run to its end
    /// (-1 while memory keeps failing it).
    int32_t getStatus();
    /// The value of key `id` for this platform with its references expanded;
    /// empty for an empty key, without a loaded file, or when the file has no
    /// such key. Does not load: call hasSettings first.
    TStr getValue(const TStr& id) const;
    /// Character position (UTF-8 characters from 0) of the first occurrence
    /// of `what` in `text` at or after character `start`; -1 when there is
    /// none, when either text is empty or start lies beyond the text.
    static int32_t findText(const TStr& text, const TStr& what, int32_t start);

    /// The process's one instance, constructed when the library is loaded.
    static CKeloUtilCustomEnv& instance();

private:
    CKeloUtilCustomEnv(const CKeloUtilCustomEnv&);
    CKeloUtilCustomEnv& operator=(const CKeloUtilCustomEnv&);

    struct Document; // the parsed file, kept out of this header

    TStr platform;
    Document* document;
    bool loaded;
    bool loadPending;
    bool thinClient;
    int32_t status;

    static CKeloUtilCustomEnv mInstance;
};

#endif // KELOUTIL_CUSTOMENV_HPP
