// Channels, the thread pool and the mutex, each beside the plain
// std::mutex + std::condition_variable design it replaces, in the same run.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "zel.h"

namespace {

// ---- the two channels behind one interface ----

struct ZelChan {
    ZelChannelHandle *tx = nullptr, *rx = nullptr;
    explicit ZelChan(int64_t capacity) { zel_channel_new(capacity, &tx, &rx); }  // never released
    void send(int64_t v) { zel_channel_send(tx, v); }
    bool recv(int64_t &v) { return zel_channel_recv_opt(rx, &v) != 0; }
    void close() { zel_channel_close(tx); }
};

// The plain bounded queue: the same ring, one mutex, one condition variable
// per direction, notified after unlocking as such code usually is.
struct StdChan {
    std::vector<int64_t> slots;
    size_t head = 0, tail = 0, count = 0;
    bool closed = false;
    std::mutex m;
    std::condition_variable not_empty, not_full;
    explicit StdChan(int64_t capacity) : slots(static_cast<size_t>(capacity)) {}
    void send(int64_t v) {
        std::unique_lock<std::mutex> lk(m);
        not_full.wait(lk, [&] { return count < slots.size() || closed; });
        if (closed) return;
        slots[tail] = v;
        if (++tail == slots.size()) tail = 0;
        ++count;
        lk.unlock();
        not_empty.notify_one();
    }
    bool recv(int64_t &v) {
        std::unique_lock<std::mutex> lk(m);
        not_empty.wait(lk, [&] { return count > 0 || closed; });
        if (count == 0) return false;
        v = slots[head];
        if (++head == slots.size()) head = 0;
        --count;
        lk.unlock();
        not_full.notify_one();
        return true;
    }
    void close() {
        {
            std::lock_guard<std::mutex> lk(m);
            closed = true;
        }
        not_empty.notify_all();
        not_full.notify_all();
    }
};

constexpr int kMaxClients = 4;

// Round trip: each benchmark thread is a client that sends a request and
// waits for its echo on a reply channel of its own; one server echoes.
template <class Chan>
struct Echo {
    Chan *requests;
    Chan *replies[kMaxClients];
    std::thread server;
};
template <class Chan>
Echo<Chan> g_echo;

template <class Chan>
void BM_ChannelRoundTrip(benchmark::State &state) {
    auto &e = g_echo<Chan>;
    int64_t capacity = state.range(0);
    if (state.thread_index() == 0) {
        e.requests = new Chan(capacity);
        for (auto &r : e.replies) r = new Chan(capacity);
        e.server = std::thread([&e] {
            int64_t v;
            while (e.requests->recv(v)) e.replies[v >> 32]->send(v);
        });
    }
    int64_t id = state.thread_index();
    int64_t seq = 0;
    for (auto _ : state) {
        e.requests->send(id << 32 | seq++);
        int64_t back;
        e.replies[id]->recv(back);
        benchmark::DoNotOptimize(back);
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        e.requests->close();
        e.server.join();
        if constexpr (std::is_same_v<Chan, StdChan>) {
            delete e.requests;
            for (auto *r : e.replies) delete r;
        }
    }
}

// Throughput: every benchmark thread produces as fast as it can; one
// consumer drains.
template <class Chan>
struct Stream {
    Chan *chan;
    std::thread consumer;
    int64_t received;
};
template <class Chan>
Stream<Chan> g_stream;

template <class Chan>
void BM_ChannelThroughput(benchmark::State &state) {
    auto &s = g_stream<Chan>;
    if (state.thread_index() == 0) {
        s.chan = new Chan(state.range(0));
        s.received = 0;
        s.consumer = std::thread([&s] {
            int64_t v, n = 0;
            while (s.chan->recv(v)) ++n;
            s.received = n;
        });
    }
    int64_t v = 0;
    for (auto _ : state) s.chan->send(v++);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        s.chan->close();
        s.consumer.join();
        if constexpr (std::is_same_v<Chan, StdChan>) delete s.chan;
    }
}

#define CHANNEL_BENCH(fn, chan) \
    BENCHMARK_TEMPLATE(fn, chan)->Arg(1)->Arg(64)->Arg(1024)->Threads(1)->Threads(4)->UseRealTime()
