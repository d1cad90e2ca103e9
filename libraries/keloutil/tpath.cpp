// SPDX-License-Identifier: MIT
// TPath: a TStr with the path_* functions as members, and the directory of
// the running program.
#include <keloutil/path.h>
#include <keloutil/tpath.hpp>

#include "guarded.h"
#include "platform/os.h"

namespace {

str_t* record_of(const TStr& s) { return static_cast<str_t*>(s.handle()); }

// The record that a path_* function reads. An object without a record reads
// as a null string, so a null record of the caller's stands in for it and no
// path_* function is handed a null pointer.
str_t* readable(const TStr& s, str_t& stand_in) {
    str_t* record = record_of(s);
    return record != nullptr ? record : &stand_in;
}

// A TPath that adopts a record made by a path_* function.
TPath adopt(str_t* record) {
    void* const handle = record;
    return TPath(handle);
}

TStr adopt_text(str_t* record) {
    void* const handle = record;
    return TStr(handle);
}

// The byte at `index`, or 0 past the end.
char byte_at(const TStr& s, int32_t index) {
    const str_t* record = record_of(s);
    return index >= 0 && index < str_len(record) ? record->buffer[index] : '\0';
}

} // namespace

// ---- construction and conversion ------------------------------------------------

TPath::TPath() : TStr(), private_(nullptr) {}

TPath::TPath(const char* text) : TStr(text), private_(nullptr) {}

TPath::TPath(std::string_view text) : TStr(text), private_(nullptr) {}

TPath::TPath(const TStr& text) : TStr(text), private_(nullptr) {}

TPath::TPath(const TPath& other) : TStr(other), private_(nullptr) {}

TPath::TPath(void* const& handle) : TStr(handle), private_(nullptr) {}

TPath::~TPath() { delete private_; }

TPath::operator void*() const { return handle(); }

TPath& TPath::operator=(const TPath& other) {
    TStr::operator=(other);
    return *this;
}

TPath& TPath::operator=(const TStr& other) {
    TStr::operator=(other);
    return *this;
}

TPath& TPath::operator=(const char* text) {
    TStr::operator=(TStr(text));
    return *this;
}

str_t* TPath::edited() {
    clearCachedEncoding();
    // An object without a record reads as a null string; it gets a null
    // record of its own (buffer(0) makes one without giving it text).
    if (handle() == nullptr) buffer(0);
    return record_of(*this);
}

// ---- components and joining ----------------------------------------------------

TPath TPath::operator+(const TPath& piece) const { return *this + static_cast<const TStr&>(piece); }
TPath TPath::operator+(const char* piece) const { return *this + TStr(piece); }

TPath TPath::operator+(const TStr& piece) const {
    // A copy of a null string is empty, and a piece pushed onto an empty
    // path gets a separator in front; a null path stays null here, so that
    // p + x gives the same text as p += x.
    // A copy left null has run out of memory and gets nothing pushed.
    TPath joined = isNull() ? TPath() : TPath(*this);
    if (isNull() || !joined.isNull()) joined.push(piece);
    return joined;
}

TPath& TPath::operator+=(const TPath& piece) { return push(piece); }
TPath& TPath::operator+=(const TStr& piece) { return push(piece); }
TPath& TPath::operator+=(const char* piece) { return push(TStr(piece)); }

TPath& TPath::push(const TStr& piece) {
    // p += p joins the text to itself: the piece is copied before the path
    // grows under it.
    if (piece.handle() == handle() && handle() != nullptr) return push(TStr(piece));
    path_push(edited(), record_of(piece));
    return *this;
}

TPath& TPath::unshift(const TStr& piece) {
    if (piece.handle() == handle() && handle() != nullptr) return unshift(TStr(piece));
    path_unshift(edited(), record_of(piece));
    return *this;
}

TPath TPath::pop() { return adopt(path_pop(edited())); }

TPath TPath::shift() { return adopt(path_shift(edited())); }

bool TPath::cdUp() {
    pop();
    return true;
}

void TPath::setFile(const TStr& file) { TStr::operator=(file); }

// ---- derived forms ------------------------------------------------------------------

TStr TPath::baseName() { return adopt_text(path_basename(edited())); }

TStr TPath::extension() { return adopt_text(path_ext(edited())); }

TPath TPath::absPath() const {
    str_t stand_in{};
    return adopt(path_absolute(readable(*this, stand_in)));
}

TPath TPath::absFilePath() { return absPath(); }

