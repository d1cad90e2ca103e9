// kelo path: the library's path operations for scripts. Every path given is
// localised first ("/" becomes "\"), so paths may be written either way.
// The operations that show the library's rules print its form, with "\";
// kelo's own folder is printed in the native form, for use.
#include "commands.hpp"
#include "location_kinds.hpp"

#include <keloutil/keloutil.hpp>

#include <cinttypes>
#include <cstdio>
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

void require_no_options(const Arguments& args) {
    for (const std::string& arg : args)
        if (arg.size() > 1 && arg[0] == '-') fail("unknown option '" + arg + "'");
}

int run_join(const Arguments& args) {
    if (args.empty()) fail("usage: kelo path join PIECE...");
    TPath joined;
    for (size_t i = 0; i < args.size(); ++i) joined += path_argument(args[i], "PIECE " + std::to_string(i + 1));
    print_line(joined);
    return 0;
}

int run_split(const Arguments& args) {
    require_no_options(args);
    if (args.size() != 1) fail("usage: kelo path split PATH");
    TPath path = path_argument(args[0], "PATH");
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

int run_file_info(const Arguments& args) {
    require_no_options(args);
    if (args.empty()) fail("usage: kelo path info PATH...");
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) std::fputc('\n', stdout);
        print_info(path_argument(args[i], "PATH " + std::to_string(i + 1)));
    }
    return 0;
}

int run_mkpath(const Arguments& args) {
    require_no_options(args);
    if (args.size() != 1) fail("usage: kelo path mkpath DIR");
    TPath directory = path_argument(args[0], "DIR");
    if (!directory.mkpath() || !directory.isDir()) fail("cannot create the directory '" + args[0] + "'");
    return 0;
}

int run_app(Arguments args) {
    const bool library_form = take_flag(args, "library-form");
    if (!args.empty()) fail("usage: kelo path app [--library-form]");
    const TPath app = TPath::appPath();
    if (library_form) print_line(app);
    else std::printf("%s\n", native_form(utf8(app)).c_str());
    return 0;
}

} // namespace

int run_path(Arguments args) {
    if (args.empty()) fail("needs an operation: join, split, info, mkpath or app");
    const std::string operation = args.front();
    args.erase(args.begin());
    if (operation == "join") return run_join(args);
    if (operation == "split") return run_split(args);
    if (operation == "info") return run_file_info(args);
    if (operation == "mkpath") return run_mkpath(args);
    if (operation == "app") return run_app(args);
    fail("unknown operation '" + operation + "' (join, split, info, mkpath, app)");
}

} // namespace kelo
