#include "embedding/neighbours.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "embedding/delay_vectors.hpp"

namespace tarnvex::embedding {
namespace {

// A table of nvec vectors, every coordinate far from every other vector's, so that only
// the vectors a test places near the reference point can qualify. Every search runs with
// both kernel sets, which must agree in everything they leave.
struct Fixture {
    std::int64_t nvec;
    std::vector<std::int32_t> columns;
    std::unique_ptr<Neighbourhoods> nb = std::make_unique<Neighbourhoods>();

    Fixture(std::int64_t n, int mto) : nvec(n), columns(static_cast<std::size_t>(n * mto)) {
        for (std::int64_t i = 1; i <= nvec; ++i) {
            for (int k = 1; k <= mto; ++k)
                at(i, k) = static_cast<std::int32_t>(1000000 * i);
        }
    }
    std::int32_t& at(std::int64_t i, int k) {
        return columns[static_cast<std::size_t>((k - 1) * nvec + (i - 1))];
    }
    // Vector j at the given offsets from vector iref.
    void place(std::int64_t j, std::int64_t iref, std::vector<int> offsets) {
        for (std::size_t k = 0; k < offsets.size(); ++k) {
            const int kk = static_cast<int>(k) + 1;
            at(j, kk) = at(iref, kk) + offsets[k];
        }
    }
    SearchResult search(std::int64_t iref, int ncube, int mto, float scalmx, SearchState& s,
                        std::int64_t nlast = -1) {
        s.scalmx = scalmx;
        const SearchParams p{ncube, mto, nlast < 0 ? nvec : nlast, scalmx};
        const auto dv = std::make_unique<DelayVectors>(nvec, columns);
        const auto other = std::make_unique<Neighbourhoods>();
        SearchState t = s;
        nb->clear();
        const SearchResult plain = plain::make_search(*dv)->find(p, iref, t, *other);
        const SearchState before = s;
        SearchResult result = plain;
        // The fast search as a run chooses it, then in blocks of other sizes, by the first
        // coordinate and through a tree (a long series is searched so): all leave what
        // the plain scan leaves.
        for (const std::size_t block :
             {std::size_t{0}, std::size_t{1}, std::size_t{3}, std::size_t{64}, std::size_t{500}})
            for (const std::optional<bool> tree :
                 {std::optional<bool>(), std::optional<bool>(true), std::optional<bool>(false)}) {
                if (block == 0 && tree.has_value()) continue;
                SCOPED_TRACE(testing::Message() << "blocks of " << block << ", tree "
                                                << (tree ? (*tree ? "on" : "off") : "chosen"));
                SearchState u = before;
                const auto fast_search = fast::make_search(*dv, block, tree);
                const auto own = std::make_unique<Neighbourhoods>();
                Neighbourhoods& into = block == 0 ? *nb : *own;
                const SearchResult r = fast_search->find(p, iref, u, into);
                EXPECT_EQ(r, plain);
                EXPECT_EQ(u.ngrow, t.ngrow);
                EXPECT_EQ(u.mlow, t.mlow);
                EXPECT_EQ(u.scalmx, t.scalmx);
                EXPECT_EQ(into.counts(), other->counts());
                for (int k = 1; k <= mto; ++k) {
                    for (int j = 1; j <= into.nn(k); ++j)
                        EXPECT_EQ(into.nbr(j, k), other->nbr(j, k));
                }
                EXPECT_TRUE(fast::marks_clear(*fast_search));
                if (block == 0) {
                    s = u;
                    result = r;
                }
            }
        return result;
    }
    std::vector<std::int32_t> list(int k) const {
        std::vector<std::int32_t> v;
        for (int j = 1; j <= nb->nn(k); ++j)
            v.push_back(nb->nbr(j, k));
        return v;
    }
};

TEST(NeighbourSearch, TemporalExclusionAndRadiusBoundary) {
    Fixture f(200, 3);
    const std::int64_t iref = 100;
    // Identical vectors at 29, 30, 31 samples on both sides; one at exactly the radius.
    for (std::int64_t j : {69, 70, 71, 129, 130, 131})
        f.place(j, iref, {0, 0, 0});
    f.place(150, iref, {5, -5, 0});  // distance 5 = radius
    f.place(160, iref, {0, 6, 0});   // distance 6 > radius
    SearchState s{0, 0, 2};
    ASSERT_EQ(f.search(iref, 5, 3, 5.9f, s), SearchResult::Accepted);
    EXPECT_EQ(s.ngrow, 0);
    const std::vector<std::int32_t> want{69, 70, 130, 131, 150};
    EXPECT_EQ(f.list(2), want);
    EXPECT_EQ(f.list(3), want);
    EXPECT_EQ(f.nb->nn(1), 0);  // dimension 1 is not counted from mlow = 2
}

TEST(NeighbourSearch, RunningMaximumStopsAtTheFirstExcess) {
    Fixture f(300, 4);
    const std::int64_t iref = 150;
    // Eight candidates within the radius in coordinates 1..3; the last four of them fail
    // in coordinate 4.
    for (std::int64_t j = 1; j <= 8; ++j)
        f.place(j, iref, {1, -1, 2, j > 4 ? 50 : 0});
    for (std::int64_t j = 200; j < 208; ++j)
        f.place(j, iref, {0, 0, 0, 0});
    SearchState s{0, 0, 2};
    ASSERT_EQ(f.search(iref, 30, 4, 2.0f, s), SearchResult::Accepted);
    EXPECT_EQ(f.nb->nn(2), 16);
    EXPECT_EQ(f.nb->nn(3), 16);
    EXPECT_EQ(f.nb->nn(4), 12);
    EXPECT_EQ(f.list(4).front(), 1);
    EXPECT_EQ(f.list(4)[4], 200);
}

TEST(NeighbourSearch, FullDimensionsAndTheCountCheck) {
    {
        // ncube = 10 and 25 qualifying for dimension 2, of which only every other one
        // qualifies for dimension 3.
        Fixture f(400, 3);
        const std::int64_t iref = 300;
        for (std::int64_t j = 1; j <= 25; ++j)
            f.place(j, iref, {0, 0, j % 2 == 0 ? 0 : 9});
        SearchState s{0, 0, 2};
        ASSERT_EQ(f.search(iref, 10, 3, 1.0f, s), SearchResult::Accepted);
        EXPECT_EQ(f.list(2), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
        EXPECT_EQ(f.list(3), (std::vector<std::int32_t>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20}));
        EXPECT_EQ(s.mlow, 4);
    }
    {
        // Dimension 6 with ncube = 10 needs all 10 (2 * 6 = 12 > 10): 9 are not enough.
        Fixture f(400, 6);
        const std::int64_t iref = 300;
        for (std::int64_t j = 1; j <= 10; ++j)
            f.place(j, iref, {0, 0, 0, 0, 0, j == 10 ? 9 : 0});
        SearchState s{0, 0, 2};
        ASSERT_EQ(f.search(iref, 10, 6, 1.0f, s), SearchResult::Accepted);
        EXPECT_GT(s.ngrow, 0);  // the radius had to grow until the tenth qualified
        EXPECT_EQ(f.nb->nn(6), 10);

        Fixture g(400, 6);
        for (std::int64_t j = 1; j <= 10; ++j)
            g.place(j, iref, {0, 0, 0, 0, 0, 0});
        SearchState t{0, 0, 2};
        ASSERT_EQ(g.search(iref, 10, 6, 1.0f, t), SearchResult::Accepted);
        EXPECT_EQ(t.ngrow, 0);
    }
}

TEST(NeighbourSearch, RadiusOfARealValue) {
    EXPECT_EQ(radius_of(0.9f), 0);
    EXPECT_EQ(radius_of(-0.9f), 0);
    EXPECT_EQ(radius_of(290.0390625f), 290);
    EXPECT_EQ(radius_of(2147483520.0f), 2147483520);
    EXPECT_EQ(radius_of(2147483648.0f), -2147483647 - 1);
    EXPECT_EQ(radius_of(std::nanf("")), -2147483647 - 1);

    // scalmx = 0.9: only candidates equal to the reference point qualify.
    Fixture f(200, 2);
    for (std::int64_t j = 1; j <= 4; ++j)
        f.place(j, 100, {0, 0});
    f.place(5, 100, {0, 1});
    SearchState s{0, 0, 2};
    ASSERT_EQ(f.search(100, 4, 2, 0.9f, s), SearchResult::Accepted);
    EXPECT_EQ(f.list(2), (std::vector<std::int32_t>{1, 2, 3, 4}));
}

TEST(NeighbourSearch, RadiusGrowthAndTheLimit) {
    SearchState s{100.0f, 0, 2};
    const float want[] = {112.5f, 140.625f, 193.359375f, 290.0390625f};
    for (float w : want) {
        grow_radius(s);
        EXPECT_EQ(s.scalmx, w);
    }
    EXPECT_EQ(s.ngrow, 4);

    // The radius after 15 and after 16 enlargements from 10.
    SearchState g{10.0f, 0, 2};
    for (int i = 0; i < 15; ++i)
        grow_radius(g);
    const std::int32_t r15 = radius_of(g.scalmx);
    grow_radius(g);
    const std::int32_t r16 = radius_of(g.scalmx);
    ASSERT_LT(r15, r16);

    // Four neighbours just beyond the 15th radius: accepted after the 16th enlargement.
    Fixture f(200, 2);
    for (std::int64_t j = 1; j <= 4; ++j)
        f.place(j, 100, {0, r15 + 1});
    SearchState a{0, 0, 2};
    EXPECT_EQ(f.search(100, 30, 2, 10.0f, a), SearchResult::Accepted);
    EXPECT_EQ(a.ngrow, 16);

    // Just beyond the 16th radius: a seventeenth shortfall gives the step up.
    Fixture h(200, 2);
    for (std::int64_t j = 1; j <= 4; ++j)
        h.place(j, 100, {0, r16 + 1});
    SearchState b{0, 0, 2};
    EXPECT_EQ(h.search(100, 30, 2, 10.0f, b), SearchResult::GivenUp);
    EXPECT_EQ(b.ngrow, 17);
    EXPECT_EQ(b.scalmx, 10.0f);
}

TEST(NeighbourSearch, DimensionOneAndTheCandidateRange) {
    Fixture f(200, 2);
    for (std::int64_t j : {1, 2, 3})
        f.place(j, 100, {0, 0});
    f.place(4, 100, {0, 50});  // a neighbour in dimension 1 only
    f.place(199, 100, {0, 0});
    f.place(200, 100, {0, 0});
    SearchState s{0, 0, 1};
    ASSERT_EQ(f.search(100, 30, 2, 1.0f, s, 199), SearchResult::Accepted);
    EXPECT_EQ(f.list(1), (std::vector<std::int32_t>{1, 2, 3, 4, 199}));
    EXPECT_EQ(f.list(2), (std::vector<std::int32_t>{1, 2, 3, 199}));  // 200 is out of range
}

TEST(NeighbourSearch, AgreesWithABruteForceScan) {
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> coord(-40, 40);
    for (int trial = 0; trial < 20; ++trial) {
        const int mto = 1 + trial % 6;
        const int ncube = 5 + 7 * (trial % 4);
        Fixture f(600, mto);
        for (std::int64_t i = 1; i <= 600; ++i) {
            for (int k = 1; k <= mto; ++k)
                f.at(i, k) = coord(gen);
        }
        const std::int64_t iref = 50 + 25 * trial;
        SearchState s{0, 0, 1};
        ASSERT_EQ(f.search(iref, ncube, mto, 30.0f, s), SearchResult::Accepted);
        ASSERT_EQ(s.ngrow, 0);
        for (int k = 1; k <= mto; ++k) {
            std::vector<std::int32_t> want;
            for (std::int64_t j = 1; j <= 600 && static_cast<int>(want.size()) < ncube; ++j) {
                if (std::llabs(j - iref) < NEXCL) continue;
                long long d = 0;
                for (int c = 1; c <= k; ++c) {
                    d = std::max(d, std::llabs(std::int64_t{f.at(j, c)} - f.at(iref, c)));
                }
                if (d <= 30) want.push_back(static_cast<std::int32_t>(j));
            }
            EXPECT_EQ(f.list(k), want) << "trial " << trial << " dimension " << k;
        }
    }
}

// Long tables, searched in blocks as a run of a long series searches them: a random walk
// (neighbours far apart in time), noise on a few integers (ties everywhere), and noise in
// a narrow band with rare outliers; reference points at both ends and inside; radii from
// below every distance (the step given up) to beyond the 32-bit range (nothing qualifies).
TEST(NeighbourSearch, ALongSeriesSearchedInBlocksFindsThePlainScansNeighbours) {
    std::mt19937 gen(11);
    const std::int64_t n = fast::kWholeSearchUpTo + 9000;
    for (int trial = 0; trial < 9; ++trial) {
        SCOPED_TRACE(testing::Message() << "trial " << trial);
        const int mto = 1 + (trial * 3) % 8;
        const int ncube = trial % 3 == 0 ? 1 : 4 + 13 * (trial % 4);
        const int delay = 1 + trial % 3;
        std::vector<std::int32_t> series(static_cast<std::size_t>(n + mto * delay));
        std::int32_t walk = 0;
        std::uniform_int_distribution<int> step(-3, 3), few(0, 4), band(-60, 60), rare(0, 999);
        for (auto& v : series) {
            if (trial % 3 == 0) {
                walk += step(gen);
                v = walk;
            } else if (trial % 3 == 1) {
                v = few(gen);
            } else {
                v = rare(gen) == 0 ? 2000000000 : band(gen);
            }
        }
        Fixture f(n, mto);
        for (std::int64_t i = 1; i <= n; ++i) {
            for (int k = 1; k <= mto; ++k)
                f.at(i, k) = series[static_cast<std::size_t>(i - 1 + (k - 1) * delay)];
        }
        const float radius[] = {0.5f, 3.0f, 40.0f, 3.0e9f};
        const std::int64_t irefs[] = {1, 29, n / 2, n - 40, n};
        for (const std::int64_t iref : irefs) {
            const float scalmx = radius[static_cast<std::size_t>(iref % 4)];
            SearchState s{0, 0, mto == 1 || iref % 2 == 1 ? 1 : 2};  // dimension 1 too
            f.search(iref, ncube, mto, scalmx, s, n - 1 - trial);
        }
    }
}

TEST(DelayEmbedding, VectorsFromTruncatedSamples) {
    std::vector<float> x(100);
    for (int i = 0; i < 100; ++i)
        x[static_cast<std::size_t>(i)] = static_cast<float>(i + 1) + 0.9f;
    x[0] = -2.9f;
    x[1] = 0.5f;
    x[2] = -0.5f;
    auto dv = std::make_unique<DelayVectors>(x, 100, 3, 4);
    EXPECT_EQ(dv->nvec(), 91);
    EXPECT_EQ(dv->iy(91, 1), 91);
    EXPECT_EQ(dv->iy(91, 2), 94);
    EXPECT_EQ(dv->iy(91, 4), 100);
    EXPECT_EQ(dv->iy(1, 1), -2);
    EXPECT_EQ(dv->iy(2, 1), 0);
    EXPECT_EQ(dv->iy(3, 1), 0);
    EXPECT_EQ(dv->dimensions(), 4);  // sized by the run: the vectors and coordinates built
    EXPECT_EQ(dv->row(91)[3], 100);
    EXPECT_EQ(dv->row(91)[4], 0);  // the row copy holds zero beyond the built coordinates
    dv = std::make_unique<DelayVectors>(x, 100, 0, 3);
    EXPECT_EQ(dv->iy(5, 1), dv->iy(5, 3));
    dv = std::make_unique<DelayVectors>(x, 10, 5, 3);  // the window does not fit
    EXPECT_EQ(dv->nvec(), 0);
    EXPECT_FALSE(dv->lowest() < 0 || dv->highest() > 0);  // an empty table spans only zero
}

}  // namespace
}  // namespace tarnvex::embedding
