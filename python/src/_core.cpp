// tarnvex._core: the engine's run, its diagnosis and the program's result records for the
// Python package. Nothing here computes an estimate: samples are checked and turned into the
// single-precision values the engine takes, the run goes to tarnvex::run with the GIL
// released, and its result comes back as numbers and arrays, unchanged.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "convert.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/result_file.hpp"
#include "tarnvex/tarnvex.hpp"

namespace py = pybind11;

namespace {

using tarnvex::kMaxSamples;

// Input that no run can take (raised as tarnvex.InputError, a ValueError).
class InputError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};
// Parameters that one of the program's checks refuses (tarnvex.ParameterError, a ValueError).
class ParameterRefused : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};
// A run that counted no step (tarnvex.NoStepsError, a RuntimeError).
class NoSteps : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The span the automatic scale aims at, in integer steps of the truncated samples.
constexpr double kTargetSpan = 10000.0;

// A number for a message: whole numbers in full, others to nine digits.
std::string number(double v) {
    char buf[40];
    if (std::trunc(v) == v && std::fabs(v) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", v);
    } else {
        std::snprintf(buf, sizeof buf, "%.9g", v);
    }
    return buf;
}

// The first sample whose truncation does not fit 32 bits, or -1.
std::ptrdiff_t first_unfit(const std::vector<float>& s) {
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!tarnvex::fits_i32(s[i])) return static_cast<std::ptrdiff_t>(i);
    return -1;
}

// float32(x[i] * factor) for every sample: the product in double, rounded once.
void convert(const double* x, std::size_t n, double factor, std::vector<float>& out) {
    out.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<float>(x[i] * factor);
}

// max - min of single-precision samples, in double.
double span_of(const std::vector<float>& s) {
    const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
    return static_cast<double>(*hi) - static_cast<double>(*lo);
}

// The samples as the engine takes them: float32(x * scale). Without a scale, the smallest
// power of ten 10^k, k >= 0, that makes the samples span at least 10000 integer steps
// (a series that does already, or a constant one, keeps a factor of 1).
// Returns the samples, the factor and k (none when the scale was given).
py::tuple scaled(const py::array_t<double, py::array::c_style | py::array::forcecast>& x,
                 std::optional<double> scale) {
    if (x.ndim() != 1) {
        std::string shape;
        for (py::ssize_t d = 0; d < x.ndim(); ++d)
            shape += (d ? ", " : "") + std::to_string(x.shape(d));
        throw InputError("the series must be one-dimensional; got an array of shape (" + shape +
                         "): pass one column, e.g. x[:, 0]");
    }
    const auto n = static_cast<std::size_t>(x.shape(0));
    if (n == 0) throw InputError("the series is empty");
    if (n > static_cast<std::size_t>(kMaxSamples)) {
        throw InputError("the series has " + std::to_string(n) + " samples; a run takes at most " +
                         std::to_string(kMaxSamples) +
                         ": run a window of it, e.g. x[:20000], or several windows "
                         "x[i:i + 20000] with tarnvex.batch");
    }
    const double* v = x.data();
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(v[i])) {
            throw InputError(
                "sample " + std::to_string(i) + " (counting from 0) is " +
                (std::isnan(v[i]) ? "NaN" : (v[i] > 0 ? "+inf" : "-inf")) +
                ": every sample must be a finite number; remove or fill the gap first");
        }
    }
    std::vector<float> out;
    if (scale) {
        const double s = *scale;
        if (!(std::isfinite(s) && s > 0.0)) {
            throw InputError("scale must be a positive finite number, not " + number(s));
        }
        convert(v, n, s, out);
        const std::ptrdiff_t bad = first_unfit(out);
        if (bad >= 0) {
            const auto i = static_cast<std::size_t>(bad);
            throw InputError("sample " + std::to_string(i) + " (" + number(v[i]) +
                             ") times the scale " + number(s) + " is " +
                             number(static_cast<double>(out[i])) +
                             ", whose truncation does not fit a 32-bit integer: give a smaller "
                             "scale or subtract an offset (e.g. the mean) first");
        }
        return py::make_tuple(py::array_t<float>(static_cast<py::ssize_t>(n), out.data()), s,
                              py::none());
    }
    const auto [lo, hi] = std::minmax_element(v, v + n);
    const bool constant = *lo == *hi;
    for (int k = 0;; ++k) {
        const double factor = std::pow(10.0, k);  // exact up to 10^22
        convert(v, n, factor, out);
        const std::ptrdiff_t bad = first_unfit(out);
        if (bad >= 0) {
            const auto i = static_cast<std::size_t>(bad);
            const std::string why =
                k == 0 ? "is " + number(v[i]) + ", whose truncation"
                       : "becomes " + number(static_cast<double>(out[i])) + " at the factor 10^" +
                             std::to_string(k) +
                             " the series needs to span 10000 integer steps, and its truncation";
            throw InputError("sample " + std::to_string(i) + " " + why +
                             " does not fit a 32-bit integer: subtract an offset (e.g. the mean) "
                             "first, or give scale= yourself");
        }
        if (constant || span_of(out) >= kTargetSpan) {
            return py::make_tuple(py::array_t<float>(static_cast<py::ssize_t>(n), out.data()),
                                  factor, k);
        }
    }
}

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

