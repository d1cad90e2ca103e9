// SPDX-License-Identifier: MIT
/// @file
/// TLock: a named lock with acquire and release operations.
///
/// Its lock layer keeps only a count of acquisitions and grants every
/// request at once, so a TLock gives no exclusion, in this process or
/// between processes; use KeloMutex for that. The name is kept as 7-bit
/// text: every byte of its UTF-8 form at or above 0x80 is stored as "?".
#ifndef KELOUTIL_TLOCK_HPP
#define KELOUTIL_TLOCK_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

class KELOUTIL_API TLock {
public:
    /// The two options reach the lock layer (the first one inverted), which
    /// uses neither.
    TLock(const TStr& name, bool option1 = false, bool option2 = false);
    /// Releases once when the hold count is not 0.
    ~TLock();

    /// Adds one to the hold count; always true. The time-out is not used.
    bool acquire(long timeout = -1);
    /// True; the hold count does not change.
    bool acquireIfAvailable();
    /// Subtracts one from the hold count.
    void release();
    /// Does nothing.
    void destroy();
    TStr name() const;
    /// Always true.
    bool isValid() const;

private:
    TLock(const TLock&);
    TLock& operator=(const TLock&);

    struct Record;
    Record* mRecord;
};

#endif // KELOUTIL_TLOCK_HPP
