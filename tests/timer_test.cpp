// SPDX-License-Identifier: MIT
// TTimer against a fake clock and system timer (timer_platform.h), so that
// ticks 15 seconds apart take no time; then the real system timer. The
// identifiers are absolute only in the first test: ctest runs each test in
// a process of its own, and a whole run of the program runs it first (its
// source comes first, and plain tests run before parameterised ones).
#include <gtest/gtest.h>
#include <keloutil/ttimer.hpp>

#include "timer_platform.h"

#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

namespace {

// Time moves only when a test ticks; the armed system timer is remembered.
struct Fake {
    static inline int64_t now = 1000000;
    static inline uint32_t armed = 0, last_id = 0;
    static inline int32_t period_ms = 0;
    static inline keloutil::os::SystemTimerCallback on_tick = nullptr;

    static int64_t time() { return now; }
    static uint32_t arm(int32_t ms, keloutil::os::SystemTimerCallback callback) {
        period_ms = ms, on_tick = callback;
        return armed = ++last_id;
    }
    static void cancel(uint32_t id) { armed = id == armed ? 0 : armed; }
    static void tick() { // one period passes and the armed timer ticks
        now += period_ms / 1000;
        if (armed != 0) on_tick(nullptr, 0, armed, 0);
    }
};

// Counts its own calls (so each callback gets its own user data), runs
// `action` inside the first one and answers `result`, which must not matter.
struct Probe {
    int calls = 0, result = 0;
    std::function<void()> action;
    static int callback(void* data) {
        Probe& probe = *static_cast<Probe*>(data);
        if (probe.calls++ == 0 && probe.action) probe.action();
        return probe.result;
    }
};

class TimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = keloutil::replace_timer_platform({Fake::time, Fake::arm, Fake::cancel});
        // A test that ran before in this process may have left manual
        // clocking on; these tests run on the system timer.
        if (TTimer::getManualClock()) {
            TTimer::setManualClock(false, TTimer::DEFAULT_CLOCK_PERIOD);
            TTimer::removeAll(); // and leaves the clock not yet set up
        }
    }
    void TearDown() override {
        TTimer::setAllDisabled(false);
        TTimer::setManualClock(false, TTimer::DEFAULT_CLOCK_PERIOD);
        TTimer::removeAll(); // stops the system timer: the clock is not set up
        EXPECT_EQ(Fake::armed, 0u);
        keloutil::replace_timer_platform(previous_);
    }
    keloutil::TimerPlatform previous_{};
};

TEST_F(TimerTest, IdentifiersStartAtOneAndAreNeverReused) {
    Probe probe;
    EXPECT_EQ(TTimer::add(30, Probe::callback, &probe), 1);
    EXPECT_EQ(TTimer::add(30, Probe::callback, &probe), 2);
    EXPECT_TRUE(TTimer::remove(1));
    EXPECT_FALSE(TTimer::remove(1));
    EXPECT_EQ(TTimer::getTimer(1), nullptr);
    EXPECT_EQ(TTimer::add(30, nullptr), -1); // nothing to call: refused
    EXPECT_EQ(TTimer::add(30, Probe::callback, &probe), 3);
    ASSERT_NE(TTimer::getTimer(3), nullptr);
    EXPECT_EQ(TTimer::getTimer(3)->getID(), 3);
}

// One timer under the default 15-second clock: which of six ticks call it.
struct ScheduleCase {
    int period;
    bool active;
    int result;
    const char* fires;
};
void PrintTo(const ScheduleCase& c, std::ostream* out) { *out << c.period << (c.active ? "" : " inactive"); }
class TimerSchedule : public TimerTest, public ::testing::WithParamInterface<ScheduleCase> {};

TEST_P(TimerSchedule, FiresAtTheFirstTickAfterItsPeriod) {
    Probe probe;
    probe.result = GetParam().result;
    TTimer::add(GetParam().period, Probe::callback, &probe, GetParam().active);
    EXPECT_EQ(Fake::period_ms, 15000);
    std::string fired;
    for (int before = 0; fired.size() < 6; before = probe.calls) {
        Fake::tick();
        fired += probe.calls > before ? 'x' : '.';
    }
    EXPECT_EQ(fired, GetParam().fires);
}

INSTANTIATE_TEST_SUITE_P(Periods, TimerSchedule,
                         ::testing::Values(ScheduleCase{30, true, 0, ".x.x.x"}, ScheduleCase{20, true, 1, ".x.x.x"},
                                           ScheduleCase{16, true, -1, ".x.x.x"}, ScheduleCase{45, true, 0, "..x..x"},
                                           ScheduleCase{15, true, 0, "xxxxxx"}, ScheduleCase{0, true, 0, "xxxxxx"},
                                           ScheduleCase{-3, true, 0, "xxxxxx"}, ScheduleCase{0, false, 0, "......"}));

// Timers a and b fire at every tick, and a's callback changes the registry
// during the pass. The calls of a, b and a timer c added by the action, and
// the timers left after the pass.
enum class Action { remove_self, remove_later, remove_unknown, remove_all, nested_clock, add };
struct PassCase {
    const char* name;
    Action action;
    const char* calls;
    const char* remaining;
};
void PrintTo(const PassCase& c, std::ostream* out) { *out << c.name; }
class TimerPass : public TimerTest, public ::testing::WithParamInterface<PassCase> {};

