// SPDX-License-Identifier: MIT
// The clock and the system timer of the platform seam on Windows: thread
// timers without a window (SetTimer / KillTimer). Their WM_TIMER messages
// reach a trampoline with the calling convention that Windows expects,
// which hands the tick to the callback armed with that timer.
#include "platform/os.h"

#include <ctime>

#include <windows.h>

namespace keloutil::os {

namespace {

struct ArmedTimer {
    UINT_PTR id; // 0: the slot is free
    SystemTimerCallback callback;
};

// A fixed table rather than a container: it needs no allocation and has no
// destructor, so it is still there when the library's static objects stop
// the timers at unload, whatever the order in which files are torn down.
constexpr int max_timers = 16;
ArmedTimer timers[max_timers];

ArmedTimer* find(UINT_PTR id) {
    for (ArmedTimer& timer : timers) {
        if (timer.id == id) return &timer;
    }
    return nullptr;
}

VOID CALLBACK trampoline(HWND window, UINT message, UINT_PTR id, DWORD tick) {
    const ArmedTimer* const timer = id != 0 ? find(id) : nullptr;
    if (timer != nullptr) timer->callback(window, message, id, tick);
}

} // namespace

int64_t current_time() { return static_cast<int64_t>(_time64(nullptr)); }

uint32_t arm_system_timer(int32_t period_ms, SystemTimerCallback callback) {
    ArmedTimer* const slot = find(0);
    if (slot == nullptr || callback == nullptr) return 0;
    // Without a window Windows chooses the identifier; those of thread
    // timers are small numbers, so they fit the seam's 32 bits.
    const UINT_PTR id = SetTimer(nullptr, 0, static_cast<UINT>(period_ms), trampoline);
    if (id == 0) return 0;
    *slot = ArmedTimer{id, callback};
    return static_cast<uint32_t>(id);
}

void cancel_system_timer(uint32_t id) {
    ArmedTimer* const timer = id != 0 ? find(id) : nullptr;
    if (timer == nullptr) return;
    KillTimer(nullptr, timer->id);
    *timer = ArmedTimer{};
}

void dispatch_system_timer() {
    // Windows keeps at most one pending WM_TIMER per timer, however many
    // periods went by, so each due timer is called once. The bound keeps a
    // very short timer whose callback outlasts its period from holding the
    // caller here for ever.
    MSG message;
    for (int i = 0; i < max_timers && PeekMessageW(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE); ++i) {
        DispatchMessageW(&message);
    }
}

int system_timer_handle() { return -1; }

} // namespace keloutil::os
