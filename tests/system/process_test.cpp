// Shell commands, the environment and the working directory, with real commands.
#include <limits.h>
#include <sys/resource.h>
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
    {"head -c 4194304 /dev/zero | tr '\\000' z", std::string(4194304, 'z'), 8388608},
    {"head -c 5000000 /dev/zero | tr '\\000' z", std::string(5000000, 'z'), 8388608},
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

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // both reserve vast address space
// Out of address space part way, capture keeps what fitted: a full buffer
// (len = cap - 1) of correct bytes, never a crash.
TEST(Process, CaptureKeepsWhatFitsWhenTheHeapRunsOut) {
    auto r = zt::run_child([] {
        long pages = 0;
        FILE *statm = fopen("/proc/self/statm", "r");
        if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) return 2;
        fclose(statm);
        rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (rlim_t{100} << 20);
        struct rlimit rl = {limit, limit};
        if (setrlimit(RLIMIT_AS, &rl) != 0) return 3;
        ZelString *s = zel_system_capture(S("head -c 400000000 /dev/zero | tr '\\000' a"));
        bool bytes = s->len > 0 && s->data[s->len] == '\0';
        for (int64_t i = 0; i < s->len; ++i) bytes = bytes && s->data[i] == 'a';
        printf("%d %d %d", s->len == s->cap - 1, s->cap >= (8 << 20) && (s->cap & (s->cap - 1)) == 0, bytes);
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1 1 1");
}
#endif

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
