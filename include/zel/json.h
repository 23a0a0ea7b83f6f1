/* JSON toolkit: host functions, the tape building blocks used by compiled code,
 * and the literal pool. */
#ifndef ZEL_JSON_H
#define ZEL_JSON_H

#include "core.h"
#include "collections.h"

ZEL_EXTERN_C_BEGIN

/* ---- host functions: every string result is a new record the caller owns ----
 * (core.h says how it is released), the empty string that means "not found" too.
 * Each call reads doc afresh, as its len bytes: a NULL record, NULL data or len <= 0
 * is the empty document. Nothing fails and nothing is kept between calls; any
 * number of threads may call at once. The reader is lenient and looks only at the
 * root and its direct children: a value is judged by its first byte (literals by
 * their first letter: "txyz" is true), numbers are integers that stop at '.' or 'e'
 * and wrap past 64 bits, any byte but a comma after a value closes its container
 * (in {"n":1.5,"b":true} the '.' ends the object, so b is never found), and a
 * container inside 1024 open ones reads as null. Keys match raw: a member matches when the bytes between
 * its quotes (escapes undecoded) equal key's len bytes; the first match in document
 * order decides, even when its value is of another kind. A NULL key, or one with a
 * negative len, matches nothing. */

/* 1 when doc's first value, followed by white space only, ends exactly at doc's end;
 * else 0, also for the empty document. "[1,2" and "-" pass, "1.5" and "x" do not. */
int64_t zel_json_validate(const ZelString *doc);
/* A new string: doc's first value as compact JSON (white space dropped, numbers as read,
 * strings decoded and escaped again, keys as raw bytes escaped); "null" when no value. */
ZelString *zel_json_stringify(const ZelString *doc);
/* A new string naming the root's kind: "null", "bool", "number", "string", "array" or
 * "object" ("null" for an empty or unrecognised document). */
ZelString *zel_json_type(const ZelString *doc);
/* A new string: the compact JSON text of the matching member's value (a string with its
 * quotes); the empty string when the root is not an object or no key matches. */
ZelString *zel_json_get(const ZelString *doc, const ZelString *key);
/* A new string: the matching member's string value decoded, without quotes (\n, \r, \t
 * decoded; \u0041 gives "u0041"); the empty string when absent or not a string. */
ZelString *zel_json_get_string(const ZelString *doc, const ZelString *key);
/* The matching member's number (the integer part as read: 1.9 gives 1); 0 when absent or
 * not a number (zel_json_has_key tells a stored 0 apart). */
int64_t zel_json_get_number(const ZelString *doc, const ZelString *key);
/* 1 when the matching member's value is true, 0 when false; -1 when absent or not a bool. */
int64_t zel_json_get_bool(const ZelString *doc, const ZelString *key);
/* 1 when the root is an object with a matching member, whatever its value; else 0. */
int64_t zel_json_has_key(const ZelString *doc, const ZelString *key);
/* The number of elements of the root array (no width limit); -1 when the root is not
 * an array. */
int64_t zel_json_array_len(const ZelString *doc);
/* A new string: the compact JSON text of element index of the root array; the empty
 * string for an index outside [0, length) or a root that is not an array. */
ZelString *zel_json_array_get(const ZelString *doc, int32_t index);
/* The number of members of the root object; -1 when the root is not an object. */
int64_t zel_json_object_len(const ZelString *doc);
/* Values at the top two levels: 2 * members + 1 for a root object, elements + 1 for a
 * root array, 1 for anything else (the empty document too). */
int64_t zel_json_count(const ZelString *doc);

/* ---- tape building blocks ----
 * Parse functions return node * 1000000 + position. Nodes: null [0],
 * bool [1,v], number [2,v], string [3,start,end], array [4,count,64 slots],
 * object [5,count,32 x (key start, key end, value node)].
 * The tape is a ZelVec the caller makes and frees (a NULL tape parses into a scratch
 * tape and only the position is reported); documents are read as for the host
 * functions, and positions below 0 read as 0. A document over 999995 bytes parses
 * as one null, and a container past 64 elements or 32 members ends at position
 * 999999: both fail validation, and no write leaves a node's slots. */

