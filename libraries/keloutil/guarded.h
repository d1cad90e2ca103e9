/* SPDX-License-Identifier: MIT */
// Internal to the library: the boundary of its public functions. No
// exception leaves the library. What throws inside (std::bad_alloc from
// operator new when memory runs out, above all) ends the function with its
// failure result, the one it already gives for its other failures; the
// objects of the body are destroyed on the way out, so locks held by them
// are released.
#ifndef KELOUTIL_GUARDED_H
#define KELOUTIL_GUARDED_H

#include <new>

namespace keloutil {

// body(), or `failure` when it throws. A string function passes TStr::null,
// which holds no record: it costs no allocation and stays null when it is
// returned (TStr() would allocate a record, and move as an empty text).
template <class Result, class Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

// For a body without a result: an exception only ends it early.
template <class Body>
void guarded(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

// For code under a guard that finds the counted allocator out of memory
// and leaves the way operator new does.
[[noreturn]] inline void out_of_memory() { throw std::bad_alloc(); }

} // namespace keloutil

#endif // KELOUTIL_GUARDED_H
