/* Asynchronous I/O: the eager executor with tasks and futures, the epoll event
 * loop with its process-wide default loop, and blocking and non-blocking files
 * and IPv4 sockets. Every record here lives on the system heap (never in an
 * arena) and may be passed between threads; none of these names has a short
 * alias. */
#ifndef ZEL_ASYNC_H
#define ZEL_ASYNC_H

#include <pthread.h>
#include <stdio.h>

#include "core.h"

ZEL_EXTERN_C_BEGIN

/* ---- futures, tasks and the executor ----
 * The model is eager: a future is its own 64-bit result, so awaiting never
 * suspends and an executor never runs task code or starts a thread. */

/* state: 2 = completed, 0 = pending; tasks made here start completed. */
typedef struct ZelTask {
    int64_t value;
    int32_t state;
    struct ZelTask *next;
} ZelTask;

/* A list of tasks and the number completed, guarded by `lock`, so tasks may be
 * spawned from several threads; passes belong to the default loop's thread. */
typedef struct ZelExecutor {
    ZelTask *head;
    ZelTask *tail;
    int64_t completed;
    pthread_mutex_t lock;
} ZelExecutor;

/* __future_await and future_await return the future unchanged (it is its own result). */
int64_t __future_await(int64_t future);
int64_t future_await(int64_t future);

/* A new completed task holding value, in no list; NULL when out of memory. */
ZelTask *zel_task_new(int64_t value);
/* The task's value; 0 for NULL. */
int64_t zel_task_get_result(const ZelTask *task);
/* 1 when the task is completed (state 2), else 0; 1 for NULL. */
int64_t zel_task_is_completed(const ZelTask *task);
/* Frees a task that was never spawned; nothing for NULL. */
void zel_task_free(ZelTask *task);

/* A new empty executor (0 completed); NULL when out of memory. */
ZelExecutor *zel_executor_new(void);
/* Appends task at the tail (its next link is cleared) and counts it when it is
 * completed; the executor owns it from then on, so a task is spawned once.
 * Nothing when either argument is NULL. */
void zel_executor_spawn(ZelExecutor *executor, ZelTask *task);
/* One pass: creates the default loop when absent, runs one non-waiting pass of
 * it, then completes every pending task in list order. Nothing for NULL. */
void zel_executor_run(ZelExecutor *executor);
/* Appends a new completed task holding value, performs one pass and returns
 * value; with a NULL executor returns value at once, without a pass. */
int64_t zel_executor_block_on(ZelExecutor *executor, int64_t value);
/* The number of completed tasks counted so far; 0 for NULL. */
int64_t zel_executor_completed_count(ZelExecutor *executor);
/* Frees every task in the list, then the executor; nothing for NULL. */
void zel_executor_free(ZelExecutor *executor);
/* Runs value through a temporary executor (one pass of the default loop, which
 * is created when absent) and returns it. */
int64_t zel_block_on(int64_t value);

/* ---- event loop ----
 * Level-triggered readiness through epoll. A loop has no lock: registration,
 * unregistration and passes of one loop happen on one thread at a time, and
 * callbacks run on the thread calling zel_event_loop_run_once. */

/* Interest flags for registration and bits of the ready mask. */
#define ZEL_EVENT_READABLE 1u
#define ZEL_EVENT_WRITABLE 2u
#define ZEL_EVENT_ERROR 4u /* error or hang-up; reported without being asked for */

#define ZEL_EVENT_LOOP_SLOTS 1024
#define ZEL_EVENT_LOOP_BATCH 64 /* kernel events taken per pass */

/* Called with the registration's user data, the descriptor and the ready mask. */
typedef void (*ZelEventCallback)(void *user_data, int64_t fd, uint32_t ready);

typedef struct ZelEventHandler {
    int64_t fd;
    uint32_t interest;
    ZelEventCallback callback;
    void *user_data;
    uint32_t active; /* 1 while registered; an inactive slot may be reused */
} ZelEventHandler;

typedef struct ZelEventLoop {
    ZelEventHandler handlers[ZEL_EVENT_LOOP_SLOTS];
    int32_t slot_count; /* slots ever used: a high-water mark that never drops */
    int32_t stopped;
    int32_t poll_fd;
} ZelEventLoop;

/* The process-wide default loop: NULL until first use, then never destroyed.
 * The library creates it at most once even when first uses race. */
