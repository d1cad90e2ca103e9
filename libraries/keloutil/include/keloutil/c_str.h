/* SPDX-License-Identifier: MIT */
/** @file
 * The string record str_t and its encodings.
 *
 * A str_t always holds UTF-8 text with one NUL terminator in a buffer that
 * it owns (from the counted allocator). Text enters in any of six encodings
 * through str_from / str_set and leaves through str_get, the *_alloc family
 * and the cstr family. All lengths are in bytes unless a name says otherwise.
 *
 * A NULL str_t* is accepted everywhere and behaves as a null string.
 *
 * Byte-order mark: STR_ENC_UTF16 is written with a leading mark (host
 * order) and honoured on input. On input the two mark bytes do not count
 * against the given byte length: pass the length of the code units after
 * the mark, as str_utf16_len() reports it. */
#ifndef KELOUTIL_C_STR_H
#define KELOUTIL_C_STR_H

#include <stddef.h>
#include <stdint.h>

#include <keloutil/export.h>

KELOUTIL_BEGIN_C

typedef struct str_t {
    char* buffer;     /**< UTF-8 text with a NUL terminator; NULL for a null string */
    int32_t capacity; /**< bytes allocated for buffer, terminator included; 0 when NULL */
} str_t;

/** Encoding identifiers; any other value is rejected. */
#define STR_ENC_ASCII   0 /**< 7-bit ASCII; other characters become '?' */
#define STR_ENC_UTF8    1 /**< the record's own form */
#define STR_ENC_UTF16   2 /**< host byte order, with a byte-order mark */
#define STR_ENC_UTF16BE 3
#define STR_ENC_UTF16LE 4
#define STR_ENC_UTF32   5 /**< host byte order, no mark */

/** Codes of the last conversion error. */
#define STR_ERR_INVALID_INPUT   ((int32_t)0x80000001) /**< an unpaired surrogate */
#define STR_ERR_BUFFER_OVERFLOW ((int32_t)0x80000002) /**< source or destination ran out */
#define STR_ERR_ALLOCATION      ((int32_t)0x80000003)

/* ---- creation, assignment, destruction ---------------------------------- */

/** A new null string, or NULL when memory is exhausted. */
KELOUTIL_C_API str_t* str_init(void);
/** Frees the buffer and the record. */
KELOUTIL_C_API void str_uninit(str_t* s);

/** A new string set from `length` bytes of `source` in `encoding`. Returned
 * even when the source cannot be decoded; it is then null. */
KELOUTIL_C_API str_t* str_from(const void* source, int32_t length, int32_t encoding);
/** From NUL-terminated ASCII; NULL gives a new null string. */
KELOUTIL_C_API str_t* str_from_cstr(const char* text);
/** From NUL-terminated UTF-8; NULL gives a new null string. */
KELOUTIL_C_API str_t* str_from_utf8(const char* text);

/** Replaces the text. Reuses the buffer when it is big enough. Source that
 * cannot be decoded leaves the string null; an unknown encoding leaves it
 * unchanged. Returns 1 (0 for a NULL record). */
KELOUTIL_C_API int32_t str_set(str_t* s, const void* source, int32_t length, int32_t encoding);
/** str_set with NUL-terminated UTF-8; a NULL text makes the string null. */
KELOUTIL_C_API int32_t str_utf8_set(str_t* s, const char* text);
/** str_set with ASCII; a length of -1 means up to the NUL. */
KELOUTIL_C_API int32_t str_ascii_set(str_t* s, const char* text, int32_t length);

/** A new copy of the whole buffer; NULL for NULL. A null string's copy is
 * empty but not null. */
KELOUTIL_C_API str_t* str_dup(const str_t* s);
/** Copies `source` into `destination` (source first); returns the
 * destination's text length. A NULL record or null source clears the
 * destination and returns 0. */
KELOUTIL_C_API int32_t str_cpy(const str_t* source, str_t* destination);
/** Frees the buffer: the string becomes null. Returns 1. */
KELOUTIL_C_API int32_t str_clear(str_t* s);
/** 1 for a NULL record or a null string. */
KELOUTIL_C_API int32_t str_null(const str_t* s);
/** 1 for a NULL record, a null string or an empty text. */
KELOUTIL_C_API int32_t str_empty(const str_t* s);
/** Direct access to the UTF-8 bytes, grown to n + 1 bytes when the capacity
 * is below n. NULL when growing fails, or for a null string and n <= 0. */
KELOUTIL_C_API char* str_buffer(str_t* s, int32_t n);

