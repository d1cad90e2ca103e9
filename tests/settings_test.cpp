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

void write_file(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One call on a store. op: 's' setData, 'r' removeData, 'R' removeSection,
// 'g' getData (`value`: the value expected), 'S' getSection (`value`: its
// listing expected), 'A' getAll (`value`: its listing expected).
struct Step {
    char op;
    const char *section, *key, *value;
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
        case 'A': EXPECT_EQ(everything(settings), step.value); break;
        case 'g':
            EXPECT_EQ(settings.getData(step.section, step.key, value), step.result);
            EXPECT_EQ(shown(value), step.result ? step.value : "<null>");
            break;
        default:
            EXPECT_EQ(settings.getSection(step.section, values), step.result);
            EXPECT_EQ(listing(values), step.value);
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
// The file save prints for one value a/k.
std::string one_value(const std::string& text) { return printed(section("a", data("k", text))); }

// ---- reading a document, and the store's operations -----------------------------------------

// A document parsed first, when given (`loaded`: what parse answers), then
// steps on the store.
struct StoreCase {
    const char *name, *text;
    bool loaded;
    std::vector<Step> steps;
};
std::vector<Step> all(const char* values) { return {{'A', "", "", values, true}}; }

const char* const sections_ab_b = "<KeloSettings><Section Name='ab'><Data Key='x'>1</Data></Section>"
                                  "<Section Name='b'><Data Key='y'>2</Data></Section></KeloSettings>";

const StoreCase store_cases[] = {
    {"root_without_children", "<KeloSettings/>", true, all("")},
    {"only_empty_sections", "<KeloSettings><Section Name='a'/></KeloSettings>", false, all("")},
    {"no_root", "<Other><Section Name='a'><Data Key='k'>v</Data></Section></Other>", false, all("")},
    {"malformed", "<KeloSettings><Section Name='a'>", false, all("")},
    {"first_value_wins",
     "<KeloSettings><Section Name='a'><Data Key='k'>1</Data><Data Key='k'>2</Data></Section>"
     "<Section Name='a'><Data Key='k'>3</Data><Data Key='j'>4</Data></Section></KeloSettings>",
     true, all("a/j=4;a/k=1;")},
    {"only_the_first_root",
     "<KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section></KeloSettings>"
     "<KeloSettings><Section Name='b'><Data Key='k'>2</Data></Section></KeloSettings>",
     true, all("a/k=1;")},
    {"unnamed_and_foreign_nodes_ignored",
     "<!-- c --><KeloSettings x='1'><Other/><Section><Data Key='k'>1</Data></Section>"
     "<Section Name=''><Data Key='k'>2</Data></Section><section Name='a'><Data Key='k'>3</Data></section>"
     "<Section Name='a'><Data>4</Data><Data Key=''>5</Data><data Key='k'>6</data><Data Key='k'/></Section>"
     "</KeloSettings>",
     true, all("a/k=;")},
    {"text_condensed_attributes_as_they_stand",
     "<KeloSettings><Section Name=' s '><Data Key='k  k'>  a \n\t b  </Data></Section></KeloSettings>", true,
     all(" s /k  k=a b;")},
    {"escapes_and_utf8_whatever_the_declaration",
     "<?xml version='1.0' encoding='ISO-8859-1'?><KeloSettings><Section Name='&lt;s&gt;'>"
     "<Data Key='k'>\xC3\xA9 &amp; &#x41;</Data></Section></KeloSettings>",
     true, all("<s>/k=\xC3\xA9 & A;")},
    {"multibyte_sequence_cut_short_at_the_end", "<KeloSettings>\xF1", false, all("")},
    {"set_is_seen_before_save", nullptr, false,
     {{'s', "General", "Color", "red", true}, {'g', "General", "Color", "red", true},
      {'s', "General", "Color", "", false}, {'g', "General", "Color", "red", true},
      {'s', "", "k", "v", false}, {'s', "a", "", "v", false}, {'g', "General", "", "", false}}},
    {"section_matched_by_containment", sections_ab_b, true,
     {{'S', "b", "", "x=1;y=2;", true}, {'S', "a", "", "", true}, {'S', "", "", "", false},
      {'R', "b", "", "", true}, {'S', "ab", "", "", true}, {'g', "ab", "x", "", false}}},
    {"removed_key_hidden_until_set_again", sections_ab_b, true,
     {{'r', "b", "y", "", true}, {'g', "b", "y", "", false}, {'S', "b", "", "x=1;", true},
      {'r', "b", "y", "", true}, {'r', "b", "nothing", "", false}, {'r', "", "y", "", false},
      {'s', "b", "y", "3", true}, {'g', "b", "y", "3", true}}},
    {"pending_only_values_removed", nullptr, false,
     {{'s', "n", "a", "1", true}, {'r', "n", "a", "", true}, {'g', "n", "a", "", false}, {'s', "n", "b", "2", true},
      {'R', "n", "", "", true}, {'S', "n", "", "", true}, {'R', "", "", "", false}}},
    // Reported under the part after the last "/": a pending set replaces a
    // stored value and the later combined key wins.
    {"section_keys_after_the_last_slash",
     "<KeloSettings><Section Name='s'><Data Key='k'>1</Data></Section></KeloSettings>", true,
     {{'s', "x/s", "k", "3", true}, {'S', "s", "", "k=3;", true}, {'s', "s", "a/", "4", true},
      {'S', "s", "", "k=3;", true}, {'g', "x/s", "k", "3", true}}},
};

using SettingsStore = LeakCheckedTest;

TEST_F(SettingsStore, Operations) {
    for (const StoreCase& c : store_cases) {
        SCOPED_TRACE(c.name);
        KeloSettings settings;
        if (c.text != nullptr) {
            // A failed parse first: its error must not stick to the next one.
            EXPECT_FALSE(settings.parse("<KeloSettings>") || settings.parse(""));
            EXPECT_EQ(settings.parse(c.text), c.loaded);
            EXPECT_EQ(settings.isLoaded(), c.loaded);
        }
        run_steps(settings, c.steps);
    }
}

// ---- files ------------------------------------------------------------------------------------

class Settings : public TempDirTest {
protected:
    // `name` (a path below the test folder, "\\" between folders) in the library's form.
    std::string path(const std::string& name) const { return root_text_ + "\\" + name; }
    // Opens `name`, sets a/k to `value` and saves.
    static bool save_one(const std::string& file, const char* value, bool open_access = false) {
        KeloSettings settings(open_access);
        return settings.open(file.c_str()) && settings.setData("a", "k", value) && settings.save(file.c_str());
    }
    // Every value of `file` as a new store opens it.
    static std::string opened(const std::string& file) {
        KeloSettings settings;
        EXPECT_TRUE(settings.open(file.c_str())) << file;
        return everything(settings);
    }
};

// ---- saving ---------------------------------------------------------------------------------

struct SaveCase {
    const char* name;   // also a folder, holding new\s.xml
    const char* before; // the file's content, nullptr: missing with its folders
    std::vector<Step> steps;
    std::string after;    // the file's bytes after save; empty: save answers false, the file stays
    const char* reopened; // every value when the file is opened again
};

const std::string general = printed(section("General", data("Language", "en-US") + data("Units", "metric")));

const SaveCase save_cases[] = {
    {"example_file", general.c_str(),
     {{'s', "General", "Units", "imperial", true}, {'s', "Network", "Port", "2080", true},
      {'r', "General", "Language", "", true}},
     printed(section("General", data("Units", "imperial")) + section("Network", data("Port", "2080"))),
     "General/Units=imperial;Network/Port=2080;"},
    {"nothing_left_is_not_written", general.c_str(),
     {{'r', "General", "Language", "", true}, {'R', "General", "", "", true}}, "",
     "General/Language=en-US;General/Units=metric;"},
    {"special_characters_escaped", nullptr, {{'s', "x&y", "<k>", "a & b < c > \"d\" 'e' \xC3\xA9", true}},
     printed(section("x&amp;y", data("&lt;k&gt;", "a &amp; b &lt; c &gt; &quot;d&quot; &apos;e&apos; \xC3\xA9"))),
     "x&y/<k>=a & b < c > \"d\" 'e' \xC3\xA9;"},
    // The byte-order mark is read past and not written.
    {"declaration_put_before_a_leading_comment",
     "\xEF\xBB\xBF<!-- c --><KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section></KeloSettings>",
     {{'s', "a", "k", "2", true}},
     declaration + std::string("<!-- c -->\n<KeloSettings>\n") + section("a", data("k", "2")) + "</KeloSettings>\n",
     "a/k=2;"},
    {"unread_nodes_written_back",
     "<?xml version='1.0'?><KeloSettings><Other/><Section><Data Key='k'>1</Data></Section>"
     "<Section Name='a'><Data>2</Data><Data Key='k'>3</Data></Section></KeloSettings>",
     {{'s', "a", "k", "4", true}},
     "<?xml version=\"1.0\" ?>\n<KeloSettings>\n    <Other />\n    <Section>\n        <Data Key=\"k\">1</Data>\n"
     "    </Section>\n    <Section Name=\"a\">\n        <Data>2</Data>\n        <Data Key=\"k\">4</Data>\n"
     "    </Section>\n</KeloSettings>\n",
     "a/k=4;"},
    // A declaration that would not print back readable is replaced.
    {"unprintable_declaration_replaced",
     "<?xml version=\"1.&quot;?>\n<x/>\" ?><KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section>"
     "</KeloSettings>",
     {{'s', "a", "k", "2", true}}, one_value("2"), "a/k=2;"},
    {"white_space_written_as_set_read_condensed", nullptr, {{'s', "a", "k", " a  b", true}}, one_value(" a  b"),
     "a/k=a b;"},
    {"split_at_the_last_two_slashes", nullptr, {{'s', "a/b", "c", "v", true}}, printed(section("b", data("c", "v"))),
     "b/c=v;"},
    {"first_of_duplicates_changed",
     "<KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section>"
     "<Section Name='a'><Data Key='k'>2</Data></Section></KeloSettings>",
     {{'s', "a", "k", "3", true}}, printed(section("a", data("k", "3")) + section("a", data("k", "2"))), "a/k=3;"},
    // The empty element stays first, so the file reads back the empty value.
    {"empty_data_element_stays_in_front",
     "<KeloSettings><Section Name='a'><Data Key='k'/><Data Key='j'>1</Data></Section></KeloSettings>",
     {{'s', "a", "k", "v", true}},
     printed(section("a", "        <Data Key=\"k\" />\n" + data("j", "1") + data("k", "v"))), "a/j=1;a/k=;"},
    {"data_without_text_child_left_alone",
     "<KeloSettings><Section Name='a'><Data Key='k'><x/></Data></Section></KeloSettings>",
     {{'s', "a", "k", "v", true}},
     printed(section("a", "        <Data Key=\"k\">\n            <x />\n        </Data>\n")), "a/k=;"},
    {"emptied_section_removed_pending_only_not_written",
     "<KeloSettings><Section Name='a'><Data Key='k'>1</Data></Section>"
     "<Section Name='b'><Data Key='k'>2</Data></Section></KeloSettings>",
     {{'r', "a", "k", "", true}, {'s', "n", "x", "1", true}, {'R', "n", "", "", true}},
     printed(section("b", data("k", "2"))), "b/k=2;"},
};

TEST_F(Settings, SaveWritesTheFile) {
    for (const SaveCase& c : save_cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(std::string(c.name) + "\\new\\s.xml");
        const fs::path native = root_ / c.name / "new" / "s.xml";
        if (c.before != nullptr) fs::create_directories(native.parent_path()), write_file(native, c.before);
        {
            KeloSettings settings;
            ASSERT_TRUE(settings.open(file.c_str()) && settings.isLoaded());
            run_steps(settings, c.steps);
            EXPECT_EQ(settings.save(file.c_str()), !c.after.empty());
        }
        EXPECT_EQ(read_file(native), c.after.empty() ? std::string(c.before ? c.before : "") : c.after);
        KeloSettings reopened;
        EXPECT_EQ(reopened.open(file.c_str()), fs::exists(native));
        EXPECT_EQ(everything(reopened), c.reopened);
    }
}

// A file is read as TinyXML's loader reads one: line ends become "\n"
// (also inside CDATA) and nothing after a NUL byte counts.
TEST_F(Settings, OpenNormalisesLineEnds) {
    const char text[] = "<KeloSettings>\r\n<Section Name='a'><Data Key='k'><![CDATA[x\r\ny\rz]]></Data>"
                        "</Section></KeloSettings>\0<junk";
    write_file(root_ / "crlf.xml", std::string(text, sizeof text - 1));
    EXPECT_EQ(opened(path("crlf.xml")), "a/k=x\ny\nz;");
}

// open with the keep-changes flag keeps the pending changes and the path
// remembered before; without it both go.
TEST_F(Settings, KeepChanges) {
    write_file(root_ / "one.xml", printed(section("a", data("x", "1"))));
    KeloSettings settings;
    ASSERT_TRUE(settings.open(path("one.xml").c_str()) && settings.setData("a", "y", "2"));
    EXPECT_TRUE(settings.open(path("two.xml").c_str(), true)); // missing: the remembered path answers
    EXPECT_EQ(everything(settings), "a/y=2;");
    // save reads the remembered file again and writes it with the change.
    EXPECT_TRUE(settings.save(path("two.xml").c_str()));
    EXPECT_EQ(opened(path("two.xml")), "a/x=1;a/y=2;");
    EXPECT_TRUE(settings.open(path("one.xml").c_str()));
    EXPECT_EQ(everything(settings), "a/x=1;");

    KeloSettings fresh;
    EXPECT_FALSE(fresh.open(path("missing.xml").c_str(), true)); // no path remembered
    EXPECT_TRUE(fresh.isLoaded());
    EXPECT_FALSE(fresh.open("") || fresh.save(""));
}

// A file that exists is replaced as the file it was: its mode (POSIX), a
// link stays a link, and a read-only file is refused and kept.
TEST_F(Settings, KeepsWhatTheFileIs) {
    ASSERT_TRUE(save_one(path("ro.xml"), "v"));
    fs::permissions(root_ / "ro.xml", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (TPath(path("ro.xml").c_str()).isWritable())
        std::cout << "[ SKIPPED  ] read-only case: this account may write read-only files\n";
    else
        EXPECT_FALSE(save_one(path("ro.xml"), "w"));
    EXPECT_EQ(read_file(root_ / "ro.xml"), one_value("v"));
    // A file with another name is written in place, so both names see it.
    write_file(root_ / "target.xml", "<KeloSettings/>");
    fs::create_hard_link(root_ / "target.xml", root_ / "hard.xml");
    ASSERT_TRUE(save_one(path("hard.xml"), "hard"));
    EXPECT_EQ(read_file(root_ / "target.xml"), one_value("hard"));
    ASSERT_TRUE(save_one(path("open.xml"), "v", true));

    if (on_windows()) GTEST_SKIP() << "modes and symbolic links: POSIX only";
    const auto mode = [](const fs::path& file) { return fs::status(file).permissions() & fs::perms::mask; };
    EXPECT_EQ(mode(root_ / "open.xml"), static_cast<fs::perms>(0666));
    ASSERT_TRUE(save_one(path("mode.xml"), "v"));
    write_file(root_ / "plain", ""); // a new file's mode, as the creation mask makes it
    EXPECT_EQ(mode(root_ / "mode.xml"), mode(root_ / "plain"));
    fs::permissions(root_ / "mode.xml", static_cast<fs::perms>(0640));
    ASSERT_TRUE(save_one(path("mode.xml"), "w"));
    EXPECT_EQ(mode(root_ / "mode.xml"), static_cast<fs::perms>(0640));
    fs::create_symlink("target.xml", root_ / "link.xml");
    ASSERT_TRUE(save_one(path("link.xml"), "link"));
    EXPECT_TRUE(fs::is_symlink(root_ / "link.xml"));
    EXPECT_EQ(read_file(root_ / "target.xml"), one_value("link"));
}

// What a save that died left beside the file: its copy of the old content
// (from a write in place) is put back by the next open, and its temporary
// files are removed by the next save; other files are not touched.
TEST_F(Settings, ClearsWhatDeadSavesLeft) {
    write_file(root_ / "app.xml", one_value("half-written"));
    write_file(root_ / ".app.xml.rollback", one_value("old"));
    const std::vector<std::string> stale{".app.xml.0123456789abcdef.tmp"},
        kept{".app.xml.0123456789abcdeg.tmp", ".app.xml.tmp", ".other.xml.0123456789abcdef.tmp"};
    for (const auto& names : {stale, kept})
        for (const std::string& name : names) write_file(root_ / name, "x");
    EXPECT_EQ(opened(path("app.xml")), "a/k=old;");
    EXPECT_FALSE(fs::exists(root_ / ".app.xml.rollback"));
    ASSERT_TRUE(save_one(path("app.xml"), "new"));
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
        {"50,000 levels", nested(49998), false}, // refused before a recursive parser sees it
        {"256 attributes", attributes(256), true},
        {"257 attributes", attributes(257), false},
        {"markup in comments, CDATA, values and instructions", deep_but_skipped, true},
    };
    for (const auto& c : cases) {
        const std::string text =
            "<KeloSettings><Section Name='a'><Data Key='k'>v</Data>" + c.inside + "</Section></KeloSettings>";
        KeloSettings parsed, opened;
        EXPECT_EQ(parsed.parse(text.c_str()), c.loaded) << c.name;
        write_file(root_ / "limits.xml", text);
        EXPECT_EQ(opened.open(path("limits.xml").c_str()), c.loaded) << c.name;
        EXPECT_EQ(everything(opened), c.loaded ? "a/k=v;" : "") << c.name;
    }
}

// A path that leads to a FIFO answers false at once, for open and for save,
// rather than waiting for a writer or a reader. If it waits, the watchdog
// opens the other end after a while, and the test fails.
TEST_F(Settings, RefusesAFifoWithoutWaiting) {
    if (on_windows()) GTEST_SKIP() << "FIFOs: POSIX only";
    const fs::path fifo = root_ / "fifo.xml";
    ASSERT_EQ(ChildProcess("/usr/bin/mkfifo", {fifo.string()}).wait(), 0);
    std::atomic<bool> done{false}, waited{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !done; ++i) sleep_ms(10);
        // Opened for reading and writing (which never waits on Linux), it
        // releases both an open that waits for a writer and a save that
        // waits for a reader.
        if (done) return;
        waited = true;
        std::fstream both(fifo, std::ios::in | std::ios::out);
    });
    KeloSettings settings;
    EXPECT_FALSE(settings.open(path("fifo.xml").c_str()));
    ASSERT_TRUE(settings.parse("<KeloSettings><Section Name='a'><Data Key='k'>v</Data></Section></KeloSettings>"));
    EXPECT_FALSE(settings.save(path("fifo.xml").c_str()));
    done = true;
    watchdog.join();
    EXPECT_FALSE(waited) << "open or save waited on the FIFO";
}

