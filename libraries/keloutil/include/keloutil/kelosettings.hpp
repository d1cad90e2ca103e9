// SPDX-License-Identifier: MIT
/// @file
/// KeloSettings: named values in named sections, kept in an XML file that
/// several processes may share.
///
/// A store opens a file (or parses text), answers getData and getSection
/// from what it read, and holds setData, removeData and removeSection as
/// pending changes apart from it. save reads the file again, lays the
/// pending changes on top and writes it, all under one cross-process lock
/// named after the path, so values that another process saved in the
/// meantime survive. The file is written to a temporary file beside it and
/// renamed over it, so a reader (or a crash) never meets a half-written
/// file; where the rename is refused it is written in place. A replaced
/// file keeps its permissions.
///
/// Section and key are joined with "/" into one combined key; values are
/// ordered by the byte order of that key. Quirks that callers rely on:
/// getSection and removeSection match every combined key that contains
/// "section/" anywhere (so section "b" also lists the keys of "ab"); the
/// first value of a key wins on reading; white space in a value is
/// condensed on reading; a combined key is split at its last two "/" when
/// written, so a "/" inside a section name or key does not survive a save.
///
/// The file and the lock take the path text as the caller gives it: two
/// texts that name one file lock independently. One object is used by one
/// thread at a time.
#ifndef KELOUTIL_KELOSETTINGS_HPP
#define KELOUTIL_KELOSETTINGS_HPP

#include <keloutil/export.h>
#include <keloutil/tpath.hpp>
#include <keloutil/tstr.hpp>

#include <map>

class KELOUTIL_API KeloSettings {
public:
    /// An empty store, not loaded. With `openAccess`, save gives the file it
    /// writes access for every account (on POSIX systems mode 0666).
    explicit KeloSettings(bool openAccess);
    KeloSettings();
    ~KeloSettings();

    /// Whether a document is present that save may write.
    bool isLoaded() const;
    /// Reads the file, or starts an empty document when it does not exist.
    /// Without `keepChanges` the pending changes are dropped and the path is
    /// remembered for save's re-read.
    bool open(const TPath& file, bool keepChanges = false);
    /// Reads the document from UTF-8 text instead of a file.
    bool parse(const TStr& text, bool keepChanges = false);
    /// Writes the document, with the pending changes laid on the file's
    /// current content, to `file`. false when there is nothing to write or
    /// the file cannot be written; the file then stays as it was.
    bool save(const TPath& file);

    bool getData(const TStr& section, const TStr& key, TStr& value);
    /// An empty value cannot be set: use removeData.
    bool setData(const TStr& section, const TStr& key, const TStr& value);
    bool removeData(const TStr& section, const TStr& key);
    bool getSection(const TStr& section, std::map<TStr, TStr>& values);
    bool removeSection(const TStr& section);
    /// Every visible value (stored or pending, less pending removals), by
    /// combined key; true, also when there is none.
    bool getAll(std::map<TStr, TStr>& values);

private:
    KeloSettings(const KeloSettings&);
    KeloSettings& operator=(const KeloSettings&);

    // The document, the maps of values and the element caches; kept out of
    // this header so that its users need no XML library.
    struct State;
    State* mState;
};

#endif // KELOUTIL_KELOSETTINGS_HPP
