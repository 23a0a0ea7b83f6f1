// Compact JSON text from a tape node. Each result is measured or streamed
// first and made with one string allocation; the shared literal records are
// returned where a whole result is exactly one of them.
#include <stdlib.h>

#include "../runtime/core/internal.h"

namespace zel {
namespace {

constexpr int64_t kArraySlots = 66;
constexpr int64_t kObjectSlots = 98;
constexpr int64_t kMaxElems = 64;
constexpr int64_t kMaxMembers = 32;

enum Kind : int64_t { kNull = 0, kBool = 1, kNumber = 2, kString = 3, kArray = 4, kObject = 5 };

struct Bytes {
    const unsigned char *d;
    int64_t n;
};

// Null records, null data and negative lengths read as no bytes.
inline Bytes bytes_of(const ZelString *s) {
    if (s == nullptr || s->data == nullptr || s->len <= 0) return {nullptr, 0};
    return {reinterpret_cast<const unsigned char *>(s->data), s->len};
}

// The document range a slice would cut: empty when start is negative, past
// the end or beyond end; end clamped to the length.
inline Bytes cut(Bytes doc, int64_t start, int64_t end) {
    if (start < 0 || start > doc.n || end < start) return {nullptr, 0};
    if (end > doc.n) end = doc.n;
    return {doc.d + start, end - start};
}

// Bytes escape writes for c: byte 0 vanishes, five bytes get a backslash.
inline int escaped_size(unsigned char c) {
    switch (c) {
        case 0: return 0;
        case '\t': case '\n': case '\r': case '"': case '\\': return 2;
        default: return 1;
    }
}

inline char *put_escaped(char *w, unsigned char c) {
    switch (c) {
        case 0: return w;
        case '\t': *w++ = '\\'; *w++ = 't'; return w;
        case '\n': *w++ = '\\'; *w++ = 'n'; return w;
        case '\r': *w++ = '\\'; *w++ = 'r'; return w;
        case '"': *w++ = '\\'; *w++ = '"'; return w;
        case '\\': *w++ = '\\'; *w++ = '\\'; return w;
        default: *w++ = static_cast<char>(c); return w;
    }
}

int64_t escaped_len(const unsigned char *p, int64_t n) {
    int64_t total = 0;
    for (int64_t i = 0; i < n; ++i) total += escaped_size(p[i]);
    return total;
}

char *write_escaped(char *w, const unsigned char *p, int64_t n) {
    for (int64_t i = 0; i < n; ++i) w = put_escaped(w, p[i]);
    return w;
}

// One decoded byte per escape pair or plain byte; byte 0 yields nothing.
template <class Fn>
void for_each_decoded(const unsigned char *s, int64_t n, Fn fn) {
    int64_t pos = 0;
    while (pos < n) {
        unsigned char c = s[pos];
        if (c == '\\' && pos + 1 < n) {
            unsigned char e = s[pos + 1];
            c = e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
            pos += 2;
        } else {
            ++pos;
        }
        if (c != 0) fn(c);
    }
}

// Content of a string node as escape(unescape(raw)) would give it.
int64_t recoded_len(Bytes raw) {
    int64_t total = 0;
    for_each_decoded(raw.d, raw.n, [&](unsigned char c) { total += escaped_size(c); });
    return total;
}

char *write_recoded(char *w, Bytes raw) {
    for_each_decoded(raw.d, raw.n, [&](unsigned char c) { w = put_escaped(w, c); });
    return w;
}

// Decimal digits of v into the end of buf[24]; returns the first byte.
char *format_int(int64_t v, char *end) {
    uint64_t m = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    char *p = end;
    do {
        *--p = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m != 0);
    if (v < 0) *--p = '-';
    return p;
}

// Growable output for containers, released before the result is made.
class Out {
public:
    Out() = default;
    Out(const Out &) = delete;
    Out &operator=(const Out &) = delete;
    ~Out() { free(buf_); }

