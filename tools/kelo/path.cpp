// SPDX-License-Identifier: MIT
// kelo path: the library's path operations for scripts. Every path given is
// localised first ("/" becomes "\"), so paths may be written either way.
// The operations that show the library's rules print its form, with "\";
// kelo's own folder is printed in the native form, for use.
#include "commands.hpp"
#include "location_kinds.hpp"

#include <keloutil/keloutil.hpp>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

namespace kelo {

const char* const path_usage =
    "kelo path join PIECE...\n"
    "    Print the PIECEs joined with exactly one \\ between each two.\n"
    "kelo path split PATH\n"
    "    Print the components of PATH, first to last, one per line (a path\n"
    "    that starts with \\ has an empty first component).\n"
    "kelo path info PATH...\n"
    "    For each PATH print a block of lines 'key: value', blocks separated by\n"
    "    an empty line: path, exists (yes/no), type (file, directory, other or\n"
    "    none), size (bytes), readable, writable (yes/no), absolute (the\n"
    "    absolute form) and native (the form the operating system takes).\n"
    "kelo path mkpath DIR\n"
    "    Create DIR and every missing directory above it.\n"
    "kelo path app [--library-form]\n"
    "    Print the directory that holds kelo itself, in the system's native form\n"
    "    (with --library-form in the library's form, with \\).\n"
    "    Paths may be written with / or \\; join and split print them with \\, as\n"
    "    the library writes them.\n";

namespace {

void print_line(const TStr& text) {
    const auto* record = static_cast<const str_t*>(text.handle());
    if (record != nullptr && record->buffer != nullptr)
        std::fwrite(record->buffer, 1, static_cast<size_t>(str_len(record)), stdout);
    std::fputc('\n', stdout);
}

void print_field(const char* key, const TStr& value) {
    std::printf("%s: ", key);
    print_line(value);
}

const char* yes_no(bool value) { return value ? "yes" : "no"; }

int run_join(Arguments args) {
    const Arguments pieces = read_operands(args, 1, SIZE_MAX, "kelo path join PIECE...");
    TPath joined;
    for (size_t i = 0; i < pieces.size(); ++i) joined += path_argument(pieces[i], "PIECE " + std::to_string(i + 1));
    print_line(joined);
    return 0;
}

int run_split(Arguments args) {
    TPath path = path_argument(read_operands(args, 1, 1, "kelo path split PATH")[0], "PATH");
    // shift empties the path by its last component; a trailing separator
    // leaves an empty rest, which is not a component of its own.
    while (!path.isEmpty()) print_line(path.shift());
    return 0;
}

void print_info(TPath path) {
    print_field("path", path);
    const bool exists = path.exists();
    std::printf("exists: %s\n", yes_no(exists));
    const char* type = "none";
    if (path.isFile())
        type = "file";
    else if (path.isDir())
        type = "directory";
    else if (exists)
        type = "other";
    std::printf("type: %s\n", type);
    std::printf("size: %" PRId32 "\n", path.size());
    std::printf("readable: %s\n", yes_no(path.isReadable()));
    std::printf("writable: %s\n", yes_no(path.isWritable()));
    print_field("absolute", path.absPath());
    print_field("native", path.nativePath());
}

int run_file_info(Arguments args) {
    const Arguments paths = read_operands(args, 1, SIZE_MAX, "kelo path info PATH...");
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) std::fputc('\n', stdout);
        print_info(path_argument(paths[i], "PATH " + std::to_string(i + 1)));
    }
    return 0;
}

int run_mkpath(Arguments args) {
    const std::string name = read_operands(args, 1, 1, "kelo path mkpath DIR")[0];
    TPath directory = path_argument(name, "DIR");
    if (!directory.mkpath() || !directory.isDir()) fail("cannot create the directory '" + name + "'");
    return 0;
}

int run_app(Arguments args) {
    const CommandLine line = read_command_line(args, {{"library-form", 0, false}});
    expect_operands(line, 0, 0, "kelo path app [--library-form]");
    const TPath app = TPath::appPath();
    if (line.has("library-form")) print_line(app);
    else std::printf("%s\n", native_form(utf8(app)).c_str());
    return 0;
}

} // namespace

const Operation path_operations[] = {
    {"join", run_join}, {"split", run_split}, {"info", run_file_info}, {"mkpath", run_mkpath}, {"app", run_app}};

int run_path(Arguments args) {
    return run_operation("path", path_operations, std::size(path_operations), std::move(args));
}

} // namespace kelo
