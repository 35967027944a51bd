// The engine as other programs use it: the two kernel sets on whole runs, runs on several
// threads at once, and what the result holds.

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/step_loop.hpp"
#include "support/generated_runs.hpp"
#include "support/run_util.hpp"
#include "tarnvex/systems.hpp"
#include "tarnvex/tarnvex.hpp"
#include "textio/fields.hpp"
#include "textio/transcript.hpp"

namespace tarnvex {
namespace {

struct Recorded {
    Result result;
    std::string console;
    std::string file;
};

Recorded run_recorded(const std::vector<float>& x, const Parameters& p) {
    textio::StringWriter console, file;
    RecordObserver records(file, &console);
    Recorded r{run(x, p, &records), console.text(), file.text()};
    return r;
}

// Every exponent of every report point and the final ones, bit for bit.
void expect_same_numbers(const Result& a, const Result& b, const std::string& name) {
    ASSERT_EQ(a.dimensions.size(), b.dimensions.size()) << name;
    for (std::size_t d = 0; d < a.dimensions.size(); ++d) {
        const auto& x = a.dimensions[d];
        const auto& y = b.dimensions[d];
        ASSERT_EQ(x.steps, y.steps) << name;
        ASSERT_EQ(x.exponents.size(), y.exponents.size()) << name;
        EXPECT_EQ(
            std::memcmp(x.exponents.data(), y.exponents.data(), x.exponents.size() * sizeof(float)),
            0)
            << name << " dimension " << x.dimension;
        EXPECT_EQ(
            std::memcmp(x.log_sums.data(), y.log_sums.data(), x.log_sums.size() * sizeof(double)),
            0)
            << name << " dimension " << x.dimension;
        EXPECT_EQ(std::memcmp(x.final_exponents.data(), y.final_exponents.data(),
                              x.final_exponents.size() * sizeof(float)),
                  0)
            << name << " dimension " << x.dimension;
    }
    EXPECT_EQ(a.counted_steps, b.counted_steps) << name;
    EXPECT_EQ(a.covariance_retries, b.covariance_retries) << name;
    EXPECT_EQ(a.orthonormal_retries, b.orthonormal_retries) << name;
    EXPECT_EQ(a.steps_given_up, b.steps_given_up) << name;
}

struct WholeRun {
    const char* name;
    std::vector<float> x;
    Parameters p;
    // What the run must go through, so that the comparisons cover it.
    bool gives_up = false;
    bool retries = false;
    bool reaches_tmax = false;
};

std::vector<WholeRun> whole_runs() {
    std::vector<WholeRun> runs;
    const auto henon = testing::samples_of(system_series("henon", 3000));
    const auto blocks = testing::samples_of(testing::doubling_blocks());
    Parameters lorenz;  // a mid-size Lorenz run, dimensions 2 to 8, to the end of the data
    lorenz.ncube = 50;
    lorenz.delay = 5;
    lorenz.dims.from = 2;
    lorenz.dims.to = 8;
    lorenz.dt = 0.01f;
    runs.push_back({"lorenz 2:8", testing::samples_of(system_series("lorenz", 5000)), lorenz});
    Parameters low;  // Henon, dimensions 1 to 5
    low.dims.from = 1;
    low.dims.to = 5;
    runs.push_back({"henon 1:5", henon, low});
    // Singular covariances at nearly every step, retried from the failing dimension, and
    // steps given up.
    Parameters two;
    two.ncube = 20;
    two.dims.from = 1;
    two.dims.to = 2;
    two.start = 101;
    two.radius_pct = 0.08f;
    runs.push_back({"doubling blocks 1:2", blocks, two, true, true});
    Parameters four = two;  // the same through four dimensions, three samples a step
    four.dims.to = 4;
    four.evolv = 3;
    runs.push_back({"doubling blocks 1:4 evolv 3", blocks, four, true, true});
    Parameters counted;  // ended by the steps counted, three samples a step
    counted.dims.from = 1;
    counted.dims.to = 4;
    counted.evolv = 3;
    counted.radius_pct = 0.1f;
    counted.tmax = 300;
    runs.push_back({"henon tmax 300 evolv 3", henon, counted, false, false, true});
    Parameters at_switch = counted;  // ended by the last step of the warm-up
    at_switch.tmax = NWARM;
    runs.push_back({"henon tmax at the warm-up's end", henon, at_switch, false, false, true});
    return runs;
}

// The plain and the fast kernels give the same bytes and the same numbers on whole runs
// of several dimensions, retries included.
TEST(Engine, BothKernelSetsGiveTheSameRuns) {
    for (WholeRun& w : whole_runs()) {
        w.p.kernels = KernelSet::Plain;
        const Recorded plain = run_recorded(w.x, w.p);
        w.p.kernels = KernelSet::Fast;
        const Recorded fast = run_recorded(w.x, w.p);
        EXPECT_EQ(plain.console, fast.console) << w.name;
        EXPECT_EQ(plain.file, fast.file) << w.name;
        expect_same_numbers(plain.result, fast.result, w.name);
        EXPECT_GT(fast.result.counted_steps, 0) << w.name;
    }
}

// A run whose dimensions are computed by `lanes` threads, whatever the size of its steps.
Recorded run_with_lanes(const std::vector<float>& x, const Parameters& p, int lanes) {
    const Derived d = derive(x, p);
    const std::span<const float> used(x.data(), static_cast<std::size_t>(d.npts));
    const auto w = std::make_unique<engine::Workspace>(used, p, lanes);
    textio::StringWriter console, file;
    RecordObserver records(file, &console);
    Recorded r{engine::run_step_loop(used, p, d, *w, &records), console.text(), file.text()};
    return r;
}

// The dimensions of a step computed by 2 and 3 threads give the same bytes and numbers as
// the sequential loop, retries included.
TEST(Engine, ThreadsGiveTheSameRuns) {
    for (const WholeRun& w : whole_runs()) {
        const Recorded one = run_recorded(w.x, w.p);
        // Each run goes through what it is there for.
        EXPECT_EQ(one.result.steps_given_up > 0, w.gives_up) << w.name;
        EXPECT_EQ(one.result.covariance_retries + one.result.orthonormal_retries > 0, w.retries)
            << w.name;
        EXPECT_EQ(one.result.reached_tmax, w.reaches_tmax) << w.name;
        for (const int lanes : {2, 3}) {
            const Recorded many = run_with_lanes(w.x, w.p, lanes);
            EXPECT_EQ(one.console, many.console) << w.name << " " << lanes;
            EXPECT_EQ(one.file, many.file) << w.name << " " << lanes;
            expect_same_numbers(one.result, many.result, w.name);
        }
    }
    // Threads only for steps large enough to gain from them, at most one a dimension.
    Parameters p;
    p.threads = 2;
    EXPECT_EQ(engine::lanes_for(p), 1);  // dimensions 2 to 4 of 30 neighbours
    p.ncube = 200;
    p.dims.to = 20;
    EXPECT_EQ(engine::lanes_for(p), 2);
    p.threads = 64;
    EXPECT_EQ(engine::lanes_for(p), 20);  // 19 dimensions and the next step's search
    p.threads = 1;
    EXPECT_EQ(engine::lanes_for(p), 1);
}

// Two different runs at once on two threads give the bits they give one after the other:
// a run keeps no state outside its own objects.
TEST(Engine, ConcurrentRunsGiveTheSameBits) {
    std::vector<WholeRun> runs = whole_runs();
    runs.resize(2);
    runs[0].p.tmax = 1500;
    std::vector<Result> alone;
    for (const WholeRun& w : runs)
        alone.push_back(run(w.x, w.p));
    std::vector<Result> together(runs.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < runs.size(); ++i)
        threads.emplace_back([&, i] { together[i] = run(runs[i].x, runs[i].p); });
    for (auto& t : threads)
        t.join();
    for (std::size_t i = 0; i < runs.size(); ++i)
        expect_same_numbers(alone[i], together[i], runs[i].name);
}

// A result's parameters start the same run again: the same records and numbers, whatever
// the parameters were (generated runs with every kind of edge).
TEST(Engine, AResultsParametersRestartTheSameRun) {
    for (std::uint64_t seed = 1; seed <= 20; ++seed) {
        const testing::GeneratedRun g = testing::generated_run(seed);
        const Recorded first = run_recorded(g.x, g.p);
        EXPECT_EQ(first.result.parameters, g.p) << g.describe();
        const Recorded again = run_recorded(g.x, first.result.parameters);
        EXPECT_EQ(again.console, first.console) << g.describe();
        EXPECT_EQ(again.file, first.file) << g.describe();
        expect_same_numbers(first.result, again.result, g.describe());
    }
}

// The result's report points are the records of the result file, unrounded: formatted as
// the file formats them they give the file.
TEST(Engine, ReportPointsAreTheResultFileRecords) {
    Parameters p;
    p.dims.from = 2;
    p.dims.to = 3;
    p.tmax = 500;
    const auto x = testing::samples_of(system_series("henon", 3000));
    const Recorded r = run_recorded(x, p);
    std::string file;
    std::vector<std::pair<std::int64_t, std::string>> lines;  // by position in the file
    for (const auto& d : r.result.dimensions) {
        for (std::size_t k = 0; k < d.reports(); ++k) {
            std::string line;
            textio::append_int_field(line, d.samples[k], 7);
            textio::append_int_field(line, d.dimension, 7);
            for (const float v : d.exponents_at(k))
                textio::append_fixed_field(line, v, 10, 2);
            lines.push_back({static_cast<std::int64_t>(2 * k + (d.dimension - 2)), line + "\r\n"});
        }
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& [at, line] : lines)
        file += line;
    EXPECT_EQ(file, r.file);
    // One warm-up point at 25, then every 25 counted steps to 500.
    const DimensionEstimates& d2 = *r.result.dimension(2);
    ASSERT_EQ(d2.reports(), 21u);
    EXPECT_EQ(d2.warmup[0], 1);
    EXPECT_EQ(d2.warmup[1], 0);
    EXPECT_EQ(d2.steps.back(), 500);
    EXPECT_EQ(d2.final_steps, 500);
    // The estimate is the log sum over counted steps times ln 2 times dt, in bits.
    const double want = d2.log_sums.back() / (500.0 * static_cast<double>(0.6931472f));
    EXPECT_EQ(d2.exponents.back(), static_cast<float>(want));
    EXPECT_EQ(std::memcmp(d2.final_exponents.data(), d2.exponents_at(20).data(), 2 * sizeof(float)),
              0);
    EXPECT_TRUE(r.result.reached_tmax);
    EXPECT_EQ(r.result.warmup_end, 25);
    EXPECT_EQ(r.result.iterations, 525);
    EXPECT_EQ(r.result.steps.size(), 525u);
}

// Retries, steps given up and the facts of the series, against what the records show.
TEST(Engine, CountsAndFactsOfARun) {
    for (WholeRun& w : whole_runs()) {
        const Recorded r = run_recorded(w.x, w.p);
        const Result& res = r.result;
        const int limit_records = testing::count_of(r.console, "  - ,\r\n");
        const int factor = testing::count_of(r.console, " householder: mtrinv:");
        EXPECT_EQ(res.steps_given_up, limit_records) << w.name;
        EXPECT_EQ(res.covariance_retries,
                  testing::count_of(r.console, " mtrinv: matrix singular\r\n") - factor)
            << w.name;
        EXPECT_EQ(res.orthonormal_retries, testing::count_of(r.console, " householder:")) << w.name;
        std::int64_t by_dimension = 0, by_step = 0, given_up = 0;
        for (const auto& pair : res.retries_by_dimension)
            by_dimension += pair[0] + pair[1];
        for (const StepRecord& s : res.steps) {
            by_step += s.covariance_retries + s.orthonormal_retries;
            given_up += s.outcome == StepOutcome::GivenUp;
        }
        EXPECT_EQ(by_dimension, res.covariance_retries + res.orthonormal_retries) << w.name;
        EXPECT_EQ(by_step, by_dimension) << w.name;
        EXPECT_EQ(given_up, res.steps_given_up) << w.name;
        EXPECT_EQ(res.retries.size(), static_cast<std::size_t>(by_dimension)) << w.name;
        EXPECT_EQ(res.series.samples_used, static_cast<std::int32_t>(w.x.size())) << w.name;
    }
    // The doubling blocks: every retry at dimension 2, the covariance singular; 40 blocks of
    // ten doublings of 5000..5039 give 400 distinct integers from 5000 to 5039 * 512.
    const WholeRun blocks = whole_runs()[2];
    const Result res = run(blocks.x, blocks.p);
    EXPECT_GT(res.covariance_retries, 100);
    EXPECT_EQ(res.retries_by_dimension[2][0], res.covariance_retries);
    EXPECT_EQ(res.retries.front().dimension, 2);
    EXPECT_EQ(res.retries.front().kind, Singular::Covariance);
    EXPECT_EQ(res.series.int_min, 5000);
    EXPECT_EQ(res.series.int_max, 5039 * 512);
    EXPECT_EQ(res.series.distinct_integers, 400);
}

// A run that counts no step returns normally and says so.
TEST(Engine, NoStepCounted) {
    Parameters p;
    p.dims.to = 2;
    const auto x = testing::samples_of(system_series("henon", 50));
    const Result r = run(x, p);  // 25 warm-up iterations, then the budget is spent
    EXPECT_EQ(r.iterations, 25);
    EXPECT_EQ(r.counted_steps, 0);
    EXPECT_FALSE(r.reached_tmax);
    EXPECT_EQ(r.derived.tmax, 25);
    // Refused parameters come back as an error with the program's message.
    p.dims.to = 21;
    try {
        (void)run(x, p);
        ADD_FAILURE() << "not refused";
    } catch (const ParameterError& e) {
        EXPECT_EQ(e.reason(), Refusal::DimensionTooHigh);
        EXPECT_STREQ(e.what(), " emb dim. too high !!");
    }
}

// The observer sees every search and iteration; a progress bar can follow a run.
TEST(Engine, ObserverSeesEveryIteration) {
    struct Counter : Observer {
        std::int64_t searches = 0, iterations = 0, last = 0, planned = 0;
        void search_accepted(const SearchEvent&) override { ++searches; }
        void iteration_done(std::int64_t i, std::int64_t n) override {
            ++iterations;
            last = i;
            planned = n;
        }
    } counter;
    Parameters p;
    p.dims.to = 2;
    const auto x = testing::samples_of(system_series("henon", 1000));
    const Result r = run(x, p, &counter);
    EXPECT_EQ(counter.iterations, r.iterations);
    EXPECT_EQ(counter.last, r.iterations);
    EXPECT_EQ(counter.planned, 975);
    EXPECT_EQ(counter.searches,
              r.iterations - r.steps_given_up + r.covariance_retries + r.orthonormal_retries);
}

// An observer stops a run by throwing: the exception leaves run(), and the next run is whole.
TEST(Engine, AnObserverMayStopARun) {
    struct Stop : Observer {
        void iteration_done(std::int64_t i, std::int64_t) override {
            if (i == 10) throw std::runtime_error("stopped");
        }
    } stop;
    Parameters p;
    p.dims.to = 2;
    const auto x = testing::samples_of(system_series("henon", 1000));
    EXPECT_THROW((void)run(x, p, &stop), std::runtime_error);
    const Result after = run(x, p);
    EXPECT_EQ(after.iterations, 975);
    expect_same_numbers(after, run(x, p), "after a stop");
    // With threads: the throw leaves the pool's threads to be joined, nothing running.
    const Derived d = derive(x, p);
    const std::span<const float> used(x.data(), static_cast<std::size_t>(d.npts));
    const auto w = std::make_unique<engine::Workspace>(used, p, 3);
    EXPECT_THROW((void)engine::run_step_loop(used, p, d, *w, &stop), std::runtime_error);
}

}  // namespace
}  // namespace tarnvex
