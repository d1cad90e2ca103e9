// Writing a whole file on POSIX systems: into a new temporary file beside
// it, renamed over it, so that a reader or a crash meets either the old
// content or the new one. Targets that a rename would break are written in
// place instead, behind a copy of the old content.
#include "platform/posix/file_replace.h"
#include "platform/posix/native_paths.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <string>
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

// The file's name in its folder.
std::string name_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// Temporary files are ".<name>.<16 hex digits>.tmp" beside the file.
bool temporary_of(const std::string& entry, const std::string& name) {
    const std::string prefix = "." + name + ".";
    if (entry.size() != prefix.size() + 20 || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(entry.size() - 4, 4, ".tmp") != 0)
        return false;
    for (size_t i = prefix.size(); i < prefix.size() + 16; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(entry[i]))) return false;
    return true;
}

// Removes the temporary files of `target` that saves which died left: the
// caller holds the file's locks, so no live save owns one.
void remove_stale_temporaries(const std::string& target) {
    DIR* folder = opendir(folder_of(target).c_str());
    if (folder == nullptr) return;
    const std::string name = name_of(target);
    while (const dirent* entry = readdir(folder))
        if (temporary_of(entry->d_name, name)) unlinkat(dirfd(folder), entry->d_name, 0);
    closedir(folder);
}

// A new temporary file beside `target`, mode 0600 so that nobody reads the
// new content before it has the target's mode, open for writing; -1 when
// the folder refuses one.
int create_temporary(const std::string& target, std::string& name) {
    const std::string base = folder_of(target) + "/." + name_of(target) + ".";
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^
                              (static_cast<unsigned long long>(getpid()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        char number[17];
        std::snprintf(number, sizeof number, "%016llx", seed);
        name = base + number + ".tmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
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
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// ---- writing in place -----------------------------------------------------------
//
// A file that must be written in place gets its old content copied to
// ".NAME.rollback" beside it first; the copy goes once the new content is
// flushed. A write that dies in between leaves the copy, and the next open
// or save, holding the file's locks, puts it back. Where no copy can be
// made, the space the new content needs is reserved before the old content
// is touched, so that a full disk cannot cut it short.

std::string rollback_of(const std::string& target) { return folder_of(target) + "/." + name_of(target) + ".rollback"; }

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
bool overwrite(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t put = pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
    }
    return ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && fsync(fd) == 0;
}

// The copy of the old content `bytes` of `target`, made whole in a
// temporary file before it takes its name, so that a copy is only ever
// found whole; false (and no copy) when it cannot be made.
bool write_copy(const std::string& target, const std::string& bytes) {
    std::string temporary;
    const int fd = create_temporary(target, temporary);
    if (fd < 0) return false;
    const bool copied = overwrite(fd, bytes);
    if (close(fd) == 0 && copied && std::rename(temporary.c_str(), rollback_of(target).c_str()) == 0) {
        sync_folder(folder_of(target));
        return true;
    }
    unlink(temporary.c_str());
    return false;
}

bool write_in_place(const std::string& target, const std::string& content) {
    const int fd = ::open(target.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) return false;
    std::string old;
    const std::string rollback = rollback_of(target);
    bool ready = read_all(fd, old);
    const bool copied = ready && write_copy(target, old);
    // Without a copy, the space is taken before anything changes.
    if (ready && !copied && content.size() > old.size())
        ready = fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(content.size())) == 0 ||
                errno == EOPNOTSUPP; // a file system that cannot reserve: nothing better to do
    const bool written = ready && overwrite(fd, content);
    const KeptError error;
    // A write that failed puts the old content back at once where it can.
    if (ready && !written && overwrite(fd, old) && copied) unlink(rollback.c_str());
    close(fd);
    if (written && copied) {
        unlink(rollback.c_str());
        sync_folder(folder_of(target));
    }
    return written;
}

enum class Outcome { written, failed, refused };

// The write through a temporary file; `refused` when this target cannot be
// replaced that way and must be written in place.
Outcome replace(const std::string& target, const struct stat* existing, bool (*write)(std::FILE*, void*),
                void* context) {
    // A file of another owner can only be replaced by the superuser.
    if (existing != nullptr && existing->st_uid != geteuid() && geteuid() != 0) return Outcome::refused;
    std::string temporary;
    const int fd = create_temporary(target, temporary);
    if (fd < 0) return Outcome::refused;
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        const KeptError error;
        close(fd);
        unlink(temporary.c_str());
        return Outcome::failed;
    }
    const bool written = write(stream, context) && std::fflush(stream) == 0 && fsync(fd) == 0;
    const bool identified = written && take_identity(fd, existing);
    if (std::fclose(stream) == 0 && identified && std::rename(temporary.c_str(), target.c_str()) == 0) {
        sync_folder(folder_of(target));
        return Outcome::written;
    }
    const KeptError error;
    unlink(temporary.c_str());
    return written && !identified ? Outcome::refused : Outcome::failed;
}

} // namespace

bool restore_interrupted_write(const std::string& path) {
    const std::string target = final_target(path), rollback = rollback_of(target);
    const int copy = ::open(rollback.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (copy < 0) return errno == ENOENT;
    std::string old;
    const bool read = read_all(copy, old);
    close(copy);
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (!read || fd < 0) {
        if (fd >= 0) close(fd);
        return false;
    }
    const bool restored = overwrite(fd, old);
    close(fd);
    if (restored) {
        unlink(rollback.c_str());
        sync_folder(folder_of(target));
    }
    return restored;
}

bool replace_file(const std::string& path, bool (*write)(std::FILE*, void*), void* context, bool exclusive) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    // A symbolic link is followed to its final target, which is replaced in
    // its own folder: the link stays a link.
    const std::string target = final_target(path);
    // As opening it for writing would: a file that is there but may not be
    // written is refused.
    if (access(target.c_str(), W_OK) != 0 && errno != ENOENT) return false;
    struct stat status;
    // Writing a FIFO would wait for a reader, and a device is no file to
    // replace.
    if (stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (exclusive) remove_stale_temporaries(target);
    const bool exists = lstat(target.c_str(), &status) == 0;
    // Only a plain file with no other name is replaced: a file with hard
    // links must stay one file.
    if (!exists || (S_ISREG(status.st_mode) && status.st_nlink == 1)) {
        const Outcome outcome = replace(target, exists ? &status : nullptr, write, context);
        if (outcome != Outcome::refused) return outcome == Outcome::written;
    }
    // In place: the content is made first, so that its size is known.
    char* bytes = nullptr;
    size_t size = 0;
    FILE* memory = open_memstream(&bytes, &size);
    if (memory == nullptr) return false;
    const bool made = write(memory, context);
    const bool closed = std::fclose(memory) == 0;
    const std::string content = made && closed && bytes != nullptr ? std::string(bytes, size) : std::string();
    std::free(bytes);
    if (!made || !closed) return false;
    return write_in_place(target, content);
}

} // namespace keloutil::os
