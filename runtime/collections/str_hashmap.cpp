// The string hash map: open addressing over a power-of-two table with linear
// probing, deleted markers and doubling above 70 % load. Keys are the caller's
// records, held by pointer.
//
// Each slot keeps the low 32 bits of its key's folded hash in the padding after
// `state`: a probe rejects other keys without reaching their records, and
// growth places entries without hashing their bytes again. Home slots only use
// those bits while the table has at most 2^32 slots; past that the key is hashed.
#include <stddef.h>
#include <stdlib.h>

#include <algorithm>

#include "maps.h"

static_assert(sizeof(ZelStrHashmapSlot) == 24, "slot: key, value, 32-bit state");
static_assert(offsetof(ZelStrHashmapSlot, key) == 0 && offsetof(ZelStrHashmapSlot, value) == 8 &&
                  offsetof(ZelStrHashmapSlot, state) == 16,
              "ZelStrHashmapSlot layout");
static_assert(sizeof(ZelStrHashmap) == 24, "ZelStrHashmap is three 64-bit words");
static_assert(offsetof(ZelStrHashmap, slots) == 0 && offsetof(ZelStrHashmap, count) == 8 &&
                  offsetof(ZelStrHashmap, capacity) == 16,
              "ZelStrHashmap layout");

namespace zel {
namespace {

constexpr int64_t kInitialSlots = 4096;
constexpr int32_t kEmpty = 0, kOccupied = 1, kDeleted = 2;

// FNV-1a folded; a null key hashes to 0.
inline uint64_t key_hash(const ZelString *k) {
    if (k == nullptr) return 0;
    uint64_t h = maps::fnv1a(ubytes(k), readable(k));
    return h ^ (h >> 32);
}

// Same record, or equal lengths and bytes; a null key equals only null.
inline bool same_key(const ZelString *a, const ZelString *b) {
    if (a == b) return true;
    if (a == nullptr || b == nullptr || a->len != b->len) return false;
    int64_t n = readable(a);
    return n == readable(b) && maps::bytes_equal(a->data, b->data, n);
}

ZelStrHashmapSlot *find(const ZelStrHashmap *m, const ZelString *key) {
    uint64_t h = key_hash(key);
    uint32_t hint = static_cast<uint32_t>(h);
    uint64_t mask = static_cast<uint64_t>(m->capacity) - 1;
    ZelStrHashmapSlot *slots = m->slots;
    uint64_t i = h & mask;
    for (int64_t n = m->capacity; n > 0; --n, i = (i + 1) & mask) {
        ZelStrHashmapSlot *s = &slots[i];
        if (s->state == kEmpty) return nullptr;
        if (s->state == kOccupied && s->hint == hint && same_key(s->key, key)) return s;
    }
    return nullptr;
}

// Doubles the table; when memory is short the map stays as it was.
void grow(ZelStrHashmap *m) {
    int64_t cap = m->capacity;
    if (cap > PTRDIFF_MAX / static_cast<int64_t>(2 * sizeof(ZelStrHashmapSlot))) return;
    int64_t ncap = cap * 2;
    auto *fresh = static_cast<ZelStrHashmapSlot *>(calloc(static_cast<size_t>(ncap), sizeof(ZelStrHashmapSlot)));
    if (fresh == nullptr) return;
    uint64_t mask = static_cast<uint64_t>(ncap) - 1;
    bool hint_covers = ncap <= (int64_t{1} << 32);
    const ZelStrHashmapSlot *old = m->slots;
    for (int64_t j = 0; j < cap; ++j) {
        if (old[j].state != kOccupied) continue;
        uint64_t i = (hint_covers ? old[j].hint : key_hash(old[j].key)) & mask;
        while (fresh[i].state == kOccupied) i = (i + 1) & mask;
        fresh[i] = old[j];
    }
    free(m->slots);
    m->slots = fresh;
    m->capacity = ncap;
}

// The slot that holds key after the growth check: its own when present
// (*found set), else a free one that the caller fills; null when the table
// is full.
ZelStrHashmapSlot *slot_for(ZelStrHashmap *m, const ZelString *key, bool *found) {
    if (10 * m->count > 7 * m->capacity) grow(m);
    uint64_t h = key_hash(key);
    uint32_t hint = static_cast<uint32_t>(h);
    uint64_t mask = static_cast<uint64_t>(m->capacity) - 1;
    ZelStrHashmapSlot *slots = m->slots, *reuse = nullptr, *target = nullptr;
    uint64_t i = h & mask;
    for (int64_t n = m->capacity; n > 0; --n, i = (i + 1) & mask) {
        ZelStrHashmapSlot *s = &slots[i];
        if (s->state == kEmpty) {
            target = s;
            break;
        }
        if (s->state == kDeleted) {
            if (reuse == nullptr) reuse = s;
        } else if (s->hint == hint && same_key(s->key, key)) {
            *found = true;
            return s;
        }
    }
    *found = false;
    if (reuse != nullptr) target = reuse;
    if (target != nullptr) target->hint = hint;
    return target;
}

// Nulls first, then unsigned bytes, a proper prefix before the longer key.
bool key_less(const ZelString *a, const ZelString *b) {
    if (a == nullptr || b == nullptr) return a == nullptr && b != nullptr;
    int64_t na = readable(a), nb = readable(b);
    int64_t common = na < nb ? na : nb;
    int r = common > 0 ? memcmp(a->data, b->data, static_cast<size_t>(common)) : 0;
    return r != 0 ? r < 0 : na < nb;
}

inline void occupy(ZelStrHashmap *m, ZelStrHashmapSlot *s, ZelString *key, int64_t value) {
    s->key = key;
    s->value = value;
    s->state = kOccupied;
    ++m->count;
}

// Key records of the occupied slots into a new string vector, in table order.
int64_t key_handle(const ZelStrHashmap *m, bool sorted) {
    int64_t h = zel_svec_new();
    if (h < 0 || m == nullptr || m->count == 0) return h;
    // Filled as successive pushes would leave it: capacity 8, doubled as needed.
    int64_t cap = 8;
    while (cap < m->count) cap *= 2;
    auto *items = static_cast<ZelString **>(malloc(static_cast<size_t>(cap) * sizeof(ZelString *)));
    if (items == nullptr) out_of_memory();
    int64_t n = 0;
    for (int64_t i = 0; i < m->capacity && n < cap; ++i)
        if (m->slots[i].state == kOccupied) items[n++] = m->slots[i].key;
    if (sorted) {
        // The order of cmp_zel_str_ptr; the keys of one map are distinct.
        std::sort(items, items + n, key_less);
    }
    g_svec_pool[h] = ZelSvec{items, n, cap};
    return h;
}

ZelVec *list(const ZelStrHashmap *m, bool keys) {
    if (m == nullptr) return zel_vec_new();
    ZelVec *v = maps::listing(m->count);
    const ZelStrHashmapSlot *s = m->slots;
    for (int64_t i = 0; i < m->capacity; ++i)
        if (s[i].state == kOccupied) maps::put(v, keys ? reinterpret_cast<int64_t>(s[i].key) : s[i].value);
    return v;
}

}  // namespace
}  // namespace zel

