// Shared by every translation unit of the library; never installed for hosts.
#pragma once

#include <setjmp.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>

#include "zel.h"

// Every exported definition carries this macro; the build hides everything else.
#define ZEL_EXPORT extern "C" __attribute__((visibility("default")))
// An alias that behaves exactly like its target is the same code under a second name.
#define ZEL_ALIAS_OF(target) __attribute__((alias(#target)))

namespace zel {

struct ArenaBlock {
    char *data;
    uint64_t used;
    uint64_t capacity;
    ArenaBlock *next;
};

// Arena fields are touched on every allocation, so they sit in a small block of
// initial-exec TLS (a plain segment-relative load); the rest of the state is
// larger and colder and uses the general TLS model, which never exhausts the
// loader's static TLS reserve when a host dlopens the library.
struct ArenaState {
    ArenaBlock *head;
    uint64_t total_allocated;
    ArenaBlock *current;
    ArenaBlock *save_block;
    uint64_t save_used;
    uint64_t save_total;
    uint64_t max_size;
};

struct ThreadState {
    int32_t ffi_has_error;
    char ffi_error_msg[512];
    int32_t ffi_active;
    jmp_buf ffi_jmp_buf;
    // The context a failure may return to: a frame that is still running
    // (zel_ffi_call's or the host's via ZEL_FFI_TRY), or null when none is.
    jmp_buf *ffi_live;
    int32_t argc;
    char **argv;
    uint64_t rng_state;
};

extern __thread ArenaState t_arena __attribute__((tls_model("initial-exec")));
extern __thread ThreadState t_state;

inline bool arena_enabled() { return __atomic_load_n(&g_arena_enabled, __ATOMIC_RELAXED) != 0; }
inline void set_arena_enabled(int32_t on) { __atomic_store_n(&g_arena_enabled, on, __ATOMIC_RELAXED); }

// Ends the process with one line on stderr; used wherever the system heap is
// exhausted and the only alternative would be writing through a null pointer.
[[noreturn]] void out_of_memory();

// A large block is usually filled once, front to back: huge pages cut the page
// faults of filling it some 500-fold. Only whole huge pages inside the block are
// marked; the hint is harmless where it cannot be honoured.
inline void prefer_huge_pages(char *p, uint64_t size) {
    constexpr uint64_t kHuge = uint64_t{2} << 20;
    if (size < 2 * kHuge) return;
    uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(p) + size) & ~(kHuge - 1);
    if (end > begin) madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
}

void *heap_alloc(uint64_t size);               // malloc, or out_of_memory
void *arena_alloc_slow(uint64_t rounded_size);  // new block, limit check
// Frees every block of the calling thread's arena and empties the list; the
// save mark is the caller's business.
void release_arena_blocks();

// The runtime allocator: a bump in the thread's current arena block when arena
// mode is on, the system heap otherwise.
inline void *zel_alloc(uint64_t size) {
    if (!arena_enabled()) return heap_alloc(size);
    uint64_t rounded = (size + 7) & ~uint64_t{7};
    ArenaBlock *b = t_arena.current;
    if (__builtin_expect(b != nullptr && rounded >= size && rounded <= b->capacity - b->used, 1)) {
        char *p = b->data + b->used;
        b->used += rounded;
        return p;
    }
    // A request so large that rounding wraps can only fail the limit check.
    return arena_alloc_slow(rounded >= size ? rounded : ~uint64_t{7});
}

// Vectors for the library's own use (exported entry points add nothing):
// a new one with room for `capacity` values, growth by doubling to `need`
// slots, and append.
ZelVec *vec_make(int64_t capacity);
void vec_reserve(ZelVec *v, int64_t need);
inline void vec_append(ZelVec *v, int64_t value) {
    if (__builtin_expect(v->len == v->capacity, 0)) vec_reserve(v, v->len + 1);
    v->items[v->len++] = value;
}

// The number of bytes that may be read from s: records made by hosts or by
// hand can carry a null data pointer or a negative length, and both read as
// empty rather than reach memcpy.
inline int64_t readable(const ZelString *s) {
    return (s != nullptr && s->data != nullptr && s->len > 0) ? s->len : 0;
}
inline const uint8_t *ubytes(const ZelString *s) { return reinterpret_cast<const uint8_t *>(s->data); }

// A new string of n bytes copied from src (n may be 0; src may then be null):
// byte block first, then the record, both from zel_alloc.
ZelString *make_string(const char *src, int64_t n);
// As make_string, for pieces cut out of a larger text: `avail` bytes may be
// read from src (at least n), which lets short pieces move in one copy.
ZelString *make_piece(const char *src, int64_t n, int64_t avail);
// The pieces of text[0, n) that end at cuts[0, count), each starting `skip`
// bytes after the previous cut (the first at *done), made in arena mode from
// the current arena block in one go and stored in out. Returns count, with
// *done past the last cut, or 0 (nothing made) when the block lacks the room
// or arena mode is off.
int64_t arena_pieces(const char *text, int64_t n, const int64_t *cuts, int64_t count, int64_t skip,
                     int64_t *done, ZelString **out);
// A new string with room for n bytes; the caller fills data[0..n) (NUL is set).
ZelString *make_string_uninit(int64_t n);
// A new string of n bytes in a byte block of `block` bytes (at least n + 1);
// the caller fills data[0..n) (NUL is set). For results whose block size is
// part of their contract.
ZelString *make_string_in_block(int64_t n, int64_t block);
// The parts in order with sep between neighbours (null parts and a null sep
// add no bytes), in one allocation of the exact size.
ZelString *join_strings(const ZelString *const *parts, int64_t count, const ZelString *sep);
// A fresh empty string: a 1-byte NUL block, len 0, cap 0.
inline ZelString *fresh_empty() { return make_string(nullptr, 0); }

}  // namespace zel
