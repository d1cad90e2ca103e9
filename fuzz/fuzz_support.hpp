// SPDX-License-Identifier: MIT
// What every fuzz target shares: reading choices from the fuzzer's bytes,
// a check that aborts with its place, the leak check of the counted
// allocator, and an owner for str_t records.
#ifndef KELOUTIL_FUZZ_SUPPORT_HPP
#define KELOUTIL_FUZZ_SUPPORT_HPP

#include <keloutil/keloutil.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// Aborts with the failed condition and its place, so that libFuzzer saves
// the input as a crash.
#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);      \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

namespace fuzz {

// Reads choices from the fuzzer's bytes. Past the end every read gives 0,
// so any input is a complete program.
class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool done() const { return position_ >= size_; }

    uint8_t byte() { return done() ? 0 : data_[position_++]; }

    // A value in lo..hi (inclusive).
    int32_t range(int32_t lo, int32_t hi) {
        const uint32_t span = static_cast<uint32_t>(hi - lo) + 1;
        uint32_t raw = byte();
        if (span > 256) raw = raw << 8 | byte();
        return lo + static_cast<int32_t>(raw % span);
    }

    template <typename T>
    T raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (auto& b : bytes) b = byte();
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }

    // A text of up to `max` bytes: a length byte, then that many bytes.
    // Texts are drawn from a small alphabet when the length byte is odd, so
    // that separators, escapes and placeholders meet each other often.
    std::string text(size_t max = 64) {
        const uint8_t head = byte();
        size_t length = head >> 1;
        if (length > max) length = max;
        std::string out;
        for (size_t i = 0; i < length && !done(); ++i) {
            const uint8_t b = byte();
            out += (head & 1) != 0 ? alphabet[b % (sizeof alphabet - 1)] : static_cast<char>(b);
        }
        return out;
    }

    // The next n bytes (fewer at the end) as an input of their own.
    Input take(size_t n) {
        if (n > size_ - position_) n = size_ - position_;
        position_ += n;
        return Input(data_ + position_ - n, n);
    }

    // Everything that has not been read.
    std::string rest() {
        std::string out(reinterpret_cast<const char*>(data_ + position_), size_ - position_);
        position_ = size_;
        return out;
    }

private:
    static constexpr char alphabet[] = "ab;\\/.!{}%19 \t\xC3\xA9\xE2\x82\xAC\xF0";

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// Every block of the counted allocator that a run makes must be released
// by its end.
class LeakCheck {
public:
    LeakCheck() : before_(memory_allocated()) {}
    ~LeakCheck() { FUZZ_CHECK(memory_allocated() == before_); }
    LeakCheck(const LeakCheck&) = delete;
    LeakCheck& operator=(const LeakCheck&) = delete;

private:
    uint32_t before_;
};

// Owns a str_t record.
class Str {
public:
    explicit Str(str_t* s = nullptr) : s_(s) {}
    ~Str() { str_uninit(s_); }
    Str(const Str&) = delete;
    Str& operator=(const Str&) = delete;

    str_t* get() const { return s_; }
    void reset(str_t* s) {
        str_uninit(s_);
        s_ = s;
    }

private:
    str_t* s_;
};

// The text with bytes outside printable ASCII as \xNN, for messages.
inline std::string escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : std::string(hex);
    }
    return out;
}

// Reports two states that should agree (null, or a text).
inline void report(const char* what, bool got_null, const std::string& got, bool expected_null,
                   const std::string& expected) {
    std::fprintf(stderr, "%s\n  library: %s \"%s\"\n  model:   %s \"%s\"\n", what, got_null ? "null" : "text",
                 escaped(got).c_str(), expected_null ? "null" : "text", escaped(expected).c_str());
}

// A new record holding exactly these bytes of UTF-8.
inline str_t* make(const std::string& text) {
    return str_from(text.data(), static_cast<int32_t>(text.size()), STR_ENC_UTF8);
}

// The promises of the record itself: a buffer exactly when the capacity is
// not 0. A caller may fill the buffer without a terminator (through
// str_buffer); records that the library makes have one within the capacity.
inline void check_record(const str_t* s) {
    if (s == nullptr) return;
    FUZZ_CHECK((s->buffer == nullptr) == (s->capacity == 0));
    FUZZ_CHECK(s->capacity >= 0);
}

inline void check_new_record(const str_t* s) {
    check_record(s);
    if (s != nullptr && s->buffer != nullptr)
        FUZZ_CHECK(std::memchr(s->buffer, 0, static_cast<size_t>(s->capacity)) != nullptr);
}

// Fills the whole buffer, terminator place included, with the pattern
// (repeated); returns the bytes written.
inline std::string fill_unterminated(str_t* s, const std::string& pattern) {
    std::string bytes;
    for (int32_t i = 0; i < s->capacity; ++i)
        bytes += pattern.empty() ? 'x' : pattern[static_cast<size_t>(i) % pattern.size()];
    std::memcpy(s->buffer, bytes.data(), bytes.size());
    return bytes;
}

} // namespace fuzz

#endif // KELOUTIL_FUZZ_SUPPORT_HPP
