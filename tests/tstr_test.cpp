// SPDX-License-Identifier: MIT
// TStr: ownership, the conversion cache, char and integer operands, objects
// without a record, and what the methods hand to c_str.
#include "test_support.hpp"

#include <iomanip>
#include <ostream>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

using namespace std::string_literals;

void PrintTo(const TStr& s, std::ostream* os) { *os << '"' << shown(s) << '"'; }

namespace {

using TStrTest = LeakCheckedTest;

// 16-bit units holding the given bytes in memory order.
template <size_t N>
std::vector<uint16_t> from_bytes(const char (&data)[N]) {
    std::vector<uint16_t> out((N - 1) / 2);
    std::memcpy(out.data(), data, N - 1);
    return out;
}

} // namespace

// Mixed operands must each pick one overload (this compiles only if they do).
TEST_F(TStrTest, OverloadsAndCharOperands) {
    const TStr s("x"), pattern("%1");
    TStr sum = s + "y" + 'z' + uint32_t{'!'};
    EXPECT_EQ(shown(((sum += "1") += '2') += TStr('3')), "xyz!123");
    EXPECT_EQ(shown("<" + s), "<x");
    EXPECT_TRUE(s == "x" && "x" == s && !(s != "x") && !("x" != s) && s && !TStr() && !TStr(""));
    EXPECT_EQ(TStr(U'\u20AC'), TStr(uint32_t{0x20AC}));
    EXPECT_TRUE(s.find("x") == 0 && s[0] == uint32_t{'x'} && hash(s) == s.hash());
    EXPECT_EQ(shown(pattern.arg(5)) + shown(pattern.arg(1.5)), "51.5");
    EXPECT_EQ(shown(pattern.arg("y")) + shown(pattern.arg('c')), "yc");

    // A char after + is ASCII, after += a one-byte UTF-8 text.
    EXPECT_EQ(shown(TStr("a") + '\xE9'), "a?");
    EXPECT_EQ(shown(TStr("a") += '\xE9'), "a" + shown(make("\xE9")));
}

TEST_F(TStrTest, CachedConversionLastsUntilAnotherEncodingIsAsked) {
    TStr s("ab");
    const uint16_t* first = s.toUtf16LE();
    EXPECT_EQ(s.toUtf16LE(), first);
    EXPECT_STREQ(s.latin1(), "ab");
    EXPECT_EQ(bytes(s.toUtf16LE(), 6), "a\0b\0\0\0"s);

    // Writing through buffer() shows only once the caller drops the cache.
    s.buffer(2)[0] = 'X';
    EXPECT_EQ(bytes(s.toUtf16LE(), 2), "a\0"s);
    s.clearCachedEncoding();
    EXPECT_STREQ(s.latin1(), "Xb");

    // A last sequence cut short by the terminator ends the text there.
    const TStr cut("a\xE2");
    EXPECT_STREQ(cut.latin1(), "a");
    EXPECT_EQ(bytes(cut.toUtf16LE(), 4) + bytes(cut.toUtf8(), 3), "a\0\0\0" "a\xE2\0"s);
}

