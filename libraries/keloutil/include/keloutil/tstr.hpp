// SPDX-License-Identifier: MIT
/// @file
/// TStr: the string class of the class interface.
///
/// A TStr owns one str_t record (UTF-8 text) and forwards almost every method
/// to one str_* function of <keloutil/c_str.h>; lengths and positions are
/// those of the forwarded function (length() counts bytes, utf8CharCount()
/// characters). The class adds four things of its own:
///
/// Ownership. Each object owns its record and releases it when destroyed.
/// Copies are independent (str_dup: the copy of a null string is empty, not
/// null). The constructor TStr(void* const&) adopts a record that the caller
/// owns, without copying it; every method that returns a record made by a
/// str_* function (pop, mid, upper, arg, number, ...) hands it over this way.
///
/// The conversion cache. latin1(), toUtf8(), toUtf16*() and asEncoding()
/// return a pointer into a block that the object owns: the text converted to
/// one encoding. The object keeps one such block: asking for another encoding
/// replaces it, and every method that changes the text (except buffer())
/// drops it first. A pointer from these methods stays valid until then, or
/// until the object is destroyed.
///
/// char and integer operands. A char given to TStr(char), operator+(char) and
/// arg(char) is one ASCII byte (0x80 and above become '?'); a char given to
/// operator+=(char) and find(char) is a one-byte UTF-8 text. A uint32_t is one
/// code point. For bytes below 0x80 all readings agree.
///
/// TStr::null. A shared object that holds no record: it is null and empty,
/// and its cached conversions are null pointers. It is only read; nothing in
/// the library edits it, and callers must not either.
///
/// Objects without a record (TStr::null, copies of it, adoption of a null
/// handle, moved-from objects) answer every query as a null string. An edit
/// of such an object first gives it a new null record of its own (str_init)
/// and then edits that, so `TStr s(TStr::null); s += "a";` gives "a".
///
/// Not thread-safe: an object, the cache filled by its const methods
/// included, is used by one thread at a time. TStr::null may be read by any
/// number of threads.
#ifndef KELOUTIL_TSTR_HPP
#define KELOUTIL_TSTR_HPP

#include <keloutil/c_str.h>
#include <keloutil/export.h>
#include <keloutil/memory.h>

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string> // also declares std::hash, specialised below
#include <string_view>

class KELOUTIL_API TStr {
public:
    // ---- construction -----------------------------------------------------

    /// A null string.
    TStr();
    /// One ASCII character; a byte of 0x80 or above becomes '?'.
    TStr(char c);
    /// One character given by its code point (also takes U'x' literals).
    TStr(uint32_t codePoint);
    /// NUL-terminated UTF-8; a null pointer gives a null string.
    TStr(char* text);
    TStr(const char* text);
    /// The view's bytes as UTF-8, copied as they are, as TStr(const char*)
    /// copies them; a NUL byte ends the text there. Explicit, so that no
    /// existing call gains a conversion (a literal keeps TStr(const char*)).
    /// A view longer than 2^31 - 2 bytes gives a null string.
    explicit TStr(std::string_view utf8);
    /// `length` bytes of `data` in one of the STR_ENC_* encodings.
    TStr(const void* data, int32_t length, int32_t encoding);
    /// Zero-terminated UTF-16 in host order; a leading byte-order mark is
    /// honoured.
    TStr(const uint16_t* text);
    /// `count` UTF-16 units in host order; a leading byte-order mark is
    /// honoured and not counted.
    TStr(const uint16_t* text, int32_t count);
    /// Zero-terminated UTF-32 in host order.
    TStr(const uint32_t* text);
    /// `count` UTF-32 units in host order.
    TStr(const uint32_t* text, int32_t count);
    /// An independent copy; a copy of an object without a record has none.
    TStr(const TStr& other);
    /// Takes over other's record without copying. The new object holds the
    /// text that a copy would hold (a null string arrives as an empty one, as
    /// str_dup makes it) and starts with an empty cache; `other` is left
    /// without a record, like TStr::null.
    TStr(TStr&& other) noexcept;
    /// Adopts `handle`, a str_t* passed as void*: the object owns that record
    /// from now on and releases it when destroyed. A null handle gives an
    /// object without a record.
    TStr(void* const& handle);
    virtual ~TStr();

    /// Text of zero-terminated UCS-2 read as little-endian bytes, whatever the
    /// host's byte order.
    static TStr fromUcs2(const uint16_t* text);
    /// The value's digits in `base` (2 to 36; another base means 10).
    static TStr number(int32_t value, int32_t base = 10);

    /// The object that holds no record (see above).
    static TStr null;

    // ---- assignment and basic queries ---------------------------------------

    /// Replaces the text with a copy of other's (str_dup); s = s leaves the
    /// text as it is.
    TStr& operator=(const TStr& other);
    /// As the move constructor; the text that was held is released.
    TStr& operator=(TStr&& other) noexcept;

