// SPDX-License-Identifier: MIT
// The second process of the lock tests. Usage: keloutil_lock_worker NAME DIR MODE
// Takes the named mutex NAME, creates DIR/ready, and waits until DIR/release
// exists. Then, with MODE "unlock", it unlocks and waits until DIR/done
// exists, so the parent sees the lock free while this process still runs;
// with MODE "exit" it ends at once while still holding the lock.
#include <keloutil/kelomutex.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const std::filesystem::path dir = std::filesystem::u8path(argv[2]);
    const auto wait_for = [&](const char* file) {
        while (!std::filesystem::exists(dir / file)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    KeloMutex mutex;
    if (!mutex.Open(TStr(argv[1])) || !mutex.Lock(-1)) return 3;
    std::ofstream(dir / "ready").close();
    wait_for("release");
    if (std::string(argv[3]) == "exit") std::_Exit(0); // no destructor runs: the lock is still held
    if (!mutex.UnLock()) return 4;
    wait_for("done");
    return 0;
}