extern ZelEventLoop *g_event_loop;

/* A new loop with an empty table; NULL when memory or the epoll descriptor
 * cannot be had. */
ZelEventLoop *zel_event_loop_create(void);
/* Closes the epoll descriptor and frees the loop; watched descriptors stay
 * open. Nothing for NULL. Never destroy the default loop. */
void zel_event_loop_destroy(ZelEventLoop *loop);
/* Watches fd for interest (1 readable, 2 writable; other bits are kept in the
 * slot only). A registered fd keeps its slot and gets the new callback and
 * data (a descriptor closed while registered and its number reused since is
 * watched afresh); otherwise the lowest free slot is taken. 0 when the kernel
 * accepted it, -1 otherwise (the slot stays filled) and -1 for a NULL loop or
 * callback or once 1024 slots have ever been used, even if some were freed
 * since. A descriptor outside the int range is refused by the kernel step (EBADF). */
int32_t zel_event_loop_register(ZelEventLoop *loop, int64_t fd, uint32_t interest,
                                ZelEventCallback callback, void *user_data);
/* Frees fd's slot and removes it from epoll: 0, or -1 when fd is not
 * registered or loop is NULL. */
int32_t zel_event_loop_unregister(ZelEventLoop *loop, int64_t fd);
/* Waits up to timeout_ms (-1 without limit, 0 not at all) for at most 64
 * events and calls their callbacks in kernel order; a callback may register or
 * unregister, and an event whose fd is no longer registered is skipped. Returns
 * the number of callbacks called: 0 for a NULL or stopped loop (no wait), -1
 * when the wait failed (a signal included). */
int32_t zel_event_loop_run_once(ZelEventLoop *loop, int32_t timeout_ms);
/* Stops the loop for good; registration still works. Nothing for NULL. */
void zel_event_loop_stop(ZelEventLoop *loop);
/* 1 when stopped, else 0; 1 for NULL. */
int32_t zel_event_loop_is_stopped(const ZelEventLoop *loop);
/* g_event_loop, created when absent; NULL when creation fails (the next call
 * tries again). */
ZelEventLoop *zel_get_event_loop(void);

/* ---- files ---- */

typedef struct ZelAsyncFile {
    FILE *stream;
    char *path;
    int32_t open;
} ZelAsyncFile;

/* Opens path read-write if it exists, else read-only, else creates it
 * read-write. An existing file that can be opened neither way is opened
 * write-only, never truncated. NULL for a NULL path, when every way fails, or
 * when memory runs out (never a read-only stand-in for a read-write open). */
ZelAsyncFile *zel_async_file_open(const char *path);
/* The whole file as a NUL-terminated heap buffer (release with free); the
 * stream is left after the data read. NULL for a NULL or closed record, a
 * stream that cannot tell its size, or no memory. */
char *zel_async_file_read(ZelAsyncFile *file);
/* Writes text (up to its NUL) from the start of the file and flushes; the file
 * is not truncated, so a shorter text leaves the tail of older contents.
 * Nothing for NULL arguments, a closed record or a read-only stream. */
void zel_async_file_write(ZelAsyncFile *file, const char *text);
/* Closes the stream and frees the record; nothing for NULL. */
void zel_async_file_close(ZelAsyncFile *file);
/* zel_nb_file_read and zel_nb_file_write: the same operations as zel_async_file_read
 * and zel_async_file_write. */
char *zel_nb_file_read(ZelAsyncFile *file);
void zel_nb_file_write(ZelAsyncFile *file, const char *text);

/* ---- IPv4 sockets ----
 * One record for TCP connections and listeners, UDP sockets and non-blocking
 * connections. Hosts are dotted IPv4 text or names (resolved for IPv4); only
 * the low 16 bits of a port are used. Received buffers are NUL-terminated heap
 * buffers that the caller releases with free. Sends never raise SIGPIPE: a
 * write to a peer that has gone fails quietly instead of ending the process. */

typedef struct ZelSocket {
    int32_t fd;   /* -1 after close or a failed non-blocking connect */
    char *host;   /* as given to connect; "0.0.0.0" for listen and bind; the peer for accept */
    int32_t port; /* as given to connect; the bound port for listen and bind; the peer's for accept */
    int32_t open; /* 0 refuses every read, write, accept, send and receive */
} ZelSocket;

