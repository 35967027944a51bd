// The runs of a page's analysis, each timed.

#include <algorithm>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <utility>

#include "tarnvex/report.hpp"

namespace tarnvex {

namespace {

// Runs `work` and notes how long it took under `part`.
template <class Work>
void timed(std::vector<ReportTiming>& timings, std::string part, Work&& work) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    timings.push_back({std::move(part), took.count()});
}

}  // namespace

Analysis analyse(std::vector<float> samples, const ReportRequest& request, ReportSource source) {
    Analysis a;
    a.source = std::move(source);
    a.request = request;
    a.samples = std::move(samples);
    const Parameters& p = request.parameters;
    const std::size_t used =
        std::min(a.samples.size(), static_cast<std::size_t>(std::max<std::int32_t>(p.npts, 0)));
    const std::span<const float> x = std::span<const float>(a.samples).first(used);

    timed(a.timings, "the run", [&] { a.result = run(a.samples, p); });
    const bool counted = a.result.counted_steps > 0;
    Probes probes;
    if (!request.quick && counted) {
        timed(a.timings, "the runs at half the radius and of the reversed series",
              [&] { probes = probe(a.samples, p); });
    }
    a.diagnosis = diagnose(a.result, &probes);
    a.steps = step_figures(a.result);

    if (used >= 8) {
        timed(a.timings, "the delay suggestion", [&] {
            const std::vector<double> v(x.begin(), x.end());
            a.delay = suggest_delay(v);
        });
    }
    // Cao's statistics at the run's own delay: they judge the embedding the run used.
    const int cao_delay = std::max<int>(1, p.delay);
    const int max_dim = std::clamp<int>(p.dims.to + 2, 10, kMaxDimension);
    a.cao_samples = static_cast<int>(std::min(used, kReportCaoSamples));
    if (static_cast<std::int64_t>(a.cao_samples) > std::int64_t{max_dim} * cao_delay + 1) {
        timed(a.timings, "Cao's statistics", [&] {
            const std::vector<float> v(x.begin(), x.end());
            a.cao = cao_dimension(v, cao_delay, max_dim, kReportCaoSamples);
        });
    }

    if (request.surrogates <= 0) {
        a.surrogates_note = "no surrogate test was asked for (--surrogates N, surrogates=N)";
    } else if (!counted) {
        a.surrogates_note = "no surrogate test: the run of the data counted no step";
    } else if (used < thresholds::kMinSurrogateSamples) {
        a.surrogates_note = "no surrogate test: the series is too short (" + std::to_string(used) +
                            " samples, at least " +
                            std::to_string(thresholds::kMinSurrogateSamples) + " needed)";
    } else {
        timed(a.timings, "the surrogate test (" + std::to_string(request.surrogates) + " runs)",
              [&] {
                  a.surrogates = surrogate_test(a.samples, p, request.surrogates, request.seed,
                                                std::max(1, request.jobs));
              });
    }
    return a;
}

std::string utc_now_text() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return buf;
}

}  // namespace tarnvex
