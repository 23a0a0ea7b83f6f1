// The library started as a program, and hosts that bring or borrow a main.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include "support.h"

namespace {

zt::ChildResult run_program(const char *path, std::vector<const char *> args, const char *result_env = nullptr) {
    return zt::run_child([&] {
        if (result_env) setenv("ZEL_TEST_RESULT", result_env, 1);
        std::vector<char *> argv{const_cast<char *>(path)};
        for (const char *a : args) argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        execv(path, argv.data());
        return 127;
    });
}

const char kDemo[] =
    "1\n0\n{\"name\":\"ZEL\",\"version\":97}\narray\n\"ZEL\"\nZEL\n97\n5\n20\n";

}  // namespace

TEST(Entry, LibraryRunsAsAProgram) {
    auto r = run_program(ZEL_LIB_PATH, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDemo);
    EXPECT_EQ(r.err, "");
    r = run_program(ZEL_LIB_PATH, {"extra", "--arguments", "x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kDemo);
    // The two options are the library's own, alone; a program whose main is the
    // library's gets them as plain arguments (as above with "--arguments").
    r = run_program(ZEL_LIB_PATH, {"--version"});
    EXPECT_EQ(r.out, "libzel " ZEL_VERSION "\n");
    r = run_program(ZEL_LIB_PATH, {"--help"});
    EXPECT_EQ(r.out.rfind("usage: ", 0), 0u);
    EXPECT_EQ(run_program(ZEL_LIB_PATH, {"--version", "x"}).out, kDemo);
    EXPECT_EQ(run_program(ZEL_USER_MAIN_HOST, {"--version"}, "0").out.rfind("args=2 ", 0), 0u);
}

TEST(Entry, HostMainWinsOverTheLibrarysMain) {
    auto r = run_program(ZEL_C_HOST, {"a"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "host main, 1 argument(s)\n"
              "valid=1\n"
              "n=[1,2] len=5\n"
              "failed=1 error=1 message=boom\n");
}

TEST(Entry, LibraryMainRunsTheProgramsEntry) {
    // Arguments are recorded (the program name counts), arena mode is on while the
    // entry runs, and off with the main thread's arena released once it returns.
    auto r = run_program(ZEL_USER_MAIN_HOST, {"one", "two", "three"}, "3");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out,
              "args=4 first_is_program=1 last=three enabled=1 usage=8388608\n"
              "after: enabled=0 usage=0\n");
    // Only the low bits of the result reach the operating system.
    r = run_program(ZEL_USER_MAIN_HOST, {}, "256");
    EXPECT_EQ(r.status, 0);
    r = run_program(ZEL_USER_MAIN_HOST, {}, "4294967298");  // low 32 bits: 2
    EXPECT_EQ(r.status, 2);
}
