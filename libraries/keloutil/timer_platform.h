/* SPDX-License-Identifier: MIT */
// Internal to the library: the clock and the system timer that TTimer works
// through. The shipped library always uses the platform's own; the test
// builds can put a fake in their place, so that periods of many seconds are
// tested without waiting.
#ifndef KELOUTIL_TIMER_PLATFORM_H
#define KELOUTIL_TIMER_PLATFORM_H

#include "platform/os.h"

#include <cstdint>

namespace keloutil {

// The three services TTimer needs, with the meanings of the seam functions
// of the same roles (os::current_time, os::arm_system_timer,
// os::cancel_system_timer).
struct TimerPlatform {
    int64_t (*now)();
    uint32_t (*arm)(int32_t period_ms, os::SystemTimerCallback callback);
    void (*cancel)(uint32_t timer);
};

#ifdef KELOUTIL_FAULT_INJECTION
// Only in the test builds of the library: makes TTimer use `platform` from
// now on and answers the one it used before. Swap only while no system
// timer is armed through the old one, or it cannot be cancelled.
TimerPlatform replace_timer_platform(const TimerPlatform& platform);
#endif

} // namespace keloutil

#endif // KELOUTIL_TIMER_PLATFORM_H
