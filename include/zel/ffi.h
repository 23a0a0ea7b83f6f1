/* FFI error boundary and host string conversions. */
#ifndef ZEL_FFI_H
#define ZEL_FFI_H

#include <setjmp.h>
#include "core.h"

ZEL_EXTERN_C_BEGIN

/* Opens the calling thread's boundary: clears the flag and the message and
 * returns 0. It records no context a failure could return to (its own frame is
 * gone by then) and forgets any live one; a failure inside the boundary without a
 * live context (see ZEL_FFI_TRY and zel_ffi_call) records the flag and message
 * and returns to its own caller without completing its work
 * (zel_array_get_safe then answers 0). */
int32_t zel_ffi_begin(void);
/* Closes the boundary; flag and message stay readable. Forgets any live context. */
void zel_ffi_end(void);
/* 1 when a failure was recorded in this thread's boundary since its last
 * zel_ffi_begin, else 0; still readable after zel_ffi_end. */
int32_t zel_ffi_has_error(void);
/* The thread's own 512-byte message buffer (not a copy; never NULL): empty after
 * zel_ffi_begin, then the failure's text cut to 511 bytes. Valid for the thread's life. */
const char *zel_ffi_error_message(void);

/* Opens the boundary as zel_ffi_begin does and runs fn(arg) (fn not NULL) with a
 * live return context in this call's frame. Returns 0 with the result in *out (when
 * out is not null), or 1 when a failure happened inside fn (flag set, message stored,
 * *out untouched; what fn held, memory or locks, stays as it was).
 * The boundary stays open until zel_ffi_end; a nested call restores the outer
 * context when it returns. */
int32_t zel_ffi_call(int64_t (*fn)(int64_t), int64_t arg, int64_t *out);

/* Support for ZEL_FFI_TRY: opens the boundary and returns the thread's context
 * buffer, which the macro fills with setjmp in the host's own frame. */
jmp_buf *zel_ffi_try_context(void);

/* Records the return context in the calling frame: evaluates to 0 at once, and
 * to 1 when a later call in this frame fails inside the boundary:
 *
 *     if (ZEL_FFI_TRY()) { puts(zel_ffi_error_message()); }
 *     else { ... library calls ... }
 *     zel_ffi_end();
 *
 * Use it only as a whole controlling expression (as setjmp requires); the
 * context is valid until this frame returns or zel_ffi_end is called. Locals
 * changed after it and read on the failure path must be volatile. */
#define ZEL_FFI_TRY() setjmp(*zel_ffi_try_context())

/* ---- host strings ---- */

/* A new string copying cstr (NULL reads as ""), both blocks from malloc in either mode,
 * so it survives arena resets. Release it with zel_ffi_free_string. */
ZelString *zel_ffi_cstr_to_string(const char *cstr);
/* s's NUL-terminated bytes, owned by s; a static "" (never NULL) for a NULL s or data. */
const char *zel_ffi_string_data(const ZelString *s);
/* Same as zel_string_len: s's len, 0 for NULL. */
int64_t zel_ffi_string_len(const ZelString *s);
/* Frees s's bytes and record with free(), whatever the arena mode; nothing for NULL.
 * Only for heap records: from zel_ffi_cstr_to_string, or results made with arena mode
 * off. Never pass arena strings, literals or records another owner keeps. */
void zel_ffi_free_string(ZelString *s);

ZEL_EXTERN_C_END

#endif
