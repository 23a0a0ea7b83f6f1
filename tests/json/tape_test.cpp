// The JSON tape: parser, scanners, key lookup and string decoding.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "json_test_util.h"
#include "support.h"

namespace {

using jt::shown;
using jt::unescape_by_pieces;

constexpr int64_t kPack = 1000000;

// A document and its tape, parsed the way every JSON entry point starts.
struct Parse {
    ZelString *doc;
    ZelVec *tape;
    int64_t r;

    explicit Parse(const std::string &text) : doc(zt::S(text)), tape(zel_vec_new()) {
        r = pval(tape, doc, wskip(doc, 0));
    }
    ~Parse() {
        zel_vec_free(tape);
        zel_string_free(doc);
    }
    Parse(const Parse &) = delete;
    Parse &operator=(const Parse &) = delete;

    int64_t node() const { return r / kPack; }
    int64_t pos() const { return r % kPack; }
    int64_t len() const { return tape->len; }
    int64_t at(int64_t i) const {
        EXPECT_TRUE(i >= 0 && i < tape->len) << "slot " << i << " of " << tape->len;
        return i >= 0 && i < tape->len ? tape->items[i] : -12345;
    }
    std::vector<int64_t> slots() const { return std::vector<int64_t>(tape->items, tape->items + tape->len); }
    // Acceptance: the first value, then whitespace, ends the document.
    bool accepted() const { return doc->len != 0 && wskip(doc, pos()) == doc->len; }
};

bool accepts(const std::string &text) { return Parse(text).accepted(); }

// Capacity that pushing `n` slots one by one into `v`'s starting capacity gives.
int64_t pushed_capacity(ZelVec *start, int64_t n) {
    for (int64_t i = 0; i < n; ++i) zel_vec_push(start, i);
    int64_t cap = start->capacity;
    zel_vec_free(start);
    return cap;
}

std::string repeat(const std::string &s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(JsonTape, SampleDocumentTape) {
    Parse p(R"({"name":"ZEL","version":97})");
    EXPECT_EQ(p.r, 27);
    std::vector<int64_t> want(103, 0);
    want[0] = 5;
    want[1] = 2;
    want[2] = 2, want[3] = 6, want[4] = 98;
    want[5] = 15, want[6] = 22, want[7] = 101;
    want[98] = 3, want[99] = 9, want[100] = 12;
    want[101] = 2, want[102] = 97;
    EXPECT_EQ(p.slots(), want);
    EXPECT_EQ(p.tape->capacity, pushed_capacity(zel_vec_new(), 103));
    EXPECT_TRUE(p.accepted());
}

TEST(JsonTape, ArrayOfThreeNumbers) {
    Parse p("[7, -8,9 ]");
    EXPECT_EQ(p.r, 10);
    std::vector<int64_t> want(72, 0);
    want[0] = 4;
    want[1] = 3;
    want[2] = 66, want[3] = 68, want[4] = 70;
    want[66] = 2, want[67] = 7;
    want[68] = 2, want[69] = -8;
    want[70] = 2, want[71] = 9;
    EXPECT_EQ(p.slots(), want);
    EXPECT_EQ(p.tape->capacity, 128);
}

TEST(JsonTape, Acceptance) {
    struct Case {
        const char *doc;
        bool ok;
    } cases[] = {
        {"", false},          {"   ", true},        {"invalid", false},   {"x", false},
        {"]", false},         {"+1", false},        {"txyz", true},       {"nope", true},
        {"fxxxx", true},      {"t", false},         {"-12", true},        {"007", true},
        {"-", true},          {"1.5", false},       {"1e5", false},       {"1 2", false},
        {"[1x", true},        {"[1}", true},        {"[1,2", true},       {"[1 2]", false},
        {"[", true},          {"{", false},         {"[1,]", true},       {"[]", true},
        {"{}", true},         {"[ \t\r\n]", true},  {"{ \n }", true},     {"{\"a\" 1}", true},
        {"\"abc", false},     {" \ttrue\r\n", true}, {"\"a\\\"b\"", true}, {"\"ab\\", false},
        {"[1,2]]", false},    {"\v1", false},       {"\x01", false},      {"[\"a\",{\"b\":[null]}]", true},
    };
    for (const Case &c : cases) EXPECT_EQ(accepts(c.doc), c.ok) << "document: " << c.doc;
}

TEST(JsonTape, UnrecognisedAndLiteralRoots) {
    for (const char *doc : {"invalid", "x", "]", "+1"}) {
        Parse p(doc);
        EXPECT_EQ(p.r, 0) << doc;
        EXPECT_EQ(p.slots(), std::vector<int64_t>{0}) << doc;
    }
    Parse spaces("   ");
    EXPECT_EQ(spaces.r, 3);
    EXPECT_EQ(spaces.slots(), std::vector<int64_t>{0});

    Parse t("txyz"), f("fxxxx"), n("nope"), lone_t("t");
    EXPECT_EQ(t.slots(), (std::vector<int64_t>{1, 1}));
    EXPECT_EQ(t.r, 4);
    EXPECT_EQ(f.slots(), (std::vector<int64_t>{1, 0}));
    EXPECT_EQ(f.r, 5);
    EXPECT_EQ(n.slots(), std::vector<int64_t>{0});
    EXPECT_EQ(n.r, 4);
    EXPECT_EQ(lone_t.r, 4);  // beyond the one-byte document
}

TEST(JsonTape, Numbers) {
    struct Case {
        const char *doc;
        int64_t value;
        int64_t pos;
    } cases[] = {
        {"-12", -12, 3},
        {"007", 7, 3},
        {"-", 0, 1},
        {"-0", 0, 2},
        {"1.5", 1, 1},
        {"1e5", 1, 1},
        {"18446744073709551617", 1, 20},
        {"9223372036854775807", INT64_MAX, 19},
        {"9223372036854775808", INT64_MIN, 19},
        {"-9223372036854775808", INT64_MIN, 20},
        {"123456789012345678", 123456789012345678, 18},
        {"-x", 0, 1},
    };
    for (const Case &c : cases) {
        Parse p(c.doc);
        EXPECT_EQ(p.slots(), (std::vector<int64_t>{2, c.value})) << c.doc;
        EXPECT_EQ(p.r, c.pos) << c.doc;
    }
}

TEST(JsonTape, ArraysWithUncheckedBrackets) {
    Parse a("[1x");
    EXPECT_EQ(a.r, 3);
    EXPECT_EQ(a.at(1), 1);
    EXPECT_EQ(a.at(2), 66);
    Parse b("[1,2");
    EXPECT_EQ(b.r, 4);
    EXPECT_EQ(b.at(1), 2);
    EXPECT_EQ(b.at(3), 68);
    EXPECT_EQ(b.at(69), 2);
    Parse c("[1 2]");
    EXPECT_EQ(c.r, 4);  // the 2 closed the array
    EXPECT_EQ(c.at(1), 1);

    Parse open("[");
    EXPECT_EQ(open.r, 1);
    EXPECT_EQ(open.len(), 67);
    EXPECT_EQ(open.at(1), 1);
    EXPECT_EQ(open.at(2), 66);
    EXPECT_EQ(open.at(66), 0);

    Parse trailing("[1,]");
    EXPECT_EQ(trailing.r, 4);
    EXPECT_EQ(trailing.len(), 69);
    EXPECT_EQ(trailing.at(1), 2);
    EXPECT_EQ(trailing.at(3), 68);
    EXPECT_EQ(trailing.at(68), 0);

    Parse empty("[ \n ]"), obj("{ }");
    EXPECT_EQ(empty.r, 5);
    EXPECT_EQ(empty.len(), 66);
    EXPECT_EQ(empty.at(0), 4);
    EXPECT_EQ(empty.at(1), 0);
    EXPECT_EQ(obj.r, 3);
    EXPECT_EQ(obj.len(), 98);
    EXPECT_EQ(obj.at(0), 5);

    // Children follow their container in document order.
    Parse nested("[[1],{\"k\":[]},\"s\"]");
    EXPECT_EQ(nested.at(2), 66);
    EXPECT_EQ(nested.at(66 + 2), 132);
    EXPECT_EQ(nested.at(3), 134);
    EXPECT_EQ(nested.at(134), 5);
    EXPECT_EQ(nested.at(134 + 4), 232);
    EXPECT_EQ(nested.at(232), 4);
    EXPECT_EQ(nested.at(4), 298);
    EXPECT_EQ(nested.at(298), 3);
    EXPECT_EQ(nested.len(), 301);
}

TEST(JsonTape, ObjectsAndStrings) {
    Parse lone("{");
    EXPECT_EQ(lone.r, 4);
    EXPECT_EQ(lone.at(1), 1);
    EXPECT_FALSE(lone.accepted());

    Parse no_colon("{\"a\" 1}");
    EXPECT_EQ(no_colon.r, 7);
    EXPECT_EQ(no_colon.len(), 99);
    EXPECT_EQ(no_colon.at(1), 1);
    EXPECT_EQ(no_colon.at(2), 2);
    EXPECT_EQ(no_colon.at(3), 3);
    EXPECT_EQ(no_colon.at(4), 98);
    EXPECT_EQ(no_colon.at(98), 0);

    Parse key(R"({"a\"b":"a\"b"})");
    EXPECT_EQ(key.at(2), 2);
    EXPECT_EQ(key.at(3), 6);
    EXPECT_EQ(key.at(98), 3);
    EXPECT_EQ(key.at(99), 9);
    EXPECT_EQ(key.at(100), 13);
    EXPECT_TRUE(key.accepted());

    Parse dup(R"({"a":1,"a":2})");
    EXPECT_EQ(dup.at(1), 2);
    EXPECT_EQ(dup.at(4), 98);
    EXPECT_EQ(dup.at(7), 100);

    Parse unterminated("\"abc");
    EXPECT_EQ(unterminated.slots(), (std::vector<int64_t>{3, 1, 4}));
    EXPECT_EQ(unterminated.r, 5);
    Parse backslash("\"ab\\");
    EXPECT_EQ(backslash.slots(), (std::vector<int64_t>{3, 1, 5}));
    EXPECT_EQ(backslash.r, 6);  // len + 2
}

TEST(JsonTape, Scanners) {
    ZelString *doc = zt::S(" \t\r\n\v7\"a\\\"b\\\\\"x");
    EXPECT_EQ(wskip(doc, 0), 4);
    EXPECT_EQ(wskip(doc, -7), 4);
    EXPECT_EQ(wskip(doc, 4), 4);
    EXPECT_EQ(wskip(doc, 40), 40);
    EXPECT_EQ(fq(doc, 7), 13);
    EXPECT_EQ(fq(doc, 13), 13);
    EXPECT_EQ(fq(doc, 14), 15);
    EXPECT_EQ(fq(doc, 99), 99);
    EXPECT_EQ(sdig(doc, 5), 6);
    EXPECT_EQ(sdig(doc, 0), 0);
    EXPECT_EQ(sdig(doc, 99), 99);
    zel_string_free(doc);

    ZelString *tail = zt::S("12  ");
    EXPECT_EQ(wskip(tail, 2), 4);
    EXPECT_EQ(sdig(tail, -1), 2);
    zel_string_free(tail);
    ZelString *digits = zt::S("0123");
    EXPECT_EQ(sdig(digits, 1), 4);
    zel_string_free(digits);

    // String ends at every offset, against a byte-at-a-time scan.
    std::mt19937_64 rng(31);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (uint64_t n = rng() % 40; n > 0; --n) text += "aaaaaa\"\\\xa2\xdc"[rng() % 10];
        ZelString *s = zt::S(text);
        int64_t from = static_cast<int64_t>(rng() % (text.size() + 2));
        int64_t want = from;
        while (want < static_cast<int64_t>(text.size()) && text[want] != '"') want += text[want] == '\\' ? 2 : 1;
        EXPECT_EQ(fq(s, from), want) << text << " from " << from;
        zel_string_free(s);
    }

