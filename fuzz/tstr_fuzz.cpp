// SPDX-License-Identifier: MIT
// Runs programs of TStr and TPath method calls on three strings and two
// paths and, beside them, on the reference model. After every call the
// texts, the null states and the presence of a record must agree, the
// cached conversions must hold the current text, and at the end of a run
// every counted block must be back.
//
// The paths are asked only questions about the file system (exists,
// isFile, isDir, size); nothing here creates or removes files.
#include "fuzz_support.hpp"
#include "str_model.hpp"

#include <keloutil/keloutil.hpp>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int string_count = 3, path_count = 2, object_count = string_count + path_count;
constexpr size_t max_text = 1024; // longer texts are dropped, so that programs stay fast

// The model of one object: whether it holds a record, and its text.
struct Obj {
    bool record = true;
    model::Str m;
};

const str_t* record_of(const TStr& s) { return static_cast<const str_t*>(s.handle()); }

// The record an operand hands to the str_* functions: none without a record.
const model::Str* operand(const Obj& o) { return o.record ? &o.m : nullptr; }

// A copy (str_dup): none of an object without a record, empty of a null one.
Obj copy_of(const Obj& o) { return o.record ? Obj{true, model::of(o.m.text)} : Obj{false, model::null()}; }

Obj adopted(const model::Result& r) { return r ? Obj{true, *r} : Obj{false, model::null()}; }

std::string text_of(const TStr& s) {
    const str_t* r = record_of(s);
    return str_null(r) ? std::string() : std::string(r->buffer, static_cast<size_t>(str_len(r)));
}

void same(const TStr& s, const Obj& o) {
    const str_t* r = record_of(s);
    FUZZ_CHECK((r != nullptr) == o.record);
    fuzz::check_record(r);
    const bool null = !o.record || o.m.null;
    if (s.isNull() != null || text_of(s) != o.m.text) fuzz::report("object", s.isNull(), text_of(s), null, o.m.text);
    FUZZ_CHECK(s.isNull() == null && text_of(s) == o.m.text);
    FUZZ_CHECK(s.length() == static_cast<int32_t>(o.m.text.size()));
    FUZZ_CHECK(s.isEmpty() == o.m.text.empty() && static_cast<bool>(s) == !o.m.text.empty());
    FUZZ_CHECK(s.utf8CharCount() == model::count(o.m.text));
    FUZZ_CHECK(s.hash() == model::hash(&o.m));
}

// The cached conversions hold the current text: UTF-8 as it is, the others
// as the flat functions read it out; asking twice gives the same pointer.
void check_cache(const TStr& s, const Obj& o, int32_t encoding) {
    const void* cached = s.asEncoding(encoding);
    FUZZ_CHECK(s.asEncoding(encoding) == cached);
    if (!o.record) {
        FUZZ_CHECK(cached == nullptr);
        return;
    }
    FUZZ_CHECK(cached != nullptr);
    if (encoding < STR_ENC_ASCII || encoding > STR_ENC_UTF32) {
        FUZZ_CHECK(std::all_of(static_cast<const char*>(cached), static_cast<const char*>(cached) + 4,
                               [](char c) { return c == 0; }));
        return;
    }
    if (encoding == STR_ENC_UTF8) {
        FUZZ_CHECK(static_cast<const char*>(cached) == o.m.text);
        return;
    }
    void* fresh = str_alloc(record_of(s), encoding);
    const size_t unit = encoding == STR_ENC_UTF32 ? 4 : (encoding == STR_ENC_ASCII ? 1 : 2);
    const auto* a = static_cast<const unsigned char*>(cached);
    const auto* b = static_cast<const unsigned char*>(fresh);
    if (b == nullptr) return; // cannot be converted: the cache holds what was converted before the failure
    for (size_t i = 0;; i += unit) {
        FUZZ_CHECK(std::memcmp(a + i, b + i, unit) == 0);
        if (std::all_of(a + i, a + i + unit, [](unsigned char c) { return c == 0; })) break;
    }
    memory_free(fresh);
}

