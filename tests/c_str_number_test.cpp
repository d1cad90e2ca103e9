// SPDX-License-Identifier: MIT
// Numbers to and from text, argument substitution and the hash.
#include "test_support.hpp"

#include <utility>

using StrNumber = LeakCheckedTest;

TEST_F(StrNumber, ParsingReadsTheWholeTextOrNothing) {
    const struct { const char* text; int32_t base; int64_t value; bool ok, narrow = false; } cases[] = {
        {" 42 ", 10, 42, true}, {"\t\n-17\n", 10, -17, true}, {"+5", 10, 5, true}, {"42x", 10, 0, false},
        {"", 10, 0, false},     {"   ", 10, 0, false},        {"-", 10, 0, false}, {"4 2", 10, 0, false},
        {"\r42", 10, 0, false}, {"FF", 16, 255, true},        {"0x1f", 16, 0, false}, {"z", 36, 35, true},
        {"101", 2, 5, true},    {"2", 2, 0, false},           {"1", 1, 0, false}, {"1", 37, 0, false},
        {"9223372036854775807", 10, INT64_MAX, true},  {"9223372036854775808", 10, 0, false},
        {"-9223372036854775808", 10, INT64_MIN, true}, {"-9223372036854775809", 10, 0, false},
        // The overflow check works on the positive limit, so only bases whose
        // last digit leaves room (10 does, 16 does not) reach the minimum.
        {"-8000000000000000", 16, 0, false}, {"-7fffffffffffffff", 16, -INT64_MAX, true},
        // Narrow: str_to_long and str_to_int.
        {"2147483647", 10, INT32_MAX, true, true}, {"2147483648", 10, 0, false, true},
        {"-2147483648", 10, INT32_MIN, true, true}, {"-2147483649", 10, 0, false, true}};
    for (const auto& c : cases) {
        Str s = make(c.text);
        int32_t ok = 7;
        EXPECT_EQ(c.narrow ? str_to_long(s.get(), &ok, c.base) : str_to_huge(s.get(), &ok, c.base), c.value) << c.text;
        EXPECT_EQ(ok, c.ok ? 1 : 0) << c.text << " in base " << c.base;
        EXPECT_TRUE(!c.narrow || str_to_int(s.get(), nullptr, c.base) == c.value) << c.text;
    }
    EXPECT_EQ(str_to_long(nullptr, nullptr, 10), 0);
}

TEST_F(StrNumber, IntegersToText) {
    const struct { int64_t value; int32_t base; const char* text; } cases[] = {
        {255, 16, "ff"}, {-10, 2, "-1010"}, {0, 10, "0"}, {35, 36, "z"}, {42, 1, "42"}, {42, 37, "42"},
        {INT64_MIN, 10, "-9223372036854775808"}, {INT64_MIN, 16, "-8000000000000000"},
        {INT64_MIN, 2, "-1000000000000000000000000000000000000000000000000000000000000000"}};
    for (const auto& c : cases) EXPECT_EQ(shown(own(str_from_huge(c.value, c.base))), c.text);
    EXPECT_EQ(shown(own(str_from_long(-255, 16))), "-ff");
    EXPECT_EQ(shown(own(str_from_int(INT32_MIN, 10))), "-2147483648");
}

TEST_F(StrNumber, DoublesToAndFromText) {
    const struct { double value; char format; int32_t precision; const char* text; } cases[] = {
        {1.5, 'x', 2, "1.50"}, {1.5, 'f', -1, "1.500000"}, {1.5, 'e', 2, "1.50e+00"},
        {1.5, 'G', -1, "1.5"}, {0.25, 'f', 0, "0"},         {-2.0, 'g', 3, "-2"}};
    for (const auto& c : cases) EXPECT_EQ(shown(own(str_from_double(c.value, c.format, c.precision))), c.text);
    EXPECT_EQ(shown(own(str_from_double(0.5, 'f', 150))), shown(own(str_from_double(0.5, 'f', 99))));
    EXPECT_EQ(str_len(own(str_from_double(-1e308, 'f', 99)).get()), 1 + 309 + 1 + 99);
    EXPECT_EQ(shown(own(str_from_float(0.5f, 'f', 1))), "0.5");

    const struct { const char* text; double value; bool ok; } parses[] = {
        {"1e3", 1000.0, true}, {" 2.5", 2.5, true}, {"1.5 ", 1.5, false}, {"", 0.0, false}, {nullptr, 0.0, false}};
    for (const auto& c : parses) {
        int32_t ok = 7;
        EXPECT_DOUBLE_EQ(str_to_double(make(c.text).get(), &ok), c.value) << printable(c.text);
        EXPECT_EQ(ok, c.ok ? 1 : 0) << printable(c.text);
    }
    EXPECT_FLOAT_EQ(str_to_float(make("0.1").get(), nullptr), 0.1f);
}

