// The library's static objects, all defined in this one file so that they
// are constructed at load in a fixed order and destroyed at unload in the
// reverse order (the order of definition within one translation unit):
//   1. TStr::null, the shared null string;
//   2. the timer registry and its removal queue, then a guard that empties
//      the registry at unload;
//   3. the start-up anchor of the object manager.
// At unload the anchor releases the manager, which runs the registered
// clean-ups while the timers and TStr::null still exist; then the guard
// deletes the timers and stops the system timer, so that no tick arrives
// for a library that is gone. TTimer's other static members are plain
// scalars, constant-initialised in ttimer.cpp.
#include <keloutil/objectmanager.hpp>
#include <keloutil/tstr.hpp>
#include <keloutil/ttimer.hpp>

namespace {

void* const no_record = nullptr;

} // namespace

// Adopts a null handle: the shared object without a record. Nothing in it
// allocates, so it can be constructed first and used by everything after it.
TStr TStr::null(no_record);

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
