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
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
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
    long processes = 8, saves = 200, spellings = 3, kills = 1000;
    uint64_t seed = 0;
    bool seeded = false;
    std::string dir;
    long uid = -1;
};

bool number(const char* text, long low, long high, long& out) {
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) return false;
    out = static_cast<long>(value);
    return true;
}

// 0 when the options are good, else the exit status to end with.
int parse_options(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help") {
            std::fputs(usage_text, stdout);
            return -1;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s: missing value or unknown option\n%s", name.c_str(), usage_text);
            return 2;
        }
        const char* value = argv[++i];
        long seed_low = 0;
        bool good = true;
        if (name == "--processes") good = number(value, 1, 256, options.processes);
        else if (name == "--saves") good = number(value, 1, 999999, options.saves);
        else if (name == "--spellings") good = number(value, 1, 4, options.spellings);
        else if (name == "--kills") good = number(value, 0, 100000000, options.kills);
        else if (name == "--uid") good = number(value, 1, 0x7fffffff, options.uid);
        else if (name == "--dir") options.dir = value;
        else if (name == "--seed") {
            good = number(value, 0, 0x7fffffffffffffff, seed_low);
            options.seed = static_cast<uint64_t>(seed_low), options.seeded = true;
        } else good = false;
        if (!good || (name == "--dir" && *value == '\0')) {
            std::fprintf(stderr, "bad option: %s %s\n%s", name.c_str(), value, usage_text);
            return 2;
        }
    }
    return 0;
}

// A path in the library's form ("\\" between components).
std::string library_form(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string key_of(long i, long j) { return "w" + std::to_string(i) + "_" + std::to_string(j); }

// The value worker i saves for key j: both numbers and an FNV-1a hash of them.
std::string value_of(long i, long j) {
    uint32_t hash = 2166136261u;
    for (const long part : {i, j})
        for (int shift = 0; shift < 32; shift += 8) hash = (hash ^ ((part >> shift) & 255)) * 16777619u;
    char text[64];
    std::snprintf(text, sizeof text, "%ld.%ld.%08" PRIx32, i, j, hash);
    return text;
}

// Whether a folder entry is a temporary file or a copy of old content that
// a save leaves while it writes.
bool write_leftover(const std::string& name) {
    const auto ends_with = [&](const std::string& end) {
        return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
    };
    if (name.empty() || name[0] != '.') return false;
    if (ends_with(".rollback")) return true;
    if (!ends_with(".tmp") || name.size() < 22 || name[name.size() - 21] != '.') return false;
    for (size_t k = name.size() - 20; k < name.size() - 4; ++k)
        if (!std::isxdigit(static_cast<unsigned char>(name[k]))) return false;
    return true;
}

std::vector<std::string> write_leftovers(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder))
        if (write_leftover(entry.path().filename().string())) found.push_back(entry.path().filename().string());
    return found;
}

struct Account {
    bool switches = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// One worker's life: keys `start` to saves - 1, each opened through its
// spelling, set and saved, with the outcome recorded. Never returns.
[[noreturn]] void run_worker(const std::string& folder, const std::string& spelling, const Account& account, long i,
                             long start, long saves, int progress_fd) {
    if (account.switches && (setgroups(0, nullptr) != 0 || setgid(account.gid) != 0 || setuid(account.uid) != 0)) {
        dprintf(2, "worker %ld: cannot switch to uid %u: %s\n", i, static_cast<unsigned>(account.uid),
                std::strerror(errno));
        _exit(3);
    }
    if (chdir(folder.c_str()) != 0) {
        dprintf(2, "worker %ld: cannot enter %s: %s\n", i, folder.c_str(), std::strerror(errno));
        _exit(3);
    }
    const TPath path(spelling.c_str());
    const auto note = [&](char what, long j) {
        char record[32]; // 8 bytes: the numbers of keys stay below 10^6
        std::snprintf(record, sizeof record, "%c%06ld\n", what, j);
        while (write(progress_fd, record, static_cast<size_t>(record_size)) < 0 && errno == EINTR) {
        }
    };
    for (long j = start; j < saves; ++j) {
        const std::string key = key_of(i, j), value = value_of(i, j);
        char outcome = 'g';
        for (int attempt = 0; attempt < tries_per_key && outcome != 'c'; ++attempt) {
            KeloSettings settings(true);
            if (!settings.open(path)) {
                note('o', j);
                continue;
            }
            if (!settings.setData("soak", key.c_str(), value.c_str())) _exit(4); // memory ran out
            outcome = settings.save(path) ? 'c' : 's';
            if (outcome == 's') note('s', j);
        }
        note(outcome == 'c' ? 'c' : 'g', j);
    }
    _exit(0);
}

// Drops a record that a kill cut short from the end of a progress file.
off_t whole_records(int fd) {
    struct stat status;
    if (fstat(fd, &status) != 0) return 0;
    const off_t whole = status.st_size / record_size * record_size;
    if (whole != status.st_size && ftruncate(fd, whole) != 0) return 0;
    return whole;
}

// `size` bytes of a file from `offset` on (fewer where it ends sooner).
std::string read_at(int fd, off_t offset, off_t size) {
    std::string bytes(static_cast<size_t>(size), '\0');
    off_t done = 0;
    while (done < size) {
        const ssize_t got =
            pread(fd, &bytes[static_cast<size_t>(done)], static_cast<size_t>(size - done), offset + done);
        if (got <= 0) break;
        done += got;
    }
    bytes.resize(static_cast<size_t>(done));
    return bytes;
}

struct Worker {
    pid_t pid = -1;
    bool done = false;
    Account account;
    std::string spelling;
    int progress_fd = -1;
    long restarts = 0;
};

class Soak {
public:
    explicit Soak(const Options& options) : o_(options) {}
    int run();

private:
    // 0 when the folder, its links and the file are ready, else the exit status.
    int prepare();
    void start(long i);
    // Handles the end of worker i; `killed` when this program ended it.
    void ended(long i, int status, bool killed);
    off_t recorded() const;
    long keys_passed() const;
    int report(double seconds);

