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

const char* const kDefault = "<default>"; // stands for getKeloDefaultLocale()

struct InternalCase {
    const char* locale;
    bool useDefault;
    const char* expected;
};

class InternalLocale : public LeakCheckedParamTest<InternalCase> {};

TEST_P(InternalLocale, Normalizes) {
    const InternalCase& c = GetParam();
    const std::string expected = c.expected == kDefault ? text(KeloUtil::getKeloDefaultLocale()) : c.expected;
    EXPECT_EQ(text(KeloUtil::getKeloInternalLocale(TStr(c.locale), c.useDefault)), expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, InternalLocale, ::testing::Values(
    InternalCase{"EN-us", false, "en_US"},
    InternalCase{"zh-tw", true, "zh_TW"}, // the last of the supported list, not the default
    InternalCase{"pt-BR", true, "pt_BR"},
    // Well-formed but not supported: normalized, or the default.
    InternalCase{"nl_NL", false, "nl_NL"},
    InternalCase{"nl-nl", true, kDefault},
    // Abbreviations of installed locales, in any case; an unknown one is en_US.
    InternalCase{"deu", false, "de_DE"},
    InternalCase{"PTB", true, "pt_BR"},
    InternalCase{"XYZ", false, "en_US"},
    InternalCase{"NLD", false, "nl_NL"},
    InternalCase{"NLD", true, kDefault},
    // Neither form.
    InternalCase{"", false, ""},
    InternalCase{"d1_DE", false, ""},
    InternalCase{"de.DE", false, ""},
    InternalCase{"de_DEU", false, ""},
    InternalCase{"d\xC3\xA9_DE", false, ""}, // five characters, one not ASCII
    InternalCase{"\xC3\x89NU", false, ""},
    InternalCase{"de.DE", true, kDefault}));

struct DirCase {
    const char* locale;
    const char* expected; // kDefault: the default locale's folder
};

class LocaleDir : public LeakCheckedParamTest<DirCase> {};

TEST_P(LocaleDir, IsTheFolderName) {
    const DirCase& c = GetParam();
    std::string expected = c.expected;
    if (c.expected == kDefault) {
        expected = text(KeloUtil::getKeloDefaultLocale());
        expected[2] = '-';
    }
    EXPECT_EQ(text(KeloUtil::getKeloLocaleDir(TStr(c.locale))), expected);
}

INSTANTIATE_TEST_SUITE_P(Locales, LocaleDir, ::testing::Values(
    DirCase{"ja_JP", "ja-JP"},
    DirCase{"pt-br", "pt-BR"},
    DirCase{"deu", "de-DE"},
    DirCase{"nl_NL", kDefault}));

TEST(DefaultLocale, IsAnLlCcName) {
    const std::string locale = text(KeloUtil::getKeloDefaultLocale());
    ASSERT_EQ(locale.size(), 5u) << locale;
    EXPECT_EQ(locale[2], '_');
}

#ifndef _WIN32
// Linux only: the default locale comes from the environment, read at each
// call; Windows asks the system for the user's locale.
struct EnvironmentCase {
    const char* lcAll;      // nullptr: unset
    const char* lcMessages;
    const char* lang;
    const char* expected;
};

class DefaultLocaleFromEnvironment : public LeakCheckedParamTest<EnvironmentCase> {
protected:
    // Unset for each case, put back afterwards.
    const ScopedEnvironment saved_[3] = {{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", ""}};

    // Set to an empty value is not unset: the library must skip both.
    static void set(const char* name, const char* value) {
        if (value != nullptr) setenv(name, value, 1);
    }
};

TEST_P(DefaultLocaleFromEnvironment, FollowsTheFirstSetVariable) {
    const EnvironmentCase& c = GetParam();
    set("LC_ALL", c.lcAll);
    set("LC_MESSAGES", c.lcMessages);
    set("LANG", c.lang);
    EXPECT_EQ(text(KeloUtil::getKeloDefaultLocale()), c.expected);
    // The default reaches the other two functions.
    EXPECT_EQ(text(KeloUtil::getKeloInternalLocale(TStr("xx"), true)), c.expected);
    std::string dir = c.expected;
    dir[2] = '-';
    EXPECT_EQ(text(KeloUtil::getKeloLocaleDir(TStr("nl_NL"))), dir);
}

INSTANTIATE_TEST_SUITE_P(Locales, DefaultLocaleFromEnvironment, ::testing::Values(
    EnvironmentCase{nullptr, nullptr, "de_DE.UTF-8", "de_DE"},
    EnvironmentCase{nullptr, nullptr, "C", "en_US"},
    EnvironmentCase{nullptr, nullptr, nullptr, "en_US"},
    EnvironmentCase{nullptr, nullptr, "xx_YY.UTF-8", "en_US"},
    EnvironmentCase{nullptr, nullptr, "_DE", "en_US"},
    EnvironmentCase{nullptr, nullptr, "de_de", "en_US"},
    EnvironmentCase{"it_IT.UTF-8", "ja_JP", "de_DE", "it_IT"},
    EnvironmentCase{"", "ja_JP.eucJP", "de_DE", "ja_JP"},
    EnvironmentCase{"", "", "fr_FR", "fr_FR"},
    EnvironmentCase{"C", nullptr, "fr_FR", "en_US"}, // a set LC_ALL decides, even when unmatched
    EnvironmentCase{nullptr, nullptr, "nl_NL@euro", "nl_NL"}, // not supported, still the default
    EnvironmentCase{nullptr, nullptr, "sr_RS.UTF-8@latin", "sr_RS"})); // several LCIDs match
#endif

} // namespace
