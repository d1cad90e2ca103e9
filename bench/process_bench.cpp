// SPDX-License-Identifier: MIT
// Time of starting a small child process through TProcess, next to the same
// done directly with posix_spawn and, when Qt 5 is found, with QProcess, in
// the same run. Each iteration starts /bin/echo hello with its standard
// input and output on pipes (error output sharing the output pipe), reads
// its output to the end and reaps it:
//   tprocess     execute, read fromDescriptor("stdout") to the end, wait
//   posix_spawn  two pipe2(O_CLOEXEC) pipes, posix_spawn, read, waitpid
//   qprocess     start with merged channels, waitForFinished, readAll
// Before timing, each runs once and must read "hello\n" and see exit
// status 0; every iteration checks the same, so nothing is skipped.
//
// Benchmarks are named "spawn/<implementation>" and timed in wall-clock time
// (the work is done in the child); after the run a summary table gives
// TProcess's time relative to each peer's. Linux only.
#include "bench_support.hpp"

#include <keloutil/tprocess.hpp>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#ifdef KELOUTIL_BENCH_QT
#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>
#endif

extern char** environ;

const char* const program_name = "keloutil_bench_process";

namespace {

const char* const program = "/bin/echo";
const char* const argument = "hello";
const std::string expected = "hello\n";

// Everything that can still be read from `fd`.
std::string read_to_end(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) text.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR) return text;
    }
}

void check(const char* implementation, const std::string& output, long status) {
    if (output != expected || status != 0)
        fail(std::string(implementation) + ": read '" + output + "', exit status " + std::to_string(status));
}

void run_tprocess() {
    TProcess process(program, argument);
    if (process.execute() != -1) fail("tprocess: cannot start " + std::string(program));
    const int from_child = static_cast<int>(reinterpret_cast<intptr_t>(process.fromDescriptor("stdout")));
    const std::string output = read_to_end(from_child);
    check("tprocess", output, process.wait());
}

// What TProcess does on Linux, written out: both pipes close-on-exec in
// this process, the child's ends moved to its standard descriptors.
void run_posix_spawn() {
    int to_child[2], from_child[2];
    if (::pipe2(to_child, O_CLOEXEC) != 0) fail("cannot make a pipe");
    if (::pipe2(from_child, O_CLOEXEC) != 0) fail("cannot make a pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], STDERR_FILENO);
    char* argv[] = {const_cast<char*>("echo"), const_cast<char*>(argument), nullptr};
    pid_t child;
    const int error = posix_spawn(&child, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(to_child[0]);
    ::close(from_child[1]);
    if (error != 0) fail("posix_spawn: cannot start " + std::string(program) + ": " + std::strerror(error));
    const std::string output = read_to_end(from_child[0]);
    ::close(from_child[0]);
    ::close(to_child[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) fail("posix_spawn: cannot wait: " + std::string(std::strerror(errno)));
    check("posix_spawn", output, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
}

#ifdef KELOUTIL_BENCH_QT
void run_qprocess() {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QString::fromLatin1(program), QStringList{QString::fromLatin1(argument)});
    if (!process.waitForFinished(-1)) fail("qprocess: cannot run " + std::string(program));
    const QByteArray output = process.readAll();
    check("qprocess", std::string(output.constData(), static_cast<size_t>(output.size())),
          process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1);
}
#endif

struct Implementation {
    const char* name;
    void (*run)(); // null when the peer is not built in
};

const Implementation implementations[] = {
    {"tprocess", run_tprocess},
    {"posix_spawn", run_posix_spawn},
#ifdef KELOUTIL_BENCH_QT
    {"qprocess", run_qprocess},
#else
    {"qprocess", nullptr},
#endif
};

std::string benchmark_name(const char* implementation) { return std::string("spawn/") + implementation; }

void register_benchmarks() {
    for (const Implementation& implementation : implementations) {
        if (implementation.run == nullptr) continue;
        implementation.run(); // the check before timing
        benchmark::RegisterBenchmark(benchmark_name(implementation.name).c_str(),
                                     [run = implementation.run](benchmark::State& state) {
                                         for (auto _ : state) run();
                                     })
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
}

// Wall-clock time per iteration, in microseconds.
double real_time(const CollectingReporter::Run& run) { return run.GetAdjustedRealTime(); }

// A Markdown table of the time per start and TProcess's time divided by
// each peer's: above 1 means TProcess is slower.
void print_summary(const CollectingReporter& results) {
    const double tprocess = results.figure(benchmark_name("tprocess"));
    std::vector<std::string> rows;
    for (const char* peer : {"posix_spawn", "qprocess"}) {
        const double time = results.figure(benchmark_name(peer));
        if (tprocess <= 0.0 && time <= 0.0) continue;
        rows.push_back(table_row({peer, format("%.0f", tprocess), format("%.0f", time), ratio(tprocess, time)}));
    }
    print_table("Wall-clock µs per start of /bin/echo hello, output read and child reaped; "
                "TProcess/peer above 1 means TProcess is slower.",
                "| peer | TProcess | peer | TProcess/peer |\n|---|---:|---:|---:|", rows);
}

} // namespace

int main(int argc, char** argv) {
#ifdef KELOUTIL_BENCH_QT
    // QProcess watches its children through the application object.
    QCoreApplication application(argc, argv);
#endif
    return run_benchmarks(argc, argv, real_time, register_benchmarks, print_summary);
}
