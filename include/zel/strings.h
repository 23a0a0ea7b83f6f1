/* Strings: the string record's operations, search and transformation, number
 * formatting and parsing, the string builder and the console. */
#ifndef ZEL_STRINGS_H
#define ZEL_STRINGS_H

#include "core.h"

struct ZelVec;

ZEL_EXTERN_C_BEGIN

/* Strings are byte strings: lengths, indexes and positions count bytes, and nothing
 * decodes UTF-8. A "new string" comes from the runtime allocator and is released as
 * core.h says; "a fresh empty string" is a new one of length 0. */

/* ---- construction ---- */

/* A new string of the n bytes at src, NUL bytes kept; src must hold n bytes (no NULL
 * check); n <= 0 gives an empty string. */
ZelString *zel_string_new(const char *src, int64_t n);
/* A new string copying cstr up to its NUL; a fresh empty string for NULL. */
ZelString *zel_string_from_cstr(const char *cstr);
/* A new one-byte string of the low 8 bits of c (321 gives "A"); empty when they are 0. */
ZelString *zel_chr(int64_t c);
/* A new string of count copies of s, ending at s's first NUL byte if it holds one; a
 * fresh empty string for a NULL or empty s or count <= 0. */
ZelString *zel_string_repeat(const ZelString *s, int64_t count);

/* ---- concatenation: one allocation of the summed length ---- */

/* A new string of a then b; a fresh empty string when a, b or their data is NULL. */
ZelString *zel_string_concat(const ZelString *a, const ZelString *b);
/* A new string of the operands in order; a NULL operand (or NULL data) counts as empty. */
ZelString *zel_string_concat3(const ZelString *a, const ZelString *b, const ZelString *c);
/* As zel_string_concat3, with five operands. */
ZelString *zel_string_concat5(const ZelString *a, const ZelString *b, const ZelString *c,
                              const ZelString *d, const ZelString *e);
/* As zel_string_concat3, with seven operands. */
ZelString *zel_string_concat7(const ZelString *a, const ZelString *b, const ZelString *c,
                              const ZelString *d, const ZelString *e, const ZelString *f,
                              const ZelString *g);

/* ---- length and access ---- */

/* s's len; 0 for NULL. */
int64_t zel_string_len(const ZelString *s);
/* 1 when s is NULL or its len is 0, else 0. */
int64_t zel_string_is_empty(const ZelString *s);
/* s's data itself (NUL-terminated, owned by s, may hold earlier NULs); NULL for NULL. */
char *zel_string_as_cstr(const ZelString *s);
/* strlen(p) of a C string (not a record); p must not be NULL. */
int64_t zel_str_len(const char *p);
/* Byte i of s, 0..255; 0 when s or its data is NULL or i is outside [0, len). */
int64_t zel_string_char_at(const ZelString *s, int64_t i);
/* Same as zel_string_char_at. */
int64_t zel_str_byte_at(const ZelString *s, int64_t i);
/* A new one-byte string of zel_string_char_at(s, i); empty when that is 0 (out of range too). */
ZelString *zel_str_char_at_str(const ZelString *s, int64_t i);
/* The first byte of the C string p, 0..255; 0 for NULL. */
int64_t zel_ord(const char *p);

/* ---- comparison, hashing, slicing ---- */

/* 1 when a and b have equal len and bytes or are the same pointer, else 0; NULL equals
 * only NULL. */
int64_t zel_string_eq(const ZelString *a, const ZelString *b);
/* -1, 0 or 1 comparing unsigned bytes, a proper prefix first; NULL (or NULL data) sorts
 * before every string and equals NULL. */
int64_t zel_string_cmp(const ZelString *a, const ZelString *b);
/* 64-bit FNV-1a of s's len bytes; 0 for NULL or NULL data. */
uint64_t zel_string_hash(const ZelString *s);
/* A new string of bytes start..end-1, end cut to len; a fresh empty string when s or its
 * data is NULL, start < 0, start > len or end < start. */
ZelString *zel_string_slice(const ZelString *s, int64_t start, int64_t end);

/* ---- release ---- */

/* Frees s's bytes and record and returns 0; nothing for NULL or while arena mode is on.
 * Give it only strings made with arena mode off, once each: never literals, arena
 * strings or records another owner keeps. */
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
 * Every string result is a new string; decimal is "%ld", doubles "%.9g", following
 * the process locale as printf and strtod do. */
/* Decimal text ("-9223372036854775808" for the most negative value). */
ZelString *zel_int_to_string(int64_t x);
/* Same as zel_int_to_string. */
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
 * the runtime allocator (not a string record: free() it with arena mode off, the
 * arena reclaims it otherwise); not validated; 0 gives "". */
