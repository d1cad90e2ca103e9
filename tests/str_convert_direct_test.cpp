// SPDX-License-Identifier: MIT
// The direct conversion loops held to the per-character path: every source
// goes through every pair of encodings with the loops on and off, at every
// level of vector instructions the processor has, and everything a caller
// can see must agree (conversion_observer.hpp). The sources are the places
// where direct loops go wrong: code points at the edges of each form,
// malformed and cut sequences, odd lengths, zero units, byte-order marks,
// and runs of every length (ASCII, or characters of one to three or one to
// four bytes mixed) around one other character (where many-bytes-at-a-time
// scans turn over); the fuzz target mixes them at random. Built against the
// static library variant, which exposes the switch.
#include "test_support.hpp"

#include "conversion_observer.hpp"
#include "guarded_page.hpp"
#include "str_convert_dispatch.h"

#include <functional>

using namespace std::string_literals;

namespace {

// A piece of text: a code point written in the source's encoding, or bytes
// put in as they are whatever the encoding.
struct Piece {
    bool is_raw;
    uint32_t code_point;
    std::string bytes;
};
using Text = std::vector<Piece>;

Piece cp(uint32_t c) { return {false, c, ""}; }
Piece raw(std::string bytes) { return {true, 0, std::move(bytes)}; }

// Characters 0x20..0x7F, varied by the seed; with `widths` 3 or 4, one
// to that many bytes long in UTF-8 in turn (four bytes are a surrogate
// pair in UTF-16); with `widths` 1, all `width` bytes long.
Text& add_run(Text& text, size_t length, size_t seed, size_t widths = 1, size_t width = 1) {
    static const uint32_t bases[4] = {0x20, 0xC0, 0x4E00, 0x1F600};
    for (size_t i = 0; i < length; ++i) {
        const size_t step = seed + 7 * i;
        text.push_back(cp(static_cast<uint32_t>(bases[width - 1 + step % widths] + step % 0x60)));
    }
    return text;
}

// UTF-8 in its long form: sequences of up to six bytes, with no check for
// surrogates or the end of Unicode.
std::string utf8_of(uint32_t c) {
    if (c < 0x80) return std::string(1, static_cast<char>(c));
    if (c > 0x7FFFFFFF) return "\xFE\xBF"s;
    int length = 2;
    while (length < 6 && c >= (1u << (5 * length + 1))) ++length;
    std::string out(static_cast<size_t>(length), '\0');
    for (int i = length - 1; i > 0; --i, c >>= 6) out[static_cast<size_t>(i)] = static_cast<char>(0x80 | (c & 0x3F));
    out[0] = static_cast<char>((0xFF00 >> length) | c);
    return out;
}

std::string unit16(uint32_t unit, bool big_endian) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit);
    return big_endian ? std::string{high, low} : std::string{low, high};
}

// Surrogates stay lone units; beyond U+10FFFF the pair formula runs on
// regardless (giving a wrong pair, which is adversarial too).
std::string utf16_of(uint32_t c, bool big_endian) {
    if (c <= 0xFFFF) return unit16(c, big_endian);
    return unit16((((c - 0x10000) >> 10) + 0xD800) & 0xFFFF, big_endian) +
           unit16(((c - 0x10000) & 0x3FF) + 0xDC00, big_endian);
}

// The text in one encoding; `mark` 1 or 2 starts marked UTF-16 with FE FF
// (big-endian after it) or FF FE (little-endian).
std::string encode(const Text& text, int32_t encoding, int mark = 0) {
    const bool big = encoding == STR_ENC_UTF16BE ||
                     (encoding == STR_ENC_UTF16 && (mark == 1 || (mark == 0 && !little_endian_host())));
    std::string out = mark == 1 ? "\xFE\xFF"s : mark == 2 ? "\xFF\xFE"s : ""s;
    for (const Piece& p : text) {
        if (p.is_raw) {
            out += p.bytes;
        } else if (encoding == STR_ENC_ASCII || encoding == STR_ENC_UTF8) {
            out += encoding == STR_ENC_ASCII && p.code_point < 0x100 ? std::string(1, static_cast<char>(p.code_point))
                                                                      : utf8_of(p.code_point);
        } else if (encoding == STR_ENC_UTF32) {
            out.append(reinterpret_cast<const char*>(&p.code_point), 4);
        } else {
            out += utf16_of(p.code_point, big);
        }
    }
    return out;
}

struct Source {
    std::string bytes;
    int32_t from;
};

// Adds the text in every encoding, with `marks` marked UTF-16 with each mark
// too, and with `cut` each of those less its last 1, 2 and 3 bytes.
void add_everywhere(std::vector<Source>& sources, const Text& text, bool cut, bool marks = true) {
    for (int32_t from = STR_ENC_ASCII; from <= STR_ENC_UTF32; ++from) {
        for (int mark = 0; mark <= (from == STR_ENC_UTF16 && marks ? 2 : 0); ++mark) {
            const std::string bytes = encode(text, from, mark);
            for (size_t less = 0; less <= (cut ? 3u : 0u) && less <= bytes.size(); ++less)
                sources.push_back({bytes.substr(0, bytes.size() - less), from});
        }
    }
}

