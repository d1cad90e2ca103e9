// SPDX-License-Identifier: MIT
// Every allocating operation run with its n-th allocation failing, for
// n = 1, 2, ... until it completes without reaching the failure: once with
// that one allocation failing, once with all from it on. Each run must leave
// the byte total where it was and give the full result or, only after a
// failure, the result that stands for one. Built against the library's
// fault-injection variant (memory_internal.h), in which operator new fails
// with the counted allocator: the library's functions must then answer
// their failure result, not throw.
#include "child_process.hpp"
#include "custom_environment.hpp"
#include "test_support.hpp"

#include "memory_internal.h"

#include <functional>

using namespace std::string_literals;

namespace {

// One run: calls the operation with the n-th allocation (and with `persist`
// all later ones) failing, and notes whether the failure was reached.
struct FaultRun {
    uint32_t n;
    bool persist;
    const std::string& root; // a fresh directory, in the library's form
    bool failed = false;

    template <class Op>
    auto operator()(Op op) {
        const auto disarm = [](FaultRun* run) {
            run->failed = keloutil::memory_attempts() >= run->n;
            keloutil::memory_fail_after(0, false);
        };
        const std::unique_ptr<FaultRun, decltype(disarm)> armed(this, disarm);
        keloutil::memory_fail_after(n, persist);
        return op();
    }

