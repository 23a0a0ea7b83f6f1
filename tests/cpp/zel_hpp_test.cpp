// The C++ interface: owners across allocation modes, the guarded boundary,
// the arena scope and the typed wrappers. The example host covers the common
// path; these cover what a user or a refactoring could get wrong.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <thread>

#include "support.h"
#include "zel.hpp"

namespace {

struct Array3 {
    ZelArray header;
    int64_t items[3];
};
Array3 g_small{{3, 3}, {10, 20, 30}};

}  // namespace

TEST(CppString, BytesMovesAndHandOver) {
    zel::String s = zel::make_string(std::string_view("a\0b", 3));
    EXPECT_EQ(s.view(), std::string_view("a\0b", 3));
    EXPECT_STREQ(s.c_str(), "a");
    EXPECT_TRUE(s.from_heap());
    zel::String t = std::move(s);
    EXPECT_FALSE(s);
    EXPECT_EQ(s.view(), "");
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_EQ(t.size(), 3);
    t = zel::host_string(nullptr);  // releases the old string
    EXPECT_TRUE(t && t.empty());
    ZelString *raw = t.release();
    EXPECT_FALSE(t);
    zel_ffi_free_string(raw);
}

// Each owner must release by the mode its string was made in, not the mode at
// its end: the sanitizer build sees a leak, or a free of arena memory, otherwise.
TEST(CppString, ReleasesByTheModeItWasMadeIn) {
    zel::String heap = zel::make_string("made on the heap");
    zel::String arena_born;
    {
        zel::ArenaScope arena;
        arena_born = zel::make_string("made in the arena");
        EXPECT_FALSE(arena_born.from_heap());
        heap.reset();  // still released while arena mode is on
    }
    arena_born.reset();  // must not reach free
    EXPECT_FALSE(arena_born);
}

TEST(CppArena, FreshNestedAndMarkedScopes) {
    ASSERT_EQ(zel_arena_usage(), 0u);
    {
        zel::ArenaScope outer;
        EXPECT_FALSE(outer.nested());
        zel::String kept = zel::make_string("outer");
        {
            zel::ArenaScope inner;
            EXPECT_TRUE(inner.nested());
        }
        EXPECT_TRUE(zel::arena_on());
        EXPECT_EQ(kept.view(), "outer");
        EXPECT_EQ(outer.usage(), 8388608u);
    }
    EXPECT_FALSE(zel::arena_on());
    EXPECT_EQ(zel_arena_usage(), 0u);

    // Blocks from an earlier phase: the scope gives back only what it took.
    zel_arena_mode(1);
    zel::String earlier = zel::make_string("earlier phase");
    zel_arena_mode(0);
    {
        zel::ArenaScope scope;
        zel::String big = zel::make_string(std::string(9 << 20, 'x'));
        EXPECT_GT(scope.usage(), 8388608u);
    }
    EXPECT_EQ(zel_arena_usage(), 8388608u);
    EXPECT_EQ(earlier.view(), "earlier phase");
    zel_arena_destroy();
}

TEST(CppGuarded, ValuesErrorsAndNesting) {
    auto at = [](int64_t i) { return zel::guarded([i] { return zel_array_get_safe(&g_small.header, i); }); };
    EXPECT_EQ(at(2).value(), 30);
    EXPECT_EQ(at(3).error(), "array index 3 out of bounds [0, 3)");
    EXPECT_EQ(at(-1).value_or(-7), -7);
    EXPECT_EQ(at(0).error(), "");

    // Owners live outside the callable: a failure skips its destructors.
    zel::String boom = zel::make_string("boom"), long_text = zel::make_string(std::string(600, 'm'));
    zel::Result<void> r = zel::guarded([&] { zel_panic(boom.get()); });
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "boom");
    EXPECT_EQ(zel::guarded([&] { zel_panic(long_text.get()); }).error(), long_text.view().substr(0, 511));

    // An inner failure leaves the outer call running and its boundary open.
    auto outer = zel::guarded([] {
        EXPECT_FALSE(zel::guarded([] { zel_assert(0); }).ok());
        EXPECT_TRUE(zel::guarded([] { return 1; }).ok());
        zel_panic_divzero();
        return 5;
    });
    EXPECT_EQ(outer.error(), "division by zero");
}

