// SPDX-License-Identifier: MIT
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
//   expand_brackets expand() of 1 MB of "!}" repeated: many closings and
//                   no escape (std::string: the same span search with
//                   find() and rfind(), copied into a new string)
//   expand          expand() of 1 MB of the text repeated with its spaces,
//                   commas and line breaks escaped as "!{20}", "!{2c}" and
//                   "!{a}" (std::string: as above, each code written as
//                   UTF-8)
// QString has no counterpart of expand().
// Before timing, the program runs each operation once per implementation
// and stops when the results differ (texts compared as UTF-8, positions as
// byte offsets).
//
// Benchmarks are named "<operation>/<implementation>"; after the run a
// summary table gives TStr's time relative to each peer.
#include "bench_support.hpp"

#include <keloutil/keloutil.h>
#include <keloutil/tstr.hpp>

#include <benchmark/benchmark.h>

#ifdef KELOUTIL_BENCH_QT
#include <QString>
#endif

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

const char* const program_name = "keloutil_bench_string";

namespace {

// ---- the inputs -------------------------------------------------------------------

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

constexpr size_t escape_text_size = 1 << 20;

std::string make_brackets() {
    std::string brackets;
    while (brackets.size() < escape_text_size) brackets += "!}";
    return brackets;
}

// The text repeated, with the bytes that collapse(" ,\n") would escape
// written as escapes, until it reaches 1 MB.
std::string make_escaped() {
    std::string escaped;
    while (escaped.size() < escape_text_size) {
        for (char c : text()) {
            escaped += c == ' ' ? "!{20}" : c == ',' ? "!{2c}" : c == '\n' ? "!{a}" : std::string(1, c);
        }
    }
    return escaped;
}

const std::string& brackets() {
    static const std::string made = make_brackets();
    return made;
}

const std::string& escaped() {
    static const std::string made = make_escaped();
    return made;
}

char appended_char(int i) { return static_cast<char>('a' + i % 26); }

// The inputs of the operations as strings of one implementation, made once;
// make() turns UTF-8 into such a string.

template <class String>
String make(const char* utf8) {
    return String(utf8);
}

#ifdef KELOUTIL_BENCH_QT
template <>
QString make<QString>(const char* utf8) {
    return QString::fromUtf8(utf8);
}
#endif

template <class String>
struct Inputs {
    String text = make<String>(::text().c_str());
    String word = make<String>(searched_word);
    String word_other_case = make<String>(searched_word_other_case);
    String pattern = make<String>(arg_pattern);
    String argument = make<String>(arg_text);
    String search = make<String>(replaced);
    String with = make<String>(replacement);
    String brackets = make<String>(::brackets().c_str());
    String escaped = make<String>(::escaped().c_str());
    std::vector<String> numbers;
    Inputs() {
        for (const char* number : ::numbers) numbers.push_back(make<String>(number));
    }
};

template <class String>
const Inputs<String>& inputs() {
    static const Inputs<String> made;
    return made;
}

// ---- the operations that all three write alike --------------------------------------

template <class String>
String append_literal() {
    String s;
    for (int i = 0; i < appends; ++i) s += appended_literal;
    return s;
}

template <class String>
String append_char() {
    String s;
    for (int i = 0; i < appends; ++i) s += appended_char(i);
    return s;
}

template <class String>
String copy() {
    return String(inputs<String>().text);
}

// ---- TStr ---------------------------------------------------------------------------

std::string utf8_of(const TStr& s) {
    const auto* record = static_cast<const str_t*>(s.handle());
    return std::string(record != nullptr && record->buffer != nullptr ? record->buffer : "",
                       static_cast<size_t>(str_len(record)));
}

int64_t tstr_find() { return inputs<TStr>().text.find(inputs<TStr>().word); }

int64_t tstr_find_nocase() { return inputs<TStr>().text.find(inputs<TStr>().word_other_case, 0, false); }

TStr tstr_arg() { return inputs<TStr>().pattern.arg(inputs<TStr>().argument).arg(arg_number); }

TStr tstr_replace() {
    TStr s(inputs<TStr>().text);
    s.replace(inputs<TStr>().search, inputs<TStr>().with);
    return s;
}

TStr tstr_simplify() { return inputs<TStr>().text.simplifyWhiteSpace(); }

TStr tstr_expand_brackets() { return inputs<TStr>().brackets.expand(); }

TStr tstr_expand() { return inputs<TStr>().escaped.expand(); }

int64_t tstr_to_int() {
    int64_t sum = 0;
    for (const TStr& number : inputs<TStr>().numbers) {
        bool ok = false;
        const int32_t value = number.toInt(&ok);
        sum += ok ? value : 1000000000000;
    }
    return sum;
}

// ---- std::string ----------------------------------------------------------------------

int64_t std_find() {
    const size_t found = inputs<std::string>().text.find(inputs<std::string>().word);
    return found == std::string::npos ? -1 : static_cast<int64_t>(found);
}

char fold_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

int64_t std_find_nocase() {
    const std::string& text = inputs<std::string>().text;
    const std::string& word = inputs<std::string>().word_other_case;
    const auto found = std::search(text.begin(), text.end(), word.begin(), word.end(),
                                   [](char a, char b) { return fold_ascii(a) == fold_ascii(b); });
    return found == text.end() ? -1 : found - text.begin();
}

std::string std_arg() {
    std::string s = inputs<std::string>().pattern;
    s.replace(s.find("%1"), 2, inputs<std::string>().argument);
    s.replace(s.find("%2"), 2, std::to_string(arg_number));
    return s;
}

std::string std_replace() {
    std::string s = inputs<std::string>().text;
    const std::string& search = inputs<std::string>().search;
    const std::string& with = inputs<std::string>().with;
    for (size_t at = s.find(search); at != std::string::npos; at = s.find(search, at + with.size()))
        s.replace(at, search.size(), with);
    return s;
}

bool is_white(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string std_simplify() {
    const std::string& text = inputs<std::string>().text;
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

void append_utf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
        return;
    }
    static const uint32_t lead_marks[] = {0, 0, 0xC0, 0xE0, 0xF0};
    const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    char sequence[4];
    for (int i = length - 1; i > 0; --i, code >>= 6) sequence[i] = static_cast<char>(0x80 | (code & 0x3F));
    sequence[0] = static_cast<char>(lead_marks[length] | code);
    out.append(sequence, static_cast<size_t>(length));
}

// Each "!{" hex "}" span, innermost first, replaced by its character; text
// that is not a number gives nothing.
std::string std_expand_text(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t open; (open = text.find("!{", from)) != std::string::npos;) {
        const size_t close = text.find('}', open + 1);
        if (close == std::string::npos) break;
        const size_t inner = text.rfind("!{", close - 1);
        out.append(text, from, inner - from);
        uint32_t code = 0;
        const char* const end = text.data() + close;
        if (std::from_chars(text.data() + inner + 2, end, code, 16).ptr != end) code = 0;
        if (code != 0) append_utf8(out, code);
        from = close + 1;
    }
    out.append(text, from);
    return out;
}

