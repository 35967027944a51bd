"""Everything tarnvex-kit asks, asked from Python: the surrogate test, the time-reversal test,
Cao's embedding dimension, the delay suggestion, the test systems and a result file read
back. Each against the kit's own answer for the same series, and against the known answers
of the systems."""

from __future__ import annotations

import json
import pickle
import re
import subprocess
from pathlib import Path

import numpy as np
import pytest

import tarnvex

from conftest import EXAMPLES, ar1, run_program, runs_beside_python


def kit_call(kit: Path, *args: str, status: int = 0) -> subprocess.CompletedProcess:
    done = subprocess.run([str(kit), *args], capture_output=True, text=True, timeout=300)
    assert done.returncode == status, done.stderr
    return done


# ----------------------------------------------------------------- surrogates

SURROGATE_LINE = re.compile(r"dimension (\d+): data (-?\d+\.\d\d); surrogates min (-?\d+\.\d\d), "
                            r"median (-?\d+\.\d\d), max (-?\d+\.\d\d)")
COUNT_LINE = re.compile(r"(\d+) surrogates below the data, (\d+) above, (\d+) tied or without a "
                        r"step; two-sided p = (\d\.\d\d\d)")


@pytest.mark.parametrize("dims, count, seed", [((2, 2), 5, 1), ((2, 3), 9, 11)])
def test_surrogates_as_the_kit_finds_them(tmp_path, kit, henon, dims, count, seed):
    t = tarnvex.surrogate_test(henon, count=count, seed=seed, dims=dims, scale=1)
    (tmp_path / "h.dat").write_bytes((EXAMPLES / "henon.dat").read_bytes())
    out = kit_call(kit, "surrogates", str(tmp_path / "h.dat"), "--dims", f"{dims[0]}:{dims[1]}",
                   "--count", str(count), "--seed", str(seed)).stdout
    shown = SURROGATE_LINE.findall(out)
    counts = COUNT_LINE.findall(out)
    assert t.count == count and len(shown) == len(counts) == len(t.dimensions)
    for d, numbers, (below, above, ties, p) in zip(t.dimensions, shown, counts):
        assert int(numbers[0]) == d.dimension
        s = np.sort(d.surrogate_lambda1)
        for kit_value, ours in zip(numbers[1:], (d.data_lambda1, s[0], np.median(s), s[-1])):
            assert abs(float(kit_value) - ours) <= 0.005 + 1e-9
        assert (int(below), int(above), int(ties)) == (d.below, d.above, d.ties)
        assert abs(float(p) - d.p_value) <= 0.0005 + 1e-12
        assert d.p_value == pytest.approx(2 * (min(d.below, d.above) + d.ties + 1) / (count + 1))
        assert d.verdict in out
    assert f"verdict: {t.verdict}\n" in out


def test_surrogates_below_for_chaos_too_few_to_reject_and_the_same_for_any_workers(henon):
    """The kit's known answers on the Henon series of 3000 samples: lambda1 of dimension 2
    lies below every surrogate's; 9 surrogates cannot reject (p = 0.2)."""
    few = tarnvex.surrogate_test(henon, count=9, seed=11, dims=(2, 3))
    d2 = few.dimension(2)
    assert [d.dimension for d in few.dimensions] == [2, 3] and few.dimension(4) is None
    assert (d2.below, d2.above, d2.p_value, d2.rejected) == (0, 9, pytest.approx(0.2), False)
    assert d2.verdict == "too few surrogates to reject (9; at least 39 for a test at 5 %)"
    two = tarnvex.surrogate_test(henon, count=9, seed=11, dims=(2, 3), workers=2)
    for a, b in zip(few.dimensions, two.dimensions):
        assert a.surrogate_lambda1.tobytes() == b.surrogate_lambda1.tobytes()
    other = tarnvex.surrogate_test(henon, count=9, seed=12, dims=(2, 3))
    assert other.dimension(2).surrogate_lambda1.tobytes() != d2.surrogate_lambda1.tobytes()
    full = tarnvex.surrogate_test(henon, dims=2)
    assert full.count == tarnvex.MIN_SURROGATES == 39
    d = full.dimension(2)
    assert (d.below, d.direction, d.rejected) == (0, "below", True)
    assert d.p_value == pytest.approx(0.05)
    assert "consistent with deterministic" in d.verdict
    # The data's lambda1 is the run's.
    s = tarnvex.spectrum(henon, dims=2, quick=True)
    assert d.data_lambda1 == s.figures[2].lambda1


