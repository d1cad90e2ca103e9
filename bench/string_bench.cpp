// Time of common string operations with keloutil's TStr next to
// std::string and, when the benchmark is built with Qt 5, QString.
//
// The text is about 2 KB of generated sentences: mostly ASCII words, some
// accented Latin, CJK and emoji words, and white space in runs (double
// spaces, tabs, line breaks, some at both ends). Each operation is done by
// all three in the same run:
//   append_literal  1000 times += of the literal "lorem " onto an empty string
//   append_char     1000 times += of one char onto an empty string
//   find            case-sensitive search for a word near the end
//   find_nocase     case-insensitive search for the same word, written in
//                   another case (std::string: std::search with a predicate
//                   that folds ASCII letters, without copies)
//   arg             "%1 is %2" with a string, then an int (std::string: a
//                   copy of the pattern and two replace() calls, the int
//                   through std::to_string)
//   replace         copy of the text, then every "the" replaced by "this"
//                   (std::string: find() and replace() in a loop)
//   simplify        a copy with white space trimmed and inner runs made one
//                   space (std::string: a hand loop into a new string)
//   to_int          eight short decimal texts to int, with the ok check
//                   (std::string: std::from_chars, all characters consumed)
//   copy            copy construction of the whole text
// Before timing, the program runs each operation once per implementation
// and stops when the results differ (texts compared as UTF-8, positions as
// byte offsets).
//
// Benchmarks are named "<operation>/<implementation>"; after the run a
// summary table gives TStr's time relative to each peer.
#include <keloutil/keloutil.h>
#include <keloutil/tstr.hpp>

#include <benchmark/benchmark.h>
#include <unistd.h>

#ifdef KELOUTIL_BENCH_QT
#include <QString>
#endif

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& message) {
    std::fprintf(stderr, "keloutil_bench_string: %s\n", message.c_str());
    std::exit(EXIT_FAILURE);
}

// ---- the inputs -------------------------------------------------------------------

// splitmix64: a fixed seed gives the same text on every run and platform.
class Prng {
public:
    explicit Prng(uint64_t seed) : state_(seed) {}
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
    bool one_in(uint32_t n) { return below(n) == 0; }

private:
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    uint64_t state_;
};

// Words of the generated text. None of them holds the searched word, and
// none holds a character that Unicode case folding would match with an
// ASCII letter (such as U+017F or U+212A), so the case-insensitive searches
// of all three agree.
const char* const plain_words[] = {
    "the",    "system", "reads",   "every",  "record", "from",     "disk",    "and",    "writes", "a",
    "short",  "report", "to",      "its",    "log",    "file",     "when",    "user",   "opens",  "window",
    "values", "are",    "stored",  "in",     "text",   "with",     "one",     "entry",  "per",    "line",
    "each",   "path",   "is",      "checked", "before", "use",     "other",   "these",  "then",   "list",
    "of",     "items",  "after",   "process", "ends",  "settings", "there",   "number", "name",   "version",
};
const char* const other_words[] = {
    "caf\xC3\xA9",            // café
    "na\xC3\xAFve",           // naïve
    "\xC3\xBC" "ber",         // über
    "r\xC3\xA9sum\xC3\xA9",   // résumé
    "fa\xC3\xA7" "ade",       // façade
    "Stra\xC3\x9F" "e",       // Straße
    "se\xC3\xB1or",           // señor
    "cr\xC3\xA8me",           // crème
    "\xE2\x82\xAC" "12",      // €12
    "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", // 日本語
    "\xF0\x9F\x99\x82",       // 🙂
};

constexpr size_t text_size = 2048;
constexpr const char* searched_sentence = "The Quartz clock stopped at noon.";
constexpr const char* searched_word = "Quartz";
constexpr const char* searched_word_other_case = "qUARTZ";

