// The fast kernels against the plain ones, bit for bit, on random inputs up to order 20:
// the plain loops in the defining order are the reference.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "embedding/delay_vectors.hpp"
#include "embedding/neighbours.hpp"
#include "linalg/hshold.hpp"
#include "linalg/mtrinv.hpp"
#include "linalg/product.hpp"
#include "spectrum/local_map.hpp"
#include "support/matrix_util.hpp"

namespace tarnvex {
namespace {

using linalg::Mat20;

bool same_bits(const Mat20& x, const Mat20& y, int n) {
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) {
            if (std::bit_cast<std::uint64_t>(x(i, j)) != std::bit_cast<std::uint64_t>(y(i, j))) {
                return false;
            }
        }
    }
    return true;
}

// Random matrices of several kinds: dense reals, small integers (many exact ties in the
// pivot search), sparse with signed zeros, triangular, and with an infinity or a NaN.
Mat20 random_input(std::mt19937& gen, int n, int kind) {
    std::uniform_real_distribution<double> real(-10.0, 10.0);
    std::uniform_int_distribution<int> small(-3, 3);
    Mat20 m;
    m.a.fill(0.0);
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) {
            switch (kind) {
                case 0:
                    m(i, j) = real(gen);
                    break;
                case 1:
                    m(i, j) = small(gen);
                    break;
                case 2:
                    m(i, j) = small(gen) == 0 ? real(gen) : (small(gen) < 0 ? -0.0 : 0.0);
                    break;
                case 3:
                    m(i, j) = i <= j ? real(gen) : -0.0;
                    break;
                default:
                    m(i, j) = real(gen);
                    break;
            }
        }
    }
    if (kind == 4 && n > 1) m(n, 1) = std::numeric_limits<double>::infinity();
    if (kind == 5 && n > 1) m(1, n) = std::nan("");
    return m;
}

TEST(Kernels, InversionAndOrthonormalisationMatchThePlainLoops) {
    std::mt19937 gen(2024);
    for (int n = 1; n <= 20; ++n) {
        for (int kind = 0; kind < 6; ++kind) {
            for (int trial = 0; trial < 8; ++trial) {
                const Mat20 in = random_input(gen, n, kind);
                Mat20 a = in, b = in;
                ASSERT_EQ(linalg::plain::mtrinv(a, n), linalg::fast::mtrinv(b, n));
                ASSERT_TRUE(same_bits(a, b, n)) << "mtrinv n " << n << " kind " << kind;
                // The runs of eight also below order 3, where mtrinv takes the plain loops.
                Mat20 c = in;
                ASSERT_EQ(linalg::plain::mtrinv(a = in, n), linalg::fast::mtrinv_in_runs(c, n));
                ASSERT_TRUE(same_bits(a, c, n)) << "runs n " << n << " kind " << kind;

                Mat20 ba = in, bb = in, qa, qb, ra, rb;
                ASSERT_EQ(linalg::plain::hshold(ba, qa, ra, n),
                          linalg::fast::hshold(bb, qb, rb, n));
                ASSERT_TRUE(same_bits(ba, bb, n)) << "hshold b n " << n << " kind " << kind;
                ASSERT_TRUE(same_bits(qa, qb, n)) << "hshold q n " << n << " kind " << kind;
                ASSERT_TRUE(same_bits(ra, rb, n)) << "hshold r n " << n << " kind " << kind;
            }
        }
    }
}

// The search visiting only the vectors near in the first coordinate finds the same lists,
// counts, radius and enlargements as the full scan.
TEST(Kernels, NeighbourSearchMatchesTheFullScan) {
    std::mt19937 gen(5);
    auto na = std::make_unique<embedding::Neighbourhoods>();
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    for (int trial = 0; trial < 60; ++trial) {
        const int mto = 1 + trial % 20;
        const int ncube = 1 + (trial * 37) % 200;
        const std::int64_t nvec = 100 + (trial * 997) % 3000;
        // Every third trial spans more than 16 bits, so that the search compares 32-bit
        // coordinates; the others take the 16-bit ones.
        const std::int32_t span = trial % 3 == 2 ? 100000 + trial : 200 + trial * 10;
        std::uniform_int_distribution<std::int32_t> coord(-span, span);
        std::vector<std::int32_t> columns(static_cast<std::size_t>(nvec * mto));
        for (auto& v : columns)
            v = coord(gen);
        const auto dv = std::make_unique<embedding::DelayVectors>(nvec, columns);
        const auto plain = embedding::plain::make_search(*dv);
        const auto fast = embedding::fast::make_search(*dv);
        ASSERT_EQ(embedding::fast::compares_16_bits(*fast), trial % 3 != 2) << trial;
        const float scalmx =
            static_cast<float>(trial % 7) * 9.5f * (trial % 3 == 2 ? 300.0f : 1.0f);
        const embedding::SearchParams p{ncube, mto, nvec - 1 - trial % 3, scalmx};
        for (std::int64_t iref : {std::int64_t{1}, nvec / 2, nvec - 1}) {
            embedding::SearchState sa{scalmx, 0, trial % 2 == 0 ? 1 : 2};
            embedding::SearchState sb = sa;
            na->clear();
            nb->clear();
            const auto ra = plain->find(p, iref, sa, *na);
            const auto rb = fast->find(p, iref, sb, *nb);
            ASSERT_EQ(ra, rb) << trial;
            ASSERT_EQ(sa.ngrow, sb.ngrow) << trial;
            ASSERT_EQ(sa.mlow, sb.mlow) << trial;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(sa.scalmx),
                      std::bit_cast<std::uint32_t>(sb.scalmx));
            ASSERT_EQ(na->counts(), nb->counts()) << trial;
            for (int k = 1; k <= mto; ++k) {
                for (int j = 1; j <= na->nn(k); ++j)
                    ASSERT_EQ(na->nbr(j, k), nb->nbr(j, k)) << trial;
            }
            ASSERT_TRUE(embedding::fast::marks_clear(*fast)) << "marks left set";
        }
    }
}