typedef struct ZelUdpPacket {
    char *payload; /* the datagram followed by a NUL */
    char *host;    /* the sender, dotted */
    int32_t port;  /* the sender's port */
    int32_t len;   /* payload bytes; the payload may hold NULs */
} ZelUdpPacket;

/* A connected TCP socket (blocks until connected); NULL for a NULL host, an
 * unresolvable host or a failed connection. */
ZelSocket *zel_async_socket_connect(const char *host, int32_t port);
/* A TCP listener on all interfaces (address reuse on, backlog 4096); its port
 * is the one bound (port 0 picks a free one). NULL on failure. */
ZelSocket *zel_async_socket_listen(int32_t port);
/* Blocks for the next connection; a new socket with the peer's host and port.
 * NULL for a NULL or not-open listener or a failed accept. */
ZelSocket *zel_async_socket_accept(ZelSocket *listener);
/* Blocks for data and returns at most 4095 bytes NUL-terminated; NULL on end
 * of stream, error, or a NULL or not-open socket. */
char *zel_async_socket_read(ZelSocket *sock);
/* One send of text's bytes (up to its NUL); short sends and errors are not
 * reported. Nothing for NULL arguments or a not-open socket. */
void zel_async_socket_write(ZelSocket *sock, const char *text);
/* Closes the descriptor and frees the record; nothing for NULL. A non-blocking
 * connect or read still pending on the default loop is withdrawn first (the
 * read then returns NULL). */
void zel_async_socket_close(ZelSocket *sock);
/* The record's port; 0 for NULL. */
int64_t zel_async_socket_port(const ZelSocket *sock);
/* The record's host text, owned by the record; NULL for NULL. */
const char *zel_async_socket_host(const ZelSocket *sock);

/* A UDP socket bound on all interfaces with address reuse on; port as for
 * listen. NULL on failure. */
ZelSocket *zel_async_udp_bind(int32_t port);
/* Sends text (up to its NUL) as one datagram to host:port; the bytes sent, or
 * -1 for a NULL argument, a not-open socket, an unresolvable host or a failed
 * send. */
int64_t zel_async_udp_sendto(ZelSocket *sock, const char *host, int32_t port, const char *text);
/* Blocks for one datagram and returns at most 4095 bytes of it NUL-terminated;
 * NULL for an empty datagram, an error or a NULL or not-open socket. */
char *zel_async_udp_recv(ZelSocket *sock);
/* As zel_async_udp_recv, with the sender: a new packet (release it with
 * zel_udp_packet_free), or NULL. */
ZelUdpPacket *zel_async_udp_recvfrom(ZelSocket *sock);
/* The same operation as zel_async_socket_close. */
void zel_async_udp_close(ZelSocket *sock);
/* The zel_udp_packet_* getters: the packet's payload, host, port and len (the texts are
 * owned by the packet); NULL or 0 for a NULL packet. */
const char *zel_udp_packet_payload(const ZelUdpPacket *packet);
const char *zel_udp_packet_host(const ZelUdpPacket *packet);
int64_t zel_udp_packet_port(const ZelUdpPacket *packet);
int64_t zel_udp_packet_len(const ZelUdpPacket *packet);
/* Frees payload, host and packet; nothing for NULL. */
void zel_udp_packet_free(ZelUdpPacket *packet);

/* Non-blocking TCP through the default loop; every call and every pass of that
 * loop belong to one thread. */

/* A non-blocking socket whose connection is made (open 1) or in progress
 * (open 0): passes of the default loop (zel_event_loop_run_once, executor
 * passes) complete it, to open 1 or to open 0 with fd -1. NULL for a NULL or
 * unresolvable host or a connection refused at once. */
ZelSocket *zel_nb_socket_connect(const char *host, int32_t port);
/* Runs passes of the default loop (100 ms each, dispatching every handler on
 * it) until the socket is readable, then returns at most 4095 bytes
 * NUL-terminated. NULL for a NULL or not-open socket, end of stream, an error,
 * or when the default loop cannot be had, refuses the socket, is stopped or
 * fails to wait (a wait cut short by a signal is retried). */
char *zel_nb_socket_read(ZelSocket *sock);
/* The same operation as zel_async_socket_write. */
void zel_nb_socket_write(ZelSocket *sock, const char *text);

ZEL_EXTERN_C_END

#endif
