// The program run when the library is started on its own: a short tour of the
// host functions on sample documents, one result per line.
#include "../runtime/core/internal.h"

// Results stay in the arena, which the process entry releases as a whole.
ZEL_EXPORT int64_t zel_user_main(void) {
    zel_println_i64(zel_json_validate(&zel_str_28));
    zel_println_i64(zel_json_validate(&zel_str_29));
    zel_println_str(zel_json_stringify(&zel_str_28));
    zel_println_str(zel_json_type(&zel_str_30));
    zel_println_str(zel_json_get(&zel_str_28, &zel_str_31));
    zel_println_str(zel_json_get_string(&zel_str_32, &zel_str_31));
    zel_println_i64(zel_json_get_number(&zel_str_33, &zel_str_34));
    zel_println_i64(zel_json_array_len(&zel_str_35));
    zel_println_str(zel_json_array_get(&zel_str_36, 1));
    return 0;
}
