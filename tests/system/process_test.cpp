// Shell commands, the environment and the working directory, with real commands.
#include <limits.h>
#include <sys/stat.h>

#include "sys_support.h"

namespace {

using namespace std::string_literals;
using zt::Owned;
using zt::S;
using zt::str;

struct Capture { const char *command; std::string out; int64_t heap_cap; };

std::string repeated(size_t n) {
    std::string s;
    while (s.size() < n) s += "0123456789";
    return s.substr(0, n);
}

const Capture kCaptures[] = {
    {"printf 'a\\nb\\n'", "a\nb\n", 4096},
    {"true", "", 4096},
    {"printf 'x\\000y'", "x\0y"s, 4096},  // bytes kept, NUL included
    {"printf '%4095s' ''", std::string(4095, ' '), 4096},
    {"printf '%4096s' ''", std::string(4096, ' '), 8192},
    {"yes 0123456789 | tr -d '\\n' | head -c 100000", repeated(100000), 131072},
    {"exit 5", "", 4096},
};

TEST(Process, CaptureInHeapMode) {
    Owned o;
    for (const Capture &c : kCaptures) {
        ZelString *s = o(zel_system_capture(o(S(c.command))));
        EXPECT_EQ(str(s), c.out) << c.command;
        EXPECT_EQ(s->cap, c.heap_cap) << c.command;
        EXPECT_EQ(s->data[s->len], '\0');
    }
    ZelString hollow = {nullptr, 0, 0};
    EXPECT_EQ(o(system_capture(&hollow))->len + o(zel_system_capture(nullptr))->len, 0);
}

TEST(Process, CaptureInArenaModeIsACopy) {
    zt::in_arena([] {
        for (const Capture &c : kCaptures) {
            ZelString *s = zel_system_capture(S(c.command));
            EXPECT_EQ(str(s), c.out) << c.command;
            EXPECT_EQ(s->cap, s->len) << c.command;
        }
    });
}

TEST(Process, StandardErrorOnlyThroughExecOutput) {
    auto r = zt::run_child([] {
        ZelString *cmd = S("sh -c \"printf 'to err' >&2\"");
        ZelString *plain = zel_system_capture(cmd);
        ZelString *both = exec_output(cmd, nullptr);
        printf("[%s][%s]", plain->data, both->data);
        return 0;
    });
    EXPECT_EQ(r.out, "[][to err]");
    EXPECT_EQ(r.err, "to err");
}

TEST(Process, ExecOutputCommandLine) {
    Owned o;
    // The shell running the line prints the line it was given.
    ZelString *show = o(S("tr '\\000' '|' </proc/$$/cmdline; :"));
    std::string prefix = "sh|-c|tr '\\000' '|' </proc/$$/cmdline; :";
    ZelString empty = {const_cast<char *>(""), 0, 0}, hollow = {nullptr, 5, 5};
    struct Case { ZelString *args; std::string line; } cases[] = {
        {o(S("a  'b c'")), prefix + " a  'b c' 2>&1|"},
        {&empty, prefix + " 2>&1|"},
        {&hollow, prefix + " 2>&1|"},
        {nullptr, prefix + " 2>&1|"},
        {o(S("x\0y"s)), prefix + " x 2>&1|"},
    };
    for (const Case &c : cases) EXPECT_EQ(str(o(zel_exec_output(show, c.args))), c.line);
    EXPECT_EQ(o(zel_exec_output(nullptr, o(S("x"))))->len, 0);
}

TEST(Process, SystemReturnsTheWaitStatus) {
    Owned o;
    struct Case { const char *command; int64_t status; } cases[] = {
        {"true", 0}, {"sh -c 'exit 3'", 768}, {"exit 1", 256}, {"kill -9 $$", 9}};
    for (const Case &c : cases) EXPECT_EQ(zel_system(o(S(c.command))), c.status) << c.command;
    ZelString hollow = {nullptr, 0, 0};
    EXPECT_EQ(zel_system(nullptr), -1);
    EXPECT_EQ(zel_system(&hollow), -1);
}

TEST(Process, Environment) {
    Owned o;
    ASSERT_EQ(setenv("ZEL_SYS_TEST", "first value", 1), 0);
    ZelString *v = o(zel_getenv(o(S("ZEL_SYS_TEST"))));
    setenv("ZEL_SYS_TEST", "changed", 1);
    EXPECT_EQ(str(v), "first value");
    EXPECT_EQ(v->cap, v->len);
    unsetenv("ZEL_SYS_TEST");
    ZelString hollow = {nullptr, 0, 0};
    for (ZelString *name : {o(S("ZEL_SYS_TEST")), o(S("")), &hollow, (ZelString *)nullptr})
        EXPECT_EQ(o(zel_getenv(name))->len, 0);
}

TEST(Process, WorkingDirectory) {
    zt::TempDir dir;
    auto r = zt::run_child([&] {
        char real[PATH_MAX];
        if (chdir(dir.path().c_str()) != 0 || realpath(".", real) == nullptr) return 2;
        ZelString *here = current_dir();
        printf("%d", str(here) == real && here->cap == here->len);
        // Removed from under the process: no path to give.
        mkdir("gone", 0700);
        if (chdir("gone") != 0 || rmdir("../gone") != 0) return 3;
        printf("%ld", (long)zel_getcwd()->len);
        // Deeper than the 4096-byte buffer.
        if (chdir(real) != 0) return 4;
        std::string name(200, 'd');
        for (int i = 0; i < 25; ++i)
            if (mkdir(name.c_str(), 0700) != 0 || chdir(name.c_str()) != 0) return 5;
        printf("%ld", (long)zel_getcwd()->len);
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "100");
}

}  // namespace