    ZelString *bs = zt::S("ab\\");
    EXPECT_EQ(fq(bs, 0), 4);
    zel_string_free(bs);

    // A missing document, or one without bytes, is empty.
    ZelString no_data{nullptr, 5, 0};
    EXPECT_EQ(wskip(nullptr, 3), 3);
    EXPECT_EQ(fq(nullptr, 0), 0);
    EXPECT_EQ(sdig(&no_data, 2), 2);
    EXPECT_EQ(wskip(&no_data, 0), 0);
}

TEST(JsonTape, PintMatchesByteByByteAccumulation) {
    std::mt19937_64 rng(1234);
    const std::string alphabet = "0123456789-x. \xff";
    for (int round = 0; round < 2000; ++round) {
        int len = static_cast<int>(rng() % 41);
        std::string text;
        for (int i = 0; i < len; ++i)
            text += rng() % 3 == 0 ? static_cast<char>(rng()) : alphabet[rng() % alphabet.size()];
        ZelString *doc = zt::S(text);
        int64_t start = len ? static_cast<int64_t>(rng() % (len + 1)) : 0;
        int64_t end = start + static_cast<int64_t>(rng() % (len - start + 1));
        if (round % 4 == 0) start = 0, end = len;
        uint64_t acc = round % 3 == 0 ? 0 : rng();
        uint64_t want = acc;
        for (int64_t i = start; i < end; ++i) want = want * 10 + static_cast<unsigned char>(text[i]) - 48;
        EXPECT_EQ(static_cast<uint64_t>(pint(doc, start, end, static_cast<int64_t>(acc))), want)
            << "len " << len << " [" << start << "," << end << ")";
        zel_string_free(doc);
    }
    ZelString *doc = zt::S("98765432109876543210");
    EXPECT_EQ(pint(doc, 0, 8, 0), 98765432);
    EXPECT_EQ(pint(doc, 0, 9, 5), 5987654321);
    EXPECT_EQ(pint(doc, 3, 3, 77), 77);
    EXPECT_EQ(pint(doc, 5, 2, 77), 77);
    // Only bytes of the document are read.
    EXPECT_EQ(pint(doc, -4, 2, 0), 98);
    EXPECT_EQ(pint(doc, 18, 400, 1), 110);
    EXPECT_EQ(pint(nullptr, 0, 5, 42), 42);
    zel_string_free(doc);
}