    /// The record, a str_t* (the object keeps it).
    void* handle() const;
    /// Bytes of the UTF-8 text.
    int32_t length() const;
    int32_t utf8CharCount() const;
    bool isNull() const;
    bool isEmpty() const;
    /// True for a non-empty text.
    operator bool() const;
    /// The first byte of character `index` as a signed byte widened to 32
    /// bits (so 0xE9 gives 0xFFFFFFE9); 0 when out of range.
    uint32_t at(int32_t index) const;
    uint32_t operator[](int32_t index) const;
    uint32_t hash() const;

    // ---- comparison: byte-wise, a null string before every other ----------

    /// A const char* operand is UTF-8.
    bool operator==(const TStr& other) const;
    bool operator!=(const TStr& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const char* text) const;
    bool operator<(const TStr& other) const;
    bool operator<=(const TStr& other) const;
    bool operator>(const TStr& other) const;
    bool operator>=(const TStr& other) const;
    bool operator<(const char* text) const;
    bool operator<=(const char* text) const;
    bool operator>(const char* text) const;
    bool operator>=(const char* text) const;

    // ---- concatenation --------------------------------------------------------

    /// Appends other's text; returns the new length in bytes.
    int32_t cat(const TStr& other);
    TStr& operator+=(const TStr& other);
    /// UTF-8.
    TStr& operator+=(const char* text);
    /// The byte read as a one-byte UTF-8 text.
    TStr& operator+=(char c);
    /// One code point.
    TStr& operator+=(uint32_t codePoint);
    TStr operator+(const TStr& other) const;
    /// UTF-8.
    TStr operator+(const char* text) const;
    /// The byte read as ASCII, as TStr(char) reads it.
    TStr operator+(char c) const;
    TStr operator+(uint32_t codePoint) const;

    // ---- reading the text out into the caller's buffers ----------------------

    /// The text in `encoding` into `destination` of `size` bytes; false when
    /// it does not fit or cannot be converted (str_get).
    bool get(void* destination, int32_t size, int32_t encoding) const;
    bool ascii(char* destination, int32_t size) const;
    bool utf8(char* destination, int32_t size) const;
    bool utf16(uint16_t* destination, int32_t size) const;
    bool utf16be(uint16_t* destination, int32_t size) const;
    bool utf16le(uint16_t* destination, int32_t size) const;
    bool utf32(uint32_t* destination, int32_t size) const;
    /// str_cstr, str_cstrn and str_utf8_cstrn.
    int32_t cstr(char* destination, int32_t* size) const;
    char* cstrn(char* destination, int32_t size) const;
    char* utf8_cstrn(char* destination, int32_t size) const;
    /// New blocks that the caller releases with memory_free().
    char* cstr_alloc() const;
    char* utf8_alloc() const;
    uint16_t* utf16_alloc() const;
    uint16_t* utf16le_alloc() const;
    uint16_t* utf16be_alloc() const;

    // ---- cached conversions (the pointer belongs to the object) --------------

    /// The text converted to `encoding`, with that encoding's terminator; a
    /// null pointer for an object without a record (or when memory runs out).
    /// A text that cannot be converted, and an encoding outside STR_ENC_ASCII
    /// to STR_ENC_UTF32, give a pointer to an empty text: four zero bytes,
    /// which end a text of any unit size.
    void* asEncoding(int32_t encoding) const;
    /// ASCII: characters outside it come out as '?'.
    const char* latin1() const;
    operator const char*() const;
    char* toUtf8() const;
    /// The UTF-8 text as a new std::string; empty for a null string (and
    /// when memory runs out). Leaves the cache alone.
    std::string toStdString() const;
    /// Host order with a leading byte-order mark.
    uint16_t* toUtf16() const;
    uint16_t* toUtf16BE() const;
    uint16_t* toUtf16LE() const;
    /// Releases the cached conversion. Call it after writing through buffer().
    void clearCachedEncoding() const;

    // ---- setting and editing in place (each drops the cache) -----------------

    /// NUL-terminated UTF-8; a null pointer makes the string null.
    bool setUtf8(const char* text);
    /// `bytes` bytes of UTF-16 (host order, mark honoured) / BE / LE / UTF-32.
    bool setUtf16(const uint16_t* text, int32_t bytes);
    bool setUtf16BE(const uint16_t* text, int32_t bytes);
    bool setUtf16LE(const uint16_t* text, int32_t bytes);
    bool setUtf32(const uint32_t* text, int32_t bytes);
    /// `length` bytes of ASCII; -1 means up to the NUL.
    TStr& setAscii(const char* text, int32_t length = -1);
    /// Makes the string null.
    void clear();
    /// Direct access to the UTF-8 bytes, grown to hold at least `length`
    /// bytes and a terminator. Does not drop the cache: after writing, call
    /// clearCachedEncoding().
    char* buffer(int32_t length);
    /// Ends the text after `length` characters when it is longer.
    void truncate(int32_t length);
    /// The text becomes the pieces between runs of `separators` bytes, joined
    /// by `joiner`; returns this object.
    TStr& replaceAll(const TStr& separators, const TStr& joiner);
    /// Every occurrence of `search`, left to right, without overlaps.
    void replace(const TStr& search, const TStr& replacement);
    /// Adds `item` at the end / front, joined by exactly one `separator`.
    void push(const TStr& item, const TStr& separator);
    void unshift(const TStr& item, const TStr& separator);
    /// Remove and return the last / first item. pop and shift split at runs
    /// of any byte of `separators`; popString and shiftString at the text
    /// `separator`. Without a separator the whole text is returned and the
    /// string becomes null.
    TStr pop(const TStr& separators);
    TStr popString(const TStr& separator);
    TStr shift(const TStr& separators);
    TStr shiftString(const TStr& separator);

