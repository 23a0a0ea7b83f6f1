/* A host program: asks questions about a JSON document given on the command
 * line, inside an FFI boundary so that a failure would come back here.
 *   ./build/examples/json_host '{"name":"ZEL","tags":["a","b"]}' name tags */
#include <stdio.h>
#include <zel.h>

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s JSON [KEY...]\n", argv[0]);
        return 2;
    }
    ZelString *doc = zel_ffi_cstr_to_string(argv[1]);
    int status = 0;
    if (ZEL_FFI_TRY()) {
        fprintf(stderr, "failed: %s\n", zel_ffi_error_message());
        status = 1;
    } else {
        ZelString *type = zel_json_type(doc);
        printf("valid: %ld, type: %s\n", (long)zel_json_validate(doc), zel_ffi_string_data(type));
        zel_string_free(type);
        for (int i = 2; i < argc; ++i) {
            ZelString *key = zel_ffi_cstr_to_string(argv[i]);
            ZelString *value = zel_json_get(doc, key);
            printf("%s: %s\n", argv[i], zel_json_has_key(doc, key) ? zel_ffi_string_data(value) : "(absent)");
            zel_string_free(value);
            zel_ffi_free_string(key);
        }
    }
    zel_ffi_end();
    zel_ffi_free_string(doc);
    return status;
}
