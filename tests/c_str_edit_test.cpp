// SPDX-License-Identifier: MIT
// Appending, comparing, cutting, lists and replacing.
#include "test_support.hpp"

#include <utility>
#include <vector>

using StrEdit = LeakCheckedTest;

// The text as the capacity bounds it, for records that may lack a terminator.
static std::string bounded(const str_t* s) { return s->buffer ? std::string(s->buffer, str_len(s)) : "<null>"; }
// An item taken off `list`, then what is left of the list.
static std::string taken(str_t* item, const str_t* list) { return shown(own(item)) + "|" + bounded(list); }

TEST_F(StrEdit, CatAppendsWholeTextsAndLeadingCharacters) {
    Str s = make("ab"), tail = make("c\xC3\xA9");
    EXPECT_EQ(str_cat(s.get(), tail.get()), 5);
    EXPECT_EQ(str_cat(s.get(), s.get()), 10); // appending itself
    EXPECT_EQ(shown(s), "abc\xC3\xA9" "abc\xC3\xA9");

    Str null_string = make(nullptr);
    EXPECT_EQ(str_cat_utf8_limit(null_string.get(), "hello", 3), 3); // set, then cut to 3 characters
    EXPECT_EQ(str_cat(null_string.get(), nullptr), 3);
    EXPECT_EQ(str_utf8_cat_limit(null_string.get(), "p!", 1), 0);
    EXPECT_EQ(shown(null_string), "help");
}

TEST_F(StrEdit, CmpOrdersNullBeforeEmptyAndBytesUnsigned) {
    const struct { const char *a, *b; int32_t sign; } cases[] = {
        {nullptr, nullptr, 0}, {nullptr, "", -1}, {"", nullptr, 1},      {"", "", 0},
        {"a", "b", -1},        {"ab", "a", 1},    {"\xC3\xA9", "z", 1}}; // é after z
    for (const auto& c : cases) {
        Str a = make(c.a), b = make(c.b);
        const int32_t result = str_cmp(a.get(), b.get()), against_text = str_utf8_cmp(a.get(), c.b);
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << shown(a) << " vs " << shown(b);
        EXPECT_EQ((against_text > 0) - (against_text < 0), c.sign) << shown(a) << " vs " << shown(b);
        EXPECT_EQ(str_ascii_cmp(a.get(), c.b), against_text);
    }
}

TEST_F(StrEdit, CuttingCountsCharacters) {
    Str hello = make("h\xC3\xA9llo"), abc = make("abcdef"), null_string = make(nullptr);
    // str_left(hello, 2): alloc_failure_test.cpp; str_mid takes its start in
    // characters and its length in bytes.
    const std::pair<str_t*, const char*> cuts[] = {
        {str_left(hello.get(), -1), "h\xC3\xA9llo"},  {str_right(hello.get(), 4), "\xC3\xA9llo"},
        {str_right(hello.get(), 99), "h\xC3\xA9llo"}, {str_mid(abc.get(), 2, 3), "cde"},
        {str_mid(abc.get(), 2, -1), "cdef"},         {str_mid(abc.get(), 2, 100), "cdef"},
        {str_mid(abc.get(), 6, 1), ""},              {str_mid(abc.get(), 7, 1), "<NULL>"},
        {str_left(null_string.get(), 2), ""},        {str_right(null_string.get(), 2), "<NULL>"},
        {str_left(nullptr, 1), "<NULL>"},            {str_mid(hello.get(), 1, 2), "\xC3\xA9"}};
    for (const auto& [cut, expected] : cuts) EXPECT_EQ(shown(own(cut)), expected);

    const auto at = [&](int32_t index) { return static_cast<int>(str_at(hello.get(), index)); };
    EXPECT_EQ((std::vector<int>{at(1), at(2), at(5), at(-1)}), (std::vector<int>{static_cast<signed char>('\xC3'), 'l', 0, 0}));
}

TEST_F(StrEdit, TruncateAndPad) {
    Str s = make("h\xC3\xA9llo");
    EXPECT_EQ(str_truncate(s.get(), 9), nullptr);
    EXPECT_EQ(str_truncate(s.get(), 2) - s->buffer, 3);
    EXPECT_EQ(shown(s), "h\xC3\xA9");

    const struct { const char* unit; int32_t n; const char* padded; } pads[] = {
        {"*", 5, "*****"}, {"ab", 3, "aba"}, {"ab", 0, ""}, {"", 4, ""}, {nullptr, 4, ""},
        {"\xC3\xA9", 3, "\xC3\xA9\xC3\xA9"}}; // 4 bytes reach 3, then 3 characters are kept
    for (const auto& p : pads) {
        Str unit = make(p.unit);
        EXPECT_EQ(shown(own(str_pad(unit.get(), p.n))), p.padded) << shown(unit) << " to " << p.n;
    }
}

