#include "cli.hpp"

#include "platform.hpp"
#include "utf8_check.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kelo {

namespace fs = std::filesystem;

void fail(std::string message) { throw Failure{std::move(message)}; }

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

bool take_flag(Arguments& args, std::string_view name) {
    const std::string flag = "--" + std::string(name);
    const auto end = std::remove(args.begin(), args.end(), flag);
    const bool found = end != args.end();
    args.erase(end, args.end());
    return found;
}

std::optional<std::string> take_option(Arguments& args, std::string_view name) {
    const std::string flag = "--" + std::string(name);
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == flag) {
            if (std::next(it) == args.end()) fail(flag + " needs a value");
            std::string value = *std::next(it);
            args.erase(it, std::next(it, 2));
            return value;
        }
        if (it->rfind(flag + "=", 0) == 0) {
            std::string value = it->substr(flag.size() + 1);
            args.erase(it);
            return value;
        }
    }
    return std::nullopt;
}

void require_utf8(std::string_view text, const std::string& what) {
    const size_t offset = utf8_error_offset(text);
    if (offset != std::string_view::npos) fail(what + " is not valid UTF-8 at byte offset " + std::to_string(offset));
}

static bool is_standard_stream(const std::string& path) { return path.empty() || path == "-"; }

std::string read_input(const std::string& path) {
    if (is_standard_stream(path)) {
        std::string data;
        char chunk[1 << 16];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) data.append(chunk, got);
        if (std::ferror(stdin)) fail("cannot read standard input");
        return data;
    }
    std::ifstream in(fs::u8path(path), std::ios::binary);
    if (!in) fail("cannot open '" + path + "': " + std::strerror(errno));
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) fail("cannot read '" + path + "'");
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
