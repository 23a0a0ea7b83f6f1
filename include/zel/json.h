/* JSON toolkit: host functions, the tape building blocks used by compiled code,
 * and the literal pool. */
#ifndef ZEL_JSON_H
#define ZEL_JSON_H

#include "core.h"
#include "collections.h"

ZEL_EXTERN_C_BEGIN

/* ---- host functions: every string result is a new record the caller owns ---- */
int64_t zel_json_validate(const ZelString *doc);
ZelString *zel_json_stringify(const ZelString *doc);
ZelString *zel_json_type(const ZelString *doc);
ZelString *zel_json_get(const ZelString *doc, const ZelString *key);
ZelString *zel_json_get_string(const ZelString *doc, const ZelString *key);
int64_t zel_json_get_number(const ZelString *doc, const ZelString *key);
int64_t zel_json_get_bool(const ZelString *doc, const ZelString *key);
int64_t zel_json_has_key(const ZelString *doc, const ZelString *key);
int64_t zel_json_array_len(const ZelString *doc);
ZelString *zel_json_array_get(const ZelString *doc, int32_t index);
int64_t zel_json_object_len(const ZelString *doc);
int64_t zel_json_count(const ZelString *doc);

/* ---- tape building blocks ----
 * Parse functions return node * 1000000 + position. Nodes: null [0],
 * bool [1,v], number [2,v], string [3,start,end], array [4,count,64 slots],
 * object [5,count,32 x (key start, key end, value node)]. */
int64_t pval(ZelVec *tape, const ZelString *doc, int64_t pos);
int64_t parr(ZelVec *tape, const ZelString *doc, int64_t pos);
int64_t parr_elems(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node);
int64_t pobj(ZelVec *tape, const ZelString *doc, int64_t pos);
int64_t pobj_ms(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node);
int64_t wskip(const ZelString *doc, int64_t pos);
int64_t fq(const ZelString *doc, int64_t pos);
int64_t sdig(const ZelString *doc, int64_t pos);
int64_t pint(const ZelString *doc, int64_t start, int64_t end, int64_t acc);
int64_t dalloc(ZelVec *tape, int64_t count);
int64_t jobj_find(const ZelVec *tape, int64_t obj, const ZelString *key, const ZelString *doc,
                  int64_t from, int64_t count);
/* May return acc itself or a shared literal record: never release those. */
ZelString *unescape(const ZelString *s, int64_t pos, ZelString *acc);
ZelString *escape(const ZelString *s, int64_t pos, ZelString *acc);
ZelString *int_to_str(int64_t value);
ZelString *jstringify(const ZelVec *tape, int64_t node, const ZelString *doc);
ZelString *sarr_es(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count);
ZelString *sobj_ms(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count);

/* ---- literal pool (static records, cap = len + 1, never released) ---- */
#define ZEL_LITERAL(n) extern const ZelString zel_str_##n; extern const char str_data_##n[];
ZEL_LITERAL(0) ZEL_LITERAL(1) ZEL_LITERAL(2) ZEL_LITERAL(3) ZEL_LITERAL(4) ZEL_LITERAL(5)
ZEL_LITERAL(6) ZEL_LITERAL(7) ZEL_LITERAL(8) ZEL_LITERAL(9) ZEL_LITERAL(10) ZEL_LITERAL(11)
ZEL_LITERAL(12) ZEL_LITERAL(13) ZEL_LITERAL(14) ZEL_LITERAL(15) ZEL_LITERAL(16) ZEL_LITERAL(17)
ZEL_LITERAL(18) ZEL_LITERAL(19) ZEL_LITERAL(20) ZEL_LITERAL(21) ZEL_LITERAL(22) ZEL_LITERAL(23)
ZEL_LITERAL(24) ZEL_LITERAL(25) ZEL_LITERAL(26) ZEL_LITERAL(27) ZEL_LITERAL(28) ZEL_LITERAL(29)
ZEL_LITERAL(30) ZEL_LITERAL(31) ZEL_LITERAL(32) ZEL_LITERAL(33) ZEL_LITERAL(34) ZEL_LITERAL(35)
ZEL_LITERAL(36)
#undef ZEL_LITERAL

ZEL_EXTERN_C_END

#endif