TEST(JsonTape, TapeGrowsLikePushes) {
    for (const char *text : {"1", "[1,2]", "{\"a\":[1,{\"b\":2}],\"c\":\"d\"}", "[[[[[[]]]]]]"}) {
        for (int64_t start_cap : {0, 1, 3, 8}) {
            ZelVec *tape = start_cap == 8 ? zel_vec_new() : zel_vec_with_capacity(start_cap);
            ZelString *doc = zt::S(text);
            zel_vec_push(tape, 99);  // parsing behind existing slots
            int64_t r = pval(tape, doc, 0);
            EXPECT_EQ(r / kPack, 1);
            ZelVec *ref = start_cap == 8 ? zel_vec_new() : zel_vec_with_capacity(start_cap);
            EXPECT_EQ(tape->capacity, pushed_capacity(ref, tape->len)) << text << " from " << start_cap;
            EXPECT_EQ(tape->items[0], 99);
            zel_vec_free(tape);
            zel_string_free(doc);
        }
    }
}

TEST(JsonTape, Dalloc) {
    ZelVec *tape = zel_vec_new();
    for (int i = 0; i < 5; ++i) zel_vec_push(tape, 100 + i);
    zel_vec_pop(tape);
    zel_vec_pop(tape);
    EXPECT_EQ(dalloc(tape, 0), 3);
    EXPECT_EQ(dalloc(tape, -4), 3);
    EXPECT_EQ(tape->len, 3);
    EXPECT_EQ(dalloc(tape, 7), 3);  // over stale slots: they must read 0
    EXPECT_EQ(tape->len, 10);
    EXPECT_EQ(tape->capacity, 16);
    for (int i = 3; i < 10; ++i) EXPECT_EQ(tape->items[i], 0) << i;
    EXPECT_EQ(tape->items[2], 102);
    EXPECT_EQ(dalloc(tape, 6), 10);  // exactly full: no growth yet
    EXPECT_EQ(tape->capacity, 16);
    EXPECT_EQ(dalloc(tape, 1), 16);
    EXPECT_EQ(tape->capacity, 32);
    EXPECT_EQ(dalloc(tape, 47), 17);
    EXPECT_EQ(tape->capacity, 64);
    EXPECT_EQ(tape->len, 64);
    EXPECT_EQ(dalloc(nullptr, 5), 0);
    zel_vec_free(tape);
}

