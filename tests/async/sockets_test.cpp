#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <string>
#include <thread>

#include "async_test.h"

namespace {

using at::Async;

// A connected pair through a loopback listener on a system-chosen port.
struct Tcp {
    ZelSocket *listener = zel_async_socket_listen(0);
    ZelSocket *client = nullptr;
    ZelSocket *server = nullptr;
    explicit Tcp(bool non_blocking = false) {
        int32_t port = static_cast<int32_t>(zel_async_socket_port(listener));
        client = non_blocking ? zel_nb_socket_connect("127.0.0.1", port) : zel_async_socket_connect("127.0.0.1", port);
        server = zel_async_socket_accept(listener);
    }
    ~Tcp() {
        zel_async_socket_close(client);
        zel_async_socket_close(server);
        zel_async_socket_close(listener);
    }
};

std::string take(char *buf) {
    std::string s = buf != nullptr ? buf : "<null>";
    free(buf);
    return s;
}

TEST_F(Async, TcpListenAcceptAndReadInPieces) {
    Tcp t;
    ASSERT_NE(t.server, nullptr);
    ASSERT_NE(t.client, nullptr);
    EXPECT_STREQ(zel_async_socket_host(t.listener), "0.0.0.0");
    EXPECT_GT(zel_async_socket_port(t.listener), 0);
    EXPECT_STREQ(zel_async_socket_host(t.client), "127.0.0.1");
    EXPECT_STREQ(zel_async_socket_host(t.server), "127.0.0.1");
    EXPECT_EQ(zel_async_socket_port(t.server), at::local_port(t.client));

    std::string sent;
    for (int i = 0; i < 10000; ++i) sent += static_cast<char>('a' + i % 26);
    zel_async_socket_write(t.server, sent.c_str());
    zel_async_socket_close(t.server);
    t.server = nullptr;
    std::string got;
    while (got.size() < sent.size()) {
        std::string piece = take(zel_async_socket_read(t.client));
        ASSERT_NE(piece, "<null>");
        ASSERT_LE(piece.size(), 4095u);
        got += piece;
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(zel_async_socket_read(t.client), nullptr);  // end of stream

    t.client->open = 0;
    zel_async_socket_write(t.client, "x");
    EXPECT_EQ(zel_async_socket_read(t.client), nullptr);
    t.listener->open = 0;
    EXPECT_EQ(zel_async_socket_accept(t.listener), nullptr);
    EXPECT_EQ(zel_async_socket_connect("127.0.0.1", at::closed_port()), nullptr);
    EXPECT_EQ(zel_async_socket_connect(nullptr, 80), nullptr);
    EXPECT_EQ(zel_async_socket_accept(nullptr), nullptr);
    EXPECT_EQ(zel_async_socket_read(nullptr), nullptr);
    zel_async_socket_write(nullptr, "x");
    zel_async_socket_close(nullptr);
    EXPECT_EQ(zel_async_socket_port(nullptr), 0);
    EXPECT_EQ(zel_async_socket_host(nullptr), nullptr);
}

TEST_F(Async, WritingToAPeerThatHasGoneLeavesTheProcessAlive) {
    zt::ChildResult r = at::bounded_child([] {
        Tcp t;
        zel_async_socket_close(t.server);
        t.server = nullptr;
        // The first send draws a reset; the later ones meet a broken pipe.
        for (int i = 0; i < 5; ++i) {
            zel_async_socket_write(t.client, "are you there?");
            zel_nb_socket_write(t.client, "still?");
            usleep(20000);
        }
        return 0;
    });
    EXPECT_EQ(r.status, 0);
}

void ignore(void *, int64_t, uint32_t) {}

// Blocking sockets may be closed on any thread while the default loop's own
// thread changes its table (the thread sanitizer build checks this).
TEST_F(Async, BlockingSocketsCloseOnAnyThread) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    std::thread other([] {
        for (int i = 0; i < 200; ++i) zel_async_udp_close(zel_async_udp_bind(0));
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(zel_event_loop_register(g_event_loop, p[1], 2, ignore, nullptr), 0);
        EXPECT_EQ(zel_event_loop_run_once(g_event_loop, 0), 1);
        ASSERT_EQ(zel_event_loop_unregister(g_event_loop, p[1]), 0);
    }
    other.join();
    close(p[0]);
    close(p[1]);
}

TEST_F(Async, UdpRoundTripWithTheSender) {
    ZelSocket *a = zel_async_udp_bind(0), *b = zel_async_udp_bind(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_STREQ(zel_async_socket_host(a), "0.0.0.0");
    int32_t port_b = static_cast<int32_t>(zel_async_socket_port(b));
    EXPECT_EQ(zel_async_udp_sendto(a, "127.0.0.1", port_b, "hi"), 2);
    ZelUdpPacket *p = zel_async_udp_recvfrom(b);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(zel_udp_packet_len(p), 2);
    EXPECT_EQ(std::string(zel_udp_packet_payload(p), 3), std::string("hi\0", 3));
    EXPECT_STREQ(zel_udp_packet_host(p), "127.0.0.1");
    EXPECT_EQ(zel_udp_packet_port(p), zel_async_socket_port(a));
    zel_udp_packet_free(p);
    // A name goes through the resolver; only the low 16 bits of a port count.
    EXPECT_EQ(zel_async_udp_sendto(a, "localhost", port_b + 65536, "by name"), 7);
    EXPECT_EQ(take(zel_async_udp_recv(b)), "by name");
    EXPECT_EQ(zel_async_udp_sendto(a, "127.0.0.1", port_b, ""), 0);
    EXPECT_EQ(zel_async_udp_recv(b), nullptr);  // an empty datagram

    EXPECT_EQ(zel_async_udp_sendto(a, nullptr, port_b, "x"), -1);
    EXPECT_EQ(zel_async_udp_sendto(a, "127.0.0.1", port_b, nullptr), -1);
    EXPECT_EQ(zel_async_udp_sendto(nullptr, "127.0.0.1", port_b, "x"), -1);
    b->open = 0;
    EXPECT_EQ(zel_async_udp_recv(b), nullptr);
    EXPECT_EQ(zel_async_udp_recvfrom(b), nullptr);
    EXPECT_EQ(zel_async_udp_sendto(b, "127.0.0.1", port_b, "x"), -1);
    EXPECT_EQ(zel_async_udp_recvfrom(nullptr), nullptr);
    EXPECT_EQ(zel_udp_packet_payload(nullptr), nullptr);
    EXPECT_EQ(zel_udp_packet_host(nullptr), nullptr);
    EXPECT_EQ(zel_udp_packet_port(nullptr), 0);
    EXPECT_EQ(zel_udp_packet_len(nullptr), 0);
    zel_udp_packet_free(nullptr);
    zel_async_udp_close(a);
    zel_async_udp_close(b);
}

TEST_F(Async, NonBlockingConnectSucceedsAndReads) {
    Tcp t(true);
    ASSERT_NE(t.client, nullptr);
    ASSERT_NE(t.server, nullptr);
    ZelExecutor *ex = zel_executor_new();  // executor passes drive the default loop
    for (int64_t end = at::now_ms() + 10000; t.client->open == 0 && at::now_ms() < end; usleep(1000))
        zel_executor_run(ex);
    zel_executor_free(ex);
    ASSERT_EQ(t.client->open, 1);
    zel_async_socket_write(t.server, "ping");
    EXPECT_EQ(take(zel_nb_socket_read(t.client)), "ping");
    zel_nb_socket_write(t.client, "pong");
    EXPECT_EQ(take(zel_async_socket_read(t.server)), "pong");
    zel_async_socket_close(t.server);
    t.server = nullptr;
    EXPECT_EQ(zel_nb_socket_read(t.client), nullptr);  // end of stream
    EXPECT_EQ(zel_nb_socket_read(nullptr), nullptr);
    EXPECT_EQ(zel_nb_socket_connect(nullptr, 1), nullptr);
}

TEST_F(Async, NonBlockingConnectFailsOrIsWithdrawnByClose) {
    ZelSocket *s = zel_nb_socket_connect("127.0.0.1", at::closed_port());
    if (s != nullptr) {  // a refusal may also come at once (NULL)
        EXPECT_TRUE(at::pump_until([s] { return s->fd == -1; }));
        EXPECT_EQ(s->open, 0);
        EXPECT_EQ(zel_nb_socket_read(s), nullptr);
        zel_async_socket_close(s);
    }
    // Closed while pending: the wait is withdrawn, so the next socket, which
    // likely reuses the descriptor, still completes (the fixture checks that
    // no handler is left behind).
    ZelSocket *l = zel_async_socket_listen(0);
    int32_t port = static_cast<int32_t>(zel_async_socket_port(l));
    zel_async_socket_close(zel_nb_socket_connect("127.0.0.1", port));
    ZelSocket *c = zel_nb_socket_connect("127.0.0.1", port);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(at::pump_until([c] { return c->open == 1; }));
    zel_async_socket_close(c);
    // The first connection may not have reached the queue before its close.
    struct pollfd pending = {l->fd, POLLIN, 0};
    while (poll(&pending, 1, 1000) == 1) zel_async_socket_close(zel_async_socket_accept(l));
    zel_async_socket_close(l);
}

// Closes the socket being read from inside another handler of the same loop.
void close_reader(void *user, int64_t fd, uint32_t) {
    zel_event_loop_unregister(g_event_loop, fd);
    zel_async_socket_close(static_cast<ZelSocket *>(user));
}

TEST_F(Async, NonBlockingReadEndsWhenItCannotWait) {
    Tcp t(true);
    ASSERT_TRUE(at::pump_until([&t] { return t.client->open == 1; }));
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    ASSERT_EQ(zel_event_loop_register(g_event_loop, p[1], 2, close_reader, t.client), 0);
    EXPECT_EQ(zel_nb_socket_read(t.client), nullptr);
    t.client = nullptr;
    close(p[0]);
    close(p[1]);

    // A default loop that refuses the socket, or is stopped, ends the read at
    // once; a refused connect stays not open. Both states are for good, so they
    // are made in a child that first forgets the inherited loop.
    zt::ChildResult r = at::bounded_child([] {
        Tcp u;
        if (u.server == nullptr) return 1;
        zel_async_socket_write(u.server, "unread");
        g_event_loop = nullptr;
        ZelEventLoop *loop = zel_get_event_loop();
        for (int fd = 100000; loop->slot_count < 1024; ++fd) zel_event_loop_register(loop, fd, 1, close_reader, nullptr);
        if (zel_nb_socket_read(u.client) != nullptr) return 2;
        ZelSocket *pending = zel_nb_socket_connect("127.0.0.1", static_cast<int32_t>(zel_async_socket_port(u.listener)));
        if (pending == nullptr || pending->open != 0) return 3;
        zel_async_socket_close(pending);
        g_event_loop = nullptr;
        zel_event_loop_stop(zel_get_event_loop());
        return zel_nb_socket_read(u.client) == nullptr ? 0 : 4;
    });
    EXPECT_EQ(r.status, 0);
}

}  // namespace
