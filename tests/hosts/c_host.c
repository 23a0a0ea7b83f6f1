/* A C host with its own main, linked with -lzel: its main must be the one that runs. */
#include <stdio.h>
#include <zel.h>

int main(int argc, char **argv) {
    (void)argv;
    ZelString *doc = zel_ffi_cstr_to_string("{\"name\":\"ZEL\",\"n\":[1,2]}");
    ZelString *key = zel_ffi_cstr_to_string("n");
    printf("host main, %d argument(s)\n", argc - 1);
    printf("valid=%ld\n", (long)zel_json_validate(doc));
    ZelString *v = zel_json_get(doc, key);
    printf("n=%s len=%ld\n", zel_ffi_string_data(v), (long)zel_ffi_string_len(v));
    zel_string_free(v);

    ZelString *bad = zel_ffi_cstr_to_string("boom");
    volatile int failed = 0;
    if (ZEL_FFI_TRY()) {
        failed = 1;
    } else {
        zel_panic(bad);
        puts("not reached");
    }
    printf("failed=%d error=%d message=%s\n", failed, zel_ffi_has_error(), zel_ffi_error_message());
    zel_ffi_end();
    zel_ffi_free_string(bad);
    zel_ffi_free_string(doc);
    zel_ffi_free_string(key);
    return 0;
}
