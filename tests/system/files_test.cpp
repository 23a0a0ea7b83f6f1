// Files and directories, on real files in a fresh temporary directory.
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

#include <set>

#include "sys_support.h"

namespace {

using namespace std::string_literals;
using zt::Owned;
using zt::S;
using zt::str;

TEST(Files, ReadWholeFiles) {
    zt::TempDir dir;
    Owned o;
    std::string big(300000, 'q');
    for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
    struct Case { std::string bytes, want; } cases[] = {
        {"ab\0cd"s, "ab"}, {"", ""}, {"\0x"s, ""}, {big, big}, {"line\n", "line\n"}};
    for (const Case &c : cases) {
        zt::put(dir / "f", c.bytes);
        ZelString *s = o(zel_read_file(o(S(dir / "f"))));
        EXPECT_EQ(str(s), c.want);
        EXPECT_EQ(s->cap, s->len);
        EXPECT_EQ(s->data[s->len], '\0');
    }
    // Bytes after a NUL in the path are not part of it; bad paths read as
    // empty, with errno as the failing call left it.
    EXPECT_EQ(str(o(read_file(o(S(dir / "f" + "\0junk"s))))), "line\n");
    struct Bad { std::string path; int err; } bad[] = {
        {dir / "missing", ENOENT}, {dir.path(), EISDIR}, {std::string(PATH_MAX + 10, 'x'), ENAMETOOLONG}};
    for (const Bad &b : bad) {
        ZelString *p = o(S(b.path));
        EXPECT_EQ(o(zel_read_file(p))->len, 0);
        EXPECT_EQ(errno, b.err);
    }
    ZelString hollow = {nullptr, 3, 3};
    EXPECT_EQ(o(zel_read_file(&hollow))->len + o(zel_read_file(nullptr))->len, 0);
}

TEST(Files, ReadsAStreamThatCannotSeekToItsEnd) {
    zt::TempDir dir;
    std::string fifo = dir / "fifo", payload(200000, 'z');
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto r = zt::run_child([&] {
        alarm(30);  // a writer that never comes must not hang the suite
        std::thread writer([&] { zt::put(fifo, payload); });
        ZelString *s = zel_read_file(zt::S(fifo));
        writer.join();
        std::thread again([&] { zt::put(fifo, "12345"); });
        int64_t size = zel_file_size(fifo.c_str());
        again.join();
        // Through /dev/stdin, a pipe fed by the parent.
        ZelString *in = read_file(zt::S("/dev/stdin"));
        return (str(s) == payload && size == 5 && str(in) == "from stdin" + std::string(5000000, 's')) ? 0 : 1;
    }, "from stdin" + std::string(5000000, 's'));
    EXPECT_EQ(r.status, 0);
}

TEST(Files, WriteAppendAndSize) {
    zt::TempDir dir;
    Owned o;
    ZelString *f = o(S(dir / "f"));
    std::string with_units = "a\x1f" "b\0\x1f"s;
    EXPECT_EQ(zel_write_file(f, o(S(with_units))), 0);
    EXPECT_EQ(zt::slurp(dir / "f"), with_units);
    EXPECT_EQ(zel_file_size((dir / "f").c_str()), 5);
    EXPECT_EQ(write_file_newlines(f, o(S(with_units))), 0);
    EXPECT_EQ(zt::slurp(dir / "f"), "a\nb\0\n"s);
    // Units on both sides of the translation's block edges.
    std::string wide(100000, 'w'), wide_nl = wide;
    for (size_t i : {0, 32767, 32768, 65535, 99999}) wide[i] = '\x1f', wide_nl[i] = '\n';
    EXPECT_EQ(zel_write_file_newlines(f, o(S(wide))), 0);
    EXPECT_EQ(zt::slurp(dir / "f"), wide_nl);
    EXPECT_EQ(write_file(f, o(S(""))), 0);  // truncates
    EXPECT_EQ(file_size(f), 0);

    std::string log = dir / "log";
    EXPECT_EQ(zel_append_file(log.c_str(), "one\n"), 0);
    EXPECT_EQ(zel_append_file(log.c_str(), "two\0lost"), 0);
    EXPECT_EQ(zt::slurp(log), "one\ntwo");
    EXPECT_EQ(zel_file_size(log.c_str()), 7);

    // Refusals, including writes the device rejects: nothing is reported as written.
    ZelString hollow = {nullptr, 0, 0}, *full = o(S("/dev/full")), *text = o(S("x"));
    EXPECT_EQ(zel_write_file(full, text), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(zel_write_file_newlines(full, text), -1);
    EXPECT_EQ(zel_append_file("/dev/full", "x"), -1);
    for (auto *write : {&zel_write_file, &zel_write_file_newlines}) {
        EXPECT_EQ(write(o(S(dir / "no/such")), text), -1);
        EXPECT_EQ(write(nullptr, text), -1);
        EXPECT_EQ(write(&hollow, text), -1);
        EXPECT_EQ(write(f, nullptr), -1);
        EXPECT_EQ(write(f, &hollow), -1);
    }
    EXPECT_EQ(zel_append_file(nullptr, "x"), -1);
    EXPECT_EQ(zel_append_file(log.c_str(), nullptr), -1);
    EXPECT_EQ(zel_file_size((dir / "missing").c_str()), -1);
    EXPECT_EQ(zel_file_size(nullptr), -1);
}

TEST(Files, ExistenceAndRemoval) {
    zt::TempDir dir;
    Owned o;
    zt::put(dir / "file", "x");
    ASSERT_EQ(mkdir((dir / "empty").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir / "full").c_str(), 0700), 0);
    zt::put(dir / "full/inner", "y");
    ASSERT_EQ(symlink("nowhere", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(symlink("empty", (dir / "to_dir").c_str()), 0);
    struct Case { const char *name; int64_t exists, dir; } cases[] = {
        {"file", 1, 0}, {"empty", 1, 1}, {"to_dir", 1, 1}, {"dangling", 0, 0}, {"missing", 0, 0}};
    for (const Case &c : cases) {
        ZelString *p = o(S(dir / c.name));
        EXPECT_EQ(zel_file_exists(p), c.exists) << c.name;
        EXPECT_EQ(file_exists(p), c.exists) << c.name;
        EXPECT_EQ(zel_file_exists_cstr(p->data), c.exists) << c.name;
        EXPECT_EQ(is_dir(p), c.dir) << c.name;
    }
    ZelString hollow = {nullptr, 0, 0};
    for (ZelString *bad : {&hollow, (ZelString *)nullptr}) {
        EXPECT_EQ(zel_file_exists(bad) + zel_is_dir(bad), 0);
        EXPECT_EQ(zel_delete_file(bad) + zel_rmdir(bad), -2);
    }
    EXPECT_EQ(zel_rmdir(o(S(dir / "full"))), -1);
    EXPECT_EQ(errno, ENOTEMPTY);
    EXPECT_EQ(remove_dir(o(S(dir / "file"))), -1);
    EXPECT_EQ(zel_remove_file(o(S(dir / "full/inner"))), 0);
    EXPECT_EQ(delete_file(o(S(dir / "full"))), 0);  // an empty directory goes too
    EXPECT_EQ(zel_delete_file(o(S(dir / "file"))), 0);
    EXPECT_EQ(remove_file(o(S(dir / "file"))), -1);
    EXPECT_EQ(zel_rmdir(o(S(dir / "empty"))), 0);
}

TEST(Files, MakeDirectories) {
    zt::TempDir dir;
    Owned o;
    zt::put(dir / "file", "x");
    struct Case { std::string path; int64_t result; std::vector<std::string> dirs; } cases[] = {
        {"x/y/z", 0, {"x", "x/y", "x/y/z"}},
        {"x/y/z", 0, {}},                              // already there
        {"p\\q\\r", 0, {"p", "p\\q", "p\\q\\r"}},    // '\' cuts too, and stays in the names
        {"t//u/", 0, {"t", "t/u"}},
        {"v/w\0/ignored"s, 0, {"v/w"}},
        {"file", -1, {}},
        {"file/sub", -1, {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(zel_mkdir(o(S(dir / c.path))), c.result) << c.path;
        for (const std::string &d : c.dirs) EXPECT_EQ(zel_is_dir(o(S(dir / d))), 1) << d;
    }
    EXPECT_FALSE(zel_file_exists(o(S(dir / "v/w/ignored"))));
    EXPECT_EQ(make_dir(o(S("/"))), 0);  // no empty name before a leading '/'
    ZelString hollow = {nullptr, 0, 0}, empty = {const_cast<char *>(""), 0, 0};
    EXPECT_EQ(zel_mkdir(&hollow) + zel_mkdir(&empty) + zel_mkdir(nullptr), -3);
    struct stat st;
    mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(stat((dir / "x/y").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755 & ~mask);
}

// The names as the system returns them, for comparison.
std::string system_order(const std::string &path) {
    std::string out;
    DIR *d = opendir(path.c_str());
    for (dirent *e; (e = readdir(d)) != nullptr;)
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) out += (out.empty() ? "" : "\n") + std::string(e->d_name);
    closedir(d);
    return out;
}

TEST(Files, ListDirectories) {
    zt::TempDir dir;
    ASSERT_EQ(mkdir((dir / "small").c_str(), 0700) + mkdir((dir / "big").c_str(), 0700) + mkdir((dir / "none").c_str(), 0700), 0);
    for (const char *n : {"a", ".hidden", "b"}) zt::put(dir / "small/" + n, "");
    for (int i = 0; i < 200; ++i) zt::put(dir / "big/entry-with-a-long-name-" + std::to_string(i), "");
    for (bool arena : {false, true}) {
        auto check = [&] {
            Owned o;
            for (const char *sub : {"small", "big", "none"}) {
                ZelString *s = o(zel_readdir(o(S(dir / sub))));
                EXPECT_EQ(str(s), system_order(dir / sub)) << sub;
                EXPECT_EQ(s->cap, s->len);
            }
            EXPECT_GT(o(list_dir(o(S(dir / "big"))))->len, 4096);
            std::set<std::string> names;
            std::istringstream lines(str(o(zel_readdir(o(S(dir / "small"))))));
            for (std::string n; std::getline(lines, n);) names.insert(n);
            EXPECT_EQ(names, std::set<std::string>({"a", ".hidden", "b"}));
            for (ZelString *bad : {o(S(dir / "missing")), o(S(dir / "small/a")), (ZelString *)nullptr})
                EXPECT_EQ(o(zel_readdir(bad))->len, 0);
        };
        if (arena) zt::in_arena(check);
        else check();
    }
}

TEST(Files, ReadFileHandsOverAHeapBufferInBothModes) {
    zt::TempDir dir;
    zt::put(dir / "f", "contents");
    zt::in_arena([&] {
        ZelString *s = zel_read_file(zt::S(dir / "f"));
        EXPECT_EQ(str(s), "contents");
        EXPECT_GT(zel_arena_usage(), 0u);  // the record is arena memory...
        free(s->data);                     // ...the bytes are the caller's heap block
    });
}

}  // namespace
