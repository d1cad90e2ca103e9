// SPDX-License-Identifier: MIT
// Time of KeloSettings next to Qt 5's QSettings in INI format, in the same
// run, on files of 1,000 and 10,000 keys in 20 sections. Both files hold
// the same values; they are generated once per size into a temporary folder
// (removed at exit), each by its own library. Operations:
//   open    open the file (QSettings: construct it; QSettings reads the
//           file but parses a section only when one of its keys is read)
//           Every open stands for the first one in a process: see touch.
//   read    open, then read every key
//   save    save after 100 keys were set (only the save is timed; the open
//           and the sets before it are not)
//   update  open, read every key, set 100 keys, save
// The 100 keys are spread over all sections; each iteration sets them to
// the other of two values, so every save changes the file. Section names,
// keys and values are converted into each library's string type before
// timing. Before timing, the program checks that both files give the
// generated values and that an update changes exactly the 100 keys.
//
// Benchmarks are named "<operation>/<keys>/<implementation>" and timed in
// wall-clock time (saves wait for the disk); after the run a summary table
// gives keloutil's time relative to Qt's.
#include "bench_support.hpp"

#include <keloutil/kelosettings.hpp>
#include <keloutil/keloutil.hpp>

#include <benchmark/benchmark.h>

#ifdef KELOUTIL_BENCH_QT
#include <QSettings>
#include <QString>
#endif

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

const char* const program_name = "keloutil_bench_settings";

namespace {

namespace fs = std::filesystem;

constexpr int section_count = 20;
constexpr int changed_count = 100;
const int key_counts[] = {1000, 10000};

// ---- the inputs -------------------------------------------------------------------

struct Entry {
    std::string section, key, value;
    std::string changed[2]; // the two values an update alternates between
};

const char* const words[] = {"alpha", "window", "width", "recent", "file", "color", "blue", "server", "port",
                             "timeout", "enabled", "path", "user", "name", "last", "position", "left", "top",
                             "language", "units"};

std::vector<Entry> generate(int key_count) {
    Prng random(static_cast<uint64_t>(key_count));
    std::vector<Entry> entries;
    for (int i = 0; i < key_count; ++i) {
        char section[16], key[16];
        std::snprintf(section, sizeof section, "Section%02d", i % section_count);
        std::snprintf(key, sizeof key, "key%05d", i);
        std::string value = words[random.below(20)];
        for (uint32_t n = random.below(5); n > 0; --n) value += std::string(" ") + words[random.below(20)];
        value += " " + std::to_string(random.below(100000));
        entries.push_back({section, key, value, {"changed " + value, "again " + value}});
    }
    return entries;
}

// The files, and each library's form of the names and values.
struct Data {
    int key_count = 0;
    std::vector<Entry> entries;
    std::vector<size_t> changed; // indices of the keys an update sets
    std::string xml, ini;
    std::vector<TStr> k_sections, k_keys, k_changed[2];
#ifdef KELOUTIL_BENCH_QT
    std::vector<QString> q_keys, q_changed[2];
#endif
};

fs::path work_dir;

void remove_work_dir() {
    std::error_code ignored;
    if (!work_dir.empty()) fs::remove_all(work_dir, ignored);
}

TStr tstr(const std::string& text) { return TStr(text.c_str()); }

// Gives the file a modification time it never had before. QSettings keeps
// the files it parsed, process-wide, and parses one again only when its
// size or modification time changed; every open here stands for the first
// open in a new process, so each one is preceded by this (for both
// libraries alike; it costs a system call).
void touch(const std::string& file) {
    static int64_t seconds = 0;
    std::error_code error;
    fs::last_write_time(file, fs::file_time_type(std::chrono::seconds(++seconds)), error);
    if (error) fail("cannot change the modification time of " + file);
}

std::string text_of(const TStr& text) { return text.toUtf8() != nullptr ? text.toUtf8() : ""; }

// ---- the two implementations ----------------------------------------------------------

struct KeloStore {
    const Data& data;
    std::unique_ptr<KeloSettings> store;

