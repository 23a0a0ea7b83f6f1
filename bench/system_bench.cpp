// Whole-file reading and command capture on 64 MiB, against cat and against
// stdio reads in 64 KiB blocks of the same bytes.
//
// Run: ./build-bench/bench/system_bench --benchmark_min_time=2
// Every figure is wall-clock time (the child processes' work included).
#include <benchmark/benchmark.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "zel.h"

namespace {

constexpr size_t kBytes = 64u << 20;
constexpr size_t kBlock = 64u << 10;

// The 64 MiB file (no NUL bytes, so the string holds all of it), made once,
// read once so every measurement starts from the page cache, and removed at exit.
struct DataFile {
    std::string dir, file;
    DataFile() {
        const char *base = getenv("TMPDIR");
        dir = std::string(base && *base ? base : "/tmp") + "/zel-bench-XXXXXX";
        if (mkdtemp(dir.data()) == nullptr) abort();
        file = dir + "/data";
        FILE *f = fopen(file.c_str(), "wb");
        std::string block(kBlock, 'x');
        for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + (i * 7919) % 26);
        for (size_t done = 0; done < kBytes; done += kBlock) fwrite(block.data(), 1, kBlock, f);
        fclose(f);
        if (system(("cat '" + file + "' > /dev/null").c_str()) != 0) abort();
    }
    ~DataFile() {
        unlink(file.c_str());
        rmdir(dir.c_str());
    }
};

const std::string &data_file() {
    static DataFile data;
    return data.file;
}

ZelString *record(const std::string &text) { return zel_string_new(text.data(), static_cast<int64_t>(text.size())); }

// Reads a stream in 64 KiB blocks, either into one scratch block (the cost of
// moving the bytes alone) or appended to a doubling heap buffer (what a whole
// result in memory costs).
size_t fread_blocks(FILE *f, bool keep) {
    static char scratch[kBlock];
    size_t size = keep ? 4096 : 0, len = 0;
    char *buf = keep ? static_cast<char *>(malloc(size)) : nullptr;
    for (;;) {
        while (keep && size - len < kBlock + 1) buf = static_cast<char *>(realloc(buf, size *= 2));
        size_t n = fread(keep ? buf + len : scratch, 1, kBlock, f);
        len += n;
        if (n < kBlock) break;
    }
    benchmark::DoNotOptimize(buf);
    free(buf);
    return len;
}

void finish(benchmark::State &state, size_t last_len) {
    if (last_len != kBytes) state.SkipWithError("short read");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
}

void BM_ReadFile(benchmark::State &state) {
    ZelString *path = record(data_file());
    size_t len = 0;
    for (auto _ : state) {
        ZelString *s = zel_read_file(path);
        len = static_cast<size_t>(s->len);
        zel_string_free(s);
    }
    zel_string_free(path);
    finish(state, len);
}

void BM_FreadFile(benchmark::State &state) {
    size_t len = 0;
    for (auto _ : state) {
        FILE *f = fopen(data_file().c_str(), "rb");
        len = fread_blocks(f, state.range(0) != 0);
        fclose(f);
    }
    finish(state, len);
}

void BM_CatToDevNull(benchmark::State &state) {
    std::string cmd = "cat '" + data_file() + "' > /dev/null";
    for (auto _ : state)
        if (system(cmd.c_str()) != 0) state.SkipWithError("cat failed");
    finish(state, kBytes);
}

void BM_CatThroughPipe(benchmark::State &state) {
    std::string cmd = "cat '" + data_file() + "' | cat > /dev/null";
    for (auto _ : state)
        if (system(cmd.c_str()) != 0) state.SkipWithError("cat failed");
    finish(state, kBytes);
}

void BM_Capture(benchmark::State &state) {
    ZelString *cmd = record("cat '" + data_file() + "'");
    size_t len = 0;
    for (auto _ : state) {
        ZelString *s = zel_system_capture(cmd);
        len = static_cast<size_t>(s->len);
        zel_string_free(s);
    }
    zel_string_free(cmd);
    finish(state, len);
}

void BM_PopenFread(benchmark::State &state) {
    std::string cmd = "cat '" + data_file() + "'";
    size_t len = 0;
    for (auto _ : state) {
        FILE *p = popen(cmd.c_str(), "r");
        len = fread_blocks(p, state.range(0) != 0);
        pclose(p);
    }
    finish(state, len);
}

}  // namespace

BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FreadFile)->ArgName("keep")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CatToDevNull)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CatThroughPipe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Capture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PopenFread)->ArgName("keep")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
