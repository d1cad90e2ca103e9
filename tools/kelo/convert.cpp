// kelo convert: text from one encoding to another through str_set / str_get.
//
// The library stops at a character U+0000 and passes some malformed input
// through (stray UTF-8 bytes, code points beyond Unicode in UTF-32), so the
// input is checked here first: a conversion either keeps every character or
// is refused with a message.
#include "commands.hpp"
#include "utf8_check.hpp"

#include <keloutil/keloutil.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>

namespace kelo {

const char* const convert_usage =
    "kelo convert --from ENC --to ENC [INPUT [OUTPUT]]\n"
    "    Convert text between encodings. INPUT and OUTPUT default to standard\n"
    "    input and output (\"-\" names them too). An OUTPUT that does not exist\n"
    "    yet or is a regular file is written in full or not at all, and kept\n"
    "    on disk before kelo ends: into a new file beside it, with its owner\n"
    "    and permissions, that then takes its place (a symbolic link's final\n"
    "    target is replaced, and the link stays a link; a file with further\n"
    "    hard links, or in a folder you cannot write, is written in place\n"
    "    behind a copy of its old content). A device or a FIFO is written.\n"
    "    ENC: ascii, utf-8, utf-16 (host order with a byte-order mark; a mark on\n"
    "    input selects the byte order), utf-16be, utf-16le, utf-32 (host order).\n"
    "    Characters that ASCII cannot hold are written as '?'.\n";

namespace {

struct Encoding {
    const char* name;
    int32_t id;
    int32_t unit; // bytes per code unit
};

const Encoding encodings[] = {
    {"ascii", STR_ENC_ASCII, 1},     {"utf-8", STR_ENC_UTF8, 1},       {"utf-16", STR_ENC_UTF16, 2},
    {"utf-16be", STR_ENC_UTF16BE, 2}, {"utf-16le", STR_ENC_UTF16LE, 2}, {"utf-32", STR_ENC_UTF32, 4},
};

std::string lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

const Encoding& encoding_named(const std::string& name) {
    for (const Encoding& encoding : encodings)
        if (lower(name) == encoding.name) return encoding;
    fail("unknown encoding '" + name + "' (known: ascii, utf-8, utf-16, utf-16be, utf-16le, utf-32)");
}

std::string offset_text(size_t offset) { return "at byte offset " + std::to_string(offset); }

std::string hex(uint32_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << std::uppercase << value;
    return out.str();
}

uint32_t read_unit(const unsigned char* p, int32_t unit) {
    uint32_t value = 0;
    std::memcpy(&value, p, static_cast<size_t>(unit)); // host order; only compared with 0 for UTF-16
    return value;
}

void fail_on_nul(size_t offset) {
    fail("input holds a NUL character " + offset_text(offset) + "; text cannot contain NUL");
}

// Refuses input that the library would shorten or pass on unchecked.
void check_input(const std::string& data, size_t start, const Encoding& from) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const size_t size = data.size();
    if ((size - start) % static_cast<size_t>(from.unit) != 0)
        fail("input is not valid " + std::string(from.name) + ": its length (" + std::to_string(size) +
             " bytes) is not a multiple of " + std::to_string(from.unit));
    if (from.id == STR_ENC_UTF8) {
        // Whichever comes first, the first NUL or the first ill-formed
        // sequence, is refused.
        const size_t nul = data.find('\0');
        const size_t error = utf8_error_offset(std::string_view(data).substr(0, nul));
        if (error != std::string_view::npos) fail("input is not valid utf-8 " + offset_text(error));
        if (nul != std::string::npos) fail_on_nul(nul);
        return;
    }
    for (size_t i = start; i < size; i += static_cast<size_t>(from.unit)) {
        if (read_unit(bytes + i, from.unit) == 0) fail_on_nul(i);
        if (from.id == STR_ENC_ASCII && bytes[i] >= 0x80)
            fail("input is not ascii: byte " + hex(bytes[i]) + " " + offset_text(i));
        if (from.id == STR_ENC_UTF32 && !is_unicode_scalar(read_unit(bytes + i, 4)))
            fail("input is not valid utf-32: " + hex(read_unit(bytes + i, 4)) + " " + offset_text(i) +
                 " is not a Unicode character");
    }
}

std::string library_reason() {
    const char* message = str_last_error_message();
    return message != nullptr ? message : "malformed input";
}

// Bytes of the converted text in `block`, without its terminator.
size_t encoded_size(const void* block, int32_t encoding) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    switch (encoding) {
    case STR_ENC_UTF16: {
        const bool marked = (bytes[0] == 0xFE && bytes[1] == 0xFF) || (bytes[0] == 0xFF && bytes[1] == 0xFE);
        return static_cast<size_t>(str_utf16_len(block)) + (marked ? 2 : 0);
    }
    case STR_ENC_UTF16BE:
    case STR_ENC_UTF16LE: return static_cast<size_t>(str_utf16le_len(block));
    case STR_ENC_UTF32: return 4 * static_cast<size_t>(str_utf32_len(block));
    default: return std::strlen(static_cast<const char*>(block));
    }
}

} // namespace

int run_convert(Arguments args) {
    const auto from_name = take_option(args, "from");
    const auto to_name = take_option(args, "to");
    if (!from_name || !to_name) fail("convert needs --from ENC and --to ENC");
    for (const std::string& arg : args)
        if (arg.size() > 1 && arg[0] == '-') fail("convert: unknown option '" + arg + "'");
    if (args.size() > 2) fail("convert takes at most an INPUT and an OUTPUT file");
    const Encoding& from = encoding_named(*from_name);
    const Encoding& to = encoding_named(*to_name);
    const std::string input = args.size() > 0 ? args[0] : "-";
    const std::string output = args.size() > 1 ? args[1] : "-";

    const std::string data = read_input(input);
    if (data.size() > INT32_MAX / 2) fail("input is too large (" + std::to_string(data.size()) + " bytes)");

    // A byte-order mark of marked UTF-16 is not part of the length the
    // library is given.
    size_t mark = 0;
    if (from.id == STR_ENC_UTF16 && data.size() >= 2 &&
        ((data[0] == '\xFE' && data[1] == '\xFF') || (data[0] == '\xFF' && data[1] == '\xFE')))
        mark = 2;
    check_input(data, mark, from);

    std::unique_ptr<str_t, decltype(&str_uninit)> text(str_init(), str_uninit);
    if (!text) fail("out of memory");
    const auto length = static_cast<int32_t>(data.size() - mark);
    str_set(text.get(), data.data(), length, from.id);
    if (str_null(text.get()))
        fail("cannot decode the input as " + std::string(from.name) + ": " + library_reason());

    std::unique_ptr<void, decltype(&memory_free)> block(str_alloc(text.get(), to.id), memory_free);
    if (!block) fail("cannot encode the text as " + std::string(to.name) + ": " + library_reason());
    write_output(output, std::string_view(static_cast<const char*>(block.get()), encoded_size(block.get(), to.id)));
    return 0;
}

} // namespace kelo
