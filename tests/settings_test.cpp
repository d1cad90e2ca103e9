// SPDX-License-Identifier: MIT
// KeloSettings: reading documents, the store's operations, the files that
// save writes (byte for byte), the kinds of files it must keep what they
// are, and several processes saving one file.
#include "child_process.hpp"
#include "test_support.hpp"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

// "key=value;" for each entry, in key order.
std::string listing(const std::map<TStr, TStr>& values) {
    std::string text;
    for (const auto& [key, value] : values) text += shown(key) + "=" + shown(value) + ";";
    return text;
}

// Every visible value of the store.
std::string everything(KeloSettings& settings) {
    std::map<TStr, TStr> values;
    EXPECT_TRUE(settings.getAll(values));
    return listing(values);
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// One call on a store. op: 's' setData, 'r' removeData, 'R' removeSection,
// 'g' getData (`value`: the value expected), 'S' getSection (`value`: its
// listing expected).
struct Step {
    char op;
    const char* section;
    const char* key;
    const char* value;
    bool result;
};

void run_steps(KeloSettings& settings, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.op << " " << step.section << " " << step.key);
        TStr value;
        std::map<TStr, TStr> values;
        switch (step.op) {
        case 's': EXPECT_EQ(settings.setData(step.section, step.key, step.value), step.result); break;
        case 'r': EXPECT_EQ(settings.removeData(step.section, step.key), step.result); break;
        case 'R': EXPECT_EQ(settings.removeSection(step.section), step.result); break;
        case 'g':
            EXPECT_EQ(settings.getData(step.section, step.key, value), step.result);
            EXPECT_EQ(shown(value), step.result ? step.value : "<null>");
            break;
        case 'S':
            EXPECT_EQ(settings.getSection(step.section, values), step.result);
            EXPECT_EQ(listing(values), step.value);
            break;
        default: FAIL() << "unknown step";
        }
    }
}

const char* const declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n";

// A settings file as save prints it: the declaration, then `body` (the
// lines inside the root, each ending with "\n") in the root element.
std::string printed(const std::string& body) {
    return declaration + (body.empty() ? "<KeloSettings />\n" : "<KeloSettings>\n" + body + "</KeloSettings>\n");
}
// A Section element holding `data` lines, and one Data line, as printed.
std::string section(const std::string& name, const std::string& data) {
    return "    <Section Name=\"" + name + "\">\n" + data + "    </Section>\n";
}
std::string data(const std::string& key, const std::string& text) {
    return "        <Data Key=\"" + key + "\">" + text + "</Data>\n";
}

// ---- reading a document ---------------------------------------------------------------

struct ReadCase {
    const char* name;
    const char* text;
    bool loaded; // also the result of parse
    const char* values;
};

const ReadCase read_cases[] = {
    {"root_without_children", "<KeloSettings/>", true, ""},
    {"only_empty_sections", "<KeloSettings><Section Name='a'/></KeloSettings>", false, ""},
    {"no_root", "<Other><Section Name='a'><Data Key='k'>v</Data></Section></Other>", false, ""},
    {"malformed", "<KeloSettings><Section Name='a'>", false, ""},
    {"first_value_wins",
     "<KeloSettings><Section Name='a'><Data Key='k'>1</Data><Data Key='k'>2</Data></Section>"
     "<Section Name='a'><Data Key='k'>3</Data><Data Key='j'>4</Data></Section></KeloSettings>",
     true, "a/j=4;a/k=1;"},
    {"only_the_first_root", "<KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section></KeloSettings>"
                            "<KeloSettings><Section Name='b'><Data Key='k'>2</Data></Section></KeloSettings>",
     true, "a/k=1;"},
    {"unnamed_and_foreign_nodes_ignored",
     "<!-- c --><KeloSettings x='1'><Other/><Section><Data Key='k'>1</Data></Section>"
     "<Section Name=''><Data Key='k'>2</Data></Section><section Name='a'><Data Key='k'>3</Data></section>"
     "<Section Name='a'><Data>4</Data><Data Key=''>5</Data><data Key='k'>6</data><Data Key='k'/></Section>"
     "</KeloSettings>",
     true, "a/k=;"},
    {"text_condensed_attributes_as_they_stand",
     "<KeloSettings><Section Name=' s '><Data Key='k  k'>  a \n\t b  </Data></Section></KeloSettings>", true,
     " s /k  k=a b;"},
    {"escapes_and_utf8_whatever_the_declaration",
     "<?xml version='1.0' encoding='ISO-8859-1'?><KeloSettings><Section Name='&lt;s&gt;'>"
     "<Data Key='k'>\xC3\xA9 &amp; &#x41;</Data></Section></KeloSettings>",
     true, "<s>/k=\xC3\xA9 & A;"},
    {"multibyte_sequence_cut_short_at_the_end", "<KeloSettings>\xF1", false, ""},
};

