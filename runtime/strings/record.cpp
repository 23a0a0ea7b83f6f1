// Making string records: every runtime string is two zel_alloc blocks, bytes then record.
#include "../core/internal.h"

namespace zel {

namespace {

// Both blocks with one bump when the arena's current block holds them: the
// record lands right behind the rounded byte block, where a second bump would
// have put it. Null when the slow path must decide.
inline char *arena_pair(uint64_t block, uint64_t *rounded) {
    uint64_t r = (block + 7) & ~uint64_t{7};
    ArenaBlock *b = t_arena.current;
    if (b == nullptr || r < block || r > UINT64_MAX - sizeof(ZelString)) return nullptr;
    uint64_t total = r + sizeof(ZelString);
    if (total > b->capacity - b->used) return nullptr;
    char *p = b->data + b->used;
    b->used += total;
    *rounded = r;
    return p;
}

}  // namespace

ZelString *make_string_in_block(int64_t n, int64_t block) {
    char *bytes;
    ZelString *s;
    uint64_t rounded;
    char *pair = arena_enabled() ? arena_pair(static_cast<uint64_t>(block), &rounded) : nullptr;
    if (pair != nullptr) {
        bytes = pair;
        s = reinterpret_cast<ZelString *>(pair + rounded);
    } else {
        bytes = static_cast<char *>(zel_alloc(static_cast<uint64_t>(block)));
        s = static_cast<ZelString *>(zel_alloc(sizeof(ZelString)));
    }
    bytes[n] = '\0';
    s->data = bytes;
    s->len = n;
    s->cap = n;
    return s;
}

ZelString *make_piece(const char *src, int64_t n, int64_t avail) {
    uint64_t rounded;
    char *pair;
    // A piece of up to 15 bytes moves as one 16-byte copy: the pair of blocks
    // is at least 32 bytes, and the record is written after the bytes.
    if (n < 16 && avail >= 16 && arena_enabled() && (pair = arena_pair(static_cast<uint64_t>(n) + 1, &rounded))) {
        memcpy(pair, src, 16);
        pair[n] = '\0';
        auto *s = reinterpret_cast<ZelString *>(pair + rounded);
        s->data = pair;
        s->len = n;
        s->cap = n;
        return s;
    }
    return make_string(src, n);
}

ZelString *make_string_uninit(int64_t n) {
    if (n < 0) n = 0;
    return make_string_in_block(n, n + 1);
}

ZelString *make_string(const char *src, int64_t n) {
    ZelString *s = make_string_uninit(n);
    if (n > 0) memcpy(s->data, src, static_cast<size_t>(n));
    return s;
}

ZelString *join_strings(const ZelString *const *parts, int64_t count, const ZelString *sep) {
    int64_t k = readable(sep), total = 0;
    if (count > 1 && __builtin_mul_overflow(k, count - 1, &total)) out_of_memory();
    for (int64_t i = 0; i < count; ++i)
        if (__builtin_add_overflow(total, readable(parts[i]), &total)) out_of_memory();
    if (total == INT64_MAX) out_of_memory();
    ZelString *r = make_string_uninit(total);
    char *w = r->data;
    for (int64_t i = 0; i < count; ++i) {
        if (i > 0 && k > 0) {
            memcpy(w, sep->data, static_cast<size_t>(k));
            w += k;
        }
        int64_t n = readable(parts[i]);
        if (n > 0) {
            memcpy(w, parts[i]->data, static_cast<size_t>(n));
            w += n;
        }
    }
    return r;
}

int64_t arena_pieces(const char *text, int64_t n, const int64_t *cuts, int64_t count, int64_t skip,
                     int64_t *done, ZelString **out) {
    ArenaBlock *b = t_arena.current;
    if (!arena_enabled() || b == nullptr) return 0;
    uint64_t need = 0;
    for (int64_t i = 0, d = *done; i < count; d = cuts[i++] + skip)
        need += ((static_cast<uint64_t>(cuts[i] - d) + 8) & ~uint64_t{7}) + sizeof(ZelString);
    if (need > b->capacity - b->used) return 0;
    char *w = b->data + b->used;
    b->used += need;
    int64_t d = *done;
    for (int64_t i = 0; i < count; d = cuts[i++] + skip) {
        int64_t len = cuts[i] - d;
        uint64_t rounded = (static_cast<uint64_t>(len) + 8) & ~uint64_t{7};
        // Short pieces move as one 16-byte copy; the record written next
        // covers what it spilled.
        if (len < 16 && n - d >= 16) memcpy(w, text + d, 16);
        else memcpy(w, text + d, static_cast<size_t>(len));
        w[len] = '\0';
        auto *s = reinterpret_cast<ZelString *>(w + rounded);
        s->data = w;
        s->len = len;
        s->cap = len;
        out[i] = s;
        w += rounded + sizeof(ZelString);
    }
    *done = d;
    return count;
}

}  // namespace zel
