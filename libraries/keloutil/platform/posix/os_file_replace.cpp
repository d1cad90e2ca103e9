// Writing a whole file on POSIX systems: into a new temporary file beside
// it, renamed over it, so that a reader or a crash meets either the old
// content or the new one. Targets that a rename would break are written in
// place instead.
#include "platform/os.h"

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

// The native form of a library path.
std::string native(const str_t* path) {
    str_t* text = native_path(path);
    std::string result = str_null(text) ? std::string() : std::string(text->buffer, static_cast<size_t>(str_len(text)));
    str_uninit(text);
    return result;
}

// Writes through `write` and closes the stream; true when everything
// reached the file (flushed, and with `sync` on the disk).
bool write_and_close(FILE* stream, FileWriter write, void* context, bool sync) {
    bool written = write(stream, context);
    written = std::fflush(stream) == 0 && written;
    written = written && (!sync || fsync(fileno(stream)) == 0);
    return std::fclose(stream) == 0 && written;
}

// The folder of a native path and the file's name in it.
std::string folder_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}
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

enum class Outcome { written, failed, refused };

// The write through a temporary file; `refused` when this target cannot be
// replaced that way and must be written in place.
Outcome replace(const std::string& target, const struct stat* existing, FileWriter write, void* context) {
    // A file of another owner can only be replaced by the superuser.
    if (existing != nullptr && existing->st_uid != geteuid() && geteuid() != 0) return Outcome::refused;
    std::string temporary;
    const int fd = create_temporary(target, temporary);
    if (fd < 0) return Outcome::refused;
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
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
    unlink(temporary.c_str());
    return written && !identified ? Outcome::refused : Outcome::failed;
}

} // namespace

bool write_whole_file(const str_t* path, FileWriter write, void* context) {
    std::string target = native(path);
    if (target.empty()) return false;
    // A symbolic link is followed to its final target, which is replaced in
    // its own folder: the link stays a link.
    if (char* resolved = realpath(target.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    // As opening it for writing would: a file that is there but may not be
    // written is refused.
    if (access(target.c_str(), W_OK) != 0 && errno != ENOENT) return false;
    struct stat status;
    // Writing a FIFO would wait for a reader, and a device is no settings file.
    if (stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return false;
    remove_stale_temporaries(target);
    const bool exists = lstat(target.c_str(), &status) == 0;
    // Only a plain file with no other name is replaced: a file with hard
    // links must stay one file.
    if (!exists || (S_ISREG(status.st_mode) && status.st_nlink == 1)) {
        const Outcome outcome = replace(target, exists ? &status : nullptr, write, context);
        if (outcome != Outcome::refused) return outcome == Outcome::written;
    }
    FILE* stream = std::fopen(target.c_str(), "wbe");
    return stream != nullptr && write_and_close(stream, write, context, true);
}

bool grant_open_access(const str_t* path) { return chmod(native(path).c_str(), 0666) == 0; }

} // namespace keloutil::os
