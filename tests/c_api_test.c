/* The flat interface from a plain C11 program that includes only
 * <keloutil/keloutil.h>. */
#include <keloutil/keloutil.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;
static int checks = 0;

#define CHECK(condition)                                                    \
    do {                                                                    \
        ++checks;                                                           \
        if (!(condition)) {                                                 \
            ++failures;                                                     \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                    #condition);                                            \
        }                                                                   \
    } while (0)

static int host_is_little_endian(void) {
    const uint16_t probe = 1;
    return *(const unsigned char*)&probe == 1;
}

static void counted_allocator(void) {
    uint32_t before = memory_allocated();
    void* block = memory_allocate(10);
    CHECK(block != NULL);
    CHECK(memory_allocated() == before + 14);
    CHECK(memory_free(block) == 14);
    CHECK(memory_allocated() == before);
}

static void ascii_input(void) {
    str_t* s = str_from_cstr("\x41\xE9\x42");
    CHECK(s != NULL && strcmp(s->buffer, "A?B") == 0);
    str_uninit(s);
}

static void marked_utf16_output(void) {
    str_t* s = str_from_cstr("A");
    uint16_t* units = str_utf16_alloc(s);
    const unsigned char little[6] = {0xFF, 0xFE, 0x41, 0x00, 0x00, 0x00};
    const unsigned char big[6] = {0xFE, 0xFF, 0x00, 0x41, 0x00, 0x00};
    CHECK(units != NULL && memcmp(units, host_is_little_endian() ? little : big, 6) == 0);
    memory_free(units);
    str_uninit(s);
}

static void surrogate_pairs(void) {
    const unsigned char pair[] = {0x3D, 0xD8, 0x00, 0xDE};
    const unsigned char unpaired[] = {0x3D, 0xD8, 0x41, 0x00};
    str_t* s = str_from(pair, 4, STR_ENC_UTF16LE);
    CHECK(strcmp(s->buffer, "\xF0\x9F\x98\x80") == 0);
    str_set(s, unpaired, 4, STR_ENC_UTF16LE);
    CHECK(str_null(s));
    CHECK(str_last_error_code() == STR_ERR_INVALID_INPUT);
    CHECK(strcmp(str_last_error_message(), "unpaired high surrogate") == 0);
    str_uninit(s);
}

static void read_out_measures_the_whole_buffer(void) {
    char out[16];
    str_t* s = str_from_utf8("hello world"); /* leaves a buffer of 12 bytes */
    str_utf8_set(s, "abc");
    CHECK(s->capacity == 12);
    CHECK(str_get(s, out, 12, STR_ENC_UTF8) == 0);
    CHECK(str_get(s, out, 13, STR_ENC_UTF8) == 13);
    CHECK(str_get(s, out, sizeof out, STR_ENC_UTF16LE) == 10);
    str_uninit(s);
}

static int text_is(str_t* s, const char* text) {
    int same = s != NULL && s->buffer != NULL && strcmp(s->buffer, text) == 0;
    str_uninit(s);
    return same;
}

static void editing(void) {
    str_t* list = str_from_utf8("a;b;");
    str_t* item = str_from_utf8("c");
    str_t* separator = str_from_utf8(";");
    str_t* path = str_from_utf8("\\a");
    str_t* backslash = str_from_utf8("\\");
    str_t* aaa = str_from_utf8("aaa");
    str_t* aa = str_from_utf8("aa");
    str_t* b = str_from_utf8("b");
    str_push(list, item, separator);
    CHECK(strcmp(list->buffer, "a;b;c") == 0);
    CHECK(text_is(str_pop_str(path, backslash), "\\a") && str_null(path));
    str_replace(aaa, aa, b);
    CHECK(strcmp(aaa->buffer, "ba") == 0);
    str_uninit(list);
    str_uninit(item);
    str_uninit(separator);
    str_uninit(path);
    str_uninit(backslash);
    str_uninit(aaa);
    str_uninit(aa);
    str_uninit(b);
}

static void numbers_and_search(void) {
    int32_t ok = 1;
    str_t* too_big = str_from_utf8("2147483648");
    str_t* pattern = str_from_utf8("%2 and %1");
    str_t* x = str_from_utf8("X");
    str_t* y = str_from_utf8("Y");
    str_t* once = str_arg_str(pattern, x, 0, 0);
    str_t* abcde = str_from_utf8("abcde");
    str_t* spans = str_from_utf8("a!{b!{41}}c");
    str_t* open = str_from_utf8("!{");
    str_t* close = str_from_utf8("}");
    str_t* escaped = str_from_utf8("!{e9}");
    int32_t length = 0;
    CHECK(str_to_long(too_big, &ok, 10) == 0 && ok == 0);
    CHECK(text_is(str_from_huge(INT64_MIN, 16), "-8000000000000000"));
    CHECK(text_is(str_arg_str(once, y, 0, 0), "Y and X"));
    CHECK(str_hash(abcde) == (host_is_little_endian() ? 0x64636261u : 0x61626364u));
    CHECK(str_find_span(spans, open, close, &length, 0) == 4 && length == 5);
    str_expand(escaped);
    CHECK(strcmp(escaped->buffer, "\xC3\xA9") == 0);
    str_uninit(too_big);
    str_uninit(pattern);
    str_uninit(x);
    str_uninit(y);
    str_uninit(once);
    str_uninit(abcde);
    str_uninit(spans);
    str_uninit(open);
    str_uninit(close);
    str_uninit(escaped);
}

/* Keys that are NUL-terminated strings, owned by the map. */
static uint32_t string_size(hashmap_t* map, const void* text) {
    (void)map;
    return (uint32_t)strlen((const char*)text) + 1;
}

static uint32_t string_hash(hashmap_t* map, const void* text) {
    const unsigned char* p = (const unsigned char*)text;
    uint32_t h = 5381;
    (void)map;
    while (*p) h = h * 33 + *p++;
    return h;
}

static int32_t string_equal(hashmap_t* map, const void* stored, const void* key) {
    (void)map;
    return strcmp((const char*)stored, (const char*)key) == 0;
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
    strcpy(key, "beta");
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
    CHECK(list_index(list, key) == 1);      /* content rule: the bytes match */
    found = list_find(list, key);           /* find rule: pointers, so no match */
    CHECK(list_iter_entry(found) == NULL);
    list_iter_uninit(found);
    CHECK(list_remove(list, key) == 1);
    last = (char*)list_pop(list);           /* the copy of gamma is now ours */
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
    ascii_input();
    marked_utf16_output();
    surrogate_pairs();
    read_out_measures_the_whole_buffer();
    editing();
    numbers_and_search();
    string_keyed_map();
    list_of_owned_elements();
    version();
    CHECK(memory_allocated() == before);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
