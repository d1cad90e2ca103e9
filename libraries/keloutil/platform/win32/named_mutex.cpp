// SPDX-License-Identifier: MIT
// Named mutexes on Windows: a kernel mutex object of that name, shared by
// every process of the session that opens the same name.
#include <keloutil/kelomutex.hpp>
#include <keloutil/memory.h>

#include <windows.h>

#include <new>

#include "platform/os.h"

namespace {

class KeloWinMutexImp final : public KeloMutexImp {
public:
    KeloWinMutexImp() : mHandle(nullptr) {}
    ~KeloWinMutexImp() override;
    bool Open(const TStr& name) override;
    bool Close() override;
    bool Lock(int timeout) override;
    bool UnLock() override;
    bool IsLocked() const override { return mbLocked; }

private:
    HANDLE mHandle; // the open mutex; nullptr when none is open
};

KeloWinMutexImp::~KeloWinMutexImp() {
    if (mHandle != nullptr) {
        UnLock();
        Close();
    }
    mbLocked = false;
}

bool KeloWinMutexImp::Open(const TStr& name) {
    if (mHandle != nullptr) Close();
    if (name.isEmpty()) return false;
    uint16_t* const wide = name.utf16le_alloc();
    if (wide == nullptr) return false;
    // Opens the existing mutex when one of that name exists.
    mHandle = CreateMutexW(nullptr, FALSE, reinterpret_cast<const wchar_t*>(wide));
    memory_free(wide);
    return mHandle != nullptr;
}

// Closing does not give up ownership and leaves the flag as it is.
bool KeloWinMutexImp::Close() {
    if (mHandle == nullptr) return true;
    const bool closed = CloseHandle(mHandle) != 0;
    mHandle = nullptr;
    return closed;
}

bool KeloWinMutexImp::Lock(int timeout) {
    if (mHandle == nullptr || timeout < -1) return false;
    const DWORD result = WaitForSingleObject(mHandle, static_cast<DWORD>(timeout)); // -1 is INFINITE
    // WAIT_ABANDONED: the previous owner ended while holding the mutex and
    // this thread now owns it. It counts as acquired, so that UnLock releases
    // it again (a mutex never stays owned by a thread that believes it does
    // not hold it), just as the kernel frees a dead holder's lock on POSIX.
    mbLocked = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    return mbLocked;
}

bool KeloWinMutexImp::UnLock() {
    if (mHandle == nullptr) return true;
    if (mbLocked && ReleaseMutex(mHandle)) mbLocked = false;
    return !mbLocked;
}

} // namespace

namespace keloutil::os {

KeloMutexImp* new_named_mutex() { return new (std::nothrow) KeloWinMutexImp(); }

} // namespace keloutil::os