ZEL_EXPORT ZelStrHashmap *str_hashmap_new(void) {
    auto *m = static_cast<ZelStrHashmap *>(malloc(sizeof(ZelStrHashmap)));
    if (m == nullptr) return nullptr;
    m->slots = static_cast<ZelStrHashmapSlot *>(calloc(zel::kInitialSlots, sizeof(ZelStrHashmapSlot)));
    if (m->slots == nullptr) {
        free(m);
        return nullptr;
    }
    m->count = 0;
    m->capacity = zel::kInitialSlots;
    return m;
}

ZEL_EXPORT void str_hashmap_free(ZelStrHashmap *m) {
    if (m == nullptr) return;
    free(m->slots);
    free(m);
}

ZEL_EXPORT int64_t str_hashmap_len(const ZelStrHashmap *m) { return m ? m->count : 0; }

ZEL_EXPORT int64_t str_hashmap_insert(ZelStrHashmap *m, ZelString *key, int64_t value) {
    if (m == nullptr) return 0;
    bool found;
    ZelStrHashmapSlot *s = zel::slot_for(m, key, &found);
    if (found) {
        int64_t old = s->value;
        s->value = value;
        return old;
    }
    if (s != nullptr) zel::occupy(m, s, key, value);
    return 0;
}

ZEL_EXPORT int64_t str_hashmap_get(const ZelStrHashmap *m, const ZelString *key) {
    const ZelStrHashmapSlot *s = m ? zel::find(m, key) : nullptr;
    return s ? s->value : 0;
}

