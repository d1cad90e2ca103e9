// SPDX-License-Identifier: MIT
/// @file
/// TTimer: coarse periodic callbacks, addressed by integer identifiers.
///
/// TTimer::add registers a function with a period in seconds. A process-wide
/// clock ticks every 15 seconds (setManualClock changes that) and calls each
/// active timer whose period has passed since it last ran; so a timer fires
/// at the first tick after its period, and a 20-second timer fires every 30
/// seconds. A period of 0 or less fires at every tick.
///
/// The clock is driven by one system timer of the thread that created the
/// first timer or chose the mode. Its ticks are delivered while that thread
/// calls TTimer::dispatchSystemTimer() (on Windows also while it dispatches
/// its messages); on Linux an event loop may poll systemTimerHandle() and
/// call dispatchSystemTimer() when it becomes readable. With manual clocking
/// there is no system timer and the caller calls TTimer::clock() itself.
///
/// Inside a callback, remove and removeAll only queue their work, which is
/// done at the end of the clock pass. Identifiers are never reused. Nothing
/// here is synchronised: use it from one thread.
#ifndef KELOUTIL_TTIMER_HPP
#define KELOUTIL_TTIMER_HPP

#include <keloutil/export.h>

#include <cstdint>
#include <vector>

class KELOUTIL_API TTimer {
public:
    using Callback = int (*)(void* userData);

    static const int DEFAULT_CLOCK_PERIOD = 15;

    /// A new timer with the next identifier (the first is 1), its last run
    /// counted from now; sets up the clock when it is not yet. The callback's
    /// result is ignored and the user data is never owned.
    static int add(int period, Callback callback, void* userData = nullptr, bool active = true);
    /// Outside a clock pass: deletes the timer (true), or false when there is
    /// none; removing the last one stops the system timer. During a pass:
    /// queues the removal for the end of the pass and answers true.
    static bool remove(int id);
    /// Deletes every timer and stops the system timer; during a pass,
    /// deactivates every timer at once and queues their removal.
    static void removeAll();
    /// The timer with that identifier, or NULL.
    static TTimer* getTimer(int id);
    /// One clock pass: runs every active timer that is due. Answers 0.
    static int clock();
    /// While disabled, clock passes do nothing (queued removals wait too).
    static void setAllDisabled(bool disabled);
    /// true: no system timer, the caller calls clock(). false: the system
    /// timer ticks every `period` seconds; a new period without a change of
    /// mode takes effect at the next set-up of the clock.
    static void setManualClock(bool manual, int period);
    static bool getManualClock();

    /// Delivers the system timer's tick when one is due (at most one pass),
    /// without waiting.
    static void dispatchSystemTimer();
    /// Linux: a descriptor that is readable when a tick is due, -1 when the
    /// system timer is not armed. Windows: -1 (ticks arrive as messages).
    static int systemTimerHandle();

    int getID() const { return mId; }
    bool isActive() const { return mbActive; }
    void setActive(bool active) { mbActive = active; }
    int getPeriod() const { return mPeriod; }
    void setPeriod(int period) { mPeriod = period; }

    TTimer& operator=(const TTimer& other);

private:
    TTimer(int id, int period, Callback callback, void* userData, bool active);
    ~TTimer();
    TTimer(const TTimer&);

    static void InitializeTimers(bool force);
    static void cancelSytemTimer();
    // What a tick of the system timer calls; ignores its arguments and runs
    // clock().
    static void WindowsTTimerClock(void* window, unsigned int message, uintptr_t timer, unsigned long tick);
    void trigger();

    int mId;
    bool mbActive;
    bool mbInCallback;
    int mPeriod;
    Callback mCallback;
    void* mUserData;
    int64_t mLastTime; // seconds since 1970-01-01 UTC

    static std::vector<TTimer*> mTimers;         // in order of creation
    static std::vector<int> mTimersToBeDeleted;  // removals asked for during a pass
    static int mNextId;
    static int mClockPeriod;
    static bool mbAllDisabled;
    static bool mbManualClocking;
    static bool mbInitialized;
    static bool mbClockingNow;
    static unsigned int muTimerID;
};

#endif // KELOUTIL_TTIMER_HPP
