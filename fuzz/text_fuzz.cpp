// Arbitrary text and needle through search, count, replace, split, join and
// trim, in either allocation mode, each checked against a direct reference
// written here, and both search-kernel builds against each other.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "../runtime/strings/find.h"
#include "zel.h"

namespace {

[[noreturn]] void fail(const char *what, const std::string &h, const std::string &n) {
    fprintf(stderr, "%s disagrees: haystack %zu bytes, needle %zu bytes\n", what, h.size(), n.size());
    abort();
}

bool at(const std::string &h, const std::string &n, size_t p) { return h.compare(p, n.size(), n) == 0; }

std::vector<size_t> matches(const std::string &h, const std::string &n) {
    std::vector<size_t> r;
    for (size_t p = 0; p + n.size() <= h.size();)
        if (at(h, n, p)) r.push_back(p), p += n.size();
        else ++p;
    return r;
}

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string take(ZelString *s) {
    std::string r(s->data, (size_t)s->len);
    zel_string_free(s);
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    // Byte 0: needle length; byte 1 bit 0: fold both texts onto "ab" so that
    // candidates and near misses are common.
    size_t k = data[0] % 80;
    if (k > size - 2) k = size - 2;
    std::string n(reinterpret_cast<const char *>(data + 2), k);
    std::string h(reinterpret_cast<const char *>(data + 2 + k), size - 2 - k);
    if (data[1] & 1) {
        for (char &c : n) c = (char)('a' + (c & 1));
        for (char &c : h) c = (char)('a' + (c & 1));
    }
    // Byte 1 bit 1: results from the arena instead of the heap.
    const bool arena = data[1] & 2;
    zel_arena_mode(arena);
    ZelString *sh = zel_string_new(h.data(), (int64_t)h.size()), *sn = zel_string_new(n.data(), (int64_t)n.size());

    int64_t first = -1, last = -1;
    for (size_t p = 0; p + n.size() <= h.size(); ++p)
        if (at(h, n, p)) {
            if (first < 0) first = (int64_t)p;
            last = (int64_t)p;
        }
    if (zel_string_index_of(sh, sn) != first) fail("index_of", h, n);
    if (zel_string_last_index_of(sh, sn) != (n.empty() ? (int64_t)h.size() : last)) fail("last_index_of", h, n);
    std::vector<size_t> all = n.empty() ? std::vector<size_t>{} : matches(h, n);
    if (zel_string_count(sh, sn) != (int64_t)all.size()) fail("count", h, n);

    if (!n.empty() && n.size() <= h.size()) {
        const auto *hp = reinterpret_cast<const uint8_t *>(h.data()), *np = reinterpret_cast<const uint8_t *>(n.data());
        for (int which = 0; which < 2; ++which) {
            const zel::text::Kernels &kk = zel::text::kernels_for(which);
            if (kk.find_first(hp, (int64_t)h.size(), np, (int64_t)n.size(), 0) != first) fail("find_first", h, n);
            if (kk.find_last(hp, (int64_t)h.size(), np, (int64_t)n.size()) != last) fail("find_last", h, n);
        }
    }

    // Replace, and both splits with the join that undoes the first.
    ZelString *to = zel_string_new("<>", 2);
    std::string want;
    std::vector<std::string> pieces;
    size_t prev = 0;
    for (size_t p : all) {
        want += h.substr(prev, p - prev) + "<>";
        pieces.push_back(h.substr(prev, p - prev));
        prev = p + n.size();
    }
    want += h.substr(prev);
    pieces.push_back(h.substr(prev));
    ZelString *r = zel_string_replace(sh, sn, to);
    if (r != sh) {
        if (want.find('\0') != std::string::npos) want.resize(want.find('\0'));
        if (take(r) != want) fail("replace", h, n);
    } else if (!all.empty()) {
        fail("replace (no copy)", h, n);
    }
    if (!n.empty()) {
        ZelVec *v = zel_string_split(sh, sn);
        if (v->len != (int64_t)pieces.size()) fail("split", h, n);
        for (int64_t i = 0; i < v->len; ++i)
            if (std::string(((ZelString *)v->items[i])->data, ((ZelString *)v->items[i])->len) != pieces[i])
                fail("split piece", h, n);
        std::string joined = take(zel_string_join(v, sn));
        if (h.find('\0') == std::string::npos && n.find('\0') == std::string::npos && joined != h) fail("join", h, n);
        for (int64_t i = 0; i < v->len; ++i) zel_string_free((ZelString *)v->items[i]);
        zel_vec_free(v);
        // The pool's split drops the empty field after a final separator.
        if (!h.empty() && !pieces.empty() && pieces.back().empty()) pieces.pop_back();
        if (h.empty()) pieces.clear();
        int64_t hs = zel_str_split(sh, sn);
        if (zel_svec_len(hs) != (int64_t)pieces.size()) fail("str_split", h, n);
        for (int64_t i = 0; i < zel_svec_len(hs); ++i) {
            ZelString *f = zel_svec_get(hs, i);
            if (std::string(f->data, f->len) != pieces[i]) fail("str_split field", h, n);
            zel_string_free(f);
        }
        zel_svec_free(hs);
    }

    // Trim: the bytes between the outermost non-space bytes.
    size_t b = 0, e = h.size();
    while (b < e && space(h[b])) ++b;
    while (e > b && space(h[e - 1])) --e;
    ZelString *t = zel_string_trim(sh);
    if (t != sh) {
        if (take(t) != h.substr(b, e - b)) fail("trim", h, n);
    } else if (!h.empty()) {
        fail("trim (no copy)", h, n);
    }
    zel_string_free(to);
    zel_string_free(sh);
    zel_string_free(sn);
    if (arena) zel_arena_reset();
    zel_arena_mode(0);
    return 0;
}
