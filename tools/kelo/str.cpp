// SPDX-License-Identifier: MIT
// kelo str: a few string operations of the library for scripts.
#include "commands.hpp"
#include "utf8_check.hpp"

#include <keloutil/keloutil.h>

#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string_view>

namespace kelo {

const char* const str_usage =
    "kelo str arg PATTERN ARG...\n"
    "    Fill the placeholders %1..%9 of PATTERN with the ARGs, lowest placeholder\n"
    "    first (\"%2 and %1\" with X and Y gives \"Y and X\").\n"
    "kelo str escape --chars CHARS TEXT\n"
    "    Replace the characters ! { } and those of CHARS in TEXT by escapes !{hex}\n"
    "    (a run of them by the escape of its first one; at the ends they vanish).\n"
    "kelo str unescape TEXT\n"
    "    Turn the escapes !{hex} of TEXT back into characters.\n"
    "kelo str split-list --sep SEP LIST\n"
    "    Print the items of LIST, separated by the text SEP, one per line.\n"
    "    TEXT and LIST may be \"-\" to read standard input (without its final line break).\n"
    "    escape and unescape print nothing and exit with status 1 when their\n"
    "    result would not be valid UTF-8: escape works byte by byte, so a\n"
    "    multi-byte character of CHARS can split one of TEXT, and unescape\n"
    "    cannot make a character of a surrogate (d800..dfff) or of a code point\n"
    "    above 10ffff.\n";

namespace {

using Owned = std::unique_ptr<str_t, decltype(&str_uninit)>;

Owned owned(str_t* s) {
    if (s == nullptr) fail("out of memory");
    return Owned(s, str_uninit);
}

// A string of UTF-8 text given on the command line ("-": standard input).
Owned text_argument(const std::string& argument, const std::string& what) {
    std::string text = argument;
    if (argument == "-") {
        text = read_input("-");
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
    }
    require_utf8(text, what);
    if (text.find('\0') != std::string::npos) fail(what + " holds a NUL character");
    return owned(str_from(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8));
}

// The text of a string; empty for a null string.
std::string_view text_of(const str_t* s) { return s->buffer != nullptr ? s->buffer : ""; }

void print_line(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

// Prints a result of escape or unescape, which work byte by byte and code by
// code and so can make text that is not UTF-8; such a result is refused,
// saying how it came about.
void print_utf8_line(const str_t* s, const char* cause) {
    const size_t offset = utf8_error_offset(text_of(s));
    if (offset != std::string_view::npos)
        fail("the result would not be valid UTF-8 at byte offset " + std::to_string(offset) + ": " + cause);
    print_line(text_of(s));
}

// Whether a placeholder %1..%9 is left; a '%' takes the character after it,
// so "%%1" holds none.
bool has_placeholder(const str_t* pattern) {
    const std::string_view text = text_of(pattern);
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') continue;
        const char next = text[++i];
        if (next >= '1' && next <= '9') return true;
    }
    return false;
}

int run_arg(Arguments args) {
    args = read_operands(args, 1, SIZE_MAX, "kelo str arg PATTERN ARG...");
    Owned result = text_argument(args[0], "PATTERN");
    for (size_t i = 1; i < args.size(); ++i) {
        Owned argument = text_argument(args[i], "argument " + std::to_string(i));
        if (!has_placeholder(result.get()))
            fail("PATTERN has no placeholder left for argument " + std::to_string(i));
        result = owned(str_arg_str(result.get(), argument.get(), 0, 0));
    }
    print_line(text_of(result.get()));
    return 0;
}

int run_escape(Arguments args) {
    const CommandLine line = read_command_line(args, {{"chars", 0, true}});
    const auto chars = line.value("chars");
    if (!chars) usage_error("usage: kelo str escape --chars CHARS TEXT");
    expect_operands(line, 1, 1, "kelo str escape --chars CHARS TEXT");
    Owned characters = text_argument(*chars, "CHARS");
    Owned text = text_argument(line.operands[0], "TEXT");
    str_collapse(text.get(), characters.get());
    print_utf8_line(text.get(), "a byte of CHARS splits a multi-byte character of TEXT");
    return 0;
}

int run_unescape(Arguments args) {
    Owned text = text_argument(read_operands(args, 1, 1, "kelo str unescape TEXT")[0], "TEXT");
    str_expand(text.get());
    print_utf8_line(text.get(), "an escape names a surrogate or a code point above 10ffff");
    return 0;
}

int run_split_list(Arguments args) {
    const CommandLine line = read_command_line(args, {{"sep", 0, true}});
    const auto sep = line.value("sep");
    if (!sep || sep->empty()) usage_error("usage: kelo str split-list --sep SEP LIST (SEP not empty)");
    expect_operands(line, 1, 1, "kelo str split-list --sep SEP LIST");
    Owned separator = text_argument(*sep, "SEP");
    Owned list = text_argument(line.operands[0], "LIST");
    // The items that str_shift_str would take off the front one by one, found
    // in one pass (each shift moves the rest of the list): the text before
    // each separator, then the rest after the last one, even when empty.
    if (str_null(list.get())) return 0;
    const std::string_view text = text_of(list.get());
    const std::string_view sep_text = text_of(separator.get());
    for (size_t start = 0;;) {
        const size_t found = text.find(sep_text, start);
        print_line(text.substr(start, found - start));
        if (found == std::string_view::npos) return 0;
        start = found + sep_text.size();
    }
}

} // namespace

const Operation str_operations[] = {
    {"arg", run_arg}, {"escape", run_escape}, {"unescape", run_unescape}, {"split-list", run_split_list}};

int run_str(Arguments args) {
    return run_operation("str", str_operations, std::size(str_operations), std::move(args));
}

} // namespace kelo
