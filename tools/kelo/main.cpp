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
    if (!args.empty()) kelo::fail("version takes no arguments");
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
    {"convert", "convert text between ASCII, UTF-8, UTF-16 and UTF-32", kelo::run_convert, kelo::convert_usage},
    {"str", "fill placeholders, escape and unescape text, split lists", kelo::run_str, kelo::str_usage},
    {"path", "join, split and inspect paths, create directories", kelo::run_path, kelo::path_usage},
};

void print_summary() {
    std::printf("kelo - the keloutil command-line tool\n\nCommands:\n");
    for (const Command& command : commands) std::printf("  %-10s %s\n", command.name, command.summary);
    std::printf("\nRun 'kelo --help' for the details of every command.\n");
}

void print_help() {
    std::printf("Usage: kelo COMMAND [ARGUMENTS]\n\n");
    for (const Command& command : commands) std::printf("%s\n", command.usage);
    std::printf("Bad input is reported on standard error with exit status 1.\n");
}

} // namespace

int main(int argc, char** argv) {
    kelo::use_binary_standard_streams();
    kelo::Arguments arguments = kelo::command_line_arguments(argc, argv);
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
    for (const Command& command : commands) {
        if (name != command.name) continue;
        try {
            return command.run(std::move(arguments));
        } catch (const kelo::Failure& failure) {
            std::fprintf(stderr, "kelo %s: %s\n", name.c_str(), failure.message.c_str());
            return 1;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "kelo %s: %s\n", name.c_str(), error.what());
            return 1;
        }
    }
    std::fprintf(stderr, "kelo: unknown command '%s' (run 'kelo --help')\n", name.c_str());
    return 1;
}