// "/" becomes "\\", as the localising path members do to their own text.
void localise(Obj& o) { std::replace(o.m.text.begin(), o.m.text.end(), '/', '\\'); }

// The extension: the text after the last "." (not one at index 0) when no
// "\\" follows it; an empty text without one; none for a path without text.
model::Result extension(const Obj& o) {
    if (!o.record || o.m.null) return std::nullopt;
    const std::string& t = o.m.text;
    const size_t dot = t.rfind('.');
    if (dot == std::string::npos || dot == 0 || t.find('\\', dot) != std::string::npos) return model::of("");
    return model::of(t.substr(dot + 1));
}

const model::Str backslash = model::of("\\");

class Program {
public:
    Program() {
        for (int i = 0; i < string_count; ++i) objects_[i] = &strings_[i];
        for (int i = 0; i < path_count; ++i) objects_[string_count + i] = &paths_[i];
        fuzz::Str cwd(path_cwd());
        cwd_ = model::of(std::string(cwd.get()->buffer, static_cast<size_t>(str_len(cwd.get()))));
    }

    void step(fuzz::Input& in) {
        const int t = in.byte() % object_count;
        const uint8_t op = in.byte();
        if ((op & 0x80) != 0 && t >= string_count) path_step(in, paths_[t - string_count], models_[t]);
        else string_step(in, *objects_[t], models_[t]);
        for (int i = 0; i < object_count; ++i) {
            same(*objects_[i], models_[i]);
            if (models_[i].m.text.size() > max_text) {
                objects_[i]->clear();
                models_[i].m = model::null();
            }
        }
    }

private:
    int pick(fuzz::Input& in) { return in.byte() % object_count; }

