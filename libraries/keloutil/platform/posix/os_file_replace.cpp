// Writing a whole file on POSIX systems: into a new temporary file beside
// it, renamed over it, so that a reader or a crash meets either the old
// content or the new one. Targets that a rename would break are written in
// place instead.
#include "platform/os.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
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

// A new temporary file ".<name>.<number>.tmp" beside `target`, open for
// writing; -1 when the folder refuses one.
int create_temporary(const std::string& target, std::string& name) {
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = target.substr(slash == std::string::npos ? 0 : slash + 1);
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    unsigned long long seed = static_cast<unsigned long long>(now.tv_nsec) ^
                              (static_cast<unsigned long long>(getpid()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        char number[17];
        std::snprintf(number, sizeof number, "%016llx", seed);
        name = folder + "." + base + "." + number + ".tmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Gives the temporary file the owner, group and mode of the file it will
// replace; false when the owner or group cannot be given.
bool take_over_identity(int fd, const struct stat& target) {
    struct stat own;
    if (fstat(fd, &own) != 0) return false;
    if ((own.st_uid != target.st_uid || own.st_gid != target.st_gid) && fchown(fd, target.st_uid, target.st_gid) != 0)
        return false;
    return fchmod(fd, target.st_mode & 07777) == 0;
}

enum class Outcome { written, failed, refused };

// The write through a temporary file; `refused` when this target cannot be
// replaced that way and must be written in place.
Outcome replace(const std::string& target, const struct stat* existing, FileWriter write, void* context) {
    std::string temporary;
    const int fd = create_temporary(target, temporary);
    if (fd < 0) return Outcome::refused;
    if (existing != nullptr && !take_over_identity(fd, *existing)) {
        close(fd);
        unlink(temporary.c_str());
        return Outcome::refused;
    }
    FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) close(fd);
    if (stream != nullptr && write_and_close(stream, write, context, true) &&
        std::rename(temporary.c_str(), target.c_str()) == 0)
        return Outcome::written;
    unlink(temporary.c_str());
    return Outcome::failed;
}

} // namespace

bool write_whole_file(const str_t* path, FileWriter write, void* context) {
    const std::string target = native(path);
    if (target.empty()) return false;
    // As opening it for writing would: a file that is there but may not be
    // written is refused.
    if (access(target.c_str(), W_OK) != 0 && errno != ENOENT) return false;
    struct stat status;
    // Writing a FIFO would wait for a reader, and a device is no settings file.
    if (stat(target.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return false;
    const bool exists = lstat(target.c_str(), &status) == 0;
    // Only a plain file with no other name is replaced: a link, a device, a
    // pipe or a file with hard links must stay what it is.
    if (!exists || (S_ISREG(status.st_mode) && status.st_nlink == 1)) {
        const Outcome outcome = replace(target, exists ? &status : nullptr, write, context);
        if (outcome != Outcome::refused) return outcome == Outcome::written;
    }
    FILE* stream = std::fopen(target.c_str(), "wbe");
    return stream != nullptr && write_and_close(stream, write, context, false);
}

bool grant_open_access(const str_t* path) { return chmod(native(path).c_str(), 0666) == 0; }

} // namespace keloutil::os
