// The arena allocator, observed through the strings it serves.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <thread>

#include "support.h"

namespace {

constexpr uint64_t kBlock = 8u << 20;

// A string of n bytes takes an (n + 1)-byte block rounded up to 8, then its 24-byte record.
ZelString *str_of(int64_t n) {
    static char zeros[kBlock] = {};  // source bytes for the largest string made here
    return zel_string_new(zeros, n);
}

// Runs fn on a fresh thread (zeroed runtime state) with arena mode on, and
// clears the mode and the thread's blocks afterwards.
void in_fresh_arena(const std::function<void()> &fn) {
    std::thread([&] {
        zel_arena_mode(1);
        fn();
        zel_arena_destroy();
    }).join();
}

// Fills exactly one new block: kBlock - 24 bytes of text and NUL, then the record.
// It never fits behind an earlier allocation, whose block is already in use.
void new_block() { str_of(static_cast<int64_t>(kBlock) - 25); }

}  // namespace

TEST(Arena, BumpAllocationRoundsToEightBytes) {
    in_fresh_arena([] {
        EXPECT_EQ(zel_arena_usage(), 0u);
        ZelString *a = str_of(0);  // 1-byte block -> 8
        EXPECT_EQ(zel_arena_usage(), kBlock);
        EXPECT_EQ(reinterpret_cast<char *>(a) - a->data, 8);
        ZelString *b = str_of(7);  // 8 -> 8
        EXPECT_EQ(b->data, reinterpret_cast<char *>(a) + 24);
        EXPECT_EQ(reinterpret_cast<char *>(b) - b->data, 8);
        ZelString *c = str_of(8);  // 9 -> 16
        EXPECT_EQ(reinterpret_cast<char *>(c) - c->data, 16);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(c) % 8, reinterpret_cast<uintptr_t>(a->data) % 8);
        // Releasing one string in arena mode does nothing: it stays readable.
        EXPECT_EQ(zel_string_free(b), 0);
        EXPECT_EQ(b->len, 7);
    });
}

TEST(Arena, LargeRequestsGetTheirOwnBlockWithSlack) {
    in_fresh_arena([] {
        std::string big(kBlock - 1, 'x');  // 8 MiB block exactly, record goes to the next block
        ZelString *s = zel_string_new(big.data(), static_cast<int64_t>(big.size()));
        EXPECT_EQ(zel_arena_usage(), 2 * kBlock);
        EXPECT_EQ(s->data[kBlock - 2], 'x');
        zel_arena_reset();
        EXPECT_EQ(zel_arena_usage(), kBlock);
        std::string bigger(kBlock, 'y');  // 8 MiB + 1 -> 8,388,616 -> block of 8,388,680
        ZelString *t = zel_string_new(bigger.data(), static_cast<int64_t>(bigger.size()));
        EXPECT_EQ(zel_arena_usage(), kBlock + 8388680u);
        // The record (24 bytes) fits in the 64 bytes of slack behind the bytes.
        EXPECT_EQ(reinterpret_cast<char *>(t), t->data + 8388616);
    });
}

TEST(Arena, ResetKeepsTheFirstBlockEmptied) {
    in_fresh_arena([] {
        ZelString *first = str_of(5);
        for (int i = 0; i < 3; ++i) new_block();
        EXPECT_EQ(zel_arena_usage(), 4 * kBlock);
        zel_arena_reset();
        EXPECT_EQ(zel_arena_usage(), kBlock);
        ZelString *again = str_of(5);
        EXPECT_EQ(again->data, first->data);  // allocation restarts at the block's start
        zel_arena_reset();
        zel_arena_reset();
        EXPECT_EQ(zel_arena_usage(), kBlock);
    });
}

TEST(Arena, SaveAndRestore) {
    in_fresh_arena([] {
        // A mark taken before any block restores nothing.
        zel_arena_save();
        ZelString *keep = str_of(3);
        zel_arena_restore();
        EXPECT_EQ(zel_arena_usage(), kBlock);
        ZelString *next = str_of(3);
        EXPECT_NE(next->data, keep->data);

        zel_arena_save();
        uint64_t saved = zel_arena_usage();
        ZelString *after_mark = str_of(3);
        for (int i = 0; i < 3; ++i) new_block();
        EXPECT_EQ(zel_arena_usage(), saved + 3 * kBlock);
        zel_arena_restore();
        EXPECT_EQ(zel_arena_usage(), saved);
        ZelString *reused = str_of(3);
        EXPECT_EQ(reused->data, after_mark->data);  // continues at the marked offset
        EXPECT_EQ(keep->len, 3);                    // memory from before the mark stays
        // The mark stays, so it can be restored again.
        str_of(100);
        zel_arena_restore();
        EXPECT_EQ(str_of(3)->data, after_mark->data);
    });
}

TEST(Arena, ResetAndDestroyDropTheSaveMark) {
    in_fresh_arena([] {
        str_of(1);
        new_block();  // second block
        zel_arena_save();                           // mark in the second block
        zel_arena_reset();                          // frees it
        str_of(1);
        new_block();
        zel_arena_restore();  // must not touch the freed block (ASan would report it)
        EXPECT_EQ(zel_arena_usage(), 2 * kBlock);

        zel_arena_save();
        zel_arena_destroy();
        zel_arena_mode(1);
        str_of(1);
        zel_arena_restore();
        EXPECT_EQ(zel_arena_usage(), kBlock);
    });
}

