// The JSON tape and the single-pass parser that fills it, with the scanners,
// the key lookup and the string decoder that work on document bytes.
//
// Parse results pack node * 1000000 + position. Documents too long for that
// packing and containers past their fixed slot count end in positions that
// validation rejects, never in writes outside a node; a container opened
// kMaxDepth levels down reads as null, which bounds the recursion.
#include <stdlib.h>

#include "../runtime/core/internal.h"

namespace zel {
namespace {

constexpr int64_t kPack = 1000000;
constexpr int64_t kSentinel = 999999;    // beyond any accepted document
constexpr int64_t kMaxDocLen = 999995;   // a literal at the end may report len + 4
constexpr int64_t kMaxDepth = 1024;
constexpr int64_t kArraySlots = 66;
constexpr int64_t kObjectSlots = 98;
constexpr int64_t kMaxElems = 64;
constexpr int64_t kMaxMembers = 32;
constexpr int64_t kMaxSlots = PTRDIFF_MAX / static_cast<int64_t>(sizeof(int64_t));

enum Kind : int64_t { kNull = 0, kBool = 1, kNumber = 2, kString = 3, kArray = 4, kObject = 5 };

// Wrapping, so that absurd caller positions cannot overflow.
inline int64_t add(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t pack(int64_t node, int64_t pos) {
    return static_cast<int64_t>(static_cast<uint64_t>(node) * kPack + static_cast<uint64_t>(pos));
}

// A null record, null data or negative length all read as the empty document.
struct Doc {
    const unsigned char *d;
    int64_t n;
    explicit Doc(const ZelString *s)
        : d(s != nullptr && s->data != nullptr && s->len > 0 ? reinterpret_cast<const unsigned char *>(s->data)
                                                              : nullptr),
          n(d != nullptr ? s->len : 0) {}
    // Unsigned compare: a position that wrapped negative is past the end too.
    bool has(int64_t pos) const { return static_cast<uint64_t>(pos) < static_cast<uint64_t>(n); }
};

inline bool is_ws(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline bool is_digit(unsigned char c) { return static_cast<unsigned char>(c - '0') < 10; }

inline int64_t skip_ws(const Doc &doc, int64_t pos) {
    while (doc.has(pos) && is_ws(doc.d[pos])) ++pos;
    return pos;
}

// Eight bytes at a time up to the first quote or backslash: string content
// is most of a typical document.
inline int64_t plain_run(const Doc &doc, int64_t pos) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    while (pos + 8 <= doc.n) {
        uint64_t w;
        memcpy(&w, doc.d + pos, 8);
        uint64_t q = w ^ (kOnes * '"'), b = w ^ (kOnes * '\\');
        uint64_t hit = (((q - kOnes) & ~q) | ((b - kOnes) & ~b)) & kHigh;
        if (hit != 0) return pos + __builtin_ctzll(hit) / 8;
        pos += 8;
    }
    return pos;
}

inline int64_t scan_string(const Doc &doc, int64_t pos) {
    while (doc.has(pos)) {
        pos = plain_run(doc, pos);
        if (!doc.has(pos)) break;
        unsigned char c = doc.d[pos];
        if (c == '"') return pos;
        pos += c == '\\' ? 2 : 1;
    }
    return pos;
}

inline int64_t skip_digits(const Doc &doc, int64_t pos) {
    while (doc.has(pos) && is_digit(doc.d[pos])) ++pos;
    return pos;
}

// Any bytes, digits or not, in 64-bit wrapping arithmetic; eight at a time
// with the '0' offset of all eight removed by one subtraction.
uint64_t accumulate(const unsigned char *p, int64_t count, uint64_t acc) {
    int64_t head = count % 8;
    for (int64_t i = 0; i < head; ++i) acc = acc * 10 + p[i] - 48;
    for (int64_t i = head; i < count; i += 8) {
        const unsigned char *g = p + i;
        acc = ((((((((acc * 10 + g[0]) * 10 + g[1]) * 10 + g[2]) * 10 + g[3]) * 10 + g[4]) * 10 + g[5]) * 10 +
                g[6]) * 10 + g[7]) - 533333328u;
    }
    return acc;
}

// Appends k zeroed slots with the vector's doubling growth, so the capacity is
// exactly what k single pushes would leave; returns the first new index.
int64_t append_zeroed(ZelVec *t, int64_t k) {
    int64_t first = t->len;
    if (k <= 0) return first;
    if (k > kMaxSlots - first) out_of_memory();
    int64_t need = first + k;
    if (need > t->capacity) {
        int64_t cap = t->capacity < 1 ? 1 : t->capacity;
        while (cap < need) {
            if (cap > kMaxSlots / 2) out_of_memory();
            cap *= 2;
        }
        auto *items = static_cast<int64_t *>(realloc(t->items, static_cast<size_t>(cap) * sizeof(int64_t)));
        if (items == nullptr) out_of_memory();
        t->items = items;
        t->capacity = cap;
    }
    memset(t->items + first, 0, static_cast<size_t>(k) * sizeof(int64_t));
    t->len = need;
    return first;
}

inline int64_t append1(ZelVec *t, int64_t kind) {
    int64_t at = t->len;
    if (__builtin_expect(at < t->capacity, 1)) {
        t->items[at] = kind;
        t->len = at + 1;
        return at;
    }
    append_zeroed(t, 1);
    t->items[at] = kind;
    return at;
}

inline int64_t append2(ZelVec *t, int64_t kind, int64_t a) {
    int64_t at = append_zeroed(t, 2);
    t->items[at] = kind;
    t->items[at + 1] = a;
    return at;
}

struct Parser {
    ZelVec *tape;
    Doc doc;
};

int64_t parse_value(const Parser &ps, int64_t pos, int64_t depth);

// Elements of the array at `node`, children at `depth`. The recursion holds
// one frame of parse_value and one of these per open container.
int64_t fill_array(const Parser &ps, int64_t pos, int64_t node, int64_t depth) {
    const Doc &doc = ps.doc;
    for (;;) {
        int64_t k = ps.tape->items[node + 1];
        if (static_cast<uint64_t>(k) >= static_cast<uint64_t>(kMaxElems)) return pack(node, kSentinel);
        int64_t r = parse_value(ps, pos, depth);
        int64_t *slots = ps.tape->items + node;
        slots[2 + k] = r / kPack;
        slots[1] = k + 1;
        int64_t p = skip_ws(doc, r % kPack);
        if (!doc.has(p)) return pack(node, p);
        if (doc.d[p] != ',') return pack(node, add(p, 1));
        pos = skip_ws(doc, add(p, 1));
    }
}

int64_t fill_object(const Parser &ps, int64_t pos, int64_t node, int64_t depth) {
    const Doc &doc = ps.doc;
    for (;;) {
        int64_t k = ps.tape->items[node + 1];
        if (static_cast<uint64_t>(k) >= static_cast<uint64_t>(kMaxMembers)) return pack(node, kSentinel);
        int64_t ks = add(pos, 1);
        int64_t ke = scan_string(doc, ks);
        int64_t colon = skip_ws(doc, add(ke, 1));
        int64_t r = parse_value(ps, skip_ws(doc, add(colon, 1)), depth);
        int64_t *slots = ps.tape->items + node + 3 * k;
        slots[2] = ks;
        slots[3] = ke;
        slots[4] = r / kPack;
        ps.tape->items[node + 1] = k + 1;
        int64_t p = skip_ws(doc, r % kPack);
        if (!doc.has(p)) return pack(node, p);
        if (doc.d[p] != ',') return pack(node, add(p, 1));
        pos = skip_ws(doc, add(p, 1));
    }
}

// The container at `pos` sits at `depth`; its children one deeper.
int64_t parse_array(const Parser &ps, int64_t pos, int64_t depth) {
    int64_t node = append_zeroed(ps.tape, kArraySlots);
    ps.tape->items[node] = kArray;
    int64_t p = skip_ws(ps.doc, add(pos, 1));
    if (ps.doc.has(p) && ps.doc.d[p] == ']') return pack(node, p + 1);
    return fill_array(ps, p, node, depth + 1);
}

int64_t parse_object(const Parser &ps, int64_t pos, int64_t depth) {
    int64_t node = append_zeroed(ps.tape, kObjectSlots);
    ps.tape->items[node] = kObject;
    int64_t p = skip_ws(ps.doc, add(pos, 1));
    if (ps.doc.has(p) && ps.doc.d[p] == '}') return pack(node, p + 1);
    return fill_object(ps, p, node, depth + 1);
}

int64_t parse_value(const Parser &ps, int64_t pos, int64_t depth) {
    const Doc &doc = ps.doc;
    ZelVec *t = ps.tape;
    if (__builtin_expect(doc.n > kMaxDocLen, 0)) return pack(append1(t, kNull), pos < kSentinel ? pos : kSentinel);
    if (!doc.has(pos)) return pack(append1(t, kNull), pos);
    unsigned char c = doc.d[pos];
    switch (c) {
        case '"': {
            int64_t end = scan_string(doc, pos + 1);
            int64_t at = append_zeroed(t, 3);
            t->items[at] = kString;
            t->items[at + 1] = pos + 1;
            t->items[at + 2] = end;
            return pack(at, add(end, 1));
        }
        case '-': case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': {
            int64_t start = c == '-' ? pos + 1 : pos;
            int64_t end = skip_digits(doc, start);
            uint64_t v = accumulate(doc.d + start, end - start, 0);
            if (c == '-') v = 0 - v;
            return pack(append2(t, kNumber, static_cast<int64_t>(v)), end);
        }
        case '[':
            if (depth >= kMaxDepth) break;
            return parse_array(ps, pos, depth);
        case '{':
            if (depth >= kMaxDepth) break;
            return parse_object(ps, pos, depth);
        case 't': return pack(append2(t, kBool, 1), pos + 4);
        case 'f': return pack(append2(t, kBool, 0), pos + 5);
        case 'n': return pack(append1(t, kNull), pos + 4);
        default: break;
    }
    return pack(append1(t, kNull), pos);
}

// A parse into a missing tape still reports its position, from a scratch tape.
template <class Fn>
int64_t with_tape(ZelVec *tape, Fn fn) {
    if (tape != nullptr) return fn(tape);
    ZelVec scratch{0, 0, nullptr};
    int64_t r = fn(&scratch);
    free(scratch.items);
    return r;
}

inline int64_t clamp_pos(int64_t pos) { return pos < 0 ? 0 : pos; }

// A caller-named container must own all its slots on the tape; one that does
// not has no room for any child.
inline bool owns_slots(const ZelVec *tape, int64_t node, int64_t slots) {
    return tape != nullptr && node >= 0 && node <= tape->len - slots;
}

// Decoded form of s[pos..n): one piece per escape pair or plain byte, byte 0
// dropping out. With skip_first the first piece is consumed unwritten (what
// appending to a null accumulator leaves). `out` null only measures.
int64_t decode(const unsigned char *s, int64_t n, int64_t pos, bool skip_first, char *out) {
    if (skip_first && pos < n) pos += (s[pos] == '\\' && pos + 1 < n) ? 2 : 1;
    int64_t w = 0;
    while (pos < n) {
        unsigned char c = s[pos];
        if (c == '\\' && pos + 1 < n) {
            unsigned char e = s[pos + 1];
            c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
            pos += 2;
        } else {
            ++pos;
        }
        if (c != 0) {
            if (out != nullptr) out[w] = static_cast<char>(c);
            ++w;
        }
    }
    return w;
}

}  // namespace
}  // namespace zel

