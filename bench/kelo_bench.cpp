// SPDX-License-Identifier: MIT
// Time of the kelo tool on large inputs, each next to a standard tool that
// streams the same input, in the same run:
//   unescape    kelo str unescape - on 1 MiB of "!}" (no escape, but every
//               second byte a "}" that could close one), next to cat
//   split_list  kelo str split-list --sep ';' - on 1 MiB of "a;" (524288
//               items and an empty last one), next to tr ';' '\n'
//   to_utf16le, from_utf16le
//               kelo convert on 200 MB of mixed-script text (Latin, Greek,
//               Cyrillic, CJK, Hangul, emoji; KELO_BENCH_CONVERT_MB for
//               another size), UTF-8 to UTF-16LE and back, next to iconv;
//               the two outputs must be the same bytes. The peak memory of
//               each program is reported too (its maximum resident set; a
//               forked child counts from this program's own resident set at
//               the fork, some 7 MiB, so smaller figures show as that).
// Each iteration starts the program with the input file as its standard
// input and /dev/null as its standard output, and waits for it to end; the
// work is done in the child, so the time is wall-clock time. Before timing,
// each program runs once with its output in a file, which must hold what
// the program is expected to print.
//
// The kelo timed is the one built with this program; the environment
// variable KELO names another one (to time an older build, say).
// Benchmarks are named "<operation>/<program>"; after the run a summary
// table gives kelo's time relative to its peer's.
#include "bench_support.hpp"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

const char* const program_name = "keloutil_bench_kelo";

