// SPDX-License-Identifier: MIT
// Child processes on POSIX systems: two close-on-exec pipes and posix_spawn,
// which runs the program file directly (never through a shell, never
// searched on the PATH). Handles are file descriptors cast to void*.
#include "platform/os.h"
#include "platform/posix/library_form.h"
#include "platform/posix/native_paths.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace keloutil::os {

namespace {

void* handle_of(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd)); }
int fd_of(void* handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

// The ids that name one process: 0 and values that read as negative pid_t
// would make waitpid and kill address process groups or every process.
bool single_process(uint32_t pid) { return pid != 0 && pid <= static_cast<uint32_t>(INT_MAX); }

// Moves a descriptor to 3 or above, keeping close-on-exec. A pipe end that
// landed on 0, 1 or 2 (the caller had closed one of them) would otherwise
// be dup2'ed onto itself in the child, which keeps close-on-exec, or be
// overwritten by another of the three.
bool above_standard(int& fd) {
    if (fd > 2) return true;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    close(fd);
    fd = moved;
    return moved != -1;
}

// A pipe whose ends are close-on-exec and above the standard descriptors;
// both -1 on failure.
bool make_pipe(int ends[2]) {
    if (pipe2(ends, O_CLOEXEC) != 0) {
        ends[0] = ends[1] = -1;
        return false;
    }
    const bool read_end = above_standard(ends[0]);
    const bool write_end = above_standard(ends[1]);
    if (read_end && write_end) return true;
    if (ends[0] != -1) close(ends[0]);
    if (ends[1] != -1) close(ends[1]);
    ends[0] = ends[1] = -1;
    return false;
}

void close_pair(const int ends[2]) {
    if (ends[0] != -1) close(ends[0]);
    if (ends[1] != -1) close(ends[1]);
}

// The child's standard input from `input`, its output and error to
// `output`, and nothing else: every other descriptor is closed in it, those
// of the caller that are not close-on-exec included.
bool spawn(const std::string& path, char* const* arguments, int input, int output, pid_t* pid) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    bool ready = posix_spawn_file_actions_adddup2(&actions, input, 0) == 0 &&
                 posix_spawn_file_actions_adddup2(&actions, output, 1) == 0 &&
                 posix_spawn_file_actions_adddup2(&actions, output, 2) == 0;
#if defined(__GLIBC__) && defined(__GLIBC_PREREQ)
#if __GLIBC_PREREQ(2, 34)
    ready = ready && posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
#endif
#endif
    const bool started = ready && posix_spawn(pid, path.c_str(), &actions, nullptr, arguments, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
}

} // namespace

bool spawn_with_pipes(const str_t* program, const str_t*, const std::vector<std::string>& argv, ChildPipes* child) {
    // What may run out of memory comes before any pipe is made.
    const std::string path = native_text(program);
    std::vector<char*> arguments;
    arguments.reserve(argv.size() + 1);
    for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    int input[2];  // the child reads [0], this process writes [1]
    int output[2]; // the child writes [1], this process reads [0]
    if (!make_pipe(input)) return false;
    if (!make_pipe(output)) {
        close_pair(input);
        return false;
    }
    pid_t pid = 0;
    if (!spawn(path, arguments.data(), input[0], output[1], &pid)) {
        close_pair(input);
        close_pair(output);
        return false;
    }
    // The child has its copies; the reader of `output` sees the end of the
    // data only once no write end is left open here.
    close(input[0]);
    close(output[1]);
    *child = ChildPipes{static_cast<uint32_t>(pid), handle_of(input[1]), handle_of(output[0]), handle_of(input[0]),
                        handle_of(output[1])};
    return true;
}

bool process_exists(uint32_t pid, int32_t* exit_status) {
    if (!single_process(pid)) return false;
    int status = 0;
    const pid_t reaped = waitpid(static_cast<pid_t>(pid), &status, WNOHANG);
    if (reaped == 0) return true; // a child of ours that still runs
    if (reaped > 0) {
        *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return false;
    }
    // Not our child: it exists when it can be signalled, or when only the
    // permission to signal it is missing.
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool wait_for_process(uint32_t pid, int32_t* exit_status) {
    if (!single_process(pid)) return false;
    int status = 0;
    pid_t reaped;
    while ((reaped = waitpid(static_cast<pid_t>(pid), &status, 0)) == -1 && errno == EINTR) {
    }
    if (reaped <= 0) return false;
    *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

void close_handle(void* handle) {
    if (handle != invalid_handle()) close(fd_of(handle));
}

} // namespace keloutil::os
