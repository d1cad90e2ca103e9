// SPDX-License-Identifier: MIT
// Conversions between UTF-8 and the other encodings, and the errors they
// record.
#include "test_support.hpp"

#include <vector>

using namespace std::string_literals;

// "A\xC3\xA9" in both UTF-16 orders: alloc_failure_test.cpp and tstr_test.cpp.
TEST_F(LeakCheckedTest, KnownTextsConvertBothWays) {
    const struct { const char* utf8; int32_t encoding; std::string external; } cases[] = {
        {"\xF0\x9F\x98\x80", STR_ENC_UTF16BE, "\xD8\x3D\xDE\x00"s},        // U+1F600
        {"\xE6\x97\xA5\xE6\x9C\xAC", STR_ENC_UTF16LE, "\xE5\x65\x2C\x67"}, // 日本
        {"\xF4\x8F\xBF\xBF", STR_ENC_UTF16BE, "\xDB\xFF\xDF\xFF"},        // U+10FFFF
        {"a\xF0\x9F\x98\x80", STR_ENC_UTF32, units<uint32_t>({'a', 0x1F600})},
        {"\xEF\xBB\xBF", STR_ENC_UTF16BE, "\xFE\xFF"}, // U+FEFF is a character here, not a mark
        {"a", STR_ENC_UTF16, units<uint16_t>({0xFEFF, 'a'})}, // the mark is measured, written and read past
        {"plain", STR_ENC_ASCII, "plain"}};
    for (const auto& c : cases) {
        const int32_t size = static_cast<int32_t>(c.external.size());
        EXPECT_EQ(str_encoding_requires_bytes(c.utf8, static_cast<int32_t>(std::strlen(c.utf8)), STR_ENC_UTF8,
                                              c.encoding), size + static_cast<int32_t>(unit_of(c.encoding)))
            << c.utf8 << " in encoding " << c.encoding;
        EXPECT_EQ(shown(own(str_from(c.external.data(), size, c.encoding))), c.utf8) << "encoding " << c.encoding;
        EXPECT_EQ(allocated(make(c.utf8).get(), c.encoding), c.external + std::string(unit_of(c.encoding), '\0'))
            << c.utf8 << " in encoding " << c.encoding;
    }
}

TEST_F(LeakCheckedTest, DecodingErrorsLeaveTheStringNullAndRecordTheError) {
    const struct { std::string bytes; int32_t encoding, code; const char* message; } cases[] = {
        {"\xD8\x3D\x00\x41"s, STR_ENC_UTF16BE, STR_ERR_INVALID_INPUT, "unpaired high surrogate"},
        {"\x3D\xD8\x41\x00"s, STR_ENC_UTF16LE, STR_ERR_INVALID_INPUT, "unpaired high surrogate"},
        {"\x00\xDE"s, STR_ENC_UTF16LE, STR_ERR_INVALID_INPUT, "unpaired low surrogate"},
        {"\xDE\x00"s, STR_ENC_UTF16BE, STR_ERR_INVALID_INPUT, "unpaired low surrogate"},
        {"\x3D\xD8"s, STR_ENC_UTF16LE, STR_ERR_BUFFER_OVERFLOW, "from buffer overflow"},
        {"A"s, STR_ENC_UTF16BE, STR_ERR_BUFFER_OVERFLOW, "from buffer overflow in private_str_decode_utf16BE"}};
    for (const auto& c : cases) {
        Str s = make("previous");
        str_set(s.get(), c.bytes.data(), static_cast<int32_t>(c.bytes.size()), c.encoding);
        EXPECT_TRUE(str_null(s.get())) << c.message;
        EXPECT_EQ(str_last_error_code(), c.code) << c.message;
        EXPECT_STREQ(str_last_error_message(), c.message);
        EXPECT_STREQ(str_last_error_source(), "libraries\\keloutil\\c_str");
        EXPECT_GT(str_last_error_line(), 0);
    }
}

TEST_F(LeakCheckedTest, TruncatedSurrogateAndBeyondUnicodeText) {
    // UTF-8 still holds U+110000, beyond Unicode, as four bytes; UTF-16 cannot.
    const std::string beyond = units<uint32_t>({0x110000});
    Str beyond_unicode = own(str_from(beyond.data(), 4, STR_ENC_UTF32));
    EXPECT_EQ(shown(beyond_unicode), "\xF4\x90\x80\x80");
    EXPECT_EQ(allocated(beyond_unicode.get(), STR_ENC_UTF16LE), "?\0\0\0"s);

    EXPECT_EQ(str_encoding_requires_bytes("\xE6\x97", 2, STR_ENC_UTF8, STR_ENC_UTF16LE), 0);
    EXPECT_TRUE(str_null(own(str_from("abc", 3, STR_ENC_UTF32)).get())) << "a unit cut short";

    Str s = make("\xED\xA0\x80"); // U+D800 written as UTF-8
    unsigned char out[16];
    EXPECT_EQ(str_get(s.get(), out, sizeof out, STR_ENC_UTF16LE), 0);
    EXPECT_EQ(str_alloc(s.get(), STR_ENC_UTF16BE), nullptr);
    EXPECT_NE(own_block(str_alloc(s.get(), STR_ENC_UTF32)), nullptr) << "UTF-32 takes any value";
}