namespace {

namespace fs = std::filesystem;

constexpr size_t input_size = size_t{1} << 20;

struct Program {
    std::string name;
    std::vector<std::string> command; // the program is looked up in PATH unless it is a path
    std::string expected;             // all it prints; empty: the same as its peer
};

struct Operation {
    std::string name;
    fs::path input;
    size_t bytes; // of the input
    Program kelo;
    Program peer;
};

// The largest resident set of each benchmark's program, in MiB.
std::map<std::string, double> peak_mib;

// Where the inputs and the checked outputs go; removed at exit.
fs::path work_dir;

void remove_work_dir() {
    std::error_code ignored;
    if (!work_dir.empty()) fs::remove_all(work_dir, ignored);
}

std::string kelo_path() {
    const char* path = std::getenv("KELO");
    return path != nullptr && *path != '\0' ? path : KELO_PATH;
}

std::string repeated(const std::string& unit, size_t count) {
    std::string text;
    text.reserve(unit.size() * count);
    for (size_t i = 0; i < count; ++i) text += unit;
    return text;
}

// Runs `command` with `input` as standard input and `output` as standard
// output, and stops the program unless it exits with status 0. Answers the
// program's peak memory in MiB.
double run(const std::vector<std::string>& command, const fs::path& input, const char* output) {
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // fork rather than posix_spawn: a child that shares this process's
    // memory until it starts the program would report this process's peak.
    const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(output, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (in < 0 || out < 0) fail("cannot open the input or the output of " + command[0]);
    const pid_t child = fork();
    if (child == 0) {
        if (dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0) _exit(126);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ::close(in);
    ::close(out);
    if (child < 0) fail("cannot start " + command[0] + ": " + std::strerror(errno));
    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0)
        if (errno != EINTR) fail("cannot wait for " + command[0] + ": " + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail(command[0] + " failed on " + input.string());
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

std::vector<Operation> make_operations() {
    const size_t pairs = input_size / 2;
    const std::string braces = repeated("!}", pairs);
    const std::string list = repeated("a;", pairs);
    std::ofstream(work_dir / "braces.txt", std::ios::binary) << braces;
    std::ofstream(work_dir / "list.txt", std::ios::binary) << list;
    const std::string kelo = kelo_path();
    // Mixed-script text, written a line at a time.
    const char* megabytes = std::getenv("KELO_BENCH_CONVERT_MB");
    const size_t text_size = (megabytes != nullptr ? std::strtoull(megabytes, nullptr, 10) : 200) << 20;
    const std::string line = "Grüße, Ελληνικά, русский, 日本語のテキスト, 한국어, 😀🎉 and plain ASCII.\n";
    {
        std::ofstream text(work_dir / "mixed.txt", std::ios::binary);
        for (size_t written = 0; written < text_size; written += line.size()) text << line;
    }
    run({"iconv", "-f", "UTF-8", "-t", "UTF-16LE"}, work_dir / "mixed.txt", (work_dir / "mixed.utf16le").c_str());
    const size_t utf16_size = fs::file_size(work_dir / "mixed.utf16le");
    return {
        {"unescape", work_dir / "braces.txt", input_size, {"kelo", {kelo, "str", "unescape", "-"}, braces + "\n"},
         {"cat", {"cat"}, braces}},
        {"split_list", work_dir / "list.txt", input_size,
         {"kelo", {kelo, "str", "split-list", "--sep", ";", "-"}, repeated("a\n", pairs) + "\n"},
         {"tr", {"tr", ";", "\\n"}, repeated("a\n", pairs)}},
        {"to_utf16le", work_dir / "mixed.txt", fs::file_size(work_dir / "mixed.txt"),
         {"kelo", {kelo, "convert", "--from", "utf-8", "--to", "utf-16le"}, {}},
         {"iconv", {"iconv", "-f", "UTF-8", "-t", "UTF-16LE"}, {}}},
        {"from_utf16le", work_dir / "mixed.utf16le", utf16_size,
         {"kelo", {kelo, "convert", "--from", "utf-16le", "--to", "utf-8"}, {}},
         {"iconv", {"iconv", "-f", "UTF-16LE", "-t", "UTF-8"}, {}}},
    };
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Compares two files a block at a time, so that this program stays small
// (its children's peak memory counts from its own).
bool same_files(const fs::path& a, const fs::path& b) {
    std::ifstream left(a, std::ios::binary), right(b, std::ios::binary);
    std::vector<char> x(1 << 16), y(1 << 16);
    for (;;) {
        left.read(x.data(), static_cast<std::streamsize>(x.size()));
        right.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (left.gcount() != right.gcount() || !std::equal(x.begin(), x.begin() + left.gcount(), y.begin()))
            return false;
        if (left.gcount() == 0) return true;
    }
}

// Runs each program once into a file and compares what it printed with
// what it should print, or with what its peer printed.
void check(const Operation& operation) {
    const fs::path kelo_output = work_dir / "kelo.out", peer_output = work_dir / "peer.out";
    run(operation.kelo.command, operation.input, kelo_output.c_str());
    run(operation.peer.command, operation.input, peer_output.c_str());
    if (operation.kelo.expected.empty()) {
        if (!same_files(kelo_output, peer_output))
            fail(operation.name + ": kelo and " + operation.peer.name + " printed different bytes");
        return;
    }
    for (const auto& [program, output] : {std::pair{&operation.kelo, kelo_output}, {&operation.peer, peer_output}}) {
        const std::string printed = read_file(output);
        if (printed != program->expected)
            fail(operation.name + "/" + program->name + " printed " + std::to_string(printed.size()) +
                 " bytes, not the " + std::to_string(program->expected.size()) + " expected");
    }
}

std::string benchmark_name(const Operation& operation, const Program& program) {
    return operation.name + "/" + program.name;
}

void register_benchmarks(const std::vector<Operation>& operations) {
    for (const Operation& operation : operations) {
        for (const Program* program : {&operation.kelo, &operation.peer}) {
            const auto time = [command = program->command, input = operation.input, bytes = operation.bytes,
                               name = benchmark_name(operation, *program)](benchmark::State& state) {
                double peak = 0;
                for (auto _ : state) peak = std::max(peak, run(command, input, "/dev/null"));
                state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
                state.counters["peak_MiB"] = peak;
                peak_mib[name] = std::max(peak_mib[name], peak);
            };
            benchmark::RegisterBenchmark(benchmark_name(operation, *program).c_str(), time)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
}

double real_ms(const CollectingReporter::Run& run) {
    return run.GetAdjustedRealTime() * 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
}

// A Markdown table of the time per run and kelo's time divided by its
// peer's: above 1 means kelo is slower.
void print_summary(const std::vector<Operation>& operations, const CollectingReporter& results) {
    std::vector<std::string> rows;
    for (const Operation& operation : operations) {
        const double kelo = results.figure(benchmark_name(operation, operation.kelo));
        const double peer = results.figure(benchmark_name(operation, operation.peer));
        if (kelo <= 0.0 && peer <= 0.0) continue;
        rows.push_back(table_row({operation.name, operation.peer.name, std::to_string(operation.bytes), format("%.1f", kelo),
                                  format("%.1f", peer), ratio(kelo, peer),
                                  format("%.1f", peak_mib[benchmark_name(operation, operation.kelo)]),
                                  format("%.1f", peak_mib[benchmark_name(operation, operation.peer)])}));
    }
    print_table("Wall-clock ms per run; the ratio is kelo's time / the peer's time; peak memory in MiB.",
                "| operation | peer | input bytes | kelo ms | peer ms | kelo/peer | kelo MiB | peer MiB |\n"
                "|---|---|---:|---:|---:|---:|---:|---:|",
                rows);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<Operation> operations;
    const auto prepare = [&operations] {
        std::string pattern = (fs::temp_directory_path() / "keloutil_bench_kelo.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            fail("cannot make a temporary directory: " + std::string(std::strerror(errno)));
        work_dir = pattern;
        std::atexit(remove_work_dir);
        operations = make_operations();
        for (const Operation& operation : operations) check(operation);
        // The checked outputs (near a gigabyte) go, and what is left of
        // them reaches the disk now rather than during the first timing.
        fs::remove(work_dir / "kelo.out");
        fs::remove(work_dir / "peer.out");
        sync();
        std::printf("kelo: %s\n", kelo_path().c_str());
        register_benchmarks(operations);
    };
    const auto summarise = [&operations](const CollectingReporter& results) { print_summary(operations, results); };
    return run_benchmarks(argc, argv, real_ms, prepare, summarise);
}
