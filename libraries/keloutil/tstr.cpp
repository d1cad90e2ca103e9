// SPDX-License-Identifier: MIT
// TStr: ownership of a str_t record, the one-slot conversion cache, and the
// reading of char and integer operands. Everything else forwards to c_str.
#include <keloutil/tstr.hpp>

#include <cstring>
#include <ostream>

#include "c_str_internal.h"
#include "guarded.h"

namespace {

// The cache block starts with the encoding identifier; the text follows.
constexpr uint32_t identifier_size = 4;

// Width of an encoding's terminator. An unknown encoding gets the widest,
// so that the empty text cached for it ends a text of any unit size.
uint32_t terminator_width(int32_t encoding) {
    switch (encoding) {
    case STR_ENC_ASCII:
    case STR_ENC_UTF8: return 1;
    case STR_ENC_UTF16:
    case STR_ENC_UTF16BE:
    case STR_ENC_UTF16LE: return 2;
    default: return 4;
    }
}

const str_t* record_of(const TStr& s) { return static_cast<const str_t*>(s.handle()); }

// A record made from `count` code units of `unit_size` bytes. A count whose
// byte length does not fit 32 bits gives a null string: wrapped, it would
// read a shorter, wrong text.
str_t* from_units(const void* text, int32_t count, int32_t unit_size, int32_t encoding) {
    const int64_t bytes = int64_t{count} * unit_size;
    if (bytes < 0 || bytes > INT32_MAX) return str_init();
    return str_from(text, static_cast<int32_t>(bytes), encoding);
}

// An object that owns the record a str_* function has just made.
TStr adopt(str_t* record) {
    void* handle = record;
    return TStr(handle);
}

// The record that str_from_utf8(text) would make, lent without the copy:
// str_from_utf8 takes UTF-8 bytes as they are, into a buffer of strlen + 1
// bytes, and leaves a text too long for a 32-bit capacity null. Only for
// str_* functions that read their operand.
str_t borrowed_utf8(const char* text) {
    const size_t length = text != nullptr ? std::strlen(text) : 0;
    if (text == nullptr || length >= INT32_MAX) return {nullptr, 0};
    return {const_cast<char*>(text), static_cast<int32_t>(length) + 1};
}

// The record to pass for a TStr operand of an edit. When the operand is the
// edited object itself (s += s, s.push(s, sep)), the str_* function would
// read the very buffer that it grows or rewrites, so a copy is passed. A
// null operand has no buffer to read and passes as it is (a copy of it
// would be empty, not null).
class Operand {
public:
    Operand(const TStr& target, const TStr& operand) : record_(record_of(operand)) {
        if (!str_null(record_) && record_ == record_of(target)) record_ = copy_ = str_dup(record_);
    }
    ~Operand() { str_uninit(copy_); }
    Operand(const Operand&) = delete;
    Operand& operator=(const Operand&) = delete;

    const str_t* get() const { return record_; }

private:
    str_t* copy_ = nullptr;
    const str_t* record_;
};

} // namespace

// One edit of the text. The object gets a record if it has none, and loses
// its cached conversion before the record changes. The block itself is
// released only when the edit is over, so an argument that points into it
// (s.setUtf8(s.toUtf8())) stays readable while the edit reads it.
class TStr::Edit {
public:
    explicit Edit(TStr& s) : block_(s.cache_) {
        s.cache_ = nullptr;
        if (s.record_ == nullptr) s.record_ = str_init();
        record_ = s.record_;
    }
    ~Edit() { memory_free(block_); }
    Edit(const Edit&) = delete;
    Edit& operator=(const Edit&) = delete;

    str_t* record() const { return record_; }

private:
    void* block_;
    str_t* record_ = nullptr;
};

// ---- construction ------------------------------------------------------------

TStr::TStr() : record_(str_init()), cache_(nullptr) {}