TEST(JsonTape, ContainerLimits) {
    auto numbers = [](int n, bool object) {
        std::string s = object ? "{" : "[";
        for (int i = 0; i < n; ++i) {
            if (i) s += ",";
            if (object) s += "\"k" + std::to_string(i) + "\":";
            s += std::to_string(i);
        }
        return s + (object ? "}" : "]");
    };
    Parse full(numbers(64, false));
    EXPECT_TRUE(full.accepted());
    EXPECT_EQ(full.at(1), 64);

    Parse over(numbers(65, false));
    EXPECT_FALSE(over.accepted());
    EXPECT_EQ(over.r, 999999);
    EXPECT_EQ(over.len(), 66 + 64 * 2);
    EXPECT_EQ(over.at(1), 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(over.at(2 + i), 66 + 2 * i);
        EXPECT_EQ(over.at(66 + 2 * i), 2);
        EXPECT_EQ(over.at(67 + 2 * i), i);
    }

    Parse members(numbers(32, true));
    EXPECT_TRUE(members.accepted());
    EXPECT_EQ(members.at(1), 32);

    Parse too_many(numbers(33, true));
    EXPECT_FALSE(too_many.accepted());
    EXPECT_EQ(too_many.r, 999999);
    EXPECT_EQ(too_many.len(), 98 + 32 * 2);
    EXPECT_EQ(too_many.at(1), 32);
    EXPECT_EQ(too_many.at(97), 98 + 31 * 2);
    for (int i = 0; i < 32; ++i) EXPECT_EQ(too_many.at(99 + 2 * i), i);

    // The overflow position ends every enclosing container too.
    Parse inner("[" + numbers(65, false) + ",1]");
    EXPECT_EQ(inner.pos(), 999999);
    EXPECT_EQ(inner.at(1), 1);
    Parse in_object("{\"a\":" + numbers(33, true) + ",\"b\":1}");
    EXPECT_EQ(in_object.pos(), 999999);
    EXPECT_EQ(in_object.at(1), 1);
}