/* ---- lengths (each stops at the terminator; NULL gives 0) --------------- */

/** Bytes of the UTF-8 text. */
KELOUTIL_C_API int32_t str_len(const str_t* s);
/** Bytes of NUL-terminated UTF-8, stepping sequence by sequence. */
KELOUTIL_C_API int32_t str_utf8_len(const char* text);
/** Characters (sequences) of the text. */
KELOUTIL_C_API int32_t str_utf8_char_count(const str_t* s);
/** Bytes of zero-terminated UTF-16 in host order; a leading byte-order mark
 * is skipped and not counted. */
KELOUTIL_C_API int32_t str_utf16_len(const void* text);
/** Bytes of zero-terminated UTF-16; no mark handling. */
KELOUTIL_C_API int32_t str_utf16be_len(const void* text);
KELOUTIL_C_API int32_t str_utf16le_len(const void* text);
/** Units (not bytes) of zero-terminated UTF-32. */
KELOUTIL_C_API int32_t str_utf32_len(const void* text);

/* ---- reading the text out ------------------------------------------------ */

/** Writes the text in `encoding` into `destination` of `size` bytes and
 * returns the bytes measured for it (terminator included). Returns 0, writing
 * nothing, when the measure exceeds `size`; 0 also for an unknown encoding or
 * a failed conversion. The measure covers the whole buffer, so it can exceed
 * what is written. */
KELOUTIL_C_API int32_t str_get(const str_t* s, void* destination, int32_t size, int32_t encoding);
/** ASCII form into `destination` of *size bytes. Returns the measure; when
 * measure + 1 exceeds *size, stores measure + 1 in *size and returns 0
 * without writing. A NULL or null string writes a lone NUL and returns 0. */
KELOUTIL_C_API int32_t str_cstr(const str_t* s, char* destination, int32_t* size);
/** As str_cstr with the size by value; returns destination. */
KELOUTIL_C_API char* str_cstrn(const str_t* s, char* destination, int32_t size);
/** As str_cstrn in UTF-8. */
KELOUTIL_C_API char* str_utf8_cstrn(const str_t* s, char* destination, int32_t size);

/** The text in `encoding`, in a new block for memory_free(); NULL for a NULL
 * record or text that cannot be converted. A null string gives a block that
 * holds only a terminator. */
KELOUTIL_C_API void* str_alloc(const str_t* s, int32_t encoding);
KELOUTIL_C_API char* str_cstr_alloc(const str_t* s);
KELOUTIL_C_API char* str_utf8_alloc(const str_t* s);
KELOUTIL_C_API uint16_t* str_utf16_alloc(const str_t* s);
KELOUTIL_C_API uint16_t* str_utf16be_alloc(const str_t* s);
KELOUTIL_C_API uint16_t* str_utf16le_alloc(const str_t* s);
/** The text as NUL-terminated wide characters (UTF-16 where wchar_t has 16
 * bits, UTF-32 where it has 32), without a mark, for memory_free(). */
KELOUTIL_C_API wchar_t* str_wchar_alloc(const str_t* s);

/* ---- conversion primitives ---------------------------------------------- */

/** Bytes that converting `length` bytes of `source` from `from` to `to`
 * writes, terminator included; 0 when the source cannot be decoded or an
 * encoding is unknown. Never less than what str_encode writes. */
KELOUTIL_C_API int32_t str_encoding_requires_bytes(const void* source, int32_t length,
                                                 int32_t from, int32_t to);
/** Converts `length` bytes of `source` from `from` into `destination` of
 * `size` bytes in `to`, with a terminator. Conversion stops at a character 0
 * in the source. Returns 1 on success, 0 on failure (what was written before
 * the failure stays). Between equal encodings the bytes are copied as they
 * are, truncated to fit. */
KELOUTIL_C_API int32_t str_encode(const void* source, int32_t length, int32_t from,
                                void* destination, int32_t size, int32_t to);

/* ---- appending and comparing -------------------------------------------- */

/** Appends the whole text of `source`; a NULL or null source appends nothing.
 * Returns the destination's new length in bytes. */
KELOUTIL_C_API int32_t str_cat(str_t* destination, const str_t* source);
/** Appends the first n characters of UTF-8 `text` (fewer if it is shorter).
 * Returns the new length in bytes, 0 if growing the buffer failed. */
