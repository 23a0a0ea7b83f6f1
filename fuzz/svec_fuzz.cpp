// Random operation sequences on the string-vector pool against a model of one
// std::vector of string pointers per handle: push, get, remove, index_of,
// contains, sort, join, clear, free and len on valid and invalid handles, with
// null elements, equal texts in distinct records and texts holding NUL bytes;
// and the whitespace and line splits against direct references.
//
// Handles are never released, so the run keeps three for good, empties them
// at the start of every input, and issues at most one new one per input.
#include <algorithm>
#include <vector>

#include "fuzz_support.h"

namespace {

using fz::take;

constexpr int kKept = 3;
int64_t g_kept[kKept] = {-1, -1, -1};

bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Element order of the pool: nulls first, then bytes, a proper prefix first.
int order(const ZelString *a, const ZelString *b) {
    if (!a || !b) return (a != nullptr) - (b != nullptr);
    int c = fz::bytes_of(a).compare(fz::bytes_of(b));
    return (c > 0) - (c < 0);
}

std::vector<std::string> words(const std::string &s) {
    std::vector<std::string> r;
    for (size_t i = 0; i < s.size();) {
        while (i < s.size() && space(s[i])) ++i;
        size_t start = i;
        while (i < s.size() && !space(s[i])) ++i;
        if (i > start) r.push_back(s.substr(start, i - start));
    }
    return r;
}

std::vector<std::string> lines(const std::string &s) {
    std::vector<std::string> r;
    for (size_t start = 0; start < s.size();) {
        size_t lf = s.find('\n', start), end = lf == std::string::npos ? s.size() : lf;
        size_t stop = end > start && s[end - 1] == '\r' ? end - 1 : end;
        r.push_back(s.substr(start, stop - start));
        start = end + 1;
    }
    return r;
}

struct Run {
    std::vector<int64_t> handles;                      // the model's handles, in order
    std::vector<std::vector<ZelString *>> model;       // their elements
    std::vector<ZelString *> records;                  // element candidates (null included)
    std::vector<ZelString *> owned;                    // strings to release at the end
    bool issued = false;  // one new handle per input at most

    std::vector<ZelString *> *of(int64_t h) {
        for (size_t i = 0; i < handles.size(); ++i)
            if (handles[i] == h) return &model[i];
        return nullptr;
    }

    // A handle of the model, or one no operation may accept.
    int64_t pick(uint8_t sel) {
        if (sel < 0xF0) return handles[sel % handles.size()];
        static const int64_t bad[] = {-1, INT64_MIN, INT64_MAX, -2};
        if (sel < 0xF4) return bad[sel - 0xF0];
        return g_svec_pool_len + (sel - 0xF4);
    }

    void check_contents(int64_t h) {
        const std::vector<ZelString *> *v = of(h);
        FUZZ_CHECK(zel_svec_len(h) == static_cast<int64_t>(v->size()));
        for (size_t i = 0; i < v->size(); ++i) FUZZ_CHECK(zel_svec_get(h, static_cast<int64_t>(i)) == (*v)[i]);
    }

    // A new handle: the next index, empty.
    void adopt(int64_t h, const std::vector<ZelString *> &elems) {
        FUZZ_CHECK(h == g_svec_pool_len - 1);
        handles.push_back(h);
        model.push_back(elems);
        check_contents(h);
    }

    void split(uint8_t how, ZelString *s) {
        const std::string t = s ? fz::bytes_of(s) : "";
        const int64_t before = g_svec_pool_len;
        int64_t h = (how & 1) ? zel_str_lines(s) : zel_str_split_whitespace(s);
        FUZZ_CHECK(h == before);
        const std::vector<std::string> want = (how & 1) ? lines(t) : words(t);
        FUZZ_CHECK(zel_svec_len(h) == static_cast<int64_t>(want.size()));
        std::vector<ZelString *> got;
        for (size_t i = 0; i < want.size(); ++i) {
            ZelString *p = zel_svec_get(h, static_cast<int64_t>(i));
            fz::check_made(p);
            FUZZ_CHECK(fz::bytes_of(p) == want[i]);
            got.push_back(p);
            owned.push_back(p);
        }
        adopt(h, got);
    }

