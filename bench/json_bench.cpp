// Host function throughput on generated documents from 1 KB to 16 MB: the
// cost per byte must not grow with the document.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "zel.h"

namespace {

// A root object of records, ending in the member the lookups search for, so
// that a lookup has to pass over everything before it.
const std::string &document(int64_t target) {
    static std::map<int64_t, std::string> cache;
    std::string &doc = cache[target];
    if (!doc.empty()) return doc;
    doc = "{";
    for (int64_t i = 0; static_cast<int64_t>(doc.size()) < target - 160; ++i) {
        std::string n = std::to_string(i);
        doc += "\"r" + n + "\": {\"id\":" + n + ",\"name\":\"user " + n +
               " \\\"q\\\" \\\\ x\",\"active\":true,\"score\":-" + n +
               ",\"tags\":[\"a\",\"bb\",\"ccc\"],\"meta\":{\"x\":1,\"y\":[1,2,3],\"z\":null}},\n";
    }
    doc += "\"last\":42}";
    return doc;
}

ZelString view(const std::string &s) {
    return ZelString{const_cast<char *>(s.data()), static_cast<int64_t>(s.size()), static_cast<int64_t>(s.size())};
}

void BM_Validate(benchmark::State &state) {
    const std::string &text = document(state.range(0));
    ZelString doc = view(text);
    if (zel_json_validate(&doc) != 1) state.SkipWithError("generated document rejected");
    for (auto _ : state) benchmark::DoNotOptimize(zel_json_validate(&doc));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_GetLastMember(benchmark::State &state) {
    zel_arena_mode(0);
    const std::string &text = document(state.range(0));
    ZelString doc = view(text);
    ZelString key = view("last");
    for (auto _ : state) {
        ZelString *r = zel_json_get(&doc, &key);
        benchmark::DoNotOptimize(r);
        zel_string_free(r);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void BM_Stringify(benchmark::State &state) {
    zel_arena_mode(0);
    const std::string &text = document(state.range(0));
    ZelString doc = view(text);
    for (auto _ : state) {
        ZelString *r = zel_json_stringify(&doc);
        benchmark::DoNotOptimize(r);
        zel_string_free(r);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void Sizes(benchmark::internal::Benchmark *b) {
    for (int64_t n : {int64_t{1} << 10, int64_t{64} << 10, int64_t{1} << 20, int64_t{16} << 20}) b->Arg(n);
}

BENCHMARK(BM_Validate)->Apply(Sizes);
BENCHMARK(BM_GetLastMember)->Apply(Sizes);
BENCHMARK(BM_Stringify)->Apply(Sizes);

}  // namespace