TStr::TStr(char c) : record_(str_from(&c, 1, STR_ENC_ASCII)), cache_(nullptr) {}

TStr::TStr(uint32_t codePoint) : record_(str_from(&codePoint, 4, STR_ENC_UTF32)), cache_(nullptr) {}

TStr::TStr(char* text) : record_(str_from_utf8(text)), cache_(nullptr) {}

TStr::TStr(const char* text) : record_(str_from_utf8(text)), cache_(nullptr) {}

// str_from copies UTF-8 as it is, as str_from_utf8 does; only the length
// is given here rather than measured. A length that does not fit 32 bits
// gives a null string, as str_from_utf8 leaves a text too long for one.
TStr::TStr(std::string_view utf8)
    : record_(utf8.size() < INT32_MAX ? str_from(utf8.data(), static_cast<int32_t>(utf8.size()), STR_ENC_UTF8)
                                      : str_init()),
      cache_(nullptr) {}

TStr::TStr(const void* data, int32_t length, int32_t encoding)
    : record_(str_from(data, length, encoding)), cache_(nullptr) {}

TStr::TStr(const uint16_t* text) : record_(str_from(text, str_utf16_len(text), STR_ENC_UTF16)), cache_(nullptr) {}

TStr::TStr(const uint16_t* text, int32_t count) : record_(from_units(text, count, 2, STR_ENC_UTF16)), cache_(nullptr) {}

TStr::TStr(const uint32_t* text)
    : record_(from_units(text, str_utf32_len(text), 4, STR_ENC_UTF32)), cache_(nullptr) {}

TStr::TStr(const uint32_t* text, int32_t count) : record_(from_units(text, count, 4, STR_ENC_UTF32)), cache_(nullptr) {}

TStr::TStr(const TStr& other) : record_(str_dup(other.record_)), cache_(nullptr) {}

TStr::TStr(TStr&& other) noexcept : record_(other.record_), cache_(nullptr) {
    other.record_ = nullptr;
    other.clearCachedEncoding();
    // A copy of a null string is empty; a move gives the same text.
    if (record_ != nullptr && record_->buffer == nullptr) str_set(record_, "", 0, STR_ENC_UTF8);
}

TStr::TStr(void* const& handle) : record_(static_cast<str_t*>(handle)), cache_(nullptr) {}

TStr::~TStr() {
    clear();
    str_uninit(record_);
}

TStr TStr::fromUcs2(const uint16_t* text) {
    int32_t units = 0;
    if (text != nullptr) {
        while (text[units] != 0) ++units;
    }
    return adopt(from_units(text, units, 2, STR_ENC_UTF16LE));
}

TStr TStr::number(int32_t value, int32_t base) { return adopt(str_from_long(value, base)); }

// ---- assignment and basic queries -----------------------------------------------

TStr& TStr::operator=(const TStr& other) {
    // The copy is taken before the own record goes, so that s = s keeps s.
    str_t* copy = str_dup(other.record_);
    clearCachedEncoding();
    str_uninit(record_);
    record_ = copy;
    return *this;
}

TStr& TStr::operator=(TStr&& other) noexcept {
    if (&other != this) {
        clearCachedEncoding();
        str_uninit(record_);
        record_ = other.record_;
        other.record_ = nullptr;
        other.clearCachedEncoding();
        if (record_ != nullptr && record_->buffer == nullptr) str_set(record_, "", 0, STR_ENC_UTF8);
    }
    return *this;
}

void* TStr::handle() const { return record_; }

int32_t TStr::length() const { return str_len(record_); }

int32_t TStr::utf8CharCount() const { return str_utf8_char_count(record_); }

bool TStr::isNull() const { return str_null(record_) != 0; }

bool TStr::isEmpty() const { return str_empty(record_) != 0; }

TStr::operator bool() const { return str_empty(record_) == 0; }

uint32_t TStr::at(int32_t index) const { return static_cast<uint32_t>(str_at(record_, index)); }

