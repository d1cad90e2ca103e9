// SPDX-License-Identifier: MIT
// Helpers shared by the kelo commands: argument handling, errors, and file
// input and output.
#ifndef KELO_CLI_HPP
#define KELO_CLI_HPP

#include <keloutil/tpath.hpp>

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <utility>
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

// Thrown for a command line that kelo cannot take (an unknown option, a
// missing operand); main prints the message on one line and exits 2.
struct UsageError {
    std::string message;
};

[[noreturn]] void usage_error(std::string message);

// Thrown for -h or --help anywhere before "--": main prints the usage of
// the command (or operation) that was being read, and exits 0.
struct HelpWanted {};
// Thrown instead for -h or --help after an operation's name.
struct OperationHelpWanted {
    std::string command, operation;
};

// An option a command takes: --name, with a short form -c where `letter`
// is not 0, and with a value (--name VALUE, --name=VALUE, -c VALUE) when
// `value` is set.
struct Option {
    const char* name;
    char letter;
    bool value;
};

// A command line read by getopt_long, as the GNU tools read theirs: options
// and operands in any order, "--" ending the options, -h and --help asking
// for help (HelpWanted), anything else starting with "-" a usage error.
// With `operands_first_end_options`, the first operand ends the options
// (what follows belongs to it, as for kelo run).
struct CommandLine {
    std::vector<std::pair<std::string, std::string>> options; // name, value ("" for a flag)
    Arguments operands;

    bool has(std::string_view name) const;
    std::optional<std::string> value(std::string_view name) const;
};
CommandLine read_command_line(const Arguments& args, std::initializer_list<Option> options,
                              bool operands_first_end_options = false);

// Fails with a usage error naming `usage` unless there are between `least`
// and `most` operands.
void expect_operands(const CommandLine& line, size_t least, size_t most, const std::string& usage);

// The operands of a command or operation that takes no options, checked by
// expect_operands.
Arguments read_operands(const Arguments& args, size_t least, size_t most, const std::string& usage);

// An operation of a command (kelo str arg, kelo path join, ...): its name,
// what runs it and its usage text.
struct Operation {
    const char* name;
    int (*run)(Arguments);
};

// Runs the operation that `args` names from `operations`, whose usage the
// command's usage text `usage` gives (the lines from "kelo COMMAND NAME").
int run_operation(const char* command, const Operation* operations, size_t count, Arguments args);

// The part of a command's usage text about one operation: its lines from
// the one that starts "kelo COMMAND OPERATION" to the next usage line.
std::string operation_usage(const char* usage, const std::string& command, const std::string& operation);

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