TEST_F(LeakCheckedTest, EncodeTruncatesOrReportsAFullDestination) {
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(str_encode("0123456789", 10, STR_ENC_UTF8, out, 4, STR_ENC_UTF8), 1) << "equal encodings copy";
    EXPECT_EQ(bytes(out, 5), "012\0#"s);
    EXPECT_EQ(str_encode("\x01\x02\x03\x04", 4, STR_ENC_UTF16LE, out, 4, STR_ENC_UTF16LE), 1);
    EXPECT_EQ(bytes(out, 4), "\x01\x02\0\0"s);

    EXPECT_EQ(str_encode("abc", 3, STR_ENC_UTF8, out, 4, STR_ENC_UTF16LE), 0);
    EXPECT_EQ(str_last_error_code(), STR_ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(str_last_error_message(), "to buffer overflow");
    // Room for the characters but not the terminator fails the same way.
    EXPECT_EQ(str_encode("ab", 2, STR_ENC_UTF8, out, 4, STR_ENC_UTF16LE), 0);
    EXPECT_EQ(str_encode("ab", 2, STR_ENC_UTF8, out, 6, STR_ENC_UTF16LE), 1);
    // A character 0 ends the source whatever its given length.
    EXPECT_EQ(str_encode("a\0zzzz", 6, STR_ENC_UTF8, out, 4, STR_ENC_UTF16LE), 1);
    EXPECT_EQ(bytes(out, 4), "a\0\0\0"s);
}

// Random text through every encoding: the measure always suffices, the
// conversion succeeds into exactly the measured room, and the text comes
// back unchanged.
TEST_F(LeakCheckedTest, RandomTextRoundTripsThroughEveryEncoding) {
    std::mt19937 random(20261205);
    const uint32_t ranges[][2] = {{0x20, 0x7E}, {0xA0, 0x7FF}, {0x800, 0xD7FF}, {0xE000, 0xFFFD}, {0x10000, 0x10FFFF}};
    for (int round = 0; round < 200; ++round) {
        std::vector<uint32_t> code_points(random() % 40);
        for (uint32_t& c : code_points) {
            const auto& range = ranges[random() % 5];
            c = range[0] + random() % (range[1] - range[0] + 1);
        }
        code_points.push_back(0);
        Str s = own(str_from(code_points.data(), static_cast<int32_t>(4 * code_points.size()), STR_ENC_UTF32));
        ASSERT_FALSE(str_null(s.get()));
        for (int32_t encoding : {STR_ENC_UTF8, STR_ENC_UTF16, STR_ENC_UTF16BE, STR_ENC_UTF16LE, STR_ENC_UTF32}) {
            const int32_t measure = str_encoding_requires_bytes(s->buffer, s->capacity, STR_ENC_UTF8, encoding);
            std::vector<unsigned char> out(static_cast<size_t>(measure));
            ASSERT_EQ(str_get(s.get(), out.data(), measure, encoding), measure);
            const int32_t length = encoding == STR_ENC_UTF8    ? str_utf8_len(reinterpret_cast<char*>(out.data()))
                                   : encoding == STR_ENC_UTF32 ? 4 * str_utf32_len(out.data())
                                   : encoding == STR_ENC_UTF16 ? str_utf16_len(out.data())
                                                               : str_utf16le_len(out.data());
            Str back = own(str_from(out.data(), length, encoding));
            ASSERT_EQ(shown(back), shown(s)) << "encoding " << encoding << ", round " << round;
        }
    }
}

// wchar_t text has no mark. On Linux it holds UTF-32 and is the string's
// own UTF-32 read-out, however the UTF-8 is formed (C3 41 is U+0081 as in
// every other read-out); Windows converts by the system's rules instead.
TEST_F(LeakCheckedTest, WideCharactersHoldTheTextWithoutMark) {
    EXPECT_EQ(wide(make("a\xC3\xA9\xF0\x9F\x98\x80").get()), bytes(L"a\u00E9\U0001F600", sizeof L"a\u00E9\U0001F600"));
    EXPECT_EQ(wide(make(nullptr).get()), bytes(L"", sizeof L""));
    if (on_windows()) GTEST_SKIP() << "Windows converts wide characters by the system's rules";
    const Str s = make("\xC3\x41");
    EXPECT_EQ(wide(s.get()), units<uint32_t>({0x81, 0}));
    EXPECT_EQ(allocated(s.get(), STR_ENC_UTF16LE), "\x81\0\0\0"s);
    // A stray byte, a surrogate, beyond U+10FFFF, 5 bytes, over-long 0, cut short.
    for (const char* text :
         {"\x80z", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xC0\x80z", "a\xE2"}) {
        const Str t = make(text);
        EXPECT_EQ(wide(t.get()), allocated(t.get(), STR_ENC_UTF32)) << shown(t);
    }
}
