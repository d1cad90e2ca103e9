// SPDX-License-Identifier: MIT
// TTimer against a fake clock and system timer (timer_platform.h), so that
// ticks 15 seconds apart take no time; then the real system timer. The
// identifiers are absolute only in the first test: ctest runs each test in
// a process of its own, and a whole run of the program runs it first (its
// source comes first).
#include <gtest/gtest.h>
#include <keloutil/ttimer.hpp>

#include "timer_platform.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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
        // clocking on; these tests run on the system timer, not yet set up.
        TTimer::setManualClock(false, TTimer::DEFAULT_CLOCK_PERIOD);
        TTimer::removeAll();
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
    EXPECT_TRUE(TTimer::remove(1) && !TTimer::remove(1)); // once only
    EXPECT_EQ(TTimer::getTimer(1), nullptr);
    EXPECT_EQ(TTimer::add(30, nullptr), -1); // nothing to call: refused
    EXPECT_EQ(TTimer::add(30, Probe::callback, &probe), 3);
    ASSERT_NE(TTimer::getTimer(3), nullptr);
    EXPECT_EQ(TTimer::getTimer(3)->getID(), 3);
}

// One timer under the default 15-second clock: which of six ticks call it.
// What its callback answers must not matter.
TEST_F(TimerTest, FiresAtTheFirstTickAfterItsPeriod) {
    const struct { int period; bool active; int result; const char* fires; } cases[] = {
        {30, true, 0, ".x.x.x"}, {20, true, 1, ".x.x.x"}, {16, true, -1, ".x.x.x"}, {45, true, 0, "..x..x"},
        {15, true, 0, "xxxxxx"}, {0, true, 0, "xxxxxx"}, {-3, true, 0, "xxxxxx"}, {0, false, 0, "......"}};
    for (const auto& c : cases) {
        Probe probe{0, c.result, {}};
        TTimer::add(c.period, Probe::callback, &probe, c.active);
        EXPECT_EQ(Fake::period_ms, 15000);
        std::string fired;
        for (int before = 0; fired.size() < 6; before = probe.calls) {
            Fake::tick();
            fired += probe.calls > before ? 'x' : '.';
        }
        EXPECT_EQ(fired, c.fires) << c.period << (c.active ? "" : " inactive");
        TTimer::removeAll();
    }
}

// Timers a and b fire at every tick, and a's callback changes the registry
// during the pass. The calls of a, b and a timer c added by the action, and
// the timers left after the pass.
TEST_F(TimerTest, RegistryChangesWaitForTheEndOfThePass) {
    Probe probes[3];
    int ids[3];
    const struct { const char* name; std::function<void()> action; const char *calls, *remaining; } cases[] = {
        {"remove self", [&] { EXPECT_TRUE(TTimer::remove(ids[0])); }, "110", "b"},
        {"remove later", [&] { EXPECT_TRUE(TTimer::remove(ids[1])); }, "110", "a"},
        {"remove unknown", [] { EXPECT_TRUE(TTimer::remove(999)); }, "110", "ab"},
        {"remove all", [] { TTimer::removeAll(); }, "100", ""},
        {"nested clock", [] { EXPECT_EQ(TTimer::clock(), 0); }, "110", "ab"},
        {"add waits for the next pass", [&] { ids[2] = TTimer::add(0, Probe::callback, &probes[2]); }, "110", "abc"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (Probe& probe : probes) probe = Probe{};
        for (int i = 0; i < 3; ++i) ids[i] = i < 2 ? TTimer::add(0, Probe::callback, &probes[i]) : 0;
        probes[0].action = [&] {
            c.action();
            EXPECT_NE(TTimer::getTimer(ids[0]), nullptr) << "removed before the end of the pass";
        };
        Fake::tick();
        std::string calls, remaining;
        for (int i = 0; i < 3; ++i) {
            calls += std::to_string(probes[i].calls);
            if (ids[i] != 0 && TTimer::getTimer(ids[i]) != nullptr) remaining += "abc"[i];
        }
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(remaining, c.remaining);
        EXPECT_EQ(Fake::armed != 0, !remaining.empty()) << "the system timer runs exactly while timers exist";
        TTimer::removeAll();
    }
}

TEST_F(TimerTest, DisablingAndManualClocking) {
    Probe probe;
    TTimer::add(0, Probe::callback, &probe);
    for (const bool disabled : {true, false}) {
        TTimer::setAllDisabled(disabled);
        Fake::tick();
    }
    EXPECT_EQ(probe.calls, 1) << "only the tick while enabled calls it";

    TTimer::setManualClock(true, 0);
    EXPECT_TRUE(TTimer::getManualClock() && Fake::armed == 0u);
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
    TTimer::add(1, Probe::callback, &probe);
    for (int i = 0; i < 50 && probe.calls == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        TTimer::dispatchSystemTimer();
    }
    EXPECT_GT(probe.calls, 0);
    TTimer::removeAll();
    EXPECT_EQ(TTimer::systemTimerHandle(), -1);
    TTimer::setManualClock(false, TTimer::DEFAULT_CLOCK_PERIOD);
}

// Two timers of the seam, many periods missed: one call each per dispatch.
TEST(SystemTimer, EachDueTimerIsCalledOncePerDispatch) {
    static uint32_t ids[2];
    static std::vector<int> calls;
    calls = {0, 0};
    const auto count = [](void*, unsigned int, uintptr_t timer, unsigned long) { ++calls[timer == ids[0] ? 0 : 1]; };
    for (uint32_t& id : ids) id = keloutil::os::arm_system_timer(20, count);
    ASSERT_TRUE(ids[0] != 0 && ids[1] != 0 && ids[0] != ids[1]);
    for (const uint32_t cancelled : {0u, ids[0]}) {
        keloutil::os::cancel_system_timer(cancelled);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        keloutil::os::dispatch_system_timer();
    }
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    keloutil::os::cancel_system_timer(ids[1]);
    EXPECT_EQ(keloutil::os::system_timer_handle(), -1);

    // Nor does a tick come before its period, if this thread was quick enough to tell.
    const auto armed_at = std::chrono::steady_clock::now();
    const int calls_before = calls[0];
    ids[0] = keloutil::os::arm_system_timer(500, count);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    keloutil::os::dispatch_system_timer();
    EXPECT_TRUE(calls[0] == calls_before ||
                std::chrono::steady_clock::now() - armed_at >= std::chrono::milliseconds(500));
    keloutil::os::cancel_system_timer(ids[0]);
}

} // namespace