TEST_F(StrEdit, PushAndUnshiftJoinWithExactlyOneSeparator) {
    const struct { const char *list, *item, *separator, *pushed, *unshifted; } cases[] = {
        {"a;b", "c", ";", "a;b;c", "c;a;b"},       {"a;b;", "c", ";", "a;b;c", "c;a;b;"},
        {"a;b;", ";c", ";", "a;b;c", ";c;a;b;"}, {"", "c", ";", ";c", "c;"},
        {nullptr, "c", ";", "c", "c"},            {";b", "a;", ";", ";b;a;", "a;b"},
        {"a", "", ";", "a", "a"},                 {"a", nullptr, ";", "a", "a"},
        {"a", "b", nullptr, "ab", "ba"},          {"a", ";c", ";", "a;c", ";c;a"}};
    for (const auto& c : cases) {
        Str item = make(c.item), separator = make(c.separator), pushed = make(c.list), unshifted = make(c.list);
        str_push(pushed.get(), item.get(), separator.get());
        str_unshift(unshifted.get(), item.get(), separator.get());
        EXPECT_EQ(shown(pushed) + " " + shown(unshifted), std::string(c.pushed) + " " + c.unshifted)
            << printable(c.item) << " onto " << printable(c.list);
    }
    Str s = make("ab"), separator = make(";"); // an item that is the list itself
    str_push(s.get(), s.get(), separator.get());
    str_unshift(s.get(), s.get(), separator.get());
    EXPECT_EQ(shown(s), "ab;ab;ab;ab");
}

// By set (str_shift, str_pop) any byte of the set splits, a run counts as
// one separator and its first byte is reported; by text (str_shift_str,
// str_pop_str) the whole separator splits.
TEST_F(StrEdit, ShiftAndPopTakeAnItemAndTheSeparatorNextToIt) {
    enum Op { Shift, Pop, ShiftText, PopText };
    const struct { Op op; const char *list, *separator, *item, *remaining; int32_t reported; } cases[] = {
        {Shift, "a;;b", ";,", "a", "b", ';'},          {Shift, ";a", ";,", "", "a", ';'},
        {Shift, "a,;b;c", ";,", "a", "b;c", ','},      {Shift, "abc", ";,", "abc", "<null>", 0},
        {Shift, "", ";,", "<NULL>", "", 0},            {Pop, "a;b;;c", ";,", "c", "a;b", ';'},
        {Pop, "a;", ";,", "", "a", ';'},               {Pop, "a;b,;c", ";,", "c", "a;b", ';'},
        {Pop, "abc", ";,", "abc", "<null>", 0},        {Pop, "", ";,", "<NULL>", "", 0},
        {PopText, "a\\b\\c", "\\", "c", "a\\b", 0},    {PopText, "a::b::", "::", "", "a::b", 0},
        {PopText, "abc", "::", "abc", "<null>", 0},    {PopText, nullptr, "\\", "<NULL>", "<null>", 0},
        {ShiftText, "a::b::c", "::", "a", "b::c", 0},  {ShiftText, "::a", "::", "", "a", 0},
        {ShiftText, "abc", "::", "abc", "<null>", 0},  {ShiftText, nullptr, "\\", "<NULL>", "<null>", 0},
        {ShiftText, "abc", "", "", "", 0},             // an empty separator is found at the start
        {PopText, "\\a", "\\", "\\a", "<null>", 0}};   // an occurrence at the start does not count
    for (const auto& c : cases) {
        Str list = make(c.list), separator = make(c.separator);
        int32_t reported = c.op == Shift || c.op == Pop ? 77 : 0; // only the set variants report
        str_t* item = c.op == Shift       ? str_shift(list.get(), separator.get(), &reported)
                      : c.op == Pop       ? str_pop(list.get(), separator.get(), &reported)
                      : c.op == ShiftText ? str_shift_str(list.get(), separator.get())
                                          : str_pop_str(list.get(), separator.get());
        EXPECT_EQ(shown(own(item)) + "|" + shown(list) + "|" + std::to_string(reported),
                  std::string(c.item) + "|" + c.remaining + "|" + std::to_string(c.reported))
            << "operation " << c.op << " on " << printable(c.list);
    }
}

