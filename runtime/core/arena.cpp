// The runtime allocator's slow path, arena control and raw memory primitives.
#include <stdio.h>
#include <stdlib.h>

#include "internal.h"

namespace zel {

namespace {

constexpr uint64_t kBlockSize = 8u << 20;
constexpr uint64_t kLargeSlack = 64;
constexpr uint64_t kDefaultLimit = uint64_t{4} << 30;

// Digits accumulate wherever they stand and only a final M or G scales, so
// "1.5G" reads as 15 GiB and "512K" as 512 bytes: existing deployments rely on it.
uint64_t parse_limit(const char *text) {
    if (text == nullptr || *text == '\0') return kDefaultLimit;
    uint64_t value = 0;
    const char *p = text;
    for (; *p; ++p)
        if (*p >= '0' && *p <= '9') value = value * 10 + static_cast<uint64_t>(*p - '0');
    char last = p[-1];
    if (last == 'm' || last == 'M') value <<= 20;
    else if (last == 'g' || last == 'G') value <<= 30;
    return value == 0 ? kDefaultLimit : value;
}

void release_after(ArenaBlock *keep, ArenaBlock *first) {
    for (ArenaBlock *b = first; b != nullptr;) {
        ArenaBlock *next = b->next;
        free(b->data);
        free(b);
        b = next;
    }
    if (keep) keep->next = nullptr;
}

}  // namespace

void out_of_memory() {
    static const char msg[] = "[zel] FATAL: out of memory\n";
    fwrite(msg, 1, sizeof msg - 1, stderr);
    exit(1);
}

void *heap_alloc(uint64_t size) {
    void *p = malloc(size);
    if (__builtin_expect(p == nullptr, 0) && size != 0) out_of_memory();
    if (__builtin_expect(size >= (uint64_t{4} << 20), 0)) prefer_huge_pages(static_cast<char *>(p), size);
    return p;
}

void *arena_alloc_slow(uint64_t size) {
    ArenaState &a = t_arena;
    if (a.max_size == 0) a.max_size = parse_limit(getenv("ZEL_ARENA_MAX_SIZE"));
    if (a.total_allocated + size > a.max_size || a.total_allocated + size < size) {
        fprintf(stderr, "[zel] FATAL: arena memory limit exceeded (%zu MB / %zu MB max)\n",
                static_cast<size_t>(a.total_allocated >> 20), static_cast<size_t>(a.max_size >> 20));
        fputs("[zel] Set ZEL_ARENA_MAX_SIZE environment variable to increase (e.g. 8G)\n", stderr);
        exit(1);
    }
    uint64_t block_size = size <= kBlockSize ? kBlockSize : size + kLargeSlack;
    // Without a block the request is still served, from the heap and outside the arena.
    auto *block = static_cast<ArenaBlock *>(malloc(sizeof(ArenaBlock)));
    if (block == nullptr) return heap_alloc(size);
    block->data = static_cast<char *>(malloc(block_size));
    if (block->data == nullptr) {
        free(block);
        return heap_alloc(size);
    }
    block->capacity = block_size;
    block->next = nullptr;
    a.total_allocated += block_size;
    if (a.current) a.current->next = block;
    else a.head = block;
    a.current = block;
    block->used = size;
    return block->data;
}

void release_arena_blocks() {
    release_after(nullptr, t_arena.head);
    t_arena.head = nullptr;
    t_arena.current = nullptr;
    t_arena.total_allocated = 0;
}

// Reset and destroy may free the marked block; a mark that outlived its block
// would make a later restore write into freed memory, so those calls drop it.
static void clear_save_mark() {
    t_arena.save_block = nullptr;
    t_arena.save_used = 0;
    t_arena.save_total = 0;
}

}  // namespace zel

using zel::t_arena;

ZEL_EXPORT int32_t zel_arena_mode(int32_t enabled) {
    zel::set_arena_enabled(enabled);
    return 0;
}
ZEL_EXPORT int32_t arena_mode(int32_t enabled) ZEL_ALIAS_OF(zel_arena_mode);

ZEL_EXPORT int32_t zel_arena_reset(void) {
    zel::ArenaBlock *first = t_arena.head;
    if (first == nullptr) return 0;
    for (zel::ArenaBlock *b = first->next; b != nullptr; b = b->next) t_arena.total_allocated -= b->capacity;
    zel::release_after(first, first->next);
    first->used = 0;
    t_arena.current = first;
    zel::clear_save_mark();
    return 0;
}
ZEL_EXPORT int32_t arena_reset(void) ZEL_ALIAS_OF(zel_arena_reset);

ZEL_EXPORT int32_t zel_arena_save(void) {
    t_arena.save_block = t_arena.current;
    t_arena.save_used = t_arena.current ? t_arena.current->used : 0;
    t_arena.save_total = t_arena.total_allocated;
    return 0;
}
ZEL_EXPORT int32_t arena_save(void) ZEL_ALIAS_OF(zel_arena_save);

ZEL_EXPORT int32_t zel_arena_restore(void) {
    zel::ArenaBlock *mark = t_arena.save_block;
    if (mark == nullptr) return 0;
    zel::release_after(mark, mark->next);
    mark->used = t_arena.save_used;
    t_arena.current = mark;
    t_arena.total_allocated = t_arena.save_total;
    return 0;
}
ZEL_EXPORT int32_t arena_restore(void) ZEL_ALIAS_OF(zel_arena_restore);

ZEL_EXPORT uint64_t zel_arena_usage(void) { return t_arena.total_allocated; }
ZEL_EXPORT uint64_t arena_usage(void) ZEL_ALIAS_OF(zel_arena_usage);

ZEL_EXPORT int32_t zel_arena_destroy(void) {
    zel::release_arena_blocks();
    zel::clear_save_mark();
    zel::set_arena_enabled(0);
    return 0;
}
ZEL_EXPORT int32_t arena_destroy(void) ZEL_ALIAS_OF(zel_arena_destroy);

// ---- raw memory primitives: compiled code has already checked its pointers ----

ZEL_EXPORT void zel_store_i64(void *ptr, int64_t value) { memcpy(ptr, &value, sizeof value); }
ZEL_EXPORT void store_i64(void *ptr, int64_t value) ZEL_ALIAS_OF(zel_store_i64);

ZEL_EXPORT int64_t zel_load_i64(const void *ptr) {
    int64_t v;
    memcpy(&v, ptr, sizeof v);
    return v;
}
ZEL_EXPORT int64_t load_i64(const void *ptr) ZEL_ALIAS_OF(zel_load_i64);

ZEL_EXPORT void zel_store_u8(void *ptr, int64_t value) { *static_cast<uint8_t *>(ptr) = static_cast<uint8_t>(value); }
ZEL_EXPORT void store_u8(void *ptr, int64_t value) ZEL_ALIAS_OF(zel_store_u8);

ZEL_EXPORT int64_t zel_load_u8(const void *ptr) { return *static_cast<const uint8_t *>(ptr); }
ZEL_EXPORT int64_t load_u8(const void *ptr) ZEL_ALIAS_OF(zel_load_u8);

ZEL_EXPORT void *zel_str_data(void *ptr) { return ptr; }

ZEL_EXPORT void *zel_calloc(int64_t count, int64_t size) {
    return calloc(static_cast<size_t>(count), static_cast<size_t>(size));
}

ZEL_EXPORT int64_t *zel_box_new_i64(int64_t value) {
    auto *cell = static_cast<int64_t *>(zel::heap_alloc(sizeof(int64_t)));
    *cell = value;
    return cell;
}
