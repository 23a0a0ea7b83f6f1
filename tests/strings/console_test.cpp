// Console output and input, captured byte for byte in a child process.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "support.h"

namespace {

using namespace std::string_literals;

// Writes a read result so the parent can see its exact bytes and length.
void show(const ZelString *s) {
    printf("[%ld:", (long)s->len);
    fwrite(s->data, 1, (size_t)s->len, stdout);
    printf("]");
    fflush(stdout);
    zel_string_free(const_cast<ZelString *>(s));
}

TEST(Console, Integers) {
    auto r = zt::run_child([] {
        zel_print_i64(42);
        zel_println_i64(-7);
        print(INT64_MIN);
        println(INT64_MAX);
        println(0);
        eprint(-1);
        eprintln(123);
        return 0;
    });
    EXPECT_EQ(r.out, "42-7\n-92233720368547758089223372036854775807\n0\n");
    EXPECT_EQ(r.err, "-1123\n");
}

TEST(Console, Floats) {
    auto r = zt::run_child([] {
        zel_println_f64(1.5);
        zel_print_f64(-0.0);
        println_f64(1e20);
        print_f64(1.0 / 3.0);
        zel_println_f64(0.0000000004);
        println_f64(-INFINITY);
        eprint_f64(2.25);
        eprintln_f64(-0.5);
        return 0;
    });
    EXPECT_EQ(r.out,
              "1.500000000\n-0.000000000100000000000000000000.000000000\n"
              "0.3333333330.000000000\n-inf\n");
    EXPECT_EQ(r.err, "2.250000000-0.500000000\n");
}

TEST(Console, Strings) {
    auto r = zt::run_child([] {
        static char text[] = "hello";
        ZelString three = {text, 3, 3};
        ZelString *nul = zt::S(std::string("ab\0cd", 5));
        ZelString hollow = {nullptr, 4, 4};
        // Only the low 32 bits of the length bound the output.
        ZelString wide = {text, (int64_t{1} << 32) + 2, 0};

        zel_print_str(&three);        // bounded by len
        print_str(&three);            // up to the NUL
        zel_print_str(nul);           // stops at the NUL byte
        zel_print_str(&wide);
        zel_print_str(nullptr);
        zel_print_str(&hollow);
        print_str(nullptr);
        print_str(&hollow);
        printf("|");
        zel_println_str(&three);
        println_str(&three);
        zel_println_str(nullptr);
        zel_println_str(&hollow);
        println_str(nullptr);
        println_str(&hollow);
        print_char('A' + 0x100);
        print_char(0);
        print_char(-1);
        zel_puts_cstr("put");
        if (puts_cstr(nullptr) != 0 || zel_puts_cstr("x") != 0) return 3;

        eprint_str(&three);
        eprint_str(nullptr);
        eprint_str(&hollow);
        eprintln_str(nul);
        eprintln_str(nullptr);
        eprintln_str(&hollow);
        zel_string_free(nul);
        return 0;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "helhelloabhe|hel\nhello\n\n\n\n\nA\0\xffput\n\nx\n"s);
    EXPECT_EQ(r.err, "helloab\n\n\n");
}

TEST(Console, WriteStdoutIsRawAndFlushed) {
    // exit_unflushed skips stdio's final flush, so only flushed bytes arrive.
    auto r = zt::run_child([] {
        ZelString *s = zt::S(std::string("a\0b\n\0", 5));
        printf("x");
        zel_write_stdout(s);
        printf("lost");
        zel_write_stdout(nullptr);
        ZelString hollow = {nullptr, 3, 3};
        zel_write_stdout(&hollow);
        zt::exit_unflushed(0);
        return 0;
    });
    EXPECT_EQ(r.out, std::string("xa\0b\n\0", 6));
}

TEST(Console, ReadLine) {
    auto lines = [](const std::string &input, int calls) {
        return zt::run_child(
                   [calls] {
                       for (int i = 0; i < calls; ++i) show(zel_read_line());
                       return 0;
                   },
                   input)
            .out;
    };
    EXPECT_EQ(lines("first\nlast", 4), "[5:first][4:last][7:__EOF__][7:__EOF__]");
    EXPECT_EQ(lines("\n\nx\n", 4), "[0:][0:][1:x][7:__EOF__]");
    EXPECT_EQ(lines("", 1), "[7:__EOF__]");
    EXPECT_EQ(lines("win\r\nmac\rend\r\r", 3), "[3:win][7:mac\rend][7:__EOF__]");
    EXPECT_EQ(lines("\r\n", 2), "[0:][7:__EOF__]");
    EXPECT_EQ(lines(std::string("ab\0cd\nnext\n", 11), 2), "[2:ab][4:next]");

    // Longer lines arrive in pieces of 4095 bytes.
    std::string line(5000, 'z');
    line[0] = 'A';
    line[4094] = 'B';
    line[4095] = 'C';
    std::string out = lines(line + "\nafter\n", 4);
    EXPECT_EQ(out, "[4095:" + line.substr(0, 4095) + "][905:" + line.substr(4095) + "][5:after][7:__EOF__]");

    // A prompt without a newline is visible before the read.
    auto r = zt::run_child(
        [] {
            printf("prompt> ");
            ZelString *s = zel_read_line();
            fwrite(s->data, 1, (size_t)s->len, stderr);
            zel_string_free(s);
            zt::exit_unflushed(0);
            return 0;
        },
        "answer\n");
    EXPECT_EQ(r.out, "prompt> ");
    EXPECT_EQ(r.err, "answer");
}

TEST(Console, ReadBytes) {
    auto run = [](const std::string &input, std::function<void()> body) {
        return zt::run_child(
                   [&body] {
                       body();
                       return 0;
                   },
                   input)
            .out;
    };
    EXPECT_EQ(run("abcd", [] { show(zel_read_bytes(10)); }), "[4:abcd]");
    EXPECT_EQ(run("abcdef\n", [] { show(zel_read_bytes(3)); show(zel_read_line()); }), "[3:abc][3:def]");
    EXPECT_EQ(run(std::string("a\0b\0", 4), [] { show(zel_read_bytes(4)); }), std::string("[4:a\0b\0]", 8));
    EXPECT_EQ(run("", [] { show(zel_read_bytes(5)); show(zel_read_bytes(5)); }), "[0:][0:]");
    // Nothing is read for a count of zero or less.
    EXPECT_EQ(run("rest\n", [] { show(zel_read_bytes(0)); show(zel_read_bytes(-5)); show(zel_read_line()); }),
              "[0:][0:][4:rest]");

    // Large requests, exact and far beyond what input holds.
    std::string big(300000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = (char)(i * 7 + i / 251);
    EXPECT_EQ(run(big, [] { show(zel_read_bytes(300000)); }), "[300000:" + big + "]");
    EXPECT_EQ(run(big + "tail", [] { show(zel_read_bytes(200001)); show(zel_read_bytes(INT64_MAX)); }),
              "[200001:" + big.substr(0, 200001) + "][" + std::to_string(big.size() - 200001 + 4) + ":" +
                  big.substr(200001) + "tail]");

    // Reading flushes a pending prompt; a count of zero does not.
    auto flushed = zt::run_child(
        [] {
            printf("p1 ");
            ZelString *a = zel_read_bytes(0);
            printf("p2 ");
            ZelString *b = zel_read_bytes(2);
            zel_string_free(a);
            zel_string_free(b);
            zt::exit_unflushed(0);
            return 0;
        },
        "xy");
    EXPECT_EQ(flushed.out, "p1 p2 ");
    auto unflushed = zt::run_child(
        [] {
            printf("p1 ");
            zel_string_free(zel_read_bytes(-1));
            zt::exit_unflushed(0);
            return 0;
        },
        "xy");
    EXPECT_EQ(unflushed.out, "");
}

TEST(Console, ReadNumbers) {
    auto r = zt::run_child(
        [] {
            printf("%ld ", (long)zel_read_int());
            show(zel_read_line());
            printf(" %ld ", (long)read_int());
            show(zel_read_line());
            printf(" %.3f ", zel_read_f64());
            printf("%.3f ", zel_read_f64());
            // A token that is not a number stays unread and gives 0.
            printf("%ld ", (long)zel_read_int());
            show(zel_read_line());
            printf(" %.1f", zel_read_f64());
            printf(" %ld", (long)zel_read_int());
            return 0;
        },
        "  42 rest of line\n-7\n2.5 -1e3\nabc\n");
    EXPECT_EQ(r.out, "42 [13: rest of line] -7 [0:] 2.500 -1000.000 0 [3:abc] 0.0 0");
}

TEST(Console, AliasesShareTheirTarget) {
    void *lib = dlopen(ZEL_LIB_PATH, RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(lib, nullptr);
    const std::pair<const char *, const char *> aliases[] = {
        {"print", "zel_print_i64"},     {"println", "zel_println_i64"},
        {"print_f64", "zel_print_f64"}, {"println_f64", "zel_println_f64"},
        {"puts_cstr", "zel_puts_cstr"}, {"read_int", "zel_read_int"},
    };
    for (auto [alias, target] : aliases) {
        void *a = dlsym(lib, alias);
        ASSERT_NE(a, nullptr) << alias;
        EXPECT_EQ(a, dlsym(lib, target)) << alias;
    }
    EXPECT_NE(dlsym(lib, "print_str"), dlsym(lib, "zel_print_str"));
    EXPECT_NE(dlsym(lib, "println_str"), dlsym(lib, "zel_println_str"));
    dlclose(lib);
}

}  // namespace

namespace {

// A child that exits before reading its input must not take the test program
// down with SIGPIPE: the feed simply ends.
TEST(Console, HarnessSurvivesUnreadInput) {
    for (int round = 0; round < 3; ++round) {
        auto r = zt::run_child([] { return 7; }, std::string(1 << 20, 'x'));
        EXPECT_EQ(r.status, 7);
    }
}

}  // namespace
