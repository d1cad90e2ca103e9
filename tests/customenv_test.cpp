// SPDX-License-Identifier: MIT
// The custom environment: which variable names the file, the load statuses,
// the element walk of a lookup and the expansion of "$NAME" references.
// Every test starts from a fresh instance (reset_custom_environment).
#include "custom_environment.hpp"
#include "test_support.hpp"

#include <fstream>

namespace {

namespace fs = std::filesystem;

const char* const thin_variable = "NORVAXIS_KELO_THINCLIENT_ENV";
const char* const custom_variable = "NORVAXIS_KELO_CUSTOM_ENV";

// Special contents for a variable: a file that does not exist, a directory.
const std::string missing = "<missing>";
const std::string directory = "<directory>";

// A good file; its value of KEY tells which file was read.
std::string good(const char* which) { return custom_environment({{"KEY", which}}); }

// A root with `count` child elements, or with `count` attributes.
std::string crowded(int count, bool attributes) {
    std::string out = attributes ? "<KELOCUSTOMENV" : "<KELOCUSTOMENV>";
    for (int i = 0; i < count; ++i) out += attributes ? " a" + std::to_string(i) + "=''" : "<a/>";
    return out + (attributes ? "/>" : "</KELOCUSTOMENV>");
}

class CustomEnvTest : public TempDirTest {
protected:
    void SetUp() override {
        keloutil::reset_custom_environment();
        TempDirTest::SetUp();
    }
    void TearDown() override {
        set_environment(thin_variable, "");
        set_environment(custom_variable, "");
        TempDirTest::TearDown();
        keloutil::reset_custom_environment();
    }