// A save waits while another holds the file's named settings lock: "Local\"
// and the path with '_' for '\'. (The folder lock alone would hide a save
// that never takes it.)
TEST_F(Settings, SaveWaitsForTheNamedLock) {
    std::string name = path("held.xml");
    std::replace(name.begin(), name.end(), '\\', '_');
    KeloMutex holder;
    ASSERT_TRUE(holder.Open(("Local\\" + name).c_str()) && holder.Lock(0));
    std::atomic<bool> saved{false};
    std::thread saver([&] { saved = save_one(path("held.xml"), "v"); });
    sleep_ms(300);
    EXPECT_FALSE(saved);
    holder.UnLock();
    saver.join();
    EXPECT_TRUE(saved);
}

// ---- several processes ------------------------------------------------------------------------

// Every process saves its own keys, one at a time, into one file that
// they name three ways (absolute, relative to the working directory, and
// through "sub\.."); none may be lost. With the named lock, and with no
// named lock at all (its folder and its fallback taken by files), so that
// the folder lock alone keeps them apart; that a moved named lock still
// excludes is the lock tests' part. Windows names its mutexes in the
// kernel, so only the first case exists there.
// KELOUTIL_SETTINGS_STRESS=1 runs 8 processes x 200 saves per spelling.
TEST_F(Settings, NoLostUpdate) {
    const bool stressed = printable(std::getenv("KELOUTIL_SETTINGS_STRESS")) == "1";
    const int processes = 3 * (stressed ? 8 : 4), saves = stressed ? 200 : 20;
    fs::create_directory(root_ / "sub");
    fs::current_path(root_); // the children start here too
    const std::string spellings[] = {path("shared.xml"), "shared.xml", "sub\\..\\shared.xml"};
    for (const bool named : {true, false}) {
        if (on_windows() && !named) break;
        SCOPED_TRACE(named ? "named lock" : "no named lock");
        for (const char* name : {"shared.xml", "rt", "cache"}) fs::remove_all(root_ / name);
        for (const char* folder : {"rt", "cache/keloutil"}) fs::create_directories(root_ / folder);
        const ScopedEnvironment runtime("XDG_RUNTIME_DIR", (root_ / "rt").u8string()),
            cache("XDG_CACHE_HOME", (root_ / "cache").u8string());
        for (const char* taken : {"rt/keloutil", "cache/keloutil/locks"})
            if (!named) write_file(root_ / taken, "");
        std::vector<std::unique_ptr<ChildProcess>> children;
        std::map<TStr, TStr> expected;
        for (int i = 0; i < processes; ++i) {
            const std::string prefix = "w" + std::to_string(i);
            children.push_back(std::make_unique<ChildProcess>(
                sibling_program("keloutil_settings_worker"),
                std::vector<std::string>{"save-keys", spellings[i % 3], prefix, std::to_string(saves)}));
            for (int k = 0; k < saves; ++k)
                expected[(prefix + "/k" + std::to_string(k)).c_str()] = ("v" + std::to_string(k)).c_str();
        }
        for (auto& child : children) EXPECT_EQ(child->wait(), 0); // -1 when it did not start
        EXPECT_EQ(opened(spellings[0]), listing(expected));
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
    for (const std::string name : {"big.xml", "link.xml", "hard.xml"}) {
        SCOPED_TRACE(name);
        const fs::path written = name == "link.xml" ? root_ / "real" / "big.xml" : root_ / name;
        for (int kills = 0; kills < 35; ++kills) {
            SCOPED_TRACE(testing::Message() << "kill " << kills);
            if (kills == 1 && name == "hard.xml") fs::create_hard_link(written, root_ / "second.xml");
            const std::set<fs::path> before = files_of_writes(written.parent_path());
            const auto writing = [&] { // a new temporary file has appeared
                const std::set<fs::path> now = files_of_writes(written.parent_path());
                return !std::includes(before.begin(), before.end(), now.begin(), now.end());
            };
            ChildProcess child(sibling_program("keloutil_settings_worker"), {"save-loop", path(name)});
            ASSERT_TRUE(child.started());
            // The first run writes the file once before it is killed. A save
            // takes some 0.3 s, mostly reading; every other kill waits for
            // the write to begin so that many land in it.
            while (kills == 0 && !fs::exists(written) && child.running()) sleep_ms(10);
            for (int waited = 0; kills % 2 == 1 && kills > 1 && waited < 2000 && !writing(); ++waited) sleep_ms(1);
            sleep_ms(std::uniform_int_distribution<int>(0, kills % 2 == 1 ? 20 : 600)(random));
            ASSERT_TRUE(child.running()) << "the worker ended by itself";
            child.kill();
            child.wait();

            KeloSettings settings;
            std::map<TStr, TStr> values;
            ASSERT_TRUE(settings.open(path(name).c_str()) && settings.getAll(values));
            // The count and FNV-1a checksum of the values in key order, as the worker makes them.
            uint32_t sum = 2166136261u;
            size_t count = 0;
            for (const auto& [key, value] : values) {
                if (key.find("Meta/") == 0) continue;
                ++count;
                for (const char c : shown(value)) sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
            }
            EXPECT_EQ(shown(values[TStr("Meta/count")]) + " " + shown(values[TStr("Meta/checksum")]),
                      std::to_string(count) + " " + std::to_string(sum));
        }
        ASSERT_TRUE(save_one(path(name), "v"));
        EXPECT_TRUE(files_of_writes(written.parent_path()).empty()) << "temporary files left after a clean save";
        EXPECT_TRUE(fs::is_symlink(root_ / "link.xml"));
    }
    EXPECT_EQ(fs::hard_link_count(root_ / "second.xml"), 2u);
}

// A full disk (files limited in size) during a save of a plain file, of a
// link and of a file written in place: save answers false, and the file
// still opens with its old values, nothing else left beside it.
TEST_F(Settings, FullDiskKeepsTheOldValues) {
    if (on_windows()) GTEST_SKIP() << "file size limits: POSIX only";
    fs::create_directory(root_ / "real");
    for (const char* name : {"real/target.xml", "plain.xml", "hard.xml"}) write_file(root_ / name, one_value("old"));
    fs::create_symlink(root_ / "real" / "target.xml", root_ / "link.xml");
    fs::create_hard_link(root_ / "hard.xml", root_ / "second.xml");
    for (const char* name : {"plain.xml", "link.xml", "hard.xml"}) {
        SCOPED_TRACE(name);
        ChildProcess child(sibling_program("keloutil_settings_worker"), {"save-full", path(name), "4096"});
        EXPECT_EQ(child.wait(), 0) << "save did not answer false";
        EXPECT_EQ(opened(path(name)), "a/k=old;");
    }
    EXPECT_TRUE(files_of_writes(root_).empty());
    EXPECT_TRUE(files_of_writes(root_ / "real").empty());
}

} // namespace