// The product of the leading blocks, element by element the sum in increasing k: dense
// reals, signed zeros and zero columns (skipping the zero terms of y, x finite), and an
// infinity or a NaN in x (every term added). Nothing outside the block is written.
TEST(Kernels, MatrixProductMatchesThePlainLoops) {
    std::mt19937 gen(31);
    for (int n = 1; n <= 20; ++n) {
        for (int kind = 0; kind < 6; ++kind) {
            for (int trial = 0; trial < 4; ++trial) {
                const Mat20 x = random_input(gen, n, kind);
                const Mat20 y = random_input(gen, n, (kind + 2) % 4);
                const bool skip = kind < 4;  // kinds 4 and 5 hold an infinity or a NaN
                Mat20 want, got;
                want.a.fill(555.0);
                got.a.fill(555.0);
                linalg::plain::multiply(x, y, want, n);
                linalg::fast::multiply(x, y, got, n, skip);
                ASSERT_TRUE(same_bits(want, got, 20)) << "n " << n << " kind " << kind;
            }
        }
    }
}

// Displacements and covariances from the delay vectors: small coordinates (16-bit sums),
// coordinates up to a million (exact sums of doubles), and coordinates spanning more than
// 32 bits of difference (64-bit differences, sums beyond 2^53 in list order).
TEST(Kernels, NeighbourhoodCovariancesMatchThePlainLoops) {
    std::mt19937 gen(99);
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    const auto plain = spectrum::plain::make_covariances();
    const auto fast = spectrum::fast::make_covariances();
    Mat20 va, ca, vb, cb;
    const std::int64_t nvec = 3000;
    // Spans of 16-bit sums, exact double sums, 32-bit differences whose sums pass 2^53
    // (list order), and more than 32 bits of difference.
    for (const std::int32_t span : {300, 1000000, 1000000000, 2000000000}) {
        std::uniform_int_distribution<std::int32_t> coord(-span / 2, span / 2);
        std::vector<std::int32_t> columns(static_cast<std::size_t>(nvec * MMAX));
        for (auto& v : columns)
            v = coord(gen);
        if (span == 2000000000) columns[7] = -span, columns[8] = span;
        const auto dv = std::make_unique<embedding::DelayVectors>(nvec, columns);
        ASSERT_EQ(dv->narrow(), span < 2000000000) << span;
        for (int m = 1; m <= MMAX; ++m) {
            for (int count : {1, 7, 33, 64, 200}) {
                // count distinct vectors in increasing order, and their successors built
                std::vector<std::int32_t> pick(static_cast<std::size_t>(nvec - 5));
                for (std::size_t i = 0; i < pick.size(); ++i)
                    pick[i] = static_cast<std::int32_t>(i + 1);
                std::shuffle(pick.begin(), pick.end(), gen);
                pick.resize(static_cast<std::size_t>(count));
                std::sort(pick.begin(), pick.end());
                nb->nn(m) = count;
                for (int j = 1; j <= count; ++j)
                    nb->nbr(j, m) = pick[static_cast<std::size_t>(j - 1)];
                const std::int64_t iref = 1 + static_cast<std::int64_t>(gen() % 2900);
                const std::int64_t evolv = 1 + m % 5;
                plain->compute(*dv, *nb, m, iref, evolv, va, ca);
                fast->compute(*dv, *nb, m, iref, evolv, vb, cb);
                ASSERT_TRUE(same_bits(va, vb, m))
                    << "V m " << m << " count " << count << " span " << span;
                ASSERT_TRUE(same_bits(ca, cb, m))
                    << "C m " << m << " count " << count << " span " << span;
            }
        }
    }
}

}  // namespace
}  // namespace tarnvex