KELOUTIL_C_API int32_t str_cat_utf8_limit(str_t* destination, const char* text, int32_t n);
/** As str_cat_utf8_limit (n characters; 0 appends nothing), but returns 0. */
KELOUTIL_C_API int32_t str_utf8_cat_limit(str_t* destination, const char* text, int32_t n);
/** Byte-wise comparison (unsigned bytes): negative, 0 or positive. A null
 * string is smaller than any other, two null strings are equal. */
KELOUTIL_C_API int32_t str_cmp(const str_t* a, const str_t* b);
/** The same against NUL-terminated bytes (a NULL text plays the null string). */
KELOUTIL_C_API int32_t str_ascii_cmp(const str_t* s, const char* text);
KELOUTIL_C_API int32_t str_utf8_cmp(const str_t* s, const char* text);

/* ---- cutting and padding (counts in characters unless said otherwise) ---- */

/** New string of the first n characters (all for n < 0 or beyond the end). A
 * null string gives an empty string, a NULL record NULL. */
KELOUTIL_C_API str_t* str_left(const str_t* s, int32_t n);
/** New string of the last n characters (all for n < 0 or beyond the end);
 * NULL for a NULL record or a null string. */
KELOUTIL_C_API str_t* str_right(const str_t* s, int32_t n);
/** New string of `length` bytes from character `start` on (to the end for a
 * negative length); NULL when start lies beyond the end. */
KELOUTIL_C_API str_t* str_mid(const str_t* s, int32_t start, int32_t length);
/** Ends the text after n characters when it has at least n. Returns the new
 * end, or NULL when nothing changed. */
KELOUTIL_C_API char* str_truncate(str_t* s, int32_t n);
/** New string: `unit` repeated to at least n bytes, then cut to n characters.
 * An empty or null unit gives an empty string. */
KELOUTIL_C_API str_t* str_pad(const str_t* unit, int32_t n);
/** The first byte of character i, as a signed byte widened to int; 0 when i
 * is out of range. */
KELOUTIL_C_API int32_t str_at(const str_t* s, int32_t i);

/* ---- lists of items joined by a separator ------------------------------- */

/** Appends `item` at the end, joined by exactly one `separator` text (a NULL,
 * null or empty separator joins without one). An empty item changes
 * nothing; a null list becomes a copy of the item. */
KELOUTIL_C_API void str_push(str_t* list, const str_t* item, const str_t* separator);
/** Inserts `item` at the front, joined as str_push joins. */
KELOUTIL_C_API void str_unshift(str_t* list, const str_t* item, const str_t* separator);
/** Removes the last item; every byte of `separators` is a separator, and a
 * run of them goes with the item. The separator byte found is stored in
 * *separator (0 when there was none). NULL for a null or empty list. */
KELOUTIL_C_API str_t* str_pop(str_t* list, const str_t* separators, int32_t* separator);
/** Removes the last item after the separator text (an occurrence at the very
 * start does not count). Without one the whole text is returned and the list
 * becomes null. */
KELOUTIL_C_API str_t* str_pop_str(str_t* list, const str_t* separator);
/** Removes the first item, as str_pop removes the last. */
KELOUTIL_C_API str_t* str_shift(str_t* list, const str_t* separators, int32_t* separator);
/** Removes the first item before the separator text. */
KELOUTIL_C_API str_t* str_shift_str(str_t* list, const str_t* separator);

/* ---- replacing ------------------------------------------------------------ */

/** Replaces every occurrence of `search` in place, left to right, without
 * overlaps. Returns 1. */
KELOUTIL_C_API int32_t str_replace(str_t* s, const str_t* search, const str_t* replacement);
/** New string: the pieces between runs of `separators` bytes, joined by
 * `joiner` as str_push joins them; `s` is not changed. */
KELOUTIL_C_API str_t* str_replace_all(const str_t* s, const str_t* separators, const str_t* joiner);

/* ---- numbers -------------------------------------------------------------- */

/** New string of the value in `base` (2..36; any other base means 10). */
KELOUTIL_C_API str_t* str_from_huge(int64_t value, int32_t base);
KELOUTIL_C_API str_t* str_from_long(int32_t value, int32_t base);
KELOUTIL_C_API str_t* str_from_int(int32_t value, int32_t base);
/** New string of the value formatted with sprintf: `format` is one of f F e E
 * g G (others mean f), `precision` < 0 means the default, above 99 means 99. */
KELOUTIL_C_API str_t* str_from_double(double value, char format, int32_t precision);
KELOUTIL_C_API str_t* str_from_float(float value, char format, int32_t precision);
/** The number in the text, in `base` (2..36). *ok (when ok is not NULL)
 * becomes 1 on success, 0 otherwise (the result is then 0). Space, tab and
 * line feed may surround the number; no prefix such as 0x is read. */
