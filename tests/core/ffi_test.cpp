// Failures with and without the FFI boundary.
#include <gtest/gtest.h>

#include <string>

#include "support.h"

namespace {

ZelArray *make_array(std::vector<int64_t> values) {
    auto *block = static_cast<int64_t *>(malloc((2 + values.size()) * sizeof(int64_t)));
    block[0] = block[1] = static_cast<int64_t>(values.size());
    for (size_t i = 0; i < values.size(); ++i) block[2 + i] = values[i];
    return reinterpret_cast<ZelArray *>(block);
}

int64_t fail_with_panic(int64_t) {
    ZelString msg{const_cast<char *>("boom"), 4, 4};
    zel_panic(&msg);
    return 7;  // reached only when a failure returns, which it must not here
}

int64_t double_it(int64_t x) { return 2 * x; }

int64_t nested_then_fail(int64_t) {
    int64_t inner = 0;
    // The inner call fails and comes back to its own frame...
    EXPECT_EQ(zel_ffi_call(fail_with_panic, 0, &inner), 1);
    // ...and the outer context is live again for the next failure.
    zel_assert(0);
    return 99;
}

}  // namespace

TEST(Failure, MessagesWithoutBoundaryEndTheProcess) {
    struct Case {
        std::function<void()> fn;
        std::string err;
    } cases[] = {
        {[] { zel_assert(0); }, "Assertion failed!\n"},
        {[] { zel_panic(nullptr); }, "panic: panic\n"},
        {[] { ZelString s{nullptr, 3, 3}; zel_panic(&s); }, "panic: panic\n"},
        {[] { ZelString s{const_cast<char *>("bad thing"), 9, 9}; zel_panic(&s); }, "panic: bad thing\n"},
        {[] { zel_panic_divzero(); }, "panic: division by zero\n"},
        {[] { zel_panic_bounds(5, 2); }, "panic: array index 5 out of bounds [0, 2)\n"},
        {[] { zel_array_get_safe(make_array({1, 2, 3}), 3); }, "panic: array index 3 out of bounds [0, 3)\n"},
        {[] { zel_array_set_safe(make_array({1, 2, 3}), -1, 0); }, "panic: array index -1 out of bounds [0, 3)\n"},
    };
    for (auto &c : cases) {
        auto r = zt::run_child([&] { c.fn(); return 0; });
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    // An open boundary of another thread does not protect this one, and a closed one never does.
    auto r = zt::run_child([] { zel_ffi_begin(); zel_ffi_end(); zel_assert(0); return 0; });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Assertion failed!\n");
}

TEST(Failure, ExitKeepsStatusAndPrintsNothing) {
    auto r = zt::run_child([] { printf("buffered"); zel_exit(3); return 0; });
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "buffered");  // exit flushes stdio
    EXPECT_EQ(r.err, "");
}

TEST(Failure, AssertTrueAndInRangeAccessReturn) {
    zel_assert(1);
    ZelArray *a = make_array({10, 20, 30});
    EXPECT_EQ(zel_array_get_safe(a, 2), 30);
    zel_array_set_safe(a, 0, -4);
    EXPECT_EQ(zel_array_get_safe(a, 0), -4);
    free(a);
}

