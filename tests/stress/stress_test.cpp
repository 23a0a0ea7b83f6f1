// Eight threads mix the runtime's shared facilities for a bounded time: their
// own arenas (save, restore, reset), strings, the builder and JSON queries,
// maps private and shared, one channel, the thread pool, scopes, the locks and
// a private event loop fed through pipes. Every value that moves is counted
// on both sides, and the totals must agree at the end. A watchdog turns a hang
// into a failure.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "support.h"

namespace {

constexpr int kWorkers = 8;
constexpr int64_t kRunNs = 2'000'000'000;    // the mixed phase, by the clock
constexpr int64_t kDrainNs = 20'000'000'000;  // then the loop must catch up within this
constexpr int kWatchdogSeconds = 150;         // generous for ThreadSanitizer on a busy machine
constexpr int kKeys = 64;                     // shared counting keys
constexpr int64_t kJobKeys = 4096;            // integer keys the pool jobs count under

struct Shared {
    int64_t deadline = 0;
    ZelChannelHandle *tx = nullptr, *rx = nullptr;
    ZelThreadPool *pool = nullptr;
    ZelMutex *counts_lock = nullptr;  // guards counts
    ZelStrHashmap *counts = nullptr;
    ZelString *keys[kKeys] = {};      // heap records: a map key must outlive every arena
    ZelMutex *jobs_lock = nullptr;    // guards job_map
    ZelHashmap *job_map = nullptr;
    ZelMutex *svec_lock = nullptr;    // the string-vector pool is process-wide and unlocked
    ZelRwLock *version = nullptr;     // written by workers, read by scope threads
    ZelArc *arc = nullptr;
    ZelBarrier *start = nullptr, *finish = nullptr;
    ZelEventLoop *loop = nullptr;     // private: worker 0 alone registers and runs it
    int pipes[kWorkers][2] = {};
    std::atomic<int64_t> sent_sum{0}, sent{0}, recv_sum{0}, received{0};
    std::atomic<int64_t> jobs_submitted{0}, jobs_run{0}, job_seq{0};
    std::atomic<int64_t> scope_spawned{0}, scope_run{0}, incs{0}, writes{0}, piped_sum{0};
    std::atomic<uint64_t> keys_used{0};
    std::atomic<int> writers_done{0}, finished{0}, leaders{0};
    int64_t looped_sum = 0, loop_calls = 0;  // worker 0 only
};
Shared *g = nullptr;  // pool jobs and scope functions take no argument

struct Worker {
    int id = 0;
    int64_t ops = 0, bytes = 0, model_bytes = 0, failures = 0;
    std::string first_failure;
    std::map<std::string, int64_t> strmap_model;
    std::map<int64_t, int64_t> hashmap_model;
    ZelStrmap *strmap = nullptr;
    ZelHashmap *hashmap = nullptr;
    void check(bool ok, const char *what) {
        if (!ok && failures++ == 0) first_failure = what;
    }
    // Counts what the library produced and what the model says it should have.
    void same(const ZelString *s, const std::string &want, const char *what) {
        check(s != nullptr && std::string(s->data, static_cast<size_t>(s->len)) == want && s->data[s->len] == '\0', what);
        bytes += s != nullptr ? s->len : 0;
        model_bytes += static_cast<int64_t>(want.size());
    }
};

ZelString *lit(const char *text) { return zel_string_from_cstr(text); }

void pool_job() {
    int64_t k = g->job_seq.fetch_add(1) % kJobKeys;
    zel_mutex_lock(g->jobs_lock);
    int64_t v = hashmap_get(g->job_map, k);
    hashmap_insert(g->job_map, k, v == ZEL_HASHMAP_ABSENT ? 1 : v + 1);
    zel_mutex_unlock(g->jobs_lock, 0);
    g->jobs_run.fetch_add(1);
}

void scope_fn() {
    zel_arc_drop(zel_arc_clone(g->arc));
    zel_rwlock_read(g->version);
    zel_rwlock_read_unlock(g->version);
    g->scope_run.fetch_add(1);
}

void on_pipe(void *, int64_t fd, uint32_t ready) {
    unsigned char buf[512];
    ssize_t n = (ready & ZEL_EVENT_READABLE) ? read(static_cast<int>(fd), buf, sizeof buf) : 0;
    for (ssize_t i = 0; i < n; ++i) g->looped_sum += buf[i];
    ++g->loop_calls;
}

int64_t failing(int64_t) {
    zel_assert(0);
    return 1;
}

// Strings, the builder, splitting and JSON, all in this thread's arena.
void strings_and_json(Worker &w, int64_t r) {
    int64_t x = r % 200001 - 100000, k = 1 + r % 5;
    std::string xs = std::to_string(x), rep;
    for (int64_t i = 0; i < k; ++i) rep += xs;
    ZelString *sep = zel_chr(','), *a = zel_int_to_string(x);
    w.same(a, xs, "int_to_string");
    ZelString *b = zel_string_repeat(a, k);
    w.same(b, rep, "repeat");
    ZelString *c = zel_string_concat3(a, sep, b);
    w.same(c, xs + "," + rep, "concat3");
    ZelVec *parts = zel_string_split(c, sep);
    w.check(parts->len == 2, "split count");
    w.same(zel_string_join(parts, sep), xs + "," + rep, "join");
    zel_vec_free(parts);
    ZelStringBuilder *sb = zel_sb_new();
    sb_push_cstr(sb, "{\"n\":");
    zel_sb_push_int(sb, x);
    sb_push_cstr(sb, ",\"s\":\"");
    zel_sb_push(sb, b);
    sb_push_cstr(sb, "\"}");
    ZelString *doc = zel_sb_build(sb);
    zel_sb_free(sb);
    w.same(doc, "{\"n\":" + xs + ",\"s\":\"" + rep + "\"}", "builder");
    w.check(zel_json_validate(doc) == 1 && zel_json_get_number(doc, lit("n")) == x, "json number");
    w.same(zel_json_get_string(doc, lit("s")), rep, "json string");
    if (r % 997 == 0) {  // now and then a block of its own, released by the restore
        ZelString *big = zel_string_repeat(sep, (9 << 20) + r % 100);
        w.check(big->len == (9 << 20) + r % 100 && big->data[big->len - 1] == ',', "large block");
    }
}

// Private maps against models, then the shared counting map under its mutex.
void maps(Worker &w, int64_t r) {
    int64_t key = r % 512, value = r % 1000;
    std::string ks = "k" + std::to_string(key);
    ZelString *kr = lit(ks.c_str());  // an arena record: the string map keeps its own copy
    if (r % 3 == 0) {
        w.check(zel_strmap_remove(w.strmap, kr) == (w.strmap_model.count(ks) ? w.strmap_model[ks] : 0), "strmap remove");
        w.strmap_model.erase(ks);
        hashmap_remove(w.hashmap, key);
        w.hashmap_model.erase(key);
    } else {
        zel_strmap_insert(w.strmap, kr, value);
        w.strmap_model[ks] = value;
        hashmap_insert(w.hashmap, key, value);
        w.hashmap_model[key] = value;
    }
    w.check(zel_strmap_get(w.strmap, kr) == (w.strmap_model.count(ks) ? value : -1), "strmap get");
    w.check(hashmap_len(w.hashmap) == static_cast<int64_t>(w.hashmap_model.size()), "hashmap len");
    int slot = static_cast<int>(r % kKeys);
    zel_mutex_lock(g->counts_lock);
    zel_str_hashmap_inc(g->counts, g->keys[slot], 1);
    zel_mutex_unlock(g->counts_lock, 0);
    g->incs.fetch_add(1);
    g->keys_used.fetch_or(uint64_t{1} << slot);
}

void channel(Worker &w, int64_t r) {
    int64_t v = 1 + r % 1000, got = 0;
    bool sent = true;
    switch (r % 5) {
        case 0: zel_channel_send(g->tx, v); break;  // the main thread keeps receiving
        case 1: sent = zel_channel_try_send(g->tx, v) == 1; break;
        case 2: sent = zel_channel_send_timeout(g->tx, v, 2) == 1; break;
        case 3: sent = false; if (zel_channel_try_recv(g->rx, &got)) { g->recv_sum += got; g->received++; } break;
        default: sent = false; if (zel_channel_recv_timeout(g->rx, 2, &got)) { g->recv_sum += got; g->received++; }
    }
    if (sent) {
        g->sent_sum += v;
        g->sent++;
    }
    (void)w;
}

void coordination(Worker &w, int64_t r) {
    switch (r % 4) {
        case 0:
            zel_thread_pool_execute(g->pool, pool_job);
            g->jobs_submitted.fetch_add(1);
            break;
        case 1: {
            ZelScope *scope = zel_scope_new();
            int n = 1 + static_cast<int>(r % 3);
            for (int i = 0; i < n; ++i) zel_scope_spawn(scope, scope_fn);
            g->scope_spawned.fetch_add(n);
            zel_scope_wait(scope);
            break;
        }
        case 2: {
            int64_t v = zel_rwlock_write(g->version);
            zel_rwlock_write_unlock(g->version, v + 1);
            g->writes.fetch_add(1);
            break;
        }
        default: {
            int64_t out = 0;
            w.check(zel_ffi_call(failing, 0, &out) == 1 && std::string(zel_ffi_error_message()) == "assertion failed",
                    "boundary");
            zel_ffi_end();
        }
    }
}

// Splitting into string vectors, serialised: the pool array moves as it grows.
void string_vectors(Worker &w, int64_t r) {
    std::string text = std::to_string(r) + " a\tb " + std::to_string(r % 7);
    ZelString *s = lit(text.c_str());
    zel_mutex_lock(g->svec_lock);
    int64_t h = zel_str_split_whitespace(s);
    w.check(zel_svec_len(h) == 4, "split_whitespace");
    w.same(zel_svec_join(h, lit(" ")), std::to_string(r) + " a b " + std::to_string(r % 7), "svec join");
    zel_svec_free(h);
    zel_mutex_unlock(g->svec_lock, 0);
}

void pipe_or_loop(Worker &w, int64_t r, int64_t iteration) {
    if (w.id != 0) {
        unsigned char byte = static_cast<unsigned char>(1 + r % 200);
        if (write(g->pipes[w.id][1], &byte, 1) == 1) g->piped_sum += byte;
        return;
    }
    w.check(zel_event_loop_run_once(g->loop, 0) >= 0, "loop pass");
    if (iteration % 64 == 0) {  // withdraw and renew one watch: the slot is reused
        int fd = g->pipes[1 + r % (kWorkers - 1)][0];
        w.check(zel_event_loop_unregister(g->loop, fd) == 0, "unregister");
        w.check(zel_event_loop_register(g->loop, fd, ZEL_EVENT_READABLE, on_pipe, nullptr) == 0, "register");
    }
}

int64_t worker_main(int64_t arg) {
    Worker &w = *reinterpret_cast<Worker *>(arg);
    zel_random_seed(static_cast<int64_t>(w.id) + 1);
    w.strmap = zel_strmap_new();
    w.hashmap = hashmap_new();
    zel_chr('x');  // the first block, so that every save below has a mark
    if (zel_barrier_wait(g->start) == 1) g->leaders++;
    for (int64_t i = 0; zel_time_ns() < g->deadline; ++i, ++w.ops) {
        int64_t r = zel_random_i64();
        if (i % 256 == 255) zel_arena_reset();
        zel_arena_save();
        uint64_t mark = zel_arena_usage();
        switch (r % 7) {
            case 0: case 1: strings_and_json(w, r / 7); break;
            case 2: maps(w, r / 7); break;
            case 3: channel(w, r / 7); break;
            case 4: coordination(w, r / 7); break;
            case 5: string_vectors(w, r / 7); break;
            default: break;
        }
        pipe_or_loop(w, r / 7, i);
        zel_arena_restore();
        w.check(zel_arena_usage() == mark, "arena restored");
    }
    if (w.id != 0) {
        g->writers_done++;
    } else {  // the loop catches up with what the writers put into the pipes
        for (int64_t end = zel_time_ns() + kDrainNs; zel_time_ns() < end;) {
            if (g->writers_done == kWorkers - 1 && g->looped_sum == g->piped_sum) break;
            zel_event_loop_run_once(g->loop, 10);
        }
    }
    std::map<std::string, int64_t> listed;
    ZelVec *keys = zel_strmap_keys(w.strmap), *values = zel_strmap_values(w.strmap);
    for (int64_t i = 0; i < keys->len; ++i) listed[zt::str(reinterpret_cast<ZelString *>(keys->items[i]))] = values->items[i];
    w.check(listed == w.strmap_model, "strmap contents");
    zel_vec_free(keys);
    zel_vec_free(values);
    for (auto [k, v] : w.hashmap_model) w.check(hashmap_get(w.hashmap, k) == v, "hashmap contents");
    zel_strmap_free(w.strmap);
    hashmap_free(w.hashmap);
    // Past this barrier nobody allocates from an arena, so each thread may
    // release its own although that switches arena mode off for everyone.
    if (zel_barrier_wait(g->finish) == 1) g->leaders++;
    zel_arena_destroy();
    g->finished++;
    return w.id;
}

class Watchdog {
public:
    explicit Watchdog(int seconds)
        : thread_([this, seconds] {
              std::unique_lock<std::mutex> lock(m_);
              if (!cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                  fprintf(stderr, "stress: not finished after %d s, taken as a hang\n", seconds);
                  zt::exit_unflushed(3);
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(m_);
            done_ = true;
        }
        cv_.notify_one();
        thread_.join();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

TEST(Stress, EightThreadsMixEverythingAndTotalsAgree) {
    Watchdog watchdog(kWatchdogSeconds);
    static Shared shared;  // static: channels are never released, so their handles stay reachable
    g = &shared;
    ASSERT_NE(zel_channel_new(16, &g->tx, &g->rx), nullptr);
    g->pool = zel_thread_pool_new(3);
    g->counts_lock = zel_mutex_new(0);
    g->counts = zel_str_hashmap_new();
    for (int i = 0; i < kKeys; ++i) g->keys[i] = zel_ffi_cstr_to_string(("key" + std::to_string(i)).c_str());
    g->jobs_lock = zel_mutex_new(0);
    g->job_map = hashmap_new();
    g->svec_lock = zel_mutex_new(0);
    g->version = zel_rwlock_new(0);
    g->arc = zel_arc_new(7);
    g->start = zel_barrier_new(kWorkers);
    g->finish = zel_barrier_new(kWorkers);
    g->loop = zel_event_loop_create();
    ASSERT_TRUE(g->pool && g->counts && g->job_map && g->arc && g->start && g->finish && g->loop);
    for (int i = 1; i < kWorkers; ++i) {  // one pipe per writer; worker 0 reads them all
        ASSERT_EQ(pipe2(g->pipes[i], O_NONBLOCK | O_CLOEXEC), 0);
        ASSERT_EQ(zel_event_loop_register(g->loop, g->pipes[i][0], ZEL_EVENT_READABLE, on_pipe, nullptr), 0);
    }

    zel_arena_mode(1);
    int64_t began = zel_time_ns();
    g->deadline = began + kRunNs;
    Worker workers[kWorkers];
    ZelThread *threads[kWorkers];
    for (int i = 0; i < kWorkers; ++i) {
        workers[i].id = i;
        threads[i] = zel_spawn(worker_main, reinterpret_cast<int64_t>(&workers[i]));
        ASSERT_NE(threads[i], nullptr);
    }
    // The main thread consumes until every worker is done, so blocking sends always return.
    int64_t got = 0;
    while (g->finished < kWorkers)
        if (zel_channel_recv_timeout(g->rx, 5, &got)) {
            g->recv_sum += got;
            g->received++;
        }
    for (int i = 0; i < kWorkers; ++i) EXPECT_EQ(zel_join(threads[i]), i);
    while (zel_channel_try_recv(g->rx, &got)) {
        g->recv_sum += got;
        g->received++;
    }
    zel_channel_close(g->tx);
    EXPECT_EQ(zel_channel_recv_opt(g->rx, &got), 0);
    zel_thread_pool_join(g->pool);  // runs every job queued before it
    int64_t elapsed_ms = (zel_time_ns() - began) / 1000000;

    int64_t ops = 0, bytes = 0;
    for (Worker &w : workers) {
        EXPECT_EQ(w.failures, 0) << "worker " << w.id << ": " << w.first_failure;
        EXPECT_EQ(w.bytes, w.model_bytes) << "worker " << w.id;
        EXPECT_GT(w.ops, 0);
        ops += w.ops;
        bytes += w.bytes;
    }
    EXPECT_EQ(g->leaders, 2);  // one per barrier generation
    EXPECT_EQ(g->sent, g->received);
    EXPECT_EQ(g->sent_sum, g->recv_sum);
    EXPECT_GT(g->sent, 0);
    EXPECT_EQ(g->jobs_run, g->jobs_submitted);
    ZelVec *job_counts = hashmap_values(g->job_map);
    EXPECT_EQ(zel_vec_sum(job_counts), g->jobs_run);
    EXPECT_EQ(hashmap_len(g->job_map), std::min<int64_t>(g->jobs_run, kJobKeys));
    zel_vec_free(job_counts);
    ZelVec *inc_counts = zel_str_hashmap_values(g->counts);
    EXPECT_EQ(zel_vec_sum(inc_counts), g->incs);
    EXPECT_EQ(zel_str_hashmap_len(g->counts), __builtin_popcountll(g->keys_used));
    zel_vec_free(inc_counts);
    EXPECT_EQ(g->scope_run, g->scope_spawned);
    EXPECT_EQ(zel_arc_strong_count(g->arc), 1);
    EXPECT_EQ(zel_rwlock_try_write(g->version), g->writes);
    zel_rwlock_write_unlock(g->version, 0);
    EXPECT_EQ(g->looped_sum, g->piped_sum);
    EXPECT_GT(g->loop_calls, 0);
    EXPECT_LT(g->loop->slot_count, kWorkers);  // withdrawn watches gave their slots back
    EXPECT_EQ(g_event_loop, nullptr);           // the default loop was never involved
    EXPECT_EQ(g_arena_enabled, 0);
    printf("stress: %ld ops, %ld string bytes, %ld values through the channel, %ld pool jobs, %ld scope threads, "
           "%ld loop callbacks in %ld ms\n",
           static_cast<long>(ops), static_cast<long>(bytes), static_cast<long>(g->sent.load()),
           static_cast<long>(g->jobs_run.load()), static_cast<long>(g->scope_run.load()),
           static_cast<long>(g->loop_calls), static_cast<long>(elapsed_ms));

    zel_event_loop_destroy(g->loop);
    for (int i = 1; i < kWorkers; ++i) {
        close(g->pipes[i][0]);
        close(g->pipes[i][1]);
    }
    for (ZelString *k : g->keys) zel_ffi_free_string(k);
    zel_str_hashmap_free(g->counts);
    hashmap_free(g->job_map);
    zel_mutex_free(g->counts_lock);
    zel_mutex_free(g->jobs_lock);
    zel_mutex_free(g->svec_lock);
    zel_rwlock_free(g->version);
    zel_arc_drop(g->arc);
    zel_barrier_free(g->start);
    zel_barrier_free(g->finish);
    zel_arena_destroy();
}

}  // namespace