using zel::Doc;
using zel::Parser;

ZEL_EXPORT int64_t pval(ZelVec *tape, const ZelString *doc, int64_t pos) {
    Doc d(doc);
    pos = zel::clamp_pos(pos);
    return zel::with_tape(tape, [&](ZelVec *t) { return zel::parse_value(Parser{t, d}, pos, 0); });
}

ZEL_EXPORT int64_t parr(ZelVec *tape, const ZelString *doc, int64_t pos) {
    Doc d(doc);
    pos = zel::clamp_pos(pos);
    return zel::with_tape(tape, [&](ZelVec *t) { return zel::parse_array(Parser{t, d}, pos, 0); });
}

ZEL_EXPORT int64_t pobj(ZelVec *tape, const ZelString *doc, int64_t pos) {
    Doc d(doc);
    pos = zel::clamp_pos(pos);
    return zel::with_tape(tape, [&](ZelVec *t) { return zel::parse_object(Parser{t, d}, pos, 0); });
}

ZEL_EXPORT int64_t parr_elems(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node) {
    if (!zel::owns_slots(tape, node, zel::kArraySlots)) return zel::pack(node, zel::kSentinel);
    return zel::fill_array(Parser{tape, Doc(doc)}, zel::clamp_pos(pos), node, 1);
}

