// SPDX-License-Identifier: MIT
// TPath: joining without localising, the members that localise, the
// conversion cache, directory creation and the program's directory.
#include "test_support.hpp"

#include <fstream>
#include <functional>
#include <utility>

namespace fs = std::filesystem;

namespace {

str_t* record_of(const TPath& p) { return static_cast<str_t*>(static_cast<void*>(p)); }

// A derived class, as the private record is meant for.
class Extended : public TPath {
public:
    using TPath::Private;
    using TPath::TPath;
    void init() { initPrivate(); }
    Private* record() const { return privateRecord(); }
};

} // namespace

using TPathText = LeakCheckedTest;

TEST_F(TPathText, JoiningPushesOneSeparatorWithoutLocalising) {
    // A null path takes the piece as it is. The joining rules themselves,
    // also for a piece that is the path itself, are str_push's
    // (c_str_edit_test.cpp).
    const char* const cases[][3] = {{"C:/a", "b", "C:/a\\b"}, {"a\\", "\\b", "a\\b"}, {nullptr, "b", "b"}};
    for (const auto& c : cases) {
        const TPath path(c[0]);
        EXPECT_EQ(shown(path + c[1]), c[2]);
        EXPECT_EQ(shown(path + TPath(c[1])), c[2]);
        EXPECT_EQ(shown(path), shown(TPath(c[0]))) << "operator+ changed its left operand";
        EXPECT_EQ(shown(TPath(c[0]) += c[1]), c[2]);
    }
}

TEST_F(TPathText, ComponentsAndDerivedForms) {
    TPath file("C:/dir/file.txt");
    EXPECT_EQ(shown(file.baseName()), "file.txt");
    EXPECT_EQ(shown(file), "C:\\dir\\file.txt") << "baseName localises the path";
    EXPECT_EQ(shown(file.dirPath(true)), "C:\\dir");
    EXPECT_TRUE(TPath("name").dirName().isEmpty());
    const Str cwd = own(path_cwd());
    EXPECT_EQ(shown(TPath("b.txt").dirPath(true)), shown(cwd));
    EXPECT_EQ(shown(TPath("b.txt").absFilePath("f")), shown(cwd) + "\\b.txt\\f");
    EXPECT_EQ(shown(TPath("a\\b/c").nativePath()), on_windows() ? "a\\b/c" : "a/b/c");
}

TEST_F(TPathText, RecordsAreAdoptedAndMissingRecordsReadAsNull) {
    str_t* record = str_from_utf8("x");
    EXPECT_EQ(record_of(TPath(static_cast<void*>(record))), record);
    TPath empty(static_cast<void*>(nullptr));
    EXPECT_FALSE(empty.exists() || empty.isFile() || empty.size() != 0 || TPath("").exists());
    EXPECT_EQ(shown(empty += "a"), "a");
}

TEST_F(TPathText, PrivateRecordBelongsToItsObject) {
    Extended original("a"), assigned("b");
    EXPECT_EQ(original.record(), nullptr);
    original.init();
    Extended::Private* const made = original.record();
    ASSERT_TRUE(made != nullptr && made->value == 0);
    original.init();
    EXPECT_EQ(original.record(), made) << "a second initPrivate replaced the record";
    EXPECT_EQ(Extended(original).record(), nullptr) << "copies start without one";
    assigned.init();
    Extended::Private* const kept = assigned.record();
    assigned = original;
    EXPECT_EQ(assigned.record(), kept);
}

// A pointer from toUtf8() taken before a member that changes the text must
// not be handed out again afterwards.
TEST_F(TPathText, ChangingMembersDropTheConversionCache) {
    const std::string local = "C:\\a\\b.txt";
    const std::pair<std::function<void(TPath&)>, std::string> cases[] = {
        {[](TPath& p) { p.push("c"); }, "C:\\a/b.txt\\c"}, {[](TPath& p) { p.unshift("x"); }, "x\\C:\\a/b.txt"},
        {[](TPath& p) { p.pop(); }, "C:"}, {[](TPath& p) { p.shift(); }, "a/b.txt"}, {[](TPath& p) { p.cdUp(); }, "C:"},
        {[](TPath& p) { p.setFile("z"); }, "z"}, {[](TPath& p) { p.baseName(); }, local},
        {[](TPath& p) { p.extension(); }, local}, {[](TPath& p) { p.isFile(); }, local}, {[](TPath& p) { p.isDir(); }, local},
        {[](TPath& p) { p.size(); }, local}, {[](TPath& p) { p.mkdir(); }, local}, {[](TPath& p) { p.remove(); }, local}};
    for (const auto& [change, expected] : cases) {
        TPath path("C:\\a/b.txt");
        EXPECT_STREQ(path.toUtf8(), "C:\\a/b.txt");
        change(path);
        EXPECT_EQ(std::string(path.toUtf8()), expected);
    }
}

class TPathFiles : public TempDirTest {
protected:
    // appPath keeps its answer for the life of the process; it is filled
    // before the first test so that no test counts it as a leak.
    static void SetUpTestSuite() { TPath::appPath(); }

    TPath at(const char* relative) const { return TPath(root_text_.c_str()) + relative; }
};

TEST_F(TPathFiles, MkpathCreatesEveryMissingLevel) {
    // A relative path ends its recursion at its first component.
    ASSERT_EQ(path_chdir(record_of(TPath(root_text_.c_str()))), 1);
    for (const TPath& path : {at("x\\y\\z"), at("p\\q\\"), TPath("r\\s")}) EXPECT_TRUE(TPath(path).mkpath()) << shown(path);
    for (const char* made : {"x/y/z", "p/q", "r/s"}) EXPECT_TRUE(fs::is_directory(root_ / made)) << made;

    std::ofstream(root_ / "plain") << "x";
    EXPECT_FALSE(at("plain\\sub\\deeper").mkpath()) << "below a regular file";
}

// exists() drops one trailing "\" before it asks path_exists; a trailing
// "/" stays, and no file is named "f.txt/". The queries localise the path.
TEST_F(TPathFiles, QueriesLocaliseAndIgnoreOneTrailingSeparator) {
    std::ofstream(root_ / "f.txt") << "hi";
    const std::pair<const char*, bool> cases[] = {
        {"\\", true}, {"/", true}, {"\\f.txt\\", true}, {"\\f.txt/", false}, {"\\missing\\", false}};
    for (const auto& [suffix, exists] : cases)
        EXPECT_EQ(TPath((root_text_ + suffix).c_str()).exists(), exists) << suffix;
    // "\" alone is the root where paths start at one; on Windows popping its
    // separator leaves nothing, which does not exist.
    EXPECT_EQ(TPath("\\").exists(), !on_windows());

    TPath file((root_text_ + "/f.txt").c_str());
    EXPECT_TRUE(file.isFile() && !file.isDir() && file.isReadable() && file.size() == 2);
    EXPECT_EQ(shown(file), root_text_ + "\\f.txt");
    file.remove();
    EXPECT_FALSE(fs::exists(root_ / "f.txt"));
}

TEST_F(TPathFiles, AppPathHoldsTheProgramAndIgnoresLaterChdir) {
    const TPath first = TPath::appPath();
    EXPECT_TRUE((first + (on_windows() ? "keloutil_tests.exe" : "keloutil_tests")).isFile()) << shown(first);
    ASSERT_EQ(path_chdir(record_of(TPath(root_text_.c_str()))), 1);
    EXPECT_EQ(shown(TPath::appPath()), shown(first));
}
