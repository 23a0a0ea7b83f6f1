// Test helpers: run a piece of code in a child process and capture what it
// writes, byte for byte, with its exit status; make strings from literals.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "zel.h"

namespace zt {

struct ChildResult {
    int status = -1;       // exit status, or 128 + signal when killed
    std::string out;       // everything written to stdout
    std::string err;       // everything written to stderr
};

// A write to a pipe whose reader is gone raises SIGPIPE in the writer; the
// test program must get EPIPE instead. The signal is blocked in this thread for
// the write only, and one it left pending is taken before unblocking.
inline ssize_t write_no_sigpipe(int fd, const void *p, size_t n) {
    sigset_t pipe_set, old;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old);
    ssize_t w = write(fd, p, n);
    int saved = errno;
    if (w < 0 && errno == EPIPE) {
        const struct timespec zero = {0, 0};
        while (sigtimedwait(&pipe_set, nullptr, &zero) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    errno = saved;
    return w;
}

// Coverage builds count what child processes run too: their counters are
// written out before the child leaves without running exit handlers.
extern "C" void zel_coverage_flush(void) __attribute__((weak));
inline void flush_coverage() {
    if (zel_coverage_flush) zel_coverage_flush();
}

// Ends the process without flushing stdio, so that a test sees only what was
// flushed. ThreadSanitizer's _exit flushes streams, hence the raw system call.
[[noreturn]] inline void exit_unflushed(int status) {
    flush_coverage();
    syscall(SYS_exit_group, status);
    __builtin_unreachable();
}

// Runs fn in a forked child with `input` on stdin; the child exits with fn's
// result unless fn ends the process itself (exit, fatal failure, ...).
inline ChildResult run_child(const std::function<int()> &fn, const std::string &input = "") {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return {};
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(in[0]); close(in[1]); close(out[0]); close(out[1]); close(err[0]); close(err[1]);
        int rc = fn();
        fflush(stdout);
        fflush(stderr);
        flush_coverage();
        _exit(rc);
    }
    close(in[0]); close(out[1]); close(err[1]);
    // Feed stdin and drain both outputs together so no pipe can fill and stall the child.
    size_t fed = 0;
    if (input.empty()) { close(in[1]); in[1] = -1; }
    else fcntl(in[1], F_SETFL, O_NONBLOCK);
    ChildResult r;
    bool out_open = true, err_open = true;
    char buf[65536];
    while (out_open || err_open) {
        struct pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
        if (!out_open) fds[0].fd = -1;
        if (!err_open) fds[1].fd = -1;
        if (poll(fds, 3, -1) < 0) break;
        if (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) {
            ssize_t n = write_no_sigpipe(in[1], input.data() + fed, input.size() - fed);
            if (n > 0) fed += static_cast<size_t>(n);
            // EPIPE: the child stopped reading (or exited); the rest is not wanted.
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || fed == input.size()) { close(in[1]); in[1] = -1; }
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
                else (i == 0 ? out_open : err_open) = false;
            }
        }
    }
    if (in[1] >= 0) close(in[1]);
    close(out[0]);
    close(err[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

// Releases every string it was handed when the test ends, except those that
// `shared` says the library keeps (its literal records), so the sanitizer
// build's leak check sees exactly what the library itself loses.
class Owned {
public:
    explicit Owned(std::function<bool(const ZelString *)> shared = nullptr) : shared_(std::move(shared)) {}
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    ~Owned() {
        for (ZelString *s : held_) zel_string_free(s);
    }
    ZelString *operator()(ZelString *s) {
        EXPECT_NE(s, nullptr);
        if (s != nullptr && !(shared_ && shared_(s))) held_.push_back(s);
        return s;
    }

private:
    std::function<bool(const ZelString *)> shared_;
    std::vector<ZelString *> held_;
};

// A heap string record over a literal (bytes copied, embedded NULs kept).
inline ZelString *S(const std::string &text) { return zel_string_new(text.data(), (int64_t)text.size()); }
inline std::string str(const ZelString *s) { return s ? std::string(s->data, (size_t)s->len) : std::string("<null>"); }

}  // namespace zt
