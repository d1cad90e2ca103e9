// SPDX-License-Identifier: MIT
// Everything a caller can see of a conversion, gathered so that two runs can
// be compared: the direct conversion loops against the per-character path
// (keloutil::set_direct_conversions). For one source it records the measure,
// str_encode into destinations of several sizes (result, every destination
// byte), the record that str_set makes, what str_get and str_alloc read out
// of it, and after each call the last-error record. Shared by the
// differential test and the conversion fuzz target, which both link the
// static library variant that exposes the switch.
#ifndef KELOUTIL_TESTS_CONVERSION_OBSERVER_HPP
#define KELOUTIL_TESTS_CONVERSION_OBSERVER_HPP

#include <keloutil/keloutil.h>

#include "c_str_internal.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace observer {

// The last-error record, or none when the call left it alone. Its texts
// are the library's constants, compared by content.
struct ErrorRecord {
    bool recorded = false;
    int32_t code = 0;
    const char* message = "";
    int32_t line = 0;
    const char* source = "";

    bool operator==(const ErrorRecord& o) const {
        return recorded == o.recorded && code == o.code && std::strcmp(message, o.message) == 0 && line == o.line &&
               std::strcmp(source, o.source) == 0;
    }
};

// One call (the operation, its destination size and target encoding): what
// it returned, the bytes it left, the error it recorded.
struct Entry {
    const char* call = "";
    int32_t size = -1;
    int32_t to = -1;
    int64_t result = 0;
    std::string bytes;
    ErrorRecord error;

    bool operator==(const Entry& o) const {
        return std::strcmp(call, o.call) == 0 && size == o.size && to == o.to && result == o.result &&
               bytes == o.bytes && error == o.error;
    }
};

using Log = std::vector<Entry>;

inline ErrorRecord current_error() {
    const char* message = str_last_error_message();
    const char* source = str_last_error_source();
    return {true, str_last_error_code(), message ? message : "<none>", str_last_error_line(),
            source ? source : "<none>"};
}

// The record is never cleared, so a call's own error is told apart by
// putting a known one in first, made on the per-character path: the
// big-endian decoder's "source ends inside a unit" or the little-endian
// one's. A call leaves whichever its source cannot give (from UTF-16BE the
// little-endian one, else the big-endian one); if the call may give either
// (marked UTF-16) and leaves the first in place, it is run again over the
// other, and only if that stays too did it record nothing.
enum Sentinel { big_endian_cut, little_endian_cut };

inline void put_sentinel(Sentinel which) {
    const bool direct = keloutil::direct_conversions();
    keloutil::set_direct_conversions(false);
    unsigned char out[8];
    str_encode("A", 1, which == big_endian_cut ? STR_ENC_UTF16BE : STR_ENC_UTF16LE, out, sizeof out, STR_ENC_UTF8);
    keloutil::set_direct_conversions(direct);
}

inline const ErrorRecord& sentinel(Sentinel which) {
    static const ErrorRecord made[2] = {(put_sentinel(big_endian_cut), current_error()),
                                        (put_sentinel(little_endian_cut), current_error())};
    return made[which];
}

// Runs `call` (which fills result and bytes of the entry it gets) on text
// from `from` and notes the error it recorded. The call must do the same
// each time it runs.
template <class Call>
Entry observe(int32_t from, const char* name, int32_t size, int32_t to, Call call) {
    const Sentinel first = from == STR_ENC_UTF16BE ? little_endian_cut : big_endian_cut;
    const ErrorRecord& left_alone = sentinel(first);
    Entry entry;
    entry.call = name;
    entry.size = size;
    entry.to = to;
    put_sentinel(first);
    call(entry);
    entry.error = current_error();
    if (entry.error == left_alone) {
        if (from == STR_ENC_UTF16) {
            Entry again;
            put_sentinel(little_endian_cut);
            call(again);
            if (current_error() == sentinel(little_endian_cut)) entry.error = ErrorRecord{};
        } else {
            entry.error = ErrorRecord{};
        }
    }
    return entry;
}

// A block of exactly `size` bytes starting `shift` bytes into its
// allocation, so that the sanitizer sees any access past its end and the
// conversions meet every alignment.
class Block {
public:
    Block(const std::string& bytes, size_t size, size_t shift)
        : storage_(new unsigned char[shift + size]), data_(storage_.get() + shift), size_(size) {
        std::memset(storage_.get(), 0xA5, shift + size);
        std::memcpy(data_, bytes.data(), bytes.size() < size ? bytes.size() : size);
    }
    unsigned char* data() const { return data_; }
    std::string text() const { return std::string(reinterpret_cast<const char*>(data_), size_); }

private:
    std::unique_ptr<unsigned char[]> storage_;
    unsigned char* data_;
    size_t size_;
};

