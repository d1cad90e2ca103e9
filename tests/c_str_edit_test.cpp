// Appending, comparing, cutting, lists and replacing.
#include "test_support.hpp"

#include <ostream>

using StrEdit = LeakCheckedTest;

TEST_F(StrEdit, CatAppendsWholeTextsAndLeadingCharacters) {
    Str s = make("ab");
    Str tail = make("c\xC3\xA9");
    EXPECT_EQ(str_cat(s.get(), tail.get()), 5);
    EXPECT_EQ(shown(s), "abc\xC3\xA9");
    EXPECT_EQ(str_cat(s.get(), s.get()), 10); // appending itself
    EXPECT_EQ(shown(s), "abc\xC3\xA9" "abc\xC3\xA9");

    Str limited = make("x");
    EXPECT_EQ(str_cat_utf8_limit(limited.get(), "\xC3\xA9\xC3\xA9z", 2), 5); // two characters, four bytes
    EXPECT_EQ(shown(limited), "x\xC3\xA9\xC3\xA9");
    EXPECT_EQ(str_cat_utf8_limit(limited.get(), "more", 100), 9);

    Str null_string = make(nullptr);
    EXPECT_EQ(str_cat_utf8_limit(null_string.get(), "hello", 3), 3); // set, then cut to 3 characters
    EXPECT_EQ(shown(null_string), "hel");
    EXPECT_EQ(str_cat(null_string.get(), nullptr), 3);
    EXPECT_EQ(str_utf8_cat_limit(null_string.get(), "p!", 1), 0);
    EXPECT_EQ(shown(null_string), "help");
}

TEST_F(StrEdit, CmpOrdersNullBeforeEmptyAndBytesUnsigned) {
    const struct {
        const char* a;
        const char* b;
        int32_t sign;
    } cases[] = {
        {nullptr, nullptr, 0}, {nullptr, "", -1}, {"", nullptr, 1},  {"", "", 0},
        {"a", "b", -1},        {"b", "a", 1},     {"ab", "a", 1},    {"\xC3\xA9", "z", 1}, // é after z
    };
    for (const auto& c : cases) {
        Str a = make(c.a);
        Str b = make(c.b);
        const int32_t result = str_cmp(a.get(), b.get());
        EXPECT_EQ((result > 0) - (result < 0), c.sign) << shown(a) << " vs " << shown(b);
        const int32_t against_text = str_utf8_cmp(a.get(), c.b);
        EXPECT_EQ((against_text > 0) - (against_text < 0), c.sign);
        EXPECT_EQ(str_ascii_cmp(a.get(), c.b), against_text);
    }
}

TEST_F(StrEdit, CuttingCountsCharacters) {
    Str hello = make("h\xC3\xA9llo"); // héllo
    EXPECT_EQ(shown(own(str_left(hello.get(), 2))), "h\xC3\xA9");
    EXPECT_EQ(shown(own(str_left(hello.get(), -1))), "h\xC3\xA9llo");
    EXPECT_EQ(shown(own(str_left(hello.get(), 99))), "h\xC3\xA9llo");
    EXPECT_EQ(shown(own(str_right(hello.get(), 3))), "llo");
    EXPECT_EQ(shown(own(str_right(hello.get(), 4))), "\xC3\xA9llo");
    EXPECT_EQ(shown(own(str_right(hello.get(), 99))), "h\xC3\xA9llo");

    Str abc = make("abcdef");
    EXPECT_EQ(shown(own(str_mid(abc.get(), 2, 3))), "cde");
    EXPECT_EQ(shown(own(str_mid(abc.get(), 2, -1))), "cdef");
    EXPECT_EQ(shown(own(str_mid(abc.get(), 2, 100))), "cdef");
    EXPECT_EQ(shown(own(str_mid(abc.get(), 6, 1))), "");
    EXPECT_EQ(str_mid(abc.get(), 7, 1), nullptr);
    EXPECT_EQ(shown(own(str_mid(hello.get(), 1, 2))), "\xC3\xA9"); // start in characters, length in bytes

    Str null_string = make(nullptr);
    EXPECT_EQ(shown(own(str_left(null_string.get(), 2))), "");
    EXPECT_EQ(str_right(null_string.get(), 2), nullptr);
    EXPECT_EQ(str_left(nullptr, 1), nullptr);

    EXPECT_EQ(str_at(hello.get(), 1), static_cast<signed char>('\xC3'));
    EXPECT_EQ(str_at(hello.get(), 2), 'l');
    EXPECT_EQ(str_at(hello.get(), 5), 0);
    EXPECT_EQ(str_at(hello.get(), -1), 0);
}