uint32_t TStr::operator[](int32_t index) const { return at(index); }

uint32_t TStr::hash() const { return str_hash(record_); }

// ---- comparison --------------------------------------------------------------------
// str_utf8_cmp compares the same bytes that a TStr made of the text would
// hold (UTF-8 is copied as it is), without making one.

bool TStr::operator==(const TStr& other) const { return str_cmp(record_, other.record_) == 0; }
bool TStr::operator!=(const TStr& other) const { return str_cmp(record_, other.record_) != 0; }
bool TStr::operator==(const char* text) const { return str_utf8_cmp(record_, text) == 0; }
bool TStr::operator!=(const char* text) const { return str_utf8_cmp(record_, text) != 0; }
bool TStr::operator<(const TStr& other) const { return str_cmp(record_, other.record_) < 0; }
bool TStr::operator<=(const TStr& other) const { return str_cmp(record_, other.record_) <= 0; }
bool TStr::operator>(const TStr& other) const { return str_cmp(record_, other.record_) > 0; }
bool TStr::operator>=(const TStr& other) const { return str_cmp(record_, other.record_) >= 0; }
bool TStr::operator<(const char* text) const { return str_utf8_cmp(record_, text) < 0; }
bool TStr::operator<=(const char* text) const { return str_utf8_cmp(record_, text) <= 0; }
bool TStr::operator>(const char* text) const { return str_utf8_cmp(record_, text) > 0; }
bool TStr::operator>=(const char* text) const { return str_utf8_cmp(record_, text) >= 0; }

bool operator==(const char* text, const TStr& s) { return s == text; }
bool operator!=(const char* text, const TStr& s) { return s != text; }

uint32_t hash(const TStr& s) { return s.hash(); }

size_t std::hash<TStr>::operator()(const TStr& s) const noexcept {
    return std::hash<std::string_view>()(keloutil::text::text_of(record_of(s)));
}

// Written as a std::string_view: padded to the stream's width with its fill,
// and a failure sets the stream's state. No exception leaves the library,
// so a stream that is set to throw on failure is only left in that state.
std::ostream& operator<<(std::ostream& out, const TStr& s) {
    keloutil::guarded([&] { out << keloutil::text::text_of(record_of(s)); });
    return out;
}

// ---- concatenation -------------------------------------------------------------------

int32_t TStr::cat(const TStr& other) {
    Edit edit(*this);
    Operand source(*this, other);
    return str_cat(edit.record(), source.get());
}

TStr& TStr::operator+=(const TStr& other) {
    cat(other);
    return *this;
}

// Appends what TStr(text) would hold, read in place. The edit starts
// before the text is read, which keeps a text in the cached conversion
// (s += s.toUtf8()) alive until it has been appended.
TStr& TStr::operator+=(const char* text) {
    Edit edit(*this);
    const str_t source = borrowed_utf8(text);
    str_cat(edit.record(), &source);
    return *this;
}

// As += of the text {c, 0}, whose length is known without measuring.
TStr& TStr::operator+=(char c) {
    char text[2] = {c, '\0'};
    Edit edit(*this);
    const str_t source = {text, c != '\0' ? 2 : 1};
    str_cat(edit.record(), &source);
    return *this;
}

TStr& TStr::operator+=(uint32_t codePoint) { return *this += TStr(codePoint); }

TStr TStr::operator+(const TStr& other) const {
    TStr sum(*this);
    // The copy of a record is never null unless memory ran out; appending
    // to that would pass the right operand off as the sum.
    if (record_ == nullptr || !sum.isNull()) sum.cat(other);
    return sum;
}

TStr TStr::operator+(const char* text) const { return *this + TStr(text); }

TStr TStr::operator+(char c) const { return *this + TStr(c); }

TStr TStr::operator+(uint32_t codePoint) const { return *this + TStr(codePoint); }

