#pragma once
// The numerical kernels come in two builds of the same arithmetic: the plain loops, in the
// order the operations are defined in, kept as the reference; and the fast ones, which
// reorder only what cannot change a rounded result: independent elements side by side,
// sums whose additions stay in the same sequence for every element, sums of exact integers
// (any order gives the same), and zero terms left out of sums that start from +0 with
// finite factors. Every kernel is such a plain/fast pair; a run chooses one set for all of
// them (tarnvex::KernelSet), once, before its step loop.

// Builds a function for the baseline, AVX2 and AVX-512 (x86-64-v4), chosen once at load time.
// Every clone performs the same IEEE operations on every element; contraction into fused
// multiply-adds stays off for all of them.
#if defined(__x86_64__) && !defined(__clang__) && !defined(TARNVEX_NO_CLONES)
#define TARNVEX_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define TARNVEX_VECTOR_CLONES
#endif
