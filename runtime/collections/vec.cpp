// The integer vector. Record and storage live on the system heap so a vector
// survives arena resets; arena memory never reaches free or realloc here.
#include <stddef.h>
#include <stdlib.h>

#include <algorithm>

#include "../core/internal.h"

static_assert(sizeof(ZelVec) == 24, "ZelVec is three 64-bit words");
static_assert(offsetof(ZelVec, capacity) == 0, "ZelVec layout");
static_assert(offsetof(ZelVec, len) == 8, "ZelVec layout");
static_assert(offsetof(ZelVec, items) == 16, "ZelVec layout");

namespace zel {
namespace {

// Largest slot count whose byte size still fits a ptrdiff_t.
constexpr int64_t kMaxSlots = PTRDIFF_MAX / static_cast<int64_t>(sizeof(int64_t));

}  // namespace

ZelVec *vec_make(int64_t capacity) {
    if (capacity > kMaxSlots) out_of_memory();
    auto *v = static_cast<ZelVec *>(malloc(sizeof(ZelVec)));
    if (v == nullptr) out_of_memory();
    v->items = static_cast<int64_t *>(malloc(static_cast<size_t>(capacity) * sizeof(int64_t)));
    if (v->items == nullptr) out_of_memory();
    v->capacity = capacity;
    v->len = 0;
    return v;
}

// Doubles the capacity until `need` slots fit; one realloc for the final size.
void vec_reserve(ZelVec *v, int64_t need) {
    int64_t cap = v->capacity;
    if (need <= cap) return;
    while (cap < need) {
        if (cap > kMaxSlots / 2) out_of_memory();
        cap *= 2;
    }
    auto *items = static_cast<int64_t *>(realloc(v->items, static_cast<size_t>(cap) * sizeof(int64_t)));
    if (items == nullptr) out_of_memory();
    v->items = items;
    v->capacity = cap;
}

}  // namespace zel

ZEL_EXPORT ZelVec *zel_vec_new(void) { return zel::vec_make(8); }

ZEL_EXPORT ZelVec *zel_vec_with_capacity(int64_t n) { return zel::vec_make(n >= 2 ? n : 1); }

ZEL_EXPORT ZelVec *zel_vec_push(ZelVec *v, int64_t value) {
    zel::vec_append(v, value);
    return v;
}

ZEL_EXPORT int64_t zel_vec_get(const ZelVec *v, int64_t index) { return v->items[index]; }
ZEL_EXPORT void zel_vec_set(ZelVec *v, int64_t index, int64_t value) { v->items[index] = value; }
ZEL_EXPORT int64_t zel_vec_len(const ZelVec *v) { return v->len; }
ZEL_EXPORT int64_t zel_vec_cap(const ZelVec *v) { return v->capacity; }

ZEL_EXPORT int64_t zel_vec_pop(ZelVec *v) {
    if (v->len == 0) return 0;
    return v->items[--v->len];
}

ZEL_EXPORT void zel_vec_clear(ZelVec *v) { v->len = 0; }

ZEL_EXPORT void zel_vec_free(ZelVec *v) {
    free(v->items);
    free(v);
}

ZEL_EXPORT void zel_vec_reverse(ZelVec *v) { std::reverse(v->items, v->items + v->len); }

ZEL_EXPORT int64_t zel_vec_index_of(const ZelVec *v, int64_t value) {
    for (int64_t i = 0; i < v->len; ++i)
        if (v->items[i] == value) return i;
    return -1;
}

ZEL_EXPORT int64_t zel_vec_contains(const ZelVec *v, int64_t value) {
    return zel_vec_index_of(v, value) >= 0 ? 1 : 0;
}

ZEL_EXPORT void zel_vec_swap(ZelVec *v, int64_t i, int64_t j) {
    int64_t t = v->items[i];
    v->items[i] = v->items[j];
    v->items[j] = t;
}

// Equal integers cannot be told apart, so any ascending sort is also a stable one.
ZEL_EXPORT void zel_vec_sort(ZelVec *v) { std::sort(v->items, v->items + v->len); }

ZEL_EXPORT void zel_vec_dedup(ZelVec *v) {
    v->len = std::unique(v->items, v->items + v->len) - v->items;
}

ZEL_EXPORT void zel_vec_fill(ZelVec *v, int64_t value) { std::fill(v->items, v->items + v->len, value); }

ZEL_EXPORT ZelVec *zel_vec_copy(const ZelVec *v) {
    int64_t n = v->len;
    ZelVec *c = zel::vec_make(n >= 1 ? n : 8);
    if (n > 0) memcpy(c->items, v->items, static_cast<size_t>(n) * sizeof(int64_t));
    c->len = n;
    return c;
}

ZEL_EXPORT ZelVec *zel_vec_slice(const ZelVec *v, int64_t start, int64_t end) {
    int64_t lo = start > 0 ? start : 0;
    int64_t hi = end < v->len ? end : v->len;
    // Compared before subtracting: hi - lo could leave the 64-bit range.
    if (hi <= lo) return zel::vec_make(8);
    int64_t n = hi - lo;
    ZelVec *c = zel::vec_make(n);
    memcpy(c->items, v->items + lo, static_cast<size_t>(n) * sizeof(int64_t));
    c->len = n;
    return c;
}

// With dst == src the count is taken before growing and the elements are read
// from the storage as it is after the realloc.
ZEL_EXPORT void zel_vec_extend(ZelVec *dst, const ZelVec *src) {
    int64_t n = src->len;
    if (n == 0) return;
    zel::vec_reserve(dst, dst->len + n);
    memmove(dst->items + dst->len, src->items, static_cast<size_t>(n) * sizeof(int64_t));
    dst->len += n;
}