ZEL_EXPORT int64_t pobj_ms(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node) {
    if (!zel::owns_slots(tape, node, zel::kObjectSlots)) return zel::pack(node, zel::kSentinel);
    return zel::fill_object(Parser{tape, Doc(doc)}, zel::clamp_pos(pos), node, 1);
}

ZEL_EXPORT int64_t wskip(const ZelString *doc, int64_t pos) { return zel::skip_ws(Doc(doc), zel::clamp_pos(pos)); }

ZEL_EXPORT int64_t fq(const ZelString *doc, int64_t pos) { return zel::scan_string(Doc(doc), zel::clamp_pos(pos)); }

ZEL_EXPORT int64_t sdig(const ZelString *doc, int64_t pos) { return zel::skip_digits(Doc(doc), zel::clamp_pos(pos)); }

ZEL_EXPORT int64_t pint(const ZelString *doc, int64_t start, int64_t end, int64_t acc) {
    // Only bytes inside the document are ever read.
    Doc d(doc);
    start = zel::clamp_pos(start);
    if (end > d.n) end = d.n;
    if (start >= end) return acc;
    return static_cast<int64_t>(zel::accumulate(d.d + start, end - start, static_cast<uint64_t>(acc)));
}

ZEL_EXPORT int64_t dalloc(ZelVec *tape, int64_t count) {
    if (tape == nullptr) return 0;
    return zel::append_zeroed(tape, count);
}

