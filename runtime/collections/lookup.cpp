// The cached key-value lookup: texts 'key=value;key=value' parsed once per
// cache slot into a string hash map, later lookups answered from it.
//
// A slot is keyed by the whole text (a private copy, compared length first,
// then bytes), so another text of the same length is never answered from an
// earlier one. Key and value strings live on the system heap, not in an arena:
// an arena reset cannot pull them from under the cache. A value once returned
// is kept for the life of the process, also when its slot is rebuilt; keys and
// values nobody has seen are released with the old map.
#include <stdlib.h>

#include "../core/internal.h"

extern "C" {
__attribute__((visibility("default"))) ZelStrHashmap *g_reg_caches[3] = {nullptr, nullptr, nullptr};
__attribute__((visibility("default"))) int64_t g_reg_cache_lens[3] = {-1, -1, -1};
}

namespace zel {
namespace {

// A cached value: the string record first (the map stores its address), the
// bytes right behind the header.
struct Value {
    ZelString s;
    Value *next_kept;  // chain of returned values whose map is gone
    int64_t returned;
};

char *g_texts[3];        // the text each slot's map was built from
Value *g_kept = nullptr;  // keeps retired values reachable

// A heap string of n bytes behind a header of `header` bytes (the record first).
void *heap_string(const char *p, int64_t n, size_t header) {
    auto *block = static_cast<char *>(malloc(header + static_cast<size_t>(n) + 1));
    if (block == nullptr) out_of_memory();
    auto *s = reinterpret_cast<ZelString *>(block);
    s->data = block + header;
    s->len = n;
    s->cap = n;
    if (n > 0) memcpy(s->data, p, static_cast<size_t>(n));
    s->data[n] = '\0';
    return block;
}

inline ZelString *new_key(const char *p, int64_t n) { return static_cast<ZelString *>(heap_string(p, n, sizeof(ZelString))); }

inline Value *new_value(const char *p, int64_t n) {
    auto *v = static_cast<Value *>(heap_string(p, n, sizeof(Value)));
    v->next_kept = nullptr;
    v->returned = 0;
    return v;
}

inline Value *value_of(int64_t word) { return reinterpret_cast<Value *>(word); }

void discard(int64_t slot) {
    ZelStrHashmap *m = g_reg_caches[slot];
    if (m != nullptr) {
        for (int64_t i = 0; i < m->capacity; ++i) {
            ZelStrHashmapSlot &s = m->slots[i];
            if (s.state != 1) continue;  // occupied slots only
            free(s.key);
            Value *v = value_of(s.value);
            if (v->returned) {
                v->next_kept = g_kept;
                g_kept = v;
            } else {
                free(v);
            }
        }
        str_hashmap_free(m);
    }
    free(g_texts[slot]);
    g_texts[slot] = nullptr;
    g_reg_caches[slot] = nullptr;
}

void add(ZelStrHashmap *m, const char *key, int64_t klen, const char *val, int64_t vlen) {
    ZelString *k = new_key(key, klen);
    Value *v = new_value(val, vlen);
    int64_t before = m->count;
    int64_t old = str_hashmap_insert(m, k, reinterpret_cast<int64_t>(v));
    if (old != 0) {
        // A repeated key: the last value wins, the map keeps its first key record.
        free(value_of(old));
        free(k);
    } else if (m->count == before) {
        out_of_memory();  // a full table: growth already failed for lack of memory
    }
}

// Builds the slot's map from the n bytes at p; null when memory is short.
ZelStrHashmap *rebuild(int64_t slot, const char *p, int64_t n) {
    discard(slot);
    g_reg_cache_lens[slot] = n;
    ZelStrHashmap *m = str_hashmap_new();
    char *copy = m ? static_cast<char *>(malloc(static_cast<size_t>(n))) : nullptr;
    if (copy == nullptr) {
        str_hashmap_free(m);
        return nullptr;
    }
    memcpy(copy, p, static_cast<size_t>(n));
    const char *end = p + n;
    for (const char *at = p; at < end;) {
        auto *eq = static_cast<const char *>(memchr(at, '=', static_cast<size_t>(end - at)));
        if (eq == nullptr) break;
        const char *val = eq + 1;
        auto *semi = static_cast<const char *>(memchr(val, ';', static_cast<size_t>(end - val)));
        const char *vend = semi ? semi : end;
        add(m, at, eq - at, val, vend - val);
        if (semi == nullptr) break;
        at = semi + 1;
    }
    g_texts[slot] = copy;
    g_reg_caches[slot] = m;
    return m;
}

}  // namespace
}  // namespace zel

ZEL_EXPORT ZelString *reg_cached_lookup(const ZelString *text, const ZelString *key, int64_t slot) {
    if (text == nullptr || slot < 0 || slot > 2) return zel::fresh_empty();
    int64_t n = zel::readable(text);
    if (n == 0) return zel::fresh_empty();
    ZelStrHashmap *m = g_reg_caches[slot];
    if (m == nullptr || g_reg_cache_lens[slot] != n || zel::g_texts[slot] == nullptr ||
        memcmp(zel::g_texts[slot], text->data, static_cast<size_t>(n)) != 0) {
        m = zel::rebuild(slot, text->data, n);
        if (m == nullptr) return zel::fresh_empty();
    }
    int64_t word = str_hashmap_get(m, key);
    if (word == 0) return zel::fresh_empty();
    zel::Value *v = zel::value_of(word);
    v->returned = 1;
    return &v->s;
}
