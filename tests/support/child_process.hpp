// SPDX-License-Identifier: MIT
// Real separate processes for the tests that need more than one: start a
// program of the build with arguments, ask whether it still runs, wait for
// its exit code or kill it. One source per platform implements it
// (child_process_posix.cpp, child_process_win32.cpp).
#ifndef KELOUTIL_TESTS_CHILD_PROCESS_HPP
#define KELOUTIL_TESTS_CHILD_PROCESS_HPP

#include <cstdint>
#include <string>
#include <vector>

// The path of the program `name` (no extension) built into the same folder
// as the running test program, with the platform's extension; UTF-8.
std::string sibling_program(const std::string& name);

// Reads a pipe handle as TProcess hands them out to its end.
std::string read_all(void* handle);

class ChildProcess {
public:
    // Starts `program` (a path, UTF-8) with `arguments` after the program
    // name. The child inherits the environment and the working directory.
    // started() tells whether it could be started.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
    // Kills a child that still runs and waits for it.
    ~ChildProcess();

    // Whether the child was started.
    bool started() const { return handle_ != 0; }
    // Whether the child has not ended yet.
    bool running();
    // Waits for the child to end; its exit code (0 to 255 on POSIX), or -1
    // when it was killed or never started.
    int wait();
    // Ends the child at once (SIGKILL, TerminateProcess); wait() then
    // answers -1.
    void kill();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

private:
    intptr_t handle_ = 0; // the process id, or the process handle; 0: none
    bool ended_ = false;
    bool killed_ = false;
    int exit_code_ = -1;
};

#endif // KELOUTIL_TESTS_CHILD_PROCESS_HPP