using SettingsRead = LeakCheckedTest;

TEST_F(SettingsRead, ParsesAsTheFileFormatSays) {
    for (const ReadCase& c : read_cases) {
        SCOPED_TRACE(c.name);
        KeloSettings settings;
        // A failed parse first: its error must not stick to the next one.
        EXPECT_FALSE(settings.parse("<KeloSettings>"));
        EXPECT_FALSE(settings.parse(""));
        EXPECT_EQ(settings.parse(c.text), c.loaded);
        EXPECT_EQ(settings.isLoaded(), c.loaded);
        EXPECT_EQ(everything(settings), c.values);
    }
}

// ---- the store's operations -------------------------------------------------------------

struct StoreCase {
    const char* name;
    const char* text; // parsed first, when given
    std::vector<Step> steps;
};

const char* const sections_ab_b =
    "<KeloSettings><Section Name='ab'><Data Key='x'>1</Data></Section>"
    "<Section Name='b'><Data Key='y'>2</Data></Section></KeloSettings>";

const StoreCase store_cases[] = {
    {"set_is_seen_before_save", nullptr,
     {{'s', "General", "Color", "red", true}, {'g', "General", "Color", "red", true},
      {'s', "General", "Color", "", false}, {'g', "General", "Color", "red", true},
      {'s', "", "k", "v", false}, {'s', "a", "", "v", false}, {'g', "General", "", "", false}}},
    {"section_matched_by_containment", sections_ab_b,
     {{'S', "b", "", "x=1;y=2;", true}, {'S', "a", "", "", true}, {'S', "", "", "", false},
      {'R', "b", "", "", true}, {'S', "ab", "", "", true}, {'g', "ab", "x", "", false}}},
    {"removed_key_hidden_until_set_again", sections_ab_b,
     {{'r', "b", "y", "", true}, {'g', "b", "y", "", false}, {'S', "b", "", "x=1;", true},
      {'r', "b", "y", "", true}, {'r', "b", "nothing", "", false}, {'r', "", "y", "", false},
      {'s', "b", "y", "3", true}, {'g', "b", "y", "3", true}}},
    {"pending_only_values_removed", nullptr,
     {{'s', "n", "a", "1", true}, {'r', "n", "a", "", true}, {'g', "n", "a", "", false}, {'s', "n", "b", "2", true},
      {'R', "n", "", "", true}, {'S', "n", "", "", true}, {'R', "", "", "", false}}},
    // Reported under the part after the last "/": a pending set replaces a
    // stored value and the later combined key wins.
    {"section_keys_after_the_last_slash",
     "<KeloSettings><Section Name='s'><Data Key='k'>1</Data></Section></KeloSettings>",
     {{'s', "x/s", "k", "3", true}, {'S', "s", "", "k=3;", true}, {'s', "s", "a/", "4", true},
      {'S', "s", "", "k=3;", true}, {'g', "x/s", "k", "3", true}}},
};

using SettingsStore = LeakCheckedTest;

TEST_F(SettingsStore, Operations) {
    for (const StoreCase& c : store_cases) {
        SCOPED_TRACE(c.name);
        KeloSettings settings;
        EXPECT_TRUE(c.text == nullptr || settings.parse(c.text));
        run_steps(settings, c.steps);
    }
}

