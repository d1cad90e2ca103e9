/* SPDX-License-Identifier: MIT */
/* The flat interface from plain C: a round trip through UTF-16 that leaks nothing. */
#include <keloutil/keloutil.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    /* The library's own tables, made while it was loaded, are counted too. */
    const uint32_t allocated_at_start = memory_allocated();
    str_t* text = str_from_utf8("Gr\xC3\xBC\xC3\x9F" "e");
    uint16_t* utf16 = str_utf16le_alloc(text);
    str_t* back = str_from(utf16, str_utf16le_len(utf16), STR_ENC_UTF16LE);
    const int same = str_cmp(text, back) == 0 && strcmp(back->buffer, "Gr\xC3\xBC\xC3\x9F" "e") == 0;
    memory_free(utf16);
    str_uninit(back);
    str_uninit(text);
    printf("keloutil %s from C: %s\n", keloUtilVersionString(), same ? "ok" : "mismatch");
    return same && memory_allocated() == allocated_at_start ? 0 : 1;
}
