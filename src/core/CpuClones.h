#pragma once

// LV_AVX2_CLONES before a function builds it twice, for AVX2 and for any x86-64 processor, and the
// program takes the one its processor runs when it loads. The functions so marked use
// multiplications and additions alone (no fused multiply-add), so both builds give the same bits.
// clang 14 does not emit the choosing code for such a function when it is only called from other
// files, so under clang (the fuzzing build), and off x86-64, the function is built once. So it is
// under ThreadSanitizer: the chooser then runs instrumented before the sanitizer has started, and
// the program dies while it loads.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define LV_AVX2_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define LV_AVX2_CLONES
#endif
