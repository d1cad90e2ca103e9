// Conversions between UTF-8 and the other encodings, and the errors they
// record.
#include "test_support.hpp"

#include <cstring>
#include <ostream>
#include <random>
#include <vector>

using namespace std::string_literals;

namespace {

bool host_is_little_endian() {
    const uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

// UTF-32 in host order, as bytes.
std::string utf32(std::initializer_list<uint32_t> units) {
    std::string out;
    for (uint32_t unit : units) out += bytes(&unit, 4);
    return out;
}

// Bytes of `text` converted to `encoding` through str_alloc, terminator excluded.
std::string encoded(const str_t* s, int32_t encoding, size_t terminator) {
    Block block = own_block(str_alloc(s, encoding));
    if (!block) return "<null>";
    const auto* p = static_cast<const char*>(block.get());
    size_t size = 0;
    while (std::string(p + size, terminator) != std::string(terminator, '\0')) size += terminator;
    return bytes(p, size);
}

size_t terminator_of(int32_t encoding) {
    return encoding == STR_ENC_UTF32 ? 4 : encoding >= STR_ENC_UTF16 ? 2 : 1;
}

} // namespace

struct Vector {
    const char* utf8;
    int32_t encoding;
    std::string external; // the text in `encoding`, without terminator
};

void PrintTo(const Vector& v, std::ostream* os) { *os << '"' << v.utf8 << "\" in encoding " << v.encoding; }

class KnownVectors : public LeakCheckedParamTest<Vector> {};

TEST_P(KnownVectors, ConvertBothWays) {
    const Vector& v = GetParam();
    Str from_external = own(str_from(v.external.data(), static_cast<int32_t>(v.external.size()), v.encoding));
    EXPECT_EQ(text_of(from_external.get()), v.utf8);
    Str from_utf8 = own(str_from_utf8(v.utf8));
    EXPECT_EQ(encoded(from_utf8.get(), v.encoding, terminator_of(v.encoding)), v.external);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, KnownVectors,
    ::testing::Values(
        Vector{"A\xC3\xA9", STR_ENC_UTF16LE, std::string("A\0\xE9\0", 4)},
        Vector{"A\xC3\xA9", STR_ENC_UTF16BE, std::string("\0A\0\xE9", 4)},
        Vector{"\xF0\x9F\x98\x80", STR_ENC_UTF16LE, "\x3D\xD8\x00\xDE"s},     // U+1F600
        Vector{"\xF0\x9F\x98\x80", STR_ENC_UTF16BE, "\xD8\x3D\xDE\x00"s},     //
        Vector{"\xE6\x97\xA5\xE6\x9C\xAC", STR_ENC_UTF16LE, "\xE5\x65\x2C\x67"}, // 日本
        Vector{"\xF4\x8F\xBF\xBF", STR_ENC_UTF16BE, "\xDB\xFF\xDF\xFF"},     // U+10FFFF
        Vector{"a\xF0\x9F\x98\x80", STR_ENC_UTF32, utf32({'a', 0x1F600})},
        Vector{"\xEF\xBB\xBF", STR_ENC_UTF16BE, "\xFE\xFF"}, // U+FEFF is a character here, not a mark
        Vector{"plain", STR_ENC_ASCII, "plain"}));

TEST_F(LeakCheckedTest, MarkedUtf16WritesAndHonoursTheMark) {
    Str a = own(str_from_utf8("A"));
    Block block = own_block(str_utf16_alloc(a.get()));
    const auto* p = static_cast<const unsigned char*>(block.get());
    const std::string expected = host_is_little_endian() ? std::string("\xFF\xFE" "A\0\0\0", 6)
                                                         : std::string("\xFE\xFF\0A\0\0", 6);
    EXPECT_EQ(bytes(p, 6), expected);
    Str back = own(str_from(p, str_utf16_len(p), STR_ENC_UTF16)); // the length excludes the mark
    EXPECT_EQ(text_of(back.get()), "A");

    const unsigned char big_endian[] = {0xFE, 0xFF, 0x00, 'h', 0x00, 'i'};
    EXPECT_EQ(text_of(own(str_from(big_endian, 4, STR_ENC_UTF16)).get()), "hi");
    const unsigned char little_endian[] = {0xFF, 0xFE, 'h', 0x00, 'i', 0x00};
    EXPECT_EQ(text_of(own(str_from(little_endian, 4, STR_ENC_UTF16)).get()), "hi");

    Str empty = own(str_from_utf8(""));
    Block only_terminator = own_block(str_utf16_alloc(empty.get()));
    EXPECT_EQ(bytes(only_terminator.get(), 2), std::string(2, '\0')); // no mark without a character
}

TEST_F(LeakCheckedTest, CharactersOutsideTheTargetBecomeQuestionMarks) {
    Str latin = own(str_from_cstr("A\xE9" "B")); // 0xE9 is not ASCII
    EXPECT_EQ(text_of(latin.get()), "A?B");

    Str e_acute = own(str_from_utf8("\xC3\xA9"));
    Block ascii = own_block(str_cstr_alloc(e_acute.get()));
    EXPECT_STREQ(static_cast<const char*>(ascii.get()), "?");
    Block le = own_block(str_utf16le_alloc(e_acute.get()));
    EXPECT_EQ(bytes(le.get(), 4), std::string("\xE9\0\0\0", 4));

    // Beyond Unicode: UTF-8 still holds U+110000 as four bytes; UTF-16 cannot.
    const std::string beyond = utf32({0x110000});
    Str s = own(str_from(beyond.data(), 4, STR_ENC_UTF32));
    EXPECT_EQ(text_of(s.get()), "\xF4\x90\x80\x80");
    EXPECT_EQ(encoded(s.get(), STR_ENC_UTF16LE, 2), std::string("?\0", 2));
}

struct BadInput {
    std::string bytes;
    int32_t encoding;
    int32_t code;
    const char* message;
};

void PrintTo(const BadInput& input, std::ostream* os) { *os << input.message << " in encoding " << input.encoding; }

class DecodingErrors : public LeakCheckedParamTest<BadInput> {};

TEST_P(DecodingErrors, LeaveTheStringNullAndRecordTheError) {
    const BadInput& input = GetParam();
    Str s = own(str_from_utf8("previous"));
    str_set(s.get(), input.bytes.data(), static_cast<int32_t>(input.bytes.size()), input.encoding);
    EXPECT_TRUE(str_null(s.get()));
    EXPECT_EQ(str_last_error_code(), input.code);
    EXPECT_STREQ(str_last_error_message(), input.message);
    EXPECT_STREQ(str_last_error_source(), "libraries\\keloutil\\c_str");
    EXPECT_GT(str_last_error_line(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Surrogates, DecodingErrors,
    ::testing::Values(
        BadInput{"\x3D\xD8\x41\x00"s, STR_ENC_UTF16LE, STR_ERR_INVALID_INPUT, "unpaired high surrogate"},
        BadInput{"\xD8\x3D\x00\x41"s, STR_ENC_UTF16BE, STR_ERR_INVALID_INPUT, "unpaired high surrogate"},
        BadInput{"\x00\xDE"s, STR_ENC_UTF16LE, STR_ERR_INVALID_INPUT, "unpaired low surrogate"},
        BadInput{"\xDE\x00"s, STR_ENC_UTF16BE, STR_ERR_INVALID_INPUT, "unpaired low surrogate"},
        BadInput{"\x3D\xD8"s, STR_ENC_UTF16LE, STR_ERR_BUFFER_OVERFLOW, "from buffer overflow"},
        BadInput{"A"s, STR_ENC_UTF16BE, STR_ERR_BUFFER_OVERFLOW,
                 "from buffer overflow in private_str_decode_utf16BE"}));

TEST_F(LeakCheckedTest, TruncatedSequencesCannotBeDecoded) {
    EXPECT_EQ(str_encoding_requires_bytes("\xE6\x97", 2, STR_ENC_UTF8, STR_ENC_UTF16LE), 0);

    Str short_unit = own(str_from("abc", 3, STR_ENC_UTF32));
    EXPECT_TRUE(str_null(short_unit.get()));
}

TEST_F(LeakCheckedTest, EncodedSurrogateCannotBeReadOutAsUtf16) {
    Str s = own(str_from_utf8("\xED\xA0\x80")); // U+D800 written as UTF-8
    unsigned char out[16];
    EXPECT_EQ(str_get(s.get(), out, sizeof out, STR_ENC_UTF16LE), 0);
    EXPECT_EQ(str_alloc(s.get(), STR_ENC_UTF16BE), nullptr);
    Block utf32 = own_block(str_alloc(s.get(), STR_ENC_UTF32)); // UTF-32 takes any value
    EXPECT_NE(utf32, nullptr);
}

TEST_F(LeakCheckedTest, EncodeBetweenEqualEncodingsCopiesAndTruncates) {
    char out[8];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(str_encode("0123456789", 10, STR_ENC_UTF8, out, 4, STR_ENC_UTF8), 1);
    EXPECT_EQ(bytes(out, 5), std::string("012\0#", 5));

    unsigned char wide[8];
    EXPECT_EQ(str_encode("\x01\x02\x03\x04", 4, STR_ENC_UTF16LE, wide, 4, STR_ENC_UTF16LE), 1);
    EXPECT_EQ(bytes(wide, 4), std::string("\x01\x02\0\0", 4));
}

TEST_F(LeakCheckedTest, EncodeReportsAFullDestination) {
    unsigned char out[8];
    EXPECT_EQ(str_encode("abc", 3, STR_ENC_UTF8, out, 4, STR_ENC_UTF16LE), 0);
    EXPECT_EQ(str_last_error_code(), STR_ERR_BUFFER_OVERFLOW);
    EXPECT_STREQ(str_last_error_message(), "to buffer overflow");
    // Room for the characters but not the terminator fails the same way.
    EXPECT_EQ(str_encode("ab", 2, STR_ENC_UTF8, out, 4, STR_ENC_UTF16LE), 0);
    EXPECT_EQ(str_encode("ab", 2, STR_ENC_UTF8, out, 6, STR_ENC_UTF16LE), 1);
    // A character 0 ends the source whatever its given length.
    EXPECT_EQ(str_encode("a\0zzzz", 6, STR_ENC_UTF8, out, 4, STR_ENC_UTF16LE), 1);
    EXPECT_EQ(bytes(out, 4), std::string("a\0\0\0", 4));
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
            ASSERT_EQ(text_of(back.get()), text_of(s.get())) << "encoding " << encoding << ", round " << round;
        }
    }
}

TEST_F(LeakCheckedTest, WideCharactersHoldTheTextWithoutMark) {
    Str s = own(str_from_utf8("a\xC3\xA9\xF0\x9F\x98\x80")); // a é 😀
    wchar_t* wide = str_wchar_alloc(s.get());
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(std::wstring(wide), std::wstring(L"a\u00E9\U0001F600"));
    memory_free(wide);

    Str empty = own(str_init());
    wchar_t* nothing = str_wchar_alloc(empty.get());
    ASSERT_NE(nothing, nullptr);
    EXPECT_EQ(nothing[0], L'\0');
    memory_free(nothing);
}
