// SPDX-License-Identifier: MIT
// Lists: linking, positions, the descriptor's ownership and matching rules
// and iterators (allocation failures: alloc_failure_test.cpp).
#include "test_support.hpp"

namespace {

// A list of pointers to the characters of `text` (which must outlive it).
List pointers(const char* text, list_info_t* info = nullptr) {
    List list = own(list_init(info));
    for (const char* c = text; *c != '\0'; ++c) list_push(list.get(), c);
    return list;
}

// Keys of several lengths and the position each finds in ["xyz", "abc"]
// by content.
const struct { const char* key; int32_t index; } content_cases[] = {
    {"abc", 1}, {"ab", 1}, {"abcz", 1}, {"abd", -1}, {"x", 0}, {"", 0}, {"q", -1}};

// For elem_size_of: a key of content_cases its length, anything else a
// 3-byte record.
uint32_t record_size(list_t*, const void* data) {
    for (const auto& c : content_cases)
        if (c.key == data) return static_cast<uint32_t>(std::strlen(c.key));
    return 3;
}

// Asymmetric on purpose, so that argument order shows: b is a multiple of a.
int32_t divides(const void* a, const void* b) { return *static_cast<const int*>(b) % *static_cast<const int*>(a) == 0; }

int destroyed = 0;
void* create_doubled(list_t*, const void* data) {
    const int value = *static_cast<const int*>(data);
    if (value == 0) return nullptr; // the list then stores the caller's pointer
    auto* made = static_cast<int*>(memory_allocate(sizeof(int)));
    *made = value * 2;
    return made;
}
void destroy_counted(list_t*, void* data) {
    ++destroyed;
    if (*static_cast<int*>(data) != 0) memory_free(data);
}

const void* found(list_t* list, const void* key) { return list_iter_dereference(own(list_find(list, key)).get()); }

} // namespace

using ListTest = LeakCheckedTest;

// Inserting 'x' into "AB" (alloc_failure_test.cpp inserts after the first
// element): before or after either end, or at a position out of range.
TEST_F(ListTest, InsertsAtThePositionAndKeepsBothChains) {
    const struct { bool after; int32_t index; const char* expected; } cases[] = {
        {true, 1, "ABx"}, {true, 2, "ABx"}, {true, -1, "ABx"}, {false, 0, "xAB"},
        {false, 1, "AxB"}, {false, -5, "xAB"}, {false, 2, "ABx"}};
    const char x = 'x';
    for (const auto& c : cases) {
        List list = pointers("AB");
        list_entry_t* entry = (c.after ? list_insert_after : list_insert_before)(list.get(), c.index, &x);
        EXPECT_TRUE(entry != nullptr && entry->data == &x) << c.after << c.index;
        EXPECT_EQ(elements(list.get()), c.expected) << c.after << c.index;
    }
}

TEST_F(ListTest, PointerListsStoreTheCallersPointersAndNeverReleaseThem) {
    list_info_t zero = {};
    const char* text = "ABC";
    for (list_info_t* info : {static_cast<list_info_t*>(nullptr), &zero}) {
        const uint32_t before = memory_allocated();
        List list = pointers(text, info);
        EXPECT_EQ(memory_allocated() - before, sizeof(list_t) + 3 * sizeof(list_entry_t) + 4 * MEMORY_HEADER_SIZE);
        EXPECT_EQ(list_pop(list.get()), text + 2);
        EXPECT_EQ(elements(list.get()), "AB");
        EXPECT_EQ(list_remove_entry(list.get(), list->head), list->tail);
        EXPECT_EQ(list_remove_entry(list.get(), list->tail), nullptr);
        EXPECT_EQ(list_shift(list.get()), nullptr);
        list_unshift(list.get(), text + 2);
        list_clear(list.get()); // must not touch the caller's text
        EXPECT_TRUE(list_is_empty(list.get()) && list_pop(list.get()) == nullptr);
    }
}

TEST_F(ListTest, FixedSizeListsCopyAndMatchByContent) {
    list_info_t info = {};
    info.elem_size = 8;
    List list = own(list_init(&info));
    char buffer[8] = "abcdefg";
    const char same[8] = "abcdefg";
    list_entry_t* entry = list_push(list.get(), buffer);
    buffer[0] = 'z';
    EXPECT_EQ(std::memcmp(entry->data, same, 8), 0);
    EXPECT_EQ(found(list.get(), same), nullptr); // find compares pointers
    EXPECT_TRUE(list_index(list.get(), same) == 0 && list_index(list.get(), buffer) == -1);
    EXPECT_EQ(list_index(list.get(), nullptr), -1);
    list_push(list.get(), buffer);
    Block popped = own_block(list_pop(list.get())); // the caller's block now
    EXPECT_EQ(std::memcmp(popped.get(), buffer, 8), 0);
    EXPECT_EQ(list_remove(list.get(), buffer), 0);
    ASSERT_EQ(list_append(list.get(), list.get()), 1); // stops at the old tail
    EXPECT_TRUE(list_count(list.get()) == 2 && list->head->data != list->tail->data);
    List copy = own(list_dup(list.get())); // the content: alloc_failure_test.cpp
    EXPECT_NE(copy->tail->data, list->tail->data);
    EXPECT_EQ(list_remove(list.get(), same), 1); // its copy goes with it (leak check)
    EXPECT_EQ(list_index(list.get(), same), 0);
}

