// SPDX-License-Identifier: MIT
// Named mutexes on POSIX systems: flock on one lock file per name, in a
// directory that belongs to the user alone. The kernel releases the lock of
// a process that ends, so a holder that dies never leaves a name locked.
#include <keloutil/kelomutex.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>

#include "platform/os.h"

namespace {

// Encoded names longer than this are shortened, so that every lock file name
// stays well below the file systems' limit of 255 bytes.
constexpr size_t max_encoded_length = 200;

const char hex_digits[] = "0123456789ABCDEF";

uint64_t fnv1a64(const std::string& bytes) {
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

// One file name for a mutex name. Bytes outside [A-Za-z0-9._-] become %XX,
// and so does a leading ".", so that no name reaches another directory or
// the directory itself. An encoding that is too long is cut (never inside a
// %XX) and gets "~" and the hash of the whole name; no short encoding holds
// a "~", so shortened names cannot meet unshortened ones.
std::string lock_file_name(const std::string& name) {
    std::string encoded;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                           c == '-' || (c == '.' && i > 0);
        if (plain) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex_digits[c >> 4];
            encoded += hex_digits[c & 15];
        }
    }
    if (encoded.size() <= max_encoded_length) return encoded;
    size_t cut = max_encoded_length;
    if (encoded[cut - 1] == '%') cut -= 1;
    else if (encoded[cut - 2] == '%') cut -= 2;
    encoded.resize(cut);
    encoded += '~';
    const uint64_t hash = fnv1a64(name);
    for (int shift = 60; shift >= 0; shift -= 4) encoded += hex_digits[(hash >> shift) & 15];
    return encoded;
}

// A lock directory, opened: created mode 0700 when missing, refused (-1)
// when it is a symbolic link, not a directory or not owned by the user,
// because another user could then replace or read its lock files.
int open_owned_directory(const std::string& path) {
    mkdir(path.c_str(), 0700); // an existing one is checked below
    const int directory = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (directory < 0) return -1;
    struct stat status;
    if (fstat(directory, &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != geteuid()) {
        close(directory);
        return -1;
    }
    return directory;
}

std::string environment_text(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The user's lock directory: "$XDG_RUNTIME_DIR/keloutil", else
// "/tmp/keloutil-<euid>". A name in /tmp can be taken first by another
// account; then the locks live in "keloutil/locks" under $XDG_CACHE_HOME,
// else under $HOME/.cache, where no other account can create anything.
int open_lock_directory() {
    const std::string runtime = environment_text("XDG_RUNTIME_DIR");
    const int directory =
        open_owned_directory(!runtime.empty() ? runtime + "/keloutil" : "/tmp/keloutil-" + std::to_string(geteuid()));
    if (directory >= 0) return directory;
    std::string cache = environment_text("XDG_CACHE_HOME");
    if (cache.empty()) {
        const std::string home = environment_text("HOME");
        if (home.empty()) return -1;
        cache = home + "/.cache";
    }
    mkdir(cache.c_str(), 0700);
    mkdir((cache + "/keloutil").c_str(), 0700);
    return open_owned_directory(cache + "/keloutil/locks");
}

class KeloPosixMutexImp final : public KeloMutexImp {
public:
    KeloPosixMutexImp() : mFile(-1) {}
    ~KeloPosixMutexImp() override;
    bool Open(const TStr& name) override;
    bool Close() override;
    bool Lock(int timeout) override;
    bool UnLock() override;
    bool IsLocked() const override { return mbLocked; }

private:
    // Each object has a descriptor of its own, so two objects on one name
    // exclude each other also within one process.
    int mFile; // the open lock file; -1 when none is open
};

KeloPosixMutexImp::~KeloPosixMutexImp() {
    if (mFile >= 0) {
        UnLock();
        Close();
    }
    mbLocked = false;
}

bool KeloPosixMutexImp::Open(const TStr& name) {
    if (mFile >= 0) Close();
    if (name.isEmpty()) return false;
    std::string file_name;
    try {
        const str_t* text = static_cast<const str_t*>(name.handle());
        file_name = lock_file_name(std::string(text->buffer, static_cast<size_t>(str_len(text))));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int directory = open_lock_directory();
    if (directory < 0) return false;
    mFile = openat(directory, file_name.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    close(directory);
    return mFile >= 0;
}

// The flag stays as it is, as on every platform. Closing the descriptor
// does release its flock, though: a closed object holds nothing here.
bool KeloPosixMutexImp::Close() {
    if (mFile < 0) return true;
    const bool closed = close(mFile) == 0;
    mFile = -1;
    return closed;
}

bool KeloPosixMutexImp::Lock(int timeout) {
    if (mFile < 0 || timeout < -1) return false;
    if (timeout == -1) {
        int result;
        while ((result = flock(mFile, LOCK_EX)) != 0 && errno == EINTR) {
        }
        mbLocked = result == 0;
        return mbLocked;
    }
    // A bounded wait tries without blocking and sleeps briefly in between;
    // flock has no wait with a time-out of its own.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
    std::chrono::microseconds pause(1000);
    for (;;) {
        mbLocked = flock(mFile, LOCK_EX | LOCK_NB) == 0;
        if (mbLocked || (errno != EWOULDBLOCK && errno != EINTR)) return mbLocked;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
}

bool KeloPosixMutexImp::UnLock() {
    if (mFile < 0) return true;
    if (mbLocked && flock(mFile, LOCK_UN) == 0) mbLocked = false;
    return !mbLocked;
}

} // namespace

namespace keloutil::os {

KeloMutexImp* new_named_mutex() { return new (std::nothrow) KeloPosixMutexImp(); }

} // namespace keloutil::os
