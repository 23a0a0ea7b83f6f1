// Making string records: every runtime string is two zel_alloc blocks, bytes then record.
#include "../core/internal.h"

namespace zel {

ZelString *make_string_in_block(int64_t n, int64_t block) {
    auto *bytes = static_cast<char *>(zel_alloc(static_cast<uint64_t>(block)));
    auto *s = static_cast<ZelString *>(zel_alloc(sizeof(ZelString)));
    bytes[n] = '\0';
    s->data = bytes;
    s->len = n;
    s->cap = n;
    return s;
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

}  // namespace zel
