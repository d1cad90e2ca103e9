// SPDX-License-Identifier: MIT
// The framework's folders: built-in defaults over the system's standard
// folders, the answers of a custom environment file, and the COMMON_LIB
// folder put on PATH. Every test starts with no custom environment loaded
// (reset_custom_environment) and leaves PATH as it found it.
#include "custom_environment.hpp"
#include "test_support.hpp"

#include <keloutil/locations.hpp>

#include <cstdlib>
#include <optional>

namespace {

using namespace KeloUtil;

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// Sets the variable, also to an empty value (Windows: unsets it then), or
// unsets it.
void set_variable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
#endif
}

class Locations : public LeakCheckedTest {
protected:
    void SetUp() override {
        set_variable("NORVAXIS_KELO_THINCLIENT_ENV", std::nullopt);
        set_variable("NORVAXIS_KELO_CUSTOM_ENV", std::nullopt);
        keloutil::reset_custom_environment();
        LeakCheckedTest::SetUp();
    }
    void TearDown() override {
        set_variable("PATH", path_);
        LeakCheckedTest::TearDown();
        keloutil::reset_custom_environment();
    }

    const std::optional<std::string> path_ = variable("PATH");
};

// The system's folders as the platform reports them to programs.
std::string system_folder(const char* windowsVariable, const char* linuxFolder) {
    return on_windows() ? variable(windowsVariable).value_or("<unset>") : linuxFolder;
}

} // namespace

