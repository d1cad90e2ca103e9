// SPDX-License-Identifier: MIT
// keloSTRING conversions, UTF-16 measuring and the narrow copy of a TStr.
#include "test_support.hpp"

#include <vector>

using Interop = LeakCheckedTest;

// A TStr to a record and back; then records that keloSTRINGToTStr refuses.
TEST_F(Interop, RecordConversions) {
    const struct { const char* text; std::vector<uint16_t> units; } cases[] = { // text nullptr: a null string
        {"abc", {0x61, 0x62, 0x63, 0}}, {"\xC3\xA9", {0x00E9, 0}},
        {"x\xF0\x9F\x98\x80y", {0x78, 0xD83D, 0xDE00, 0x79, 0}}, // outside the BMP: two units
        {"", {0}}, {nullptr, {0}}};
    for (const auto& c : cases) {
        keloSTRING record{nullptr, -7};
        ASSERT_TRUE(KeloUtil::TStrTokeloSTRING(TStr(c.text), &record)) << printable(c.text);
        const Block owner = own_block(record.data);
        EXPECT_EQ(record.length, static_cast<int32_t>(c.units.size()) - 1) << printable(c.text);
        // The record made by the library ends with a zero unit: read it too.
        EXPECT_EQ(std::vector<uint16_t>(record.data, record.data + record.length + 1), c.units) << printable(c.text);
        TStr back("previous");
        EXPECT_TRUE(KeloUtil::keloSTRINGToTStr(&record, back));
        EXPECT_EQ(shown(back), c.text != nullptr ? c.text : "");
    }
    EXPECT_FALSE(KeloUtil::TStrTokeloSTRING(TStr("a"), nullptr));

    uint16_t abc[] = {0x61, 0x62, 0x63, 0};
    const struct { keloSTRING record; bool result; const char* text; } records[] = {
        {{abc, 2}, true, "ab"},   // the length rules, not the terminator
        {{abc, 0}, true, ""},     //
        {{abc, -1}, false, ""},   // out is emptied before the length is refused
        {{nullptr, 3}, false, ""}}; // no units to read
    for (const auto& c : records) {
        TStr out("previous");
        EXPECT_EQ(KeloUtil::keloSTRINGToTStr(&c.record, out), c.result) << c.record.length;
        EXPECT_EQ(shown(out), c.text) << c.record.length;
    }
    TStr untouched("previous");
    EXPECT_FALSE(KeloUtil::keloSTRINGToTStr(nullptr, untouched));
    EXPECT_EQ(shown(untouched), "previous");
}

TEST_F(Interop, CountsOfUnitsAndBytesStopAtTheCap) {
    const uint16_t abc[] = {0x61, 0x62, 0x63, 0}, empty[] = {0, 0x61, 0};
    const struct { const uint16_t* text; int32_t count, chars, bytes; } cases[] = {
        {abc, -1, 4, 8},  {abc, 2, 4, 4},      {abc, 0, 4, 0},
        {empty, 5, 0, 0}, {nullptr, 3, 0, 0}, {abc, INT32_MAX, 4, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(KeloUtil::getNumChars(c.text), c.chars);
        EXPECT_EQ(KeloUtil::getNumBytes(c.text, c.count), c.bytes) << c.count;
    }
    // Texts of n units: n + 1 up to the cap, the cap beyond it.
    constexpr int32_t cap = 0x100000;
    for (const auto& [n, expected] : {std::pair{cap - 2, cap - 1}, {cap - 1, cap}, {cap, cap}}) {
        std::vector<uint16_t> text(static_cast<size_t>(n) + 1, 0x41);
        text.back() = 0;
        EXPECT_EQ(KeloUtil::getNumChars(text.data()), expected) << n;
        EXPECT_EQ(KeloUtil::getNumBytes(text.data(), -1), 2 * expected) << n;
    }
    // No terminator at all: nothing past the cap is read (the sanitizer
    // build would see it).
    const std::vector<uint16_t> unterminated(cap, 0x41);
    EXPECT_EQ(KeloUtil::getNumChars(unterminated.data()), cap);
}

TEST_F(Interop, NarrowCopySizes) {
    // The size on entry and as left; what was written (nullptr: nothing to check).
    const struct { const char* text; bool withBuffer; int32_t size; bool result; int32_t sizeOut; const char* written; }
        cases[] = {
        {"abc", false, 99, true, 4, nullptr}, {"abc", true, 4, true, 4, "abc"},  {"abc", true, 8, true, 4, "abc"},
        {"abc", true, 3, true, 0, nullptr},   {"abc", true, 0, false, 0, nullptr}, {"", false, 5, false, 0, nullptr},
        {nullptr, true, 5, false, 0, nullptr}};
    for (const auto& c : cases) {
        char buffer[8] = "#######";
        int32_t size = c.size;
        EXPECT_EQ(KeloUtil::makeMultiByteString(TStr(c.text), c.withBuffer ? buffer : nullptr, size), c.result)
            << printable(c.text) << " " << c.size;
        EXPECT_EQ(size, c.sizeOut) << printable(c.text) << " " << c.size;
        if (c.written != nullptr) { EXPECT_STREQ(buffer, c.written); }
    }
    // Off Windows the narrow text is the UTF-8 (there, the system's code page).
    if (on_windows()) return;
    const TStr text("\xC3\xA9\xF0\x9F\x98\x80");
    char buffer[7];
    int32_t size = 0;
    EXPECT_TRUE(KeloUtil::makeMultiByteString(text, nullptr, size) && size == 7);
    EXPECT_TRUE(KeloUtil::makeMultiByteString(text, buffer, size) && size == 7);
    EXPECT_STREQ(buffer, "\xC3\xA9\xF0\x9F\x98\x80");
}