TEST(JsonTape, FillFunctionsOnCallerNodes) {
    ZelString *doc = zt::S("1, 2]");
    ZelVec *tape = zel_vec_new();
    int64_t node = dalloc(tape, 66);
    tape->items[node] = 4;
    EXPECT_EQ(parr_elems(tape, doc, 0, node), 5);
    EXPECT_EQ(tape->items[1], 2);
    EXPECT_EQ(tape->items[2], 66);
    EXPECT_EQ(tape->items[3], 68);
    EXPECT_EQ(tape->len, 70);

    // Nodes without their slots, or already full, take nothing.
    int64_t short_node = tape->len - 10;
    EXPECT_EQ(parr_elems(tape, doc, 0, short_node), short_node * kPack + 999999);
    EXPECT_EQ(pobj_ms(tape, doc, 0, -1), -kPack + 999999);
    EXPECT_EQ(parr_elems(nullptr, doc, 0, 0), 999999);
    tape->items[1] = 64;
    EXPECT_EQ(parr_elems(tape, doc, 0, 0), 999999);
    tape->items[1] = -3;
    EXPECT_EQ(parr_elems(tape, doc, 0, 0), 999999);
    EXPECT_EQ(tape->len, 70);

    ZelString *members = zt::S("\"k\" : \"v\" , \"n\":7}");
    int64_t obj = dalloc(tape, 98);
    tape->items[obj] = 5;
    EXPECT_EQ(pobj_ms(tape, members, 0, obj), obj * kPack + 18);
    EXPECT_EQ(tape->items[obj + 1], 2);
    EXPECT_EQ(tape->items[obj + 2], 1);
    EXPECT_EQ(tape->items[obj + 3], 2);
    EXPECT_EQ(tape->items[obj + 4], obj + 98);
    EXPECT_EQ(tape->items[obj + 98], 3);
    EXPECT_EQ(tape->items[obj + 7], obj + 101);
    tape->items[obj + 1] = 32;
    EXPECT_EQ(pobj_ms(tape, members, 0, obj), obj * kPack + 999999);

    // parr and pobj take the bracket at pos as given.
    ZelString *arr = zt::S("x[ ]");
    int64_t next = tape->len;
    EXPECT_EQ(parr(tape, arr, 1), next * kPack + 4);
    EXPECT_EQ(tape->items[next], 4);
    EXPECT_EQ(tape->items[next + 1], 0);
    next = tape->len;
    EXPECT_EQ(pobj(tape, arr, 0), next * kPack + 6);  // "[ ]" was read as a key
    EXPECT_EQ(tape->items[next], 5);
    EXPECT_EQ(tape->items[next + 1], 1);
    EXPECT_EQ(tape->items[next + 2], 2);
    EXPECT_EQ(tape->items[next + 3], 4);
    zel_string_free(arr);
    zel_string_free(members);
    zel_string_free(doc);
    zel_vec_free(tape);
}

