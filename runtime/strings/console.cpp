// Console input and output through libc's buffered stdio streams.
//
// The runtime keeps no buffer of its own: every call is one stdio call (or a
// short sequence of them), so output interleaves with anything else the program
// writes through stdio, and each call is atomic under the stream's own lock.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#include "../core/internal.h"

namespace zel {
namespace {

constexpr int kLineBuffer = 4096;
// read_bytes grows its scratch block as input arrives rather than reserving
// the whole request up front, so a generous limit never fails to allocate.
constexpr int64_t kFirstChunk = 64 * 1024;

inline bool absent(const ZelString *s) { return s == nullptr || s->data == nullptr; }

// printf's precision is an int: the low 32 bits of the length. A negative
// length is empty: as a negative precision printf would read on to a NUL
// that the record's bytes need not hold.
inline int precision(const ZelString *s) {
    return s->len > 0 ? static_cast<int>(static_cast<uint32_t>(s->len)) : 0;
}

// A signal handler that interrupts a read of stdin is neither the end of the
// input nor the end of a line: true, with the stream's error cleared, when
// the last call stopped for that reason and reading should go on. Callers
// clear errno first, so that an older error is not taken for this one.
inline bool interrupted() {
    if (!ferror(stdin) || errno != EINTR) return false;
    clearerr(stdin);
    return true;
}

}  // namespace
}  // namespace zel

using zel::absent;
using zel::interrupted;
using zel::precision;

ZEL_EXPORT int32_t zel_print_i64(int64_t x) { return printf("%ld", static_cast<long>(x)); }
ZEL_EXPORT int32_t zel_println_i64(int64_t x) { return printf("%ld\n", static_cast<long>(x)); }
ZEL_EXPORT int32_t zel_print_f64(double x) { return printf("%.9f", x); }
ZEL_EXPORT int32_t zel_println_f64(double x) { return printf("%.9f\n", x); }

ZEL_EXPORT int32_t zel_print_str(const ZelString *s) {
    if (absent(s)) return 0;
    return printf("%.*s", precision(s), s->data);
}

ZEL_EXPORT int32_t zel_println_str(const ZelString *s) {
    if (absent(s)) return printf("\n");
    return printf("%.*s\n", precision(s), s->data);
}

ZEL_EXPORT int32_t print_str(const ZelString *s) {
    if (absent(s)) return 0;
    return printf("%s", s->data);
}

ZEL_EXPORT int32_t println_str(const ZelString *s) {
    if (absent(s)) return puts("");
    return puts(s->data);
}

ZEL_EXPORT int32_t print_char(int64_t c) { return putc(static_cast<unsigned char>(c), stdout); }

ZEL_EXPORT int32_t eprint(int64_t x) { return fprintf(stderr, "%ld", static_cast<long>(x)); }
ZEL_EXPORT int32_t eprintln(int64_t x) { return fprintf(stderr, "%ld\n", static_cast<long>(x)); }
ZEL_EXPORT int32_t eprint_f64(double x) { return fprintf(stderr, "%.9f", x); }
ZEL_EXPORT int32_t eprintln_f64(double x) { return fprintf(stderr, "%.9f\n", x); }

ZEL_EXPORT int32_t eprint_str(const ZelString *s) {
    if (absent(s)) return 0;
    return fputs(s->data, stderr);
}

ZEL_EXPORT int32_t eprintln_str(const ZelString *s) {
    if (absent(s)) return fputs("\n", stderr);
    return fprintf(stderr, "%s\n", s->data);
}

ZEL_EXPORT int32_t zel_write_stdout(const ZelString *s) {
    if (absent(s)) return 0;
    size_t n = s->len > 0 ? static_cast<size_t>(s->len) : 0;
    size_t written = n ? fwrite(s->data, 1, n, stdout) : 0;
    fflush(stdout);
    return static_cast<int32_t>(written);
}

ZEL_EXPORT int32_t zel_puts_cstr(const char *text) {
    puts(text ? text : "");
    return 0;
}

// A failed conversion leaves the token unread; the result is then 0. A wait
// for the number that a signal cut short is resumed (scanf answers EOF then,
// before taking any of the token).
ZEL_EXPORT int64_t zel_read_int(void) {
    long x = 0;
    int r;
    do errno = 0;
    while ((r = scanf("%ld", &x)) == EOF && interrupted());
    return r == 1 ? x : 0;
}

ZEL_EXPORT double zel_read_f64(void) {
    double x = 0.0;
    int r;
    do errno = 0;
    while ((r = scanf("%lf", &x)) == EOF && interrupted());
    return r == 1 ? x : 0.0;
}

// Byte by byte under the stream's lock, where fgets would do: when a signal
// interrupts fgets part way through a line it answers NULL, and the bytes it
// had taken are lost. Here the read resumes, and the text is what fgets would
// have given: at most 4095 bytes, up to and including a line feed.
ZEL_EXPORT ZelString *zel_read_line(void) {
    fflush(stdout);
    char buf[zel::kLineBuffer];
    size_t n = 0;
    bool ended = false;
    flockfile(stdin);
    errno = 0;
    while (n < sizeof buf - 1) {
        int c = getc_unlocked(stdin);
        if (c == EOF) {
            if (interrupted()) {
                errno = 0;
                continue;
            }
            ended = true;
            break;
        }
        buf[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    funlockfile(stdin);
    if (n == 0 && ended) return zel::make_string("__EOF__", 7);
    buf[n] = '\0';
    n = strlen(buf);  // a NUL byte ends the text
    while (n > 0 && (buf[n - 1] == '\n' || buf[n - 1] == '\r')) --n;
    return zel::make_string(buf, static_cast<int64_t>(n));
}

ZEL_EXPORT ZelString *zel_read_bytes(int64_t n) {
    if (n <= 0) return zel::fresh_empty();
    fflush(stdout);
    int64_t room = n < zel::kFirstChunk ? n : zel::kFirstChunk;
    auto *tmp = static_cast<char *>(malloc(static_cast<size_t>(room) + 1));
    if (tmp == nullptr) return zel::fresh_empty();
    int64_t got = 0;
    while (got < n) {
        if (got == room) {
            // Bytes already taken from stdin must not be dropped, so a failed
            // growth is fatal rather than an empty result.
            room = room > n / 2 ? n : room * 2;
            auto *bigger = static_cast<char *>(realloc(tmp, static_cast<size_t>(room) + 1));
            if (bigger == nullptr) zel::out_of_memory();
            tmp = bigger;
        }
        errno = 0;
        size_t want = static_cast<size_t>(room - got);
        size_t r = fread(tmp + got, 1, want, stdin);
        got += static_cast<int64_t>(r);
        if (r < want && !interrupted()) break;  // the end of the input, or an error
    }
    ZelString *s = zel::make_string(tmp, got);
    free(tmp);
    return s;
}

ZEL_EXPORT int32_t print(int64_t x) ZEL_ALIAS_OF(zel_print_i64);
ZEL_EXPORT int32_t println(int64_t x) ZEL_ALIAS_OF(zel_println_i64);
ZEL_EXPORT int32_t print_f64(double x) ZEL_ALIAS_OF(zel_print_f64);
ZEL_EXPORT int32_t println_f64(double x) ZEL_ALIAS_OF(zel_println_f64);
ZEL_EXPORT int32_t puts_cstr(const char *text) ZEL_ALIAS_OF(zel_puts_cstr);
ZEL_EXPORT int64_t read_int(void) ZEL_ALIAS_OF(zel_read_int);
