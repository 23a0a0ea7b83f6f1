// The AVX-512 kernel (F, BW and VL, with the AVX2 set): one register and one
// mask per 64-byte block. Built twice: where the CPU has AVX512_VBMI2 as well,
// tokens and kept bytes are gathered with its byte compress.
#include "kernel.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl,avx2,bmi,bmi2,popcnt,lzcnt,pclmul"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx2,bmi,bmi2,popcnt,lzcnt,pclmul")
// The intrinsics headers of some compilers trip this on their own broadcasts.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace zel::json::avx512 {
#define ZEL_VBMI2 0
#include "kernel_avx512.inc"
#undef ZEL_VBMI2
}  // namespace zel::json::avx512

const zel::json::Engine zel::json::kEngineAvx512f = zel::json::avx512::make_engine<true>("avx512f");

#if defined(__clang__)
#pragma clang attribute pop
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi2,avx2,bmi,bmi2,popcnt,lzcnt,pclmul"))), apply_to = function)
#else
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vl,avx512vbmi2,avx2,bmi,bmi2,popcnt,lzcnt,pclmul")
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace zel::json::avx512v {
#define ZEL_VBMI2 1
#include "kernel_avx512.inc"
#undef ZEL_VBMI2
}  // namespace zel::json::avx512v

const zel::json::Engine zel::json::kEngineAvx512 = zel::json::avx512v::make_engine<true>("avx512");

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
