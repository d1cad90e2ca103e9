// SPDX-License-Identifier: MIT
// The few things kelo needs to do differently per platform; one source per
// platform implements them (platform_posix.cpp, platform_win32.cpp).
#ifndef KELO_PLATFORM_HPP
#define KELO_PLATFORM_HPP

#include "cli.hpp"

#include <cstdio>
#include <optional>
#include <string>

class TProcess;

namespace kelo {

// The command-line arguments after the program name, in UTF-8.
Arguments command_line_arguments(int argc, char** argv);

// Makes standard input and output carry bytes unchanged (no newline
// translation), as converted text needs.
void use_binary_standard_streams();

// For output files (paths in UTF-8):

// Whether `path` leads to a device or a FIFO, which is written directly
// rather than replaced.
bool is_device(const std::string& path);

// Opens `path` for writing; nullptr, with errno set, when it cannot be.
std::FILE* open_for_writing(const std::string& path);

// Opens `path` for reading bytes; nullptr, with errno set, when it cannot be.
std::FILE* open_for_reading(const std::string& path);

// Replaces the file `path` whole through `write` (given an open stream; it
// answers whether it wrote everything) by the library's safe replacement:
// all at once, a symbolic link staying a link, the file keeping its owner
// and permissions. Empty when done, otherwise why not.
std::string replace_file(const std::string& path, bool (*write)(std::FILE* stream, void* context), void* context);

// For kelo run:

// The program file to start for COMMAND: COMMAND itself when it holds a path
// separator, otherwise the first match on the PATH. When none can be started,
// `path` is empty and `status` and `reason` say why: 127 when there is no
// such file, 126 when there is one that cannot be executed.
struct Program {
    std::string path;
    int status = 0;
    std::string reason;
};
Program find_program(const std::string& command);

// ARGUMENT written for the argument text of a started program so that the
// program receives it unchanged; fails, naming it as WHAT, when it cannot be.
std::string quoted_argument(const std::string& argument, const std::string& what);

// Makes writing to a pipe whose reader has gone fail instead of ending kelo.
void ignore_broken_pipes();

// kelo's standard input and output, as handles of the kind TProcess gives.
void* standard_input();
void* standard_output();

// Reads up to `size` bytes from a handle; 0 at the end of the input or on an
// error.
size_t read_some(void* handle, char* buffer, size_t size);

// Writes all `size` bytes to a handle; false when they cannot all be written.
bool write_all(void* handle, const char* data, size_t size);

// Holds on to the child just started, so that how it ends can still be
// learned once its output has ended; exit_status lets go of it.
void* hold_child(const TProcess& process);

// Waits for the child to end and answers kelo run's exit status: the
// child's own, or 128 + N when signal N ended it, which is said on standard
// error with the PROGRAM's name.
int exit_status(TProcess& process, void* held, const std::string& program);

// For kelo info:

// The value of the environment variable `name` in UTF-8; std::nullopt when it
// is not set.
std::optional<std::string> environment_variable(const char* name);

} // namespace kelo

#endif // KELO_PLATFORM_HPP