/* Parses the value starting exactly at pos (no white space skipped) onto tape. An
 * unrecognised byte, or pos at the end, appends a null and consumes nothing. */
int64_t pval(ZelVec *tape, const ZelString *doc, int64_t pos);
/* Parses the array whose '[' is taken to be at pos (the byte is not tested). */
int64_t parr(ZelVec *tape, const ZelString *doc, int64_t pos);
/* Fills array node `node` with the elements from pos on, as after its '['; returns
 * node * 1000000 + position, or position 999999 when node does not own 66 slots. */
int64_t parr_elems(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node);
/* Parses the object whose '{' is taken to be at pos (the byte is not tested). */
int64_t pobj(ZelVec *tape, const ZelString *doc, int64_t pos);
/* Fills object node `node` with the members from the key quote at pos on; returns
 * node * 1000000 + position, or position 999999 when node does not own 98 slots. */
int64_t pobj_ms(ZelVec *tape, const ZelString *doc, int64_t pos, int64_t node);
/* The first position at or after pos whose byte is not space, tab, LF or CR; the length
 * when only those follow; pos itself at or past the end. */
int64_t wskip(const ZelString *doc, int64_t pos);
/* The end of string content from pos: the next unescaped '"', or where the scan left
 * doc (len, or len + 1 after a final backslash); pos itself at or past the end. */
int64_t fq(const ZelString *doc, int64_t pos);
/* The first position at or after pos whose byte is not an ASCII digit; the length when
 * only digits follow; pos itself at or past the end. */
int64_t sdig(const ZelString *doc, int64_t pos);
/* acc followed by doc[start, end) taken as decimal digits (not tested), wrapping:
 * acc * 10^(end - start) + their value; end is cut to doc's end; acc when start >= end. */
int64_t pint(const ZelString *doc, int64_t start, int64_t end, int64_t acc);
/* Appends count zeroed slots and returns the first one's index (the old length); nothing
 * for count <= 0; 0 for a NULL tape. */
int64_t dalloc(ZelVec *tape, int64_t count);
/* The value node of the first of members from..count-1 (count capped at 32) of object node
 * obj whose raw key bytes equal key; -1 when none does, key is NULL or obj is no node. */
int64_t jobj_find(const ZelVec *tape, int64_t obj, const ZelString *key, const ZelString *doc,
                  int64_t from, int64_t count);
/* A new string: acc followed by s decoded from pos (\n \r \t as LF CR TAB, a backslash
 * before any other byte gives that byte, NULs drop out); acc itself, which may be a
 * shared literal, when pos is at or past the end. A NULL acc loses the first piece. */
ZelString *unescape(const ZelString *s, int64_t pos, ZelString *acc);
/* A new string: acc followed by s from pos with TAB, LF, CR, '"' and '\' escaped and NULs
 * dropped (nothing else is escaped); acc itself at or past the end, as for unescape. */
ZelString *escape(const ZelString *s, int64_t pos, ZelString *acc);
/* The decimal text of value: a new string, but the shared literal "0" (zel_str_7) for 0. */
ZelString *int_to_str(int64_t value);
/* The compact JSON text of the node: a new string, or the shared literal for true, false,
 * null, [] and {} (never release those). A node that is not on the tape reads as null. */
ZelString *jstringify(const ZelVec *tape, int64_t node, const ZelString *doc);
/* Elements i..count-1 (count capped at 64) of array node `node` as compact JSON joined by
 * commas, with a leading one when i > 0: a new string; the shared "" when i >= count. */
ZelString *sarr_es(const ZelVec *tape, int64_t node, const ZelString *doc, int64_t i, int64_t count);
/* As sarr_es for members i..count-1 (count capped at 32) of object node `node`, each
 * written as "key":value with its raw key escaped. */
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