    Options o_;
    fs::path folder_;
    bool made_folder_ = false;
    std::vector<std::string> spellings_;
    std::vector<Worker> workers_;
    std::mt19937_64 random_;
    long kills_ = 0, failed_workers_ = 0;
};

int Soak::prepare() {
    if (o_.dir.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/keloutil-soak-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) {
            std::fprintf(stderr, "cannot make a folder from %s: %s\n", pattern.c_str(), std::strerror(errno));
            return 1;
        }
        folder_ = pattern;
        made_folder_ = true;
    } else {
        std::error_code error;
        fs::create_directories(o_.dir, error);
        if (error || !fs::is_directory(o_.dir) || !fs::is_empty(o_.dir)) {
            std::fprintf(stderr, "%s: not a new or empty folder\n", o_.dir.c_str());
            return 2;
        }
        folder_ = fs::absolute(o_.dir).lexically_normal();
        if (!folder_.has_filename()) folder_ = folder_.parent_path();
    }
    // The settings file's folder is open to both accounts, as an open-access
    // file's folder must be for a save to write a temporary file beside it.
    const bool root = geteuid() == 0;
    if (root) fs::permissions(folder_, fs::perms::all);
    fs::create_directory(folder_ / "x");
    fs::create_directory(folder_ / "progress");
    fs::create_directory_symlink(folder_, folder_ / "via");
    fs::create_symlink("app.xml", folder_ / "link.xml");
    const std::string all[] = {library_form(folder_.string() + "/app.xml"), ".\\x\\..\\app.xml",
                               library_form(folder_.string() + "/via/app.xml"),
                               library_form(folder_.string() + "/link.xml")};
    spellings_.assign(all, all + o_.spellings);

