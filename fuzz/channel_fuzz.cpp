// One channel driven from a single thread by try, timed and (where the model
// says they return at once) blocking operations through several handles and
// the null handle, against a std::deque model: FIFO order across the ring's
// wrap-around, capacity 0, close, draining after close, out values left
// untouched on failure, and the refusal of impossible capacities. Timeouts are
// 0 or 1 ms, and at most a few waits of 1 ms are spent per input.
//
// Channels are never released by the library; the target releases its own
// through the channel record, after checking the record against the model.
#include <pthread.h>

#include <deque>
#include <vector>

#include "../runtime/concurrency/channel.h"
#include "fuzz_support.h"

namespace {

ZelChannel *record_of(ZelChannelHandle *h) { return h->channel; }

struct Model {
    std::deque<int64_t> q;
    int64_t cap;
    bool closed = false;
    int64_t read = 0;  // ring position of the oldest value
    bool full() const { return static_cast<int64_t>(q.size()) == cap; }
    int64_t take() {
        int64_t v = q.front();
        q.pop_front();
        if (++read == cap) read = 0;
        return v;
    }
};

constexpr int64_t kUntouched = 0x5a5a5a5a5a5a5a5a;
constexpr int kWaitBudget = 3;  // timed waits that really wait, per input

void check_record(ZelChannelHandle *h, const Model &m) {
    const ZelChannel *c = record_of(h);
    FUZZ_CHECK(c->capacity == m.cap && c->count == static_cast<int64_t>(m.q.size()) && c->closed == (m.closed ? 1 : 0));
    if (m.cap == 0) return;
    FUZZ_CHECK(c->read_index == m.read && c->write_index == (m.read + c->count) % m.cap);
    for (size_t i = 0; i < m.q.size(); ++i) FUZZ_CHECK(c->slots[(m.read + static_cast<int64_t>(i)) % m.cap] == m.q[i]);
}

// Impossible capacities give no channel and null handles.
void refused(int64_t capacity) {
    static int64_t marker;
    auto *bogus = reinterpret_cast<ZelChannelHandle *>(&marker);
    ZelChannelHandle *tx = bogus, *rx = bogus;
    FUZZ_CHECK(zel_channel_new(capacity, &tx, &rx) == nullptr && tx == nullptr && rx == nullptr);
    FUZZ_CHECK(zel_channel_new(capacity, nullptr, nullptr) == nullptr);
}

// The null handle behaves as a closed, empty channel.
void null_handle() {
    int64_t out = kUntouched;
    FUZZ_CHECK(zel_channel_try_send(nullptr, 1) == 0 && zel_channel_send_timeout(nullptr, 1, -1) == 0);
    FUZZ_CHECK(zel_channel_try_recv(nullptr, &out) == 0 && zel_channel_recv_timeout(nullptr, -1, &out) == 0);
    FUZZ_CHECK(zel_channel_recv_opt(nullptr, &out) == 0 && zel_channel_recv(nullptr) == 0 && out == kUntouched);
    zel_channel_send(nullptr, 1);
    zel_channel_close(nullptr);
    FUZZ_CHECK(zel_channel_is_closed(nullptr) == 1 && zel_sender_clone(nullptr) == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fz::Input in{data, size};
    const uint8_t first = in.byte();
    switch (first >> 4) {
    case 1: refused(-1); break;
    case 2: refused(INT64_MIN); break;
    case 3: refused(-static_cast<int64_t>(in.word() & INT64_MAX) - 1); break;
    case 4: refused(PTRDIFF_MAX / 8 + 1); break;  // the slot array's size would not fit
    case 5: refused(INT64_MAX); break;
    case 6: null_handle(); break;
    default: break;
    }
    Model m;
    m.cap = first % 9;
    // Bits of the second byte: which out pointers are given.
    const uint8_t outs = in.byte();
    ZelChannelHandle *tx = nullptr, *rx = nullptr;
    ZelChannelHandle *got = zel_channel_new(m.cap, (outs & 1) ? nullptr : &tx, (outs & 2) ? nullptr : &rx);
    FUZZ_CHECK(got != nullptr);
    if (!(outs & 2)) FUZZ_CHECK(rx == got);
    std::vector<ZelChannelHandle *> handles = {got};
    if (!(outs & 1)) {
        FUZZ_CHECK(tx != nullptr && tx != got && record_of(tx) == record_of(got));
        handles.push_back(tx);
    }
    std::vector<ZelChannelHandle *> clones;
    int waits = 0;
    int64_t next_value = 1;
    check_record(got, m);

    while (!in.empty()) {
        const uint8_t op = in.byte();
        ZelChannelHandle *h = handles[in.byte() % handles.size()];
        // Values: a counter, or a word from the input.
        const int64_t v = (op & 0x80) ? in.word() : next_value++;
        // A timed operation waits for real only when it cannot finish at once.
        auto timeout = [&](bool ready) -> int64_t {
            const uint8_t t = in.byte() % 3;
            if (ready || m.closed) return t == 2 ? -1 : t;  // -1 returns at once here too
            if (t == 1 && waits < kWaitBudget) {
                ++waits;
                return 1;
            }
            return 0;
        };
        int64_t out = kUntouched;
        switch (op % 11) {
        case 0: {
            const bool ok = !m.closed && !m.full();
            FUZZ_CHECK(zel_channel_try_send(h, v) == (ok ? 1 : 0));
            if (ok) m.q.push_back(v);
            break;
        }
        case 1: {
            const bool ok = !m.q.empty();
            FUZZ_CHECK(zel_channel_try_recv(h, (op & 0x40) ? nullptr : &out) == (ok ? 1 : 0));
            const int64_t want = ok ? m.take() : kUntouched;
            FUZZ_CHECK(out == ((op & 0x40) ? kUntouched : want));
            break;
        }
        case 2: {
            const bool ok = !m.closed && !m.full();
            FUZZ_CHECK(zel_channel_send_timeout(h, v, timeout(ok)) == (ok ? 1 : 0));
            if (ok) m.q.push_back(v);
            break;
        }
        case 3: {
            const bool ok = !m.q.empty();
            FUZZ_CHECK(zel_channel_recv_timeout(h, timeout(ok), &out) == (ok ? 1 : 0));
            FUZZ_CHECK(out == (ok ? m.take() : kUntouched));
            break;
        }
        case 4:
            // Blocking send returns at once when there is room or the channel is closed.
            if (!m.closed && m.full()) break;
            zel_channel_send(h, v);
            if (!m.closed) m.q.push_back(v);
            break;
        case 5:
            // Blocking receives return at once when a value waits or the channel is closed.
            if (!m.closed && m.q.empty()) break;
            if (m.q.empty()) {
                FUZZ_CHECK(zel_channel_recv(h) == 0);
                FUZZ_CHECK(zel_channel_recv_opt(h, &out) == 0 && out == kUntouched);
            } else if (op & 0x40) {
                FUZZ_CHECK(zel_channel_recv(h) == m.take());
            } else {
                FUZZ_CHECK(zel_channel_recv_opt(h, &out) == 1 && out == m.take());
            }
            break;
        case 6:
            zel_channel_close(h);
            m.closed = true;
            break;
        case 7:
            FUZZ_CHECK(zel_channel_is_closed(h) == (m.closed ? 1 : 0));
            break;
        case 8:
            if (clones.size() < 4) {
                ZelChannelHandle *c = zel_sender_clone(h);
                FUZZ_CHECK(c != nullptr && record_of(c) == record_of(h));
                clones.push_back(c);
                handles.push_back(c);
            }
            break;
        case 9:
            null_handle();
            break;
        default: {
            // Drain what is left, in order.
            while (!m.q.empty()) FUZZ_CHECK(zel_channel_try_recv(h, &out) == 1 && out == m.take());
            FUZZ_CHECK(zel_channel_try_recv(h, &out) == 0);
            break;
        }
        }
        check_record(h, m);
    }

    ZelChannel *c = record_of(got);
    pthread_mutex_destroy(&c->lock);
    pthread_cond_destroy(&c->not_empty);
    pthread_cond_destroy(&c->not_full);
    free(c->slots);
    free(c);
    for (ZelChannelHandle *x : handles) free(x);
    return 0;
}
