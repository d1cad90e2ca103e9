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
// A save-loop content: sections s00 to s99 hold the values (their letters
// "A" or "B" by turns); section Meta the number of values and their FNV-1a
// checksum in combined-key order, so that a reader can tell a whole file.
#include <keloutil/keloutil.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
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
    // 100 sections of 80 values each, about 1 MB printed; in combined-key
    // order section by section, and within one by the key's number.
    for (bool a = true;; a = !a) {
        const char marker = a ? 'A' : 'B';
        uint32_t sum = 2166136261u;
        KeloSettings settings;
        bool saved = settings.open(file);
        for (int s = 0; s < 100; ++s)
            for (int i = s; i < 8000; i += 100) {
                char section[16], key[16];
                std::snprintf(section, sizeof section, "s%02d", s);
                std::snprintf(key, sizeof key, "k%04d", i);
                const std::string value = std::string(90, marker) + std::to_string(a ? i : 8000 - i);
                for (const char c : value) sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
                saved = saved && settings.setData(section, key, value.c_str());
            }
        saved = saved && settings.setData("Meta", "count", "8000") &&
                settings.setData("Meta", "checksum", std::to_string(sum).c_str()) && settings.save(file);
        if (!saved) return std::fprintf(stderr, "save failed\n"), 1;
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
