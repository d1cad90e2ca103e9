// SPDX-License-Identifier: MIT
// The clock and the system timer of the platform seam on POSIX systems. Each
// armed timer is a periodic timerfd; one epoll descriptor watches them all,
// so an event loop polls a single descriptor whatever number is armed. No
// thread is started: ticks are delivered when dispatch_system_timer runs.
#include "platform/os.h"

#include <ctime>

#include <sys/epoll.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace keloutil::os {

namespace {

struct ArmedTimer {
    uint32_t id; // 0: the slot is free
    int fd;
    SystemTimerCallback callback;
    bool due; // read as expired, its callback not yet called
};

// A fixed table rather than a container: it needs no allocation and has no
// destructor, so it is still there when the library's static objects stop
// the timers at unload, whatever the order in which files are torn down.
constexpr int max_timers = 16;
ArmedTimer timers[max_timers];
int watcher = -1; // the epoll descriptor, open while a timer is armed
uint32_t last_id = 0;

// Shorter intervals than this are raised to it, as Windows does with its timers.
constexpr int32_t minimum_period_ms = 10;

ArmedTimer* find(uint32_t id) {
    for (ArmedTimer& timer : timers) {
        if (timer.id == id) return &timer;
    }
    return nullptr;
}

bool any_armed() {
    for (const ArmedTimer& timer : timers) {
        if (timer.id != 0) return true;
    }
    return false;
}

// A fresh identifier, never 0 and not in use.
uint32_t next_id() {
    do {
        ++last_id;
    } while (last_id == 0 || find(last_id) != nullptr);
    return last_id;
}

void close_watcher_if_idle() {
    if (watcher >= 0 && !any_armed()) {
        close(watcher);
        watcher = -1;
    }
}

} // namespace

int64_t current_time() { return static_cast<int64_t>(std::time(nullptr)); }

uint32_t arm_system_timer(int32_t period_ms, SystemTimerCallback callback) {
    ArmedTimer* const slot = find(0);
    if (slot == nullptr || callback == nullptr) return 0;
    if (period_ms < minimum_period_ms) period_ms = minimum_period_ms;

    if (watcher < 0) watcher = epoll_create1(EPOLL_CLOEXEC);
    if (watcher < 0) return 0;
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        close_watcher_if_idle();
        return 0;
    }
    timespec period{};
    period.tv_sec = period_ms / 1000;
    period.tv_nsec = static_cast<long>(period_ms % 1000) * 1000000L;
    const itimerspec schedule{period, period}; // first tick one period from now, then periodic
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (timerfd_settime(fd, 0, &schedule, nullptr) != 0 || epoll_ctl(watcher, EPOLL_CTL_ADD, fd, &event) != 0) {
        close(fd);
        close_watcher_if_idle();
        return 0;
    }
    *slot = ArmedTimer{next_id(), fd, callback, false};
    return slot->id;
}

void cancel_system_timer(uint32_t id) {
    ArmedTimer* const timer = id != 0 ? find(id) : nullptr;
    if (timer == nullptr) return;
    close(timer->fd); // closing also takes it off the epoll set
    *timer = ArmedTimer{};
    close_watcher_if_idle();
}

void dispatch_system_timer() {
    // First note which timers expired, reading their counts (any number of
    // missed ticks gives one call). Then call them one by one, looking each
    // up afresh: a callback may cancel or arm timers, and a cancelled
    // timer's slot forgets that it was due.
    for (ArmedTimer& timer : timers) {
        uint64_t expirations = 0;
        if (timer.id != 0 && read(timer.fd, &expirations, sizeof expirations) == sizeof expirations) {
            timer.due = expirations > 0;
        }
    }
    for (ArmedTimer& timer : timers) {
        if (timer.id == 0 || !timer.due) continue;
        timer.due = false;
        timer.callback(nullptr, 0, timer.id, 0);
    }
}

int system_timer_handle() { return watcher; }

} // namespace keloutil::os
