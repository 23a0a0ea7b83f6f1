/* Collections: the integer vector, single-block arrays, the integer hash map,
 * the string hash map, the string map, the string-vector pool and the cached
 * key-value lookup.
 *
 * Memory: records, tables, nodes and listings live on the system heap (arrays
 * and the strings in key listings come from the runtime allocator). Where an
 * operation below names a failure answer (NULL from hashmap_new and
 * str_hashmap_new, the -1 handle, a string hash map carrying on in its old
 * table when it cannot grow) that is what exhausted memory gives; everywhere
 * else (listings, key copies, nodes, string map buckets) the process ends with
 * "[zel] FATAL: out of memory" and status 1. */
#ifndef ZEL_COLLECTIONS_H
#define ZEL_COLLECTIONS_H

#include "core.h"

ZEL_EXTERN_C_BEGIN

/* Growable vector of signed 64-bit values on the system heap. Exhausted heap
 * memory while growing ends the process with one line on stderr and status 1. */
typedef struct ZelVec {
    int64_t capacity;
    int64_t len;
    int64_t *items;
} ZelVec;

/* The caller owns a vector until zel_vec_free; copies and slices are new, independent
 * vectors. No function here tests v for NULL, and get, set and swap do not check their
 * index: keep 0 <= index < len. Capacity only grows, by doubling. One thread at a time. */

/* A new empty vector of capacity 8. */
ZelVec *zel_vec_new(void);
/* A new empty vector of capacity n (1 when n < 2). */
ZelVec *zel_vec_with_capacity(int64_t n);
/* Appends value (doubling the capacity when full); returns v itself. */
ZelVec *zel_vec_push(ZelVec *v, int64_t value);
/* items[index], unchecked. */
int64_t zel_vec_get(const ZelVec *v, int64_t index);
/* Stores value in items[index], unchecked; len stays. */
void zel_vec_set(ZelVec *v, int64_t index, int64_t value);
/* The number of elements. */
int64_t zel_vec_len(const ZelVec *v);
/* The number of slots in the storage. */
int64_t zel_vec_cap(const ZelVec *v);
/* Removes and returns the last element; 0, changing nothing, when empty. */
int64_t zel_vec_pop(ZelVec *v);
/* Sets len to 0, keeping the storage. */
void zel_vec_clear(ZelVec *v);
/* Frees the storage and the record; earlier items pointers die with them. */
void zel_vec_free(ZelVec *v);
/* Reverses the elements in place. */
void zel_vec_reverse(ZelVec *v);
/* 1 when some element equals value, else 0. */
int64_t zel_vec_contains(const ZelVec *v, int64_t value);
/* The index of the first element equal to value; -1 when none is. */
int64_t zel_vec_index_of(const ZelVec *v, int64_t value);
/* Exchanges items[i] and items[j], unchecked. */
void zel_vec_swap(ZelVec *v, int64_t i, int64_t j);
/* Sorts the elements ascending, as signed values. */
void zel_vec_sort(ZelVec *v);
/* Collapses each run of equal neighbours to one element ([1,1,2,1] gives [1,2,1]). */
void zel_vec_dedup(ZelVec *v);
/* Sets every element to value; len stays. */
void zel_vec_fill(ZelVec *v, int64_t value);
/* A new vector of v's elements, of capacity len (8 when v is empty). */
ZelVec *zel_vec_copy(const ZelVec *v);
/* A new vector of elements max(start, 0) up to but excluding min(end, len); an empty one of
 * capacity 8 when that range is empty. */
ZelVec *zel_vec_slice(const ZelVec *v, int64_t start, int64_t end);
/* Appends src's elements to dst; with dst == src, one copy of what it held. */
void zel_vec_extend(ZelVec *dst, const ZelVec *src);
/* Removes and returns element index, moving later ones down; 0, changing nothing, for an
 * index outside [0, len). */
