// The string map: chained buckets over a power-of-two bucket array, doubling
// above 0.75 entries per bucket. The map owns a copy of every key.
//
// A node, its key's length and hash and the key copy share one heap block, so
// an entry costs one allocation, chains are walked comparing hashes before
// lengths before bytes, and growth relinks nodes without hashing keys again.
// Keeping the length lets keys hold zero bytes.
#include <stddef.h>
#include <stdlib.h>

#include "maps.h"

static_assert(sizeof(ZelStrmapNode) == 24, "ZelStrmapNode is three 64-bit words");
static_assert(offsetof(ZelStrmapNode, key) == 0 && offsetof(ZelStrmapNode, value) == 8 &&
                  offsetof(ZelStrmapNode, next) == 16,
              "ZelStrmapNode layout");
static_assert(sizeof(ZelStrmap) == 24, "ZelStrmap is three 64-bit words");
static_assert(offsetof(ZelStrmap, buckets) == 0 && offsetof(ZelStrmap, nbuckets) == 8 &&
                  offsetof(ZelStrmap, count) == 16,
              "ZelStrmap layout");

namespace zel {
namespace {

constexpr int64_t kInitialBuckets = 64;

struct Entry {
    ZelStrmapNode node;  // first, so a node pointer is its entry's pointer
    uint64_t hash;       // FNV-1a of the key, unfolded
    int64_t len;         // key length; the copy follows the entry, NUL-terminated
};

inline Entry *entry_of(ZelStrmapNode *n) { return reinterpret_cast<Entry *>(n); }

inline bool usable(const ZelStrmap *m, const ZelString *key) {
    return m != nullptr && key != nullptr && key->data != nullptr;
}

inline ZelStrmapNode **bucket(const ZelStrmap *m, uint64_t h) {
    return &m->buckets[h & static_cast<uint64_t>(m->nbuckets - 1)];
}

// The link that points at the node of key (n bytes, hash h), so that remove
// can unlink it; null when absent.
ZelStrmapNode **find_link(const ZelStrmap *m, const ZelString *key, int64_t n, uint64_t h) {
    for (ZelStrmapNode **link = bucket(m, h); *link != nullptr; link = &(*link)->next) {
        const Entry *e = entry_of(*link);
        if (e->hash == h && e->len == n && maps::bytes_equal(e->node.key, key->data, n))
            return link;
    }
    return nullptr;
}

inline ZelStrmapNode **find_link(const ZelStrmap *m, const ZelString *key) {
    int64_t n = readable(key);
    return find_link(m, key, n, maps::fnv1a(ubytes(key), n));
}

inline ZelStrmapNode *find(const ZelStrmap *m, const ZelString *key) {
    ZelStrmapNode **link = find_link(m, key);
    return link ? *link : nullptr;
}

// Doubles the buckets. Old buckets in index order, each chain from its head,
// every node pushed onto the head of its new chain.
void grow(ZelStrmap *m) {
    int64_t nb = m->nbuckets;
    if (nb > PTRDIFF_MAX / static_cast<int64_t>(2 * sizeof(ZelStrmapNode *))) out_of_memory();
    auto *fresh = static_cast<ZelStrmapNode **>(calloc(static_cast<size_t>(nb) * 2, sizeof(ZelStrmapNode *)));
    if (fresh == nullptr) out_of_memory();
    uint64_t mask = static_cast<uint64_t>(nb) * 2 - 1;
    for (int64_t b = 0; b < nb; ++b) {
        for (ZelStrmapNode *node = m->buckets[b], *next; node != nullptr; node = next) {
            next = node->next;
            ZelStrmapNode **head = &fresh[entry_of(node)->hash & mask];
            node->next = *head;
            *head = node;
        }
    }
    free(m->buckets);
    m->buckets = fresh;
    m->nbuckets = nb * 2;
}

template <typename F>
void each_node(const ZelStrmap *m, F f) {
    for (int64_t b = 0; b < m->nbuckets; ++b)
        for (ZelStrmapNode *node = m->buckets[b]; node != nullptr; node = node->next) f(node);
}

}  // namespace
}  // namespace zel

ZEL_EXPORT ZelStrmap *zel_strmap_new(void) {
    auto *m = static_cast<ZelStrmap *>(malloc(sizeof(ZelStrmap)));
    if (m == nullptr) zel::out_of_memory();
    m->buckets = static_cast<ZelStrmapNode **>(calloc(zel::kInitialBuckets, sizeof(ZelStrmapNode *)));
    if (m->buckets == nullptr) zel::out_of_memory();
    m->nbuckets = zel::kInitialBuckets;
    m->count = 0;
    return m;
}

