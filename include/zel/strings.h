/* Strings: the string record's operations, search and transformation, number
 * formatting and parsing, the string builder and the console. */
#ifndef ZEL_STRINGS_H
#define ZEL_STRINGS_H

#include "core.h"

struct ZelVec;

ZEL_EXTERN_C_BEGIN

/* ---- construction ---- */
ZelString *zel_string_new(const char *src, int64_t n);
ZelString *zel_string_from_cstr(const char *cstr);
ZelString *zel_chr(int64_t c);
ZelString *zel_string_repeat(const ZelString *s, int64_t count);

/* ---- concatenation ---- */
ZelString *zel_string_concat(const ZelString *a, const ZelString *b);
ZelString *zel_string_concat3(const ZelString *a, const ZelString *b, const ZelString *c);
ZelString *zel_string_concat5(const ZelString *a, const ZelString *b, const ZelString *c,
                              const ZelString *d, const ZelString *e);
ZelString *zel_string_concat7(const ZelString *a, const ZelString *b, const ZelString *c,
                              const ZelString *d, const ZelString *e, const ZelString *f,
                              const ZelString *g);

/* ---- length and access ---- */
int64_t zel_string_len(const ZelString *s);
int64_t zel_string_is_empty(const ZelString *s);
char *zel_string_as_cstr(const ZelString *s);
int64_t zel_str_len(const char *p);
int64_t zel_string_char_at(const ZelString *s, int64_t i);
int64_t zel_str_byte_at(const ZelString *s, int64_t i);
ZelString *zel_str_char_at_str(const ZelString *s, int64_t i);
int64_t zel_ord(const char *p);

/* ---- comparison, hashing, slicing ---- */
int64_t zel_string_eq(const ZelString *a, const ZelString *b);
int64_t zel_string_cmp(const ZelString *a, const ZelString *b);
uint64_t zel_string_hash(const ZelString *s);
ZelString *zel_string_slice(const ZelString *s, int64_t start, int64_t end);

/* ---- release ---- */
int64_t zel_string_free(ZelString *s);

/* ---- search (no allocation; a null record gives 0, or -1 for the positions) ----
 * Positions count bytes; matching is exact byte comparison. */
/* 1 when s begins with prefix (an empty prefix always matches). */
int64_t zel_string_starts_with(const ZelString *s, const ZelString *prefix);
/* 1 when s ends with suffix (an empty suffix always matches). */
int64_t zel_string_ends_with(const ZelString *s, const ZelString *suffix);
/* 1 when sub occurs in s (the empty string occurs in every string). */
int64_t zel_string_contains(const ZelString *s, const ZelString *sub);
/* Smallest position of sub in s; 0 for an empty sub; -1 when absent. */
int64_t zel_string_index_of(const ZelString *s, const ZelString *sub);
/* Largest position of sub in s; s's length for an empty sub; -1 when absent. */
int64_t zel_string_last_index_of(const ZelString *s, const ZelString *sub);
/* Non-overlapping occurrences of sub, left to right ("aaaa" holds "aa" twice);
 * 0 for an empty sub. */
int64_t zel_string_count(const ZelString *s, const ZelString *sub);

/* ---- extraction, trimming and transformation ----
 * White space is exactly space, tab, line feed and carriage return. Several of
 * these return their argument itself when there is nothing to change (said
 * below as "s itself"): never release both the result and the argument. New
 * results come from the runtime allocator (arena or heap, as for every string).
 * Results of replace, the case mappings, reverse, the pads and join end at
 * their first NUL byte; the others keep every byte. */
/* Bytes start .. start+count-1, cut at the end; a fresh empty string when s is
 * null, start or count is negative, or start is past the end. */
ZelString *zel_string_substr(const ZelString *s, int64_t start, int64_t count);
/* s without leading and trailing white space: always a new string, except s
 * itself when s is empty and NULL when s is NULL. */
ZelString *zel_string_trim(ZelString *s);
/* s without leading white space; s itself when it starts with none; NULL for NULL. */
ZelString *zel_string_trim_left(ZelString *s);
/* s without trailing white space; s itself when it ends with none; NULL for NULL. */
ZelString *zel_string_trim_right(ZelString *s);
/* Every non-overlapping occurrence of from, left to right, replaced by to (the
 * replacement is never rescanned); s itself when an argument is NULL, from is
 * empty or does not occur. One allocation, linear time. */
