// Runs of series longer than the program's table: the neighbour search goes block by block,
// and a run must be the same run with either kernel set and on any number of lanes.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "engine/step_loop.hpp"
#include "support/result_compare.hpp"
#include "support/run_util.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/result_file.hpp"
#include "tarnvex/systems.hpp"
#include "textio/sink.hpp"

namespace tarnvex {
namespace {

struct Outcome {
    Result result;
    std::string file;
};

Outcome run_on_lanes(const std::vector<float>& x, const Parameters& p, int lanes) {
    const Derived d = derive(x, p);
    const auto w = std::make_unique<engine::Workspace>(x, p, lanes);
    textio::StringWriter file;
    RecordObserver records(file, nullptr, nullptr, record_layout(d.npts));
    Outcome o;
    o.result = engine::run_step_loop(x, p, d, *w, &records);
    o.file = file.text();
    return o;
}

// 300000 samples, 2000 counted steps from a start point late in the series (its neighbours
// lie in every block before it): the fast search, block by block, finds the plain scan's
// neighbours, and two or three lanes give one lane's run.
TEST(LongSeries, TheSameRunWithEitherKernelSetAndOnAnyLanes) {
    const std::vector<float> x = testing::henon_samples(300000);
    Parameters p;
    p.dims = {1, 5};
    p.ncube = 40;
    p.tmax = 2000;
    p.start = 250000;
    p.radius_pct = 1.0f;
    p.kernels = KernelSet::Fast;
    const Outcome fast = run_on_lanes(x, p, 1);
    ASSERT_TRUE(fast.result.reached_tmax);
    for (const int lanes : {2, 3}) {
        const Outcome many = run_on_lanes(x, p, lanes);
        EXPECT_EQ(first_difference(fast.result, many.result), "") << lanes << " lanes";
        EXPECT_EQ(fast.file, many.file) << lanes << " lanes";
    }
    p.kernels = KernelSet::Plain;
    const Outcome plain = run_on_lanes(x, p, 1);
    EXPECT_EQ(first_difference(fast.result, plain.result), "");
    EXPECT_EQ(fast.file, plain.file);
}

// A whole run of 400000 samples: lambda1 of the map (0.60 bits per iteration) with a
// standard error a tenth of a run of 20000, and a result file (written in the widened
// layout, which is the program's where no field overflows, as here) that reads back.
TEST(LongSeries, AWholeRunOfFourHundredThousandSamples) {
    const std::vector<float> x = testing::henon_samples(400000);
    Parameters p;
    p.dims = {2, 2};
    p.threads = 2;
    StringSink file;
    file.write(result_file_header("h.dat", "h.out", p, derive(x, p)));
    const Result r = run_writing_records(x, p, file);
    EXPECT_EQ(r.derived.npts, 400000);
    EXPECT_GT(r.counted_steps, 399000);
    const Diagnosis dx = diagnose(r);
    ASSERT_EQ(dx.figures.size(), 1u);
    EXPECT_NEAR(dx.figures[0].lambda1, 0.60, 0.02);
    ASSERT_TRUE(dx.figures[0].lambda1_trajectory_error.has_value());
    EXPECT_LT(*dx.figures[0].lambda1_trajectory_error, 0.002);
    const ResultFileContents back = parse_result_file(file.text());
    EXPECT_EQ(back.npts, 400000);
    EXPECT_EQ(back.records.size(), r.dimensions[0].reports());
    const ResultFileRecord* last = back.last_record(2);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->samples, r.dimensions[0].steps.back());
    EXPECT_NEAR(last->estimates[0], r.dimensions[0].exponents_at(r.dimensions[0].reports() - 1)[0],
                0.005);
}

}  // namespace
}  // namespace tarnvex
