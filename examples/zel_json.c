/* zel-json FILE KEY...: reads a JSON document and prints the value each KEY
 * names, one line each, as JSON text. A KEY is a path of member names and array
 * indices joined by dots ("user.tags.0"); "." alone names the whole document.
 * Exit status: 0, or 1 when the document is not valid JSON, 2 when the file
 * cannot be read, 3 when a KEY names nothing (the others are still printed).
 *   ./build/examples/zel-json examples/sample.json name user.tags.1 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zel.h>

/* The value a path names inside doc, as a new string; NULL when it names nothing. */
static ZelString *lookup(ZelString *doc, const char *path) {
    ZelString *cur = zel_string_repeat(doc, 1);
    if (strcmp(path, ".") == 0) return cur;
    char *copy = strdup(path);
    for (char *step = strtok(copy, "."); step != NULL && cur != NULL; step = strtok(NULL, ".")) {
        ZelString *type = zel_json_type(cur), *next = NULL;
        char *end;
        long index = strtol(step, &end, 10);
        if (strcmp(zel_ffi_string_data(type), "array") == 0 && *end == '\0' && index >= 0 &&
            index < zel_json_array_len(cur)) {
            next = zel_json_array_get(cur, (int32_t)index);
        } else if (strcmp(zel_ffi_string_data(type), "object") == 0) {
            ZelString *key = zel_string_from_cstr(step);
            if (zel_json_has_key(cur, key)) next = zel_json_get(cur, key);
            zel_string_free(key);
        }
        zel_string_free(type);
        zel_string_free(cur);
        cur = next;
    }
    free(copy);
    return cur;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s FILE KEY...\n", argv[0]);
        return 2;
    }
    ZelString *path = zel_string_from_cstr(argv[1]);
    if (!zel_file_exists(path)) {
        fprintf(stderr, "%s: cannot read the file\n", argv[1]);
        return 2;
    }
    ZelString *doc = zel_read_file(path);
    zel_string_free(path);
    if (!zel_json_validate(doc)) {
        fprintf(stderr, "%s: not valid JSON\n", argv[1]);
        zel_string_free(doc);
        return 1;
    }
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        ZelString *value = lookup(doc, argv[i]);
        if (value == NULL) {
            printf("%s: (absent)\n", argv[i]);
            status = 3;
            continue;
        }
        ZelString *text = zel_json_stringify(value);
        printf("%s: %s\n", argv[i], zel_ffi_string_data(text));
        zel_string_free(text);
        zel_string_free(value);
    }
    zel_string_free(doc);
    return status;
}
