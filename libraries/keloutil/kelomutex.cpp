// SPDX-License-Identifier: MIT
// KeloMutex: the class callers use, forwarding to the named-mutex
// implementation that the platform supplies.
#include <keloutil/kelomutex.hpp>

#include "guarded.h"
#include "platform/os.h"

KeloMutexImp::KeloMutexImp() : mbLocked(false) {}

KeloMutexImp::~KeloMutexImp() = default;

// Without an implementation (memory ran out) the object answers every
// operation as a mutex that is closed.
KeloMutex::KeloMutex() : mImp(keloutil::os::new_named_mutex()) {}

KeloMutex::~KeloMutex() { delete mImp; }

bool KeloMutex::Open(const TStr& name) {
    return mImp != nullptr && keloutil::guarded(false, [&] { return mImp->Open(name); });
}

bool KeloMutex::Close() { return mImp == nullptr || keloutil::guarded(false, [&] { return mImp->Close(); }); }

bool KeloMutex::Lock(int timeout) {
    return mImp != nullptr && keloutil::guarded(false, [&] { return mImp->Lock(timeout); });
}

bool KeloMutex::UnLock() { return mImp == nullptr || keloutil::guarded(false, [&] { return mImp->UnLock(); }); }

bool KeloMutex::IsLocked() const { return mImp != nullptr && mImp->IsLocked(); }