// Every edit must drop the conversion that latin1() cached before it; edits
// whose operand is the object itself, or points into its cache, must read
// the text as it was.
TEST_F(TStrTest, EditsLeaveNoStaleConversion) {
    const struct { const char* start; void (*edit)(TStr&); const char* expected; } cases[] = {
        {"a,b", [](TStr& s) { const TStr other("xy"); s = other; }, "xy"},
        {"a,b", [](TStr& s) { s = TStr("xy"); }, "xy"}, {"a,b", [](TStr& s) { s.cat(TStr("c")); }, "a,bc"},
        {"a,b", [](TStr& s) { s += "c"; }, "a,bc"}, {"a,b", [](TStr& s) { s += 'c'; }, "a,bc"},
        {"a,b", [](TStr& s) { s.setUtf8("xy"); }, "xy"},
        {"a,b", [](TStr& s) { const uint16_t t[] = {'x', 'y'}; s.setUtf16(t, 4); }, "xy"},
        {"a,b", [](TStr& s) { s.setUtf16BE(from_bytes("\0x\0y").data(), 4); }, "xy"},
        {"a,b", [](TStr& s) { s.setUtf16LE(from_bytes("x\0y\0").data(), 4); }, "xy"},
        {"a,b", [](TStr& s) { const uint32_t t[] = {'x', 'y'}; s.setUtf32(t, 8); }, "xy"},
        {"a,b", [](TStr& s) { s.setAscii("xy"); }, "xy"}, {"a,b", [](TStr& s) { s.clear(); }, ""},
        {"a,b", [](TStr& s) { s.replace(",", "-"); }, "a-b"}, {"a,b", [](TStr& s) { s.replaceAll(",", "+"); }, "a+b"},
        {"a,b", [](TStr& s) { s.truncate(1); }, "a"}, {"a,b", [](TStr& s) { s.push("c", ","); }, "a,b,c"},
        {"a,b", [](TStr& s) { s.unshift("c", ","); }, "c,a,b"},
        {"a,b", [](TStr& s) { EXPECT_EQ(s.pop(","), "b"); }, "a"},
        {"a,b", [](TStr& s) { EXPECT_EQ(s.popString(","), "b"); }, "a"},
        {"a,b", [](TStr& s) { EXPECT_EQ(s.shift(","), "a"); }, "b"},
        {"a,b", [](TStr& s) { EXPECT_EQ(s.shiftString(","), "a"); }, "b"},
        {"ab", [](TStr& s) { const TStr& same = s; s = same; }, "ab"}, {"ab", [](TStr& s) { s += s; }, "abab"},
        {"ab", [](TStr& s) { s.push(s, ","); }, "ab,ab"}, {"ab", [](TStr& s) { s += s.latin1(); }, "abab"},
        {"ab", [](TStr& s) { s.setUtf8(s.toUtf8()); }, "ab"}, {"ab", [](TStr& s) { s.setAscii(s.latin1()); }, "ab"}};
    for (const auto& c : cases) {
        TStr s(c.start);
        ASSERT_STREQ(s.latin1(), c.start);
        c.edit(s);
        EXPECT_STREQ(s.latin1(), c.expected) << "case " << &c - cases;
    }
}

TEST_F(TStrTest, NonAsciiAndWideText) {
    EXPECT_EQ(shown(TStr("x") += uint32_t{0x20AC}), "x\xE2\x82\xAC");
    EXPECT_EQ(shown(TStr("x") + uint32_t{0x1F600}), "x\xF0\x9F\x98\x80");
    const TStr e("\xC3\xA9");
    EXPECT_TRUE(e.length() == 2 && e.utf8CharCount() == 1 && e.at(0) == 0xFFFFFFC3u && e[1] == 0u);

    const uint32_t abc32[] = {0x61, 0x62, 0x63, 0};
    const uint16_t abcd16[] = {0x61, 0x62, 0x63, 0x64, 0};
    TStr set;
    set.setUtf16(abcd16, 6); // bytes, not units
    EXPECT_EQ(shown(TStr(abc32)) + shown(TStr(abc32, 2)) + shown(TStr(abcd16)) + shown(TStr(abcd16, 3)) + shown(set),
              "abc" "ab" "abcd" "abc" "abc");

    // A mark in host order (not counted), and one announcing the other order.
    const uint16_t marked[] = {0xFEFF, 0x41, 0}, swapped[] = {0xFFFE, 0x4100, 0};
    EXPECT_EQ(shown(TStr(marked, 1)) + shown(TStr(swapped)), "AA");
    EXPECT_EQ(shown(TStr::fromUcs2(from_bytes("A\0\xE9\0\0\0").data())), "A\xC3\xA9");
}

// A count of units whose byte length does not fit 32 bits is refused, never
// wrapped into a shorter length.
TEST_F(TStrTest, HugeUnitCountsGiveANullString) {
    const uint16_t units16[] = {'a', 'b', 0};
    const uint32_t units32[] = {'a', 'b', 0};
    for (int32_t count : {-1, 0x40000000, 0x7FFFFFFF}) EXPECT_TRUE(TStr(units16, count).isNull()) << count;
    for (int32_t count : {-1, 0x20000000, 0x40000001, 0x7FFFFFFF}) EXPECT_TRUE(TStr(units32, count).isNull()) << count;
}

