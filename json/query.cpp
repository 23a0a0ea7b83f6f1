// Host functions: each call reads the document once, looks at the root and,
// for objects and arrays, at the root's direct children only.
#include "engine.h"

namespace zj = zel::json;

namespace {

struct Doc {
    const uint8_t *d = nullptr;
    int64_t n = 0;
    const zj::Engine &e = zj::engine();
    // A null record, null data or a length of 0 or less all read as "".
    explicit Doc(const ZelString *s) {
        zj::Bytes b(s);
        d = b.d;
        n = b.n;
    }
    int64_t root() const { return e.ws(d, n, 0); }
    zj::Kind root_kind() const { return zj::kind_of(d, n, root()); }
};

// Position of the value of the root object's first member whose raw key bytes
// equal `key`, or -1. A null key (or one with a negative length, or without
// bytes behind a positive length) matches nothing.
int64_t find_member(const Doc &doc, const ZelString *key) {
    if (key == nullptr || key->len < 0 || (key->len > 0 && key->data == nullptr)) return -1;
    int64_t rp = doc.root();
    if (zj::kind_of(doc.d, doc.n, rp) != zj::kObject) return -1;
    return doc.e.find_member(doc.d, doc.n, rp, reinterpret_cast<const uint8_t *>(key->data), key->len);
}

ZelString *text(const char *t) { return zel::make_string(t, static_cast<int64_t>(strlen(t))); }

// The compact text of the value at v, a root member or element: numbers and
// literals are made here in one piece, the rest is written by the engine.
ZelString *value_text(const Doc &doc, int64_t v) {
    switch (zj::kind_of(doc.d, doc.n, v)) {
        case zj::kNumber: {
            char buf[24];
            return zel::make_string(buf, static_cast<int64_t>(zel::format_i64(doc.e.number(doc.d, doc.n, v), buf)));
        }
        case zj::kBool: return text(doc.d[v] == 't' ? "true" : "false");
        case zj::kNull: return text("null");
        default: return doc.e.write(doc.d, doc.n, v, 1);
    }
}

}  // namespace

ZEL_EXPORT int64_t zel_json_validate(const ZelString *doc) {
    Doc r(doc);
    if (r.n == 0) return 0;
    return r.e.ws(r.d, r.n, r.e.root_end(r.d, r.n, r.root())) == r.n ? 1 : 0;
}

ZEL_EXPORT ZelString *zel_json_stringify(const ZelString *doc) {
    Doc r(doc);
    return r.e.write(r.d, r.n, r.root(), 0);
}

ZEL_EXPORT ZelString *zel_json_type(const ZelString *doc) {
    static const char *const names[] = {"null", "bool", "number", "string", "array", "object"};
    return text(names[Doc(doc).root_kind()]);
}

ZEL_EXPORT ZelString *zel_json_get(const ZelString *doc, const ZelString *key) {
    Doc r(doc);
    int64_t v = find_member(r, key);
    return v < 0 ? zel::fresh_empty() : value_text(r, v);
}

ZEL_EXPORT ZelString *zel_json_get_string(const ZelString *doc, const ZelString *key) {
    Doc r(doc);
    int64_t v = find_member(r, key);
    if (v < 0 || zj::kind_of(r.d, r.n, v) != zj::kString) return zel::fresh_empty();
    return r.e.decoded(r.d, r.n, v);
}

ZEL_EXPORT int64_t zel_json_get_number(const ZelString *doc, const ZelString *key) {
    Doc r(doc);
    int64_t v = find_member(r, key);
    if (v < 0 || zj::kind_of(r.d, r.n, v) != zj::kNumber) return 0;
    return r.e.number(r.d, r.n, v);
}

ZEL_EXPORT int64_t zel_json_get_bool(const ZelString *doc, const ZelString *key) {
    Doc r(doc);
    int64_t v = find_member(r, key);
    if (v < 0 || zj::kind_of(r.d, r.n, v) != zj::kBool) return -1;
    return r.d[v] == 't' ? 1 : 0;
}

ZEL_EXPORT int64_t zel_json_has_key(const ZelString *doc, const ZelString *key) {
    Doc r(doc);
    return find_member(r, key) >= 0 ? 1 : 0;
}

ZEL_EXPORT int64_t zel_json_array_len(const ZelString *doc) {
    Doc r(doc);
    int64_t rp = r.root();
    return zj::kind_of(r.d, r.n, rp) == zj::kArray ? r.e.count(r.d, r.n, rp) : -1;
}

ZEL_EXPORT ZelString *zel_json_array_get(const ZelString *doc, int32_t index) {
    Doc r(doc);
    int64_t rp = r.root();
    if (index < 0 || zj::kind_of(r.d, r.n, rp) != zj::kArray) return zel::fresh_empty();
    int64_t at = r.e.element(r.d, r.n, rp, index);
    return at < 0 ? zel::fresh_empty() : value_text(r, at);
}

ZEL_EXPORT int64_t zel_json_object_len(const ZelString *doc) {
    Doc r(doc);
    int64_t rp = r.root();
    return zj::kind_of(r.d, r.n, rp) == zj::kObject ? r.e.count(r.d, r.n, rp) : -1;
}

ZEL_EXPORT int64_t zel_json_count(const ZelString *doc) {
    Doc r(doc);
    int64_t rp = r.root();
    switch (zj::kind_of(r.d, r.n, rp)) {
        case zj::kObject: return 2 * r.e.count(r.d, r.n, rp) + 1;
        case zj::kArray: return r.e.count(r.d, r.n, rp) + 1;
        default: return 1;
    }
}
