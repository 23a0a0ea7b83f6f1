// Compact JSON text from tape nodes, the escaper, number text and the
// library's literal records.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json_test_util.h"
#include "support.h"

namespace {

using jt::shown;
using jt::unescape_by_pieces;

const ZelString *const kLiterals[] = {
    &zel_str_0,  &zel_str_1,  &zel_str_2,  &zel_str_3,  &zel_str_4,  &zel_str_5,  &zel_str_6,  &zel_str_7,
    &zel_str_8,  &zel_str_9,  &zel_str_10, &zel_str_11, &zel_str_12, &zel_str_13, &zel_str_14, &zel_str_15,
    &zel_str_16, &zel_str_17, &zel_str_18, &zel_str_19, &zel_str_20, &zel_str_21, &zel_str_22, &zel_str_23,
    &zel_str_24, &zel_str_25, &zel_str_26, &zel_str_27, &zel_str_28, &zel_str_29, &zel_str_30, &zel_str_31,
    &zel_str_32, &zel_str_33, &zel_str_34, &zel_str_35, &zel_str_36};

bool is_literal(const ZelString *s) {
    for (const ZelString *l : kLiterals)
        if (l == s) return true;
    return false;
}

// Shared literal records are never released.
struct Owned : zt::Owned {
    Owned() : zt::Owned(is_literal) {}
};

// A made result: exact bytes, cap == len, NUL behind the bytes.
void expect_made(const ZelString *s, const std::string &want) {
    ASSERT_NE(s, nullptr);
    EXPECT_FALSE(is_literal(s)) << zt::str(s);
    EXPECT_EQ(zt::str(s), want);
    EXPECT_EQ(s->cap, s->len);
    EXPECT_EQ(s->data[s->len], '\0');
}

struct Parsed {
    ZelString *doc;
    ZelVec *tape;
    explicit Parsed(const std::string &text) : doc(zt::S(text)), tape(zel_vec_new()) {
        pval(tape, doc, wskip(doc, 0));
    }
    ~Parsed() {
        zel_vec_free(tape);
        zel_string_free(doc);
    }
    Parsed(const Parsed &) = delete;
    Parsed &operator=(const Parsed &) = delete;
};

// jstringify of a document's root, released after reading; literals are
// reported with their identity.
std::string text_of(const std::string &doc, const ZelString **literal = nullptr) {
    Parsed p(doc);
    ZelString *s = jstringify(p.tape, 0, p.doc);
    std::string out = zt::str(s);
    if (literal != nullptr) *literal = is_literal(s) ? s : nullptr;
    if (!is_literal(s)) zel_string_free(s);
    return out;
}

TEST(JsonLiterals, PoolRecords) {
    const char *texts[] = {"\n", "\t", "\r", "\"", "\\", "", "-", "0", "n", "r", "t", "null", "true",
                           "false", "[]", "[", "]", ",", "{}", "{", "}", ":", "object", "unknown", "array",
                           "string", "number", "bool", R"({"name":"ZEL","version":97})", "invalid", "[1,2,3]",
                           "name", R"({"name":"ZEL"})", R"({"version":97})", "version", "[1,2,3,4,5]",
                           "[10,20,30]"};
    const char *const datas[] = {
        str_data_0,  str_data_1,  str_data_2,  str_data_3,  str_data_4,  str_data_5,  str_data_6,  str_data_7,
        str_data_8,  str_data_9,  str_data_10, str_data_11, str_data_12, str_data_13, str_data_14, str_data_15,
        str_data_16, str_data_17, str_data_18, str_data_19, str_data_20, str_data_21, str_data_22, str_data_23,
        str_data_24, str_data_25, str_data_26, str_data_27, str_data_28, str_data_29, str_data_30, str_data_31,
        str_data_32, str_data_33, str_data_34, str_data_35, str_data_36};
    static_assert(sizeof texts / sizeof texts[0] == 37);
    for (int i = 0; i < 37; ++i) {
        const ZelString *s = kLiterals[i];
        int64_t n = static_cast<int64_t>(strlen(texts[i]));
        EXPECT_EQ(s->data, datas[i]) << i;
        EXPECT_EQ(s->len, n) << i;
        EXPECT_EQ(s->cap, n + 1) << i;
        EXPECT_EQ(std::string(s->data, static_cast<size_t>(s->len) + 1), std::string(texts[i], n + 1)) << i;
    }
    EXPECT_EQ(zel_str_28.len, 27);
    EXPECT_EQ(zel_str_32.len, 14);
    EXPECT_EQ(zel_str_33.len, 14);
}

TEST(JsonStringify, IntToStr) {
    Owned o;
    EXPECT_EQ(int_to_str(0), &zel_str_7);
    struct Case {
        int64_t v;
        const char *text;
    } cases[] = {{-42, "-42"},
                 {10, "10"},
                 {1, "1"},
                 {9, "9"},
                 {-1, "-1"},
                 {-9, "-9"},
                 {100, "100"},
                 {INT64_MAX, "9223372036854775807"},
                 {INT64_MIN, "-9223372036854775808"},
                 {INT64_MIN + 1, "-9223372036854775807"},
                 {1000000000000000000, "1000000000000000000"}};
    for (const Case &c : cases) expect_made(o(int_to_str(c.v)), c.text);
    EXPECT_EQ(o(int_to_str(INT64_MIN))->len, 20);

    std::mt19937_64 rng(5);
    for (int i = 0; i < 2000; ++i) {
        int64_t v = static_cast<int64_t>(rng()) >> (rng() % 64);
        if (v == 0) continue;
        char buf[32];
        snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
        expect_made(o(int_to_str(v)), buf);
    }
    // Every digit count, at both ends.
    for (int64_t p = 1; p > 0; p = p <= INT64_MAX / 10 ? p * 10 : 0) {
        for (int64_t v : {p, p - 1, p + 1, -p, -(p - 1), -(p + 1)}) {
            if (v == 0) continue;
            char buf[32];
            snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
            expect_made(o(int_to_str(v)), buf);
        }
    }
}

TEST(JsonStringify, Documents) {
    struct Case {
        std::string doc;
        std::string text;
    } cases[] = {
        {R"({"name":"ZEL","version":97})", R"({"name":"ZEL","version":97})"},
        {"{ \"a\" : [ 1 , true ] }", R"({"a":[1,true]})"},
        {"-0", "0"},
        {"007", "7"},
        {"[1.5]", "[1]"},
        {"-12", "-12"},
        {R"("\u0041")", R"("u0041")"},
        {R"("\/")", R"("/")"},
        {R"("a\nb")", R"("a\nb")"},
        {"\"a\x08z\"", "\"a\x08z\""},
        {R"("\t\r\"\\")", R"("\t\r\"\\")"},
        {"\"\xc3\xa9\x01\"", "\"\xc3\xa9\x01\""},
        {R"("")", R"("")"},
        {"[1,2,3]", "[1,2,3]"},
        {R"( [ [1,[2]] , {"a":{"b":[3, "x"]}} , 4 ] )", R"([[1,[2]],{"a":{"b":[3,"x"]}},4])"},
        {R"({"a\"b":1})", R"({"a\\\"b":1})"},
        {"{\"k\\n\t\":\"v\\n\t\"}", "{\"k\\\\n\\t\":\"v\\n\\t\"}"},
        {R"({"a" 1})", R"({"a":null})"},
        {"[1,]", "[1,null]"},
        {"[", "[null]"},
        {"{", "{\"\":null}"},
        {R"("abc)", R"("abc")"},
        {"\"ab\\", "\"ab\\\\\""},
        {"[txyz,fxxxx,nope]", "[true,false,null]"},
        {"[[],{},[{}]]", "[[],{},[{}]]"},
        {"18446744073709551617", "1"},
        {std::string("\"a\0b\\\0c\"", 8), "\"abc\""},
    };
    for (const Case &c : cases) EXPECT_EQ(text_of(c.doc), c.text) << "document: " << c.doc;
    EXPECT_EQ(text_of("[1,2,3]").find(",,"), std::string::npos);
}

