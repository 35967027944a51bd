#pragma once
// tarnvex: the spectrum of Lyapunov exponents of a dynamical system from one measured scalar
// time series, in bits per unit of time, for every embedding dimension of a range.
//
// One call runs the whole estimate:
//
//     const std::vector<float> x = tarnvex::read_series("henon.dat");
//     tarnvex::Parameters p;            // ncube 30, dimensions 2 to 4, delay 1, ...
//     p.dims.to = 2;
//     const tarnvex::Result r = tarnvex::run(x, p);
//     for (const auto& d : r.dimensions) ... d.final_exponents ...
//
// Samples are truncated toward zero before they are embedded, so a series must span many
// integer steps (scale it first). Every table of a run is allocated once, before the step
// loop; a run holds no state outside its own objects, so runs may go on concurrently on
// several threads.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvex {

// The program's sample table: the program reads at most this many values of a series file
// and runs on at most this many samples. Its dialogue and its bytes depend on it.
inline constexpr int kProgramSamples = 20000;
// The limits of a run. A run through the library (the kit, Python) takes up to kMaxSamples
// samples, its tables sized by the samples used and the highest dimension; for a series of
// at most kProgramSamples it is the program's run, number for number.
inline constexpr int kMaxSamples = 10'000'000;  // samples and delay vectors
inline constexpr int kMaxDimension = 20;        // embedding dimensions
inline constexpr int kMaxNeighbours = 200;      // neighbours per neighbourhood
inline constexpr int kWarmupIterations = 25;    // iterations at an evolution time of 1 sample
// Counted steps between two report points: the running estimates are kept (and the result
// file written) whenever the count of steps is a multiple of it.
inline constexpr int kReportEvery = 25;
// Retries after a singular matrix that the result lists one by one (all are counted).
inline constexpr std::size_t kRetryLogCapacity = 65536;

// The two builds of the numerical kernels: the plain loops in the defining order, and the
// fast ones, which only reorder what cannot change a rounded result. Both give the same
// bits; the plain ones are the reference.
enum class KernelSet { Fast, Plain };

// Fast, or Plain in a build configured with TARNVEX_PLAIN_KERNELS.
KernelSet default_kernel_set() noexcept;

// A range of embedding dimensions, both ends included.
struct Dims {
    std::int32_t from = 2;  // lowest embedding dimension, 1..20
    std::int32_t to = 4;    // highest embedding dimension, 1..20
    bool operator==(const Dims&) const = default;
};

// The run parameters: the answers of the program's dialogue, under the names the kit's
// options and Python's arguments give them (the dialogue's own words in brackets). The
// defaults are the kit's.
struct Parameters {
    std::int32_t npts = kMaxSamples;  // samples to use; cut to the number of samples given
    std::int32_t ncube = 30;          // neighbours wanted per neighbourhood, 1..200
    // Counted steps wanted after the warm-up; none: to the end of the data, which is the
    // iteration budget of the run (no run can count more).
    std::optional<std::int32_t> tmax;
    std::int32_t delay = 1;   // embedding delay, samples
    Dims dims;                // embedding dimensions (mfrom, mto)
    std::int32_t start = 1;   // first reference point, a vector index from 1 (istart)
    float dt = 1.0f;          // sampling step, units of time
    std::int32_t evolv = 1;   // evolution time, samples
    float radius_pct = 2.0f;  // initial search radius, percent of the extent of the data
    KernelSet kernels = default_kernel_set();
    // Threads that compute the dimensions of a step at once (the records and the numbers
    // are the same for every count); 0: as many as the processors this process may run on.
    // A run whose steps are too small to gain from them uses one.
    int threads = 1;

    bool operator==(const Parameters&) const = default;
};

// The values a run derives from its parameters and samples before the step loop.
struct Derived {
    std::int32_t npts = 0;  // samples used: npts cut to the number given
    float xmin = 0.0f;      // smallest and largest of the samples used
    float xmax = 0.0f;
    float extent = 0.0f;          // xmax - xmin
    float periode = 0.0f;         // 1 / dt
    float initial_radius = 0.0f;  // initial search radius, units of the series (scalmx)
    std::int64_t ntrip = 0;       // iteration budget of the step loop
    std::int32_t tmax = 0;        // counted steps wanted: as given, else ntrip
};

