// SPDX-License-Identifier: MIT
// kelo convert: text from one encoding to another through str_set / str_get.
//
// The library stops at a character U+0000 and passes some malformed input
// through (stray UTF-8 bytes, code points beyond Unicode in UTF-32), so the
// input is checked here first: a conversion either keeps every character or
// is refused with a message.
#include "commands.hpp"
#include "utf8_check.hpp"

#include <keloutil/keloutil.h>

#include "platform.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

namespace kelo {

const char* const convert_usage =
    "kelo convert --from ENC --to ENC [--lossy] [INPUT [OUTPUT]]\n"
    "    (-f ENC and -t ENC for short.) Convert text between encodings, a block at a time: any size, in\n"
    "    constant memory. INPUT and OUTPUT default to standard input and output\n"
    "    (\"-\" names them too). An OUTPUT that does not exist yet or is a\n"
    "    regular file is written in full or not at all, and kept on disk before\n"
    "    kelo ends: into a new file beside it, with its owner and permissions,\n"
    "    that then takes its place (a symbolic link's final target is replaced,\n"
    "    and the link stays a link; a file with further hard links, or in a\n"
    "    folder you cannot write, is written in place behind a copy of its old\n"
    "    content). A device or a FIFO is written.\n"
    "    ENC, in any case, '-' and '_' optional: ascii (or us-ascii), utf-8,\n"
    "    utf-16 (host order with a byte-order mark; a mark on input selects the\n"
    "    byte order), utf-16be, utf-16le, utf-32 (host order).\n"
    "    Input that is not valid in ENC, and a character that the target cannot\n"
    "    hold (anything but ASCII in ascii), are refused with the byte offset;\n"
    "    with --lossy such a character is written as '?'.\n";

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

// The name folded for matching: lower case, without '-' and '_'.
std::string folded(const std::string& name) {
    std::string text;
    for (const char c : name)
        if (c != '-' && c != '_') text += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
}

// Only spellings of exactly what the library writes: "ucs-2" is not UTF-16,
// nor "utf-32le" the host-order UTF-32 of every host.
const Encoding& encoding_named(const std::string& name) {
    const std::string wanted = folded(name) == "usascii" ? "ascii" : folded(name);
    for (const Encoding& encoding : encodings)
        if (wanted == folded(encoding.name)) return encoding;
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
    std::memcpy(&value, p, static_cast<size_t>(unit)); // host order
    return value;
}

void fail_on_nul(size_t offset) {
    fail("input holds a NUL character " + offset_text(offset) + "; text cannot contain NUL");
}

void fail_on_non_ascii(size_t offset) {
    fail("ascii cannot hold the character " + offset_text(offset) + " (--lossy writes '?')");
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

bool starts_with_mark(const char* bytes, size_t size) {
    return size >= 2 && ((bytes[0] == '\xFE' && bytes[1] == '\xFF') || (bytes[0] == '\xFF' && bytes[1] == '\xFE'));
}

// The input's size per block; a test may lower it (KELO_CONVERT_BLOCK_BYTES)
// to put characters across block boundaries.
size_t block_size() {
    const auto value = environment_variable("KELO_CONVERT_BLOCK_BYTES");
    const unsigned long long bytes = value ? std::strtoull(value->c_str(), nullptr, 10) : 0;
    return bytes >= 16 ? static_cast<size_t>(bytes) : size_t{1} << 20;
}

// Converts the input a block at a time. Each block ends at a character
// boundary: the bytes of a character that the block cuts (and a unit's
// first bytes) are carried into the next one, so every check and every
// conversion sees whole characters and byte offsets count from the input's
// start.
class Converter {
public:
    Converter(std::FILE* input, const Encoding& from, const Encoding& to, bool lossy)
        : input_(input), from_(from), to_(to), lossy_(lossy), block_(block_size()) {}

    // The writer for write_output_with: converts everything into `output`.
    // A refusal is kept for the caller and ends the write.
    static bool write(std::FILE* output, void* self) {
        auto& converter = *static_cast<Converter*>(self);
        try {
            return converter.run(output);
        } catch (const Failure& failure) {
            converter.failure = failure;
            return false;
        }
    }

    std::optional<Failure> failure;

private:
    bool run(std::FILE* output) {
        // A file written in place after all is written a second time.
        if (started_ && std::fseek(input_, 0, SEEK_SET) != 0) fail("cannot read the input a second time");
        started_ = true;
        offset_ = 0;
        from_id_ = from_.id;
        to_id_ = to_.id;
        std::string pending;
        std::vector<char> chunk(block_);
        for (bool first = true;; first = false) {
            const size_t got = std::fread(chunk.data(), 1, chunk.size(), input_);
            if (std::ferror(input_)) fail("cannot read the input: " + std::string(std::strerror(errno)));
            pending.append(chunk.data(), got);
            const bool last = got < chunk.size();
            if (first && from_.id == STR_ENC_UTF16 && starts_with_mark(pending.data(), pending.size())) {
                // The mark selects the byte order of the rest and is no character.
                from_id_ = pending[0] == '\xFE' ? STR_ENC_UTF16BE : STR_ENC_UTF16LE;
                pending.erase(0, 2);
                offset_ = 2;
            }
            const size_t whole = last ? pending.size() : whole_characters(pending);
            if (!convert(std::string_view(pending).substr(0, whole), output, first)) return false;
            offset_ += whole;
            pending.erase(0, whole);
            if (last) return true;
        }
    }

    // How many bytes of `bytes` hold whole characters (and whole units).
    size_t whole_characters(const std::string& bytes) const {
        const auto unit = static_cast<size_t>(from_.unit);
        size_t end = bytes.size() - bytes.size() % unit;
        if (from_.id == STR_ENC_UTF8) {
            // Back to the last lead byte; cut before it when its sequence is
            // not all there (a malformed one is left for the check).
            size_t lead = end;
            while (lead > 0 && end - lead < 4 && (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80) --lead;
            if (lead > 0) {
                const auto b = static_cast<unsigned char>(bytes[lead - 1]);
                const size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
                if (end - (lead - 1) < length) end = lead - 1;
            }
        } else if (unit == 2 && end >= 2) {
            // A high surrogate waits for its partner.
            const auto* p = reinterpret_cast<const unsigned char*>(bytes.data()) + end - 2;
            const unsigned value = from_id_ == STR_ENC_UTF16BE ? p[0] << 8 | p[1] : p[1] << 8 | p[0];
            if (value >= 0xD800 && value < 0xDC00) end -= 2;
        }
        return end;
    }

    // Refuses input that the library would shorten or pass on unchecked,
    // and characters that the target cannot hold.
    void check(std::string_view data) const {
        const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
        const size_t unit = static_cast<size_t>(from_.unit);
        if (data.size() % unit != 0)
            fail("input is not valid " + std::string(from_.name) + ": its length (" +
                 std::to_string(offset_ + data.size()) + " bytes) is not a multiple of " + std::to_string(unit));
        if (from_.id == STR_ENC_UTF8) {
            // Whichever comes first, the first NUL or the first ill-formed
            // sequence, is refused.
            const size_t nul = data.find('\0');
            const size_t error = utf8_error_offset(data.substr(0, nul));
            if (error != std::string_view::npos) fail("input is not valid utf-8 " + offset_text(offset_ + error));
            if (nul != std::string_view::npos) fail_on_nul(offset_ + nul);
        }
        const bool strict_ascii = to_.id == STR_ENC_ASCII && !lossy_;
        if (from_.id == STR_ENC_UTF8) { // checked above but for what ASCII cannot hold
            const auto wide = std::find_if(data.begin(), data.end(), [](char c) { return (c & 0x80) != 0; });
            if (strict_ascii && wide != data.end()) fail_on_non_ascii(offset_ + (wide - data.begin()));
            return;
        }
        for (size_t i = 0; i < data.size(); i += unit) {
            const uint32_t value = unit == 1 ? bytes[i]
                                   : from_id_ == STR_ENC_UTF16BE ? uint32_t{bytes[i]} << 8 | bytes[i + 1]
                                                                 : read_unit(bytes + i, from_.unit);
            if (value == 0) fail_on_nul(offset_ + i);
            if (from_.id == STR_ENC_ASCII && value >= 0x80)
                fail("input is not ascii: byte " + hex(value) + " " + offset_text(offset_ + i));
            if (from_.id == STR_ENC_UTF32 && !is_unicode_scalar(value))
                fail("input is not valid utf-32: " + hex(value) + " " + offset_text(offset_ + i) +
                     " is not a Unicode character");
            if (strict_ascii && value >= 0x80) fail_on_non_ascii(offset_ + i);
        }
    }

    bool convert(std::string_view data, std::FILE* output, bool first) {
        check(data);
        // Only the first block of marked UTF-16 output carries the mark;
        // the rest follow in the order it gives.
        if (!first && to_id_ == STR_ENC_UTF16) to_id_ = mark_order_;
        if (data.empty() && !(first && to_id_ == STR_ENC_UTF16)) return true;
        std::unique_ptr<str_t, decltype(&str_uninit)> text(str_init(), str_uninit);
        if (!text) fail("out of memory");
        str_set(text.get(), data.data(), static_cast<int32_t>(data.size()), from_id_);
        if (str_null(text.get())) fail("cannot decode the input as " + std::string(from_.name) + ": " + library_reason());
        std::unique_ptr<void, decltype(&memory_free)> block(str_alloc(text.get(), to_id_), memory_free);
        if (!block) fail("cannot encode the text as " + std::string(to_.name) + ": " + library_reason());
        const size_t size = encoded_size(block.get(), to_id_);
        const auto* bytes = static_cast<const char*>(block.get());
        if (first && to_id_ == STR_ENC_UTF16) mark_order_ = bytes[0] == '\xFE' ? STR_ENC_UTF16BE : STR_ENC_UTF16LE;
        return std::fwrite(bytes, 1, size, output) == size;
    }

    std::FILE* input_;
    const Encoding& from_;
    const Encoding& to_;
    bool lossy_;
    size_t block_;
    bool started_ = false;
    size_t offset_ = 0;       // bytes of the input before the current block
    int32_t from_id_ = 0;     // the encoding read, with marked UTF-16 resolved
    int32_t to_id_ = 0;       // the encoding written
    int32_t mark_order_ = STR_ENC_UTF16LE;
};

} // namespace

int run_convert(Arguments args) {
    const CommandLine line = read_command_line(args, {{"from", 'f', true}, {"to", 't', true}, {"lossy", 0, false}});
    const auto from_name = line.value("from"), to_name = line.value("to");
    if (!from_name || !to_name) usage_error("needs --from ENC and --to ENC");
    expect_operands(line, 0, 2, "kelo convert --from ENC --to ENC [--lossy] [INPUT [OUTPUT]]");
    args = line.operands;
    const bool lossy_wanted = line.has("lossy");
    const Encoding& from = encoding_named(*from_name);
    const Encoding& to = encoding_named(*to_name);
    const std::string input = args.size() > 0 ? args[0] : "-";
    const std::string output = args.size() > 1 ? args[1] : "-";

    std::FILE* stream = open_input(input);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> closed(stream == stdin ? nullptr : stream, &std::fclose);
    Converter converter(stream, from, to, lossy_wanted);
    try {
        write_output_with(output, &Converter::write, &converter);
    } catch (const Failure&) {
        if (converter.failure) throw *converter.failure; // the reason, not the write it ended
        throw;
    }
    return 0;
}

} // namespace kelo
