/* SPDX-License-Identifier: MIT */
// Internal to the library: the two locks that keep saves of one settings
// file from overwriting each other's values.
#ifndef KELOUTIL_SETTINGS_LOCKS_H
#define KELOUTIL_SETTINGS_LOCKS_H

#include <keloutil/kelomutex.hpp>
#include <keloutil/tstr.hpp>

#include <cstdint>

namespace keloutil {

// The settings lock of a file: the named mutex "Local\\" + path, with every
// "\\" of the path turned into "_", held from construction to destruction.
// When it cannot be opened the caller goes on without it. A null path takes
// no lock.
class SettingsLock {
public:
    explicit SettingsLock(const TStr& path);
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

private:
    KeloMutex mutex_;
};

// The lock on the identity of the file's folder, taken under the settings
// lock and released before it: it holds whatever the spelling of the path,
// across accounts, and also when the named lock cannot be had. Never taken
// for two folders at once. A null path takes no lock.
class FolderLock {
public:
    explicit FolderLock(const TStr& file);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    intptr_t lock_;
};

} // namespace keloutil

#endif // KELOUTIL_SETTINGS_LOCKS_H
