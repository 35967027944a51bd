#pragma once
// Doubles side by side (GCC vector extension): eight, four or two lanes. The compiler maps
// each operation to whatever the vector unit of the clone has, one instruction for all
// lanes or several narrower ones. Every lane is an independent IEEE operation, rounded as
// the scalar one. The helpers are always inlined, so that no vector crosses a call between
// code built for different vector units.

#include <cstdint>

namespace tarnvex::simd {

using v8d = double __attribute__((vector_size(64)));
using v8l = std::int64_t __attribute__((vector_size(64)));  // lane masks: -1 or 0
using v4d = double __attribute__((vector_size(32)));
using v4l = std::int64_t __attribute__((vector_size(32)));
using v2d = double __attribute__((vector_size(16)));
using v2l = std::int64_t __attribute__((vector_size(16)));

[[gnu::always_inline]] inline v8d splat(double x) {
    return v8d{x, x, x, x, x, x, x, x};
}
[[gnu::always_inline]] inline v4d splat4(double x) {
    return v4d{x, x, x, x};
}
[[gnu::always_inline]] inline v2d splat2(double x) {
    return v2d{x, x};
}

// The magnitude, lane by lane (the sign bit cleared).
template <class V, class L>
[[gnu::always_inline]] inline V magnitude(V x) {
    constexpr std::int64_t kMagnitude = 0x7fffffffffffffff;
    return reinterpret_cast<V>(reinterpret_cast<L>(x) & kMagnitude);
}
[[gnu::always_inline]] inline v8d abs(v8d x) {
    return magnitude<v8d, v8l>(x);
}
[[gnu::always_inline]] inline v4d abs(v4d x) {
    return magnitude<v4d, v4l>(x);
}
[[gnu::always_inline]] inline v2d abs(v2d x) {
    return magnitude<v2d, v2l>(x);
}

// The larger of v and m lane by lane; a NaN in v never replaces m.
template <class V>
[[gnu::always_inline]] inline V max_keep(V v, V m) {
    return v > m ? v : m;
}

// x where the mask is set, +0 elsewhere.
template <class V, class L>
[[gnu::always_inline]] inline V select_or_zero(L mask, V x) {
    return reinterpret_cast<V>(reinterpret_cast<L>(x) & mask);
}

}  // namespace tarnvex::simd