ZEL_EXPORT int64_t jobj_find(const ZelVec *tape, int64_t obj, const ZelString *key, const ZelString *doc,
                             int64_t from, int64_t count) {
    if (key == nullptr || !zel::owns_slots(tape, obj, zel::kObjectSlots)) return -1;
    // Keys compare as the document slice [ks, min(ke, len)) would: empty when
    // ks is negative, past the end or beyond ke.
    Doc d(doc);
    int64_t klen = key->len;
    if (klen > 0 && key->data == nullptr) return -1;
    if (from < 0) from = 0;
    if (count > zel::kMaxMembers) count = zel::kMaxMembers;
    const int64_t *m = tape->items + obj + 2;
    for (int64_t i = from; i < count; ++i) {
        int64_t ks = m[3 * i], ke = m[3 * i + 1];
        int64_t slen = 0;
        if (ks >= 0 && ks <= d.n && ke >= ks) slen = (ke < d.n ? ke : d.n) - ks;
        if (slen != klen) continue;
        if (slen == 0 || memcmp(d.d + ks, key->data, static_cast<size_t>(slen)) == 0) return m[3 * i + 2];
    }
    return -1;
}

ZEL_EXPORT ZelString *unescape(const ZelString *s, int64_t pos, ZelString *acc) {
    Doc src(s);
    pos = zel::clamp_pos(pos);
    if (pos >= src.n) return acc;
    // Appending to a null accumulator yields a fresh empty string, so the
    // first piece is lost and the later ones land on that.
    bool acc_ok = acc != nullptr && acc->data != nullptr;
    int64_t alen = acc_ok && acc->len > 0 ? acc->len : 0;
    int64_t body = zel::decode(src.d, src.n, pos, !acc_ok, nullptr);
    int64_t total = 0;
    if (__builtin_add_overflow(alen, body, &total) || total == INT64_MAX) zel::out_of_memory();
    ZelString *r = zel::make_string_uninit(total);
    if (alen > 0) memcpy(r->data, acc->data, static_cast<size_t>(alen));
    zel::decode(src.d, src.n, pos, !acc_ok, r->data + alen);
    return r;
}