TEST(Boundary, PlainBeginRecordsAndReturnsToCaller) {
    ZelArray *a = make_array({1, 2, 3});
    EXPECT_EQ(zel_ffi_begin(), 0);
    EXPECT_EQ(zel_ffi_has_error(), 0);
    EXPECT_STREQ(zel_ffi_error_message(), "");
    // Without a live context the failing call comes back with 0 and does not store.
    EXPECT_EQ(zel_array_get_safe(a, 3), 0);
    EXPECT_EQ(zel_ffi_has_error(), 1);
    EXPECT_STREQ(zel_ffi_error_message(), "array index 3 out of bounds [0, 3)");
    zel_array_set_safe(a, 7, 99);
    EXPECT_EQ(reinterpret_cast<int64_t *>(a)[2 + 2], 3);
    zel_assert(0);
    EXPECT_STREQ(zel_ffi_error_message(), "assertion failed");
    zel_panic(nullptr);
    EXPECT_STREQ(zel_ffi_error_message(), "panic");
    zel_panic_divzero();
    EXPECT_STREQ(zel_ffi_error_message(), "division by zero");
    std::string long_msg(600, 'x');
    long_msg[510] = 'y';
    ZelString s{long_msg.data(), 600, 600};
    zel_panic(&s);
    EXPECT_EQ(std::string(zel_ffi_error_message()), long_msg.substr(0, 511));
    zel_ffi_end();
    // The flag and message outlive the boundary; the next begin clears them.
    EXPECT_EQ(zel_ffi_has_error(), 1);
    EXPECT_EQ(strlen(zel_ffi_error_message()), 511u);
    zel_ffi_begin();
    EXPECT_EQ(zel_ffi_has_error(), 0);
    EXPECT_STREQ(zel_ffi_error_message(), "");
    zel_ffi_end();
    free(a);
}

TEST(Boundary, EmptyMessageIsStoredAsEmpty) {
    zel_ffi_begin();
    ZelString empty{const_cast<char *>(""), 0, 0};
    zel_panic(&empty);
    EXPECT_EQ(zel_ffi_has_error(), 1);
    EXPECT_STREQ(zel_ffi_error_message(), "");
    zel_ffi_end();
}

TEST(Boundary, CallReturnsResultOrFailure) {
    int64_t out = -1;
    EXPECT_EQ(zel_ffi_call(double_it, 21, &out), 0);
    EXPECT_EQ(out, 42);
    EXPECT_EQ(zel_ffi_call(double_it, 1, nullptr), 0);
    EXPECT_EQ(zel_ffi_has_error(), 0);

    out = -1;
    EXPECT_EQ(zel_ffi_call(fail_with_panic, 0, &out), 1);
    EXPECT_EQ(out, -1);  // the failing function never completed
    EXPECT_EQ(zel_ffi_has_error(), 1);
    EXPECT_STREQ(zel_ffi_error_message(), "boom");

    // Nested: the inner failure returns to the inner call, the next one to the outer.
    EXPECT_EQ(zel_ffi_call(nested_then_fail, 0, &out), 1);
    EXPECT_STREQ(zel_ffi_error_message(), "assertion failed");

    // Still open after the call: a failure without live context returns to its caller.
    zel_panic_divzero();
    EXPECT_STREQ(zel_ffi_error_message(), "division by zero");
    zel_ffi_end();
}

TEST(Boundary, TryMacroReturnsToTheHostFrame) {
    volatile int reached_after_failure = 0;
    volatile int failures = 0;
    ZelArray *a = make_array({5});
    if (ZEL_FFI_TRY()) {
        failures = failures + 1;
    } else {
        EXPECT_EQ(zel_array_get_safe(a, 0), 5);
        zel_array_get_safe(a, -1);
        reached_after_failure = 1;
    }
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(reached_after_failure, 0);
    EXPECT_EQ(zel_ffi_has_error(), 1);
    EXPECT_STREQ(zel_ffi_error_message(), "array index -1 out of bounds [0, 1)");
    zel_ffi_end();
    // After the end no context is live: a failure outside a boundary ends a child process.
    auto r = zt::run_child([] { zel_panic_bounds(1, 1); return 0; });
    EXPECT_EQ(r.status, 1);
    free(a);
}

TEST(Boundary, StateIsPerThread) {
    zel_ffi_begin();
    zel_assert(0);
    std::thread t([] {
        EXPECT_EQ(zel_ffi_has_error(), 0);
        EXPECT_STREQ(zel_ffi_error_message(), "");
    });
    t.join();
    EXPECT_EQ(zel_ffi_has_error(), 1);
    zel_ffi_end();
    // A thread without a boundary ends the whole process on failure.
    auto r = zt::run_child([] {
        zel_ffi_begin();
        std::thread([] { zel_panic_divzero(); }).join();
        return 0;
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "panic: division by zero\n");
}