template <class T, class U = T>
py::array_t<T> array_of(const std::vector<U>& v) {
    py::array_t<T> a(static_cast<py::ssize_t>(v.size()));
    auto w = a.template mutable_unchecked<1>();
    for (std::size_t i = 0; i < v.size(); ++i)
        w(static_cast<py::ssize_t>(i)) = static_cast<T>(v[i]);
    return a;
}

// reports x m values, row r at r * m.
template <class T>
py::array_t<T> matrix_of(const std::vector<T>& v, std::size_t reports, int m) {
    py::array_t<T> a({static_cast<py::ssize_t>(reports), static_cast<py::ssize_t>(m)});
    std::copy(v.begin(),
              v.begin() + static_cast<std::ptrdiff_t>(reports * static_cast<std::size_t>(m)),
              a.mutable_data());
    return a;
}

py::dict dimension_dict(const tarnvex::DimensionEstimates& d) {
    py::dict o;
    o["dimension"] = d.dimension;
    o["steps"] = array_of<std::int64_t>(d.steps);
    o["samples"] = array_of<std::int64_t>(d.samples);
    o["warmup"] = array_of<bool>(d.warmup);
    o["exponents"] = matrix_of(d.exponents, d.reports(), d.dimension);
    o["log_sums"] = matrix_of(d.log_sums, d.reports(), d.dimension);
    o["final_exponents"] = array_of<float>(d.final_exponents);
    o["final_steps"] = d.final_steps;
    o["final_samples"] = d.final_samples;
    return o;
}

py::dict steps_dict(const std::vector<tarnvex::StepRecord>& steps) {
    const auto n = static_cast<py::ssize_t>(steps.size());
    py::array_t<std::int32_t> iref(n), nstep(n);
    py::array_t<std::int16_t> ngrow(n), neighbours(n);
    py::array_t<std::uint16_t> cov(n), orth(n);
    py::array_t<bool> counted(n);
    for (py::ssize_t i = 0; i < n; ++i) {
        const auto& s = steps[static_cast<std::size_t>(i)];
        iref.mutable_at(i) = s.iref;
        nstep.mutable_at(i) = s.nstep;
        ngrow.mutable_at(i) = s.enlargements;
        neighbours.mutable_at(i) = s.neighbours;
        cov.mutable_at(i) = s.covariance_retries;
        orth.mutable_at(i) = s.orthonormal_retries;
        counted.mutable_at(i) = s.outcome == tarnvex::StepOutcome::Counted;
    }
    py::dict o;
    o["iref"] = iref;
    o["nstep"] = nstep;
    o["enlargements"] = ngrow;
    o["neighbours"] = neighbours;
    o["covariance_retries"] = cov;
    o["orthonormal_retries"] = orth;
    o["counted"] = counted;
    return o;
}

