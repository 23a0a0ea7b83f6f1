// Records a host made by hand: NULL, NULL data with a length, negative
// lengths over bytes that have no NUL. Each operation answers as it does for
// the empty string, except where its contract says otherwise (the third and
// fourth columns), and never reads a byte through such a record; under
// AddressSanitizer a single read past the three bytes fails the test.
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support.h"

namespace {

using namespace std::string_literals;
using zt::S;

const char *const kSame = "=";  // answers as for the empty string

// A result as text: "self" when it is the argument itself, quoted bytes otherwise.
std::string show(const ZelString *r, const ZelString *arg) {
    if (r == arg) return "self";
    return r == nullptr ? "null" : "'" + zt::str(r) + "'";
}
// A vector of strings as text, released.
std::string show(ZelVec *v, const ZelString *arg) {
    std::string out = std::to_string(v->len) + ":";
    for (int64_t i = 0; i < v->len; ++i) out += show(reinterpret_cast<ZelString *>(v->items[i]), arg);
    zel_vec_free(v);
    return out;
}

std::string text(int64_t v) { return std::to_string(v); }

// What a push into a builder holding "a" answers, and what the builder then holds.
std::string built(const std::function<int64_t(ZelStringBuilder *)> &push) {
    ZelStringBuilder *b = zel_sb_new();
    zel_sb_push_char(b, 'a');
    std::string r = text(push(b)) + "/" + zt::str(zel_sb_build(b));
    zel_sb_free(b);
    return r;
}

struct Row {
    const char *name;
    std::function<std::string(ZelString *)> run;
    const char *null = kSame, *no_data = kSame, *negative = kSame;
};

TEST(Hostile, RecordsWithoutBytesReadAsEmpty) {
    zel_arena_mode(1);  // results go with the arena, whoever owns them
    ZelString *abc = S("a,b,c"), *comma = S(","), *semi = S(";");
    auto *raw = static_cast<char *>(malloc(3));
    memcpy(raw, "a,b", 3);  // no NUL: nothing may read a fourth byte
    ZelString hollow = {nullptr, 5, 5}, negative = {raw, -3, 3}, most_negative = {raw, INT64_MIN, 0};
    const std::vector<Row> rows = {
        {"repeat", [](ZelString *s) { return show(zel_string_repeat(s, 3), s); }},
        {"concat x+abc", [&](ZelString *s) { return show(zel_string_concat(s, abc), s); }, "''", "''"},
        {"concat abc+x", [&](ZelString *s) { return show(zel_string_concat(abc, s), s); }, "''", "''"},
        {"concat3", [&](ZelString *s) { return show(zel_string_concat3(s, abc, s), s); }},
        {"concat7", [&](ZelString *s) { return show(zel_string_concat7(s, s, abc, s, s, s, s), s); }},
        // is_empty reads the len field as it stands.
        {"is_empty", [&](ZelString *s) { return text(zel_string_is_empty(s)); }, kSame, "0", "0"},
        {"char_at", [&](ZelString *s) { return text(zel_string_char_at(s, 0) + ord(s)); }},
        {"char_at_str", [](ZelString *s) { return show(zel_str_char_at_str(s, 0), s); }},
        {"eq with empty", [&](ZelString *s) { return text(zel_string_eq(s, S(""))); }, "0", "0", "0"},
        {"cmp", [&](ZelString *s) { return text(zel_string_cmp(s, abc) * 10 + zel_string_cmp(abc, s)); }},
        // A record without bytes sorts first, before the empty string too.
        {"cmp with empty", [&](ZelString *s) { return text(zel_string_cmp(s, S(""))); }, "-1", "-1", "-1"},
        {"hash", [&](ZelString *s) { return text(static_cast<int64_t>(zel_string_hash(s))); }, "0", "0"},
        {"slice", [](ZelString *s) { return show(zel_string_slice(s, 0, 2), s); }},
        {"substr", [](ZelString *s) { return show(zel_string_substr(s, 0, 2), s); }},
        {"search in x", [&](ZelString *s) {
             return text(zel_string_starts_with(s, abc)) + text(zel_string_ends_with(s, abc)) +
                    text(zel_string_contains(s, abc)) + text(zel_string_index_of(s, abc)) +
                    text(zel_string_last_index_of(s, abc)) + text(zel_string_count(s, abc));
         }},
        // NULL is no pattern; a record without bytes is the empty one.
        {"search for x", [&](ZelString *s) {
             return text(zel_string_starts_with(abc, s)) + text(zel_string_ends_with(abc, s)) +
                    text(zel_string_contains(abc, s)) + text(zel_string_index_of(abc, s)) +
                    text(zel_string_last_index_of(abc, s)) + text(zel_string_count(abc, s));
         }, "000-1-10"},
        {"trims", [](ZelString *s) {
             return show(zel_string_trim(s), s) + show(zel_string_trim_left(s), s) + show(zel_string_trim_right(s), s);
         }},
        {"case and reverse", [](ZelString *s) {
             return show(zel_string_to_upper(s), s) + show(zel_string_to_lower(s), s) + show(zel_string_reverse(s), s);
         }},
        {"replace in x", [&](ZelString *s) { return show(zel_string_replace(s, comma, semi), s); }},
        {"replace x", [&](ZelString *s) { return show(zel_string_replace(abc, s, semi), s); }},
        // A NULL replacement leaves the text alone; one without bytes deletes.
        {"replace by x", [&](ZelString *s) { return show(zel_string_replace(abc, comma, s), s); }, "'a,b,c'"},
        // Already as wide as its len field claims: the record itself.
        {"pad", [](ZelString *s) { return show(zel_string_pad_left(s, 4, '*'), s) + show(zel_string_pad_right(s, 6, '-'), s); },
         "selfself", "self'------'"},
        {"pad with x", [&](ZelString *s) { return show(zel_str_pad_left(abc, 7, s), s) + show(zel_str_pad_right(abc, 6, s), s); }},
        // Without bytes there is nothing to split; with a negative length, one empty piece.
        {"split x", [&](ZelString *s) { return show(zel_string_split(s, comma), s); }, "0:", "0:"},
        {"split at x", [&](ZelString *s) { return show(zel_string_split(abc, s), abc); }},
        {"join", [&](ZelString *s) {
             ZelVec *v = zel_vec_new();
             for (ZelString *e : {s, abc, s}) zel_vec_push(v, reinterpret_cast<int64_t>(e));
             std::string r = show(zel_string_join(v, s), s);
             zel_vec_free(v);
             return r;
         }},
        {"parse", [](ZelString *s) { return text(zel_parse_int(s)) + "/" + std::to_string(zel_parse_f64(s)); }},
        {"builder pushes", [&](ZelString *s) {
             return built([s](ZelStringBuilder *b) { return zel_sb_push(b, s) + zel_sb_push_range(b, s, 0, 2); }) +
                    built([s](ZelStringBuilder *b) { return zel_sb_push_escaped(b, s) + sb_push_escaped(b, s); });
         }, "0/a0/a", "0/a0/a"},
        {"builder contains", [](ZelString *s) { return built([s](ZelStringBuilder *b) { return zel_sb_contains(b, s); }); }},
    };
    ZelString *empty = S("");
    for (const Row &row : rows) {
        std::string same = row.run(empty);
        const std::pair<ZelString *, const char *> cases[] = {
            {nullptr, row.null}, {&hollow, row.no_data}, {&negative, row.negative}, {&most_negative, row.negative}};
        for (auto [record, want] : cases) {
            std::string got = row.run(record);
            // "self" for the empty string means "the argument itself" for the others too.
            EXPECT_EQ(got, want == kSame ? same : std::string(want)) << row.name << " on " << (record ? zel_string_len(record) : -1);
        }
    }
    free(raw);
    zel_arena_destroy();
}

// The zel_ printers are bounded by len: none of these writes a byte of the
// record (the unprefixed ones read to the NUL by contract and are not shown).
TEST(Hostile, PrintersWriteNothingFromRecordsWithoutBytes) {
    auto r = zt::run_child([] {
        auto *raw = static_cast<char *>(malloc(3));
        memcpy(raw, "a,b", 3);
        ZelString hollow = {nullptr, 5, 5}, negative = {raw, -3, 3}, most_negative = {raw, INT64_MIN, 0};
        for (ZelString *s : {(ZelString *)nullptr, &hollow, &negative, &most_negative}) {
            zel_print_str(s);
            zel_println_str(s);
            zel_write_stdout(s);
            printf("|");
        }
        free(raw);
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\n|\n|\n|\n|");
}

// Input that trickles in while a handler without SA_RESTART keeps
// interrupting the reader: lines, byte counts and numbers still come whole,
// and only the real end of the input reads as its end.
TEST(Hostile, SignalsWhileStandardInputIsRead) {
    auto r = zt::run_child([] {
        alarm(30);
        struct sigaction sa = {};
        sa.sa_handler = [](int) {};
        sigaction(SIGUSR1, &sa, nullptr);
        int p[2];
        if (pipe(p) != 0 || dup2(p[0], 0) < 0) return 2;
        close(p[0]);
        pthread_t reader = pthread_self();
        std::thread feeder([&] {
            for (const char *piece : {"hello ", "world\nsecond ", "line\nbytes\n", "01234", "56789", " 42\n", "2.5\n"}) {
                for (int i = 0; i < 10; ++i, usleep(1000)) pthread_kill(reader, SIGUSR1);
                if (write(p[1], piece, strlen(piece)) < 0) break;
            }
            for (int i = 0; i < 10; ++i, usleep(1000)) pthread_kill(reader, SIGUSR1);
            close(p[1]);
        });
        std::string got;
        for (int i = 0; i < 3; ++i) got += zt::str(zel_read_line()) + "|";
        got += zt::str(zel_read_bytes(10)) + "|";
        got += std::to_string(zel_read_int()) + "|";
        got += std::to_string(zel_read_f64()) + "|";
        for (int i = 0; i < 2; ++i) got += zt::str(zel_read_line()) + "|";  // the rest of 2.5's line, then the end
        feeder.join();
        printf("%s", got.c_str());
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "hello world|second line|bytes|0123456789|42|2.500000||__EOF__|");
}

// Standard streams that are closed: input reads as its end, output fails
// quietly, and nothing ends the process.
TEST(Hostile, ClosedStandardStreams) {
    auto r = zt::run_child([] {
        close(0);
        ZelString *line = zel_read_line(), *bytes = zel_read_bytes(10);
        int64_t number = zel_read_int();
        int ok = zt::str(line) == "__EOF__" && bytes->len == 0 && number == 0;
        fprintf(stderr, "%d", ok);
        close(1);
        ZelString *s = S("lost");
        zel_write_stdout(s);
        zel_println_str(s);
        zel_println_i64(7);
        fprintf(stderr, " alive");
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "1 alive");
}

}  // namespace
