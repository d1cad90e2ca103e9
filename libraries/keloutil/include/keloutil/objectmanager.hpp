// SPDX-License-Identifier: MIT
/// @file
/// The process-wide object manager: clean-up work that the framework's
/// modules register to be done when keloutil is unloaded (at process exit,
/// or when the last module that loaded it lets it go).
///
/// A registration is either a function taking two untyped pointers (the
/// object and the data given at registration) or a CKeloUtilCleanup object
/// whose cleanup(data) is called. Clean-ups run once, newest first. An
/// object pointer is registered at most once, and nothing is accepted once
/// the clean-ups have begun to run.
///
/// Not synchronised: register from one thread at a time, and not while the
/// library is being unloaded.
#ifndef KELOUTIL_OBJECTMANAGER_HPP
#define KELOUTIL_OBJECTMANAGER_HPP

#include <keloutil/export.h>

/// Work to do at unload, as an object. The default cleanup releases the
/// object itself (delete this), so an object made with new and registered
/// needs no further care.
class KELOUTIL_API CKeloUtilCleanup {
public:
    CKeloUtilCleanup() {}
    CKeloUtilCleanup(const CKeloUtilCleanup&) {}
    CKeloUtilCleanup& operator=(const CKeloUtilCleanup&) { return *this; }
    virtual ~CKeloUtilCleanup();
    virtual void cleanup(void* data);
};

/// The life cycle shared by object managers. States: 0 constructed,
/// 1 starting, 2 running (registrations accepted), 3 shutting down (the
/// clean-ups run), 4 shut down.
class KELOUTIL_API CKeloUtilObjectManagerBase {
protected:
    CKeloUtilObjectManagerBase() : state_(0), self_owned_(false) {}
    virtual ~CKeloUtilObjectManagerBase();

public:
    /// 0: initialised now; 1: it already was.
    virtual int init() = 0;
    /// 0: the clean-ups ran now; 1: they had run already; -1: they are
    /// running (called from inside a clean-up).
    virtual int fini() = 0;

protected:
    /// 1 before the running state (0 or 1), else 0.
    int starting_up_i() const { return state_ < 2 ? 1 : 0; }
    /// 1 from the start of the shut-down on (3 or 4), else 0.
    int shutting_down_i() const { return state_ > 2 ? 1 : 0; }

    int state_;
    /// Set on the manager that instance() made: it releases itself at the
    /// end of fini().
    bool self_owned_;

private:
    CKeloUtilObjectManagerBase(const CKeloUtilObjectManagerBase&);
    CKeloUtilObjectManagerBase& operator=(const CKeloUtilObjectManagerBase&);
};

class KELOUTIL_API CKeloUtilObjectManager : public CKeloUtilObjectManagerBase {
public:
    /// The process-wide manager, made on first use (the library makes it
    /// while it is loaded). After an explicit fini() a new, empty manager is
    /// made. NULL only when memory runs out.
    static CKeloUtilObjectManager* instance();

    /// Registers object->cleanup(data). 0, or -1 when the object is already
    /// registered, the clean-ups have begun, or memory runs out.
    static int at_exit(CKeloUtilCleanup* object, void* data);
    /// Registers function(object, data), with the same answers.
    static int at_exit(void* object, void (*function)(void*, void*), void* data);

    int init() override;
    /// Runs every registered clean-up, newest first. A manager made by
    /// instance() then releases itself, and instance() makes a new one.
    int fini() override;

private:
    struct Registration;

    CKeloUtilObjectManager();
    ~CKeloUtilObjectManager() override;
    CKeloUtilObjectManager(const CKeloUtilObjectManager&);
    CKeloUtilObjectManager& operator=(const CKeloUtilObjectManager&);

    int at_exit_i(void* object, void (*function)(void*, void*), void* data);

    // The library's start-up anchor makes the manager at load and releases
    // it at unload.
    friend struct ObjectManagerAnchor;

    // Newest first; the list always ends in a sentinel whose fields are all
    // null.
    Registration* registrations_;

    static CKeloUtilObjectManager* instance_;
};

#endif // KELOUTIL_OBJECTMANAGER_HPP
