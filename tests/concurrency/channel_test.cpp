// Channels: FIFO order across the ring's wrap-around with several producers
// and consumers, close semantics, timeouts, and the refused constructions.
#include <algorithm>
#include <vector>

#include "bounded.h"

using zc::as_arg;
using zc::from_arg;
using zc::now_ms;

namespace {

class Channel : public zc::Bounded {};

// Channels are never released; keeping their handles reachable tells the
// leak checker so. The list itself is never destroyed: a static destructor
// would run before the check.
auto *g_kept = new std::vector<ZelChannelHandle *>;
void keep(ZelChannelHandle *h) { g_kept->push_back(h); }

struct Pair {
    ZelChannelHandle *tx, *rx;
};
Pair make(int64_t capacity) {
    Pair p{nullptr, nullptr};
    ZelChannelHandle *r = zel_channel_new(capacity, &p.tx, &p.rx);
    EXPECT_NE(r, nullptr);
    EXPECT_EQ(r, p.rx);
    EXPECT_NE(p.tx, p.rx);
    keep(p.tx);
    keep(p.rx);
    return p;
}

}  // namespace

TEST_F(Channel, RingKeepsOrderAcrossWrapAround) {
    Pair c = make(2);
    EXPECT_EQ(zel_channel_try_send(c.tx, 1), 1);
    EXPECT_EQ(zel_channel_try_send(c.tx, 2), 1);
    EXPECT_EQ(zel_channel_try_send(c.tx, 3), 0);  // full
    EXPECT_EQ(zel_channel_send_timeout(c.tx, 3, 0), 0);
    int64_t v = -1;
    EXPECT_EQ(zel_channel_try_recv(c.rx, &v), 1);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(zel_channel_try_send(c.tx, 3), 1);
    ZelChannelHandle *other = zel_sender_clone(c.tx);  // any handle works both ways
    keep(other);
    std::vector<int64_t> got;
    for (int64_t next = 4; next < 40; ++next) {
        got.push_back(zel_channel_recv(other));
        zel_channel_send(next % 3 ? c.tx : other, next);
    }
    EXPECT_EQ(zel_channel_recv_timeout(c.rx, 0, &v), 1);  // timeout 0 takes what is there
    got.push_back(v);
    EXPECT_EQ(zel_channel_recv_opt(c.rx, &v), 1);
    got.push_back(v);
    std::vector<int64_t> want;
    for (int64_t i = 2; i < 40; ++i) want.push_back(i);
    EXPECT_EQ(got, want);
    v = -1;
    EXPECT_EQ(zel_channel_try_recv(c.rx, &v), 0);
    EXPECT_EQ(v, -1);
}

namespace {
constexpr int kProducers = 4, kConsumers = 2;
constexpr int64_t kPerProducer = 3000;
struct Traffic {
    ZelChannelHandle *tx[kProducers];
    ZelChannelHandle *rx;
    std::vector<int64_t> seen[kConsumers];
};
}  // namespace

TEST_F(Channel, SeveralProducersAndConsumersLoseNothingAndKeepEachOrder) {
    // A capacity of 3 makes the ring wrap about every third value.
    auto *t = new Traffic{};
    Pair c = make(3);
    t->rx = c.rx;
    for (int p = 0; p < kProducers; ++p) {
        t->tx[p] = p == 0 ? c.tx : zel_sender_clone(c.tx);
        keep(t->tx[p]);
    }
    std::vector<ZelThread *> consumers, producers;
    for (int i = 0; i < kConsumers; ++i)
        consumers.push_back(zel_spawn(+[](int64_t a) -> int64_t {
            auto *tr = from_arg<Traffic>(a >> 8);
            int64_t v;
            while (zel_channel_recv_opt(tr->rx, &v)) tr->seen[a & 0xff].push_back(v);
            return 0;
        }, as_arg(t) << 8 | i));
    for (int p = 0; p < kProducers; ++p)
        producers.push_back(zel_spawn(+[](int64_t a) -> int64_t {
            auto *tr = from_arg<Traffic>(a >> 8);
            int64_t id = a & 0xff;
            for (int64_t s = 0; s < kPerProducer; ++s) {
                int64_t v = id << 32 | s;
                // Mix the sending variants; every one of them must deliver.
                if (s % 3 == 0) zel_channel_send(tr->tx[id], v);
                else if (s % 3 == 1) EXPECT_EQ(zel_channel_send_timeout(tr->tx[id], v, -1), 1);
                else EXPECT_EQ(zel_channel_send_timeout(tr->tx[id], v, 20000), 1);
            }
            return 0;
        }, as_arg(t) << 8 | p));
    for (ZelThread *p : producers) zel_join(p);
    zel_channel_close(c.tx);
    for (ZelThread *q : consumers) zel_join(q);

    std::vector<int64_t> all;
    for (const auto &seen : t->seen) {
        int64_t last[kProducers] = {-1, -1, -1, -1};
        for (int64_t v : seen) {
            int id = static_cast<int>(v >> 32);
            ASSERT_GT(v & 0xffffffff, last[id]) << "values of one producer overtook each other";
            last[id] = v & 0xffffffff;
        }
        all.insert(all.end(), seen.begin(), seen.end());
    }
    std::sort(all.begin(), all.end());
    ASSERT_EQ(all.size(), size_t{kProducers * kPerProducer});
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(all[i], int64_t(i / kPerProducer) << 32 | int64_t(i % kPerProducer));
    delete t;
}

