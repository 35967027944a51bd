#include "spectrum/local_map.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace tarnvex::spectrum {
namespace {

// Neighbours of reference vector 1 with given present and later displacements in two
// coordinates; the successor of every vector is the next one (evolv = 1). Both kernel sets.
struct MapFixture {
    static constexpr std::int64_t kVectors = 30;
    std::vector<std::int32_t> columns = std::vector<std::int32_t>(2 * kVectors, 0);
    std::unique_ptr<embedding::Neighbourhoods> nb = std::make_unique<embedding::Neighbourhoods>();
    LocalMap map{};

    std::int32_t& at(std::int64_t i, int k) {
        return columns[static_cast<std::size_t>((k - 1) * kVectors + (i - 1))];
    }
    MapFixture(std::vector<std::pair<int, int>> now, std::vector<std::pair<int, int>> later) {
        at(1, 1) = 100;
        at(1, 2) = -100;
        at(2, 1) = 7;
        at(2, 2) = 9;
        int j = 0;
        for (std::size_t n = 0; n < now.size(); ++n) {
            const std::int64_t i = 10 + 2 * static_cast<std::int64_t>(n);
            at(i, 1) = at(1, 1) + now[n].first;
            at(i, 2) = at(1, 2) + now[n].second;
            at(i + 1, 1) = at(2, 1) + later[n].first;
            at(i + 1, 2) = at(2, 2) + later[n].second;
            nb->nbr(++j, 2) = static_cast<std::int32_t>(i);
        }
        nb->nn(2) = j;
    }
    // The map by both kernel sets; they must agree to the bit.
    MapStatus run() {
        const auto dv = std::make_unique<embedding::DelayVectors>(kVectors, columns);
        LocalMap other{};
        const MapStatus plain = estimate_local_map(
            *plain::make_covariances(), linalg::plain_matrix_kernels(), *dv, *nb, 2, 1, 1, other);
        const MapStatus fast = estimate_local_map(
            *fast::make_covariances(), linalg::fast_matrix_kernels(), *dv, *nb, 2, 1, 1, map);
        EXPECT_EQ(plain, fast);
        if (fast == MapStatus::Ok) {
            EXPECT_EQ(std::memcmp(&other.a, &map.a, sizeof map.a), 0);
        }
        return fast;
    }
};

TEST(LocalMap, DiagonalMap) {
    MapFixture f({{1, 0}, {0, 1}, {-1, 0}, {0, -1}}, {{2, 0}, {0, 3}, {-2, 0}, {0, -3}});
    ASSERT_EQ(f.run(), MapStatus::Ok);
    EXPECT_EQ(f.map.c(1, 1), 1.0);
    EXPECT_EQ(f.map.c(2, 2), 1.5);
    EXPECT_EQ(f.map.a(1, 1), 2.0);
    EXPECT_EQ(f.map.a(1, 2), 0.0);
    EXPECT_EQ(f.map.a(2, 1), 0.0);
    EXPECT_EQ(f.map.a(2, 2), 3.0);
    EXPECT_EQ(f.map.v(1, 1), 2.0);  // V replaced by its inverse, diag(0.5, 0.5)^-1
}

TEST(LocalMap, IndexOrderOfCrossCovarianceAndProduct) {
    MapFixture f({{1, 0}, {0, 1}, {-1, 0}, {0, -1}}, {{1, 1}, {0, 1}, {-1, -1}, {0, -1}});
    ASSERT_EQ(f.run(), MapStatus::Ok);
    // Row index: later displacement; column index: present displacement.
    EXPECT_EQ(f.map.c(1, 1), 0.5);
    EXPECT_EQ(f.map.c(1, 2), 0.0);
    EXPECT_EQ(f.map.c(2, 1), 0.5);
    EXPECT_EQ(f.map.c(2, 2), 0.5);
    EXPECT_EQ(f.map.a(1, 1), 1.0);
    EXPECT_EQ(f.map.a(1, 2), 0.0);
    EXPECT_EQ(f.map.a(2, 1), 1.0);
    EXPECT_EQ(f.map.a(2, 2), 1.0);
}

TEST(LocalMap, NeighboursOnOneLineGiveASingularCovariance) {
    MapFixture f({{1, 2}, {2, 4}, {-1, -2}, {3, 6}, {0, 0}},
                 {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}});
    EXPECT_EQ(f.run(), MapStatus::SingularCovariance);
}

}  // namespace
}  // namespace tarnvex::spectrum