    void open() {
        touch(data.xml);
        store = std::make_unique<KeloSettings>();
        if (!store->open(tstr(data.xml))) fail("KeloSettings cannot open " + data.xml);
    }
    size_t read_all() {
        size_t bytes = 0;
        TStr value;
        for (size_t i = 0; i < data.entries.size(); ++i) {
            if (!store->getData(data.k_sections[i], data.k_keys[i], value)) fail("KeloSettings misses a key");
            bytes += static_cast<size_t>(value.length());
        }
        return bytes;
    }
    void set_changed(int round) {
        for (size_t i : data.changed) store->setData(data.k_sections[i], data.k_keys[i], data.k_changed[round][i]);
    }
    void save() {
        if (!store->save(tstr(data.xml))) fail("KeloSettings cannot save " + data.xml);
    }
    std::string value(size_t i) {
        TStr value;
        store->getData(data.k_sections[i], data.k_keys[i], value);
        return text_of(value);
    }
};

#ifdef KELOUTIL_BENCH_QT
struct QtStore {
    const Data& data;
    std::unique_ptr<QSettings> store;

    void open() {
        store.reset(); // one object at a time, so that none shares another's parsed file
        touch(data.ini);
        store = std::make_unique<QSettings>(QString::fromStdString(data.ini), QSettings::IniFormat);
        if (store->status() != QSettings::NoError) fail("QSettings cannot open " + data.ini);
    }
    size_t read_all() {
        size_t bytes = 0;
        for (const QString& key : data.q_keys) bytes += static_cast<size_t>(store->value(key).toString().size());
        return bytes;
    }
    void set_changed(int round) {
        for (size_t i : data.changed) store->setValue(data.q_keys[i], data.q_changed[round][i]);
    }
    void save() {
        store->sync();
        if (store->status() != QSettings::NoError) fail("QSettings cannot save " + data.ini);
    }
    std::string value(size_t i) { return store->value(data.q_keys[i]).toString().toStdString(); }
};
#endif

// ---- preparing and checking ---------------------------------------------------------------

Data& data_of(int key_count) {
    static std::vector<std::unique_ptr<Data>> all;
    for (const auto& data : all)
        if (data->key_count == key_count) return *data;
    auto data = std::make_unique<Data>();
    data->key_count = key_count;
    data->entries = generate(key_count);
    for (int i = 0; i < changed_count; ++i) data->changed.push_back(static_cast<size_t>(i * key_count / changed_count));
    data->xml = (work_dir / (std::to_string(key_count) + ".xml")).string();
    data->ini = (work_dir / (std::to_string(key_count) + ".ini")).string();
    for (const Entry& entry : data->entries) {
        data->k_sections.push_back(tstr(entry.section));
        data->k_keys.push_back(tstr(entry.key));
        for (int round = 0; round < 2; ++round) data->k_changed[round].push_back(tstr(entry.changed[round]));
#ifdef KELOUTIL_BENCH_QT
        data->q_keys.push_back(QString::fromStdString(entry.section + "/" + entry.key));
        for (int round = 0; round < 2; ++round)
            data->q_changed[round].push_back(QString::fromStdString(entry.changed[round]));
#endif
    }
    all.push_back(std::move(data));
    return *all.back();
}

// Checks that the file of `implementation` reads back the generated values,
// that an update changes the 100 keys (and only those), and that a second
// one changes them to their other value.
template <class Implementation>
void check_file(Implementation implementation, const Data& data, const std::string& name) {
    for (int round = 0; round < 3; ++round) {
        implementation.open();
        for (size_t i = 0, next = 0; i < data.entries.size(); ++i) {
            const bool is_changed = next < data.changed.size() && data.changed[next] == i;
            next += is_changed;
            const std::string& expected =
                round == 0 || !is_changed ? data.entries[i].value : data.entries[i].changed[round - 1];
            if (implementation.value(i) != expected)
                fail(name + " reads '" + implementation.value(i) + "' for " + data.entries[i].section + "/" +
                     data.entries[i].key + " where '" + expected + "' was written");
        }
        if (round == 2) break;
        implementation.read_all();
        implementation.set_changed(round);
        implementation.save();
    }
}

void prepare(int key_count) {
    Data& data = data_of(key_count);
    {
        KeloSettings store;
        if (!store.open(tstr(data.xml))) fail("KeloSettings cannot start " + data.xml);
        for (const Entry& entry : data.entries) store.setData(tstr(entry.section), tstr(entry.key), tstr(entry.value));
        if (!store.save(tstr(data.xml))) fail("KeloSettings cannot write " + data.xml);
    }
    check_file(KeloStore{data, nullptr}, data, "KeloSettings");
#ifdef KELOUTIL_BENCH_QT
    {
        QSettings store(QString::fromStdString(data.ini), QSettings::IniFormat);
        for (const Entry& entry : data.entries)
            store.setValue(QString::fromStdString(entry.section + "/" + entry.key),
                           QString::fromStdString(entry.value));
        store.sync();
        if (store.status() != QSettings::NoError) fail("QSettings cannot write " + data.ini);
    }
    check_file(QtStore{data, nullptr}, data, "QSettings");
#endif
    std::printf("%d keys: %s %ju bytes, %s %ju bytes\n", key_count, data.xml.c_str(),
                static_cast<uintmax_t>(fs::file_size(data.xml)), data.ini.c_str(),
                static_cast<uintmax_t>(fs::file_size(data.ini)));
}

// ---- the benchmarks --------------------------------------------------------------------

template <class Implementation>
void open_file(benchmark::State& state, const Data& data) {
    Implementation implementation{data, nullptr};
    for (auto _ : state) implementation.open();
}

template <class Implementation>
void read_file(benchmark::State& state, const Data& data) {
    Implementation implementation{data, nullptr};
    for (auto _ : state) {
        implementation.open();
        benchmark::DoNotOptimize(implementation.read_all());
    }
}

template <class Implementation>
void save_file(benchmark::State& state, const Data& data) {
    Implementation implementation{data, nullptr};
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        implementation.open();
        implementation.set_changed(round);
        round ^= 1;
        state.ResumeTiming();
        implementation.save();
    }
}