// ---- saving ---------------------------------------------------------------------------------

struct SaveCase {
    const char* name;
    const char* file;    // the file's name in the test folder, "\\" between folders
    const char* before;  // its content, nullptr: missing
    std::vector<Step> steps;
    bool saved;
    std::string after;   // the file's bytes after save, empty: as before
    const char* reopened; // every value when the file is opened again
};

const std::string general = printed(section("General", data("Language", "en-US") + data("Units", "metric")));

const SaveCase save_cases[] = {
    {"example_file", "s.xml", general.c_str(),
     {{'s', "General", "Units", "imperial", true}, {'s', "Network", "Port", "2080", true},
      {'r', "General", "Language", "", true}},
     true, printed(section("General", data("Units", "imperial")) + section("Network", data("Port", "2080"))),
     "General/Units=imperial;Network/Port=2080;"},
    {"nothing_left_is_not_written", "s.xml", general.c_str(),
     {{'r', "General", "Language", "", true}, {'R', "General", "", "", true}}, false, "",
     "General/Language=en-US;General/Units=metric;"},
    {"root_without_children_and_no_change", "s.xml", "<KeloSettings/>", {}, false, "", ""},
    {"missing_folders_and_file_made", "new\\deeper\\s.xml", nullptr, {{'s', "a", "k", "v", true}}, true,
     printed(section("a", data("k", "v"))), "a/k=v;"},
    {"special_characters_escaped", "s.xml", nullptr,
     {{'s', "x&y", "<k>", "a & b < c > \"d\" 'e' \xC3\xA9", true}}, true,
     printed(section("x&amp;y", data("&lt;k&gt;", "a &amp; b &lt; c &gt; &quot;d&quot; &apos;e&apos; \xC3\xA9"))),
     "x&y/<k>=a & b < c > \"d\" 'e' \xC3\xA9;"},
    // The byte-order mark is read past and not written.
    {"declaration_put_before_a_leading_comment", "s.xml",
     "\xEF\xBB\xBF<!-- c --><KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section></KeloSettings>",
     {{'s', "a", "k", "2", true}}, true,
     declaration + std::string("<!-- c -->\n<KeloSettings>\n") + section("a", data("k", "2")) + "</KeloSettings>\n",
     "a/k=2;"},
    {"unread_nodes_written_back", "s.xml",
     "<?xml version='1.0'?><KeloSettings><Other/><Section><Data Key='k'>1</Data></Section>"
     "<Section Name='a'><Data>2</Data><Data Key='k'>3</Data></Section></KeloSettings>",
     {{'s', "a", "k", "4", true}}, true,
     "<?xml version=\"1.0\" ?>\n<KeloSettings>\n    <Other />\n    <Section>\n        <Data Key=\"k\">1</Data>\n"
     "    </Section>\n    <Section Name=\"a\">\n        <Data>2</Data>\n        <Data Key=\"k\">4</Data>\n"
     "    </Section>\n</KeloSettings>\n",
     "a/k=4;"},
    // A declaration that would not print back readable is replaced.
    {"unprintable_declaration_replaced", "s.xml",
     "<?xml version=\"1.&quot;?>\n<x/>\" ?><KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section>"
     "</KeloSettings>",
     {{'s', "a", "k", "2", true}}, true, printed(section("a", data("k", "2"))), "a/k=2;"},
    {"white_space_written_as_set_read_condensed", "s.xml", nullptr, {{'s', "a", "k", " a  b", true}}, true,
     printed(section("a", data("k", " a  b"))), "a/k=a b;"},
    {"split_at_the_last_two_slashes", "s.xml", nullptr, {{'s', "a/b", "c", "v", true}}, true,
     printed(section("b", data("c", "v"))), "b/c=v;"},
    {"first_of_duplicates_changed", "s.xml",
     "<KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section>"
     "<Section Name='a'><Data Key='k'>2</Data></Section></KeloSettings>",
     {{'s', "a", "k", "3", true}}, true,
     printed(section("a", data("k", "3")) + section("a", data("k", "2"))),
     "a/k=3;"},
    // The empty element stays first, so the file reads back the empty value.
    {"empty_data_element_stays_in_front", "s.xml",
     "<KeloSettings><Section Name='a'><Data Key='k'/><Data Key='j'>1</Data></Section></KeloSettings>",
     {{'s', "a", "k", "v", true}}, true,
     printed(section("a", "        <Data Key=\"k\" />\n" + data("j", "1") + data("k", "v"))),
     "a/j=1;a/k=;"},
    {"data_without_text_child_left_alone", "s.xml",
     "<KeloSettings><Section Name='a'><Data Key='k'><x/></Data></Section></KeloSettings>",
     {{'s', "a", "k", "v", true}}, true,
     printed(section("a", "        <Data Key=\"k\">\n            <x />\n        </Data>\n")),
     "a/k=;"},
    {"emptied_section_removed_pending_only_not_written", "s.xml",
     "<KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section>"
     "<Section Name='b'><Data Key='k'>2</Data></Section></KeloSettings>",
     {{'r', "a", "k", "", true}, {'s', "n", "x", "1", true}, {'R', "n", "", "", true}}, true,
     printed(section("b", data("k", "2"))), "b/k=2;"},
};