ZelString *zel_string_replace(ZelString *s, const ZelString *from, const ZelString *to);
/* ASCII 'a'..'z' to upper case, other bytes unchanged; s itself when empty; NULL for NULL. */
ZelString *zel_string_to_upper(ZelString *s);
/* ASCII 'A'..'Z' to lower case, other bytes unchanged; s itself when empty; NULL for NULL. */
ZelString *zel_string_to_lower(ZelString *s);
/* The bytes in reverse order; s itself when empty; NULL for NULL. */
ZelString *zel_string_reverse(ZelString *s);
/* s preceded by copies of the byte `fill` up to `width` bytes; s itself when
 * already that wide; NULL for NULL. */
ZelString *zel_string_pad_left(ZelString *s, int64_t width, int64_t fill);
/* As zel_string_pad_left with the fill bytes after s. */
ZelString *zel_string_pad_right(ZelString *s, int64_t width, int64_t fill);
/* As zel_string_pad_left with the first byte of pad as fill (a space when pad
 * is NULL or empty). */
ZelString *zel_str_pad_left(ZelString *s, int64_t width, const ZelString *pad);
/* As zel_string_pad_right with the fill chosen as for zel_str_pad_left. */
ZelString *zel_str_pad_right(ZelString *s, int64_t width, const ZelString *pad);

/* ---- splitting into and joining from a ZelVec of ZelString pointers ---- */
/* The pieces between occurrences of sep, always one more than the separators
 * found (empty pieces included), in a new vector (zel_vec_free releases the
 * vector, not the pieces). With a NULL or empty sep the only element is s
 * itself; a NULL s gives an empty vector. */
struct ZelVec *zel_string_split(ZelString *s, const ZelString *sep);
/* The elements of v with sep between neighbours (NULL elements add no bytes,
 * the separators around them stay); a fresh empty string for an empty or NULL v. */
ZelString *zel_string_join(const struct ZelVec *v, const ZelString *sep);

/* ---- number formatting and parsing ----
 * Every result is a new string; decimal is "%ld", doubles "%.9g", following
 * the process locale as printf and strtod do. */
/* Decimal text ("-9223372036854775808" for the most negative value). */
ZelString *zel_int_to_string(int64_t x);
ZelString *zel_fast_i2s(int64_t x);
/* "true" when the low 8 bits of b are non-zero, else "false". */
ZelString *zel_bool_to_string(int64_t b);
/* Lower-case hex digits of the 64-bit pattern, no prefix ("ffffffffffffffff" for -1). */
ZelString *zel_int_to_hex(int64_t x);
/* "0x" and hex digits, a sign and the magnitude for negatives ("-0xff"). */
ZelString *zel_to_hex(int64_t x);
/* "0o" and octal digits, a sign and the magnitude for negatives ("-0o10"). */
ZelString *zel_to_octal(int64_t x);
/* Binary digits of the 64-bit pattern without leading zeros ("0" for 0, 64 digits for negatives). */
ZelString *zel_int_to_bin(int64_t x);
/* "0b" and the digits of zel_int_to_bin. */
ZelString *zel_to_binary(int64_t x);
/* "%.9g" of x ("0.1", "1e+21", "-0", "inf", "nan"). */
ZelString *zel_f64_to_string(double x);
/* UTF-8 bytes of the code point c as NUL-terminated text in a 5-byte block from
 * the runtime allocator (not a string record); not validated; 0 gives "". */
char *zel_char_to_string(int32_t c);
/* strtol(text, 10) over s's bytes: leading white space, sign, digits; 0 when
 * none; saturates on overflow; 0 for a NULL s. */
int64_t zel_parse_int(const ZelString *s);
/* strtod over s's bytes (decimal, hex, inf, nan); 0.0 when no number leads. */
double zel_parse_f64(const ZelString *s);

/* ---- string builder (heap memory, independent of the arena) ---- */
typedef struct ZelStringBuilder {
    char *data;
    int64_t len;
    int64_t capacity;
} ZelStringBuilder;