std::string std_expand_brackets() { return std_expand_text(inputs<std::string>().brackets); }

std::string std_expand() { return std_expand_text(inputs<std::string>().escaped); }

int64_t std_to_int() {
    int64_t sum = 0;
    for (const std::string& number : inputs<std::string>().numbers) {
        int32_t value = 0;
        const char* end = number.data() + number.size();
        const auto [stop, error] = std::from_chars(number.data(), end, value);
        sum += error == std::errc() && stop == end ? value : 1000000000000;
    }
    return sum;
}

// ---- QString --------------------------------------------------------------------------

#ifdef KELOUTIL_BENCH_QT

std::string utf8_of(const QString& s) { return s.toUtf8().toStdString(); }

// A QString position (UTF-16 units) as the byte offset in the UTF-8 text.
int64_t utf8_offset(const QString& s, int index) { return index < 0 ? -1 : s.left(index).toUtf8().size(); }

int qt_find() { return inputs<QString>().text.indexOf(inputs<QString>().word); }

int qt_find_nocase() {
    return inputs<QString>().text.indexOf(inputs<QString>().word_other_case, 0, Qt::CaseInsensitive);
}

QString qt_arg() { return inputs<QString>().pattern.arg(inputs<QString>().argument).arg(arg_number); }

QString qt_replace() {
    QString s(inputs<QString>().text);
    s.replace(inputs<QString>().search, inputs<QString>().with);
    return s;
}

QString qt_simplify() { return inputs<QString>().text.simplified(); }