TEST_F(TStrTest, AdoptionMovesAndObjectsWithoutARecord) {
    EXPECT_TRUE(TStr::null.isNull() && TStr::null.isEmpty() && !TStr::null && TStr::null.length() == 0);
    EXPECT_TRUE(TStr::null.latin1() == nullptr && TStr(TStr::null).handle() == nullptr);

    const TStr null_string, copy_of_null_string(null_string);
    EXPECT_TRUE(null_string.isNull() && null_string == TStr::null);
    EXPECT_STREQ(null_string.latin1(), "");
    EXPECT_TRUE(!copy_of_null_string.isNull() && copy_of_null_string.isEmpty());

    // An edit gives such an object a record of its own.
    EXPECT_EQ(shown(TStr(TStr::null) += "a"), "a");
    TStr null_self;
    null_self += null_self; // appends a null string, as str_cat(r, r) does
    EXPECT_TRUE(null_self.isNull());
    EXPECT_TRUE(TStr(static_cast<void*>(nullptr)).buffer(2) != nullptr && TStr::null.handle() == nullptr);

    str_t* record = str_from_utf8("abc");
    TStr source(static_cast<void*>(record));
    EXPECT_EQ(source.handle(), record); // no copy; released with the object

    source.latin1();
    TStr target(std::move(source));
    EXPECT_TRUE(target.handle() == record && source.handle() == nullptr && source.latin1() == nullptr);

    target = TStr(); // a null string arrives empty, as a copy would make it
    EXPECT_TRUE(!target.isNull() && target.isEmpty());
}

#define READER(method, Unit) [](const TStr& s, void* out) { return s.method(static_cast<Unit*>(out), 32); }
#define ALLOC(method) [](const TStr& s) -> void* { return s.method(); }

TEST_F(TStrTest, ConversionsEndWithTheTerminator) {
    // "Aé" in each encoding, without the terminator, and the readers into a
    // buffer and into a new block of that encoding, if any.
    const struct { int32_t encoding; std::string text; size_t terminator; bool (*read)(const TStr&, void* out);
                   void* (*read_alloc)(const TStr&); } cases[] = {
        {STR_ENC_ASCII, "A?", 1, READER(ascii, char), ALLOC(cstr_alloc)},
        {STR_ENC_UTF8, "A\xC3\xA9", 1, READER(utf8, char), ALLOC(utf8_alloc)},
        {STR_ENC_UTF16, units<uint16_t>({0xFEFF, 'A', 0xE9}), 2, READER(utf16, uint16_t), ALLOC(utf16_alloc)},
        {STR_ENC_UTF16BE, "\0A\0\xE9"s, 2, READER(utf16be, uint16_t), ALLOC(utf16be_alloc)},
        {STR_ENC_UTF16LE, "A\0\xE9\0"s, 2, READER(utf16le, uint16_t), ALLOC(utf16le_alloc)},
        {STR_ENC_UTF32, units<uint32_t>({'A', 0xE9}), 4, READER(utf32, uint32_t), nullptr},
        // Unknown identifiers: an empty text ended by four zero bytes.
        {-1, "", 4, nullptr, nullptr}, {6, "", 4, nullptr, nullptr}};
    const TStr s("A\xC3\xA9");
    for (const auto& c : cases) {
        const std::string expected = c.text + std::string(c.terminator, '\0');
        EXPECT_EQ(bytes(s.asEncoding(c.encoding), expected.size()), expected) << "encoding " << c.encoding;
        EXPECT_EQ(bytes(TStr().asEncoding(c.encoding), c.terminator), std::string(c.terminator, '\0'));
        EXPECT_EQ(TStr::null.asEncoding(c.encoding), nullptr);
        alignas(4) char out[32] = {};
        if (c.read != nullptr) { EXPECT_TRUE(c.read(s, out) && bytes(out, expected.size()) == expected) << c.encoding; }
        if (c.read_alloc) { EXPECT_EQ(bytes(own_block(c.read_alloc(s)).get(), expected.size()), expected) << c.encoding; }
    }
}

TEST_F(TStrTest, DerivedCopiesLeaveTheSourceAlone) {
    const TStr s(" ab  CD "), plain("a b"), escaped("x!{41}y");
    const std::pair<TStr, const char*> derived[] = {
        {s.mid(1, 2), "ab"},            {s.left(3), " ab"},               {s.right(3), "CD "},
        {s.upper(), " AB  CD "},        {s.lower(), " ab  cd "},          {s.stripWhiteSpace(), "ab  CD"},
        {s.simplifyWhiteSpace(), "ab CD"}, {plain.collapse(" "), "a!{20}b"}, {escaped.expand(), "xAy"}};
    for (const auto& [copy, expected] : derived) EXPECT_EQ(shown(copy), expected);
    EXPECT_TRUE(shown(s) == " ab  CD " && shown(plain) == "a b" && shown(escaped) == "x!{41}y");
}