TEST(JsonStringify, SharedLiteralsAndNewRecords) {
    struct Case {
        const char *doc;
        const ZelString *literal;
    } cases[] = {{"true", &zel_str_12}, {"false", &zel_str_13}, {"null", &zel_str_11}, {"   ", &zel_str_11},
                 {"x", &zel_str_11},    {"", &zel_str_11},      {"[ ]", &zel_str_14},  {"{ }", &zel_str_18},
                 {"0", &zel_str_7},     {"-0", &zel_str_7},     {"000", &zel_str_7}};
    for (const Case &c : cases) {
        const ZelString *lit = nullptr;
        text_of(c.doc, &lit);
        EXPECT_EQ(lit, c.literal) << c.doc;
    }
    for (const char *doc : {"5", "\"\"", "[0]", "{\"a\":true}", "[[]]", "-7"}) {
        const ZelString *lit = &zel_str_5;
        text_of(doc, &lit);
        EXPECT_EQ(lit, nullptr) << doc;
    }

    Parsed p("[1,[],3]");
    EXPECT_EQ(sarr_es(p.tape, 0, p.doc, 3, 3), &zel_str_5);
    EXPECT_EQ(sarr_es(p.tape, 0, p.doc, 7, 3), &zel_str_5);
    EXPECT_EQ(sarr_es(p.tape, 0, p.doc, 0, 0), &zel_str_5);
    Parsed q(R"({"a":1})");
    EXPECT_EQ(sobj_ms(q.tape, 0, q.doc, 1, 1), &zel_str_5);
    EXPECT_EQ(sobj_ms(q.tape, 0, q.doc, 0, -4), &zel_str_5);
}

