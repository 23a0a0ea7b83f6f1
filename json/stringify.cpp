// Compact JSON text from a tape node. Each result is measured or streamed
// first and made with one string allocation; the shared literal records are
// returned where a whole result is exactly one of them.
#include "text.h"

namespace zel::json {
namespace {

struct Tape {
    const int64_t *s;
    int64_t n;
    explicit Tape(const ZelVec *t) : s(t != nullptr ? t->items : nullptr), n(t != nullptr && t->len > 0 ? t->len : 0) {}
    bool owns(int64_t node, int64_t slots) const { return node >= 0 && node <= n - slots; }
    // A slot that is not on the tape reads as 0.
    int64_t at(int64_t i) const { return i >= 0 && i < n ? s[i] : 0; }
    // The kind a node is taken as: one whose slots run off the tape is null.
    int64_t kind(int64_t node) const {
        if (!owns(node, 1)) return kNull;
        switch (s[node]) {
            case kBool: case kNumber: return owns(node, 2) ? s[node] : kNull;
            case kString: return owns(node, 3) ? kString : kNull;
            case kArray: return owns(node, kArraySlots) ? kArray : kNull;
            case kObject: return owns(node, kObjectSlots) ? kObject : kNull;
            default: return kNull;
        }
    }
};

inline int64_t clamp_count(int64_t count, int64_t limit) {
    if (count < 0) return 0;
    return count > limit ? limit : count;
}

// Streams containers without recursion. A child is only followed when it
// comes after its parent on the tape, as the parser lays nodes out, so no
// tape can make the walk loop.
class Writer {
public:
    Writer(const Tape &t, Bytes doc, Out &out) : t_(t), doc_(doc), out_(out) {}
    ~Writer() { free(stack_); }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void value(int64_t node) {
        if (!open(node, INT64_MIN)) run();
    }

    // Members or elements [i, count) of a container node without its
    // brackets, comma-separated, with a leading comma when i > 0.
    void members(int64_t node, bool object, int64_t i, int64_t count) {
        push(node, object, i, count, false);
        run();
    }

private:
    struct Frame {
        int64_t node;
        int64_t i;
        int64_t count;
        bool object;
        bool closes;
    };

    // Writes a scalar or an empty container whole and returns true; for any
    // other container writes the opening bracket and pushes its frame.
    bool open(int64_t node, int64_t parent) {
        int64_t kind = node > parent ? t_.kind(node) : kNull;
        switch (kind) {
            case kBool:
                if (t_.s[node + 1] != 0) out_.put("true", 4);
                else out_.put("false", 5);
                return true;
            case kNumber:
                out_.put_int(t_.s[node + 1]);
                return true;
            case kString:
                out_.put_string(cut(doc_, t_.s[node + 1], t_.s[node + 2]));
                return true;
            case kArray:
            case kObject: {
                bool object = kind == kObject;
                int64_t count = t_.s[node + 1];
                out_.put(object ? '{' : '[');
                if (count == 0) {
                    out_.put(object ? '}' : ']');
                    return true;
                }
                push(node, object, 0, clamp_count(count, object ? kMaxMembers : kMaxElems), true);
                return false;
            }
            default:
                out_.put("null", 4);
                return true;
        }
    }

    void push(int64_t node, bool object, int64_t i, int64_t count, bool closes) {
        if (depth_ == cap_) {
            int64_t cap = cap_ == 0 ? 64 : cap_ * 2;
            auto *f = static_cast<Frame *>(realloc(stack_, static_cast<size_t>(cap) * sizeof(Frame)));
            if (f == nullptr) out_of_memory();
            stack_ = f;
            cap_ = cap;
        }
        stack_[depth_++] = Frame{node, i, count, object, closes};
    }

