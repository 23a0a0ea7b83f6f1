// The streaming host functions against the tape oracle on a generated corpus
// that leans on every lenient corner of the grammar, under every kernel: each
// test runs again in a child process per kernel (ZEL_KERNEL; a kernel the
// CPU lacks falls back to the best one it has).
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "json/tape_reference.h"
#include "support.h"

namespace {

class Gen {
public:
    explicit Gen(uint64_t seed) : rng_(seed) {}

    std::string document() {
        int64_t r = below(100);
        if (r < 2) return deep();
        if (r < 25) return mutate(ws() + value(0) + ws());
        if (r < 28) return wide();
        if (r < 36) return blocks();
        return ws() + value(0) + ws();
    }

    // Documents of a few blocks of 64 bytes whose tokens straddle the blocks'
    // edges: long strings with escapes anywhere, long digit runs, long white
    // space, nested records, and now and then a quirk.
    std::string blocks() {
        bool obj = chance(50);
        std::string s = obj ? "{" : "[";
        for (int64_t i = 0, n = 1 + below(9); i < n; ++i) {
            if (i) s += gap() + "," + gap();
            if (obj) s += "\"" + key() + "\"" + gap() + ":" + gap();
            s += record(0);
        }
        s += gap() + (obj ? "}" : "]");
        return chance(25) ? mutate(s) : s;
    }

private:
    int64_t below(int64_t n) { return static_cast<int64_t>(rng_() % static_cast<uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    std::string pick(std::initializer_list<const char *> options) {
        return options.begin()[below(static_cast<int64_t>(options.size()))];
    }
    template <size_t N>
    std::string pick(const char *const (&options)[N]) {
        return options[below(static_cast<int64_t>(N))];
    }

    std::string ws() {
        if (!chance(30)) return "";
        static const char kWs[] = {' ', '\t', '\n', '\r'};
        std::string s;
        for (int64_t i = 1 + below(3); i > 0; --i) s += kWs[below(4)];
        return s;
    }

    std::string literal() {
        static const char *const kLit[] = {"true", "false", "null", "txyz", "nope", "fxxxx", "t",
                                           "f", "n", "tru", "fals", "nul", "trueX", "nullnull"};
        return pick(kLit);
    }

    std::string digits(int64_t n) {
        std::string s;
        for (int64_t i = 0; i < n; ++i) s += static_cast<char>('0' + below(10));
        return s;
    }

    std::string number() {
        static const char *const kNum[] = {"-", "-12", "007", "0", "-0", "+1", "18446744073709551617",
                                           "9223372036854775807", "9223372036854775808",
                                           "-9223372036854775808", "-9223372036854775809", "1.5", "1e5",
                                           "-.5", "--1", "12-3"};
        if (chance(40)) return pick(kNum);
        std::string s = chance(30) ? "-" : "";
        s += digits(1 + (chance(20) ? 18 + below(8) : below(6)));
        if (chance(10)) s += pick({".25", "e5", "E-3", ".", "e"});
        return s;
    }

    std::string content() {
        static const char *const kPiece[] = {
            "a", "bc", "Hello", " ", "\\\"", "\\\\", "\\n", "\\r", "\\t", "\\/", "\\b", "\\f", "\\u0041",
            "\\u00e9", "\t", "\n", "\r", "\x08", "\xc3\xa9", "\xff", "\x7f", "'", ":", ",", "[", "{", "}"};
        std::string s;
        for (int64_t i = below(6); i > 0; --i) {
            int64_t r = below(100);
            if (r < 4) s += std::string(1, '\0');
            else if (r < 6) s += std::string("\\") + '\0';
            else s += pick(kPiece);
        }
        return s;
    }

    // A string value; `last` allows the forms that only make sense at the end.
    std::string string_value(bool last) {
        if (last && chance(10)) return "\"" + content();                // unterminated
        if (last && chance(10)) return "\"" + content() + "\\";         // ends in a backslash
        return "\"" + content() + "\"";
    }

    std::string key() {
        static const char *const kKeys[] = {"a", "b", "name", "", "a\\\"b", "k\\\\", "x y", "\\u0041",
                                            "\t", "version", "a\\nb"};
        return chance(75) ? pick(kKeys) : content();
    }

    std::string closer(char close) {
        int64_t r = below(100);
        if (r < 80) return ws() + close;
        if (r < 86) return "";  // the document ends the container
        if (r < 92) return std::string(1, close == ']' ? '}' : ']');
        return pick({"x", " 2", ")", "\"", ":"});
    }

    std::string array(int depth) {
        std::string s = "[" + ws();
        if (chance(12)) return s + closer(']');
        int64_t n = chance(2) ? 60 + below(10) : 1 + below(6);
        for (int64_t i = 0; i < n; ++i) {
            if (i) s += ws() + "," + ws();
            s += value(depth + 1);
        }
        if (chance(8)) s += ",";
        return s + closer(']');
    }

    std::string object(int depth) {
        std::string s = "{" + ws();
        if (chance(12)) return s + closer('}');
        int64_t n = chance(2) ? 30 + below(6) : 1 + below(5);
        for (int64_t i = 0; i < n; ++i) {
            if (i) s += ws() + "," + ws();
            if (chance(3)) s += pick({"a", "'a'", ""});  // no opening quote
            else s += "\"" + key() + "\"";
            s += ws();
            int64_t r = below(100);
            s += r < 88 ? ":" : r < 94 ? "" : pick({"=", "1", ",", " "});
            s += ws() + value(depth + 1);
        }
        if (chance(8)) s += ",";
        return s + closer('}');
    }

    std::string value(int depth) {
        int64_t r = below(100);
        if (depth > 5) r = below(55);
        if (r < 13) return literal();
        if (r < 32) return number();
        if (r < 50) return string_value(chance(20));
        if (r < 55) return pick({"x", "]", "}", ",", "+1", "", ":"});
        if (r < 78) return array(depth);
        return object(depth);
    }

    // Around the nesting limit: a mixed chain of arrays and objects with a
    // value in the middle and some of the closers; or nesting that swings.
    std::string deep() {
        int64_t n = 1000 + below(40);
        std::string open, close;
        for (int64_t i = 0; i < n; ++i) {
            if (chance(70)) {
                open += "[";
                close = "]" + close;
            } else {
                open += "{\"k\":";
                close = "}" + close;
            }
            if (chance(3)) open += ws();
        }
        std::string mid = chance(50) ? value(6) : (chance(50) ? "[1,2]" : "{\"z\":[]}");
        size_t keep = chance(70) ? close.size() : static_cast<size_t>(below(static_cast<int64_t>(close.size()) + 1));
        std::string tail = close.substr(0, keep);
        if (chance(30)) tail += ",1]";
        return open + mid + tail;
    }

public:
    // Nesting that swings between 40 and 150 levels, so that the stack runs
    // above and below 64 levels within a few tokens; now and then a closer
    // of the wrong kind.
    std::string zigzag() {
        std::string s;
        std::vector<char> open;
        for (int64_t swing = 0; swing < 6; ++swing) {
            const int64_t hi = 100 + below(50), lo = 40 + below(30);
            while (static_cast<int64_t>(open.size()) < hi) {
                bool obj = chance(40);
                s += obj ? "{\"k\":" : "[";
                open.push_back(obj ? '}' : ']');
            }
            s += digits(1 + below(3));
            while (static_cast<int64_t>(open.size()) > lo) {
                char c = open.back();
                open.pop_back();
                s += chance(2) ? (c == ']' ? '}' : ']') : c;
            }
            s += open.back() == '}' ? ",\"k\":" : ",";
        }
        s += "0";
        while (!open.empty()) {
            s += open.back();
            open.pop_back();
        }
        return s;
    }

private:
    // A root container with many well-formed children, so that its width,
    // not an early closer, decides whether the tape can hold it.
    std::string wide() {
        bool obj = chance(50);
        int64_t n = obj ? 20 + below(16) : 50 + below(18);
        std::string s = obj ? "{" : "[";
        for (int64_t i = 0; i < n; ++i) {
            if (i) s += ws() + "," + ws();
            if (obj) s += "\"k" + std::to_string(below(8)) + "\"" + ws() + ":" + ws();
            int64_t r = below(6);
            if (r == 0) s += digits(1 + below(4));
            else if (r == 1) s += "\"" + content() + "\"";
            else if (r == 2) s += pick({"true", "false", "null"});
            else if (r == 3) s += "[1,\"a\",[]]";
            else if (r == 4) s += "{\"a\":{\"b\":-1}}";
            else s += "\"plain\"";
        }
        return s + ws() + (obj ? "}" : "]");
    }

    std::string gap() {
        int64_t r = below(10);
        if (r < 6) return "";
        if (r < 8) return ws();
        std::string g = "\n";
        g.append(static_cast<size_t>(20 + below(80)), chance(80) ? ' ' : '\t');
        return g;
    }

    std::string record(int depth) {
        int64_t r = below(10);
        if (r < 3) {
            std::string c;
            while (c.size() < static_cast<size_t>(60 + below(240))) c += content() + pick({"ab", "\\\"", "\\\\", "xyz"});
            return "\"" + c + "\"";
        }
        if (r == 3) return (chance(30) ? "-" : "") + digits(20 + below(100));
        if (r < 7 && depth < 3) {
            bool obj = r >= 5;
            std::string s = obj ? "{" : "[";
            for (int64_t i = 0, n = 1 + below(obj ? 12 : 20); i < n; ++i) {
                if (i) s += gap() + "," + gap();
                if (obj) s += "\"" + key() + "\"" + gap() + ":" + gap();
                s += record(depth + 1);
            }
            return s + gap() + (obj ? "}" : "]");
        }
        return value(4);
    }

    std::string mutate(std::string s) {
        static const char kBytes[] = "[]{}\",:\\ tfn-0123456789x\t\n";
        for (int64_t k = 1 + below(3); k > 0; --k) {
            int64_t r = below(100);
            size_t at = s.empty() ? 0 : static_cast<size_t>(below(static_cast<int64_t>(s.size())));
            char b = chance(80) ? kBytes[below(sizeof kBytes - 1)] : static_cast<char>(below(256));
            if (r < 30 && !s.empty()) s[at] = b;
            else if (r < 55 && !s.empty()) s.erase(at, 1);
            else if (r < 80) s.insert(at, 1, b);
            else if (!s.empty()) s.resize(at);
        }
        return s;
    }

    std::mt19937_64 rng_;
};

ZelString view(const std::string &s) {
    return ZelString{const_cast<char *>(s.c_str()), static_cast<int64_t>(s.size()), static_cast<int64_t>(s.size())};
}

// Unless a kernel is forced already, runs the current test in a child process
// per kernel and returns their outputs (the caller then stops); with one
// forced, returns nothing and the caller runs the test itself.
std::vector<std::string> in_each_kernel() {
    std::vector<std::string> outs;
    if (getenv("ZEL_KERNEL") != nullptr) return outs;
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    for (const char *k : {"exact", "sse2", "avx2", "avx512f", "avx512"}) {
        zt::ChildResult r = zt::run_child([&] {
            setenv("ZEL_KERNEL", k, 1);
            execl("/proc/self/exe", "test_json", filter.c_str(), static_cast<char *>(nullptr));
            return 127;
        });
        EXPECT_EQ(r.status, 0) << "kernel " << k << ":\n" << r.out << r.err;
        outs.push_back(r.out);
    }
    return outs;
}

TEST(JsonDifferential, GeneratedCorpusAgreesWithTape) {
    if (!in_each_kernel().empty()) return;
    Gen gen(0x5eed2024);
    const int kDocs = 4000;
    int compared = 0, deep = 0, wide_roots = 0, accepted = 0, blocky = 0;
    for (int i = 0; i < kDocs; ++i) {
        std::string text = gen.document();
        ZelString doc = view(text);
        {
            const tref::Tape t(&doc);
            if (!t.within_limits()) continue;
            if (text.size() > 1000 && text.find("[[[[[[[[") != std::string::npos) ++deep;
            if (t.array_len() > 40 || t.object_len() > 16) ++wide_roots;
            if (text.size() > 256) ++blocky;
            accepted += static_cast<int>(t.validate());
        }
        ++compared;
        std::string m = tref::first_mismatch(&doc);
        ASSERT_EQ(m, "") << "document #" << i << " (" << text.size() << " bytes): " << text.substr(0, 300);
    }
    zel_arena_destroy();
    printf("[ compared ] %d of %d documents (%d deep, %d wide, %d over 256 bytes, %d accepted)\n", compared, kDocs,
           deep, wide_roots, blocky, accepted);
    // The corpus is meant to stay almost entirely inside what the tape can hold,
    // and to reach each family of shapes.
    EXPECT_GE(compared, kDocs * 9 / 10);
    EXPECT_GE(deep, 20);
    EXPECT_GE(wide_roots, 40);
    EXPECT_GE(blocky, 200);
    EXPECT_GT(accepted, compared / 4);
    EXPECT_LT(accepted, compared * 9 / 10);
}

// The reader's and the writer's bracket stacks where they keep only their
// top 64 levels in a register: nesting that swings across that depth within
// a few tokens, through every host function.
TEST(JsonDifferential, SwingingNestingAgreesWithTape) {
    if (!in_each_kernel().empty()) return;
    Gen gen(0x2157a9);
    for (int i = 0; i < 300; ++i) {
        std::string text = gen.zigzag();
        ZelString doc = view(text);
        ASSERT_EQ(tref::first_mismatch(&doc), "") << "document #" << i << ": " << text;
    }
    zel_arena_destroy();
}

// Hand-picked documents at the grammar's corners, compared the same way.
TEST(JsonDifferential, CornerDocumentsAgreeWithTape) {
    if (!in_each_kernel().empty()) return;
    const std::string docs[] = {
        "", " ", "\t\n\r ", "x", "]", "+1", "t", "f", "n", "txyz", "nope", "fxxxx", "tr", "fals", "-", "--",
        "-12", "007", "1.5", "1e5", "1 2", "18446744073709551617", "-9223372036854775808", "\"abc",
        "\"abc\\", "\"a\\\\\"", "\"\\", "\"", "[", "{", "[1x", "[1}", "[1,2", "[1 2]", "[1,]", "[,]", "[,",
        "[]", "{}", "[ ]", "{ }", "{\"a\" 1}", "{\"a\"", "{\"a\":", "{\"a\":1,}", "{\"a\":1,\"a\":2}",
        "{\"a\":\"x\",\"a\":5}", "{\"a\\\"b\":1}", "{\"a\":{\"b\":1}}", "{\"a\":1,\"b\":[1,2]}", "[1,[2,3]]",
        "{a:1}", "{\"a\":tru}", "{\"a\":f}", "{\"a\":\"\\n\"}", "{\"a\":\"\"}", "{\"\":1}", "{\"a\":1,\"\"",
        std::string("{\"a\\0b\":\"x\\0y\"}", 15), std::string("[\"\\\0\"]", 6), "{\"k\":\"\\u0041\\/\"}",
        "[\"\x08\xff\"]", "[1,\"a\\", "{\"a\":[", "{\"a\":\"", "[{\"a\":1},{\"b\":2}]", "[tttt]",
        "{\"name\":\"ZEL\",\"version\":97}", "[10,20,30]", "  [ 1 , true ]  ", "{ \"a\" : [ 1 , true ] }"};
    for (const std::string &text : docs) {
        ZelString doc = view(text);
        ASSERT_TRUE(tref::within_tape_limits(&doc)) << text;
        ASSERT_EQ(tref::first_mismatch(&doc), "") << "document: " << text;
    }
    // Tokens the writer's block scan hands to the exact walk, at every offset
    // from a block's edge: keys it would not write as they stand, numbers
    // not written as printed, misspelled literals, string bytes that escaping
    // changes, escapes that lose their backslash, closers of the wrong kind.
    // Each also with white space after it, so that its block is not the
    // document's last and the writer may read past the block's end.
    const char *const irregular[] = {
        "{\"p\":\"@\",\"a\\\"b\":1,\"c\":2}", "{\"p\":\"@\",\"k\\\\\":[1]}", "[\"@\",-0,1]", "[\"@\",007]",
        "[\"@\",-]", "[\"@\",-01,2]", "[\"@\",tru ,1]", "[\"@\",nulx]", "[\"@\",falsy]", "[\"@\",truex]",
        "[\"@\",\"a\tb\"]", "[\"@\",\"x\\/y\\u0041\\f\"]", "[\"@\",1234567890123456789]",
        "[\"@\",-123456789012345678,0]", "{\"p\":\"@\",\"a\":[1}}", "[\"@\",\"\\\t\"]", "[\"@\",{\"a\" 1}]",
        "[\"@\",[1 2]]", "[\"@\",\"ab\\"};
    for (const char *shape : irregular) {
        const std::string t = shape;
        const size_t at = t.find('@');
        for (size_t pad = 0; pad < 140; ++pad) {
            const std::string text = t.substr(0, at) + std::string(pad, 'x') + t.substr(at + 1);
            for (const std::string &d : {text, text + std::string(70, ' ')}) {
                ZelString doc = view(d);
                ASSERT_EQ(tref::first_mismatch(&doc), "") << "document: " << d;
            }
        }
    }
    {
        std::string nul = "[\"@\",\"a?b\"]";
        nul[nul.find('?')] = '\0';
        for (size_t pad = 0; pad < 140; ++pad) {
            std::string text = "[\"" + std::string(pad, 'x') + nul.substr(3);
            ZelString doc = view(text);
            ASSERT_EQ(tref::first_mismatch(&doc), "") << "document with a NUL, pad " << pad;
        }
    }
    // Around the nesting limit exactly.
    for (int n : {1023, 1024, 1025, 1026}) {
        for (const char *inner : {"", "1", "[]", "[1]", "{}", "{\"a\":1}"}) {
            std::string text = std::string(n, '[') + inner + std::string(n, ']');
            ZelString doc = view(text);
            ASSERT_TRUE(tref::within_tape_limits(&doc));
            ASSERT_EQ(tref::first_mismatch(&doc), "") << n << " levels around " << inner;
        }
    }
    zel_arena_destroy();
}

// Root keys whose quotes and first bytes fall on every position around the
// 64-byte blocks and the document's end: keys that share a first byte, keys
// cut off by the end, and keys holding an escaped quote.
TEST(JsonDifferential, KeysAroundBlockEdgesAgreeWithTape) {
    if (!in_each_kernel().empty()) return;
    int compared = 0;
    for (int pad = 0; pad <= 140; ++pad) {
        const std::string head = "{\"pad\":\"" + std::string(static_cast<size_t>(pad), 'x') + "\",";
        const std::string full[] = {head + "\"lx\":1,\"last\":42}", head + "\"a\\\"b\":[1],\"l\":true}",
                                    head + "\"\":\"e\",\"last\":null}"};
        for (const std::string &text : full) {
            // Whole, and cut inside and right after the last key.
            for (size_t cut : {text.size(), text.size() - 5, text.size() - 6, text.size() - 7, text.size() - 9}) {
                const std::string t = text.substr(0, cut);
                ZelString doc = view(t);
                ASSERT_EQ(tref::first_mismatch(&doc), "") << "document: " << t;
                ++compared;
            }
        }
    }
    zel_arena_destroy();
    EXPECT_EQ(compared, 141 * 15);
}

// Documents over many rounds of blocks where the reader stops branching on
// backslashes or on literals: strings dense with escapes whose runs cross
// every block edge, or arrays dense with literals; some break late or are cut.
TEST(JsonDifferential, EscapeAndLiteralDenseDocumentsAgreeWithTape) {
    if (!in_each_kernel().empty()) return;
    std::mt19937_64 rng(0xe5ca9e);
    const char *const escaped[] = {"\\\\", "\\\"", "\\n", "a", "bc", "\\\\\\\"", "\xc3\xa9", "\\u00e9"};
    const char *const scalars[] = {"true,", "false,", "null,", "-7,", "0,", "123,", "nul,", "truex,"};
    for (int d = 0; d < 24; ++d) {
        std::string text = "{";
        for (int m = 0; text.size() < 14000; ++m) {  // within the tape's widths: 32 members, 64 elements
            text += (m ? ",\"k" : "\"k") + std::to_string(m) + "\":" + std::string(rng() % 64, ' ');
            if (d % 2 == 0) {
                text += '"';
                for (int i = 0; i < 400; ++i) text += escaped[rng() % 8];
                text += '"';
                continue;
            }
            for (int a = 0; a < 8; ++a) {
                text += a ? ",[" : "[[";
                for (int i = 0; i < 40; ++i) text += scalars[rng() % 6];
                text += "1]";
            }
            text += ']';
        }
        text += "}";
        if (d / 2 % 4 == 1) text.insert(text.size() - 2000 + rng() % 64, d % 2 ? scalars[6 + rng() % 2] : "\\");
        if (d / 2 % 4 == 2) text[text.size() - 1500 + rng() % 64] = '\n';  // a raw control byte
        if (d / 2 % 4 == 3) text.resize(text.size() - 1000 - rng() % 64);
        ZelString doc = view(text);
        ASSERT_TRUE(tref::within_tape_limits(&doc)) << "document #" << d;
        ASSERT_EQ(tref::first_mismatch(&doc), "") << "document #" << d;
    }
    zel_arena_destroy();
}

// Documents beyond the tape's reach (wide roots, over a megabyte) have no
// oracle: every kernel must give the byte walk's answers. Each child prints a
// digest of every answer; all must be equal.
TEST(JsonDifferential, LargeDocumentsAgreeAcrossKernels) {
    std::vector<std::string> outs = in_each_kernel();
    if (!outs.empty()) {
        auto digest = [](const std::string &o) {
            size_t at = o.find("[ digest ]");
            return at == std::string::npos ? std::string("none") : o.substr(at, o.find('\n', at) - at);
        };
        for (const std::string &o : outs) EXPECT_EQ(digest(o), digest(outs[0]));
        return;
    }
    Gen gen(0xb10c);
    std::vector<std::string> docs;
    for (int d = 0; d < 4; ++d) {
        std::string s = d % 2 ? "[" : "{";
        for (int64_t i = 0; s.size() < (d == 3 ? 1100000u : 40000u); ++i) {
            if (i) s += ",";
            if (d % 2 == 0) s += "\"k" + std::to_string(i % 500) + "\":";
            s += gen.document();
        }
        docs.push_back(s + (d % 2 ? "]" : "}"));
    }
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const std::string &v) {
        for (unsigned char c : v) h = (h ^ c) * 1099511628211ull;
        h = (h ^ 0xff) * 1099511628211ull;
    };
    auto take = [](ZelString *s) {
        std::string b(s->data, static_cast<size_t>(s->len));
        zel_string_free(s);
        return b;
    };
    for (const std::string &text : docs) {
        ZelString doc = view(text);
        mix(std::to_string(zel_json_validate(&doc)) + take(zel_json_stringify(&doc)) + take(zel_json_type(&doc)));
        mix(std::to_string(zel_json_array_len(&doc)) + std::to_string(zel_json_object_len(&doc)) +
            std::to_string(zel_json_count(&doc)));
        for (const char *k : {"k0", "k1", "k250", "k499", "a", "absent"}) {
            std::string ks = k;
            ZelString key = view(ks);
            mix(take(zel_json_get(&doc, &key)) + take(zel_json_get_string(&doc, &key)) +
                std::to_string(zel_json_get_number(&doc, &key)) + std::to_string(zel_json_get_bool(&doc, &key)) +
                std::to_string(zel_json_has_key(&doc, &key)));
        }
        for (int32_t i : {0, 1, 63, 64, 1000, 5000}) mix(take(zel_json_array_get(&doc, i)));
    }
    printf("[ digest ] %016llx\n", static_cast<unsigned long long>(h));
}

// Documents that end right before an unreadable page: nothing past the last
// byte is ever read, for every length from 0 to 200.
TEST(JsonDifferential, DocumentsAtPageEndsAgreeWithTape) {
    if (!in_each_kernel().empty()) return;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    auto *map = static_cast<char *>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(mprotect(map + page, page, PROT_NONE), 0);
    std::string pad(40, ' ');
    const std::string sources[] = {
        "{\"name\":\"ZEL\",\"list\":[1,-22,333,true,false,null],\"s\":\"a\\\"b\\\\c\\nd\\u0041\",\"o\":{\"x\":{}}}",
        "[\"" + std::string(150, 'x') + "\\\"\", 12345678901234567890123, tru, [ ], {\"k\" : \"v\"}]",
        "{\"a\":" + pad + "[" + pad + "1" + pad + "," + pad + "\"" + pad + "\"" + pad + "]" + pad + ",\"b\":nul",
        "[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31,32,33,\"\\"};
    int compared = 0;
    for (const std::string &src : sources) {
        for (size_t len = 0; len <= 200 && len <= src.size(); ++len) {
            char *at = map + page - len;
            memcpy(at, src.data(), len);
            ZelString doc{at, static_cast<int64_t>(len), static_cast<int64_t>(len)};
            ASSERT_EQ(tref::first_mismatch(&doc), "") << "prefix of " << len << " bytes: " << src.substr(0, len);
            ++compared;
        }
    }
    munmap(map, 2 * page);
    zel_arena_destroy();
    EXPECT_GE(compared, 500);
}

}  // namespace
