#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "async_test.h"

namespace {

using at::Async;

std::string slurp(ZelAsyncFile *f) { return at::take(zel_async_file_read(f)); }

TEST_F(Async, FileOpenModesAndWritesFromTheStart) {
    char tmpl[] = "/tmp/zel_async_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    chmod(tmpl, 0755);  // reachable by the unprivileged child below
    const std::string dir = tmpl, path = dir + "/new", ro = dir + "/ro", wo = dir + "/wo";
    ZelAsyncFile *f = zel_async_file_open(path.c_str());  // created
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(slurp(f), "");
    zel_async_file_write(f, "abcdef");
    zel_nb_file_write(f, "xyz");  // not truncated: the old tail stays
    EXPECT_EQ(at::take(zel_nb_file_read(f)), "xyzdef");
    zel_async_file_close(f);
    for (auto [name, mode] : {std::pair{ro, 0444}, std::pair{wo, 0222}}) {
        f = zel_async_file_open(name.c_str());
        zel_async_file_write(f, "secret");
        zel_async_file_close(f);
        chmod(name.c_str(), static_cast<mode_t>(mode));
    }
    // Permissions bind only an unprivileged process: as root, drop to nobody.
    EXPECT_EQ(at::bounded_child([&] {
                  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 9;
                  ZelAsyncFile *r = zel_async_file_open(ro.c_str());  // read-only: writes do nothing
                  zel_async_file_write(r, "lost");
                  if (slurp(r) != "secret") return 1;
                  zel_async_file_close(r);
                  // Unreadable: opened for writing only, its contents kept.
                  ZelAsyncFile *w = zel_async_file_open(wo.c_str());
                  if (w == nullptr || slurp(w) != "") return 2;
                  zel_async_file_write(w, "SE");
                  zel_async_file_close(w);
                  return 0;
              }),
              0);
    f = zel_async_file_open(wo.c_str());
    f->open = 0;  // a record that is not open is refused
    EXPECT_EQ(zel_async_file_read(f), nullptr);
    zel_async_file_write(f, "no");
    f->open = 1;
    EXPECT_EQ(slurp(f), "SEcret");
    zel_async_file_close(f);
    EXPECT_EQ(zel_async_file_open((dir + "/missing/x").c_str()), nullptr);
    EXPECT_EQ(zel_async_file_open(nullptr), nullptr);
    for (const std::string &p : {path, ro, wo}) unlink(p.c_str());
    rmdir(tmpl);
}

}  // namespace