inline int32_t terminator_size(int32_t encoding) {
    return encoding == STR_ENC_UTF32 ? 4 : encoding >= STR_ENC_UTF16 ? 2 : 1;
}

// The bytes of a source. A marked UTF-16 source is read 2 bytes past its
// length (its mark does not count against it), so those two are there.
inline Block source_block(const std::string& bytes, int32_t from, size_t shift) {
    const bool marked = from == STR_ENC_UTF16 && bytes.size() >= 2 &&
                        ((bytes[0] == '\xFE' && bytes[1] == '\xFF') || (bytes[0] == '\xFF' && bytes[1] == '\xFE'));
    return Block(bytes, bytes.size() + (marked ? 2 : 0), shift);
}

// A source where it lies, and the length given with it, which may run past
// its terminator to where nothing may be read (`past_terminator`). Such a
// source is converted only into other encodings: a conversion into the same
// one is a copy of the given length, and a record made from UTF-8 too.
struct Source {
    const unsigned char* data;
    int32_t length;
    int32_t from;
    bool past_terminator = false;
};

// Measure, then str_encode into destinations of the measured size and of
// less: one byte less, less the terminator, half, none. A source that
// cannot be measured may still convert in part, into ample room.
inline Log observe_pair(const Source& source, int32_t to, bool direct, size_t shift = 0) {
    keloutil::set_direct_conversions(direct);
    const int32_t from = source.from, length = source.length;
    Log log;
    log.reserve(6);
    log.push_back(observe(from, "measure", -1, to, [&](Entry& e) {
        e.result = str_encoding_requires_bytes(source.data, length, from, to);
    }));
    const auto measure = static_cast<int32_t>(log.back().result);
    const int32_t sizes[] = {measure > 0 ? measure : 4 * length + 8, measure - 1, measure - terminator_size(to),
                             measure / 2, 0};
    for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
        const int32_t size = sizes[i];
        if (size < 0 || std::find(sizes, sizes + i, size) != sizes + i) continue;
        log.push_back(observe(from, "encode", size, to, [&](Entry& e) {
            const Block out(std::string(), static_cast<size_t>(size), shift);
            e.result = str_encode(source.data, length, from, out.data(), size, to);
            e.bytes = out.text();
        }));
    }
    keloutil::set_direct_conversions(true);
    return log;
}

// How a record is made from the source.
enum class Record {
    fresh,     // str_from
    reused,    // str_set into a longer text's buffer, whose bytes stay behind the terminator
    unended,   // the source bytes as the record's UTF-8, filling its buffer without a terminator
};

inline std::string name(Record kind) {
    return kind == Record::fresh ? "by str_from" : kind == Record::reused ? "by str_set over a longer text"
                                                                          : "as UTF-8 without a terminator";
}

struct OwnedStr {
    str_t* s;
    ~OwnedStr() { str_uninit(s); }
};

inline str_t* make_record(const Source& source, Record kind) {
    const int32_t from = source.from, length = source.length;
    if (kind == Record::fresh) return str_from(source.data, length, from);
    if (kind == Record::reused) {
        static const char longer[] = "ab\xE2\x82\xAC\xF0\x9F\x98\x80xyz\xC3\xA9\xF0\x9F\x98\x80\xE2\x82\xAC"
                                     "abcdefgh\xF0\x9F\x98\x80\xE2\x82\xAC\xC3\xA9\xF0\x9F\x98\x80"
                                     "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xF0\x9F\x98\x80\xF0";
        str_t* s = str_from(longer, sizeof longer - 1, STR_ENC_UTF8);
        str_set(s, source.data, length, from);
        return s;
    }
    str_t* s = str_init();
    char* buffer = str_buffer(s, length);
    if (buffer != nullptr) {
        std::memcpy(buffer, source.data, static_cast<size_t>(length));
        buffer[length] = 'x';
    }
    return s;
}

inline std::string record_state(const str_t* s) {
    if (s == nullptr) return "<no record>";
    if (s->buffer == nullptr) return "<null>";
    return std::string(s->buffer, static_cast<size_t>(s->capacity));
}

