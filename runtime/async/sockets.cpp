// IPv4 sockets: blocking TCP and UDP calls made at the moment of the call, and
// non-blocking TCP whose connecting and receiving complete through the default
// event loop. Received text is a NUL-terminated heap buffer owned by the caller.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <stddef.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include "../core/internal.h"

static_assert(sizeof(ZelSocket) == 24, "ZelSocket layout");
static_assert(offsetof(ZelSocket, fd) == 0, "ZelSocket layout");
static_assert(offsetof(ZelSocket, host) == 8, "ZelSocket layout");
static_assert(offsetof(ZelSocket, port) == 16, "ZelSocket layout");
static_assert(offsetof(ZelSocket, open) == 20, "ZelSocket layout");
static_assert(sizeof(ZelUdpPacket) == 24, "ZelUdpPacket layout");
static_assert(offsetof(ZelUdpPacket, payload) == 0, "ZelUdpPacket layout");
static_assert(offsetof(ZelUdpPacket, host) == 8, "ZelUdpPacket layout");
static_assert(offsetof(ZelUdpPacket, port) == 16, "ZelUdpPacket layout");
static_assert(offsetof(ZelUdpPacket, len) == 20, "ZelUdpPacket layout");

namespace zel {
namespace {

constexpr int32_t kRecvCapacity = 4096;  // one byte stays for the NUL
constexpr int kBacklog = 4096;

// One pending non-blocking connect; both waits begin with the socket so that
// closing a socket can recognise its own pending wait on the default loop.
struct ZelConnectWait {
    ZelSocket *sock;
    int32_t done;
};

struct ZelRecvWait {
    ZelSocket *sock;
    char *buf;
    int32_t capacity;
    int32_t received;
    int32_t done;
};

// Fills out with host:port (the low 16 bits of port): dotted text directly,
// anything else through the resolver, IPv4 only.
bool resolve(const char *host, int32_t port, int socktype, sockaddr_in *out) {
    memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, host, &out->sin_addr) == 1) return true;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = socktype;
    addrinfo *list = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &list) != 0 || list == nullptr) return false;
    bool found = list->ai_family == AF_INET && list->ai_addr != nullptr;
    if (found) out->sin_addr = reinterpret_cast<const sockaddr_in *>(list->ai_addr)->sin_addr;
    freeaddrinfo(list);
    return found;
}

// A record over an open descriptor; on failure the descriptor is closed and
// host is freed, so callers have nothing left to release.
ZelSocket *make_socket(int fd, char *host, int32_t port, int32_t open) {
    auto *s = static_cast<ZelSocket *>(malloc(sizeof(ZelSocket)));
    if (s == nullptr || host == nullptr) {
        close(fd);
        free(host);
        free(s);
        return nullptr;
    }
    s->fd = fd;
    s->host = host;
    s->port = port;
    s->open = open;
    return s;
}

void close_keep_errno(int fd) {
    int saved = errno;
    close(fd);
    errno = saved;
}

// The port the system actually bound, or the requested one when it cannot say.
int32_t bound_port(int fd, int32_t requested) {
    sockaddr_in addr = {};
    socklen_t len = sizeof addr;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) return requested;
    return ntohs(addr.sin_port);
}

// A socket of the given type bound to 0.0.0.0:port with address reuse on.
int bind_any(int type, int32_t port) {
    int fd = socket(AF_INET, type, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close_keep_errno(fd);
        return -1;
    }
    return fd;
}

char *dotted(const in_addr &a) {
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &a, text, sizeof text) == nullptr) return nullptr;
    return strdup(text);
}

// One receive of at most 4095 bytes into a new buffer; NULL when nothing came.
char *receive(int fd, sockaddr_in *from, int32_t *count) {
    auto *buf = static_cast<char *>(malloc(kRecvCapacity));
    if (buf == nullptr) return nullptr;
    socklen_t len = sizeof *from;
    ssize_t n = from != nullptr ? recvfrom(fd, buf, kRecvCapacity - 1, 0, reinterpret_cast<sockaddr *>(from), &len)
                                : recv(fd, buf, kRecvCapacity - 1, 0);
    if (n <= 0) {
        free(buf);
        return nullptr;
    }
    buf[n] = '\0';
    if (count != nullptr) *count = static_cast<int32_t>(n);
    return buf;
}

