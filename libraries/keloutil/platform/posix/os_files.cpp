// SPDX-License-Identifier: MIT
// Files, directories and the running program on POSIX systems. The library
// writes paths with "\\"; the native copy made here has "/" instead, and
// text that comes from the system gets "\\" back.
#include "platform/os.h"
#include "platform/posix/file_replace.h"
#include "platform/posix/library_form.h"
#include "platform/posix/native_paths.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace keloutil::os {

// The text ends at the terminator or with the buffer (a caller may fill it
// through str_buffer without a terminator).
std::string native_text(const str_t* path) {
    std::string text = str_null(path) ? std::string() : std::string(path->buffer, static_cast<size_t>(str_len(path)));
    for (char& c : text)
        if (c == '\\') c = '/';
    return text;
}

str_t* current_directory() {
    std::vector<char> buffer(256);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE || buffer.size() > (1u << 20)) return library_form(std::string());
        buffer.resize(buffer.size() * 2);
    }
    return library_form(buffer.data());
}

bool change_directory(const str_t* path) { return chdir(native_text(path).c_str()) == 0; }

bool file_exists(const str_t* path) {
    struct stat status;
    return stat(native_text(path).c_str(), &status) == 0;
}

void file_status(const str_t* path, FileStatus* status) { stat(native_text(path).c_str(), status); }

FILE* open_file(const str_t* path, const char* mode) {
    // Close-on-exec ("e"): no file opened here may reach a child process.
    const std::string native_mode = std::string(mode != nullptr ? mode : "") + "e";
    return std::fopen(native_text(path).c_str(), native_mode.c_str());
}

FILE* open_regular_file(const str_t* path) {
    // Not blocking: opening a FIFO would wait for a writer.
    const int fd = ::open(native_text(path).c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat status;
    FILE* stream = nullptr;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && fcntl(fd, F_SETFL, 0) == 0) stream = fdopen(fd, "rb");
    if (stream == nullptr) close(fd);
    return stream;
}

int32_t make_directory(const str_t* path, int32_t mode) {
    return mkdir(native_text(path).c_str(), mode != 0 ? static_cast<mode_t>(mode) : 0777) == 0 ? 0 : -1;
}

int32_t remove_directory(const str_t* path) { return rmdir(native_text(path).c_str()) == 0 ? 0 : -1; }

int32_t remove_file(const str_t* path) { return unlink(native_text(path).c_str()) == 0 ? 0 : -1; }

bool may_access(const str_t* path, bool write) { return access(native_text(path).c_str(), write ? W_OK : R_OK) == 0; }

bool write_whole_file(const str_t* path, FileWriter write, void* context) {
    return replace_file(native_text(path), write, context, true);
}

bool restore_interrupted_write(const str_t* path) {
    const std::string target = native_text(path);
    return target.empty() || restore_interrupted_write(target);
}

// Only the owner may change a file's mode, so another account's save of a
// file that is open to all already must not try.
bool grant_open_access(const str_t* path) {
    const std::string target = native_text(path);
    struct stat status;
    if (stat(target.c_str(), &status) == 0 && (status.st_mode & 0666) == 0666) return true;
    return chmod(target.c_str(), 0666) == 0;
}

bool root_is_absolute() { return true; }

str_t* native_path(const str_t* path) {
    const std::string text = native_text(path);
    return str_from(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8);
}

str_t* program_as_started() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return library_form(length > 0 ? std::string(buffer.data(), static_cast<size_t>(length)) : std::string());
}

const char* program_file_pattern() { return nullptr; }

} // namespace keloutil::os