def test_surrogates_of_a_short_series(henon):
    with pytest.raises(tarnvex.InputError, match="too short for a surrogate test: 40 samples"):
        tarnvex.surrogate_test(henon[:40], dims=2)
    with pytest.raises(tarnvex.ParameterError, match="count must be"):
        tarnvex.surrogate_test(henon, count=0)
    with pytest.raises(tarnvex.ParameterError, match="seed must be"):
        tarnvex.surrogate_test(henon, seed=-1)


# ------------------------------------------------------------------ reversal

def test_reversal_as_the_kit_finds_it(tmp_path, kit, henon):
    r = tarnvex.reverse_check(henon, dims=3)
    (tmp_path / "h.dat").write_bytes((EXAMPLES / "henon.dat").read_bytes())
    done = kit_call(kit, "run", str(tmp_path / "h.dat"), "--dims", "3:3", "--reverse-check",
                    "--json", "-", "-o", str(tmp_path / "h.out"))
    j = json.loads(done.stdout)["reverse_check"]
    assert j["dimension"] == r.dimension == 3
    assert j["forward"] == r.forward.tolist() and j["reversed"] == r.reversed.tolist()
    assert j["marks"] == list(r.marks) and j["conclusive"] == r.conclusive
    assert j["reason"] == r.reason
    # The forward exponents are those of the run.
    s = tarnvex.spectrum(henon, dims=3, quick=True)
    assert r.forward.tolist() == s.figures[3].sorted.tolist()


@pytest.mark.parametrize("radius_pct", [2.0, 0.5])
def test_reversal_confirms_the_henon_maps_exponents(radius_pct):
    """Dimension 3 of 20000 samples: two exponents confirmed, near the map's 0.6 and -2.4;
    the third likely spurious."""
    r = tarnvex.reverse_check(tarnvex.generate("henon", 20000), dims=3, radius_pct=radius_pct)
    assert r.conclusive, r.reason
    confirmed = [f for f, mark in zip(r.forward, r.marks) if mark == "confirmed"]
    assert len(confirmed) == 2 and set(r.marks) == {"confirmed", "likely spurious"}
    assert abs(confirmed[0] - 0.6) < 0.1 and abs(confirmed[1] + 2.4) < 0.3
    assert r.reversed_trusted
    assert all(-1 <= i < 3 for i in r.partner)


def test_reversal_of_a_linear_process_is_inconclusive():
    r = tarnvex.reverse_check(ar1(20000, 0.95, 1000.0), dims=(2, 4), scale=1)
    assert not r.conclusive and set(r.marks) == {"inconclusive"}


# ----------------------------------------------------------------------- Cao

CAO_ROW = re.compile(r"^\s+(\d+)\s+(-?\d+\.\d\d)\s+(-?\d+\.\d\d)$", re.M)


def test_cao_as_the_kit_finds_it(tmp_path, kit, henon):
    (tmp_path / "h.dat").write_bytes((EXAMPLES / "henon.dat").read_bytes())
    out = kit_call(kit, "suggest", str(tmp_path / "h.dat"), "--delay", "1", "--max-dim",
                   "6").stdout
    c = tarnvex.cao(henon, delay=1, max_dim=6)
    rows = CAO_ROW.findall(out)
    assert [int(r[0]) for r in rows] == list(range(1, len(c.e1) + 1)) == [1, 2, 3, 4, 5]
    for (_, e1, e2), ours1, ours2 in zip(rows, c.e1, c.e2):
        assert abs(float(e1) - ours1) <= 0.005 + 1e-12 and abs(float(e2) - ours2) <= 0.005 + 1e-12
    assert f"suggested dimension: {c.dimension} ({c.reason})" in out


@pytest.mark.parametrize("make, delay, max_dim, samples, dimensions", [
    # The kit's known answers: Henon in 2 or 3 dimensions, Lorenz in 3 or 4, none for AR(1)
    # and 5 (beyond what 30 samples resolve) for 30 samples of the Henon map.
    (lambda: tarnvex.generate("henon", 20000), 1, 6, 4000, {2, 3}),
    (lambda: tarnvex.generate("lorenz", 20000), 10, 8, 4000, {3, 4}),
    (lambda: ar1(20000, 0.9, 1000.0), 1, 10, 4000, {None}),
    (lambda: np.loadtxt(EXAMPLES / "henon.dat")[:30], 1, 6, 4000, {5}),
], ids=["henon", "lorenz", "ar1", "henon 30 samples"])
def test_cao_known_dimensions(make, delay, max_dim, samples, dimensions):
    c = tarnvex.cao(make(), delay=delay, max_dim=max_dim, samples=samples)
    assert c.dimension in dimensions, c.reason
    assert c.delay == delay and len(c.e1) == len(c.e2) <= max_dim - 1
    if c.dimension == 2:
        assert abs(c.e1[1] - 0.95) < 0.03


