// Files and directories, on real files in a fresh temporary directory.
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>

#include "sys_support.h"

namespace {

using namespace std::string_literals;
using zt::S;
using zt::str;

TEST(Files, ReadWholeFiles) {
    zt::TempDir dir;
    zt::Owned o;
    std::string big(300000, 'q');
    for (size_t i = 0; i < big.size(); i += 7) big[i] = static_cast<char>('a' + i % 26);
    for (const auto &[bytes, want] : {std::pair{"ab\0cd"s, "ab"s}, {""s, ""s}, {big, big}}) {
        zt::put(dir / "f", bytes);
        ZelString *s = o(zel_read_file(o(S(dir / "f" + "\0ignored"s))));
        EXPECT_EQ(str(s), want);
        EXPECT_EQ(s->cap, s->len);
    }
    for (const auto &[path, err] : {std::pair{dir / "missing", ENOENT}, {dir.path, EISDIR}, {std::string(PATH_MAX + 10, 'x'), ENAMETOOLONG}}) {
        EXPECT_EQ(o(read_file(o(S(path))))->len, 0);
        EXPECT_EQ(errno, err);
    }
    ZelString hollow = {nullptr, 3, 3};
    EXPECT_EQ(o(zel_read_file(&hollow))->len + o(zel_read_file(nullptr))->len, 0);
    zt::in_arena([&] {
        ZelString *s = zel_read_file(S(dir / "f"));
        EXPECT_EQ(str(s), big);
        free(s->data);  // the record is the arena's, the bytes the caller's heap block
    });
}

TEST(Files, StreamsThatCannotSeekAreReadToTheirEnd) {
    zt::TempDir dir;
    std::string fifo = dir / "fifo", payload(200000, 'z'), input(5000000, 's');
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto r = zt::run_child([&] {
        alarm(30);  // a writer that never comes must not hang the suite
        std::thread writer([&] { zt::put(fifo, payload); });
        ZelString *s = zel_read_file(S(fifo));
        writer.join();
        std::thread again([&] { zt::put(fifo, "12345"); });
        int64_t size = zel_file_size(fifo.c_str());
        again.join();
        return str(s) == payload && size == 5 && str(read_file(S("/dev/stdin"))) == input ? 0 : 1;
    }, input);
    EXPECT_EQ(r.status, 0);
}

TEST(Files, WriteAppendAndSize) {
    zt::TempDir dir;
    zt::Owned o;
    ZelString *f = o(S(dir / "f")), *units = o(S("a\x1f" "b\0\x1f"s));
    EXPECT_EQ(zel_write_file(f, units), 0);
    EXPECT_EQ(zt::slurp(dir / "f"), "a\x1f" "b\0\x1f"s);
    EXPECT_EQ(zel_file_size((dir / "f").c_str()), 5);
    EXPECT_EQ(write_file_newlines(f, units), 0);
    EXPECT_EQ(zt::slurp(dir / "f"), "a\nb\0\n"s);
    std::string wide(100000, 'w'), wide_nl = wide;  // units on both sides of block edges
    for (size_t i : {0, 32767, 32768, 99999}) wide[i] = '\x1f', wide_nl[i] = '\n';
    EXPECT_EQ(zel_write_file_newlines(f, o(S(wide))), 0);
    EXPECT_EQ(zt::slurp(dir / "f"), wide_nl);
    EXPECT_EQ(write_file(f, o(S(""))), 0);  // truncates
    EXPECT_EQ(file_size(f), 0);

    std::string log = dir / "log";
    EXPECT_EQ(zel_append_file(log.c_str(), "one\n"), 0);
    EXPECT_EQ(zel_append_file(log.c_str(), "two\0lost"), 0);
    EXPECT_EQ(zt::slurp(log), "one\ntwo");

    // A device that refuses the bytes: nothing is reported as written.
    ZelString *full = o(S("/dev/full")), hollow = {nullptr, 0, 0};
    EXPECT_EQ(zel_write_file(full, units), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(zel_write_file_newlines(full, units) + zel_append_file("/dev/full", "x"), -2);
    for (auto *write : {&zel_write_file, &zel_write_file_newlines})
        EXPECT_EQ(write(o(S(dir / "no/such")), units) + write(&hollow, units) + write(nullptr, units) +
                      write(f, &hollow) + write(f, nullptr), -5);
    EXPECT_EQ(zel_append_file(nullptr, "x") + zel_append_file(log.c_str(), nullptr), -2);
    EXPECT_EQ(zel_file_size((dir / "missing").c_str()) + zel_file_size(nullptr), -2);
}

TEST(Files, PathQueriesRemovalAndCreation) {
    zt::TempDir dir;
    zt::Owned o;
    zt::put(dir / "file", "x");
    ASSERT_EQ(mkdir((dir / "full").c_str(), 0700) + symlink("nowhere", (dir / "dangling").c_str()), 0);
    zt::put(dir / "full/inner", "y");
    ASSERT_EQ(symlink("full", (dir / "to_dir").c_str()), 0);
    for (const auto &[name, exists, is] : {std::tuple{"file", 1, 0}, {"full", 1, 1}, {"to_dir", 1, 1}, {"dangling", 0, 0}}) {
        ZelString *p = o(S(dir / name));
        EXPECT_EQ(zel_file_exists(p) + file_exists(p) + zel_file_exists_cstr(p->data), 3 * exists) << name;
        EXPECT_EQ(is_dir(p), is) << name;
    }
    ZelString hollow = {nullptr, 0, 0}, empty = {const_cast<char *>(""), 0, 0};
    EXPECT_EQ(zel_file_exists(&hollow) + zel_is_dir(nullptr), 0);
    EXPECT_EQ(zel_delete_file(&hollow) + zel_rmdir(nullptr) + zel_mkdir(&hollow) + zel_mkdir(&empty), -4);
    EXPECT_EQ(zel_rmdir(o(S(dir / "full"))), -1);
    EXPECT_EQ(errno, ENOTEMPTY);
    EXPECT_EQ(remove_dir(o(S(dir / "file"))), -1);
    EXPECT_EQ(zel_remove_file(o(S(dir / "full/inner"))), 0);
    EXPECT_EQ(delete_file(o(S(dir / "full"))), 0);  // an empty directory goes too
    EXPECT_EQ(remove_file(o(S(dir / "full"))), -1);

    struct { std::string path; int64_t result; std::vector<std::string> made; } cases[] = {
        {"x/y/z", 0, {"x", "x/y", "x/y/z"}}, {"x/y/z", 0, {}},
        {"p\\q\\r", 0, {"p", "p\\q", "p\\q\\r"}},  // '\' cuts too, and stays in the names
        {"t//u/", 0, {"t/u"}}, {"v/w\0/ignored"s, 0, {"v/w"}}, {"file", -1, {}}, {"file/sub", -1, {}}};
    for (const auto &c : cases) {
        EXPECT_EQ(zel_mkdir(o(S(dir / c.path))), c.result) << c.path;
        for (const std::string &d : c.made) EXPECT_EQ(zel_is_dir(o(S(dir / d))), 1) << d;
    }
    EXPECT_EQ(zel_rmdir(o(S(dir / "v/w"))) + make_dir(o(S("/"))), 0);
    struct stat st;
    mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(stat((dir / "x/y").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755 & ~mask);
}

TEST(Files, ListDirectories) {
    zt::TempDir dir;
    zt::Owned o;
    ASSERT_EQ(mkdir((dir / "small").c_str(), 0700) + mkdir((dir / "big").c_str(), 0700), 0);
    for (const char *n : {"a", ".hidden", "b"}) zt::put(dir / "small/" + n, "");
    for (int i = 0; i < 200; ++i) zt::put(dir / "big/entry-with-a-long-name-" + std::to_string(i), "");
    for (const char *sub : {"small", "big"}) {
        std::string want;  // the names in the order the system returns them
        DIR *d = opendir((dir / sub).c_str());
        for (dirent *e; (e = readdir(d)) != nullptr;)
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) want += (want.empty() ? "" : "\n") + std::string(e->d_name);
        closedir(d);
        ZelString *s = o(zel_readdir(o(S(dir / sub))));
        EXPECT_EQ(str(s), want);
        EXPECT_EQ(s->cap, s->len);
    }
    EXPECT_EQ(o(list_dir(o(S(dir / "small"))))->len, 11);
    EXPECT_GT(o(list_dir(o(S(dir / "big"))))->len, 4096);
    EXPECT_EQ(o(zel_readdir(o(S(dir / "big/entry-with-a-long-name-0"))))->len, 0);
    ASSERT_EQ(mkdir((dir / "none").c_str(), 0700), 0);
    EXPECT_EQ(o(zel_readdir(o(S(dir / "none"))))->len + o(zel_readdir(nullptr))->len, 0);
}

}  // namespace
