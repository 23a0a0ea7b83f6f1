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
 * through a null pointer. A thread whose arena would grow past ZEL_ARENA_MAX_SIZE
 * (default 4 GiB; "16m", "8G") ends the process with two lines on stderr and
 * status 1, inside an FFI boundary too.
 *
 * Ownership: a ZelString result is a new record unless its comment says otherwise
 * ("s itself", a shared literal, a buffer owned by a record). Its bytes and record
 * come from the runtime allocator: with arena mode off (the state after loading)
 * the caller releases it with zel_string_free; with arena mode on it belongs to the
 * calling thread's arena, which reclaims it in bulk (zel_arena_reset, _restore,
 * _destroy), never one by one. Records from the system heap (vectors, maps,
 * builders, locks, sockets, ...) are released by their family's own call. */

/* Hosts may define ZEL_NO_SHORT_NAMES to keep the unprefixed aliases
 * (len, min, print, ...) out of their namespace; the symbols stay exported. */

ZEL_EXTERN_C_BEGIN

/* The one text type: data[len] is always NUL; strings are immutable once made.
 * Strings made at run time have cap == len (a heap-mode zel_system_capture result
 * excepted: cap is its buffer's size); static literals cap == len + 1. */
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

/* For hosts that do not run the library's main: records argc and argv for the
 * calling thread (argv is not copied: keep it alive) and turns arena mode on. */
void zel_init_runtime(int32_t argc, char **argv);
/* The calling thread's recorded argument count; 0 where none was recorded (also
 * in every thread the runtime starts). */
int64_t zel_arg_count(void);
/* A new string copying the calling thread's argument index; a fresh empty string
 * when index is outside [0, zel_arg_count()) or the entry is NULL. */
ZelString *zel_get_arg(int64_t index);

/* ---- arena control ----
 * Arenas are per thread: these act on the calling thread's blocks, while the mode
 * is one process-wide switch. Pointers into reclaimed arena memory must not be
 * used afterwards. */

/* Arena mode on (non-zero) or off, for every thread at once; blocks stay. Returns 0. */
int32_t zel_arena_mode(int32_t enabled);
/* Keeps the thread's first block, emptied, releases the others and drops the save
 * mark (a later restore does nothing). Returns 0; nothing happens without blocks. */
int32_t zel_arena_reset(void);
/* Records the save mark at the thread's current arena position. Returns 0. */
int32_t zel_arena_save(void);
/* Reclaims everything allocated since the save mark, which stays for another
 * restore; nothing without a mark or when it was taken before the first block. Returns 0. */
int32_t zel_arena_restore(void);
/* Bytes the thread's arena holds from the system (block capacities, not bytes
 * handed out); 0 without blocks. */
uint64_t zel_arena_usage(void);
/* Releases every block of the thread's arena, drops the save mark and turns arena
 * mode off for the whole process. Returns 0. */
int32_t zel_arena_destroy(void);

/* ---- raw memory primitives: no pointer checks; any alignment ---- */

/* Writes value to the 8 bytes at ptr. */
void zel_store_i64(void *ptr, int64_t value);
/* The 8 bytes at ptr, as a signed value. */
int64_t zel_load_i64(const void *ptr);
/* Writes the low 8 bits of value to the byte at ptr. */
void zel_store_u8(void *ptr, int64_t value);
/* The byte at ptr, 0..255. */
int64_t zel_load_u8(const void *ptr);
/* ptr itself (a pointer to string bytes passes through as a value). */
void *zel_str_data(void *ptr);
/* calloc(count, size): zero-filled system heap in either mode, released with free();
 * NULL when the heap cannot serve it (negative arguments read as huge sizes). */
void *zel_calloc(int64_t count, int64_t size);
/* A new 8-byte heap cell holding value, in either mode; release it with free(). */
int64_t *zel_box_new_i64(int64_t value);

/* ---- failures ----
 * Outside an FFI boundary these write one line to stderr and exit(1).
 * Inside one they record the flag and message and return to the live context
 * (ffi.h); with no live context they return to their caller without finishing
 * their work. They are therefore deliberately not declared noreturn. */

/* Fails with msg's text, "panic" when msg or its data is NULL (stderr: "panic: <text>"). */
void zel_panic(const ZelString *msg);
/* Returns when cond is non-zero; otherwise fails (stderr: "Assertion failed!";
 * stored: "assertion failed"). */
void zel_assert(int32_t cond);
/* Fails with "array index <index> out of bounds [0, <length>)". */
void zel_panic_bounds(int64_t index, int64_t length);
/* Fails with "division by zero". */
void zel_panic_divzero(void);
/* Element index of array (not NULL); fails as zel_panic_bounds unless 0 <= index < len,
 * answering 0 when the failure returns. */
int64_t zel_array_get_safe(const ZelArray *array, int64_t index);
/* Stores value as element index of array (not NULL) under the same check; nothing is
 * stored when it fails. */
