// SPDX-License-Identifier: MIT
// TTimer: the registry of timers and the clock pass that runs them. The
// time and the system timer come through a TimerPlatform (timer_platform.h),
// so that test builds can drive the clock themselves.
#include <keloutil/ttimer.hpp>

#include "guarded.h"
#include "timer_platform.h"

#include <algorithm>
#include <climits>
#include <new>

namespace {

keloutil::TimerPlatform platform = {keloutil::os::current_time, keloutil::os::arm_system_timer,
                                    keloutil::os::cancel_system_timer};

} // namespace

#ifdef KELOUTIL_FAULT_INJECTION
keloutil::TimerPlatform keloutil::replace_timer_platform(const TimerPlatform& replacement) {
    const TimerPlatform previous = platform;
    platform = replacement;
    return previous;
}
#endif

// The registry and the removal queue are defined in library_statics.cpp,
// where their place in the load order is fixed. The scalars here are
// constant-initialised, so they hold their values before any code of the
// library runs, whatever the order of construction.
const int TTimer::DEFAULT_CLOCK_PERIOD;
int TTimer::mNextId = 0;
int TTimer::mClockPeriod = TTimer::DEFAULT_CLOCK_PERIOD;
bool TTimer::mbAllDisabled = false;
bool TTimer::mbManualClocking = false;
bool TTimer::mbInitialized = false;
bool TTimer::mbClockingNow = false;
unsigned int TTimer::muTimerID = 0;

TTimer::TTimer(int id, int period, Callback callback, void* userData, bool active)
    : mId(id), mbActive(active), mbInCallback(false), mPeriod(period), mCallback(callback), mUserData(userData),
      mLastTime(platform.now()) {}

// The user data belongs to the caller.
TTimer::~TTimer() {}

TTimer::TTimer(const TTimer&) = default;
TTimer& TTimer::operator=(const TTimer&) = default;

int TTimer::add(int period, Callback callback, void* userData, bool active) {
    // A timer without a function, or one more after the last identifier
    // there is, is refused with -1 (the library's answer to a refused
    // registration) rather than crashing at its first tick or reusing an
    // identifier. So is one that memory cannot be found for.
    if (callback == nullptr || mNextId == INT_MAX) return -1;
    TTimer* const timer = new (std::nothrow) TTimer(mNextId + 1, period, callback, userData, active);
    if (timer == nullptr) return -1;
    if (!keloutil::guarded(false, [timer] {
            mTimers.push_back(timer);
            return true;
        })) {
        delete timer;
        return -1;
    }
    mNextId = timer->mId;
    InitializeTimers(false);
    return timer->mId;
}

bool TTimer::remove(int id) {
    if (mbClockingNow) {
        // false when the removal could not be noted: the timer stays.
        return keloutil::guarded(false, [id] {
            mTimersToBeDeleted.push_back(id);
            return true;
        });
    }
    const auto found = std::find_if(mTimers.begin(), mTimers.end(), [id](const TTimer* t) { return t->mId == id; });
    if (found == mTimers.end()) return false;
    delete *found;
    mTimers.erase(found);
    if (mTimers.empty()) cancelSytemTimer();
    return true;
}

void TTimer::removeAll() {
    if (mbClockingNow) {
        // Deactivating comes first: even if the queue cannot grow, no timer
        // runs again, and those left unqueued stay registered but inactive.
        for (TTimer* timer : mTimers) timer->mbActive = false;
        if (!keloutil::guarded(false, [] {
                mTimersToBeDeleted.reserve(mTimersToBeDeleted.size() + mTimers.size());
                return true;
            }))
            return;
        for (const TTimer* timer : mTimers) mTimersToBeDeleted.push_back(timer->mId);
        return;
    }
    for (TTimer* timer : mTimers) delete timer;
    mTimers.clear();
    cancelSytemTimer();
}

TTimer* TTimer::getTimer(int id) {
    for (TTimer* timer : mTimers) {
        if (timer->mId == id) return timer;
    }
    return nullptr;
}

int TTimer::clock() {
    if (mbAllDisabled || mbClockingNow) return 0;
    mbClockingNow = true;
    // Callbacks may append timers but never erase any (removal waits for
    // the end of the pass), so indices stay valid; those appended during
    // the pass lie beyond `count` and wait for the next one.
    const size_t count = mTimers.size();
    for (size_t i = 0; i < count; ++i) mTimers[i]->trigger();
    mbClockingNow = false;

    std::vector<int> queued;
    queued.swap(mTimersToBeDeleted);
    for (const int id : queued) remove(id);
    return 0;
}

void TTimer::setAllDisabled(bool disabled) { mbAllDisabled = disabled; }

void TTimer::setManualClock(bool manual, int period) {
    if (!manual) mClockPeriod = period;
    const bool changed = manual != mbManualClocking;
    mbManualClocking = manual;
    InitializeTimers(changed);
}

bool TTimer::getManualClock() { return mbManualClocking; }

void TTimer::dispatchSystemTimer() { keloutil::os::dispatch_system_timer(); }

int TTimer::systemTimerHandle() { return keloutil::os::system_timer_handle(); }

void TTimer::InitializeTimers(bool force) {
    if (mbInitialized && !force) return;
    cancelSytemTimer();
    if (!mbManualClocking) {
        // The period in milliseconds, kept within what the seam takes: a
        // clock period of 0 or less asks for the shortest interval the
        // platform has, one beyond 24 days for the longest. A failure to arm
        // leaves muTimerID at 0 and the clock counted as set up.
        const int64_t milliseconds = std::clamp<int64_t>(int64_t{mClockPeriod} * 1000, 0, INT32_MAX);
        muTimerID = platform.arm(static_cast<int32_t>(milliseconds), WindowsTTimerClock);
    }
    mbInitialized = true;
}

void TTimer::cancelSytemTimer() {
    if (muTimerID != 0) {
        platform.cancel(muTimerID);
        muTimerID = 0;
    }
    mbInitialized = false;
}

void TTimer::WindowsTTimerClock(void*, unsigned int, uintptr_t, unsigned long) { clock(); }

void TTimer::trigger() {
    if (mbInCallback || !mbActive) return;
    const int64_t now = platform.now();
    if (now - mLastTime < mPeriod) return;
    // The timer cannot be deleted while its callback runs: removal during a
    // clock pass only queues. What the callback throws ends only the callback.
    mbInCallback = true;
    keloutil::guarded([this] { mCallback(mUserData); });
    mbInCallback = false;
    mLastTime = now;
}
