// SPDX-License-Identifier: MIT
/// @file
/// TPath: the path class of the class interface.
///
/// A TPath is a TStr whose text is a file-system path, read with the rules of
/// <keloutil/path.h>: components are separated by one `\`, and "/" is
/// accepted on input. The members forward to the path_* functions.
///
/// Localising. The members marked "localises" rewrite every "/" of this
/// path's own text to `\` in place, const ones included: a path that has
/// been asked isFile() no longer holds forward slashes. Joining and
/// splitting do not localise, so "C:/a" joined with "b" gives "C:/a\b".
///
/// The conversion cache of TStr. Every member that changes or may change the
/// text (joining, splitting, cdUp, setFile and the localising ones) drops
/// the cached conversion first, so a pointer from toUtf8() and the like is
/// no longer valid after it.
///
/// Comparison is TStr's: byte-wise and case-sensitive, without any path
/// normalisation ("C:/a" differs from "C:\a", "c:\a" from "C:\a").
///
/// The private record. Derived classes may attach one record holding a
/// 32-bit value (initPrivate). No member of TPath reads it. It belongs to the
/// object that made it: copies and assignments neither share nor copy it (a
/// copy starts without one and an assigned path keeps its own), so it is
/// released exactly once, by its object's destructor.
///
/// Not thread-safe, as TStr: most members rewrite the text in place.
#ifndef KELOUTIL_TPATH_HPP
#define KELOUTIL_TPATH_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

#include <cstdint>
#include <string_view>

class KELOUTIL_API TPath : public TStr {
public:
    // ---- construction and conversion --------------------------------------

    /// An empty path.
    TPath();
    /// UTF-8 text.
    TPath(const char* text);
    /// UTF-8 text, read as TStr(std::string_view) reads it.
    explicit TPath(std::string_view text);
    /// A copy of the string's text.
    TPath(const TStr& text);
    /// A copy of the text; the private record is not copied.
    TPath(const TPath& other);
    /// Adopts `handle`, a str_t* passed as void*, as TStr(void* const&) does.
    TPath(void* const& handle);
    ~TPath() override;

    /// The path's str_t record, for passing to the path_* functions
    /// (static_cast<str_t*> it). The object keeps it.
    operator void*() const;

    /// Replace the text; this object's private record stays as it is.
    TPath& operator=(const TPath& other);
    TPath& operator=(const TStr& other);
    TPath& operator=(const char* text);

    // ---- components and joining (none of them localises) ------------------

    /// A copy of this path with the argument pushed onto it.
    TPath operator+(const TPath& piece) const;
    TPath operator+(const TStr& piece) const;
    TPath operator+(const char* piece) const;
    /// Push the argument onto this path, with exactly one `\` at the join
    /// (path_push); an empty piece changes nothing.
    TPath& operator+=(const TPath& piece);
    TPath& operator+=(const TStr& piece);
    TPath& operator+=(const char* piece);
    TPath& push(const TStr& piece);
    /// Puts the argument in front (path_unshift).
    TPath& unshift(const TStr& piece);
    /// Remove and return the last / first component (path_pop, path_shift).
    /// A path without a separator is returned whole and this path becomes
    /// null; a path without text gives an object without a record.
    TPath pop();
    TPath shift();
    /// Removes the last component; always true.
    bool cdUp();
    /// Replaces the whole text.
    void setFile(const TStr& file);

    // ---- derived forms ----------------------------------------------------

    /// The last component / the extension of the last component (localise).
    TStr baseName();
    TStr extension();
    /// The path itself when it is absolute, else the working directory with
    /// the path pushed onto it. No normalisation.
    TPath absPath() const;
    TPath absFilePath();
    /// absFilePath() with `file` pushed onto it.
    TPath absFilePath(const TStr& file);
    /// absPath() (when `absolute`) or a copy, without its last component.
    TPath dirPath(bool absolute) const;
    /// A copy without its last component: dirPath(false).
    TPath dirName() const;
    /// The path in the platform's native form, for other libraries and the
    /// system: `\` becomes "/" on POSIX systems; unchanged on Windows.
    TStr nativePath() const;

    // ---- the file system ------------------------------------------------------

    /// Whether the file or directory exists. One trailing `\` is ignored, a
    /// bare drive "C:" means its root `C:\`, and on systems whose paths begin
    /// at a root, `\` is that root. Otherwise the answer is path_exists's: a
    /// trailing "/" is kept, so "dir/" exists and "file/" does not. An empty
    /// path never exists. Works on a copy: this path keeps its text.
    bool exists() const;
    /// Regular file / directory (localise).
    bool isFile() const;
    bool isDir() const;
    /// Whether the caller may read / write it (do not localise).
    bool isReadable() const;
    bool isWritable() const;
    /// Size in bytes; 0 when it cannot be had (localises).
    int32_t size() const;
    /// Makes one directory level (localises). `mode` gives the permissions
    /// where the platform has them (0: all, less the umask).
    bool mkdir(int32_t mode = 0);
    /// Makes every missing level, from the top down; true when the directory
    /// exists afterwards. A trailing separator is allowed.
    bool mkpath(int32_t mode = 0);
    /// Deletes the file (not a directory); failure is silent (localises).
    void remove();

    /// The directory of the running program, found at the first call and
    /// kept for the life of the process (a later change of the working
    /// directory does not affect it). When the program file cannot be found,
    /// the working directory of the first call. The argument is not used.
    /// The first call must not run on two threads at once.
    static TPath appPath(const char* unused = nullptr);

protected:
    /// The record that initPrivate attaches.
    struct Private {
        int32_t value;
    };

    /// Creates the private record (value 0) unless there is one already.
    void initPrivate();
    /// The private record, or nullptr before initPrivate.
    Private* privateRecord() const;

private:
    // Drops the conversion cache and makes sure that there is a record to
    // edit; returns it.
    str_t* edited();

    Private* private_;
};

namespace std {
/// A path hashes as its text: paths compare as TStr does.
template <>
struct hash<TPath> : hash<TStr> {};
} // namespace std

#endif // KELOUTIL_TPATH_HPP