TEST_F(Channel, CloseDeliversBufferedValuesThenReportsEmpty) {
    // Each receiving variant drains 1, 0, 2 and then answers "no value" at once.
    for (int variant = 0; variant < 4; ++variant) {
        Pair c = make(4);
        for (int64_t v : {1, 0, 2}) zel_channel_send(c.tx, v);
        EXPECT_EQ(zel_channel_is_closed(c.rx), 0);
        zel_channel_close(c.tx);
        EXPECT_EQ(zel_channel_is_closed(c.rx), 1);
        // Sends of every kind store nothing now.
        zel_channel_send(c.tx, 99);
        EXPECT_EQ(zel_channel_try_send(c.tx, 99), 0);
        EXPECT_EQ(zel_channel_send_timeout(c.tx, 99, 1000), 0);
        std::vector<int64_t> got;
        int64_t start = now_ms();
        for (;;) {
            int64_t v = -7;
            int64_t ok;
            if (variant == 0) {
                v = zel_channel_recv(c.rx);
                ok = got.size() < 3;
                if (!ok) EXPECT_EQ(v, 0);
            } else if (variant == 1) ok = zel_channel_recv_opt(c.rx, &v);
            else if (variant == 2) ok = zel_channel_recv_timeout(c.rx, -1, &v);
            else ok = zel_channel_try_recv(c.rx, &v);
            if (!ok) {
                if (variant != 0) EXPECT_EQ(v, -7);  // out untouched
                break;
            }
            got.push_back(v);
        }
        EXPECT_EQ(got, (std::vector<int64_t>{1, 0, 2})) << "variant " << variant;
        EXPECT_EQ(zel_channel_recv_timeout(c.rx, 5000, nullptr), 0);
        EXPECT_LT(now_ms() - start, 1000);
    }
}

namespace {
struct Blocked {
    ZelChannelHandle *full, *empty, *none;
};
}  // namespace

TEST_F(Channel, CloseWakesBlockedSendersAndReceivers) {
    auto *b = new Blocked{};
    Pair full = make(1), empty = make(4), none = make(0);
    b->full = full.tx;
    b->empty = empty.rx;
    b->none = none.tx;
    zel_channel_send(full.tx, 7);
    using Fn = int64_t (*)(int64_t);
    // Each returns what it sent or received; -1 stands for "nothing".
    Fn waiters[] = {
        +[](int64_t a) -> int64_t { zel_channel_send(from_arg<Blocked>(a)->full, 8); return -1; },
        +[](int64_t a) -> int64_t { return zel_channel_send_timeout(from_arg<Blocked>(a)->full, 9, -1) ? 9 : -1; },
        +[](int64_t a) -> int64_t { return zel_channel_send_timeout(from_arg<Blocked>(a)->full, 9, 30000) ? 9 : -1; },
        +[](int64_t a) -> int64_t { zel_channel_send(from_arg<Blocked>(a)->none, 5); return -1; },
        +[](int64_t a) -> int64_t { return zel_channel_recv(from_arg<Blocked>(a)->empty) == 0 ? -1 : 1; },
        +[](int64_t a) -> int64_t { int64_t v; return zel_channel_recv_opt(from_arg<Blocked>(a)->empty, &v) ? v : -1; },
        +[](int64_t a) -> int64_t { int64_t v; return zel_channel_recv_timeout(from_arg<Blocked>(a)->empty, -1, &v) ? v : -1; },
        +[](int64_t a) -> int64_t { int64_t v; return zel_channel_recv_timeout(from_arg<Blocked>(a)->empty, 30000, &v) ? v : -1; },
    };
    std::vector<ZelThread *> ts;
    for (Fn f : waiters) ts.push_back(zel_spawn(f, as_arg(b)));
    zc::sleep_ms(100);  // let them block; a late starter sees the closed state, same results
    int64_t start = now_ms();
    zel_channel_close(full.rx);
    zel_channel_close(empty.tx);
    zel_channel_close(none.rx);
    for (ZelThread *t : ts) EXPECT_EQ(zel_join(t), -1);
    EXPECT_LT(now_ms() - start, 10000);  // woken, not timed out
    int64_t v = 0;
    EXPECT_EQ(zel_channel_try_recv(full.rx, &v), 1);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(zel_channel_try_recv(full.rx, &v), 0);  // the blocked values were not stored
    delete b;
}