const uint32_t edges[] = {0,        0x7F,     0x80,      0x7FF,      0x800,     0xD7FF,    0xD800,
                          0xDBFF,   0xDC00,   0xDFFF,    0xE000,     0xFEFF,    0xFFFE,    0xFFFF,
                          0x10000,  0x10FFFF, 0x110000,  0x1FFFFF,   0x200000,  0x3FFFFFF, 0x4000000,
                          0x7FFFFFFF, 0x80000000, 0xFFFFFFFF};

// Malformed UTF-8, marks and zero bytes, put into every encoding as they are.
const std::string odd_bytes[] = {
    "\xED\xA0\x80"s, "\xED\xBF\xBF"s, "\xED\xA0\xBD\xED\xB8\x80"s, // surrogates, alone and as a pair
    "\xC0\x80"s, "\xC1\xBF"s, "\xE0\x80\x80"s, "\xE0\x9F\xBF"s, "\xF0\x80\x80\x80"s, // over-long
    "\xF4\x90\x80\x80"s, "\xF7\xBF\xBF\xBF"s,                                       // beyond U+10FFFF
    "\xF8\x88\x80\x80\x80"s, "\xFB\xBF\xBF\xBF\xBF"s, "\xFC\x84\x80\x80\x80\x80"s, "\xFD\xBF\xBF\xBF\xBF\xBF"s,
    "\xF8"s, "\xFC"s, "\xFE"s, "\xFF"s, "\xFE\xFF"s, "\xFF\xFE"s, "\x80"s, "\xBF"s, "\x80\x80\x80"s, // leads, strays
    "\xC3\x41"s, "\xC3"s, "\xE2\x82"s, "\xF0\x9F\x98"s, "\xE2\x41\x42"s, "\xF0\x9F\x41\x42"s,   // cut short
    "\xC3\x00\x41"s, "\xE2\x00\x80\x80"s, "\0"s, "\0\0"s, "\0\0\0\0"s,                  // zero bytes
};

std::vector<Source> edge_sources() {
    std::vector<Source> sources;
    for (uint32_t c : edges) {
        add_everywhere(sources, {cp(c)}, true);
        add_everywhere(sources, {cp('a'), cp(c), cp('b')}, true);
    }
    for (const std::string& bytes : odd_bytes) {
        add_everywhere(sources, {raw(bytes)}, true);
        add_everywhere(sources, {cp('a'), raw(bytes), cp('b'), cp(0x20AC)}, true);
    }
    return sources;
}

// Characters that stop a run of ASCII: every form's widths, and malformed ones.
const Piece stoppers[] = {cp(0xE9),     cp(0x20AC),  cp(0x1F600), cp(0x80),    cp(0x7FF),
                          cp(0xFFFF),   cp(0x10000), cp(0xD800),  cp(0xDFFF),  cp(0),
                          cp(0x110000), raw("\xED\xA0\x80"), raw("\xC3\x41"), raw("\xF8\x88\x80\x80\x80"),
                          raw("\x80"), raw("\xE2\x82"), raw("\xC0\x80"), raw("\xE0\x80\x80"),
                          raw("\xF0\x80\x80\x80"), raw("\xE0\x9F\xBF")};

// Runs of every length up to 64, of ASCII, of one- to three-byte and of
// one- to four-byte characters mixed, with one other character at every
// place, in every encoding; and a few longer runs.
std::vector<Source> run_sources() {
    std::vector<Source> sources;
    size_t n = 0;
    for (size_t mixed : {1, 3, 4}) {
        for (size_t length = 0; length <= 64; ++length) {
            Text plain;
            add_everywhere(sources, add_run(plain, length, length, mixed), false, false);
            for (size_t at = 0; at <= length; ++at, ++n) {
                Text text;
                add_run(text, at, n, mixed).push_back(stoppers[n % (sizeof stoppers / sizeof stoppers[0])]);
                add_everywhere(sources, add_run(text, length - at, n + 3, mixed), false, false);
            }
        }
    }
    for (size_t length : {127u, 200u, 1000u}) {
        Text text;
        add_run(text, length - 1, length).push_back(cp(0x1F600));
        add_everywhere(sources, add_run(text, 1, 0), true);
    }
    return sources;
}