int64_t zel_vec_remove(ZelVec *v, int64_t index);
/* Inserts value at index cut to [0, len], moving later elements up. */
void zel_vec_insert(ZelVec *v, int64_t index, int64_t value);
/* The wrapping sum; 0 when empty. */
int64_t zel_vec_sum(const ZelVec *v);
/* The wrapping product; 1 when empty. */
int64_t zel_vec_product(const ZelVec *v);
/* The signed minimum; INT64_MAX when empty. */
int64_t zel_vec_min(const ZelVec *v);
/* The signed maximum; INT64_MIN when empty. */
int64_t zel_vec_max(const ZelVec *v);

/* ---- string vectors: lists of strings held by integer handles ----
 * Handles index one process-wide pool and are issued 0, 1, 2, ... and never
 * reused; -1 is the failure handle (the pool could not grow). A vector stores
 * the string pointers it is given and never copies or frees them. The pool and
 * its item arrays live on the system heap; the pieces that splits make come
 * from the runtime allocator. The pool has no lock: use it from one thread at a
 * time. Invalid handles get neutral answers (0, NULL, -1, a fresh empty
 * string) and nothing happens; growth that fails stores nothing and returns -1. */
typedef struct ZelSvec {
    ZelString **items;
    int64_t len;
    int64_t capacity;
} ZelSvec;

extern ZelSvec *g_svec_pool;
extern int64_t g_svec_pool_len;
extern int64_t g_svec_pool_cap;

/* A new, empty vector's handle, or -1. */
int64_t zel_svec_new(void);
/* Appends s (NULL too); 0, or -1 for an invalid handle or when items cannot grow. */
int64_t zel_svec_push(int64_t h, ZelString *s);
/* Number of elements; 0 for an invalid handle. */
int64_t zel_svec_len(int64_t h);
/* Element i itself (not a copy); NULL for an invalid handle or index. */
ZelString *zel_svec_get(int64_t h, int64_t i);
/* Releases the item array and empties the vector; the handle stays usable. Returns 0. */
int64_t zel_svec_free(int64_t h);
/* Empties the vector, keeping its storage. Returns 0. */
int64_t zel_svec_clear(int64_t h);
/* Removes element i (not freed), moving later ones down; 1, or 0 when i is invalid. */
int64_t zel_svec_remove(int64_t h, int64_t i);
/* Index of the first element with x's bytes (NULL elements never match); -1 when none. */
int64_t zel_svec_index_of(int64_t h, const ZelString *x);
/* 1 when zel_svec_index_of finds x. */
int64_t zel_svec_contains(int64_t h, const ZelString *x);
/* Sorts ascending with zelstring_cmp (qsort, not stable). Returns 0. */
int64_t zel_svec_sort(int64_t h);
/* qsort comparator over pointers to string pointers: NULLs first, then unsigned
 * bytes, a proper prefix first; negative, 0 or positive. */
int zelstring_cmp(const void *a, const void *b);
/* Same as zelstring_cmp. */
int cmp_zel_str_ptr(const void *a, const void *b);
/* The elements with sep between each pair (NULL elements add no bytes; a NULL
 * sep joins without separators) as a new string; empty for an empty vector. */
ZelString *zel_svec_join(int64_t h, const ZelString *sep);
/* A new vector of new strings, the fields of s between occurrences of sep (no empty
 * field after a final separator; an empty or NULL sep splits into single bytes);
 * empty for an empty s. -1 only when no handle can be made; a field the vector cannot
 * grow to hold is left out. */
int64_t zel_str_split(const ZelString *s, const ZelString *sep);
/* A new vector of the runs of s without white space (space, tab, LF, CR). */
int64_t zel_str_split_whitespace(const ZelString *s);
/* A new vector of the lines of s, split at LF, each without one trailing CR;
 * a final LF leaves no empty last line. */
int64_t zel_str_lines(const ZelString *s);

/* ---- arrays: single blocks from the runtime allocator ----
 * Two header words (capacity == len) then the elements (ZelArray in core.h).
 * Every operation but pop of an empty array returns a new block, and none changes
 * its arguments; there is no release call (in arena mode arrays go with the arena).
 * Arguments must be valid arrays (no NULL test). Element access with a bounds
 * check: zel_array_get_safe / zel_array_set_safe (core.h). */

