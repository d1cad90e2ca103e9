// Numbers to and from text, argument substitution and the hash.
#include "test_support.hpp"

#include <cstring>
#include <ostream>

struct ParseCase {
    const char* text;
    int32_t base;
    int64_t value;
    bool ok;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << printable(c.text) << " in base " << c.base; }

class ParseHuge : public LeakCheckedParamTest<ParseCase> {};

TEST_P(ParseHuge, ReadsTheWholeTextOrNothing) {
    const ParseCase& c = GetParam();
    Str s = make(c.text);
    int32_t ok = 7;
    EXPECT_EQ(str_to_huge(s.get(), &ok, c.base), c.value);
    EXPECT_EQ(ok, c.ok ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseHuge,
    ::testing::Values(ParseCase{" 42 ", 10, 42, true}, ParseCase{"\t\n-17\n", 10, -17, true}, ParseCase{"+5", 10, 5, true},
                      ParseCase{"42x", 10, 0, false}, ParseCase{"", 10, 0, false}, ParseCase{"   ", 10, 0, false},
                      ParseCase{"-", 10, 0, false}, ParseCase{"4 2", 10, 0, false}, ParseCase{"\r42", 10, 0, false},
                      ParseCase{"ff", 16, 255, true}, ParseCase{"FF", 16, 255, true}, ParseCase{"0x1f", 16, 0, false},
                      ParseCase{"z", 36, 35, true}, ParseCase{"2", 2, 0, false}, ParseCase{"101", 2, 5, true},
                      ParseCase{"9223372036854775807", 10, INT64_MAX, true},
                      ParseCase{"9223372036854775808", 10, 0, false},
                      ParseCase{"-9223372036854775808", 10, INT64_MIN, true},
                      ParseCase{"-9223372036854775809", 10, 0, false},
                      ParseCase{"7fffffffffffffff", 16, INT64_MAX, true},
                      // The overflow check works on the positive limit, so only bases whose
                      // last digit leaves room (10 does, 16 does not) reach the minimum.
                      ParseCase{"-8000000000000000", 16, 0, false}, ParseCase{"8000000000000000", 16, 0, false},
                      ParseCase{"-7fffffffffffffff", 16, -INT64_MAX, true},
                      ParseCase{"1", 1, 0, false}, ParseCase{"1", 37, 0, false}));

TEST_F(LeakCheckedTest, ThirtyTwoBitParsingChecksTheRange) {
    const struct {
        const char* text;
        int32_t value;
        bool ok;
    } cases[] = {{"2147483647", INT32_MAX, true}, {"2147483648", 0, false}, {"-2147483648", INT32_MIN, true},
                 {"-2147483649", 0, false},       {"12", 12, true}};
    for (const auto& c : cases) {
        Str s = make(c.text);
        int32_t ok = 7;
        EXPECT_EQ(str_to_long(s.get(), &ok, 10), c.value) << c.text;
        EXPECT_EQ(ok, c.ok ? 1 : 0) << c.text;
        EXPECT_EQ(str_to_int(s.get(), nullptr, 10), c.value);
    }
    EXPECT_EQ(str_to_long(nullptr, nullptr, 10), 0);
}

TEST_F(LeakCheckedTest, IntegersToText) {
    const struct {
        int64_t value;
        int32_t base;
        const char* text;
    } cases[] = {{255, 16, "ff"},   {-10, 2, "-1010"}, {0, 10, "0"},     {-255, 16, "-ff"},
                 {35, 36, "z"},     {42, 1, "42"},     {42, 37, "42"},   {INT64_MAX, 10, "9223372036854775807"},
                 {INT64_MIN, 10, "-9223372036854775808"}, {INT64_MIN, 16, "-8000000000000000"},
                 {INT64_MIN, 2, "-1000000000000000000000000000000000000000000000000000000000000000"}};
    for (const auto& c : cases) EXPECT_EQ(shown(own(str_from_huge(c.value, c.base))), c.text);
    EXPECT_EQ(shown(own(str_from_long(-255, 16))), "-ff");
    EXPECT_EQ(shown(own(str_from_int(INT32_MIN, 10))), "-2147483648");
}

TEST_F(LeakCheckedTest, DoublesToText) {
    const struct {
        double value;
        char format;
        int32_t precision;
        const char* text;
    } cases[] = {{1.5, 'x', 2, "1.50"}, {1.5, 'f', -1, "1.500000"}, {1.5, 'e', 2, "1.50e+00"},
                 {1.5, 'G', -1, "1.5"}, {0.25, 'f', 0, "0"},         {-2.0, 'g', 3, "-2"}};
    for (const auto& c : cases) EXPECT_EQ(shown(own(str_from_double(c.value, c.format, c.precision))), c.text);
    EXPECT_EQ(shown(own(str_from_double(0.5, 'f', 150))), shown(own(str_from_double(0.5, 'f', 99))));
    EXPECT_EQ(shown(own(str_from_float(0.5f, 'f', 1))), "0.5");
    EXPECT_EQ(str_len(own(str_from_double(-1e308, 'f', 99)).get()), 1 + 309 + 1 + 99);
}

TEST_F(LeakCheckedTest, TextToDouble) {
    const struct {
        const char* text;
        double value;
        bool ok;
    } cases[] = {{"1e3", 1000.0, true}, {" 2.5", 2.5, true}, {"1.5 ", 1.5, false}, {"", 0.0, false}, {"x", 0.0, false}};
    for (const auto& c : cases) {
        Str s = make(c.text);
        int32_t ok = 7;
        EXPECT_DOUBLE_EQ(str_to_double(s.get(), &ok), c.value) << c.text;
        EXPECT_EQ(ok, c.ok ? 1 : 0) << c.text;
    }
    int32_t ok = 7;
    EXPECT_EQ(str_to_double(nullptr, &ok), 0.0);
    EXPECT_EQ(ok, 0);
    Str third = make("0.1");
    EXPECT_FLOAT_EQ(str_to_float(third.get(), nullptr), 0.1f);
}

struct ArgCase {
    const char* pattern;
    const char* argument;
    int32_t width;
    char fill;
    const char* result;
};

void PrintTo(const ArgCase& c, std::ostream* os) {
    *os << printable(c.argument) << " into " << printable(c.pattern) << " width " << c.width;
}

class Substitution : public LeakCheckedParamTest<ArgCase> {};

TEST_P(Substitution, FillsTheLowestPlaceholder) {
    const ArgCase& c = GetParam();
    Str pattern = make(c.pattern);
    Str argument = make(c.argument);
    Str result = own(str_arg_str(pattern.get(), argument.get(), c.width, c.fill));
    EXPECT_EQ(shown(result), c.result);
    // A new string set from the result: a buffer of exactly its length + 1.
    if (result->buffer != nullptr) {
        EXPECT_EQ(result->capacity, static_cast<int32_t>(std::strlen(c.result)) + 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Substitution,
    ::testing::Values(ArgCase{"%2 and %1", "X", 0, 0, "%2 and X"}, ArgCase{"%2 and X", "Y", 0, 0, "Y and X"},
                      ArgCase{"%1", "ab", 5, '*', "***ab"}, ArgCase{"%1", "ab", -5, '*', "ab***"},
                      ArgCase{"%1", "ab", 1, '*', "ab"}, ArgCase{"[%1]", "ab", 4, 0, "[  ab]"},
                      ArgCase{"%1-%1", "X", 0, 0, "X-X"}, ArgCase{"%1-%1", "X", -3, '.', "X..-X.."},
                      ArgCase{"100%", "X", 0, 0, "100%"},
                      ArgCase{"%%1", "X", 0, 0, "%%1"}, ArgCase{"%0 %1", "X", 0, 0, "%0 X"},
                      ArgCase{"%9%3", "X", 0, 0, "%9X"}, ArgCase{"%1", nullptr, 0, 0, ""},
                      ArgCase{nullptr, "X", 0, 0, "<null>"}));

TEST_F(LeakCheckedTest, TypedArgumentsFormatFirst) {
    Str pattern = make("<%1>");
    EXPECT_EQ(shown(own(str_arg_long(pattern.get(), 255, 4, 16, '0'))), "<00ff>");
    EXPECT_EQ(shown(own(str_arg_int(pattern.get(), -3, -3, 10, 0))), "<-3 >");
    EXPECT_EQ(shown(own(str_arg_char(pattern.get(), 'c', 0, 0))), "<c>");
    EXPECT_EQ(shown(own(str_arg_char(pattern.get(), '\xE9', 0, 0))), "<?>"); // the byte is read as ASCII
    Str empty_argument = own(str_arg_char(pattern.get(), '\0', 0, 0)); // the ASCII text of 0 is empty
    EXPECT_EQ(shown(empty_argument), "<>");
    EXPECT_EQ(empty_argument->capacity, 3);
    EXPECT_EQ(shown(own(str_arg_double(pattern.get(), 2.5, 0, 'f', 1, 0))), "<2.5>");
    EXPECT_EQ(shown(own(str_arg_float(pattern.get(), 2.5f, 6, 'e', 0, '_'))), "<_2e+00>");
}

TEST_F(LeakCheckedTest, HashTakesFourBytesOrShiftsShortTexts) {
    const struct {
        const char* text;
        uint32_t hash;
    } cases[] = {{"ab", 0x6162}, {"", 0}, {"\xE9", 0xFFFFFFE9}, {"abcd", 0x61626364}};
    for (const auto& c : cases) EXPECT_EQ(str_hash(make(c.text).get()), c.hash) << c.text;
    Str abcde = make("abcde");
    uint32_t first_four;
    std::memcpy(&first_four, "abcd", 4);
    EXPECT_EQ(str_hash(abcde.get()), first_four); // 0x64636261 on a little-endian host
    EXPECT_EQ(str_hash(abcde.get()), str_hash(make("abcdz").get()));
    EXPECT_EQ(str_hash(nullptr), 0u);
}