TStr operator+(const char* text, const TStr& s) { return TStr(text) + s; }

// ---- reading the text out --------------------------------------------------------------

bool TStr::get(void* destination, int32_t size, int32_t encoding) const {
    return str_get(record_, destination, size, encoding) > 0;
}

bool TStr::ascii(char* destination, int32_t size) const { return get(destination, size, STR_ENC_ASCII); }
bool TStr::utf8(char* destination, int32_t size) const { return get(destination, size, STR_ENC_UTF8); }
bool TStr::utf16(uint16_t* destination, int32_t size) const { return get(destination, size, STR_ENC_UTF16); }
bool TStr::utf16be(uint16_t* destination, int32_t size) const { return get(destination, size, STR_ENC_UTF16BE); }
bool TStr::utf16le(uint16_t* destination, int32_t size) const { return get(destination, size, STR_ENC_UTF16LE); }
bool TStr::utf32(uint32_t* destination, int32_t size) const { return get(destination, size, STR_ENC_UTF32); }

int32_t TStr::cstr(char* destination, int32_t* size) const { return str_cstr(record_, destination, size); }
char* TStr::cstrn(char* destination, int32_t size) const { return str_cstrn(record_, destination, size); }
char* TStr::utf8_cstrn(char* destination, int32_t size) const { return str_utf8_cstrn(record_, destination, size); }

char* TStr::cstr_alloc() const { return str_cstr_alloc(record_); }
char* TStr::utf8_alloc() const { return str_utf8_alloc(record_); }
uint16_t* TStr::utf16_alloc() const { return str_utf16_alloc(record_); }
uint16_t* TStr::utf16le_alloc() const { return str_utf16le_alloc(record_); }
uint16_t* TStr::utf16be_alloc() const { return str_utf16be_alloc(record_); }

// ---- cached conversions -------------------------------------------------------------------

void* TStr::asEncoding(int32_t encoding) const {
    if (record_ == nullptr) return nullptr;
    if (cache_ != nullptr) {
        int32_t cached;
        std::memcpy(&cached, cache_, sizeof cached);
        if (cached == encoding) return static_cast<unsigned char*>(cache_) + identifier_size;
        clearCachedEncoding();
    }
    // Measured and converted as str_get reads the text out. The measure
    // covers the whole buffer and its terminator, so it may be larger than
    // the text needs; 0 means the text cannot be converted (or the encoding
    // is unknown), which leaves the zero-filled block as an empty text.
    const keloutil::ReadOut read_out(record_, encoding);
    const int32_t measure = read_out.measure();
    uint32_t room = static_cast<uint32_t>(measure) + 1;
    if (room < terminator_width(encoding)) room = terminator_width(encoding);
    auto* block = static_cast<unsigned char*>(memory_allocate(identifier_size + room));
    if (block == nullptr) return nullptr;
    unsigned char* text = block + identifier_size;
    if (measure > 0 && measure < INT32_MAX && record_->buffer != nullptr) read_out.into(text, measure + 1);
    std::memcpy(block, &encoding, sizeof encoding);
    cache_ = block;
    return text;
}

const char* TStr::latin1() const { return static_cast<const char*>(asEncoding(STR_ENC_ASCII)); }
TStr::operator const char*() const { return latin1(); }
char* TStr::toUtf8() const { return static_cast<char*>(asEncoding(STR_ENC_UTF8)); }
std::string TStr::toStdString() const {
    return keloutil::guarded(std::string(), [this] { return std::string(keloutil::text::text_of(record_)); });
}
uint16_t* TStr::toUtf16() const { return static_cast<uint16_t*>(asEncoding(STR_ENC_UTF16)); }
uint16_t* TStr::toUtf16BE() const { return static_cast<uint16_t*>(asEncoding(STR_ENC_UTF16BE)); }
uint16_t* TStr::toUtf16LE() const { return static_cast<uint16_t*>(asEncoding(STR_ENC_UTF16LE)); }