TEST(JsonTape, MissingTapeOrDocument) {
    ZelString *doc = zt::S("[1,[2]]");
    EXPECT_EQ(pval(nullptr, doc, 0), 7);
    EXPECT_EQ(parr(nullptr, doc, 0), 7);
    EXPECT_EQ(pobj(nullptr, doc, 3), 9);

    ZelVec *tape = zel_vec_new();
    EXPECT_EQ(pval(tape, doc, -5), 7);  // read from the start
    EXPECT_EQ(tape->items[0], 4);
    int64_t before = tape->len;
    EXPECT_EQ(pval(tape, nullptr, 0), before * kPack);
    EXPECT_EQ(tape->items[before], 0);
    ZelString no_data{nullptr, 3, 0};
    EXPECT_EQ(pval(tape, &no_data, 2), (before + 1) * kPack + 2);
    zel_vec_free(tape);
    zel_string_free(doc);
}

TEST(JsonTape, NestingLimit) {
    {
        Parse p(repeat("[", 1024) + repeat("]", 1024));
        EXPECT_TRUE(p.accepted());
        EXPECT_EQ(p.len(), 1024 * 66);
        for (int i = 0; i < 1023; ++i) EXPECT_EQ(p.at(66 * i + 2), 66 * (i + 1));
        EXPECT_EQ(p.at(1023 * 66 + 1), 0);
    }
    {
        Parse p(repeat("[", 1024) + "1" + repeat("]", 1024));  // scalars are never limited
        EXPECT_TRUE(p.accepted());
        EXPECT_EQ(p.at(1024 * 66), 2);
    }
    {
        // The 1025th bracket is a null that consumes nothing and is then taken
        // as the innermost closing bracket, so one ']' is left over.
        Parse p(repeat("[", 1025) + repeat("]", 1025));
        EXPECT_EQ(p.len(), 1024 * 66 + 1);
        EXPECT_EQ(p.at(1023 * 66 + 2), 1024 * 66);
        EXPECT_EQ(p.at(1024 * 66), 0);
        EXPECT_EQ(p.r, 2048);
        EXPECT_FALSE(p.accepted());
    }
    {
        Parse p(repeat("[", 1025));
        EXPECT_EQ(p.len(), 1024 * 66 + 1);
        EXPECT_EQ(p.r, 1025);
        EXPECT_TRUE(p.accepted());
    }
    {
        Parse p(repeat("{\"a\":", 1025) + "1" + repeat("}", 1025));
        EXPECT_EQ(p.len(), 1024 * 98 + 1);
        EXPECT_EQ(p.at(1023 * 98 + 4), 1024 * 98);
        EXPECT_EQ(p.at(1024 * 98), 0);
        EXPECT_FALSE(p.accepted());
    }
    {
        // Children of a caller's node start one level down.
        ZelString *doc = zt::S(repeat("[", 1024));
        ZelVec *tape = zel_vec_new();
        int64_t node = dalloc(tape, 66);
        tape->items[node] = 4;
        parr_elems(tape, doc, 0, node);
        EXPECT_EQ(tape->len, 66 + 1023 * 66 + 1);
        EXPECT_EQ(tape->items[66 + 1023 * 66], 0);
        zel_vec_free(tape);
        zel_string_free(doc);
    }
}

TEST(JsonTape, DeepDocumentsDoNotExhaustTheStack) {
    Parse brackets(repeat("[", 100000));
    EXPECT_EQ(brackets.len(), 1024 * 66 + 1);
    EXPECT_EQ(brackets.r, 2048);
    EXPECT_FALSE(brackets.accepted());
    Parse objects(repeat("{\"k\":", 100000));
    EXPECT_EQ(objects.len(), 1024 * 98 + 1);
    EXPECT_FALSE(objects.accepted());
    Parse mixed(repeat("[{\"k\":", 50000));
    EXPECT_EQ(mixed.len(), 512 * (66 + 98) + 1);
    EXPECT_FALSE(mixed.accepted());
}

TEST(JsonTape, DocumentLengthLimit) {
    std::string largest = "\"" + std::string(999993, 'a') + "\"";
    Parse ok(largest);
    EXPECT_TRUE(ok.accepted());
    EXPECT_EQ(ok.slots(), (std::vector<int64_t>{3, 1, 999994}));
    EXPECT_EQ(ok.r, 999995);

    Parse too_long("\"" + std::string(999994, 'a') + "\"");
    EXPECT_EQ(too_long.slots(), std::vector<int64_t>{0});
    EXPECT_EQ(too_long.r, 0);
    EXPECT_FALSE(too_long.accepted());

    std::string million = "[" + std::string(999999, ' ');
    Parse big(million);
    EXPECT_EQ(big.slots(), std::vector<int64_t>{0});
    EXPECT_EQ(big.r, 0);
    EXPECT_FALSE(big.accepted());
    EXPECT_EQ(pval(big.tape, big.doc, 1234567), 1 * kPack + 999999);
    EXPECT_EQ(pval(big.tape, big.doc, 17), 2 * kPack + 17);
}

