#include "engine/step_loop.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "convert.hpp"
#include "engine/dimension_pool.hpp"
#include "limits.hpp"

namespace tarnvex::engine {

namespace {

const linalg::MatrixKernels& matrix_kernels(KernelSet set) {
    return set == KernelSet::Plain ? linalg::plain_matrix_kernels() : linalg::fast_matrix_kernels();
}

// Keeps the result of a run as its events happen and hands them on to the caller's
// observer. Every table is sized before the loop; nothing is allocated inside it.
class Recorder {
  public:
    Recorder(Result& r, Observer* user, const Parameters& p, const Derived& d)
        : r_(r), user_(user) {
        const auto ntrip = static_cast<std::size_t>(std::max<std::int64_t>(d.ntrip, 0));
        r_.steps.reserve(ntrip);
        r_.retries.reserve(kRetryLogCapacity);
        r_.retries_by_dimension.assign(static_cast<std::size_t>(p.dims.to) + 1, {0, 0});
        // One report point in the warm-up at most, then one every kReportEvery steps of the
        // iterations after it.
        const std::size_t points =
            2 + static_cast<std::size_t>(std::max<std::int64_t>(d.ntrip - NWARM, 0)) / kReportEvery;
        for (int m = p.dims.from; m <= p.dims.to; ++m) {
            DimensionEstimates e;
            e.dimension = m;
            const auto um = static_cast<std::size_t>(m);
            e.steps.reserve(points);
            e.samples.reserve(points);
            e.warmup.reserve(points);
            e.exponents.reserve(points * um);
            e.log_sums.reserve(points * um);
            e.final_exponents.assign(um, 0.0f);
            r_.dimensions.push_back(std::move(e));
        }
        first_dimension_ = p.dims.from;
    }

    void loop_started(std::int64_t ntrip) {
        if (user_ != nullptr) user_->loop_started(ntrip);
    }
    void begin_iteration(std::int64_t iref) {
        StepRecord s;
        s.iref = static_cast<std::int32_t>(iref);
        r_.steps.push_back(s);
    }
    void search_accepted(const SearchEvent& e) {
        StepRecord& s = r_.steps.back();
        s.enlargements = static_cast<std::int16_t>(std::min(e.enlargements, 32767));
        s.neighbours = static_cast<std::int16_t>(e.neighbours);
        if (user_ != nullptr) user_->search_accepted(e);
    }
    void given_up(std::int64_t iteration, std::int64_t iref, int ngrow) {
        StepRecord& s = r_.steps.back();
        s.outcome = StepOutcome::GivenUp;
        s.enlargements = static_cast<std::int16_t>(std::min(ngrow, 32767));
        ++r_.steps_given_up;
        if (user_ != nullptr) user_->step_given_up(iteration, iref);
    }
    void singular(const RetryEvent& e) {
        StepRecord& s = r_.steps.back();
        auto& by = r_.retries_by_dimension[static_cast<std::size_t>(e.dimension)];
        if (e.kind == Singular::Covariance) {
            ++r_.covariance_retries;
            ++by[0];
            if (s.covariance_retries < UINT16_MAX) ++s.covariance_retries;
        } else {
            ++r_.orthonormal_retries;
            ++by[1];
            if (s.orthonormal_retries < UINT16_MAX) ++s.orthonormal_retries;
        }
        if (r_.retries.size() < r_.retries.capacity()) {
            r_.retries.push_back({static_cast<std::int32_t>(e.iteration),
                                  static_cast<std::int32_t>(e.nstep),
                                  static_cast<std::int16_t>(e.dimension), e.kind});
        }
        if (user_ != nullptr) user_->singular(e);
    }
    // Dimension m advanced at counted step nstep.
    void advanced(int m, std::int64_t nstep, std::int64_t evolv) {
        DimensionEstimates& e = of(m);
        e.final_steps = nstep;
        e.final_samples = nstep * evolv;
    }
    void report(const ReportEvent& ev) {
        DimensionEstimates& e = of(ev.dimension);
        const auto um = static_cast<std::size_t>(ev.dimension);
        const bool again = !e.steps.empty() && e.steps.back() == ev.nstep &&
                           e.warmup.back() == static_cast<std::uint8_t>(ev.warmup);
        if (again) {
            // A count reached again after a step was given up: the newer estimates.
            const std::size_t at = (e.steps.size() - 1) * um;
            std::copy(ev.exponents.begin(), ev.exponents.end(),
                      e.exponents.begin() + static_cast<std::ptrdiff_t>(at));
            std::copy(ev.log_sums.begin(), ev.log_sums.end(),
                      e.log_sums.begin() + static_cast<std::ptrdiff_t>(at));
        } else if (e.steps.size() < e.steps.capacity()) {
            e.steps.push_back(ev.nstep);
            e.samples.push_back(ev.nstep * ev.evolv);
            e.warmup.push_back(static_cast<std::uint8_t>(ev.warmup));
            e.exponents.insert(e.exponents.end(), ev.exponents.begin(), ev.exponents.end());
            e.log_sums.insert(e.log_sums.end(), ev.log_sums.begin(), ev.log_sums.end());
        }
        if (user_ != nullptr) user_->report(ev);
    }
    void warmup_ended(std::int64_t iteration, std::int64_t evolv) {
        r_.warmup_end = iteration;
        if (user_ != nullptr) user_->warmup_ended(evolv);
    }
    void end_iteration(std::int64_t iteration, std::int64_t nstep, std::int64_t ntrip) {
        r_.steps.back().nstep = static_cast<std::int32_t>(nstep);
        if (user_ != nullptr) user_->iteration_done(iteration, ntrip);
    }
    void finished(const spectrum::Spectrum& sp, std::int64_t nstep, std::int32_t tmax) {
        for (auto& e : r_.dimensions) {
            const auto& lambda = sp.of(e.dimension).lambda;
            std::copy(lambda.begin() + 1, lambda.begin() + 1 + e.dimension,
                      e.final_exponents.begin());
        }
        r_.counted_steps = nstep;
        r_.reached_tmax = nstep >= tmax;
        r_.retries.shrink_to_fit();
        if (user_ != nullptr) user_->finished(nstep, tmax);
    }