ZEL_EXPORT int64_t str_hashmap_contains(const ZelStrHashmap *m, const ZelString *key) {
    return (m && zel::find(m, key)) ? 1 : 0;
}

ZEL_EXPORT int64_t str_hashmap_remove(ZelStrHashmap *m, const ZelString *key) {
    ZelStrHashmapSlot *s = m ? zel::find(m, key) : nullptr;
    if (s == nullptr) return 0;
    s->state = zel::kDeleted;
    --m->count;
    return s->value;
}

ZEL_EXPORT ZelVec *str_hashmap_keys(const ZelStrHashmap *m) { return zel::list(m, true); }
ZEL_EXPORT ZelVec *str_hashmap_values(const ZelStrHashmap *m) { return zel::list(m, false); }

ZEL_EXPORT ZelStrHashmap *zel_str_hashmap_new(void) ZEL_ALIAS_OF(str_hashmap_new);
ZEL_EXPORT int64_t zel_str_hashmap_insert(ZelStrHashmap *m, ZelString *key, int64_t value)
    ZEL_ALIAS_OF(str_hashmap_insert);
ZEL_EXPORT int64_t zel_str_hashmap_get(const ZelStrHashmap *m, const ZelString *key) ZEL_ALIAS_OF(str_hashmap_get);
ZEL_EXPORT int64_t zel_str_hashmap_contains(const ZelStrHashmap *m, const ZelString *key)
    ZEL_ALIAS_OF(str_hashmap_contains);
ZEL_EXPORT int64_t zel_str_hashmap_remove(ZelStrHashmap *m, const ZelString *key) ZEL_ALIAS_OF(str_hashmap_remove);
ZEL_EXPORT int64_t zel_str_hashmap_len(const ZelStrHashmap *m) ZEL_ALIAS_OF(str_hashmap_len);
ZEL_EXPORT ZelVec *zel_str_hashmap_values(const ZelStrHashmap *m) ZEL_ALIAS_OF(str_hashmap_values);

ZEL_EXPORT int64_t zel_str_hashmap_free(ZelStrHashmap *m) {
    str_hashmap_free(m);
    return 0;
}

ZEL_EXPORT int64_t zel_str_hashmap_update(ZelStrHashmap *m, ZelString *key, int64_t value) {
    str_hashmap_insert(m, key, value);
    return 0;
}

// One probe for the read and the write: the growth check and the slot found
// are those the separate get and insert would have used.
ZEL_EXPORT int64_t zel_str_hashmap_inc(ZelStrHashmap *m, ZelString *key, int64_t delta) {
    if (m == nullptr) return 0;
    bool found;
    ZelStrHashmapSlot *s = zel::slot_for(m, key, &found);
    if (found) s->value = static_cast<int64_t>(static_cast<uint64_t>(s->value) + static_cast<uint64_t>(delta));
    else if (s != nullptr) zel::occupy(m, s, key, delta);
    return 0;
}

ZEL_EXPORT int64_t zel_str_hashmap_keys(const ZelStrHashmap *m) { return zel::key_handle(m, false); }
ZEL_EXPORT int64_t zel_str_hashmap_sorted_keys(const ZelStrHashmap *m) { return zel::key_handle(m, true); }