void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }

class SettingsSave : public TempDirTest, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SettingsSave, WritesTheFile) {
    const SaveCase& c = GetParam();
    std::string native_name = c.file;
    std::replace(native_name.begin(), native_name.end(), '\\', '/');
    const fs::path native = root_ / fs::u8path(native_name);
    const TPath path((root_text_ + "\\" + c.file).c_str());
    if (c.before != nullptr) write_file(native, c.before);
    {
        KeloSettings settings;
        ASSERT_TRUE(settings.open(path));
        EXPECT_TRUE(settings.isLoaded());
        run_steps(settings, c.steps);
        EXPECT_EQ(settings.save(path), c.saved);
    }
    EXPECT_EQ(read_file(native), c.after.empty() ? std::string(c.before ? c.before : "") : c.after);
    KeloSettings reopened;
    EXPECT_EQ(reopened.open(path), fs::exists(native));
    EXPECT_EQ(everything(reopened), c.reopened);
}

INSTANTIATE_TEST_SUITE_P(Cases, SettingsSave, ::testing::ValuesIn(save_cases),
                         [](const auto& info) { return std::string(info.param.name); });

class Settings : public TempDirTest {
protected:
    TPath path(const char* name) const { return TPath((root_text_ + "\\" + name).c_str()); }
};

// A file is read as TinyXML's loader reads one: line ends become "\n"
// (also inside CDATA) and nothing after a NUL byte counts.
TEST_F(Settings, OpenNormalisesLineEnds) {
    const char text[] = "<KeloSettings>\r\n<Section Name='a'><Data Key='k'><![CDATA[x\r\ny\rz]]></Data>"
                        "</Section></KeloSettings>\0<junk";
    write_file(root_ / "crlf.xml", std::string(text, sizeof text - 1));
    KeloSettings settings;
    ASSERT_TRUE(settings.open(path("crlf.xml")));
    EXPECT_EQ(everything(settings), "a/k=x\ny\nz;");
}

// open with the keep-changes flag keeps the pending changes and the path
// remembered before; without it both go.
TEST_F(Settings, KeepChanges) {
    write_file(root_ / "one.xml", printed(section("a", data("x", "1"))));
    KeloSettings settings;
    ASSERT_TRUE(settings.open(path("one.xml")));
    ASSERT_TRUE(settings.setData("a", "y", "2"));
    EXPECT_TRUE(settings.open(path("two.xml"), true)); // missing: the remembered path answers
    EXPECT_EQ(everything(settings), "a/y=2;");
    // save reads the remembered file again and writes it with the change.
    EXPECT_TRUE(settings.save(path("two.xml")));
    KeloSettings two;
    EXPECT_TRUE(two.open(path("two.xml")));
    EXPECT_EQ(everything(two), "a/x=1;a/y=2;");
    EXPECT_TRUE(settings.open(path("one.xml")));
    EXPECT_EQ(everything(settings), "a/x=1;");

    KeloSettings fresh;
    EXPECT_FALSE(fresh.open(path("missing.xml"), true)); // no path remembered
    EXPECT_TRUE(fresh.isLoaded());
    EXPECT_FALSE(fresh.open(""));
    EXPECT_FALSE(fresh.save(""));
}

