// Helpers shared by the kelo commands: argument handling, errors, and file
// input and output.
#ifndef KELO_CLI_HPP
#define KELO_CLI_HPP

#include <keloutil/tpath.hpp>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelo {

using Arguments = std::vector<std::string>;

// Thrown for bad input; main prints the message on one line and exits 1.
struct Failure {
    std::string message;
};

[[noreturn]] void fail(std::string message);

// Takes the value of `--name VALUE` or `--name=VALUE` out of `args`;
// std::nullopt when the option is absent.
std::optional<std::string> take_option(Arguments& args, std::string_view name);

// Takes every `--name` out of `args`; whether there was one.
bool take_flag(Arguments& args, std::string_view name);

// Fails with "WHAT is not valid UTF-8 at byte offset N" unless `text` is
// (see utf8_check.hpp).
void require_utf8(std::string_view text, const std::string& what);

// A path given on the command line (WHAT names it in errors), localised:
// every path kelo is given may be written with "/" or "\".
TPath path_argument(const std::string& argument, const std::string& what);

// A path in the library's form (UTF-8) as the operating system writes it,
// for printing to people and scripts: TPath::nativePath, so "/" for every
// "\" on POSIX systems and the text unchanged on Windows.
std::string native_form(const std::string& path);

// Reads a whole file, or standard input for "-" or an empty name.
std::string read_input(const std::string& path);

// Writes `data` to a file, replaced all at once (see replace_file in
// platform.hpp) unless it is a device or a FIFO, or to standard output for
// "-" or an empty name.
void write_output(const std::string& path, std::string_view data);

// As write_output, with the content written by `write` (given the open
// stream; it answers whether it wrote everything). It may be called twice
// when a file must be written in place after all.
void write_output_with(const std::string& path, bool (*write)(std::FILE* stream, void* context), void* context);

// Opens a file for reading, or standard input for "-" or an empty name;
// fails with a message when it cannot.
std::FILE* open_input(const std::string& path);

} // namespace kelo

#endif // KELO_CLI_HPP
