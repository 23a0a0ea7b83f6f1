// Allocation failure in the executor, the event loop, files and sockets.
#include <sys/socket.h>

#include <string>

#include "faults/faults.h"

namespace {

using zf::I;
using zf::P;
using zf::Shot;

void drop_default_loop() {
    zel_event_loop_destroy(g_event_loop);
    g_event_loop = nullptr;
}

bool registered(int64_t fd) {
    for (int32_t i = 0; g_event_loop != nullptr && i < g_event_loop->slot_count; ++i)
        if (g_event_loop->handlers[i].active && g_event_loop->handlers[i].fd == fd) return true;
    return false;
}

// The heap text p (released here) is want.
bool text_is(char *p, const char *want) {
    bool ok = p != nullptr && strcmp(p, want) == 0;
    free(p);
    return ok;
}

void drain(const ZelSocket *s) {
    char buf[64];
    while (recv(s->fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
}

TEST(AllocationFailure, ExecutorAndLoop) {
    ZelExecutor *ex = nullptr;
    auto pending = [&] {
        drop_default_loop();
        ex = zel_executor_new();
        ZelTask *t = zel_task_new(1);
        t->state = 0;
        zel_executor_spawn(ex, t);
    };
    zf::check({
        {"zel_task_new", {}, [] { return I(zel_task_new(3)); },
         [](const Shot &s) {
             bool ok = s.r == 0 || zel_task_get_result(P<ZelTask>(s.r)) == 3;
             zel_task_free(P<ZelTask>(s.r));
             return ok && zf::null_iff_failed(s);
         }},
        {"zel_executor_new", {}, [] { return I(zel_executor_new()); },
         [](const Shot &s) {
             zel_executor_free(P<ZelExecutor>(s.r));
             return zf::null_iff_failed(s);
         }},
        {"zel_executor_block_on", [&] { ex = zel_executor_new(), zel_get_event_loop(); },
         [&] { return zel_executor_block_on(ex, 5); },
         [&](const Shot &s) {
             bool ok = s.r == 5 && zel_executor_completed_count(ex) == (s.failed ? 0 : 1);
             zel_executor_free(ex);
             return ok;
         }},
        // Without a default loop the pass still completes the pending task.
        {"zel_executor_run, no default loop", pending, [&] { return zel_executor_run(ex), int64_t{0}; },
         [&](const Shot &s) {
             bool ok = zel_executor_completed_count(ex) == 1 && (g_event_loop == nullptr) == s.failed;
             zel_executor_free(ex);
             drop_default_loop();
             return ok;
         }},
        {"zel_block_on, no default loop", drop_default_loop, [] { return zel_block_on(42); },
         [](const Shot &s) {
             drop_default_loop();
             return s.r == 42;
         }},
        {"zel_event_loop_create", {}, [] { return I(zel_event_loop_create()); },
         [](const Shot &s) {
             zel_event_loop_destroy(P<ZelEventLoop>(s.r));
             return zf::null_iff_failed(s);
         }},
        {"zel_get_event_loop", drop_default_loop, [] { return I(zel_get_event_loop()); },
         [](const Shot &s) {
             bool ok = s.r == I(g_event_loop) && zf::null_iff_failed(s);
             drop_default_loop();
             return ok;
         }},
    });
}

TEST(AllocationFailure, AsyncFiles) {
    std::string path = "/tmp/zel_faults_async_" + std::to_string(getpid());
    ZelAsyncFile *f = nullptr;
    auto reset = [&] {
        FILE *w = fopen(path.c_str(), "w");
        fputs("abcdef", w);
        fclose(w);
    };
    zf::check({
        // An existing file comes back read-write, or not at all.
        {"zel_async_file_open", reset, [&] { return I(zel_async_file_open(path.c_str())); },
         [&](const Shot &s) {
             auto *file = P<ZelAsyncFile>(s.r);
             if (file == nullptr) return s.failed;
             zel_async_file_write(file, "xyz");
             bool ok = text_is(zel_async_file_read(file), "xyzdef");
             zel_async_file_close(file);
             return ok;
         }},
        {"zel_async_file_read", [&] { reset(), f = zel_async_file_open(path.c_str()); },
         [&] { return I(zel_async_file_read(f)); },
         [&](const Shot &s) {
             bool ok = s.r == 0 ? s.failed : text_is(P<char>(s.r), "abcdef");
             zel_async_file_close(f);
             return ok;
         }},
    });
    unlink(path.c_str());
}

TEST(AllocationFailure, Sockets) {
    ZelSocket *listener = zel_async_socket_listen(0), *l = nullptr, *client = nullptr, *server = nullptr;
    ASSERT_NE(listener, nullptr);
    int32_t port = static_cast<int32_t>(zel_async_socket_port(listener));
    ZelSocket *udp = zel_async_udp_bind(0), *target = zel_async_udp_bind(0);
    int32_t target_port = static_cast<int32_t>(zel_async_socket_port(target));
    // A connection whose peer end has sent "hi", and its listener.
    auto pair = [&](bool sent) {
        l = zel_async_socket_listen(0);
        client = zel_async_socket_connect("127.0.0.1", static_cast<int32_t>(zel_async_socket_port(l)));
        if (sent) server = zel_async_socket_accept(l), zel_async_socket_write(server, "hi");
    };
    auto close_pair = [&] {
        for (ZelSocket *s : {l, client, server}) zel_async_socket_close(s);
        l = client = server = nullptr;
    };
    auto ping = [&] {
        drain(target);
        zel_async_udp_sendto(udp, "127.0.0.1", target_port, "ping");
    };
    auto closed = [](const Shot &s) {
        zel_async_socket_close(P<ZelSocket>(s.r));
        return zf::null_iff_failed(s);
    };
    zf::check({
        {"zel_async_socket_listen", {}, [] { return I(zel_async_socket_listen(0)); }, closed},
        {"zel_async_socket_connect", {}, [&] { return I(zel_async_socket_connect("127.0.0.1", port)); },
         [](const Shot &s) {
             bool ok = s.r == 0 || strcmp(zel_async_socket_host(P<ZelSocket>(s.r)), "127.0.0.1") == 0;
             zel_async_socket_close(P<ZelSocket>(s.r));
             return ok && (s.r != 0 || s.failed);
         }},
        // A connection accepted without a record for it is closed again.
        {"zel_async_socket_accept", [&] { pair(false); }, [&] { return I(zel_async_socket_accept(l)); },
         [&](const Shot &s) {
             bool ok = s.r != 0 ? strcmp(zel_async_socket_host(P<ZelSocket>(s.r)), "127.0.0.1") == 0
                                : s.failed && zel_async_socket_read(client) == nullptr;
             zel_async_socket_close(P<ZelSocket>(s.r));
             close_pair();
             return ok;
         }},
        // A read without a buffer takes nothing from the connection.
        {"zel_async_socket_read", [&] { pair(true); }, [&] { return I(zel_async_socket_read(client)); },
         [&](const Shot &s) {
             bool ok = text_is(s.r != 0 ? P<char>(s.r) : zel_async_socket_read(client), "hi") && (s.r != 0 || s.failed);
             close_pair();
             return ok;
         }},
        {"zel_nb_socket_connect, no default loop", drop_default_loop,
         [&] { return I(zel_nb_socket_connect("127.0.0.1", port)); },
         [](const Shot &s) {
             auto *sock = P<ZelSocket>(s.r);
             if (sock == nullptr) return s.failed;
             // A pending connect completes; one whose wait could not be had stays not open.
             bool pending = registered(sock->fd), ok = pending || sock->open == 1 || s.failed;
             for (int i = 0; i < 200 && pending && sock->open == 0; ++i) zel_event_loop_run_once(g_event_loop, 10);
             ok = ok && (!pending || sock->open == 1);
             zel_async_socket_close(sock);
             drop_default_loop();
             return ok;
         }},
        {"zel_nb_socket_read", [&] { pair(true), zel_get_event_loop(); }, [&] { return I(zel_nb_socket_read(client)); },
         [&](const Shot &s) {
             bool ok = s.r != 0 ? text_is(P<char>(s.r), "hi")
                                : s.failed && !registered(client->fd) && text_is(zel_async_socket_read(client), "hi");
             close_pair();
             return ok;
         }},
        {"zel_nb_socket_read, no default loop", [&] { pair(true), drop_default_loop(); },
         [&] { return I(zel_nb_socket_read(client)); },
         [&](const Shot &s) {
             bool ok = s.r != 0 ? text_is(P<char>(s.r), "hi") : s.failed && text_is(zel_async_socket_read(client), "hi");
             close_pair();
             drop_default_loop();
             return ok;
         }},
        {"zel_async_udp_bind", {}, [] { return I(zel_async_udp_bind(0)); }, closed},
        {"zel_async_udp_recv", ping, [&] { return I(zel_async_udp_recv(target)); },
         [&](const Shot &s) { return text_is(s.r != 0 ? P<char>(s.r) : zel_async_udp_recv(target), "ping") && (s.r != 0 || s.failed); }},
        {"zel_async_udp_recvfrom", ping, [&] { return I(zel_async_udp_recvfrom(target)); },
         [&](const Shot &s) {
             auto *p = P<ZelUdpPacket>(s.r);
             bool ok = p == nullptr ? s.failed
                                    : strcmp(zel_udp_packet_payload(p), "ping") == 0 && zel_udp_packet_len(p) == 4 &&
                                          strcmp(zel_udp_packet_host(p), "127.0.0.1") == 0 &&
                                          zel_udp_packet_port(p) == zel_async_socket_port(udp);
             zel_udp_packet_free(p);
             return ok;
         }},
    });
    for (ZelSocket *s : {listener, udp, target}) zel_async_socket_close(s);
    drop_default_loop();
}

}  // namespace
