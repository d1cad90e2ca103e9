// SPDX-License-Identifier: MIT
// Writing a whole file on POSIX systems: into a new temporary file beside
// it, renamed over it, so that a reader or a crash meets either the old
// content or the new one. Targets that a rename would break are written in
// place instead, behind a copy of the old content.
//
// Every name the write needs is made before anything is created or opened,
// and descriptors close themselves, so that memory running out (a throw)
// leaves nothing behind; past the rename nothing can fail any more.
#include "platform/posix/file_replace.h"
#include "platform/posix/native_paths.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace keloutil::os {

namespace {

// Keeps errno through the clean-up after a failure, so that the caller
// learns the failure's cause rather than the clean-up's.
class KeptError {
public:
    KeptError() : error_(errno) {}
    ~KeptError() { errno = error_; }
    KeptError(const KeptError&) = delete;
    KeptError& operator=(const KeptError&) = delete;

private:
    int error_;
};

// An open descriptor, closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes it now; false when the close reports an error.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }
    // Hands the descriptor over (to a stream).
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// The names a write of `target` uses beside it: its folder, the prefix of
// its temporary files (".NAME.", then 16 hex digits and ".tmp") and its
// copy of old content (".NAME.rollback").
struct Place {
    explicit Place(const std::string& target)
        : file(target), folder(folder_of(target)), name(target.substr(target.rfind('/') + 1)),
          temporary_prefix("." + name + "."), rollback(folder + "/." + name + ".rollback") {}
    std::string file, folder, name, temporary_prefix, rollback;

    bool temporary(std::string_view entry) const {
        if (entry.size() != temporary_prefix.size() + 20 || entry.compare(0, temporary_prefix.size(), temporary_prefix) != 0 ||
            entry.compare(entry.size() - 4, 4, ".tmp") != 0)
            return false;
        for (size_t i = temporary_prefix.size(); i < temporary_prefix.size() + 16; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(entry[i]))) return false;
        return true;
    }
};

// Removes the temporary files of the file that writes which died left:
// the caller holds the file's locks, so no live write owns one.
void remove_stale_temporaries(const Place& place) {
    DIR* folder = opendir(place.folder.c_str());
    if (folder == nullptr) return;
    while (const dirent* entry = readdir(folder))
        if (place.temporary(entry->d_name)) unlinkat(dirfd(folder), entry->d_name, 0);
    closedir(folder);
}