KELOUTIL_C_API int64_t str_to_huge(const str_t* s, int32_t* ok, int32_t base);
/** As str_to_huge, failing also outside -2147483648..2147483647. */
KELOUTIL_C_API int32_t str_to_long(const str_t* s, int32_t* ok, int32_t base);
KELOUTIL_C_API int32_t str_to_int(const str_t* s, int32_t* ok, int32_t base);
/** strtod of the text; ok only when the whole, non-empty text is a number. */
KELOUTIL_C_API double str_to_double(const str_t* s, int32_t* ok);
KELOUTIL_C_API float str_to_float(const str_t* s, int32_t* ok);

/* ---- argument substitution ------------------------------------------------ */

/** New string: `pattern` with its lowest-numbered placeholder (%1 to %9, every
 * occurrence of it) replaced by the argument, padded to |width| bytes with
 * `fill` (a space for 0): before the argument for a positive width, after it
 * for a negative one. "%%" keeps its second character from being read. */
KELOUTIL_C_API str_t* str_arg_str(const str_t* pattern, const str_t* argument, int32_t width, char fill);
KELOUTIL_C_API str_t* str_arg_char(const str_t* pattern, char c, int32_t width, char fill);
KELOUTIL_C_API str_t* str_arg_long(const str_t* pattern, int32_t value, int32_t width, int32_t base, char fill);
KELOUTIL_C_API str_t* str_arg_int(const str_t* pattern, int32_t value, int32_t width, int32_t base, char fill);
KELOUTIL_C_API str_t* str_arg_double(const str_t* pattern, double value, int32_t width, char format,
                                     int32_t precision, char fill);
KELOUTIL_C_API str_t* str_arg_float(const str_t* pattern, float value, int32_t width, char format,
                                    int32_t precision, char fill);

/** 32-bit hash: the first four bytes in host order for texts of 5 bytes or
 * more, the bytes shifted together for shorter ones; 0 for a null string. */
KELOUTIL_C_API uint32_t str_hash(const str_t* s);

/* ---- searching and transforming ------------------------------------------- */

/** Byte offset of the first occurrence of the needle at or after character
 * `start`, or -1. Case-insensitive search folds ASCII letters only. An empty
 * needle is found at the start character. */
KELOUTIL_C_API int32_t str_find(const str_t* haystack, const str_t* needle, int32_t start, int32_t case_sensitive);
KELOUTIL_C_API int32_t str_utf8_find(const str_t* haystack, const char* needle, int32_t start,
                                     int32_t case_sensitive);
/** Byte offset of the innermost span from `open` to `close` that ends first,
 * at or after byte offset `start`; its length (both delimiters included) goes
 * to *length when one is found. -1 when there is none. */
KELOUTIL_C_API int32_t str_find_span(const str_t* s, const str_t* open, const str_t* close, int32_t* length,
                                     int32_t start);
/** In place: ASCII letters to upper or lower case; other bytes unchanged. */
KELOUTIL_C_API void str_upper(str_t* s);
KELOUTIL_C_API void str_lower(str_t* s);
/** In place: white space (space and bytes 9 to 13) removed at both ends. */
KELOUTIL_C_API void str_strip_whitespace(str_t* s);
/** In place: as str_strip_whitespace, and each inner run becomes one space. */
KELOUTIL_C_API void str_simplify_whitespace(str_t* s);
/** In place: the characters "!{}" and those of `characters` are replaced by
 * escapes "!{hex}" (a run of them by the escape of its first byte; at the
 * ends they vanish). */
KELOUTIL_C_API void str_collapse(str_t* s, const str_t* characters);
/** In place: every escape "!{hex}" becomes the character with that code. */
KELOUTIL_C_API void str_expand(str_t* s);

/* ---- the last conversion error ------------------------------------------ */

/** Process-wide record of the last conversion error: each error overwrites
 * all four fields and nothing clears them (code 0 and NULL texts until the
 * first error). Not synchronised between threads. */
KELOUTIL_C_API int32_t str_last_error_code(void);
KELOUTIL_C_API const char* str_last_error_message(void);
KELOUTIL_C_API int32_t str_last_error_line(void);
KELOUTIL_C_API const char* str_last_error_source(void);

KELOUTIL_END_C

#endif /* KELOUTIL_C_STR_H */
