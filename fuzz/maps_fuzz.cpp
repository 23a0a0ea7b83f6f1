// Random operation sequences on the integer hash map, the string hash map and
// the string map, each checked answer by answer against a std::unordered_map
// model: inserts, lookups, removals, counters, growth past the load limits and
// the listings.
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "fuzz_support.h"

namespace {

using fz::Input;

uint64_t int_home(int64_t k) {
    uint64_t h = static_cast<uint64_t>(k) * 0x517cc1b727220a95ull;
    return (h ^ (h >> 32)) & 131071;
}

uint64_t str_home(const std::string &k) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : k) h = (h ^ c) * 0x100000001b3ull;
    return (h ^ (h >> 32)) & 4095;
}

// Integer keys: a run sharing one home slot (long probe chains), neighbours and extremes.
std::vector<int64_t> make_int_keys() {
    std::vector<int64_t> keys = {0, 1, -1, 2, 3, INT64_MIN, INT64_MAX, 1 << 17, -(1 << 17)};
    for (int64_t k = 1; keys.size() < 32; ++k)
        if (int_home(k) == int_home(0)) keys.push_back(k);
    return keys;
}

// String keys: texts with zero bytes and shared prefixes, a run sharing one home
// slot, and two records for each text (equal bytes are the same key).
std::vector<std::string> make_texts() {
    std::vector<std::string> t = {"", "a", std::string("a\0", 2), std::string("a\0b", 3), std::string("\0", 1),
                                  "ab", "b", "ba", "key", "keys"};
    for (int i = 0; t.size() < 24; ++i)
        if (str_home("c" + std::to_string(i)) == str_home("c0")) t.push_back("c" + std::to_string(i));
    return t;
}

const std::vector<int64_t> kIntKeys = make_int_keys();
const std::vector<std::string> kTexts = make_texts();

// Record i (0 is the null key); records 1..n and n+1..2n hold the same texts.
// Made once and kept for the whole run.
ZelString *g_records[1 + 2 * 24];

ZelString *record(size_t i) {
    constexpr size_t n = sizeof g_records / sizeof g_records[0];
    if (g_records[1] == nullptr)
        for (size_t j = 1; j < n; ++j) {
            const std::string &t = kTexts[(j - 1) % kTexts.size()];
            g_records[j] = zel_string_new(t.data(), static_cast<int64_t>(t.size()));
        }
    return g_records[i % n];
}

// Model key of a record: null apart from every text.
std::string model_key(const ZelString *s) { return s ? "s" + std::string(s->data, static_cast<size_t>(s->len)) : "n"; }

struct Run {
    ZelHashmap *im = hashmap_new();
    ZelStrHashmap *sm = str_hashmap_new();
    ZelStrmap *cm = zel_strmap_new();
    std::unordered_map<int64_t, int64_t> imodel;
    std::unordered_map<std::string, int64_t> smodel, cmodel;
    std::vector<ZelString *> bulk;  // generated keys, alive while the string hash map holds them

    ~Run() {
        hashmap_free(im);
        str_hashmap_free(sm);
        zel_strmap_free(cm);
        for (ZelString *s : bulk) zel_string_free(s);
    }

    int64_t ival(int64_t k) const {
        auto it = imodel.find(k);
        return it == imodel.end() ? INT64_MIN : it->second;
    }
    int64_t sval(const std::string &k) const {
        auto it = smodel.find(k);
        return it == smodel.end() ? 0 : it->second;
    }

    bool int_listed = false;

    // Listings against the model. The integer table is walked whole (131072
    // slots), so once per input is enough.
    void check_listings() {
        if (!int_listed) check_int_listing();
        int_listed = true;
        check_string_listings();
    }

    void check_int_listing() {
        ZelVec *ik = hashmap_keys(im), *iv = hashmap_values(im);
        FUZZ_CHECK(ik->len == static_cast<int64_t>(imodel.size()) && iv->len == ik->len);
        for (int64_t i = 0; i < ik->len; ++i) FUZZ_CHECK(ival(ik->items[i]) == iv->items[i] && imodel.count(ik->items[i]));
        zel_vec_free(ik);
        zel_vec_free(iv);
    }

    void check_string_listings() {
        ZelVec *sk = str_hashmap_keys(sm), *sv = str_hashmap_values(sm);
        FUZZ_CHECK(sk->len == static_cast<int64_t>(smodel.size()) && sv->len == sk->len);
        std::vector<std::string> seen;
        for (int64_t i = 0; i < sk->len; ++i) {
            std::string k = model_key(reinterpret_cast<ZelString *>(sk->items[i]));
            FUZZ_CHECK(smodel.count(k) && smodel[k] == sv->items[i]);
            seen.push_back(k);
        }
        std::sort(seen.begin(), seen.end());
        FUZZ_CHECK(std::adjacent_find(seen.begin(), seen.end()) == seen.end());
        zel_vec_free(sk);
        zel_vec_free(sv);
        int64_t h = zel_str_hashmap_sorted_keys(sm);
        FUZZ_CHECK(h >= 0 && zel_svec_len(h) == static_cast<int64_t>(smodel.size()));
        for (int64_t i = 1; i < zel_svec_len(h); ++i) {
            ZelString *a = zel_svec_get(h, i - 1), *b = zel_svec_get(h, i);
            FUZZ_CHECK(cmp_zel_str_ptr(&a, &b) < 0);
        }
        zel_svec_free(h);

        ZelVec *ck = zel_strmap_keys(cm), *cv = zel_strmap_values(cm);
        FUZZ_CHECK(ck->len == static_cast<int64_t>(cmodel.size()) && cv->len == ck->len);
        for (int64_t i = 0; i < ck->len; ++i) {
            auto *s = reinterpret_cast<ZelString *>(ck->items[i]);
            auto it = cmodel.find(std::string(s->data, static_cast<size_t>(s->len)));
            FUZZ_CHECK(it != cmodel.end() && it->second == cv->items[i] && s->cap == s->len);
            zel_string_free(s);
        }
        zel_vec_free(ck);
        zel_vec_free(cv);
    }

