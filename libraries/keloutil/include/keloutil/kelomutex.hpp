// SPDX-License-Identifier: MIT
/// @file
/// KeloMutex: a named mutex shared between processes.
///
/// Every KeloMutex object opened on the same name excludes every other one,
/// in this process and in others of the same user (two objects in one
/// process exclude each other too, when different threads use them; on
/// Windows, whose mutexes are recursive, a thread that holds the mutex is
/// granted it again through a second object). The object forwards to an
/// implementation that the platform supplies.
///
/// Timeouts of Lock are milliseconds: -1 waits without limit, 0 only tests,
/// a positive value waits at most that long, anything below -1 answers false
/// at once. A lock held by a process that ends is released, and the next
/// Lock succeeds.
///
/// The locked flag is one bit, not a count: a second successful Lock on the
/// same object is undone by one UnLock. One object is used by one thread at
/// a time; threads that want to exclude each other each use their own object.
#ifndef KELOUTIL_KELOMUTEX_HPP
#define KELOUTIL_KELOMUTEX_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

/// The operations every implementation of a named mutex provides.
class KELOUTIL_API KeloMutexImp {
public:
    virtual ~KeloMutexImp();
    /// Opens the mutex of that name, closing one that is open first; an
    /// empty name opens nothing and answers false.
    virtual bool Open(const TStr& name) = 0;
    /// Closes it without releasing ownership; true when none was open.
    virtual bool Close() = 0;
    virtual bool Lock(int timeout) = 0;
    /// True when this object no longer holds the lock (also when it never
    /// held it).
    virtual bool UnLock() = 0;
    virtual bool IsLocked() const = 0;

protected:
    KeloMutexImp();
    /// True only between a successful Lock and the UnLock that releases it.
    bool mbLocked;

private:
    KeloMutexImp(const KeloMutexImp&);
    KeloMutexImp& operator=(const KeloMutexImp&);
};

class KELOUTIL_API KeloMutex {
public:
    /// No mutex open, not locked.
    KeloMutex();
    /// Releases and closes.
    virtual ~KeloMutex();
    virtual bool Open(const TStr& name);
    virtual bool Close();
    virtual bool Lock(int timeout);
    virtual bool UnLock();
    virtual bool IsLocked() const;

private:
    KeloMutex(const KeloMutex&);
    KeloMutex& operator=(const KeloMutex&);

    KeloMutexImp* mImp;
};

#endif // KELOUTIL_KELOMUTEX_HPP
