// SPDX-License-Identifier: MIT
// TProcess: the argument splitter, the descriptor table, and real children
// (keloutil_process_child, built beside this program) fed through their
// pipes.
#include "child_process.hpp"
#include "test_support.hpp"

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <stdlib.h>
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace {

// What the tests need of the platform beyond the standard library.
#ifdef _WIN32
void write_all(void* handle, const std::string& data) {
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(handle, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
    ASSERT_EQ(written, data.size());
}
#else
int fd(void* handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }
void write_all(void* handle, const std::string& data) {
    ASSERT_EQ(write(fd(handle), data.data(), data.size()), static_cast<ssize_t>(data.size()));
}
size_t open_descriptor_count() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}
#endif

void* const invalid = reinterpret_cast<void*>(static_cast<intptr_t>(-1));

std::string child_program() { return sibling_program("keloutil_process_child"); }

std::string text(const TStr& s) { return s.isNull() ? "" : shown(s); }

// Each item followed by a line feed.
std::string lines(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += item + "\n";
    return out;
}

// Gives the child `input`, closes its input and reads its output to the end.
std::string converse(TProcess& process, const std::string& input = "") {
    if (!input.empty()) write_all(process.toDescriptor("stdin"), input);
    EXPECT_TRUE(process.closeDescriptor("stdin"));
    return read_all(process.fromDescriptor("stdout"));
}

// Asks status() until the process is gone; false after ten seconds.
bool ends(TProcess& process) {
    for (int i = 0; i < 1000; ++i) {
        if (process.status() == -6) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

using ProcessTest = LeakCheckedTest;

TEST_F(ProcessTest, SplitterCutsArgumentsAtBlanksOutsideQuotes) {
    const std::string long_word(5000, 'w');
    const struct { std::string text, arguments; } cases[] = { // arguments joined by "\r"
        {"a \"b c\" d", "a\rb c\rd"}, {"'x y' z", "x y\rz"}, {"  \t ", ""}, {"a\tb\t\tc", "a\rb\rc"},
        {"a\"b c", "a\"b\rc"},              // a quote inside a word stays
        {"\"\" x ''", "x"},                  // empty quoted arguments add nothing
        {"\"a b\"c", "a b\rc"},              // a closing quote ends the argument
        {"\"it's\" 'say \"hi\"'", "it's\rsay \"hi\""},
        {"a \"b c", "a\rb c"},               // an unclosed quote ends with the text
        {"é 中x 😀\"y z\"", "é\r中x\r😀\"y\rz\""}, // multi-byte characters stay whole
        {long_word + " y", long_word + "\ry"},
        {"a\r b", "a\rb"}};                  // "\r" at a junction counts as the separator
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(text(TProcess::splitArgumentString(c.text.c_str())), c.arguments);
    }
}

TEST_F(ProcessTest, DescriptorTableFindsTheFirstEntryOfAName) {
    TProcess process("x", "");
    void* const h[] = {reinterpret_cast<void*>(11), reinterpret_cast<void*>(12), reinterpret_cast<void*>(13),
                       reinterpret_cast<void*>(14), reinterpret_cast<void*>(15)};
    EXPECT_EQ(process.mapDescriptor(h[0], h[1], false, "one"), 0);
    EXPECT_EQ(process.mapDescriptor(h[0], h[1], true, "renamed"), 0); // same pair: the name stays
    EXPECT_EQ(process.mapDescriptor(h[1], h[0], true, "one"), 0);     // another pair of that name
    EXPECT_EQ(process.mapDescriptor(h[2], h[1], false, "né"), 0);
    EXPECT_EQ(process.mapDescriptor(h[3], h[1], false, "abcdefghijklmnopqrst"), 0);
    EXPECT_EQ(process.mapDescriptor(h[4], h[1], false, ""), 0);
    const struct { const char* name; void* handle; } lookups[] = {
        {"one", h[0]},       {"renamed", invalid},           {"né", invalid},
        {"n?", h[2]},        {"abcdefghijklmnop", h[3]},     {"abcdefghijklmnopXYZ", h[3]},
        {"abcdefghijklmno", invalid}, {"", h[4]},            {"stdout", invalid},
    };
    for (const auto& lookup : lookups) {
        SCOPED_TRACE(lookup.name);
        EXPECT_EQ(process.fromDescriptor(lookup.name), lookup.handle);
        EXPECT_EQ(process.toDescriptor(lookup.name), lookup.handle);
    }
    EXPECT_FALSE(process.closeDescriptor("one")) << "a mapped handle is the caller's";
    EXPECT_EQ(process.fromDescriptor("one"), h[0]);
}

TEST_F(ProcessTest, ObjectsWithoutRecordOrCommandStartNothing) {
    TProcess none;
    EXPECT_EQ(none.execute(), -3);
    EXPECT_EQ(none.wait(), -3);
    EXPECT_EQ(none.status(), -3);
    EXPECT_EQ(none.pid(), 0);
    EXPECT_EQ(none.mapDescriptor(invalid, invalid, false, "stdin"), -3);
    EXPECT_EQ(none.fromDescriptor("stdin"), invalid);
    EXPECT_FALSE(none.closeDescriptor("stdin"));
    // Ids that name no single process: 0 and -1 must not reach process
    // groups, the last is beyond any system's range in use.
    for (const int id : {0, -1, 0x7ffffff0}) {
        TProcess from_id(id);
        EXPECT_EQ(from_id.execute(), -5);
        EXPECT_EQ(from_id.status(), -6);
        EXPECT_EQ(from_id.pid(), static_cast<long>(static_cast<uint32_t>(id)));
        EXPECT_EQ(from_id.fromDescriptor("stdout"), invalid);
    }
}

TEST_F(ProcessTest, ChildReadsItsInputAndAnswersOnOneOutput) {
    TProcess process(child_program().c_str(), "echo");
    ASSERT_EQ(process.execute(), -1);
    EXPECT_GT(process.pid(), 0);
    EXPECT_NE(process.toDescriptor("stdin"), invalid);
    EXPECT_EQ(process.fromDescriptor("stdout"), process.toDescriptor("stdout"));
    EXPECT_EQ(process.fromDescriptor("stderr"), invalid);
    const std::string input = "hello\nwörld " + std::string(10000, 'z') + "\n";
    EXPECT_EQ(converse(process, input), input + "echo: done\n") << "the error output shares the output pipe";
    EXPECT_EQ(process.toDescriptor("stdin"), invalid) << "closed";
    EXPECT_FALSE(process.closeDescriptor("stdin"));
    EXPECT_TRUE(ends(process));

    // A second start replaces the table: the first child's input is closed,
    // so a child that reads to its end goes away.
    ASSERT_EQ(process.execute(), -1);
    const long first = process.pid();
    ASSERT_EQ(process.execute(), -1);
    EXPECT_NE(process.pid(), first);
    TProcess previous(static_cast<int>(first));
    EXPECT_TRUE(ends(previous));
    EXPECT_EQ(converse(process), "echo: done\n");
}

TEST_F(ProcessTest, ArgumentsReachTheChildLiterally) {
    const std::string long_argument(5000, 'a');
    // windows_too: the child's own command-line rules agree there.
    const struct { std::string arguments; std::vector<std::string> received; bool windows_too; } cases[] = {
        {"", {}, true},
        {"one \"two three\"\tfour", {"one", "two three", "four"}, true},
        {"é 中文 😀", {"é", "中文", "😀"}, true},
        {"; | \"$(echo x)\" `echo` * > out", {";", "|", "$(echo x)", "`echo`", "*", ">", "out"}, true},
        {long_argument, {long_argument}, true},
        {"'single quoted' a\"b", {"single quoted", "a\"b"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.substr(0, 40));
        if (on_windows() && !c.windows_too) continue;
        TProcess process(child_program().c_str(), ("args " + c.arguments).c_str());
        ASSERT_EQ(process.execute(), -1);
        EXPECT_EQ(converse(process), lines(c.received));
    }
}

// The launcher is the child program itself, and a copy of it in a folder
// whose name is not ASCII (read from the environment as the system holds
// it, the name must arrive whole).
TEST_F(ProcessTest, LauncherGetsTheQuotedProgramAndItsArguments) {
    namespace fs = std::filesystem;
    const std::string program = child_program();
    const fs::path folder = fs::temp_directory_path() / fs::u8path("keloutil-lanceur-\xC3\xA9\xE4\xB8\xAD");
    fs::create_directories(folder);
    const fs::path copy = folder / fs::u8path(program).filename();
    fs::copy_file(fs::u8path(program), copy, fs::copy_options::overwrite_existing);
    for (const std::string& launcher_path : {program, copy.u8string()}) {
        SCOPED_TRACE(launcher_path);
        std::optional<TProcess> launched;
        {
            const ScopedEnvironment launcher("KELO_USE_SQUISH", launcher_path);
            launched.emplace(program.c_str(), "args x \"y z\"");
        }
        TProcess direct(program.c_str(), "args x");
        ASSERT_EQ(launched->execute(), -1);
        // The launcher (the same program) sees the path first and prints it.
        EXPECT_EQ(converse(*launched), lines({program, "args", "x", "y z"}));
        ASSERT_EQ(direct.execute(), -1) << "the variable is read at construction only";
        EXPECT_EQ(converse(direct), lines({"x"}));
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST_F(ProcessTest, FailedStartKeepsIdAndTableAndLeaksNothing) {
    const std::string missing = (std::filesystem::temp_directory_path() / "keloutil-no-such-program").u8string();
    TProcess process(missing.c_str(), "a b");
    process.mapDescriptor(reinterpret_cast<void*>(21), reinterpret_cast<void*>(22), false, "mine");
#ifndef _WIN32
    const size_t descriptors = open_descriptor_count();
#endif
    EXPECT_EQ(process.execute(), -5);
    EXPECT_EQ(process.pid(), 0);
    EXPECT_EQ(process.fromDescriptor("mine"), reinterpret_cast<void*>(21));
    EXPECT_EQ(process.fromDescriptor("stdout"), invalid);
#ifndef _WIN32
    EXPECT_EQ(open_descriptor_count(), descriptors);
#endif
}

TEST_F(ProcessTest, StatusFollowsTheChild) {
    TProcess process(child_program().c_str(), "echo");
    ASSERT_EQ(process.execute(), -1);
    EXPECT_EQ(process.status(), 0) << "blocked reading its input";
    TProcess by_id(static_cast<int>(process.pid()));
    EXPECT_EQ(by_id.status(), 0);
    converse(process);
    EXPECT_TRUE(ends(process));
    EXPECT_EQ(process.status(), -6);
#ifndef _WIN32
    // A child ended by a signal has no exit status.
    ASSERT_EQ(process.execute(), -1);
    kill(static_cast<pid_t>(process.pid()), SIGKILL);
    EXPECT_EQ(process.wait(), -1);
    EXPECT_EQ(process.status(), -6);
#endif
}

TEST_F(ProcessTest, WaitAnswersTheExitStatus) {
    for (const int code : {0, 7, 255}) {
        for (const bool reaped_by_status : {false, true}) {
            SCOPED_TRACE(std::to_string(code) + (reaped_by_status ? " after status" : ""));
            TProcess process(child_program().c_str(), ("exit " + std::to_string(code)).c_str());
            ASSERT_EQ(process.execute(), -1);
            if (on_windows()) {
                EXPECT_EQ(process.wait(), -1) << "no waiting there";
                EXPECT_TRUE(ends(process));
                continue;
            }
            if (reaped_by_status) {
                EXPECT_TRUE(ends(process));
            }
            EXPECT_EQ(process.wait(), code);
            EXPECT_EQ(process.wait(), code) << "kept";
            EXPECT_EQ(process.status(), -6);
        }
    }
}

TEST_F(ProcessTest, CopiesTakeOnlyTheId) {
    TProcess original(child_program().c_str(), "exit 3");
    ASSERT_EQ(original.execute(), -1);
    TProcess copy(original);
    TProcess assigned;
    assigned = original;
    assigned = assigned;
    for (TProcess* other : {&copy, &assigned}) {
        EXPECT_EQ(other->pid(), original.pid());
        EXPECT_EQ(other->fromDescriptor("stdout"), invalid);
        EXPECT_EQ(other->execute(), -5) << "no command";
    }
    EXPECT_NE(original.fromDescriptor("stdout"), invalid);
    original.wait();
}

// On Linux only: descriptors are counted through /proc/self/fd.
TEST_F(ProcessTest, DescriptorsNeitherLeakNorReachTheChild) {
    if (on_windows()) GTEST_SKIP() << "Linux descriptors";
#ifndef _WIN32
    const size_t descriptors = open_descriptor_count();
    for (int i = 0; i < 1000; ++i) {
        TProcess process("/bin/true", "");
        ASSERT_EQ(process.execute(), -1);
        process.wait();
    }
    EXPECT_EQ(open_descriptor_count(), descriptors);

    // Neither a descriptor without close-on-exec nor a file the library
    // opened reaches the child.
    const int inheritable = dup(2);
    ASSERT_GT(inheritable, 2);
    const Str path = make("/dev/null");
    FILE* file = path_fopen(path.get(), "r");
    ASSERT_NE(file, nullptr);
    TProcess process(child_program().c_str(), "fds");
    ASSERT_EQ(process.execute(), -1);
    EXPECT_EQ(converse(process), lines({"0", "1", "2"}));
    std::fclose(file);
    close(inheritable);
#endif
}

} // namespace
