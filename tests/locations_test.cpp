// SPDX-License-Identifier: MIT
// The framework's folders: built-in defaults over the system's standard
// folders, the answers of a custom environment file, and the COMMON_LIB
// folder put on PATH. Every test starts with no custom environment loaded
// (reset_custom_environment) and leaves PATH as it found it.
#include "customenv_internal.h"
#include "test_support.hpp"

#include <keloutil/locations.hpp>

#include <cstdlib>
#include <fstream>
#include <optional>

namespace {

namespace fs = std::filesystem;
using namespace KeloUtil;

const char* const custom_variable = "NORVAXIS_KELO_CUSTOM_ENV";

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void set_variable(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name, value ? value->c_str() : "");
#else
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
#endif
}

class Locations : public LeakCheckedTest {
protected:
    void SetUp() override {
        set_variable("NORVAXIS_KELO_THINCLIENT_ENV", std::nullopt);
        set_variable(custom_variable, std::nullopt);
        keloutil::reset_custom_environment();
        LeakCheckedTest::SetUp();
    }
    void TearDown() override {
        set_variable(custom_variable, std::nullopt);
        set_variable("PATH", path_);
        LeakCheckedTest::TearDown();
        keloutil::reset_custom_environment();
        std::error_code ignored;
        fs::remove(file_, ignored);
    }

    // A custom environment file in force, with these keys for both platforms.
    void useCustomEnvironment(std::initializer_list<std::pair<const char*, const char*>> keys) {
        std::string body;
        for (const auto& [key, value] : keys)
            body += std::string("<KEY ID=\"") + key + "\"><STRING>" + value + "</STRING></KEY>";
        std::ofstream(file_, std::ios::binary) << "<KELOCUSTOMENV><PLATFORM OS=\"Linux\">" << body
                                               << "</PLATFORM><PLATFORM OS=\"Windows\">" << body
                                               << "</PLATFORM></KELOCUSTOMENV>";
        set_variable(custom_variable, file_.string());
        keloutil::reset_custom_environment();
    }

    const std::optional<std::string> path_ = variable("PATH");
    const fs::path file_ = fs::temp_directory_path() / ("keloutil_locations_" + std::to_string(std::rand()) + ".xml");
};

// The system's folders as the platform reports them to programs.
std::string system_folder(const char* windowsVariable, const char* linuxFolder) {
    return on_windows() ? variable(windowsVariable).value_or("<unset>") : linuxFolder;
}

} // namespace

