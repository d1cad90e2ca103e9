#include "platform.hpp"

#include "platform/posix/file_replace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kelo {

namespace {

int fd_of(void* handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

bool executable_file(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace

// Arguments arrive as the bytes the caller gave; on these systems that is UTF-8.
Arguments command_line_arguments(int argc, char** argv) { return Arguments(argv + 1, argv + argc); }

// Standard streams are binary already.
void use_binary_standard_streams() {}

bool is_device(const std::string& path) {
    struct stat target;
    return ::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode);
}

std::FILE* open_for_writing(const std::string& path) { return std::fopen(path.c_str(), "wbe"); }

std::FILE* open_for_reading(const std::string& path) { return std::fopen(path.c_str(), "rbe"); }

std::string replace_file(const std::string& path, bool (*write)(std::FILE*, void*), void* context) {
    return keloutil::os::replace_file(path, write, context, false) ? std::string() : std::strerror(errno);
}

// The PATH as the shells read it: ":"-separated, an empty entry meaning the
// current directory; without a PATH, the directories every system has.
std::string find_program(const std::string& command) {
    if (command.find('/') != std::string::npos) return command;
    const char* variable = std::getenv("PATH");
    const std::string directories = variable != nullptr ? variable : "/usr/bin:/bin";
    for (size_t start = 0;;) {
        const size_t end = directories.find(':', start);
        const std::string directory = directories.substr(start, end - start);
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + command;
        if (executable_file(candidate)) return candidate;
        if (end == std::string::npos) return {};
        start = end + 1;
    }
}

// The started program's arguments are cut out of the text by
// TProcess::splitArgumentString, which has no escape character and joins
// the arguments it finds with "\r" before they are cut apart again.
std::string quoted_argument(const std::string& argument, const std::string& what) {
    if (argument.empty()) fail(what + " is empty, which cannot be passed");
    if (argument.find('\r') != std::string::npos) fail(what + " holds a carriage return, which cannot be passed");
    if (argument.find_first_of(" \t\"'") == std::string::npos) return argument;
    if (argument.find('"') == std::string::npos) return '"' + argument + '"';
    if (argument.find('\'') == std::string::npos) return '\'' + argument + '\'';
    fail(what + " holds both kinds of quote, which cannot be passed");
}

void ignore_broken_pipes() { std::signal(SIGPIPE, SIG_IGN); }

void* standard_input() { return reinterpret_cast<void*>(intptr_t{STDIN_FILENO}); }

void* standard_output() { return reinterpret_cast<void*>(intptr_t{STDOUT_FILENO}); }

size_t read_some(void* handle, char* buffer, size_t size) {
    for (;;) {
        const ssize_t got = ::read(fd_of(handle), buffer, size);
        if (got >= 0) return static_cast<size_t>(got);
        if (errno != EINTR) return 0;
    }
}

bool write_all(void* handle, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t put = ::write(fd_of(handle), data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

// wait answers the exit status, or -1 for a child ended by a signal, which
// it does not name.
int exit_status(long waited) { return waited >= 0 ? static_cast<int>(waited) : 1; }

std::optional<std::string> environment_variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace kelo
