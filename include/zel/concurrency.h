/* Concurrency: threads, mutexes and reader-writer locks that guard one value,
 * condition variables, barriers, reference-counted cells, channels, the thread
 * pool and scoped threads.
 *
 * Every record here lives on the system heap, never in an arena, so it
 * survives arena resets and may be handed between threads. Threads started by
 * these operations begin with zeroed runtime state: no arguments, no open FFI
 * boundary (a failure there ends the process), an arena of their own while
 * arena mode is on (never released), and their own random sequence.
 * No operation holds the locks of two records at once. These names have no
 * unprefixed aliases. */
#ifndef ZEL_CONCURRENCY_H
#define ZEL_CONCURRENCY_H

#include "core.h"

ZEL_EXTERN_C_BEGIN

typedef struct ZelThread ZelThread;
typedef struct ZelMutex ZelMutex;
typedef struct ZelRwLock ZelRwLock;
typedef struct ZelCondvar ZelCondvar;
typedef struct ZelBarrier ZelBarrier;
typedef struct ZelArc ZelArc;
typedef struct ZelChannelHandle ZelChannelHandle;
typedef struct ZelThreadPool ZelThreadPool;
typedef struct ZelScope ZelScope;

/* ---- threads ---- */

/* Starts a joinable thread running entry(arg); NULL when the record cannot be
 * allocated or the thread cannot be created. A NULL entry gives result 0. */
ZelThread *zel_spawn(int64_t (*entry)(int64_t), int64_t arg);
/* Waits for the thread, frees the handle and returns the entry's result. A
 * handle whose value, read as a signed number, is below 65536 (also NULL and
 * negative values) is returned unchanged without waiting. Join each handle
 * once, from one thread. */
int64_t zel_join(ZelThread *thread);
/* The body of the threads zel_spawn starts; exported for compatibility, not for calling. */
void *zel_thread_entry_posix(void *thread);

/* ---- mutex guarding one value ---- */

/* A new unlocked mutex guarding `value`; NULL when out of memory. */
ZelMutex *zel_mutex_new(int64_t value);
/* Blocks until the mutex is held, then returns the guarded value; 0 for NULL. */
int64_t zel_mutex_lock(ZelMutex *m);
/* Stores `value` as the guarded value, then releases the mutex; nothing for NULL. */
void zel_mutex_unlock(ZelMutex *m, int64_t value);
/* If the mutex is free, takes it and returns the guarded value; 0 when it is
 * held by anyone (the caller then does not hold it) or for NULL. A guarded 0
 * therefore reads like a failure: the caller holds the mutex all the same. */
int64_t zel_mutex_try_lock(ZelMutex *m);
/* Destroys and frees an unlocked mutex; nothing for NULL. */
void zel_mutex_free(ZelMutex *m);

/* ---- reader-writer lock guarding one value ---- */

/* A new unlocked reader-writer lock guarding `value`; NULL when out of memory. */
ZelRwLock *zel_rwlock_new(int64_t value);
/* Blocks for a shared hold and returns the value; 0 for NULL. */
int64_t zel_rwlock_read(ZelRwLock *l);
/* Releases a shared hold; readers cannot change the value. Nothing for NULL. */
void zel_rwlock_read_unlock(ZelRwLock *l);
/* Blocks for the exclusive hold and returns the value; 0 for NULL. */
int64_t zel_rwlock_write(ZelRwLock *l);
/* Stores `value`, then releases the exclusive hold; nothing for NULL. */
void zel_rwlock_write_unlock(ZelRwLock *l, int64_t value);
/* The value when a shared hold was taken at once; -1 when not, or for NULL. */
int64_t zel_rwlock_try_read(ZelRwLock *l);
/* The value when the exclusive hold was taken at once; -1 when not, or for NULL. */
int64_t zel_rwlock_try_write(ZelRwLock *l);
/* Destroys and frees an unheld lock; nothing for NULL. */
void zel_rwlock_free(ZelRwLock *l);

/* ---- condition variable ---- */

/* A new condition variable; NULL when out of memory. */
ZelCondvar *zel_condvar_new(void);
/* Releases `m` (held by the caller), sleeps until notified, takes `m` again
 * and returns its guarded value. Wake-ups may be spurious: recheck the
 * condition in a loop. 0 without waiting when either argument is NULL. */
int64_t zel_condvar_wait(ZelCondvar *cv, ZelMutex *m);
/* Wakes at most one waiter; nothing for NULL. */
void zel_condvar_notify_one(ZelCondvar *cv);
/* Wakes every waiter; nothing for NULL. */
void zel_condvar_notify_all(ZelCondvar *cv);
/* Destroys and frees a condition variable nobody waits on; nothing for NULL. */
void zel_condvar_free(ZelCondvar *cv);

/* ---- barrier ---- */

/* A barrier for `parties` threads; NULL when parties < 1 or out of memory. */
ZelBarrier *zel_barrier_new(int64_t parties);
/* Blocks until `parties` threads have arrived in the current generation, then
 * returns 1 in exactly one of them (the last to arrive) and 0 in the others.
 * The barrier is reusable at once. 0 for NULL. */
int64_t zel_barrier_wait(ZelBarrier *b);
/* Destroys and frees a barrier nobody waits on; nothing for NULL. */
void zel_barrier_free(ZelBarrier *b);

/* ---- atomically reference-counted cell ---- */