  private:
    DimensionEstimates& of(int m) {
        return r_.dimensions[static_cast<std::size_t>(m - first_dimension_)];
    }
    Result& r_;
    Observer* user_;
    int first_dimension_ = 0;
};

enum class StepEnd { Counted, GivenUp, Finished };

// The loop's state, and one step of it.
class StepLoop {
  public:
    StepLoop(const Parameters& p, const Derived& d, Workspace& w, Recorder& rec)
        : p_(p), d_(d), w_(w), rec_(rec) {
        if (w_.lanes.size() > 1) {
            pool_ = std::make_unique<DimensionPool>(
                static_cast<int>(w_.lanes.size()),
                [this](int lane, int job) noexcept { compute(lane, job); });
        }
    }

    void run() {
        spectrum::reset_spectrum(w_.spectrum, p_.dims.to);
        rec_.loop_started(d_.ntrip);
        const std::int64_t nvec = w_.vectors.nvec();
        std::int64_t iref = p_.start;
        for (std::int64_t iter = 1; iter <= d_.ntrip; ++iter) {
            // The reference point and its image must be built vectors.
            if (iref + evolv_ > nvec) break;
            rec_.begin_iteration(iref);
            const StepEnd end = step(iter, iref);
            iterations_ = iter;
            if (end == StepEnd::Finished) {
                rec_.end_iteration(iter, nstep_, d_.ntrip);
                break;
            }
            iref += evolv_;
            if (iter == NWARM) {
                // The warm-up ends: the entered evolution time, the sums and the count anew,
                // the frames kept.
                evolv_ = evolv_of(iter + 1);
                spectrum::clear_sums(w_.spectrum);
                nstep_ = 0;
                rec_.warmup_ended(iter, evolv_);
            }
            rec_.end_iteration(iter, nstep_, d_.ntrip);
        }
        rec_.finished(w_.spectrum, nstep_, d_.tmax);
    }

    std::int64_t iterations() const { return iterations_; }