TEST_F(ListTest, SizedContentComparesTheShorterLength) {
    list_info_t info = {};
    info.elem_size_of = record_size;
    List list = own(list_init(&info));
    const char records[] = "xyzabc";
    list_push(list.get(), records);
    list_push(list.get(), records + 3);
    for (const auto& c : content_cases) EXPECT_EQ(list_index(list.get(), c.key), c.index) << c.key;
}

TEST_F(ListTest, DescriptorCallbacksMakeCopyAndRelease) {
    list_info_t info = {};
    info.create = create_doubled;
    info.destroy = destroy_counted;
    destroyed = 0;
    int values[] = {1, 2, 0, 3};
    List list = own(list_init(&info));
    for (int& v : values) list_push(list.get(), &v);
    EXPECT_EQ(list->tail->prev->data, &values[2]);
    Block taken = own_block(list_shift(list.get())); // handed over, not destroyed
    EXPECT_EQ(*static_cast<int*>(taken.get()), 2);
    list_remove_entry(list.get(), list->head);
    EXPECT_EQ(destroyed, 1);
    list.reset();
    EXPECT_EQ(destroyed, 3);

    list_info_t copying = {};
    copying.elem_size = sizeof(int);
    copying.copy = [](list_t*, void* to, const void* from) { *static_cast<int*>(to) = -*static_cast<const int*>(from); };
    EXPECT_EQ(*static_cast<int*>(list_push(own(list_init(&copying)).get(), &values[1])->data), -2);
}

// Equal lists have the same descriptor and length and equal elements; an
// equal callback's argument order depends on the rule.
TEST_F(ListTest, EqualityAndTheEqualCallback) {
    list_info_t info = {};
    List ab = pointers("AB"), copy = own(list_dup(ab.get())), a = own(list_dup(ab.get())); // the same pointers
    list_pop(a.get());
    EXPECT_EQ(list_equal(own(list_init(nullptr)).get(), own(list_init(&info)).get()), 0); // both empty
    EXPECT_TRUE(list_equal(a.get(), ab.get()) == 0 && list_equal(ab.get(), a.get()) == 0);
    EXPECT_EQ(list_equal(ab.get(), copy.get()), 1);
    list_set_info(copy.get(), &info);
    EXPECT_EQ(list_equal(ab.get(), copy.get()), 0);

    info.equal = divides;
    int values[] = {4, 6}, multiples[] = {8, 18};
    List list = own(list_init(&info)), other = own(list_init(&info));
    for (int i = 0; i < 2; ++i) list_push(list.get(), &values[i]), list_push(other.get(), &multiples[i]);
    const int two = 2, twelve = 12;
    EXPECT_TRUE(found(list.get(), &two) == nullptr && found(list.get(), &twelve) == &values[0]); // equal(element, key)
    EXPECT_TRUE(list_index(list.get(), &two) == 0 && list_index(list.get(), &twelve) == -1); // equal(key, element)
    EXPECT_TRUE(list_equal(list.get(), other.get()) == 1 && list_equal(other.get(), list.get()) == 0); // (a's, b's)
}

TEST_F(ListTest, IteratorsStepToTheEndAndStayThere) {
    const char* text = "ABCDEFG";
    List list = pointers(text), other = own(list_init(nullptr));
    ListIter end = own(list_end(list.get()));
    for (int32_t i = -1; i <= 7; ++i) { // list_at walks from either end
        ListIter at = own(list_at(list.get(), i));
        EXPECT_EQ(list_iter_dereference(at.get()), i < 0 || i == 7 ? nullptr : text + i) << i;
        EXPECT_EQ(list_iter_equal(at.get(), end.get()), i < 0 || i == 7) << i;
    }
    ListIter it = own(list_iter_init(list.get(), list->tail->prev));
    EXPECT_TRUE(list_iter_next(it.get()) == 1 && list_iter_next(it.get()) == 0);
    EXPECT_TRUE(list_iter_equal(it.get(), end.get()) && list_iter_next(it.get()) == 0);
    EXPECT_TRUE(list_iter_not_equal(end.get(), own(list_end(other.get())).get())); // another list's end
    EXPECT_TRUE(list_iter_equal(own(list_begin(other.get())).get(), own(list_end(other.get())).get()));
    EXPECT_EQ(list_iter_next(nullptr), 0);
}
