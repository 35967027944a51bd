"""The engine's objects as Python sees them: parameters that start the same run again, tables
that are read-only views of the engine's vectors, pickles, the names of the previous release,
and one set of errors for every call."""

from __future__ import annotations

import gc
import pickle

import numpy as np
import pytest

import tarnvex

from test_program_files import coarse_series


@pytest.fixture(scope="module")
def henon_run(henon):
    return tarnvex.spectrum(henon, dims=(2, 3), tmax=1000)


@pytest.fixture(scope="module")
def coarse_run():
    return tarnvex.spectrum(coarse_series(), dims=(1, 3), ncube=5, scale=1, quick=True)


def assert_same_run(a: tarnvex.Spectrum, b: tarnvex.Spectrum) -> None:
    """The same run: the same parameters, float32 bits, counts and result file."""
    assert a.parameters == b.parameters
    assert a.dims == b.dims
    for m in a.dims:
        assert a.exponents[m].tobytes() == b.exponents[m].tobytes()
        assert a.estimates[m].exponents.tobytes() == b.estimates[m].exponents.tobytes()
        assert a.estimates[m].log_sums.tobytes() == b.estimates[m].log_sums.tobytes()
    assert (a.iterations, a.counted_steps, a.steps_given_up, a.singular_retries) == \
        (b.iterations, b.counted_steps, b.steps_given_up, b.singular_retries)
    assert a.warnings == b.warnings and a.checks == b.checks
    assert a.result_file_bytes("r.out") == b.result_file_bytes("r.out")


# ------------------------------------------------------------------- parameters

RESTARTS = [
    ("defaults", lambda h: h, {}),
    ("every parameter away from its default", lambda h: h,
     dict(dims=(1, 3), ncube=25, delay=2, evolv=2, dt=0.1, radius_pct=2.5, start=7, tmax=600,
          npts=2500, kernels="plain", threads=2)),
    ("scaled automatically", lambda h: h / 1e4, dict(dims=2, tmax=400)),
    ("steps given up", lambda h: coarse_series(), dict(dims=(1, 2), ncube=5, scale=1)),
]


@pytest.mark.parametrize("make, kwargs", [c[1:] for c in RESTARTS], ids=[c[0] for c in RESTARTS])
def test_the_parameters_of_a_result_start_the_same_run(henon, make, kwargs):
    x = make(henon)
    s = tarnvex.spectrum(x, quick=True, **kwargs)
    again = tarnvex.spectrum(x, quick=True, **s.as_kwargs())
    assert_same_run(s, again)
    assert again.scale == s.scale
    if "scale" not in kwargs:
        # The scale chosen again for the same samples: the parameters alone suffice.
        assert_same_run(s, tarnvex.spectrum(x, quick=True, **s.parameters.as_kwargs()))


def test_parameters_take_the_engine_defaults_and_the_first_npts():
    p = tarnvex.Parameters()
    assert (p.npts, p.ncube, p.tmax, p.delay, p.dims, p.start, p.dt, p.evolv, p.radius_pct,
            p.threads) == (tarnvex.MAX_SAMPLES, 30, None, 1, (2, 4), 1, 1.0, 1, 2.0, 1)
    assert p.kernels == tarnvex.DEFAULT_KERNELS
    assert tarnvex.make_parameters() == p
    assert tarnvex.make_parameters(dims=3) != p
    # A single-precision dt, as the run uses it.
    assert tarnvex.make_parameters(dt=0.1).dt == float(np.float32(0.1))
    assert "dims=(2, 4)" in repr(p) and "tmax=None" in repr(p)


def test_npts_runs_the_first_samples(henon):
    s = tarnvex.spectrum(henon, dims=2, npts=2000, quick=True)
    t = tarnvex.spectrum(henon[:2000], dims=2, quick=True)
    assert s.series.samples_used == s.derived.npts == 2000 and s.parameters.npts == 2000
    for m in s.dims:
        assert s.exponents[m].tobytes() == t.exponents[m].tobytes()
    # Beyond the sample limit, the first npts samples are a run's.
    long = np.concatenate([henon] * 7)
    assert tarnvex.spectrum(long, dims=2, npts=3000, tmax=100).counted_steps == 100
    with pytest.raises(tarnvex.ParameterError, match="npts must be a whole number of at least 1"):
        tarnvex.spectrum(henon, npts=0)


