// Host functions: each call reads the document once, looks at the root and,
// for objects and arrays, at the root's direct children only.
#include "engine.h"

using zel::json::Out;
using zel::json::Reader;

namespace {

// Walks the direct children of the root container whose opening byte is at rp.
// visit(value_pos, key_start, key_end) returns true to stop; key positions are
// clamped to the document and meaningless for arrays. Returns false when the
// children ran out first.
template <class Visit>
bool each_child(const Reader &r, int64_t rp, bool obj, Visit visit) {
    const int64_t n = r.size();
    const uint8_t *d = r.bytes();
    int64_t p = r.ws(rp + 1);
    if (p < n && d[p] == (obj ? '}' : ']')) return false;
    for (;;) {
        int64_t v = p, s = 0, e = 0;
        if (obj) {
            int64_t ks, ke;
            v = r.member(p, &ks, &ke);
            r.key_range(ks, ke, &s, &e);
        }
        if (visit(v, s, e)) return true;
        int64_t q = r.ws(r.skip(v, 1));
        if (q >= n || d[q] != ',') return false;
        p = r.ws(q + 1);
    }
}

int64_t child_count(const Reader &r, int64_t rp, bool obj) {
    int64_t count = 0;
    each_child(r, rp, obj, [&](int64_t, int64_t, int64_t) {
        ++count;
        return false;
    });
    return count;
}

// Position of the value of the root object's first member whose raw key bytes
// equal `key`, or -1. A null key (or one with a negative length, or without
// bytes behind a positive length) matches nothing.
int64_t find_member(const Reader &r, const ZelString *key) {
    if (key == nullptr || key->len < 0 || (key->len > 0 && key->data == nullptr)) return -1;
    int64_t rp = r.ws(0);
    if (r.kind_at(rp) != zel::json::kObject) return -1;
    const int64_t klen = key->len;
    const uint8_t *d = r.bytes();
    int64_t found = -1;
    each_child(r, rp, true, [&](int64_t v, int64_t s, int64_t e) {
        if (e - s != klen || (klen > 0 && memcmp(d + s, key->data, static_cast<size_t>(klen)) != 0))
            return false;
        found = v;
        return true;
    });
    return found;
}

ZelString *text(const char *t) { return zel::make_string(t, static_cast<int64_t>(strlen(t))); }

ZelString *write_value(const Reader &r, int64_t pos, int64_t depth) {
    Out out;
    r.write(out, pos, depth);
    return out.finish();
}

}  // namespace

ZEL_EXPORT int64_t zel_json_validate(const ZelString *doc) {
    Reader r(doc);
    if (r.size() == 0) return 0;
    return r.ws(r.skip(r.ws(0), 0)) == r.size() ? 1 : 0;
}

ZEL_EXPORT ZelString *zel_json_stringify(const ZelString *doc) {
    Reader r(doc);
    return write_value(r, r.ws(0), 0);
}

ZEL_EXPORT ZelString *zel_json_type(const ZelString *doc) {
    static const char *const names[] = {"null", "bool", "number", "string", "array", "object"};
    Reader r(doc);
    return text(names[r.kind_at(r.ws(0))]);
}

ZEL_EXPORT ZelString *zel_json_get(const ZelString *doc, const ZelString *key) {
    Reader r(doc);
    int64_t v = find_member(r, key);
    return v < 0 ? zel::fresh_empty() : write_value(r, v, 1);
}

ZEL_EXPORT ZelString *zel_json_get_string(const ZelString *doc, const ZelString *key) {
    Reader r(doc);
    int64_t v = find_member(r, key);
    if (v < 0 || r.kind_at(v) != zel::json::kString) return zel::fresh_empty();
    int64_t s = v + 1, e = r.fq(s);
    if (e > r.size()) e = r.size();
    const uint8_t *raw = r.bytes() + s;
    ZelString *out = zel::make_string_uninit(zel::json::unescaped_len(raw, e - s));
    zel::json::unescape_into(out->data, raw, e - s);
    return out;
}

ZEL_EXPORT int64_t zel_json_get_number(const ZelString *doc, const ZelString *key) {
    Reader r(doc);
    int64_t v = find_member(r, key);
    if (v < 0 || r.kind_at(v) != zel::json::kNumber) return 0;
    int64_t value;
    r.number(v, &value);
    return value;
}

ZEL_EXPORT int64_t zel_json_get_bool(const ZelString *doc, const ZelString *key) {
    Reader r(doc);
    int64_t v = find_member(r, key);
    if (v < 0 || r.kind_at(v) != zel::json::kBool) return -1;
    return r.bytes()[v] == 't' ? 1 : 0;
}

ZEL_EXPORT int64_t zel_json_has_key(const ZelString *doc, const ZelString *key) {
    Reader r(doc);
    return find_member(r, key) >= 0 ? 1 : 0;
}

ZEL_EXPORT int64_t zel_json_array_len(const ZelString *doc) {
    Reader r(doc);
    int64_t rp = r.ws(0);
    return r.kind_at(rp) == zel::json::kArray ? child_count(r, rp, false) : -1;
}

ZEL_EXPORT ZelString *zel_json_array_get(const ZelString *doc, int32_t index) {
    Reader r(doc);
    int64_t rp = r.ws(0);
    if (index < 0 || r.kind_at(rp) != zel::json::kArray) return zel::fresh_empty();
    int64_t at = -1, i = 0;
    each_child(r, rp, false, [&](int64_t v, int64_t, int64_t) {
        if (i++ != index) return false;
        at = v;
        return true;
    });
    return at < 0 ? zel::fresh_empty() : write_value(r, at, 1);
}

ZEL_EXPORT int64_t zel_json_object_len(const ZelString *doc) {
    Reader r(doc);
    int64_t rp = r.ws(0);
    return r.kind_at(rp) == zel::json::kObject ? child_count(r, rp, true) : -1;
}

ZEL_EXPORT int64_t zel_json_count(const ZelString *doc) {
    Reader r(doc);
    int64_t rp = r.ws(0);
    switch (r.kind_at(rp)) {
        case zel::json::kObject: return 2 * child_count(r, rp, true) + 1;
        case zel::json::kArray: return child_count(r, rp, false) + 1;
        default: return 1;
    }
}