// The pieces of the derivation, in the precision the program computes them.
struct Extent {
    float xmin = 0.0f;
    float xmax = 0.0f;
    float extent = 0.0f;
};
Extent extent_of(std::span<const float> samples);      // start values +-1e10, strict comparisons
float periode_of(float dt);                            // 1 / dt in single precision
float initial_radius(float radius_pct, float extent);  // pct * extent / 100, in double
// evolv * ln 2 * dt in double, stored as single precision (ln 2 as 0.6931472f): the
// estimates are the log sums over counted steps times it, in bits per unit time.
float time_factor(std::int64_t evolv, float dt);
// The truncation of npts / evolv - 25 / evolv, in double; 0 for evolv below 1.
std::int64_t iteration_budget(std::int32_t npts, std::int32_t evolv);

Derived derive(std::span<const float> samples, const Parameters& p);

// Why parameters are refused.
enum class Refusal {
    TooManySamples,
    DimensionTooHigh,
    TooManyNeighbours,
    DimensionBelowOne,
    NeighboursBelowOne,
    NegativeDelay,
    EvolvBelowOne,
    DtNotPositive,
    StartOutside,
    ValueTooLarge,
};

// The checks of a run, in the program's order: the two table limits, then the checks that
// keep every index and conversion defined. Empty when the run may go on, else the program's
// message of the first that fails (with its leading blank where the program has one).
std::string_view check(std::span<const float> samples, const Parameters& p);

// A refusal as a sentence: the program's message without the leading blank it has where
// the program writes one.
std::string_view refusal_text(std::string_view message);

// Parameters that a check refuses; what() is the program's message.
class ParameterError : public std::invalid_argument {
  public:
    ParameterError(Refusal reason, std::string_view message)
        : std::invalid_argument(std::string(message)), reason_(reason) {}
    Refusal reason() const noexcept { return reason_; }

  private:
    Refusal reason_;
};

// What sent a step back to the neighbour search: a singular covariance matrix, a column of
// the propagated frame too short to reflect, or a triangular factor that cannot be inverted.
enum class Singular : std::uint8_t { Covariance, OrthonormalColumn, OrthonormalFactor };

// Events of a run, in the order they happen.
struct SearchEvent {
    std::int64_t iteration = 0;  // from 1
    std::int64_t iref = 0;       // reference point
    std::int64_t nstep = 0;      // steps counted before this one
    int enlargements = 0;        // radius enlargements at this step so far (ngrow)
    int neighbours = 0;          // neighbours of the highest dimension
};
struct RetryEvent {
    std::int64_t iteration = 0;
    std::int64_t nstep = 0;  // the count of the step that is taken back
    int dimension = 0;       // the dimension whose matrix was singular
    Singular kind = Singular::Covariance;
};
struct ReportEvent {
    std::int64_t iteration = 0;
    std::int64_t nstep = 0;  // counted steps, a multiple of kReportEvery
    std::int64_t evolv = 0;  // evolution time in force, samples
    int dimension = 0;
    bool warmup = false;               // written during the warm-up
    std::span<const float> exponents;  // bits per unit time, one per direction of the frame
    std::span<const double> log_sums;  // natural-log sums behind them
};

// Receives the events of a run as they happen (progress bars, the text records). Every
// callback runs on the thread of the run; the default does nothing. A callback may throw to
// stop the run: the exception leaves run() and the run's tables are released.
class Observer {
  public:
    virtual ~Observer() = default;
    virtual void loop_started(std::int64_t /*ntrip*/) {}
    // A search accepted the neighbourhoods of a step (again, after a retry).
    virtual void search_accepted(const SearchEvent&) {}
    // A step given up: too few neighbours after every enlargement allowed, or a radius that
    // cannot grow after a singular matrix.
    virtual void step_given_up(std::int64_t /*iteration*/, std::int64_t /*iref*/) {}
    virtual void singular(const RetryEvent&) {}
    // One dimension advanced at a step whose count is a multiple of kReportEvery.
    virtual void report(const ReportEvent&) {}
    virtual void warmup_ended(std::int64_t /*evolv*/) {}
    virtual void iteration_done(std::int64_t /*iteration*/, std::int64_t /*ntrip*/) {}
    virtual void finished(std::int64_t /*nstep*/, std::int32_t /*tmax*/) {}
};