TEST_P(TimerPass, RegistryChangesWaitForTheEndOfThePass) {
    Probe probes[3];
    int ids[3] = {TTimer::add(0, Probe::callback, &probes[0]), TTimer::add(0, Probe::callback, &probes[1]), 0};
    probes[0].action = [&] {
        switch (GetParam().action) {
        case Action::remove_self: EXPECT_TRUE(TTimer::remove(ids[0])); break;
        case Action::remove_later: EXPECT_TRUE(TTimer::remove(ids[1])); break;
        case Action::remove_unknown: EXPECT_TRUE(TTimer::remove(999)); break;
        case Action::remove_all: TTimer::removeAll(); break;
        case Action::nested_clock: EXPECT_EQ(TTimer::clock(), 0); break;
        case Action::add: ids[2] = TTimer::add(0, Probe::callback, &probes[2]); break;
        }
        EXPECT_NE(TTimer::getTimer(ids[0]), nullptr) << "removed before the end of the pass";
    };
    Fake::tick();
    std::string calls, remaining;
    for (int i = 0; i < 3; ++i) {
        calls += std::to_string(probes[i].calls);
        if (ids[i] != 0 && TTimer::getTimer(ids[i]) != nullptr) remaining += "abc"[i];
    }
    EXPECT_EQ(calls, GetParam().calls);
    EXPECT_EQ(remaining, GetParam().remaining);
    EXPECT_EQ(Fake::armed != 0, !remaining.empty()) << "the system timer runs exactly while timers exist";
}

INSTANTIATE_TEST_SUITE_P(Actions, TimerPass,
                         ::testing::Values(PassCase{"RemoveSelf", Action::remove_self, "110", "b"},
                                           PassCase{"RemoveLater", Action::remove_later, "110", "a"},
                                           PassCase{"RemoveUnknown", Action::remove_unknown, "110", "ab"},
                                           PassCase{"RemoveAll", Action::remove_all, "100", ""},
                                           PassCase{"NestedClock", Action::nested_clock, "110", "ab"},
                                           PassCase{"AddWaitsForTheNextPass", Action::add, "110", "abc"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TimerTest, DisablingAndManualClocking) {
    Probe probe;
    TTimer::add(0, Probe::callback, &probe);
    TTimer::setAllDisabled(true);
    Fake::tick();
    EXPECT_EQ(probe.calls, 0);
    TTimer::setAllDisabled(false);
    Fake::tick();
    EXPECT_EQ(probe.calls, 1);

    TTimer::setManualClock(true, 0);
    EXPECT_TRUE(TTimer::getManualClock());
    EXPECT_EQ(Fake::armed, 0u);
    EXPECT_EQ(TTimer::clock(), 0); // the caller's clock drives the timers
    EXPECT_EQ(probe.calls, 2);

    TTimer::setManualClock(false, 5); // a change of mode: armed at once
    EXPECT_NE(Fake::armed, 0u);
    EXPECT_EQ(Fake::period_ms, 5000);
    TTimer::setManualClock(false, 7); // no change of mode: kept for the next set-up
    EXPECT_EQ(Fake::period_ms, 5000);
    TTimer::removeAll();
    EXPECT_EQ(Fake::armed, 0u);
    TTimer::add(0, Probe::callback, &probe);
    EXPECT_EQ(Fake::period_ms, 7000);
}

// The platform's own system timer: a one-second clock ticks while this
// thread dispatches, and stops with the last timer.
TEST(SystemTimer, TicksArriveWhileTheThreadDispatches) {
    Probe probe;
    TTimer::setManualClock(false, 1);
    const int id = TTimer::add(1, Probe::callback, &probe);
    for (int i = 0; i < 50 && probe.calls == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        TTimer::dispatchSystemTimer();
    }
    EXPECT_GT(probe.calls, 0);
    EXPECT_TRUE(TTimer::remove(id));
    EXPECT_EQ(TTimer::systemTimerHandle(), -1);
    TTimer::setManualClock(false, TTimer::DEFAULT_CLOCK_PERIOD);
    TTimer::removeAll();
}

// Two timers of the seam, many periods missed: one call each per dispatch.
TEST(SystemTimer, EachDueTimerIsCalledOncePerDispatch) {
    static uint32_t ids[2];
    static int calls[2];
    calls[0] = calls[1] = 0;
    const auto count = [](void*, unsigned int, uintptr_t timer, unsigned long) { ++calls[timer == ids[0] ? 0 : 1]; };
    ids[0] = keloutil::os::arm_system_timer(20, count);
    ids[1] = keloutil::os::arm_system_timer(20, count);
    ASSERT_TRUE(ids[0] != 0 && ids[1] != 0 && ids[0] != ids[1]);
    for (const uint32_t cancelled : {0u, ids[0]}) {
        keloutil::os::cancel_system_timer(cancelled);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        keloutil::os::dispatch_system_timer();
    }
    EXPECT_EQ(calls[0], 1);
    EXPECT_EQ(calls[1], 2);
    keloutil::os::cancel_system_timer(ids[1]);
    EXPECT_EQ(keloutil::os::system_timer_handle(), -1);
}

} // namespace