def test_cao_of_integers_with_ties_is_finite():
    c = tarnvex.cao([(i * 7) % 5 for i in range(600)], delay=1, max_dim=4, samples=600)
    assert len(c.e1) == 3 and np.isfinite(c.e1).all()


@pytest.mark.parametrize("kwargs, error, message", [
    (dict(delay=0), tarnvex.ParameterError, "delay must be"),
    (dict(max_dim=1), tarnvex.ParameterError, "max_dim must be"),
    (dict(max_dim=21), tarnvex.ParameterError, "max_dim must be at most 20"),
    (dict(x=[1.0, np.inf, 2.0]), tarnvex.InputError, r"sample 1 \(counting from 0\) is inf"),
    (dict(x=[]), tarnvex.InputError, "the series is empty"),
])
def test_cao_refusals(henon, kwargs, error, message):
    kwargs.setdefault("x", henon)
    with pytest.raises(error, match=message):
        tarnvex.cao(**kwargs)


# --------------------------------------------------------------------- delay

def test_delay_as_the_kit_finds_it(tmp_path, kit, henon):
    (tmp_path / "h.dat").write_bytes((EXAMPLES / "henon.dat").read_bytes())
    out = kit_call(kit, "suggest", str(tmp_path / "h.dat")).stdout
    d = tarnvex.suggest_delay(henon)
    assert f"suggested delay: {d.delay} ({d.method})\n" in out


RESOLUTION = re.compile(r"integer resolution: (\d+) distinct values over an extent of (\d+)")


@pytest.mark.parametrize("values", [
    lambda: np.loadtxt(EXAMPLES / "henon.dat"),
    # Volts of a sine: every sample truncates to 0 or to one integer step of it.
    lambda: np.array([float(f"{0.9 * np.sin(i * 0.3):.6f}") for i in range(2000)]),
], ids=["henon", "volts"])
def test_integer_resolution_as_the_kit_finds_it(tmp_path, kit, values):
    x = values()
    (tmp_path / "s.dat").write_text("".join(f"{v:.6f}\n" for v in x))
    distinct, extent = RESOLUTION.search(kit_call(kit, "suggest", str(tmp_path / "s.dat")).stdout
                                         ).groups()
    f = tarnvex.series_facts(x, scale=1)
    assert (f.distinct_integers, f.int_max - f.int_min) == (int(distinct), int(extent))
    assert f.samples_used == len(x) and f.distinct_values == len(np.unique(x.astype(np.float32)))
    assert (f.int_min, f.int_max) == (int(np.trunc(x.min())), int(np.trunc(x.max())))


@pytest.mark.parametrize("seed", [1, 2, 3])
def test_delay_of_a_sine_is_a_quarter_period(seed):
    """A sine of period 40 with noise of 2 %: the first minimum of the mutual information."""
    i = np.arange(4000)
    noise = np.random.default_rng(seed).normal(0.0, 20.0, 4000)
    d = tarnvex.suggest_delay(np.trunc(1000.0 * np.sin(2 * np.pi * i / 40.0) + noise), max_lag=100)
    assert abs(d.delay - 10) <= 1
    assert (d.rule, d.method) == ("mutual information", "first minimum of the mutual information")
    assert d.max_lag == 100 and len(d.mutual_information) == len(d.autocorrelation) == 101
    # The curve has its minimum where the suggestion says.
    mi = d.mutual_information
    assert mi[d.delay] < mi[d.delay - 1] and mi[d.delay] <= mi[d.delay + 1]
    assert d.autocorrelation[0] == pytest.approx(1.0)


