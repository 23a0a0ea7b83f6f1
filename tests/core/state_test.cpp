// Arguments and the per-thread runtime state.
#include <gtest/gtest.h>

#include <thread>

#include "support.h"

namespace {
// Reads a heap string and releases it.
std::string take(ZelString *s) {
    std::string text = zt::str(s);
    zel_string_free(s);
    return text;
}
}  // namespace

TEST(Arguments, RecordedPerThreadAndCopiedOut) {
    EXPECT_EQ(zel_arg_count(), 0);
    EXPECT_EQ(take(zel_get_arg(0)), "");
    static char a0[] = "prog", a1[] = "x y", a2[] = "";
    static char *argv[] = {a0, a1, nullptr, a2, nullptr};
    zel_init_runtime(4, argv);
    EXPECT_NE(g_arena_enabled, 0);  // initialising turns arena mode on
    zel_arena_mode(0);
    EXPECT_EQ(zel_arg_count(), 4);
    EXPECT_EQ(arg_count(), 4);
    ZelString *s = zel_get_arg(1);
    EXPECT_EQ(zt::str(s), "x y");
    EXPECT_EQ(s->cap, 3);
    EXPECT_NE(s->data, a1);  // a copy, not the caller's text
    zel_string_free(s);
    EXPECT_EQ(take(get_arg(0)), "prog");
    // Out of range and null entries give new empty strings, never null.
    for (int64_t i : {-1, 2, 4, 5}) {
        ZelString *e = zel_get_arg(i);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->len, 0);
        EXPECT_EQ(e->data[0], '\0');
        zel_string_free(e);
    }
    EXPECT_EQ(take(zel_get_arg(3)), "");
    // Other threads see no arguments.
    int64_t other = -1;
    std::thread([&] { other = zel_arg_count(); }).join();
    EXPECT_EQ(other, 0);
    // A second call simply records the new pair.
    static char *argv2[] = {a1, nullptr};
    zel_init_runtime(1, argv2);
    zel_arena_mode(0);
    EXPECT_EQ(zel_arg_count(), 1);
    EXPECT_EQ(take(zel_get_arg(0)), "x y");
    zel_init_runtime(0, nullptr);
    zel_arena_destroy();
}