// UTF-8 with every byte from 0x80 up followed by a byte of each class that
// the strict form tells apart (ASCII, the edges of the continuation bytes
// that over-long forms, surrogates and values beyond U+10FFFF take, leads),
// then two continuation bytes, at every place around the turn of a block.
std::vector<Source> byte_pair_sources() {
    const unsigned char followers[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC2, 0xE1, 0xF1};
    std::vector<Source> sources;
    for (size_t at : {1u, 14u, 15u, 16u, 29u, 31u, 33u}) {
        for (unsigned first = 0x80; first <= 0xFF; ++first) {
            for (unsigned char second : followers) {
                std::string bytes(at, 'a');
                bytes += {static_cast<char>(first), static_cast<char>(second), '\x80', '\x80'};
                sources.push_back({bytes + std::string(40, 'b'), STR_ENC_UTF8});
            }
        }
    }
    return sources;
}

// Every source against the per-character path (by default as bytes given
// with their own length), each from a block starting n % 16 bytes into its
// allocation (n counting the sources); stops after 10 sources that differ.
using Compare = std::function<std::string(const Source&, size_t shift)>;
void expect_same_results(const std::vector<Source>& sources, const Compare& compare = [](const Source& s, size_t shift) {
    return observer::direct_against_reference(s.bytes, s.from, shift);
}) {
    int failures = 0;
    for (size_t n = 0; n < sources.size() && failures < 10; ++n) {
        const std::string difference = compare(sources[n], n % 16);
        EXPECT_TRUE(difference.empty()) << difference;
        failures += !difference.empty();
    }
}

// Texts whose terminator falls at every place in a block: runs of each
// width, and of all of them mixed, in every encoding, each ended by its
// terminator.
std::vector<Source> terminated_sources() {
    std::vector<Source> sources;
    for (size_t n = 0; n <= 70; ++n) {
        for (size_t width = 0; width <= 4; ++width) { // 0: mixed
            Text text;
            add_run(text, n, n, width == 0 ? 4 : 1, std::max<size_t>(width, 1)).push_back(cp(0));
            add_everywhere(sources, text, false);
        }
    }
    return sources;
}

// What TStr's constructors make of a source, with a count in code units
// where they take one.
std::string made_by_tstr(const unsigned char* data, int32_t length, int32_t from, bool direct) {
    keloutil::set_direct_conversions(direct);
    std::string texts = shown(TStr(data, length, from));
    const bool aligned = reinterpret_cast<uintptr_t>(data) % observer::terminator_size(from) == 0;
    if (from == STR_ENC_UTF16 && aligned) texts += "|" + shown(TStr(reinterpret_cast<const uint16_t*>(data), length / 2));
    if (from == STR_ENC_UTF32 && aligned) texts += "|" + shown(TStr(reinterpret_cast<const uint32_t*>(data), length / 4));
    keloutil::set_direct_conversions(true);
    return texts;
}

// Every level of vector instructions that the processor has, each put in
// effect in turn (str_convert_dispatch.h).
class DirectConversions : public LeakCheckedParamTest<int> {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        ASSERT_EQ(keloutil::set_simd_level(level_), level_);
    }
    void TearDown() override {
        keloutil::set_simd_level(before_);
        LeakCheckedTest::TearDown();
    }
    const keloutil::SimdLevel before_ = keloutil::simd_level(), level_ = static_cast<keloutil::SimdLevel>(GetParam());
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Levels, DirectConversions,
                         ::testing::Range(0, static_cast<int>(keloutil::simd_level_available()) + 1),
                         [](const auto& info) {
                             return std::string(keloutil::simd_level_name(static_cast<keloutil::SimdLevel>(info.param)));
                         });

TEST_P(DirectConversions, MatchAtEdgesAndOnMalformedInput) { expect_same_results(edge_sources()); }

TEST_P(DirectConversions, MatchAroundRuns) { expect_same_results(run_sources()); }

TEST_P(DirectConversions, MatchOnEveryBytePair) { expect_same_results(byte_pair_sources()); }

// A source may be given a length that runs past its terminator, and nothing
// behind the terminator may be read. Each source is given 64 bytes too many:
// once ending at the last readable byte before a page that cannot be read,
// once in a heap block of its exact size (for the address sanitizer, and at
// every alignment). Conversions into the source's own encoding copy the
// given length and are left out.
TEST_P(DirectConversions, ReadNothingPastTheTerminator) {
    GuardedPage page;
    ASSERT_TRUE(page.ok());
    expect_same_results(terminated_sources(), [&](const Source& s, size_t shift) {
        const auto length = static_cast<int32_t>(s.bytes.size() - (observer::marked(s.bytes, s.from) ? 2 : 0) + 64);
        const observer::Block heap(s.bytes, s.bytes.size(), shift);
        std::string difference;
        for (const unsigned char* data : {page.place(s.bytes), static_cast<const unsigned char*>(heap.data())}) {
            difference += observer::direct_against_reference({data, length, s.from, true}, shift);
            if (s.from == STR_ENC_UTF8) continue;
            if (made_by_tstr(data, length, s.from, true) != made_by_tstr(data, length, s.from, false))
                difference += "TStr differs from encoding " + std::to_string(s.from) + ", " + observer::hex(s.bytes);
        }
        return difference;
    });
}