    // The full result, or after a failure the failure result.
    bool gives(bool done, bool failure) const { return done || (failed && failure); }
};

// Lends constant text as a record, for operands that are only read: making
// them allocates nothing.
struct Lit {
    str_t record;
    explicit Lit(const char* text) : record{const_cast<char*>(text), static_cast<int32_t>(std::strlen(text)) + 1} {}
    operator str_t*() { return &record; }
};

// A value the operation gives: `full`, or after a failure `failure`.
template <class Op, class Value>
void expect_value(FaultRun& run, Op op, const Value& full, const Value& failure) {
    const auto got = run(op);
    EXPECT_TRUE(run.gives(got == full, got == failure)) << ::testing::PrintToString(got);
}

// A new record: the text, or NULL after a failure (or a null string where
// the record comes from str_from, which gives one when its buffer fails).
template <class Op>
void expect_new(FaultRun& run, Op op, const char* text, bool null_ok = false) {
    const std::string got = shown(own(run(op)));
    EXPECT_TRUE(run.gives(got == text, got == "<NULL>" || (null_ok && got == "<null>"))) << got;
}

// `before` edited in place: the new text, or after a failure the old one
// (or `failed`).
template <class Op>
void expect_edit(FaultRun& run, const char* before, Op op, const char* after, const char* failed = nullptr) {
    Str s = make(before);
    run([&] { op(s.get()); });
    EXPECT_TRUE(run.gives(shown(s) == after, shown(s) == (failed ? failed : before))) << shown(s);
}

// `before` grown in place: the new length and text, or 0 and the old text.
template <class Op>
void expect_grown(FaultRun& run, const char* before, Op op, int32_t length, const char* after) {
    Str s = make(before);
    const int32_t got = run([&] { return op(s.get()); });
    EXPECT_TRUE(run.gives(got == length && shown(s) == after, got == 0 && shown(s) == before)) << shown(s);
}

// An item taken off the list `whole`: the item and the rest, or no item and
// the whole list.
template <class Op>
void expect_taken(FaultRun& run, const char* whole, Op op, const char* item, const char* rest) {
    Str list = make(whole);
    const std::string got = shown(own(run([&] { return op(list.get()); })));
    EXPECT_TRUE(run.gives(got == item && shown(list) == rest, got == "<NULL>" && shown(list) == whole))
        << got << " / " << shown(list);
}

// A new TStr or TPath: the text, or after a failure a null string (or `also`).
template <class Op>
void expect_tstr(FaultRun& run, Op op, const char* text, const char* also = nullptr) {
    const auto got = run(op);
    EXPECT_TRUE(run.gives(got == text, got.isNull() || (also && got == also))) << shown(got);
}

// ---- lists of 2-byte texts, copied ----------------------------------------------

list_info_t two_bytes = {nullptr, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

List letters(const char* text) {
    List list = own(list_init(&two_bytes));
    for (; *text != '\0'; ++text) list_push(list.get(), std::string(1, *text).c_str());
    return list;
}

// The full list, with null elements where their storage failed.
bool with_nulls(const std::string& got, const std::string& full) {
    return std::equal(got.begin(), got.end(), full.begin(), full.end(), [](char g, char f) { return g == f || g == '0'; });
}

// An element "c" added to "ab": no entry when the entry (the first
// allocation) failed, else an entry that holds null when its storage failed.
template <class Op>
void expect_added(FaultRun& run, Op op, const char* full) {
    List list = letters("ab");
    const list_entry_t* entry = run([&] { return op(list.get()); });
    const std::string got = elements(list.get());
    const bool failure = run.failed && run.n == 1 ? entry == nullptr && got == "ab"
                                                  : entry != nullptr && entry->data == nullptr && with_nulls(got, full);
    EXPECT_TRUE(run.gives(entry != nullptr && got == full, failure)) << got;
}

// ---- maps: owned texts, and numbers stored as themselves ------------------------

hashmap_info_t texts = owned_texts();
char* text(const char* t) { return const_cast<char*>(t); }
Map text_map() { // "a" and "e" share a bucket
    Map map = own(hashmap_init(4, &texts));
    hashmap_insert(map.get(), text("a"), text("1"));
    hashmap_insert(map.get(), text("e"), text("2"));
    return map;
}
void* number(uintptr_t n) { return reinterpret_cast<void*>(n); }
Map number_map() { // iterated 1, 5, 2
    Map map = own(hashmap_init(4, nullptr));
    for (uintptr_t key : {1, 5, 2}) hashmap_insert(map.get(), number(key), nullptr);
    return map;
}

// "key=value " for each entry in iteration order, read without an iterator.
std::string pairs(const Map& map) {
    std::string text;
    for (uint32_t b = 0; b < map->bucket_count; ++b)
        for (const hashmap_entry_t* e = map->buckets[b]; e != nullptr; e = e->next)
            text += std::string(as_text(e->key)) + "=" + as_text(e->value) + " ";
    return text;
}

// Inserting into text_map: the new pairs, or after a failure the old pairs
// with the map's byte count as it was.
void expect_inserted(FaultRun& run, const char* key, const char* value, const char* full) {
    Map map = text_map();
    const uint32_t held = hashmap_allocated(map.get());
    const hashmap_entry_t* entry = run([&] { return hashmap_insert(map.get(), text(key), text(value)); });
    EXPECT_TRUE(run.gives(entry != nullptr && pairs(map) == full,
                          entry == nullptr && pairs(map) == "a=1 e=2 " && hashmap_allocated(map.get()) == held))
        << pairs(map);
}

// A settings file in the temporary directory holding `values` in section
// "first-section-of-the-file" (names long enough to be stored outside
// std::string's own buffer).
TPath settings_file(const std::string& root, std::initializer_list<const char*> values) {
    static int made = 0;
    const TPath file((root + "\\" + std::to_string(++made) + "\\s.xml").c_str());
    KeloSettings s;
    s.open(file);
    for (const char* key : values) s.setData("first-section-of-the-file", key, "a value of some length");
    s.save(file);
    return file;
}

// The number of values in a settings file.
size_t saved_values(const TPath& file) {
    KeloSettings s;
    std::map<TStr, TStr> all;
    return s.open(file), s.getAll(all), all.size();
}

// Each call gives what it gives with memory to spare, or after a failure
// the empty string.
void expect_same_or_empty(FaultRun& run, std::initializer_list<std::function<TStr()>> calls) {
    for (const auto& call : calls) {
        const TStr full = call();
        ASSERT_FALSE(full.isEmpty());
        const TStr got = run(call);
        EXPECT_TRUE(run.gives(got == full, got.isEmpty())) << shown(got) << " for " << shown(full);
    }
}

struct Operation { const char* name; void (*run)(FaultRun&); };
void PrintTo(const Operation& operation, std::ostream* os) { *os << operation.name; }

// One table entry: the operation's name and the statements that run it.
#define OP(name, ...) Operation{#name, [](FaultRun& run) { __VA_ARGS__; }}

const Operation operations[] = {
    // ---- strings -------------------------------------------------------------------
    OP(str_init, expect_new(run, [] { return str_init(); }, "<null>")),
    OP(str_from, expect_new(run, [] { return str_from("A\0\xE9\0", 4, STR_ENC_UTF16LE); }, "A\xC3\xA9", true)),
    OP(str_dup, expect_new(run, [] { return str_dup(Lit("ab")); }, "ab", true)),
    OP(str_set, expect_edit(run, "ab", [](str_t* s) { str_set(s, "x\0y\0z\0", 6, STR_ENC_UTF16LE); }, "xyz", "<null>")),
    OP(str_cpy, expect_grown(run, "ab", [](str_t* s) { return str_cpy(Lit("xyz"), s); }, 3, "xyz")),
    OP(str_cat, expect_grown(run, "ab", [](str_t* s) { return str_cat(s, Lit("cd")); }, 4, "abcd")),
    OP(str_cat_utf8_limit, expect_grown(run, "ab", [](str_t* s) { return str_cat_utf8_limit(s, "\xC3\xA9xy", 2); }, 5, "ab\xC3\xA9x")),
    OP(str_buffer, Str s = make("ab"); const char* buffer = run([&] { return str_buffer(s.get(), 9); });
       EXPECT_TRUE(run.gives(buffer != nullptr && s->capacity == 10, buffer == nullptr && s->capacity == 3))),
    OP(str_alloc, expect_value(run, [] { return allocated(Lit("A\xC3\xA9"), STR_ENC_UTF16BE); }, "\0A\0\xE9\0\0"s, "<NULL>"s)),
    OP(str_wchar_alloc, expect_value(run, [] { return wide(Lit("A\xC3\xA9")); }, bytes(L"A\u00E9", 3 * sizeof(wchar_t)), "<NULL>"s)),
    OP(str_left, expect_new(run, [] { return str_left(Lit("h\xC3\xA9llo"), 2); }, "h\xC3\xA9")),
    OP(str_pad, expect_new(run, [] { return str_pad(Lit("ab"), 5); }, "ababa")),
    OP(str_push, expect_edit(run, "a;b", [](str_t* s) { str_push(s, Lit("c"), Lit(";")); }, "a;b;c")),
    OP(str_unshift, expect_edit(run, "b", [](str_t* s) { str_unshift(s, Lit("a"), Lit(";")); }, "a;b")),
    OP(str_pop, expect_taken(run, "a;b;;c", [](str_t* s) { return str_pop(s, Lit(";"), nullptr); }, "c", "a;b")),
    OP(str_pop_str, expect_taken(run, "a\\b", [](str_t* s) { return str_pop_str(s, Lit("\\")); }, "b", "a")),
    OP(str_shift, expect_taken(run, "a;;b", [](str_t* s) { return str_shift(s, Lit(";"), nullptr); }, "a", "b")),
    // No separator: the whole list is the item.
    OP(str_shift_str, expect_taken(run, "a:b", [](str_t* s) { return str_shift_str(s, Lit("::")); }, "a:b", "<null>")),
    OP(str_replace, expect_edit(run, "a-b-c", [](str_t* s) { str_replace(s, Lit("-"), Lit("+-+")); }, "a+-+b+-+c")),
    OP(str_replace_all, expect_new(run, [] { return str_replace_all(Lit(";a;;b;"), Lit(";"), Lit("-")); }, "a-b")),
    OP(str_from_huge, expect_new(run, [] { return str_from_huge(-255, 16); }, "-ff")),
    OP(str_arg_str, expect_new(run, [] { return str_arg_str(Lit("%2<%1>"), Lit("ab"), 4, '*'); }, "%2<**ab>")),
    OP(str_arg_double, expect_new(run, [] { return str_arg_double(Lit("x%1"), 0.5, -5, 'f', 1, 0); }, "x0.5  ")),
    // Case-insensitive: on copies.
    OP(str_find, expect_value(run, [] { return str_find(Lit("hello"), Lit("LO"), 0, 0); }, 3, -1)),
    // Transformations do what they can: only nothing may be left behind.
    OP(str_collapse, Str s = make("a b{c"); run([&] { str_collapse(s.get(), Lit(" ")); });
       EXPECT_TRUE(run.gives(shown(s) == "a!{20}b!{7b}c", true))),
    OP(str_expand, Str s = make("x!{41}y!{e9}"); run([&] { str_expand(s.get()); });
       EXPECT_TRUE(run.gives(shown(s) == "xAy\xC3\xA9", true))),
    // ---- lists -----------------------------------------------------------------------
    OP(list_init, List list = own(run([] { return list_init(&two_bytes); }));
       EXPECT_TRUE(run.gives(list && list_info(list.get()) == &two_bytes, !list))),
    OP(list_push, expect_added(run, [](list_t* l) { return list_push(l, "c"); }, "abc")),
    OP(list_insert_after, expect_added(run, [](list_t* l) { return list_insert_after(l, 0, "c"); }, "acb")),
    // All appended, some as null, or none.
    OP(list_append, List list = letters("ab"), source = letters("cd");
       const int32_t done = run([&] { return list_append(list.get(), source.get()); });
       const std::string got = elements(list.get());
       EXPECT_TRUE(run.gives(done == 1 && got == "abcd", done == 1 ? with_nulls(got, "abcd") : got == "ab"))),
    OP(list_dup, List list = letters("abc"); List copy = own(run([&] { return list_dup(list.get()); }));
       EXPECT_TRUE(run.gives(copy && elements(copy.get()) == "abc", !copy || with_nulls(elements(copy.get()), "abc")))),
    // At their entry, or none (every iterator is made the same way).
    OP(list_at, List list = letters("abc"); list_iter_t* iter = run([&] { return list_at(list.get(), 1); });
       EXPECT_TRUE(run.gives(iter != nullptr && list_iter_entry(iter) == list->head->next, iter == nullptr));
       list_iter_uninit(iter)),
    // ---- hash maps -------------------------------------------------------------------
    OP(hashmap_init, Map map = own(run([] { return hashmap_init(8, nullptr); }));
       EXPECT_TRUE(run.gives(map && hashmap_bucket_count(map.get()) == 8 && hashmap_info(map.get()) != nullptr, !map))),
    OP(hashmap_insert, expect_inserted(run, "i", "3", "a=1 e=2 i=3 ")),
    OP(hashmap_insert_replacing, expect_inserted(run, "e", "22", "a=1 e=22 ")),
    OP(hashmap_duplicate, Map map = text_map(); Map copy = own(run([&] { return hashmap_duplicate(map.get()); }));
       const bool same_count = copy && hashmap_allocated(copy.get()) == hashmap_allocated(map.get());
       EXPECT_TRUE(run.gives(same_count && pairs(copy) == "a=1 e=2 ", !copy))),
    OP(hashmap_duplicate_default_info, Map map = number_map();
       Map copy = own(run([&] { return hashmap_duplicate(map.get()); }));
       const bool own_info = copy && hashmap_info(copy.get()) != hashmap_info(map.get());
       EXPECT_TRUE(run.gives(own_info && hashmap_count(copy.get()) == 3, !copy))),
    // At the key (0: the end), or none; the byte count comes back. An
    // iterator is placed at an entry, at the end, or copied from another.
    OP(hashmap_iterators, Map map = number_map(); MapIter second = own(hashmap_begin(map.get()));
       hashmapiter_next(second.get());
       const std::pair<uintptr_t, std::function<hashmapiter_t*(hashmap_t*)>> makers[] = {
           {5, [](hashmap_t* m) { return hashmap_find(m, number(5)); }},
           {0, [](hashmap_t* m) { return hashmap_find(m, number(3)); }},
           {5, [&](hashmap_t*) { return hashmapiter_init_from(second.get()); }}};
       for (const auto& maker : makers) {
           const uint32_t held = hashmap_allocated(map.get());
           hashmapiter_t* iter = run([&] { return maker.second(map.get()); });
           EXPECT_TRUE(run.gives(iter != nullptr && hashmapiter_key(iter) == number(maker.first), iter == nullptr));
           hashmapiter_uninit(iter); // also when there is none
           EXPECT_EQ(hashmap_allocated(map.get()), held);
       }),
    // ---- paths -----------------------------------------------------------------------
    OP(path_cwd, expect_new(run, [] { return path_cwd(); }, shown(own(path_cwd())).c_str())),
    OP(path_absolute, const std::string full = shown(own(path_cwd())) + "\\sub\\f";
       expect_new(run, [] { return path_absolute(Lit("sub\\f")); }, full.c_str())),
    // A doubled separator: split by the text "\\", not by a set of bytes.
    OP(path_shift, expect_taken(run, "a\\\\b\\c", [](str_t* p) { return path_shift(p); }, "a", "\\b\\c")),
    OP(path_ext, expect_new(run, [] { return path_ext(Lit("C:\\a.d\\b.tar.gz")); }, "gz")),
    OP(path_dirname, expect_new(run, [] { return path_dirname(Lit("C:\\d\\f.txt")); }, "C:\\d")),
    OP(path_exists, expect_value(run, [&] { return path_exists(Lit(run.root.c_str())); }, 1, 0)),
    // ---- TStr and TPath: a failed copy holds no text, a failed edit changes nothing ---
    OP(TStr_from_text, expect_tstr(run, [] { return TStr("ab"); }, "ab")),
    OP(TStr_append, TStr s("ab"); run([&] { s += "cd"; }); EXPECT_TRUE(run.gives(s == "abcd", s == "ab")) << shown(s)),
    // The sum, a failed copy, or the copy that a failed append left.
    OP(TStr_sum, const TStr s("ab"); expect_tstr(run, [&] { return s + "cd"; }, "abcd", "ab")),
    OP(TStr_toUtf16LE, const TStr s("ab"); expect_value(run, [&] { return terminated(s.toUtf16LE(), 2); }, "a\0b\0\0\0"s, "<NULL>"s)),
    OP(TStr_replaceAll, TStr s(";a;;b;"); const TStr set(";"), joiner("-"); run([&] { s.replaceAll(set, joiner); });
       EXPECT_TRUE(run.gives(s == "a-b", s == ";a;;b;")) << shown(s)),
    OP(TStr_pop, TStr s("a;b"); const TStr set(";"); const TStr item = run([&] { return s.pop(set); });
       EXPECT_TRUE(run.gives(item == "b" && s == "a", item.isNull() && s == "a;b"))),
    OP(TStr_arg, expect_tstr(run, [] { return TStr("<%1>").arg(42, 3); }, "< 42>")),
    OP(TPath_sum, const TPath path("C:\\a"); expect_tstr(run, [&] { return path + "b"; }, "C:\\a\\b", "C:\\a")),
    OP(TPath_dirPath, const TPath path("C:\\a\\b.txt"); expect_tstr(run, [&] { return path.dirPath(false); }, "C:\\a")),
    // Made, or false.
    OP(TPath_mkpath, static int made = 0; TPath path((run.root + "\\" + std::to_string(++made) + "\\b").c_str());
       const bool done = run([&] { return path.mkpath(0); }); EXPECT_TRUE(run.gives(done && path.isDir(), !done))),
    // ---- KeloSettings: every value or false; a failed save leaves the file as it was ---
    OP(KeloSettings_parse, KeloSettings s; std::map<TStr, TStr> values;
       const bool done = run([&] { return s.parse("<KeloSettings><Section Name='a'><Data Key='k'>v</Data>"
                                                  "<Data Key='j'>w</Data></Section></KeloSettings>"); });
       s.getAll(values); EXPECT_TRUE(run.gives(done && values.size() == 2, !done && values.empty() && !s.isLoaded()))),
    OP(KeloSettings_open, const TPath file = settings_file(run.root, {"k", "j"}); KeloSettings s;
       std::map<TStr, TStr> values; const bool done = run([&] { return s.open(file); }); s.getAll(values);
       EXPECT_TRUE(run.gives(done && values.size() == 2, !done && values.empty() && !s.isLoaded()))),
    OP(KeloSettings_setData, KeloSettings s; TStr value;
       const bool done = run([&] { return s.setData("first-section-of-the-file", "k", "a new value"); });
       s.getData("first-section-of-the-file", "k", value);
       EXPECT_TRUE(run.gives(done && value == "a new value", !done && value.isNull()))),
    OP(KeloSettings_getData, const TPath file = settings_file(run.root, {"k"}); KeloSettings s; s.open(file);
       TStr value; const bool done = run([&] { return s.getData("first-section-of-the-file", "k", value); });
       EXPECT_TRUE(run.gives(done && value == "a value of some length", !done && value.isNull()))),
    OP(KeloSettings_save, const TPath file = settings_file(run.root, {"k"}); KeloSettings s; s.open(file);
       s.setData("b", "j", "2"); const bool done = run([&] { return s.save(file); });
       EXPECT_TRUE(run.gives(done && saved_values(file) == 2, !done && saved_values(file) == 1))),
    OP(KeloSettings_getSection, KeloSettings s; std::map<TStr, TStr> values;
       s.parse("<KeloSettings><Section Name='ab'><Data Key='x'>1</Data></Section>"
               "<Section Name='b'><Data Key='y'>2</Data></Section></KeloSettings>");
       s.setData("b", "z", "3"); s.removeData("b", "y");
       const bool done = run([&] { return s.getSection("b", values); });
       const std::map<TStr, TStr> full{{"x", "1"}, {"z", "3"}};
       EXPECT_TRUE(run.gives(done && values == full, !done && values.empty())) << values.size()),
    // ---- processes and timers ----------------------------------------------------------
    // Started with every argument, or not at all.
    OP(TProcess_execute, TProcess process(sibling_program("keloutil_process_child").c_str(), "args one two");
       const long started = run([&] { return process.execute(); });
       const std::string output = started == -1 && process.closeDescriptor("stdin")
                                      ? read_all(process.fromDescriptor("stdout")) : "";
       process.wait(); EXPECT_TRUE(run.gives(started == -1 && output == "one\ntwo\n", started == -5)) << output),
    OP(TProcess_splitArgumentString, const TStr text("first 'second argument' third");
       expect_tstr(run, [&] { return TProcess::splitArgumentString(text); }, "first\rsecond argument\rthird")),
    OP(TTimer_add, TTimer::setManualClock(true, 0);
       const int id = run([] { return TTimer::add(1, [](void*) { return 0; }); });
       EXPECT_TRUE(run.gives(id > 0 && TTimer::getTimer(id) != nullptr, id == -1)); TTimer::remove(id)),
    // ---- locations and locales: the answer with memory to spare, or none --------------
    OP(locations_built_in, const TStr locale("de-de"); expect_same_or_empty(run, {
           [&] { return KeloUtil::getKeloFileLocation(KeloUtil::COMMON_LOCALIZED_DATA, locale); },
           [] { return KeloUtil::getKeloFileLocation(KeloUtil::LOG_FILE, TStr()); }})),
    // Loaded in the run: "$KELO_SWEEP_ROOT" is expanded, never left or
    // emptied, and the built-in folders are never the answer.
    OP(locations_custom, const ScopedEnvironment root("KELO_SWEEP_ROOT", "C:\\Users\\Somebody\\Kelo Sweep");
       const CustomEnvironmentFile custom(custom_environment(
           {{"KELO_COMMON_LOCALIZED_DATA_LOCATION", "$KELO_SWEEP_ROOT\\data"}}));
       const TStr locale("fr_FR");
       const TStr got = run([&] { return KeloUtil::getKeloFileLocation(KeloUtil::COMMON_LOCALIZED_DATA, locale); });
       EXPECT_TRUE(run.gives(got == "C:\\Users\\Somebody\\Kelo Sweep\\data\\fr-FR\\", got.isEmpty())) << shown(got)),
    OP(locales, const TStr abbreviation("DEU"), name("fr-fr"), unsupported("xx_YY"); expect_same_or_empty(run, {
           [&] { return KeloUtil::getKeloInternalLocale(abbreviation, false); },
           [&] { return KeloUtil::getKeloInternalLocale(name, false); },
           [] { return KeloUtil::getKeloDefaultLocale(); },
           [&] { return KeloUtil::getKeloLocaleDir(unsupported); }})),
};

#undef OP

class AllocationFailure : public TempDirTest, public ::testing::WithParamInterface<Operation> {};

TEST_P(AllocationFailure, LeavesNothingAndReportsFailure) {
    for (const bool persist : {false, true}) {
        for (uint32_t n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "allocation " << n << (persist ? " and later ones" : "") << " failing");
            const uint32_t before = memory_allocated();
            FaultRun run{n, persist, root_text_};
            GetParam().run(run);
            ASSERT_EQ(memory_allocated(), before) << "leaked";
            if (!run.failed) break;
            ASSERT_LT(n, 1000u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, AllocationFailure, ::testing::ValuesIn(operations),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
