/* System services: files and directories, shell commands, the environment and
 * working directory, monotonic clocks, sleeping and random numbers.
 *
 * Paths, commands and names are ZelString records whose data is read as
 * NUL-terminated text (a NUL before len ends it), except where a parameter is
 * a plain `const char *`. String results are new records owned by the caller
 * (release with zel_string_free) and never NULL: a fresh empty string stands
 * for failure. Nothing is logged; errno is left as the failing call set it. */
#ifndef ZEL_SYSTEM_H
#define ZEL_SYSTEM_H

#include "core.h"

ZEL_EXTERN_C_BEGIN

/* ---- files and directories ---- */

/* The whole file, read to its end, as a string of its text up to the first NUL
 * (len == cap). The bytes are a malloc'd buffer handed over without a copy, also
 * in arena mode, where it then stays allocated until the process ends. Pipes,
 * FIFOs and terminals are read to their end. Empty string if NULL or unreadable. */
ZelString *zel_read_file(const ZelString *path);
/* Creates or truncates the file and writes content's len bytes (NULs included).
 * 0 when every byte reached the file (close included); -1 on NULL or any failure. */
int64_t zel_write_file(const ZelString *path, const ZelString *content);
/* As zel_write_file, with every 0x1F byte of content written as a line feed. */
int64_t zel_write_file_newlines(const ZelString *path, const ZelString *content);
/* Appends data up to its NUL, creating the file if absent. 0 when every byte
 * was written; -1 on a NULL argument or any failure. */
int64_t zel_append_file(const char *path, const char *data);
/* Size in bytes as seeking to the end reports it; a stream that cannot seek (a
 * pipe, a FIFO) is read to its end and counted. -1 if NULL or it cannot be opened. */
int64_t zel_file_size(const char *path);
/* 1 if stat succeeds on the path (links followed), else 0; 0 for NULL. */
int64_t zel_file_exists(const ZelString *path);
/* As zel_file_exists for a NUL-terminated path. */
int64_t zel_file_exists_cstr(const char *path);
/* 1 if the path names a directory (links followed), else 0; 0 for NULL. */
int64_t zel_is_dir(const ZelString *path);
/* Removes a file or an empty directory: 0 on success, -1 on failure or NULL. */
int64_t zel_delete_file(const ZelString *path);
/* Same as zel_delete_file. */
int64_t zel_remove_file(const ZelString *path);
/* Removes an empty directory: 0 on success, -1 on failure or NULL. */
int64_t zel_rmdir(const ZelString *path);
/* Creates the path and every missing parent (both '/' and '\' separate names),
 * mode 0755 less the umask. 0 if a directory stands at the path afterwards
 * (an existing one included); -1 otherwise, for NULL or for an empty path. */
int64_t zel_mkdir(const ZelString *path);
/* Entry names in system order, "." and ".." left out, separated by single line
 * feeds with none after the last. Empty string for an empty directory and on
 * any failure alike. */
ZelString *zel_readdir(const ZelString *path);

/* ---- shell commands, environment, working directory ----
 * Commands and their arguments go to the shell exactly as written: callers
 * must quote untrusted text themselves. */

/* Runs command through the shell; the wait status undecoded (exit code 3
 * gives 768), -1 if no shell could be started or for NULL. */
int64_t zel_system(const ZelString *command);
/* Everything command writes to standard output, byte for byte; its exit status
 * is discarded. Heap mode: the collecting buffer is handed over (cap is its
 * size, 4096 or a doubling of it, above len); arena mode: an arena copy with
 * cap == len. Empty string for NULL or when the pipe cannot be opened. */
ZelString *zel_system_capture(const ZelString *command);
/* Captures "command args 2>&1" (just "command 2>&1" when args is NULL or
 * empty): standard output and standard error interleaved. Empty string for NULL. */
ZelString *zel_exec_output(const ZelString *command, const ZelString *args);
/* A copy of the variable's value; empty string if it is unset or name is NULL
 * (an unset variable and an empty one look alike). */
ZelString *zel_getenv(const ZelString *name);
/* The absolute path of the working directory; empty string when it cannot be
 * determined (removed, or 4096 bytes and longer). */
ZelString *zel_getcwd(void);

/* ---- clocks, sleep, random numbers ---- */

/* Monotonic time in nanoseconds from an unspecified start; only differences mean anything. */
int64_t zel_time_ns(void);
/* zel_time_ns() / 1000000, truncated. */
int64_t zel_time_ms(void);
/* Suspends the calling thread for ms milliseconds: 0, or -1 if interrupted by a
 * signal. A negative duration does not sleep and returns -1. */
int32_t zel_sleep_ms(int32_t ms);
/* The next value of this thread's generator, 0 to 2^63 - 1; a thread's first
 * draw without a seed seeds it from the clock. */
int64_t zel_random_i64(void);
/* Seeds this thread's generator (0 counts as 1); equal seeds give equal sequences. */
void zel_random_seed(int64_t seed);

#ifndef ZEL_NO_SHORT_NAMES
/* read_file, write_file and write_file_newlines: same as their zel_ names. */
ZelString *read_file(const ZelString *path);
int64_t write_file(const ZelString *path, const ZelString *content);
int64_t write_file_newlines(const ZelString *path, const ZelString *content);
/* Differs from zel_file_exists: path and its data must not be NULL (no check). */
int64_t file_exists(const ZelString *path);
/* Same as zel_file_exists_cstr. */
int64_t file_exists_cstr(const char *path);
/* Differs from zel_file_size: takes a record, which must not be NULL (no check). */
int64_t file_size(const ZelString *path);
/* delete_file, remove_file and is_dir: same as zel_delete_file, zel_remove_file and
 * zel_is_dir; make_dir, list_dir and remove_dir: same as zel_mkdir, zel_readdir and zel_rmdir. */
int64_t delete_file(const ZelString *path);
int64_t remove_file(const ZelString *path);
int64_t is_dir(const ZelString *path);
int64_t make_dir(const ZelString *path);
ZelString *list_dir(const ZelString *path);
int64_t remove_dir(const ZelString *path);

/* system_capture and exec_output: same as their zel_ names; current_dir: same as zel_getcwd. */
ZelString *system_capture(const ZelString *command);
ZelString *exec_output(const ZelString *command, const ZelString *args);
ZelString *current_dir(void);

/* time_ns and now_ns: same as zel_time_ns; time_ms and now_ms: same as zel_time_ms. */
int64_t time_ns(void);
int64_t now_ns(void);
int64_t time_ms(void);
int64_t now_ms(void);
/* Differs from zel_sleep_ms: always returns 0. */
int64_t sleep_ms(int32_t ms);
#endif

ZEL_EXTERN_C_END

#endif