TEST_F(Locations, BuiltInFolders) {
    const std::string shared = system_folder("CommonProgramFiles", "\\opt") + "\\Norvaxis Shared\\Kelo\\R5\\";
    const std::string data = system_folder("ProgramData", "\\var\\opt") + "\\Norvaxis\\Kelo\\R5\\";
    const struct {
        int32_t type;
        const char* locale;
        std::string expected;
    } cases[] = {
        {COMMON_BIN, "", shared},
        {COMMON_LIB, "fr_FR", shared}, // the locale is read only for localized data
        {COMMON_LOCALIZED_DATA, "fr_FR", shared + "fr-FR\\"},
        {COMMON_LOCALIZED_DATA, "de-de", shared + "de-DE\\"},
        {COMMON_LOCALIZED_DATA, "", shared},
        {COMMON_DATA, "", data},
        {LOG_FILE, "", data},
        {ERROR_TABLE, "", data},
        {6, "", ""},
        {11, "", ""},
        {-1, "", ""},
    };
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
    const std::optional<std::string> none;
    const struct {
        std::optional<std::string> xdg, home;
        const char* expected;
    } cases[] = {
        {"/x/data", "/home/u", "\\x\\data\\Norvaxis\\Kelo\\"},
        {"/x/data/", none, "\\x\\data\\Norvaxis\\Kelo\\"},
        {"", "/home/u", "\\home\\u\\.local\\share\\Norvaxis\\Kelo\\"},
        {none, "/", "\\.local\\share\\Norvaxis\\Kelo\\"},
        {none, none, ""},
    };
    const std::optional<std::string> xdg = variable("XDG_DATA_HOME"), home = variable("HOME");
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
    useCustomEnvironment({{"KELO_COMMON_DATA_LOCATION", "D:\\env"},
                          {"KELO_COMMON_LOCALIZED_DATA_LOCATION", "D:/env"},
                          {"KELO_LOG_FILE_LOCATION", "D:\\env\\"},
                          {"KELO_ERROR_TABLE_LOCATION", "D:/env/"},
                          {"KELO_APPLICATION_KELO_RESOURCE_LOCATION", "X:\\res"}});
    const struct {
        int32_t type;
        const char* locale;
        const char* expected;
    } cases[] = {
        {COMMON_DATA, "ja_JP", "D:\\env\\"},
        {COMMON_LOCALIZED_DATA, "ja_JP", "D:/env/ja-JP/"},
        {COMMON_LOCALIZED_DATA, "", "D:/env/"},
        {LOG_FILE, "", "D:\\env\\"},
        {ERROR_TABLE, "", "D:/env/"},
        {COMMON_BIN, "", ""}, // not defined: no location, not the built-in one
        {USER_SETTINGS_FILE, "", ""},
        {6, "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown(getKeloFileLocation(static_cast<KeloFileType>(c.type), c.locale)), c.expected) << c.type;
    EXPECT_EQ(shown(getKeloAPIFileLocationOverride(APPLICATION_KELO_RESOURCE, "ignored")), "X:\\res");
    EXPECT_TRUE(getKeloAPIFileLocationOverride(APPLICATION_ERROR_LOG_FILE, "").isEmpty());
    EXPECT_TRUE(getKeloAPIFileLocationOverride(static_cast<KeloAPIFileType>(2), "").isEmpty());
}

TEST_F(Locations, LibraryFolderJoinsPath) {
    const std::optional<std::string> unset;
    struct Case {
        const char* bin;
        const char* lib; // nullptr: the key is not defined
        std::optional<std::string> before, after;
    };
    // Windows: ";" between folders, case-insensitive, "\\;" lists a folder.
    const Case windows[] = {
        {"C:\\K\\R5\\", "c:\\lib\\", "C:\\a;C:\\Lib", "C:\\a;C:\\Lib"},
        {"C:\\K\\R5\\", "c:\\lib\\", "C:\\a;C:\\LIB\\;C:\\b", "C:\\a;C:\\LIB\\;C:\\b"},
        {"C:\\K\\R5\\", "c:\\lib\\", "C:\\LIBX;C:\\b", "C:\\LIBX;C:\\b;c:\\lib"},
        {"C:\\K\\R5\\", "C:\\lib", "C:\\a;", "C:\\a;C:\\lib"},
        {"C:\\K\\R5\\", "c:\\lib\\", "C:\\a;C:\\LIB\\", "C:\\a;C:\\LIB\\;c:\\lib"},
        {"C:\\K\\R5\\", "c:\\k\\r5", "C:\\a", "C:\\a"},
        {"C:\\K\\R5\\", "c:\\lib\\", unset, "c:\\lib"},
        {"C:\\K\\R5\\", nullptr, "C:\\a", "C:\\a"},
    };
    // Linux: native "/" form, ":" between folders, case-sensitive, "/" may
    // end a listed folder also at the very end.
    const Case posix[] = {
        {"/k/R5/", "/k/lib/", "/a:/k/lib", "/a:/k/lib"},
        {"/k/R5/", "/k/lib/", "/a:/k/lib/:/b", "/a:/k/lib/:/b"},
        {"/k/R5/", "/k/lib/", "/a:/k/lib/", "/a:/k/lib/"},
        {"/k/R5/", "/k/lib/", "/k/libx:/b", "/k/libx:/b:/k/lib"},
        {"/k/R5/", "/k/lib/", "/a:/K/LIB", "/a:/K/LIB:/k/lib"},
        {"/k/R5/", "/k/lib", "/a:", "/a:/k/lib"},
        {"/k/R5/", "\\k\\lib\\", "/a", "/a:/k/lib"},
        {"/k/R5/", "/k/R5", "/a", "/a"},
        {"/k/R5/", "/k/r5", "/a", "/a:/k/r5"},
        {"/k/R5/", "/k/lib/", unset, "/k/lib"},
        {"/k/R5/", "/k/lib/", "", "/k/lib"},
        {"/k/R5/", nullptr, "/a", "/a"},
    };
    for (const Case& c : on_windows() ? std::vector<Case>(std::begin(windows), std::end(windows))
                                      : std::vector<Case>(std::begin(posix), std::end(posix))) {
        if (c.lib != nullptr) {
            useCustomEnvironment({{"KELO_COMMON_BIN_LOCATION", c.bin}, {"KELO_COMMON_LIB_LOCATION", c.lib}});
        } else {
            useCustomEnvironment({{"KELO_COMMON_BIN_LOCATION", c.bin}});
        }
        set_variable("PATH", c.before);
        setCustomEnvPathVars();
        EXPECT_EQ(variable("PATH").value_or("<unset>"), c.after.value_or("<unset>"))
            << printable(c.lib) << " on " << c.before.value_or("<unset>");
    }
}
