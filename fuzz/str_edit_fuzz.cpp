// SPDX-License-Identifier: MIT
// Runs programs of editing and list operations on four str_t records and,
// beside them, on the reference model; after every step the results, the
// texts and the null states must agree. Operands may be NULL records and
// may be the edited record itself.
#include "fuzz_support.hpp"
#include "str_model.hpp"

#include <algorithm>

namespace {

constexpr int slot_count = 4;
constexpr size_t max_text = 2048; // longer texts are cleared, so that programs stay fast

struct Slots {
    fuzz::Str lib[slot_count];
    model::Str m[slot_count];
};

// An operand: one of the slots, or a NULL record.
struct Operand {
    str_t* lib;
    const model::Str* m;
};

Operand operand(Slots& s, fuzz::Input& in) {
    const int i = in.byte() % (slot_count + 1);
    if (i == slot_count) return {nullptr, nullptr};
    return {s.lib[i].get(), &s.m[i]};
}

// The model state of a record, for steps whose outcome is left open.
model::Str read(const str_t* s) {
    if (str_null(s)) return model::null();
    return model::of(std::string(s->buffer, static_cast<size_t>(str_len(s))));
}

void same_text(const str_t* s, const model::Str& m) {
    fuzz::check_record(s);
    const model::Str got = read(s);
    if (got != m) fuzz::report("record", got.null, got.text, m.null, m.text);
    FUZZ_CHECK(got == m);
    FUZZ_CHECK(str_empty(s) == (m.null || m.text.empty()));
    FUZZ_CHECK(str_utf8_char_count(s) == model::count(m.text));
}

// Compares a new record with the model's result, then releases it.
void same(str_t* s, const model::Result& m) {
    FUZZ_CHECK((s == nullptr) == !m.has_value());
    fuzz::check_new_record(s);
    if (m) same_text(s, *m);
    str_uninit(s);
}

int sign(int32_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

void step(Slots& s, fuzz::Input& in) {
    const int t = in.byte() % slot_count; // the edited slot
    str_t* const target = s.lib[t].get();
    model::Str& m = s.m[t];
    switch (in.byte() % 25) {
    case 0: { // set from bytes, copied as they are
        const std::string bytes = in.text();
        str_set(target, bytes.data(), static_cast<int32_t>(bytes.size()), STR_ENC_UTF8);
        m = model::of(model::up_to_nul(bytes));
        break;
    }
    case 1:
        str_clear(target);
        m = model::null();
        break;
    case 2: {
        const Operand source = operand(s, in);
        const int32_t r = str_cat(target, source.lib);
        FUZZ_CHECK(r == model::cat(m, source.m));
        break;
    }
    case 3: {
        const std::string text = model::up_to_nul(in.text());
        const int32_t n = in.range(-1, 40);
        const int32_t r = str_cat_utf8_limit(target, text.c_str(), n);
        if (n >= 0) {
            FUZZ_CHECK(r == model::cat_limit(m, text, n));
        } else {
            m = read(target); // a negative count is not defined
        }
        break;
    }
    case 4: {
        const Operand a = operand(s, in), b = operand(s, in);
        FUZZ_CHECK(sign(str_cmp(a.lib, b.lib)) == model::cmp(a.m, b.m));
        const std::string text = model::text_of(b.m); // terminated, as a plain text must be
        FUZZ_CHECK(sign(str_utf8_cmp(a.lib, model::is_null(b.m) ? nullptr : text.c_str())) == model::cmp(a.m, b.m));
        break;
    }
    case 5: {
        const Operand a = operand(s, in);
        const int32_t n = in.range(-2, 40), length = in.range(-2, 40);
        switch (in.byte() % 3) {
        case 0: same(str_left(a.lib, n), model::left(a.m, n)); break;
        case 1: same(str_right(a.lib, n), model::right(a.m, n)); break;
        default:
            if (n >= 0) same(str_mid(a.lib, n, length), model::mid(a.m, n, length));
            else str_uninit(str_mid(a.lib, n, length)); // a negative start is not defined
        }
        break;
    }
    case 6: {
        const int32_t n = in.range(-1, 40);
        const char* end = str_truncate(target, n);
        if (n >= 0) {
            FUZZ_CHECK((end != nullptr) == model::truncate(m, n));
            // The end of a text that fills its buffer is the end of the buffer.
            if (end != nullptr) {
                FUZZ_CHECK(end == target->buffer + m.text.size());
                FUZZ_CHECK(end == target->buffer + target->capacity || *end == '\0');
            }
        } else {
            m = read(target);
        }
        break;
    }
    case 7: {
        const Operand unit = operand(s, in);
        const int32_t n = in.range(-1, 64);
        if (n >= 0) same(str_pad(unit.lib, n), model::pad(unit.m, n));
        else str_uninit(str_pad(unit.lib, n));
        break;
    }
    case 8: {
        const Operand a = operand(s, in);
        const int32_t i = in.range(-2, 40);
        FUZZ_CHECK(str_at(a.lib, i) == model::at(a.m, i));
        break;
    }
    case 9: {
        const Operand item = operand(s, in), separator = operand(s, in);
        str_push(target, item.lib, separator.lib);
        model::push(m, item.m, separator.m);
        break;
    }
    case 10: {
        const Operand item = operand(s, in), separator = operand(s, in);
        str_unshift(target, item.lib, separator.lib);
        model::unshift(m, item.m, separator.m);
        break;
    }
    case 11:
    case 13: {
        const bool popping = in.byte() & 1;
        const Operand set = operand(s, in);
        const bool was_null = m.null;
        int32_t out = 12345, model_out = 12345;
        str_t* item = popping ? str_pop(target, set.lib, &out) : str_shift(target, set.lib, &out);
        same(item, popping ? model::pop(m, set.m, &model_out) : model::shift(m, set.m, &model_out));
        if (!was_null) FUZZ_CHECK(out == model_out);
        break;
    }
    case 12:
    case 14: {
        const bool popping = in.byte() & 1;
        const Operand separator = operand(s, in);
        str_t* item = popping ? str_pop_str(target, separator.lib) : str_shift_str(target, separator.lib);
        same(item, popping ? model::pop_str(m, separator.m) : model::shift_str(m, separator.m));
        break;
    }
    case 15: {
        const Operand search = operand(s, in), replacement = operand(s, in);
        str_replace(target, search.lib, replacement.lib);
        model::replace(m, search.m, replacement.m);
        break;
    }
    case 16: {
        const Operand a = operand(s, in), set = operand(s, in), joiner = operand(s, in);
        same(str_replace_all(a.lib, set.lib, joiner.lib), model::Result(model::replace_all(a.m, set.m, joiner.m)));
        break;
    }
    case 17: {
        const Operand source = operand(s, in);
        if (in.byte() & 1) {
            same(str_dup(source.lib), source.lib == nullptr ? model::Result() : model::of(model::text_of(source.m)));
        } else {
            const int32_t r = str_cpy(source.lib, target);
            m = model::is_null(source.m) ? model::null() : *source.m;
            FUZZ_CHECK(r == static_cast<int32_t>(m.text.size()));
        }
        break;
    }
    case 18:
        if (in.byte() & 1) {
            str_upper(target);
            m.text = model::upper(m.text);
        } else {
            str_lower(target);
            m.text = model::lower(m.text);
        }
        break;
    case 19: {
        const bool simplify = in.byte() & 1;
        (simplify ? str_simplify_whitespace : str_strip_whitespace)(target);
        if (!m.null) m.text = model::trim(m.text, simplify);
        break;
    }
    case 20: {
        const Operand h = operand(s, in), needle = operand(s, in);
        const int32_t start = in.range(-1, 40);
        const bool case_sensitive = in.byte() & 1;
        const std::string needle_text = model::text_of(needle.m);
        FUZZ_CHECK(str_find(h.lib, needle.lib, start, case_sensitive) ==
                   model::find(h.m, model::is_null(needle.m) ? nullptr : &needle_text, start, case_sensitive));
        const std::string text = model::up_to_nul(in.text(8));
        FUZZ_CHECK(str_utf8_find(h.lib, text.c_str(), start, case_sensitive) ==
                   model::find(h.m, &text, start, case_sensitive));
        break;
    }
    case 21: {
        const Operand a = operand(s, in);
        FUZZ_CHECK(str_hash(a.lib) == model::hash(a.m));
        break;
    }
    case 22: { // writing through str_buffer: at most n - 1 bytes and a terminator
        const int32_t n = in.range(0, 40);
        const std::string bytes = in.text();
        char* buffer = str_buffer(target, n);
        if (buffer == nullptr) {
            FUZZ_CHECK(m.null && n == 0);
            break;
        }
        FUZZ_CHECK(target->capacity >= n);
        const size_t k = std::min(bytes.size(), static_cast<size_t>(n > 0 ? n - 1 : 0));
        std::memcpy(buffer, bytes.data(), k);
        buffer[k] = '\0';
        m = model::of(model::up_to_nul(bytes.substr(0, k)));
        break;
    }
    case 23: { // str_utf8_cat_limit: n characters, nothing for n <= 0, result 0
        const std::string text = model::up_to_nul(in.text());
        const int32_t n = in.range(-1, 40);
        FUZZ_CHECK(str_utf8_cat_limit(target, text.c_str(), n) == 0);
        if (n > 0) model::cat_limit(m, text, n);
        break;
    }
    default: { // filling the whole buffer through str_buffer, without a terminator
        char* buffer = str_buffer(target, in.range(1, 40));
        FUZZ_CHECK(buffer != nullptr);
        m = model::of(model::up_to_nul(fuzz::fill_unterminated(target, in.text(8))));
        break;
    }
    }
    for (int i = 0; i < slot_count; ++i) {
        same_text(s.lib[i].get(), s.m[i]);
        if (s.m[i].text.size() > max_text) {
            str_clear(s.lib[i].get());
            s.m[i] = model::null();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::LeakCheck leaks;
    fuzz::Input in(data, size);
    Slots s;
    for (auto& record : s.lib) record.reset(str_init());
    for (int steps = 0; steps < 256 && !in.done(); ++steps) step(s, in);
    return 0;
}