    Account other;
    other.switches = root;
    if (root) {
        const passwd* nobody = o_.uid < 0 ? getpwnam("nobody") : getpwuid(static_cast<uid_t>(o_.uid));
        other.uid = nobody != nullptr ? nobody->pw_uid : static_cast<uid_t>(o_.uid < 0 ? 65534 : o_.uid);
        other.gid = nobody != nullptr ? nobody->pw_gid : other.uid;
    }
    workers_.resize(static_cast<size_t>(o_.processes));
    for (long i = 0; i < o_.processes; ++i) {
        Worker& worker = workers_[static_cast<size_t>(i)];
        worker.spelling = spellings_[static_cast<size_t>(i % o_.spellings)];
        if (i % 2 == 1) worker.account = other;
        const fs::path progress = folder_ / "progress" / ("w" + std::to_string(i));
        worker.progress_fd = ::open(progress.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (worker.progress_fd < 0) {
            std::fprintf(stderr, "cannot make progress files in %s\n", progress.parent_path().c_str());
            return 1;
        }
    }
    random_.seed(o_.seed);

    std::printf("soak: %ld processes x %ld saves, %ld spellings, %ld kills, seed %" PRIu64 "\n", o_.processes,
                o_.saves, o_.spellings, o_.kills, o_.seed);
    std::printf("folder: %s\n", folder_.c_str());
    for (size_t s = 0; s < spellings_.size(); ++s) std::printf("spelling %zu: %s\n", s, spellings_[s].c_str());
    if (root && o_.processes > 1)
        std::printf("accounts: even workers as uid 0, odd workers as uid %u\n", static_cast<unsigned>(other.uid));
    else if (root)
        std::printf("accounts: one worker, as uid 0 (two accounts need two processes)\n");
    else
        std::printf("accounts: not run as root, so every worker runs as uid %u: one account only\n",
                    static_cast<unsigned>(geteuid()));
    // This program's own account makes the file first, through the store
    // with open access, as a privileged installer would: the other account
    // then always meets a file it does not own, which it cannot replace and
    // writes in place, behind a copy of the old content.
    KeloSettings first(true);
    const TPath path(spellings_[0].c_str());
    if (!first.open(path) || !first.setData("soak", "start", "1") || !first.save(path)) {
        std::fprintf(stderr, "cannot make %s\n", spellings_[0].c_str());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}

void Soak::start(long i) {
    Worker& worker = workers_[static_cast<size_t>(i)];
    const std::string records = read_at(worker.progress_fd, 0, whole_records(worker.progress_fd));
    long next = 0;
    for (size_t at = 0; at < records.size(); at += record_size)
        if (records[at] == 'c' || records[at] == 'g') next = std::max(next, std::atol(records.c_str() + at + 1) + 1);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        run_worker(folder_.string(), worker.spelling, worker.account, i, next, o_.saves, worker.progress_fd);
    }
    if (pid < 0) {
        std::fprintf(stderr, "worker %ld: fork failed: %s\n", i, std::strerror(errno));
        worker.done = true;
        ++failed_workers_;
        return;
    }
    worker.pid = pid;
}

void Soak::ended(long i, int status, bool killed) {
    Worker& worker = workers_[static_cast<size_t>(i)];
    worker.pid = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        worker.done = true;
    } else if (killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) {
        ++kills_;
        ++worker.restarts;
        start(i);
    } else {
        std::fprintf(stderr, "worker %ld ended by itself with %s %d\n", i,
                     WIFEXITED(status) ? "exit status" : "signal",
                     WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
        worker.done = true;
        ++failed_workers_;
    }
}

// Bytes of records written so far, a measure of progress.
off_t Soak::recorded() const {
    off_t total = 0;
    struct stat status;
    for (const Worker& worker : workers_)
        if (fstat(worker.progress_fd, &status) == 0) total += status.st_size;
    return total;
}

// The number of keys the workers have passed, saved or not: the measure of
// progress that the kills keep pace with.
long Soak::keys_passed() const {
    long total = 0;
    for (const Worker& worker : workers_) {
        struct stat status;
        if (fstat(worker.progress_fd, &status) != 0 || status.st_size < record_size) continue;
        const std::string last =
            read_at(worker.progress_fd, status.st_size / record_size * record_size - record_size, record_size);
        total += std::atol(last.c_str() + 1) + (last[0] == 'c' || last[0] == 'g' ? 1 : 0);
    }
    return total;
}

int Soak::run() {
    if (const int status = prepare()) return status;
    const auto started = std::chrono::steady_clock::now();
    for (long i = 0; i < o_.processes; ++i) start(i);
    const long total = o_.processes * o_.saves;
    std::uniform_int_distribution<int> pause_us(0, max_pause_us);
    off_t last_recorded = 0;
    auto last_progress = std::chrono::steady_clock::now();
    for (;;) {
        std::vector<long> live;
        for (long i = 0; i < o_.processes; ++i) {
            Worker& worker = workers_[static_cast<size_t>(i)];
            int status = 0;
            if (!worker.done && waitpid(worker.pid, &status, WNOHANG) == worker.pid) ended(i, status, false);
            if (!worker.done) live.push_back(i);
        }
        if (live.empty()) break;
        std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random_)));
        // The kills keep pace with the keys passed, so that they spread over
        // the whole run rather than crowd its start.
        const long allowed = ((keys_passed() + 1) * o_.kills + total - 1) / total;
        if (kills_ < o_.kills && kills_ < allowed) {
            const long i = live[std::uniform_int_distribution<size_t>(0, live.size() - 1)(random_)];
            Worker& worker = workers_[static_cast<size_t>(i)];
            int status = 0;
            if (kill(worker.pid, SIGKILL) == 0 && waitpid(worker.pid, &status, 0) == worker.pid) ended(i, status, true);
        }
        const off_t now_recorded = recorded();
        const auto now = std::chrono::steady_clock::now();
        if (now_recorded != last_recorded) {
            last_recorded = now_recorded, last_progress = now;
        } else if (now - last_progress > stall_limit) {
            std::fprintf(stderr, "stalled: no worker recorded anything for %lld s; workers left:",
                         static_cast<long long>(stall_limit.count()));
            for (const long i : live) {
                const pid_t pid = workers_[static_cast<size_t>(i)].pid;
                std::fprintf(stderr, " %ld (pid %d)", i, static_cast<int>(pid));
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            std::fprintf(stderr, "\n");
            failed_workers_ += static_cast<long>(live.size());
            break;
        }
    }
    return report(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

int Soak::report(double seconds) {
    // What the workers recorded: the confirmed keys and the failures.
    std::vector<std::set<long>> confirmed(workers_.size());
    long open_failures = 0, save_failures = 0, given_up = 0;
    for (size_t i = 0; i < workers_.size(); ++i) {
        const Worker& worker = workers_[i];
        const std::string records = read_at(worker.progress_fd, 0, whole_records(worker.progress_fd));
        for (size_t at = 0; at < records.size(); at += record_size) {
            const long j = std::atol(records.c_str() + at + 1);
            switch (records[at]) {
            case 'c': confirmed[i].insert(j); break;
            case 'o': ++open_failures; break;
            case 's': ++save_failures; break;
            default: ++given_up;
            }
        }
    }

    KeloSettings settings(true);
    const TPath path(spellings_[0].c_str());
    const bool opened = settings.open(path);
    std::map<TStr, TStr> values;
    settings.getAll(values);
    long expected = 0, found = 0, lost = 0, wrong = 0;
    std::vector<std::string> lost_keys;
    for (long i = 0; i < o_.processes; ++i)
        for (long j = 0; j < o_.saves; ++j) {
            const std::string key = key_of(i, j);
            const bool is_expected = confirmed[static_cast<size_t>(i)].count(j) != 0;
            const auto value = values.find(TStr(("soak/" + key).c_str()));
            const bool present = value != values.end();
            const bool right = present && value->second == value_of(i, j).c_str();
            expected += is_expected;
            found += right;
            wrong += present && !right && !is_expected;
            if (is_expected && !right) {
                ++lost;
                if (lost_keys.size() < 10) lost_keys.push_back(key + (present ? " (wrong value)" : " (absent)"));
            }
        }

    const std::vector<std::string> before = write_leftovers(folder_);
    const bool cleaned = opened && settings.setData("soak", "final", "clean") && settings.save(path);
    const std::vector<std::string> after = write_leftovers(folder_);

    long restarts = 0;
    for (const Worker& worker : workers_) restarts += worker.restarts;
    const long not_opened = open_failures + (opened ? 0 : 1);
    std::printf("kills: %ld of %ld (workers restarted %ld times)\n", kills_, o_.kills, restarts);
    std::printf("values expected (confirmed saves): %ld\n", expected);
    std::printf("values found: %ld (%ld of them without a confirmed save)\n", found,
                std::max(0L, found - (expected - lost)));
    std::printf("values lost: %ld\n", lost);
    for (const std::string& key : lost_keys) std::printf("  lost: %s\n", key.c_str());
    if (wrong != 0) std::printf("values wrong, of keys without a confirmed save: %ld\n", wrong);
    std::printf("files that did not open: %ld (%ld during the run, %d at the end)\n", not_opened, open_failures,
                opened ? 0 : 1);
    std::printf("saves that answered false: %ld during the run%s (keys given up after %d tries: %ld)\n",
                save_failures, cleaned ? "" : ", and the final clean save", tries_per_key, given_up);
    std::printf("leftover files after a clean save: %zu (before it: %zu)\n", after.size(), before.size());
    for (const std::string& name : after) std::printf("  left: %s\n", name.c_str());
    for (const std::string& name : before) std::printf("  before the clean save: %s\n", name.c_str());
    if (failed_workers_ != 0) std::printf("workers that failed: %ld\n", failed_workers_);
    std::printf("time: %.1f s\n", seconds);

    const bool passed = lost == 0 && wrong == 0 && not_opened == 0 && save_failures == 0 && cleaned &&
                        after.empty() && failed_workers_ == 0;
    std::printf("result: %s\n", passed ? "PASS" : "FAIL");
    for (const Worker& worker : workers_) {
        close(worker.progress_fd);
    }
    if (passed && made_folder_) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    } else if (made_folder_) {
        std::printf("kept for inspection: %s\n", folder_.c_str());
    }
    return passed ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    const int parsed = parse_options(argc, argv, options);
    if (parsed != 0) return parsed < 0 ? 0 : parsed;
    if (!options.seeded) options.seed = std::random_device{}() * 4294967296ull + std::random_device{}();
    options.seed &= 0x7fffffffffffffffull; // so that --seed takes it back
    return Soak(options).run();
}
