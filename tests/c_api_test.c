/* SPDX-License-Identifier: MIT */
/* The flat interface from a plain C11 program that includes only
 * <keloutil/keloutil.h>: one call per header, through the records and
 * callback types as a C caller declares them. What the calls do is tested
 * in the C++ suite. */
#include <keloutil/keloutil.h>

#include <stdio.h>
#include <string.h>

/* The records keep the integer widths that callers in other languages lay
 * out by hand. */
_Static_assert(sizeof(((str_t*)0)->capacity) == 4, "str_t.capacity is 32 bits");
_Static_assert(sizeof(((list_info_t*)0)->elem_size) == 4, "list_info_t.elem_size is 32 bits");
_Static_assert(sizeof(((list_t*)0)->count) == 4, "list_t.count is 32 bits");
_Static_assert(sizeof(((hashmap_info_t*)0)->flags) == 4, "hashmap_info_t.flags is 32 bits");
_Static_assert(MEMORY_HEADER_SIZE == 4, "a block's header is 4 bytes");

static int failures = 0;

/* Counts and reports a failed check, then goes on. */
#define CHECK(condition) \
    ((condition) ? (void)0 : (void)(++failures, fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition)))

/* Keys that are NUL-terminated strings, owned by the map. */
static uint32_t string_size(hashmap_t* map, const void* text) { (void)map; return (uint32_t)strlen(text) + 1; }
static int32_t string_equal(hashmap_t* map, const void* a, const void* b) { (void)map; return strcmp(a, b) == 0; }
static uint32_t string_hash(hashmap_t* map, const void* text) { (void)map; return (uint32_t)strlen(text); }

int main(void) {
    const uint32_t before = memory_allocated();
    const int32_t* numbers = keloUtilBuildInformation();
    char out[16];
    str_t* s = str_from_utf8("a/b");
    list_info_t list_info = {0};
    list_t* list;
    hashmap_info_t map_info = {0};
    hashmap_t* map;
    char key[8] = "alpha";

    void* block = memory_allocate(10);
    CHECK(block != NULL && memory_free(block) == 10 + MEMORY_HEADER_SIZE);

    CHECK(s != NULL && s->capacity == 4 && str_get(s, out, 16, STR_ENC_UTF16LE) == 10);
    path_localise(s);
    CHECK(strcmp(s->buffer, "a\\b") == 0);
    str_uninit(s);

    list_info.elem_size = 8; /* the list keeps its own copies */
    list = list_init(&list_info);
    CHECK(list != NULL && list_push(list, key) != NULL && list->count == 1 && list_index(list, key) == 0);
    list_uninit(list);

    map_info.key_size_of = string_size;
    map_info.key_hash = string_hash;
    map_info.key_equal = string_equal;
    map_info.flags = HASHMAP_OWN_KEYS;
    map = hashmap_init(8, &map_info);
    CHECK(map != NULL && hashmap_insert(map, key, NULL) != NULL);
    CHECK(hashmap_has(map, "alpha") && !hashmap_has(map, "beta"));
    hashmap_uninit(map);

    CHECK(strcmp(keloUtilVersionString(), "5.0.31.0") == 0);
    CHECK(strcmp(keloUtilVersionModifierString(), "a") == 0);
    CHECK(strcmp(keloUtilFrameworkVersionString(), "5a") == 0);
    CHECK(numbers[0] == 5 && numbers[1] == 0 && numbers[2] == 31 && numbers[3] == 0);

    CHECK(memory_allocated() == before);
    printf("%s\n", failures == 0 ? "passed" : "failed");
    return failures == 0 ? 0 : 1;
}
