// Shell commands, the environment and the working directory, with real commands.
#include <limits.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "sys_support.h"

namespace {

using namespace std::string_literals;
using zt::S;
using zt::str;

struct Capture { const char *command; std::string out; int64_t heap_cap; };
const Capture kCaptures[] = {
    {"printf 'a\\nb\\n'", "a\nb\n", 4096},
    {"true", "", 4096},
    {"printf 'x\\000y'; exit 5", "x\0y"s, 4096},  // bytes kept, NUL included; status ignored
    {"printf '%4095s' ''", std::string(4095, ' '), 4096},
    {"printf '%4096s' ''", std::string(4096, ' '), 8192},
    {"head -c 100000 /dev/zero | tr '\\000' z", std::string(100000, 'z'), 131072},
    {"head -c 5000000 /dev/zero | tr '\\000' z", std::string(5000000, 'z'), 8388608},
};

TEST(Process, CaptureInBothModes) {
    zt::Owned o;
    for (const Capture &c : kCaptures) {
        ZelString *s = o(zel_system_capture(o(S(c.command))));
        EXPECT_EQ(str(s), c.out) << c.command;
        EXPECT_EQ(s->cap, c.heap_cap) << c.command;  // the buffer held, handed over
    }
    ZelString hollow = {nullptr, 0, 0};
    EXPECT_EQ(o(system_capture(&hollow))->len + o(zel_system_capture(nullptr))->len, 0);
    zt::in_arena([] {
        for (const Capture &c : kCaptures) {
            ZelString *s = zel_system_capture(S(c.command));
            EXPECT_EQ(str(s), c.out) << c.command;
            EXPECT_EQ(s->cap, s->len) << c.command;  // an arena copy
        }
    });
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)  // both reserve vast address space
// Out of memory part way, capture keeps what fitted: a full buffer of correct bytes.
TEST(Process, CaptureKeepsWhatFitsWhenTheHeapRunsOut) {
    auto r = zt::run_child([] {
        long pages = 0;
        FILE *statm = fopen("/proc/self/statm", "r");
        if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) return 2;
        rlim_t limit = static_cast<rlim_t>(pages) * 4096 + (rlim_t{100} << 20);
        struct rlimit rl = {limit, limit};
        if (setrlimit(RLIMIT_AS, &rl) != 0) return 3;
        ZelString *s = zel_system_capture(S("head -c 400000000 /dev/zero | tr '\\000' a"));
        bool bytes = s->data[s->len] == '\0';
        for (int64_t i = 0; i < s->len; ++i) bytes = bytes && s->data[i] == 'a';
        return bytes && s->len == s->cap - 1 && s->cap >= (8 << 20) && (s->cap & (s->cap - 1)) == 0 ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0);
}
#endif

TEST(Process, ExecOutputCommandLine) {
    zt::Owned o;
    // The shell running the line shows the line it was given.
    ZelString *show = o(S("tr '\\000' '|' </proc/$$/cmdline; :"));
    std::string line = "sh|-c|tr '\\000' '|' </proc/$$/cmdline; :";
    ZelString empty = {const_cast<char *>(""), 0, 0}, hollow = {nullptr, 5, 5};
    std::pair<ZelString *, std::string> cases[] = {
        {o(S("a  'b c'")), " a  'b c'"}, {&empty, ""}, {&hollow, ""}, {nullptr, ""}, {o(S("x\0y"s)), " x"}};
    for (const auto &[args, shown] : cases) EXPECT_EQ(str(o(zel_exec_output(show, args))), line + shown + " 2>&1|");
    EXPECT_EQ(o(zel_exec_output(nullptr, o(S("x"))))->len, 0);
    auto r = zt::run_child([] {
        ZelString *cmd = S("sh -c \"printf 'to err' >&2\"");
        printf("[%s][%s]", zel_system_capture(cmd)->data, exec_output(cmd, nullptr)->data);
        return 0;
    });
    EXPECT_EQ(r.out, "[][to err]");
    EXPECT_EQ(r.err, "to err");
}

TEST(Process, SystemAndEnvironment) {
    zt::Owned o;
    std::pair<const char *, int64_t> cases[] = {{"true", 0}, {"sh -c 'exit 3'", 768}, {"kill -9 $$", 9}};
    for (const auto &[command, status] : cases) EXPECT_EQ(zel_system(o(S(command))), status) << command;
    ZelString hollow = {nullptr, 0, 0};
    EXPECT_EQ(zel_system(nullptr) + zel_system(&hollow), -2);

    ASSERT_EQ(setenv("ZEL_SYS_TEST", "first value", 1), 0);
    ZelString *v = o(zel_getenv(o(S("ZEL_SYS_TEST"))));
    setenv("ZEL_SYS_TEST", "changed", 1);
    EXPECT_EQ(str(v), "first value");  // a copy
    unsetenv("ZEL_SYS_TEST");
    for (ZelString *name : {o(S("ZEL_SYS_TEST")), o(S("")), &hollow, (ZelString *)nullptr})
        EXPECT_EQ(o(zel_getenv(name))->len, 0);
}

TEST(Process, WorkingDirectory) {
    zt::TempDir dir;
    auto r = zt::run_child([&] {
        char real[PATH_MAX];
        if (chdir(dir.path.c_str()) != 0 || realpath(".", real) == nullptr) return 2;
        printf("%d", str(current_dir()) == real);
        mkdir("gone", 0700);  // removed from under the process: no path to give
        if (chdir("gone") != 0 || rmdir("../gone") != 0) return 3;
        printf("%ld", (long)zel_getcwd()->len);
        if (chdir(real) != 0) return 4;
        std::string name(200, 'd');  // deeper than the 4096-byte buffer
        for (int i = 0; i < 25; ++i)
            if (mkdir(name.c_str(), 0700) != 0 || chdir(name.c_str()) != 0) return 5;
        printf("%ld", (long)zel_getcwd()->len);
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "100");
}

}  // namespace