// A file that exists is replaced as the file it was: its mode (POSIX), a
// link stays a link, and a read-only file is refused and kept.
TEST_F(Settings, KeepsWhatTheFileIs) {
    const auto save_one = [](const TPath& file, const char* value, bool openAccess = false) {
        KeloSettings settings(openAccess);
        return settings.open(file) && settings.setData("a", "k", value) && settings.save(file);
    };
    ASSERT_TRUE(save_one(path("ro.xml"), "v"));
    const std::string before = read_file(root_ / "ro.xml");
    fs::permissions(root_ / "ro.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (path("ro.xml").isWritable()) {
        std::cout << "[ SKIPPED  ] read-only case: this account may write read-only files\n";
    } else {
        EXPECT_FALSE(save_one(path("ro.xml"), "w"));
        EXPECT_EQ(read_file(root_ / "ro.xml"), before);
    }
    // A file with another name is written in place, so both names see it.
    write_file(root_ / "target.xml", "<KeloSettings/>");
    fs::create_hard_link(root_ / "target.xml", root_ / "hard.xml");
    ASSERT_TRUE(save_one(path("hard.xml"), "hard"));
    EXPECT_EQ(read_file(root_ / "target.xml"), printed(section("a", data("k", "hard"))));
    ASSERT_TRUE(save_one(path("open.xml"), "v", true));

    if (on_windows()) GTEST_SKIP() << "modes and symbolic links: POSIX only";
    const auto mode = [](const fs::path& file) { return fs::status(file).permissions() & fs::perms::mask; };
    EXPECT_EQ(mode(root_ / "open.xml"), static_cast<fs::perms>(0666));
    ASSERT_TRUE(save_one(path("mode.xml"), "v"));
    fs::permissions(root_ / "mode.xml", static_cast<fs::perms>(0640));
    ASSERT_TRUE(save_one(path("mode.xml"), "w"));
    EXPECT_EQ(mode(root_ / "mode.xml"), static_cast<fs::perms>(0640));
    fs::create_symlink("target.xml", root_ / "link.xml");
    ASSERT_TRUE(save_one(path("link.xml"), "link"));
    EXPECT_TRUE(fs::is_symlink(root_ / "link.xml"));
    EXPECT_EQ(read_file(root_ / "target.xml"), printed(section("a", data("k", "link"))));
}

// What a save that died left beside the file: its copy of the old content
// (from a write in place) is put back by the next open, and its temporary
// files are removed by the next save; other files are not touched.
TEST_F(Settings, ClearsWhatDeadSavesLeft) {
    write_file(root_ / "app.xml", printed(section("a", data("k", "half-written"))));
    write_file(root_ / ".app.xml.rollback", printed(section("a", data("k", "old"))));
    const std::vector<std::string> stale{".app.xml.0123456789abcdef.tmp"},
        kept{".app.xml.0123456789abcdeg.tmp", ".app.xml.tmp", ".other.xml.0123456789abcdef.tmp"};
    for (const auto& names : {stale, kept})
        for (const std::string& name : names) write_file(root_ / name, "x");
    KeloSettings settings;
    ASSERT_TRUE(settings.open(path("app.xml")));
    EXPECT_EQ(everything(settings), "a/k=old;");
    EXPECT_FALSE(fs::exists(root_ / ".app.xml.rollback"));
    ASSERT_TRUE(settings.setData("a", "k", "new") && settings.save(path("app.xml")));
    for (const std::string& name : stale) EXPECT_FALSE(fs::exists(root_ / name)) << name;
    for (const std::string& name : kept) EXPECT_TRUE(fs::exists(root_ / name)) << name;
}

