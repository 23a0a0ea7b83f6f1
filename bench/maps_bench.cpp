// Map costs per operation (insert, hit, miss) for the integer hash map (integer
// keys), the string hash map and the string map (16-byte string keys), each
// next to std::unordered_map over the same keys in the same run.
//
// Insert builds a fresh map of N keys per iteration (creation and release
// included); hit and miss look up one key per iteration in a map of N keys,
// walking the keys in random order, a hit through a second record with equal
// bytes. The integer map's table holds at most 131072 entries, so its large
// size is 100,000 keys.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "zel.h"

namespace {

constexpr int64_t kSmall = 1000, kLarge = 1000000, kIntLarge = 100000;

struct IntKeys {
    std::vector<int64_t> keys, misses;
    explicit IntKeys(int64_t n) {
        std::mt19937_64 rng(42);
        std::unordered_set<int64_t> seen;
        while (static_cast<int64_t>(keys.size()) < n)
            if (int64_t k = static_cast<int64_t>(rng()); seen.insert(k).second) keys.push_back(k);
        while (static_cast<int64_t>(misses.size()) < n)
            if (int64_t k = static_cast<int64_t>(rng()); seen.insert(k).second) misses.push_back(k);
    }
};

// 16 random letters and digits per key; every key has two records (one stored,
// one to look up with) so that hits compare bytes, not pointers.
struct StrKeys {
    std::vector<std::string> keys, misses;
    std::vector<ZelString *> stored, probes, miss_probes;
    explicit StrKeys(int64_t n) {
        static const char kAlnum[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::mt19937_64 rng(7);
        std::unordered_set<std::string> seen;
        auto make = [&] {
            std::string s(16, ' ');
            for (char &c : s) c = kAlnum[rng() % 62];
            return s;
        };
        while (static_cast<int64_t>(keys.size()) < n)
            if (std::string k = make(); seen.insert(k).second) keys.push_back(k);
        while (static_cast<int64_t>(misses.size()) < n)
            if (std::string k = make(); seen.insert(k).second) misses.push_back(k);
        for (const std::string &k : keys) {
            stored.push_back(zel_string_new(k.data(), 16));
            probes.push_back(zel_string_new(k.data(), 16));
        }
        for (const std::string &k : misses) miss_probes.push_back(zel_string_new(k.data(), 16));
    }
    ~StrKeys() {
        for (auto *v : {&stored, &probes, &miss_probes})
            for (ZelString *s : *v) zel_string_free(s);
    }
};

// Key sets are built once per size and kept.
template <typename K>
const K &keys_for(int64_t n) {
    static std::unordered_map<int64_t, std::unique_ptr<K>> cache;
    auto &p = cache[n];
    if (!p) p = std::make_unique<K>(n);
    return *p;
}

// One filled map per map type: asking for another name releases the old one.
template <typename M>
M *fixture(const std::string &name, std::function<M *()> build, void (*destroy)(M *)) {
    static std::string current;
    static M *map = nullptr;
    if (map == nullptr || current != name) {
        if (map != nullptr) destroy(map);
        map = build();
        current = name;
    }
    return map;
}

// Random visiting order, fixed per size.
const std::vector<uint32_t> &order(int64_t n) {
    static std::unordered_map<int64_t, std::vector<uint32_t>> cache;
    auto &o = cache[n];
    if (o.empty()) {
        o.resize(static_cast<size_t>(n));
        for (int64_t i = 0; i < n; ++i) o[static_cast<size_t>(i)] = static_cast<uint32_t>(i);
        std::shuffle(o.begin(), o.end(), std::mt19937(3));
    }
    return o;
}

void per_op(benchmark::State &state, int64_t ops_per_iteration) {
    state.SetItemsProcessed(state.iterations() * ops_per_iteration);
    // Seconds per operation (printed with an SI prefix: 25n is 25 ns).
    state.counters["per_op"] = benchmark::Counter(static_cast<double>(state.iterations() * ops_per_iteration),
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <typename F>
void lookups(benchmark::State &state, int64_t n, F f) {
    const std::vector<uint32_t> &o = order(n);
    size_t i = 0;
    int64_t sink = 0;
    for (auto _ : state) {
        sink += f(o[i]);
        if (++i == o.size()) i = 0;
    }
    benchmark::DoNotOptimize(sink);
    per_op(state, 1);
}

// ---- integer keys ----

void BM_Hashmap_Insert(benchmark::State &state) {
    const IntKeys &k = keys_for<IntKeys>(state.range(0));
    for (auto _ : state) {
        ZelHashmap *m = hashmap_new();
        for (int64_t key : k.keys) hashmap_insert(m, key, key);
        benchmark::DoNotOptimize(m->count);
        hashmap_free(m);
    }
    per_op(state, state.range(0));
}

void BM_StdInt_Insert(benchmark::State &state) {
    const IntKeys &k = keys_for<IntKeys>(state.range(0));
    for (auto _ : state) {
        std::unordered_map<int64_t, int64_t> m;
        for (int64_t key : k.keys) m[key] = key;
        benchmark::DoNotOptimize(m.size());
    }
    per_op(state, state.range(0));
}

ZelHashmap *int_map(int64_t n) {
    const IntKeys &k = keys_for<IntKeys>(n);
    return fixture<ZelHashmap>("hashmap" + std::to_string(n), [&k] {
        ZelHashmap *m = hashmap_new();
        for (int64_t key : k.keys) hashmap_insert(m, key, key);
        return m;
    }, hashmap_free);
}

using StdInt = std::unordered_map<int64_t, int64_t>;
StdInt *std_int_map(int64_t n) {
    const IntKeys &k = keys_for<IntKeys>(n);
    return fixture<StdInt>("stdint" + std::to_string(n), [&k] {
        auto *m = new StdInt;
        for (int64_t key : k.keys) (*m)[key] = key;
        return m;
    }, [](StdInt *m) { delete m; });
}

void BM_Hashmap_Hit(benchmark::State &state) {
    ZelHashmap *m = int_map(state.range(0));
    const IntKeys &k = keys_for<IntKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return hashmap_get(m, k.keys[i]); });
}

void BM_StdInt_Hit(benchmark::State &state) {
    StdInt *m = std_int_map(state.range(0));
    const IntKeys &k = keys_for<IntKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return m->find(k.keys[i])->second; });
}

