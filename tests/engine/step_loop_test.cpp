// The step loop on small crafted series: warm-up, cadence, budget and the ends of a run,
// through the engine and the records of its events.

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "support/run_util.hpp"
#include "tarnvex/tarnvex.hpp"
#include "textio/reader.hpp"
#include "textio/series.hpp"
#include "textio/transcript.hpp"

namespace tarnvex {
namespace {

using textio::StringWriter;

using testing::count_of;

struct Loop {
    std::vector<float> x;
    Parameters p;
    StringWriter console;
    StringWriter result;

    // The loop over a series given as text, with the dialogue's answers as parameters.
    Loop(const std::string& series, std::int32_t ncube, std::int32_t tmax, std::int32_t mfrom,
         std::int32_t mto, std::int32_t evolv, float scalpct) {
        x = testing::samples_of(series);
        p.npts = static_cast<std::int32_t>(x.size());
        p.ncube = ncube;
        p.tmax = tmax;
        p.delay = 1;
        p.dims.from = mfrom;
        p.dims.to = mto;
        p.start = 1;
        p.dt = 1.0f;
        p.evolv = evolv;
        p.radius_pct = scalpct;
    }
    Result run() {
        RecordObserver records(result, &console);
        return tarnvex::run(x, p, &records);
    }
};

TEST(StepLoop, IterationBudget) {
    EXPECT_EQ(iteration_budget(1000, 5), 195);
    EXPECT_EQ(iteration_budget(1000, 1), 975);
    EXPECT_EQ(iteration_budget(25, 1), 0);
    EXPECT_EQ(iteration_budget(20, 1), -5);
    EXPECT_EQ(iteration_budget(20000, 3), 6658);  // 6666.67 - 8.33, truncated
    EXPECT_EQ(iteration_budget(20000, 0), 0);     // refused by the checks; no division
}

TEST(StepLoop, WarmUpThenTheEnteredEvolutionTime) {
    Loop l(testing::henon_series(1000), 30, 100000, 2, 2, 5, 2.0f);
    const Result o = l.run();
    EXPECT_EQ(o.iterations, 195);
    EXPECT_EQ(o.steps.back().iref, 26 + 5 * (195 - 26));  // 25 steps of 1, then steps of 5
    EXPECT_EQ(o.warmup_end, 25);
    const std::string& c = l.console.text();
    EXPECT_EQ(count_of(c, " evolv=           5\r\n"), 1);
    // Closing records with tmax and the final count.
    const std::string closing = " jmax=      100000  zu gross\r\n nur" +
                                std::string(12 - std::to_string(o.counted_steps).size(), ' ') +
                                std::to_string(o.counted_steps) +
                                "  pts. genuegen den bedingungen\r\n";
    ASSERT_GE(c.size(), closing.size());
    EXPECT_EQ(c.substr(c.size() - closing.size()), closing);
    // The console report of the counted steps carries nstep * evolv samples.
    EXPECT_NE(c.find("\r\n  250  2"), std::string::npos);
}

TEST(StepLoop, SmallTmaxEndsInsideTheWarmUp) {
    Loop l(testing::henon_series(1000), 30, 10, 2, 2, 1, 2.0f);
    const Result o = l.run();
    EXPECT_EQ(o.iterations, 10);
    EXPECT_EQ(o.counted_steps, 10);
    EXPECT_EQ(count_of(l.console.text(), "jmax="), 0);
    EXPECT_EQ(count_of(l.console.text(), "evolv="), 0);
    EXPECT_EQ(count_of(l.console.text(), ","), 10);  // one progress record a step
}

// The closing records follow every run that counts fewer steps than tmax, one step short
// included, and no run that reaches it.
TEST(StepLoop, ClosingRecordsExactlyWhenTmaxIsMissed) {
    Loop to_the_end(testing::henon_series(1000), 30, 100000, 2, 2, 1, 2.0f);
    const std::int64_t budget = to_the_end.run().counted_steps;
    ASSERT_GT(budget, 25);
    for (const std::int64_t tmax : {budget - 1, budget, budget + 1}) {
        Loop l(testing::henon_series(1000), 30, static_cast<std::int32_t>(tmax), 2, 2, 1, 2.0f);
        const Result o = l.run();
        const bool missed = tmax > budget;
        EXPECT_EQ(o.counted_steps, missed ? budget : tmax) << tmax;
        EXPECT_EQ(count_of(l.console.text(), " jmax="), missed ? 1 : 0) << tmax;
        EXPECT_EQ(count_of(l.console.text(), " nur"), missed ? 1 : 0) << tmax;
    }
}

TEST(StepLoop, NoIterationWithoutABudget) {
    Loop l(testing::henon_series(25), 30, 7, 2, 2, 1, 2.0f);
    const Result o = l.run();
    EXPECT_EQ(o.iterations, 0);
    EXPECT_EQ(l.console.text(),
              " \r\n jmax=           7  zu gross\r\n"
              " nur           0  pts. genuegen den bedingungen\r\n");
    EXPECT_EQ(l.result.text(), "");
}

TEST(StepLoop, ReportCadenceInIncreasingDimension) {
    Loop l(testing::henon_series(2000), 30, 150, 2, 3, 1, 2.0f);
    const Result o = l.run();
    EXPECT_EQ(o.counted_steps, 150);
    // Result file: one record per dimension at 25 of the warm-up, then at 25, 50, ... 150.
    std::istringstream lines(l.result.text());
    std::string line;
    std::vector<std::string> heads;
    while (std::getline(lines, line))
        heads.push_back(line.substr(0, 14));
    const std::vector<std::string> want{
        "     25      2", "     25      3", "     25      2", "     25      3", "     50      2",
        "     50      3", "     75      2", "     75      3", "    100      2", "    100      3",
        "    125      2", "    125      3", "    150      2", "    150      3"};
    EXPECT_EQ(heads, want);
    EXPECT_EQ(count_of(l.console.text(), "\r\n   50  2"), 1);
    EXPECT_EQ(count_of(l.console.text(), "\r\n   50  3"), 1);
    EXPECT_EQ(count_of(l.console.text(), "\r\n  100  2"), 1);
    EXPECT_EQ(count_of(l.console.text(), "\r\n   75  2"), 0);
    EXPECT_EQ(count_of(l.console.text(), "jmax="), 0);
    // Progress records only while nstep < 100 before the step: 25 + 100.
    EXPECT_EQ(count_of(l.console.text(), ",\r\n"), 125);
}

TEST(StepLoop, SingularRetriesResumeAtTheFailingDimension) {
    Loop l(testing::doubling_blocks(), 20, 100, 1, 2, 1, 0.08f);
    l.p.start = 101;
    const Result o = l.run();
    EXPECT_EQ(o.counted_steps, 100);
    const std::string& c = l.console.text();
    EXPECT_GT(count_of(c, " mtrinv: matrix singular\r\n"), 100);
    EXPECT_GT(count_of(c, " ( 1) 20,\r\n"), 0);  // the progress record again, radius grown
    // Every dimension reports once per multiple of 25, the lower one first, although
    // every step went back to the search from dimension 2.
    std::istringstream lines(l.result.text());
    std::string line;
    std::vector<std::string> heads;
    while (std::getline(lines, line))
        heads.push_back(line.substr(0, 14));
    ASSERT_GE(heads.size(), 8u);
    const std::vector<std::string> tail(heads.end() - 8, heads.end());
    const std::vector<std::string> want{"     25      1", "     25      2", "     50      1",
                                        "     50      2", "     75      1", "     75      2",
                                        "    100      1", "    100      2"};
    EXPECT_EQ(tail, want);
    EXPECT_EQ(count_of(c, "\r\n  100  1"), 1);
    EXPECT_EQ(count_of(c, "\r\n  100  2"), 1);
}

TEST(StepLoop, ConstantSeriesGivesEveryStepUp) {
    std::string series;
    for (int i = 0; i < 200; ++i)
        series += "7\n";
    Loop l(series, 10, 5, 2, 2, 1, 2.0f);
    const Result o = l.run();
    EXPECT_EQ(o.iterations, 175);
    EXPECT_EQ(o.counted_steps, 0);
    // Every step: the progress record, the singular covariance, the limit record.
    const std::string step = " ( 0) 10,\r\n mtrinv: matrix singular\r\n  - ,\r\n";
    EXPECT_EQ(count_of(l.console.text(), step), 175);
}

TEST(StepLoop, TheEndOfTheTrajectoryEndsTheLoop) {
    // istart near the end: the image of the reference point must be a built vector.
    Loop l(testing::henon_series(1000), 30, 100000, 2, 2, 1, 2.0f);
    l.p.start = 990;
    const Result o = l.run();
    EXPECT_EQ(o.iterations, 9);  // nvec = 999: the points 990..998 have an image
    EXPECT_EQ(o.steps.back().iref, 998);
}

TEST(StepLoop, DimensionOneCollectsItsOwnNeighbours) {
    // The logistic map at r = 4 has one exponent of 1 bit per iteration.
    std::string series;
    double x = 0.3;
    for (int i = 0; i < 3000; ++i) {
        x = 4.0 * x * (1.0 - x);
        series += std::to_string(static_cast<long>(x * 100000.0)) + "\n";
    }
    Loop l(series, 20, 2000, 1, 1, 1, 1.0f);
    const Result o = l.run();
    EXPECT_EQ(o.counted_steps, 2000);
    EXPECT_NEAR(o.dimension(1)->final_exponents[0], 1.0f, 0.1f);
}

}  // namespace
}  // namespace tarnvex