  private:
    // One step at reference point iref: the search, then the dimensions from mfirst; a
    // singular matrix sends the step back to the search with a larger radius, resuming at
    // the failing dimension, the dimensions below it keeping what they did.
    StepEnd step(std::int64_t iter, std::int64_t iref) {
        const float tfac = time_factor(evolv_, p_.dt);
        int mfirst = p_.dims.from;
        const embedding::SearchParams sp = search_params(evolv_);
        embedding::SearchState search = first_search_state();
        embedding::SearchResult found;
        if (next_.ready) {
            assert(next_.iref == iref);
            // Searched beside the previous step's dimensions: its neighbourhoods become this
            // step's, and its events are given now, in their place.
            current_ ^= 1;
            search = next_.state;
            found = next_.result;
        } else {
            neighbours().clear();
            found = w_.search->find(sp, iref, search, neighbours());
        }
        next_.ready = false;
        for (;;) {
            if (found == embedding::SearchResult::GivenUp) {
                rec_.given_up(iter, iref, search.ngrow);
                return StepEnd::GivenUp;
            }
            rec_.search_accepted({iter, iref, nstep_, search.ngrow, neighbours().nn(p_.dims.to)});
            ++nstep_;
            const int failed = advance_dimensions(iter, iref, mfirst, tfac);
            if (failed == 0) return nstep_ >= d_.tmax ? StepEnd::Finished : StepEnd::Counted;
            const float before = search.scalmx;
            embedding::grow_radius(search);
            --nstep_;
            search.mlow = failed;
            mfirst = failed;
            if (std::bit_cast<std::uint32_t>(before) ==
                std::bit_cast<std::uint32_t>(search.scalmx)) {
                // A radius that cannot grow would retry for ever: give the step up.
                search.scalmx = d_.initial_radius;
                rec_.given_up(iter, iref, search.ngrow);
                return StepEnd::GivenUp;
            }
            found = w_.search->find(sp, iref, search, neighbours());
        }
    }

    // The warm-up steps one sample at a time, then the entered evolution time.
    std::int64_t evolv_of(std::int64_t iter) const {
        return iter <= NWARM ? 1 : static_cast<std::int64_t>(static_cast<float>(p_.evolv));
    }

    // Every step's search starts from the initial radius; with a lowest dimension of 1,
    // dimension 1 collects its own neighbours.
    embedding::SearchState first_search_state() const {
        return {d_.initial_radius, 0, p_.dims.from == 1 ? 1 : 2};
    }
    embedding::SearchParams search_params(std::int64_t evolv) const {
        return {p_.ncube, p_.dims.to, w_.vectors.nvec() - evolv, d_.initial_radius};
    }
    embedding::Neighbourhoods& neighbours() {
        return w_.neighbourhoods[static_cast<std::size_t>(current_)];
    }

    // Whether the step after iteration iter at iref can run, and if so sets next_ up for
    // its search: it depends on nothing this step computes, only on where the step is.
    bool plan_next_search(std::int64_t iter, std::int64_t iref) {
        if (next_.ready || iter >= d_.ntrip || nstep_ >= d_.tmax) return false;
        const std::int64_t evolv = evolv_of(iter + 1);
        const std::int64_t next = iref + evolv_;
        if (next + evolv > w_.vectors.nvec()) return false;
        next_.iref = next;
        next_.params = search_params(evolv);
        return true;
    }

    // The next step's search, into the neighbourhoods this step does not use.
    void search_next() {
        embedding::Neighbourhoods& nb = w_.neighbourhoods[static_cast<std::size_t>(current_ ^ 1)];
        nb.clear();
        next_.state = first_search_state();
        next_.result = w_.search->find(next_.params, next_.iref, next_.state, nb);
        next_.ready = true;
    }

    // Dimensions mfirst..mto at the counted step nstep_: 0 when all advanced, else the
    // dimension whose matrix was singular. Each dimension builds its next state beside the
    // one in force; the step is then taken dimension by dimension in increasing order, as
    // far as the first that failed, whose event is given. With a pool the dimensions are
    // built at once, with the next step's search beside them on the step's first try, and
    // the work of those above a failed one is dropped, as if never done.
    int advance_dimensions(std::int64_t iter, std::int64_t iref, int mfirst, float tfac) {
        iref_ = iref;
        tfac_ = tfac;
        if (pool_) {
            int count = 0;
            // The costliest at the two ends: lane 0 starts with the search and goes up from
            // the lowest dimension, the other lanes come down from the highest.
            if (plan_next_search(iter, iref))
                order_[static_cast<std::size_t>(count++)] = kSearchJob;
            for (int m = mfirst; m <= p_.dims.to; ++m)
                order_[static_cast<std::size_t>(count++)] = m;
            pool_->run(order_.data(), count);
        }
        for (int m = mfirst; m <= p_.dims.to; ++m) {
            if (!pool_) compute(0, m);
            const std::optional<Singular> failed =
                w_.outcomes[static_cast<std::size_t>(m)].singular;
            if (failed) {
                rec_.singular({iter, nstep_, m, *failed});
                return m;
            }
            w_.spectrum.take(m);
            advanced(iter, m);
        }
        return 0;
    }