void BM_Hashmap_Miss(benchmark::State &state) {
    ZelHashmap *m = int_map(state.range(0));
    const IntKeys &k = keys_for<IntKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return hashmap_get(m, k.misses[i]); });
}

void BM_StdInt_Miss(benchmark::State &state) {
    StdInt *m = std_int_map(state.range(0));
    const IntKeys &k = keys_for<IntKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return static_cast<int64_t>(m->count(k.misses[i])); });
}

// ---- 16-byte string keys ----

void BM_StrHashmap_Insert(benchmark::State &state) {
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    for (auto _ : state) {
        ZelStrHashmap *m = str_hashmap_new();
        for (size_t i = 0; i < k.stored.size(); ++i) str_hashmap_insert(m, k.stored[i], static_cast<int64_t>(i));
        benchmark::DoNotOptimize(m->count);
        str_hashmap_free(m);
    }
    per_op(state, state.range(0));
}

void BM_Strmap_Insert(benchmark::State &state) {
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    for (auto _ : state) {
        ZelStrmap *m = zel_strmap_new();
        for (size_t i = 0; i < k.stored.size(); ++i) zel_strmap_insert(m, k.stored[i], static_cast<int64_t>(i));
        benchmark::DoNotOptimize(m->count);
        zel_strmap_free(m);
    }
    per_op(state, state.range(0));
}

void BM_StdStr_Insert(benchmark::State &state) {
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    for (auto _ : state) {
        std::unordered_map<std::string, int64_t> m;
        for (size_t i = 0; i < k.keys.size(); ++i) m[k.keys[i]] = static_cast<int64_t>(i);
        benchmark::DoNotOptimize(m.size());
    }
    per_op(state, state.range(0));
}

ZelStrHashmap *str_map(int64_t n) {
    const StrKeys &k = keys_for<StrKeys>(n);
    return fixture<ZelStrHashmap>("strhash" + std::to_string(n), [&k] {
        ZelStrHashmap *m = str_hashmap_new();
        for (size_t i = 0; i < k.stored.size(); ++i) str_hashmap_insert(m, k.stored[i], static_cast<int64_t>(i));
        return m;
    }, str_hashmap_free);
}

ZelStrmap *chained_map(int64_t n) {
    const StrKeys &k = keys_for<StrKeys>(n);
    return fixture<ZelStrmap>("strmap" + std::to_string(n), [&k] {
        ZelStrmap *m = zel_strmap_new();
        for (size_t i = 0; i < k.stored.size(); ++i) zel_strmap_insert(m, k.stored[i], static_cast<int64_t>(i));
        return m;
    }, zel_strmap_free);
}