TEST_F(Locations, BuiltInFolders) {
    const std::string shared = system_folder("CommonProgramFiles", "\\opt") + "\\Norvaxis Shared\\Kelo\\R5\\";
    const std::string data = system_folder("ProgramData", "\\var\\opt") + "\\Norvaxis\\Kelo\\R5\\";
    const struct { int32_t type; const char* locale; std::string expected; } cases[] = {
        {COMMON_BIN, "", shared}, {COMMON_LIB, "fr_FR", shared}, // the locale is read only for localized data
        {COMMON_LOCALIZED_DATA, "fr_FR", shared + "fr-FR\\"}, {COMMON_LOCALIZED_DATA, "", shared},
        {COMMON_DATA, "", data}, {LOG_FILE, "", data}, {ERROR_TABLE, "", data}, {6, "", ""}, {-1, "", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(shown(getKeloFileLocation(static_cast<KeloFileType>(c.type), c.locale)), c.expected) << c.type;
    EXPECT_EQ(shown(getKeloFileLocation(USER_SETTINGS_FILE, "")), shown(getKeloLocalUserDataLocation()));
    for (int32_t type : {0, 1, 2, -1})
        EXPECT_TRUE(getKeloAPIFileLocationOverride(static_cast<KeloAPIFileType>(type), "x").isEmpty()) << type;
}

TEST_F(Locations, UserDataFolder) {
    if (on_windows()) {
        const std::string expected = variable("LOCALAPPDATA").value_or("<unset>") + "\\Norvaxis\\Kelo\\";
        EXPECT_EQ(shown(getKeloLocalUserDataLocation()), expected);
        return;
    }
    // XDG_DATA_HOME, else HOME; set and empty counts as unset.
    const std::optional<std::string> none, xdg = variable("XDG_DATA_HOME"), home = variable("HOME");
    const struct { std::optional<std::string> xdg, home; const char* expected; } cases[] = {
        {"/x/data", "/home/u", "\\x\\data\\Norvaxis\\Kelo\\"}, {"/x/data/", none, "\\x\\data\\Norvaxis\\Kelo\\"},
        {"", "/home/u", "\\home\\u\\.local\\share\\Norvaxis\\Kelo\\"},
        {none, "/", "\\.local\\share\\Norvaxis\\Kelo\\"}, {none, none, ""}};
    for (const auto& c : cases) {
        set_variable("XDG_DATA_HOME", c.xdg);
        set_variable("HOME", c.home);
        EXPECT_EQ(shown(getKeloLocalUserDataLocation()), c.expected)
            << c.xdg.value_or("-") << " " << c.home.value_or("-");
    }
    set_variable("XDG_DATA_HOME", xdg);
    set_variable("HOME", home);
}

TEST_F(Locations, CustomEnvironmentIsTheOnlySource) {
    const CustomEnvironmentFile custom(custom_environment({{"KELO_COMMON_DATA_LOCATION", "D:\\env"},
                                                           {"KELO_COMMON_LOCALIZED_DATA_LOCATION", "D:/env"},
                                                           {"KELO_LOG_FILE_LOCATION", "D:\\env\\"},
                                                           {"KELO_ERROR_TABLE_LOCATION", "D:/env/"},
                                                           {"KELO_APPLICATION_KELO_RESOURCE_LOCATION", "X:\\res"}}));
    const struct { int32_t type; const char *locale, *expected; } cases[] = {
        {COMMON_DATA, "ja_JP", "D:\\env\\"}, {COMMON_LOCALIZED_DATA, "ja_JP", "D:/env/ja-JP/"},
        {COMMON_LOCALIZED_DATA, "", "D:/env/"}, {LOG_FILE, "", "D:\\env\\"}, {ERROR_TABLE, "", "D:/env/"},
        {COMMON_BIN, "", ""}, {USER_SETTINGS_FILE, "", ""}}; // not defined: no location, not the built-in one
    for (const auto& c : cases)
        EXPECT_EQ(shown(getKeloFileLocation(static_cast<KeloFileType>(c.type), c.locale)), c.expected) << c.type;
    EXPECT_EQ(shown(getKeloAPIFileLocationOverride(APPLICATION_KELO_RESOURCE, "ignored")), "X:\\res");
    for (int32_t type : {1, 2}) // not defined, out of range
        EXPECT_TRUE(getKeloAPIFileLocationOverride(static_cast<KeloAPIFileType>(type), "").isEmpty()) << type;
}

TEST_F(Locations, LibraryFolderJoinsPath) {
    const std::optional<std::string> unset;
    struct Case { const char* lib; std::optional<std::string> before, after; }; // lib nullptr: the key is not defined
    // Windows, COMMON_BIN C:\K\R5\: ";" between folders, case-insensitive,
    // "\;" lists a folder.
    const std::vector<Case> windows = {
        {"c:\\lib\\", "C:\\a;C:\\Lib", "C:\\a;C:\\Lib"}, {"c:\\lib\\", "C:\\a;C:\\LIB\\;C:\\b", "C:\\a;C:\\LIB\\;C:\\b"},
        {"c:\\lib\\", "C:\\LIBX;C:\\b", "C:\\LIBX;C:\\b;c:\\lib"}, {"C:\\lib", "C:\\a;", "C:\\a;C:\\lib"},
        {"c:\\lib\\", "C:\\a;C:\\LIB\\", "C:\\a;C:\\LIB\\;c:\\lib"}, {"c:\\k\\r5", "C:\\a", "C:\\a"},
        {"c:\\lib\\", unset, "c:\\lib"}, {nullptr, "C:\\a", "C:\\a"}};
    // Linux, COMMON_BIN /k/R5/: native "/" form, ":" between folders,
    // case-sensitive, "/" may end a listed folder also at the very end.
    const std::vector<Case> posix = {
        {"/k/lib/", "/a:/k/lib", "/a:/k/lib"}, {"/k/lib/", "/a:/k/lib/:/b", "/a:/k/lib/:/b"},
        {"/k/lib/", "/a:/k/lib/", "/a:/k/lib/"}, {"/k/lib/", "/k/libx:/b", "/k/libx:/b:/k/lib"},
        {"/k/lib/", "/a:/K/LIB", "/a:/K/LIB:/k/lib"}, {"/k/lib", "/a:", "/a:/k/lib"},
        {"\\k\\lib\\", "/a", "/a:/k/lib"}, {"/k/R5", "/a", "/a"}, {"/k/lib/", unset, "/k/lib"},
        {"/k/lib/", "", "/k/lib"}, {nullptr, "/a", "/a"}};
    const char* const bin = on_windows() ? "C:\\K\\R5\\" : "/k/R5/";
    for (const Case& c : on_windows() ? windows : posix) {
        const CustomEnvironmentFile custom(
            c.lib != nullptr
                ? custom_environment({{"KELO_COMMON_BIN_LOCATION", bin}, {"KELO_COMMON_LIB_LOCATION", c.lib}})
                : custom_environment({{"KELO_COMMON_BIN_LOCATION", bin}}));
        set_variable("PATH", c.before);
        setCustomEnvPathVars();
        EXPECT_EQ(variable("PATH").value_or("<unset>"), c.after.value_or("<unset>"))
            << printable(c.lib) << " on " << c.before.value_or("<unset>");
    }
}