    void string_step(fuzz::Input& in, TStr& s, Obj& o) {
        const int j = pick(in), k = pick(in);
        TStr& a = *objects_[j];
        TStr& b = *objects_[k];
        const Obj oa = models_[j], ob = models_[k]; // copies: the edit may change them
        switch (in.byte() % 29) {
        case 0: {
            const std::string text = model::up_to_nul(in.text());
            s = TStr(text.c_str());
            o = Obj{true, model::of(text)};
            break;
        }
        case 1: { // from bytes in any encoding: only the invariants are checked
            std::string bytes = in.text();
            const auto length = static_cast<int32_t>(bytes.size());
            bytes.append(2, '\0'); // a marked UTF-16 source is read 2 bytes past its length
            s = TStr(bytes.data(), length, in.range(0, 6));
            o.record = true;
            o.m = str_null(record_of(s)) ? model::null() : model::of(text_of(s));
            break;
        }
        case 2:
            s = a;
            o = copy_of(oa);
            break;
        case 3:
            s = TStr::null;
            o = Obj{false, model::null()};
            break;
        case 4: {
            const bool sets = in.byte() & 1;
            const std::string text = model::up_to_nul(in.text());
            if (sets) {
                FUZZ_CHECK(s.setUtf8(text.c_str()));
                o = Obj{true, model::of(text)};
            } else {
                s.setAscii(text.c_str()); // ASCII bytes stay, others become '?'
                o.record = true;
                o.m = model::of(text);
                for (char& c : o.m.text)
                    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
            }
            break;
        }
        case 5:
            s += a;
            o.record = true;
            model::cat(o.m, operand(oa));
            break;
        case 6: {
            const std::string text = model::up_to_nul(in.text());
            const char c = static_cast<char>(in.byte());
            const auto code = static_cast<uint32_t>(in.range(0, 0x10FFFF)) << (in.byte() & 3);
            const model::Str text_m = model::of(text), c_m = model::of(c == 0 ? "" : std::string(1, c)),
                             code_m = model::of(code == 0 ? "" : model::utf8_of(code));
            s += text.c_str();
            s += c;
            s += code;
            o.record = true;
            model::cat(o.m, &text_m);
            model::cat(o.m, &c_m);
            model::cat(o.m, &code_m);
            break;
        }
        case 7: { // operator+ leaves this object as it is
            const char c = static_cast<char>(in.byte());
            const TStr sum = s + a + c;
            Obj expected = copy_of(o);
            expected.record = true;
            model::cat(expected.m, operand(oa));
            const char read_as_ascii = static_cast<unsigned char>(c) < 0x80 ? c : '?';
            const model::Str ascii = model::of(c == 0 ? "" : std::string(1, read_as_ascii));
            model::cat(expected.m, &ascii);
            same(sum, expected);
            break;
        }
        case 8:
            s.push(a, b);
            o.record = true;
            model::push(o.m, operand(oa), operand(ob));
            break;
        case 9:
            s.unshift(a, b);
            o.record = true;
            model::unshift(o.m, operand(oa), operand(ob));
            break;
        case 10: {
            const int kind = in.byte() % 4;
            TStr item = kind == 0 ? s.pop(a) : kind == 1 ? s.shift(a) : kind == 2 ? s.popString(a) : s.shiftString(a);
            o.record = true;
            const model::Result expected = kind == 0   ? model::pop(o.m, operand(oa), nullptr)
                                           : kind == 1 ? model::shift(o.m, operand(oa), nullptr)
                                           : kind == 2 ? model::pop_str(o.m, operand(oa))
                                                       : model::shift_str(o.m, operand(oa));
            same(item, adopted(expected));
            break;
        }
        case 11:
            s.replace(a, b);
            o.record = true;
            model::replace(o.m, operand(oa), operand(ob));
            break;
        case 12:
            FUZZ_CHECK(&s.replaceAll(a, b) == &s);
            o.m = model::replace_all(o.record ? &o.m : nullptr, operand(oa), operand(ob));
            o.record = true;
            break;
        case 13: {
            const int32_t n = in.range(0, 40);
            s.truncate(n);
            o.record = true;
            model::truncate(o.m, n);
            break;
        }
        case 14: {
            const int32_t n = in.range(-2, 40), length = in.range(-2, 40);
            same(s.left(n), adopted(model::left(operand(o), n)));
            same(s.right(n), adopted(model::right(operand(o), n)));
            if (n >= 0) same(s.mid(n, length), adopted(model::mid(operand(o), n, length)));
            break;
        }
        case 15: {
            Obj expected = copy_of(o);
            expected.m.text = model::upper(expected.m.text);
            same(s.upper(), expected);
            expected.m.text = model::lower(o.m.text);
            same(s.lower(), expected);
            expected.m.text = model::trim(o.m.text, false);
            same(s.stripWhiteSpace(), expected);
            expected.m.text = model::trim(o.m.text, true);
            same(s.simplifyWhiteSpace(), expected);
            break;
        }
        case 16: {
            const Obj copy = copy_of(o);
            same(s.expand(), Obj{copy.record, copy.record ? model::expand(copy.m) : model::null()});
            same(s.collapse(a), Obj{copy.record, copy.record ? model::collapse(copy.m, operand(oa)) : model::null()});
            break;
        }
        case 17: {
            const int32_t width = in.range(-20, 20), base = in.range(0, 40);
            const char fill = static_cast<char>(in.byte());
            const auto value = in.raw<int32_t>();
            const auto arg = [&o](const std::string& argument, int32_t w, char f) {
                return o.record ? Obj{true, model::arg(&o.m, argument, w, f)} : Obj{true, model::null()};
            };
            same(s.arg(a, width, fill), arg(model::text_of(operand(oa)), width, fill));
            same(s.arg(value, width, base, fill), arg(model::from_huge(value, base), width, fill));
            break;
        }
        case 18: {
            const int32_t from = in.range(-1, 40);
            const bool case_sensitive = in.byte() & 1;
            const std::string needle = model::text_of(operand(oa));
            const std::string* expected_needle = oa.record && !oa.m.null ? &needle : nullptr;
            const int32_t found = model::find(operand(o), expected_needle, from, case_sensitive);
            FUZZ_CHECK(s.find(a, from, case_sensitive) == found);
            FUZZ_CHECK(s.indexOf(a, from, case_sensitive) == s.find(a, from, case_sensitive));
            const char c = static_cast<char>(in.byte());
            const std::string one = c == 0 ? "" : std::string(1, c);
            FUZZ_CHECK(s.find(c, from, case_sensitive) == model::find(operand(o), &one, from, case_sensitive));
            int32_t length = 777, expected_length = 777;
            const int32_t at = s.findSpan(a, b, &length, from);
            if (oa.record && !oa.m.null && ob.record && !ob.m.null && o.record && !o.m.null)
                FUZZ_CHECK(at == model::find_span(o.m.text, oa.m.text, ob.m.text, &expected_length, from) &&
                           length == expected_length);
            break;
        }
        case 19: {
            FUZZ_CHECK((model::cmp(operand(o), operand(oa)) < 0) == (s < a));
            FUZZ_CHECK((model::cmp(operand(o), operand(oa)) == 0) == (s == a));
            FUZZ_CHECK((model::cmp(operand(o), operand(oa)) >= 0) == (s >= a));
            const std::string text = model::up_to_nul(in.text(8));
            const model::Str text_m = model::of(text);
            FUZZ_CHECK((model::cmp(operand(o), &text_m) == 0) == (s == text.c_str()));
            FUZZ_CHECK((model::cmp(operand(o), &text_m) > 0) == (s > text.c_str()));
            FUZZ_CHECK((model::cmp(operand(o), nullptr) == 0) == (s == static_cast<const char*>(nullptr)));
            const int32_t i = in.range(-2, 40);
            FUZZ_CHECK(s.at(i) == static_cast<uint32_t>(model::at(operand(o), i)) && s[i] == s.at(i));
            break;
        }
        case 20: {
            const int32_t base = in.range(0, 40);
            bool ok = false;
            const std::optional<int32_t> value = model::to_long(operand(o), base);
            FUZZ_CHECK(s.toInt(&ok, base) == value.value_or(0) && ok == value.has_value());
            FUZZ_CHECK(s.toLong(&ok, base) == value.value_or(0) && ok == value.has_value());
            const double d = s.toDouble(&ok);
            const float f = s.toFloat(nullptr);
            FUZZ_CHECK(std::isnan(d) || static_cast<float>(d) == f || (std::isnan(f) && std::isnan(d)));
            break;
        }
        case 21:
            check_cache(s, o, in.range(-1, 6));
            break;
        case 22: // the text of the cache read back into the object itself
            if (in.byte() & 1) {
                s += s.toUtf8(); // appends TStr(text): a null pointer appends nothing
                const model::Str appended = o.record ? model::of(o.m.text) : model::null();
                o.record = true;
                model::cat(o.m, &appended);
            } else {
                const bool had_record = o.record;
                s.setUtf8(s.toUtf8());
                o = Obj{true, had_record ? model::of(o.m.text) : model::null()};
            }
            break;
        case 23: { // writing through buffer(): at most n - 1 bytes and a terminator
            const int32_t n = in.range(1, 40);
            const std::string bytes = model::up_to_nul(in.text());
            s.latin1(); // a cached conversion that the write makes stale
            char* buffer = s.buffer(n);
            FUZZ_CHECK(buffer != nullptr);
            const size_t k = std::min(bytes.size(), static_cast<size_t>(n - 1));
            std::memcpy(buffer, bytes.data(), k);
            buffer[k] = '\0';
            s.clearCachedEncoding();
            o = Obj{true, model::of(bytes.substr(0, k))};
            break;
        }
        case 24: { // copies and moves are independent of their source
            TStr copy(a);
            TStr moved(std::move(copy));
            same(copy, Obj{false, model::null()});
            same(moved, oa.record ? Obj{true, model::of(oa.m.text)} : Obj{false, model::null()});
            s = std::move(moved);
            o = oa.record ? Obj{true, model::of(oa.m.text)} : Obj{false, model::null()};
            break;
        }
        case 25: {
            const TStr& self = s;
            s = self;
            o = copy_of(o);
            break;
        }
        case 26:
            s.clear();
            o.m = model::null();
            break;
        case 27: { // made from the object's own cached UTF-16: only the invariants are checked
            const TStr utf8(model::up_to_nul(in.text()).c_str());
            if (in.byte() & 1) s = TStr(utf8.toUtf16());
            else s = TStr::fromUcs2(utf8.toUtf16LE());
            o = Obj{true, str_null(record_of(s)) ? model::null() : model::of(text_of(s))};
            break;
        }
        default: { // filling the whole buffer without a terminator
            FUZZ_CHECK(s.buffer(in.range(1, 40)) != nullptr);
            const std::string bytes = fuzz::fill_unterminated(static_cast<str_t*>(s.handle()), in.text(8));
            s.clearCachedEncoding();
            o = Obj{true, model::of(model::up_to_nul(bytes))};
            break;
        }
        }
    }

