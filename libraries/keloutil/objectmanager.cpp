// SPDX-License-Identifier: MIT
// The object manager: a list of clean-ups, newest first, run once when the
// library is unloaded (or when a caller calls fini()).
#include <keloutil/objectmanager.hpp>

#include <new>

CKeloUtilCleanup::~CKeloUtilCleanup() {}

void CKeloUtilCleanup::cleanup(void*) { delete this; }

CKeloUtilObjectManagerBase::~CKeloUtilObjectManagerBase() {}

// One registration. The list ends in a sentinel whose fields are all null,
// so a registration is real when its `next` is not null.
struct CKeloUtilObjectManager::Registration {
    void* object;
    void (*function)(void* object, void* data);
    void* data;
    Registration* next;
};

CKeloUtilObjectManager* CKeloUtilObjectManager::instance_ = nullptr;

namespace {

// The function of every CKeloUtilCleanup registration.
void dispatch_cleanup(void* object, void* data) { static_cast<CKeloUtilCleanup*>(object)->cleanup(data); }

} // namespace

CKeloUtilObjectManager::CKeloUtilObjectManager()
    : registrations_(new (std::nothrow) Registration{nullptr, nullptr, nullptr, nullptr}) {
    if (instance_ == nullptr) instance_ = this;
    init();
}

CKeloUtilObjectManager::~CKeloUtilObjectManager() {
    self_owned_ = false; // fini must not release this object a second time
    fini();
    while (registrations_ != nullptr) {
        Registration* const next = registrations_->next;
        delete registrations_;
        registrations_ = next;
    }
}

CKeloUtilObjectManager* CKeloUtilObjectManager::instance() {
    if (instance_ != nullptr) return instance_;
    CKeloUtilObjectManager* const manager = new (std::nothrow) CKeloUtilObjectManager();
    if (manager == nullptr) return nullptr;
    if (manager->registrations_ == nullptr) { // no memory for the sentinel
        delete manager;
        return nullptr;
    }
    manager->self_owned_ = true;
    return manager;
}

int CKeloUtilObjectManager::at_exit(CKeloUtilCleanup* object, void* data) {
    CKeloUtilObjectManager* const manager = instance();
    return manager != nullptr ? manager->at_exit_i(object, dispatch_cleanup, data) : -1;
}

int CKeloUtilObjectManager::at_exit(void* object, void (*function)(void*, void*), void* data) {
    CKeloUtilObjectManager* const manager = instance();
    return manager != nullptr ? manager->at_exit_i(object, function, data) : -1;
}

int CKeloUtilObjectManager::at_exit_i(void* object, void (*function)(void*, void*), void* data) {
    if (shutting_down_i()) return -1;
    for (const Registration* r = registrations_; r->next != nullptr; r = r->next) {
        if (r->object == object) return -1;
    }
    Registration* const registration = new (std::nothrow) Registration{object, function, data, registrations_};
    if (registration == nullptr) return -1;
    registrations_ = registration;
    return 0;
}

int CKeloUtilObjectManager::init() {
    if (!starting_up_i()) return 1;
    state_ = 1;
    state_ = 2;
    return 0;
}

int CKeloUtilObjectManager::fini() {
    if (shutting_down_i()) return state_ == 4 ? 1 : -1;
    state_ = 3;
    // The list is only read here: registrations made from a clean-up are
    // refused by the state, and the registrations stay until destruction.
    for (const Registration* r = registrations_; r->next != nullptr; r = r->next) {
        if (r->function != nullptr) r->function(r->object, r->data);
    }
    state_ = 4;
    const bool was_instance = instance_ == this;
    if (self_owned_) delete this;
    if (was_instance) instance_ = nullptr;
    return 0;
}
