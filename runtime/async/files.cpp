// Asynchronous file handles: buffered streams used with plain blocking calls at
// the moment of the call. The non-blocking names are the same operations.
#include <errno.h>
#include <fcntl.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "../core/internal.h"

static_assert(sizeof(ZelAsyncFile) == 24, "ZelAsyncFile layout");
static_assert(offsetof(ZelAsyncFile, stream) == 0, "ZelAsyncFile layout");
static_assert(offsetof(ZelAsyncFile, path) == 8, "ZelAsyncFile layout");
static_assert(offsetof(ZelAsyncFile, open) == 16, "ZelAsyncFile layout");

namespace zel {
namespace {

// Read-write, then read-only, then a new file. An existing file that can be
// opened neither way is opened write-only without truncating it: creating with
// "w+" there would destroy contents that nobody asked to replace. A stream
// that could not be had for lack of memory ends the attempt: the next mode
// would hand out a read-only file whose writes vanish.
FILE *open_stream(const char *path) {
    FILE *f = fopen(path, "r+");
    if (f == nullptr && errno != ENOMEM) f = fopen(path, "r");
    if (f == nullptr && errno != ENOMEM) f = fopen(path, "w+x");
    if (f == nullptr && errno == EEXIST) {
        int fd = open(path, O_WRONLY);
        if (fd >= 0) {
            f = fdopen(fd, "w");
            if (f == nullptr) {
                int saved = errno;
                close(fd);
                errno = saved;
            }
        }
    }
    return f;
}

}  // namespace
}  // namespace zel

ZEL_EXPORT ZelAsyncFile *zel_async_file_open(const char *path) {
    if (path == nullptr) return nullptr;
    auto *file = static_cast<ZelAsyncFile *>(malloc(sizeof(ZelAsyncFile)));
    if (file == nullptr) return nullptr;
    file->path = strdup(path);
    file->stream = file->path != nullptr ? zel::open_stream(path) : nullptr;
    if (file->stream == nullptr) {
        free(file->path);
        free(file);
        return nullptr;
    }
    file->open = 1;
    return file;
}

ZEL_EXPORT char *zel_async_file_read(ZelAsyncFile *file) {
    if (file == nullptr || !file->open || file->stream == nullptr) return nullptr;
    FILE *f = file->stream;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    if (size < 0) return nullptr;
    fseek(f, 0, SEEK_SET);
    auto *buf = static_cast<char *>(malloc(static_cast<size_t>(size) + 1));
    if (buf == nullptr) return nullptr;
    size_t n = fread(buf, 1, static_cast<size_t>(size), f);
    buf[n] = '\0';
    return buf;
}

ZEL_EXPORT void zel_async_file_write(ZelAsyncFile *file, const char *text) {
    if (file == nullptr || text == nullptr || !file->open || file->stream == nullptr) return;
    FILE *f = file->stream;
    fseek(f, 0, SEEK_SET);
    fwrite(text, 1, strlen(text), f);
    fflush(f);
}

ZEL_EXPORT void zel_async_file_close(ZelAsyncFile *file) {
    if (file == nullptr) return;
    if (file->stream != nullptr) fclose(file->stream);
    free(file->path);
    free(file);
}

ZEL_EXPORT char *zel_nb_file_read(ZelAsyncFile *file) ZEL_ALIAS_OF(zel_async_file_read);
ZEL_EXPORT void zel_nb_file_write(ZelAsyncFile *file, const char *text) ZEL_ALIAS_OF(zel_async_file_write);
