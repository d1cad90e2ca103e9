// SPDX-License-Identifier: MIT
#include "child_process.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

extern char** environ;

std::string sibling_program(const std::string& name) {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / name).string();
}

std::string read_all(void* handle) {
    std::string data;
    char buffer[4096];
    ssize_t got;
    while ((got = read(static_cast<int>(reinterpret_cast<intptr_t>(handle)), buffer, sizeof buffer)) > 0)
        data.append(buffer, static_cast<size_t>(got));
    return data;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0) handle_ = pid;
}

ChildProcess::~ChildProcess() {
    if (running()) kill();
    wait();
}

bool ChildProcess::running() {
    if (handle_ == 0 || ended_) return false;
    int status = 0;
    const pid_t reaped = waitpid(static_cast<pid_t>(handle_), &status, WNOHANG);
    if (reaped == 0) return true;
    ended_ = true;
    if (reaped > 0 && WIFEXITED(status)) exit_code_ = WEXITSTATUS(status);
    return false;
}

int ChildProcess::wait() {
    if (handle_ == 0 || ended_) return killed_ ? -1 : exit_code_;
    int status = 0;
    pid_t reaped;
    while ((reaped = waitpid(static_cast<pid_t>(handle_), &status, 0)) < 0 && errno == EINTR) {
    }
    ended_ = true;
    if (reaped > 0 && WIFEXITED(status) && !killed_) exit_code_ = WEXITSTATUS(status);
    return killed_ ? -1 : exit_code_;
}

void ChildProcess::kill() {
    if (handle_ == 0 || ended_) return;
    killed_ = ::kill(static_cast<pid_t>(handle_), SIGKILL) == 0;
}
