// The streaming reader: scanning, skipping and compact writing of values.
#include "engine.h"

namespace zel::json {

// Kept out of the walk, whose hot loop is faster small.
[[gnu::noinline]] int64_t Reader::fq(int64_t p) const { return string_end(b_, p); }

Kind Reader::kind_at(int64_t p) const {
    if (p < 0 || p >= b_.n) return kNull;
    switch (b_.d[p]) {
        case '"': return kString;
        case '-': case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9': return kNumber;
        case '[': return kArray;
        case '{': return kObject;
        case 't': case 'f': return kBool;
        default: return kNull;
    }
}

// The key and colon of the member whose opening quote is (taken to be) at pos;
// returns the position of its value.
int64_t Reader::write_member_head(Out *out, int64_t pos, bool emit) const {
    int64_t ks, ke;
    int64_t v = member(pos, &ks, &ke);
    if (emit) {
        int64_t s, e;
        key_range(ks, ke, &s, &e);
        out->put_key(Bytes(b_.d + s, e - s));
    }
    return v;
}

// Containers are tracked on an explicit stack, one bit each (object or array);
// the nesting rule bounds it, so no input can exhaust the machine stack.
template <bool Emit>
int64_t Reader::walk(Out *out, int64_t pos, int64_t depth) const {
    uint64_t objs[kMaxDepth / 64 + 1];
    int64_t sp = 0;
    for (;;) {
        // One value at pos, met at depth + sp.
        if (pos < b_.n) {
            uint8_t c = b_.d[pos];
            switch (c) {
                case '"': {
                    int64_t s = pos + 1, e = fq(s);
                    if (Emit) out->put_string(Bytes(b_.d + s, (e < b_.n ? e : b_.n) - s));
                    pos = e + 1;
                    goto after_value;
                }
                case '-': case '0': case '1': case '2': case '3': case '4':
                case '5': case '6': case '7': case '8': case '9': {
                    int64_t v;
                    pos = number(pos, &v);
                    if (Emit) out->put_int(v);
                    goto after_value;
                }
                case 't':
                    if (Emit) out->put("true", 4);
                    pos += 4;
                    goto after_value;
                case 'f':
                    if (Emit) out->put("false", 5);
                    pos += 5;
                    goto after_value;
                case '[':
                case '{': {
                    if (depth + sp >= kMaxDepth) break;
                    bool obj = c == '{';
                    int64_t p = ws(pos + 1);
                    if (p < b_.n && b_.d[p] == (obj ? '}' : ']')) {
                        if (Emit) out->put(obj ? "{}" : "[]", 2);
                        pos = p + 1;
                        goto after_value;
                    }
                    if (Emit) out->put(static_cast<char>(c));
                    uint64_t bit = uint64_t{1} << (sp & 63);
                    if (obj) objs[sp >> 6] |= bit;
                    else objs[sp >> 6] &= ~bit;
                    ++sp;
                    pos = obj ? write_member_head(out, p, Emit) : p;
                    continue;
                }
                default:
                    break;  // 'n' and anything unrecognised
            }
            if (c == 'n') pos += 4;
        }
        if (Emit) out->put("null", 4);
    after_value:
        for (;;) {
            if (sp == 0) return pos;
            bool obj = (objs[(sp - 1) >> 6] >> ((sp - 1) & 63)) & 1;
            int64_t p = ws(pos);
            if (p < b_.n && b_.d[p] == ',') {
                if (Emit) out->put(',');
                p = ws(p + 1);
                pos = obj ? write_member_head(out, p, Emit) : p;
                break;
            }
            // Whatever byte stands here closes the container; the end of the
            // document closes it too.
            if (Emit) out->put(obj ? '}' : ']');
            --sp;
            pos = p < b_.n ? p + 1 : p;
        }
    }
}

template int64_t Reader::walk<false>(Out *, int64_t, int64_t) const;
template int64_t Reader::walk<true>(Out *, int64_t, int64_t) const;

}  // namespace zel::json