// A document nested deeper than 256 elements, or with an element of more
// than 256 attributes, is refused before it is parsed (deep nesting would
// exhaust the stack, many attributes take quadratic time); markup that the
// parser passes over does not count. parse and open alike.
TEST_F(Settings, RefusesDocumentsTooDeepOrTooWide) {
    const auto nested = [](size_t levels) { // below Section, itself at level 2
        std::string open, close;
        for (size_t i = 0; i < levels; ++i) open += "<x>", close += "</x>";
        return open + close;
    };
    const auto attributes = [](size_t count) {
        std::string text = "<y";
        for (size_t i = 0; i < count; ++i) text += " a" + std::to_string(i) + "='1'";
        return text + "/>";
    };
    const std::string deep_but_skipped = "<!--" + nested(300) + "--><![CDATA[" + nested(300) + "]]><z q='" +
                                         nested(300) + "'/><?pi " + attributes(300) + " ?>";
    const struct { const char* name; std::string inside; bool loaded; } cases[] = {
        {"256 levels", nested(254), true},
        {"257 levels", nested(255), false},
        {"50,000 levels", nested(49998), false},
        {"256 attributes", attributes(256), true},
        {"257 attributes", attributes(257), false},
        {"20,000 attributes", attributes(20000), false},
        {"markup in comments, CDATA, values and instructions", deep_but_skipped, true},
    };
    for (const auto& c : cases) {
        const std::string text =
            "<KeloSettings><Section Name='a'><Data Key='k'>v</Data>" + c.inside + "</Section></KeloSettings>";
        KeloSettings parsed, opened;
        EXPECT_EQ(parsed.parse(text.c_str()), c.loaded) << c.name;
        write_file(root_ / "limits.xml", text);
        EXPECT_EQ(opened.open(path("limits.xml")), c.loaded) << c.name;
        EXPECT_EQ(everything(opened), c.loaded ? "a/k=v;" : "") << c.name;
    }
}

// A path that leads to a FIFO answers false at once, for open and for save,
// rather than waiting for a writer or a reader. If it waits, the watchdog
// opens the other end after a while, and the test fails.
TEST_F(Settings, RefusesAFifoWithoutWaiting) {
    if (on_windows()) GTEST_SKIP() << "FIFOs: POSIX only";
    const fs::path fifo = root_ / "fifo.xml";
    ChildProcess make("/usr/bin/mkfifo", {fifo.string()});
    ASSERT_EQ(make.wait(), 0);
    std::atomic<bool> done{false}, waited{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (done) return;
        waited = true;
        // Opened for reading and writing (which never waits on Linux), it
        // releases both an open that waits for a writer and a save that
        // waits for a reader.
        std::fstream both(fifo, std::ios::in | std::ios::out);
    });
    KeloSettings settings;
    EXPECT_FALSE(settings.open(path("fifo.xml")));
    ASSERT_TRUE(settings.parse("<KeloSettings><Section Name='a'><Data Key='k'>v</Data></Section></KeloSettings>"));
    EXPECT_FALSE(settings.save(path("fifo.xml")));
    done = true;
    watchdog.join();
    EXPECT_FALSE(waited) << "open or save waited on the FIFO";
}

// ---- several processes ------------------------------------------------------------------------

