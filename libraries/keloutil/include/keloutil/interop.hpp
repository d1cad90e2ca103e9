// SPDX-License-Identifier: MIT
/// @file
/// Interop strings: keloSTRING carries UTF-16 text and its length through
/// plain-function interfaces where a TStr cannot be passed. The KeloUtil
/// functions here convert between it and TStr, measure zero-terminated
/// UTF-16 text and give a TStr in the platform's narrow encoding.
#ifndef KELOUTIL_INTEROP_HPP
#define KELOUTIL_INTEROP_HPP

#include <keloutil/export.h>
#include <keloutil/tstr.hpp>

#include <cstdint>

/// UTF-16 code units in host order and their count, the terminating zero
/// unit (present when the library made the record) not counted. The record
/// owns nothing by itself: see TStrTokeloSTRING for who releases `data`.
struct keloSTRING {
    uint16_t* data;
    int32_t length;
};

namespace KeloUtil {

/// out becomes the text of in's `length` units (a leading byte-order mark is
/// honoured). false for a null record, leaving out as it was, and for a
/// negative length or a null `data` with units to read, leaving out empty.
KELOUTIL_API bool keloSTRINGToTStr(const keloSTRING* in, TStr& out);

/// Fills *out with in's text as UTF-16LE and a zero unit, in a new block from
/// memory_allocate that the receiver releases with memory_free; whatever
/// *out held before is overwritten, not released. An empty or null string
/// gives the zero unit alone. false when out is null or memory runs out.
KELOUTIL_API bool TStrTokeloSTRING(const TStr& in, keloSTRING* out);

/// Units of a zero-terminated text, the terminator included, counting at
/// most 0x100000 units (no unit beyond is read); 0 for a null or empty text.
KELOUTIL_API int32_t getNumChars(const uint16_t* text);

/// 2 * count for a positive count; for a negative count the bytes of the
/// text with its terminator (2 * getNumChars). 0 for a count of 0 and for a
/// null or empty text, and for a count whose bytes do not fit 32 bits.
KELOUTIL_API int32_t getNumBytes(const uint16_t* text, int32_t count);

/// The text in the platform's narrow encoding (the ANSI code page on
/// Windows, UTF-8 elsewhere), terminator included. With a null buffer, size
/// receives the bytes needed and the result says whether that is not 0. With
/// a buffer, size gives its capacity on entry and receives the bytes written,
/// or 0 when the text did not fit; the result is then true unless the
/// capacity was not positive. An empty text gives false and size 0.
KELOUTIL_API bool makeMultiByteString(const TStr& text, char* buffer, int32_t& size);

} // namespace KeloUtil

#endif // KELOUTIL_INTEROP_HPP
