#include "spectrum/local_map.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "kernels.hpp"

namespace tarnvex::spectrum {

MapStatus estimate_local_map(Covariances& cov, const linalg::MatrixKernels& k,
                             const embedding::DelayVectors& dv, const embedding::Neighbourhoods& nb,
                             int m, std::int64_t iref, std::int64_t evolv, LocalMap& map) {
    cov.compute(dv, nb, m, iref, evolv, map.v, map.c);
    if (k.invert(map.v, m) != linalg::InvertStatus::Ok) return MapStatus::SingularCovariance;
    k.multiply(map.c, map.v, map.a, m);
    return MapStatus::Ok;
}

using linalg::Mat20;

// The plain loops' displacements: dy(j, c), dz(j, c) of neighbour j, exact integers held
// as doubles.
namespace plain {
struct Scratch {
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dy;
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dz;

    double& dy_at(int j, int col) {
        return dy[static_cast<std::size_t>((j - 1) * MMAX + (col - 1))];
    }
    double& dz_at(int j, int col) {
        return dz[static_cast<std::size_t>((j - 1) * MMAX + (col - 1))];
    }
};
}  // namespace plain

// The fast covariances' displacements, coordinate by coordinate: as doubles (KMAX places a
// coordinate) with their largest magnitudes, and as 16-bit integers (KPAD places a
// coordinate, zero from the count to the next multiple of 32).
namespace fast {
struct Scratch {
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dyc;
    std::array<double, static_cast<std::size_t>(KMAX) * MMAX> dzc;
    std::int64_t max_dy = 0;
    std::int64_t max_dz = 0;
    static constexpr std::size_t KPAD = 224;
    std::array<std::int16_t, KPAD * MMAX> y16;
    std::array<std::int16_t, KPAD * MMAX> z16;
};
}  // namespace fast

// Displacements: integer differences (in 64 bits), then converted, so they are exact.
namespace plain {
void neighbourhood_covariances(const embedding::DelayVectors& dv,
                               const embedding::Neighbourhoods& nb, int m, std::int64_t iref,
                               std::int64_t evolv, Scratch& s, Mat20& v, Mat20& c);
void covariances(Scratch& s, int m, int count, Mat20& v, Mat20& c);
}  // namespace plain
namespace fast {
void neighbourhood_covariances(const embedding::DelayVectors& dv,
                               const embedding::Neighbourhoods& nb, int m, std::int64_t iref,
                               std::int64_t evolv, Scratch& s, Mat20& v, Mat20& c);
void covariances(Scratch& s, int m, int count, Mat20& v, Mat20& c);
void narrow_covariances(Scratch& s, int m, int count, Mat20& v, Mat20& c);
}  // namespace fast

void plain::neighbourhood_covariances(const embedding::DelayVectors& dv,
                                      const embedding::Neighbourhoods& nb, int m, std::int64_t iref,
                                      std::int64_t evolv, Scratch& s, Mat20& vm, Mat20& cm) {
    const int count = nb.nn(m);
    for (int j = 1; j <= count; ++j) {
        const std::int64_t i = nb.nbr(j, m);
        for (int c = 1; c <= m; ++c) {
            const std::int64_t now = std::int64_t{dv.iy(i, c)} - dv.iy(iref, c);
            const std::int64_t later = std::int64_t{dv.iy(i + evolv, c)} - dv.iy(iref + evolv, c);
            s.dy_at(j, c) = static_cast<double>(now);
            s.dz_at(j, c) = static_cast<double>(later);
        }
    }
    plain::covariances(s, m, count, vm, cm);
}

namespace {

// The displacements in 64 bits, coordinate by coordinate, as doubles for fast::covariances.
void wide_displacements(const embedding::DelayVectors& dv, const std::int32_t* list, int count,
                        int m, std::int64_t iref, std::int64_t evolv, fast::Scratch& s) {
    std::int64_t max_dy = 0;
    std::int64_t max_dz = 0;
    const auto uk = static_cast<std::size_t>(KMAX);
    for (int c = 1; c <= m; ++c) {
        const std::int64_t ref_now = dv.iy(iref, c);
        const std::int64_t ref_later = dv.iy(iref + evolv, c);
        const std::int32_t* const col = dv.column(c);
        double* const y = s.dyc.data() + static_cast<std::size_t>(c - 1) * uk;
        double* const z = s.dzc.data() + static_cast<std::size_t>(c - 1) * uk;
        for (int j = 0; j < count; ++j) {
            const std::int64_t i = list[j] - 1;
            const std::int64_t now = col[i] - ref_now;
            const std::int64_t later = col[i + evolv] - ref_later;
            max_dy = std::max(max_dy, now < 0 ? -now : now);
            max_dz = std::max(max_dz, later < 0 ? -later : later);
            y[j] = static_cast<double>(now);
            z[j] = static_cast<double>(later);
        }
    }
    s.max_dy = max_dy;
    s.max_dz = max_dz;
}

// True when every displacement fits 16 bits and every sum of up to `count` products of two
// of them fits 32: then 16-bit products summed in 32-bit integers give the exact sums.
inline bool fits_16_bits(std::int64_t max_dy, std::int64_t max_dz, int count) {
    constexpr std::int64_t kLimit = 32767;
    if (max_dy > kLimit || max_dz > kLimit) return false;
    return std::max(max_dy, max_dz) * max_dy * count <= std::int64_t{INT32_MAX};
}

}  // namespace

// Displacements read coordinate by coordinate from the column table. When every difference
// of the table fits 32 bits they are formed in 32 bits; when they also fit 16 bits with
// sums that fit 32, V and C are summed in integers (narrow_covariances), which gives the
// exact sums, the plain ones whenever those are exact. Otherwise the doubles of the
// 64-bit differences go to fast::covariances.
TARNVEX_VECTOR_CLONES
void fast::neighbourhood_covariances(const embedding::DelayVectors& dv,
                                     const embedding::Neighbourhoods& nb, int m, std::int64_t iref,
                                     std::int64_t evolv, Scratch& s, Mat20& vm, Mat20& cm) {
    const int count = nb.nn(m);
    const std::int32_t* const list = nb.list(m);
    if (!dv.narrow()) {
        wide_displacements(dv, list, count, m, iref, evolv, s);
        fast::covariances(s, m, count, vm, cm);
        return;
    }
    const auto uk = static_cast<std::size_t>(KMAX);
    const auto ucount = static_cast<std::size_t>(count);
    // Each neighbour's displacements come from its row of the table at once (24 places, the
    // places beyond the dimension masked out of the largest magnitudes) and are put
    // coordinate by coordinate as 16-bit integers straight away; should they not fit 16
    // bits (seen only at the end), they are formed again as doubles.
    constexpr std::size_t kRow = embedding::DelayVectors::ROW;
    constexpr std::size_t kp = Scratch::KPAD;
    const auto um = static_cast<std::size_t>(m);
    const std::int32_t* const ref_now = dv.row(iref);
    const std::int32_t* const ref_later = dv.row(iref + evolv);
    std::array<std::int32_t, kRow> in_dimension;
    for (std::size_t c = 0; c < kRow; ++c)
        in_dimension[c] = c < um ? -1 : 0;
    std::array<std::int32_t, kRow> top_dy{}, top_dz{};
    const auto displacements = [&](std::size_t j, std::array<std::int32_t, kRow>& dy,
                                   std::array<std::int32_t, kRow>& dz) {
        const std::int32_t* const now = dv.row(list[j]);
        const std::int32_t* const later = dv.row(list[j] + evolv);
        for (std::size_t c = 0; c < kRow; ++c) {
            dy[c] = now[c] - ref_now[c];
            dz[c] = later[c] - ref_later[c];
        }
    };
    for (std::size_t j = 0; j < ucount; ++j) {
        std::array<std::int32_t, kRow> dy, dz;
        displacements(j, dy, dz);
        for (std::size_t c = 0; c < kRow; ++c) {
            const std::int32_t ay = (dy[c] < 0 ? -dy[c] : dy[c]) & in_dimension[c];
            const std::int32_t az = (dz[c] < 0 ? -dz[c] : dz[c]) & in_dimension[c];
            top_dy[c] = std::max(top_dy[c], ay);
            top_dz[c] = std::max(top_dz[c], az);
        }
        for (std::size_t c = 0; c < um; ++c) {
            s.y16[c * kp + j] = static_cast<std::int16_t>(dy[c]);
            s.z16[c * kp + j] = static_cast<std::int16_t>(dz[c]);
        }
    }
    std::int32_t max_dy = 0;
    std::int32_t max_dz = 0;
    for (std::size_t c = 0; c < kRow; ++c) {
        max_dy = std::max(max_dy, top_dy[c]);
        max_dz = std::max(max_dz, top_dz[c]);
    }
    if (fits_16_bits(max_dy, max_dz, count)) {
        const std::size_t padded = (ucount + 31) & ~std::size_t{31};
        for (std::size_t c = 0; c < um; ++c) {
            for (std::size_t j = ucount; j < padded; ++j) {
                s.y16[c * kp + j] = 0;
                s.z16[c * kp + j] = 0;
            }
        }
        fast::narrow_covariances(s, m, count, vm, cm);
        return;
    }
    for (std::size_t j = 0; j < ucount; ++j) {
        std::array<std::int32_t, kRow> dy, dz;
        displacements(j, dy, dz);
        for (std::size_t c = 0; c < um; ++c) {
            s.dyc[c * uk + j] = dy[c];
            s.dzc[c * uk + j] = dz[c];
        }
    }
    s.max_dy = max_dy;
    s.max_dz = max_dz;
    fast::covariances(s, m, count, vm, cm);
}

namespace {

// The sum of a[j] * b[j] over the padded length (a multiple of 32), in 32-bit integers.
inline std::int32_t dot_16(const std::int16_t* __restrict a, const std::int16_t* __restrict b,
                           std::size_t padded) {
    std::int32_t sum = 0;
    for (std::size_t j = 0; j < padded; ++j)
        sum += std::int32_t{a[j]} * std::int32_t{b[j]};
    return sum;
}

}  // namespace

// V and C from the 16-bit displacements: each sum exact in 32-bit integers (the count
// bounds it), converted to double exactly and divided by the count, as the plain loops
// divide their exact sums. V's upper half is summed and mirrored.
TARNVEX_VECTOR_CLONES
void fast::narrow_covariances(Scratch& s, int m, int count, Mat20& vm, Mat20& cm) {
    const auto um = static_cast<std::size_t>(m);
    const std::size_t padded = (static_cast<std::size_t>(count) + 31) & ~std::size_t{31};
    const double n = static_cast<double>(count);
    double* __restrict const v = vm.a.data();
    double* __restrict const c = cm.a.data();
    constexpr std::size_t kp = Scratch::KPAD;
    for (std::size_t col = 0; col < um; ++col) {
        const std::int16_t* const yc = s.y16.data() + col * kp;
        for (std::size_t row = 0; row < um; ++row) {
            if (row <= col) {
                v[row + col * MMAX] =
                    static_cast<double>(dot_16(s.y16.data() + row * kp, yc, padded)) / n;
            }
            c[row + col * MMAX] =
                static_cast<double>(dot_16(s.z16.data() + row * kp, yc, padded)) / n;
        }
    }
    for (std::size_t col = 0; col < um; ++col) {
        for (std::size_t row = col + 1; row < um; ++row)
            v[row + col * MMAX] = v[col + row * MMAX];
    }
}

// Each element summed over the neighbours in list order, then divided by the count.
void plain::covariances(Scratch& s, int m, int count, Mat20& vm, Mat20& cm) {
    const double n = static_cast<double>(count);
    for (int r = 1; r <= m; ++r) {
        for (int c = 1; c <= m; ++c) {
            double v = 0.0;
            double cc = 0.0;
            for (int j = 1; j <= count; ++j) {
                v = v + s.dy_at(j, r) * s.dy_at(j, c);
                cc = cc + s.dz_at(j, r) * s.dy_at(j, c);
            }
            vm(r, c) = v / n;
            cm(r, c) = cc / n;
        }
    }
}

namespace {

// The sum of a[j] * b[j] over j < count in increasing j: the plain sequence of additions.
inline double dot_in_order(const double* a, const double* b, int count) {
    double sum = 0.0;
    for (int j = 0; j < count; ++j)
        sum = sum + a[j] * b[j];
    return sum;
}

// The same sum taken eight ways at once. Only for terms and partial sums that are all
// exact (integers below 2^53), where every order of addition gives the same result.
inline double dot_exact(const double* __restrict a, const double* __restrict b, int count) {
    double acc[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    int j = 0;
    for (; j + 8 <= count; j += 8) {
        for (int l = 0; l < 8; ++l)
            acc[l] = acc[l] + a[j + l] * b[j + l];
    }
    for (; j < count; ++j)
        acc[0] = acc[0] + a[j] * b[j];
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

// True when every product of two displacements and every partial sum of up to `count`
// such products is an integer below 2^53 in magnitude, hence exact in double.
inline bool sums_are_exact(std::int64_t max_dy, std::int64_t max_dz, int count) {
    constexpr std::int64_t kLimit = std::int64_t{1} << 26;
    if (max_dy >= kLimit || max_dz >= kLimit) return false;
    const std::int64_t bound = std::max(max_dy, max_dz) * max_dy * count;
    return bound <= (std::int64_t{1} << 53);
}

}  // namespace

// Each element as one dot product over the neighbours. When the displacements are small
// enough for every sum to be exact (the rule, for series of a few million integer steps),
// the dot products run eight lanes wide; otherwise in list order, the plain sequence. V is
// symmetric (a product does not depend on the order of its factors): its upper half is
// summed and mirrored.
TARNVEX_VECTOR_CLONES
void fast::covariances(Scratch& s, int m, int count, Mat20& vm, Mat20& cm) {
    const auto um = static_cast<std::size_t>(m);
    const bool exact = sums_are_exact(s.max_dy, s.max_dz, count);
    const double n = static_cast<double>(count);
    double* __restrict const v = vm.a.data();
    double* __restrict const c = cm.a.data();
    for (std::size_t col = 0; col < um; ++col) {
        const double* const yc = s.dyc.data() + col * KMAX;
        for (std::size_t row = 0; row < um; ++row) {
            const double* const yr = s.dyc.data() + row * KMAX;
            const double* const zr = s.dzc.data() + row * KMAX;
            if (row <= col) {
                v[row + col * MMAX] =
                    (exact ? dot_exact(yr, yc, count) : dot_in_order(yr, yc, count)) / n;
            }
            c[row + col * MMAX] =
                (exact ? dot_exact(zr, yc, count) : dot_in_order(zr, yc, count)) / n;
        }
    }
    for (std::size_t col = 0; col < um; ++col) {
        for (std::size_t row = col + 1; row < um; ++row)
            v[row + col * MMAX] = v[col + row * MMAX];
    }
}

namespace {

template <typename Scratch, auto Compute>
class CovariancesWith final : public Covariances {
  public:
    void compute(const embedding::DelayVectors& dv, const embedding::Neighbourhoods& nb, int m,
                 std::int64_t iref, std::int64_t evolv, Mat20& v, Mat20& c) override {
        Compute(dv, nb, m, iref, evolv, scratch_, v, c);
    }

  private:
    Scratch scratch_;
};

}  // namespace

std::unique_ptr<Covariances> plain::make_covariances() {
    return std::make_unique<CovariancesWith<Scratch, plain::neighbourhood_covariances>>();
}

std::unique_ptr<Covariances> fast::make_covariances() {
    return std::make_unique<CovariancesWith<Scratch, fast::neighbourhood_covariances>>();
}

}  // namespace tarnvex::spectrum
