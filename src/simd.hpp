#pragma once
// Eight doubles side by side (GCC vector extension). The compiler maps each operation to
// whatever the vector unit of the clone has, one instruction for all eight lanes or several
// narrower ones. Every lane is an independent IEEE operation, rounded as
// the scalar one. The helpers are always inlined, so that no vector crosses a call between
// code built for different vector units.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarnvex::simd {

using v8d = double __attribute__((vector_size(64)));
using v8l = std::int64_t __attribute__((vector_size(64)));  // lane masks: -1 or 0

[[gnu::always_inline]] inline v8d splat(double x) {
    const v8d one{x};
    return __builtin_shufflevector(one, one, 0, 0, 0, 0, 0, 0, 0, 0);
}
// The magnitude, lane by lane (the sign bit cleared).
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

// a where the mask is set, b elsewhere.
[[gnu::always_inline]] inline v8d blend(v8l mask, v8d a, v8d b) {
    return reinterpret_cast<v8d>((reinterpret_cast<v8l>(a) & mask) |
                                 (reinterpret_cast<v8l>(b) & ~mask));
}

// Lane numbers 0..23 of three runs of eight.
inline constexpr v8d kLane[3] = {v8d{0, 1, 2, 3, 4, 5, 6, 7}, v8d{8, 9, 10, 11, 12, 13, 14, 15},
                                 v8d{16, 17, 18, 19, 20, 21, 22, 23}};

// Places 0..n-1 of a column of 20 doubles as R runs of eight, the places from n on zero.
// Reads the whole runs that lie within the 20 places (rows 16..19 for the third), so
// every copy has a fixed size and no call.
template <std::size_t R>
[[gnu::always_inline]] inline std::array<v8d, R> load_column(const double* col, std::size_t n) {
    std::array<double, R * 8> raw;
    if constexpr (R == 3) {
        std::memcpy(raw.data(), col, 20 * sizeof(double));
        raw[20] = raw[21] = raw[22] = raw[23] = 0.0;
    } else {
        std::memcpy(raw.data(), col, sizeof raw);
    }
    std::array<v8d, R> runs;
    std::memcpy(runs.data(), raw.data(), sizeof raw);
    const v8d nv = splat(static_cast<double>(n));
    for (std::size_t k = 0; k < R; ++k)
        runs[k] = select_or_zero(kLane[k] < nv, runs[k]);
    return runs;
}

// Stores places 0..n-1 of the runs into a column of 20 doubles, leaving the rest of it as
// it was (whole runs are read back and merged).
template <std::size_t R>
[[gnu::always_inline]] inline void store_column(double* col, const std::array<v8d, R>& runs,
                                                std::size_t n) {
    std::array<v8d, R> old = load_column<R>(col, 20);
    const v8d nv = splat(static_cast<double>(n));
    for (std::size_t k = 0; k < R; ++k)
        old[k] = blend(kLane[k] < nv, runs[k], old[k]);
    if constexpr (R == 3) {
        std::array<double, 24> raw;
        std::memcpy(raw.data(), old.data(), sizeof raw);
        std::memcpy(col, raw.data(), 20 * sizeof(double));
    } else {
        std::memcpy(col, old.data(), sizeof old);
    }
}

}  // namespace tarnvex::simd
