// SPDX-License-Identifier: MIT
// Numbers and argument substitution against the reference model: integers
// written in every base 2..36 (and the bases that mean 10) and read back,
// arbitrary text read as a number in any base with the ok flag, doubles
// written with every format and precision and read back, and the
// substitution of every kind of argument into an arbitrary pattern.
#include "fuzz_support.hpp"
#include "str_model.hpp"

#include <cmath>

namespace {

std::string text_of(const str_t* s) { return str_null(s) ? std::string() : std::string(s->buffer, str_len(s)); }

void same(str_t* s, const std::string& expected) {
    fuzz::Str owner(s);
    FUZZ_CHECK(!str_null(s) && text_of(s) == expected);
}

void same(str_t* s, const model::Str& expected) {
    fuzz::Str owner(s);
    FUZZ_CHECK(s != nullptr && str_null(s) == expected.null && text_of(s) == expected.text);
}

bool same_double(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

void integers(int64_t value, int32_t base, const std::string& text) {
    // Written and read back in the base; a base outside 2..36 writes base 10.
    // Every value comes back but -2^63 in the bases that divide 2^63.
    const std::string digits = model::from_huge(value, base);
    same(str_from_huge(value, base), digits);
    fuzz::Str written(str_from_huge(value, base));
    int32_t ok = -1;
    const int32_t read_base = model::valid_base(base);
    const bool comes_back = value != INT64_MIN || (read_base & (read_base - 1)) != 0;
    FUZZ_CHECK(comes_back == (str_to_huge(written.get(), &ok, read_base) == value && ok == 1));
    const auto narrow = static_cast<int32_t>(value);
    same(str_from_long(narrow, base), model::from_huge(narrow, base));
    same(str_from_int(narrow, base), model::from_huge(narrow, base));

    // Arbitrary text, in an arbitrary base.
    fuzz::Str s(fuzz::make(text));
    const model::Str m = model::of(model::up_to_nul(text));
    const std::optional<int64_t> huge = model::to_huge(&m, base);
    FUZZ_CHECK(str_to_huge(s.get(), &ok, base) == huge.value_or(0) && ok == huge.has_value());
    const std::optional<int32_t> long_value = model::to_long(&m, base);
    FUZZ_CHECK(str_to_long(s.get(), &ok, base) == long_value.value_or(0) && ok == long_value.has_value());
    FUZZ_CHECK(str_to_int(s.get(), &ok, base) == long_value.value_or(0) && ok == long_value.has_value());
    FUZZ_CHECK(str_to_huge(s.get(), nullptr, base) == huge.value_or(0));
}

void doubles(double value, char format, int32_t precision, const std::string& text) {
    same(str_from_double(value, format, precision), model::from_double(value, format, precision));
    const auto single = static_cast<float>(value);
    same(str_from_float(single, format, precision), model::from_double(single, format, precision));

    // 17 significant digits read back give the same double.
    for (const auto& [letter, digits] : {std::pair<char, int32_t>{'e', 16}, {'g', 17}}) {
        fuzz::Str written(str_from_double(value, letter, digits));
        int32_t ok = -1;
        FUZZ_CHECK(same_double(str_to_double(written.get(), &ok), value) && ok == 1);
    }

    // Arbitrary text: strtod of it, ok when it takes all of a non-empty text.
    const std::string t = model::up_to_nul(text);
    fuzz::Str s(fuzz::make(text));
    char* end = nullptr;
    const double expected = std::strtod(t.c_str(), &end);
    const bool expected_ok = !t.empty() && *end == '\0';
    int32_t ok = -1;
    FUZZ_CHECK(same_double(str_to_double(s.get(), &ok), expected) && ok == expected_ok);
    FUZZ_CHECK(same_double(str_to_float(s.get(), &ok), static_cast<float>(expected)) && ok == expected_ok);
}

void arguments(fuzz::Input& in, const model::Str& pattern_model, int64_t value, double number) {
    fuzz::Str pattern(pattern_model.null ? str_init() : fuzz::make(pattern_model.text));
    const int32_t width = in.range(-40, 40);
    const char fill = static_cast<char>(in.byte());
    const int32_t base = in.range(0, 40);
    const char format = static_cast<char>(in.byte());
    const int32_t precision = in.range(-2, 20);
    const char c = static_cast<char>(in.byte());
    const auto narrow = static_cast<int32_t>(value);

    const std::string argument = model::up_to_nul(in.text());
    fuzz::Str arg(fuzz::make(argument));
    same(str_arg_str(pattern.get(), arg.get(), width, fill), model::arg(&pattern_model, argument, width, fill));
    same(str_arg_str(pattern.get(), nullptr, width, fill), model::arg(&pattern_model, "", width, fill));
    const std::string one = c == 0 ? "" : std::string(1, static_cast<unsigned char>(c) < 0x80 ? c : '?');
    same(str_arg_char(pattern.get(), c, width, fill), model::arg(&pattern_model, one, width, fill));
    same(str_arg_long(pattern.get(), narrow, width, base, fill),
         model::arg(&pattern_model, model::from_huge(narrow, base), width, fill));
    same(str_arg_int(pattern.get(), narrow, width, base, fill),
         model::arg(&pattern_model, model::from_huge(narrow, base), width, fill));
    same(str_arg_double(pattern.get(), number, width, format, precision, fill),
         model::arg(&pattern_model, model::from_double(number, format, precision), width, fill));
    const auto single = static_cast<float>(number);
    same(str_arg_float(pattern.get(), single, width, format, precision, fill),
         model::arg(&pattern_model, model::from_double(single, format, precision), width, fill));

    // Substituting again and again fills %1, %2, ... in turn, until no
    // placeholder is left.
    model::Str m = pattern_model;
    fuzz::Str s(pattern_model.null ? str_init() : fuzz::make(pattern_model.text));
    for (int i = 0; i < 10; ++i) {
        const std::string next = model::up_to_nul(in.text(8));
        fuzz::Str a(fuzz::make(next));
        s.reset(str_arg_str(s.get(), a.get(), 0, 0));
        m = model::arg(&m, next, 0, 0);
        FUZZ_CHECK(str_null(s.get()) == m.null && text_of(s.get()) == m.text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::LeakCheck leaks;
    fuzz::Input in(data, size);
    const auto value = in.raw<int64_t>();
    const auto number = in.raw<double>();
    const int32_t base = in.range(0, 40);
    const char format = static_cast<char>(in.byte());
    const int32_t precision = in.range(-2, 120);
    const bool null_pattern = in.byte() == 0xFF;
    const model::Str pattern = null_pattern ? model::null() : model::of(model::up_to_nul(in.text()));
    arguments(in, pattern, value, number);
    const std::string text = in.rest();
    integers(value, base, text);
    doubles(number, format, precision, text);
    return 0;
}
