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

}  // namespace zel
