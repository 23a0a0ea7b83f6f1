// Hostile conditions for the loop and the sockets: descriptors that were
// closed, reused or never valid, peers that vanish mid-transfer, and signals
// that interrupt blocking reads.
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <atomic>
#include <string>
#include <thread>

#include "async_test.h"

namespace {

using at::Async;
using at::take;

int g_calls = 0;
void count(void *, int64_t, uint32_t ready) { g_calls += (ready & ZEL_EVENT_READABLE) ? 1 : 100; }

TEST_F(Async, HostileLoopDescriptors) {
    ZelEventLoop *loop = zel_event_loop_create();
    int p[2], q[2];
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(zel_event_loop_register(loop, p[0], ZEL_EVENT_READABLE, count, nullptr), 0);
    // Closed without unregistering (the kernel forgets it), then the number
    // comes back as another descriptor: registering that one must watch it.
    close(p[0]);
    close(p[1]);
    ASSERT_EQ(pipe(q), 0);
    ASSERT_EQ(q[0], p[0]) << "the lowest free descriptor is reused";
    ASSERT_EQ(write(q[1], "x", 1), 1);
    EXPECT_EQ(zel_event_loop_register(loop, q[0], ZEL_EVENT_READABLE, count, nullptr), 0);
    EXPECT_EQ(zel_event_loop_run_once(loop, 1000), 1);
    EXPECT_EQ(g_calls, 1);
    EXPECT_EQ(loop->slot_count, 1);
    EXPECT_EQ(zel_event_loop_unregister(loop, q[0]), 0);
    // A closed or negative descriptor is refused; its slot stays until unregistered.
    close(q[0]);
    close(q[1]);
    EXPECT_EQ(zel_event_loop_register(loop, q[0], ZEL_EVENT_READABLE, count, nullptr), -1);
    EXPECT_EQ(zel_event_loop_register(loop, -1, ZEL_EVENT_READABLE, count, nullptr), -1);
    EXPECT_EQ(zel_event_loop_unregister(loop, q[0]) + zel_event_loop_unregister(loop, -1), 0);
    // A loop whose own descriptor is gone fails its pass at once, even one without a time limit.
    close(loop->poll_fd);
    EXPECT_EQ(zel_event_loop_run_once(loop, -1), -1);
    EXPECT_EQ(errno, EBADF);
    loop->poll_fd = -1;
    zel_event_loop_destroy(loop);
}

// A connected pair through a loopback listener; the listener is closed at once.
struct Pair {
    ZelSocket *client = nullptr, *server = nullptr;
    explicit Pair(bool non_blocking = false) {
        ZelSocket *l = zel_async_socket_listen(0);
        auto port = static_cast<int32_t>(zel_async_socket_port(l));
        client = non_blocking ? zel_nb_socket_connect("127.0.0.1", port) : zel_async_socket_connect("127.0.0.1", port);
        server = zel_async_socket_accept(l);
        zel_async_socket_close(l);
        if (non_blocking) at::pump_until([this] { return client == nullptr || client->open != 0; });
    }
    ~Pair() {
        zel_async_socket_close(client);
        zel_async_socket_close(server);
    }
};

TEST_F(Async, HostileSocketDescriptors) {
    // A record over no descriptor, and one whose descriptor was closed behind
    // its back: every call fails quietly and close releases the record.
    Pair t(true);
    ASSERT_TRUE(t.client != nullptr && t.client->open == 1 && t.server != nullptr);
    close(t.client->fd);
    ZelSocket *none = static_cast<ZelSocket *>(malloc(sizeof(ZelSocket)));
    *none = {-1, strdup("0.0.0.0"), 0, 1};
    for (ZelSocket *s : {none, t.client}) {
        zel_async_socket_write(s, "x");
        EXPECT_EQ(zel_async_socket_read(s), nullptr);
        EXPECT_EQ(zel_nb_socket_read(s), nullptr);
        EXPECT_EQ(zel_async_socket_accept(s), nullptr);
        EXPECT_EQ(zel_async_udp_sendto(s, "127.0.0.1", 9, "x"), -1);
        EXPECT_EQ(zel_async_udp_recv(s), nullptr);
        EXPECT_EQ(zel_async_udp_recvfrom(s), nullptr);
    }
    t.client->fd = -1;  // its number may be reused by now: the record must not close it
    zel_async_socket_close(none);
}

TEST_F(Async, HostileFileDescriptors) {
    char path[] = "/tmp/zel-hostile-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "contents", 8), 8);
    close(fd);
    // The stream's descriptor closed behind the record, and a record without a
    // stream: reads give NULL, writes nothing, close releases the record.
    ZelAsyncFile *f = zel_async_file_open(path);
    ASSERT_NE(f, nullptr);
    close(fileno(f->stream));
    auto *none = static_cast<ZelAsyncFile *>(malloc(sizeof(ZelAsyncFile)));
    *none = {nullptr, strdup(path), 1};
    for (ZelAsyncFile *file : {f, none}) {
        EXPECT_EQ(zel_async_file_read(file), nullptr);
        zel_nb_file_write(file, "lost");
    }
    zel_async_file_close(f);
    zel_async_file_close(none);
    ZelAsyncFile *again = zel_async_file_open(path);
    EXPECT_EQ(take(zel_async_file_read(again)), "contents");
    zel_async_file_close(again);
    unlink(path);
}

TEST_F(Async, HostilePeerVanishesMidTransfer) {
    std::string sent(3000, 'p');
    {  // A reset after part of a transfer: what arrived is a prefix, then the end.
        Pair t;
        zel_async_socket_write(t.server, sent.c_str());
        struct linger now = {1, 0};
        setsockopt(t.server->fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
        zel_async_socket_close(t.server);
        t.server = nullptr;
        std::string got;
        for (char *piece; (piece = zel_async_socket_read(t.client)) != nullptr;) got += take(piece);
        EXPECT_EQ(got, sent.substr(0, got.size()));
        EXPECT_EQ(zel_async_socket_read(t.client), nullptr);
    }
    {  // A reader blocked when the peer goes away returns.
        Pair t;
        std::thread closer([&t] {
            usleep(50000);
            zel_async_socket_close(t.server);
            t.server = nullptr;
        });
        EXPECT_EQ(zel_async_socket_read(t.client), nullptr);
        closer.join();
    }
    {  // So does a non-blocking read waiting on the default loop.
        Pair t(true);
        ASSERT_TRUE(t.client != nullptr && t.client->open == 1);
        std::thread closer([&t] {
            usleep(50000);
            zel_async_socket_close(t.server);
            t.server = nullptr;
        });
        EXPECT_EQ(zel_nb_socket_read(t.client), nullptr);
        closer.join();
    }
}

// SIGUSR1 with a handler that does nothing, with or without SA_RESTART.
struct Handler {
    struct sigaction old = {};
    explicit Handler(int flags) {
        struct sigaction sa = {};
        sa.sa_handler = [](int) {};
        sa.sa_flags = flags;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGUSR1, &sa, &old);
    }
    ~Handler() { sigaction(SIGUSR1, &old, nullptr); }
};

// Reads on a thread of its own while this one signals it: without SA_RESTART
// until a read was interrupted (a NULL with EINTR, nothing consumed), with it
// for 50 ms. Then the peer writes; the reader must get those bytes whole.
struct Interrupted {
    std::atomic<int> interrupted{0}, failed{0};
    std::string got;
    void run(ZelSocket *peer, bool restart, const std::function<char *()> &read) {
        std::atomic<bool> done{false};
        std::thread reader([&] {
            for (;;) {
                errno = 0;
                char *p = read();
                if (p != nullptr) {
                    got = take(p);
                    break;
                }
                (errno == EINTR ? interrupted : failed)++;
                if (errno != EINTR) break;
            }
            done = true;
        });
        for (int64_t end = at::now_ms() + (restart ? 50 : 5000); at::now_ms() < end && interrupted == 0 && !done;) {
            pthread_kill(reader.native_handle(), SIGUSR1);
            usleep(1000);
        }
        zel_async_socket_write(peer, "after the signals");
        reader.join();
    }
};

TEST_F(Async, HostileSignalsDuringReads) {
    {  // A pass of a loop is cut short: -1 with EINTR, long before its time is up.
        Handler h(0);
        ZelEventLoop *loop = zel_event_loop_create();
        int32_t pass = 0;
        int err = 0;
        int64_t start = at::now_ms(), took = 0;
        std::atomic<bool> done{false};
        std::thread waiter([&] {
            pass = zel_event_loop_run_once(loop, 20000);
            err = errno;
            took = at::now_ms() - start;
            done = true;
        });
        // Until it is seen: a signal that comes before the wait begins is lost.
        for (int i = 0; i < 1000 && !done; ++i, usleep(5000)) pthread_kill(waiter.native_handle(), SIGUSR1);
        waiter.join();
        EXPECT_EQ(pass, -1);
        EXPECT_EQ(err, EINTR);
        EXPECT_LT(took, 10000);
        zel_event_loop_destroy(loop);
    }
    {
        Handler h(0);
        Pair t;
        Interrupted r;
        r.run(t.server, false, [&t] { return zel_async_socket_read(t.client); });
        EXPECT_GE(r.interrupted, 1);
        EXPECT_EQ(r.failed, 0);
        EXPECT_EQ(r.got, "after the signals");
    }
    {
        Handler h(SA_RESTART);
        Pair t;
        Interrupted r;
        r.run(t.server, true, [&t] { return zel_async_socket_read(t.client); });
        EXPECT_EQ(r.interrupted + r.failed, 0);
        EXPECT_EQ(r.got, "after the signals");
    }
    {  // The non-blocking read retries a pass that a signal cut short.
        Handler h(0);
        Pair t(true);
        ASSERT_TRUE(t.client != nullptr && t.client->open == 1);
        Interrupted r;
        r.run(t.server, true, [&t] { return zel_nb_socket_read(t.client); });
        EXPECT_EQ(r.interrupted + r.failed, 0);
        EXPECT_EQ(r.got, "after the signals");
    }
}

}  // namespace