int64_t qt_to_int() {
    int64_t sum = 0;
    for (const QString& number : inputs<QString>().numbers) {
        bool ok = false;
        const int value = number.toInt(&ok);
        sum += ok ? value : 1000000000000;
    }
    return sum;
}

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
    {"append_literal", benchmark::kMicrosecond, timed<append_literal<TStr>>, timed<append_literal<std::string>>,
     QT_CASE(append_literal<QString>)},
    {"append_char", benchmark::kMicrosecond, timed<append_char<TStr>>, timed<append_char<std::string>>,
     QT_CASE(append_char<QString>)},
    {"find", benchmark::kNanosecond, timed<tstr_find>, timed<std_find>, QT_CASE(qt_find)},
    {"find_nocase", benchmark::kNanosecond, timed<tstr_find_nocase>, timed<std_find_nocase>,
     QT_CASE(qt_find_nocase)},
    {"arg", benchmark::kNanosecond, timed<tstr_arg>, timed<std_arg>, QT_CASE(qt_arg)},
    {"replace", benchmark::kNanosecond, timed<tstr_replace>, timed<std_replace>, QT_CASE(qt_replace)},
    {"simplify", benchmark::kNanosecond, timed<tstr_simplify>, timed<std_simplify>, QT_CASE(qt_simplify)},
    {"to_int", benchmark::kNanosecond, timed<tstr_to_int>, timed<std_to_int>, QT_CASE(qt_to_int)},
    {"copy", benchmark::kNanosecond, timed<copy<TStr>>, timed<copy<std::string>>, QT_CASE(copy<QString>)},
    {"expand_brackets", benchmark::kMillisecond, timed<tstr_expand_brackets>, timed<std_expand_brackets>, nullptr},
    {"expand", benchmark::kMillisecond, timed<tstr_expand>, timed<std_expand>, nullptr},
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
        {"append_literal", utf8_of(append_literal<TStr>())}, {"append_char", utf8_of(append_char<TStr>())},
        {"arg", utf8_of(tstr_arg())},           {"replace", utf8_of(tstr_replace())},
        {"simplify", utf8_of(tstr_simplify())}, {"copy", utf8_of(copy<TStr>())},
        {"expand_brackets", utf8_of(tstr_expand_brackets())}, {"expand", utf8_of(tstr_expand())},
    };
    const std::map<std::string, std::string> expected_texts = {
        {"append_literal", append_literal<std::string>()}, {"append_char", append_char<std::string>()},
        {"arg", std_arg()}, {"replace", std_replace()}, {"simplify", std_simplify()}, {"copy", copy<std::string>()},
        {"expand_brackets", std_expand_brackets()}, {"expand", std_expand()},
    };
    for (const auto& [operation, got] : texts) expect_same(operation, "tstr", got, expected_texts.at(operation));
    expect_same("find", "tstr", tstr_find(), std_find());
    expect_same("find_nocase", "tstr", tstr_find_nocase(), std_find_nocase());
    expect_same("to_int", "tstr", tstr_to_int(), std_to_int());
    if (std_find() < 0 || std_find() != std_find_nocase()) fail("the searched word is not where it was put");
    if (std_replace() == copy<std::string>()) fail("nothing to replace in the text");
    if (std_simplify() == copy<std::string>()) fail("nothing to simplify in the text");
    if (std_expand_brackets() != brackets()) fail("the brackets hold an escape");
    if (std_expand().size() >= escaped().size()) fail("nothing to expand in the escaped text");

#ifdef KELOUTIL_BENCH_QT
    const std::pair<const char*, std::string> qt_texts[] = {
        {"append_literal", utf8_of(append_literal<QString>())}, {"append_char", utf8_of(append_char<QString>())},
        {"arg", utf8_of(qt_arg())},           {"replace", utf8_of(qt_replace())},
        {"simplify", utf8_of(qt_simplify())}, {"copy", utf8_of(copy<QString>())},
    };
    for (const auto& [operation, got] : qt_texts) expect_same(operation, "qstring", got, expected_texts.at(operation));
    expect_same("find", "qstring", utf8_offset(inputs<QString>().text, qt_find()), std_find());
    expect_same("find_nocase", "qstring", utf8_offset(inputs<QString>().text, qt_find_nocase()), std_find_nocase());
    expect_same("to_int", "qstring", qt_to_int(), std_to_int());
#endif
}

// ---- registration and summary ------------------------------------------------------------

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

// CPU time per iteration, in the benchmark's unit.
double cpu_time(const CollectingReporter::Run& run) { return run.GetAdjustedCPUTime(); }

const char* unit_name(benchmark::TimeUnit unit) {
    return unit == benchmark::kMillisecond ? "ms" : unit == benchmark::kMicrosecond ? "us" : "ns";
}

// A Markdown table of CPU time per iteration and the time ratios: TStr's
// time divided by the peer's, so above 1 means TStr is slower.
void print_summary(const CollectingReporter& results) {
    std::vector<std::string> rows;
    for (const Operation& operation : operations) {
        const double tstr = results.figure(benchmark_name(operation.name, "tstr"));
        const double qstring = results.figure(benchmark_name(operation.name, "qstring"));
        const double std_string = results.figure(benchmark_name(operation.name, "std_string"));
        if (tstr <= 0.0 && qstring <= 0.0 && std_string <= 0.0) continue;
        rows.push_back(table_row({operation.name, unit_name(operation.unit), format("%.1f", tstr),
                                  format("%.1f", qstring), format("%.1f", std_string), ratio(tstr, qstring),
                                  ratio(tstr, std_string)}));
    }
    print_table("CPU time per iteration; ratios are TStr's time / the peer's time: above 1 means TStr is slower.",
                "| operation | unit | TStr | QString | std::string | TStr/QString | TStr/std::string |\n"
                "|---|---|---:|---:|---:|---:|---:|",
                rows);
}

} // namespace

int main(int argc, char** argv) {
    const auto prepare = [] {
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
        register_benchmarks();
    };
    return run_benchmarks(argc, argv, cpu_time, prepare, print_summary);
}