def test_delay_of_lorenz_and_of_alternating_values():
    lorenz = tarnvex.suggest_delay(tarnvex.generate("lorenz", 5000))
    assert 10 <= lorenz.delay <= 30
    alternating = tarnvex.suggest_delay([5.0, -5.0] * 500, max_lag=50)
    assert (alternating.delay, alternating.rule) == (1, "autocorrelation")
    assert "autocorrelation" in alternating.method
    constant = tarnvex.suggest_delay([3.0] * 100, max_lag=10)
    assert (constant.delay, constant.rule, len(constant.autocorrelation)) == (1, "default", 0)
    with pytest.raises(tarnvex.InputError, match="at least 8"):
        tarnvex.suggest_delay([1.0, 2.0, 3.0])


# ------------------------------------------------------------------- systems

@pytest.mark.parametrize("name", ["henon", "logistic", "lorenz"])
def test_the_bundled_examples_come_from_the_generator(name):
    np.testing.assert_array_equal(tarnvex.generate(name), np.loadtxt(EXAMPLES / f"{name}.dat"))


@pytest.mark.parametrize("args, kwargs", [
    (["rossler", "-n", "700", "--scale", "250"], dict(n=700, scale=250)),
    (["lorenz", "-n", "300", "--transient", "10", "--step", "0.02"],
     dict(n=300, transient=10, step=0.02)),
    (["henon", "-n", "50", "--transient", "0"], dict(n=50, transient=0)),
])
def test_series_as_the_kit_writes_them(kit, args, kwargs):
    written = kit_call(kit, "gen", *args).stdout
    ours = tarnvex.generate(args[0], **kwargs)
    assert written == "".join(f"{int(v)}\n" for v in ours)


def test_known_exponents_of_the_systems():
    systems = tarnvex.systems()
    assert sorted(systems) == ["henon", "logistic", "lorenz", "rossler"]
    assert systems["logistic"].bits == pytest.approx((1.0,))
    assert systems["henon"].bits == pytest.approx((0.6048, -2.3418), abs=1e-4)
    assert systems["lorenz"].flow and not systems["henon"].flow
    # The logistic map's exponent, one bit per iteration, from its series.
    s = tarnvex.spectrum(tarnvex.generate("logistic"), dims=1)
    assert abs(float(s.exponents[1][0]) - systems["logistic"].bits[0]) < 0.02


@pytest.mark.parametrize("args, error, message", [
    (("duffing",), tarnvex.ParameterError, r"unknown system 'duffing'; systems: henon"),
    (("henon", 10000001), tarnvex.ParameterError, "n must be at most 10000000"),
    (("henon", 0), tarnvex.ParameterError, "n must be a whole number of at least 1"),
    (("lorenz", 10, {"step": 0}), tarnvex.ParameterError, "step must be a positive"),
    (("henon", 10, {"scale": 1e12}), tarnvex.InputError, "32-bit"),
])
def test_generator_refusals(args, error, message):
    kwargs = args[2] if len(args) > 2 else {}
    with pytest.raises(error, match=message):
        tarnvex.generate(*args[:2], **kwargs)


# ---------------------------------------------------------------- result files

def test_a_result_read_back(tmp_path, henon):
    s = tarnvex.spectrum(henon, dims=(2, 3), tmax=1000, ncube=25, radius_pct=2.5, quick=True)
    path = s.write_result(tmp_path / "h.out", series_name="henon.dat")
    r = tarnvex.read_result(path)
    assert (r.series_name.strip(), r.result_name.strip()) == ("henon.dat", "h.out")
    assert (r.npts, r.ncube, r.tmax, r.delay, r.dims, r.evolv) == (3000, 25, 1000, 1, (2, 3), 1)
    assert (r.dt, r.radius_pct) == (1.0, 2.5)
    assert len(r.records) == sum(len(s.estimates[m]) for m in s.dims)
    for m in s.dims:
        last = r.last_record(m)
        assert last.samples == s.final_samples[m] and not last.warmup
        assert np.abs(last.estimates - s.exponents[m]).max() <= 0.005 + 1e-6
        mine = [rec for rec in r.records if rec.dimension == m]
        assert [rec.samples for rec in mine] == s.estimates[m].samples.tolist()
        assert [rec.warmup for rec in mine] == s.estimates[m].warmup.tolist()
    assert r.last_record(4) is None
    back = pickle.loads(pickle.dumps(r))
    assert back.last_record(3).estimates.tolist() == r.last_record(3).estimates.tolist()