char *zel_char_to_string(int32_t c);
/* strtol(text, 10) over s's bytes: leading white space, sign, digits; 0 when
 * none; saturates on overflow; 0 for a NULL s. */
int64_t zel_parse_int(const ZelString *s);
/* strtod over s's bytes (decimal, hex, inf, nan); 0.0 when no number leads and for a
 * NULL s. */
double zel_parse_f64(const ZelString *s);

/* ---- string builder (heap memory, independent of the arena) ---- */
typedef struct ZelStringBuilder {
    char *data;
    int64_t len;
    int64_t capacity;
} ZelStringBuilder;

/* The builder's record and block live on the system heap, in either mode; release them
 * with zel_sb_free. The block is always NUL-terminated at data[len] and only grows,
 * by doubling. Every append returns the new len, or 0 when sb (or, for the string
 * appends, s or its data) is NULL. One thread at a time per builder. */

/* A new empty builder of capacity 1024. */
ZelStringBuilder *zel_sb_new(void);
/* A new empty builder of capacity n (64 when n <= 0). */
ZelStringBuilder *zel_sb_with_capacity(int64_t n);
/* Appends s's len bytes, NUL bytes included. */
int64_t zel_sb_push(ZelStringBuilder *sb, const ZelString *s);
/* Appends bytes start..end-1 of s after raising start to 0 and cutting end to len: 0 when
 * start >= end as given; the current len when the clamped range is empty. */
int64_t zel_sb_push_range(ZelStringBuilder *sb, const ZelString *s, int64_t start, int64_t end);
/* Appends the low 8 bits of c (a 0 byte is content and counts in len). */
int64_t zel_sb_push_char(ZelStringBuilder *sb, int64_t c);
/* Appends x in decimal, as "%ld" prints it. */
int64_t zel_sb_push_int(ZelStringBuilder *sb, int64_t x);
/* Appends s with TAB, LF, CR, '"' and '\' written as \t \n \r \" \\; other bytes as they are. */
int64_t zel_sb_push_escaped(ZelStringBuilder *sb, const ZelString *s);
/* Appends "%.9g" of x ("0.1", "1e+20", "nan"). */
int64_t zel_sb_push_f64(ZelStringBuilder *sb, double x);
/* Appends "0x" and the lower-case hex of the 64-bit pattern (-1: "0xffffffffffffffff"). */
int64_t zel_sb_push_hex(ZelStringBuilder *sb, int64_t x);
/* Appends "true" for any non-zero b, else "false". */
int64_t zel_sb_push_bool(ZelStringBuilder *sb, int64_t b);
/* The builder's len; 0 for NULL. */
int64_t zel_sb_len(const ZelStringBuilder *sb);
/* A new string copying the content (NUL bytes kept); the builder is left as it is. A fresh
 * empty string for NULL. */
ZelString *zel_sb_build(const ZelStringBuilder *sb);
/* Empties the builder, keeping its block and capacity. Returns 0, also for NULL. */
int64_t zel_sb_clear(ZelStringBuilder *sb);
/* 1 when s equals an item of the content read as a ','-separated list (no trimming), or a
 * run of items when s holds commas ("a,b" is in "a,b,c"); 0 for NULL or an empty s or builder. */
int64_t zel_sb_contains(const ZelStringBuilder *sb, const ZelString *s);
/* puts() of the content, up to its first NUL, on stdout; a lone newline for NULL. Returns 0. */
int64_t zel_sb_println(const ZelStringBuilder *sb);
/* Frees the block and the record (built strings stay valid); nothing for NULL. Returns 0. */
int64_t zel_sb_free(ZelStringBuilder *sb);

/* ---- console ----
 * Plain stdio calls on stdin, stdout and stderr, with no buffer of the runtime; the
 * printers return what the libc call returns (bytes written, negative on error). A
 * signal handler that interrupts a read while it waits for input does not end it. */

/* printf("%ld", x) on stdout. */
int32_t zel_print_i64(int64_t x);
/* printf("%ld\n", x). */
int32_t zel_println_i64(int64_t x);
/* printf("%.9f", x): fixed notation with nine decimals ("-0.000000000" for -0.0). */
int32_t zel_print_f64(double x);
/* printf("%.9f\n", x). */
int32_t zel_println_f64(double x);
/* At most len bytes of s, stopping at a NUL byte; nothing (0) when s or its data is NULL
 * or len is negative. */
int32_t zel_print_str(const ZelString *s);
/* As zel_print_str, then a newline; a lone newline when s or its data is NULL. */
int32_t zel_println_str(const ZelString *s);
/* All len bytes of s, NULs included, then fflush(stdout); the bytes written, or 0 for
 * NULL (no flush). */
