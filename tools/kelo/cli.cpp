// SPDX-License-Identifier: MIT
#include "cli.hpp"

#include "platform.hpp"
#include "utf8_check.hpp"

#include <keloutil/path.h>

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace kelo {


void fail(std::string message) { throw Failure{std::move(message)}; }

void usage_error(std::string message) { throw UsageError{std::move(message)}; }

bool CommandLine::has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(), [&](const auto& option) { return option.first == name; });
}

std::optional<std::string> CommandLine::value(std::string_view name) const {
    for (auto option = options.rbegin(); option != options.rend(); ++option) // the last one counts
        if (option->first == name) return option->second;
    return std::nullopt;
}

CommandLine read_command_line(const Arguments& args, std::initializer_list<Option> options,
                              bool operands_first_end_options) {
    // getopt_long takes a C argument vector, which it may reorder.
    std::vector<std::string> texts{"kelo"};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    std::vector<::option> long_options;
    std::string letters = operands_first_end_options ? "+:h" : ":h";
    for (const Option& option : options) {
        long_options.push_back({option.name, option.value ? required_argument : no_argument, nullptr, 0});
        if (option.letter != 0) letters += std::string(1, option.letter) + (option.value ? ":" : "");
    }
    long_options.push_back({"help", no_argument, nullptr, 'h'});
    long_options.push_back({nullptr, 0, nullptr, 0});

    CommandLine line;
    optind = 0; // starts getopt_long afresh
    opterr = 0; // its messages are made here
    for (;;) {
        int index = -1;
        const int found =
            getopt_long(static_cast<int>(texts.size()), argv.data(), letters.c_str(), long_options.data(), &index);
        if (found == -1) break;
        if (found == 'h') throw HelpWanted{};
        const std::string given = argv[optind - 1] != nullptr ? argv[optind - 1] : "";
        if (found == '?') usage_error("unknown option '" + given + "'");
        if (found == ':') usage_error("option '" + given + "' needs a value");
        const Option* option = nullptr;
        if (index >= 0 && index < static_cast<int>(options.size())) option = options.begin() + index;
        for (const Option& candidate : options)
            if (option == nullptr && candidate.letter == found) option = &candidate;
        if (option == nullptr) usage_error("unknown option '" + given + "'");
        line.options.emplace_back(option->name, option->value && optarg != nullptr ? optarg : "");
    }
    for (int i = optind; i < static_cast<int>(texts.size()); ++i) line.operands.push_back(argv[i]);
    return line;
}

void expect_operands(const CommandLine& line, size_t least, size_t most, const std::string& usage) {
    if (line.operands.size() < least || line.operands.size() > most) usage_error("usage: " + usage);
}

Arguments read_operands(const Arguments& args, size_t least, size_t most, const std::string& usage) {
    CommandLine line = read_command_line(args, {});
    expect_operands(line, least, most, usage);
    return std::move(line.operands);
}

std::string operation_usage(const char* usage, const std::string& command, const std::string& operation) {
    const std::string text = usage, start = "kelo " + command + " " + operation;
    std::string part;
    bool inside = false;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
        at = end == std::string::npos ? text.size() : end + 1;
        if (line.rfind("kelo ", 0) == 0) inside = line.rfind(start + " ", 0) == 0 || line == start + "\n";
        if (inside) part += line;
    }
    return part;
}

int run_operation(const char* command, const Operation* operations, size_t count, Arguments args) {
    std::string names;
    for (size_t i = 0; i < count; ++i) names += std::string(i == 0 ? "" : ", ") + operations[i].name;
    if (args.empty()) usage_error("needs an operation: " + names);
    if (args.front() == "-h" || args.front() == "--help") throw HelpWanted{};
    const std::string name = args.front();
    args.erase(args.begin());
    for (size_t i = 0; i < count; ++i)
        if (name == operations[i].name) {
            try {
                return operations[i].run(std::move(args));
            } catch (const HelpWanted&) {
                throw OperationHelpWanted{command, name};
            }
        }
    usage_error("unknown operation '" + name + "' (" + names + ")");
}

TPath path_argument(const std::string& argument, const std::string& what) {
    require_utf8(argument, what);
    TPath path(argument.c_str());
    path_localise(static_cast<str_t*>(static_cast<void*>(path)));
    return path;
}

std::string native_form(const std::string& path) {
    const TStr native = TPath(path.c_str()).nativePath();
    const auto* record = static_cast<const str_t*>(native.handle());
    if (record == nullptr || record->buffer == nullptr) {
        if (!path.empty()) fail("out of memory");
        return std::string();
    }
    return std::string(record->buffer, static_cast<size_t>(str_len(record)));
}

void require_utf8(std::string_view text, const std::string& what) {
    const size_t offset = utf8_error_offset(text);
    if (offset != std::string_view::npos) fail(what + " is not valid UTF-8 at byte offset " + std::to_string(offset));
}

static bool is_standard_stream(const std::string& path) { return path.empty() || path == "-"; }

std::string read_input(const std::string& path) {
    std::FILE* stream = open_input(path);
    std::string data;
    char chunk[1 << 16];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) data.append(chunk, got);
    const int error = errno;
    const bool failed = std::ferror(stream) != 0;
    if (stream != stdin) std::fclose(stream);
    if (failed) fail("cannot read " + (is_standard_stream(path) ? "standard input" : "'" + path + "'") + ": " +
                     std::strerror(error));
    return data;
}

std::FILE* open_input(const std::string& path) {
    if (is_standard_stream(path)) return stdin;
    std::FILE* stream = open_for_reading(path);
    if (stream == nullptr) fail("cannot open '" + path + "': " + std::strerror(errno));
    return stream;
}

void write_output_with(const std::string& path, bool (*write)(std::FILE*, void*), void* context) {
    if (is_standard_stream(path)) {
        if (!write(stdout, context)) fail("cannot write standard output"); // main reports a later failure
        return;
    }
    if (!is_device(path)) {
        const std::string failure = replace_file(path, write, context);
        if (!failure.empty()) fail("cannot write '" + path + "': " + failure);
        return;
    }
    // A device or a FIFO is no file to replace: a reader gets the text.
    std::FILE* stream = open_for_writing(path);
    if (stream == nullptr) fail("cannot open '" + path + "': " + std::strerror(errno));
    const bool written = write(stream, context);
    const int error = errno;
    if (std::fclose(stream) != 0 || !written)
        fail("cannot write '" + path + "': " + std::strerror(written ? errno : error));
}

void write_output(const std::string& path, std::string_view data) {
    auto write_bytes = [](std::FILE* stream, void* context) {
        const auto* bytes = static_cast<const std::string_view*>(context);
        return std::fwrite(bytes->data(), 1, bytes->size(), stream) == bytes->size();
    };
    write_output_with(path, write_bytes, &data);
}

} // namespace kelo
