// Hostile conditions for files and commands: signals arriving while a command
// or a pipe is being read, writers that vanish part way, and contents that
// are records without bytes.
#include <pthread.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "sys_support.h"

namespace {

using zt::S;
using zt::str;

// Runs fn while another thread sends this one SIGUSR1 every millisecond,
// through a handler installed without SA_RESTART; in a child, bounded by an alarm.
int under_signals(const std::function<int()> &fn) {
    return zt::run_child([&fn] {
        alarm(30);
        struct sigaction sa = {};
        sa.sa_handler = [](int) {};
        sigaction(SIGUSR1, &sa, nullptr);
        std::atomic<bool> done{false};
        pthread_t self = pthread_self();
        std::thread signaller([&] {
            while (!done) {
                pthread_kill(self, SIGUSR1);
                usleep(1000);
            }
        });
        int rc = fn();
        done = true;
        signaller.join();
        return rc;
    }).status;
}

TEST(Hostile, SignalsWhileCommandsAndPipesAreRead) {
    // Output that trickles in over ~200 ms, so many reads are interrupted.
    const char *slow = "for i in 1 2 3 4 5 6 7 8 9 10; do printf 'line %s\\n' $i; sleep 0.02; done";
    std::string want;
    for (int i = 1; i <= 10; ++i) want += "line " + std::to_string(i) + "\n";
    EXPECT_EQ(under_signals([&] { return str(zel_system_capture(S(slow))) == want ? 0 : 1; }), 0);
    EXPECT_EQ(under_signals([&] { return str(zel_exec_output(S(slow), nullptr)) == want ? 0 : 1; }), 0);
    EXPECT_EQ(under_signals([] { return zel_system(S("sleep 0.1; exit 3")) == 768 ? 0 : 1; }), 0);
    // A FIFO: opening it waits for the writer, which comes 30 ms late, then
    // writes line by line. No wait here may be left hanging if the reader fails.
    zt::TempDir dir;
    std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(under_signals([&] {
                  std::thread writer([&] {
                      usleep(30000);
                      int fd = -1;
                      for (int i = 0; i < 5000 && fd < 0; ++i, usleep(1000)) fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
                      for (int i = 1; fd >= 0 && i <= 10; ++i, usleep(20000)) {
                          std::string line = "line " + std::to_string(i) + "\n";
                          if (write(fd, line.data(), line.size()) < 0) break;
                      }
                      if (fd >= 0) close(fd);
                  });
                  std::string got = str(zel_read_file(S(fifo)));
                  writer.join();
                  return got == want ? 0 : 1;
              }),
              0);
}

TEST(Hostile, WritersThatVanishPartWay) {
    zt::Owned o;
    // A command killed after part of its output: what it wrote, nothing more.
    EXPECT_EQ(str(o(zel_system_capture(o(S("printf 'half'; kill -9 $$; printf 'never'"))))), "half");
    EXPECT_EQ(str(o(zel_exec_output(o(S("{ printf 'half' >&2; kill -9 $$; }")), nullptr))), "half");
    // A pipe whose writer dies part way is read to where it stopped.
    zt::TempDir dir;
    std::string fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // timeout: should the read fail, the writer must not wait for ever.
    ZelString *write_then_die = o(S("exec 2>/dev/null; timeout 10 sh -c \"printf partial > '" + fifo + "'; kill -9 \\$\\$\""));
    std::thread writer([&] { zel_system(write_then_die); });
    EXPECT_EQ(str(o(zel_read_file(o(S(fifo))))), "partial");
    writer.join();
}

TEST(Hostile, ContentsWithoutBytesAreRefusedAndTheFileKept) {
    zt::TempDir dir;
    zt::Owned o;
    auto *raw = static_cast<char *>(malloc(3));
    memcpy(raw, "abc", 3);
    ZelString hollow = {nullptr, 5, 5}, negative = {raw, -3, 3};
    ZelString *path = o(S(dir / "kept"));
    zt::put(dir / "kept", "original");
    for (ZelString *content : {(ZelString *)nullptr, &hollow, &negative}) {
        EXPECT_EQ(zel_write_file(path, content), -1);
        EXPECT_EQ(zel_write_file_newlines(path, content), -1);
    }
    EXPECT_EQ(zt::slurp(dir / "kept"), "original");
    free(raw);
}

}  // namespace