// Sentences of 5 to 14 words, one word in twelve from other_words, joined
// mostly by single spaces; the text starts and ends with white space. The
// sentence with the searched word comes at about nine tenths of the text.
std::string make_text() {
    Prng prng(7);
    std::string text = " \t ";
    bool planted = false;
    while (text.size() < text_size - 40) {
        if (!planted && text.size() > text_size * 9 / 10) {
            text += searched_sentence;
            text += "  ";
            planted = true;
            continue;
        }
        const uint32_t words = 5 + prng.below(10);
        for (uint32_t i = 0; i < words; ++i) {
            std::string word = prng.one_in(12) ? other_words[prng.below(std::size(other_words))]
                                               : plain_words[prng.below(std::size(plain_words))];
            if (i == 0 && word[0] >= 'a' && word[0] <= 'z') word[0] = static_cast<char>(word[0] - 'a' + 'A');
            text += word;
            if (i + 1 < words) {
                if (prng.one_in(8)) text += ',';
                text += prng.one_in(15) ? "  " : prng.one_in(30) ? "\t" : " ";
            }
        }
        text += '.';
        text += prng.one_in(5) ? "\n" : prng.one_in(6) ? "\n\n" : prng.one_in(4) ? "  " : " ";
    }
    text += " \n";
    return text;
}

const std::string& text() {
    static const std::string generated = make_text();
    return generated;
}

constexpr int appends = 1000;
constexpr const char* appended_literal = "lorem ";
constexpr const char* arg_pattern = "%1 is %2";
constexpr const char* arg_text = "Gr\xC3\xB6\xC3\x9F" "e"; // Größe
constexpr int32_t arg_number = 4096;
constexpr const char* replaced = "the";
constexpr const char* replacement = "this";
const char* const numbers[] = {"0", "42", "-17", "65535", "1234567", "-2147483648", "2147483647", "100000"};

char appended_char(int i) { return static_cast<char>('a' + i % 26); }

// ---- TStr ---------------------------------------------------------------------------

std::string utf8_of(const TStr& s) {
    const auto* record = static_cast<const str_t*>(s.handle());
    return std::string(record != nullptr && record->buffer != nullptr ? record->buffer : "",
                       static_cast<size_t>(str_len(record)));
}

struct TStrInputs {
    TStr text{::text().c_str()};
    TStr word{searched_word};
    TStr word_other_case{searched_word_other_case};
    TStr pattern{arg_pattern};
    TStr argument{arg_text};
    TStr search{replaced};
    TStr with{replacement};
    std::vector<TStr> numbers{std::begin(::numbers), std::end(::numbers)};
};

const TStrInputs& tstr_inputs() {
    static const TStrInputs inputs;
    return inputs;
}

TStr tstr_append_literal() {
    TStr s;
    for (int i = 0; i < appends; ++i) s += appended_literal;
    return s;
}

TStr tstr_append_char() {
    TStr s;
    for (int i = 0; i < appends; ++i) s += appended_char(i);
    return s;
}

int64_t tstr_find() { return tstr_inputs().text.find(tstr_inputs().word); }

int64_t tstr_find_nocase() { return tstr_inputs().text.find(tstr_inputs().word_other_case, 0, false); }

TStr tstr_arg() { return tstr_inputs().pattern.arg(tstr_inputs().argument).arg(arg_number); }

TStr tstr_replace() {
    TStr s(tstr_inputs().text);
    s.replace(tstr_inputs().search, tstr_inputs().with);
    return s;
}

TStr tstr_simplify() { return tstr_inputs().text.simplifyWhiteSpace(); }

int64_t tstr_to_int() {
    int64_t sum = 0;
    for (const TStr& number : tstr_inputs().numbers) {
        bool ok = false;
        const int32_t value = number.toInt(&ok);
        sum += ok ? value : 1000000000000;
    }
    return sum;
}

TStr tstr_copy() { return TStr(tstr_inputs().text); }

// ---- std::string ----------------------------------------------------------------------

struct StdInputs {
    std::string text = ::text();
    std::string word = searched_word;
    std::string word_other_case = searched_word_other_case;
    std::string pattern = arg_pattern;
    std::string argument = arg_text;
    std::string search = replaced;
    std::string with = replacement;
    std::vector<std::string> numbers{std::begin(::numbers), std::end(::numbers)};
};

const StdInputs& std_inputs() {
    static const StdInputs inputs;
    return inputs;
}

std::string std_append_literal() {
    std::string s;
    for (int i = 0; i < appends; ++i) s += appended_literal;
    return s;
}

std::string std_append_char() {
    std::string s;
    for (int i = 0; i < appends; ++i) s += appended_char(i);
    return s;
}