// The record made of the source, and for a UTF-8 source what str_get (into
// ample room, the measured size and one byte less) and str_alloc read out
// of it in every encoding. (Any other source gives a record of well-formed
// sequences, which UTF-8 sources give as well.)
inline Log observe_record(const Source& source, Record kind, bool direct, size_t shift = 0) {
    const int32_t from = source.from;
    const bool read_out = from == STR_ENC_UTF8;
    keloutil::set_direct_conversions(direct);
    Log log;
    log.reserve(read_out ? 25 : 1);
    log.push_back(observe(from, "set", -1, from, [&](Entry& e) {
        const OwnedStr made{make_record(source, kind)};
        e.result = made.s ? made.s->capacity : -1;
        e.bytes = record_state(made.s);
    }));
    const OwnedStr made{make_record(source, kind)};
    for (int32_t to = STR_ENC_ASCII; to <= STR_ENC_UTF32 && read_out; ++to) {
        const int32_t room = 4 * (made.s ? made.s->capacity : 0) + 16;
        log.push_back(observe(STR_ENC_UTF8, "get", room, to, [&](Entry& e) {
            const Block out(std::string(), static_cast<size_t>(room), shift);
            e.result = str_get(made.s, out.data(), room, to);
            e.bytes = out.text();
        }));
        const auto measure = static_cast<int32_t>(log.back().result);
        for (int32_t size : {measure, measure - 1}) {
            if (size < 0) continue;
            log.push_back(observe(STR_ENC_UTF8, "get", size, to, [&](Entry& e) {
                const Block out(std::string(), static_cast<size_t>(size), shift);
                e.result = str_get(made.s, out.data(), size, to);
                e.bytes = out.text();
            }));
        }
        log.push_back(observe(STR_ENC_UTF8, "alloc", -1, to, [&](Entry& e) {
            void* block = str_alloc(made.s, to);
            e.result = block != nullptr;
            if (block != nullptr && measure > 0)
                e.bytes.assign(static_cast<const char*>(block), static_cast<size_t>(measure));
            memory_free(block);
        }));
    }
    keloutil::set_direct_conversions(true);
    return log;
}

inline std::string hex(const std::string& bytes) {
    std::string out;
    char digits[4];
    for (unsigned char b : bytes) {
        std::snprintf(digits, sizeof digits, "%s%02X", out.empty() ? "" : " ", b);
        out += digits;
    }
    return out;
}

inline std::string describe(const Entry& e) {
    std::string out = std::string(e.call) + (e.size >= 0 ? " into " + std::to_string(e.size) + " bytes" : "") +
                      " to encoding " + std::to_string(e.to) + ": result " + std::to_string(e.result) + ", bytes [" +
                      hex(e.bytes) + "], error ";
    if (!e.error.recorded) return out + "none";
    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<uint32_t>(e.error.code));
    return out + code + " \"" + e.error.message + "\" at line " + std::to_string(e.error.line) + " of " +
           e.error.source;
}

// The first call on which the two logs differ, shown from both; empty when
// they agree.
inline std::string difference(const Log& direct, const Log& reference) {
    for (size_t i = 0; i < direct.size() || i < reference.size(); ++i) {
        if (i < direct.size() && i < reference.size() && direct[i] == reference[i]) continue;
        std::string where;
        if (i < direct.size() && i < reference.size() && direct[i].bytes != reference[i].bytes) {
            const std::string& a = direct[i].bytes;
            const std::string& b = reference[i].bytes;
            size_t at = 0;
            while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
            where = "\n  bytes differ from offset " + std::to_string(at);
        }
        return "\n  direct:    " + (i < direct.size() ? describe(direct[i]) : "<nothing>") +
               "\n  reference: " + (i < reference.size() ? describe(reference[i]) : "<nothing>") + where;
    }
    return std::string();
}

// Runs the source into every encoding and through each kind of record,
// with the direct loops on and off; describes the first difference (empty
// when there is none).
inline std::string direct_against_reference(const Source& source, size_t shift) {
    const std::string bytes(reinterpret_cast<const char*>(source.data), source.past_terminator ? 0 : source.length);
    const std::string described = (source.past_terminator ? "source given " + std::to_string(source.length) + " bytes"
                                                          : "source [" + hex(bytes) + "]") +
                                  " in encoding " + std::to_string(source.from);
    for (int32_t to = STR_ENC_ASCII; to <= STR_ENC_UTF32; ++to) {
        if (source.past_terminator && to == source.from) continue;
        const std::string found =
            difference(observe_pair(source, to, true, shift), observe_pair(source, to, false, shift));
        if (!found.empty()) return described + " to encoding " + std::to_string(to) + found;
    }
    for (Record kind : {Record::fresh, Record::reused, Record::unended}) {
        // Records of UTF-8 are copies of the given length, and only UTF-8
        // is put into a buffer as it is.
        if (source.from == STR_ENC_UTF8 ? source.past_terminator : kind == Record::unended) continue;
        const std::string found =
            difference(observe_record(source, kind, true, shift), observe_record(source, kind, false, shift));
        if (!found.empty()) return described + " as a record made " + name(kind) + found;
    }
    return std::string();
}

// The same for bytes given with their own length, from a block of exactly
// their size starting `shift` bytes into its allocation.
inline std::string direct_against_reference(const std::string& bytes, int32_t from, size_t shift) {
    const Block block = source_block(bytes, from, shift);
    return direct_against_reference(Source{block.data(), static_cast<int32_t>(bytes.size()), from}, shift);
}

} // namespace observer

#endif // KELOUTIL_TESTS_CONVERSION_OBSERVER_HPP
