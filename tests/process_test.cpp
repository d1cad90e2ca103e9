// SPDX-License-Identifier: MIT
// TProcess: the argument splitter, the descriptor table, and real children
// (keloutil_process_child, built beside this program) fed through their
// pipes.
#include "child_process.hpp"
#include "test_support.hpp"

#include <chrono>
#include <optional>
#include <tuple>
#include <thread>
#include <vector>

#ifdef _WIN32
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
size_t open_descriptor_count() { return 0; } // not counted there
#else
void write_all(void* handle, const std::string& data) {
    const int fd = static_cast<int>(reinterpret_cast<intptr_t>(handle));
    ASSERT_EQ(write(fd, data.data(), data.size()), static_cast<ssize_t>(data.size()));
}
size_t open_descriptor_count() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}
#endif

void* const invalid = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
void* handle(intptr_t value) { return reinterpret_cast<void*>(value); }

std::string child_program() { return sibling_program("keloutil_process_child"); }

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

// Starts the child with `arguments` and converses with it.
std::string run(const std::string& arguments, const std::string& input = "") {
    TProcess process(child_program().c_str(), arguments.c_str());
    return process.execute() == -1 ? converse(process, input) : "<not started>";
}

// Asks status() until the process is gone; false after ten seconds.
bool ends(TProcess& process) {
    for (int i = 0; i < 1000 && process.status() != -6; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return process.status() == -6;
}

using ProcessTest = LeakCheckedTest;

TEST_F(ProcessTest, SplitterCutsArgumentsAtBlanksOutsideQuotes) {
    const std::string long_word(5000, 'w');
    // The arguments joined by "\r". A quote inside a word stays, empty quoted
    // arguments add nothing, a closing quote ends the argument and an
    // unclosed one ends with the text; multi-byte characters stay whole, and
    // a "\r" at a junction counts as the separator.
    const struct { std::string text, arguments; } cases[] = {
        {"a \"b c\" d", "a\rb c\rd"}, {"'x y' z", "x y\rz"}, {"  \t ", ""}, {"a\tb\t\tc", "a\rb\rc"},
        {"a\"b c", "a\"b\rc"}, {"\"\" x ''", "x"}, {"\"a b\"c", "a b\rc"}, {"a \"b c", "a\rb c"},
        {"\"it's\" 'say \"hi\"'", "it's\rsay \"hi\""}, {"é 中x 😀\"y z\"", "é\r中x\r😀\"y\rz\""},
        {long_word + " y", long_word + "\ry"}, {"a\r b", "a\rb"}};
    for (const auto& c : cases) {
        const TStr split = TProcess::splitArgumentString(c.text.c_str());
        EXPECT_EQ(split.isNull() ? "" : shown(split), c.arguments) << c.text.substr(0, 40);
    }
}

TEST_F(ProcessTest, DescriptorTableFindsTheFirstEntryOfAName) {
    TProcess process("x", "");
    const struct { intptr_t parent, child; bool from_child; const char* name; } entries[] = {
        {11, 12, false, "one"}, {11, 12, true, "renamed"} /* same pair: the name stays */,
        {12, 11, true, "one"} /* another pair of that name */, {13, 12, false, "né"},
        {14, 12, false, "abcdefghijklmnopqrst"}, {15, 12, false, ""}};
    for (const auto& e : entries)
        EXPECT_EQ(process.mapDescriptor(handle(e.parent), handle(e.child), e.from_child, e.name), 0) << e.name;
    const struct { const char* name; void* found; } lookups[] = {
        {"one", handle(11)}, {"renamed", invalid}, {"né", invalid}, {"n?", handle(13)},
        {"abcdefghijklmnop", handle(14)}, {"abcdefghijklmnopXYZ", handle(14)}, {"abcdefghijklmno", invalid},
        {"", handle(15)}, {"stdout", invalid}};
    for (const auto& [name, found] : lookups)
        EXPECT_EQ(std::make_pair(process.fromDescriptor(name), process.toDescriptor(name)), std::pair(found, found))
            << name;
    EXPECT_FALSE(process.closeDescriptor("one")) << "a mapped handle is the caller's";
    EXPECT_EQ(process.fromDescriptor("one"), handle(11));
}

TEST_F(ProcessTest, ObjectsWithoutRecordOrCommandStartNothing) {
    TProcess none;
    EXPECT_EQ((std::vector<long>{none.execute(), none.wait(), none.status(), none.pid(),
                                 none.mapDescriptor(invalid, invalid, false, "stdin")}),
              (std::vector<long>{-3, -3, -3, 0, -3}));
    EXPECT_TRUE(none.fromDescriptor("stdin") == invalid && !none.closeDescriptor("stdin"));
    // Ids that name no single process: 0 and -1 must not reach process
    // groups, the last is beyond any system's range in use.
    for (const int id : {0, -1, 0x7ffffff0}) {
        TProcess from_id(id);
        EXPECT_EQ((std::vector<long>{from_id.execute(), from_id.status(), from_id.pid()}),
                  (std::vector<long>{-5, -6, static_cast<long>(static_cast<uint32_t>(id))}));
        EXPECT_EQ(from_id.fromDescriptor("stdout"), invalid);
    }
}

TEST_F(ProcessTest, ChildReadsItsInputAndAnswersOnOneOutput) {
    TProcess process(child_program().c_str(), "echo");
    ASSERT_EQ(process.execute(), -1);
    EXPECT_GT(process.pid(), 0);
    EXPECT_EQ(process.status(), 0) << "blocked reading its input";
    EXPECT_EQ(TProcess(static_cast<int>(process.pid())).status(), 0);
    EXPECT_NE(process.toDescriptor("stdin"), invalid);
    EXPECT_EQ(process.fromDescriptor("stdout"), process.toDescriptor("stdout"));
    EXPECT_EQ(process.fromDescriptor("stderr"), invalid);
    const std::string input = "hello\nwörld " + std::string(10000, 'z') + "\n";
    EXPECT_EQ(converse(process, input), input + "echo: done\n") << "the error output shares the output pipe";
    EXPECT_TRUE(process.toDescriptor("stdin") == invalid && !process.closeDescriptor("stdin")) << "closed";
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
        {"", {}, true}, {"one \"two three\"\tfour", {"one", "two three", "four"}, true},
        {"é 中文 😀", {"é", "中文", "😀"}, true},
        {"; | \"$(echo x)\" `echo` * > out", {";", "|", "$(echo x)", "`echo`", "*", ">", "out"}, true},
        {long_argument, {long_argument}, true}, {"'single quoted' a\"b", {"single quoted", "a\"b"}, false}};
    for (const auto& c : cases) {
        if (on_windows() && !c.windows_too) continue;
        EXPECT_EQ(run("args " + c.arguments), lines(c.received)) << c.arguments.substr(0, 40);
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
        std::optional<TProcess> launched;
        {
            const ScopedEnvironment launcher("KELO_USE_SQUISH", launcher_path);
            launched.emplace(program.c_str(), "args x \"y z\"");
        }
        ASSERT_EQ(launched->execute(), -1) << launcher_path;
        // The launcher (the same program) sees the path first and prints it.
        EXPECT_EQ(converse(*launched), lines({program, "args", "x", "y z"})) << launcher_path;
        EXPECT_EQ(run("args x"), lines({"x"})) << "the variable is read at construction only";
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

TEST_F(ProcessTest, FailedStartKeepsIdAndTableAndLeaksNothing) {
    const std::string missing = (std::filesystem::temp_directory_path() / "keloutil-no-such-program").u8string();
    TProcess process(missing.c_str(), "a b");
    process.mapDescriptor(handle(21), handle(22), false, "mine");
    const size_t descriptors = open_descriptor_count();
    // Braces evaluate in order: the start comes first.
    EXPECT_EQ((std::tuple{process.execute(), process.pid(), process.fromDescriptor("mine"),
                          process.fromDescriptor("stdout")}),
              (std::tuple{-5L, 0L, handle(21), invalid}));
    EXPECT_EQ(open_descriptor_count(), descriptors);
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
            EXPECT_TRUE(!reaped_by_status || ends(process));
            // The second wait() answers the status kept from the first.
            EXPECT_EQ((std::vector<long>{process.wait(), process.wait(), process.status()}),
                      (std::vector<long>{code, code, -6}));
        }
    }
#ifndef _WIN32
    // A child ended by a signal has no exit status.
    TProcess process(child_program().c_str(), "echo");
    ASSERT_EQ(process.execute(), -1);
    kill(static_cast<pid_t>(process.pid()), SIGKILL);
    EXPECT_EQ((std::vector<long>{process.wait(), process.status()}), (std::vector<long>{-1, -6}));
#endif
}

TEST_F(ProcessTest, CopiesTakeOnlyTheId) {
    TProcess original(child_program().c_str(), "exit 3");
    ASSERT_EQ(original.execute(), -1);
    TProcess copy(original), assigned;
    assigned = original;
    assigned = assigned;
    for (TProcess* other : {&copy, &assigned}) {
        EXPECT_EQ((std::tuple{other->pid(), other->fromDescriptor("stdout"), other->execute()}),
                  (std::tuple{original.pid(), invalid, -5L})) << "no table and no command";
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
    EXPECT_EQ(run("fds"), lines({"0", "1", "2"}));
    std::fclose(file);
    close(inheritable);
#endif
}

} // namespace
