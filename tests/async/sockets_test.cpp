#include <arpa/inet.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <string>

#include "async_test.h"

namespace {

using at::Async;
using at::take;

// A connected pair through a loopback listener on a system-chosen port.
struct Tcp {
    ZelSocket *listener = zel_async_socket_listen(0);
    ZelSocket *client, *server;
    explicit Tcp(bool non_blocking = false) {
        auto port = static_cast<int32_t>(zel_async_socket_port(listener));
        client = non_blocking ? zel_nb_socket_connect("127.0.0.1", port) : zel_async_socket_connect("127.0.0.1", port);
        server = zel_async_socket_accept(listener);
    }
    ~Tcp() {
        for (ZelSocket *s : {client, server, listener}) zel_async_socket_close(s);
    }
};

TEST_F(Async, TcpListenAcceptAndReadInPieces) {
    Tcp t;
    ASSERT_TRUE(t.server != nullptr && t.client != nullptr);
    EXPECT_STREQ(zel_async_socket_host(t.listener), "0.0.0.0");
    EXPECT_GT(zel_async_socket_port(t.listener), 0);
    EXPECT_STREQ(zel_async_socket_host(t.server), "127.0.0.1");
    sockaddr_in local = {};
    socklen_t len = sizeof local;
    getsockname(t.client->fd, reinterpret_cast<sockaddr *>(&local), &len);
    EXPECT_EQ(zel_async_socket_port(t.server), ntohs(local.sin_port));

    std::string sent;
    for (int i = 0; i < 10000; ++i) sent += static_cast<char>('a' + i % 26);
    zel_async_socket_write(t.server, sent.c_str());
    zel_async_socket_close(t.server);
    t.server = nullptr;
    std::string got;
    while (got.size() < sent.size()) {
        std::string piece = take(zel_async_socket_read(t.client));
        ASSERT_TRUE(piece != "<null>" && piece.size() <= 4095) << piece.size();
        got += piece;
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(zel_async_socket_read(t.client), nullptr);  // end of stream
    t.listener->open = 0;
    EXPECT_EQ(zel_async_socket_accept(t.listener), nullptr);
    EXPECT_EQ(zel_async_socket_connect("127.0.0.1", at::closed_port()), nullptr);
}

TEST_F(Async, WritingToAPeerThatHasGoneLeavesTheProcessAlive) {
    EXPECT_EQ(at::bounded_child([] {
                  Tcp t;
                  zel_async_socket_close(t.server);
                  t.server = nullptr;
                  // The first send draws a reset; later ones meet a broken pipe.
                  for (int i = 0; i < 5; ++i, usleep(20000)) zel_nb_socket_write(t.client, "still there?");
                  return 0;
              }),
              0);
}

void ignore(void *, int64_t, uint32_t) {}

TEST_F(Async, UdpRoundTripWithTheSender) {
    ZelSocket *a = zel_async_udp_bind(0), *b = zel_async_udp_bind(0);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    auto port_b = static_cast<int32_t>(zel_async_socket_port(b));
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
    b->open = 0;
    EXPECT_EQ(zel_async_udp_recvfrom(b), nullptr);
    zel_async_udp_close(a);
    zel_async_udp_close(b);
}

TEST_F(Async, NonBlockingConnectSucceedsAndReads) {
    Tcp t(true);
    ASSERT_TRUE(t.server != nullptr && t.client != nullptr);
    ZelExecutor *ex = zel_executor_new();  // executor passes drive the default loop
    for (int64_t end = at::now_ms() + 10000; t.client->open == 0 && at::now_ms() < end; usleep(1000)) zel_executor_run(ex);
    zel_executor_free(ex);
    ASSERT_EQ(t.client->open, 1);
    zel_async_socket_write(t.server, "ping");
    EXPECT_EQ(take(zel_nb_socket_read(t.client)), "ping");
    zel_async_socket_close(t.server);
    t.server = nullptr;
    EXPECT_EQ(zel_nb_socket_read(t.client), nullptr);  // end of stream
}

TEST_F(Async, NonBlockingConnectFailsOrIsWithdrawnByClose) {
    ZelSocket *s = zel_nb_socket_connect("127.0.0.1", at::closed_port());
    if (s != nullptr) {  // the refusal may also come at once (NULL)
        EXPECT_TRUE(at::pump_until([s] { return s->fd == -1; }));
        EXPECT_EQ(s->open, 0);
        EXPECT_EQ(zel_nb_socket_read(s), nullptr);
        zel_async_socket_close(s);
    }
    // Closed while pending: the wait is withdrawn (the fixture sees no handler
    // left), so the next socket, likely on the same descriptor, completes.
    ZelSocket *l = zel_async_socket_listen(0);
    auto port = static_cast<int32_t>(zel_async_socket_port(l));
    zel_async_socket_close(zel_nb_socket_connect("127.0.0.1", port));
    ZelSocket *c = zel_nb_socket_connect("127.0.0.1", port);
    EXPECT_TRUE(at::pump_until([c] { return c->open == 1; }));
    zel_async_socket_close(c);
    // The first connection may not have reached the queue before its close.
    struct pollfd queued = {l->fd, POLLIN, 0};
    while (poll(&queued, 1, 1000) == 1) zel_async_socket_close(zel_async_socket_accept(l));
    zel_async_socket_close(l);
}

// Closes the socket being read, from another handler of the same loop.
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
    // once, and a refused connect stays not open. Both states last, so they
    // are made in a child that first forgets the inherited loop.
    EXPECT_EQ(at::bounded_child([] {
                  Tcp u;
                  zel_async_socket_write(u.server, "unread");
                  g_event_loop = nullptr;
                  ZelEventLoop *loop = zel_get_event_loop();
                  for (int fd = 100000; loop->slot_count < 1024; ++fd) zel_event_loop_register(loop, fd, 1, ignore, nullptr);
                  if (zel_nb_socket_read(u.client) != nullptr) return 1;
                  ZelSocket *pending = zel_nb_socket_connect("127.0.0.1", static_cast<int32_t>(u.listener->port));
                  if (pending == nullptr || pending->open != 0) return 2;
                  zel_async_socket_close(pending);
                  g_event_loop = nullptr;
                  zel_event_loop_stop(zel_get_event_loop());
                  return zel_nb_socket_read(u.client) == nullptr ? 0 : 3;
              }),
              0);
}

}  // namespace