    void step(fz::Input &in) {
        const uint8_t op = in.byte();
        const int64_t h = pick(in.byte());
        std::vector<ZelString *> *v = of(h);
        const int64_t n = v ? static_cast<int64_t>(v->size()) : 0;
        ZelString *x = records[in.byte() % records.size()];
        switch (op % 12) {
        case 0:
        case 1:
            FUZZ_CHECK(zel_svec_push(h, x) == (v ? 0 : -1));
            if (v) v->push_back(x);
            break;
        case 2: {
            const int64_t i = in.sbyte() % (n + 3);
            FUZZ_CHECK(zel_svec_get(h, i) == (v && i >= 0 && i < n ? (*v)[static_cast<size_t>(i)] : nullptr));
            break;
        }
        case 3: {
            const int64_t i = in.sbyte() % (n + 3);
            const bool ok = v && i >= 0 && i < n;
            FUZZ_CHECK(zel_svec_remove(h, i) == (ok ? 1 : 0));
            if (ok) v->erase(v->begin() + i);
            break;
        }
        case 4: {
            // Equal bytes in any record match; null elements never do.
            int64_t want = -1;
            if (v && x)
                for (int64_t i = 0; i < n && want < 0; ++i)
                    if ((*v)[static_cast<size_t>(i)] && fz::bytes_of((*v)[static_cast<size_t>(i)]) == fz::bytes_of(x)) want = i;
            FUZZ_CHECK(zel_svec_index_of(h, x) == want);
            FUZZ_CHECK(zel_svec_contains(h, x) == (want >= 0 ? 1 : 0));
            break;
        }
        case 5: {
            FUZZ_CHECK(zel_svec_sort(h) == 0);
            if (!v) break;
            // Not stable: the same elements, in order; the model takes the pool's order.
            std::vector<ZelString *> got;
            for (int64_t i = 0; i < n; ++i) got.push_back(zel_svec_get(h, i));
            for (size_t i = 1; i < got.size(); ++i) FUZZ_CHECK(order(got[i - 1], got[i]) <= 0);
            std::vector<ZelString *> a = got, b = *v;
            std::sort(a.begin(), a.end());
            std::sort(b.begin(), b.end());
            FUZZ_CHECK(a == b);
            *v = got;
            break;
        }
        case 6: {
            // Null elements add nothing, the separators around them stay; a null
            // separator joins without any.
            ZelString *sep = records[in.byte() % records.size()];
            std::string want;
            for (int64_t i = 0; v && i < n; ++i) {
                if (i > 0 && sep) want += fz::bytes_of(sep);
                if ((*v)[static_cast<size_t>(i)]) want += fz::bytes_of((*v)[static_cast<size_t>(i)]);
            }
            FUZZ_CHECK(take(zel_svec_join(h, sep)) == want);
            break;
        }
        case 7:
            FUZZ_CHECK(zel_svec_clear(h) == 0);
            if (v) v->clear();
            break;
        case 8:
            FUZZ_CHECK(zel_svec_free(h) == 0);
            if (v) v->clear();
            break;
        case 9:
            FUZZ_CHECK(zel_svec_len(h) == n);
            break;
        case 10:
            if (!issued) adopt(zel_svec_new(), {});
            issued = true;
            break;
        default:
            if (!issued) split(op >> 4, x);
            issued = true;
            break;
        }
        if (v) check_contents(h);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fz::Input in{data, size};
    const uint8_t flags = in.byte();
    const bool arena = flags & 1;
    zel_arena_mode(arena);
    Run run;
    for (int64_t &h : g_kept) {
        if (h < 0) h = zel_svec_new();
        FUZZ_CHECK(h >= 0 && zel_svec_free(h) == 0 && zel_svec_len(h) == 0);
        run.handles.push_back(h);
        run.model.emplace_back();
    }
    // Element candidates: five texts from the input (bit 1 folds them onto
    // white space and two letters, so equal texts and words are common), the
    // first text again in a second record, and the null pointer.
    std::string first;
    for (int k = 0; k < 5; ++k) {
        std::string t = in.text(in.byte() % 24);
        if (flags & 2)
            for (char &c : t) c = "ab \n\r\t\0b"[static_cast<uint8_t>(c) % 8];
        if (k == 0) first = t;
        run.owned.push_back(zel_string_new(t.data(), static_cast<int64_t>(t.size())));
        run.records.push_back(run.owned.back());
    }
    run.owned.push_back(zel_string_new(first.data(), static_cast<int64_t>(first.size())));
    run.records.push_back(run.owned.back());
    run.records.push_back(nullptr);
    while (!in.empty()) run.step(in);
    for (int64_t h : run.handles) run.check_contents(h);
    // Handles issued here stay in the pool, empty.
    for (size_t i = kKept; i < run.handles.size(); ++i) zel_svec_free(run.handles[i]);
    for (ZelString *s : run.owned) zel_string_free(s);
    if (arena) zel_arena_reset();
    zel_arena_mode(0);
    return 0;
}
