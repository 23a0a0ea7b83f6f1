#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "async_test.h"

namespace {

using at::Async;

std::string slurp(ZelAsyncFile *f) {
    char *text = zel_async_file_read(f);
    std::string s = text != nullptr ? text : "<null>";
    free(text);
    return s;
}

std::string make_dir() {
    char tmpl[] = "/tmp/zel_async_XXXXXX";
    EXPECT_NE(mkdtemp(tmpl), nullptr);
    chmod(tmpl, 0755);  // reachable by the unprivileged child below
    return tmpl;
}

void put(const std::string &path, const char *text, mode_t mode) {
    ZelAsyncFile *f = zel_async_file_open(path.c_str());
    ASSERT_NE(f, nullptr);
    zel_async_file_write(f, text);
    zel_async_file_close(f);
    chmod(path.c_str(), mode);
}

// Permissions only bind an unprivileged process: a root test drops to nobody.
int as_user(const std::function<int()> &fn) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 99;
    return fn();
}

TEST_F(Async, FileOpenModesAndWritesFromTheStart) {
    std::string dir = make_dir(), path = dir + "/new.txt";
    ZelAsyncFile *f = zel_async_file_open(path.c_str());  // created
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->open, 1);
    EXPECT_STREQ(f->path, path.c_str());
    EXPECT_EQ(slurp(f), "");
    zel_async_file_write(f, "abcdef");
    EXPECT_EQ(slurp(f), "abcdef");
    zel_nb_file_write(f, "xyz");  // no truncation: the old tail stays
    char *nb = zel_nb_file_read(f);
    EXPECT_STREQ(nb, "xyzdef");
    free(nb);
    zel_async_file_close(f);

    std::string ro = dir + "/ro.txt", wo = dir + "/wo.txt";
    put(ro, "kept", 0444);
    put(wo, "secret", 0222);
    zt::ChildResult r = at::bounded_child([&] {
        return as_user([&] {
            ZelAsyncFile *a = zel_async_file_open(ro.c_str());  // read-only: the write does nothing
            if (a == nullptr) return 1;
            zel_async_file_write(a, "lost");
            if (slurp(a) != "kept") return 2;
            zel_async_file_close(a);
            // Unreadable but writable: opened without destroying the contents.
            ZelAsyncFile *b = zel_async_file_open(wo.c_str());
            if (b == nullptr) return 3;
            if (slurp(b) != "") return 4;
            zel_async_file_write(b, "SE");
            zel_async_file_close(b);
            return 0;
        });
    });
    EXPECT_EQ(r.status, 0) << r.err;
    chmod(wo.c_str(), 0644);
    f = zel_async_file_open(wo.c_str());
    EXPECT_EQ(slurp(f), "SEcret");
    f->open = 0;  // a record that is not open is refused
    EXPECT_EQ(zel_async_file_read(f), nullptr);
    zel_async_file_write(f, "no");
    f->open = 1;
    EXPECT_EQ(slurp(f), "SEcret");
    zel_async_file_close(f);

    EXPECT_EQ(zel_async_file_open(nullptr), nullptr);
    EXPECT_EQ(zel_async_file_open((dir + "/missing/x").c_str()), nullptr);
    EXPECT_EQ(zel_async_file_read(nullptr), nullptr);
    zel_async_file_write(nullptr, "x");
    zel_async_file_close(nullptr);
    for (const std::string &p : {path, ro, wo}) unlink(p.c_str());
    rmdir(dir.c_str());
}

}  // namespace