// Every process saves its own keys, one at a time, into one file that
// they name three ways (absolute, relative to the working directory, and
// through "sub\.."); none may be lost. With the named lock; with its usual
// folder taken by another account (the locks move to the fallback); and
// with no named lock at all (the folder lock alone). Windows names its
// mutexes in the kernel, so only the first case exists there.
// KELOUTIL_SETTINGS_STRESS=1 runs 8 processes x 200 saves per spelling.
TEST_F(Settings, NoLostUpdate) {
    const char* stress = std::getenv("KELOUTIL_SETTINGS_STRESS");
    const bool stressed = stress != nullptr && std::string(stress) == "1";
    const int per_spelling = stressed ? 8 : 4, saves = stressed ? 200 : 20;
    fs::create_directory(root_ / "sub");
    fs::current_path(root_); // the children start here too
    const std::string spellings[] = {root_text_ + "\\shared.xml", "shared.xml", "sub\\..\\shared.xml"};
    for (const char* mode : {"named lock", "named lock moved", "no named lock"}) {
        const std::string named(mode);
        if (on_windows() && named != "named lock") break;
        SCOPED_TRACE(mode);
        for (const char* name : {"shared.xml", "rt", "cache"}) fs::remove_all(root_ / name);
        fs::create_directory(root_ / "rt");
        const ScopedEnvironment runtime("XDG_RUNTIME_DIR", (root_ / "rt").u8string());
        const ScopedEnvironment cache("XDG_CACHE_HOME", (root_ / "cache").u8string());
        if (named != "named lock") { // another account, or where that cannot be made, a file, takes the folder
            const fs::path usual = root_ / "rt" / "keloutil";
            if (!running_as_root() || !fs::create_directory(usual) || !change_owner(usual, 65534))
                std::ofstream(usual).close();
        }
        if (named == "no named lock") {
            fs::create_directories(root_ / "cache" / "keloutil");
            std::ofstream(root_ / "cache" / "keloutil" / "locks").close();
        }
        const auto started = std::chrono::steady_clock::now();
        std::vector<std::unique_ptr<ChildProcess>> children;
        for (size_t s = 0; s < 3; ++s)
            for (int i = 0; i < per_spelling; ++i)
                children.push_back(std::make_unique<ChildProcess>(
                    sibling_program("keloutil_settings_worker"),
                    std::vector<std::string>{"save-keys", spellings[s], "w" + std::to_string(s) + std::to_string(i),
                                             std::to_string(saves)}));
        for (auto& child : children) {
            ASSERT_TRUE(child->started());
            EXPECT_EQ(child->wait(), 0);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

        KeloSettings settings;
        ASSERT_TRUE(settings.open(spellings[0].c_str()));
        std::map<TStr, TStr> values;
        ASSERT_TRUE(settings.getAll(values));
        int found = 0;
        for (size_t s = 0; s < 3; ++s)
            for (int i = 0; i < per_spelling; ++i)
                for (int k = 0; k < saves; ++k) {
                    const std::string key = "w" + std::to_string(s) + std::to_string(i) + "/k" + std::to_string(k);
                    const auto value = values.find(key.c_str());
                    found += value != values.end() && value->second == ("v" + std::to_string(k)).c_str();
                }
        EXPECT_EQ(found, 3 * per_spelling * saves);
        std::cout << mode << ": 3 spellings x " << per_spelling << " processes x " << saves << " saves: " << found
                  << " values found in " << seconds << " s\n";
    }
}

// The files a save leaves beside `folder`'s files while it writes:
// temporary files and copies of old content.
std::set<fs::path> files_of_writes(const fs::path& folder) {
    std::set<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".tmp" || entry.path().extension() == ".rollback") found.insert(entry.path());
    return found;
}