TEST(JsonTape, ObjectKeyLookup) {
    Parse p(R"({"a":1,"b\"c":2,"a":3,"":4,"abc":5})");
    ZelString *a = zt::S("a"), *raw = zt::S("b\\\"c"), *decoded = zt::S("b\"c"), *empty = zt::S(""),
              *abc = zt::S("abc"), *ab = zt::S("ab");
    int64_t n = p.at(1);
    ASSERT_EQ(n, 5);
    EXPECT_EQ(jobj_find(p.tape, 0, a, p.doc, 0, n), p.at(4));
    EXPECT_EQ(jobj_find(p.tape, 0, a, p.doc, 1, n), p.at(10));
    EXPECT_EQ(jobj_find(p.tape, 0, a, p.doc, 3, n), -1);
    EXPECT_EQ(jobj_find(p.tape, 0, raw, p.doc, 0, n), p.at(7));
    EXPECT_EQ(jobj_find(p.tape, 0, raw, p.doc, 0, 1), -1);
    EXPECT_EQ(jobj_find(p.tape, 0, decoded, p.doc, 0, n), -1);
    EXPECT_EQ(jobj_find(p.tape, 0, empty, p.doc, 0, n), p.at(13));
    EXPECT_EQ(jobj_find(p.tape, 0, abc, p.doc, 0, n), p.at(16));
    EXPECT_EQ(jobj_find(p.tape, 0, ab, p.doc, 0, n), -1);
    EXPECT_EQ(jobj_find(p.tape, 0, abc, p.doc, -3, 99), p.at(16));
    EXPECT_EQ(jobj_find(p.tape, 0, nullptr, p.doc, 0, n), -1);
    ZelString prefix{const_cast<char *>("abc"), 2, 3};  // only its first two bytes count
    EXPECT_EQ(jobj_find(p.tape, 0, &prefix, p.doc, 0, n), -1);
    prefix.len = 3;
    EXPECT_EQ(jobj_find(p.tape, 0, &prefix, p.doc, 0, n), p.at(16));
    ZelString empty_no_data{nullptr, 0, 0}, long_no_data{nullptr, 1, 0};
    EXPECT_EQ(jobj_find(p.tape, 0, &empty_no_data, p.doc, 0, n), p.at(13));
    EXPECT_EQ(jobj_find(p.tape, 0, &long_no_data, p.doc, 0, n), -1);
    // Nodes without their slots match nothing.
    for (int64_t bad : {int64_t{-1}, p.len() - 97, p.len(), int64_t{1} << 40})
        EXPECT_EQ(jobj_find(p.tape, bad, a, p.doc, 0, n), -1) << bad;
    EXPECT_EQ(jobj_find(nullptr, 0, a, p.doc, 0, n), -1);

    // Key ranges are cut from the document as a slice would cut them.
    int64_t len = p.doc->len;
    p.tape->items[2] = len + 1, p.tape->items[3] = len + 5;  // start past the end: empty
    EXPECT_EQ(jobj_find(p.tape, 0, empty, p.doc, 0, 1), p.at(4));
    p.tape->items[2] = -1, p.tape->items[3] = 2;  // negative start: empty
    EXPECT_EQ(jobj_find(p.tape, 0, empty, p.doc, 0, 1), p.at(4));
    p.tape->items[2] = 5, p.tape->items[3] = 3;  // end before start: empty
    EXPECT_EQ(jobj_find(p.tape, 0, empty, p.doc, 0, 1), p.at(4));
    p.tape->items[2] = len - 1, p.tape->items[3] = len + 50;  // end clamped
    ZelString *brace = zt::S("}");
    EXPECT_EQ(jobj_find(p.tape, 0, brace, p.doc, 0, 1), p.at(4));
    EXPECT_EQ(jobj_find(p.tape, 0, a, nullptr, 0, 1), -1);
    EXPECT_EQ(jobj_find(p.tape, 0, empty, nullptr, 0, 1), p.at(4));
    for (ZelString *s : {a, raw, decoded, empty, abc, ab, brace}) zel_string_free(s);
}

