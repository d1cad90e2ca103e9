// SPDX-License-Identifier: MIT
// The escapes "!{hex}" and the span search under them, against the
// reference model: str_find_span against a brute-force search, str_collapse
// and str_expand against the documented rebuilding, and the round trip
// expand(collapse(t)) == t for the texts it holds for (no escaped byte at
// either end, none next to another, and only ASCII ones).
#include "fuzz_support.hpp"
#include "str_model.hpp"

namespace {

std::string text_of(const str_t* s) { return str_null(s) ? std::string() : std::string(s->buffer, str_len(s)); }

void same(const str_t* s, const model::Str& m) {
    fuzz::check_new_record(s);
    FUZZ_CHECK(str_null(s) == m.null && text_of(s) == m.text);
}

void spans(fuzz::Input& in, const std::string& text) {
    const std::string open = model::up_to_nul(in.text(4)), close = model::up_to_nul(in.text(4));
    const uint8_t absent = in.byte(); // now and then a NULL delimiter
    const int32_t start = in.range(-2, 70);
    fuzz::Str s(fuzz::make(text)), o(absent == 1 ? nullptr : fuzz::make(open)),
        c(absent == 2 ? nullptr : fuzz::make(close));
    int32_t length = 777, expected_length = 777;
    const int32_t at = str_find_span(s.get(), o.get(), c.get(), &length, start);
    if (absent == 1 || absent == 2) {
        FUZZ_CHECK(at == -1 && length == 777);
        return;
    }
    FUZZ_CHECK(at == model::find_span(text, open, close, &expected_length, start) && length == expected_length);
    FUZZ_CHECK(str_find_span(s.get(), o.get(), c.get(), nullptr, start) == at);
}

// The text with what keeps the round trip from holding taken out.
std::string round_trippable(const std::string& text, const std::string& escaped) {
    const auto is_escaped = [&escaped](char c) { return escaped.find(c) != std::string::npos; };
    std::string out;
    for (char c : text) {
        if (is_escaped(c) && (static_cast<unsigned char>(c) >= 0x80 || out.empty() || is_escaped(out.back()))) continue;
        out += c;
    }
    while (!out.empty() && is_escaped(out.back())) out.pop_back();
    return out;
}

void escapes(fuzz::Input& in, const std::string& text) {
    const std::string characters = model::up_to_nul(in.text(6));
    fuzz::Str chars(in.byte() == 1 ? nullptr : fuzz::make(characters));
    const model::Str m = model::of(text);
    const model::Str chars_model = chars.get() == nullptr ? model::null() : model::of(characters);

    fuzz::Str collapsed(fuzz::make(text));
    str_collapse(collapsed.get(), chars.get());
    same(collapsed.get(), model::collapse(m, &chars_model));

    fuzz::Str expanded(fuzz::make(text));
    str_expand(expanded.get());
    same(expanded.get(), model::expand(m));

    const std::string plain = round_trippable(text, "!{}" + model::text_of(&chars_model));
    fuzz::Str trip(fuzz::make(plain));
    str_collapse(trip.get(), chars.get());
    str_expand(trip.get());
    FUZZ_CHECK(plain.empty() ? str_null(trip.get()) : text_of(trip.get()) == plain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::LeakCheck leaks;
    fuzz::Input in(data, size);
    fuzz::Input parameters = in.take(in.byte() % 41);
    const std::string text = model::up_to_nul(in.rest());
    spans(parameters, text);
    escapes(parameters, text);
    return 0;
}