// A process that saves a large file over and over is killed at random
// moments, 35 times each on a plain file, on a symbolic link (whose final
// target is replaced in its own folder) and on a file with a second name
// (written in place); after every kill the file must be one of the two
// contents whole, and after one clean save nothing else may be left.
TEST_F(Settings, NoTornFile) {
    if (on_windows()) GTEST_SKIP() << "killing a saving process at random moments is exercised on Linux only";
    fs::create_directory(root_ / "real");
    fs::create_symlink(root_ / "real" / "big.xml", root_ / "link.xml");
    std::mt19937 random(std::random_device{}());
    for (const char* name : {"big.xml", "link.xml", "hard.xml"}) {
        SCOPED_TRACE(name);
        const std::string file = root_text_ + "\\" + name;
        const bool link = std::string(name) == "link.xml";
        const fs::path written = link ? root_ / "real" / "big.xml" : root_ / name, folder = written.parent_path();
        const auto temporaries = [&] { return files_of_writes(folder); };
        int kills = 0, while_writing = 0;
        for (; kills < 35; ++kills) {
            if (kills == 1 && std::string(name) == "hard.xml") fs::create_hard_link(root_ / name, root_ / "second.xml");
            const std::set<fs::path> before = temporaries();
            ChildProcess child(sibling_program("keloutil_settings_worker"), {"save-loop", file});
            ASSERT_TRUE(child.started());
            // The first run writes the file once before it is killed. A save
            // takes some 0.3 s, mostly reading; every other kill waits for
            // the write to begin (a new temporary file appears) so that many
            // land in it.
            while (kills == 0 && !fs::exists(written) && child.running())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const auto writing = [&] {
                for (const fs::path& path : temporaries())
                    if (before.count(path) == 0) return true;
                return false;
            };
            if (kills % 2 == 1 && kills > 1)
                for (int waited = 0; waited < 2000 && !writing(); ++waited)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const int most = kills % 2 == 1 ? 20 : 600;
            std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, most)(random)));
            ASSERT_TRUE(child.running()) << "the worker ended by itself";
            while_writing += writing();
            child.kill();
            child.wait();

            KeloSettings settings;
            ASSERT_TRUE(settings.open(file.c_str())) << "after kill " << kills;
            std::map<TStr, TStr> values;
            ASSERT_TRUE(settings.getAll(values));
            // FNV-1a over the values in key order, as the worker makes it.
            uint32_t sum = 2166136261u;
            size_t count = 0;
            for (const auto& [key, value] : values) {
                if (key.find("Meta/") == 0) continue;
                ++count;
                for (const char c : shown(value)) sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
            }
            const std::string marker = shown(values[TStr("Meta/marker")]);
            EXPECT_TRUE(marker == "A" || marker == "B") << marker;
            EXPECT_EQ(shown(values[TStr("Meta/count")]), std::to_string(count)) << "after kill " << kills;
            EXPECT_EQ(shown(values[TStr("Meta/checksum")]), std::to_string(sum)) << "after kill " << kills;
        }
        KeloSettings settings;
        ASSERT_TRUE(settings.open(file.c_str()) && settings.setData("a", "k", "v") && settings.save(file.c_str()));
        EXPECT_TRUE(temporaries().empty()) << "temporary files left after a clean save";
        EXPECT_TRUE(fs::is_symlink(root_ / "link.xml"));
        std::cout << name << ": " << kills << " kills, " << while_writing << " of them while writing\n";
    }
    EXPECT_EQ(fs::hard_link_count(root_ / "second.xml"), 2u);
}

// A full disk (files limited in size) during a save of a plain file, of a
// link and of a file written in place: save answers false, and the file
// still opens with its old values, nothing else left beside it.
TEST_F(Settings, FullDiskKeepsTheOldValues) {
    if (on_windows()) GTEST_SKIP() << "file size limits: POSIX only";
    fs::create_directory(root_ / "real");
    write_file(root_ / "real" / "target.xml", printed(section("a", data("k", "old"))));
    fs::create_symlink(root_ / "real" / "target.xml", root_ / "link.xml");
    write_file(root_ / "plain.xml", printed(section("a", data("k", "old"))));
    write_file(root_ / "hard.xml", printed(section("a", data("k", "old"))));
    fs::create_hard_link(root_ / "hard.xml", root_ / "second.xml");
    for (const char* name : {"plain.xml", "link.xml", "hard.xml"}) {
        SCOPED_TRACE(name);
        ChildProcess child(sibling_program("keloutil_settings_worker"),
                           {"save-full", root_text_ + "\\" + name, "4096"});
        EXPECT_EQ(child.wait(), 0) << "save did not answer false";
        KeloSettings settings;
        ASSERT_TRUE(settings.open(path(name)));
        EXPECT_EQ(everything(settings), "a/k=old;");
    }
    EXPECT_TRUE(files_of_writes(root_).empty());
    EXPECT_TRUE(files_of_writes(root_ / "real").empty());
}

} // namespace
