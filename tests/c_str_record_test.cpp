// SPDX-License-Identifier: MIT
// The str_t record: creation, assignment, buffers, lengths and read-out.
#include "test_support.hpp"

#include <vector>

using StrRecord = LeakCheckedTest;

// The text and the capacity, as "text/capacity".
static std::string state(const Str& s) { return shown(s) + "/" + std::to_string(s->capacity); }

// Both read out as a terminator alone: in UTF-16 too, no mark without a
// character (marked UTF-16 read in: tstr_test.cpp). No record reads as a
// null string.
TEST_F(StrRecord, NullEmptyAndNoRecord) {
    Str null_string = own(str_init());
    for (int32_t encoding = STR_ENC_ASCII; encoding <= STR_ENC_UTF32; ++encoding) {
        Str empty = own(str_from("", 0, encoding));
        EXPECT_TRUE(!str_null(empty.get()) && str_empty(empty.get()) && str_len(empty.get()) == 0) << encoding;
        EXPECT_EQ(empty->capacity, 1) << encoding;
        for (const str_t* s : {null_string.get(), empty.get()})
            EXPECT_EQ(allocated(s, encoding), std::string(unit_of(encoding), '\0')) << encoding;
    }
    EXPECT_TRUE(str_null(own(str_from_cstr(nullptr)).get()) && str_null(own(str_from_utf8(nullptr)).get()));
    Str copy = own(str_dup(null_string.get()));
    EXPECT_TRUE(!str_null(copy.get()) && str_empty(copy.get())) << "the copy of a null string is empty";
    EXPECT_EQ(str_clear(copy.get()), 1);
    EXPECT_EQ(state(copy), "<null>/0");

    EXPECT_TRUE(str_null(nullptr) && str_empty(nullptr) && str_len(nullptr) == 0 && str_utf8_char_count(nullptr) == 0);
    EXPECT_TRUE(str_dup(nullptr) == nullptr && str_buffer(nullptr, 5) == nullptr && str_clear(nullptr) == 1);
    EXPECT_TRUE(str_alloc(nullptr, STR_ENC_UTF8) == nullptr && str_wchar_alloc(nullptr) == nullptr);
    str_uninit(nullptr);
    char out[4] = "zzz";
    int32_t size = sizeof out;
    EXPECT_TRUE(str_cstr(nullptr, out, &size) == 0 && out[0] == '\0');
}

TEST_F(StrRecord, SetFromItsOwnBufferWhileGrowing) {
    Str s = make("abc");
    str_set(s.get(), s->buffer, 4, STR_ENC_ASCII); // 4 bytes (capacity 4) need a new 5-byte buffer
    EXPECT_EQ(state(s), "abc/5");
    str_ascii_set(s.get(), "abcdef", -1); // -1: up to the NUL
    EXPECT_EQ(shown(s), "abcdef");
    str_ascii_set(s.get(), "abcdef", 2);
    EXPECT_EQ(shown(s), "ab");
}

TEST_F(StrRecord, UnknownEncodingChangesNothing) {
    Str s = make("keep");
    char out[16];
    for (int32_t encoding : {-1, 6}) {
        EXPECT_EQ(str_set(s.get(), "x", 1, encoding), 1);
        EXPECT_EQ(shown(s), "keep");
        EXPECT_TRUE(str_get(s.get(), out, sizeof out, encoding) == 0 && str_alloc(s.get(), encoding) == nullptr);
        EXPECT_EQ(str_encoding_requires_bytes("x", 1, encoding, STR_ENC_UTF8), 0);
        EXPECT_EQ(str_encoding_requires_bytes("x", 1, STR_ENC_UTF8, encoding), 0);
    }
}