py::dict retries_dict(const std::vector<tarnvex::Retry>& retries) {
    const auto n = static_cast<py::ssize_t>(retries.size());
    py::array_t<std::int32_t> iteration(n), nstep(n);
    py::array_t<std::int16_t> dimension(n);
    py::array_t<std::uint8_t> kind(n);
    for (py::ssize_t i = 0; i < n; ++i) {
        const auto& r = retries[static_cast<std::size_t>(i)];
        iteration.mutable_at(i) = r.iteration;
        nstep.mutable_at(i) = r.nstep;
        dimension.mutable_at(i) = r.dimension;
        kind.mutable_at(i) = static_cast<std::uint8_t>(r.kind);
    }
    py::dict o;
    o["iteration"] = iteration;
    o["nstep"] = nstep;
    o["dimension"] = dimension;
    o["kind"] = kind;  // 0 covariance, 1 orthonormal column, 2 orthonormal factor
    return o;
}

py::dict diagnosis_dict(const tarnvex::Diagnosis& dg) {
    py::list figures;
    for (const auto& f : dg.figures) {
        py::dict o;
        o["dimension"] = f.dimension;
        o["sorted"] = array_of<double>(f.sorted);
        o["lambda1"] = f.lambda1;
        const auto optional = [](const std::optional<double>& v) {
            return v ? py::object(py::float_(*v)) : py::none();
        };
        o["lambda1_error"] = optional(f.lambda1_error);
        o["lambda1_trajectory_error"] = optional(f.lambda1_trajectory_error);
        o["lambda1_radius_error"] = optional(f.lambda1_radius_error);
        o["lambda1_half_radius"] = optional(f.lambda1_half_radius);
        o["sum"] = f.sum;
        o["kaplan_yorke"] = f.kaplan_yorke;
        figures.append(o);
    }
    py::list warnings;
    for (const auto& w : dg.warnings) {
        py::dict o;
        o["code"] = w.code;
        o["figure"] = w.figure;
        o["threshold"] = w.threshold;
        o["message"] = w.message;
        o["advice"] = w.advice;
        warnings.append(o);
    }
    py::list checks;
    for (const auto& c : dg.checks)
        checks.append(py::make_tuple(c.code, tarnvex::check_state_name(c.state), c.note));
    py::dict o;
    o["figures"] = figures;
    o["warnings"] = warnings;
    o["checks"] = checks;
    o["settles_from"] = dg.settles_from ? py::object(py::int_(*dg.settles_from)) : py::none();
    if (dg.reversal) {
        const tarnvex::ReverseCheck& c = *dg.reversal;
        py::dict r;
        r["dimension"] = c.dimension;
        r["forward"] = array_of<double>(c.forward);
        r["reversed"] = array_of<double>(c.reversed);
        py::list marks;
        for (const auto m : c.marks)
            marks.append(tarnvex::reversal_name(m));
        r["marks"] = marks;
        r["partner"] = c.partner;
        r["conclusive"] = c.conclusive;
        r["reason"] = c.reason;
        o["reversal"] = r;
    } else {
        o["reversal"] = py::none();
    }
    return o;
}

std::string plain(std::string_view message) {
    const auto first = message.find_first_not_of(' ');
    return std::string(first == std::string_view::npos ? message : message.substr(first));
}

// The answers shared by a run and a result file's header.
tarnvex::Parameters parameters_of(std::int32_t ncube, std::optional<std::int32_t> tmax,
                                  std::int32_t delay, std::int32_t mfrom, std::int32_t mto,
                                  float dt, std::int32_t evolv, float radius_pct) {
    tarnvex::Parameters p;
    p.ncube = ncube;
    p.tmax = tmax;
    p.delay = delay;
    p.dims.from = mfrom;
    p.dims.to = mto;
    p.dt = dt;
    p.evolv = evolv;
    p.radius_pct = radius_pct;
    return p;
}