// The default arguments and the order of width, base, format and fill.
TEST_F(TStrTest, ArgumentsNumbersSearchAndComparison) {
    EXPECT_EQ(shown(TStr("%2-%1").arg(7, 3, 10, '0').arg('x', -2, '.')), "x.-007");
    EXPECT_EQ(shown(TStr("%1").arg(2.5, 6, 'f', 2, '_')), "__2.50");
    EXPECT_EQ(shown(TStr("%1").arg(0.5f, 0, 'e', 0)), "5e-01");
    EXPECT_EQ(shown(TStr("%1").arg(TStr("ab"), 3, '*')), "*ab");
    EXPECT_EQ(shown(TStr::number(255, 16)), "ff");

    bool ok[5] = {};
    EXPECT_TRUE(TStr("ff").toInt(&ok[0], 16) == 255 && TStr("-7").toLong(&ok[1]) == -7);
    EXPECT_TRUE(TStr("2.5").toDouble(&ok[2]) == 2.5 && TStr("0.25").toFloat(&ok[3]) == 0.25f);
    TStr("x").toInt(&ok[4]);
    EXPECT_TRUE(ok[0] && ok[1] && ok[2] && ok[3] && !ok[4]);

    const TStr bab("bab");
    EXPECT_TRUE(bab.find("b", 1) == 2 && bab.indexOf("b", 1, true) == 2 && bab.find('b', 1) == 2);
    EXPECT_EQ(bab.indexOf(TStr("B"), 0, false), 0);
    int32_t length = 0;
    EXPECT_TRUE(TStr("x(a)").findSpan("(", ")", &length) == 1 && length == 3);

    for (const auto& [low, high] : {std::pair{"ab", "abc"}, std::pair{"z", "\xC3\xA9"}}) { // bytes unsigned
        const TStr a(low), b(high);
        EXPECT_TRUE(a < b && a <= b && !(a > b) && !(a >= b) && a != b) << low;
        EXPECT_TRUE(a < high && a <= high && !(a > high) && !(a >= high) && a != high) << low;
        EXPECT_TRUE(b > low && b >= low && !(b < low) && !(b <= low) && low != b) << high;
    }
    EXPECT_TRUE(TStr("x") <= "x" && TStr("x") >= "x");
}

// Streams, string views, std::string and the unordered containers all see
// the UTF-8 bytes; the views convert only when asked, so a literal still
// makes and compares UTF-8 through the const char* overloads.
TEST_F(TStrTest, StandardLibraryFace) {
    static_assert(!std::is_convertible_v<std::string_view, TStr> && std::is_constructible_v<TPath, std::string>);
    const char buffer[] = "[x\\Gr\xC3\xBC\xC3\x9F" "e]";
    const struct { std::string_view view; const char* text; } cases[] = {
        {"", ""}, {"a", "a"}, {"\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},
        {std::string_view(buffer + 1, sizeof buffer - 3), "x\\Gr\xC3\xBC\xC3\x9F" "e"}, // no NUL after it
        {std::string_view("b\0c", 3), "b"}};                                          // a NUL ends the text
    std::unordered_map<TStr, int> strings;
    std::unordered_map<TPath, int> paths;
    for (const auto& c : cases) {
        const int index = static_cast<int>(&c - cases);
        const TStr s(c.view);
        std::ostringstream out;
        out << s << '|' << TPath(c.view);
        EXPECT_EQ(out.str(), c.text + "|"s + c.text);
        EXPECT_EQ(s.toStdString(), c.text);
        EXPECT_TRUE(s == TStr(c.text) && !s.isNull());
        EXPECT_EQ(std::hash<TStr>()(s), std::hash<TStr>()(TStr(c.text)));
        EXPECT_EQ(std::hash<TPath>()(TPath(c.view)), std::hash<TPath>()(TPath(c.text)));
        EXPECT_TRUE(strings.emplace(s, index).second && paths.emplace(TPath(c.view), index).second);
    }
    for (const auto& c : cases) {
        EXPECT_EQ(strings.at(TStr(c.text)), &c - cases) << c.text;
        EXPECT_EQ(paths.at(TPath(c.text)), &c - cases) << c.text;
    }
    // A null string is not the empty one; paths are not normalised.
    EXPECT_TRUE(strings.count(TStr()) == 0 && paths.count(TPath("x/Gr\xC3\xBC\xC3\x9F" "e")) == 0);

    std::ostringstream padded;
    padded << std::setw(5) << std::setfill('.') << TStr("\xC3\xA9") << TStr::null << std::left << std::setw(3) << TStr("a");
    EXPECT_EQ(padded.str(), "...\xC3\xA9" "a..");

    const TStr e("\xC3\xA9");
    EXPECT_TRUE(e == "\xC3\xA9" && "\xC3\xA9" == e && e.length() == 2 && TStr(std::string("\xC3\xA9")) == e);
    EXPECT_STREQ(static_cast<const char*>(e), "?");
}
