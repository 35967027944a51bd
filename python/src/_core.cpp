// tarnvex._core: the engine's types and calls for the Python package. Nothing here computes
// an estimate: samples are checked and turned into the single-precision values the engine
// takes, every call that may take long runs with the GIL released, and the engine's own
// objects come back as Python classes whose tables are read-only numpy views of the
// engine's vectors (the object that holds a vector is the view's base).
//
// The engine's errors become Python's in one place, `translate`; every class pickles
// through one serializer, whose fields are listed once per type in `fields`.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "tarnvex/delay.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/report.hpp"
#include "tarnvex/result_file.hpp"
#include "tarnvex/scaling.hpp"
#include "tarnvex/series.hpp"
#include "tarnvex/significance.hpp"
#include "tarnvex/systems.hpp"
#include "tarnvex/tarnvex.hpp"

namespace py = pybind11;

namespace {

// ------------------------------------------------------------------------------- errors

// Input that no run can take (tarnvex.InputError, a ValueError).
class InputError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};
// Parameters refused before they reach the engine (tarnvex.ParameterError, a ValueError).
class ParameterRefused : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};
// A run that counted no step (tarnvex.NoStepsError, a RuntimeError).
class NoSteps : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The Python exception types; created once when the module is imported, never released.
struct PythonErrors {
    PyObject* input = nullptr;
    PyObject* parameter = nullptr;
    PyObject* no_steps = nullptr;
    PyObject* result_file = nullptr;
};
PythonErrors python_errors;

// The one place where the engine's exceptions (and this module's) become Python's.
void translate(std::exception_ptr p) {
    const auto raise = [](PyObject* type, const std::string& message) {
        PyErr_SetString(type, message.c_str());
    };
    try {
        if (p) std::rethrow_exception(p);
    } catch (const InputError& e) {
        raise(python_errors.input, e.what());
    } catch (const ParameterRefused& e) {
        raise(python_errors.parameter, e.what());
    } catch (const NoSteps& e) {
        raise(python_errors.no_steps, e.what());
    } catch (const tarnvex::ParameterError& e) {
        raise(python_errors.parameter,
              "the parameters are refused: " + std::string(tarnvex::refusal_text(e.what())));
    } catch (const tarnvex::ScalingError& e) {
        raise(python_errors.input, e.what());
    } catch (const tarnvex::SeriesError& e) {
        raise(python_errors.input, e.what());
    } catch (const tarnvex::ResultFileError& e) {
        raise(python_errors.result_file, e.what());
    } catch (const tarnvex::ReportFileError& e) {
        raise(e.kind() == tarnvex::ReportFileError::Kind::Exists ? PyExc_FileExistsError
                                                                 : PyExc_OSError,
              e.what());
    }
}

// ------------------------------------------------------------------------------- views

// A read-only numpy array over memory that `owner` keeps alive: no copy is made.
py::array view(const py::dtype& dtype, const void* data, std::vector<py::ssize_t> shape,
               std::vector<py::ssize_t> strides, py::handle owner) {
    py::array a(dtype, std::move(shape), std::move(strides), data, owner);
    py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return a;
}

template <class T>
py::array view(const std::vector<T>& v, py::handle owner) {
    return view(py::dtype::of<T>(), v.data(), {static_cast<py::ssize_t>(v.size())},
                {static_cast<py::ssize_t>(sizeof(T))}, owner);
}

// One field of every element of a vector of records, strided.
template <class Record, class Field>
py::array field_view(const std::vector<Record>& v, std::size_t offset, py::handle owner) {
    const auto* base = reinterpret_cast<const unsigned char*>(v.data());
    return view(py::dtype::of<Field>(), v.empty() ? nullptr : base + offset,
                {static_cast<py::ssize_t>(v.size())}, {static_cast<py::ssize_t>(sizeof(Record))},
                owner);
}

// rows x columns values, row r at r * columns.
template <class T>
py::array table_view(const std::vector<T>& v, std::size_t rows, int columns, py::handle owner) {
    const auto c = static_cast<py::ssize_t>(columns);
    return view(py::dtype::of<T>(), v.data(), {static_cast<py::ssize_t>(rows), c},
                {c * static_cast<py::ssize_t>(sizeof(T)), static_cast<py::ssize_t>(sizeof(T))},
                owner);
}

// A part of an object that `owner` holds, as a Python object that keeps `owner` alive.
template <class T>
py::object part(const T& value, py::handle owner) {
    return py::cast(&value, py::return_value_policy::reference_internal, owner);
}

