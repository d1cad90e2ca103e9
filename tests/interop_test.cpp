// SPDX-License-Identifier: MIT
// keloSTRING conversions, UTF-16 measuring and the narrow copy of a TStr.
#include "test_support.hpp"

#include <vector>

namespace {

std::vector<uint16_t> units_of(const keloSTRING& s) {
    // The record made by the library ends with a zero unit: read it too.
    return std::vector<uint16_t>(s.data, s.data + s.length + 1);
}

} // namespace

using Interop = LeakCheckedTest;

TEST_F(Interop, TStrToRecordAndBack) {
    struct Case {
        const char* text; // nullptr: a null string
        std::vector<uint16_t> units;
    };
    const Case cases[] = {
        {"abc", {0x61, 0x62, 0x63, 0}},
        {"\xC3\xA9", {0x00E9, 0}},
        {"x\xF0\x9F\x98\x80y", {0x78, 0xD83D, 0xDE00, 0x79, 0}}, // outside the BMP: two units
        {"", {0}},
        {nullptr, {0}},
    };
    for (const Case& c : cases) {
        const TStr text(c.text);
        keloSTRING record{nullptr, -7};
        ASSERT_TRUE(KeloUtil::TStrTokeloSTRING(text, &record)) << printable(c.text);
        const Block owner = own_block(record.data);
        EXPECT_EQ(record.length, static_cast<int32_t>(c.units.size()) - 1) << printable(c.text);
        EXPECT_EQ(units_of(record), c.units) << printable(c.text);

        TStr back("previous");
        EXPECT_TRUE(KeloUtil::keloSTRINGToTStr(&record, back));
        EXPECT_EQ(shown(back), c.text != nullptr ? c.text : "");
    }
    EXPECT_FALSE(KeloUtil::TStrTokeloSTRING(TStr("a"), nullptr));
}

TEST_F(Interop, RecordToTStrRefusals) {
    uint16_t abc[] = {0x61, 0x62, 0x63, 0};
    struct Case {
        keloSTRING record;
        bool result;
        const char* text;
    };
    const Case cases[] = {
        {{abc, 2}, true, "ab"},   // the length rules, not the terminator
        {{abc, 0}, true, ""},     //
        {{abc, -1}, false, ""},   // out is emptied before the length is refused
        {{nullptr, 3}, false, ""} // no units to read
    };
    for (const Case& c : cases) {
        TStr out("previous");
        EXPECT_EQ(KeloUtil::keloSTRINGToTStr(&c.record, out), c.result) << c.record.length;
        EXPECT_EQ(shown(out), c.text) << c.record.length;
    }
    TStr untouched("previous");
    EXPECT_FALSE(KeloUtil::keloSTRINGToTStr(nullptr, untouched));
    EXPECT_EQ(shown(untouched), "previous");
}

TEST_F(Interop, CountsOfUnitsAndBytes) {
    const uint16_t abc[] = {0x61, 0x62, 0x63, 0};
    const uint16_t empty[] = {0, 0x61, 0};
    struct Case {
        const uint16_t* text;
        int32_t count;
        int32_t chars;
        int32_t bytes;
    };
    const Case cases[] = {
        {abc, -1, 4, 8},      {abc, 2, 4, 4},       {abc, 0, 4, 0},          {empty, -1, 0, 0},
        {empty, 5, 0, 0},     {nullptr, -1, 0, 0},  {nullptr, 3, 0, 0},      {abc, INT32_MAX, 4, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KeloUtil::getNumChars(c.text), c.chars);
        EXPECT_EQ(KeloUtil::getNumBytes(c.text, c.count), c.bytes) << c.count;
    }
}

TEST_F(Interop, UnitCountStopsAtTheCap) {
    constexpr int32_t cap = 0x100000;
    // Texts of n units: n + 1 up to the cap, the cap beyond it.
    for (const auto& [n, expected] : {std::pair{cap - 2, cap - 1}, {cap - 1, cap}, {cap, cap}, {cap + 5, cap}}) {
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
    struct Case {
        const char* text;
        bool withBuffer;
        int32_t size; // on entry, with a buffer
        bool result;
        int32_t sizeOut;
        const char* written; // nullptr: nothing to check
    };
    const Case cases[] = {
        {"abc", false, 99, true, 4, nullptr},  {"abc", true, 4, true, 4, "abc"}, {"abc", true, 8, true, 4, "abc"},
        {"abc", true, 3, true, 0, nullptr},    {"abc", true, 2, true, 0, nullptr}, {"abc", true, 0, false, 0, nullptr},
        {"abc", true, -1, false, 0, nullptr},  {"", false, 5, false, 0, nullptr}, {"", true, 5, false, 0, nullptr},
        {nullptr, true, 5, false, 0, nullptr},
    };
    for (const Case& c : cases) {
        char buffer[8] = "#######";
        int32_t size = c.size;
        EXPECT_EQ(KeloUtil::makeMultiByteString(TStr(c.text), c.withBuffer ? buffer : nullptr, size), c.result)
            << printable(c.text) << " " << c.size;
        EXPECT_EQ(size, c.sizeOut) << printable(c.text) << " " << c.size;
        if (c.written != nullptr) {
            EXPECT_STREQ(buffer, c.written);
        }
    }
}

TEST_F(Interop, NarrowCopyIsUtf8OffWindows) {
    if (on_windows()) GTEST_SKIP() << "the narrow text is in the system's code page there";
    const TStr text("\xC3\xA9\xF0\x9F\x98\x80");
    int32_t size = 0;
    EXPECT_TRUE(KeloUtil::makeMultiByteString(text, nullptr, size));
    EXPECT_EQ(size, 7);
    char buffer[7];
    EXPECT_TRUE(KeloUtil::makeMultiByteString(text, buffer, size));
    EXPECT_EQ(size, 7);
    EXPECT_STREQ(buffer, "\xC3\xA9\xF0\x9F\x98\x80");
}
