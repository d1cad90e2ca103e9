// SPDX-License-Identifier: MIT
// Locale names: normalisation, the abbreviations of the installed locales,
// the supported list, the folder names, and (on Linux) the user's default
// locale read from the environment.
#include "test_support.hpp"

#include <cstdlib>

namespace {

std::string text(const TStr& s) {
    const char* utf8 = s.toUtf8();
    return utf8 != nullptr ? utf8 : "";
}

// The default locale, or its folder name ("ll-CC").
std::string default_locale(bool as_folder = false) {
    std::string locale = text(KeloUtil::getKeloDefaultLocale());
    if (as_folder && locale.size() > 2) locale[2] = '-';
    return locale;
}

const char* const kDefault = "<default>"; // stands for the default locale

using Locales = LeakCheckedTest;

} // namespace

TEST_F(Locales, InternalLocaleNormalizes) {
    const struct { const char* locale; bool useDefault; const char* expected; } cases[] = {
        {"EN-us", false, "en_US"},
        {"zh-tw", true, "zh_TW"}, // the last of the supported list, not the default
        {"pt-BR", true, "pt_BR"},
        // Well-formed but not supported: normalized, or the default.
        {"nl_NL", false, "nl_NL"}, {"nl-nl", true, kDefault},
        // Abbreviations of installed locales, in any case; an unknown one is en_US.
        {"deu", false, "de_DE"}, {"PTB", true, "pt_BR"}, {"XYZ", false, "en_US"}, {"NLD", false, "nl_NL"},
        {"NLD", true, kDefault},
        // Neither form.
        {"", false, ""}, {"d1_DE", false, ""}, {"de.DE", false, ""}, {"de_DEU", false, ""},
        {"d\xC3\xA9_DE", false, ""}, // five characters, one not ASCII
        {"\xC3\x89NU", false, ""}, {"de.DE", true, kDefault}};
    for (const auto& c : cases)
        EXPECT_EQ(text(KeloUtil::getKeloInternalLocale(TStr(c.locale), c.useDefault)),
                  c.expected == kDefault ? default_locale() : c.expected) << c.locale << " " << c.useDefault;
}

TEST_F(Locales, DirIsTheFolderName) {
    const std::pair<const char*, const char*> cases[] = {
        {"ja_JP", "ja-JP"}, {"pt-br", "pt-BR"}, {"deu", "de-DE"}, {"nl_NL", kDefault}};
    for (const auto& [locale, expected] : cases)
        EXPECT_EQ(text(KeloUtil::getKeloLocaleDir(TStr(locale))), expected == kDefault ? default_locale(true) : expected);
}

TEST(DefaultLocale, IsAnLlCcName) {
    const std::string locale = default_locale();
    ASSERT_EQ(locale.size(), 5u) << locale;
    EXPECT_EQ(locale[2], '_');
}

#ifndef _WIN32
// Linux only: the default locale comes from the environment, read at each
// call, the first variable set deciding; Windows asks the system for the
// user's locale. The default reaches the other two functions.
TEST_F(Locales, DefaultFollowsTheFirstSetVariable) {
    const struct { const char *lcAll, *lcMessages, *lang, *expected; } cases[] = { // nullptr: unset
        {nullptr, nullptr, "de_DE.UTF-8", "de_DE"},
        {nullptr, nullptr, "C", "en_US"},
        {nullptr, nullptr, nullptr, "en_US"},
        {nullptr, nullptr, "xx_YY.UTF-8", "en_US"},
        {nullptr, nullptr, "_DE", "en_US"},
        {nullptr, nullptr, "de_de", "en_US"},
        {"it_IT.UTF-8", "ja_JP", "de_DE", "it_IT"},
        {"", "ja_JP.eucJP", "de_DE", "ja_JP"}, // set to an empty value is not unset: skipped too
        {"", "", "fr_FR", "fr_FR"},
        {"C", nullptr, "fr_FR", "en_US"}, // a set LC_ALL decides, even when unmatched
        {nullptr, nullptr, "nl_NL@euro", "nl_NL"}, // not supported, still the default
        {nullptr, nullptr, "sr_RS.UTF-8@latin", "sr_RS"}}; // several LCIDs match
    const ScopedEnvironment saved[3] = {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", ""}}; // put back afterwards
    for (const auto& c : cases) {
        const char* const names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
        const char* const values[] = {c.lcAll, c.lcMessages, c.lang};
        for (int i = 0; i < 3; ++i) values[i] != nullptr ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
        const std::string lang = printable(c.lang);
        EXPECT_EQ(default_locale(), c.expected) << lang;
        EXPECT_EQ(text(KeloUtil::getKeloInternalLocale(TStr("xx"), true)), c.expected) << lang;
        EXPECT_EQ(text(KeloUtil::getKeloLocaleDir(TStr("nl_NL"))), default_locale(true)) << lang;
    }
}
#endif