TEST_F(StrEdit, TruncateAndPad) {
    Str s = make("h\xC3\xA9llo");
    EXPECT_EQ(str_truncate(s.get(), 9), nullptr);
    char* end = str_truncate(s.get(), 2);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(end - s->buffer, 3);
    EXPECT_EQ(shown(s), "h\xC3\xA9");

    const struct {
        const char* unit;
        int32_t n;
        const char* padded;
    } pads[] = {{"*", 5, "*****"}, {"ab", 3, "aba"}, {"ab", 0, ""}, {"", 4, ""}, {nullptr, 4, ""},
                {"\xC3\xA9", 3, "\xC3\xA9\xC3\xA9"}}; // 4 bytes reach 3, then 3 characters are kept
    for (const auto& p : pads) {
        Str unit = make(p.unit);
        EXPECT_EQ(shown(own(str_pad(unit.get(), p.n))), p.padded) << shown(unit) << " to " << p.n;
    }
}

struct JoinCase {
    const char* list;
    const char* item;
    const char* separator;
    const char* pushed;
    const char* unshifted;
};

void PrintTo(const JoinCase& c, std::ostream* os) {
    *os << printable(c.item) << " onto " << printable(c.list) << " with " << printable(c.separator);
}

class ListJoins : public LeakCheckedParamTest<JoinCase> {};

TEST_P(ListJoins, PushAndUnshiftJoinWithExactlyOneSeparator) {
    const JoinCase& c = GetParam();
    Str item = make(c.item);
    Str separator = make(c.separator);
    Str pushed = make(c.list);
    str_push(pushed.get(), item.get(), separator.get());
    EXPECT_EQ(shown(pushed), c.pushed);
    Str unshifted = make(c.list);
    str_unshift(unshifted.get(), item.get(), separator.get());
    EXPECT_EQ(shown(unshifted), c.unshifted);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ListJoins,
    ::testing::Values(JoinCase{"a;b", "c", ";", "a;b;c", "c;a;b"}, JoinCase{"a;b;", "c", ";", "a;b;c", "c;a;b;"},
                      JoinCase{"a;b;", ";c", ";", "a;b;c", ";c;a;b;"}, JoinCase{"", "c", ";", ";c", "c;"},
                      JoinCase{nullptr, "c", ";", "c", "c"}, JoinCase{"b", "a", ";", "b;a", "a;b"},
                      JoinCase{";b", "a;", ";", ";b;a;", "a;b"}, JoinCase{"a", "", ";", "a", "a"},
                      JoinCase{"a", nullptr, ";", "a", "a"}, JoinCase{"a", "b", nullptr, "ab", "ba"},
                      JoinCase{"C:\\a\\", "\\b", "\\", "C:\\a\\b", "\\b\\C:\\a\\"}));

TEST_F(StrEdit, PushOntoItself) {
    Str s = make("ab");
    Str separator = make(";");
    str_push(s.get(), s.get(), separator.get());
    EXPECT_EQ(shown(s), "ab;ab");
    str_unshift(s.get(), s.get(), separator.get());
    EXPECT_EQ(shown(s), "ab;ab;ab;ab");
}

struct TakeCase {
    const char* list;
    const char* item;      // "<null>" for NULL
    const char* remaining; // "<null>" for a null list
    int32_t separator;
};

void PrintTo(const TakeCase& c, std::ostream* os) { *os << printable(c.list); }

class ShiftBySet : public LeakCheckedParamTest<TakeCase> {};
class PopBySet : public LeakCheckedParamTest<TakeCase> {};

TEST_P(ShiftBySet, TakesTheFirstItemAndTheRunAfterIt) {
    const TakeCase& c = GetParam();
    Str list = make(c.list);
    Str set = make(";,");
    int32_t separator = 77;
    Str item = own(str_shift(list.get(), set.get(), &separator));
    EXPECT_EQ(item ? shown(item) : "<null>", c.item);
    EXPECT_EQ(shown(list), c.remaining);
    EXPECT_EQ(separator, c.separator);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShiftBySet,
                         ::testing::Values(TakeCase{"a;;b", "a", "b", ';'}, TakeCase{";a", "", "a", ';'},
                                           TakeCase{"abc", "abc", "<null>", 0}, TakeCase{"a,;b;c", "a", "b;c", ','},
                                           TakeCase{"", "<null>", "", 0}));

