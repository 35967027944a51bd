#pragma once
// Fixed table sizes of a run; they are part of the program's behaviour.

#include <cstdint>

namespace tarnvex {

inline constexpr int NMAX = 20000;  // samples and delay vectors
inline constexpr int MMAX = 20;     // embedding dimensions, leading dimension of every matrix
inline constexpr int KMAX = 200;    // neighbours per dimension

// Fill value of the sample table; the count of samples is the index of the last entry
// that differs from it.
inline constexpr float SENTINEL = 123456.7f;

inline constexpr int NEXCL = 30;    // temporal exclusion of neighbours, in samples
inline constexpr int MAXGROW = 16;  // radius enlargements allowed in one step
inline constexpr int NWARM = 25;    // warm-up iterations at an evolution time of one sample

}  // namespace tarnvex