TEST(JsonStringify, MemberRanges) {
    Owned o;
    Parsed p(R"([1,[],"s",{"k":2}])");
    expect_made(o(sarr_es(p.tape, 0, p.doc, 0, 4)), R"(1,[],"s",{"k":2})");
    expect_made(o(sarr_es(p.tape, 0, p.doc, 1, 3)), R"(,[],"s")");
    expect_made(o(sarr_es(p.tape, 0, p.doc, 3, 4)), R"(,{"k":2})");
    expect_made(o(sarr_es(p.tape, 0, p.doc, 0, 1)), "1");
    expect_made(o(sarr_es(p.tape, 0, p.doc, -2, 2)), "1,[]");  // negative start reads as 0
    // Elements past the node's count read its unfilled (zero) slots, which
    // name no later node.
    expect_made(o(sarr_es(p.tape, 0, p.doc, 3, 6)), R"(,{"k":2},null,null)");

    Parsed q(R"({"a":1,"b\\":[true],"c":"\n"})");
    expect_made(o(sobj_ms(q.tape, 0, q.doc, 0, 3)), R"("a":1,"b\\\\":[true],"c":"\n")");
    expect_made(o(sobj_ms(q.tape, 0, q.doc, 2, 3)), R"(,"c":"\n")");
    expect_made(o(sobj_ms(q.tape, 0, q.doc, 1, 2)), R"(,"b\\\\":[true])");
}

TEST(JsonStringify, Escape) {
    Owned o;
    ZelString *empty = const_cast<ZelString *>(&zel_str_5);
    ZelString *s = o(zt::S(std::string("a\tb\nc\rd\"e\\f\x08g\0h/\xff", 17)));
    expect_made(o(escape(s, 0, empty)), std::string("a\\tb\\nc\\rd\\\"e\\\\f\x08gh/\xff"));
    expect_made(o(escape(s, 13, empty)), "h/\xff");
    expect_made(o(escape(s, -3, empty)), std::string("a\\tb\\nc\\rd\\\"e\\\\f\x08gh/\xff"));

    ZelString *acc = o(zt::S(std::string("x\0y", 3)));
    expect_made(o(escape(s, 15, acc)), std::string("x\0y/\xff", 5));

    EXPECT_EQ(escape(s, 17, acc), acc);
    EXPECT_EQ(escape(s, 99, nullptr), nullptr);
    EXPECT_EQ(escape(nullptr, 0, acc), acc);
    ZelString *nul = o(zt::S(std::string(3, '\0')));
    ZelString *r = o(escape(nul, 0, acc));
    EXPECT_NE(r, acc);
    expect_made(r, std::string("x\0y", 3));

    // A missing accumulator loses the first byte's piece.
    ZelString no_data{nullptr, 3, 0};
    ZelString *quoted = o(zt::S("\"q\t"));
    expect_made(o(escape(quoted, 0, nullptr)), "q\\t");
    expect_made(o(escape(quoted, 0, &no_data)), "q\\t");
    expect_made(o(escape(quoted, 2, nullptr)), "");
}

