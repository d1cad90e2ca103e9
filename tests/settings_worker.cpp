// SPDX-License-Identifier: MIT
// The second process of the settings tests (settings_test.cpp):
//   save-keys FILE PREFIX SAVES  each time a new store: open FILE, set
//                                PREFIX / k<i> to v<i>, save; no pause.
//                                Exit 0 when every save succeeded.
//   save-loop FILE               saves two large contents (about 1 MB)
//                                by turns, until it is killed.
//   save-full FILE BYTES         (POSIX) with files limited to BYTES, as a
//                                full disk would, saves a value too large
//                                for that. Exit 0 when save answered false.
// A save-loop content: sections s00 to s99 hold the values; section Meta
// the content's marker ("A" or "B"), the number of values and their FNV-1a
// checksum in combined-key order, so that a reader can tell a whole file.
#include <keloutil/keloutil.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace {

int save_keys(const TPath& file, const char* prefix, int saves) {
    int failed = 0;
    for (int i = 0; i < saves; ++i) {
        KeloSettings settings;
        const std::string n = std::to_string(i);
        if (!settings.open(file) || !settings.setData(prefix, ("k" + n).c_str(), ("v" + n).c_str()) ||
            !settings.save(file)) {
            std::fprintf(stderr, "save %d failed\n", i);
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}

int save_loop(const TPath& file) {
    // 100 sections of 80 values each, about 1 MB printed.
    for (bool a = true;; a = !a) {
        const char marker = a ? 'A' : 'B';
        std::map<std::string, std::string> values; // by combined key
        for (int i = 0; i < 8000; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "s%02d/k%04d", i % 100, i);
            values[key] = std::string(90, marker) + std::to_string(a ? i : 8000 - i);
        }
        uint32_t sum = 2166136261u;
        for (const auto& entry : values)
            for (const char c : entry.second) sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
        KeloSettings settings;
        bool saved = settings.open(file);
        for (const auto& [combined, value] : values) {
            const size_t slash = combined.find('/');
            saved = saved && settings.setData(combined.substr(0, slash).c_str(), combined.substr(slash + 1).c_str(),
                                              value.c_str());
        }
        saved = saved && settings.setData("Meta", "marker", TStr(marker)) &&
                settings.setData("Meta", "count", std::to_string(values.size()).c_str()) &&
                settings.setData("Meta", "checksum", std::to_string(sum).c_str()) && settings.save(file);
        if (!saved) {
            std::fprintf(stderr, "save failed\n");
            return 1;
        }
    }
}

int save_full(const TPath& file, long bytes) {
#ifdef _WIN32
    (void)file, (void)bytes;
    return 2;
#else
    std::signal(SIGXFSZ, SIG_IGN); // a write past the limit then fails instead
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
    KeloSettings settings;
    const bool saved = settings.open(file) && settings.setData("big", "value", std::string(2 * bytes, 'x').c_str()) &&
                       settings.save(file);
    return saved ? 1 : 0;
#endif
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "save-keys" && argc == 5) return save_keys(argv[2], argv[3], std::atoi(argv[4]));
    if (mode == "save-loop" && argc == 3) return save_loop(argv[2]);
    if (mode == "save-full" && argc == 4) return save_full(argv[2], std::atol(argv[3]));
    std::fprintf(stderr, "usage: %s save-keys FILE PREFIX SAVES | save-loop FILE | save-full FILE BYTES\n", argv[0]);
    return 2;
}