TEST_F(StrNumber, SubstitutionFillsTheLowestPlaceholder) {
    const struct { const char *pattern, *argument; int32_t width; char fill; const char* result; } cases[] = {
        {"%1", "ab", 5, '*', "***ab"},  {"%1", "ab", -5, '*', "ab***"},    {"%1", "ab", 1, '*', "ab"},
        {"[%1]", "ab", 4, 0, "[  ab]"}, {"%1-%1", "X", -3, '.', "X..-X.."}, {"100%", "X", 0, 0, "100%"},
        {"%%1", "X", 0, 0, "%%1"},      {"%0 %1", "X", 0, 0, "%0 X"},       {"%9%3", "X", 0, 0, "%9X"},
        {"%1", nullptr, 0, 0, ""},      {nullptr, "X", 0, 0, "<null>"}};
    for (const auto& c : cases) {
        Str pattern = make(c.pattern), argument = make(c.argument);
        Str result = own(str_arg_str(pattern.get(), argument.get(), c.width, c.fill));
        EXPECT_EQ(shown(result), c.result) << printable(c.argument) << " into " << printable(c.pattern);
        // A new string set from the result: exactly its length + 1.
        EXPECT_TRUE(result->buffer == nullptr || result->capacity == str_len(result.get()) + 1) << c.result;
    }
    Str pattern = make("%2 and %1"), x = make("X"), y = make("Y");
    Str once = own(str_arg_str(pattern.get(), x.get(), 0, 0));
    EXPECT_EQ(shown(once), "%2 and X");
    EXPECT_EQ(shown(own(str_arg_str(once.get(), y.get(), 0, 0))), "Y and X");

    // Typed arguments are formatted first, then substituted as text (a
    // double: alloc_failure_test.cpp). A char is read as ASCII.
    Str typed = make("<%1>");
    const std::pair<str_t*, const char*> typed_cases[] = {
        {str_arg_long(typed.get(), 255, 4, 16, '0'), "<00ff>"}, {str_arg_int(typed.get(), -3, -3, 10, 0), "<-3 >"},
        {str_arg_char(typed.get(), '\xE9', 0, 0), "<?>"},
        {str_arg_float(typed.get(), 2.5f, 6, 'e', 0, '_'), "<_2e+00>"}};
    for (const auto& [result, expected] : typed_cases) EXPECT_EQ(shown(own(result)), expected);
    Str empty_argument = own(str_arg_char(typed.get(), '\0', 0, 0)); // the ASCII text of 0 is empty
    EXPECT_TRUE(shown(empty_argument) == "<>" && empty_argument->capacity == 3);
}

TEST_F(StrNumber, HashTakesFourBytesOrShiftsShortTexts) {
    // Five bytes or more: the first four, read in host order.
    const uint32_t abcd = little_endian_host() ? 0x64636261u : 0x61626364u;
    const struct { const char* text; uint32_t hash; } cases[] = {
        {"ab", 0x6162}, {"", 0}, {"\xE9", 0xFFFFFFE9}, {"abcd", 0x61626364}, {"abcde", abcd}, {"abcdz", abcd}};
    for (const auto& c : cases) EXPECT_EQ(str_hash(make(c.text).get()), c.hash) << c.text;
    EXPECT_EQ(str_hash(nullptr), 0u);
}