TPath TPath::absFilePath(const TStr& file) { return absFilePath().push(file); }

TPath TPath::dirPath(bool absolute) const {
    TPath directory = absolute ? absPath() : TPath(*this);
    // As cdUp, except that a last component that cannot be taken off for
    // want of memory leaves no directory rather than the path itself.
    if (directory.pop().handle() == nullptr) directory.clear();
    return directory;
}

TPath TPath::dirName() const { return dirPath(false); }

TStr TPath::nativePath() const {
    str_t stand_in{};
    return keloutil::guarded(TStr::null, [&] { return adopt_text(keloutil::os::native_path(readable(*this, stand_in))); });
}

// ---- the file system ----------------------------------------------------------------

bool TPath::exists() const {
    if (isEmpty()) return false;
    TPath copy(*this);
    // Only a trailing "\" is dropped. The copy is not localised first: a
    // trailing "/" then stays for path_exists, which answers for "file/" as
    // the system does (not a file), not as for "file".
    const int32_t length = copy.length();
    if (byte_at(copy, length - 1) == '\\') {
        copy.pop(); // one trailing separator
        // On systems whose paths start at a root, "\" alone is that root;
        // popping its separator would leave nothing to ask about.
        if (copy.isEmpty() && length == 1 && keloutil::os::root_is_absolute()) copy = "\\";
    }
    // A bare drive means its root, not the drive's working directory.
    if (copy.length() == 2 && byte_at(copy, 1) == ':') copy += "\\";
    return path_exists(copy.edited()) != 0;
}

bool TPath::isFile() const {
    clearCachedEncoding();
    str_t stand_in{};
    return path_is_file(readable(*this, stand_in)) == 1;
}

bool TPath::isDir() const {
    clearCachedEncoding();
    str_t stand_in{};
    return path_is_dir(readable(*this, stand_in)) == 1;
}

bool TPath::isReadable() const {
    str_t stand_in{};
    return path_is_readable(readable(*this, stand_in)) == 1;
}

bool TPath::isWritable() const {
    str_t stand_in{};
    return path_is_writable(readable(*this, stand_in)) == 1;
}

int32_t TPath::size() const {
    clearCachedEncoding();
    str_t stand_in{};
    return path_size(readable(*this, stand_in));
}

bool TPath::mkdir(int32_t mode) { return path_mkdir(edited(), mode) == 1; }

bool TPath::mkpath(int32_t mode) {
    if (exists()) return true;
    // The levels are made from the top down: first the parent, through this
    // same function, then this level. The recursion ends at a level that
    // exists or, for a relative path, at its first component.
    TPath parent(*this);
    const TPath last = parent.pop();
    if (!parent.isEmpty() && !parent.exists() && !parent.mkpath(mode)) return false;
    // A trailing separator leaves an empty last component: the parent just
    // made is the directory itself.
    if (!last.isEmpty()) mkdir(mode);
    return exists();
}

void TPath::remove() { path_unlink(edited()); }

TPath TPath::appPath(const char*) {
    return keloutil::guarded<TPath>(TPath(static_cast<void*>(nullptr)), [&]() -> TPath {
        // Made at the first call, released when the library is unloaded.
        static TPath cache;
        if (!cache.isEmpty()) return cache;

        void* const cwd = path_cwd();
        cache = TPath(cwd);

        // The program file as it was started. Written absolutely, it is the
        // candidate itself; otherwise it was found relative to the working
        // directory.
        const TPath started(static_cast<void*>(keloutil::os::program_as_started()));
        const bool drive_absolute =
            started.length() > 2 && byte_at(started, 1) == ':' && byte_at(started, 2) == '\\';
        const bool root_absolute =
            keloutil::os::root_is_absolute() && (byte_at(started, 0) == '\\' || byte_at(started, 0) == '/');
        TPath candidate = drive_absolute || root_absolute ? started : cache.absFilePath(started);

        // A program started without its extension: where programs have one, the
        // file is the name as started with the extension added.
        const char* const pattern = keloutil::os::program_file_pattern();
        if (pattern != nullptr && candidate.extension().isEmpty()) candidate = TStr(pattern).arg(started);

        if (candidate.exists()) cache = candidate.dirPath(true);
        return cache;
    });
}

// ---- the private record ------------------------------------------------------------------

void TPath::initPrivate() {
    if (private_ == nullptr) private_ = new (std::nothrow) Private{0};
}

TPath::Private* TPath::privateRecord() const { return private_; }
