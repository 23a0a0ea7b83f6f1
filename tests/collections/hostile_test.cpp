// Hand-made records as keys, elements and texts of the collections: NULL,
// NULL data with a length, negative lengths over bytes without a NUL. Each
// answers as the empty string does, except where the third and fourth columns
// say; no byte is read through such a record (AddressSanitizer checks).
#include <stdlib.h>

#include <functional>
#include <string>
#include <vector>

#include "support.h"

namespace {

using zt::S;

const char *const kSame = "=";  // answers as for the empty string

std::string text(int64_t v) { return std::to_string(v); }
std::string show(const ZelString *r, const ZelString *arg) {
    if (r == arg) return "self";
    return r == nullptr ? "null" : "'" + zt::str(r) + "'";
}

// Answers in the order the calls are made (operands of << are sequenced).
struct Steps {
    std::string out;
    Steps &operator<<(int64_t v) {
        out += text(v);
        return *this;
    }
};

struct Row {
    const char *name;
    std::function<std::string(ZelString *)> run;
    const char *null = kSame, *no_data = kSame, *negative = kSame;
};

TEST(Hostile, RecordsWithoutBytesAsKeysElementsAndTexts) {
    zel_arena_mode(1);
    ZelString *abc = S("a,b,c"), *comma = S(",");
    auto *raw = static_cast<char *>(malloc(3));
    memcpy(raw, "a,b", 3);  // no NUL
    ZelString hollow = {nullptr, 5, 5}, negative = {raw, -3, 3}, most_negative = {raw, INT64_MIN, 0};
    auto pieces = [](int64_t h) {
        std::string r = text(zel_svec_len(h)) + ":";
        for (int64_t i = 0; i < zel_svec_len(h); ++i) r += zt::str(zel_svec_get(h, i)) + ";";
        return r;
    };
    const std::vector<Row> rows = {
        // NULL is stored like any pointer but never matches.
        {"svec search", [](ZelString *s) {
             int64_t h = zel_svec_new();
             zel_svec_push(h, s);
             return text(zel_svec_index_of(h, s)) + text(zel_svec_contains(h, s)) + text(zel_svec_len(h));
         }, "-101"},
        {"svec sort and join", [&](ZelString *s) {
             int64_t h = zel_svec_new();
             for (ZelString *e : {abc, s, abc}) zel_svec_push(h, e);
             zel_svec_sort(h);
             return show(zel_svec_get(h, 0), s) + show(zel_svec_join(h, s), s) + show(zel_svec_join(h, comma), s);
         }},
        {"split x", [&](ZelString *s) {
             return pieces(zel_str_split(s, comma)) + pieces(zel_str_split_whitespace(s)) + pieces(zel_str_lines(s));
         }},
        {"split at x", [&](ZelString *s) { return pieces(zel_str_split(abc, s)); }},
        // In the string hash map NULL is a key of its own, and so is every
        // record whose len differs: none of them is the empty key.
        {"str_hashmap", [](ZelString *s) {
             ZelStrHashmap *m = str_hashmap_new();
             Steps r;
             r << str_hashmap_insert(m, S(""), 1) << str_hashmap_insert(m, s, 7) << zel_str_hashmap_inc(m, s, 1);
             r << str_hashmap_get(m, s) << str_hashmap_contains(m, s) << str_hashmap_len(m);
             r << zel_svec_len(zel_str_hashmap_sorted_keys(m)) << str_hashmap_remove(m, s) << str_hashmap_len(m);
             str_hashmap_free(m);
             return r.out;
         }, "000812281", "000812281", "000812281"},
        // The string map refuses records without data.
        {"strmap", [](ZelString *s) {
             ZelStrmap *m = zel_strmap_new();
             Steps r;
             r << zel_strmap_insert(m, s, 7) << zel_strmap_get(m, s) << zel_strmap_contains(m, s) << zel_strmap_size(m);
             ZelVec *keys = zel_strmap_keys(m);
             r << keys->len << zel_strmap_remove(m, s) << zel_strmap_size(m);
             zel_vec_free(keys);
             zel_strmap_free(m);
             return r.out;
         }, "0-100000", "0-100000"},
        {"lookup in x", [&](ZelString *s) { return show(reg_cached_lookup(s, abc, 0), s); }},
        // Keys are compared as the string hash map compares them.
        {"lookup of x", [](ZelString *s) { return show(reg_cached_lookup(S("=1;a=2"), s, 1), s); }, "''", "''", "''"},
    };
    ZelString *empty = S("");
    for (const Row &row : rows) {
        std::string same = row.run(empty);
        const std::pair<ZelString *, const char *> cases[] = {
            {nullptr, row.null}, {&hollow, row.no_data}, {&negative, row.negative}, {&most_negative, row.negative}};
        for (auto [record, want] : cases)
            EXPECT_EQ(row.run(record), want == kSame ? same : std::string(want))
                << row.name << " on " << (record ? zel_string_len(record) : -1);
    }
    free(raw);
    zel_arena_destroy();
}

}  // namespace