int64_t std_find() {
    const size_t found = std_inputs().text.find(std_inputs().word);
    return found == std::string::npos ? -1 : static_cast<int64_t>(found);
}

char fold_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int64_t std_find_nocase() {
    const std::string& text = std_inputs().text;
    const std::string& word = std_inputs().word_other_case;
    const auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                   [](char a, char b) { return fold_ascii(a) == fold_ascii(b); });
    return found == text.end() ? -1 : found - text.begin();
}

std::string std_arg() {
    std::string s = std_inputs().pattern;
    s.replace(s.find("%1"), 2, std_inputs().argument);
    s.replace(s.find("%2"), 2, std::to_string(arg_number));
    return s;
}

std::string std_replace() {
    std::string s = std_inputs().text;
    const std::string& search = std_inputs().search;
    const std::string& with = std_inputs().with;
    for (size_t at = s.find(search); at != std::string::npos; at = s.find(search, at + with.size()))
        s.replace(at, search.size(), with);
    return s;
}

bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string std_simplify() {
    const std::string& text = std_inputs().text;
    std::string s;
    s.reserve(text.size());
    bool gap = false;
    for (char c : text) {
        if (is_white(c)) {
            gap = !s.empty();
        } else {
            if (gap) s += ' ';
            gap = false;
            s += c;
        }
    }
    return s;
}

int64_t std_to_int() {
    int64_t sum = 0;
    for (const std::string& number : std_inputs().numbers) {
        int32_t value = 0;
        const char* end = number.data() + number.size();
        const auto [stop, error] = std::from_chars(number.data(), end, value);
        sum += error == std::errc() && stop == end ? value : 1000000000000;
    }
    return sum;
}

std::string std_copy() { return std::string(std_inputs().text); }

// ---- QString --------------------------------------------------------------------------

#ifdef KELOUTIL_BENCH_QT

struct QtInputs {
    QString text = QString::fromStdString(::text());
    QString word = QString::fromUtf8(searched_word);
    QString word_other_case = QString::fromUtf8(searched_word_other_case);
    QString pattern = QString::fromUtf8(arg_pattern);
    QString argument = QString::fromUtf8(arg_text);
    QString search = QString::fromUtf8(replaced);
    QString with = QString::fromUtf8(replacement);
    std::vector<QString> numbers;
    QtInputs() {
        for (const char* number : ::numbers) numbers.push_back(QString::fromUtf8(number));
    }
};

const QtInputs& qt_inputs() {
    static const QtInputs inputs;
    return inputs;
}

std::string utf8_of(const QString& s) { return s.toUtf8().toStdString(); }

// A QString position (UTF-16 units) as the byte offset in the UTF-8 text.
int64_t utf8_offset(const QString& s, int index) { return index < 0 ? -1 : s.left(index).toUtf8().size(); }

QString qt_append_literal() {
    QString s;
    for (int i = 0; i < appends; ++i) s += appended_literal;
    return s;
}

QString qt_append_char() {
    QString s;
    for (int i = 0; i < appends; ++i) s += appended_char(i);
    return s;
}

int qt_find() { return qt_inputs().text.indexOf(qt_inputs().word); }

int qt_find_nocase() { return qt_inputs().text.indexOf(qt_inputs().word_other_case, 0, Qt::CaseInsensitive); }

QString qt_arg() { return qt_inputs().pattern.arg(qt_inputs().argument).arg(arg_number); }

QString qt_replace() {
    QString s(qt_inputs().text);
    s.replace(qt_inputs().search, qt_inputs().with);
    return s;
}

QString qt_simplify() { return qt_inputs().text.simplified(); }

int64_t qt_to_int() {
    int64_t sum = 0;
    for (const QString& number : qt_inputs().numbers) {
        bool ok = false;
        const int value = number.toInt(&ok);
        sum += ok ? value : 1000000000000;
    }
    return sum;
}

QString qt_copy() { return QString(qt_inputs().text); }

#endif // KELOUTIL_BENCH_QT

// ---- the operations -----------------------------------------------------------------------

// One operation done three ways. The benchmarks time the functions below;
// `check` runs each once and compares the results.
struct Operation {
    const char* name;
    benchmark::TimeUnit unit;
    void (*tstr)(benchmark::State&);
    void (*std_string)(benchmark::State&);
    void (*qstring)(benchmark::State&); // null without Qt
};

