#include "platform.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelo {

namespace {

mode_t creation_mask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// A new file beside `path` with the permission bits `mode` and, when `owner`
// is given, its owner and group; nullptr when it cannot be made so (the
// caller then writes `path` in place).
std::FILE* open_temporary(const std::string& path, mode_t mode, const struct stat* owner, std::string& name) {
    name = path + ".kelo-XXXXXX.tmp";
    const int fd = ::mkstemps(name.data(), 4); // created 0600, so nobody else reads it meanwhile
    if (fd < 0) return nullptr;
    struct stat created;
    bool ready = ::fstat(fd, &created) == 0;
    if (ready && owner != nullptr && (created.st_uid != owner->st_uid || created.st_gid != owner->st_gid))
        ready = ::fchown(fd, owner->st_uid, owner->st_gid) == 0;
    ready = ready && ::fchmod(fd, mode) == 0; // after fchown, which clears set-id bits
    std::FILE* stream = ready ? ::fdopen(fd, "wb") : nullptr;
    if (stream == nullptr) {
        ::close(fd);
        ::unlink(name.c_str());
    }
    return stream;
}

} // namespace

// Arguments arrive as the bytes the caller gave; on these systems that is UTF-8.
Arguments command_line_arguments(int argc, char** argv) { return Arguments(argv + 1, argv + argc); }

// Standard streams are binary already.
void use_binary_standard_streams() {}

OutputFile open_output(const std::string& path) {
    OutputFile output{nullptr, {}};
    struct stat target;
    if (::lstat(path.c_str(), &target) != 0) {
        if (errno == ENOENT)
            output.stream = open_temporary(path, 0666 & ~creation_mask(), nullptr, output.temporary);
    } else if (S_ISREG(target.st_mode) && target.st_nlink == 1) {
        output.stream = open_temporary(path, target.st_mode & 07777, &target, output.temporary);
    }
    if (output.stream != nullptr) return output;
    output.temporary.clear();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || (output.stream = ::fdopen(fd, "wb")) == nullptr)
        fail("cannot open '" + path + "': " + std::strerror(errno));
    return output;
}

void replace_output(const OutputFile& output, const std::string& path) {
    if (std::rename(output.temporary.c_str(), path.c_str()) == 0) return;
    const int error = errno;
    ::unlink(output.temporary.c_str());
    fail("cannot replace '" + path + "': " + std::strerror(error));
}

} // namespace kelo