void zel_array_set_safe(ZelArray *array, int64_t index, int64_t value);
/* The common way back to the boundary: fails with msg (stderr: "panic: <msg>", "panic"
 * for NULL; a NULL msg stores no text). Returns 1 when the failure returns. */
int32_t zel_ffi_trigger(const char *msg);
/* Ends the process with exit(status): stdio is flushed and exit handlers run; no
 * message, and no FFI boundary catches it. */
#ifdef __cplusplus
[[noreturn]]
#else
_Noreturn
#endif
void zel_exit(int32_t status);

/* ---- numeric primitives: pure and never failing; integer arithmetic wraps
 * modulo 2^64, predicates answer 1 or 0 ---- */

/* Written and read back by zel_black_box only (shared, unsynchronised). */
extern volatile int64_t zel_black_box_sink;
/* |x|; INT64_MIN comes back unchanged. */
int64_t zel_abs(int64_t x);
/* The smaller of a and b, signed. */
int64_t zel_min(int64_t a, int64_t b);
/* The larger of a and b, signed. */
int64_t zel_max(int64_t a, int64_t b);
/* lo when x < lo, else x when x < hi, else hi (with lo > hi: lo below lo, hi elsewhere). */
int64_t zel_clamp(int64_t x, int64_t lo, int64_t hi);
/* Same as zel_clamp. */
int64_t zel_clamp_i64(int64_t x, int64_t lo, int64_t hi);
/* base to the power exp, wrapping; 1 for exp 0 (0^0 too); 0 for a negative exp. */
int64_t zel_pow(int64_t base, int64_t exp);
/* Same as zel_pow. */
int64_t zel_pow_i64(int64_t base, int64_t exp);
/* Greatest common divisor of |a| and |b|: gcd(a, 0) = |a|, gcd(0, 0) = 0; never negative,
 * except that a result of 2^63 (from INT64_MIN) reads as INT64_MIN. */
int64_t zel_gcd_i64(int64_t a, int64_t b);
/* 1 when x > 0 has a single bit set (0 and negatives give 0). */
int64_t zel_is_power_of_two(int64_t x);
/* The smallest power of two >= x; 1 for x < 2; 2^63 (reading as INT64_MIN) above 2^62. */
int64_t zel_next_power_of_two(int64_t x);
/* 1 when n is prime, exact for every 64-bit value; 0 for n < 2. */
int64_t zel_is_prime(int64_t n);
/* Set bits of the 64-bit pattern (64 for -1). */
int64_t zel_popcount(int64_t x);
/* Leading zero bits of the 64-bit pattern: 64 for 0, 0 for negatives. */
int64_t zel_clz(int64_t x);
/* Trailing zero bits: 64 for 0. */
int64_t zel_ctz(int64_t x);
/* The 64 bits in reverse order (bit 0 becomes bit 63). */
int64_t zel_bit_reverse(int64_t x);
/* The nearest double, ties to even (beyond 2^53 low bits are lost). */
double zel_i64_to_f64(int64_t x);
/* x truncated toward zero; NaN, infinities and values outside the 64-bit range give INT64_MIN. */
int64_t zel_f64_to_i64(double x);
/* Same as zel_f64_to_i64. */
int64_t zel_f64_to_int(double x);
/* floor(x). */
double zel_f64_floor(double x);
/* ceil(x). */
double zel_f64_ceil(double x);
/* round(x): the nearest integer, halves away from zero (-2.5 gives -3). */
double zel_f64_round(double x);
/* The square root; NaN for negative x and NaN. */
double zel_f64_sqrt(double x);
/* x with its sign bit cleared (-0.0 gives 0.0, NaN stays NaN). */
double zel_f64_abs(double x);
/* 1 exactly when x is NaN. */
int64_t zel_f64_is_nan(double x);
/* a when a < b, else b: so b when either is NaN, and (0.0, -0.0) gives -0.0. */
double zel_f64_min(double a, double b);
/* a when a > b, else b, with the same NaN and signed-zero answers as zel_f64_min. */
double zel_f64_max(double a, double b);
/* pow(base, exp) of libm (there is no zel_ form). */
double pow_f64(double base, double exp);
/* Stores x in zel_black_box_sink and returns it read back, so that the optimiser can
 * remove neither x nor the work that produced it. */
int64_t zel_black_box(int64_t x);

/* The program's own entry, which the library's weak main runs with arena mode on when
 * the library is started as a program: here the JSON demonstration (nine lines on
 * stdout, result 0). A host's own main replaces the weak one and this never runs. */
int64_t zel_user_main(void);

#ifndef ZEL_NO_SHORT_NAMES
/* Same as the zel_ functions of the same names: arg_count, get_arg, arena_*, store_i64,
 * load_i64, store_u8, load_u8, min and max. */
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
