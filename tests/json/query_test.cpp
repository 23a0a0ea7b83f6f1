// Host functions: documented answers on lenient input, ownership of results,
// and behaviour on documents far beyond what a tape could hold.
#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "support.h"

using zt::S;
using zt::str;

namespace {

// Each result is read, then released (a no-op in arena mode).
std::string take(ZelString *s) {
    std::string t = str(s);
    zel_string_free(s);
    return t;
}

struct Doc {
    explicit Doc(std::string t) : text(std::move(t)) {
        rec = ZelString{const_cast<char *>(text.c_str()), static_cast<int64_t>(text.size()),
                        static_cast<int64_t>(text.size())};
    }
    std::string text;
    ZelString rec;
    const ZelString *operator&() const { return &rec; }
};

std::string get(const std::string &doc, const std::string &key) {
    Doc d(doc), k(key);
    return take(zel_json_get(&d, &k));
}
std::string get_string(const std::string &doc, const std::string &key) {
    Doc d(doc), k(key);
    return take(zel_json_get_string(&d, &k));
}
int64_t get_number(const std::string &doc, const std::string &key) {
    Doc d(doc), k(key);
    return zel_json_get_number(&d, &k);
}
int64_t get_bool(const std::string &doc, const std::string &key) {
    Doc d(doc), k(key);
    return zel_json_get_bool(&d, &k);
}
int64_t has_key(const std::string &doc, const std::string &key) {
    Doc d(doc), k(key);
    return zel_json_has_key(&d, &k);
}
int64_t validate(const std::string &doc) {
    Doc d(doc);
    return zel_json_validate(&d);
}
std::string stringify(const std::string &doc) {
    Doc d(doc);
    return take(zel_json_stringify(&d));
}
std::string type(const std::string &doc) {
    Doc d(doc);
    return take(zel_json_type(&d));
}
int64_t array_len(const std::string &doc) {
    Doc d(doc);
    return zel_json_array_len(&d);
}
std::string array_get(const std::string &doc, int32_t i) {
    Doc d(doc);
    return take(zel_json_array_get(&d, i));
}
int64_t object_len(const std::string &doc) {
    Doc d(doc);
    return zel_json_object_len(&d);
}
int64_t count(const std::string &doc) {
    Doc d(doc);
    return zel_json_count(&d);
}

TEST(JsonQuery, AcceptanceFollowsTheLenientGrammar) {
    EXPECT_EQ(validate(""), 0);
    EXPECT_EQ(validate("   "), 1);
    for (const char *bad : {"invalid", "x", "]", "+1", "t", "1.5", "1e5", "1 2", "[1 2]", "{", "\"abc",
                            "\"abc\\", "{\"a\":1}}", "[1]x"})
        EXPECT_EQ(validate(bad), 0) << bad;
    for (const char *good : {"txyz", "nope", "fxxxx", "-12", "007", "-", "[1x", "[1}", "[1,2", "[", "[1,]",
                             "[]", "{}", "[ \t]", "{\n}", "{\"a\" 1}", " {\"name\":\"ZEL\",\"version\":97}\r\n"})
        EXPECT_EQ(validate(good), 1) << good;
}

TEST(JsonQuery, RootQuestions) {
    // The empty document reads as a null root.
    EXPECT_EQ(type(""), "null");
    EXPECT_EQ(array_len(""), -1);
    EXPECT_EQ(object_len(""), -1);
    EXPECT_EQ(count(""), 1);
    EXPECT_EQ(get("", "a"), "");
    EXPECT_EQ(get_bool("", "a"), -1);
    EXPECT_EQ(has_key("", "a"), 0);

    EXPECT_EQ(type("invalid"), "null");
    EXPECT_EQ(type("7up"), "number");
    EXPECT_EQ(type(" -"), "number");
    EXPECT_EQ(type("\"s"), "string");
    EXPECT_EQ(type("txyz"), "bool");
    EXPECT_EQ(type("[1"), "array");
    EXPECT_EQ(type("{"), "object");

    EXPECT_EQ(count("{\"a\":1,\"b\":[1,2]}"), 5);
    EXPECT_EQ(count("[1,[2,3]]"), 3);
    EXPECT_EQ(count("42"), 1);
    EXPECT_EQ(count("[]"), 1);
    EXPECT_EQ(count("{}"), 1);

    EXPECT_EQ(array_len("[1,2"), 2);
    EXPECT_EQ(array_len("["), 1);
    EXPECT_EQ(array_len("[1,]"), 2);
    EXPECT_EQ(array_len("[ ]"), 0);
    EXPECT_EQ(array_len("{}"), -1);
    EXPECT_EQ(array_get("[1,]", 1), "null");
    EXPECT_EQ(array_get("[", 0), "null");
    EXPECT_EQ(array_get("[1.5,2]", 0), "1");
    EXPECT_EQ(array_get("[1.5,2]", 1), "");  // the point closed the array
    EXPECT_EQ(object_len("{\"a\":1,\"a\":2,}"), 3);
    EXPECT_EQ(object_len("[]"), -1);
}

TEST(JsonQuery, MemberLookups) {
    const std::string demo = "{\"name\":\"ZEL\",\"version\":97}";
    EXPECT_EQ(get(demo, "version"), "97");
    EXPECT_EQ(get(demo, "name"), "\"ZEL\"");
    EXPECT_EQ(get(demo, "nam"), "");
    EXPECT_EQ(get(demo, ""), "");

    EXPECT_EQ(get_number("{\"a\":1,\"a\":2}", "a"), 1);
    // The first match decides even when its kind is wrong for the question.
    EXPECT_EQ(get_number("{\"a\":\"x\",\"a\":5}", "a"), 0);
    EXPECT_EQ(get_bool("{\"a\":\"x\",\"a\":true}", "a"), -1);
    EXPECT_EQ(get_string("{\"a\":5,\"a\":\"x\"}", "a"), "");
    EXPECT_EQ(get_bool("{\"a\":true,\"b\":fxxxx}", "a"), 1);
    EXPECT_EQ(get_bool("{\"a\":true,\"b\":fxxxx}", "b"), 0);
    EXPECT_EQ(get_number("{\"a\":-18446744073709551617}", "a"), -1);
    EXPECT_EQ(get_number("{\"a\":-}", "a"), 0);
    EXPECT_EQ(has_key("{\"a\":-}", "a"), 1);

    // Keys are compared as raw bytes, escapes undecoded.
    const std::string esc = "{\"a\\\"b\":1}";
    EXPECT_EQ(has_key(esc, "a\"b"), 0);
    EXPECT_EQ(has_key(esc, "a\\\"b"), 1);
    EXPECT_EQ(get_number(esc, "a\\\"b"), 1);
    EXPECT_EQ(has_key(std::string("{\"a\0b\":1}", 10), std::string("a\0b", 3)), 1);
    EXPECT_EQ(has_key(std::string("{\"a\0b\":1}", 10), "a"), 0);

    // Only the root's members are searched.
    EXPECT_EQ(has_key("{\"a\":{\"b\":1}}", "b"), 0);
    EXPECT_EQ(get("{\"a\":{\"b\":1}}", "a"), "{\"b\":1}");
    EXPECT_EQ(get(" { \"a\" : [ 1 , { \"c\" : \"d\" } ] } ", "a"), "[1,{\"c\":\"d\"}]");

    // No colon is required: the 1 is taken as one and the brace is no value.
    EXPECT_EQ(get("{\"a\" 1}", "a"), "null");
    EXPECT_EQ(has_key("{\"a\" 1}", "a"), 1);
    // A literal advances by its full length whatever the bytes are.
    EXPECT_EQ(has_key("{\"a\":nul,\"b\":2}", "b"), 0);  // nul swallowed the comma
    EXPECT_EQ(get_number("{\"a\":null,\"b\":2}", "b"), 2);
    // A key without an opening quote loses its first byte.
    EXPECT_EQ(has_key("{a\":1}", ""), 1);

    EXPECT_EQ(get_string("{\"s\":\"line\\nnext\"}", "s"), "line\nnext");
    EXPECT_EQ(get_string("{\"s\":\"q\\\"\\\\\\/\\u0041\\b\"}", "s"), "q\"\\/u0041b");
    EXPECT_EQ(get_string(std::string("{\"s\":\"a\0b\\\0c\"}", 14), "s"), "abc");
    EXPECT_EQ(get_string("{\"s\":\"ab\\", "s"), "ab\\");  // a lone final backslash stays
    EXPECT_EQ(get_string("{\"s\":\"ab", "s"), "ab");
    EXPECT_EQ(get_string("{\"s\":\"\"}", "s"), "");
}

TEST(JsonQuery, CompactText) {
    const std::string demo = "{\"name\":\"ZEL\",\"version\":97}";
    EXPECT_EQ(stringify(demo), demo);
    EXPECT_EQ(stringify("{ \"a\" : [ 1 , true ] }"), "{\"a\":[1,true]}");
    EXPECT_EQ(stringify("-0"), "0");
    EXPECT_EQ(stringify("007"), "7");
    EXPECT_EQ(stringify("[1.5]"), "[1]");
    EXPECT_EQ(stringify("-9223372036854775808"), "-9223372036854775808");
    EXPECT_EQ(stringify("9223372036854775808"), "-9223372036854775808");
    EXPECT_EQ(stringify("\"\\u0041\\/\""), "\"u0041/\"");
    EXPECT_EQ(stringify("\"a\\nb\\tc\\rd\""), "\"a\\nb\\tc\\rd\"");
    EXPECT_EQ(stringify("\"a\nb\tc\rd\""), "\"a\\nb\\tc\\rd\"");
    EXPECT_EQ(stringify("\"\x08\x01\xff\""), "\"\x08\x01\xff\"");
    EXPECT_EQ(stringify(std::string("\"a\0b\"", 5)), "\"ab\"");
    EXPECT_EQ(stringify("\"\""), "\"\"");
    EXPECT_EQ(stringify("\"ab\\"), "\"ab\\\\\"");
    EXPECT_EQ(stringify("[ ]"), "[]");
    EXPECT_EQ(stringify("{ }"), "{}");
    EXPECT_EQ(stringify("   "), "null");
    EXPECT_EQ(stringify("x"), "null");
    EXPECT_EQ(stringify("txyz"), "true");
    EXPECT_EQ(stringify("fxxxx"), "false");
    EXPECT_EQ(stringify("nope"), "null");
    EXPECT_EQ(stringify("[1,2,3]"), "[1,2,3]");
    EXPECT_EQ(stringify("[1,[2,{\"a\":[]}],3"), "[1,[2,{\"a\":[]}],3]");
    EXPECT_EQ(stringify("[1,]"), "[1,null]");
    EXPECT_EQ(stringify("["), "[null]");
    EXPECT_EQ(stringify("{"), "{\"\":null}");
    EXPECT_EQ(stringify("{\"a\" 1}"), "{\"a\":null}");
    // Keys keep their source escapes, so the backslash is doubled.
    EXPECT_EQ(stringify("{\"a\\\"b\":1}"), "{\"a\\\\\\\"b\":1}");
    EXPECT_EQ(stringify(std::string("{\"a\0\tb\":\"\\\"\"}", 13)), "{\"a\\tb\":\"\\\"\"}");
}

// A caller that passes a 64-bit value where the index is declared 32-bit:
// only the low half is an argument.
#if defined(__clang__)
__attribute__((no_sanitize("function")))
#endif
std::string array_get_wide(const std::string &doc, int64_t index) {
    Doc d(doc);
    auto wide = reinterpret_cast<ZelString *(*)(const ZelString *, int64_t)>(&zel_json_array_get);
    return take(wide(&d, index));
}

TEST(JsonQuery, ArrayIndexUsesLowThirtyTwoBits) {
    const std::string doc = "[10,20,30]";
    EXPECT_EQ(array_get(doc, 0), "10");
    EXPECT_EQ(array_get(doc, 2), "30");
    EXPECT_EQ(array_get(doc, 3), "");
    EXPECT_EQ(array_get(doc, -1), "");
    EXPECT_EQ(array_get(doc, INT32_MIN), "");
    EXPECT_EQ(array_get("{\"a\":1}", 0), "");
    EXPECT_EQ(array_get("[\"a\\tb\",{\"k\" : [ ] }]", 1), "{\"k\":[]}");
    EXPECT_EQ(array_get_wide(doc, 4294967297LL), "20");
    EXPECT_EQ(array_get_wide(doc, 0x7fffffff00000002LL), "30");
    EXPECT_EQ(array_get_wide(doc, 0x00000001ffffffffLL), "");
}

TEST(JsonQuery, EveryStringResultIsANewRecord) {
    Doc demo("{\"name\":\"ZEL\",\"flag\":true,\"empty\":\"\"}");
    Doc flag("flag"), empty("empty"), none("none");
    for (int arena = 0; arena < 2; ++arena) {
        zel_arena_mode(arena);
        ZelString *results[][2] = {
            {zel_json_get(&demo, &flag), zel_json_get(&demo, &flag)},
            {zel_json_get(&demo, &none), zel_json_get(&demo, &none)},
            {zel_json_get_string(&demo, &empty), zel_json_get_string(&demo, &empty)},
            {zel_json_type(&demo), zel_json_type(&demo)},
            {zel_json_stringify(&flag), zel_json_stringify(&flag)},
            {zel_json_array_get(&demo, 0), zel_json_array_get(&demo, 0)},
        };
        const char *want[] = {"true", "", "", "object", "false", ""};
        for (int i = 0; i < 6; ++i) {
            ASSERT_NE(results[i][0], results[i][1]) << want[i];
            ASSERT_NE(results[i][0]->data, results[i][1]->data) << want[i];
            for (ZelString *r : results[i]) {
                EXPECT_EQ(str(r), want[i]);
                EXPECT_EQ(r->cap, r->len);
                EXPECT_EQ(r->data[r->len], '\0');
            }
            // Literal texts are copies, never the shared pool records.
            EXPECT_NE(results[i][0], &zel_str_12);
            EXPECT_NE(results[i][0]->data, str_data_12);
            EXPECT_NE(results[i][0]->data, str_data_22);
            zel_string_free(results[i][0]);
            zel_string_free(results[i][1]);
        }
    }
    zel_arena_destroy();
}

TEST(JsonQuery, NullAndBrokenRecordsReadAsEmpty) {
    Doc obj("{\"\":1,\"a\":2}");
    Doc a("a");
    EXPECT_EQ(zel_json_validate(nullptr), 0);
    EXPECT_EQ(take(zel_json_type(nullptr)), "null");
    EXPECT_EQ(take(zel_json_stringify(nullptr)), "null");
    EXPECT_EQ(take(zel_json_get(nullptr, &a)), "");
    EXPECT_EQ(zel_json_get_bool(nullptr, &a), -1);
    EXPECT_EQ(zel_json_array_len(nullptr), -1);
    EXPECT_EQ(zel_json_object_len(nullptr), -1);
    EXPECT_EQ(zel_json_count(nullptr), 1);
    EXPECT_EQ(take(zel_json_array_get(nullptr, 0)), "");

    // A null key matches no member, not even the empty one.
    EXPECT_EQ(zel_json_has_key(&obj, nullptr), 0);
    EXPECT_EQ(take(zel_json_get(&obj, nullptr)), "");
    EXPECT_EQ(zel_json_get_number(&obj, nullptr), 0);
    EXPECT_EQ(zel_json_get_bool(&obj, nullptr), -1);
    EXPECT_EQ(take(zel_json_get_string(&obj, nullptr)), "");
    EXPECT_EQ(zel_json_get_number(&obj, &a), 2);

    ZelString no_data{nullptr, 5, 5};
    ZelString negative{const_cast<char *>("[1]"), -3, 0};
    ZelString empty_key{nullptr, 0, 0};
    EXPECT_EQ(zel_json_validate(&no_data), 0);
    EXPECT_EQ(zel_json_validate(&negative), 0);
    EXPECT_EQ(zel_json_array_len(&negative), -1);
    EXPECT_EQ(zel_json_has_key(&obj, &no_data), 0);
    EXPECT_EQ(zel_json_has_key(&obj, &negative), 0);
    EXPECT_EQ(zel_json_get_number(&obj, &empty_key), 1);
}

// A document whose array and object are far wider than any tape node.
TEST(JsonQuery, NoLimitOnWidth) {
    std::string arr = "[";
    for (int i = 0; i < 100000; ++i) arr += (i ? "," : "") + std::to_string(i * 3);
    arr += "]";
    EXPECT_EQ(validate(arr), 1);
    EXPECT_EQ(array_len(arr), 100000);
    EXPECT_EQ(count(arr), 100001);
    EXPECT_EQ(array_get(arr, 99999), "299997");
    EXPECT_EQ(array_get(arr, 65), "195");
    EXPECT_EQ(array_get(arr, 100000), "");
    EXPECT_EQ(stringify(arr), arr);

    std::string obj = "{";
    for (int i = 0; i < 1000; ++i) obj += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":" + std::to_string(i);
    obj += ",\"last\":\"found\"}";
    EXPECT_EQ(validate(obj), 1);
    EXPECT_EQ(object_len(obj), 1001);
    EXPECT_EQ(count(obj), 2003);
    EXPECT_EQ(get_number(obj, "k999"), 999);
    EXPECT_EQ(get_string(obj, "last"), "found");
    EXPECT_EQ(has_key(obj, "k1000"), 0);
    EXPECT_EQ(stringify(obj), obj);
}

TEST(JsonQuery, LargeDocumentValidatesInOnePass) {
    // About 50 MB of records; far past what a packed position can address.
    const std::string record = "{\"id\":12345,\"name\":\"a \\\"quoted\\\" name\",\"tags\":[true,false,null],"
                               "\"nested\":{\"x\":-1,\"y\":[1,2,3]}},\n";
    std::string doc = "[";
    doc.reserve(51u << 20);
    while (doc.size() < (50u << 20)) doc += record;
    doc.back() = ']';
    doc.pop_back();
    doc.back() = ']';
    ZelString view{doc.data(), static_cast<int64_t>(doc.size()), static_cast<int64_t>(doc.size())};
    EXPECT_EQ(zel_json_validate(&view), 1);
    doc += " 1";
    EXPECT_EQ(validate(doc), 0);
}

// Nesting of any depth: the reader keeps no recursion and opens at most 1024
// containers, the rest reading as null values that consume nothing.
TEST(JsonQuery, DeepDocumentsAreSafe) {
    std::string deep(10u << 20, '[');
    EXPECT_EQ(validate(deep), 0);
    EXPECT_EQ(array_len(deep), 1);
    EXPECT_EQ(count(deep), 2);
    EXPECT_EQ(stringify(deep), std::string(1024, '[') + "null" + std::string(1024, ']'));
    EXPECT_EQ(array_get(deep, 0), std::string(1023, '[') + "null" + std::string(1023, ']'));

    std::string mixed;
    while (mixed.size() < (10u << 20)) mixed += "{\"a\":[";
    EXPECT_EQ(validate(mixed), 0);
    EXPECT_EQ(object_len(mixed), 1);
    // Arrays at odd depths 1..1023, objects at the even depths between.
    std::string want = "[";
    for (int i = 0; i < 511; ++i) want += "{\"a\":[";
    want += "null]";
    for (int i = 0; i < 511; ++i) want += "}]";
    EXPECT_EQ(get(mixed, "a"), want);

    // Exactly at the limit: 1024 open containers hold a value, 1025 do not.
    std::string ok = std::string(1024, '[') + "7" + std::string(1024, ']');
    EXPECT_EQ(validate(ok), 1);
    EXPECT_EQ(stringify(ok), ok);
    std::string over = std::string(1025, '[') + "7" + std::string(1025, ']');
    EXPECT_EQ(validate(over), 0);
    EXPECT_EQ(stringify(over), std::string(1024, '[') + "null" + std::string(1024, ']'));
}

std::string encode(const std::string &raw) {
    std::string s;
    for (char c : raw) {
        switch (c) {
            case '\0': break;
            case '\t': s += "\\t"; break;
            case '\n': s += "\\n"; break;
            case '\r': s += "\\r"; break;
            case '"': s += "\\\""; break;
            case '\\': s += "\\\\"; break;
            default: s += c;
        }
    }
    return s;
}

TEST(JsonQuery, MegabyteStringValue) {
    // Source text and the decoded bytes it stands for, built side by side.
    std::string source, decoded;
    const char *pieces[][2] = {{"plain text ", "plain text "}, {"\\n", "\n"},     {"\\\"", "\""},
                               {"\\\\", "\\"},                 {"\\u0041", "u0041"}, {"\t", "\t"},
                               {"\xc3\xa9", "\xc3\xa9"},       {"\\/", "/"}};
    for (unsigned i = 0; source.size() < (1u << 20); ++i) {
        source += pieces[i % 8][0];
        decoded += pieces[i % 8][1];
    }
    const std::string doc = "{\"small\":1,\"big\":\"" + source + "\",\"after\":true}";
    const std::string quoted = "\"" + encode(decoded) + "\"";
    for (int arena = 0; arena < 2; ++arena) {
        zel_arena_mode(arena);
        uint64_t before = zel_arena_usage();
        uint64_t produced = 0;
        for (int round = 0; round < 3; ++round) {
            std::string got = get(doc, "big");
            std::string text = get_string(doc, "big");
            std::string all = stringify(doc);
            ASSERT_EQ(got, quoted);
            ASSERT_EQ(text, decoded);
            ASSERT_EQ(all, "{\"small\":1,\"big\":" + quoted + ",\"after\":true}");
            produced += got.size() + text.size() + all.size();
        }
        if (arena) {
            // Only the answers live in the arena: growth is bounded by what was
            // returned plus one fresh block, never by the work done.
            uint64_t growth = zel_arena_usage() - before;
            EXPECT_LE(growth, 2 * produced + (8u << 20)) << growth;
        }
    }
    zel_arena_destroy();
}

TEST(JsonQuery, LargeTextsComeBackWhole) {
    // A compact text fills its buffer and is handed over as it stands; a
    // pretty one leaves much of it unused and is shrunk. Both end in a NUL.
    for (bool pretty : {false, true}) {
        const std::string rec =
            pretty ? "{ \"id\": 1234, \"tags\": [ true, null ] }" : "{\"id\":1234,\"tags\":[true,null]}";
        std::string doc = "[", expect = "[";
        while (doc.size() < (5u << 20)) {
            if (doc.size() > 1) {
                doc += pretty ? ",\n  " : ",";
                expect += ",";
            }
            doc += rec;
            expect += "{\"id\":1234,\"tags\":[true,null]}";
        }
        doc += "]";
        expect += "]";
        ZelString view{doc.data(), static_cast<int64_t>(doc.size()), static_cast<int64_t>(doc.size())};
        ZelString *s = zel_json_stringify(&view);
        ASSERT_EQ(std::string(s->data, static_cast<size_t>(s->len)), expect) << pretty;
        EXPECT_EQ(s->data[s->len], '\0');
        zel_string_free(s);
    }
}

TEST(JsonQuery, DemonstrationProgram) {
    const std::string expected = "1\n0\n{\"name\":\"ZEL\",\"version\":97}\narray\n\"ZEL\"\nZEL\n97\n5\n20\n";
    zt::ChildResult r = zt::run_child([] {
        zel_arena_mode(1);
        int rc = static_cast<int>(zel_user_main());
        zel_arena_destroy();
        return rc;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");

    // Started on its own, the library runs the same program.
    r = zt::run_child([] {
        execl(ZEL_LIB_PATH, ZEL_LIB_PATH, static_cast<char *>(nullptr));
        return 127;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
}

}  // namespace