    // Points `variable` at a file holding `content` (or at one of the
    // special targets above), in a folder of its own.
    void point(const char* variable, const char* file, const std::string* content) {
        if (content == nullptr) return set_environment(variable, "");
        const fs::path path = root_ / file;
        if (*content == directory) fs::create_directories(path);
        else if (*content != missing) std::ofstream(path, std::ios::binary) << *content;
        set_environment(variable, path.string());
    }
};

struct LoadCase { const char* name; std::string thin, custom; bool thin_set, custom_set; int32_t status; const char* value; };

class CustomEnvLoad : public CustomEnvTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(CustomEnvLoad, StatusThinClientAndSource) {
    const LoadCase& c = GetParam();
    point(thin_variable, "thin.xml", c.thin_set ? &c.thin : nullptr);
    point(custom_variable, "custom.xml", c.custom_set ? &c.custom : nullptr);
    EXPECT_FALSE(KeloUtil::isThinClient()); // it does not load
    EXPECT_EQ(KeloUtil::loadCustomEnvSettings(), c.status);
    EXPECT_EQ(KeloUtil::hasCustomSettings(), c.status == 0);
    EXPECT_EQ(KeloUtil::isThinClient(), c.status == 0 && c.thin_set);
    EXPECT_EQ(shown(CKeloUtilCustomEnv::instance().getValue("KEY")), c.value);
    // Read once: later changes to the variables are not seen.
    set_environment(thin_variable, "");
    set_environment(custom_variable, "");
    EXPECT_EQ(KeloUtil::loadCustomEnvSettings(), c.status);
}

const LoadCase load_cases[] = {
    {"neither", "", "", false, false, 1, "<null>"}, {"custom", "", good("custom"), false, true, 0, "custom"},
    {"thin_wins", good("thin"), good("custom"), true, true, 0, "thin"},
    {"thin_missing_no_fallback", missing, good("custom"), true, true, 2, "<null>"},
    {"thin_malformed", "<KELOCUSTOMENV>", good("custom"), true, true, 2, "<null>"},
    {"custom_missing", "", missing, false, true, 3, "<null>"}, {"custom_empty", "", "", false, true, 3, "<null>"},
    {"custom_malformed", "", "<KELOCUSTOMENV><PLATFORM>", false, true, 3, "<null>"},
    {"custom_directory", "", directory, false, true, 3, "<null>"},
    {"custom_too_many_elements", "", crowded(5000, false), false, true, 3, "<null>"},
    {"custom_too_many_attributes", "", crowded(9000, true), false, true, 3, "<null>"},
    {"many_attributes", "", crowded(100, true), false, true, 0, "<null>"},
    {"other_root", "", "<OTHER/>", false, true, 0, "<null>"},
    {"crlf_and_bom", "", "\xEF\xBB\xBF" + good("bom") + "\r\n", false, true, 0, "bom"}};
INSTANTIATE_TEST_SUITE_P(Files, CustomEnvLoad, ::testing::ValuesIn(load_cases),
                         [](const auto& info) { return std::string(info.param.name); });

const std::string lookup_file =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- before the root -->\n<KELOCUSTOMENV>\n"
    "<OTHER OS=\"Linux\"><KEY ID=\"BEFORE\"><STRING>x</STRING></KEY></OTHER>"
    "<OTHER OS=\"Windows\"><KEY ID=\"BEFORE\"><STRING>x</STRING></KEY></OTHER>"
    "<PLATFORM OS=\"windows\"><KEY ID=\"LOWER\"><STRING>x</STRING></KEY></PLATFORM>"
    "<PLATFORM OS=\"linux\"><KEY ID=\"LOWER\"><STRING>x</STRING></KEY></PLATFORM>" +
    for_both_platforms("<KEY ID=\"SKIP\"><OTHER/></KEY><!-- between keys --><KEY ID=\"SKIP\"><STRING>found</STRING></KEY>"
                       "<KEY ID=\"LATER\"><STRING>first</STRING></KEY>"
                       "<KEY ID=\"KEEP\"><STRING>kept</STRING></KEY>"
                       "<KEY ID=\"MISSING\"><STRING>$KELO_TEST_MISSING\\y</STRING></KEY>"
                       "<KEY ID=\"DOLLAR\"><STRING>$</STRING></KEY>"
                       "<KEY ID=\"TWO\"><STRING>$KELO_TEST_A\\$KELO_TEST_B</STRING></KEY>"
                       "<KEY ID=\"WIDE\"><STRING>\xC3\xA9$KELO_TEST_B\\\xC3\xA9$KELO_TEST_B</STRING></KEY>"
                       "<KEY ID=\"LOOP\"><STRING>$KELO_TEST_LOOP</STRING></KEY>"
                       "<NAMED ID=\"NAMED\"><STRING>any name</STRING></NAMED>") +
    "<!-- between platforms -->" +
    for_both_platforms("<KEY ID=\"SIBLING\"><STRING>sibling</STRING></KEY>", "OTHER") +
    for_both_platforms("<KEY ID=\"LATER\"><STRING>second</STRING></KEY><KEY ID=\"KEEP\"><STRING></STRING></KEY>") +
    "</KELOCUSTOMENV>\n";

TEST_F(CustomEnvTest, LookupValuesAndMessages) {
    point(custom_variable, "lookup.xml", &lookup_file);
    const ScopedEnvironment variables[] = {
        {"KELO_TEST_A", "C:\\x"}, {"KELO_TEST_B", "2"}, {"KELO_TEST_LOOP", "x$KELO_TEST_LOOP"}, {"KELO_TEST_MISSING", ""}};
    ASSERT_TRUE(KeloUtil::hasCustomSettings());
    const std::string looped = std::string(64, 'x') + "$KELO_TEST_LOOP";
    const struct { const char *key, *value, *printed; } cases[] = {
        {"TWO", "C:\\x\\2", ""}, {"WIDE", "\xC3\xA9" "2\\\xC3\xA9" "2", ""},
        {"MISSING", "$KELO_TEST_MISSING\\y", "Environment variable KELO_TEST_MISSING cannot be found\n"},
        {"DOLLAR", "$", ""}, {"LOOP", looped.c_str(), ""}, {"SKIP", "found", ""}, {"LATER", "second", ""},
        {"KEEP", "kept", ""}, {"NAMED", "any name", ""}, {"SIBLING", "sibling", ""}, {"BEFORE", "<null>", ""},
        {"LOWER", "<null>", ""}, {"NONE", "<null>", ""}, {"", "<null>", ""}};
    for (const auto& c : cases) {
        ::testing::internal::CaptureStdout();
        const TStr value = CKeloUtilCustomEnv::instance().getValue(c.key);
        std::fflush(stdout);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.printed) << c.key;
        EXPECT_EQ(shown(value), c.value) << c.key;
    }
}

TEST(CustomEnvFind, CharacterPositions) {
    const struct { const char *text, *what; int32_t start, position; } cases[] = {
        {"h\xC3\xA9llo", "l", 0, 2}, {"h\xC3\xA9llo", "l", 3, 3}, {"abc", "c", 2, 2}, {"abc", "c", 3, -1},
        {"abc", "abcd", 0, -1}, {"abc", "", 0, -1}, {"", "a", 0, -1}, {"abc", "a", -1, -1}};
    for (const auto& c : cases) EXPECT_EQ(CKeloUtilCustomEnv::findText(c.text, c.what, c.start), c.position) << c.text;
}

} // namespace