// The loop shared by all benchmarks: the result is kept alive until the
// next iteration's, and the compiler may not assume the inputs unchanged.
template <auto function>
void timed(benchmark::State& state) {
    for (auto _ : state) {
        auto result = function();
        benchmark::DoNotOptimize(result);
        benchmark::ClobberMemory();
    }
}

#ifdef KELOUTIL_BENCH_QT
#define QT_CASE(function) timed<function>
#else
#define QT_CASE(function) nullptr
#endif

const Operation operations[] = {
    {"append_literal", benchmark::kMicrosecond, timed<tstr_append_literal>, timed<std_append_literal>,
     QT_CASE(qt_append_literal)},
    {"append_char", benchmark::kMicrosecond, timed<tstr_append_char>, timed<std_append_char>,
     QT_CASE(qt_append_char)},
    {"find", benchmark::kNanosecond, timed<tstr_find>, timed<std_find>, QT_CASE(qt_find)},
    {"find_nocase", benchmark::kNanosecond, timed<tstr_find_nocase>, timed<std_find_nocase>,
     QT_CASE(qt_find_nocase)},
    {"arg", benchmark::kNanosecond, timed<tstr_arg>, timed<std_arg>, QT_CASE(qt_arg)},
    {"replace", benchmark::kNanosecond, timed<tstr_replace>, timed<std_replace>, QT_CASE(qt_replace)},
    {"simplify", benchmark::kNanosecond, timed<tstr_simplify>, timed<std_simplify>, QT_CASE(qt_simplify)},
    {"to_int", benchmark::kNanosecond, timed<tstr_to_int>, timed<std_to_int>, QT_CASE(qt_to_int)},
    {"copy", benchmark::kNanosecond, timed<tstr_copy>, timed<std_copy>, QT_CASE(qt_copy)},
};

// ---- checking the results once --------------------------------------------------------------

void expect_same(const char* operation, const char* implementation, const std::string& got,
                 const std::string& expected) {
    if (got != expected) {
        fail(std::string(operation) + "/" + implementation + " gives \"" + got + "\" where std::string gives \"" +
             expected + "\"");
    }
}

void expect_same(const char* operation, const char* implementation, int64_t got, int64_t expected) {
    expect_same(operation, implementation, std::to_string(got), std::to_string(expected));
}

// The std::string results are the reference. The searches must find the
// planted word, and the replacement must change something.
void check() {
    const std::pair<const char*, std::string> texts[] = {
        {"append_literal", utf8_of(tstr_append_literal())}, {"append_char", utf8_of(tstr_append_char())},
        {"arg", utf8_of(tstr_arg())},           {"replace", utf8_of(tstr_replace())},
        {"simplify", utf8_of(tstr_simplify())}, {"copy", utf8_of(tstr_copy())},
    };
    const std::map<std::string, std::string> expected_texts = {
        {"append_literal", std_append_literal()}, {"append_char", std_append_char()}, {"arg", std_arg()},
        {"replace", std_replace()},               {"simplify", std_simplify()},       {"copy", std_copy()},
    };
    for (const auto& [operation, got] : texts) expect_same(operation, "tstr", got, expected_texts.at(operation));
    expect_same("find", "tstr", tstr_find(), std_find());
    expect_same("find_nocase", "tstr", tstr_find_nocase(), std_find_nocase());
    expect_same("to_int", "tstr", tstr_to_int(), std_to_int());
    if (std_find() < 0 || std_find() != std_find_nocase()) fail("the searched word is not where it was put");
    if (std_replace() == std_copy()) fail("nothing to replace in the text");
    if (std_simplify() == std_copy()) fail("nothing to simplify in the text");

#ifdef KELOUTIL_BENCH_QT
    const std::pair<const char*, std::string> qt_texts[] = {
        {"append_literal", utf8_of(qt_append_literal())}, {"append_char", utf8_of(qt_append_char())},
        {"arg", utf8_of(qt_arg())},           {"replace", utf8_of(qt_replace())},
        {"simplify", utf8_of(qt_simplify())}, {"copy", utf8_of(qt_copy())},
    };
    for (const auto& [operation, got] : qt_texts) expect_same(operation, "qstring", got, expected_texts.at(operation));
    expect_same("find", "qstring", utf8_offset(qt_inputs().text, qt_find()), std_find());
    expect_same("find_nocase", "qstring", utf8_offset(qt_inputs().text, qt_find_nocase()), std_find_nocase());
    expect_same("to_int", "qstring", qt_to_int(), std_to_int());
#endif
}