/* Number of elements. */
int64_t zel_array_len(const ZelArray *a);
/* A new array of a's elements followed by value. */
ZelArray *zel_array_push(const ZelArray *a, int64_t value);
/* A new array without a's last element; a itself when a is empty. */
ZelArray *zel_array_pop(ZelArray *a);
/* A new array of a's elements, then b's (always a new block). */
ZelArray *zel_array_concat(const ZelArray *a, const ZelArray *b);
/* A new array of elements max(start, 0) up to but excluding min(end, len);
 * an empty range gives a new empty array. */
ZelArray *zel_array_slice(const ZelArray *a, int64_t start, int64_t end);

/* ---- integer hash map: 64-bit keys to 64-bit values ----
 * A fixed table of 131072 slots (3 MiB, allocated zero-filled at creation)
 * with linear probing and deleted markers; it never grows. Every key value is
 * valid. A NULL map is accepted everywhere and answered neutrally. No lock:
 * one thread at a time per map. */
#define ZEL_HASHMAP_ABSENT INT64_MIN

typedef struct ZelHashmapSlot {
    int64_t key;
    int64_t value;
    int32_t state; /* 0 empty, 1 occupied, 2 deleted */
} ZelHashmapSlot;

typedef struct ZelHashmap {
    ZelHashmapSlot *slots;
    int64_t count;
    int64_t capacity; /* 131072 */
} ZelHashmap;

/* A new empty map, or NULL when memory is exhausted (nothing left allocated). */
ZelHashmap *hashmap_new(void);
/* Releases the table and the record; NULL: nothing. */
void hashmap_free(ZelHashmap *m);
/* Number of entries; 0 for NULL. */
int64_t hashmap_len(const ZelHashmap *m);
/* Stores value under key: the previous value when the key was present, else 0.
 * A full table (131072 entries) stores nothing and returns 0. */
int64_t hashmap_insert(ZelHashmap *m, int64_t key, int64_t value);
/* The key's value, or INT64_MIN (ZEL_HASHMAP_ABSENT) when absent or m is NULL;
 * a stored INT64_MIN is told apart only by hashmap_contains. */
int64_t hashmap_get(const ZelHashmap *m, int64_t key);
/* Removes the key and returns its value; INT64_MIN when absent (nothing changes). */
int64_t hashmap_remove(ZelHashmap *m, int64_t key);
/* 1 when the key is present. */
int64_t hashmap_contains(const ZelHashmap *m, int64_t key);
/* A new vector (caller frees with zel_vec_free) of the keys in table order. */
ZelVec *hashmap_keys(const ZelHashmap *m);
/* A new vector of the values, in the same order as hashmap_keys. */
ZelVec *hashmap_values(const ZelHashmap *m);

/* ---- string hash map: strings to 64-bit values ----
 * Open addressing with linear probing over 4096 slots at first, doubling when
 * an insert finds more than 70 % of them occupied (2868 entries in 4096 slots:
 * the next insert doubles). Keys are held by pointer, never copied or freed:
 * a key string must stay alive and unchanged while its entry is in the map.
 * Keys are equal when they are the same pointer or have equal len and bytes; a
 * NULL key equals only NULL. When the table cannot grow for lack of memory the
 * insert carries on in the old table (which stores nothing once every slot is
 * taken). Listings walk the table, so their order is neither insertion nor
 * sorted order and changes when the table grows. A NULL map is accepted
 * everywhere: nothing happens, 0 or an empty listing comes back. No lock. */
typedef struct ZelStrHashmapSlot {
    ZelString *key;
    int64_t value;
    int32_t state; /* 0 empty, 1 occupied, 2 deleted */
    uint32_t hint; /* library-private: low bits of the key's hash */
} ZelStrHashmapSlot;

typedef struct ZelStrHashmap {
    ZelStrHashmapSlot *slots;
    int64_t count;
    int64_t capacity; /* 4096 x 2^k */
} ZelStrHashmap;

/* A new empty map of 4096 slots, or NULL when memory is exhausted. */
ZelStrHashmap *str_hashmap_new(void);
/* Releases the table and the record; keys and values are not touched. */
void str_hashmap_free(ZelStrHashmap *m);
/* Number of entries. */
int64_t str_hashmap_len(const ZelStrHashmap *m);
/* Stores value under key: the previous value when present (the first key
 * pointer stays), else 0. */
