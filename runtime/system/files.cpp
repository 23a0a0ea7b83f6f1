// Files and directories: whole-file reading and writing, size and existence
// queries, removal, recursive creation and listing.
//
// Each call opens and closes its own descriptor (close-on-exec, so a command
// started by another thread never inherits it) and works on it with plain
// read and write calls: the open modes are those of "rb", "wb" and "ab", and a
// whole file moves in as few system calls as the kernel allows.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include "io.h"

namespace zel {
namespace {

inline const char *path_of(const ZelString *s) { return s != nullptr ? s->data : nullptr; }

// Fills buf[0..want) from fd, stopping early at end of input or on an error
// (a single read moves at most about 2 GiB).
uint64_t read_up_to(int fd, char *buf, uint64_t want) {
    uint64_t got = 0;
    while (got < want) {
        ssize_t r = read_retry(fd, buf + got, want - got);
        if (r <= 0) break;
        got += static_cast<uint64_t>(r);
    }
    return got;
}

bool write_all(int fd, const char *p, uint64_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<uint64_t>(w);
    }
    return true;
}

// A deferred write error (a full disk, a network file system) may only
// surface at close; it is a failed write like any other.
bool close_ok(int fd) { return close(fd) == 0 || errno == EINTR; }

// The number of bytes a read from the start will deliver, as seeking to the
// end reports it, or -1 when only reading to the end can tell: pipes, FIFOs,
// sockets and terminals cannot seek, pseudo-files report a size of 0, and a
// directory is left to the read call to refuse.
int64_t seek_size(int fd) {
    struct stat st;
    if (fstat(fd, &st) == 0) {
        if (S_ISREG(st.st_mode) && st.st_size > 0) return st.st_size;
        if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return -1;
    }
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0 || lseek(fd, 0, SEEK_SET) != 0) return -1;
    return end;
}

// Wraps a heap buffer, without copying it, as a string of its text up to the first NUL.
ZelString *hand_over(char *buf, uint64_t got) {
    const void *nul = memchr(buf, 0, got);
    int64_t n = static_cast<int64_t>(nul ? static_cast<const char *>(nul) - buf : static_cast<ptrdiff_t>(got));
    auto *s = static_cast<ZelString *>(zel_alloc(sizeof(ZelString)));
    s->data = buf;
    s->len = n;
    s->cap = n;
    return s;
}

int open_for_write(const char *path, int extra) {
    return open_retry(path, O_WRONLY | O_CREAT | O_CLOEXEC | extra, 0666);
}

bool is_cut(char c) { return c == '/' || c == '\\' || c == '\0'; }

}  // namespace
}  // namespace zel

using zel::path_of;

// ---- reading and writing whole files ----

