// The JSON tape and the single-pass parser that fills it, with the exported
// scanners, key lookup and string decoder.
//
// Parse results pack node * 1000000 + position. Documents too long for that
// packing and containers past their fixed slot count end in positions that
// validation rejects, never in writes outside a node; a container opened
// kMaxDepth levels down reads as null, which bounds the recursion.
#include "text.h"

namespace zel::json {
namespace {

constexpr int64_t kPack = 1000000;
constexpr int64_t kSentinel = 999999;    // beyond any accepted document
constexpr int64_t kMaxDocLen = 999995;   // a literal at the end may report len + 4
constexpr int64_t kMaxSlots = PTRDIFF_MAX / static_cast<int64_t>(sizeof(int64_t));

// Wrapping, so that absurd caller positions cannot overflow.
inline int64_t add(int64_t a, int64_t b) {
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
inline int64_t pack(int64_t node, int64_t pos) {
    return static_cast<int64_t>(static_cast<uint64_t>(node) * kPack + static_cast<uint64_t>(pos));
}

// A position that wrapped negative is past the end.
inline int64_t ws(const Bytes &doc, int64_t pos) { return pos < 0 ? pos : skip_ws(doc, pos); }

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
    Bytes doc;
};

int64_t parse_value(const Parser &ps, int64_t pos, int64_t depth);

// Elements of the array at `node`, children at `depth`. The recursion holds
// one frame of parse_value and one of these per open container.
int64_t fill_array(const Parser &ps, int64_t pos, int64_t node, int64_t depth) {
    const Bytes &doc = ps.doc;
    for (;;) {
        int64_t k = ps.tape->items[node + 1];
        if (static_cast<uint64_t>(k) >= static_cast<uint64_t>(kMaxElems)) return pack(node, kSentinel);
        int64_t r = parse_value(ps, pos, depth);
        int64_t *slots = ps.tape->items + node;
        slots[2 + k] = r / kPack;
        slots[1] = k + 1;
        int64_t p = ws(doc, r % kPack);
        if (!doc.has(p)) return pack(node, p);
        if (doc.d[p] != ',') return pack(node, add(p, 1));
        pos = ws(doc, add(p, 1));
    }
}

int64_t fill_object(const Parser &ps, int64_t pos, int64_t node, int64_t depth) {
    const Bytes &doc = ps.doc;
    for (;;) {
        int64_t k = ps.tape->items[node + 1];
        if (static_cast<uint64_t>(k) >= static_cast<uint64_t>(kMaxMembers)) return pack(node, kSentinel);
        int64_t ks = add(pos, 1);
        int64_t ke = string_end(doc, ks);
        int64_t colon = ws(doc, add(ke, 1));
        int64_t r = parse_value(ps, ws(doc, add(colon, 1)), depth);
        int64_t *slots = ps.tape->items + node + 3 * k;
        slots[2] = ks;
        slots[3] = ke;
        slots[4] = r / kPack;
        ps.tape->items[node + 1] = k + 1;
        int64_t p = ws(doc, r % kPack);
        if (!doc.has(p)) return pack(node, p);
        if (doc.d[p] != ',') return pack(node, add(p, 1));
        pos = ws(doc, add(p, 1));
    }
}

// The container at `pos` sits at `depth`; its children one deeper.
template <bool Object>
int64_t parse_container(const Parser &ps, int64_t pos, int64_t depth) {
    int64_t node = append_zeroed(ps.tape, Object ? kObjectSlots : kArraySlots);
    ps.tape->items[node] = Object ? kObject : kArray;
    int64_t p = ws(ps.doc, add(pos, 1));
    if (ps.doc.has(p) && ps.doc.d[p] == (Object ? '}' : ']')) return pack(node, p + 1);
    return Object ? fill_object(ps, p, node, depth + 1) : fill_array(ps, p, node, depth + 1);
}

int64_t parse_value(const Parser &ps, int64_t pos, int64_t depth) {
    const Bytes &doc = ps.doc;
    ZelVec *t = ps.tape;
    if (__builtin_expect(doc.n > kMaxDocLen, 0)) return pack(append1(t, kNull), pos < kSentinel ? pos : kSentinel);
    if (!doc.has(pos)) return pack(append1(t, kNull), pos);
    unsigned char c = doc.d[pos];
    switch (c) {
        case '"': {
            int64_t end = string_end(doc, pos + 1);
            int64_t at = append_zeroed(t, 3);
            t->items[at] = kString;
            t->items[at + 1] = pos + 1;
            t->items[at + 2] = end;
            return pack(at, add(end, 1));
        }
        case '-': case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': {
            int64_t start = c == '-' ? pos + 1 : pos;
            uint64_t v;
            int64_t end = read_digits(doc, start, &v);
            if (c == '-') v = 0 - v;
            return pack(append2(t, kNumber, static_cast<int64_t>(v)), end);
        }
        case '[':
            if (depth >= kMaxDepth) break;
            return parse_container<false>(ps, pos, depth);
        case '{':
            if (depth >= kMaxDepth) break;
            return parse_container<true>(ps, pos, depth);
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

}  // namespace
}  // namespace zel::json

namespace zj = zel::json;
using zj::Bytes;
using zj::Parser;

ZEL_EXPORT int64_t pval(ZelVec *tape, const ZelString *doc, int64_t pos) {
    Bytes d(doc);
    pos = zj::clamp_pos(pos);
    return zj::with_tape(tape, [&](ZelVec *t) { return zj::parse_value(Parser{t, d}, pos, 0); });
}

ZEL_EXPORT int64_t parr(ZelVec *tape, const ZelString *doc, int64_t pos) {
    Bytes d(doc);
    pos = zj::clamp_pos(pos);
    return zj::with_tape(tape, [&](ZelVec *t) { return zj::parse_container<false>(Parser{t, d}, pos, 0); });
}

ZEL_EXPORT int64_t pobj(ZelVec *tape, const ZelString *doc, int64_t pos) {
    Bytes d(doc);
    pos = zj::clamp_pos(pos);
    return zj::with_tape(tape, [&](ZelVec *t) { return zj::parse_container<true>(Parser{t, d}, pos, 0); });
}

ZEL_EXPORT int64_t parr_elems(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node) {
    if (!zj::owns_slots(tape, node, zj::kArraySlots)) return zj::pack(node, zj::kSentinel);
    return zj::fill_array(Parser{tape, Bytes(doc)}, zj::clamp_pos(pos), node, 1);
}

ZEL_EXPORT int64_t pobj_ms(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node) {
    if (!zj::owns_slots(tape, node, zj::kObjectSlots)) return zj::pack(node, zj::kSentinel);
    return zj::fill_object(Parser{tape, Bytes(doc)}, zj::clamp_pos(pos), node, 1);
}

ZEL_EXPORT int64_t wskip(const ZelString *doc, int64_t pos) { return zj::skip_ws(Bytes(doc), zj::clamp_pos(pos)); }

ZEL_EXPORT int64_t fq(const ZelString *doc, int64_t pos) { return zj::string_end(Bytes(doc), zj::clamp_pos(pos)); }

ZEL_EXPORT int64_t sdig(const ZelString *doc, int64_t pos) { return zj::digits_end(Bytes(doc), zj::clamp_pos(pos)); }

ZEL_EXPORT int64_t pint(const ZelString *doc, int64_t start, int64_t end, int64_t acc) {
    // Only bytes inside the document are ever read.
    Bytes d(doc);
    start = zj::clamp_pos(start);
    if (end > d.n) end = d.n;
    if (start >= end) return acc;
    return static_cast<int64_t>(zj::accumulate(d.d + start, end - start, static_cast<uint64_t>(acc)));
}

ZEL_EXPORT int64_t dalloc(ZelVec *tape, int64_t count) {
    if (tape == nullptr) return 0;
    return zj::append_zeroed(tape, count);
}

ZEL_EXPORT int64_t jobj_find(const ZelVec *tape, int64_t obj, const ZelString *key, const ZelString *doc,
                             int64_t from, int64_t count) {
    if (key == nullptr || !zj::owns_slots(tape, obj, zj::kObjectSlots)) return -1;
    // Keys compare as the document slice [ks, ke) would.
    Bytes d(doc);
    int64_t klen = key->len;
    if (klen > 0 && key->data == nullptr) return -1;
    if (from < 0) from = 0;
    if (count > zj::kMaxMembers) count = zj::kMaxMembers;
    const int64_t *m = tape->items + obj + 2;
    for (int64_t i = from; i < count; ++i) {
        Bytes k = zj::cut(d, m[3 * i], m[3 * i + 1]);
        if (k.n != klen) continue;
        if (k.n == 0 || memcmp(k.d, key->data, static_cast<size_t>(k.n)) == 0) return m[3 * i + 2];
    }
    return -1;
}

ZEL_EXPORT ZelString *unescape(const ZelString *s, int64_t pos, ZelString *acc) {
    Bytes src(s);
    pos = zj::clamp_pos(pos);
    if (pos >= src.n) return acc;
    // Appending to a null accumulator yields a fresh empty string, so the
    // first piece is lost and the later ones land on that.
    bool acc_ok = acc != nullptr && acc->data != nullptr;
    if (!acc_ok) pos += src.d[pos] == '\\' && pos + 1 < src.n ? 2 : 1;
    const uint8_t *p = src.d + pos;
    int64_t n = src.n - pos;
    int64_t alen = acc_ok && acc->len > 0 ? acc->len : 0;
    int64_t body = zj::unescaped_len(p, n);
    int64_t total = 0;
    if (__builtin_add_overflow(alen, body, &total) || total == INT64_MAX) zel::out_of_memory();
    ZelString *r = zel::make_string_uninit(total);
    if (alen > 0) memcpy(r->data, acc->data, static_cast<size_t>(alen));
    zj::unescape_into(r->data + alen, p, n);
    return r;
}