// Clears the slot for fd on loop when it still carries this user data, so a
// failed or abandoned wait never leaves a handler pointing at freed memory,
// and a handler someone else registered for fd is left alone.
void drop_own_slot(ZelEventLoop *loop, int64_t fd, const void *user_data) {
    for (int32_t i = 0; i < loop->slot_count; ++i) {
        const ZelEventHandler &h = loop->handlers[i];
        if (h.active && h.fd == fd) {
            if (h.user_data == user_data) zel_event_loop_unregister(loop, fd);
            return;
        }
    }
}

}  // namespace
}  // namespace zel

using zel::ZelConnectWait;
using zel::ZelRecvWait;

// Called by the default loop while a non-blocking connect is pending: the first
// writable or error report settles the connection and withdraws the wait.
extern "C" void on_connect_ready(void *user_data, int64_t fd, uint32_t ready) {
    auto *wait = static_cast<ZelConnectWait *>(user_data);
    if (wait->done) return;
    ZelSocket *s = wait->sock;
    bool failed;
    if (ready & ZEL_EVENT_ERROR) {
        failed = true;
    } else if (ready & ZEL_EVENT_WRITABLE) {
        int err = 0;
        socklen_t len = sizeof err;
        failed = getsockopt(s->fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0;
    } else {
        return;
    }
    wait->done = 1;
    // Withdrawn before the descriptor is closed, while epoll still knows it.
    ZelEventLoop *loop = zel_get_event_loop();
    if (loop != nullptr) zel_event_loop_unregister(loop, fd);
    if (failed) {
        close(s->fd);
        s->fd = -1;
        s->open = 0;
    } else {
        s->open = 1;
    }
    free(wait);
}

// Called by the default loop during zel_nb_socket_read: one receive, then the
// wait is done and withdrawn.
extern "C" void on_recv_ready(void *user_data, int64_t fd, uint32_t ready) {
    auto *wait = static_cast<ZelRecvWait *>(user_data);
    if (wait->done || !(ready & (ZEL_EVENT_READABLE | ZEL_EVENT_ERROR))) return;
    ssize_t n = recv(static_cast<int>(fd), wait->buf, static_cast<size_t>(wait->capacity - 1), 0);
    wait->received = static_cast<int32_t>(n);
    if (n > 0) wait->buf[n] = '\0';
    wait->done = 1;
    ZelEventLoop *loop = zel_get_event_loop();
    if (loop != nullptr) zel_event_loop_unregister(loop, fd);
}

// ---- TCP, blocking ----

ZEL_EXPORT ZelSocket *zel_async_socket_connect(const char *host, int32_t port) {
    if (host == nullptr) return nullptr;
    sockaddr_in addr;
    if (!zel::resolve(host, port, SOCK_STREAM, &addr)) return nullptr;
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return nullptr;
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        zel::close_keep_errno(fd);
        return nullptr;
    }
    return zel::make_socket(fd, strdup(host), port, 1);
}

ZEL_EXPORT ZelSocket *zel_async_socket_listen(int32_t port) {
    int fd = zel::bind_any(SOCK_STREAM, port);
    if (fd < 0) return nullptr;
    if (listen(fd, zel::kBacklog) != 0) {
        zel::close_keep_errno(fd);
        return nullptr;
    }
    return zel::make_socket(fd, strdup("0.0.0.0"), zel::bound_port(fd, port), 1);
}

ZEL_EXPORT ZelSocket *zel_async_socket_accept(ZelSocket *listener) {
    if (listener == nullptr || !listener->open) return nullptr;
    sockaddr_in peer = {};
    socklen_t len = sizeof peer;
    int fd = accept(listener->fd, reinterpret_cast<sockaddr *>(&peer), &len);
    if (fd < 0) return nullptr;
    return zel::make_socket(fd, zel::dotted(peer.sin_addr), ntohs(peer.sin_port), 1);
}

