// SPDX-License-Identifier: MIT
// kelo run: starts a program through TProcess, feeds it kelo's standard
// input and passes its output on.
#include "commands.hpp"
#include "platform.hpp"

#include <keloutil/tprocess.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace kelo {

const char* const run_usage =
    "kelo run [--] COMMAND [ARGS...]\n"
    "    Start COMMAND with the ARGS, give it kelo's standard input and print its\n"
    "    output and error output on kelo's standard output. COMMAND without a path\n"
    "    separator is looked up on the PATH. Exit status: the program's own;\n"
    "    128+N when signal N ended it; 126 when it exists but cannot be executed\n"
    "    (a directory, a file without execute permission); 127 when it is not\n"
    "    found. On Linux an argument that is empty, holds both kinds of quote or a\n"
    "    carriage return cannot be passed and is refused.\n";

namespace {

constexpr size_t chunk = 64 * 1024;

// What the input thread and the main thread share. The process is used by
// one thread at a time, under the lock; `finished` tells the input thread
// that the main thread is done with the child and it must not touch it.
struct Session {
    TProcess process;
    std::mutex lock;
    bool finished = false;
    bool input_open = true;

    Session(const TStr& command, const TStr& arguments) : process(command, arguments) {}

    // Closes the child's input unless that has been done.
    void close_input() {
        if (input_open) process.closeDescriptor("stdin");
        input_open = false;
    }
};

// Copies kelo's standard input to the child until the input ends or the
// child stops reading, then closes the child's input so that it sees the
// end. Writes happen under the lock, so that the pipe is not closed under a
// write; reads do not, so a read that never returns holds nobody up.
void feed_input(const std::shared_ptr<Session>& session, void* to_child) {
    std::unique_ptr<char[]> buffer(new char[chunk]);
    void* input = standard_input();
    for (;;) {
        const size_t got = read_some(input, buffer.get(), chunk);
        const std::lock_guard<std::mutex> guard(session->lock);
        if (session->finished) return;
        if (got == 0 || !write_all(to_child, buffer.get(), got)) {
            session->close_input();
            return;
        }
    }
}

// The arguments from `first` on, each written as the started program reads
// it back.
std::string argument_text(const Arguments& args, size_t first) {
    std::string text;
    for (size_t i = first; i < args.size(); ++i) {
        const std::string what = "argument " + std::to_string(i - first + 1);
        require_utf8(args[i], what);
        if (!text.empty()) text += ' ';
        text += quoted_argument(args[i], what);
    }
    return text;
}

} // namespace

int run_run(Arguments args) {
    // Everything from COMMAND on is the program's.
    const CommandLine line = read_command_line(args, {}, true);
    expect_operands(line, 1, SIZE_MAX, "kelo run [--] COMMAND [ARGS...]");
    args = line.operands;
    const size_t first = 0;
    const std::string& command = args[first];
    require_utf8(command, "COMMAND");
    const std::string arguments = argument_text(args, first + 1);

    const Program found = find_program(command);
    if (found.path.empty()) {
        std::fprintf(stderr, "kelo run: cannot start '%s': %s\n", command.c_str(), found.reason.c_str());
        return found.status;
    }
    const std::string& program = found.path;
    auto session = std::make_shared<Session>(TStr(program.c_str()), TStr(arguments.c_str()));
    // The file is there and may be executed, so a failed start is one the
    // system refused (a file in no format it runs, or no resources left).
    if (session->process.execute() != TProcess::Started) {
        std::fprintf(stderr, "kelo run: cannot start '%s': the system cannot execute it\n", program.c_str());
        return 126;
    }
    void* const held = hold_child(session->process);
    ignore_broken_pipes();
    void* const to_child = session->process.toDescriptor("stdin");
    void* const from_child = session->process.fromDescriptor("stdout");
    // Detached: the thread may wait for input that never comes, and kelo
    // ends without it once the child's output has ended.
    std::thread(feed_input, session, to_child).detach();

    std::unique_ptr<char[]> buffer(new char[chunk]);
    bool written = true;
    for (size_t got; written && (got = read_some(from_child, buffer.get(), chunk)) > 0;)
        written = write_all(standard_output(), buffer.get(), got);
    {
        // The child's output is over: it gets no more input. When kelo's
        // output failed, closing the child's output lets a child that still
        // writes see that and end, so that waiting for it cannot hang.
        const std::lock_guard<std::mutex> guard(session->lock);
        session->finished = true;
        session->close_input();
        if (!written) session->process.closeDescriptor("stdout");
    }
    const int status = exit_status(session->process, held, program);
    if (!written) fail("cannot write standard output");
    return status;
}

} // namespace kelo