TEST_F(Channel, TimeoutsAreHonouredAndWakeEarly) {
    Pair full = make(1), empty = make(1), none = make(0);
    zel_channel_send(full.tx, 1);
    int64_t v = -3;
    struct Case {
        const char *what;
        int64_t (*op)(Pair, int64_t *);
        Pair *chan;
    } cases[] = {
        {"recv on empty", [](Pair p, int64_t *out) { return zel_channel_recv_timeout(p.rx, 50, out); }, &empty},
        {"send on full", [](Pair p, int64_t *) { return zel_channel_send_timeout(p.tx, 2, 50); }, &full},
        {"send on capacity 0", [](Pair p, int64_t *) { return zel_channel_send_timeout(p.tx, 2, 50); }, &none},
        {"recv on capacity 0", [](Pair p, int64_t *out) { return zel_channel_recv_timeout(p.rx, 50, out); }, &none},
    };
    for (const Case &c : cases) {
        int64_t start = now_ms();
        EXPECT_EQ(c.op(*c.chan, &v), 0) << c.what;
        int64_t took = now_ms() - start;
        EXPECT_GE(took, 50) << c.what;
        EXPECT_LT(took, 1000) << c.what;
    }
    EXPECT_EQ(v, -3);
    EXPECT_EQ(zel_channel_try_send(none.tx, 1), 0);

    // A value arriving from another thread ends long and unlimited waits early.
    for (int64_t timeout : {int64_t{-1}, int64_t{20000}, INT64_MAX}) {
        ZelThread *t = zel_spawn(+[](int64_t a) -> int64_t {
            zc::sleep_ms(30);
            zel_channel_send(from_arg<ZelChannelHandle>(a), 42);
            return 0;
        }, as_arg(empty.tx));
        int64_t start = now_ms();
        v = 0;
        EXPECT_EQ(zel_channel_recv_timeout(empty.rx, timeout, &v), 1) << timeout;
        EXPECT_EQ(v, 42);
        EXPECT_LT(now_ms() - start, 10000);
        zel_join(t);
    }
    // Room appearing ends a timed send early.
    ZelThread *t = zel_spawn(+[](int64_t a) -> int64_t {
        zc::sleep_ms(30);
        return zel_channel_recv(from_arg<ZelChannelHandle>(a));
    }, as_arg(full.rx));
    EXPECT_EQ(zel_channel_send_timeout(full.tx, 2, INT64_MAX), 1);
    EXPECT_EQ(zel_join(t), 1);
    EXPECT_EQ(zel_channel_recv(full.rx), 2);
}

TEST_F(Channel, RefusedCapacityAndNullHandles) {
    for (int64_t bad : {int64_t{-1}, INT64_MIN, INT64_MAX, INT64_MAX / 8 + 1}) {
        ZelChannelHandle *tx = from_arg<ZelChannelHandle>(1), *rx = tx;
        EXPECT_EQ(zel_channel_new(bad, &tx, &rx), nullptr) << bad;
        EXPECT_EQ(tx, nullptr);
        EXPECT_EQ(rx, nullptr);
    }
    // What a refused construction hands out behaves as a closed, empty channel.
    int64_t v = -2;
    zel_channel_send(nullptr, 1);
    EXPECT_EQ(zel_channel_recv(nullptr), 0);
    EXPECT_EQ(zel_channel_recv_opt(nullptr, &v), 0);
    EXPECT_EQ(zel_channel_try_send(nullptr, 1), 0);
    EXPECT_EQ(zel_channel_try_recv(nullptr, &v), 0);
    EXPECT_EQ(zel_channel_send_timeout(nullptr, 1, -1), 0);
    EXPECT_EQ(zel_channel_recv_timeout(nullptr, -1, &v), 0);
    EXPECT_EQ(v, -2);
    EXPECT_EQ(zel_sender_clone(nullptr), nullptr);
    zel_channel_close(nullptr);
    EXPECT_EQ(zel_channel_is_closed(nullptr), 1);
}
