// Allocation failure in the collections, strings, JSON and file services.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "faults/faults.h"

namespace {

using zf::I;
using zf::P;
using zf::Shot;

struct Keys {
    std::vector<ZelString *> held;
    explicit Keys(int n) {
        for (int i = 0; i < n; ++i) held.push_back(zt::S("key" + std::to_string(i)));
    }
    ~Keys() {
        for (ZelString *s : held) zel_string_free(s);
    }
};

// Room for one more handle without growing the pool, or none at all.
void pool_room() {
    if (g_svec_pool_len == g_svec_pool_cap) zel_svec_new();
}
void pool_full() {
    pool_room();
    while (g_svec_pool_len < g_svec_pool_cap) zel_svec_new();
}

std::vector<std::string> pieces(const std::string &text, char sep) {
    std::vector<std::string> r;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find(sep, start);
        if (end == std::string::npos) end = text.size();
        r.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return r;
}

// A split under failure: a handle, whose pieces are the expected ones in order
// with those left out that found no room (one at most when one allocation
// failed). Releases the pieces and the vector.
bool split_ok(const Shot &s, const std::vector<std::string> &want) {
    if (s.r < 0) return false;
    size_t j = 0, n = static_cast<size_t>(zel_svec_len(s.r));
    for (size_t i = 0; i < n; ++i) {
        std::string got = zt::str(zel_svec_get(s.r, static_cast<int64_t>(i)));
        while (j < want.size() && want[j] != got) ++j;
        if (j++ == want.size()) return false;
        zel_string_free(zel_svec_get(s.r, static_cast<int64_t>(i)));
    }
    zel_svec_free(s.r);
    return n == want.size() || (s.failed && (s.rest || n + 1 == want.size()));
}

int64_t nth(const ZelVec *v, int64_t i) { return v->items[i]; }

TEST(AllocationFailure, Maps) {
    Keys keys(2869);
    ZelStrHashmap *sm = nullptr;
    ZelHashmap *im = nullptr;
    ZelStrmap *cm = nullptr;
    // 2868 entries in 4096 slots: the next insert grows the table.
    auto fill = [&] {
        sm = str_hashmap_new();
        for (int i = 0; i < 2868; ++i) str_hashmap_insert(sm, keys.held[i], i);
    };
    auto small = [&] {
        sm = str_hashmap_new();
        im = hashmap_new();
        cm = zel_strmap_new();
        for (int i = 0; i < 3; ++i) {
            str_hashmap_insert(sm, keys.held[i], i);
            hashmap_insert(im, i, i);
            zel_strmap_insert(cm, keys.held[i], i);
        }
    };
    auto release = [&] {
        str_hashmap_free(sm);
        hashmap_free(im);
        zel_strmap_free(cm);
        sm = nullptr, im = nullptr, cm = nullptr;
    };
    zf::check({
        {"hashmap_new", {}, [] { return I(hashmap_new()); },
         [](const Shot &s) { hashmap_free(P<ZelHashmap>(s.r)); return zf::null_iff_failed(s); }},
        {"str_hashmap_new", {}, [] { return I(str_hashmap_new()); },
         [](const Shot &s) { str_hashmap_free(P<ZelStrHashmap>(s.r)); return zf::null_iff_failed(s); }},
        {"str_hashmap_insert growing", fill, [&] { return str_hashmap_insert(sm, keys.held[2868], 2868); },
         [&](const Shot &s) {
             bool ok = s.r == 0 && sm->capacity == (s.failed ? 4096 : 8192) && sm->count == 2869;
             for (int i = 0; i < 2869; ++i) ok = ok && str_hashmap_get(sm, keys.held[i]) == i;
             release();
             return ok;
         }},
        {"zel_str_hashmap_keys, pool full", [&] { small(), pool_full(); },
         [&] { return zel_str_hashmap_keys(sm); },
         [&](const Shot &s) {
             bool ok = (s.r < 0) == s.failed && (s.r < 0 || zel_svec_len(s.r) == 3);
             zel_svec_free(s.r);
             release();
             return ok;
         },
         1},
        {"zel_strmap_new", {}, [] { return I(zel_strmap_new()); },
         [](const Shot &s) { zel_strmap_free(P<ZelStrmap>(s.r)); return s.r != 0; }, zf::kFatal},
        {"zel_strmap_insert, key copy", small, [&] { return zel_strmap_insert(cm, keys.held[3], 3); },
         [&](const Shot &s) {
             bool ok = s.r == 1 && zel_strmap_get(cm, keys.held[3]) == 3;
             release();
             return ok;
         },
         zf::kFatal},
        {"zel_strmap_insert growing",
         [&] {
             small();
             for (int i = 3; i < 49; ++i) zel_strmap_insert(cm, keys.held[i], i);
         },
         [&] { return zel_strmap_insert(cm, keys.held[49], 49); },
         [&](const Shot &s) {
             bool ok = s.r == 1 && cm->nbuckets == 128 && zel_strmap_size(cm) == 50;
             release();
             return ok;
         },
         zf::kFatal},
        {"hashmap_keys", small, [&] { return I(hashmap_keys(im)); },
         [&](const Shot &s) {
             bool ok = P<ZelVec>(s.r)->len == 3;
             zel_vec_free(P<ZelVec>(s.r));
             release();
             return ok;
         },
         zf::kFatal},
        {"str_hashmap_values", small, [&] { return I(str_hashmap_values(sm)); },
         [&](const Shot &s) {
             bool ok = P<ZelVec>(s.r)->len == 3;
             zel_vec_free(P<ZelVec>(s.r));
             release();
             return ok;
         },
         zf::kFatal},
        {"zel_strmap_keys", small, [&] { return I(zel_strmap_keys(cm)); },
         [&](const Shot &s) {
             ZelVec *v = P<ZelVec>(s.r);
             bool ok = v->len == 3;
             for (int64_t i = 0; i < v->len; ++i) zel_string_free(P<ZelString>(nth(v, i)));
             zel_vec_free(v);
             release();
             return ok;
         },
         zf::kFatal},
    });
}

TEST(AllocationFailure, StringVectors) {
    ZelString *x = zt::S("x");
    int64_t h = -1, before = 0;
    std::string csv, lines, words;
    for (int i = 0; i < 20; ++i) {
        csv += (i ? "," : "") + std::to_string(i);
        lines += "line" + std::to_string(i) + "\r\n";
        words += " w" + std::to_string(i) + "\t";
    }
    ZelString *tc = zt::S(csv), *tl = zt::S(lines), *tw = zt::S(words), *ab = zt::S("abcdefghijklmnopq"), *comma = zt::S(",");
    std::vector<std::string> want_lines = pieces(lines, '\n'), want_words;
    for (std::string &l : want_lines) l.pop_back();  // the CR
    for (int i = 0; i < 20; ++i) want_words.push_back("w" + std::to_string(i));
    std::vector<std::string> want_bytes;
    for (char c : std::string("abcdefghijklmnopq")) want_bytes.push_back(std::string(1, c));
    zf::check({
        {"zel_svec_new, pool full", [&] { pool_full(), before = g_svec_pool_len; }, [] { return zel_svec_new(); },
         [&](const Shot &s) { return s.failed ? s.r == -1 && g_svec_pool_len == before : s.r == before; }},
        {"zel_svec_push", [&] { pool_room(), h = zel_svec_new(); }, [&] { return zel_svec_push(h, x); },
         [&](const Shot &s) {
             bool ok = s.failed ? s.r == -1 && zel_svec_len(h) == 0 : s.r == 0 && zel_svec_get(h, 0) == x;
             zel_svec_free(h);
             return ok;
         }},
        // The pieces come from the heap: only the vectors' growth fails, and a
        // piece left out must be released again.
        {"zel_str_split", pool_room, [&] { return zel_str_split(tc, comma); },
         [&](const Shot &s) { return split_ok(s, pieces(csv, ',')); }, zf::kNever, zt::kRealloc},
        {"zel_str_split, single bytes", pool_room, [&] { return zel_str_split(ab, nullptr); },
         [&](const Shot &s) { return split_ok(s, want_bytes); }, zf::kNever, zt::kRealloc},
        {"zel_str_lines", pool_room, [&] { return zel_str_lines(tl); },
         [&](const Shot &s) { return split_ok(s, want_lines); }, zf::kNever, zt::kRealloc},
        {"zel_str_split_whitespace", pool_room, [&] { return zel_str_split_whitespace(tw); },
         [&](const Shot &s) { return split_ok(s, want_words); }, zf::kNever, zt::kRealloc},
        {"zel_str_split, pool full", pool_full, [&] { return zel_str_split(tc, comma); },
         [&](const Shot &s) { return s.r == -1 ? s.failed : split_ok(s, pieces(csv, ',')); },
         zf::kNever, zt::kRealloc},
    });
    for (ZelString *s : {x, tc, tl, tw, ab, comma}) zel_string_free(s);
}

TEST(AllocationFailure, StringsAndVectors) {
    std::string needle(100, 'n');
    ZelString *a = zt::S("a"), *b = zt::S(std::string(100, 'b')), *nd = zt::S(needle),
              *hay = zt::S("x" + needle + "yz"), *probe = zt::S("1," + std::string(80, '2')),
              *big = zt::S(std::string(2000, 'b'));
    ZelVec *v = nullptr;
    ZelStringBuilder *sb = nullptr;
    auto full_vec = [&] {
        v = zel_vec_new();
        for (int i = 0; i < 8; ++i) zel_vec_push(v, i);
    };
    zf::check({
        // A search without room for its table still answers.
        {"zel_string_last_index_of, long needle", {}, [&] { return zel_string_last_index_of(hay, nd); },
         [&](const Shot &s) { return s.r == 1; }},
        {"zel_sb_contains, long probe",
         [&] {
             sb = zel_sb_new();
             zel_sb_push(sb, probe);
         },
         [&] { return zel_sb_contains(sb, probe); },
         [&](const Shot &s) {
             zel_sb_free(sb);
             return s.r == 1;
         }},
        {"zel_string_concat", {}, [&] { return I(zel_string_concat(a, b)); },
         [&](const Shot &s) { return zel_string_free(P<ZelString>(s.r)) == 0; }, zf::kFatal},
        {"zel_ffi_cstr_to_string", {}, [] { return I(zel_ffi_cstr_to_string("host")); },
         [](const Shot &s) {
             zel_ffi_free_string(P<ZelString>(s.r));
             return s.r != 0;
         },
         zf::kFatal},
        {"zel_vec_new", {}, [] { return I(zel_vec_new()); },
         [](const Shot &s) {
             zel_vec_free(P<ZelVec>(s.r));
             return s.r != 0;
         },
         zf::kFatal},
        {"zel_vec_push growing", full_vec, [&] { return I(zel_vec_push(v, 8)); },
         [&](const Shot &s) {
             bool ok = s.r == I(v) && v->len == 9 && v->capacity == 16;
             zel_vec_free(v);
             return ok;
         },
         zf::kFatal},
        {"zel_sb_new", {}, [] { return I(zel_sb_new()); },
         [](const Shot &s) { return zel_sb_free(P<ZelStringBuilder>(s.r)) == 0 && s.r != 0; }, zf::kFatal},
        {"zel_sb_push growing", [&] { sb = zel_sb_new(); }, [&] { return zel_sb_push(sb, big); },
         [&](const Shot &) {
             bool ok = zel_sb_len(sb) == 2000;
             zel_sb_free(sb);
             return ok;
         },
         zf::kFatal},
    });
    for (ZelString *s : {a, b, nd, hay, probe, big}) zel_string_free(s);
}

TEST(AllocationFailure, Json) {
    ZelString *doc = zt::S("{\"name\":\"ZEL\",\"list\":[1,2,{\"k\":[true,null]}]}"), *key = zt::S("name");
    zf::check({
        {"zel_json_get", {}, [&] { return I(zel_json_get(doc, key)); },
         [](const Shot &s) { return zt::str(P<ZelString>(s.r)) == "\"ZEL\"" && zel_string_free(P<ZelString>(s.r)) == 0; },
         zf::kFatal},
        {"zel_json_stringify", {}, [&] { return I(zel_json_stringify(doc)); },
         [&](const Shot &s) { return zt::str(P<ZelString>(s.r)) == zt::str(doc) && zel_string_free(P<ZelString>(s.r)) == 0; },
         zf::kFatal},
    });
    zel_string_free(doc);
    zel_string_free(key);
}

// Files and commands whose results come from the heap and are handed over.
// In arena mode the string records come from the arena's block, so the only
// heap allocations left are those with an empty (or shorter) answer.
class Files : public ::testing::Test {
protected:
    std::string dir = "/tmp/zel_faults_" + std::to_string(getpid());
    void SetUp() override {
        ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
        std::string file = dir + "/file";
        FILE *f = fopen(file.c_str(), "w");
        fputs("contents", f);
        fclose(f);
        for (int i = 0; i < 40; ++i) {
            std::string name = dir + "/entry_with_a_rather_long_name_" + std::to_string(i);
            fclose(fopen(name.c_str(), "w"));
        }
    }
    void TearDown() override {
        zel_arena_destroy();
        std::string cmd = "rm -rf " + dir;
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
};

void arena_on() {
    zel_arena_mode(1);
    zel_string_free(zel_string_new("warm", 4));  // the arena's first block
}

// The arena string s holds want, or with a failure a part of it from the
// start; arena mode goes off again.
bool arena_answer(const Shot &s, const std::string &want) {
    std::string got = zt::str(P<ZelString>(s.r));
    zel_arena_mode(0);
    return got == want || (s.failed && want.compare(0, got.size(), got) == 0);
}

TEST_F(Files, ReadCaptureList) {
    ZelString *file = zt::S(dir + "/file"), *d = zt::S(dir), *deep = zt::S(dir + "/x/y"),
              *cmd = zt::S("head -c 10000 /dev/zero | tr '\\0' a"),
              *echo = zt::S("echo"), *hi = zt::S("hi");
    struct stat st;
    zf::check({
        {"zel_read_file, arena", arena_on, [&] { return I(zel_read_file(file)); },
         [](const Shot &s) {
             bool ok = arena_answer(s, "contents") && (!s.failed || P<ZelString>(s.r)->len == 0);
             if (!s.failed) free(P<ZelString>(s.r)->data);  // the heap buffer, handed over
             return ok;
         }},
        {"zel_read_file, heap", {}, [&] { return I(zel_read_file(file)); },
         [](const Shot &s) {
             bool ok = zt::str(P<ZelString>(s.r)) == (s.failed ? "" : "contents");
             zel_string_free(P<ZelString>(s.r));
             return ok;
         },
         1},
        {"zel_system_capture, arena", arena_on, [&] { return I(zel_system_capture(cmd)); },
         [](const Shot &s) {
             // Growth that fails keeps what was read: at least the first buffer's worth.
             int64_t n = P<ZelString>(s.r)->len;
             return arena_answer(s, std::string(10000, 'a')) && (n == 0 || n >= 4095);
         }},
        {"zel_exec_output, arena", arena_on, [&] { return I(zel_exec_output(echo, hi)); },
         [](const Shot &s) { return arena_answer(s, "hi\n") && (!s.failed || P<ZelString>(s.r)->len == 0); }},
        {"zel_readdir, arena", arena_on, [&] { return I(zel_readdir(d)); },
         [](const Shot &s) {
             int64_t lines = 0;
             for (int64_t i = 0; i < P<ZelString>(s.r)->len; ++i) lines += P<ZelString>(s.r)->data[i] == '\n';
             zel_arena_mode(0);
             return s.failed ? P<ZelString>(s.r)->len == 0 : lines == 40;
         }},
        {"zel_mkdir", {}, [&] { return zel_mkdir(deep); },
         [&](const Shot &s) {
             bool made = stat((dir + "/x").c_str(), &st) == 0;
             rmdir((dir + "/x/y").c_str());
             rmdir((dir + "/x").c_str());
             return s.failed ? s.r == -1 && !made : s.r == 0 && made;
         }},
    });
    for (ZelString *s : {file, d, deep, cmd, echo, hi}) zel_string_free(s);
}

}  // namespace