void TStr::clearCachedEncoding() const {
    memory_free(cache_);
    cache_ = nullptr;
}

// ---- setting and editing in place ------------------------------------------------------------

bool TStr::setUtf8(const char* text) {
    Edit edit(*this);
    return str_utf8_set(edit.record(), text) > 0;
}

bool TStr::setUtf16(const uint16_t* text, int32_t bytes) {
    Edit edit(*this);
    return str_set(edit.record(), text, bytes, STR_ENC_UTF16) != 0;
}

bool TStr::setUtf16BE(const uint16_t* text, int32_t bytes) {
    Edit edit(*this);
    return str_set(edit.record(), text, bytes, STR_ENC_UTF16BE) != 0;
}

bool TStr::setUtf16LE(const uint16_t* text, int32_t bytes) {
    Edit edit(*this);
    return str_set(edit.record(), text, bytes, STR_ENC_UTF16LE) != 0;
}

bool TStr::setUtf32(const uint32_t* text, int32_t bytes) {
    Edit edit(*this);
    return str_set(edit.record(), text, bytes, STR_ENC_UTF32) != 0;
}

TStr& TStr::setAscii(const char* text, int32_t length) {
    Edit edit(*this);
    if (length == -1) length = text != nullptr ? static_cast<int32_t>(std::strlen(text)) : 0;
    str_ascii_set(edit.record(), text, length);
    return *this;
}

void TStr::clear() {
    str_clear(record_);
    clearCachedEncoding();
}

char* TStr::buffer(int32_t length) {
    if (record_ == nullptr) record_ = str_init();
    return str_buffer(record_, length);
}

void TStr::truncate(int32_t length) {
    Edit edit(*this);
    str_truncate(edit.record(), length);
}

TStr& TStr::replaceAll(const TStr& separators, const TStr& joiner) {
    Edit edit(*this);
    // str_replace_all leaves its input alone, so the operands need no copies.
    // When it runs out of memory (NULL) the text stays as it was.
    str_t* joined = str_replace_all(edit.record(), separators.record_, joiner.record_);
    if (joined != nullptr) str_cpy(joined, edit.record());
    str_uninit(joined);
    return *this;
}

void TStr::replace(const TStr& search, const TStr& replacement) {
    Edit edit(*this);
    Operand searched(*this, search), replacing(*this, replacement);
    str_replace(edit.record(), searched.get(), replacing.get());
}

void TStr::push(const TStr& item, const TStr& separator) {
    Edit edit(*this);
    Operand pushed(*this, item), joint(*this, separator);
    str_push(edit.record(), pushed.get(), joint.get());
}

void TStr::unshift(const TStr& item, const TStr& separator) {
    Edit edit(*this);
    Operand pushed(*this, item), joint(*this, separator);
    str_unshift(edit.record(), pushed.get(), joint.get());
}

TStr TStr::pop(const TStr& separators) {
    Edit edit(*this);
    Operand set(*this, separators);
    return adopt(str_pop(edit.record(), set.get(), nullptr));
}

TStr TStr::popString(const TStr& separator) {
    Edit edit(*this);
    Operand joint(*this, separator);
    return adopt(str_pop_str(edit.record(), joint.get()));
}

TStr TStr::shift(const TStr& separators) {
    Edit edit(*this);
    Operand set(*this, separators);
    return adopt(str_shift(edit.record(), set.get(), nullptr));
}

TStr TStr::shiftString(const TStr& separator) {
    Edit edit(*this);
    Operand joint(*this, separator);
    return adopt(str_shift_str(edit.record(), joint.get()));
}

// ---- searching ---------------------------------------------------------------------------------

int32_t TStr::find(const char* text, int32_t from, bool caseSensitive) const {
    return str_utf8_find(record_, text, from, caseSensitive);
}

