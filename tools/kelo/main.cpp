// SPDX-License-Identifier: MIT
// kelo: the keloutil command-line tool.
#include "commands.hpp"
#include "platform.hpp"

#include <keloutil/keloutil.h>

#include <cstdio>
#include <exception>
#include <string>
#include <utility>

namespace {

int run_version(kelo::Arguments args) {
    kelo::expect_operands(kelo::read_command_line(args, {}), 0, 0, "kelo version");
    const int32_t* numbers = keloUtilBuildInformation();
    std::printf("keloutil %s%s (framework version %s, build %d.%d.%d.%d)\n", keloUtilVersionString(),
                keloUtilVersionModifierString(), keloUtilFrameworkVersionString(), numbers[0], numbers[1],
                numbers[2], numbers[3]);
    return 0;
}

struct Command {
    const char* name;
    const char* summary;
    int (*run)(kelo::Arguments);
    const char* usage;
};

const Command commands[] = {
    {"version", "print the library's version", run_version, "kelo version\n    Print the library's version.\n"},
    {"info", "show the version, custom environment, locale and folders in force", kelo::run_info, kelo::info_usage},
    {"locale", "show the internal and folder names of a locale", kelo::run_locale, kelo::locale_usage},
    {"location", "show the folder of one kind of the framework's files", kelo::run_location, kelo::location_usage},
    {"convert", "convert text between ASCII, UTF-8, UTF-16 and UTF-32", kelo::run_convert, kelo::convert_usage},
    {"str", "fill placeholders, escape and unescape text, split lists", kelo::run_str, kelo::str_usage},
    {"path", "join, split and inspect paths, create directories", kelo::run_path, kelo::path_usage},
    {"settings", "read and change the values of a settings file", kelo::run_settings, kelo::settings_usage},
    {"split-args", "show how an argument text is cut into arguments", kelo::run_split_args, kelo::split_args_usage},
    {"run", "start a program with kelo's input and pass its output on", kelo::run_run, kelo::run_usage},
};

void print_summary() {
    std::printf("kelo - the keloutil command-line tool\n\nCommands:\n");
    for (const Command& command : commands) std::printf("  %-10s %s\n", command.name, command.summary);
    std::printf("\nRun 'kelo --help' for the details of every command.\n");
}

void print_help() {
    std::printf("Usage: kelo COMMAND [ARGUMENTS]\n\n");
    for (const Command& command : commands) std::printf("%s\n", command.usage);
    std::printf("Every command and operation takes -h or --help for its own usage, and\n"
                "\"--\" to end its options. Exit status: 0 done; 1 a negative answer (no\n"
                "such key) or input refused (text that cannot be converted, a file that\n"
                "cannot be read or written), with the reason on standard error; 2 a\n"
                "command line that kelo cannot take, with a one-line message; kelo run\n"
                "answers as it says above.\n");
}

// Runs the command named first in `arguments`; `who` names it for messages.
int run(kelo::Arguments arguments, std::string& who) {
    if (arguments.empty()) {
        print_summary();
        return 0;
    }
    const std::string name = arguments.front();
    arguments.erase(arguments.begin());
    if (name == "--help" || name == "-h" || name == "help") {
        print_help();
        return 0;
    }
    if (name == "--version" || name == "-V") return run_version(std::move(arguments));
    for (const Command& command : commands) {
        if (name != command.name) continue;
        who = "kelo " + name;
        try {
            return command.run(std::move(arguments));
        } catch (const kelo::HelpWanted&) {
            std::printf("Usage:\n%s", command.usage);
            return 0;
        } catch (const kelo::OperationHelpWanted& wanted) {
            std::printf("Usage:\n%s", kelo::operation_usage(command.usage, wanted.command, wanted.operation).c_str());
            return 0;
        } catch (const kelo::UsageError& error) {
            std::fprintf(stderr, "%s: %s\n", who.c_str(), error.message.c_str());
            return 2;
        } catch (const kelo::Failure& failure) {
            std::fprintf(stderr, "%s: %s\n", who.c_str(), failure.message.c_str());
            return 1;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s: %s\n", who.c_str(), error.what());
            return 1;
        }
    }
    std::fprintf(stderr, "kelo: unknown command '%s' (run 'kelo --help')\n", name.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    kelo::use_binary_standard_streams();
    std::string who = "kelo";
    const int status = run(kelo::command_line_arguments(argc, argv), who);
    // Every command prints through the buffered standard output: whether it
    // all arrived is known only once it is flushed, so it is checked here,
    // for all of them.
    const bool flushed = std::fflush(stdout) == 0;
    if (status == 0 && (!flushed || std::ferror(stdout))) {
        std::fprintf(stderr, "%s: cannot write standard output\n", who.c_str());
        return 1;
    }
    return status;
}
