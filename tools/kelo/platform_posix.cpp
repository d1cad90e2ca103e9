// SPDX-License-Identifier: MIT
#include "platform.hpp"

#include "platform/posix/file_replace.h"

#include <keloutil/tprocess.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// Why the file `path` cannot be executed, as execve would find: empty when
// it can, otherwise the exit status for it (127 when it does not exist, 126
// otherwise) and the reason.
Program unstartable(const std::string& path) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {{}, 127, "not found"};
        return {{}, 126, std::strerror(errno)};
    }
    if (S_ISDIR(info.st_mode)) return {{}, 126, "is a directory"};
    if (!S_ISREG(info.st_mode) || ::access(path.c_str(), X_OK) != 0) return {{}, 126, "not executable"};
    return {};
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
// current directory; without a PATH, the directories every system has. As
// execvp does, a name that is on the PATH only as files that cannot be
// executed is refused with 126, naming the first of them.
Program find_program(const std::string& command) {
    if (command.find('/') != std::string::npos) {
        Program program = unstartable(command);
        if (program.status == 0) program.path = command;
        return program;
    }
    const char* variable = std::getenv("PATH");
    const std::string directories = variable != nullptr ? variable : "/usr/bin:/bin";
    Program refused{{}, 127, "not found on the PATH"};
    for (size_t start = 0;;) {
        const size_t end = directories.find(':', start);
        const std::string directory = directories.substr(start, end - start);
        const std::string candidate = (directory.empty() ? "." : directory) + "/" + command;
        const Program found = unstartable(candidate);
        if (found.status == 0) return {candidate, 0, {}};
        if (found.status == 126 && refused.status == 127) refused = {{}, 126, candidate + ": " + found.reason};
        if (end == std::string::npos) return refused;
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

// A child that has ended stays until it is waited for: nothing to hold.
void* hold_child(const TProcess&) { return nullptr; }

// TProcess::wait answers -1 for a child ended by a signal and does not name
// the signal, so the child's end is looked at first without reaping it
// (WNOWAIT), which leaves it for wait to collect as usual.
int exit_status(TProcess& process, void*, const std::string& program) {
    siginfo_t info{};
    int looked;
    while ((looked = ::waitid(P_PID, static_cast<id_t>(process.pid()), &info, WEXITED | WNOWAIT)) == -1 &&
           errno == EINTR) {
    }
    const long waited = process.wait();
    if (looked == 0 && (info.si_code == CLD_KILLED || info.si_code == CLD_DUMPED)) {
        std::fprintf(stderr, "kelo run: '%s' was ended by signal %d (%s)\n", program.c_str(), info.si_status,
                     strsignal(info.si_status));
        return 128 + info.si_status;
    }
    if (waited >= 0) return static_cast<int>(waited);
    std::fprintf(stderr, "kelo run: the exit status of '%s' cannot be learned\n", program.c_str());
    return 1;
}

std::optional<std::string> environment_variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

} // namespace kelo
