// SPDX-License-Identifier: MIT
// The library's static objects, all defined in this one file so that they
// are constructed at load in a fixed order and destroyed at unload in the
// reverse order (the order of definition within one translation unit):
//   1. TStr::null, the shared null string;
//   2. the timer registry and its removal queue, then a guard that empties
//      the registry at unload;
//   3. the start-up anchor of the object manager;
//   4. the custom environment;
//   5. the locale manager, which reads the installed locales here.
// At unload the locale manager and the custom environment go first; then
// the anchor releases the manager, which runs the registered clean-ups
// while the timers and TStr::null still exist; then the guard deletes the
// timers and stops the system timer, so that no tick arrives for a library
// that is gone. TTimer's other static members are plain scalars,
// constant-initialised in ttimer.cpp.
#include "library_statics.h"
#include "locale_manager.h"

#include <keloutil/customenv.hpp>
#include <keloutil/objectmanager.hpp>
#include <keloutil/tstr.hpp>
#include <keloutil/ttimer.hpp>

namespace {

void* const no_record = nullptr;

#ifdef KELOUTIL_FAULT_INJECTION
// The test build marks each object alive from just after its construction
// to just before its destruction, by a mark defined right after it.
// Constant-initialised, so it is valid before the first object and after
// the last.
unsigned live_objects = 0;

template <unsigned Object>
struct LifeMark {
    LifeMark() { live_objects |= Object; }
    ~LifeMark() { live_objects &= ~Object; }
};
#define KELOUTIL_MARK_ALIVE(object, name) static LifeMark<keloutil::object> name
#else
#define KELOUTIL_MARK_ALIVE(object, name) static_assert(true)
#endif

} // namespace

#ifdef KELOUTIL_FAULT_INJECTION
unsigned keloutil::live_static_objects() { return live_objects; }
#endif

// Adopts a null handle: the shared object without a record. Nothing in it
// allocates, so it can be constructed first and used by everything after it.
TStr TStr::null(no_record);
KELOUTIL_MARK_ALIVE(null_string_object, null_string_mark);

std::vector<TTimer*> TTimer::mTimers;
std::vector<int> TTimer::mTimersToBeDeleted;

struct TimerRegistryGuard {
    ~TimerRegistryGuard() { TTimer::removeAll(); }
};

static TimerRegistryGuard timer_registry_guard;

// Makes the object manager while the library is loaded and releases it when
// the library is unloaded; the manager's destruction runs the clean-ups. A
// manager that a caller already shut down with fini() is gone (instance_ is
// null) and nothing is left to do.
struct ObjectManagerAnchor {
    ObjectManagerAnchor() { CKeloUtilObjectManager::instance(); }
    ~ObjectManagerAnchor() {
        delete CKeloUtilObjectManager::instance_;
        CKeloUtilObjectManager::instance_ = nullptr;
    }
};

static ObjectManagerAnchor object_manager_anchor;

// Reads its file only at the first request, not here.
CKeloUtilCustomEnv CKeloUtilCustomEnv::mInstance;
KELOUTIL_MARK_ALIVE(custom_environment_object, custom_environment_mark);

CKeloUtilLocaleMgr CKeloUtilLocaleMgr::mInstance;
KELOUTIL_MARK_ALIVE(locale_manager_object, locale_manager_mark);
