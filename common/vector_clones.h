// The sample loops that a level change runs over every value are built twice on x86-64 Linux: for
// the baseline SSE2 and for AVX2, which holds twice the values per instruction; the loader picks
// the one the processor runs when the program starts. Elsewhere they are built once, for the
// target. Both builds do the same IEEE double arithmetic, value by value, so they give the same
// bytes (fused multiply-add stays off in either).
#pragma once

// (ThreadSanitizer cannot run the loader's choice, which comes before it has started: its builds
// take the baseline only.)
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define WAVSPLICE_THREAD_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define WAVSPLICE_THREAD_SANITIZER 1
#endif

#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && \
    (!defined(__clang__) || __clang_major__ >= 14) && !defined(WAVSPLICE_THREAD_SANITIZER)
#define WAVSPLICE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define WAVSPLICE_VECTOR_CLONES
#endif

// Kernels written for x86-64's AVX2 by hand, chosen at run time.
#if defined(__x86_64__) && defined(__GNUC__)
#define WAVSPLICE_X86_KERNELS 1
#else
#define WAVSPLICE_X86_KERNELS 0
#endif
