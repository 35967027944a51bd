#pragma once
// Eight doubles side by side (GCC vector extension): the compiler maps each operation to
// whatever the vector unit of the clone has, one instruction for eight lanes or several
// narrower ones. Every lane is an independent IEEE operation, rounded as the scalar one.
// The helpers are always inlined, so that no vector crosses a call between code built for
// different vector units.

#include <cstdint>

namespace tarnvex::simd {

using v8d = double __attribute__((vector_size(64)));
using v8l = std::int64_t __attribute__((vector_size(64)));  // lane masks: -1 or 0
using v4d = double __attribute__((vector_size(32)));

[[gnu::always_inline]] inline v8d splat(double x) {
    return v8d{x, x, x, x, x, x, x, x};
}

[[gnu::always_inline]] inline v8d abs(v8d x) {
    constexpr std::int64_t kMagnitude = 0x7fffffffffffffff;
    return reinterpret_cast<v8d>(reinterpret_cast<v8l>(x) & kMagnitude);
}

// The larger of v and m lane by lane; a NaN in v never replaces m.
[[gnu::always_inline]] inline v8d max_keep(v8d v, v8d m) {
    return v > m ? v : m;
}

// x where the mask is set, +0 elsewhere.
[[gnu::always_inline]] inline v8d select_or_zero(v8l mask, v8d x) {
    return reinterpret_cast<v8d>(reinterpret_cast<v8l>(x) & mask);
}

}  // namespace tarnvex::simd