CHANNEL_BENCH(BM_ChannelRoundTrip, ZelChan);
CHANNEL_BENCH(BM_ChannelRoundTrip, StdChan);
CHANNEL_BENCH(BM_ChannelThroughput, ZelChan);
CHANNEL_BENCH(BM_ChannelThroughput, StdChan);

// One thread sending into and receiving from a channel with room: the cost of
// the operations themselves, without any waiting.
template <class Chan>
void BM_ChannelUncontendedPair(benchmark::State &state) {
    Chan c(64);
    int64_t v = 0;
    for (auto _ : state) {
        c.send(v);
        c.recv(v);
        ++v;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_TEMPLATE(BM_ChannelUncontendedPair, ZelChan);
BENCHMARK_TEMPLATE(BM_ChannelUncontendedPair, StdChan);

// ---- job dispatch: empty jobs through the pool and through a plain queue ----

constexpr int kBatch = 1000;
std::atomic<int64_t> g_jobs_done{0};
std::mutex g_batch_m;
std::condition_variable g_batch_cv;
int64_t g_batch_target = 0;

// The job does nothing but report, so that a batch's end can be awaited.
void empty_job() {
    int64_t done = g_jobs_done.fetch_add(1, std::memory_order_acq_rel) + 1;
    if (done % kBatch == 0) {
        std::lock_guard<std::mutex> lk(g_batch_m);
        g_batch_cv.notify_all();
    }
}

void await_jobs(int64_t target) {
    std::unique_lock<std::mutex> lk(g_batch_m);
    g_batch_cv.wait(lk, [&] { return g_jobs_done.load(std::memory_order_acquire) >= target; });
}

struct StdPool {
    std::mutex m;
    std::condition_variable cv;
    std::deque<void (*)()> jobs;
    bool stop = false;
    std::vector<std::thread> workers;
    explicit StdPool(int n) {
        for (int i = 0; i < n; ++i)
            workers.emplace_back([this] {
                for (;;) {
                    std::unique_lock<std::mutex> lk(m);
                    cv.wait(lk, [&] { return !jobs.empty() || stop; });
                    if (jobs.empty()) return;
                    void (*job)() = jobs.front();
                    jobs.pop_front();
                    lk.unlock();
                    job();
                }
            });
    }
    void execute(void (*job)()) {
        {
            std::lock_guard<std::mutex> lk(m);
            jobs.push_back(job);
        }
        cv.notify_one();
    }
    ~StdPool() {
        {
            std::lock_guard<std::mutex> lk(m);
            stop = true;
        }
        cv.notify_all();
        for (auto &w : workers) w.join();
    }
};

void BM_PoolDispatch_Zel(benchmark::State &state) {
    ZelThreadPool *pool = zel_thread_pool_new(state.range(0));
    g_jobs_done = 0;
    int64_t target = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) zel_thread_pool_execute(pool, empty_job);
        await_jobs(target += kBatch);
    }
    zel_thread_pool_join(pool);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_PoolDispatch_Zel)->Arg(1)->Arg(4)->UseRealTime();

void BM_PoolDispatch_Std(benchmark::State &state) {
    auto *pool = new StdPool(static_cast<int>(state.range(0)));
    g_jobs_done = 0;
    int64_t target = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i) pool->execute(empty_job);
        await_jobs(target += kBatch);
    }
    delete pool;
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_PoolDispatch_Std)->Arg(1)->Arg(4)->UseRealTime();

// ---- uncontended lock and unlock ----

void BM_MutexLockUnlock_Zel(benchmark::State &state) {
    ZelMutex *m = zel_mutex_new(0);
    for (auto _ : state) zel_mutex_unlock(m, zel_mutex_lock(m) + 1);
    benchmark::DoNotOptimize(zel_mutex_lock(m));
    zel_mutex_unlock(m, 0);
    zel_mutex_free(m);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MutexLockUnlock_Zel);

void BM_MutexLockUnlock_Std(benchmark::State &state) {
    std::mutex m;
    int64_t value = 0;
    for (auto _ : state) {
        m.lock();
        benchmark::DoNotOptimize(++value);
        m.unlock();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MutexLockUnlock_Std);

}  // namespace
