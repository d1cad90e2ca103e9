// SPDX-License-Identifier: MIT
// Conversions between keloSTRING and TStr, UTF-16 measuring and the narrow
// copy of a TStr.
#include <keloutil/interop.hpp>
#include <keloutil/memory.h>

#include <cstdint>

#include "platform/os.h"

namespace KeloUtil {

namespace {

// Longest text that getNumChars walks, in units, its terminator included.
constexpr int32_t max_counted_units = 0x100000;

} // namespace

bool keloSTRINGToTStr(const keloSTRING* in, TStr& out) {
    if (in == nullptr) return false;
    out = TStr("");
    if (in->length < 0) return false;
    if (in->length == 0) return true;
    if (in->data == nullptr) return false;
    out = TStr(in->data, in->length);
    return true;
}

bool TStrTokeloSTRING(const TStr& in, keloSTRING* out) {
    if (out == nullptr) return false;
    uint16_t* units = in.utf16le_alloc();
    // A null string has no read-out; it travels as the empty text.
    if (units == nullptr && in.isEmpty()) {
        units = static_cast<uint16_t*>(memory_allocate(sizeof(uint16_t)));
        if (units != nullptr) units[0] = 0;
    }
    if (units == nullptr) {
        *out = {nullptr, 0};
        return false;
    }
    int32_t length = 0;
    while (units[length] != 0) ++length;
    *out = {units, length};
    return true;
}

int32_t getNumChars(const uint16_t* text) {
    if (text == nullptr || text[0] == 0) return 0;
    int32_t count = 1;
    while (count < max_counted_units && text[count - 1] != 0) ++count;
    return count;
}

int32_t getNumBytes(const uint16_t* text, int32_t count) {
    if (text == nullptr || text[0] == 0 || count == 0) return 0;
    if (count > INT32_MAX / 2) return 0; // not a size that 32 bits can give
    return 2 * (count > 0 ? count : getNumChars(text));
}

bool makeMultiByteString(const TStr& text, char* buffer, int32_t& size) {
    const auto* record = static_cast<const str_t*>(text.handle());
    if (text.isEmpty()) {
        size = 0;
        return false;
    }
    if (buffer == nullptr) {
        size = keloutil::os::to_narrow(record, nullptr, 0);
        return size != 0;
    }
    if (size <= 0) {
        size = 0;
        return false;
    }
    size = keloutil::os::to_narrow(record, buffer, size);
    return true;
}

} // namespace KeloUtil
