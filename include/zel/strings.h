/* Strings: the string record's operations, the string builder and the console. */
#ifndef ZEL_STRINGS_H
#define ZEL_STRINGS_H

#include "core.h"

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