TEST(CppGuarded, BoundaryClosedAfterReturnAndThrow) {
    auto r = zt::run_child([] {
        EXPECT_TRUE(zel::guarded([] { return 1; }).ok());
        try {
            zel::guarded([]() -> int { throw 42; });
        } catch (int x) {
            std::printf("caught %d\n", x);
        }
        zel_panic(zel::make_string("after").get());  // no boundary: ends the process
        return 0;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "caught 42\n");
    EXPECT_EQ(r.err, "panic: after\n");

    auto v = zt::run_child([] { return static_cast<int>(zel::guarded([] { return zel_array_get_safe(&g_small.header, 3); }).value()); });
    EXPECT_EQ(v.status, 128 + SIGABRT);
    EXPECT_EQ(v.err, "zel::Result: value() of a failed call: array index 3 out of bounds [0, 3)\n");
}

TEST(CppJson, TypedWrappers) {
    // The document view stops before trailing bytes: only len is read.
    std::string_view doc = std::string_view(R"({"a":1,"b":false,"s":"x\ny","a":2,"n":[1,2]}garbage)").substr(0, 44);
    EXPECT_TRUE(zel::json::validate(doc));
    EXPECT_FALSE(zel::json::validate(R"("open)"));
    EXPECT_EQ(zel::json::stringify(doc).view(), doc);
    EXPECT_EQ(zel::json::get(doc, "s").view(), R"("x\ny")");
    EXPECT_EQ(zel::json::get_string(doc, "s").view(), "x\ny");
    EXPECT_EQ(zel::json::get_number(doc, "a"), 1);
    EXPECT_EQ(zel::json::get_bool(doc, "b"), std::optional<bool>(false));
    EXPECT_EQ(zel::json::get_bool(doc, "a"), std::nullopt);
    EXPECT_EQ(zel::json::object_len(doc), 5);
    EXPECT_EQ(zel::json::array_len(doc), -1);
    EXPECT_EQ(zel::json::count(doc), 11);
    zel::String n = zel::json::get(doc, "n");
    EXPECT_EQ(zel::json::array_len(n), 2);
    EXPECT_EQ(zel::json::array_get(n, 1).view(), "2");
    EXPECT_EQ(zel::json::array_get(n, 2).view(), "");
}

TEST(CppBuilder, PushesBuildAndEmptyOwner) {
    zel::Builder sb = zel::Builder::with_capacity(2);
    sb.push(std::string_view("ab\0", 3)).push_char('-').push_int(-12).push_char(' ').push_bool(true);
    sb.push_char(' ').push_f64(0.5).push_char(' ').push_escaped("q\"");
    zel::String built = sb.build();
    sb.clear();
    sb.push("next");
    EXPECT_EQ(built.view(), std::string_view("ab\0--12 true 0.5 q\\\"", 20));
    EXPECT_EQ(sb.view(), "next");
    zel::Builder none;
    none.push("x").push_int(1);
    EXPECT_EQ(none.size(), 0);
    EXPECT_EQ(none.build().view(), "");
}

TEST(CppMaps, SentinelValuesAreFound) {
    zel::IntMap im = zel::IntMap::make();
    ASSERT_TRUE(im);
    im.insert(1, INT64_MIN);
    im.insert(2, 5);
    EXPECT_EQ(im.find(1), std::optional<int64_t>(INT64_MIN));
    EXPECT_EQ(im.find(3), std::nullopt);
    EXPECT_EQ(im.remove(2), std::optional<int64_t>(5));
    EXPECT_EQ(im.remove(2), std::nullopt);
    zel::Vec keys = im.keys(), moved = std::move(keys);
    EXPECT_EQ(std::vector<int64_t>(moved.items().begin(), moved.items().end()), std::vector<int64_t>{1});
    EXPECT_TRUE(keys.items().empty());
    moved.push(7);
    EXPECT_EQ(moved[1], 7);

    zel::String zero_key = zel::make_string("zero"), hits = zel::make_string("hits");
    zel::StrHashMap hm = zel::StrHashMap::make();
    hm.insert(zero_key, 0);
    hm.inc(hits, 2);
    hm.inc(hits, 3);
    EXPECT_EQ(hm.find("zero"), std::optional<int64_t>(0));
    EXPECT_EQ(hm.find("hits"), std::optional<int64_t>(5));
    EXPECT_EQ(hm.find("none"), std::nullopt);
    EXPECT_EQ(hm.remove("zero"), std::optional<int64_t>(0));
    EXPECT_EQ(hm.size(), 1);

    zel::StrMap sm = zel::StrMap::make();
    std::string_view text = "key-and-more";
    EXPECT_TRUE(sm.insert(text.substr(0, 3), -1));
    EXPECT_EQ(sm.find("key"), std::optional<int64_t>(-1));
    EXPECT_EQ(sm.find("key-"), std::nullopt);
    EXPECT_EQ(sm.remove("key"), std::optional<int64_t>(-1));
    EXPECT_FALSE(zel::StrMap().insert("k", 1));
}

// The boundary and the nesting count are per thread: failures in one thread
// come back to that thread's own call, with that thread's message.
TEST(CppGuarded, ThreadsKeepTheirOwnBoundary) {
    auto work = [](int64_t index, int *mismatches) {
        std::string want = "array index " + std::to_string(index) + " out of bounds [0, 3)";
        for (int i = 0; i < 2000; ++i) {
            auto r = zel::guarded([index] { return zel_array_get_safe(&g_small.header, index); });
            if (r.ok() || r.error() != want) ++*mismatches;
        }
    };
    int bad[2] = {0, 0};
    std::thread a(work, 3, &bad[0]), b(work, -5, &bad[1]);
    a.join();
    b.join();
    EXPECT_EQ(bad[0] + bad[1], 0);
}