TEST_P(PopBySet, TakesTheLastItemAndTheRunBeforeIt) {
    const TakeCase& c = GetParam();
    Str list = make(c.list);
    Str set = make(";,");
    int32_t separator = 77;
    Str item = own(str_pop(list.get(), set.get(), &separator));
    EXPECT_EQ(item ? shown(item) : "<null>", c.item);
    EXPECT_EQ(shown(list), c.remaining);
    EXPECT_EQ(separator, c.separator);
}

INSTANTIATE_TEST_SUITE_P(Cases, PopBySet,
                         ::testing::Values(TakeCase{"a;b;;c", "c", "a;b", ';'}, TakeCase{"a;", "", "a", ';'},
                                           TakeCase{"abc", "abc", "<null>", 0}, TakeCase{"a;b,;c", "c", "a;b", ';'},
                                           TakeCase{"", "<null>", "", 0}));

TEST_F(StrEdit, ShiftAndPopBySeparatorText) {
    const struct {
        bool pop;
        const char* list;
        const char* separator;
        const char* item;
        const char* remaining;
    } cases[] = {
        {true, "\\a", "\\", "\\a", "<null>"}, // an occurrence at the start does not count
        {true, "a\\b\\c", "\\", "c", "a\\b"},
        {true, "a::b::", "::", "", "a::b"},
        {true, "abc", "::", "abc", "<null>"},
        {false, "a::b::c", "::", "a", "b::c"},
        {false, "::a", "::", "", "a"},
        {false, "abc", "::", "abc", "<null>"},
        {false, "abc", "", "", ""}, // an empty separator is found at the start
    };
    for (const auto& c : cases) {
        Str list = make(c.list);
        Str separator = make(c.separator);
        Str item = own(c.pop ? str_pop_str(list.get(), separator.get()) : str_shift_str(list.get(), separator.get()));
        EXPECT_EQ(shown(item), c.item) << (c.pop ? "pop " : "shift ") << c.list;
        EXPECT_EQ(shown(list), c.remaining) << (c.pop ? "pop " : "shift ") << c.list;
    }
    Str null_list = make(nullptr);
    Str separator = make("\\");
    EXPECT_EQ(str_pop_str(null_list.get(), separator.get()), nullptr);
    EXPECT_EQ(str_shift_str(null_list.get(), separator.get()), nullptr);
}

TEST_F(StrEdit, ReplaceScansLeftToRightWithoutOverlaps) {
    const struct {
        const char* text;
        const char* search;
        const char* replacement;
        const char* result;
    } cases[] = {
        {"aaa", "aa", "b", "ba"},      {"a.b.c", ".", "::", "a::b::c"}, {"abc", "", "x", "abc"},
        {"abc", "z", "x", "abc"},      {"", "a", "b", "<null>"},        {"abab", "ab", "", ""},
        {"xax", "a", "aa", "xaax"}, // the replacement is never scanned
    };
    for (const auto& c : cases) {
        Str s = make(c.text);
        Str search = make(c.search);
        Str replacement = make(c.replacement);
        str_replace(s.get(), search.get(), replacement.get());
        EXPECT_EQ(shown(s), c.result) << c.text << " / " << c.search;
    }
}

TEST_F(StrEdit, ReplaceAllJoinsThePiecesBetweenRuns) {
    const struct {
        const char* text;
        const char* joiner;
        const char* result;
    } cases[] = {{";a;;b;", "-", "a-b"}, {"a;b", nullptr, "ab"}, {"a;-b", "-", "a-b"}, {";;", "-", "<null>"}, {"", "-", "<null>"}};
    Str set = make(";");
    for (const auto& c : cases) {
        Str s = make(c.text);
        Str joiner = make(c.joiner);
        EXPECT_EQ(shown(own(str_replace_all(s.get(), set.get(), joiner.get()))), c.result) << c.text;
        EXPECT_EQ(shown(s), c.text); // unchanged
    }
}