// The pieces-and-concatenation definitions, run in arena mode.
ZelString *ref_escape(const ZelString *s, int64_t pos, ZelString *acc) {
    ZelString *bs = const_cast<ZelString *>(&zel_str_4);
    for (; pos < zel_string_len(s); ++pos) {
        int64_t c = zel_string_char_at(s, pos);
        ZelString *piece = c == '\t'   ? zel_string_concat(bs, &zel_str_10)
                           : c == '\n' ? zel_string_concat(bs, &zel_str_8)
                           : c == '\r' ? zel_string_concat(bs, &zel_str_9)
                           : c == '"'  ? zel_string_concat(bs, &zel_str_3)
                           : c == '\\' ? zel_string_concat(bs, bs)
                                       : zel_chr(c);
        acc = zel_string_concat(acc, piece);
    }
    return acc;
}

ZelString *ref_int(int64_t v) {
    if (v == 0) return const_cast<ZelString *>(&zel_str_7);
    if (v == INT64_MIN) return zel_string_concat(ref_int(v / 10), zel_chr('8'));
    if (v < 0) return zel_string_concat(&zel_str_6, ref_int(-v));
    if (v < 10) return zel_chr(48 + v);
    return zel_string_concat(ref_int(v / 10), zel_chr(48 + v % 10));
}

ZelString *ref_json(const ZelVec *t, int64_t node, const ZelString *doc);

ZelString *ref_members(const ZelVec *t, int64_t node, const ZelString *doc, int64_t i, int64_t count, bool obj) {
    if (i >= count) return const_cast<ZelString *>(&zel_str_5);
    const int64_t *s = t->items;
    ZelString *piece;
    if (obj) {
        int64_t m = node + 2 + 3 * i;
        ZelString *key = ref_escape(slice(doc, s[m], s[m + 1]), 0, const_cast<ZelString *>(&zel_str_5));
        piece = zel_string_concat(
            zel_string_concat(zel_string_concat(zel_string_concat(&zel_str_3, key), &zel_str_3), &zel_str_21),
            ref_json(t, s[m + 2], doc));
    } else {
        piece = ref_json(t, s[node + 2 + i], doc);
    }
    if (i > 0) piece = zel_string_concat(&zel_str_17, piece);
    return zel_string_concat(piece, ref_members(t, node, doc, i + 1, count, obj));
}

ZelString *ref_json(const ZelVec *t, int64_t node, const ZelString *doc) {
    const int64_t *s = t->items;
    switch (s[node]) {
        case 1: return const_cast<ZelString *>(s[node + 1] ? &zel_str_12 : &zel_str_13);
        case 2: return ref_int(s[node + 1]);
        case 3: {
            ZelString *empty = const_cast<ZelString *>(&zel_str_5);
            ZelString *content =
                ref_escape(unescape_by_pieces(slice(doc, s[node + 1], s[node + 2]), 0, empty), 0, empty);
            return zel_string_concat(zel_string_concat(&zel_str_3, content), &zel_str_3);
        }
        case 4:
        case 5: {
            bool obj = s[node] == 5;
            if (s[node + 1] == 0) return const_cast<ZelString *>(obj ? &zel_str_18 : &zel_str_14);
            ZelStringBuilder *sb = zel_sb_new();
            zel_sb_push(sb, obj ? &zel_str_19 : &zel_str_15);
            zel_sb_push(sb, ref_members(t, node, doc, 0, s[node + 1], obj));
            zel_sb_push(sb, obj ? &zel_str_20 : &zel_str_16);
            ZelString *r = zel_sb_build(sb);
            zel_sb_free(sb);
            return r;
        }
        default: return const_cast<ZelString *>(&zel_str_11);
    }
}