// str_replace scans left to right without overlaps and changes the text;
// str_replace_all (its search a set of bytes) joins the pieces between runs
// into a new text.
TEST_F(StrEdit, ReplaceAndReplaceAll) {
    const struct { bool all; const char *text, *search, *replacement, *result; } cases[] = {
        {false, "aaa", "aa", "b", "ba"}, {false, "a.b.c", ".", "::", "a::b::c"}, {false, "abc", "", "x", "abc"},
        {false, "abc", "z", "x", "abc"}, {false, "", "a", "b", "<null>"}, {false, "abab", "ab", "", ""},
        {false, "xax", "a", "aa", "xaax"}, // the replacement is never scanned
        {true, ";a;;b;", ";", "-", "a-b"}, {true, "a;b", ";", nullptr, "ab"}, {true, "a;-b", ";", "-", "a-b"},
        {true, ";;", ";", "-", "<null>"}, {true, "", ";", "-", "<null>"}};
    for (const auto& c : cases) {
        Str s = make(c.text), search = make(c.search), replacement = make(c.replacement);
        Str all = own(c.all ? str_replace_all(s.get(), search.get(), replacement.get()) : nullptr);
        if (!c.all) str_replace(s.get(), search.get(), replacement.get());
        EXPECT_EQ(shown(c.all ? all : s), c.result) << c.text << " / " << c.search;
        EXPECT_TRUE(!c.all || shown(s) == c.text) << c.text << " changed";
    }
}

// A caller may fill a buffer through str_buffer to its last byte, leaving
// no terminator: the text then ends with the buffer, and no operation may
// read or write the byte after it (the sanitizer build checks). The file
// services read such a path up to the end of the buffer too.
TEST_F(StrEdit, TextWithoutTerminatorEndsWithTheBuffer) {
    using Operation = std::string (*)(str_t* s);
    const struct { const char *name, *filled; Operation run; const char* expected; } cases[] = {
        {"str_shift", "a;b/c", [](str_t* s) { return taken(str_shift(s, make(";").get(), nullptr), s); }, "a|b/c"},
        {"str_shift_str", "a;b/c", [](str_t* s) { return taken(str_shift_str(s, make(";").get()), s); }, "a|b/c"},
        {"str_unshift", "a;b/c", [](str_t* s) { str_unshift(s, make("x").get(), make(";").get()); return bounded(s); },
         "x;a;b/c"},
        {"str_cmp", "a;b/c", [](str_t* s) { Str same = make("a;b/c");
             return std::to_string(str_cmp(s, same.get())) + std::to_string(str_cmp(same.get(), s)); }, "00"},
        {"str_utf8_cmp", "a;b/c", [](str_t* s) { return std::to_string(str_utf8_cmp(s, "a;b/c")); }, "0"},
        {"str_find", "a;b/c", [](str_t* s) { return std::to_string(str_find(make("xa;b/c").get(), s, 0, 0)); }, "1"},
        {"path_localise", "a;b/c", [](str_t* s) { path_localise(s); return bounded(s); }, "a;b\\c"},
        {"str_truncate", "a;b/c", [](str_t* s) { str_truncate(s, 5); return bounded(s); }, "a;b/c"},
        {"str_simplify_whitespace", "ab cd", [](str_t* s) { str_simplify_whitespace(s); return bounded(s); }, "ab cd"},
        {"str_strip_whitespace", "a;b/c", [](str_t* s) { str_strip_whitespace(s); return bounded(s); }, "a;b/c"},
        {"str_to_double", "2.50", [](str_t* s) { int32_t ok = 0; const double value = str_to_double(s, &ok);
             return std::to_string(value) + (ok ? " ok" : " not ok"); }, "2.500000 ok"},
        {"path_exists", "..", [](str_t* s) { return std::to_string(path_exists(s)) + std::to_string(path_is_dir(s)); }, "11"}};
    for (const auto& c : cases) {
        Str s = make(nullptr);
        const size_t size = std::strlen(c.filled);
        std::memcpy(str_buffer(s.get(), static_cast<int32_t>(size) - 1), c.filled, size);
        ASSERT_EQ(s->capacity, static_cast<int32_t>(size));
        EXPECT_EQ(c.run(s.get()), c.expected) << c.name;
    }
}
