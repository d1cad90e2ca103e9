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
#include <string_view>
#include <tuple>
#include <vector>

namespace observer {

// The last-error record: code, message, line, source (the texts are the
// library's constants, compared by content); all empty when a call left it.
using Error = std::tuple<int32_t, std::string_view, int32_t, std::string_view>;

// One call (the operation, its destination size and target encoding): what
// it returned, the bytes it left, the error it recorded.
struct Entry {
    std::string call;
    int32_t size = -1, to = -1;
    int64_t result = 0;
    std::string bytes;
    Error error;

    bool operator==(const Entry& o) const {
        return std::tie(call, size, to, result, bytes, error) ==
               std::tie(o.call, o.size, o.to, o.result, o.bytes, o.error);
    }
};

using Log = std::vector<Entry>;

inline Error current_error() {
    const char* message = str_last_error_message();
    const char* source = str_last_error_source();
    return {str_last_error_code(), message ? message : "<none>", str_last_error_line(), source ? source : "<none>"};
}

// The record is never cleared, so a call's own error is told apart by
// putting a known one in first, made on the per-character path: the
// big-endian decoder's "source ends inside a unit" or the little-endian
// one's. Gives the error put there, after which the call runs.
inline void cut_unit(bool big_endian) {
    const bool direct = keloutil::direct_conversions();
    keloutil::set_direct_conversions(false);
    unsigned char out[8];
    str_encode("A", 1, big_endian ? STR_ENC_UTF16BE : STR_ENC_UTF16LE, out, sizeof out, STR_ENC_UTF8);
    keloutil::set_direct_conversions(direct);
}

inline const Error& put_sentinel(bool big_endian) {
    static const Error made[2] = {(cut_unit(false), current_error()), (cut_unit(true), current_error())};
    cut_unit(big_endian);
    return made[big_endian];
}

// Runs `call` (which fills result and bytes of the entry it gets) on text
// from `from` and notes the error it recorded. A call leaves the sentinel
// that its source cannot give (from UTF-16BE the little-endian one, else the
// big-endian one); if it may give either (marked UTF-16) and leaves the
// first, it runs again over the other, and only if that stays too did it
// record nothing. The call must do the same each time it runs.
template <class Call>
Entry observe(int32_t from, const char* name, int32_t size, int32_t to, Call call) {
    const bool big_first = from != STR_ENC_UTF16BE;
    Entry entry{name, size, to, 0, {}, {}};
    const Error& first = put_sentinel(big_first);
    call(entry);
    entry.error = current_error();
    if (entry.error != first) return entry;
    if (from == STR_ENC_UTF16) {
        Entry again;
        const Error& second = put_sentinel(false);
        call(again);
        if (current_error() != second) return entry;
    }
    entry.error = Error{};
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
        std::memcpy(data_, bytes.data(), std::min(bytes.size(), size));
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

// A call that writes into a destination of `size` bytes of its own.
template <class Write>
Entry observe_write(int32_t from, const char* name, int32_t size, int32_t to, size_t shift, Write write) {
    return observe(from, name, size, to, [&](Entry& e) {
        const Block out(std::string(), static_cast<size_t>(size), shift);
        e.result = write(out.data());
        e.bytes = out.text();
    });
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
inline Log observe_pair(const Source& source, int32_t to, bool direct, size_t shift) {
    keloutil::set_direct_conversions(direct);
    const int32_t from = source.from, length = source.length;
    Log log{observe(from, "measure", -1, to, [&](Entry& e) {
        e.result = str_encoding_requires_bytes(source.data, length, from, to);
    })};
    const auto measure = static_cast<int32_t>(log.back().result);
    const int32_t sizes[] = {measure > 0 ? measure : 4 * length + 8, measure - 1, measure - terminator_size(to),
                             measure / 2, 0};
    for (const int32_t* size = sizes; size != std::end(sizes); ++size) {
        if (*size < 0 || std::find(sizes, size, *size) != size) continue;
        log.push_back(observe_write(from, "encode", *size, to, shift, [&](unsigned char* out) {
            return str_encode(source.data, length, from, out, *size, to);
        }));
    }
    keloutil::set_direct_conversions(true);
    return log;
}

// How a record is made from the source: by str_from, by str_set into a
// longer text's buffer (whose bytes stay behind the terminator), or as the
// source bytes for the record's UTF-8, filling its buffer without a
// terminator.
enum class Record { fresh, reused, unended };

using OwnedStr = std::unique_ptr<str_t, decltype(&str_uninit)>;

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

// The record made of the source, and for a UTF-8 source what str_get (into
// ample room, the measured size and one byte less) and str_alloc read out
// of it in every encoding. (Any other source gives a record of well-formed
// sequences, which UTF-8 sources give as well.)
inline Log observe_record(const Source& source, Record kind, bool direct, size_t shift) {
    const int32_t from = source.from;
    keloutil::set_direct_conversions(direct);
    Log log{observe(from, "set", -1, from, [&](Entry& e) {
        const OwnedStr made(make_record(source, kind), str_uninit);
        e.result = made ? made->capacity : -1;
        e.bytes = !made           ? "<no record>"
                  : !made->buffer ? "<null>"
                                  : std::string(made->buffer, static_cast<size_t>(made->capacity));
    })};
    const OwnedStr made(make_record(source, kind), str_uninit);
    for (int32_t to = STR_ENC_ASCII; to <= STR_ENC_UTF32 && from == STR_ENC_UTF8; ++to) {
        const int32_t room = 4 * (made ? made->capacity : 0) + 16;
        const auto get = [&](int32_t size) {
            return observe_write(from, "get", size, to, shift, [&](unsigned char* out) {
                return str_get(made.get(), out, size, to);
            });
        };
        log.push_back(get(room));
        const auto measure = static_cast<int32_t>(log.back().result);
        for (int32_t size : {measure, measure - 1})
            if (size >= 0) log.push_back(get(size));
        log.push_back(observe(from, "alloc", -1, to, [&](Entry& e) {
            void* block = str_alloc(made.get(), to);
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
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) out += (out.empty() ? "" : " ") + std::string{digits[b >> 4], digits[b & 15]};
    return out;
}

inline std::string describe(const Log& log, size_t i) {
    if (i >= log.size()) return "<nothing>";
    const Entry& e = log[i];
    const auto& [code, message, line, source] = e.error;
    char error[16] = "none";
    if (!message.empty()) std::snprintf(error, sizeof error, "%08X", static_cast<uint32_t>(code));
    const std::string where = " \"" + std::string(message) + "\" at line " + std::to_string(line) + " of ";
    return e.call + (e.size >= 0 ? " into " + std::to_string(e.size) + " bytes" : "") + " to encoding " +
           std::to_string(e.to) + ": result " + std::to_string(e.result) + ", bytes [" + hex(e.bytes) + "], error " +
           error + (message.empty() ? "" : where + std::string(source));
}

// The first call on which the logs of the source (`described`) differ,
// shown from both; empty when they agree.
inline std::string difference(const std::string& described, const Log& direct, const Log& reference) {
    const auto at = std::mismatch(direct.begin(), direct.end(), reference.begin(), reference.end());
    if (at.first == direct.end() && at.second == reference.end()) return std::string();
    const auto i = static_cast<size_t>(at.first - direct.begin());
    return described + "\n  direct:    " + describe(direct, i) + "\n  reference: " + describe(reference, i);
}

// Runs the source into every encoding and through each kind of record,
// with the direct loops on and off; describes the first difference (empty
// when there is none).
inline std::string direct_against_reference(const Source& source, size_t shift) {
    const std::string bytes(reinterpret_cast<const char*>(source.data), source.past_terminator ? 0 : source.length);
    const std::string described = (source.past_terminator ? "source given " + std::to_string(source.length) + " bytes"
                                                          : "source [" + hex(bytes) + "]") +
                                  " in encoding " + std::to_string(source.from);
    std::string found;
    for (int32_t to = STR_ENC_ASCII; to <= STR_ENC_UTF32 && found.empty(); ++to) {
        if (source.past_terminator && to == source.from) continue;
        found = difference(described + " to encoding " + std::to_string(to), observe_pair(source, to, true, shift),
                           observe_pair(source, to, false, shift));
    }
    const char* const ways[] = {"by str_from", "by str_set over a longer text", "as UTF-8 without a terminator"};
    for (Record kind : {Record::fresh, Record::reused, Record::unended}) {
        // Records of UTF-8 are copies of the given length, and only UTF-8
        // is put into a buffer as it is.
        if (!found.empty() || (source.from == STR_ENC_UTF8 ? source.past_terminator : kind == Record::unended))
            continue;
        found = difference(described + " as a record made " + ways[static_cast<int>(kind)],
                           observe_record(source, kind, true, shift), observe_record(source, kind, false, shift));
    }
    return found;
}

// Whether the bytes are UTF-16 that starts with a byte-order mark, whose
// 2 bytes do not count against the length given with it.
inline bool marked(const std::string& bytes, int32_t from) {
    return from == STR_ENC_UTF16 && (bytes.rfind("\xFE\xFF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0);
}

// The same for bytes given with their own length, from a block of exactly
// their size starting `shift` bytes into its allocation (and 2 more bytes
// after a mark, which are read).
inline std::string direct_against_reference(const std::string& bytes, int32_t from, size_t shift) {
    const Block block(bytes, bytes.size() + (marked(bytes, from) ? 2 : 0), shift);
    return direct_against_reference(Source{block.data(), static_cast<int32_t>(bytes.size()), from}, shift);
}

} // namespace observer

#endif // KELOUTIL_TESTS_CONVERSION_OBSERVER_HPP
