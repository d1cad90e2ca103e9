// SPDX-License-Identifier: MIT
// Searching, case, white space and the escape pair.
#include "test_support.hpp"

#include <utility>

using StrSearch = LeakCheckedTest;

TEST_F(StrSearch, FindReturnsAByteOffsetFromACharacterStart) {
    const struct { const char *haystack, *needle; int32_t start; bool case_sensitive; int32_t found; } cases[] = {
        {"hello", "lo", 0, true, 3},       {"HeLlo", "lO", 0, false, 3},      {"hello", "LO", 0, true, -1},
        {"hello", "lo", 4, true, -1},      {"hello", "lo", 9, true, -1},      {"hello", "lo", -1, true, -1},
        {"h\xC3\xA9llo", "l", 3, true, 4}, {"hello", "", 5, true, 5},         {nullptr, "a", 0, true, -1},
        {"STRA\xC3\x9F" "E", "strasse", 0, false, -1}}; // only ASCII letters fold
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.needle) + " in " + printable(c.haystack) + " from " + std::to_string(c.start));
        Str haystack = make(c.haystack), needle = make(c.needle);
        EXPECT_EQ(str_utf8_find(haystack.get(), c.needle, c.start, c.case_sensitive), c.found);
        EXPECT_EQ(str_find(haystack.get(), needle.get(), c.start, c.case_sensitive), c.found);
    }
}

// The length is stored only when a span is found. The last rows: overlapping
// openings, empty delimiters, a closing inside an opening.
TEST_F(StrSearch, FindSpanGivesTheInnermostSpanThatEndsFirst) {
    const struct { const char *text, *open, *close; int32_t start, at, length; } cases[] = {
        {"a!{b!{41}}c", "!{", "}", 0, 4, 5}, {"!{41}", "!{", "}", 0, 0, 5}, {"x}!{1}", "!{", "}", 0, 2, 4},
        {"!{1}", "!{", "}", 1, -1, -7}, {"}{", "!{", "}", 0, -1, -7}, {"!{a}!{b}", "!{", "}", 4, 4, 4},
        {"!{1}", nullptr, "}", 0, -1, -7}, {"aaa}", "aa", "}", 0, 1, 3}, {"x}y", "", "}", 0, 0, 2},
        {"ab", "a", "", 0, 0, 1}, {"!{!{", "!{", "{", 0, 0, 2}};
    for (const auto& c : cases) {
        int32_t length = -7;
        Str text = make(c.text), open = make(c.open), close = make(c.close);
        EXPECT_EQ(str_find_span(text.get(), c.open ? open.get() : nullptr, close.get(), &length, c.start), c.at) << c.text;
        EXPECT_EQ(length, c.length) << c.text;
    }
}

// Letters where a continuation byte belongs stay as they are, also within
// long ASCII runs, with the sequence across the point where a run of 16
// bytes would end.
TEST_F(StrSearch, CaseMappingTouchesAsciiLettersOnly) {
    const std::string run(15, 'a'), upper_run(15, 'A');
    const std::pair<std::string, std::string> cases[] = {
        {"stra\xC3\x9F" "e 1-z", "STRA\xC3\x9F" "E 1-Z"}, {"\xC3" "a", "\xC3" "a"},
        {run + "\xF0" "abc" + run + run, upper_run + "\xF0" "abc" + upper_run + upper_run}};
    for (const auto& [lower, upper] : cases) {
        Str s = make(lower.c_str());
        str_upper(s.get());
        EXPECT_EQ(shown(s), upper);
        str_lower(s.get());
        EXPECT_EQ(shown(s), lower);
    }
}

TEST_F(StrSearch, StripAndSimplifyWhiteSpace) {
    const struct { const char *text, *stripped, *simplified; } cases[] = {
        {"  a \t\n b  c ", "a \t\n b  c", "a b c"}, {" \t a b \r\n", "a b", "a b"}, {"   ", "", ""},
        {"\x0B" "x\x0C", "x", "x"},
        {" \xC3\xA9 \xC3\xA9 ", "\xC3\xA9 \xC3\xA9", "\xC3\xA9 \xC3\xA9"},
        {"\xE2  ", "\xE2  ", "\xE2  "}, // the spaces belong to the cut sequence
        {nullptr, "<null>", "<null>"}};
    for (const auto& c : cases) {
        Str stripped = make(c.text), simplified = make(c.text);
        const int32_t capacity = stripped->capacity;
        str_strip_whitespace(stripped.get());
        str_simplify_whitespace(simplified.get());
        EXPECT_EQ(shown(stripped) + "|" + shown(simplified), std::string(c.stripped) + "|" + c.simplified)
            << printable(c.text);
        EXPECT_EQ(stripped->capacity, capacity) << "stripped in place";
    }
}

TEST_F(StrSearch, CollapseAndExpandEscapes) {
    const struct { const char *text, *characters, *collapsed; } collapses[] = {
        {"a{b", "", "a!{7b}b"}, {" a  b ", " ", "a!{20}b"}, {"a!b}c", "", "a!{21}b!{7d}c"}, {"plain", " ", "plain"},
        {"   ", " ", "<null>"}, {"a b", " ", "a!{20}b"}};
    for (const auto& c : collapses) {
        Str s = make(c.text), characters = make(c.characters);
        str_collapse(s.get(), characters.get());
        EXPECT_EQ(shown(s), c.collapsed) << c.text;
    }
    const struct { const char *text, *expanded; } expansions[] = {
        {"!{e9}", "\xC3\xA9"}, {"a!{zz}b", "ab"}, {"!{1f600}", "\xF0\x9F\x98\x80"}, {"!{41", "!{41"}, {"", ""},
        {"a!{20}b!{7b}", "a b{"}};
    for (const auto& e : expansions) {
        Str s = make(e.text);
        str_expand(s.get());
        EXPECT_EQ(shown(s), e.expanded) << e.text;
    }
}