ZelStringBuilder *zel_sb_new(void);
ZelStringBuilder *zel_sb_with_capacity(int64_t n);
int64_t zel_sb_push(ZelStringBuilder *sb, const ZelString *s);
int64_t zel_sb_push_range(ZelStringBuilder *sb, const ZelString *s, int64_t start, int64_t end);
int64_t zel_sb_push_char(ZelStringBuilder *sb, int64_t c);
int64_t zel_sb_push_int(ZelStringBuilder *sb, int64_t x);
int64_t zel_sb_push_escaped(ZelStringBuilder *sb, const ZelString *s);
int64_t zel_sb_push_f64(ZelStringBuilder *sb, double x);
int64_t zel_sb_push_hex(ZelStringBuilder *sb, int64_t x);
int64_t zel_sb_push_bool(ZelStringBuilder *sb, int64_t b);
int64_t zel_sb_len(const ZelStringBuilder *sb);
ZelString *zel_sb_build(const ZelStringBuilder *sb);
int64_t zel_sb_clear(ZelStringBuilder *sb);
int64_t zel_sb_contains(const ZelStringBuilder *sb, const ZelString *s);
int64_t zel_sb_println(const ZelStringBuilder *sb);
int64_t zel_sb_free(ZelStringBuilder *sb);

/* ---- console ---- */
int32_t zel_print_i64(int64_t x);
int32_t zel_println_i64(int64_t x);
int32_t zel_print_f64(double x);
int32_t zel_println_f64(double x);
int32_t zel_print_str(const ZelString *s);
int32_t zel_println_str(const ZelString *s);
int32_t zel_write_stdout(const ZelString *s);
int32_t zel_puts_cstr(const char *text);
int64_t zel_read_int(void);
double zel_read_f64(void);
ZelString *zel_read_line(void);
ZelString *zel_read_bytes(int64_t n);

#ifndef ZEL_NO_SHORT_NAMES
ZelString *chr(int64_t c);
ZelString *char_to_string(int64_t c);
int64_t len(const ZelString *s);
char *str_data(const ZelString *s);
int64_t char_at(const ZelString *s, int64_t i);
int64_t byte_at(const ZelString *s, int64_t i);
int64_t ord(const ZelString *s);
ZelString *slice(const ZelString *s, int64_t start, int64_t end);
int64_t free_string(ZelString *s);

ZelStringBuilder *sb_new(void);
ZelStringBuilder *sb_with_capacity(int64_t n);
int64_t sb_push(ZelStringBuilder *sb, const ZelString *s);
int64_t sb_push_range(ZelStringBuilder *sb, const ZelString *s, int64_t start, int64_t end);
int64_t sb_push_cstr(ZelStringBuilder *sb, const char *text);
int64_t sb_push_char(ZelStringBuilder *sb, int64_t c);
int64_t sb_push_int(ZelStringBuilder *sb, int64_t x);
/* Differs from zel_sb_push_escaped: only backslash and double quote are escaped. */
int64_t sb_push_escaped(ZelStringBuilder *sb, const ZelString *s);
int64_t sb_len(const ZelStringBuilder *sb);
ZelString *sb_build(const ZelStringBuilder *sb);
int64_t sb_clear(ZelStringBuilder *sb);
int64_t sb_contains(const ZelStringBuilder *sb, const ZelString *s);
int64_t sb_println(const ZelStringBuilder *sb);
int64_t sb_free(ZelStringBuilder *sb);

ZelString *int_to_string(int64_t x);

int32_t print(int64_t x);
int32_t println(int64_t x);
int32_t print_f64(double x);
int32_t println_f64(double x);
int32_t print_str(const ZelString *s);
int32_t println_str(const ZelString *s);
int32_t print_char(int64_t c);
int32_t eprint(int64_t x);
int32_t eprintln(int64_t x);
int32_t eprint_f64(double x);
int32_t eprintln_f64(double x);
int32_t eprint_str(const ZelString *s);
int32_t eprintln_str(const ZelString *s);
int32_t puts_cstr(const char *text);
int64_t read_int(void);
#endif

ZEL_EXTERN_C_END

#endif