int64_t str_hashmap_insert(ZelStrHashmap *m, ZelString *key, int64_t value);
/* The key's value; 0 when absent (contains tells a stored 0 apart). */
int64_t str_hashmap_get(const ZelStrHashmap *m, const ZelString *key);
/* 1 when the key is present. */
int64_t str_hashmap_contains(const ZelStrHashmap *m, const ZelString *key);
/* Removes the key and returns its value; 0 when absent. */
int64_t str_hashmap_remove(ZelStrHashmap *m, const ZelString *key);
/* A new vector of the key pointers, the callers' records the map holds (not copies), in
 * table order. */
ZelVec *str_hashmap_keys(const ZelStrHashmap *m);
/* A new vector of the values, in the same order as the keys. */
ZelVec *str_hashmap_values(const ZelStrHashmap *m);

/* zel_str_hashmap_*: the same map under the family's own names. zel_str_hashmap_new,
 * _insert, _get, _contains, _remove, _len and _values behave exactly as their
 * str_hashmap_ forms; the ones below add to them. */
ZelStrHashmap *zel_str_hashmap_new(void);
int64_t zel_str_hashmap_insert(ZelStrHashmap *m, ZelString *key, int64_t value);
int64_t zel_str_hashmap_get(const ZelStrHashmap *m, const ZelString *key);
int64_t zel_str_hashmap_contains(const ZelStrHashmap *m, const ZelString *key);
int64_t zel_str_hashmap_remove(ZelStrHashmap *m, const ZelString *key);
int64_t zel_str_hashmap_len(const ZelStrHashmap *m);
ZelVec *zel_str_hashmap_values(const ZelStrHashmap *m);
/* As str_hashmap_free; returns 0. */
int64_t zel_str_hashmap_free(ZelStrHashmap *m);
/* Adds delta to the key's value (wrapping; an absent key counts as 0). Returns 0. */
int64_t zel_str_hashmap_inc(ZelStrHashmap *m, ZelString *key, int64_t delta);
/* As insert, but returns 0. */
int64_t zel_str_hashmap_update(ZelStrHashmap *m, ZelString *key, int64_t value);
/* A new string vector (handle) of the key records in table order; the map and
 * the vector share the records. -1 when no handle can be made. */
int64_t zel_str_hashmap_keys(const ZelStrHashmap *m);
/* As zel_str_hashmap_keys, sorted with cmp_zel_str_ptr. */
int64_t zel_str_hashmap_sorted_keys(const ZelStrHashmap *m);

/* ---- string map: chained buckets, keys copied ----
 * Starts with 64 buckets and doubles them when an insert finds more than 0.75
 * entries per bucket (49 entries in 64 buckets: the next insert doubles). The
 * map keeps its own copy of every key (with its length, so keys may hold zero
 * bytes), so callers may release their key strings at once, and the map lives
 * on the heap across arena resets. Chains list the newest entry first. NULL
 * maps, NULL keys and keys with NULL data are refused with the neutral answers
 * below. No lock: one thread at a time per map. */
typedef struct ZelStrmapNode {
    char *key; /* the map's NUL-terminated copy */
    int64_t value;
    struct ZelStrmapNode *next;
} ZelStrmapNode;

typedef struct ZelStrmap {
    ZelStrmapNode **buckets;
    int64_t nbuckets; /* 64 x 2^k */
    int64_t count;
} ZelStrmap;

/* A new empty map of 64 buckets. */
ZelStrmap *zel_strmap_new(void);
/* Releases every entry with its key copy, the buckets and the record; NULL: nothing. */
void zel_strmap_free(ZelStrmap *m);
/* Number of entries; 0 for NULL. */
int64_t zel_strmap_size(const ZelStrmap *m);
/* Stores value under a copy of key (replacing a present key's value): 1;
 * 0 for a NULL map, key or key data. */
int64_t zel_strmap_insert(ZelStrmap *m, const ZelString *key, int64_t value);
/* The key's value; -1 when absent or refused. */
int64_t zel_strmap_get(const ZelStrmap *m, const ZelString *key);
/* 1 when the key is present. */
int64_t zel_strmap_contains(const ZelStrmap *m, const ZelString *key);
/* Removes the entry and returns its value; 0 when absent or refused. */
int64_t zel_strmap_remove(ZelStrmap *m, const ZelString *key);
/* A new vector of new strings (runtime allocator, owned by the caller) holding
 * the keys: buckets in order, each chain newest first. */