    void path_step(fuzz::Input& in, TPath& p, Obj& o) {
        const int j = pick(in);
        TStr& a = *objects_[j];
        const Obj oa = models_[j];
        switch (in.byte() % 10) {
        case 0:
            p += a;
            o.record = true;
            model::push(o.m, operand(oa), &backslash);
            break;
        case 1:
            p.unshift(a);
            o.record = true;
            model::unshift(o.m, operand(oa), &backslash);
            break;
        case 2:
        case 3: {
            const bool pops = in.byte() & 1;
            const TPath piece = pops ? p.pop() : p.shift();
            o.record = true;
            same(piece, adopted(pops ? model::pop_str(o.m, &backslash) : model::shift_str(o.m, &backslash)));
            break;
        }
        case 4: {
            const TStr base = p.baseName();
            o.record = true;
            localise(o);
            Obj rest = copy_of(o);
            same(base, adopted(model::pop_str(rest.m, &backslash)));
            const TStr ext = p.extension();
            same(ext, adopted(extension(o)));
            break;
        }
        case 5: {
            Obj expected = copy_of(o);
            const TPath directory = p.dirName();
            expected.record = true;
            model::pop_str(expected.m, &backslash);
            same(directory, expected);
            break;
        }
        case 6: { // the joined copy holds what joining in place gives
            if (!o.record || o.m.null) break;
            const TPath joined = p + a;
            Obj expected = o;
            model::push(expected.m, operand(oa), &backslash);
            same(joined, expected);
            break;
        }
        case 7: {
            const TPath absolute = p.absPath();
            const std::string& t = o.m.text;
            // A drive letter, or on this platform the root.
            const bool is_absolute =
                (t.size() >= 3 && model::at(&o.m, 1) == ':') || (!t.empty() && (t[0] == '\\' || t[0] == '/'));
            Obj expected{true, o.record ? model::of(t) : model::null()};
            if (!is_absolute) {
                expected.m = cwd_;
                model::push(expected.m, operand(o), &backslash);
            }
            same(absolute, expected);
            break;
        }
        case 8: { // questions to the file system; exists() works on a copy
            const Obj before = o;
            const bool exists = p.exists();
            same(p, before);
            const bool directory = p.isDir();
            if (o.record) localise(o);
            same(p, o);
            FUZZ_CHECK(!directory || exists);
            p.isFile();
            p.size();
            break;
        }
        default: {
            std::string native = o.m.text;
            std::replace(native.begin(), native.end(), '\\', '/');
            FUZZ_CHECK(text_of(p.nativePath()) == native);
            p.setFile(a);
            o = copy_of(oa);
            break;
        }
        }
    }

    TStr strings_[string_count];
    TPath paths_[path_count];
    TStr* objects_[object_count];
    Obj models_[object_count];
    model::Str cwd_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::LeakCheck leaks;
    fuzz::Input in(data, size);
    auto program = std::make_unique<Program>();
    for (int steps = 0; steps < 128 && !in.done(); ++steps) program->step(in);
    program.reset();
    return 0;
}
