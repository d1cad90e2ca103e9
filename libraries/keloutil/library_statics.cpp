// The library's static objects, all defined in this one file so that they
// are constructed at load in a fixed order and destroyed at unload in the
// reverse order (the order of definition within one translation unit).
#include <keloutil/tstr.hpp>

namespace {

void* const no_record = nullptr;

} // namespace

// Adopts a null handle: the shared object without a record. Nothing in it
// allocates, so it can be constructed first and used by everything after it.
TStr TStr::null(no_record);