ZEL_EXPORT char *zel_async_socket_read(ZelSocket *sock) {
    if (sock == nullptr || !sock->open) return nullptr;
    return zel::receive(sock->fd, nullptr, nullptr);
}

// MSG_NOSIGNAL: a peer that has gone makes the send fail instead of raising
// SIGPIPE, which would end the whole program.
ZEL_EXPORT void zel_async_socket_write(ZelSocket *sock, const char *text) {
    if (sock == nullptr || text == nullptr || !sock->open) return;
    ssize_t sent = send(sock->fd, text, strlen(text), MSG_NOSIGNAL);
    (void)sent;  // short sends and errors are not reported
}

ZEL_EXPORT void zel_async_socket_close(ZelSocket *sock) {
    if (sock == nullptr) return;
    // A connect or read still pending on the default loop would later write
    // into this record (or a reused descriptor's): withdraw it first. Only
    // non-blocking sockets can have one, and only they belong to the loop's
    // thread; blocking ones may be closed on any thread without touching it.
    ZelEventLoop *loop = __atomic_load_n(&g_event_loop, __ATOMIC_ACQUIRE);
    int flags = loop != nullptr && sock->fd >= 0 ? fcntl(sock->fd, F_GETFL) : -1;
    if (flags >= 0 && (flags & O_NONBLOCK)) {
        for (int32_t i = 0; i < loop->slot_count; ++i) {
            ZelEventHandler &h = loop->handlers[i];
            if (!h.active || h.fd != sock->fd) continue;
            if (h.callback == on_connect_ready && static_cast<ZelConnectWait *>(h.user_data)->sock == sock) {
                void *wait = h.user_data;
                zel_event_loop_unregister(loop, sock->fd);
                free(wait);
            } else if (h.callback == on_recv_ready && static_cast<ZelRecvWait *>(h.user_data)->sock == sock) {
                // The reader owns this wait: mark it done with nothing received.
                static_cast<ZelRecvWait *>(h.user_data)->done = 1;
                zel_event_loop_unregister(loop, sock->fd);
            }
            break;
        }
    }
    if (sock->fd >= 0) close(sock->fd);
    free(sock->host);
    free(sock);
}

ZEL_EXPORT int64_t zel_async_socket_port(const ZelSocket *sock) { return sock != nullptr ? sock->port : 0; }

ZEL_EXPORT const char *zel_async_socket_host(const ZelSocket *sock) { return sock != nullptr ? sock->host : nullptr; }

// ---- UDP, blocking ----

ZEL_EXPORT ZelSocket *zel_async_udp_bind(int32_t port) {
    int fd = zel::bind_any(SOCK_DGRAM, port);
    if (fd < 0) return nullptr;
    return zel::make_socket(fd, strdup("0.0.0.0"), zel::bound_port(fd, port), 1);
}