// A new temporary file beside the file, mode 0600 so that nobody reads the
// new content before it has the file's mode, open for writing; -1 when the
// folder refuses one. `name` is set before the file is made.
int create_temporary(const Place& place, std::string& name) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^
                              (static_cast<unsigned long long>(getpid()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        char number[21];
        std::snprintf(number, sizeof number, "%016llx.tmp", seed);
        name = place.folder + "/" + place.temporary_prefix + number;
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Calls the writer; one that throws has failed, as one that answers false.
bool wrote(bool (*write)(std::FILE*, void*), std::FILE* stream, void* context) {
    try {
        return write(stream, context);
    } catch (...) {
        errno = ENOMEM;
        return false;
    }
}

mode_t creation_mask() {
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// Gives the written temporary file the owner, group and mode of the file
// it replaces, or the mode of a new file; false when that cannot be done.
bool take_identity(int fd, const struct stat* target) {
    if (target == nullptr) return fchmod(fd, 0666 & ~creation_mask()) == 0;
    struct stat own;
    if (fstat(fd, &own) != 0) return false;
    if ((own.st_uid != target->st_uid || own.st_gid != target->st_gid) &&
        fchown(fd, target->st_uid, target->st_gid) != 0)
        return false;
    return fchmod(fd, target->st_mode & 07777) == 0; // after fchown, which clears set-id bits
}

// Flushes a folder, so that a rename in it lasts.
void sync_folder(const std::string& folder) {
    Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) fsync(fd.get());
}

// ---- writing in place -----------------------------------------------------------
//
// A file that must be written in place gets its old content copied to
// ".NAME.rollback" beside it first; the copy goes once the new content is
// flushed. A write that dies in between leaves the copy, and the next open
// or save, holding the file's locks, puts it back. Where no copy can be
// made, the space the new content needs is reserved before the old content
// is touched, so that a full disk cannot cut it short.

bool read_all(int fd, std::string& bytes) {
    bytes.clear();
    char block[65536];
    for (;;) {
        const ssize_t got = read(fd, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        bytes.append(block, static_cast<size_t>(got));
    }
}

// Writes `bytes` over the file from its start, cuts it there and flushes it.
bool overwrite(int fd, std::string_view bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t put = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fsync(fd) == 0;
}

// The copy of the old content `bytes`, made whole in a temporary file
// before it takes its name, so that a copy is only ever found whole; false
// (and no copy) when it cannot be made.
bool write_copy(const Place& place, std::string_view bytes) {
    std::string temporary;
    Descriptor fd(create_temporary(place, temporary));
    if (!fd.valid()) return false;
    const bool copied = overwrite(fd.get(), bytes);
    if (fd.close() && copied && std::rename(temporary.c_str(), place.rollback.c_str()) == 0) {
        sync_folder(place.folder);
        return true;
    }
    unlink(temporary.c_str());
    return false;
}

bool write_in_place(const Place& place, std::string_view content) {
    Descriptor fd(::open(place.file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
    if (!fd.valid()) return false;
    std::string old;
    bool ready = read_all(fd.get(), old);
    const bool copied = ready && write_copy(place, old);
    // Without a copy, the space is taken before anything changes.
    if (ready && !copied && content.size() > old.size())
        ready = fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(content.size())) == 0 ||
                errno == EOPNOTSUPP; // a file system that cannot reserve: nothing better to do
    const bool written = ready && overwrite(fd.get(), content);
    const KeptError error;
    // A write that failed puts the old content back at once where it can.
    if (ready && !written && overwrite(fd.get(), old) && copied) unlink(place.rollback.c_str());
    if (written && copied) {
        unlink(place.rollback.c_str());
        sync_folder(place.folder);
    }
    return written;
}

enum class Outcome { written, failed, refused };

// The write through a temporary file; `refused` when this target cannot be
// replaced that way and must be written in place.
Outcome replace(const Place& place, const struct stat* existing, bool (*write)(std::FILE*, void*), void* context) {
    // A file of another owner can only be replaced by the superuser.
    if (existing != nullptr && existing->st_uid != geteuid() && geteuid() != 0) return Outcome::refused;
    std::string temporary;
    Descriptor fd(create_temporary(place, temporary));
    if (!fd.valid()) return Outcome::refused;
    FILE* stream = fdopen(fd.get(), "wb");
    if (stream == nullptr) {
        const KeptError error;
        unlink(temporary.c_str());
        return Outcome::failed;
    }
    fd.release(); // the stream closes it
    const bool written = wrote(write, stream, context) && std::fflush(stream) == 0 && fsync(fileno(stream)) == 0;
    const bool identified = written && take_identity(fileno(stream), existing);
    if (std::fclose(stream) == 0 && identified && std::rename(temporary.c_str(), place.file.c_str()) == 0) {
        sync_folder(place.folder);
        return Outcome::written;
    }
    const KeptError error;
    unlink(temporary.c_str());
    return written && !identified ? Outcome::refused : Outcome::failed;
}

// The content that `write` makes, in memory, for a write in place.
bool content_of(bool (*write)(std::FILE*, void*), void* context, std::string& content) {
    char* bytes = nullptr;
    size_t size = 0;
    FILE* memory = open_memstream(&bytes, &size);
    if (memory == nullptr) return false;
    const bool made = wrote(write, memory, context);
    const bool closed = std::fclose(memory) == 0;
    const std::unique_ptr<char, decltype(&std::free)> owned(bytes, &std::free);
    if (!made || !closed) return false;
    content.assign(bytes != nullptr ? bytes : "", size);
    return true;
}

bool replace_or_write_in_place(const std::string& path, bool (*write)(std::FILE*, void*), void* context,
                               bool exclusive) {
    // A symbolic link is followed to its final target, which is replaced in
    // its own folder: the link stays a link.
    const Place place(final_target(path));
    // As opening it for writing would: a file that is there but may not be
    // written is refused.
    if (access(place.file.c_str(), W_OK) != 0 && errno != ENOENT) return false;
    struct stat status;
    // Writing a FIFO would wait for a reader, and a device is no file to
    // replace.
    if (stat(place.file.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (exclusive) remove_stale_temporaries(place);
    const bool exists = lstat(place.file.c_str(), &status) == 0;
    // Only a plain file with no other name is replaced: a file with hard
    // links must stay one file.
    if (!exists || (S_ISREG(status.st_mode) && status.st_nlink == 1)) {
        const Outcome outcome = replace(place, exists ? &status : nullptr, write, context);
        if (outcome != Outcome::refused) return outcome == Outcome::written;
    }
    // In place: the content is made first, so that its size is known.
    std::string content;
    return content_of(write, context, content) && write_in_place(place, content);
}

} // namespace

bool restore_interrupted_write(const std::string& path) {
    try {
        const Place place(final_target(path));
        Descriptor copy(::open(place.rollback.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (!copy.valid()) return errno == ENOENT;
        std::string old;
        if (!read_all(copy.get(), old)) return false;
        copy.close();
        Descriptor fd(::open(place.file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
        if (!fd.valid() || !overwrite(fd.get(), old)) return false;
        unlink(place.rollback.c_str());
        sync_folder(place.folder);
        return true;
    } catch (...) { // memory ran out
        errno = ENOMEM;
        return false;
    }
}

bool replace_file(const std::string& path, bool (*write)(std::FILE*, void*), void* context, bool exclusive) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    try {
        return replace_or_write_in_place(path, write, context, exclusive);
    } catch (...) { // memory ran out before anything changed
        errno = ENOMEM;
        return false;
    }
}

} // namespace keloutil::os
