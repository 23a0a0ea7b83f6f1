// The integer hash map: a fixed table of 131072 slots with linear probing and
// deleted markers. It never grows, so an insert never pays for a rehash.
#include <stddef.h>
#include <stdlib.h>

#include "maps.h"

static_assert(sizeof(ZelHashmapSlot) == 24, "slot: key, value, 32-bit state");
static_assert(offsetof(ZelHashmapSlot, key) == 0 && offsetof(ZelHashmapSlot, value) == 8 &&
                  offsetof(ZelHashmapSlot, state) == 16,
              "ZelHashmapSlot layout");
static_assert(sizeof(ZelHashmap) == 24, "ZelHashmap is three 64-bit words");
static_assert(offsetof(ZelHashmap, slots) == 0 && offsetof(ZelHashmap, count) == 8 &&
                  offsetof(ZelHashmap, capacity) == 16,
              "ZelHashmap layout");

namespace zel {
namespace {

constexpr int64_t kSlots = 131072;
constexpr int32_t kEmpty = 0, kOccupied = 1, kDeleted = 2;

// Multiplicative hash; the fold brings the well-mixed high half down to the
// bits the mask keeps.
inline uint64_t home(int64_t key, uint64_t mask) {
    uint64_t h = static_cast<uint64_t>(key) * 0x517cc1b727220a95ull;
    return (h ^ (h >> 32)) & mask;
}

ZelHashmapSlot *find(const ZelHashmap *m, int64_t key) {
    uint64_t mask = static_cast<uint64_t>(m->capacity) - 1;
    ZelHashmapSlot *slots = m->slots;
    uint64_t i = home(key, mask);
    for (int64_t n = m->capacity; n > 0; --n, i = (i + 1) & mask) {
        ZelHashmapSlot *s = &slots[i];
        if (s->state == kEmpty) return nullptr;
        if (s->state == kOccupied && s->key == key) return s;
    }
    return nullptr;
}

ZelVec *list(const ZelHashmap *m, bool keys) {
    if (m == nullptr) return zel_vec_new();
    ZelVec *v = maps::listing(m->count);
    const ZelHashmapSlot *s = m->slots;
    for (int64_t i = 0; i < m->capacity; ++i)
        if (s[i].state == kOccupied) maps::put(v, keys ? s[i].key : s[i].value);
    return v;
}

}  // namespace
}  // namespace zel

ZEL_EXPORT ZelHashmap *hashmap_new(void) {
    auto *m = static_cast<ZelHashmap *>(malloc(sizeof(ZelHashmap)));
    if (m == nullptr) return nullptr;
    m->slots = static_cast<ZelHashmapSlot *>(calloc(zel::kSlots, sizeof(ZelHashmapSlot)));
    if (m->slots == nullptr) {
        free(m);
        return nullptr;
    }
    m->count = 0;
    m->capacity = zel::kSlots;
    return m;
}

ZEL_EXPORT void hashmap_free(ZelHashmap *m) {
    if (m == nullptr) return;
    free(m->slots);
    free(m);
}

ZEL_EXPORT int64_t hashmap_len(const ZelHashmap *m) { return m ? m->count : 0; }

ZEL_EXPORT int64_t hashmap_insert(ZelHashmap *m, int64_t key, int64_t value) {
    if (m == nullptr) return 0;
    uint64_t mask = static_cast<uint64_t>(m->capacity) - 1;
    ZelHashmapSlot *slots = m->slots, *reuse = nullptr, *target = nullptr;
    uint64_t i = zel::home(key, mask);
    for (int64_t n = m->capacity; n > 0; --n, i = (i + 1) & mask) {
        ZelHashmapSlot *s = &slots[i];
        if (s->state == zel::kEmpty) {
            target = s;
            break;
        }
        if (s->state == zel::kDeleted) {
            if (reuse == nullptr) reuse = s;
        } else if (s->key == key) {
            int64_t old = s->value;
            s->value = value;
            return old;
        }
    }
    // The first deleted slot passed comes before the empty one; with neither
    // the table is full.
    if (reuse != nullptr) target = reuse;
    if (target == nullptr) return 0;
    target->key = key;
    target->value = value;
    target->state = zel::kOccupied;
    ++m->count;
    return 0;
}

ZEL_EXPORT int64_t hashmap_get(const ZelHashmap *m, int64_t key) {
    const ZelHashmapSlot *s = m ? zel::find(m, key) : nullptr;
    return s ? s->value : INT64_MIN;
}

ZEL_EXPORT int64_t hashmap_remove(ZelHashmap *m, int64_t key) {
    ZelHashmapSlot *s = m ? zel::find(m, key) : nullptr;
    if (s == nullptr) return INT64_MIN;
    s->state = zel::kDeleted;
    --m->count;
    return s->value;
}

ZEL_EXPORT int64_t hashmap_contains(const ZelHashmap *m, int64_t key) {
    return (m && zel::find(m, key)) ? 1 : 0;
}

ZEL_EXPORT ZelVec *hashmap_keys(const ZelHashmap *m) { return zel::list(m, true); }
ZEL_EXPORT ZelVec *hashmap_values(const ZelHashmap *m) { return zel::list(m, false); }