void expect_made(const ZelString *s, const std::string &want) {
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(zt::str(s), want);
    EXPECT_EQ(s->cap, s->len);
    EXPECT_EQ(s->data[s->len], '\0');
}

TEST(JsonTape, Unescape) {
    ZelString *empty = const_cast<ZelString *>(&zel_str_5);
    ZelString *src = zt::S(R"(a\"b\\c\nd\re\tf\/g\bh\u0041)");
    ZelString *r = unescape(src, 0, empty);
    expect_made(r, "a\"b\\c\nd\re\tf/gbhu0041");
    zel_string_free(r);

    ZelString *tail = zt::S("ab\\");
    r = unescape(tail, 0, empty);
    expect_made(r, "ab\\");
    zel_string_free(r);
    r = unescape(tail, -9, empty);
    expect_made(r, "ab\\");
    zel_string_free(r);

    // Byte 0 drops out, alone or escaped; the accumulator's own bytes stay.
    ZelString *nul = zt::S(std::string("x\0y\\\0z", 6));
    ZelString *acc = zt::S(std::string("p\0q", 3));
    r = unescape(nul, 0, acc);
    expect_made(r, std::string("p\0qxyz", 6));
    zel_string_free(r);
    r = unescape(nul, 1, acc);
    expect_made(r, std::string("p\0qyz", 5));
    zel_string_free(r);

    // Nothing left: the accumulator itself, whatever it is.
    EXPECT_EQ(unescape(nul, 6, acc), acc);
    EXPECT_EQ(unescape(nul, 60, empty), empty);
    EXPECT_EQ(unescape(nul, 6, nullptr), nullptr);
    EXPECT_EQ(unescape(nullptr, 0, acc), acc);
    // Something consumed: always a new record, even with no bytes added.
    ZelString *zero = zt::S(std::string(1, '\0'));
    r = unescape(zero, 0, acc);
    EXPECT_NE(r, acc);
    expect_made(r, std::string("p\0q", 3));
    zel_string_free(r);

    // A missing accumulator loses the first piece.
    ZelString no_data{nullptr, 4, 0};
    struct Case {
        std::string in;
        std::string out;
    } lossy[] = {{"xyz", "yz"}, {"\\nyz", "yz"}, {std::string("\0yz", 3), "yz"}, {"q", ""}, {"\\", ""}};
    for (const Case &c : lossy) {
        ZelString *s = zt::S(c.in);
        for (ZelString *bad : {static_cast<ZelString *>(nullptr), &no_data}) {
            r = unescape(s, 0, bad);
            expect_made(r, c.out);
            zel_string_free(r);
        }
        zel_string_free(s);
    }
    for (ZelString *s : {src, tail, nul, acc, zero}) zel_string_free(s);
}

TEST(JsonTape, UnescapeMatchesPieceByPieceDefinition) {
    std::mt19937_64 rng(77);
    const char alphabet[] = {'\\', '\\', 'n', 'r', 't', '"', '/', 'u', 'a', '\0', '\xe9'};
    zel_arena_mode(1);
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        int len = static_cast<int>(rng() % 12);
        for (int i = 0; i < len; ++i) text += alphabet[rng() % sizeof alphabet];
        ZelString *s = zt::S(text);
        int64_t pos = static_cast<int64_t>(rng() % 14) - 1;
        ZelString no_data{nullptr, 2, 0};
        ZelString *accs[] = {nullptr, &no_data, const_cast<ZelString *>(&zel_str_5), zt::S(std::string("k\0", 2))};
        for (ZelString *acc : accs) {
            ZelString *want = unescape_by_pieces(s, pos < 0 ? 0 : pos, acc);
            ZelString *got = unescape(s, pos, acc);
            EXPECT_EQ(shown(got), shown(want)) << "round " << round;
            EXPECT_EQ(got == acc, want == acc) << "round " << round;
        }
        zel_arena_reset();
    }
    // Long content: plain runs of whole 16-byte blocks, escapes sparse or dense.
    for (int round = 0; round < 600; ++round) {
        std::string text = jt::mixed_text(rng, rng() % 200, 1 + rng() % 40);
        int64_t pos = static_cast<int64_t>(rng() % 20);
        jt::expect_same_appends(unescape, unescape_by_pieces, zt::S(text), pos, round);
        zel_arena_reset();
    }
    zel_arena_destroy();
}

}  // namespace
