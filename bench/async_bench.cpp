// Event-loop dispatch cost per ready descriptor against the table size, and TCP
// loopback throughput of the async socket calls beside plain send/recv.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "zel.h"

namespace {

void count_call(void *user, int64_t, uint32_t) { ++*static_cast<int64_t *>(user); }

// n eventfds registered for readability; `ready` of them (the last ones
// registered, the far end of the table) hold a count and stay readable.
struct Table {
    ZelEventLoop *loop = zel_event_loop_create();
    std::vector<int> fds;
    int64_t calls = 0;
    Table(int n, int ready) {
        for (int i = 0; i < n; ++i) {
            int fd = eventfd(i >= n - ready ? 1 : 0, 0);
            fds.push_back(fd);
            zel_event_loop_register(loop, fd, 1, count_call, &calls);
        }
    }
    ~Table() {
        zel_event_loop_destroy(loop);
        for (int fd : fds) close(fd);
    }
};

void BM_LoopOneReady(benchmark::State &state) {
    Table t(static_cast<int>(state.range(0)), 1);
    for (auto _ : state) benchmark::DoNotOptimize(zel_event_loop_run_once(t.loop, 0));
    if (t.calls != static_cast<int64_t>(state.iterations())) state.SkipWithError("a pass missed the ready descriptor");
    state.SetItemsProcessed(t.calls);
}
BENCHMARK(BM_LoopOneReady)->Arg(1)->Arg(64)->Arg(1000);

// Every descriptor ready: a pass takes 64 of them (fewer when fewer exist).
void BM_LoopAllReady(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    Table t(n, n);
    for (auto _ : state) benchmark::DoNotOptimize(zel_event_loop_run_once(t.loop, 0));
    state.SetItemsProcessed(t.calls);
}
BENCHMARK(BM_LoopAllReady)->Arg(1)->Arg(64)->Arg(1000);

// The kernel's share alone: epoll_wait on the same set and one indirect call.
void BM_RawEpollOneReady(benchmark::State &state) {
    const int n = static_cast<int>(state.range(0));
    int ep = epoll_create1(0);
    std::vector<int> fds;
    for (int i = 0; i < n; ++i) {
        fds.push_back(eventfd(i == n - 1 ? 1 : 0, 0));
        struct epoll_event ev = {};
        ev.events = EPOLLIN;
        ev.data.fd = fds.back();
        epoll_ctl(ep, EPOLL_CTL_ADD, fds.back(), &ev);
    }
    int64_t calls = 0;
    void (*volatile cb)(void *, int64_t, uint32_t) = count_call;
    for (auto _ : state) {
        struct epoll_event events[64];
        int got = epoll_wait(ep, events, 64, 0);
        for (int i = 0; i < got; ++i) cb(&calls, events[i].data.fd, events[i].events);
    }
    state.SetItemsProcessed(calls);
    for (int fd : fds) close(fd);
    close(ep);
}
BENCHMARK(BM_RawEpollOneReady)->Arg(1)->Arg(64)->Arg(1000);

// ---- TCP loopback, 4095-byte pieces ----

constexpr size_t kPiece = 4095;
constexpr int64_t kPerIteration = 64 * kPiece;

struct Link {
    ZelSocket *listener = zel_async_socket_listen(0);
    ZelSocket *reader = nullptr;
    ZelSocket *writer = nullptr;
    Link() {
        reader = zel_async_socket_connect("127.0.0.1", static_cast<int32_t>(zel_async_socket_port(listener)));
        writer = zel_async_socket_accept(listener);
    }
    ~Link() {
        zel_async_socket_close(reader);
        zel_async_socket_close(writer);
        zel_async_socket_close(listener);
    }
};

// The writer sends until told to stop, then closes its side; the reader
// drains to the end of the stream, so neither side is left blocked.
template <class Write, class Read>
void run_transfer(benchmark::State &state, Write write_piece, Read read_some) {
    Link link;
    if (link.reader == nullptr || link.writer == nullptr) {
        state.SkipWithError("no loopback connection");
        return;
    }
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        while (!stop.load(std::memory_order_relaxed)) write_piece(link.writer);
        shutdown(link.writer->fd, SHUT_WR);
    });
    int64_t total = 0;
    for (auto _ : state) {
        int64_t got = 0;
        while (got < kPerIteration) {
            int64_t n = read_some(link.reader);
            if (n <= 0) break;
            got += n;
        }
        total += got;
    }
    stop.store(true);
    while (read_some(link.reader) > 0) {
    }
    writer.join();
    state.SetBytesProcessed(total);
}

void BM_TcpZelWriteRead(benchmark::State &state) {
    const std::string piece(kPiece, 'z');
    run_transfer(
        state, [&](ZelSocket *s) { zel_async_socket_write(s, piece.c_str()); },
        [](ZelSocket *s) -> int64_t {
            char *buf = zel_async_socket_read(s);
            if (buf == nullptr) return 0;
            int64_t n = static_cast<int64_t>(strlen(buf));  // the caller's only way to the length
            free(buf);
            return n;
        });
}
BENCHMARK(BM_TcpZelWriteRead)->UseRealTime();

void BM_TcpPlainSendRecv(benchmark::State &state) {
    const std::string piece(kPiece, 'z');
    char buf[kPiece + 1];
    run_transfer(
        state, [&](ZelSocket *s) { send(s->fd, piece.data(), piece.size(), MSG_NOSIGNAL); },
        [&](ZelSocket *s) -> int64_t { return recv(s->fd, buf, kPiece, 0); });
}
BENCHMARK(BM_TcpPlainSendRecv)->UseRealTime();

}  // namespace