// The series as the run used it.
struct SeriesFacts {
    std::int32_t samples_used = 0;
    std::int64_t int_min = 0;  // smallest and largest sample truncated toward zero
    std::int64_t int_max = 0;
    std::int64_t distinct_integers = 0;  // distinct integers among the truncated samples
    // Distinct values among the samples before truncation: no more than distinct_integers for a
    // recording whose values lie on a lattice of whole units (or coarser).
    std::int64_t distinct_values = 0;
};

// The facts of these samples as a run would use them.
SeriesFacts series_facts(std::span<const float> samples);

enum class StepOutcome : std::uint8_t { Counted, GivenUp };

// One iteration of the step loop.
struct StepRecord {
    std::int32_t iref = 0;
    std::int32_t nstep = 0;         // counted steps after the iteration
    std::int16_t enlargements = 0;  // radius enlargements, of both kinds (ngrow)
    std::int16_t neighbours = 0;    // neighbours of the highest dimension at the last search
    std::uint16_t covariance_retries = 0;
    std::uint16_t orthonormal_retries = 0;
    StepOutcome outcome = StepOutcome::Counted;
};

struct Retry {
    std::int32_t iteration = 0;
    std::int32_t nstep = 0;
    std::int16_t dimension = 0;
    Singular kind = Singular::Covariance;
};

// The running estimates of one dimension at its report points, unrounded. A count reached
// again after a step was given up replaces the estimates kept for that count (the result
// file shows both records).
struct DimensionEstimates {
    int dimension = 0;
    std::vector<std::int64_t> steps;     // counted steps at each report point
    std::vector<std::int64_t> samples;   // samples counted: steps times the evolution time
    std::vector<std::uint8_t> warmup;    // 1 for a report point inside the warm-up
    std::vector<float> exponents;        // report r, exponent i at r * dimension + i
    std::vector<double> log_sums;        // the natural-log sums, same places
    std::vector<float> final_exponents;  // the estimates at the end of the run
    std::int64_t final_steps = 0;        // counted steps of the last update
    std::int64_t final_samples = 0;      // samples counted at the last update

    std::size_t reports() const { return steps.size(); }
    std::span<const float> exponents_at(std::size_t r) const {
        return std::span<const float>(exponents).subspan(r * static_cast<std::size_t>(dimension),
                                                         static_cast<std::size_t>(dimension));
    }
};

struct Result {
    Parameters parameters;
    Derived derived;
    SeriesFacts series;
    std::int64_t iterations = 0;     // iterations run
    std::int64_t counted_steps = 0;  // counted steps at the end (after the warm-up, if over)
    bool reached_tmax = false;
    std::int64_t steps_given_up = 0;
    std::int64_t warmup_end = 0;  // iteration that ended the warm-up, 0 if none did
    std::int64_t covariance_retries = 0;
    std::int64_t orthonormal_retries = 0;  // both kinds of the orthonormalisation
    // retries_by_dimension[m] = {covariance, orthonormalisation} retries of dimension m.
    std::vector<std::array<std::int64_t, 2>> retries_by_dimension;
    std::vector<StepRecord> steps;               // one per iteration run
    std::vector<Retry> retries;                  // the first kRetryLogCapacity retries, in order
    std::vector<DimensionEstimates> dimensions;  // dims.from..dims.to

    const DimensionEstimates* dimension(int m) const;
};

// Runs the estimate. Throws ParameterError when a check refuses the parameters. A run that
// counts no step returns normally; its result says so.
Result run(std::span<const float> samples, const Parameters& p, Observer* observer = nullptr);

}  // namespace tarnvex
