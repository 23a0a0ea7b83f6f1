/* Collections: the integer vector and the string-vector pool. */
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

ZelVec *zel_vec_new(void);
ZelVec *zel_vec_with_capacity(int64_t n);
ZelVec *zel_vec_push(ZelVec *v, int64_t value);
int64_t zel_vec_get(const ZelVec *v, int64_t index);
void zel_vec_set(ZelVec *v, int64_t index, int64_t value);
int64_t zel_vec_len(const ZelVec *v);
int64_t zel_vec_cap(const ZelVec *v);
int64_t zel_vec_pop(ZelVec *v);
void zel_vec_clear(ZelVec *v);
void zel_vec_free(ZelVec *v);
void zel_vec_reverse(ZelVec *v);
int64_t zel_vec_contains(const ZelVec *v, int64_t value);
int64_t zel_vec_index_of(const ZelVec *v, int64_t value);
void zel_vec_swap(ZelVec *v, int64_t i, int64_t j);
void zel_vec_sort(ZelVec *v);
void zel_vec_dedup(ZelVec *v);
void zel_vec_fill(ZelVec *v, int64_t value);
ZelVec *zel_vec_copy(const ZelVec *v);
ZelVec *zel_vec_slice(const ZelVec *v, int64_t start, int64_t end);
void zel_vec_extend(ZelVec *dst, const ZelVec *src);
int64_t zel_vec_remove(ZelVec *v, int64_t index);
void zel_vec_insert(ZelVec *v, int64_t index, int64_t value);
int64_t zel_vec_sum(const ZelVec *v);
int64_t zel_vec_product(const ZelVec *v);
int64_t zel_vec_min(const ZelVec *v);
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
 * bytes, a proper prefix first. */
int zelstring_cmp(const void *a, const void *b);
int cmp_zel_str_ptr(const void *a, const void *b);
/* The elements with sep between each pair (NULL elements add no bytes; a NULL
 * sep joins without separators) as a new string; empty for an empty vector. */
ZelString *zel_svec_join(int64_t h, const ZelString *sep);
/* A new vector of the fields of s between occurrences of sep (no empty field
 * after a final separator; an empty or NULL sep splits into single bytes);
 * empty for an empty s. -1 only when no handle can be made. */
int64_t zel_str_split(const ZelString *s, const ZelString *sep);
/* A new vector of the runs of s without white space (space, tab, LF, CR). */
int64_t zel_str_split_whitespace(const ZelString *s);
/* A new vector of the lines of s, split at LF, each without one trailing CR;
 * a final LF leaves no empty last line. */
int64_t zel_str_lines(const ZelString *s);

#ifndef ZEL_NO_SHORT_NAMES
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
#endif

ZEL_EXTERN_C_END

#endif