template <class Implementation>
void update_file(benchmark::State& state, const Data& data) {
    Implementation implementation{data, nullptr};
    int round = 0;
    for (auto _ : state) {
        implementation.open();
        benchmark::DoNotOptimize(implementation.read_all());
        implementation.set_changed(round);
        round ^= 1;
        implementation.save();
    }
}

struct Operation {
    const char* name;
    void (*kelo)(benchmark::State&, const Data&);
    void (*qt)(benchmark::State&, const Data&); // null without Qt
};

#ifdef KELOUTIL_BENCH_QT
#define QT_CASE(function) function<QtStore>
#else
#define QT_CASE(function) nullptr
#endif

const Operation operations[] = {
    {"open", open_file<KeloStore>, QT_CASE(open_file)},
    {"read", read_file<KeloStore>, QT_CASE(read_file)},
    {"save", save_file<KeloStore>, QT_CASE(save_file)},
    {"update", update_file<KeloStore>, QT_CASE(update_file)},
};

std::string benchmark_name(const char* operation, int key_count, const char* implementation) {
    return std::string(operation) + "/" + std::to_string(key_count) + "/" + implementation;
}

void register_benchmarks() {
    for (const Operation& operation : operations) {
        for (int key_count : key_counts) {
            const Data& data = data_of(key_count);
            const std::pair<const char*, void (*)(benchmark::State&, const Data&)> implementations[] = {
                {"keloutil", operation.kelo}, {"qsettings", operation.qt}};
            for (const auto& [implementation, function] : implementations) {
                if (function == nullptr) continue;
                benchmark::RegisterBenchmark(benchmark_name(operation.name, key_count, implementation).c_str(),
                                             [function = function, &data](benchmark::State& state) {
                                                 function(state, data);
                                             })
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime();
            }
        }
    }
}

// Wall-clock time per iteration, in milliseconds.
double real_time(const CollectingReporter::Run& run) { return run.GetAdjustedRealTime(); }

// A Markdown table of the time per iteration and keloutil's time divided by
// Qt's: above 1 means keloutil is slower.
void print_summary(const CollectingReporter& results) {
    std::vector<std::string> rows;
    for (const Operation& operation : operations) {
        for (int key_count : key_counts) {
            const double kelo = results.figure(benchmark_name(operation.name, key_count, "keloutil"));
            const double qt = results.figure(benchmark_name(operation.name, key_count, "qsettings"));
            if (kelo <= 0.0 && qt <= 0.0) continue;
            rows.push_back(table_row({operation.name, std::to_string(key_count), format("%.2f", kelo),
                                      format("%.2f", qt), ratio(kelo, qt)}));
        }
    }
    print_table("Wall-clock time per iteration in ms; keloutil/Qt above 1 means keloutil is slower.",
                "| operation | keys | KeloSettings | QSettings | keloutil/Qt |\n|---|---:|---:|---:|---:|", rows);
}

} // namespace

int main(int argc, char** argv) {
    const auto prepare_all = [] {
        std::error_code error;
        work_dir = fs::temp_directory_path(error) / ("keloutil_bench_settings." + std::to_string(getpid()));
        if (error || !fs::create_directory(work_dir, error)) fail("cannot create a temporary folder");
        std::atexit(remove_work_dir);
        for (int key_count : key_counts) prepare(key_count);
        register_benchmarks();
    };
    return run_benchmarks(argc, argv, real_time, prepare_all, print_summary);
}
