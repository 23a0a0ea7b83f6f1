/* Collections: the integer vector. */
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