// Random JSON-like text: valid and malformed, escapes, NULs, whitespace.
class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}
    std::string doc() {
        std::string out;
        value(out, 0);
        if (pick(4) == 0) out += junk();
        return out;
    }

private:
    uint64_t pick(uint64_t n) { return rng_() % n; }
    std::string ws() {
        static const char *const w[] = {"", "", " ", "\n\t", "\r "};
        return w[pick(5)];
    }
    std::string junk() {
        static const char *const j[] = {"x", "]", "}", ",", ":", ".5", "e3", "\\", "\"", "+"};
        return j[pick(10)];
    }
    std::string str() {
        static const char *const parts[] = {"a", "\\n", "\\\"", "\\\\", "\\t", "\\r", "\\/", "\\u0041", "\t",
                                            "\"", "\xe2\x82\xac", "\x01", "\\b", "\\", "z"};
        std::string s = "\"";
        for (uint64_t n = pick(6); n > 0; --n) s += parts[pick(15)];
        if (pick(8) == 0) s += std::string(1, '\0');
        if (pick(10) != 0) s += "\"";
        return s;
    }
    void value(std::string &out, int depth) {
        out += ws();
        uint64_t k = depth > 4 ? pick(6) : pick(9);
        switch (k) {
            case 0: out += std::to_string(static_cast<int64_t>(rng_()) >> pick(64)); break;
            case 1: out += pick(2) ? "true" : "false"; break;
            case 2: out += pick(2) ? "null" : "-"; break;
            case 3: case 4: out += str(); break;
            case 5: out += pick(3) ? "17" : junk(); break;
            case 6: case 7: {
                out += "[";
                for (uint64_t n = pick(5), i = 0; i < n; ++i) {
                    if (i) out += ws() + ",";
                    value(out, depth + 1);
                }
                if (pick(6)) out += ws() + "]";
                break;
            }
            default: {
                out += "{";
                for (uint64_t n = pick(4), i = 0; i < n; ++i) {
                    if (i) out += ",";
                    out += ws() + str() + ws() + (pick(8) ? ":" : " ");
                    value(out, depth + 1);
                }
                if (pick(6)) out += ws() + "}";
                break;
            }
        }
        out += ws();
    }
    std::mt19937_64 rng_;
};

