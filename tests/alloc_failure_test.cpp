// Every allocating operation run with its n-th allocation failing, for
// n = 1, 2, ... until it completes without reaching the failure: once with
// that one allocation failing, once with all from it on. Each run must leave
// the byte total where it was and give the full result or, only after a
// failure, the result that stands for one. Built against the library's
// fault-injection variant (memory_internal.h).
#include "test_support.hpp"

#include "memory_internal.h"

#include <keloutil/keloutil.hpp>

#include <cwchar>
#include <functional>

namespace {

// One run: calls the operation with the failure armed.
class FaultRun {
public:
    FaultRun(uint32_t n, bool persist, const std::string& root) : root(root), n_(n), persist_(persist) {}

    template <class Op>
    auto operator()(Op op) {
        struct Disarm {
            FaultRun& run;
            ~Disarm() {
                run.failed_ = keloutil::memory_attempts() >= run.n_;
                keloutil::memory_fail_after(0, false);
            }
        } disarm{*this};
        keloutil::memory_fail_after(n_, persist_);
        return op();
    }

    bool failed() const { return failed_; }
    bool first_failed() const { return failed_ && n_ == 1; }
    // The full result, or after a failure the failure result.
    bool gives(bool done, bool failure) const { return done || (failed_ && failure); }

    const std::string& root; // a fresh directory, in the library's form

private:
    uint32_t n_;
    bool persist_;
    bool failed_ = false;
};

// Lends constant text as a record, for operands that are only read: making
// them allocates nothing.
struct Lit {
    str_t record;
    explicit Lit(const char* text) : record{const_cast<char*>(text), static_cast<int32_t>(std::strlen(text)) + 1} {}
    operator str_t*() { return &record; }
};

std::string shown(const TStr& s) { return shown(static_cast<const str_t*>(s.handle())); }

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

// ---- lists of 2-byte texts, copied ----------------------------------------------

list_info_t two_bytes = {nullptr, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

using List = std::unique_ptr<list_t, decltype(&list_uninit)>;
List own(list_t* list) { return List(list, list_uninit); }
List letters(const char* text) {
    List list = own(list_init(&two_bytes));
    for (; *text != '\0'; ++text) list_push(list.get(), std::string(1, *text).c_str());
    return list;
}

// The first byte of each element, '0' for a null one; "broken" when the
// prev chain or the count disagrees.
std::string elements(const List& list) {
    std::string forward, backward;
    const auto first = [](const list_entry_t* e) { return e->data ? *static_cast<const char*>(e->data) : '0'; };
    for (const list_entry_t* e = list->head; e != nullptr; e = e->next) forward += first(e);
    for (const list_entry_t* e = list->tail; e != nullptr; e = e->prev) backward.insert(0, 1, first(e));
    return forward == backward && static_cast<size_t>(list->count) == forward.size() ? forward : "broken";
}

// The full list, with null elements where their storage failed.
bool with_nulls(const std::string& got, const std::string& full) {
    if (got.size() != full.size()) return false;
    for (size_t i = 0; i < got.size(); ++i)
        if (got[i] != full[i] && got[i] != '0') return false;
    return true;
}

// An element "c" added to "ab": no entry when the entry (the first
// allocation) failed, else an entry that holds null when its storage failed.
template <class Op>
void expect_added(FaultRun& run, Op op, const char* full) {
    List list = letters("ab");
    const list_entry_t* entry = run([&] { return op(list.get()); });
    const bool failure = run.first_failed() ? entry == nullptr && elements(list) == "ab"
                                            : entry != nullptr && entry->data == nullptr && with_nulls(elements(list), full);
    EXPECT_TRUE(run.gives(entry != nullptr && elements(list) == full, failure)) << elements(list);
}

// ---- maps: owned texts, and numbers stored as themselves ------------------------

uint32_t text_size(hashmap_t*, const void* text) { return static_cast<uint32_t>(std::strlen(static_cast<const char*>(text)) + 1); }
uint32_t first_byte(hashmap_t*, const void* text) { return static_cast<unsigned char>(*static_cast<const char*>(text)); }
int32_t same_text(hashmap_t*, const void* a, const void* b) { return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0; }
hashmap_info_t texts = {nullptr, 0, 0, nullptr, text_size, text_size, same_text, first_byte, nullptr, nullptr, nullptr,
                        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, HASHMAP_OWN_KEYS | HASHMAP_OWN_VALUES};

using Map = std::unique_ptr<hashmap_t, decltype(&hashmap_uninit)>;
Map own(hashmap_t* map) { return Map(map, hashmap_uninit); }
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
            text += std::string(static_cast<const char*>(e->key)) + "=" + static_cast<const char*>(e->value) + " ";
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

struct Operation {
    const char* name;
    void (*run)(FaultRun&);
};

void PrintTo(const Operation& op, std::ostream* os) { *os << op.name; }

const Operation operations[] = {
    // ---- strings -------------------------------------------------------------------
    {"str_init", [](FaultRun& run) { expect_new(run, [] { return str_init(); }, "<null>"); }},
    {"str_from", [](FaultRun& run) { expect_new(run, [] { return str_from("A\0\xE9\0", 4, STR_ENC_UTF16LE); }, "A\xC3\xA9", true); }},
    {"str_dup", [](FaultRun& run) { expect_new(run, [] { return str_dup(Lit("ab")); }, "ab", true); }},
    {"str_set", [](FaultRun& run) { expect_edit(run, "ab", [](str_t* s) { str_set(s, "x\0y\0z\0", 6, STR_ENC_UTF16LE); }, "xyz", "<null>"); }},
    {"str_cpy", [](FaultRun& run) { expect_grown(run, "ab", [](str_t* s) { return str_cpy(Lit("xyz"), s); }, 3, "xyz"); }},
    {"str_cat", [](FaultRun& run) { expect_grown(run, "ab", [](str_t* s) { return str_cat(s, Lit("cd")); }, 4, "abcd"); }},
    {"str_cat_utf8_limit", [](FaultRun& run) { expect_grown(run, "ab", [](str_t* s) { return str_cat_utf8_limit(s, "\xC3\xA9xy", 2); }, 5, "ab\xC3\xA9x"); }},
    {"str_buffer", [](FaultRun& run) {
         Str s = make("ab");
         const char* buffer = run([&] { return str_buffer(s.get(), 9); });
         EXPECT_TRUE(run.gives(buffer != nullptr && s->capacity == 10, buffer == nullptr && s->capacity == 3));
     }},
    {"str_alloc", [](FaultRun& run) {
         Block block = own_block(run([] { return str_alloc(Lit("A\xC3\xA9"), STR_ENC_UTF16BE); }));
         EXPECT_TRUE(run.gives(block && bytes(block.get(), 6) == std::string("\0A\0\xE9\0\0", 6), !block));
     }},
    {"str_wchar_alloc", [](FaultRun& run) {
         Block block = own_block(run([] { return str_wchar_alloc(Lit("A\xC3\xA9")); }));
         EXPECT_TRUE(run.gives(block && std::wcscmp(static_cast<wchar_t*>(block.get()), L"A\u00E9") == 0, !block));
     }},
    {"str_left", [](FaultRun& run) { expect_new(run, [] { return str_left(Lit("h\xC3\xA9llo"), 2); }, "h\xC3\xA9"); }},
    {"str_right", [](FaultRun& run) { expect_new(run, [] { return str_right(Lit("hello"), 3); }, "llo"); }},
    {"str_mid", [](FaultRun& run) { expect_new(run, [] { return str_mid(Lit("abcdef"), 2, 3); }, "cde"); }},
    {"str_pad", [](FaultRun& run) { expect_new(run, [] { return str_pad(Lit("ab"), 5); }, "ababa"); }},
    {"str_push", [](FaultRun& run) { expect_edit(run, "a;b", [](str_t* s) { str_push(s, Lit("c"), Lit(";")); }, "a;b;c"); }},
    {"str_unshift", [](FaultRun& run) { expect_edit(run, "b", [](str_t* s) { str_unshift(s, Lit("a"), Lit(";")); }, "a;b"); }},
    {"str_pop", [](FaultRun& run) { expect_taken(run, "a;b;;c", [](str_t* s) { return str_pop(s, Lit(";"), nullptr); }, "c", "a;b"); }},
    {"str_pop_str", [](FaultRun& run) { expect_taken(run, "a\\b", [](str_t* s) { return str_pop_str(s, Lit("\\")); }, "b", "a"); }},
    {"str_shift", [](FaultRun& run) { expect_taken(run, "a;;b", [](str_t* s) { return str_shift(s, Lit(";"), nullptr); }, "a", "b"); }},
    {"str_shift_str", [](FaultRun& run) { // no separator: the whole list is the item
         expect_taken(run, "a:b", [](str_t* s) { return str_shift_str(s, Lit("::")); }, "a:b", "<null>");
     }},
    {"str_replace", [](FaultRun& run) { expect_edit(run, "a-b-c", [](str_t* s) { str_replace(s, Lit("-"), Lit("+-+")); }, "a+-+b+-+c"); }},
    {"str_replace_all", [](FaultRun& run) { expect_new(run, [] { return str_replace_all(Lit(";a;;b;"), Lit(";"), Lit("-")); }, "a-b"); }},
    {"str_from_huge", [](FaultRun& run) { expect_new(run, [] { return str_from_huge(-255, 16); }, "-ff"); }},
    {"str_arg_str", [](FaultRun& run) { expect_new(run, [] { return str_arg_str(Lit("%2<%1>"), Lit("ab"), 4, '*'); }, "%2<**ab>"); }},
    {"str_arg_double", [](FaultRun& run) { expect_new(run, [] { return str_arg_double(Lit("x%1"), 0.5, -5, 'f', 1, 0); }, "x0.5  "); }},
    {"str_find", [](FaultRun& run) { // case-insensitive: on copies
         const int32_t at = run([] { return str_find(Lit("hello"), Lit("LO"), 0, 0); });
         EXPECT_TRUE(run.gives(at == 3, at == -1));
     }},
    // Transformations do what they can: only nothing may be left behind.
    {"str_collapse", [](FaultRun& run) {
         Str s = make("a b{c");
         run([&] { str_collapse(s.get(), Lit(" ")); });
         EXPECT_TRUE(run.gives(shown(s) == "a!{20}b!{7b}c", true));
     }},
    {"str_expand", [](FaultRun& run) {
         Str s = make("x!{41}y!{e9}");
         run([&] { str_expand(s.get()); });
         EXPECT_TRUE(run.gives(shown(s) == "xAy\xC3\xA9", true));
     }},
    // ---- lists -----------------------------------------------------------------------
    {"list_init", [](FaultRun& run) {
         List list = own(run([] { return list_init(&two_bytes); }));
         EXPECT_TRUE(run.gives(list && list_info(list.get()) == &two_bytes, !list));
     }},
    {"list_push", [](FaultRun& run) { expect_added(run, [](list_t* l) { return list_push(l, "c"); }, "abc"); }},
    {"list_unshift", [](FaultRun& run) { expect_added(run, [](list_t* l) { return list_unshift(l, "c"); }, "cab"); }},
    {"list_insert_after", [](FaultRun& run) { expect_added(run, [](list_t* l) { return list_insert_after(l, 0, "c"); }, "acb"); }},
    {"list_insert_before", [](FaultRun& run) { expect_added(run, [](list_t* l) { return list_insert_before(l, 1, "c"); }, "acb"); }},
    {"list_append", [](FaultRun& run) { // all appended, some as null, or none
         List list = letters("ab"), source = letters("cd");
         const int32_t done = run([&] { return list_append(list.get(), source.get()); });
         EXPECT_TRUE(run.gives(done == 1 && elements(list) == "abcd", done == 1 ? with_nulls(elements(list), "abcd") : elements(list) == "ab"));
     }},
    {"list_dup", [](FaultRun& run) {
         List list = letters("abc");
         List copy = own(run([&] { return list_dup(list.get()); }));
         EXPECT_TRUE(run.gives(copy && elements(copy) == "abc", !copy || with_nulls(elements(copy), "abc")));
     }},
    {"list_iterators", [](FaultRun& run) { // at their entry, or none
         List list = letters("abc");
         list_entry_t* const b = list->head->next;
         const std::pair<list_entry_t*, list_iter_t* (*)(list_t*)> makers[] = {
             {b, [](list_t* l) { return list_at(l, 1); }}, {b, [](list_t* l) { return list_find(l, l->head->next->data); }},
             {b, [](list_t* l) { return list_iter_init(l, l->head->next); }}, {list->head, list_begin}, {nullptr, list_end}};
         for (const auto& maker : makers) {
             list_iter_t* iter = run([&] { return maker.second(list.get()); });
             EXPECT_TRUE(run.gives(iter != nullptr && list_iter_entry(iter) == maker.first, iter == nullptr));
             list_iter_uninit(iter);
         }
     }},
    // ---- hash maps -------------------------------------------------------------------
    {"hashmap_init", [](FaultRun& run) {
         Map map = own(run([] { return hashmap_init(8, nullptr); }));
         EXPECT_TRUE(run.gives(map && hashmap_bucket_count(map.get()) == 8 && hashmap_info(map.get()) != nullptr, !map));
     }},
    {"hashmap_insert", [](FaultRun& run) { expect_inserted(run, "i", "3", "a=1 e=2 i=3 "); }},
    {"hashmap_insert_replacing", [](FaultRun& run) { expect_inserted(run, "e", "22", "a=1 e=22 "); }},
    {"hashmap_duplicate", [](FaultRun& run) {
         Map map = text_map();
         Map copy = own(run([&] { return hashmap_duplicate(map.get()); }));
         EXPECT_TRUE(run.gives(copy && pairs(copy) == "a=1 e=2 " && hashmap_allocated(copy.get()) == hashmap_allocated(map.get()), !copy));
     }},
    {"hashmap_duplicate_default_info", [](FaultRun& run) {
         Map map = number_map();
         Map copy = own(run([&] { return hashmap_duplicate(map.get()); }));
         EXPECT_TRUE(run.gives(copy && hashmap_count(copy.get()) == 3 && hashmap_info(copy.get()) != hashmap_info(map.get()), !copy));
     }},
    {"hashmap_iterators", [](FaultRun& run) { // at the key (0: the end), or none; the byte count comes back
         Map map = number_map();
         hashmapiter_t* second = hashmap_begin(map.get());
         hashmapiter_next(second);
         const std::pair<uintptr_t, std::function<hashmapiter_t*(hashmap_t*)>> makers[] = {
             {5, [](hashmap_t* m) { return hashmap_find(m, number(5)); }}, {0, [](hashmap_t* m) { return hashmap_find(m, number(3)); }},
             {1, hashmap_begin}, {0, hashmap_end}, {1, hashmapiter_init}, {5, [&](hashmap_t*) { return hashmapiter_init_from(second); }},
             {5, [](hashmap_t* m) { return hashmapiter_init_from_entry(m, m->buckets[1]->next); }}};
         for (const auto& maker : makers) {
             const uint32_t held = hashmap_allocated(map.get());
             hashmapiter_t* iter = run([&] { return maker.second(map.get()); });
             EXPECT_TRUE(run.gives(iter != nullptr && hashmapiter_key(iter) == number(maker.first), iter == nullptr));
             hashmapiter_uninit(iter);
             EXPECT_EQ(hashmap_allocated(map.get()), held);
         }
         hashmapiter_uninit(second);
     }},
    // ---- paths -----------------------------------------------------------------------
    {"path_cwd", [](FaultRun& run) { expect_new(run, [] { return path_cwd(); }, shown(own(path_cwd())).c_str()); }},
    {"path_absolute", [](FaultRun& run) {
         expect_new(run, [] { return path_absolute(Lit("sub\\f")); }, (shown(own(path_cwd())) + "\\sub\\f").c_str());
     }},
    {"path_push", [](FaultRun& run) { expect_edit(run, "C:\\a\\", [](str_t* p) { path_push(p, Lit("\\b")); }, "C:\\a\\b"); }},
    {"path_unshift", [](FaultRun& run) { expect_edit(run, "b", [](str_t* p) { path_unshift(p, Lit("C:\\a")); }, "C:\\a\\b"); }},
    {"path_pop", [](FaultRun& run) { expect_taken(run, "C:\\a\\b.txt", [](str_t* p) { return path_pop(p); }, "b.txt", "C:\\a"); }},
    {"path_shift", [](FaultRun& run) { expect_taken(run, "a\\b\\c", [](str_t* p) { return path_shift(p); }, "a", "b\\c"); }},
    {"path_ext", [](FaultRun& run) { expect_new(run, [] { return path_ext(Lit("C:\\a.d\\b.tar.gz")); }, "gz"); }},
    {"path_basename", [](FaultRun& run) { expect_new(run, [] { return path_basename(Lit("C:\\d\\f.txt")); }, "f.txt"); }},
    {"path_dirname", [](FaultRun& run) { expect_new(run, [] { return path_dirname(Lit("C:\\d\\f.txt")); }, "C:\\d"); }},
    {"path_exists", [](FaultRun& run) {
         const int32_t exists = run([&] { return path_exists(Lit(run.root.c_str())); });
         EXPECT_TRUE(run.gives(exists == 1, exists == 0));
     }},
    // ---- TStr and TPath: a failed copy holds no text, a failed edit changes nothing ---
    {"TStr_from_text", [](FaultRun& run) { const TStr s = run([] { return TStr("ab"); }); EXPECT_TRUE(run.gives(s == "ab", s.isNull())); }},
    {"TStr_append", [](FaultRun& run) {
         TStr s("ab");
         run([&] { s += "cd"; });
         EXPECT_TRUE(run.gives(s == "abcd", s == "ab")) << shown(s);
     }},
    {"TStr_sum", [](FaultRun& run) { // the sum, a failed copy, or the copy that a failed append left
         const TStr s("ab");
         const TStr sum = run([&] { return s + "cd"; });
         EXPECT_TRUE(run.gives(sum == "abcd", sum.isNull() || sum == "ab")) << shown(sum);
     }},
    {"TStr_toUtf16LE", [](FaultRun& run) {
         const TStr s("ab");
         const uint16_t* text = run([&] { return s.toUtf16LE(); });
         EXPECT_TRUE(run.gives(text != nullptr && bytes(text, 6) == std::string("a\0b\0\0\0", 6), text == nullptr));
     }},
    {"TStr_replaceAll", [](FaultRun& run) {
         TStr s(";a;;b;");
         const TStr set(";"), joiner("-");
         run([&] { s.replaceAll(set, joiner); });
         EXPECT_TRUE(run.gives(s == "a-b", s == ";a;;b;")) << shown(s);
     }},
    {"TStr_pop", [](FaultRun& run) {
         TStr s("a;b");
         const TStr set(";");
         const TStr item = run([&] { return s.pop(set); });
         EXPECT_TRUE(run.gives(item == "b" && s == "a", item.isNull() && s == "a;b"));
     }},
    {"TStr_arg", [](FaultRun& run) { const TStr s = run([] { return TStr("<%1>").arg(42, 3); }); EXPECT_TRUE(run.gives(s == "< 42>", s.isNull())); }},
    {"TPath_sum", [](FaultRun& run) {
         const TPath path("C:\\a");
         const TPath joined = run([&] { return path + "b"; });
         EXPECT_TRUE(run.gives(joined == "C:\\a\\b", joined.isNull() || joined == "C:\\a")) << shown(joined);
     }},
    {"TPath_dirPath", [](FaultRun& run) {
         const TPath path("C:\\a\\b.txt");
         const TPath directory = run([&] { return path.dirPath(false); });
         EXPECT_TRUE(run.gives(directory == "C:\\a", directory.isNull())) << shown(directory);
     }},
    {"TPath_mkpath", [](FaultRun& run) { // made, or false
         static int made = 0;
         TPath path((run.root + "\\" + std::to_string(++made) + "\\b").c_str());
         const bool done = run([&] { return path.mkpath(0); });
         EXPECT_TRUE(run.gives(done && path.isDir(), !done));
     }},
};

class AllocationFailure : public TempDirTest, public ::testing::WithParamInterface<Operation> {};

TEST_P(AllocationFailure, LeavesNothingAndReportsFailure) {
    for (const bool persist : {false, true}) {
        for (uint32_t n = 1;; ++n) {
            SCOPED_TRACE(testing::Message() << "allocation " << n << (persist ? " and later ones" : "") << " failing");
            const uint32_t before = memory_allocated();
            FaultRun run(n, persist, root_text_);
            GetParam().run(run);
            ASSERT_EQ(memory_allocated(), before) << "leaked";
            if (!run.failed()) break;
            ASSERT_LT(n, 1000u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, AllocationFailure, ::testing::ValuesIn(operations),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