TEST_F(StrRecord, CpyGrowsTheDestinationPastTheSource) {
    Str source = make("hello"), destination = make("hi"), big = make("a much longer text"), unterminated = make("");
    EXPECT_EQ(str_cpy(source.get(), destination.get()), 5);
    EXPECT_EQ(state(destination), "hello/7"); // the source's capacity and one more
    EXPECT_EQ(str_cpy(source.get(), big.get()), 5);
    EXPECT_EQ(state(big), "hello/19") << "large enough: no growth";
    EXPECT_EQ(str_cpy(source.get(), source.get()), 5);
    EXPECT_EQ(shown(source), "hello");
    std::memcpy(str_buffer(unterminated.get(), 3), "abc", 3); // fills the buffer, no terminator
    EXPECT_EQ(str_cpy(unterminated.get(), big.get()), 3);
    EXPECT_EQ(shown(big), "abc");

    // A null string or no record as the source leaves a null string.
    EXPECT_TRUE(str_cpy(make(nullptr).get(), destination.get()) == 0 && str_null(destination.get()));
    EXPECT_TRUE(str_cpy(nullptr, big.get()) == 0 && str_null(big.get()));
    EXPECT_EQ(str_cpy(source.get(), nullptr), 0);
}

TEST_F(StrRecord, BufferGrowsToNPlusOneAndKeepsTheText) {
    Str s = make("ab"), null_string = make(nullptr);
    char* const buffer = str_buffer(s.get(), 3);
    EXPECT_TRUE(buffer == s->buffer && s->capacity == 3);
    EXPECT_STREQ(str_buffer(s.get(), 10), "ab"); // the capacity: alloc_failure_test.cpp
    EXPECT_EQ(str_buffer(null_string.get(), 0), nullptr);
    EXPECT_STREQ(str_buffer(null_string.get(), 4), "");
    EXPECT_EQ(null_string->capacity, 5);
}

// A sequence cut short by the terminator counts as one character. UTF-16
// skips its mark and does not count it; UTF-32 counts units, not bytes.
TEST_F(StrRecord, LengthsStopAtTheTerminator) {
    Str cut = own(str_from("\xE2", 1, STR_ENC_UTF8)), mixed = make("a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"); // a é 日 😀
    const unsigned char marked[] = {0xFF, 0xFE, 'a', 0, 'b', 0, 0, 0};
    const uint32_t utf32[] = {0x1F600, 'x', 0};
    EXPECT_EQ((std::vector<int32_t>{str_len(cut.get()), str_utf8_char_count(cut.get()), str_utf8_len("\xE2"),
                                    str_utf8_len(nullptr), str_len(mixed.get()), str_utf8_char_count(mixed.get()),
                                    str_utf16_len(marked), str_utf16le_len(marked), str_utf32_len(utf32)}),
              (std::vector<int32_t>{1, 1, 1, 0, 10, 4, 4, 6, 2}));
}

// "ok" and a lead byte set into a record that held a longer text: the
// terminator cuts the last sequence short, and the stale bytes behind it
// must not be decoded into the text nor copied out.
TEST_F(StrRecord, ReadOutsEndAtASequenceThatTheTerminatorCuts) {
    Str s = make("secret-pin-1234");
    str_set(s.get(), "ok\xE2", 3, STR_ENC_UTF8);
    ASSERT_EQ(s->capacity, 16);
    using namespace std::string_literals;
    const std::string expected[] = {
        "ok\0"s, "ok\xE2\0"s, little_endian_host() ? "\xFF\xFEo\0k\0\0\0"s : "\xFE\xFF\0o\0k\0\0"s,
        "\0o\0k\0\0"s, "o\0k\0\0\0"s, bytes(U"ok", 12)};
    alignas(4) char got[64] = {}, cstr[64] = {}, cstrn[64] = {}, utf8_cstrn[64] = {};
    for (int32_t encoding = STR_ENC_ASCII; encoding <= STR_ENC_UTF32; ++encoding) {
        std::memset(got, 0, sizeof got);
        EXPECT_EQ(str_get(s.get(), got, sizeof got, encoding) > 0 ? terminated(got, unit_of(encoding)) : "<failed>",
                  expected[encoding]) << "str_get in encoding " << encoding;
        EXPECT_EQ(allocated(s.get(), encoding), expected[encoding]) << "str_alloc in encoding " << encoding;
    }
    int32_t size = sizeof cstr;
    EXPECT_EQ(str_cstr(s.get(), cstr, &size) > 0 ? terminated(cstr, 1) : "<failed>", expected[STR_ENC_ASCII]);
    EXPECT_EQ(terminated(str_cstrn(s.get(), cstrn, sizeof cstrn), 1), expected[STR_ENC_ASCII]);
    EXPECT_EQ(terminated(str_utf8_cstrn(s.get(), utf8_cstrn, sizeof utf8_cstrn), 1), expected[STR_ENC_UTF8]);
    EXPECT_EQ(wide(s.get()), bytes(L"ok", 3 * sizeof(wchar_t)));

    // UTF-8 keeps the measure of the whole buffer; the room behind the
    // text is zero-filled rather than a copy of the stale bytes.
    char out[20];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(str_get(s.get(), out, sizeof out, STR_ENC_UTF8), 17);
    EXPECT_EQ(bytes(out, 18), "ok\xE2" + std::string(14, '\0') + "#");
}

