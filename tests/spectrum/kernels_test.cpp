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
using textio::StringWriter;

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
                StringWriter ca, cb;
                ASSERT_EQ(linalg::plain::mtrinv(a, n, ca), linalg::fast::mtrinv(b, n, cb));
                ASSERT_TRUE(same_bits(a, b, n)) << "mtrinv n " << n << " kind " << kind;
                ASSERT_EQ(ca.text(), cb.text());

                Mat20 ba = in, bb = in, qa, qb, ra, rb;
                StringWriter ha, hb;
                ASSERT_EQ(linalg::plain::hshold(ba, qa, ra, n, ha),
                          linalg::fast::hshold(bb, qb, rb, n, hb));
                ASSERT_TRUE(same_bits(ba, bb, n)) << "hshold b n " << n << " kind " << kind;
                ASSERT_TRUE(same_bits(qa, qb, n)) << "hshold q n " << n << " kind " << kind;
                ASSERT_TRUE(same_bits(ra, rb, n)) << "hshold r n " << n << " kind " << kind;
                ASSERT_EQ(ha.text(), hb.text());
            }
        }
    }
}

// Covariances and maps from random integer displacements, small (exact sums, any order)
// and huge (sums beyond 2^53, where only the plain order will do).
TEST(Kernels, CovariancesAndMapsMatchThePlainLoops) {
    std::mt19937 gen(77);
    auto s = std::make_unique<spectrum::LocalMapScratch>();
    for (int m = 1; m <= 20; ++m) {
        for (const std::int64_t range :
             {std::int64_t{3}, std::int64_t{5000}, std::int64_t{2000000000}}) {
            std::uniform_int_distribution<std::int64_t> d(-range, range);
            for (int count : {1, 2, 7, 8, 9, 63, 200}) {
                std::int64_t my = 0, mz = 0;
                for (int j = 1; j <= count; ++j) {
                    for (int c = 1; c <= m; ++c) {
                        const std::int64_t y = d(gen), z = d(gen);
                        my = std::max(my, std::abs(y));
                        mz = std::max(mz, std::abs(z));
                        s->dy_at(j, c) = static_cast<double>(y);
                        s->dz_at(j, c) = static_cast<double>(z);
                        s->dyc[static_cast<std::size_t>((c - 1) * KMAX + (j - 1))] =
                            static_cast<double>(y);
                        s->dzc[static_cast<std::size_t>((c - 1) * KMAX + (j - 1))] =
                            static_cast<double>(z);
                    }
                }
                s->max_dy = my;
                s->max_dz = mz;
                spectrum::plain::covariances(*s, m, count);
                const Mat20 v = s->v, c = s->c;
                spectrum::fast::covariances(*s, m, count);
                ASSERT_TRUE(same_bits(v, s->v, m))
                    << "V m " << m << " count " << count << " range " << range;
                ASSERT_TRUE(same_bits(c, s->c, m))
                    << "C m " << m << " count " << count << " range " << range;

                spectrum::plain::map_product(*s, m);
                const Mat20 a = s->a;
                spectrum::fast::map_product(*s, m);
                ASSERT_TRUE(same_bits(a, s->a, m)) << "A m " << m;
            }
        }
    }
}

// The search visiting only the vectors near in the first coordinate finds the same lists,
// counts, radius and enlargements as the full scan.
TEST(Kernels, NeighbourSearchMatchesTheFullScan) {
    std::mt19937 gen(5);
    auto dv = std::make_unique<embedding::DelayVectors>();
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
        dv->nvec = nvec;
        for (std::int64_t i = 1; i <= nvec; ++i) {
            for (int k = 1; k <= mto; ++k)
                dv->iy(i, k) = coord(gen);
        }
        embedding::index_vectors(*dv);
        ASSERT_EQ(dv->compact, trial % 3 != 2) << trial;
        const float scalmx =
            static_cast<float>(trial % 7) * 9.5f * (trial % 3 == 2 ? 300.0f : 1.0f);
        const embedding::SearchParams p{ncube, mto, nvec - 1 - trial % 3, scalmx};
        for (std::int64_t iref : {std::int64_t{1}, nvec / 2, nvec - 1}) {
            embedding::SearchState sa{scalmx, 0, trial % 2 == 0 ? 1 : 2};
            embedding::SearchState sb = sa;
            na->counts.fill(0);
            nb->counts.fill(0);
            StringWriter ca, cb;
            const auto ra = embedding::plain::find_neighbourhoods(*dv, p, iref, sa, *na, ca);
            const auto rb = embedding::fast::find_neighbourhoods(*dv, p, iref, sb, *nb, cb);
            ASSERT_EQ(ra, rb) << trial;
            ASSERT_EQ(sa.ngrow, sb.ngrow) << trial;
            ASSERT_EQ(sa.mlow, sb.mlow) << trial;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(sa.scalmx),
                      std::bit_cast<std::uint32_t>(sb.scalmx));
            ASSERT_EQ(na->counts, nb->counts) << trial;
            for (int k = 1; k <= mto; ++k) {
                for (int j = 1; j <= na->nn(k); ++j)
                    ASSERT_EQ(na->nbr(j, k), nb->nbr(j, k)) << trial;
            }
            ASSERT_EQ(ca.text(), cb.text());
            for (std::uint64_t w : nb->marks)
                ASSERT_EQ(w, 0u) << "marks left set";
            for (std::uint64_t w : nb->summary)
                ASSERT_EQ(w, 0u) << "summary left set";
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
    auto dv = std::make_unique<embedding::DelayVectors>();
    auto nb = std::make_unique<embedding::Neighbourhoods>();
    auto a = std::make_unique<spectrum::LocalMapScratch>();
    auto b = std::make_unique<spectrum::LocalMapScratch>();
    const std::int64_t nvec = 3000;
    for (const std::int32_t span : {300, 1000000, 2000000000}) {
        std::uniform_int_distribution<std::int32_t> coord(-span, span);
        dv->table.fill(0);
        dv->nvec = nvec;
        for (std::int64_t i = 1; i <= nvec; ++i) {
            for (int k = 1; k <= MMAX; ++k)
                dv->iy(i, k) = coord(gen);
        }
        embedding::index_vectors(*dv);
        ASSERT_EQ(dv->narrow, span < 1000000000) << span;
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
                spectrum::plain::neighbourhood_covariances(*dv, *nb, m, iref, evolv, *a);
                spectrum::fast::neighbourhood_covariances(*dv, *nb, m, iref, evolv, *b);
                ASSERT_TRUE(same_bits(a->v, b->v, m))
                    << "V m " << m << " count " << count << " span " << span;
                ASSERT_TRUE(same_bits(a->c, b->c, m))
                    << "C m " << m << " count " << count << " span " << span;
            }
        }
    }
}

}  // namespace
}  // namespace tarnvex