// One run of the engine on single-precision samples. The result file's records (all but
// its two header records) are kept as the program writes them, so that the file can be
// written later under any name.
py::dict run(const py::array_t<float, py::array::c_style | py::array::forcecast>& samples,
             std::int32_t ncube, std::optional<std::int32_t> tmax, std::int32_t delay,
             std::int32_t mfrom, std::int32_t mto, std::int32_t istart, float dt,
             std::int32_t evolv, float radius_pct, const std::string& kernels, std::int32_t threads,
             const py::object& progress, bool quick) {
    if (samples.ndim() != 1) throw InputError("the samples must be one-dimensional");
    tarnvex::Parameters p = parameters_of(ncube, tmax, delay, mfrom, mto, dt, evolv, radius_pct);
    p.start = istart;
    p.threads = threads;  // checked by the Python layer
    if (kernels == "plain") {
        p.kernels = tarnvex::KernelSet::Plain;
    } else if (kernels == "fast") {
        p.kernels = tarnvex::KernelSet::Fast;
    } else if (kernels != "default") {
        throw ParameterRefused("kernels must be 'fast', 'plain' or None, not '" + kernels + "'");
    }
    // A copy the run owns: the caller's array may change while the GIL is released.
    const std::vector<float> x(samples.data(), samples.data() + samples.shape(0));

    tarnvex::StringSink records;
    PythonObserver observer(progress);
    tarnvex::Result r;
    tarnvex::Diagnosis dg;
    {
        py::gil_scoped_release release;
        if (tarnvex::check(x, p).empty()) {
            const tarnvex::Derived d = tarnvex::derive(x, p);
            if (d.ntrip < 1) {
                const std::int64_t need = std::int64_t{tarnvex::kWarmupIterations} + evolv;
                throw InputError("the series has " + std::to_string(x.size()) +
                                 " samples; a run at an evolution time of " +
                                 std::to_string(evolv) + " needs at least " + std::to_string(need) +
                                 " (the warm-up takes " +
                                 std::to_string(tarnvex::kWarmupIterations) + ")");
            }
        }
        try {
            r = tarnvex::run_writing_records(x, p, records, nullptr, &observer);
        } catch (const tarnvex::ParameterError& e) {
            if (e.reason() == tarnvex::Refusal::StartOutside && istart >= 1) {
                const std::int64_t need =
                    std::int64_t{istart} + 1 + std::int64_t{mto - 1} * std::int64_t{delay};
                throw InputError("the series has " + std::to_string(x.size()) +
                                 " samples; dimension " + std::to_string(mto) + " at a delay of " +
                                 std::to_string(delay) + " from start point " +
                                 std::to_string(istart) + " needs at least " +
                                 std::to_string(need) + " (" + plain(e.what()) + ")");
            }
            throw ParameterRefused("the parameters are refused: " + plain(e.what()));
        }
        if (const auto refusal = tarnvex::one_integer_refusal(r.series))
            throw NoSteps("the run counted no step: " + *refusal);
        // The verdict's extra runs, unless quick: half the radius and the reversed series.
        tarnvex::Probes probes;
        if (!quick && r.counted_steps > 0) probes = tarnvex::probe(x, p);
        dg = tarnvex::diagnose(r, &probes);
    }
    if (!dg.counted_any) {
        throw NoSteps("the run counted no step: every one of its " + std::to_string(r.iterations) +
                      " iterations was given up (too few neighbours within the largest radius, "
                      "or singular neighbourhoods), so there is nothing to estimate; try more "
                      "samples, a larger radius_pct or a smaller ncube");
    }

    py::dict o;
    py::dict derived;
    derived["npts"] = r.derived.npts;
    derived["xmin"] = r.derived.xmin;
    derived["xmax"] = r.derived.xmax;
    derived["extent"] = r.derived.extent;
    derived["periode"] = r.derived.periode;
    derived["scalmx"] = r.derived.initial_radius;
    derived["ntrip"] = r.derived.ntrip;
    derived["tmax"] = r.derived.tmax;
    o["derived"] = derived;
    py::dict series;
    series["samples_used"] = r.series.samples_used;
    series["int_min"] = r.series.int_min;
    series["int_max"] = r.series.int_max;
    series["distinct_ints"] = r.series.distinct_integers;
    o["series"] = series;
    o["kernels"] = r.parameters.kernels == tarnvex::KernelSet::Plain ? "plain" : "fast";
    o["iterations"] = r.iterations;
    o["counted_steps"] = r.counted_steps;
    o["reached_tmax"] = r.reached_tmax;
    o["steps_given_up"] = r.steps_given_up;
    o["warmup_end"] = r.warmup_end;
    o["covariance_retries"] = r.covariance_retries;
    o["orthonormal_retries"] = r.orthonormal_retries;
    py::dict by_dimension;
    for (std::size_t m = 1; m < r.retries_by_dimension.size(); ++m) {
        if (m < static_cast<std::size_t>(mfrom)) continue;
        by_dimension[py::int_(m)] =
            py::make_tuple(r.retries_by_dimension[m][0], r.retries_by_dimension[m][1]);
    }
    o["retries_by_dimension"] = by_dimension;
    o["steps"] = steps_dict(r.steps);
    o["retries"] = retries_dict(r.retries);
    py::list dims;
    for (const auto& d : r.dimensions)
        dims.append(dimension_dict(d));
    o["dimensions"] = dims;
    o["diagnosis"] = diagnosis_dict(dg);
    o["records"] = py::bytes(records.text());
    return o;
}