template <class T>
py::tuple parts(const std::vector<T>& values, py::handle owner) {
    py::tuple t(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        t[i] = part(values[i], owner);
    return t;
}

py::object optional_float(const std::optional<double>& v) {
    return v ? py::object(py::float_(*v)) : py::none();
}

void deprecated(const char* message) {
    if (PyErr_WarnEx(PyExc_DeprecationWarning, message, 1) != 0) throw py::error_already_set();
}

// ------------------------------------------------------------------------- serializer

template <class T>
struct is_vector : std::false_type {};
template <class T>
struct is_vector<std::vector<T>> : std::true_type {};
template <class T>
struct is_optional : std::false_type {};
template <class T>
struct is_optional<std::optional<T>> : std::true_type {};
template <class T>
struct is_array : std::false_type {};
template <class T, std::size_t N>
struct is_array<std::array<T, N>> : std::true_type {};

template <class T>
constexpr bool is_plain = std::is_arithmetic_v<T> || std::is_enum_v<T>;

// Writes values to bytes; a record type is written through its `fields`.
class Writer {
  public:
    template <class... T>
    void operator()(const T&... v) {
        (put(v), ...);
    }
    const std::string& bytes() const { return bytes_; }

  private:
    void append(const void* p, std::size_t n) { bytes_.append(static_cast<const char*>(p), n); }

    template <class T>
    void put(const T& v) {
        if constexpr (is_plain<T>) {
            append(&v, sizeof v);
        } else if constexpr (std::is_same_v<T, std::string>) {
            put(static_cast<std::uint64_t>(v.size()));
            append(v.data(), v.size());
        } else if constexpr (is_vector<T>::value) {
            put(static_cast<std::uint64_t>(v.size()));
            if constexpr (is_plain<typename T::value_type>) {
                append(v.data(), v.size() * sizeof(typename T::value_type));
            } else {
                for (const auto& e : v)
                    put(e);
            }
        } else if constexpr (is_optional<T>::value) {
            put(static_cast<std::uint8_t>(v.has_value()));
            if (v) put(*v);
        } else if constexpr (is_array<T>::value) {
            for (const auto& e : v)
                put(e);
        } else {
            fields(*this, const_cast<T&>(v));
        }
    }

    std::string bytes_;
};

// Reads what Writer wrote, into the same types.
class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    template <class... T>
    void operator()(T&... v) {
        (get(v), ...);
    }
    void finish() const {
        if (at_ != bytes_.size()) damaged();
    }

  private:
    [[noreturn]] static void damaged() {
        throw std::invalid_argument("the pickled tarnvex object is damaged");
    }
    void take(void* p, std::size_t n) {
        if (n > bytes_.size() - at_) damaged();
        std::memcpy(p, bytes_.data() + at_, n);
        at_ += n;
    }
    std::size_t count() {
        std::uint64_t n = 0;
        take(&n, sizeof n);
        if (n > bytes_.size()) damaged();  // no more elements than bytes left
        return static_cast<std::size_t>(n);
    }

    template <class T>
    void get(T& v) {
        if constexpr (is_plain<T>) {
            take(&v, sizeof v);
        } else if constexpr (std::is_same_v<T, std::string>) {
            v.resize(count());
            take(v.data(), v.size());
        } else if constexpr (is_vector<T>::value) {
            v.resize(count());
            if constexpr (is_plain<typename T::value_type>) {
                take(v.data(), v.size() * sizeof(typename T::value_type));
            } else {
                for (auto& e : v)
                    get(e);
            }
        } else if constexpr (is_optional<T>::value) {
            std::uint8_t has = 0;
            get(has);
            if (has) {
                typename T::value_type e{};
                get(e);
                v = std::move(e);
            } else {
                v.reset();
            }
        } else if constexpr (is_array<T>::value) {
            for (auto& e : v)
                get(e);
        } else {
            fields(*this, v);
        }
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Raised by the pickles when the layout of a type changes.
constexpr int kPickleFormat = 1;

// ------------------------------------------------------------- the Python-side records

// The series facts of a run, with the values the run derived from the samples: the
// SeriesFacts of earlier releases held xmin, xmax, extent and initial_radius, which are
// Spectrum.derived's now.
struct RunSeriesFacts {
    tarnvex::SeriesFacts facts;
    std::optional<tarnvex::Derived> derived;
};

// One run as Python sees it: the engine's result and diagnosis, the figures of its counted
// steps, the records of the program's result file after its header, and the scale its
// samples were taken at.
struct RunResult {
    tarnvex::Result result;
    tarnvex::Diagnosis diagnosis;
    tarnvex::StepFigures step_figures;
    std::string records;
    double scale = 1.0;
    std::optional<int> scale_exponent;
    // Per figure of the diagnosis: the final estimates of its dimension from the largest
    // (float32).
    std::vector<std::vector<float>> sorted;
};

// The fields of every type that pickles, in one list each.
template <class A>
void fields(A& a, tarnvex::Dims& d) {
    a(d.from, d.to);
}
template <class A>
void fields(A& a, tarnvex::Parameters& p) {
    a(p.npts, p.ncube, p.tmax, p.delay, p.dims, p.start, p.dt, p.evolv, p.radius_pct, p.kernels,
      p.threads);
}
template <class A>
void fields(A& a, tarnvex::Derived& d) {
    a(d.npts, d.xmin, d.xmax, d.extent, d.periode, d.initial_radius, d.ntrip, d.tmax);
}
template <class A>
void fields(A& a, tarnvex::SeriesFacts& f) {
    a(f.samples_used, f.int_min, f.int_max, f.distinct_integers, f.distinct_values);
}
template <class A>
void fields(A& a, tarnvex::StepRecord& s) {
    a(s.iref, s.nstep, s.enlargements, s.neighbours, s.covariance_retries, s.orthonormal_retries,
      s.outcome);
}
template <class A>
void fields(A& a, tarnvex::Retry& r) {
    a(r.iteration, r.nstep, r.dimension, r.kind);
}
template <class A>
void fields(A& a, tarnvex::DimensionEstimates& d) {
    a(d.dimension, d.steps, d.samples, d.warmup, d.exponents, d.log_sums, d.final_exponents,
      d.final_steps, d.final_samples);
}
template <class A>
void fields(A& a, tarnvex::Result& r) {
    a(r.parameters, r.derived, r.series, r.iterations, r.counted_steps, r.reached_tmax,
      r.steps_given_up, r.warmup_end, r.covariance_retries, r.orthonormal_retries,
      r.retries_by_dimension, r.steps, r.retries, r.dimensions);
}
template <class A>
void fields(A& a, tarnvex::DimensionFigures& f) {
    a(f.dimension, f.sorted, f.lambda1, f.lambda1_error, f.lambda1_trajectory_error,
      f.lambda1_radius_error, f.lambda1_half_radius, f.sum, f.kaplan_yorke);
}
template <class A>
void fields(A& a, tarnvex::Warning& w) {
    a(w.code, w.figure, w.threshold, w.message, w.advice);
}
template <class A>
void fields(A& a, tarnvex::CheckStatus& c) {
    a(c.code, c.state, c.note);
}
template <class A>
void fields(A& a, tarnvex::ReverseCheck& c) {
    a(c.dimension, c.forward, c.reversed, c.partner, c.marks, c.conclusive, c.reversed_trusted,
      c.reason);
}
template <class A>
void fields(A& a, tarnvex::Diagnosis& d) {
    a(d.counted_any, d.figures, d.warnings, d.checks, d.reversal, d.settles_from);
}
template <class A>
void fields(A& a, tarnvex::StepFigures& f) {
    a(f.counted_steps, f.enlargements, f.mean_enlargements, f.max_enlargements, f.mean_neighbours);
}
template <class A>
void fields(A& a, tarnvex::SurrogateRank& r) {
    a(r.dimension, r.data_lambda1, r.surrogate_lambda1, r.below, r.above, r.ties, r.p_value,
      r.rejected, r.direction, r.verdict);
}
template <class A>
void fields(A& a, tarnvex::SurrogateTest& t) {
    a(t.count, t.dimensions, t.verdict);
}
template <class A>
void fields(A& a, tarnvex::CaoTable& t) {
    a(t.delay, t.e1, t.e2, t.dimension, t.reason);
}
template <class A>
void fields(A& a, tarnvex::DelaySuggestion& s) {
    a(s.delay, s.rule, s.method, s.max_lag, s.mutual_information, s.autocorrelation);
}
template <class A>
void fields(A& a, tarnvex::ResultFileRecord& r) {
    a(r.samples, r.dimension, r.estimates, r.warmup);
}
template <class A>
void fields(A& a, tarnvex::ResultFileContents& c) {
    a(c.series_name, c.result_name, c.npts, c.ncube, c.tmax, c.delay, c.dims, c.dt, c.evolv,
      c.radius_pct, c.records);
}
template <class A>
void fields(A& a, RunSeriesFacts& f) {
    a(f.facts, f.derived);
}
template <class A>
void fields(A& a, RunResult& r) {
    a(r.result, r.diagnosis, r.step_figures, r.records, r.scale, r.scale_exponent, r.sorted);
}

// Pickling through the serializer: (format, bytes).
template <class T, class... Options>
void picklable(py::class_<T, Options...>& c) {
    c.def(py::pickle(
        [](const T& v) {
            Writer w;
            w(v);
            return py::make_tuple(kPickleFormat, py::bytes(w.bytes()));
        },
        [](const py::tuple& state) {
            if (state.size() != 2 || state[0].cast<int>() != kPickleFormat) {
                throw std::invalid_argument(
                    "a tarnvex object pickled by another version of tarnvex");
            }
            const std::string bytes = state[1].cast<std::string>();
            T v{};
            Reader r(bytes);
            r(v);
            r.finish();
            return v;
        }));
}

// Equality of every field, through the serializer.
template <class T>
bool same(const T& a, const T& b) {
    Writer wa, wb;
    wa(a);
    wb(b);
    return wa.bytes() == wb.bytes();
}

// -------------------------------------------------------------------------- samples

using DoubleArray = py::array_t<double, py::array::c_style | py::array::forcecast>;
using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

std::span<const double> values_of(const DoubleArray& x) {
    if (x.ndim() != 1) {
        std::string shape;
        for (py::ssize_t d = 0; d < x.ndim(); ++d)
            shape += (d ? ", " : "") + std::to_string(x.shape(d));
        throw InputError("the series must be one-dimensional; got an array of shape (" + shape +
                         "): pass one column, e.g. x[:, 0]");
    }
    return {x.data(), static_cast<std::size_t>(x.shape(0))};
}

std::vector<float> samples_of(const FloatArray& samples) {
    if (samples.ndim() != 1) throw InputError("the samples must be one-dimensional");
    return {samples.data(), samples.data() + samples.shape(0)};
}

py::array_t<float> float_array(const std::vector<float>& v) {
    return py::array_t<float>(static_cast<py::ssize_t>(v.size()), v.data());
}

// The samples as the engine takes them: the power-of-ten rule without a scale, else the
// scale given. Returns the samples, the factor and k (none when the scale was given).
py::tuple scaled(const DoubleArray& x, std::optional<double> scale) {
    const std::span<const double> v = values_of(x);
    tarnvex::ScaledSeries s;
    {
        py::gil_scoped_release release;
        s = scale ? tarnvex::scale_by(v, *scale) : tarnvex::scale_by_power_of_ten(v);
    }
    return py::make_tuple(float_array(s.samples), s.factor,
                          s.power ? py::object(py::int_(*s.power)) : py::none());
}

// ----------------------------------------------------------------------------- runs

// Every hundredth of the planned iterations takes the GIL to look for a signal (Ctrl-C)
// and to call the progress callback.
class PythonObserver final : public tarnvex::Observer {
  public:
    explicit PythonObserver(py::object callback) : callback_(std::move(callback)) {}

    void loop_started(std::int64_t ntrip) override {
        every_ = std::max<std::int64_t>(1, ntrip / 100);
    }
    void iteration_done(std::int64_t iteration, std::int64_t ntrip) override {
        if (iteration % every_ == 0 || iteration == ntrip) poll(iteration, ntrip);
    }

  private:
    void poll(std::int64_t done, std::int64_t planned) {
        py::gil_scoped_acquire gil;
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (!callback_.is_none()) callback_(done, planned);
    }

    py::object callback_;
    std::int64_t every_ = 1;
};

// A refusal of the engine's checks as Python reports it: a start point the series is too
// short for is the input's fault and says how many samples it needs.
[[noreturn]] void refused(const tarnvex::ParameterError& e, const std::vector<float>& x,
                          const tarnvex::Parameters& p) {
    if (e.reason() == tarnvex::Refusal::StartOutside && p.start >= 1) {
        const std::int64_t need =
            std::int64_t{p.start} + 1 + std::int64_t{p.dims.to - 1} * std::int64_t{p.delay};
        throw InputError("the series has " + std::to_string(x.size()) + " samples; dimension " +
                         std::to_string(p.dims.to) + " at a delay of " + std::to_string(p.delay) +
                         " from start point " + std::to_string(p.start) + " needs at least " +
                         std::to_string(need) + " (" +
                         std::string(tarnvex::refusal_text(e.what())) + ")");
    }
    throw e;
}

// What every call that runs the engine refuses before it starts, in this order: parameters
// the engine's checks refuse, too few samples for the warm-up, and samples that all truncate
// to one integer. The GIL must be released.
void refuse_before_a_run(const std::vector<float>& x, const tarnvex::Parameters& p) {
    if (!tarnvex::check(x, p).empty()) {
        // run() makes the same checks before it allocates anything, and its error carries
        // the reason.
        try {
            (void)tarnvex::run(x, p);
        } catch (const tarnvex::ParameterError& e) {
            refused(e, x, p);
        }
    }
    const tarnvex::Derived d = tarnvex::derive(x, p);
    if (d.ntrip < 1) {
        const std::int64_t need = std::int64_t{tarnvex::kWarmupIterations} + p.evolv;
        throw InputError("the series has " + std::to_string(x.size()) +
                         " samples; a run at an evolution time of " + std::to_string(p.evolv) +
                         " needs at least " + std::to_string(need) + " (the warm-up takes " +
                         std::to_string(tarnvex::kWarmupIterations) + ")");
    }
    const std::span<const float> used(x.data(), static_cast<std::size_t>(d.npts));
    if (const auto refusal = tarnvex::one_integer_refusal(tarnvex::series_facts(used)))
        throw NoSteps("the run counted no step: " + *refusal);
}

[[noreturn]] void no_step(const tarnvex::Result& r) {
    throw NoSteps("the run counted no step: every one of its " + std::to_string(r.iterations) +
                  " iterations was given up (too few neighbours within the largest radius, "
                  "or singular neighbourhoods), so there is nothing to estimate; try more "
                  "samples, a larger radius_pct or a smaller ncube");
}

// One run of the engine on single-precision samples. The result file's records (all but
// its two header records) are kept as the program writes them, so that the file can be
// written later under any name.
RunResult run(const FloatArray& samples, const tarnvex::Parameters& p, const py::object& progress,
              bool quick, double scale, std::optional<int> scale_exponent) {
    // A copy the run owns: the caller's array may change while the GIL is released.
    const std::vector<float> x = samples_of(samples);
    PythonObserver observer(progress);
    RunResult out;
    out.scale = scale;
    out.scale_exponent = scale_exponent;
    {
        py::gil_scoped_release release;
        refuse_before_a_run(x, p);
        tarnvex::StringSink records;
        out.result = tarnvex::run_writing_records(x, p, records, nullptr, &observer);
        // The verdict's extra runs, unless quick: half the radius and the reversed series.
        tarnvex::Probes probes;
        if (!quick && out.result.counted_steps > 0) probes = tarnvex::probe(x, p);
        out.diagnosis = tarnvex::diagnose(out.result, &probes);
        if (!out.diagnosis.counted_any) no_step(out.result);
        out.step_figures = tarnvex::step_figures(out.result);
        out.records = records.text();
        // The diagnosis sorts the float32 estimates as doubles: as float32 they are exact.
        for (const auto& f : out.diagnosis.figures) {
            std::vector<float> s(f.sorted.size());
            for (std::size_t i = 0; i < s.size(); ++i)
                s[i] = static_cast<float>(f.sorted[i]);
            out.sorted.push_back(std::move(s));
        }
    }
    return out;
}

// The surrogate test of lambda1 of every dimension; `workers` runs at a time.
tarnvex::SurrogateTest surrogate_test(const FloatArray& samples, const tarnvex::Parameters& p,
                                      int count, std::uint64_t seed, int workers) {
    const std::vector<float> x = samples_of(samples);
    py::gil_scoped_release release;
    refuse_before_a_run(x, p);
    const auto used = static_cast<std::size_t>(tarnvex::derive(x, p).npts);
    if (used < tarnvex::thresholds::kMinSurrogateSamples) {
        throw InputError("the series is too short for a surrogate test: " + std::to_string(used) +
                         " samples, at least " +
                         std::to_string(tarnvex::thresholds::kMinSurrogateSamples) + " needed");
    }
    try {
        return tarnvex::surrogate_test(x, p, count, seed, workers);
    } catch (const tarnvex::ParameterError& e) {
        refused(e, x, p);
    } catch (const std::invalid_argument& e) {
        // After the checks above, only a data run without a counted step.
        throw NoSteps(e.what());
    }
}

// The run of the time-reversed samples against the run of the samples.
tarnvex::ReverseCheck reverse_check(const FloatArray& samples, const tarnvex::Parameters& p) {
    const std::vector<float> x = samples_of(samples);
    py::gil_scoped_release release;
    refuse_before_a_run(x, p);
    const tarnvex::Result forward = tarnvex::run(x, p);
    if (forward.counted_steps == 0) no_step(forward);
    return tarnvex::reverse_check(x, p, forward);
}

// The page of a whole analysis of the samples, written to a new file at `path`; what the
// page says of the series comes from the caller. The parameters are refused as a run
// refuses them; a run that counts no step still gets its page, and then NoSteps says so.
// Returns the size of the page in bytes.
std::size_t write_report_page(const std::vector<float>& x, const tarnvex::ReportRequest& request,
                              tarnvex::ReportSource source, const std::string& path) {
    if (!tarnvex::check(x, request.parameters).empty()) {
        try {
            (void)tarnvex::run(x, request.parameters);
        } catch (const tarnvex::ParameterError& e) {
            refused(e, x, request.parameters);
        }
    }
    const tarnvex::Derived d = tarnvex::derive(x, request.parameters);
    const std::span<const float> used(x.data(), static_cast<std::size_t>(std::max(d.npts, 0)));
    if (const auto refusal = tarnvex::one_integer_refusal(tarnvex::series_facts(used)))
        throw NoSteps("the run counted no step: " + *refusal);
    source.date = tarnvex::utc_now_text();
    const tarnvex::Analysis a = tarnvex::analyse(x, request, std::move(source));
    const std::string html = tarnvex::report_page(a);
    tarnvex::write_report(path, html);
    if (a.result.counted_steps == 0)
        throw NoSteps("the run counted no step: " + tarnvex::no_step_text(a.result) +
                      "; the page says so: " + path);
    return html.size();
}

tarnvex::ReportRequest report_request(const tarnvex::Parameters& p, bool quick, int surrogates,
                                      std::uint64_t seed, int workers) {
    tarnvex::ReportRequest r;
    r.parameters = p;
    r.quick = quick;
    r.surrogates = surrogates;
    r.seed = seed;
    r.jobs = workers;
    return r;
}

// The page of samples already scaled.
std::size_t report(const FloatArray& samples, const tarnvex::Parameters& p, bool quick,
                   int surrogates, std::uint64_t seed, int workers, const std::string& name,
                   const std::string& preparation, const std::string& command,
                   const std::string& path) {
    const std::vector<float> x = samples_of(samples);
    py::gil_scoped_release release;
    tarnvex::ReportSource source;
    source.series_name = name;
    source.reading = std::to_string(x.size()) + " values given";
    source.preparation = preparation;
    source.command = command;
    return write_report_page(x, report_request(p, quick, surrogates, seed, workers),
                             std::move(source), path);
}

// The page of a series file read as tarnvex-kit report reads it (the values as read).
std::size_t report_file(const std::string& series, bool free_format, const tarnvex::Parameters& p,
                        bool quick, int surrogates, std::uint64_t seed, int workers,
                        const std::string& name, const std::string& command,
                        const std::string& path) {
    py::gil_scoped_release release;
    const tarnvex::SeriesReading reading = tarnvex::read_series_guarded(series, free_format);
    tarnvex::ReportSource source;
    source.series_name = name;
    source.reading = tarnvex::reading_text(reading, tarnvex::derive(reading.samples, p).npts);
    source.preparation = tarnvex::kPreparationAsRead;
    source.command = command;
    return write_report_page(reading.samples, report_request(p, quick, surrogates, seed, workers),
                             std::move(source), path);
}

// A notebook's view of an object, made without the GIL.
template <class Make>
std::string html_of(Make&& make) {
    py::gil_scoped_release release;
    return make();
}

// The facts of samples as a run would use them (no run: no derived values).
RunSeriesFacts series_facts(const FloatArray& samples) {
    const std::vector<float> x = samples_of(samples);
    py::gil_scoped_release release;
    return RunSeriesFacts{tarnvex::series_facts(x), std::nullopt};
}

tarnvex::CaoTable cao(const DoubleArray& x, int delay, int max_dimension, std::size_t samples) {
    const std::span<const double> v = values_of(x);
    std::vector<float> f(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        f[i] = static_cast<float>(v[i]);
    py::gil_scoped_release release;
    return tarnvex::cao_dimension(f, delay, max_dimension, samples);
}

tarnvex::DelaySuggestion suggest_delay(const DoubleArray& x, int max_lag, int bins) {
    const std::span<const double> v = values_of(x);
    py::gil_scoped_release release;
    if (v.size() < 8) {
        throw InputError("the series has " + std::to_string(v.size()) +
                         " samples; a delay suggestion needs at least 8");
    }
    return tarnvex::suggest_delay(v, max_lag, bins);
}

// The series of a test system as `tarnvex-kit gen` writes it: x times the scale, truncated
// toward zero (as float64).
py::array_t<double> generate(const std::string& name, long samples, std::optional<long> transient,
                             std::optional<double> step, std::optional<double> scale) {
    const tarnvex::SystemInfo* s = tarnvex::find_system(name);
    if (s == nullptr) {
        std::string names;
        for (const auto& known : tarnvex::all_systems())
            names += (names.empty() ? "" : ", ") + std::string(known.name);
        throw ParameterRefused("unknown system '" + name + "'; systems: " + names);
    }
    std::vector<double> out;
    {
        py::gil_scoped_release release;
        try {
            out = tarnvex::generate(*s, samples, transient.value_or(s->transient),
                                    step.value_or(s->step));
        } catch (const tarnvex::ScalingError&) {
            throw;
        } catch (const std::invalid_argument& e) {
            throw ParameterRefused(e.what());
        }
        const std::vector<std::int32_t> ints =
            tarnvex::scale_and_truncate(out, scale.value_or(s->scale));
        std::copy(ints.begin(), ints.end(), out.begin());
    }
    return py::array_t<double>(static_cast<py::ssize_t>(out.size()), out.data());
}

py::tuple read_series(const std::string& path, bool free_format) {
    tarnvex::SeriesReading r;
    {
        py::gil_scoped_release release;
        r = tarnvex::read_series_guarded(path, free_format);
    }
    return py::make_tuple(float_array(r.samples), r.cut_note());
}

tarnvex::ResultFileContents read_result(const std::string& path) {
    py::gil_scoped_release release;
    return tarnvex::read_result_file(path);
}

// ----------------------------------------------------------------------- parameters

const char* kernels_name(tarnvex::KernelSet k) {
    return k == tarnvex::KernelSet::Plain ? "plain" : "fast";
}

tarnvex::Parameters make_parameters(std::int32_t npts, std::int32_t ncube,
                                    std::optional<std::int32_t> tmax, std::int32_t delay,
                                    std::pair<std::int32_t, std::int32_t> dims, std::int32_t start,
                                    float dt, std::int32_t evolv, float radius_pct,
                                    std::optional<std::string> kernels, int threads) {
    tarnvex::Parameters p;
    p.npts = npts;
    p.ncube = ncube;
    p.tmax = tmax;
    p.delay = delay;
    p.dims = {dims.first, dims.second};
    p.start = start;
    p.dt = dt;
    p.evolv = evolv;
    p.radius_pct = radius_pct;
    if (kernels == "plain") {
        p.kernels = tarnvex::KernelSet::Plain;
    } else if (kernels == "fast") {
        p.kernels = tarnvex::KernelSet::Fast;
    } else if (kernels) {
        throw ParameterRefused("kernels must be 'fast', 'plain' or None, not '" + *kernels + "'");
    }
    if (threads < 0) {
        throw ParameterRefused("threads must be a whole number of at least 0, not " +
                               std::to_string(threads));
    }
    p.threads = threads;
    return p;
}

// The keyword arguments that start the same run: tarnvex.spectrum(x, **p.as_kwargs()).
py::dict as_kwargs(const tarnvex::Parameters& p) {
    py::dict k;
    k["npts"] = p.npts;
    k["ncube"] = p.ncube;
    k["tmax"] = p.tmax ? py::object(py::int_(*p.tmax)) : py::none();
    k["delay"] = p.delay;
    k["dims"] = py::make_tuple(p.dims.from, p.dims.to);
    k["start"] = p.start;
    k["dt"] = static_cast<double>(p.dt);
    k["evolv"] = p.evolv;
    k["radius_pct"] = static_cast<double>(p.radius_pct);
    k["kernels"] = kernels_name(p.kernels);
    k["threads"] = p.threads;
    return k;
}

std::string repr_of(const char* type, const py::dict& values) {
    std::string s = std::string(type) + "(";
    bool first = true;
    for (const auto& [k, v] : values) {
        s += (first ? "" : ", ") + k.cast<std::string>() + "=" + py::repr(v).cast<std::string>();
        first = false;
    }
    return s + ")";
}

// ------------------------------------------------------------------------ bindings

void bind_parameters(py::module_& m) {
    using P = tarnvex::Parameters;
    py::class_<P> c(m, "Parameters",
                    "The parameters of a run, as the engine takes them. dt (units of time) and "
                    "radius_pct (percent of the extent of the samples) are the single-precision "
                    "values the run uses; tmax is None for a run to the end of the data.");
    c.def(py::init(&make_parameters), py::kw_only(), py::arg("npts") = tarnvex::kMaxSamples,
          py::arg("ncube") = 30, py::arg("tmax") = py::none(), py::arg("delay") = 1,
          py::arg("dims") = std::pair<std::int32_t, std::int32_t>(2, 4), py::arg("start") = 1,
          py::arg("dt") = 1.0f, py::arg("evolv") = 1, py::arg("radius_pct") = 2.0f,
          py::arg("kernels") = py::none(), py::arg("threads") = 1);
    c.def_property_readonly(
        "npts", [](const P& p) { return p.npts; }, "Samples to use (cut to the samples given).");
    c.def_property_readonly(
        "ncube", [](const P& p) { return p.ncube; }, "Neighbours wanted per neighbourhood.");
    c.def_property_readonly(
        "tmax", [](const P& p) { return p.tmax; },
        "Counted steps wanted after the warm-up; None: to the end of the data.");
    c.def_property_readonly(
        "delay", [](const P& p) { return p.delay; }, "Embedding delay, samples.");
    c.def_property_readonly(
        "dims", [](const P& p) { return py::make_tuple(p.dims.from, p.dims.to); },
        "The lowest and highest embedding dimension.");
    c.def_property_readonly(
        "start", [](const P& p) { return p.start; },
        "First reference point, a delay vector counted from 1.");
    c.def_property_readonly(
        "dt", [](const P& p) { return static_cast<double>(p.dt); },
        "Sampling step, units of time (single precision).");
    c.def_property_readonly(
        "evolv", [](const P& p) { return p.evolv; }, "Evolution time, samples.");
    c.def_property_readonly(
        "radius_pct", [](const P& p) { return static_cast<double>(p.radius_pct); },
        "Initial search radius, percent of the extent of the samples (single precision).");
    c.def_property_readonly(
        "kernels", [](const P& p) { return kernels_name(p.kernels); },
        "The numerical kernels: 'fast' or 'plain' (the same bits).");
    c.def_property_readonly(
        "threads", [](const P& p) { return p.threads; },
        "Threads that share the dimensions of a step; 0: every processor.");
    c.def_property_readonly(
        "mfrom",
        [](const P& p) {
            deprecated("Parameters.mfrom is deprecated: use Parameters.dims[0]");
            return p.dims.from;
        },
        "Deprecated: dims[0].");
    c.def_property_readonly(
        "mto",
        [](const P& p) {
            deprecated("Parameters.mto is deprecated: use Parameters.dims[1]");
            return p.dims.to;
        },
        "Deprecated: dims[1].");
    c.def("as_kwargs", &as_kwargs,
          "The keyword arguments that start the same run: "
          "tarnvex.spectrum(x, **parameters.as_kwargs()).");
    c.def("__eq__", [](const P& a, const P& b) { return a == b; });
    c.def("__repr__", [](const P& p) { return repr_of("Parameters", as_kwargs(p)); });
    c.attr("__hash__") = py::none();
    picklable(c);
}

void bind_series(py::module_& m) {
    using F = RunSeriesFacts;
    py::class_<F> c(m, "SeriesFacts",
                    "The samples as the run used them, after scaling and truncation to "
                    "integers.");
    c.def_property_readonly("samples_used", [](const F& f) { return f.facts.samples_used; });
    c.def_property_readonly(
        "int_min", [](const F& f) { return f.facts.int_min; },
        "The smallest sample, truncated toward zero.");
    c.def_property_readonly(
        "int_max", [](const F& f) { return f.facts.int_max; },
        "The largest sample, truncated toward zero.");
    c.def_property_readonly(
        "distinct_integers", [](const F& f) { return f.facts.distinct_integers; },
        "Distinct integers among the truncated samples.");
    c.def_property_readonly(
        "distinct_values", [](const F& f) { return f.facts.distinct_values; },
        "Distinct values among the samples before truncation.");
    c.def_property_readonly(
        "distinct_ints",
        [](const F& f) {
            deprecated("SeriesFacts.distinct_ints is deprecated: use distinct_integers");
            return f.facts.distinct_integers;
        },
        "Deprecated: distinct_integers.");
    // Moved to Spectrum.derived.
    const auto moved = [&c](const char* name, float tarnvex::Derived::*member) {
        const std::string message =
            std::string("SeriesFacts.") + name + " is deprecated: use Spectrum.derived." + name;
        c.def_property_readonly(
            name,
            [message, member](const F& f) {
                if (!f.derived) {
                    throw py::attribute_error(std::string("these series facts come from no run"));
                }
                deprecated(message.c_str());
                return static_cast<double>((*f.derived).*member);
            },
            ("Deprecated: Spectrum.derived." + std::string(name) + ".").c_str());
    };
    moved("xmin", &tarnvex::Derived::xmin);
    moved("xmax", &tarnvex::Derived::xmax);
    moved("extent", &tarnvex::Derived::extent);
    moved("initial_radius", &tarnvex::Derived::initial_radius);
    c.def("__eq__", [](const F& a, const F& b) { return same(a, b); });
    c.attr("__hash__") = py::none();
    c.def("__repr__", [](const F& f) {
        return "SeriesFacts(samples_used=" + std::to_string(f.facts.samples_used) +
               ", int_min=" + std::to_string(f.facts.int_min) +
               ", int_max=" + std::to_string(f.facts.int_max) +
               ", distinct_integers=" + std::to_string(f.facts.distinct_integers) +
               ", distinct_values=" + std::to_string(f.facts.distinct_values) + ")";
    });
    picklable(c);

    using D = tarnvex::Derived;
    py::class_<D> d(m, "Derived",
                    "The values a run derives from its parameters and samples before its steps.");
    d.def_readonly("npts", &D::npts, "Samples used.");
    d.def_property_readonly(
        "xmin", [](const D& v) { return static_cast<double>(v.xmin); },
        "The smallest sample used (single precision).");
    d.def_property_readonly(
        "xmax", [](const D& v) { return static_cast<double>(v.xmax); },
        "The largest sample used (single precision).");
    d.def_property_readonly(
        "extent", [](const D& v) { return static_cast<double>(v.extent); },
        "xmax - xmin, what radius_pct refers to.");
    d.def_property_readonly(
        "periode", [](const D& v) { return static_cast<double>(v.periode); },
        "1 / dt, per unit of time.");
    d.def_property_readonly(
        "initial_radius", [](const D& v) { return static_cast<double>(v.initial_radius); },
        "The search radius at the start of a step, units of the samples.");
    d.def_readonly("ntrip", &D::ntrip, "The iteration budget of the step loop.");
    d.def_readonly("tmax", &D::tmax, "Counted steps wanted, in force.");
    d.def("__repr__", [](const D& v) {
        py::dict k;
        k["npts"] = v.npts;
        k["xmin"] = v.xmin;
        k["xmax"] = v.xmax;
        k["extent"] = v.extent;
        k["initial_radius"] = v.initial_radius;
        k["ntrip"] = v.ntrip;
        k["tmax"] = v.tmax;
        return repr_of("Derived", k);
    });
    picklable(d);
}

void bind_diagnosis(py::module_& m) {
    using W = tarnvex::Warning;
    py::class_<W> w(m, "TrustWarning",
                    "One reason not to believe a run: a stable code, the figure measured and "
                    "the threshold it passed (in the units of the code's check), what it means "
                    "and what to do.");
    w.def_readonly("code", &W::code);
    w.def_readonly("figure", &W::figure);
    w.def_readonly("threshold", &W::threshold);
    w.def_readonly("message", &W::message);
    w.def_readonly("advice", &W::advice);
    w.def("__eq__", [](const W& a, const W& b) { return same(a, b); });
    w.attr("__hash__") = py::none();
    w.def("__repr__", [](const W& v) { return "TrustWarning(" + v.code + ": " + v.message + ")"; });
    picklable(w);

    using C = tarnvex::CheckStatus;
    py::class_<C> c(m, "Check",
                    "What became of one check of the verdict: state is 'passed', 'warned' or "
                    "'not checked'; note says why a check was not made and how to make it, or "
                    "what a pass found.");
    c.def_readonly("code", &C::code);
    c.def_property_readonly("state", [](const C& v) { return tarnvex::check_state_name(v.state); });
    c.def_readonly("note", &C::note);
    c.def("__eq__", [](const C& a, const C& b) { return same(a, b); });
    c.attr("__hash__") = py::none();
    c.def("__repr__", [](const C& v) {
        return "Check(" + v.code + ": " + tarnvex::check_state_name(v.state) +
               (v.note.empty() ? "" : ", " + v.note) + ")";
    });
    picklable(c);

    using F = tarnvex::DimensionFigures;
    py::class_<F> f(m, "Figures",
                    "The figures of one dimension, bits per unit time. lambda1_error is the "
                    "standard error of lambda1: its trajectory part (batch means of the counted "
                    "steps) and its radius part (from the run at half the radius), combined in "
                    "quadrature; the radius part is None for a quick run, the errors None for a "
                    "run too short for them. kaplan_yorke is a dimension.");
    f.def_readonly("dimension", &F::dimension);
    f.def_property_readonly(
        "sorted", [](py::object self) { return view(self.cast<const F&>().sorted, self); },
        "The final exponents from the largest (float64).");
    f.def_readonly("lambda1", &F::lambda1);
    f.def_property_readonly("lambda1_error",
                            [](const F& v) { return optional_float(v.lambda1_error); });
    f.def_property_readonly("lambda1_trajectory_error",
                            [](const F& v) { return optional_float(v.lambda1_trajectory_error); });
    f.def_property_readonly("lambda1_radius_error",
                            [](const F& v) { return optional_float(v.lambda1_radius_error); });
    f.def_property_readonly("lambda1_half_radius",
                            [](const F& v) { return optional_float(v.lambda1_half_radius); });
    f.def_readonly("sum", &F::sum);
    f.def_readonly("kaplan_yorke", &F::kaplan_yorke);
    f.def("__repr__", [](const F& v) {
        return "Figures(dimension=" + std::to_string(v.dimension) +
               ", lambda1=" + py::repr(py::float_(v.lambda1)).cast<std::string>() +
               ", lambda1_error=" + py::repr(optional_float(v.lambda1_error)).cast<std::string>() +
               ")";
    });
    picklable(f);

    using R = tarnvex::ReverseCheck;
    py::class_<R> r(m, "TimeReversal",
                    "The time-reversal test of the highest dimension: the forward exponents and "
                    "those of the reversed series (bits per unit time, from the largest), and per "
                    "forward exponent its mark: 'confirmed', 'likely spurious' or "
                    "'inconclusive'.");
    r.def_readonly("dimension", &R::dimension);
    r.def_property_readonly(
        "forward", [](py::object self) { return view(self.cast<const R&>().forward, self); });
    r.def_property_readonly(
        "reversed", [](py::object self) { return view(self.cast<const R&>().reversed, self); });
    r.def_property_readonly(
        "partner", [](const R& v) { return py::tuple(py::cast(v.partner)); },
        "Per forward exponent: the index of its partner among the negated "
        "reversed ones, or -1.");
    r.def_property_readonly("marks", [](const R& v) {
        py::tuple t(v.marks.size());
        for (std::size_t i = 0; i < v.marks.size(); ++i)
            t[i] = tarnvex::reversal_name(v.marks[i]);
        return t;
    });
    r.def_readonly("conclusive", &R::conclusive);
    r.def_readonly("reversed_trusted", &R::reversed_trusted);
    r.def_readonly("reason", &R::reason);
    r.def("_repr_html_",
          [](const R& v) { return html_of([&] { return tarnvex::reversal_html(v); }); });
    r.def("__repr__", [](const R& v) {
        return "TimeReversal(dimension " + std::to_string(v.dimension) + ", " +
               (v.conclusive ? "conclusive" : "inconclusive") + ": " + v.reason + ")";
    });
    picklable(r);

    using G = tarnvex::Diagnosis;
    py::class_<G> g(m, "Diagnosis", "The figures and the checks of a run.");
    g.def_readonly("counted_any", &G::counted_any);
    g.def_property_readonly(
        "figures", [](py::object self) { return parts(self.cast<const G&>().figures, self); });
    g.def_property_readonly(
        "warnings", [](py::object self) { return parts(self.cast<const G&>().warnings, self); });
    g.def_property_readonly(
        "checks", [](py::object self) { return parts(self.cast<const G&>().checks, self); });
    g.def_property_readonly("reversal", [](py::object self) {
        const auto& v = self.cast<const G&>().reversal;
        return v ? part(*v, self) : py::none();
    });
    g.def_readonly("settles_from", &G::settles_from);
    g.def("has", &G::has, py::arg("code"));
    picklable(g);

    using S = tarnvex::StepFigures;
    py::class_<S> s(m, "StepFigures",
                    "Figures of the counted steps: radius enlargements and the neighbours of "
                    "the highest dimension at the accepted search of each.");
    s.def_readonly("counted_steps", &S::counted_steps);
    s.def_readonly("enlargements", &S::enlargements, "Over all counted steps.");
    s.def_readonly("mean_enlargements", &S::mean_enlargements);
    s.def_readonly("max_enlargements", &S::max_enlargements);
    s.def_readonly("mean_neighbours", &S::mean_neighbours);
    picklable(s);
}

void bind_estimates(py::module_& m) {
    using E = tarnvex::DimensionEstimates;
    py::class_<E> e(m, "RunningEstimates",
                    "The estimates of one dimension at its report points (every 25 counted "
                    "steps): samples counted (steps times the evolution time), the estimates in "
                    "bits per unit time (float32, one row per report point, one column per "
                    "direction of the frame), the natural-log sums behind them and the report "
                    "point inside the warm-up. A count reached again after a step was given up "
                    "keeps the later estimates only. Every table is a read-only view.");
    e.def_readonly("dimension", &E::dimension);
    e.def_property_readonly(
        "steps", [](py::object self) { return view(self.cast<const E&>().steps, self); });
    e.def_property_readonly(
        "samples", [](py::object self) { return view(self.cast<const E&>().samples, self); });
    e.def_property_readonly("warmup", [](py::object self) {
        const auto& v = self.cast<const E&>().warmup;
        return view(py::dtype("bool"), v.data(), {static_cast<py::ssize_t>(v.size())}, {1}, self);
    });
    e.def_property_readonly("exponents", [](py::object self) {
        const auto& d = self.cast<const E&>();
        return table_view(d.exponents, d.reports(), d.dimension, self);
    });
    e.def_property_readonly("log_sums", [](py::object self) {
        const auto& d = self.cast<const E&>();
        return table_view(d.log_sums, d.reports(), d.dimension, self);
    });
    e.def_property_readonly("final_exponents", [](py::object self) {
        return view(self.cast<const E&>().final_exponents, self);
    });
    e.def_readonly("final_steps", &E::final_steps);
    e.def_readonly("final_samples", &E::final_samples);
    e.def("__len__", &E::reports);
    picklable(e);
}

void bind_spectrum(py::module_& m) {
    using S = RunResult;
    py::class_<S> c(m, "Spectrum",
                    "The result of one run: the estimates of every dimension, the run's counts, "
                    "the diagnosis and the records of the program's result file. exponents[m] "
                    "are the final estimates of dimension m in the program's order (float32, "
                    "bits per unit time), sorted_exponents[m] the same from the largest; scale "
                    "is the factor the samples were multiplied by (scale_exponent: k when it was "
                    "chosen as 10^k, None when given). Tables are read-only views.");
    const auto self_of = [](py::object& self) -> const S& { return self.cast<const S&>(); };
    c.def_property_readonly("parameters", [self_of](py::object self) {
        return part(self_of(self).result.parameters, self);
    });
    c.def_readonly("scale", &S::scale);
    c.def_readonly("scale_exponent", &S::scale_exponent);
    c.def_property_readonly("series", [](const S& s) {
        return RunSeriesFacts{s.result.series, s.result.derived};
    });
    c.def_property_readonly(
        "derived", [self_of](py::object self) { return part(self_of(self).result.derived, self); });
    c.def_property_readonly(
        "tmax", [](const S& s) { return s.result.derived.tmax; },
        "Counted steps wanted, in force.");
    c.def_property_readonly(
        "iteration_budget", [](const S& s) { return s.result.derived.ntrip; },
        "Iterations the data allow.");
    c.def_property_readonly("iterations", [](const S& s) { return s.result.iterations; });
    c.def_property_readonly("counted_steps", [](const S& s) { return s.result.counted_steps; });
    c.def_property_readonly("reached_tmax", [](const S& s) { return s.result.reached_tmax; });
    c.def_property_readonly("steps_given_up", [](const S& s) { return s.result.steps_given_up; });
    c.def_property_readonly(
        "warmup_end", [](const S& s) { return s.result.warmup_end; },
        "The iteration that ended the warm-up, 0 if none did.");
    c.def_property_readonly("covariance_retries",
                            [](const S& s) { return s.result.covariance_retries; });
    c.def_property_readonly("orthonormal_retries",
                            [](const S& s) { return s.result.orthonormal_retries; });
    c.def_property_readonly(
        "singular_retries",
        [](const S& s) { return s.result.covariance_retries + s.result.orthonormal_retries; },
        "Steps sent back to the search by a singular matrix, of both kinds.");
    c.def_property_readonly(
        "retries_by_dimension",
        [](const S& s) {
            py::dict out;
            const auto& by = s.result.retries_by_dimension;
            for (std::size_t dim = 1; dim < by.size(); ++dim) {
                if (dim < static_cast<std::size_t>(s.result.parameters.dims.from)) continue;
                out[py::int_(dim)] = py::make_tuple(by[dim][0], by[dim][1]);
            }
            return out;
        },
        "Per dimension: (covariance, orthonormalisation) retries.");
    c.def_property_readonly(
        "dims",
        [](const S& s) {
            py::list out;
            for (const auto& d : s.result.dimensions)
                out.append(d.dimension);
            return out;
        },
        "The embedding dimensions of the run, from the lowest.");
    c.def_property_readonly("exponents", [self_of](py::object self) {
        py::dict out;
        for (const auto& d : self_of(self).result.dimensions)
            out[py::int_(d.dimension)] = view(d.final_exponents, self);
        return out;
    });
    c.def_property_readonly("sorted_exponents", [self_of](py::object self) {
        const S& s = self_of(self);
        py::dict out;
        for (std::size_t k = 0; k < s.sorted.size(); ++k)
            out[py::int_(s.diagnosis.figures[k].dimension)] = view(s.sorted[k], self);
        return out;
    });
    c.def_property_readonly("final_samples", [](const S& s) {
        py::dict out;
        for (const auto& d : s.result.dimensions)
            out[py::int_(d.dimension)] = d.final_samples;
        return out;
    });
    c.def_property_readonly("final_steps", [](const S& s) {
        py::dict out;
        for (const auto& d : s.result.dimensions)
            out[py::int_(d.dimension)] = d.final_steps;
        return out;
    });
    c.def_property_readonly("estimates", [self_of](py::object self) {
        py::dict out;
        for (const auto& d : self_of(self).result.dimensions)
            out[py::int_(d.dimension)] = part(d, self);
        return out;
    });
    c.def_property_readonly(
        "diagnosis", [self_of](py::object self) { return part(self_of(self).diagnosis, self); });
    c.def_property_readonly("figures", [self_of](py::object self) {
        py::dict out;
        for (const auto& f : self_of(self).diagnosis.figures)
            out[py::int_(f.dimension)] = part(f, self);
        return out;
    });
    c.def_property_readonly("warnings", [self_of](py::object self) {
        return parts(self_of(self).diagnosis.warnings, self);
    });
    c.def_property_readonly("checks", [self_of](py::object self) {
        return parts(self_of(self).diagnosis.checks, self);
    });
    c.def_property_readonly(
        "not_checked",
        [self_of](py::object self) {
            py::list out;
            for (const auto& ch : self_of(self).diagnosis.checks)
                if (ch.state == tarnvex::CheckState::NotChecked) out.append(part(ch, self));
            return py::tuple(out);
        },
        "The checks that were not made, each with why and how to make it.");
    c.def_property_readonly(
        "trusted", [](const S& s) { return s.diagnosis.warnings.empty(); },
        "True when the diagnostics raised no warning (see not_checked).");
    c.def_property_readonly("settles_from", [](const S& s) { return s.diagnosis.settles_from; });
    c.def_property_readonly("time_reversal", [self_of](py::object self) {
        const auto& v = self_of(self).diagnosis.reversal;
        return v ? part(*v, self) : py::none();
    });
    c.def_property_readonly("step_figures", [self_of](py::object self) {
        return part(self_of(self).step_figures, self);
    });
    c.def_property_readonly(
        "radius_enlargements", [](const S& s) { return s.step_figures.enlargements; },
        "Radius enlargements over the counted steps.");
    c.def_property_readonly(
        "mean_radius_enlargements", [](const S& s) { return s.step_figures.mean_enlargements; },
        "Radius enlargements per counted step.");
    c.def_property_readonly(
        "steps",
        [self_of](py::object self) {
            using R = tarnvex::StepRecord;
            const auto& v = self_of(self).result.steps;
            py::array_t<bool> counted(static_cast<py::ssize_t>(v.size()));
            auto w = counted.mutable_unchecked<1>();
            for (std::size_t i = 0; i < v.size(); ++i)
                w(static_cast<py::ssize_t>(i)) = v[i].outcome == tarnvex::StepOutcome::Counted;
            py::dict out;
            out["iref"] = field_view<R, std::int32_t>(v, offsetof(R, iref), self);
            out["nstep"] = field_view<R, std::int32_t>(v, offsetof(R, nstep), self);
            out["enlargements"] = field_view<R, std::int16_t>(v, offsetof(R, enlargements), self);
            out["neighbours"] = field_view<R, std::int16_t>(v, offsetof(R, neighbours), self);
            out["covariance_retries"] =
                field_view<R, std::uint16_t>(v, offsetof(R, covariance_retries), self);
            out["orthonormal_retries"] =
                field_view<R, std::uint16_t>(v, offsetof(R, orthonormal_retries), self);
            out["counted"] = counted;
            return out;
        },
        "One entry per iteration: the reference point, the counted steps after it, the radius "
        "enlargements, the neighbours of the highest dimension, the retries of both kinds and "
        "whether the step was counted.");
    c.def_property_readonly(
        "retries",
        [self_of](py::object self) {
            using R = tarnvex::Retry;
            const auto& v = self_of(self).result.retries;
            py::dict out;
            out["iteration"] = field_view<R, std::int32_t>(v, offsetof(R, iteration), self);
            out["nstep"] = field_view<R, std::int32_t>(v, offsetof(R, nstep), self);
            out["dimension"] = field_view<R, std::int16_t>(v, offsetof(R, dimension), self);
            // 0 covariance, 1 orthonormal column, 2 orthonormal factor
            out["kind"] = field_view<R, std::uint8_t>(v, offsetof(R, kind), self);
            return out;
        },
        "The first 65536 retries after a singular matrix, in order.");
    c.def(
        "as_kwargs",
        [](const S& s) {
            py::dict k = as_kwargs(s.result.parameters);
            k["scale"] = s.scale;
            return k;
        },
        "The keyword arguments that start this run again on the same series: "
        "parameters.as_kwargs() and the scale the samples were taken at.");
    c.def(
        "_repr_html_",
        [](const S& s) {
            return html_of([&] { return tarnvex::spectrum_html(s.result, s.diagnosis, true); });
        },
        "The run in a notebook: the final exponents as a table, the verdict and the running "
        "lambda1 of every dimension (drawn by gnuplot where it is installed).");
    c.def_property_readonly("_records", [](const S& s) { return py::bytes(s.records); });
    c.def(
        "_result_file_bytes",
        [](const S& s, const std::string& series_name, const std::string& result_name) {
            return py::bytes(tarnvex::result_file_header(series_name, result_name,
                                                         s.result.parameters, s.result.derived) +
                             s.records);
        },
        py::arg("series_name"), py::arg("result_name"));
    picklable(c);
}

void bind_significance(py::module_& m) {
    using R = tarnvex::SurrogateRank;
    py::class_<R> r(m, "SurrogateRank",
                    "The rank test of lambda1 of one dimension among its surrogates' (bits per "
                    "unit time; NaN for a surrogate run that counted no step). direction is "
                    "'below' (what deterministic chaos gives), 'above' or 'within'.");
    r.def_readonly("dimension", &R::dimension);
    r.def_readonly("data_lambda1", &R::data_lambda1);
    r.def_property_readonly("surrogate_lambda1", [](py::object self) {
        return view(self.cast<const R&>().surrogate_lambda1, self);
    });
    r.def_readonly("below", &R::below);
    r.def_readonly("above", &R::above);
    r.def_readonly("ties", &R::ties);
    r.def_readonly("p_value", &R::p_value);
    r.def_readonly("rejected", &R::rejected);
    r.def_property_readonly("direction",
                            [](const R& v) { return tarnvex::direction_name(v.direction); });
    r.def_readonly("verdict", &R::verdict);
    r.def("__repr__", [](const R& v) {
        return "SurrogateRank(dimension " + std::to_string(v.dimension) + ": " + v.verdict + ")";
    });
    picklable(r);

    using T = tarnvex::SurrogateTest;
    py::class_<T> t(m, "SurrogateTest",
                    "The surrogate test of lambda1 of every dimension of a run.");
    t.def_readonly("count", &T::count, "Surrogates.");
    t.def_property_readonly("dimensions", [](py::object self) {
        return parts(self.cast<const T&>().dimensions, self);
    });
    t.def_readonly("verdict", &T::verdict);
    t.def(
        "dimension",
        [](py::object self, int dim) -> py::object {
            const R* d = self.cast<const T&>().dimension(dim);
            return d ? part(*d, self) : py::none();
        },
        py::arg("m"), "The rank test of dimension m, or None.");
    t.def("__repr__", [](const T& v) { return "SurrogateTest(" + v.verdict + ")"; });
    t.def("_repr_html_",
          [](const T& v) { return html_of([&] { return tarnvex::surrogates_html(v); }); });
    picklable(t);

    using C = tarnvex::CaoTable;
    py::class_<C> c(m, "CaoTable",
                    "Cao's E1 and E2 (maximum norm): e1[d - 1] and e2[d - 1] for d = 1 to "
                    "max_dim - 1; the suggested dimension, None when E1 does not saturate.");
    c.def_readonly("delay", &C::delay);
    c.def_property_readonly("e1",
                            [](py::object self) { return view(self.cast<const C&>().e1, self); });
    c.def_property_readonly("e2",
                            [](py::object self) { return view(self.cast<const C&>().e2, self); });
    c.def_readonly("dimension", &C::dimension);
    c.def_readonly("reason", &C::reason);
    c.def("__repr__", [](const C& v) {
        return "CaoTable(delay " + std::to_string(v.delay) + ": " + v.reason + ")";
    });
    c.def("_repr_html_", [](const C& v) { return html_of([&] { return tarnvex::cao_html(v); }); });
    picklable(c);

    using D = tarnvex::DelaySuggestion;
    py::class_<D> d(m, "DelaySuggestion",
                    "An embedding delay with the curves it was chosen from: the mutual "
                    "information (bits) and the autocorrelation at lags 0 to max_lag (the "
                    "autocorrelation is empty for a constant series).");
    d.def_readonly("delay", &D::delay, "Samples.");
    d.def_property_readonly(
        "rule",
        [](const D& v) {
            switch (v.rule) {
                case tarnvex::DelayRule::MutualInformationMinimum:
                    return "mutual information";
                case tarnvex::DelayRule::AutocorrelationZero:
                    return "autocorrelation";
                case tarnvex::DelayRule::Default:
                    break;
            }
            return "default";
        },
        "'mutual information', 'autocorrelation' or 'default'.");
    d.def_readonly("method", &D::method);
    d.def_readonly("max_lag", &D::max_lag);
    d.def_property_readonly("mutual_information", [](py::object self) {
        return view(self.cast<const D&>().mutual_information, self);
    });
    d.def_property_readonly("autocorrelation", [](py::object self) {
        return view(self.cast<const D&>().autocorrelation, self);
    });
    d.def("__repr__", [](const D& v) {
        return "DelaySuggestion(delay " + std::to_string(v.delay) + ": " + v.method + ")";
    });
    picklable(d);
}

void bind_result_file(py::module_& m) {
    using R = tarnvex::ResultFileRecord;
    py::class_<R> r(m, "ResultRecord",
                    "One spectrum record of a result file: samples counted, the dimension, the "
                    "estimates as the file rounds them (bits per unit time, NaN for a field of "
                    "asterisks) and whether it was written during the warm-up.");
    r.def_readonly("samples", &R::samples);
    r.def_readonly("dimension", &R::dimension);
    r.def_property_readonly(
        "estimates", [](py::object self) { return view(self.cast<const R&>().estimates, self); });
    r.def_readonly("warmup", &R::warmup);
    picklable(r);

    using F = tarnvex::ResultFileContents;
    py::class_<F> f(m, "ResultFile",
                    "A result file read back: the two names of its header, its parameter record "
                    "and its spectrum records.");
    f.def_readonly("series_name", &F::series_name);
    f.def_readonly("result_name", &F::result_name);
    f.def_readonly("npts", &F::npts);
    f.def_readonly("ncube", &F::ncube);
    f.def_readonly("tmax", &F::tmax);
    f.def_readonly("delay", &F::delay);
    f.def_property_readonly("dims",
                            [](const F& v) { return py::make_tuple(v.dims.from, v.dims.to); });
    f.def_readonly("dt", &F::dt);
    f.def_readonly("evolv", &F::evolv);
    f.def_readonly("radius_pct", &F::radius_pct);
    f.def_property_readonly(
        "records", [](py::object self) { return parts(self.cast<const F&>().records, self); });
    f.def(
        "last_record",
        [](py::object self, int dim) -> py::object {
            const R* rec = self.cast<const F&>().last_record(dim);
            return rec ? part(*rec, self) : py::none();
        },
        py::arg("m"), "The last record of dimension m, or None.");
    picklable(f);
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "The tarnvex engine: its types, its runs and tests, and the program's result file.";
    python_errors.input = PyErr_NewException("tarnvex._core.InputError", PyExc_ValueError, nullptr);
    python_errors.parameter =
        PyErr_NewException("tarnvex._core.ParameterError", PyExc_ValueError, nullptr);
    python_errors.no_steps =
        PyErr_NewException("tarnvex._core.NoStepsError", PyExc_RuntimeError, nullptr);
    python_errors.result_file =
        PyErr_NewException("tarnvex._core.ResultFileError", PyExc_ValueError, nullptr);
    m.attr("InputError") = py::handle(python_errors.input);
    m.attr("ParameterError") = py::handle(python_errors.parameter);
    m.attr("NoStepsError") = py::handle(python_errors.no_steps);
    m.attr("ResultFileError") = py::handle(python_errors.result_file);
    py::register_exception_translator(&translate);

    m.attr("MAX_SAMPLES") = tarnvex::kMaxSamples;
    m.attr("PROGRAM_SAMPLES") = tarnvex::kProgramSamples;
    m.attr("MAX_DIMENSION") = tarnvex::kMaxDimension;
    m.attr("MAX_NEIGHBOURS") = tarnvex::kMaxNeighbours;
    m.attr("WARMUP_ITERATIONS") = tarnvex::kWarmupIterations;
    m.attr("REPORT_EVERY") = tarnvex::kReportEvery;
    m.attr("TARGET_SPAN") = tarnvex::kTargetSpan;
    m.attr("MIN_SURROGATES") = tarnvex::thresholds::kMinSurrogates;
    m.attr("DELAY_MAX_LAG") = tarnvex::kDelayMaxLag;
    m.attr("DELAY_BINS") = tarnvex::kDelayBins;
    m.attr("DEFAULT_KERNELS") = kernels_name(tarnvex::default_kernel_set());

    bind_parameters(m);
    bind_series(m);
    bind_diagnosis(m);
    bind_estimates(m);
    bind_spectrum(m);
    bind_significance(m);
    bind_result_file(m);

    py::list systems;
    for (const auto& s : tarnvex::all_systems()) {
        py::dict d;
        d["name"] = std::string(s.name);
        d["description"] = std::string(s.description);
        d["flow"] = s.flow;
        d["samples"] = s.samples;
        d["transient"] = s.transient;
        d["step"] = s.step;
        d["scale"] = s.scale;
        d["nats"] = py::tuple(py::cast(s.nats));
        d["source"] = std::string(s.source);
        systems.append(d);
    }
    m.attr("SYSTEMS") = systems;

    m.def("scaled", &scaled, py::arg("x"), py::arg("scale") = py::none(),
          "(samples as float32, factor, k or None): the samples as a run takes them.");
    m.def("run", &run, py::arg("samples"), py::arg("parameters"), py::arg("progress"),
          py::arg("quick"), py::arg("scale"), py::arg("scale_exponent"),
          "One run of the engine: its result, diagnosis and records.");
    m.def("surrogate_test", &surrogate_test, py::arg("samples"), py::arg("parameters"),
          py::arg("count"), py::arg("seed"), py::arg("workers"),
          "The surrogate test of lambda1 of every dimension.");
    m.def("reverse_check", &reverse_check, py::arg("samples"), py::arg("parameters"),
          "The run of the reversed samples against the run of the samples.");
    m.def("report", &report, py::arg("samples"), py::arg("parameters"), py::arg("quick"),
          py::arg("surrogates"), py::arg("seed"), py::arg("workers"), py::arg("name"),
          py::arg("preparation"), py::arg("command"), py::arg("path"),
          "The page of a whole analysis of samples, written to a new file; its size in bytes.");
    m.def("report_file", &report_file, py::arg("series"), py::arg("free_format"),
          py::arg("parameters"), py::arg("quick"), py::arg("surrogates"), py::arg("seed"),
          py::arg("workers"), py::arg("name"), py::arg("command"), py::arg("path"),
          "The page of a whole analysis of a series file read as tarnvex-kit report reads it.");
    m.def("series_facts", &series_facts, py::arg("samples"),
          "The integers these samples truncate to, as a run would use them.");
    m.def("cao", &cao, py::arg("x"), py::arg("delay"), py::arg("max_dim"), py::arg("samples"),
          "Cao's E1 and E2 and the embedding dimension they suggest.");
    m.def("suggest_delay", &suggest_delay, py::arg("x"), py::arg("max_lag"), py::arg("bins"),
          "An embedding delay with its mutual-information and autocorrelation curves.");
    m.def("generate", &generate, py::arg("name"), py::arg("samples"), py::arg("transient"),
          py::arg("step"), py::arg("scale"), "A series of a test system with known exponents.");
    m.def("read_series", &read_series, py::arg("path"), py::arg("free_format") = false,
          "(samples, note): a series file read by the program's rules (float32, at most "
          "MAX_SAMPLES values; the program itself reads only the first PROGRAM_SAMPLES) after "
          "the layout checks, and what was left out.");
    m.def("read_result", &read_result, py::arg("path"),
          "A result file read back through the library's reader.");
}