int32_t zel_write_stdout(const ZelString *s);
/* puts(text), a lone newline for NULL; returns 0. */
int32_t zel_puts_cstr(const char *text);
/* The next integer on stdin (scanf "%ld"); 0 when none can be read, the token left unread. */
int64_t zel_read_int(void);
/* The next number on stdin (scanf "%lf"); 0.0 when none can be read. */
double zel_read_f64(void);
/* Flushes stdout, then a new string of the next line of stdin without its trailing CR and
 * LF bytes, at most 4095 a call (longer lines come in pieces); "__EOF__" at end of input. */
ZelString *zel_read_line(void);
/* Flushes stdout, then a new string of up to n bytes of stdin, fewer at end of input (NUL
 * bytes kept); empty, without flushing or reading, for n <= 0. */
ZelString *zel_read_bytes(int64_t n);

#ifndef ZEL_NO_SHORT_NAMES
/* Same as zel_chr. */
ZelString *chr(int64_t c);
/* Same as zel_chr: one byte, not the UTF-8 encoding of zel_char_to_string. */
ZelString *char_to_string(int64_t c);
/* Same as zel_string_len. */
int64_t len(const ZelString *s);
/* Same as zel_string_as_cstr. */
char *str_data(const ZelString *s);
/* char_at and byte_at: same as zel_string_char_at. */
int64_t char_at(const ZelString *s, int64_t i);
int64_t byte_at(const ZelString *s, int64_t i);
/* Differs from zel_ord: takes a record; its first byte, 0 when s or its data is NULL or
 * s is empty. */
int64_t ord(const ZelString *s);
/* Same as zel_string_slice. */
ZelString *slice(const ZelString *s, int64_t start, int64_t end);
/* Same as zel_string_free. */
int64_t free_string(ZelString *s);

/* sb_new, sb_with_capacity, sb_push and sb_push_range: same as their zel_ names. */
ZelStringBuilder *sb_new(void);
ZelStringBuilder *sb_with_capacity(int64_t n);
int64_t sb_push(ZelStringBuilder *sb, const ZelString *s);
int64_t sb_push_range(ZelStringBuilder *sb, const ZelString *s, int64_t start, int64_t end);
/* Appends text up to its NUL; 0 for a NULL builder or text. There is no zel_ form. */
int64_t sb_push_cstr(ZelStringBuilder *sb, const char *text);
/* sb_push_char and sb_push_int: same as their zel_ names. */
int64_t sb_push_char(ZelStringBuilder *sb, int64_t c);
int64_t sb_push_int(ZelStringBuilder *sb, int64_t x);
/* Differs from zel_sb_push_escaped: only backslash and double quote are escaped. */
int64_t sb_push_escaped(ZelStringBuilder *sb, const ZelString *s);
/* sb_len, sb_build, sb_clear, sb_contains, sb_println and sb_free: same as their zel_ names. */
int64_t sb_len(const ZelStringBuilder *sb);
ZelString *sb_build(const ZelStringBuilder *sb);
int64_t sb_clear(ZelStringBuilder *sb);
int64_t sb_contains(const ZelStringBuilder *sb, const ZelString *s);
int64_t sb_println(const ZelStringBuilder *sb);
int64_t sb_free(ZelStringBuilder *sb);

/* Same as zel_int_to_string. */
ZelString *int_to_string(int64_t x);

/* print, println, print_f64 and println_f64: same as zel_print_i64, zel_println_i64,
 * zel_print_f64 and zel_println_f64. */
int32_t print(int64_t x);
int32_t println(int64_t x);
int32_t print_f64(double x);
int32_t println_f64(double x);
/* Differs from zel_print_str: printf("%s") of data, up to its first NUL whatever len says. */
int32_t print_str(const ZelString *s);
/* Differs from zel_println_str: puts(data), up to its first NUL whatever len says. */
int32_t println_str(const ZelString *s);
/* putc of the low 8 bits of c on stdout (no zel_ form). */
int32_t print_char(int64_t c);
/* eprint, eprintln, eprint_f64 and eprintln_f64: as print, println, print_f64 and
 * println_f64, on stderr (no zel_ forms). */
int32_t eprint(int64_t x);
int32_t eprintln(int64_t x);
int32_t eprint_f64(double x);
int32_t eprintln_f64(double x);
/* data up to its first NUL on stderr; nothing for NULL. */
int32_t eprint_str(const ZelString *s);
/* data up to its first NUL and a newline on stderr; a lone newline for NULL. */
int32_t eprintln_str(const ZelString *s);
/* Same as zel_puts_cstr. */
int32_t puts_cstr(const char *text);
/* Same as zel_read_int. */
int64_t read_int(void);
#endif

ZEL_EXTERN_C_END

#endif