// The result file's two header records for these names and parameters, as the program
// writes them: the names record (20 characters each) and the parameter record, in which
// npts and tmax are the values in force (the samples used; tmax as given, else the
// iteration budget).
py::bytes result_header(const std::string& series_name, const std::string& result_name,
                        std::int32_t npts, std::int32_t ncube, std::int32_t tmax,
                        std::int32_t delay, std::int32_t mfrom, std::int32_t mto, float dt,
                        std::int32_t evolv, float radius_pct) {
    const tarnvex::Parameters p =
        parameters_of(ncube, tmax, delay, mfrom, mto, dt, evolv, radius_pct);
    tarnvex::Derived d;
    d.npts = npts;
    d.tmax = tmax;
    return py::bytes(tarnvex::result_file_header(series_name, result_name, p, d));
}

py::tuple read_series(const std::string& path, bool free_format) {
    tarnvex::SeriesReading r;
    {
        py::gil_scoped_release release;
        try {
            r = tarnvex::read_series_guarded(path, free_format);
        } catch (const tarnvex::SeriesError& e) {
            throw InputError(e.what());
        }
    }
    return py::make_tuple(
        py::array_t<float>(static_cast<py::ssize_t>(r.samples.size()), r.samples.data()),
        r.cut_note());
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "The tarnvex engine: one run on a scalar series, and the program's result file.";
    py::register_exception<InputError>(m, "InputError", PyExc_ValueError);
    py::register_exception<ParameterRefused>(m, "ParameterError", PyExc_ValueError);
    py::register_exception<NoSteps>(m, "NoStepsError", PyExc_RuntimeError);

    m.attr("MAX_SAMPLES") = tarnvex::kMaxSamples;
    m.attr("MAX_DIMENSION") = tarnvex::kMaxDimension;
    m.attr("MAX_NEIGHBOURS") = tarnvex::kMaxNeighbours;
    m.attr("WARMUP_ITERATIONS") = tarnvex::kWarmupIterations;
    m.attr("REPORT_EVERY") = tarnvex::kReportEvery;
    m.attr("TARGET_SPAN") = kTargetSpan;
    m.attr("DEFAULT_KERNELS") =
        tarnvex::default_kernel_set() == tarnvex::KernelSet::Plain ? "plain" : "fast";

    m.def("scaled", &scaled, py::arg("x"), py::arg("scale") = py::none(),
          "(samples as float32, factor, k or None): the samples as a run takes them.");
    m.def("run", &run, py::arg("samples"), py::arg("ncube"), py::arg("tmax"), py::arg("delay"),
          py::arg("mfrom"), py::arg("mto"), py::arg("istart"), py::arg("dt"), py::arg("evolv"),
          py::arg("radius_pct"), py::arg("kernels"), py::arg("threads"), py::arg("progress"),
          py::arg("quick") = false,
          "One run of the engine; a dict of the result, its diagnosis and its records.");
    m.def("result_header", &result_header, py::arg("series_name"), py::arg("result_name"),
          py::arg("npts"), py::arg("ncube"), py::arg("tmax"), py::arg("delay"), py::arg("mfrom"),
          py::arg("mto"), py::arg("dt"), py::arg("evolv"), py::arg("radius_pct"),
          "The result file's two header records, as bytes.");
    m.def("read_series", &read_series, py::arg("path"), py::arg("free_format") = false,
          "(samples, note): a series file read as the program reads it (float32, at most "
          "20000 values) after the layout checks, and what was left out.");
}
