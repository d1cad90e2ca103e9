/* SPDX-License-Identifier: MIT */
/* The flat interface from a plain C11 program that includes only
 * <keloutil/keloutil.h>. */
#include <keloutil/keloutil.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;
static int checks = 0;

#define CHECK(condition)                                                                  \
    do {                                                                                  \
        ++checks;                                                                         \
        if (!(condition)) {                                                               \
            ++failures;                                                                   \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
        }                                                                                 \
    } while (0)

static void counted_allocator(void) {
    uint32_t before = memory_allocated();
    void* block = memory_allocate(10);
    CHECK(block != NULL && memory_allocated() == before + 14); /* counted with a 4-byte header */
    CHECK(memory_free(block) == 14 && memory_allocated() == before);
}

static void encodings(void) {
    const uint16_t probe = 1;
    const unsigned char little[6] = {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00};
    const unsigned char big[6] = {0xFE, 0xFF, 0x00, 0x41, 0x00, 0x00};
    const unsigned char pair[] = {0x3D, 0xD8, 0x00, 0xDE};
    const unsigned char unpaired[] = {0x3D, 0xD8, 0x41, 0x00};
    str_t* s = str_from_cstr("\x41\xE9\x42"); /* 0xE9 is not ASCII */
    uint16_t* units;
    CHECK(s != NULL && strcmp(s->buffer, "A?B") == 0);
    str_utf8_set(s, "A");
    units = str_utf16_alloc(s); /* host order, with a byte-order mark */
    CHECK(units != NULL && memcmp(units, *(const unsigned char*)&probe == 1 ? little : big, 6) == 0);
    memory_free(units);
    str_set(s, pair, 4, STR_ENC_UTF16LE);
    CHECK(strcmp(s->buffer, "\xF0\x9F\x98\x80") == 0);
    str_set(s, unpaired, 4, STR_ENC_UTF16LE);
    CHECK(str_null(s) && str_last_error_code() == STR_ERR_INVALID_INPUT);
    CHECK(strcmp(str_last_error_message(), "unpaired high surrogate") == 0);
    str_uninit(s);
}

static void read_out_measures_the_whole_buffer(void) {
    char out[16];
    str_t* s = str_from_utf8("hello world"); /* a buffer of 12 bytes */
    const char* buffer = s->buffer;
    str_utf8_set(s, "abc"); /* a shorter text reuses it */
    CHECK(s->buffer == buffer && s->capacity == 12);
    memset(out, '#', sizeof out);
    CHECK(str_get(s, out, 12, STR_ENC_UTF8) == 0 && out[0] == '#'); /* refused: nothing written */
    CHECK(str_get(s, out, 13, STR_ENC_UTF8) == 13 && strcmp(out, "abc") == 0);
    CHECK(str_get(s, out, 9, STR_ENC_UTF16LE) == 0);
    CHECK(str_get(s, out, 10, STR_ENC_UTF16LE) == 10 && memcmp(out, "a\0b\0c\0\0\0", 8) == 0);
    str_uninit(s);
}

/* Keys that are NUL-terminated strings, owned by the map. */
static uint32_t string_size(hashmap_t* map, const void* text) { (void)map; return (uint32_t)strlen(text) + 1; }
static int32_t string_equal(hashmap_t* map, const void* a, const void* b) { (void)map; return strcmp(a, b) == 0; }
static uint32_t string_hash(hashmap_t* map, const void* text) {
    const unsigned char* p = text;
    uint32_t h = 5381;
    (void)map;
    while (*p) h = h * 33 + *p++;
    return h;
}

static void string_keyed_map(void) {
    hashmap_info_t info = {0};
    hashmap_t* map;
    hashmapiter_t* found;
    char key[16] = "alpha";
    info.key_size_of = string_size;
    info.key_hash = string_hash;
    info.key_equal = string_equal;
    info.flags = HASHMAP_OWN_KEYS;
    map = hashmap_init(8, &info);
    CHECK(map != NULL);
    hashmap_insert(map, key, (void*)1);
    strcpy(key, "beta"); /* the map holds its own copy of "alpha" */
    hashmap_insert(map, key, (void*)2);
    hashmap_insert(map, key, (void*)3); /* replaces */
    CHECK(hashmap_count(map) == 2);
    found = hashmap_find(map, "alpha");
    CHECK(hashmapiter_dereference(found) == (void*)1);
    hashmapiter_uninit(found);
    CHECK(hashmap_has(map, "beta") && !hashmap_has(map, "gamma"));
    hashmap_remove(map, "alpha");
    CHECK(hashmap_count(map) == 1);
    hashmap_uninit(map);
}

static void list_of_owned_elements(void) {
    static const char names[3][8] = {"alpha", "beta", "gamma"};
    const char key[8] = "beta";
    list_info_t info = {0};
    list_t* list;
    list_iter_t* found;
    char* last;
    int i;
    info.elem_size = 8; /* the list keeps its own 8-byte copies */
    list = list_init(&info);
    CHECK(list != NULL);
    for (i = 0; i < 3; ++i) CHECK(list_push(list, names[i]) != NULL);
    CHECK(list_index(list, key) == 1); /* content rule: the bytes match */
    found = list_find(list, key);      /* find rule: pointers, so no match */
    CHECK(list_iter_entry(found) == NULL);
    list_iter_uninit(found);
    CHECK(list_remove(list, key) == 1);
    last = (char*)list_pop(list); /* the copy of gamma is now ours */
    CHECK(strcmp(last, "gamma") == 0 && list_count(list) == 1);
    memory_free(last);
    list_uninit(list);
}

static void version(void) {
    const int32_t* numbers = keloUtilBuildInformation();
    CHECK(strcmp(keloUtilVersionString(), "5.0.31.0") == 0);
    CHECK(strcmp(keloUtilVersionModifierString(), "a") == 0);
    CHECK(strcmp(keloUtilFrameworkVersionString(), "5a") == 0);
    CHECK(numbers[0] == 5 && numbers[1] == 0 && numbers[2] == 31 && numbers[3] == 0);
}

int main(void) {
    uint32_t before = memory_allocated();
    counted_allocator();
    encodings();
    read_out_measures_the_whole_buffer();
    string_keyed_map();
    list_of_owned_elements();
    version();
    CHECK(memory_allocated() == before);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