    void run() {
        while (depth_ > 0) {
            Frame &f = stack_[depth_ - 1];
            if (f.i >= f.count) {
                if (f.closes) out_.put(f.object ? '}' : ']');
                --depth_;
                continue;
            }
            int64_t i = f.i++;
            int64_t node = f.node;
            if (i > 0) out_.put(',');
            int64_t child;
            if (f.object) {
                int64_t m = node + 2 + 3 * i;
                out_.put_key(cut(doc_, t_.at(m), t_.at(m + 1)));
                child = t_.at(m + 2);
            } else {
                child = t_.at(node + 2 + i);
            }
            open(child, node);  // `f` may dangle from here on
        }
    }

    const Tape &t_;
    Bytes doc_;
    Out &out_;
    Frame *stack_ = nullptr;
    int64_t depth_ = 0;
    int64_t cap_ = 0;
};

// sarr_es and sobj_ms: a node that does not own its slots has only null
// elements and empty keys.
ZelString *join_members(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count,
                        bool object) {
    int64_t limit = object ? kMaxMembers : kMaxElems;
    if (i < 0) i = 0;
    if (count > limit) count = limit;
    if (i >= count) return const_cast<ZelString *>(&zel_str_5);
    Tape t(tape);
    if (!t.owns(node, object ? kObjectSlots : kArraySlots)) t = Tape(nullptr);
    Out out;
    Writer(t, Bytes(doc), out).members(node, object, i, count);
    return out.finish();
}

}  // namespace
}  // namespace zel::json

namespace zj = zel::json;
using zj::Bytes;

ZEL_EXPORT ZelString *int_to_str(int64_t value) {
    if (value == 0) return const_cast<ZelString *>(&zel_str_7);
    char buf[20];
    return zel::make_string(buf, static_cast<int64_t>(zj::format_i64(value, buf)));
}

ZEL_EXPORT ZelString *escape(const ZelString *s, int64_t pos, ZelString *acc) {
    Bytes src(s);
    if (pos < 0) pos = 0;
    if (pos >= src.n) return acc;
    // Appending to a null accumulator yields a fresh empty string, so the
    // first byte's piece is lost and the later ones land on that.
    bool acc_ok = acc != nullptr && acc->data != nullptr;
    if (!acc_ok) ++pos;
    int64_t alen = acc_ok && acc->len > 0 ? acc->len : 0;
    int64_t body = zj::escaped_len(src.d + pos, src.n - pos);
    int64_t total = 0;
    if (__builtin_add_overflow(alen, body, &total) || total == INT64_MAX) zel::out_of_memory();
    ZelString *r = zel::make_string_uninit(total);
    if (alen > 0) memcpy(r->data, acc->data, static_cast<size_t>(alen));
    zj::encode<false>(r->data + alen, r->data + total, src.d + pos, src.n - pos);
    return r;
}

ZEL_EXPORT ZelString *sarr_es(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count) {
    return zj::join_members(tape, node, doc, i, count, false);
}

ZEL_EXPORT ZelString *sobj_ms(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count) {
    return zj::join_members(tape, node, doc, i, count, true);
}

ZEL_EXPORT ZelString *jstringify(const ZelVec *tape, int64_t node, const ZelString *doc) {
    zj::Tape t(tape);
    Bytes d(doc);
    switch (t.kind(node)) {
        case zj::kBool: return const_cast<ZelString *>(t.s[node + 1] != 0 ? &zel_str_12 : &zel_str_13);
        case zj::kNumber: return int_to_str(t.s[node + 1]);
        case zj::kString: {
            Bytes raw = zj::cut(d, t.s[node + 1], t.s[node + 2]);
            ZelString *r = zel::make_string_uninit(zj::recoded_len(raw.d, raw.n) + 2);
            char *w = r->data;
            *w++ = '"';
            w = zj::encode<true>(w, r->data + r->len - 1, raw.d, raw.n);
            *w = '"';
            return r;
        }
        case zj::kArray:
        case zj::kObject: {
            bool object = t.kind(node) == zj::kObject;
            if (t.s[node + 1] == 0) return const_cast<ZelString *>(object ? &zel_str_18 : &zel_str_14);
            zj::Out out;
            zj::Writer(t, d, out).value(node);
            return out.finish();
        }
        default: return const_cast<ZelString *>(&zel_str_11);
    }
}
