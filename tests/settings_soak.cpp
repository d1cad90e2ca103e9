// SPDX-License-Identifier: MIT
// A soak run of KeloSettings saves (Linux): N worker processes save M
// distinct keys each into one open-access settings file, each through one
// of several spellings of the file's path, while a killer ends workers with
// SIGKILL at random moments and starts them again from their next unsaved
// key. Run as root, every second worker switches to another account first,
// so that two accounts write the one file; root makes the file before the
// workers start, so the other account always writes a file it does not own.
//
// A worker appends one fixed-size record per outcome to its own progress
// file, opened with O_APPEND by this program before the worker starts: a
// confirmed key (its save answered true), an open or a save that answered
// false, a key given up. A kill can at worst cut the last record short, and
// a cut record is dropped before the worker starts again, from the key after
// its last confirmed or given-up one; so a key counts as expected only once
// its save was seen to succeed.
//
// At the end the file is opened once more and every confirmed value must be
// in it; after one clean save no temporary file (".NAME.<16 hex>.tmp") and
// no copy of old content (".NAME.rollback") may be left in the folder.
// Exit status 0 when that holds, every open and save succeeded and no
// worker failed; 1 otherwise; 2 on a usage error.
#include <keloutil/keloutil.hpp>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const usage_text =
    "usage: keloutil_settings_soak [options]\n"
    "  --processes N   worker processes (default 8)\n"
    "  --saves M       saves per process, each of a new key (default 200)\n"
    "  --spellings S   spellings of the file's path, 1 to 4 (default 3), worker i using i mod S:\n"
    "                  DIR/app.xml; ./x/../app.xml from DIR as working directory;\n"
    "                  DIR/via/app.xml, where via links to DIR; DIR/link.xml, a link to app.xml\n"
    "  --kills K       SIGKILLs spread over the run (default 1000)\n"
    "  --seed X        seed of the random moments (default: a new one, printed)\n"
    "  --dir PATH      an empty or new folder to run in (default: a new folder under\n"
    "                  $TMPDIR or /tmp, removed after a clean run)\n"
    "  --uid UID       the account that every second worker takes when run as root\n"
    "                  (default: nobody's)\n"
    "Exit status: 0 when no confirmed value was lost, every open and save succeeded\n"
    "and no temporary file or copy of old content is left; 1 otherwise; 2 on a usage error.\n";

// The killer sleeps between 0 and this many microseconds between its looks.
constexpr int max_pause_us = 3000;
// A key whose open or save keeps failing is given up after this many tries.
constexpr int tries_per_key = 5;
// A run in which no worker records anything for this long has stalled.
constexpr auto stall_limit = std::chrono::seconds(60);
// Progress records, 8 bytes each: a letter and the key's number, "c%06d\n"
// for a confirmed key, "o" or "s" for an open or a save that answered
// false, "g" for a key given up.
constexpr off_t record_size = 8;

struct Options {
    long processes = 8, saves = 200, spellings = 3, kills = 1000, uid = -1, seed = -1;
    std::string dir;
};

// 0 when the options are good, -1 after --help, else the exit status.
int parse_options(int argc, char** argv, Options& o) {
    const std::map<std::string, std::tuple<long*, long, long>> numbers = {
        {"--processes", {&o.processes, 1, 256}}, {"--saves", {&o.saves, 1, 999999}},
        {"--spellings", {&o.spellings, 1, 4}},   {"--kills", {&o.kills, 0, 100000000}},
        {"--uid", {&o.uid, 1, 0x7fffffff}},      {"--seed", {&o.seed, 0, LONG_MAX}}};
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help") return std::fputs(usage_text, stdout), -1;
        if (i + 1 >= argc)
            return std::fprintf(stderr, "%s: missing value or unknown option\n%s", argv[i], usage_text), 2;
        const char* value = argv[++i];
        const auto found = numbers.find(name);
        char* end = nullptr;
        errno = 0;
        const long number = std::strtol(value, &end, 10);
        if (name == "--dir" && *value != '\0') o.dir = value;
        else if (found != numbers.end() && errno == 0 && end != value && *end == '\0' &&
                 number >= std::get<1>(found->second) && number <= std::get<2>(found->second))
            *std::get<0>(found->second) = number;
        else return std::fprintf(stderr, "bad option: %s %s\n%s", name.c_str(), value, usage_text), 2;
    }
    return 0;
}

std::string key_of(long i, long j) { return "w" + std::to_string(i) + "_" + std::to_string(j); }