    // Many new keys in both string maps at once: the tables grow under them.
    void bulk_insert(int64_t n) {
        for (int64_t i = 0; i < n && bulk.size() < 6000; ++i) {
            std::string t = "g" + std::to_string(bulk.size());
            ZelString *s = zel_string_new(t.data(), static_cast<int64_t>(t.size()));
            bulk.push_back(s);
            FUZZ_CHECK(str_hashmap_insert(sm, s, i) == sval("s" + t));
            smodel["s" + t] = i;
            FUZZ_CHECK(zel_strmap_insert(cm, s, i) == 1);
            cmodel[t] = i;
        }
        FUZZ_CHECK(str_hashmap_len(sm) == static_cast<int64_t>(smodel.size()));
        FUZZ_CHECK(zel_strmap_size(cm) == static_cast<int64_t>(cmodel.size()));
        for (size_t i = 0; i < bulk.size(); i += 7) {
            FUZZ_CHECK(str_hashmap_get(sm, bulk[i]) == sval(model_key(bulk[i])));
            auto it = cmodel.find(std::string(bulk[i]->data, static_cast<size_t>(bulk[i]->len)));
            FUZZ_CHECK(it != cmodel.end() && zel_strmap_get(cm, bulk[i]) == it->second);
        }
    }

    void step(Input &in) {
        uint8_t op = in.byte() % 14;
        uint8_t sel = in.byte();
        int64_t ik = kIntKeys[sel % kIntKeys.size()];
        ZelString *sk = record(sel);
        std::string mk = model_key(sk);
        std::string ck = sk ? std::string(sk->data, static_cast<size_t>(sk->len)) : "";
        switch (op) {
        case 0: {
            int64_t v = in.word();
            FUZZ_CHECK(hashmap_insert(im, ik, v) == (imodel.count(ik) ? imodel[ik] : 0));
            imodel[ik] = v;
            break;
        }
        case 1:
            FUZZ_CHECK(hashmap_get(im, ik) == ival(ik));
            FUZZ_CHECK(hashmap_contains(im, ik) == static_cast<int64_t>(imodel.count(ik)));
            break;
        case 2:
            FUZZ_CHECK(hashmap_remove(im, ik) == ival(ik));
            imodel.erase(ik);
            FUZZ_CHECK(hashmap_len(im) == static_cast<int64_t>(imodel.size()));
            break;
        case 3: {
            int64_t v = in.byte() - 128;
            FUZZ_CHECK(zel_str_hashmap_insert(sm, sk, v) == sval(mk));
            smodel[mk] = v;
            break;
        }
        case 4:
            FUZZ_CHECK(str_hashmap_get(sm, sk) == sval(mk));
            FUZZ_CHECK(zel_str_hashmap_contains(sm, sk) == static_cast<int64_t>(smodel.count(mk)));
            break;
        case 5:
            FUZZ_CHECK(str_hashmap_remove(sm, sk) == sval(mk));
            smodel.erase(mk);
            FUZZ_CHECK(zel_str_hashmap_len(sm) == static_cast<int64_t>(smodel.size()));
            break;
        case 6: {
            int64_t d = in.word();
            FUZZ_CHECK(zel_str_hashmap_inc(sm, sk, d) == 0);
            smodel[mk] = static_cast<int64_t>(static_cast<uint64_t>(sval(mk)) + static_cast<uint64_t>(d));
            break;
        }
        case 7: {
            int64_t v = in.word();
            FUZZ_CHECK(zel_str_hashmap_update(sm, sk, v) == 0);
            smodel[mk] = v;
            break;
        }
        case 8: {
            int64_t v = in.word();
            FUZZ_CHECK(zel_strmap_insert(cm, sk, v) == (sk ? 1 : 0));
            if (sk) cmodel[ck] = v;
            break;
        }
        case 9: {
            auto it = sk ? cmodel.find(ck) : cmodel.end();
            FUZZ_CHECK(zel_strmap_get(cm, sk) == (it == cmodel.end() ? -1 : it->second));
            FUZZ_CHECK(strmap_contains(cm, sk) == (it == cmodel.end() ? 0 : 1));
            break;
        }
        case 10: {
            auto it = sk ? cmodel.find(ck) : cmodel.end();
            FUZZ_CHECK(zel_strmap_remove(cm, sk) == (it == cmodel.end() ? 0 : it->second));
            if (it != cmodel.end()) cmodel.erase(it);
            FUZZ_CHECK(zel_strmap_size(cm) == static_cast<int64_t>(cmodel.size()));
            break;
        }
        case 11:
            check_listings();
            break;
        case 12:
            bulk_insert(static_cast<int64_t>(in.byte()) * 12);
            break;
        default:
            // A bulk key looked up through another record with equal bytes.
            if (!bulk.empty()) {
                ZelString *b = bulk[static_cast<size_t>(in.word() & 0x7fffffff) % bulk.size()];
                ZelString *copy = zel_string_new(b->data, b->len);
                FUZZ_CHECK(str_hashmap_get(sm, copy) == sval(model_key(b)));
                FUZZ_CHECK(zel_strmap_contains(cm, copy) == static_cast<int64_t>(cmodel.count(std::string(b->data, static_cast<size_t>(b->len)))));
                zel_string_free(copy);
            }
            break;
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Input in{data, size};
    Run run;
    FUZZ_CHECK(run.im && run.sm && run.cm);
    while (!in.empty()) run.step(in);
    run.check_string_listings();
    return 0;
}