    // ---- searching: `from` is a character index, the result a byte offset ----

    /// -1 when not found. Case-insensitive search folds ASCII letters only.
    int32_t find(const char* text, int32_t from = 0, bool caseSensitive = true) const;
    int32_t find(const TStr& text, int32_t from = 0, bool caseSensitive = true) const;
    int32_t find(char c, int32_t from = 0, bool caseSensitive = true) const;
    int32_t indexOf(const char* text, int32_t from = 0, bool caseSensitive = true) const;
    int32_t indexOf(const TStr& text, int32_t from = 0, bool caseSensitive = true) const;
    int32_t indexOf(char c, int32_t from = 0, bool caseSensitive = true) const;
    /// The first complete span from `open` to `close` at or after the byte
    /// offset `from`; its length, delimiters included, goes to *length.
    int32_t findSpan(const TStr& open, const TStr& close, int32_t* length = nullptr, int32_t from = 0) const;

    // ---- derived copies (this object is not changed) ------------------------

    /// `length` bytes from character `start`; a negative length means to the
    /// end.
    TStr mid(int32_t start, int32_t length = -1) const;
    /// The first / last n characters.
    TStr left(int32_t n) const;
    TStr right(int32_t n) const;
    /// ASCII letters only.
    TStr upper() const;
    TStr lower() const;
    TStr stripWhiteSpace() const;
    TStr simplifyWhiteSpace() const;
    /// Escapes "!{hex}" turned back into characters / characters of "!{}" and
    /// `characters` turned into escapes.
    TStr expand() const;
    TStr collapse(const TStr& characters) const;

    /// This text as a pattern with its lowest-numbered placeholder (%1 to %9)
    /// replaced by the argument, padded to |width| bytes with `fill`: before
    /// the argument for a positive width, after it for a negative one.
    TStr arg(char c, int32_t width = 0, char fill = ' ') const;
    TStr arg(const TStr& text, int32_t width = 0, char fill = ' ') const;
    /// int and long are both 32-bit here, so one overload serves both.
    TStr arg(int32_t value, int32_t width = 0, int32_t base = 10, char fill = ' ') const;
    /// `format` is one of f F e E g G; a negative precision means the default.
    TStr arg(double value, int32_t width = 0, char format = 'g', int32_t precision = -1, char fill = ' ') const;
    TStr arg(float value, int32_t width = 0, char format = 'g', int32_t precision = -1, char fill = ' ') const;

    // ---- numbers: *ok (when given) tells whether the text was a number --------

    /// toInt and toLong are the same (both 32-bit).
    int32_t toInt(bool* ok = nullptr, int32_t base = 10) const;
    int32_t toLong(bool* ok = nullptr, int32_t base = 10) const;
    float toFloat(bool* ok = nullptr) const;
    double toDouble(bool* ok = nullptr) const;

private:
    class Edit;

    str_t* record_;       // null for an object without a record
    mutable void* cache_; // counted block: encoding identifier, then the converted text
};

/// The member operators with the operands swapped.
KELOUTIL_API bool operator==(const char* text, const TStr& s);
KELOUTIL_API bool operator!=(const char* text, const TStr& s);
/// TStr(text) + s. Without it, "x" + s would compile as pointer arithmetic
/// through the implicit conversions.
KELOUTIL_API TStr operator+(const char* text, const TStr& s);
KELOUTIL_API uint32_t hash(const TStr& s);
/// Writes the UTF-8 text (nothing for a null string) as a std::string of the
/// same bytes would be written: the stream's width and fill apply. A TPath
/// prints through this too. No exception leaves it: a stream set to throw on
/// failure is only left in its failure state.
KELOUTIL_API std::ostream& operator<<(std::ostream& out, const TStr& s);

namespace std {
/// For unordered containers: consistent with operator==, which compares the
/// bytes. Every byte of the text counts, unlike hash(), whose value the
/// hash maps of the flat interface keep. A null and an empty string hash
/// alike.
template <>
struct KELOUTIL_API hash<TStr> {
    size_t operator()(const TStr& s) const noexcept;
};
} // namespace std

#endif // KELOUTIL_TSTR_HPP
