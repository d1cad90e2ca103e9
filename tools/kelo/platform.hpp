// The few things kelo needs to do differently per platform; one source per
// platform implements them (platform_posix.cpp, platform_win32.cpp).
#ifndef KELO_PLATFORM_HPP
#define KELO_PLATFORM_HPP

#include "cli.hpp"

#include <cstdio>
#include <optional>
#include <string>

namespace kelo {

// The command-line arguments after the program name, in UTF-8.
Arguments command_line_arguments(int argc, char** argv);

// Makes standard input and output carry bytes unchanged (no newline
// translation), as converted text needs.
void use_binary_standard_streams();

// Where the new content of an output file goes.
struct OutputFile {
    std::FILE* stream;
    // A new file beside the target that replace_output moves over it; empty
    // when `stream` writes the target itself.
    std::string temporary;
};

// Opens the output file `path` (UTF-8) for its new content. Replacing a file
// is safe only when it does not exist yet or is a regular file with one name
// (not a link): then the stream writes a temporary file beside it with its
// owner and permission bits (for a new file, those a new file gets), so that
// the file changes all at once or not at all. Anything else (a symbolic
// link's target, a device, a FIFO, a file with further hard links, a file
// whose folder the user cannot write) is opened and written in place.
// Fails with a message when neither can be opened.
OutputFile open_output(const std::string& path);

// Moves the temporary file of `output` over `path`; when it cannot, removes
// the temporary file and fails with a message.
void replace_output(const OutputFile& output, const std::string& path);

// For kelo run:

// The program file to start for COMMAND: COMMAND itself when it holds a path
// separator, otherwise the first match on the PATH; empty when there is none.
std::string find_program(const std::string& command);

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

// kelo run's exit status for an answer of TProcess::wait.
int exit_status(long waited);

// For kelo info:

// The value of the environment variable `name` in UTF-8; std::nullopt when it
// is not set.
std::optional<std::string> environment_variable(const char* name);

} // namespace kelo

#endif // KELO_PLATFORM_HPP
