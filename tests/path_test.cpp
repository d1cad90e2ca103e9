// Path text rules and file-system queries.
#include "test_support.hpp"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace fs = std::filesystem;

namespace {

bool on_windows() { return sizeof(wchar_t) == 2; }

// A path in the library's form ("\\" between components).
std::string library_form(const fs::path& path) {
    std::string text = path.u8string();
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

} // namespace

using PathText = LeakCheckedTest;

TEST_F(PathText, LocaliseAndAbsoluteness) {
    Str mixed = make("a/b\\c/d");
    path_localise(mixed.get());
    EXPECT_EQ(shown(mixed), "a\\b\\c\\d");
    Str null_path = make(nullptr);
    path_localise(null_path.get());
    EXPECT_TRUE(str_null(null_path.get()));

    const struct {
        const char* text;
        int32_t absolute;
        int32_t absolute_on_posix;
    } cases[] = {{"C:\\x", 1, 1}, {"C:x", 1, 1}, {"C:", 0, 0}, {"\\\\srv\\share", 0, 1},
                 {"/tmp", 0, 1},  {"\\tmp", 0, 1}, {"", 0, 0},  {"sub\\f", 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(path_is_absolute(make(c.text).get()), on_windows() ? c.absolute : c.absolute_on_posix) << c.text;
}

TEST_F(PathText, JoiningKeepsOneSeparator) {
    const struct {
        const char* path;
        const char* piece;
        const char* pushed;
        const char* unshifted;
    } cases[] = {{"C:\\a\\", "b", "C:\\a\\b", "b\\C:\\a\\"},   {"C:\\a", "\\b", "C:\\a\\b", "\\b\\C:\\a"},
                 {"C:\\a\\", "\\b", "C:\\a\\b", "\\b\\C:\\a\\"}, {"C:\\a", "", "C:\\a", "C:\\a"},
                 {"b", "C:\\a", "b\\C:\\a", "C:\\a\\b"},          {"\\b", "C:\\a\\", "\\b\\C:\\a\\", "C:\\a\\b"},
                 {nullptr, "x", "x", "x"},                        {"C:/a", "b", "C:/a\\b", "b\\C:/a"}};
    for (const auto& c : cases) {
        Str piece = make(c.piece);
        Str pushed = make(c.path);
        path_push(pushed.get(), piece.get());
        EXPECT_EQ(shown(pushed), c.pushed);
        Str unshifted = make(c.path);
        path_unshift(unshifted.get(), piece.get());
        EXPECT_EQ(shown(unshifted), c.unshifted);
    }
}

TEST_F(PathText, SplittingComponents) {
    const struct {
        bool pop;
        const char* path;
        const char* taken;
        const char* left;
    } cases[] = {{true, "C:\\a\\b.txt", "b.txt", "C:\\a"}, {true, "C:\\", "", "C:"},
                 {true, "name", "name", "<null>"},        {true, "\\name", "\\name", "<null>"},
                 {false, "a\\b\\c", "a", "b\\c"},          {false, "\\a", "", "a"},
                 {false, "C:\\a\\b", "C:", "a\\b"},        {false, "name", "name", "<null>"}};
    for (const auto& c : cases) {
        Str path = make(c.path);
        Str taken = own(c.pop ? path_pop(path.get()) : path_shift(path.get()));
        EXPECT_EQ(shown(taken), c.taken) << c.path;
        EXPECT_EQ(shown(path), c.left) << c.path;
    }
    Str empty = make(nullptr);
    EXPECT_EQ(path_pop(empty.get()), nullptr);
}

TEST_F(PathText, ExtensionBaseNameAndDirName) {
    const struct {
        const char* path;
        const char* extension;
    } extensions[] = {{"a.txt", "txt"},      {"archive.tar.gz", "gz"}, {"C:\\x.y\\name", ""}, {"name", ""},
                      {"name.", ""},         {".profile", ""},          {"C:/a/b.tar.gz", "gz"}};
    for (const auto& e : extensions) EXPECT_EQ(shown(own(path_ext(make(e.path).get()))), e.extension) << e.path;
    EXPECT_EQ(path_ext(make(nullptr).get()), nullptr);

    Str path = make("C:/dir/file.txt");
    EXPECT_EQ(shown(own(path_basename(path.get()))), "file.txt");
    EXPECT_EQ(shown(path), "C:\\dir\\file.txt"); // localised, otherwise kept
    EXPECT_EQ(shown(own(path_dirname(path.get()))), "C:\\dir");
    EXPECT_EQ(path_permissions(path.get()), 0);
    EXPECT_EQ(path_chmod(path.get(), 0644), 1);
}

TEST_F(PathText, AbsoluteJoinsTheWorkingDirectory) {
    Str cwd = own(path_cwd());
    ASSERT_FALSE(str_empty(cwd.get()));
    EXPECT_EQ(shown(cwd), library_form(fs::current_path()));
    EXPECT_EQ(shown(own(path_absolute(make("sub\\f").get()))), shown(cwd) + "\\sub\\f");
    EXPECT_EQ(shown(own(path_absolute(make("sub/f").get()))), shown(cwd) + "\\sub/f"); // not localised
    EXPECT_EQ(shown(own(path_absolute(make("C:\\x").get()))), "C:\\x");
    if (on_windows()) GTEST_SKIP() << "a path from the root is absolute on POSIX systems only";
    EXPECT_EQ(shown(own(path_absolute(make("/etc/hosts").get()))), "/etc/hosts");
}

// Each test gets a fresh directory of its own under the system's temporary
// directory, removed afterwards.
class PathFiles : public LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        root_ = fs::temp_directory_path() / ("keloutil-path-" + std::to_string(std::random_device{}()));
        fs::create_directories(root_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
        LeakCheckedTest::TearDown();
    }
    // A path under the directory, in the library's form.
    Str at(const std::string& relative) const { return make((library_form(root_) + "\\" + relative).c_str()); }
    void write(const std::string& relative, const std::string& content) const {
        std::ofstream(root_ / fs::u8path(relative), std::ios::binary) << content;
    }

    fs::path root_;
};

TEST_F(PathFiles, QueriesAnswerForFilesDirectoriesAndMissingPaths) {
    write("five.txt", "12345");
    const struct {
        const char* name;
        int32_t exists, is_file, is_dir, size;
    } cases[] = {{"five.txt", 1, 1, 0, 5}, {"", 1, 0, 1, -1}, {"missing", 0, 0, 0, 0}}; // -1: the system's own figure
    for (const auto& c : cases) {
        Str path = at(c.name);
        EXPECT_EQ(path_exists(path.get()), c.exists) << c.name;
        EXPECT_EQ(path_is_file(path.get()), c.is_file) << c.name;
        EXPECT_EQ(path_is_dir(path.get()), c.is_dir) << c.name;
        if (c.size >= 0) {
            EXPECT_EQ(path_size(path.get()), c.size) << c.name;
        }
        EXPECT_EQ(path_is_readable(path.get()), c.exists) << c.name;
    }
    path_status_t status;
    std::memset(&status, 0xAB, sizeof status);
    EXPECT_EQ(path_stat(at("missing").get(), &status), 0);
    EXPECT_EQ(status.st_mode, 0u); // cleared before the status call
}

TEST_F(PathFiles, MakeAndRemoveDirectoriesAndFiles) {
    Str directory = at("made");
    EXPECT_EQ(path_mkdir(directory.get(), 0), 1);
    EXPECT_TRUE(fs::is_directory(root_ / "made"));
    EXPECT_EQ(path_mkdir(directory.get(), 0), 0); // exists already
    EXPECT_EQ(path_is_writable(directory.get()), 1);
    EXPECT_EQ(path_rmdir(directory.get()), 0);
    EXPECT_EQ(path_rmdir(directory.get()), -1); // missing
    write("gone.txt", "x");
    Str file = at("gone.txt");
    EXPECT_EQ(path_unlink(file.get()), 0);
    EXPECT_EQ(path_unlink(file.get()), -1);
    Str slashed = make((library_form(root_) + "/via/slash").c_str());
    EXPECT_EQ(path_mkdir(at("via").get(), 0), 1);
    EXPECT_EQ(path_mkdir(slashed.get(), 0), 1);
    EXPECT_EQ(shown(slashed), library_form(root_) + "\\via\\slash"); // localised
}

TEST_F(PathFiles, OpensFilesWithNonAsciiNames) {
    const std::string name = "caf\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.txt"; // café-日本.txt
    Str path = at(name);
    FILE* out = path_fopen(path.get(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("hello", out);
    std::fclose(out);
    EXPECT_TRUE(fs::exists(root_ / fs::u8path(name)));
    FILE* in = path_fopen(path.get(), "rb");
    ASSERT_NE(in, nullptr);
    char text[8] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text, in), 5u);
    std::fclose(in);
    EXPECT_STREQ(text, "hello");
    EXPECT_EQ(path_size(path.get()), 5);
    EXPECT_EQ(path_fopen(make("").get(), "rb"), nullptr);
}

TEST_F(PathFiles, ChdirChangesTheWorkingDirectory) {
    const fs::path before = fs::current_path();
    Str target = at("");
    EXPECT_EQ(path_chdir(target.get()), 1);
    EXPECT_EQ(fs::equivalent(fs::current_path(), root_), true);
    EXPECT_EQ(path_chdir(at("missing").get()), 0);
    fs::current_path(before);
}