/* A new cell holding `value` with strong count 1; NULL when out of memory.
 * The value is not owned: the last drop frees the cell only. */
ZelArc *zel_arc_new(int64_t value);
/* Adds one reference (atomically) and returns the same cell; NULL stays NULL. */
ZelArc *zel_arc_clone(ZelArc *a);
/* The cell's value; 0 for NULL. */
int64_t zel_arc_get(const ZelArc *a);
/* Removes one reference (atomically); the drop that reaches 0 frees the cell.
 * Nothing for NULL. */
void zel_arc_drop(ZelArc *a);
/* The strong count read after a full memory fence (it may be stale at once);
 * 0 for NULL. */
int64_t zel_arc_strong_count(ZelArc *a);

/* ---- channels: bounded multi-producer multi-consumer FIFO of 64-bit values ----
 * All handles of a channel are equivalent. Channels and handles are never
 * released. A closed channel drops every send and delivers what was buffered
 * before close, then reports "no value" without blocking. A NULL handle
 * behaves as a closed, empty channel. Out pointers may be NULL: the value is
 * then received and discarded. Timed waits run on the monotonic clock, so
 * changing the system time neither stretches nor cuts them short. */

/* Creates a channel of `capacity` slots and two handles: the first stored
 * through *sender, the second through *receiver, which is also returned (either
 * out pointer may be NULL; no sender handle is made for a NULL sender).
 * Capacity 0 gives a channel that never accepts a value. A negative capacity
 * or exhausted memory stores NULL through both and returns NULL. */
ZelChannelHandle *zel_channel_new(int64_t capacity, ZelChannelHandle **sender, ZelChannelHandle **receiver);
/* Blocks while the channel is full and open, then appends `value`; a closed
 * channel drops it. */
void zel_channel_send(ZelChannelHandle *h, int64_t value);
/* Blocks while the channel is empty and open; returns the oldest value, or 0
 * when the channel is closed and empty (use zel_channel_recv_opt to tell a
 * received 0 from that). */
int64_t zel_channel_recv(ZelChannelHandle *h);
/* Blocks like zel_channel_recv; 1 with the value stored through *out, or 0
 * (out untouched) when the channel is closed and empty. */
int64_t zel_channel_recv_opt(ZelChannelHandle *h, int64_t *out);
/* Never blocks: 1 if `value` was appended (room and open), else 0. */
int64_t zel_channel_try_send(ZelChannelHandle *h, int64_t value);
/* Never blocks: 1 with the oldest buffered value through *out (closed or not),
 * else 0. */
int64_t zel_channel_try_recv(ZelChannelHandle *h, int64_t *out);
/* Waits up to `timeout_ms` for room: 1 if appended, 0 if time ran out while
 * full or the channel is closed. A negative timeout waits without limit;
 * 0 tries once. Note the order: (handle, value, timeout). */
int64_t zel_channel_send_timeout(ZelChannelHandle *h, int64_t value, int64_t timeout_ms);
/* Waits up to `timeout_ms` for a value: 1 with it through *out, 0 (out
 * untouched) if time ran out with nothing buffered or the channel is closed
 * and empty. A negative timeout waits without limit. Note the order:
 * (handle, timeout, out). */
int64_t zel_channel_recv_timeout(ZelChannelHandle *h, int64_t timeout_ms, int64_t *out);
/* A new handle for the same channel; NULL for NULL or when out of memory. */
ZelChannelHandle *zel_sender_clone(ZelChannelHandle *h);
/* Closes the channel for ever and wakes every blocked sender and receiver. */
void zel_channel_close(ZelChannelHandle *h);
/* 1 once the channel is closed (and for NULL), else 0. */
int64_t zel_channel_is_closed(ZelChannelHandle *h);

/* ---- thread pool ---- */

/* A pool of `threads` running workers (4 when threads <= 0). NULL when the
 * count exceeds 2147483647, memory is exhausted or no worker could start; when
 * only some start, the pool keeps those. */
ZelThreadPool *zel_thread_pool_new(int64_t threads);
/* Queues `job` (its result, if any, is ignored); workers take jobs in queue
 * order. Nothing when pool or job is NULL or the job cannot be queued. */
void zel_thread_pool_execute(ZelThreadPool *pool, void (*job)(void));
/* Asks the workers to end once the queue is empty; returns at once. The pool
 * stays allocated: zel_thread_pool_join must still follow. Nothing for NULL. */
void zel_thread_pool_shutdown(ZelThreadPool *pool);
/* Runs every job queued before it, waits for the workers to end, frees jobs
 * queued after they ended (unrun) and releases the pool. Call it exactly once
 * and from outside the pool's own jobs. Nothing for NULL. */
void zel_thread_pool_join(ZelThreadPool *pool);

/* ---- scoped threads ---- */

/* A new empty scope; NULL when out of memory. */
ZelScope *zel_scope_new(void);
/* Starts a thread that calls fn once and records it in the scope. Nothing
 * (fn never runs) when scope or fn is NULL, memory is exhausted or the thread
 * cannot start. Spawns must not race with or follow zel_scope_wait. */
void zel_scope_spawn(ZelScope *scope, void (*fn)(void));
/* Joins every thread of the scope, newest first, then frees the scope.
 * Nothing for NULL. */
void zel_scope_wait(ZelScope *scope);

ZEL_EXTERN_C_END

#endif