TEST(JsonStringify, MatchesPieceByPieceDefinition) {
    Gen gen(2024);
    zel_arena_mode(1);
    for (int round = 0; round < 1500; ++round) {
        std::string text = gen.doc();
        ZelString *doc = zt::S(text);
        ZelVec *tape = zel_vec_new();
        pval(tape, doc, wskip(doc, 0));
        ZelString *got = jstringify(tape, 0, doc);
        ZelString *want = ref_json(tape, 0, doc);
        EXPECT_EQ(zt::str(got), zt::str(want)) << "document: " << text;
        EXPECT_EQ(is_literal(got), is_literal(want)) << "document: " << text;
        if (is_literal(want)) EXPECT_EQ(got, want) << "document: " << text;
        if (tape->items[0] == 4 || tape->items[0] == 5) {
            bool obj = tape->items[0] == 5;
            int64_t count = tape->items[1];
            for (int64_t i = 0; i <= count; ++i) {
                ZelString *a = obj ? sobj_ms(tape, 0, doc, i, count) : sarr_es(tape, 0, doc, i, count);
                ZelString *b = ref_members(tape, 0, doc, i, count, obj);
                EXPECT_EQ(zt::str(a), zt::str(b)) << "document: " << text << " from " << i;
                EXPECT_EQ(a == &zel_str_5, b == &zel_str_5);
            }
        }
        zel_vec_free(tape);
        zel_arena_reset();
    }

    std::mt19937_64 rng(9);
    const char alphabet[] = {'\\', '\t', '\n', '\r', '"', 'n', 'a', '\0', '\x08', '\xff'};
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        for (uint64_t n = rng() % 10; n > 0; --n) text += alphabet[rng() % sizeof alphabet];
        ZelString *s = zt::S(text);
        int64_t pos = static_cast<int64_t>(rng() % 12);
        ZelString no_data{nullptr, 1, 0};
        ZelString *accs[] = {nullptr, &no_data, const_cast<ZelString *>(&zel_str_5), zt::S(std::string("\0k", 2))};
        for (ZelString *acc : accs) {
            ZelString *got = escape(s, pos, acc);
            ZelString *want = ref_escape(s, pos, acc);
            EXPECT_EQ(shown(got), shown(want)) << "round " << round;
            EXPECT_EQ(got == acc, want == acc) << "round " << round;
        }
        zel_arena_reset();
    }
    for (int64_t v : {int64_t{1}, int64_t{-5}, int64_t{1234567}, INT64_MIN, INT64_MAX, int64_t{-1000}})
        EXPECT_EQ(zt::str(int_to_str(v)), zt::str(ref_int(v)));

    // Long content: plain runs of whole 16-byte blocks, special bytes sparse
    // or dense, as escaped text, string nodes and member keys.
    for (int round = 0; round < 600; ++round) {
        std::string text = jt::mixed_text(rng, rng() % 160, 1 + rng() % 40);
        jt::expect_same_appends(escape, ref_escape, zt::S(text), static_cast<int64_t>(rng() % 20), round);
        std::string body = jt::mixed_text(rng, rng() % 160, 1 + rng() % 40);
        std::string quoted = "\"" + body + "\"";
        std::string nested = "[\"" + text + "\",{\"" + body + "\":\"" + text + "\"}]";
        for (const std::string *doc_text : {&quoted, &nested}) {
            ZelString *doc = zt::S(*doc_text);
            ZelVec *tape = zel_vec_new();
            pval(tape, doc, wskip(doc, 0));
            EXPECT_EQ(zt::str(jstringify(tape, 0, doc)), zt::str(ref_json(tape, 0, doc))) << "round " << round;
            if (tape->items[0] == 4 || tape->items[0] == 5) {
                bool obj = tape->items[0] == 5;
                int64_t count = tape->items[1];
                ZelString *a = obj ? sobj_ms(tape, 0, doc, 0, count) : sarr_es(tape, 0, doc, 0, count);
                EXPECT_EQ(zt::str(a), zt::str(ref_members(tape, 0, doc, 0, count, obj))) << "round " << round;
            }
            zel_vec_free(tape);
        }
        zel_arena_reset();
    }

    // One lane of a block met more often than a byte can count.
    for (char c : {'\\', '"', '\0', '\t', 'q'}) {
        std::string text(9000, c);
        std::string want;
        const char *piece = c == '\0' ? "" : c == '\\' ? "\\\\" : c == '"' ? "\\\"" : c == '\t' ? "\\t" : "q";
        for (size_t i = 0; i < text.size(); ++i) want += piece;
        expect_made(escape(zt::S(text), 0, const_cast<ZelString *>(&zel_str_5)), want);
        zel_arena_reset();
    }
    zel_arena_destroy();
}

