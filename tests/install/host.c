/* The smallest user of an installed library: one JSON answer and the version of the package it was built against. */
#include <stdio.h>
#include <zel.h>

int main(void) {
    ZelString *doc = zel_ffi_cstr_to_string("{\"name\":\"ZEL\",\"tags\":[1,2,3]}");
    ZelString *key = zel_ffi_cstr_to_string("tags");
    ZelString *tags = zel_json_get(doc, key);
    printf("valid %ld, tags %s, count %ld\n", (long)zel_json_validate(doc), zel_ffi_string_data(tags),
           (long)zel_json_count(tags));
    zel_string_free(tags);
    zel_ffi_free_string(key);
    zel_ffi_free_string(doc);
    return 0;
}