using StdStr = std::unordered_map<std::string, int64_t>;
StdStr *std_str_map(int64_t n) {
    const StrKeys &k = keys_for<StrKeys>(n);
    return fixture<StdStr>("stdstr" + std::to_string(n), [&k] {
        auto *m = new StdStr;
        for (size_t i = 0; i < k.keys.size(); ++i) (*m)[k.keys[i]] = static_cast<int64_t>(i);
        return m;
    }, [](StdStr *m) { delete m; });
}

void BM_StrHashmap_Hit(benchmark::State &state) {
    ZelStrHashmap *m = str_map(state.range(0));
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return str_hashmap_get(m, k.probes[i]); });
}

void BM_StrHashmap_Miss(benchmark::State &state) {
    ZelStrHashmap *m = str_map(state.range(0));
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return str_hashmap_contains(m, k.miss_probes[i]); });
}

void BM_Strmap_Hit(benchmark::State &state) {
    ZelStrmap *m = chained_map(state.range(0));
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return zel_strmap_get(m, k.probes[i]); });
}

void BM_Strmap_Miss(benchmark::State &state) {
    ZelStrmap *m = chained_map(state.range(0));
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return zel_strmap_get(m, k.miss_probes[i]); });
}

void BM_StdStr_Hit(benchmark::State &state) {
    StdStr *m = std_str_map(state.range(0));
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return m->find(k.keys[i])->second; });
}

void BM_StdStr_Miss(benchmark::State &state) {
    StdStr *m = std_str_map(state.range(0));
    const StrKeys &k = keys_for<StrKeys>(state.range(0));
    lookups(state, state.range(0), [&](uint32_t i) { return static_cast<int64_t>(m->count(k.misses[i])); });
}

// Registered size by size, so that a size's fixtures are built once and
// released before the next size's.
void register_all() {
    for (int64_t n : {kSmall, kIntLarge}) {
        benchmark::RegisterBenchmark("BM_Hashmap_Insert", BM_Hashmap_Insert)->Arg(n);
        benchmark::RegisterBenchmark("BM_StdInt_Insert", BM_StdInt_Insert)->Arg(n);
        benchmark::RegisterBenchmark("BM_Hashmap_Hit", BM_Hashmap_Hit)->Arg(n);
        benchmark::RegisterBenchmark("BM_Hashmap_Miss", BM_Hashmap_Miss)->Arg(n);
        benchmark::RegisterBenchmark("BM_StdInt_Hit", BM_StdInt_Hit)->Arg(n);
        benchmark::RegisterBenchmark("BM_StdInt_Miss", BM_StdInt_Miss)->Arg(n);
    }
    // The standard map also at the size the integer map cannot hold.
    benchmark::RegisterBenchmark("BM_StdInt_Insert", BM_StdInt_Insert)->Arg(kLarge);
    benchmark::RegisterBenchmark("BM_StdInt_Hit", BM_StdInt_Hit)->Arg(kLarge);
    benchmark::RegisterBenchmark("BM_StdInt_Miss", BM_StdInt_Miss)->Arg(kLarge);
    for (int64_t n : {kSmall, kLarge}) {
        benchmark::RegisterBenchmark("BM_StrHashmap_Insert", BM_StrHashmap_Insert)->Arg(n);
        benchmark::RegisterBenchmark("BM_Strmap_Insert", BM_Strmap_Insert)->Arg(n);
        benchmark::RegisterBenchmark("BM_StdStr_Insert", BM_StdStr_Insert)->Arg(n);
        benchmark::RegisterBenchmark("BM_StrHashmap_Hit", BM_StrHashmap_Hit)->Arg(n);
        benchmark::RegisterBenchmark("BM_StrHashmap_Miss", BM_StrHashmap_Miss)->Arg(n);
        benchmark::RegisterBenchmark("BM_Strmap_Hit", BM_Strmap_Hit)->Arg(n);
        benchmark::RegisterBenchmark("BM_Strmap_Miss", BM_Strmap_Miss)->Arg(n);
        benchmark::RegisterBenchmark("BM_StdStr_Hit", BM_StdStr_Hit)->Arg(n);
        benchmark::RegisterBenchmark("BM_StdStr_Miss", BM_StdStr_Miss)->Arg(n);
    }
}

const int registered = (register_all(), 0);

}  // namespace