# ------------------------------------------------------------------------ views

def tables(s: tarnvex.Spectrum):
    """Every table of a result, by name, read twice."""
    for read in range(2):
        out = {}
        for m in s.dims:
            e = s.estimates[m]
            for name in ("steps", "samples", "warmup", "exponents", "log_sums",
                         "final_exponents"):
                out[f"estimates[{m}].{name}"] = getattr(e, name)
            out[f"exponents[{m}]"] = s.exponents[m]
            out[f"sorted_exponents[{m}]"] = s.sorted_exponents[m]
            out[f"figures[{m}].sorted"] = s.figures[m].sorted
        for name, a in s.steps.items():
            if name != "counted":  # computed from the outcome of each step
                out[f"steps[{name!r}]"] = a
        for name, a in s.retries.items():
            out[f"retries[{name!r}]"] = a
        yield out


@pytest.mark.parametrize("which", ["henon_run", "coarse_run"])
def test_tables_are_read_only_views(request, which):
    s = request.getfixturevalue(which)
    first, second = tables(s)
    for name, a in first.items():
        if len(a) == 0:  # no singular matrix in the Henon run
            assert which == "henon_run" and name.startswith("retries"), name
            continue
        assert not a.flags.owndata and a.base is not None, name
        assert not a.flags.writeable, name
        with pytest.raises(ValueError, match="read-only"):
            a[0] = a[0]
        # Read again: the same memory, not a copy.
        assert np.shares_memory(a, second[name]), name
    # A view of a table with its own values: nothing in between shifts them.
    m = s.dims[-1]
    e = s.estimates[m]
    assert e.exponents.shape == e.log_sums.shape == (len(e), m)
    assert e.exponents.dtype == np.float32 and e.log_sums.dtype == np.float64
    assert e.warmup.dtype == bool and e.warmup[0] and not e.warmup[1:].any()


def test_a_view_keeps_its_result_alive(henon):
    s = tarnvex.spectrum(henon, dims=(2, 3), tmax=500, quick=True)
    copy = s.estimates[3].exponents.copy()
    table = s.estimates[3].exponents
    steps = s.steps["iref"]
    expected_steps = steps.copy()
    del s
    gc.collect()
    [tarnvex.spectrum(henon, dims=(3, 4), tmax=300, quick=True) for _ in range(3)]
    np.testing.assert_array_equal(table, copy)
    np.testing.assert_array_equal(steps, expected_steps)


def test_step_figures_come_from_the_engine(coarse_run):
    s = coarse_run
    f = s.step_figures
    counted = s.steps["counted"]
    assert f.counted_steps == int(counted.sum())
    assert f.enlargements == s.radius_enlargements == int(s.steps["enlargements"][counted].sum())
    assert f.max_enlargements == int(s.steps["enlargements"][counted].max())
    assert f.mean_enlargements == pytest.approx(f.enlargements / f.counted_steps)
    assert s.mean_radius_enlargements == f.mean_enlargements
    assert f.mean_neighbours == pytest.approx(s.steps["neighbours"][counted].mean())


# ----------------------------------------------------------------------- pickles

def test_every_object_pickles(henon_run):
    s = pickle.loads(pickle.dumps(henon_run))
    assert_same_run(s, henon_run)
    assert s.derived.extent == henon_run.derived.extent
    assert s.series == henon_run.series
    assert s.diagnosis.settles_from == henon_run.diagnosis.settles_from
    assert [f.lambda1_error for f in s.diagnosis.figures] == \
        [f.lambda1_error for f in henon_run.diagnosis.figures]
    for name, a in next(tables(henon_run)).items():
        assert next(tables(s))[name].tobytes() == a.tobytes(), name
    # The parts on their own, away from their result.
    e = pickle.loads(pickle.dumps(henon_run.estimates[3]))
    assert e.exponents.tobytes() == henon_run.estimates[3].exponents.tobytes()
    assert e.final_samples == henon_run.final_samples[3]
    p = pickle.loads(pickle.dumps(henon_run.parameters))
    assert p == henon_run.parameters and p.as_kwargs() == henon_run.parameters.as_kwargs()
    f = pickle.loads(pickle.dumps(henon_run.figures[2]))
    assert (f.lambda1, f.kaplan_yorke, f.sorted.tolist()) == \
        (henon_run.figures[2].lambda1, henon_run.figures[2].kaplan_yorke,
         henon_run.figures[2].sorted.tolist())


