// SPDX-License-Identifier: MIT
// The locks of a settings file: its named settings lock and the lock on its
// folder's identity.
#include "settings_locks.h"

#include "platform/os.h"

#include <string>

namespace keloutil {

namespace {

const str_t* record_of(const TStr& s) { return static_cast<const str_t*>(s.handle()); }

} // namespace

SettingsLock::SettingsLock(const TStr& path) {
    if (path.isEmpty()) return;
    const str_t* record = record_of(path);
    std::string name = "Local\\";
    for (int32_t i = 0; i < str_len(record); ++i) name += record->buffer[i] == '\\' ? '_' : record->buffer[i];
    const TStr text(name.data(), static_cast<int32_t>(name.size()), STR_ENC_UTF8);
    if (!text.isNull() && mutex_.Open(text)) mutex_.Lock(-1); // without memory for the name: no lock
}

SettingsLock::~SettingsLock() {
    if (mutex_.IsLocked()) mutex_.UnLock();
}

FolderLock::FolderLock(const TStr& file) : lock_(file.isEmpty() ? -1 : os::lock_folder_of(record_of(file))) {}

FolderLock::~FolderLock() { os::unlock_folder(lock_); }

} // namespace keloutil
