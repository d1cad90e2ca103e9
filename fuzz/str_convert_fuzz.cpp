// SPDX-License-Identifier: MIT
// Feeds arbitrary bytes through str_from in one encoding and reads them out
// in another. Besides memory errors (under the sanitizers) it checks the
// promises callers rely on: the measure that str_get reports is exactly
// the room it needs, a destination is never written past its size (and not
// at all when str_get refuses it), str_alloc gives the same bytes, text
// decoded from another encoding comes back unchanged through UTF-32 and
// UTF-16, and nothing leaks. Then the same bytes go to every target and into
// records with the direct conversion loops on and off, and everything a
// caller can see must agree, at every level of vector instructions that
// the processor has (built against the static library variant, which has
// the switches). Given a length that runs past the terminator (the
// high part of the first byte), the text up to its terminator comes in a
// block of exactly that size, so that any read behind it is caught.
#include "fuzz_support.hpp"

#include "conversion_observer.hpp"
#include "str_convert_dispatch.h"

#include <algorithm>
#include <vector>

namespace {

constexpr uint8_t canary = 0xA5;

std::string text_of(const str_t* s) { return str_null(s) ? std::string() : std::string(s->buffer, str_len(s)); }

// True when no byte from `from` on was written.
bool untouched(const std::vector<uint8_t>& out, size_t from) {
    for (size_t i = from; i < out.size(); ++i)
        if (out[i] != canary) return false;
    return true;
}

// Bytes of a converted text up to and including its terminator (the
// measure may leave room after it).
size_t terminated_length(const uint8_t* bytes, size_t size, int32_t encoding) {
    const size_t unit = encoding == STR_ENC_UTF32 ? 4 : (encoding >= STR_ENC_UTF16 ? 2 : 1);
    for (size_t i = 0; i + unit <= size; i += unit)
        if (std::all_of(bytes + i, bytes + i + unit, [](uint8_t b) { return b == 0; })) return i + unit;
    return size;
}

// Reading out through str_get, str_alloc and str_encode.
void read_out(const str_t* s, int32_t to, uint32_t room_choice) {
    // Room for any text: 4 bytes per byte of the buffer, a mark and two
    // terminators.
    const size_t bound = 4 * static_cast<size_t>(s->capacity) + 16;
    std::vector<uint8_t> out(bound + 8, canary);
    const int32_t measure = str_get(s, out.data(), static_cast<int32_t>(bound), to);
    if (measure <= 0) return; // cannot be converted
    const auto size = static_cast<size_t>(measure);
    FUZZ_CHECK(untouched(out, size));
    const std::vector<uint8_t> text(out.begin(), out.begin() + terminated_length(out.data(), size, to));

    // The measure is exactly enough; one byte less writes nothing.
    std::fill(out.begin(), out.end(), canary);
    FUZZ_CHECK(str_get(s, out.data(), measure, to) == measure && untouched(out, size));
    FUZZ_CHECK(std::equal(text.begin(), text.end(), out.begin()));
    std::fill(out.begin(), out.end(), canary);
    FUZZ_CHECK(str_get(s, out.data(), measure - 1, to) == 0 && untouched(out, 0));

    // The same bytes in a block of their own (the sanitizer checks its size),
    // zeros after them.
    void* block = str_alloc(s, to);
    FUZZ_CHECK(block != nullptr && std::memcmp(block, text.data(), text.size()) == 0);
    const auto* after = static_cast<const uint8_t*>(block) + text.size();
    FUZZ_CHECK(std::all_of(after, after + (size - text.size()), [](uint8_t b) { return b == 0; }));
    memory_free(block);

    // Any room: what does not fit fails, but nothing lands past the room.
    const int32_t room = static_cast<int32_t>(room_choice % (size + 4));
    std::fill(out.begin(), out.end(), canary);
    str_encode(s->buffer, s->capacity, STR_ENC_UTF8, out.data(), room, to);
    FUZZ_CHECK(untouched(out, static_cast<size_t>(room)));
}

// Text that a decoder wrote comes back unchanged from UTF-32, and from
// UTF-16 when every character has a UTF-16 form.
void round_trip(const str_t* s) {
    auto* units = static_cast<uint32_t*>(str_alloc(s, STR_ENC_UTF32));
    FUZZ_CHECK(units != nullptr);
    const int32_t count = str_utf32_len(units);
    fuzz::Str back(str_from(units, 4 * count, STR_ENC_UTF32));
    FUZZ_CHECK(text_of(back.get()) == text_of(s));
    bool utf16_form = true;
    for (int32_t i = 0; i < count; ++i)
        utf16_form = utf16_form && units[i] <= 0x10FFFF && (units[i] < 0xD800 || units[i] > 0xDFFF);
    memory_free(units);
    if (!utf16_form) return;

    for (int32_t encoding : {STR_ENC_UTF16, STR_ENC_UTF16BE, STR_ENC_UTF16LE}) {
        void* utf16 = str_alloc(s, encoding);
        FUZZ_CHECK(utf16 != nullptr);
        const int32_t bytes = encoding == STR_ENC_UTF16     ? str_utf16_len(utf16)
                              : encoding == STR_ENC_UTF16BE ? str_utf16be_len(utf16)
                                                            : str_utf16le_len(utf16);
        fuzz::Str again(str_from(utf16, bytes, encoding));
        FUZZ_CHECK(text_of(again.get()) == text_of(s));
        memory_free(utf16);
    }
}

// The bytes as a text ended by its terminator, with nothing after it that
// any decoder of `from` reads: cut at its first zero unit (after a mark),
// less a last unit or UTF-8 sequence that the cut leaves incomplete. The
// number of bytes of a leading byte-order mark goes into *mark.
std::string terminated(std::string bytes, int32_t from, size_t* mark) {
    const size_t unit = static_cast<size_t>(observer::terminator_size(from));
    *mark = from == STR_ENC_UTF16 && (bytes.rfind("\xFE\xFF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0) ? 2 : 0;
    const std::string zero(unit, '\0');
    size_t end = *mark;
    while (end + unit <= bytes.size() && bytes.compare(end, unit, zero) != 0) end += unit;
    bytes.resize(end);
    const auto* text = reinterpret_cast<const unsigned char*>(bytes.data());
    while (from == STR_ENC_UTF8 && !keloutil::utf8_tail_complete(text, static_cast<int32_t>(bytes.size())))
        bytes.pop_back();
    return bytes + zero;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::LeakCheck leaks;
    fuzz::Input in(data, size);
    const uint8_t encodings = in.byte();
    const int32_t from = encodings % 6;
    const int32_t to = (encodings / 6) % 6;
    const int32_t past_terminator = encodings / 36 * 9; // 0, or 9 to 63 bytes
    const auto room_choice = in.raw<uint32_t>();
    // A copy of exactly the input, so that any read past it is caught; the
    // extra bytes cover a marked UTF-16 source, whose mark is not counted.
    const std::string rest = in.rest();
    std::vector<uint8_t> source(rest.begin(), rest.end());
    const auto length = static_cast<int32_t>(source.size());
    source.resize(source.size() + 2);

    fuzz::Str s(str_from(source.data(), length, from));
    fuzz::check_new_record(s.get());
    read_out(s.get(), to, room_choice);
    if (from != STR_ENC_UTF8 && !str_null(s.get())) round_trip(s.get());
    const size_t shift = room_choice % 16;
    // At every level of vector instructions that the processor has.
    const keloutil::SimdLevel chosen = keloutil::simd_level();
    for (int level = 0; level <= static_cast<int>(keloutil::simd_level_available()); ++level) {
        keloutil::set_simd_level(static_cast<keloutil::SimdLevel>(level));
        std::string difference;
        if (past_terminator == 0) {
            difference = observer::direct_against_reference(rest, from, shift);
        } else {
            size_t mark = 0;
            const std::string text = terminated(rest, from, &mark);
            const observer::Block block(text, text.size(), shift);
            const auto length = static_cast<int32_t>(text.size() - mark) + past_terminator;
            difference = observer::direct_against_reference({block.data(), length, from, true}, shift);
        }
        if (!difference.empty()) {
            std::fprintf(stderr, "the direct loops differ at the %s level: %s\n",
                         keloutil::simd_level_name(static_cast<keloutil::SimdLevel>(level)), difference.c_str());
            std::abort();
        }
    }
    keloutil::set_simd_level(chosen);
    return 0;
}