    // Job `job` of a step on the scratch of `lane`: dimension `job` of the step at iref_, or
    // (kSearchJob) the next step's search. A dimension writes only its own outcome and the
    // state it builds; the search only the neighbourhoods this step does not use and next_.
    void compute(int lane, int job) noexcept {
        if (job == kSearchJob) {
            search_next();
            return;
        }
        const int m = job;
        Lane& l = w_.lanes[static_cast<std::size_t>(lane)];
        std::optional<Singular>& failed = w_.outcomes[static_cast<std::size_t>(m)].singular;
        if (spectrum::estimate_local_map(*l.covariances, w_.matrix, w_.vectors, neighbours(), m,
                                         iref_, evolv_, l.map) != spectrum::MapStatus::Ok) {
            failed = Singular::Covariance;
            return;
        }
        switch (spectrum::build_step(w_.spectrum, w_.matrix, l.map.a, m, nstep_, tfac_, l.product,
                                     l.r)) {
            case spectrum::PropagationStatus::Ok:
                failed.reset();
                break;
            case spectrum::PropagationStatus::SingularColumn:
                failed = Singular::OrthonormalColumn;
                break;
            case spectrum::PropagationStatus::SingularFactor:
                failed = Singular::OrthonormalFactor;
                break;
        }
    }

    // The records of dimension m advanced at the counted step nstep_.
    void advanced(std::int64_t iter, int m) {
        rec_.advanced(m, nstep_, evolv_);
        if (nstep_ % kReportEvery == 0) {
            const auto um = static_cast<std::size_t>(m);
            const spectrum::DimensionState& s = std::as_const(w_.spectrum).of(m);
            rec_.report({iter, nstep_, evolv_, m, iter <= NWARM,
                         std::span<const float>(s.lambda.data() + 1, um),
                         std::span<const double>(s.logsum.data() + 1, um)});
        }
    }

    const Parameters& p_;
    const Derived& d_;
    Workspace& w_;
    Recorder& rec_;
    // The next step's search when it is done beside a step's dimensions.
    struct NextSearch {
        bool ready = false;  // done, for the step at iref
        std::int64_t iref = 0;
        embedding::SearchParams params;
        embedding::SearchState state;
        embedding::SearchResult result = embedding::SearchResult::Accepted;
    };
    static constexpr int kSearchJob = 0;  // the pool's job that is the next step's search

    std::unique_ptr<DimensionPool> pool_;
    std::array<int, MMAX + 1> order_{};
    std::int64_t iref_ = 0;  // the reference point of the step being computed
    float tfac_ = 0.0f;      // and its time factor
    int current_ = 0;        // which neighbourhoods are this step's
    NextSearch next_;
    std::int64_t evolv_ = 1;  // the evolution time of the step: evolv_of(its iteration)
    std::int64_t nstep_ = 0;
    std::int64_t iterations_ = 0;
};

}  // namespace

namespace {

std::unique_ptr<spectrum::Covariances> covariances_of(KernelSet set) {
    return set == KernelSet::Plain ? spectrum::plain::make_covariances()
                                   : spectrum::fast::make_covariances();
}

// A step whose dimensions cost less than this (in multiply-adds, roughly) gains nothing
// from threads: handing the dimensions over costs more than it saves.
constexpr std::int64_t kThreadedWork = 100000;

}  // namespace

int lanes_for(const Parameters& p) {
    const int wanted = p.threads == 0 ? processors_available() : p.threads;
    std::int64_t work = 0;  // a step's inversions, orthonormalisations and covariances
    for (std::int64_t m = p.dims.from; m <= p.dims.to; ++m)
        work += m * m * m + std::int64_t{p.ncube} * m * m;
    if (wanted <= 1 || work < kThreadedWork) return 1;
    return std::min(wanted, p.dims.to - p.dims.from + 2);  // the dimensions and the next search
}

Workspace::Workspace(std::span<const float> x, const Parameters& p, int lane_count)
    : vectors(x, static_cast<std::int64_t>(x.size()), p.delay, p.dims.to),
      search(p.kernels == KernelSet::Plain ? embedding::plain::make_search(vectors)
                                           : embedding::fast::make_search(vectors)),
      matrix(matrix_kernels(p.kernels)),
      lanes(static_cast<std::size_t>(std::max(lane_count, 1))) {
    for (Lane& l : lanes)
        l.covariances = covariances_of(p.kernels);
}

Result run_step_loop(std::span<const float> x, const Parameters& p, const Derived& d, Workspace& w,
                     Observer* observer) {
    Result r;
    r.parameters = p;
    r.derived = d;
    r.series = series_facts(x);
    Recorder rec(r, observer, p, d);
    StepLoop loop(p, d, w, rec);
    loop.run();
    r.iterations = loop.iterations();
    return r;
}

}  // namespace tarnvex::engine
