// Time of the kelo tool on large inputs, each next to a standard tool that
// streams the same input, in the same run:
//   unescape    kelo str unescape - on 1 MiB of "!}" (no escape, but every
//               second byte a "}" that could close one), next to cat
//   split_list  kelo str split-list --sep ';' - on 1 MiB of "a;" (524288
//               items and an empty last one), next to tr ';' '\n'
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
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

const char* const program_name = "keloutil_bench_kelo";

namespace {

namespace fs = std::filesystem;

constexpr size_t input_size = size_t{1} << 20;

struct Program {
    std::string name;
    std::vector<std::string> command; // the program is looked up in PATH unless it is a path
    std::string expected;             // all it prints
};

struct Operation {
    std::string name;
    fs::path input;
    Program kelo;
    Program peer;
};

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
// output, and stops the program unless it exits with status 0.
void run(const std::vector<std::string>& command, const fs::path& input, const char* output) {
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child;
    const int error = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) fail("cannot start " + command[0] + ": " + std::strerror(error));
    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) fail("cannot wait for " + command[0] + ": " + std::strerror(errno));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) fail(command[0] + " failed on " + input.string());
}

std::vector<Operation> make_operations() {
    const size_t pairs = input_size / 2;
    const std::string braces = repeated("!}", pairs);
    const std::string list = repeated("a;", pairs);
    std::ofstream(work_dir / "braces.txt", std::ios::binary) << braces;
    std::ofstream(work_dir / "list.txt", std::ios::binary) << list;
    const std::string kelo = kelo_path();
    return {
        {"unescape", work_dir / "braces.txt", {"kelo", {kelo, "str", "unescape", "-"}, braces + "\n"},
         {"cat", {"cat"}, braces}},
        {"split_list", work_dir / "list.txt",
         {"kelo", {kelo, "str", "split-list", "--sep", ";", "-"}, repeated("a\n", pairs) + "\n"},
         {"tr", {"tr", ";", "\\n"}, repeated("a\n", pairs)}},
    };
}

// Runs each program once into a file and compares what it printed.
void check(const Operation& operation) {
    for (const Program* program : {&operation.kelo, &operation.peer}) {
        const fs::path output = work_dir / "output.txt";
        run(program->command, operation.input, output.c_str());
        std::ifstream in(output, std::ios::binary);
        const std::string printed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
            const auto time = [command = program->command, input = operation.input](benchmark::State& state) {
                for (auto _ : state) run(command, input, "/dev/null");
                state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(input_size));
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
        rows.push_back(table_row({operation.name, operation.peer.name, format("%.1f", kelo), format("%.1f", peer),
                                  ratio(kelo, peer)}));
    }
    print_table("Wall-clock ms per run on 1 MiB of input; the ratio is kelo's time / the peer's time.",
                "| operation | peer | kelo | peer | kelo/peer |\n|---|---|---:|---:|---:|", rows);
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
        std::printf("kelo: %s\ninputs: %zu bytes each\n", kelo_path().c_str(), input_size);
        register_benchmarks(operations);
    };
    const auto summarise = [&operations](const CollectingReporter& results) { print_summary(operations, results); };
    return run_benchmarks(argc, argv, real_ms, prepare, summarise);
}
