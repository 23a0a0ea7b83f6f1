// String record costs: allocation regimes, concatenation, hashing, repetition.
#include <benchmark/benchmark.h>

#include <string>

#include "zel.h"

namespace {

const char kText[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";

// A bump and a periodic bulk reset: the reset keeps the arena inside its first
// block and is part of what arena allocation costs.
void BM_NewSmall_Arena(benchmark::State &state) {
    zel_arena_destroy();
    zel_arena_mode(1);
    int64_t n = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(zel_string_new(kText, 16));
        if (++n == 4096) {
            zel_arena_reset();
            n = 0;
        }
    }
    zel_arena_mode(0);
    zel_arena_destroy();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NewSmall_Arena);

void BM_NewSmall_Heap(benchmark::State &state) {
    zel_arena_mode(0);
    for (auto _ : state) {
        ZelString *s = zel_string_new(kText, 16);
        benchmark::DoNotOptimize(s);
        zel_string_free(s);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NewSmall_Heap);

void BM_Concat2x32(benchmark::State &state) {
    zel_arena_mode(0);
    ZelString *a = zel_string_new(kText, 32);
    ZelString *b = zel_string_new(kText + 16, 32);
    for (auto _ : state) {
        ZelString *r = zel_string_concat(a, b);
        benchmark::DoNotOptimize(r);
        zel_string_free(r);
    }
    zel_string_free(a);
    zel_string_free(b);
    state.SetBytesProcessed(state.iterations() * 64);
}
BENCHMARK(BM_Concat2x32);

void BM_Concat3x32(benchmark::State &state) {
    zel_arena_mode(0);
    ZelString *a = zel_string_new(kText, 32);
    ZelString *b = zel_string_new(kText + 16, 32);
    ZelString *c = zel_string_new(kText + 8, 32);
    for (auto _ : state) {
        ZelString *r = zel_string_concat3(a, b, c);
        benchmark::DoNotOptimize(r);
        zel_string_free(r);
    }
    zel_string_free(a);
    zel_string_free(b);
    zel_string_free(c);
    state.SetBytesProcessed(state.iterations() * 96);
}
BENCHMARK(BM_Concat3x32);

void BM_Hash(benchmark::State &state) {
    zel_arena_mode(0);
    std::string text(static_cast<size_t>(state.range(0)), '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = kText[i % (sizeof kText - 1)];
    ZelString *s = zel_string_new(text.data(), static_cast<int64_t>(text.size()));
    for (auto _ : state) benchmark::DoNotOptimize(zel_string_hash(s));
    zel_string_free(s);
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Hash)->Arg(16)->Arg(1024)->Arg(64 << 10);

// Repeating a two-byte string: the cost should grow with the output, not its square.
void BM_Repeat2(benchmark::State &state) {
    zel_arena_mode(0);
    ZelString *s = zel_string_new("ab", 2);
    for (auto _ : state) {
        ZelString *r = zel_string_repeat(s, state.range(0));
        benchmark::DoNotOptimize(r);
        zel_string_free(r);
    }
    zel_string_free(s);
    state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_Repeat2)->Arg(64)->Arg(4096)->Arg(256 << 10);

}  // namespace
