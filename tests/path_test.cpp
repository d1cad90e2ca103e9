// SPDX-License-Identifier: MIT
// Path text rules and file-system queries. Joining and splitting (path_push,
// path_unshift, path_pop and path_shift: str_push, str_unshift, str_pop_str
// and str_shift_str with "\\") are tested in c_str_edit_test.cpp, through
// TPath and in alloc_failure_test.cpp.
#include "test_support.hpp"

#include <cstdio>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

using PathText = LeakCheckedTest;

TEST_F(PathText, LocaliseAndAbsoluteness) {
    Str mixed = make("a/b\\c/d"), null_path = make(nullptr);
    path_localise(mixed.get());
    path_localise(null_path.get());
    EXPECT_EQ(shown(mixed) + shown(null_path), "a\\b\\c\\d<null>");

    const struct { const char* text; int32_t absolute, absolute_on_posix; } cases[] = {
        {"C:\\x", 1, 1}, {"C:x", 1, 1},   {"C:", 0, 0}, {"\\\\srv\\share", 0, 1},
        {"/tmp", 0, 1},  {"\\tmp", 0, 1}, {"", 0, 0},   {"sub\\f", 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(path_is_absolute(make(c.text).get()), on_windows() ? c.absolute : c.absolute_on_posix) << c.text;
}

TEST_F(PathText, ExtensionAndDirName) {
    const struct { const char *path, *extension; } extensions[] = {
        {"archive.tar.gz", "gz"}, {"C:\\x.y\\name", ""}, {"name", ""}, {"name.", ""}, {".profile", ""},
        {"C:/a/b.tar.gz", "gz"}};
    for (const auto& e : extensions) EXPECT_EQ(shown(own(path_ext(make(e.path).get()))), e.extension) << e.path;
    EXPECT_EQ(path_ext(make(nullptr).get()), nullptr);

    Str path = make("a/b/c.txt");
    EXPECT_EQ(shown(own(path_dirname(path.get()))), "a\\b");
    EXPECT_EQ(shown(path), "a\\b\\c.txt") << "localised, otherwise kept";
    EXPECT_TRUE(path_permissions(path.get()) == 0 && path_chmod(path.get(), 0644) == 1); // neither read nor changed
}

TEST_F(PathText, AbsoluteJoinsTheWorkingDirectory) {
    Str cwd = own(path_cwd());
    EXPECT_EQ(shown(cwd), library_form(fs::current_path()));
    EXPECT_EQ(shown(own(path_absolute(make("sub/f").get()))), shown(cwd) + "\\sub/f"); // not localised
    EXPECT_EQ(shown(own(path_absolute(make("C:\\x").get()))), "C:\\x");
    if (on_windows()) GTEST_SKIP() << "a path from the root is absolute on POSIX systems only";
    EXPECT_EQ(shown(own(path_absolute(make("/etc/hosts").get()))), "/etc/hosts");
}

class PathFiles : public TempDirTest {
protected:
    // A path under the directory, in the library's form.
    Str at(const std::string& relative) const { return make((root_text_ + "\\" + relative).c_str()); }
};

TEST_F(PathFiles, QueriesAnswerForFilesDirectoriesAndMissingPaths) {
    std::ofstream(root_ / "five.txt", std::ios::binary) << "12345";
    const struct { const char* name; int32_t exists, is_file, is_dir, size; } cases[] = {
        {"five.txt", 1, 1, 0, 5}, {"", 1, 0, 1, -1}, {"missing", 0, 0, 0, 0}};
    for (const auto& c : cases) {
        Str path = at(c.name);
        const int32_t size = c.size >= 0 ? path_size(path.get()) : -1; // -1: the system's own figure
        EXPECT_EQ((std::vector<int32_t>{path_exists(path.get()), path_is_file(path.get()), path_is_dir(path.get()),
                                        path_is_readable(path.get()), size}),
                  (std::vector<int32_t>{c.exists, c.is_file, c.is_dir, c.exists, c.size})) << c.name;
    }
    path_status_t status;
    std::memset(&status, 0xAB, sizeof status);
    EXPECT_EQ(path_stat(at("missing").get(), &status), 0);
    EXPECT_EQ(status.st_mode, 0u) << "cleared before the status call";
}

TEST_F(PathFiles, MakeRemoveAndChangeToDirectories) {
    Str directory = at("made"), file = at("gone.txt"), slashed = make((root_text_ + "/via/slash").c_str());
    std::ofstream(root_ / "gone.txt") << "x";
    EXPECT_EQ(path_mkdir(directory.get(), 0), 1);
    EXPECT_TRUE(fs::is_directory(root_ / "made") && path_is_writable(directory.get()) == 1);
    // Made or removed, then exists already or missing.
    EXPECT_EQ((std::vector<int32_t>{path_mkdir(directory.get(), 0), path_rmdir(directory.get()), path_rmdir(directory.get()),
                                    path_unlink(file.get()), path_unlink(file.get()), path_chdir(file.get())}),
              (std::vector<int32_t>{0, 0, -1, 0, -1, 0}));
    EXPECT_TRUE(path_mkdir(at("via").get(), 0) == 1 && path_mkdir(slashed.get(), 0) == 1);
    EXPECT_EQ(shown(slashed), root_text_ + "\\via\\slash") << "localised";
    EXPECT_EQ(path_chdir(slashed.get()), 1);
    EXPECT_TRUE(fs::equivalent(fs::current_path(), root_ / "via" / "slash"));
}

TEST_F(PathFiles, OpensFilesWithNonAsciiNames) {
    const std::string name = "caf\xC3\xA9-\xE6\x97\xA5\xE6\x9C\xAC.txt"; // café-日本.txt
    Str path = at(name);
    FILE* out = path_fopen(path.get(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("hello", out);
    std::fclose(out);
    EXPECT_EQ(read_file(root_ / fs::u8path(name)), "hello");
    FILE* in = path_fopen(path.get(), "rb");
    EXPECT_TRUE(in != nullptr && std::fgetc(in) == 'h');
    if (in != nullptr) std::fclose(in);
    EXPECT_EQ(path_fopen(make("").get(), "rb"), nullptr);
}