    char *reserve(int64_t n) {
        if (n > cap_ - len_) grow(n);
        return buf_ + len_;
    }
    void commit(char *end) { len_ = end - buf_; }
    void put(char c) { *reserve(1) = c; ++len_; }
    void put(const char *p, int64_t n) {
        memcpy(reserve(n), p, static_cast<size_t>(n));
        len_ += n;
    }
    ZelString *finish() const { return make_string(buf_, len_); }

private:
    void grow(int64_t n) {
        int64_t need = 0;
        if (__builtin_add_overflow(len_, n, &need) || need >= INT64_MAX / 2) out_of_memory();
        int64_t cap = cap_ < 256 ? 256 : cap_;
        while (cap < need) cap *= 2;
        auto *b = static_cast<char *>(realloc(buf_, static_cast<size_t>(cap)));
        if (b == nullptr) out_of_memory();
        buf_ = b;
        cap_ = cap;
    }

    char *buf_ = nullptr;
    int64_t len_ = 0;
    int64_t cap_ = 0;
};

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
            case kNumber: {
                char buf[24];
                char *p = format_int(t_.s[node + 1], buf + sizeof buf);
                out_.put(p, buf + sizeof buf - p);
                return true;
            }
            case kString: {
                Bytes raw = cut(doc_, t_.s[node + 1], t_.s[node + 2]);
                char *w = out_.reserve(recoded_len(raw) + 2);
                *w++ = '"';
                w = write_recoded(w, raw);
                *w++ = '"';
                out_.commit(w);
                return true;
            }
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
                Bytes key = cut(doc_, t_.at(m), t_.at(m + 1));
                char *w = out_.reserve(escaped_len(key.d, key.n) + 3);
                *w++ = '"';
                w = write_escaped(w, key.d, key.n);
                *w++ = '"';
                *w++ = ':';
                out_.commit(w);
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
    Writer(t, bytes_of(doc), out).members(node, object, i, count);
    return out.finish();
}

}  // namespace
}  // namespace zel

using zel::Bytes;

ZEL_EXPORT ZelString *int_to_str(int64_t value) {
    if (value == 0) return const_cast<ZelString *>(&zel_str_7);
    char buf[24];
    char *p = zel::format_int(value, buf + sizeof buf);
    return zel::make_string(p, buf + sizeof buf - p);
}

ZEL_EXPORT ZelString *escape(const ZelString *s, int64_t pos, ZelString *acc) {
    Bytes src = zel::bytes_of(s);
    if (pos < 0) pos = 0;
    if (pos >= src.n) return acc;
    // Appending to a null accumulator yields a fresh empty string, so the
    // first byte's piece is lost and the later ones land on that.
    bool acc_ok = acc != nullptr && acc->data != nullptr;
    if (!acc_ok) ++pos;
    int64_t alen = acc_ok && acc->len > 0 ? acc->len : 0;
    int64_t body = zel::escaped_len(src.d + pos, src.n - pos);
    int64_t total = 0;
    if (__builtin_add_overflow(alen, body, &total) || total == INT64_MAX) zel::out_of_memory();
    ZelString *r = zel::make_string_uninit(total);
    if (alen > 0) memcpy(r->data, acc->data, static_cast<size_t>(alen));
    zel::write_escaped(r->data + alen, src.d + pos, src.n - pos);
    return r;
}

ZEL_EXPORT ZelString *sarr_es(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count) {
    return zel::join_members(tape, node, doc, i, count, false);
}

ZEL_EXPORT ZelString *sobj_ms(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count) {
    return zel::join_members(tape, node, doc, i, count, true);
}

ZEL_EXPORT ZelString *jstringify(const ZelVec *tape, int64_t node, const ZelString *doc) {
    zel::Tape t(tape);
    Bytes d = zel::bytes_of(doc);
    switch (t.kind(node)) {
        case zel::kBool: return const_cast<ZelString *>(t.s[node + 1] != 0 ? &zel_str_12 : &zel_str_13);
        case zel::kNumber: return int_to_str(t.s[node + 1]);
        case zel::kString: {
            Bytes raw = zel::cut(d, t.s[node + 1], t.s[node + 2]);
            ZelString *r = zel::make_string_uninit(zel::recoded_len(raw) + 2);
            char *w = r->data;
            *w++ = '"';
            w = zel::write_recoded(w, raw);
            *w = '"';
            return r;
        }
        case zel::kArray:
        case zel::kObject: {
            bool object = t.kind(node) == zel::kObject;
            if (t.s[node + 1] == 0) return const_cast<ZelString *>(object ? &zel_str_18 : &zel_str_14);
            zel::Out out;
            zel::Writer(t, d, out).value(node);
            return out.finish();
        }
        default: return const_cast<ZelString *>(&zel_str_11);
    }
}