int32_t TStr::find(const TStr& text, int32_t from, bool caseSensitive) const {
    return str_find(record_, text.record_, from, caseSensitive);
}

int32_t TStr::find(char c, int32_t from, bool caseSensitive) const {
    const char text[2] = {c, '\0'};
    return find(text, from, caseSensitive);
}

int32_t TStr::indexOf(const char* text, int32_t from, bool caseSensitive) const {
    return find(text, from, caseSensitive);
}

int32_t TStr::indexOf(const TStr& text, int32_t from, bool caseSensitive) const {
    return find(text, from, caseSensitive);
}

int32_t TStr::indexOf(char c, int32_t from, bool caseSensitive) const { return find(c, from, caseSensitive); }

int32_t TStr::findSpan(const TStr& open, const TStr& close, int32_t* length, int32_t from) const {
    return str_find_span(record_, open.record_, close.record_, length, from);
}

// ---- derived copies -------------------------------------------------------------------------------
// A copy of an object without a record has none, and the in-place functions
// leave a missing record alone, so these need no extra handling.

TStr TStr::mid(int32_t start, int32_t length) const { return adopt(str_mid(record_, start, length)); }
TStr TStr::left(int32_t n) const { return adopt(str_left(record_, n)); }
TStr TStr::right(int32_t n) const { return adopt(str_right(record_, n)); }

TStr TStr::upper() const {
    str_t* copy = str_dup(record_);
    str_upper(copy);
    return adopt(copy);
}

TStr TStr::lower() const {
    str_t* copy = str_dup(record_);
    str_lower(copy);
    return adopt(copy);
}

TStr TStr::stripWhiteSpace() const {
    str_t* copy = str_dup(record_);
    str_strip_whitespace(copy);
    return adopt(copy);
}

TStr TStr::simplifyWhiteSpace() const {
    str_t* copy = str_dup(record_);
    str_simplify_whitespace(copy);
    return adopt(copy);
}

TStr TStr::expand() const {
    str_t* copy = str_dup(record_);
    str_expand(copy);
    return adopt(copy);
}

TStr TStr::collapse(const TStr& characters) const {
    str_t* copy = str_dup(record_);
    str_collapse(copy, characters.record_);
    return adopt(copy);
}

TStr TStr::arg(char c, int32_t width, char fill) const { return adopt(str_arg_char(record_, c, width, fill)); }

TStr TStr::arg(const TStr& text, int32_t width, char fill) const {
    return adopt(str_arg_str(record_, text.record_, width, fill));
}

TStr TStr::arg(int32_t value, int32_t width, int32_t base, char fill) const {
    return adopt(str_arg_long(record_, value, width, base, fill));
}

TStr TStr::arg(double value, int32_t width, char format, int32_t precision, char fill) const {
    return adopt(str_arg_double(record_, value, width, format, precision, fill));
}

TStr TStr::arg(float value, int32_t width, char format, int32_t precision, char fill) const {
    return adopt(str_arg_float(record_, value, width, format, precision, fill));
}

// ---- numbers ----------------------------------------------------------------------------------------

namespace {

void report(bool* ok, int32_t status) {
    if (ok != nullptr) *ok = status == 1;
}

} // namespace

int32_t TStr::toInt(bool* ok, int32_t base) const {
    int32_t status = 0;
    const int32_t value = str_to_int(record_, &status, base);
    report(ok, status);
    return value;
}

int32_t TStr::toLong(bool* ok, int32_t base) const {
    int32_t status = 0;
    const int32_t value = str_to_long(record_, &status, base);
    report(ok, status);
    return value;
}

float TStr::toFloat(bool* ok) const {
    int32_t status = 0;
    const float value = str_to_float(record_, &status);
    report(ok, status);
    return value;
}

double TStr::toDouble(bool* ok) const {
    int32_t status = 0;
    const double value = str_to_double(record_, &status);
    report(ok, status);
    return value;
}
