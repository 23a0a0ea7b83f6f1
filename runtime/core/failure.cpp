// Fatal conditions and the FFI error boundary.
//
// A failure either ends the process (no boundary open), or records its message
// and jumps to the live return context (zel_ffi_call's frame or the host's
// ZEL_FFI_TRY frame), or, when the boundary is open but no such frame is
// running, returns to its caller so that the host regains control instead of
// resuming a dead frame. Nothing here may hold an object with a destructor
// across a failure, since longjmp skips destructors.
#include <stdio.h>
#include <stdlib.h>

#include "internal.h"

namespace zel {
namespace {

void store_message(const char *msg) {
    char *dst = t_state.ffi_error_msg;
    size_t n = strnlen(msg, 511);
    memcpy(dst, msg, n);
    memset(dst + n, 0, 512 - n);
}

// Returns only when the boundary is open and no live context exists.
void fail(const char *stored, const char *stderr_format, const char *arg) {
    if (!t_state.ffi_active) {
        fprintf(stderr, stderr_format, arg);
        exit(1);
    }
    t_state.ffi_has_error = 1;
    if (stored) store_message(stored);
    if (t_state.ffi_live) longjmp(*t_state.ffi_live, 1);
}

void fail_bounds(int64_t index, int64_t length) {
    char text[128];
    snprintf(text, sizeof text, "array index %ld out of bounds [0, %ld)", static_cast<long>(index),
             static_cast<long>(length));
    fail(text, "panic: %s\n", text);
}

}  // namespace
}  // namespace zel

using zel::t_state;

ZEL_EXPORT int32_t zel_ffi_begin(void) {
    t_state.ffi_has_error = 0;
    t_state.ffi_error_msg[0] = '\0';
    t_state.ffi_active = 1;
    t_state.ffi_live = nullptr;
    return 0;
}

ZEL_EXPORT jmp_buf *zel_ffi_try_context(void) {
    zel_ffi_begin();
    t_state.ffi_live = &t_state.ffi_jmp_buf;
    return &t_state.ffi_jmp_buf;
}

ZEL_EXPORT void zel_ffi_end(void) {
    t_state.ffi_active = 0;
    t_state.ffi_live = nullptr;
}

ZEL_EXPORT int32_t zel_ffi_has_error(void) { return t_state.ffi_has_error; }
ZEL_EXPORT const char *zel_ffi_error_message(void) { return t_state.ffi_error_msg; }

ZEL_EXPORT int32_t zel_ffi_call(int64_t (*fn)(int64_t), int64_t arg, int64_t *out) {
    jmp_buf *volatile outer = t_state.ffi_live;
    jmp_buf here;
    zel_ffi_begin();
    if (setjmp(here) != 0) {
        t_state.ffi_live = outer;
        return 1;
    }
    t_state.ffi_live = &here;
    int64_t result = fn(arg);
    t_state.ffi_live = outer;
    if (out) *out = result;
    return 0;
}

ZEL_EXPORT int32_t zel_ffi_trigger(const char *msg) {
    zel::fail(msg, "panic: %s\n", msg ? msg : "panic");
    return 1;
}

ZEL_EXPORT void zel_panic(const ZelString *msg) {
    const char *text = (msg && msg->data) ? msg->data : "panic";
    zel::fail(text, "panic: %s\n", text);
}

ZEL_EXPORT void zel_assert(int32_t cond) {
    if (cond) return;
    if (!t_state.ffi_active) {
        fputs("Assertion failed!\n", stderr);
        exit(1);
    }
    zel_ffi_trigger("assertion failed");
}

ZEL_EXPORT void zel_panic_bounds(int64_t index, int64_t length) { zel::fail_bounds(index, length); }

ZEL_EXPORT void zel_panic_divzero(void) { zel::fail("division by zero", "panic: %s\n", "division by zero"); }

static inline int64_t *array_elements(const ZelArray *a) {
    return reinterpret_cast<int64_t *>(const_cast<ZelArray *>(a) + 1);
}

ZEL_EXPORT int64_t zel_array_get_safe(const ZelArray *array, int64_t index) {
    if (index < 0 || index >= array->len) {
        zel::fail_bounds(index, array->len);
        return 0;
    }
    return array_elements(array)[index];
}

ZEL_EXPORT void zel_array_set_safe(ZelArray *array, int64_t index, int64_t value) {
    if (index < 0 || index >= array->len) {
        zel::fail_bounds(index, array->len);
        return;
    }
    array_elements(array)[index] = value;
}

ZEL_EXPORT void zel_exit(int32_t status) { exit(status); }