// The value worker i saves for key j: both numbers and an FNV-1a hash of them.
std::string value_of(long i, long j) {
    uint32_t hash = 2166136261u;
    for (const long part : {i, j})
        for (int shift = 0; shift < 32; shift += 8) hash = (hash ^ ((part >> shift) & 255)) * 16777619u;
    char text[64];
    std::snprintf(text, sizeof text, "%ld.%ld.%08x", i, j, hash);
    return text;
}

// The temporary files and copies of old content that saves leave in
// `folder` while they write.
std::vector<std::string> write_leftovers(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string(), end = entry.path().extension().string();
        if (name[0] == '.' && (end == ".tmp" || end == ".rollback")) found.push_back(name);
    }
    return found;
}

// The whole records of a progress file, as (letter, key number); `trim`
// also drops a record that a kill cut short from the file.
std::vector<std::pair<char, long>> records(int fd, bool trim) {
    struct stat status;
    if (fstat(fd, &status) != 0) return {};
    const off_t whole = status.st_size / record_size * record_size;
    if (trim && whole != status.st_size && ftruncate(fd, whole) != 0) return {};
    std::string bytes(static_cast<size_t>(whole), '\0');
    off_t done = 0;
    for (ssize_t got; done < whole && (got = pread(fd, &bytes[done], whole - done, done)) > 0;) done += got;
    std::vector<std::pair<char, long>> found;
    for (off_t at = 0; at + record_size <= done; at += record_size)
        found.emplace_back(bytes[at], std::atol(bytes.c_str() + at + 1));
    return found;
}

// The key after the last confirmed or given-up one.
long next_key(const std::vector<std::pair<char, long>>& found) {
    long next = 0;
    for (const auto& [what, j] : found)
        if (what == 'c' || what == 'g') next = std::max(next, j + 1);
    return next;
}

struct Worker {
    pid_t pid = -1;
    bool done = false, switches = false;
    std::string spelling;
    int progress_fd = -1;
};

struct Soak {
    Options o;
    fs::path folder;
    uid_t other_uid = 0;
    gid_t other_gid = 0;
    std::vector<Worker> workers;
    std::mt19937_64 random;
    long kills = 0, failed_workers = 0;

