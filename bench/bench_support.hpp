// SPDX-License-Identifier: MIT
// Shared by the benchmark programs: the generator of their inputs, the
// reporter that keeps one figure of each benchmark for the summary, the
// helpers of the summary's Markdown tables, and the program's main() around
// them.
#ifndef KELOUTIL_BENCH_BENCH_SUPPORT_HPP
#define KELOUTIL_BENCH_BENCH_SUPPORT_HPP

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

// The program's name, for its error messages; each program defines it.
extern const char* const program_name;

// Stops the program when its inputs or an implementation's results are not
// what the benchmarks assume.
[[noreturn]] inline void fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program_name, message.c_str());
    std::exit(EXIT_FAILURE);
}

// splitmix64: a fixed seed gives the same inputs on every run and platform.
class Prng {
public:
    explicit Prng(uint64_t seed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
    bool one_in(uint32_t n) { return below(n) == 0; }

private:
    uint64_t state_;
};

// Prints like the console reporter (in colour on a terminal) and keeps one
// figure of each benchmark for the summary, computed from its run by the
// program's `Figure`: the median when repetitions are asked for, otherwise
// the single run.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    using Figure = double (*)(const Run& run);

    explicit CollectingReporter(Figure figure)
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None), figure_(figure) {}

    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && !median)) continue;
            Result& result = results_[run.run_name.function_name];
            if (median || !result.median) result = {figure_(run), median};
        }
    }

    // The figure of the benchmark `name`, or 0 for a benchmark that did not run.
    double figure(const std::string& name) const {
        const auto result = results_.find(name);
        return result != results_.end() ? result->second.figure : 0.0;
    }

private:
    struct Result {
        double figure;
        bool median;
    };
    Figure figure_;
    std::map<std::string, Result> results_;
};

// `value` through a printf pattern, or "-" for a figure of a benchmark that
// did not run.
inline std::string format(const char* pattern, double value) {
    if (value <= 0.0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

inline std::string ratio(double numerator, double denominator) {
    return numerator > 0.0 && denominator > 0.0 ? format("%.2f", numerator / denominator) : "-";
}

inline std::string table_row(std::initializer_list<std::string> cells) {
    std::string row = "|";
    for (const std::string& cell : cells) row += " " + cell + " |";
    return row;
}

// Prints a Markdown table with its introduction, or nothing when no
// benchmark of the table ran (as with --benchmark_filter).
inline void print_table(const char* introduction, const char* header, const std::vector<std::string>& rows) {
    if (rows.empty()) return;
    std::printf("\n%s\n\n%s\n", introduction, header);
    for (const std::string& row : rows) std::printf("%s\n", row.c_str());
}

// The main() of a benchmark program: reads Google Benchmark's options, calls
// `prepare` (checks, lines about the inputs, registration of the
// benchmarks), runs the benchmarks selected by the options, and hands the
// reporter, with `figure` of each benchmark that ran, to `summarise`.
template <class Prepare, class Summarise>
int run_benchmarks(int argc, char** argv, CollectingReporter::Figure figure, Prepare prepare, Summarise summarise) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    prepare();
    std::fflush(stdout);
    CollectingReporter reporter(figure);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    summarise(reporter);
    benchmark::Shutdown();
    return 0;
}

#endif // KELOUTIL_BENCH_BENCH_SUPPORT_HPP