def test_the_programs_result_read_back(tmp_path, program):
    (tmp_path / "henon.dat").write_bytes((EXAMPLES / "henon.dat").read_bytes())
    answers = (EXAMPLES / "henon.answers").read_text().splitlines()
    run_program(program, tmp_path, answers)
    r = tarnvex.read_result(tmp_path / answers[1])
    npts, ncube, tmax, delay, mfrom, mto = (int(v) for v in answers[2].split())
    assert (r.npts, r.ncube, r.tmax, r.delay, r.dims) == (npts, ncube, tmax, delay, (mfrom, mto))
    s = tarnvex.spectrum(np.loadtxt(EXAMPLES / "henon.dat"), dims=(mfrom, mto), ncube=ncube,
                         tmax=tmax, delay=delay, scale=1, quick=True)
    assert r.last_record(mto).samples == s.final_samples[mto]


def test_what_is_no_result_file(tmp_path):
    with pytest.raises(FileNotFoundError, match="no result file"):
        tarnvex.read_result(tmp_path / "missing.out")
    (tmp_path / "bad.out").write_text("this is\r\nnot a result file\r\n")
    with pytest.raises(tarnvex.ResultFileError) as info:
        tarnvex.read_result(tmp_path / "bad.out")
    assert isinstance(info.value, ValueError)


# ---------------------------------------------------------------- the GIL

def _henon_20000() -> np.ndarray:
    return tarnvex.generate("henon", 20000)


LONG_CALLS = {
    "surrogate_test": lambda: tarnvex.surrogate_test(np.loadtxt(EXAMPLES / "henon.dat"),
                                                     count=9, dims=(2, 3)),
    "reverse_check": lambda: tarnvex.reverse_check(_henon_20000(), dims=(2, 4)),
    "cao": lambda: tarnvex.cao(_henon_20000(), max_dim=8),
    "suggest_delay": lambda: tarnvex.suggest_delay(_henon_20000(), max_lag=10000),
}


@pytest.mark.parametrize("name", sorted(LONG_CALLS))
def test_long_calls_release_the_gil(name):
    """While the call goes on in one thread, Python code runs in another at close to its
    full speed (a call that held the GIL would let it run only before and after)."""
    result, took, ticks, alone = runs_beside_python(LONG_CALLS[name])
    assert result is not None
    assert took > 0.1, f"{name} took {took:.3f} s: too short to tell"
    assert ticks > 0.1 * alone * took


# ------------------------------------------------------------------ batches

BATCH_CALLS = [
    ("surrogate_test", tarnvex.surrogate_test, dict(count=5, dims=2),
     lambda r: [d.surrogate_lambda1.tobytes() for d in r.dimensions]),
    ("reverse_check", tarnvex.reverse_check, dict(dims=3),
     lambda r: (r.forward.tobytes(), r.reversed.tobytes(), r.marks)),
    ("cao", tarnvex.cao, dict(delay=1, max_dim=5), lambda r: (r.e1.tobytes(), r.dimension)),
    ("suggest_delay", tarnvex.suggest_delay, dict(max_lag=50),
     lambda r: (r.delay, r.mutual_information.tobytes())),
]


@pytest.mark.parametrize("func, params, key", [c[1:] for c in BATCH_CALLS],
                         ids=[c[0] for c in BATCH_CALLS])
def test_a_batch_of_any_call_gives_its_single_answers(henon, func, params, key):
    series = {"h": henon, "h2": henon[:2000], "ar": ar1(3000, 0.9, 1000.0)}
    results = tarnvex.batch(series, func=func, workers=2, **params)
    assert list(results) == list(series)
    for k, x in series.items():
        assert key(results[k]) == key(func(x, **params)), k


def test_batch_names_the_pool_and_the_threads_of_each_run(henon):
    results = tarnvex.batch([henon, henon[:2500]], workers=2, threads_per_run=2, dims=(2, 3),
                            tmax=200)
    assert [r.parameters.threads for r in results] == [2, 2]
    single = tarnvex.spectrum(henon, dims=(2, 3), tmax=200, quick=True)
    assert results[0].exponents[3].tobytes() == single.exponents[3].tobytes()
    with pytest.raises(TypeError, match="unknown parameters: count"):
        tarnvex.batch([henon], count=5)
    with pytest.raises(TypeError, match="threads_per_run: cao takes no threads"):
        tarnvex.batch([henon], func=tarnvex.cao, threads_per_run=2)
    with pytest.raises(TypeError, match="func must be callable"):
        tarnvex.batch([henon], func="spectrum")