    // 0 when the folder, its links and the file are ready, else the exit status.
    int prepare() {
        if (o.dir.empty()) {
            const char* base = std::getenv("TMPDIR");
            std::string pattern = std::string(base && *base ? base : "/tmp") + "/keloutil-soak-XXXXXX";
            if (mkdtemp(&pattern[0]) == nullptr)
                return std::fprintf(stderr, "cannot make a folder from %s: %s\n", pattern.c_str(), strerror(errno)), 1;
            folder = pattern;
        } else {
            std::error_code error;
            fs::create_directories(o.dir, error);
            if (error || !fs::is_directory(o.dir) || !fs::is_empty(o.dir))
                return std::fprintf(stderr, "%s: not a new or empty folder\n", o.dir.c_str()), 2;
            folder = fs::absolute(o.dir).lexically_normal();
            if (!folder.has_filename()) folder = folder.parent_path();
        }
        // The settings file's folder is open to both accounts, as an open-access
        // file's folder must be for a save to write a temporary file beside it.
        const bool root = geteuid() == 0;
        if (root) fs::permissions(folder, fs::perms::all);
        for (const char* sub : {"x", "progress"}) fs::create_directory(folder / sub);
        fs::create_directory_symlink(folder, folder / "via");
        fs::create_symlink("app.xml", folder / "link.xml");
        std::string dir = folder.string();
        std::replace(dir.begin(), dir.end(), '/', '\\'); // the library's form
        const std::string spellings[] = {dir + "\\app.xml", ".\\x\\..\\app.xml", dir + "\\via\\app.xml",
                                         dir + "\\link.xml"};
        if (root) {
            const passwd* other = o.uid < 0 ? getpwnam("nobody") : getpwuid(static_cast<uid_t>(o.uid));
            other_uid = other != nullptr ? other->pw_uid : static_cast<uid_t>(o.uid < 0 ? 65534 : o.uid);
            other_gid = other != nullptr ? other->pw_gid : other_uid;
        }
        std::printf("soak: %ld processes x %ld saves, %ld spellings, %ld kills, seed %ld\nfolder: %s\n", o.processes,
                    o.saves, o.spellings, o.kills, o.seed, folder.c_str());
        for (long s = 0; s < o.spellings; ++s) std::printf("spelling %ld: %s\n", s, spellings[s].c_str());
        std::printf("accounts: uid %u%s\n", static_cast<unsigned>(geteuid()),
                    root && o.processes > 1 ? (", and for odd workers uid " + std::to_string(other_uid)).c_str()
                                            : " only (not root, or one worker)");
        workers.resize(static_cast<size_t>(o.processes));
        for (long i = 0; i < o.processes; ++i) {
            Worker& worker = workers[i];
            worker.spelling = spellings[i % o.spellings];
            worker.switches = root && i % 2 == 1;
            const fs::path progress = folder / "progress" / ("w" + std::to_string(i));
            worker.progress_fd = ::open(progress.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (worker.progress_fd < 0)
                return std::fprintf(stderr, "cannot make progress files in %s\n", progress.parent_path().c_str()), 1;
        }
        random.seed(static_cast<uint64_t>(o.seed));
        // This program's own account makes the file first, through the store
        // with open access, as a privileged installer would: the other account
        // then always meets a file it does not own, which it cannot replace and
        // writes in place, behind a copy of the old content.
        KeloSettings first(true);
        const TPath path(spellings[0].c_str());
        if (!first.open(path) || !first.setData("soak", "start", "1") || !first.save(path))
            return std::fprintf(stderr, "cannot make %s\n", spellings[0].c_str()), 1;
        return 0;
    }

    // One worker's life: keys `start` to saves - 1, each opened through its
    // spelling, set and saved, with the outcome recorded.
    [[noreturn]] void run_worker(long i, long start) {
        const Worker& worker = workers[i];
        if ((worker.switches && (setgroups(0, nullptr) != 0 || setgid(other_gid) != 0 || setuid(other_uid) != 0)) ||
            chdir(folder.c_str()) != 0) {
            dprintf(2, "worker %ld: cannot switch to uid %u or enter %s: %s\n", i, static_cast<unsigned>(other_uid),
                    folder.c_str(), std::strerror(errno));
            _exit(3);
        }
        const TPath path(worker.spelling.c_str());
        const auto note = [&](char what, long j) {
            char record[32]; // 8 bytes: the numbers of keys stay below 10^6
            std::snprintf(record, sizeof record, "%c%06ld\n", what, j);
            while (write(worker.progress_fd, record, record_size) < 0 && errno == EINTR) continue;
        };
        for (long j = start; j < o.saves; ++j) {
            char outcome = 'g';
            for (int attempt = 0; attempt < tries_per_key && outcome != 'c'; ++attempt) {
                KeloSettings settings(true);
                const bool opened = settings.open(path);
                // setData fails only without memory.
                if (opened && !settings.setData("soak", key_of(i, j).c_str(), value_of(i, j).c_str())) _exit(4);
                outcome = !opened ? 'o' : settings.save(path) ? 'c' : 's';
                if (outcome != 'c') note(outcome, j);
            }
            note(outcome == 'c' ? 'c' : 'g', j);
        }
        _exit(0);
    }

    void start(long i) {
        Worker& worker = workers[i];
        const long next = next_key(records(worker.progress_fd, true));
        std::fflush(nullptr); // not written twice by the child
        worker.pid = fork();
        if (worker.pid == 0) run_worker(i, next);
        if (worker.pid < 0) {
            std::fprintf(stderr, "worker %ld: fork failed: %s\n", i, std::strerror(errno));
            worker.done = true;
            ++failed_workers;
        }
    }

    // Handles the end of worker i; `killed` when this program ended it.
    void ended(long i, int status, bool killed) {
        workers[i].pid = -1;
        if (killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return ++kills, start(i);
        workers[i].done = true;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
        std::fprintf(stderr, "worker %ld ended by itself with %s %d\n", i, WIFEXITED(status) ? "exit status" : "signal",
                     WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
        ++failed_workers;
    }

    int run() {
        if (const int status = prepare()) return status;
        const auto started = std::chrono::steady_clock::now();
        for (long i = 0; i < o.processes; ++i) start(i);
        const long total = o.processes * o.saves;
        std::uniform_int_distribution<int> pause_us(0, max_pause_us);
        size_t last_recorded = 0;
        auto last_progress = started;
        for (;;) {
            std::vector<long> live;
            for (long i = 0; i < o.processes; ++i) {
                int status = 0;
                if (!workers[i].done && waitpid(workers[i].pid, &status, WNOHANG) == workers[i].pid)
                    ended(i, status, false);
                if (!workers[i].done) live.push_back(i);
            }
            if (live.empty()) break;
            std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
            // The kills keep pace with the keys the workers have passed, saved
            // or not, so that they spread over the whole run.
            long passed = 0;
            size_t recorded = 0;
            for (const Worker& worker : workers) {
                const auto found = records(worker.progress_fd, false);
                passed += next_key(found), recorded += found.size();
            }
            if (kills < o.kills && kills < ((passed + 1) * o.kills + total - 1) / total) {
                const long i = live[std::uniform_int_distribution<size_t>(0, live.size() - 1)(random)];
                int status = 0;
                if (kill(workers[i].pid, SIGKILL) == 0 && waitpid(workers[i].pid, &status, 0) == workers[i].pid)
                    ended(i, status, true);
            }
            const auto now = std::chrono::steady_clock::now();
            if (recorded != last_recorded) last_recorded = recorded, last_progress = now;
            else if (now - last_progress > stall_limit) {
                std::fprintf(stderr, "stalled: no worker recorded anything for %lld s; %zu workers left\n",
                             static_cast<long long>(stall_limit.count()), live.size());
                for (const long i : live) kill(workers[i].pid, SIGKILL), waitpid(workers[i].pid, nullptr, 0);
                failed_workers += static_cast<long>(live.size());
                break;
            }
        }
        return report(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    }

    int report(double seconds) {
        // What the workers recorded: the confirmed keys and the failures.
        std::vector<std::set<long>> confirmed(workers.size());
        std::map<char, long> counts; // by record letter
        for (size_t i = 0; i < workers.size(); ++i)
            for (const auto& [what, j] : records(workers[i].progress_fd, true)) {
                ++counts[what];
                if (what == 'c') confirmed[i].insert(j);
            }
        KeloSettings settings(true);
        const TPath path(workers[0].spelling.c_str());
        const bool opened = settings.open(path);
        std::map<TStr, TStr> values;
        settings.getAll(values);
        long expected = 0, found = 0, lost = 0, wrong = 0;
        for (long i = 0; i < o.processes; ++i)
            for (long j = 0; j < o.saves; ++j) {
                const bool is_expected = confirmed[i].count(j) != 0;
                const auto value = values.find(TStr(("soak/" + key_of(i, j)).c_str()));
                const bool present = value != values.end(), right = present && value->second == value_of(i, j).c_str();
                expected += is_expected, found += right, wrong += present && !right && !is_expected;
                if (is_expected && !right && ++lost <= 10)
                    std::printf("  lost: %s (%s)\n", key_of(i, j).c_str(), present ? "wrong value" : "absent");
            }
        const bool cleaned = opened && settings.setData("soak", "final", "clean") && settings.save(path);
        const std::vector<std::string> after = write_leftovers(folder);

        std::printf("kills (and restarts): %ld of %ld\n", kills, o.kills);
        std::printf("values expected (confirmed saves): %ld, found: %ld, lost: %ld, wrong without a confirmed save: "
                    "%ld\n", expected, found, lost, wrong);
        std::printf("opens that failed: %ld during the run, %d at the end\n", counts['o'], opened ? 0 : 1);
        std::printf("saves that answered false: %ld during the run%s (keys given up after %d tries: %ld)\n",
                    counts['s'], cleaned ? "" : ", and the final clean save", tries_per_key, counts['g']);
        std::printf("leftover files after a clean save: %zu\n", after.size());
        for (const std::string& name : after) std::printf("  left: %s\n", name.c_str());
        std::printf("workers that failed: %ld\ntime: %.1f s\n", failed_workers, seconds);
        const bool passed = lost == 0 && wrong == 0 && opened && counts['o'] == 0 && counts['s'] == 0 && cleaned &&
                            after.empty() && failed_workers == 0;
        std::printf("result: %s\n", passed ? "PASS" : "FAIL");
        for (const Worker& worker : workers) close(worker.progress_fd);
        std::error_code ignored;
        if (passed && o.dir.empty()) fs::remove_all(folder, ignored); // a folder of its own
        else if (o.dir.empty()) std::printf("kept for inspection: %s\n", folder.c_str());
        return passed ? 0 : 1;
    }
};

} // namespace

int main(int argc, char** argv) {
    Soak soak;
    const int parsed = parse_options(argc, argv, soak.o);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;
    if (soak.o.seed < 0) // kept below 2^63, so that --seed takes it back
        soak.o.seed = static_cast<long>((std::random_device{}() * 4294967296ull + std::random_device{}()) & LONG_MAX);
    return soak.run();
}
