// Threads against one thread over generated runs: a run whose dimensions are computed on
// several lanes (with the next step's search beside them) must write the same records and
// give the same result, bit for bit, as the same run on one lane. The lanes are forced, so
// that runs too small for threads in a normal call are compared too. A failure names its
// seed; TARNVEX_DIFF_SEED moves the set.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "engine/step_loop.hpp"
#include "support/generated_runs.hpp"
#include "support/result_compare.hpp"
#include "textio/sink.hpp"
#include "textio/transcript.hpp"

namespace tarnvex {
namespace {

// The optimised builds compare many runs; the sanitizer and debug builds, ten times
// slower, a sixth of them.
#ifdef NDEBUG
constexpr int kRuns = 240;
#else
constexpr int kRuns = 40;
#endif

struct Outcome {
    Result result;
    std::string console;
    std::string file;
};

Outcome run_on_lanes(const testing::GeneratedRun& g, int lanes) {
    const Derived d = derive(g.x, g.p);
    const auto used = std::span<const float>(g.x).first(static_cast<std::size_t>(d.npts));
    const auto w = std::make_unique<engine::Workspace>(used, g.p, lanes);
    textio::StringWriter console;
    textio::StringWriter file;
    RecordObserver records(file, &console);
    Outcome o;
    o.result = engine::run_step_loop(used, g.p, d, *w, &records);
    o.console = console.text();
    o.file = file.text();
    return o;
}

std::uint64_t first_seed() {
    const char* s = std::getenv("TARNVEX_DIFF_SEED");
    return s != nullptr ? std::strtoull(s, nullptr, 10) : 1;
}

TEST(ThreadsDifferential, EveryGeneratedRunTheSameOnEveryLaneCount) {
    const std::uint64_t from = first_seed();
    struct Reached {
        int counted = 0, given_up = 0, retried = 0, inside_warmup = 0, after_warmup = 0;
        int evolv_above_one = 0;
    } reached;
    for (std::uint64_t seed = from; seed < from + kRuns; ++seed) {
        const testing::GeneratedRun g = testing::generated_run(seed);
        ASSERT_EQ(check(g.x, g.p), "") << g.describe();
        const int lanes = 2 + static_cast<int>(seed % 3);
        const Outcome one = run_on_lanes(g, 1);
        const Outcome many = run_on_lanes(g, lanes);
        const Result& r = one.result;
        EXPECT_EQ(one.console, many.console) << g.describe() << ", " << lanes << " lanes";
        EXPECT_EQ(one.file, many.file) << g.describe() << ", " << lanes << " lanes";
        EXPECT_EQ(first_difference(r, many.result), "")
            << g.describe() << ", " << lanes << " lanes";
        if (::testing::Test::HasFailure()) return;  // the first failing seed is enough
        reached.counted += r.counted_steps > 0;
        reached.given_up += r.steps_given_up > 0;
        reached.retried += r.covariance_retries + r.orthonormal_retries > 0;
        reached.inside_warmup += r.iterations > 0 && r.warmup_end == 0;
        reached.after_warmup += r.warmup_end > 0 && r.iterations - r.warmup_end <= 3;
        reached.evolv_above_one += g.p.evolv > 1 && r.warmup_end > 0;
    }
    // The runs reach the edges they are drawn toward; a generator that drifted away from
    // them would make this test pass on nothing.
    EXPECT_GE(reached.counted, kRuns / 4);
    EXPECT_GE(reached.given_up, kRuns / 10);
    EXPECT_GE(reached.retried, kRuns / 20);
    EXPECT_GE(reached.inside_warmup, kRuns / 10);
    EXPECT_GE(reached.after_warmup, kRuns / 40);
    EXPECT_GE(reached.evolv_above_one, kRuns / 10);
}

}  // namespace
}  // namespace tarnvex