// A record keeps an over-long character 0 as it was given. Every read-out
// ends the text there and answers the measure of the whole buffer, which
// stops after that character: no room is asked for a second terminator.
TEST_F(StrRecord, ReadOutsOfAnOverlongZeroTakeTheBuffersMeasure) {
    using namespace std::string_literals;
    for (const std::string& form : {"\xC0\x80"s, "\xE0\x80\x80"s, "\xF0\x80\x80\x80"s}) {
        for (const auto& [before, after] : {std::pair{""s, "ab"s}, {"ab"s, "cd"s}, {"ab"s, ""s}}) {
            Str s = make((before + form + after).c_str());
            for (int32_t encoding = STR_ENC_ASCII; encoding <= STR_ENC_UTF32; ++encoding) {
                SCOPED_TRACE("\"" + before + "\" + over-long 0 of " + std::to_string(form.size()) + " bytes + \"" + after +
                             "\" in encoding " + std::to_string(encoding));
                const int32_t measure = str_encoding_requires_bytes(s->buffer, s->capacity, STR_ENC_UTF8, encoding);
                // UTF-8 is the buffer copied; the others end at the character 0.
                const std::string expected = encoding == STR_ENC_UTF8 ? std::string(s->buffer, s->capacity) + '\0'
                                                                     : allocated(make(before.c_str()).get(), encoding);
                alignas(4) char out[64] = {};
                EXPECT_EQ(str_get(s.get(), out, measure - 1, encoding), 0);
                EXPECT_EQ(str_get(s.get(), out, measure, encoding), measure);
                const std::string got = encoding == STR_ENC_UTF8 ? bytes(out, expected.size()) : terminated(out, unit_of(encoding));
                EXPECT_EQ(got, expected);
                const Block block = own_block(str_alloc(s.get(), encoding));
                EXPECT_EQ(block != nullptr ? bytes(block.get(), expected.size()) : "<NULL>", expected);
                if (encoding > STR_ENC_UTF8) continue;
                // The cstr family needs the measure and one byte more.
                const auto cstrn = encoding == STR_ENC_ASCII ? str_cstrn : str_utf8_cstrn;
                std::memset(out, '#', sizeof out);
                EXPECT_EQ(cstrn(s.get(), out, measure)[0], '#');
                EXPECT_EQ(bytes(cstrn(s.get(), out, measure + 1), expected.size()), expected);
                if (encoding == STR_ENC_UTF8) continue;
                int32_t size = measure;
                EXPECT_TRUE(str_cstr(s.get(), out, &size) == 0 && size == measure + 1); // the size asked for
                EXPECT_EQ(str_cstr(s.get(), out, &size), measure);
            }
        }
    }
}
