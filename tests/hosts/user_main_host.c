/* A program without main of its own: the library's weak main runs this
 * zel_user_main, and the exit status is the low bits of its result. */
#include <stdio.h>
#include <stdlib.h>
#include <zel.h>

static void after_main(void) {
    printf("after: enabled=%d usage=%llu\n", (int)g_arena_enabled, (unsigned long long)zel_arena_usage());
}

int64_t zel_user_main(void) {
    atexit(after_main);
    ZelString *arg0 = zel_get_arg(0);
    ZelString *last = zel_get_arg(zel_arg_count() - 1);
    printf("args=%ld first_is_program=%d last=%s enabled=%d usage=%llu\n", (long)zel_arg_count(),
           zel_string_len(arg0) > 0, last->data, (int)g_arena_enabled,
           (unsigned long long)zel_arena_usage());
    const char *result = getenv("ZEL_TEST_RESULT");
    return result ? atoll(result) : 0;
}
