// Search, count, replace and split on prose-like text of 1 KB, 1 MB and 64 MB,
// each beside the C++ standard library doing the same work, and one memcpy of
// the text as the yardstick for replace. The text is words of 3 to 12 letters
// with a comma and a space after each (a separator every ~10 bytes); the
// searched needle occurs once, at the very end.
#include <benchmark/benchmark.h>
#include <string.h>

#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "zel.h"

namespace {

const char kNeedle[] = "needle";

const std::string &text(int64_t size) {
    static std::map<int64_t, std::string> cache;
    std::string &t = cache[size];
    if (!t.empty()) return t;
    std::mt19937 rng(1);
    // No 'd' in the words, so the needle cannot occur before the end.
    static const char letters[] = "abcefghijklmnopqrstuvwxyz";
    t.reserve(static_cast<size_t>(size));
    while (static_cast<int64_t>(t.size()) < size - 16) {
        int len = 3 + static_cast<int>(rng() % 10);
        for (int i = 0; i < len; ++i) t += letters[rng() % 25];
        t += ", ";
    }
    t += kNeedle;
    return t;
}

// A record over bytes that outlive it (never over a temporary).
ZelString view(std::string_view s) {
    return ZelString{const_cast<char *>(s.data()), static_cast<int64_t>(s.size()), static_cast<int64_t>(s.size())};
}

void sized(benchmark::State &state, const std::string &t) {
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(t.size()));
}

void BM_IndexOf_Zel(benchmark::State &state) {
    const std::string &t = text(state.range(0));
    ZelString s = view(t), n = view(kNeedle);
    for (auto _ : state) benchmark::DoNotOptimize(zel_string_index_of(&s, &n));
    sized(state, t);
}
void BM_IndexOf_Std(benchmark::State &state) {
    std::string_view t = text(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(t.find(kNeedle));
    sized(state, text(state.range(0)));
}

void BM_Count_Zel(benchmark::State &state) {
    const std::string &t = text(state.range(0));
    ZelString s = view(t), sep = view(",");
    for (auto _ : state) benchmark::DoNotOptimize(zel_string_count(&s, &sep));
    sized(state, t);
}
void BM_Count_Std(benchmark::State &state) {
    std::string_view t = text(state.range(0));
    for (auto _ : state) {
        int64_t n = 0;
        for (size_t p = t.find(','); p != std::string_view::npos; p = t.find(',', p + 1)) ++n;
        benchmark::DoNotOptimize(n);
    }
    sized(state, text(state.range(0)));
}

void BM_Replace_Zel(benchmark::State &state) {
    const std::string &t = text(state.range(0));
    ZelString s = view(t), from = view(","), to = view(";;");
    for (auto _ : state) {
        ZelString *r = zel_string_replace(&s, &from, &to);
        benchmark::DoNotOptimize(r->data);
        zel_string_free(r);
    }
    sized(state, t);
}
void BM_Replace_Std(benchmark::State &state) {
    std::string_view t = text(state.range(0));
    for (auto _ : state) {
        std::string out;
        out.reserve(t.size() + t.size() / 8);
        size_t done = 0;
        for (size_t p = t.find(','); p != std::string_view::npos; p = t.find(',', done)) {
            out.append(t, done, p - done);
            out.append(";;");
            done = p + 1;
        }
        out.append(t, done);
        benchmark::DoNotOptimize(out.data());
    }
    sized(state, text(state.range(0)));
}
void BM_Memcpy(benchmark::State &state) {
    const std::string &t = text(state.range(0));
    std::string out(t.size(), '\0');
    for (auto _ : state) {
        memcpy(out.data(), t.data(), t.size());
        benchmark::ClobberMemory();
    }
    sized(state, t);
}

// The same copy into a new block, as a result that is a new string must be.
void BM_MemcpyFresh(benchmark::State &state) {
    const std::string &t = text(state.range(0));
    for (auto _ : state) {
        char *out = static_cast<char *>(malloc(t.size() + 1));
        memcpy(out, t.data(), t.size());
        benchmark::DoNotOptimize(out);
        free(out);
    }
    sized(state, t);
}

void release_pieces(ZelVec *v) {
    for (int64_t i = 0; i < v->len; ++i) zel_string_free(reinterpret_cast<ZelString *>(v->items[i]));
    zel_vec_free(v);
}
void BM_Split_Zel_Heap(benchmark::State &state) {
    const std::string &t = text(state.range(0));
    ZelString s = view(t), sep = view(",");
    for (auto _ : state) release_pieces(zel_string_split(&s, &sep));
    sized(state, t);
}
void BM_Split_Zel_Arena(benchmark::State &state) {
    const std::string &t = text(state.range(0));
    ZelString s = view(t), sep = view(",");
    zel_arena_mode(1);
    for (auto _ : state) {
        release_pieces(zel_string_split(&s, &sep));
        zel_arena_reset();
    }
    zel_arena_mode(0);
    zel_arena_destroy();
    sized(state, t);
}
void BM_Split_Std(benchmark::State &state) {
    std::string_view t = text(state.range(0));
    for (auto _ : state) {
        std::vector<std::string> pieces;
        size_t done = 0;
        for (size_t p = t.find(','); p != std::string_view::npos; p = t.find(',', done)) {
            pieces.emplace_back(t.substr(done, p - done));
            done = p + 1;
        }
        pieces.emplace_back(t.substr(done));
        benchmark::DoNotOptimize(pieces.data());
    }
    sized(state, text(state.range(0)));
}

#define SIZES ->Arg(1 << 10)->Arg(1 << 20)->Arg(64 << 20)
BENCHMARK(BM_IndexOf_Zel) SIZES;
BENCHMARK(BM_IndexOf_Std) SIZES;
BENCHMARK(BM_Count_Zel) SIZES;
BENCHMARK(BM_Count_Std) SIZES;
BENCHMARK(BM_Replace_Zel) SIZES;
BENCHMARK(BM_Replace_Std) SIZES;
BENCHMARK(BM_Memcpy) SIZES;
BENCHMARK(BM_MemcpyFresh) SIZES;
BENCHMARK(BM_Split_Zel_Heap) SIZES;
BENCHMARK(BM_Split_Zel_Arena) SIZES;
BENCHMARK(BM_Split_Std) SIZES;

}  // namespace