ZEL_EXPORT int64_t zel_async_udp_sendto(ZelSocket *sock, const char *host, int32_t port, const char *text) {
    if (sock == nullptr || host == nullptr || text == nullptr || !sock->open) return -1;
    sockaddr_in addr;
    if (!zel::resolve(host, port, SOCK_DGRAM, &addr)) return -1;
    ssize_t n = sendto(sock->fd, text, strlen(text), MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    return n < 0 ? -1 : static_cast<int64_t>(n);
}

ZEL_EXPORT char *zel_async_udp_recv(ZelSocket *sock) {
    if (sock == nullptr || !sock->open) return nullptr;
    return zel::receive(sock->fd, nullptr, nullptr);
}

ZEL_EXPORT ZelUdpPacket *zel_async_udp_recvfrom(ZelSocket *sock) {
    if (sock == nullptr || !sock->open) return nullptr;
    sockaddr_in from = {};
    int32_t count = 0;
    char *payload = zel::receive(sock->fd, &from, &count);
    if (payload == nullptr) return nullptr;
    auto *p = static_cast<ZelUdpPacket *>(malloc(sizeof(ZelUdpPacket)));
    char *host = zel::dotted(from.sin_addr);
    if (p == nullptr || host == nullptr) {
        free(p);
        free(host);
        free(payload);
        return nullptr;
    }
    p->payload = payload;
    p->host = host;
    p->port = ntohs(from.sin_port);
    p->len = count;
    return p;
}

ZEL_EXPORT void zel_async_udp_close(ZelSocket *sock) ZEL_ALIAS_OF(zel_async_socket_close);

ZEL_EXPORT const char *zel_udp_packet_payload(const ZelUdpPacket *packet) {
    return packet != nullptr ? packet->payload : nullptr;
}

ZEL_EXPORT const char *zel_udp_packet_host(const ZelUdpPacket *packet) {
    return packet != nullptr ? packet->host : nullptr;
}

ZEL_EXPORT int64_t zel_udp_packet_port(const ZelUdpPacket *packet) { return packet != nullptr ? packet->port : 0; }

ZEL_EXPORT int64_t zel_udp_packet_len(const ZelUdpPacket *packet) { return packet != nullptr ? packet->len : 0; }

ZEL_EXPORT void zel_udp_packet_free(ZelUdpPacket *packet) {
    if (packet == nullptr) return;
    free(packet->payload);
    free(packet->host);
    free(packet);
}

// ---- TCP, non-blocking through the default loop ----

ZEL_EXPORT ZelSocket *zel_nb_socket_connect(const char *host, int32_t port) {
    if (host == nullptr) return nullptr;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    if (fd < 0) return nullptr;
    sockaddr_in addr;
    if (!zel::resolve(host, port, SOCK_STREAM, &addr)) {
        zel::close_keep_errno(fd);
        return nullptr;
    }
    ZelSocket *s = zel::make_socket(fd, strdup(host), port, 0);
    if (s == nullptr) return nullptr;
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
        s->open = 1;
        return s;
    }
    if (errno != EINPROGRESS) {
        int saved = errno;
        zel_async_socket_close(s);
        errno = saved;
        return nullptr;
    }
    auto *wait = static_cast<ZelConnectWait *>(malloc(sizeof(ZelConnectWait)));
    if (wait == nullptr) return s;
    wait->sock = s;
    wait->done = 0;
    ZelEventLoop *loop = zel_get_event_loop();
    if (loop == nullptr || zel_event_loop_register(loop, fd, ZEL_EVENT_WRITABLE, on_connect_ready, wait) != 0) {
        // Without a registration nothing will ever settle this wait; the
        // socket stays not open.
        if (loop != nullptr) zel::drop_own_slot(loop, fd, wait);
        free(wait);
    }
    return s;
}

ZEL_EXPORT char *zel_nb_socket_read(ZelSocket *sock) {
    if (sock == nullptr || !sock->open) return nullptr;
    auto *wait = static_cast<ZelRecvWait *>(calloc(1, sizeof(ZelRecvWait)));
    auto *buf = static_cast<char *>(malloc(zel::kRecvCapacity));
    ZelEventLoop *loop = wait != nullptr && buf != nullptr ? zel_get_event_loop() : nullptr;
    const int64_t fd = sock->fd;
    if (loop != nullptr) {
        wait->sock = sock;
        wait->buf = buf;
        wait->capacity = zel::kRecvCapacity;
        if (zel_event_loop_register(loop, fd, ZEL_EVENT_READABLE, on_recv_ready, wait) != 0) {
            zel::drop_own_slot(loop, fd, wait);
            loop = nullptr;
        }
    }
    if (loop == nullptr) {
        free(buf);
        free(wait);
        return nullptr;
    }
    // The socket record is not touched after this point: a callback run by
    // these passes may close it (which marks the wait done).
    while (!wait->done) {
        // A stopped loop returns at once and a broken one fails at once:
        // either would turn this wait into a spin that never ends.
        if (zel_event_loop_is_stopped(loop)) break;
        if (zel_event_loop_run_once(loop, 100) < 0 && errno != EINTR) break;
    }
    if (!wait->done) zel::drop_own_slot(loop, fd, wait);
    int32_t received = wait->received;
    free(wait);
    if (received > 0) return buf;
    free(buf);
    return nullptr;
}

ZEL_EXPORT void zel_nb_socket_write(ZelSocket *sock, const char *text) ZEL_ALIAS_OF(zel_async_socket_write);