// ---- registration, reporting, summary -------------------------------------------------------

std::string benchmark_name(const char* operation, const char* implementation) {
    return std::string(operation) + "/" + implementation;
}

void register_benchmarks() {
    for (const Operation& operation : operations) {
        const std::pair<const char*, void (*)(benchmark::State&)> implementations[] = {
            {"tstr", operation.tstr}, {"std_string", operation.std_string}, {"qstring", operation.qstring}};
        for (const auto& [implementation, function] : implementations) {
            if (function == nullptr) continue;
            benchmark::RegisterBenchmark(benchmark_name(operation.name, implementation).c_str(), function)
                ->Unit(operation.unit);
        }
    }
}

// Prints like the console reporter and keeps each benchmark's CPU time per
// iteration (in the benchmark's unit) for the summary: the median when
// repetitions are asked for, otherwise the single run.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    using ConsoleReporter::ConsoleReporter;

    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.error_occurred || (run.run_type == Run::RT_Aggregate && !median)) continue;
            Result& result = results_[run.run_name.function_name];
            if (median || !result.median) result = {run.GetAdjustedCPUTime(), median};
        }
    }

    // CPU time per iteration, or 0 for a benchmark that did not run.
    double time(const std::string& name) const {
        const auto result = results_.find(name);
        return result != results_.end() ? result->second.time : 0.0;
    }

    bool empty() const { return results_.empty(); }

private:
    struct Result {
        double time;
        bool median;
    };
    std::map<std::string, Result> results_;
};

std::string format(const char* pattern, double value) {
    if (value <= 0.0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string ratio(double numerator, double denominator) {
    return numerator > 0.0 && denominator > 0.0 ? format("%.2f", numerator / denominator) : "-";
}

const char* unit_name(benchmark::TimeUnit unit) { return unit == benchmark::kMicrosecond ? "us" : "ns"; }

// A Markdown table of CPU time per iteration and the time ratios: TStr's
// time divided by the peer's, so above 1 means TStr is slower.
void print_summary(const CollectingReporter& reporter) {
    std::printf("\nCPU time per iteration; ratios are TStr's time / the peer's time: above 1 means TStr is slower.\n\n");
    std::printf("| operation | unit | TStr | QString | std::string | TStr/QString | TStr/std::string |\n");
    std::printf("|---|---|---:|---:|---:|---:|---:|\n");
    for (const Operation& operation : operations) {
        const double tstr = reporter.time(benchmark_name(operation.name, "tstr"));
        const double qstring = reporter.time(benchmark_name(operation.name, "qstring"));
        const double std_string = reporter.time(benchmark_name(operation.name, "std_string"));
        if (tstr <= 0.0 && qstring <= 0.0 && std_string <= 0.0) continue;
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", operation.name, unit_name(operation.unit),
                    format("%.1f", tstr).c_str(), format("%.1f", qstring).c_str(), format("%.1f", std_string).c_str(),
                    ratio(tstr, qstring).c_str(), ratio(tstr, std_string).c_str());
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    check();
    const std::string& sample = text();
    size_t characters = 0;
    size_t non_ascii = 0;
    for (char c : sample) {
        const auto b = static_cast<unsigned char>(c);
        characters += (b & 0xC0) != 0x80;
        non_ascii += b >= 0xC0;
    }
    std::printf("text: %zu bytes of UTF-8, %zu characters, %zu of them non-ASCII\n", sample.size(), characters,
                non_ascii);
#ifndef KELOUTIL_BENCH_QT
    std::printf("built without Qt 5: the QString cases are left out\n");
#endif
    std::fflush(stdout);
    register_benchmarks();

    CollectingReporter reporter(isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_Color
                                                      : benchmark::ConsoleReporter::OO_None);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (!reporter.empty()) print_summary(reporter);
    benchmark::Shutdown();
    return 0;
}