ZelVec *zel_strmap_keys(const ZelStrmap *m);
/* A new vector of the values, in the same order as the keys. */
ZelVec *zel_strmap_values(const ZelStrmap *m);

/* ---- cached key-value lookup ----
 * reg_cached_lookup(text, key, slot) answers lookups in texts
 * "key=value;key=value": each entry's key runs to its first "=" (it may hold
 * ";"), the value to the next ";"; a later entry for the same key wins; an
 * entry without "=" ends the text. Slot 0, 1 or 2 keeps the parsed text in a
 * process-wide cache (no lock: one thread at a time).
 * Unlike a cache keyed by the text's length, each slot is keyed by the text's
 * content: a text of the same length with other bytes is parsed afresh, and an
 * equal text in another record is answered from the cache (the same records).
 * The cache's strings live on the system heap, not in an arena, so they stay
 * valid across arena resets and destruction. A hit returns the cache's own
 * value string: do not free it; it stays valid for the life of the process,
 * also after its slot is rebuilt for another text (a rebuild releases the old
 * keys and the values never returned). A miss, a NULL or empty text and a slot
 * outside 0..2 give a fresh empty string the caller owns. When the cache cannot
 * be made for lack of memory the lookup answers the empty string. */
extern ZelStrHashmap *g_reg_caches[3];
extern int64_t g_reg_cache_lens[3];

/* key's value in text through cache slot `slot`, as described above: the cache's own
 * string on a hit (never release it), else a fresh empty string the caller owns. */
ZelString *reg_cached_lookup(const ZelString *text, const ZelString *key, int64_t slot);

#ifndef ZEL_NO_SHORT_NAMES
/* vec_*: same as the zel_vec_ functions of the same names. */
ZelVec *vec_new(void);
ZelVec *vec_with_capacity(int64_t n);
ZelVec *vec_push(ZelVec *v, int64_t value);
int64_t vec_get(const ZelVec *v, int64_t index);
void vec_set(ZelVec *v, int64_t index, int64_t value);
int64_t vec_len(const ZelVec *v);
int64_t vec_cap(const ZelVec *v);
int64_t vec_pop(ZelVec *v);
void vec_clear(ZelVec *v);
void vec_free(ZelVec *v);
void vec_reverse(ZelVec *v);
int64_t vec_contains(const ZelVec *v, int64_t value);
int64_t vec_index_of(const ZelVec *v, int64_t value);
void vec_swap(ZelVec *v, int64_t i, int64_t j);
void vec_sort(ZelVec *v);
void vec_dedup(ZelVec *v);
void vec_fill(ZelVec *v, int64_t value);
ZelVec *vec_copy(const ZelVec *v);
ZelVec *vec_slice(const ZelVec *v, int64_t start, int64_t end);
void vec_extend(ZelVec *dst, const ZelVec *src);
int64_t vec_remove(ZelVec *v, int64_t index);
void vec_insert(ZelVec *v, int64_t index, int64_t value);
int64_t vec_sum(const ZelVec *v);
int64_t vec_product(const ZelVec *v);
int64_t vec_min(const ZelVec *v);
int64_t vec_max(const ZelVec *v);
/* strmap_*: same as the zel_strmap_ functions of the same names. */
ZelStrmap *strmap_new(void);
void strmap_free(ZelStrmap *m);
int64_t strmap_size(const ZelStrmap *m);
int64_t strmap_insert(ZelStrmap *m, const ZelString *key, int64_t value);
int64_t strmap_get(const ZelStrmap *m, const ZelString *key);
int64_t strmap_contains(const ZelStrmap *m, const ZelString *key);
int64_t strmap_remove(ZelStrmap *m, const ZelString *key);
ZelVec *strmap_keys(const ZelStrmap *m);
ZelVec *strmap_values(const ZelStrmap *m);
#endif

ZEL_EXTERN_C_END

#endif
