/* Runtime core: shared records, runtime state, arguments, allocator control,
 * raw memory primitives, numeric built-ins and failures. */
#ifndef ZEL_CORE_H
#define ZEL_CORE_H

#include <stdint.h>
#include <stddef.h>

#ifdef __cplusplus
#define ZEL_EXTERN_C_BEGIN extern "C" {
#define ZEL_EXTERN_C_END }
#else
#define ZEL_EXTERN_C_BEGIN
#define ZEL_EXTERN_C_END
#endif

/* Memory: where the system heap is exhausted (vector or builder growth, heap
 * strings, host conversions) the process ends with the line
 * "[zel] FATAL: out of memory" on stderr and status 1; no operation writes
 * through a null pointer. */

/* Hosts may define ZEL_NO_SHORT_NAMES to keep the unprefixed aliases
 * (len, min, print, ...) out of their namespace; the symbols stay exported. */

ZEL_EXTERN_C_BEGIN

/* The one text type: data[len] is always NUL; strings are immutable once made.
 * Strings made at run time have cap == len; static literals cap == len + 1. */
typedef struct ZelString {
    char *data;
    int64_t len;
    int64_t cap;
} ZelString;

/* Single-block array: two header words, then `len` 64-bit elements. */
typedef struct ZelArray {
    int64_t capacity;
    int64_t len;
    /* int64_t elements[len] follow */
} ZelArray;

/* ---- runtime state and arguments ---- */

/* Process-wide arena switch (non-zero: zel_alloc serves from per-thread arenas).
 * Read and written with relaxed atomic operations inside the library. */
extern int32_t g_arena_enabled;

void zel_init_runtime(int32_t argc, char **argv);
int64_t zel_arg_count(void);
ZelString *zel_get_arg(int64_t index);

/* ---- arena control ---- */
int32_t zel_arena_mode(int32_t enabled);
int32_t zel_arena_reset(void);
int32_t zel_arena_save(void);
int32_t zel_arena_restore(void);
uint64_t zel_arena_usage(void);
int32_t zel_arena_destroy(void);

/* ---- raw memory primitives (no pointer checks) ---- */
void zel_store_i64(void *ptr, int64_t value);
int64_t zel_load_i64(const void *ptr);
void zel_store_u8(void *ptr, int64_t value);
int64_t zel_load_u8(const void *ptr);
void *zel_str_data(void *ptr);
void *zel_calloc(int64_t count, int64_t size);
int64_t *zel_box_new_i64(int64_t value);

/* ---- failures ----
 * Outside an FFI boundary these write one line to stderr and exit(1).
 * Inside one they record the flag and message and return to the live context
 * (ffi.h); with no live context they return to their caller without finishing
 * their work. They are therefore deliberately not declared noreturn. */
void zel_panic(const ZelString *msg);
void zel_assert(int32_t cond);
void zel_panic_bounds(int64_t index, int64_t length);
void zel_panic_divzero(void);
int64_t zel_array_get_safe(const ZelArray *array, int64_t index);
void zel_array_set_safe(ZelArray *array, int64_t index, int64_t value);
/* Shared way back to the boundary; stores msg (when not null). */
int32_t zel_ffi_trigger(const char *msg);
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void zel_exit(int32_t status);

/* ---- numeric primitives ---- */
extern volatile int64_t zel_black_box_sink;
int64_t zel_abs(int64_t x);
int64_t zel_min(int64_t a, int64_t b);
int64_t zel_max(int64_t a, int64_t b);
int64_t zel_clamp(int64_t x, int64_t lo, int64_t hi);
int64_t zel_clamp_i64(int64_t x, int64_t lo, int64_t hi);
int64_t zel_pow(int64_t base, int64_t exp);
int64_t zel_pow_i64(int64_t base, int64_t exp);
int64_t zel_gcd_i64(int64_t a, int64_t b);
int64_t zel_is_power_of_two(int64_t x);
int64_t zel_next_power_of_two(int64_t x);
int64_t zel_is_prime(int64_t n);
int64_t zel_popcount(int64_t x);
int64_t zel_clz(int64_t x);
int64_t zel_ctz(int64_t x);
int64_t zel_bit_reverse(int64_t x);
double zel_i64_to_f64(int64_t x);
int64_t zel_f64_to_i64(double x);
int64_t zel_f64_to_int(double x);
double zel_f64_floor(double x);
double zel_f64_ceil(double x);
double zel_f64_round(double x);
double zel_f64_sqrt(double x);
double zel_f64_abs(double x);
int64_t zel_f64_is_nan(double x);
double zel_f64_min(double a, double b);
double zel_f64_max(double a, double b);
double pow_f64(double base, double exp);
int64_t zel_black_box(int64_t x);

/* The program's own entry, run by the library's weak main. */
int64_t zel_user_main(void);

#ifndef ZEL_NO_SHORT_NAMES
int64_t arg_count(void);
ZelString *get_arg(int64_t index);
int32_t arena_mode(int32_t enabled);
int32_t arena_reset(void);
int32_t arena_save(void);
int32_t arena_restore(void);
uint64_t arena_usage(void);
int32_t arena_destroy(void);
void store_i64(void *ptr, int64_t value);
int64_t load_i64(const void *ptr);
void store_u8(void *ptr, int64_t value);
int64_t load_u8(const void *ptr);
int64_t min(int64_t a, int64_t b);
int64_t max(int64_t a, int64_t b);
#endif

ZEL_EXTERN_C_END

#endif
