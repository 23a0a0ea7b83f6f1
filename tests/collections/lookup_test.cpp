#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "fail_alloc.h"
#include "support.h"

namespace {

using zt::S;
using zt::str;

// A lookup through records of its own; a hit's string is the cache's.
ZelString *lookup(const std::string &text, const std::string &key, int64_t slot) {
    ZelString *t = S(text), *k = S(key);
    ZelString *r = reg_cached_lookup(t, k, slot);
    zel_string_free(t);
    zel_string_free(k);
    return r;
}

// The answer's bytes. A hit gives the cache's own record on every call; a miss
// gives fresh strings, which are the caller's to release.
std::string answer(const std::string &text, const std::string &key, int64_t slot = 0) {
    ZelString *r = lookup(text, key, slot), *again = lookup(text, key, slot);
    std::string s = str(r);
    if (r != again) {
        EXPECT_EQ(s, "");
        zel_string_free(r);
        zel_string_free(again);
    }
    return s;
}

TEST(CachedLookup, ParsingRules) {
    struct {
        const char *text, *key, *want;
    } cases[] = {
        {"name=box;mode=fast", "mode", "fast"}, {"name=box;mode=fast", "name", "box"},
        {"name=box;mode=fast", "other", ""},    {"x;a=1", "x;a", "1"},
        {"x;a=1", "a", ""},                     {"a=1;a=2", "a", "2"},
        {"a=;b=2", "a", ""},                    {"a=;b=2", "b", "2"},
        {"no equals sign", "no equals sign", ""}, {"a=1;b;c=3", "b;c", "3"},
        {"a=x=y;=z", "a", "x=y"},               {"a=x=y;=z", "", "z"},
    };
    for (const auto &c : cases) EXPECT_EQ(answer(c.text, c.key, 1), c.want) << c.text << " / " << c.key;
}

TEST(CachedLookup, SlotsAndContentKeys) {
    for (int64_t slot : {int64_t{3}, int64_t{-1}, INT64_MIN}) EXPECT_EQ(answer("a=1", "a", slot), "");
    ZelString *none = reg_cached_lookup(nullptr, nullptr, 0);
    EXPECT_EQ(str(none), "");
    zel_string_free(none);
    EXPECT_EQ(answer("", "", 0), "");

    ZelString *first = lookup("id=aaaa", "id", 2);
    EXPECT_EQ(lookup("id=aaaa", "id", 2), first);   // an equal text in another record
    EXPECT_EQ(answer("id=bbbb", "id", 2), "bbbb");  // same length, other bytes
    EXPECT_EQ(answer("id=cccc", "id", 1), "cccc");
    EXPECT_EQ(answer("id=bbbb", "id", 2), "bbbb");  // slots are independent
    EXPECT_EQ(str(first), "aaaa");                    // held across the rebuild
}

TEST(CachedLookup, StringsOutliveTheArena) {
    ZelString *held = nullptr, *again = nullptr;
    std::thread t([&] {
        zel_arena_mode(1);
        held = reg_cached_lookup(zel_string_new("k=arena;j=2", 11), zel_string_new("k", 1), 0);
        zel_arena_reset();
        again = reg_cached_lookup(zel_string_new("k=arena;j=2", 11), zel_string_new("k", 1), 0);
        zel_arena_mode(0);
        zel_arena_destroy();
    });
    t.join();
    EXPECT_EQ(again, held);
    EXPECT_EQ(str(held), "arena");
}

TEST(CachedLookup, NoCacheWithoutMemory) {
    for (int64_t skip : {0, 1, 2}) {  // the map's record, its table, the text's copy
        ZelString *t = S("m=1"), *k = S("m"), *r;
        {
            zt::FailAllocations fail(skip, 1);
            r = reg_cached_lookup(t, k, 1);
        }
        EXPECT_EQ(str(r), "");
        EXPECT_EQ(g_reg_caches[1], nullptr);
        for (ZelString *s : {t, k, r}) zel_string_free(s);
    }
    EXPECT_EQ(answer("m=1", "m", 1), "1");
}

}  // namespace