ZEL_EXPORT int64_t zel_vec_remove(ZelVec *v, int64_t index) {
    if (index < 0 || index >= v->len) return 0;
    int64_t value = v->items[index];
    memmove(v->items + index, v->items + index + 1,
            static_cast<size_t>(v->len - index - 1) * sizeof(int64_t));
    --v->len;
    return value;
}

ZEL_EXPORT void zel_vec_insert(ZelVec *v, int64_t index, int64_t value) {
    int64_t len = v->len;
    int64_t pos = index <= 0 ? 0 : (index > len ? len : index);
    if (len == v->capacity) zel::vec_reserve(v, len + 1);
    memmove(v->items + pos + 1, v->items + pos, static_cast<size_t>(len - pos) * sizeof(int64_t));
    v->items[pos] = value;
    v->len = len + 1;
}

ZEL_EXPORT int64_t zel_vec_sum(const ZelVec *v) {
    uint64_t sum = 0;
    for (int64_t i = 0; i < v->len; ++i) sum += static_cast<uint64_t>(v->items[i]);
    return static_cast<int64_t>(sum);
}

ZEL_EXPORT int64_t zel_vec_product(const ZelVec *v) {
    uint64_t product = 1;
    for (int64_t i = 0; i < v->len; ++i) product *= static_cast<uint64_t>(v->items[i]);
    return static_cast<int64_t>(product);
}

ZEL_EXPORT int64_t zel_vec_min(const ZelVec *v) {
    int64_t m = INT64_MAX;
    for (int64_t i = 0; i < v->len; ++i) m = v->items[i] < m ? v->items[i] : m;
    return m;
}

ZEL_EXPORT int64_t zel_vec_max(const ZelVec *v) {
    int64_t m = INT64_MIN;
    for (int64_t i = 0; i < v->len; ++i) m = v->items[i] > m ? v->items[i] : m;
    return m;
}

ZEL_EXPORT ZelVec *vec_new(void) ZEL_ALIAS_OF(zel_vec_new);
ZEL_EXPORT ZelVec *vec_with_capacity(int64_t n) ZEL_ALIAS_OF(zel_vec_with_capacity);
ZEL_EXPORT ZelVec *vec_push(ZelVec *v, int64_t value) ZEL_ALIAS_OF(zel_vec_push);
ZEL_EXPORT int64_t vec_get(const ZelVec *v, int64_t index) ZEL_ALIAS_OF(zel_vec_get);
ZEL_EXPORT void vec_set(ZelVec *v, int64_t index, int64_t value) ZEL_ALIAS_OF(zel_vec_set);
ZEL_EXPORT int64_t vec_len(const ZelVec *v) ZEL_ALIAS_OF(zel_vec_len);
ZEL_EXPORT int64_t vec_cap(const ZelVec *v) ZEL_ALIAS_OF(zel_vec_cap);
ZEL_EXPORT int64_t vec_pop(ZelVec *v) ZEL_ALIAS_OF(zel_vec_pop);
ZEL_EXPORT void vec_clear(ZelVec *v) ZEL_ALIAS_OF(zel_vec_clear);
ZEL_EXPORT void vec_free(ZelVec *v) ZEL_ALIAS_OF(zel_vec_free);
ZEL_EXPORT void vec_reverse(ZelVec *v) ZEL_ALIAS_OF(zel_vec_reverse);
ZEL_EXPORT int64_t vec_contains(const ZelVec *v, int64_t value) ZEL_ALIAS_OF(zel_vec_contains);
ZEL_EXPORT int64_t vec_index_of(const ZelVec *v, int64_t value) ZEL_ALIAS_OF(zel_vec_index_of);
ZEL_EXPORT void vec_swap(ZelVec *v, int64_t i, int64_t j) ZEL_ALIAS_OF(zel_vec_swap);
ZEL_EXPORT void vec_sort(ZelVec *v) ZEL_ALIAS_OF(zel_vec_sort);
ZEL_EXPORT void vec_dedup(ZelVec *v) ZEL_ALIAS_OF(zel_vec_dedup);
ZEL_EXPORT void vec_fill(ZelVec *v, int64_t value) ZEL_ALIAS_OF(zel_vec_fill);
ZEL_EXPORT ZelVec *vec_copy(const ZelVec *v) ZEL_ALIAS_OF(zel_vec_copy);
ZEL_EXPORT ZelVec *vec_slice(const ZelVec *v, int64_t start, int64_t end) ZEL_ALIAS_OF(zel_vec_slice);
ZEL_EXPORT void vec_extend(ZelVec *dst, const ZelVec *src) ZEL_ALIAS_OF(zel_vec_extend);
ZEL_EXPORT int64_t vec_remove(ZelVec *v, int64_t index) ZEL_ALIAS_OF(zel_vec_remove);
ZEL_EXPORT void vec_insert(ZelVec *v, int64_t index, int64_t value) ZEL_ALIAS_OF(zel_vec_insert);
ZEL_EXPORT int64_t vec_sum(const ZelVec *v) ZEL_ALIAS_OF(zel_vec_sum);
ZEL_EXPORT int64_t vec_product(const ZelVec *v) ZEL_ALIAS_OF(zel_vec_product);
ZEL_EXPORT int64_t vec_min(const ZelVec *v) ZEL_ALIAS_OF(zel_vec_min);
ZEL_EXPORT int64_t vec_max(const ZelVec *v) ZEL_ALIAS_OF(zel_vec_max);
