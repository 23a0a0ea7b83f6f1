// The JSON library's constant strings. The records are static and shared by
// every thread; cap counts the NUL of the static byte block.
#include "../runtime/core/internal.h"

#define ZEL_LITERAL_DEF(n, text)                                   \
    ZEL_EXPORT const char str_data_##n[] = text;                   \
    ZEL_EXPORT const ZelString zel_str_##n = {                     \
        const_cast<char *>(str_data_##n), sizeof(text) - 1, sizeof(text)};

ZEL_LITERAL_DEF(0, "\n")
ZEL_LITERAL_DEF(1, "\t")
ZEL_LITERAL_DEF(2, "\r")
ZEL_LITERAL_DEF(3, "\"")
ZEL_LITERAL_DEF(4, "\\")
ZEL_LITERAL_DEF(5, "")
ZEL_LITERAL_DEF(6, "-")
ZEL_LITERAL_DEF(7, "0")
ZEL_LITERAL_DEF(8, "n")
ZEL_LITERAL_DEF(9, "r")
ZEL_LITERAL_DEF(10, "t")
ZEL_LITERAL_DEF(11, "null")
ZEL_LITERAL_DEF(12, "true")
ZEL_LITERAL_DEF(13, "false")
ZEL_LITERAL_DEF(14, "[]")
ZEL_LITERAL_DEF(15, "[")
ZEL_LITERAL_DEF(16, "]")
ZEL_LITERAL_DEF(17, ",")
ZEL_LITERAL_DEF(18, "{}")
ZEL_LITERAL_DEF(19, "{")
ZEL_LITERAL_DEF(20, "}")
ZEL_LITERAL_DEF(21, ":")
ZEL_LITERAL_DEF(22, "object")
ZEL_LITERAL_DEF(23, "unknown")
ZEL_LITERAL_DEF(24, "array")
ZEL_LITERAL_DEF(25, "string")
ZEL_LITERAL_DEF(26, "number")
ZEL_LITERAL_DEF(27, "bool")
ZEL_LITERAL_DEF(28, "{\"name\":\"ZEL\",\"version\":97}")
ZEL_LITERAL_DEF(29, "invalid")
ZEL_LITERAL_DEF(30, "[1,2,3]")
ZEL_LITERAL_DEF(31, "name")
ZEL_LITERAL_DEF(32, "{\"name\":\"ZEL\"}")
ZEL_LITERAL_DEF(33, "{\"version\":97}")
ZEL_LITERAL_DEF(34, "version")
ZEL_LITERAL_DEF(35, "[1,2,3,4,5]")
ZEL_LITERAL_DEF(36, "[10,20,30]")

#undef ZEL_LITERAL_DEF