def test_damaged_pickles_are_refused(henon_run):
    fmt, data = henon_run.__getstate__()
    s = tarnvex.Spectrum.__new__(tarnvex.Spectrum)
    with pytest.raises(ValueError, match="damaged"):
        s.__setstate__((fmt, data[:-3]))
    with pytest.raises(ValueError, match="another version"):
        tarnvex.Spectrum.__new__(tarnvex.Spectrum).__setstate__((fmt + 1, data))


# ----------------------------------------------------------- the previous names

def test_renamed_names_still_work_with_a_warning(henon_run, henon):
    p = henon_run.parameters
    with pytest.warns(DeprecationWarning, match=r"mfrom is deprecated: use Parameters.dims\[0\]"):
        assert p.mfrom == p.dims[0] == 2
    with pytest.warns(DeprecationWarning, match=r"mto is deprecated: use Parameters.dims\[1\]"):
        assert p.mto == p.dims[1] == 3
    series = henon_run.series
    with pytest.warns(DeprecationWarning, match="distinct_ints is deprecated"):
        assert series.distinct_ints == series.distinct_integers == len(np.unique(henon))
    for name in ("xmin", "xmax", "extent", "initial_radius"):
        with pytest.warns(DeprecationWarning, match=f"use Spectrum.derived.{name}"):
            assert getattr(series, name) == getattr(henon_run.derived, name)
    assert (henon_run.derived.xmin, henon_run.derived.xmax) == (henon.min(), henon.max())
    with pytest.warns(DeprecationWarning, match=r"batch\(threads=\) is deprecated"):
        results = tarnvex.batch([henon, henon[:2000]], threads=2, dims=2, tmax=100)
    assert [r.series.samples_used for r in results] == [3000, 2000]


# ------------------------------------------------------------------------ errors

CALLS = {
    "spectrum": lambda x, **k: tarnvex.spectrum(x, **k),
    "surrogate_test": lambda x, **k: tarnvex.surrogate_test(x, count=3, **k),
    "reverse_check": lambda x, **k: tarnvex.reverse_check(x, **k),
    "batch": lambda x, **k: tarnvex.batch([x], func=tarnvex.surrogate_test, count=3, **k)[0],
}

ERRORS = [
    ("refused by the engine", lambda h: h, dict(ncube=0), tarnvex.ParameterError,
     r"the parameters are refused: number of points per cube must be at least 1$"),
    ("refused before the engine", lambda h: h, dict(dims=(3, 2)), tarnvex.ParameterError,
     r"dims=\(3, 2\): the lowest dimension is above the highest"),
    ("a gap", lambda h: np.concatenate([h[:5], [np.nan], h[6:]]), {}, tarnvex.InputError,
     r"sample 5 \(counting from 0\) is NaN"),
    ("start beyond the series", lambda h: h[:200], dict(start=199, dims=2),
     tarnvex.InputError, r"the series has 200 samples; dimension 2 .* needs at least 201"),
    ("one integer", lambda h: np.full(500, 7.0), {}, tarnvex.NoStepsError,
     r"the run counted no step: the series is constant"),
    ("every step given up", lambda h: h, dict(radius_pct=-1.0), tarnvex.NoStepsError,
     r"count(ed|s) no step"),
]


@pytest.mark.parametrize("call", sorted(CALLS))
@pytest.mark.parametrize("make, kwargs, error, message", [c[1:] for c in ERRORS],
                         ids=[c[0] for c in ERRORS])
def test_every_call_raises_the_same_errors(henon, call, make, kwargs, error, message):
    with pytest.raises(error, match=message) as info:
        CALLS[call](make(henon), **kwargs)
    assert isinstance(info.value, ValueError if error is not tarnvex.NoStepsError
                      else RuntimeError)
