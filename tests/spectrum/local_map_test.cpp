#include "spectrum/local_map.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tarnvex::spectrum {
namespace {

using textio::StringWriter;

// Neighbours of reference vector `iref` with given present and later displacements in
// two coordinates; the successor of every vector is the next one (evolv = 1).
struct MapFixture {
    std::unique_ptr<embedding::DelayVectors> dv = std::make_unique<embedding::DelayVectors>();
    std::unique_ptr<embedding::Neighbourhoods> nb = std::make_unique<embedding::Neighbourhoods>();
    std::unique_ptr<LocalMapScratch> s = std::make_unique<LocalMapScratch>();
    StringWriter console;

    MapFixture(std::vector<std::pair<int, int>> now, std::vector<std::pair<int, int>> later) {
        const std::int64_t iref = 1;
        dv->iy(1, 1) = 100;
        dv->iy(1, 2) = -100;
        dv->iy(2, 1) = 7;
        dv->iy(2, 2) = 9;
        int j = 0;
        for (std::size_t n = 0; n < now.size(); ++n) {
            const std::int64_t i = 10 + 2 * static_cast<std::int64_t>(n);
            dv->iy(i, 1) = dv->iy(iref, 1) + now[n].first;
            dv->iy(i, 2) = dv->iy(iref, 2) + now[n].second;
            dv->iy(i + 1, 1) = dv->iy(iref + 1, 1) + later[n].first;
            dv->iy(i + 1, 2) = dv->iy(iref + 1, 2) + later[n].second;
            nb->nbr(++j, 2) = static_cast<std::int32_t>(i);
        }
        nb->nn(2) = j;
    }
    int run() {
        dv->nvec = 30;
        embedding::index_vectors(*dv);
        return estimate_local_map(*dv, *nb, 2, 1, 1, *s, console);
    }
};

TEST(LocalMap, DiagonalMap) {
    MapFixture f({{1, 0}, {0, 1}, {-1, 0}, {0, -1}}, {{2, 0}, {0, 3}, {-2, 0}, {0, -3}});
    ASSERT_EQ(f.run(), 0);
    EXPECT_EQ(f.s->c(1, 1), 1.0);
    EXPECT_EQ(f.s->c(2, 2), 1.5);
    EXPECT_EQ(f.s->a(1, 1), 2.0);
    EXPECT_EQ(f.s->a(1, 2), 0.0);
    EXPECT_EQ(f.s->a(2, 1), 0.0);
    EXPECT_EQ(f.s->a(2, 2), 3.0);
    EXPECT_EQ(f.s->v(1, 1), 2.0);  // V replaced by its inverse, diag(0.5, 0.5)^-1
}

TEST(LocalMap, IndexOrderOfCrossCovarianceAndProduct) {
    MapFixture f({{1, 0}, {0, 1}, {-1, 0}, {0, -1}}, {{1, 1}, {0, 1}, {-1, -1}, {0, -1}});
    ASSERT_EQ(f.run(), 0);
    // Row index: later displacement; column index: present displacement.
    EXPECT_EQ(f.s->c(1, 1), 0.5);
    EXPECT_EQ(f.s->c(1, 2), 0.0);
    EXPECT_EQ(f.s->c(2, 1), 0.5);
    EXPECT_EQ(f.s->c(2, 2), 0.5);
    EXPECT_EQ(f.s->a(1, 1), 1.0);
    EXPECT_EQ(f.s->a(1, 2), 0.0);
    EXPECT_EQ(f.s->a(2, 1), 1.0);
    EXPECT_EQ(f.s->a(2, 2), 1.0);
}

TEST(LocalMap, NeighboursOnOneLineGiveASingularCovariance) {
    MapFixture f({{1, 2}, {2, 4}, {-1, -2}, {3, 6}, {0, 0}},
                 {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}});
    EXPECT_EQ(f.run(), 1);
    EXPECT_EQ(f.console.text(), " mtrinv: matrix singular\r\n");
}

}  // namespace
}  // namespace tarnvex::spectrum