TEST(Arena, DestroyTurnsArenaModeOffEverywhere) {
    zel_arena_mode(1);
    EXPECT_NE(__atomic_load_n(&g_arena_enabled, __ATOMIC_RELAXED), 0);
    std::thread([] { str_of(1); zel_arena_destroy(); }).join();
    EXPECT_EQ(__atomic_load_n(&g_arena_enabled, __ATOMIC_RELAXED), 0);
    // Now every allocation is a heap allocation that can be released one by one.
    ZelString *s = str_of(4);
    EXPECT_EQ(zel_arena_usage(), 0u);
    zel_string_free(s);
    // Any non-zero value means on; aliases are the same operations.
    EXPECT_EQ(arena_mode(7), 0);
    EXPECT_EQ(g_arena_enabled, 7);
    EXPECT_EQ(arena_destroy(), 0);
    EXPECT_EQ(g_arena_enabled, 0);
}

TEST(Arena, LimitFromTheEnvironment) {
    // The limit is read once per thread, so each case runs on a new thread of a child.
    auto run = [](const char *value, int64_t first, int64_t second) {
        return zt::run_child([=] {
            if (value) setenv("ZEL_ARENA_MAX_SIZE", value, 1);
            else unsetenv("ZEL_ARENA_MAX_SIZE");
            std::thread([=] {
                zel_arena_mode(1);
                std::string a(static_cast<size_t>(first), 'a');
                zel_string_new(a.data(), first);
                std::string b(static_cast<size_t>(second), 'b');
                zel_string_new(b.data(), second);
                printf("%llu\n", static_cast<unsigned long long>(zel_arena_usage()));
            }).join();
            return 0;
        });
    };
    // 10M: the second block passes (8 + 2 <= 10 MiB), the third request fails with 16 / 10.
    auto r = zt::run_child([] {
        setenv("ZEL_ARENA_MAX_SIZE", "10M", 1);
        std::thread([] {
            zel_arena_mode(1);
            std::string x(kBlock - 8, 'x');
            zel_string_new(x.data(), static_cast<int64_t>(x.size()));  // fills block 1, record in block 2
            fprintf(stdout, "%llu\n", static_cast<unsigned long long>(zel_arena_usage()));
            fflush(stdout);
            zel_string_new(x.data(), static_cast<int64_t>(x.size()));  // needs block 3
        }).join();
        return 0;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "16777216\n");
    EXPECT_EQ(r.err,
              "[zel] FATAL: arena memory limit exceeded (16 MB / 10 MB max)\n"
              "[zel] Set ZEL_ARENA_MAX_SIZE environment variable to increase (e.g. 8G)\n");

    // 16m is 16 MiB: two full blocks fit, a third does not.
    r = run("16m", static_cast<int64_t>(kBlock) - 8, static_cast<int64_t>(kBlock) - 8);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(16 MB / 16 MB max)"), std::string::npos);
    // Suffixes other than M and G are bytes: 512K is 512 bytes, and the check is on the request.
    r = run("512K", 1000, 1);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(0 MB / 0 MB max)"), std::string::npos);
    // Digits anywhere accumulate: 1.5G is 15 GiB, so 24 MiB is fine.
    r = run("1.5G", static_cast<int64_t>(kBlock) * 2, 10);
    EXPECT_EQ(r.status, 0);
    // 0, G, abc and unset all mean the default of 4 GiB.
    for (const char *v : {"0", "G", "abc", "", static_cast<const char *>(nullptr)}) {
        r = run(v, static_cast<int64_t>(kBlock) * 2, 10);
        EXPECT_EQ(r.status, 0) << (v ? v : "unset");
        // One block of the rounded request plus 64 bytes, which also hold the small string.
        EXPECT_EQ(r.out, std::to_string(kBlock * 2 + 72) + "\n");
    }
}

TEST(Arena, ThreadsHaveTheirOwnArenas) {
    zel_arena_mode(1);
    uint64_t seen[2] = {};
    std::thread t1([&] { str_of(1); seen[0] = zel_arena_usage(); zel_arena_destroy(); });
    t1.join();
    zel_arena_mode(1);
    std::thread t2([&] { seen[1] = zel_arena_usage(); });
    t2.join();
    EXPECT_EQ(seen[0], kBlock);
    EXPECT_EQ(seen[1], 0u);
    EXPECT_EQ(zel_arena_usage(), 0u);
    zel_arena_destroy();
}

TEST(Memory, RawPrimitives) {
    alignas(8) unsigned char buf[16] = {};
    zel_store_i64(buf, -2);
    EXPECT_EQ(zel_load_i64(buf), -2);
    store_i64(buf + 3, 0x0102030405060708);  // unaligned is fine
    EXPECT_EQ(load_i64(buf + 3), 0x0102030405060708);
    zel_store_u8(buf, 0x1ff);
    EXPECT_EQ(zel_load_u8(buf), 0xff);
    store_u8(buf + 1, 7);
    EXPECT_EQ(load_u8(buf + 1), 7);
    EXPECT_EQ(zel_str_data(buf), buf);
    zel_arena_mode(1);  // neither of these ever comes from the arena
    auto *z = static_cast<int64_t *>(zel_calloc(4, 8));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(z[i], 0);
    int64_t *box = zel_box_new_i64(-9);
    EXPECT_EQ(*box, -9);
    EXPECT_EQ(zel_arena_usage(), 0u);
    zel_arena_mode(0);
    free(z);
    free(box);
}

TEST(Arena, ModeFlagIsSharedWithoutDataRaces) {
    // One thread keeps writing the flag while another allocates (and so reads it);
    // under ThreadSanitizer this must not report a race.
    zel_arena_mode(1);
    std::thread writer([] {
        for (int i = 0; i < 2000; ++i) zel_arena_mode(1);
    });
    std::thread reader([] {
        for (int i = 0; i < 2000; ++i) str_of(3);
        EXPECT_EQ(zel_arena_usage(), kBlock);
        zel_arena_destroy();  // the thread's blocks would outlive it otherwise
    });
    writer.join();
    reader.join();
    zel_arena_destroy();
}