ZEL_EXPORT ZelString *zel_read_file(const ZelString *path) {
    const char *p = path_of(path);
    if (p == nullptr) return zel::fresh_empty();
    int fd = zel::open_retry(p, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return zel::fresh_empty();
    int64_t size = zel::seek_size(fd);
    char *buf;
    uint64_t got;
    if (size >= 0) {
        buf = static_cast<char *>(malloc(static_cast<uint64_t>(size) + 1));
        if (buf == nullptr) {
            close(fd);
            return zel::fresh_empty();
        }
        zel::prefer_huge_pages(buf, static_cast<uint64_t>(size));
        got = zel::read_up_to(fd, buf, static_cast<uint64_t>(size));
        buf[got] = '\0';
    } else {
        zel::Collected c;
        if (!zel::collect(fd, c)) {
            close(fd);
            return zel::fresh_empty();
        }
        // Like a file too large for the heap: nothing rather than a silent part.
        if (c.truncated) {
            free(c.data);
            close(fd);
            return zel::fresh_empty();
        }
        got = c.len;
        // The string keeps its buffer for good (for ever in arena mode): no slack.
        char *fitted = static_cast<char *>(realloc(c.data, got + 1));
        buf = fitted ? fitted : c.data;
    }
    close(fd);
    return zel::hand_over(buf, got);
}
ZEL_EXPORT ZelString *read_file(const ZelString *path) ZEL_ALIAS_OF(zel_read_file);

ZEL_EXPORT int64_t zel_write_file(const ZelString *path, const ZelString *content) {
    const char *p = path_of(path);
    if (p == nullptr || content == nullptr || content->data == nullptr || content->len < 0) return -1;
    int fd = zel::open_for_write(p, O_TRUNC);
    if (fd < 0) return -1;
    bool ok = zel::write_all(fd, content->data, static_cast<uint64_t>(content->len));
    ok = zel::close_ok(fd) && ok;
    return ok ? 0 : -1;
}
ZEL_EXPORT int64_t write_file(const ZelString *path, const ZelString *content) ZEL_ALIAS_OF(zel_write_file);

// Translated block by block through a stack buffer: the same bytes as one
// byte at a time, in a few system calls.
ZEL_EXPORT int64_t zel_write_file_newlines(const ZelString *path, const ZelString *content) {
    const char *p = path_of(path);
    if (p == nullptr || content == nullptr || content->data == nullptr || content->len < 0) return -1;
    int fd = zel::open_for_write(p, O_TRUNC);
    if (fd < 0) return -1;
    char block[32768];
    const char *src = content->data;
    uint64_t left = static_cast<uint64_t>(content->len);
    bool ok = true;
    while (ok && left > 0) {
        uint64_t n = left < sizeof block ? left : sizeof block;
        for (uint64_t i = 0; i < n; ++i) block[i] = src[i] == '\x1f' ? '\n' : src[i];
        ok = zel::write_all(fd, block, n);
        src += n;
        left -= n;
    }
    ok = zel::close_ok(fd) && ok;
    return ok ? 0 : -1;
}
ZEL_EXPORT int64_t write_file_newlines(const ZelString *path, const ZelString *content)
    ZEL_ALIAS_OF(zel_write_file_newlines);

ZEL_EXPORT int64_t zel_append_file(const char *path, const char *data) {
    if (path == nullptr || data == nullptr) return -1;
    int fd = zel::open_for_write(path, O_APPEND);
    if (fd < 0) return -1;
    bool ok = zel::write_all(fd, data, strlen(data));
    ok = zel::close_ok(fd) && ok;
    return ok ? 0 : -1;
}

// ---- size and existence ----

ZEL_EXPORT int64_t zel_file_size(const char *path) {
    if (path == nullptr) return -1;
    int fd = zel::open_retry(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    off_t end = lseek(fd, 0, SEEK_END);
    if (end < 0 && errno == ESPIPE) {
        // A stream that cannot seek is measured by reading it to its end.
        char block[16384];
        end = 0;
        for (ssize_t r; (r = zel::read_retry(fd, block, sizeof block)) > 0;) end += r;
    } else if (end < 0) {
        // Opened but not positionable: whatever the position query reports.
        end = lseek(fd, 0, SEEK_CUR);
    }
    close(fd);
    return end;
}

// No null check: callers of the short name guarantee a record with data.
ZEL_EXPORT int64_t file_size(const ZelString *path) { return zel_file_size(path->data); }

ZEL_EXPORT int64_t zel_file_exists_cstr(const char *path) {
    struct stat st;
    return path != nullptr && stat(path, &st) == 0 ? 1 : 0;
}
ZEL_EXPORT int64_t file_exists_cstr(const char *path) ZEL_ALIAS_OF(zel_file_exists_cstr);

ZEL_EXPORT int64_t zel_file_exists(const ZelString *path) { return zel_file_exists_cstr(path_of(path)); }

// No null check: callers of the short name guarantee a record with data.
ZEL_EXPORT int64_t file_exists(const ZelString *path) {
    struct stat st;
    return stat(path->data, &st) == 0 ? 1 : 0;
}

ZEL_EXPORT int64_t zel_is_dir(const ZelString *path) {
    const char *p = path_of(path);
    struct stat st;
    return p != nullptr && stat(p, &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}
ZEL_EXPORT int64_t is_dir(const ZelString *path) ZEL_ALIAS_OF(zel_is_dir);

// ---- removal ----

ZEL_EXPORT int64_t zel_delete_file(const ZelString *path) {
    const char *p = path_of(path);
    return p != nullptr && remove(p) == 0 ? 0 : -1;
}
ZEL_EXPORT int64_t zel_remove_file(const ZelString *path) ZEL_ALIAS_OF(zel_delete_file);
ZEL_EXPORT int64_t delete_file(const ZelString *path) ZEL_ALIAS_OF(zel_delete_file);
ZEL_EXPORT int64_t remove_file(const ZelString *path) ZEL_ALIAS_OF(zel_delete_file);

ZEL_EXPORT int64_t zel_rmdir(const ZelString *path) {
    const char *p = path_of(path);
    return p != nullptr && rmdir(p) == 0 ? 0 : -1;
}
ZEL_EXPORT int64_t remove_dir(const ZelString *path) ZEL_ALIAS_OF(zel_rmdir);

// ---- directories ----

// Creates every prefix that ends before a '/' or '\' (both separate names, so
// paths written either way work) and then the whole path, ignoring each
// result: an existing directory is not an error, and what counts is whether a
// directory stands at the path afterwards. Index 0 is never a cut, so a
// leading separator does not yield an empty name. The work stops at the first
// NUL: every later prefix would name the same text again.
ZEL_EXPORT int64_t zel_mkdir(const ZelString *path) {
    const char *p = path_of(path);
    if (p == nullptr || path->len <= 0) return -1;
    size_t n = zel::text_len(path);
    auto *buf = static_cast<char *>(malloc(n + 1));
    if (buf == nullptr) return -1;
    memcpy(buf, p, n);
    buf[n] = '\0';
    for (size_t i = 1; i <= n; ++i) {
        char c = buf[i];
        if (!zel::is_cut(c)) continue;
        buf[i] = '\0';
        mkdir(buf, 0755);
        buf[i] = c;
    }
    free(buf);
    struct stat st;
    return stat(p, &st) == 0 && S_ISDIR(st.st_mode) ? 0 : -1;
}
ZEL_EXPORT int64_t make_dir(const ZelString *path) ZEL_ALIAS_OF(zel_mkdir);

// Names in the order the system returns them, "." and ".." left out, each
// followed by a line feed in a doubling heap buffer; the last line feed is
// dropped and the listing copied into a runtime string. Any failure, including
// a read error part way, yields a fresh empty string.
ZEL_EXPORT ZelString *zel_readdir(const ZelString *path) {
    const char *p = path_of(path);
    if (p == nullptr) return zel::fresh_empty();
    DIR *dir = opendir(p);
    if (dir == nullptr) return zel::fresh_empty();
    size_t size = 1024, pos = 0;
    auto *buf = static_cast<char *>(malloc(size));
    int err = buf == nullptr ? ENOMEM : 0;
    while (err == 0) {
        errno = 0;
        struct dirent *e = readdir(dir);
        if (e == nullptr) {
            err = errno;
            break;
        }
        const char *name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        size_t n = strlen(name);
        while (err == 0 && pos + n + 1 >= size) {
            auto *grown = static_cast<char *>(realloc(buf, size * 2));
            if (grown == nullptr) err = ENOMEM;
            else buf = grown, size *= 2;
        }
        if (err != 0) break;
        memcpy(buf + pos, name, n);
        pos += n;
        buf[pos++] = '\n';
    }
    closedir(dir);
    if (err != 0) {
        free(buf);
        errno = err;
        return zel::fresh_empty();
    }
    if (pos > 0 && buf[pos - 1] == '\n') --pos;
    ZelString *listing = zel::make_string(buf, static_cast<int64_t>(pos));
    free(buf);
    return listing;
}
ZEL_EXPORT ZelString *list_dir(const ZelString *path) ZEL_ALIAS_OF(zel_readdir);