// Tapes the parser never makes must still give text and never loop or read
// outside the tape.
TEST(JsonStringify, ForeignTapes) {
    Owned o;
    ZelString *doc = o(zt::S("\"hello\""));
    EXPECT_EQ(jstringify(nullptr, 0, doc), &zel_str_11);
    ZelVec *t = zel_vec_new();
    EXPECT_EQ(jstringify(t, 0, doc), &zel_str_11);
    zel_vec_push(t, 4);  // an array node without its slots
    EXPECT_EQ(jstringify(t, 0, doc), &zel_str_11);
    EXPECT_EQ(jstringify(t, -1, doc), &zel_str_11);
    EXPECT_EQ(jstringify(t, 1, doc), &zel_str_11);
    EXPECT_EQ(jstringify(t, INT64_MAX, doc), &zel_str_11);
    zel_vec_clear(t);
    zel_vec_push(t, 2);  // a number without its value
    EXPECT_EQ(jstringify(t, 0, doc), &zel_str_11);
    zel_vec_clear(t);
    zel_vec_push(t, 1);  // any non-zero value is true
    zel_vec_push(t, -7);
    EXPECT_EQ(jstringify(t, 0, doc), &zel_str_12);
    zel_vec_clear(t);
    zel_vec_push(t, 9);
    zel_vec_push(t, 9);
    EXPECT_EQ(jstringify(t, 0, doc), &zel_str_11);

    // Children that do not come after their parent are null, so no cycle.
    zel_vec_clear(t);
    dalloc(t, 66);
    t->items[0] = 4, t->items[1] = 2, t->items[2] = 0, t->items[3] = 66;
    dalloc(t, 66);
    t->items[66] = 4, t->items[67] = 2, t->items[68] = 0, t->items[69] = 132;
    zel_vec_push(t, 1);
    zel_vec_push(t, -1);
    expect_made(o(jstringify(t, 0, doc)), "[null,[null,true]]");
    t->items[67] = 1;
    expect_made(o(jstringify(t, 0, doc)), "[null,[null]]");
    // Counts beyond the node's slots stop at them; negative counts are empty.
    t->items[1] = 1000;
    std::string want = "[null,[null]";
    for (int i = 2; i < 64; ++i) want += ",null";
    expect_made(o(jstringify(t, 0, doc)), want + "]");
    t->items[1] = -3;
    expect_made(o(jstringify(t, 0, doc)), "[]");
    expect_made(o(sarr_es(t, 0, doc, 62, 99)), ",null,null");
    // Nodes without their slots have null elements and empty keys.
    expect_made(o(sarr_es(t, 100, doc, 0, 2)), "null,null");
    expect_made(o(sobj_ms(t, -5, doc, 0, 1)), R"("":null)");
    expect_made(o(sobj_ms(nullptr, 0, doc, 1, 2)), R"(,"":null)");

    // String and key ranges are cut like a slice of the document.
    zel_vec_clear(t);
    dalloc(t, 98);
    t->items[0] = 5, t->items[1] = 3;
    t->items[2] = 1, t->items[3] = 50, t->items[4] = 98;    // end clamped
    t->items[5] = 8, t->items[6] = 9, t->items[7] = 98;     // start past the end
    t->items[8] = -1, t->items[9] = 3, t->items[10] = 101;  // negative start
    dalloc(t, 3);
    t->items[98] = 3, t->items[99] = 2, t->items[100] = 400;
    dalloc(t, 3);
    t->items[101] = 3, t->items[102] = 4, t->items[103] = 1;  // end before start
    expect_made(o(jstringify(t, 0, doc)), R"({"hello\"":"ello\"","":"ello\"","":""})");
    expect_made(o(jstringify(t, 98, nullptr)), R"("")");
    zel_vec_free(t);
}

TEST(JsonStringify, DeepAndLargeNodes) {
    Owned o;
    {
        std::string nested = std::string(1025, '[') + std::string(1025, ']');
        Parsed p(nested);
        expect_made(o(jstringify(p.tape, 0, p.doc)), std::string(1024, '[') + "null" + std::string(1024, ']'));
    }
    {
        // A long chain of arrays built by hand is walked without recursion.
        const int depth = 20000;
        ZelVec *t = zel_vec_new();
        for (int i = 0; i < depth; ++i) {
            int64_t node = dalloc(t, 66);
            t->items[node] = 4;
            t->items[node + 1] = 1;
            t->items[node + 2] = node + 66;
        }
        zel_vec_push(t, 0);
        ZelString *s = o(jstringify(t, 0, nullptr));
        expect_made(s, std::string(depth, '[') + "null" + std::string(depth, ']'));
        zel_vec_free(t);
    }
    {
        // Decoded and escaped again in one pass: a raw tab becomes \t, an
        // escaped quote stays escaped, a solidus loses its backslash.
        std::string body, want;
        for (int i = 0; i < 200000; ++i) {
            body += i % 3 ? "ab" : i % 2 ? "\\\"\t" : "\\/";
            want += i % 3 ? "ab" : i % 2 ? "\\\"\\t" : "/";
        }
        Parsed p("[\"" + body + "\"]");
        EXPECT_EQ(p.tape->items[1], 1);
        expect_made(o(jstringify(p.tape, 0, p.doc)), "[\"" + want + "\"]");
    }
}

}  // namespace