ZEL_EXPORT void zel_strmap_free(ZelStrmap *m) {
    if (m == nullptr) return;
    for (int64_t b = 0; b < m->nbuckets; ++b) {
        for (ZelStrmapNode *node = m->buckets[b], *next; node != nullptr; node = next) {
            next = node->next;
            free(node);
        }
    }
    free(m->buckets);
    free(m);
}

ZEL_EXPORT int64_t zel_strmap_size(const ZelStrmap *m) { return m ? m->count : 0; }

ZEL_EXPORT int64_t zel_strmap_insert(ZelStrmap *m, const ZelString *key, int64_t value) {
    if (!zel::usable(m, key)) return 0;
    // count / nbuckets > 0.75, in exact integer form.
    if (4 * m->count > 3 * m->nbuckets) zel::grow(m);
    int64_t n = zel::readable(key);
    uint64_t h = zel::maps::fnv1a(zel::ubytes(key), n);
    if (ZelStrmapNode **link = zel::find_link(m, key, n, h)) {
        (*link)->value = value;
        return 1;
    }
    if (n > PTRDIFF_MAX - static_cast<int64_t>(sizeof(zel::Entry)) - 1) zel::out_of_memory();
    auto *e = static_cast<zel::Entry *>(malloc(sizeof(zel::Entry) + static_cast<size_t>(n) + 1));
    if (e == nullptr) zel::out_of_memory();
    char *copy = reinterpret_cast<char *>(e + 1);
    if (n > 0) memcpy(copy, key->data, static_cast<size_t>(n));
    copy[n] = '\0';
    e->hash = h;
    e->len = n;
    ZelStrmapNode **head = zel::bucket(m, h);
    e->node = ZelStrmapNode{copy, value, *head};
    *head = &e->node;
    ++m->count;
    return 1;
}

ZEL_EXPORT int64_t zel_strmap_get(const ZelStrmap *m, const ZelString *key) {
    const ZelStrmapNode *node = zel::usable(m, key) ? zel::find(m, key) : nullptr;
    return node ? node->value : -1;
}

ZEL_EXPORT int64_t zel_strmap_contains(const ZelStrmap *m, const ZelString *key) {
    return (zel::usable(m, key) && zel::find(m, key)) ? 1 : 0;
}

ZEL_EXPORT int64_t zel_strmap_remove(ZelStrmap *m, const ZelString *key) {
    ZelStrmapNode **link = zel::usable(m, key) ? zel::find_link(m, key) : nullptr;
    if (link == nullptr) return 0;
    ZelStrmapNode *node = *link;
    int64_t value = node->value;
    *link = node->next;
    free(node);
    --m->count;
    return value;
}

ZEL_EXPORT ZelVec *zel_strmap_keys(const ZelStrmap *m) {
    if (m == nullptr) return zel_vec_new();
    ZelVec *v = zel::maps::listing(m->count);
    zel::each_node(m, [v](ZelStrmapNode *node) {
        ZelString *s = zel::make_string(node->key, zel::entry_of(node)->len);
        zel::maps::put(v, reinterpret_cast<int64_t>(s));
    });
    return v;
}

ZEL_EXPORT ZelVec *zel_strmap_values(const ZelStrmap *m) {
    if (m == nullptr) return zel_vec_new();
    ZelVec *v = zel::maps::listing(m->count);
    zel::each_node(m, [v](ZelStrmapNode *node) { zel::maps::put(v, node->value); });
    return v;
}

ZEL_EXPORT ZelStrmap *strmap_new(void) ZEL_ALIAS_OF(zel_strmap_new);
ZEL_EXPORT void strmap_free(ZelStrmap *m) ZEL_ALIAS_OF(zel_strmap_free);
ZEL_EXPORT int64_t strmap_size(const ZelStrmap *m) ZEL_ALIAS_OF(zel_strmap_size);
ZEL_EXPORT int64_t strmap_insert(ZelStrmap *m, const ZelString *key, int64_t value) ZEL_ALIAS_OF(zel_strmap_insert);
ZEL_EXPORT int64_t strmap_get(const ZelStrmap *m, const ZelString *key) ZEL_ALIAS_OF(zel_strmap_get);
ZEL_EXPORT int64_t strmap_contains(const ZelStrmap *m, const ZelString *key) ZEL_ALIAS_OF(zel_strmap_contains);
ZEL_EXPORT int64_t strmap_remove(ZelStrmap *m, const ZelString *key) ZEL_ALIAS_OF(zel_strmap_remove);
ZEL_EXPORT ZelVec *strmap_keys(const ZelStrmap *m) ZEL_ALIAS_OF(zel_strmap_keys);
ZEL_EXPORT ZelVec *strmap_values(const ZelStrmap *m) ZEL_ALIAS_OF(zel_strmap_values);
