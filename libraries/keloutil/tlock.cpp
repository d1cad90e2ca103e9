// SPDX-License-Identifier: MIT
// TLock: a named lock whose lock layer only counts acquisitions and grants
// every request at once.
#include <keloutil/tlock.hpp>

#include <keloutil/memory.h>

struct TLock::Record {
    str_t* name;
    int32_t holds;
};

// The record comes from the counted allocator. When memory runs out there is
// none: every request is still granted and name() is null.
TLock::TLock(const TStr& name, bool, bool) : mRecord(static_cast<Record*>(memory_allocate(sizeof(Record)))) {
    if (mRecord == nullptr) return;
    // The UTF-8 text read as 7-bit text, so a byte at or above 0x80 is kept
    // as "?".
    const str_t* text = static_cast<const str_t*>(name.handle());
    mRecord->name = str_null(text) ? str_init() : str_from(text->buffer, str_len(text), STR_ENC_ASCII);
    mRecord->holds = 0;
}

TLock::~TLock() {
    if (mRecord == nullptr) return;
    if (mRecord->holds != 0) release();
    str_uninit(mRecord->name);
    memory_free(mRecord);
}

bool TLock::acquire(long) {
    if (mRecord != nullptr) ++mRecord->holds;
    return true;
}

bool TLock::acquireIfAvailable() { return true; }

void TLock::release() {
    if (mRecord != nullptr) --mRecord->holds;
}

void TLock::destroy() {}

TStr TLock::name() const {
    void* const copy = mRecord != nullptr ? str_dup(mRecord->name) : nullptr;
    return TStr(copy);
}

bool TLock::isValid() const { return true; }
