// Strings handed to and from hosts. These live on the system heap in either
// allocation mode, so a host's string survives arena resets and its release
// never passes arena memory to free.
#include <stdlib.h>

#include "../core/internal.h"

ZEL_EXPORT ZelString *zel_ffi_cstr_to_string(const char *cstr) {
    if (cstr == nullptr) cstr = "";
    size_t n = strlen(cstr);
    auto *bytes = static_cast<char *>(zel::heap_alloc(n + 1));
    auto *s = static_cast<ZelString *>(zel::heap_alloc(sizeof(ZelString)));
    memcpy(bytes, cstr, n + 1);
    s->data = bytes;
    s->len = static_cast<int64_t>(n);
    s->cap = static_cast<int64_t>(n);
    return s;
}

ZEL_EXPORT const char *zel_ffi_string_data(const ZelString *s) {
    static const char empty[1] = {'\0'};
    if (s == nullptr || s->data == nullptr) return empty;
    return s->data;
}

ZEL_EXPORT void zel_ffi_free_string(ZelString *s) {
    if (s == nullptr) return;
    free(s->data);
    free(s);
}
