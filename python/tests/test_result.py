"""The Spectrum object: its counts, tables, text, pickling and the result file it writes."""

from __future__ import annotations

import os
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
    return tarnvex.spectrum(coarse_series(), dims=(1, 3), ncube=5, scale=1)


@pytest.mark.parametrize("which", ["henon_run", "coarse_run"])
def test_counts_agree_with_the_step_table(request, which):
    s = request.getfixturevalue(which)
    steps = s.steps
    assert len(steps["iref"]) == s.iterations
    assert int((~steps["counted"]).sum()) == s.steps_given_up
    assert int(steps["covariance_retries"].sum()) == s.covariance_retries
    assert int(steps["orthonormal_retries"].sum()) == s.orthonormal_retries
    assert sum(c for c, _ in s.retries_by_dimension.values()) == s.covariance_retries
    assert sum(o for _, o in s.retries_by_dimension.values()) == s.orthonormal_retries
    assert sorted(s.retries_by_dimension) == s.dims
    assert int(steps["nstep"][-1]) == s.counted_steps
    counted = steps["counted"]
    assert s.radius_enlargements == int(steps["enlargements"][counted].sum())
    assert s.mean_radius_enlargements == pytest.approx(s.radius_enlargements / counted.sum())
    for m in s.dims:
        e = s.estimates[m]
        n = len(e.steps)
        assert e.exponents.shape == e.log_sums.shape == (n, m)
        np.testing.assert_array_equal(e.samples, e.steps * 1)
        assert e.warmup.dtype == bool and e.warmup[0] and not e.warmup[1:].any()
        assert s.final_samples[m] == s.final_steps[m] * s.parameters.evolv


def test_counts_of_a_run_with_given_up_steps(coarse_run):
    s = coarse_run
    assert s.steps_given_up > 0 and s.covariance_retries > 0 and s.orthonormal_retries > 0
    assert s.iterations == s.counted_steps + s.steps_given_up + 25  # the warm-up's
    assert not s.reached_tmax and s.parameters.tmax is None and s.tmax == s.iteration_budget
    # The log keeps the first 65536 retries; all are counted.
    assert s.singular_retries > 65536
    assert len(s.retries["kind"]) == 65536
    assert set(np.unique(s.retries["kind"])) <= {0, 1, 2}


def test_parameters_are_what_the_engine_used(henon):
    s = tarnvex.spectrum(henon, dims=3, ncube=25, delay=2, evolv=3, dt=0.1, radius_pct=2.5,
                         start=7, tmax=300)
    p = s.parameters
    assert (p.dims, p.ncube, p.delay, p.evolv, p.start, p.tmax) == ((3, 3), 25, 2, 3, 7, 300)
    assert p.dt == float(np.float32(0.1)) and p.radius_pct == 2.5
    assert p.kernels in ("fast", "plain")
    assert s.series.samples_used == 3000
    assert s.derived.initial_radius == pytest.approx(0.025 * s.derived.extent, rel=1e-6)
    assert (s.series.int_min, s.series.int_max) == (int(henon.min()), int(henon.max()))


def test_records_table(henon_run):
    s = henon_run
    rows = s.to_records()
    assert len(rows) == sum(len(s.estimates[m].steps) * m for m in s.dims)
    assert set(rows[0]) == {"dimension", "samples", "steps", "exponent", "estimate", "warmup"}
    for m in s.dims:
        mine = [r for r in rows if r["dimension"] == m and not r["warmup"]]
        last = [r for r in mine if r["samples"] == s.estimates[m].samples[-1]]
        assert [r["exponent"] for r in last] == list(range(1, m + 1))
        assert [r["estimate"] for r in last] == [float(v) for v in s.estimates[m].exponents[-1]]
    final = s.to_records(final=True)
    assert len(final) == sum(s.dims)
    for m in s.dims:
        mine = sorted((r for r in final if r["dimension"] == m), key=lambda r: r["rank"])
        assert [r["estimate"] for r in mine] == [float(v) for v in s.sorted_exponents[m]]
        assert {r["samples"] for r in mine} == {s.final_samples[m]}


def test_dataframe(henon_run):
    pd = pytest.importorskip("pandas")
    df = henon_run.to_dataframe()
    assert isinstance(df, pd.DataFrame)
    assert list(df.columns) == ["dimension", "samples", "steps", "exponent", "estimate", "warmup"]
    assert len(df) == len(henon_run.to_records())
    last = henon_run.to_dataframe(final=True).query("dimension == 2 and rank == 1")
    assert float(last["estimate"].iloc[0]) == float(henon_run.sorted_exponents[2][0])


def test_repr_reads(henon_run, coarse_run):
    text = repr(henon_run)
    assert text.startswith("<Spectrum of 3000 samples (scale 1), dimensions 2..3, ncube 30")
    assert "counted steps 1000 of tmax 1000 (reached)" in text
    lines = text.splitlines()
    assert lines[3].startswith("  dimension 2: ") and lines[4].startswith("  dimension 3: ")
    assert f"{float(henon_run.exponents[2][0]):.2f}" in lines[3]
    assert "(to the end of the data)" in repr(coarse_run)
    for w in coarse_run.warnings:
        assert f"warning {w.code}: {w.message}" in repr(coarse_run)


def test_warnings_come_from_the_diagnostics(coarse_run):
    codes = [w.code for w in coarse_run.warnings]
    assert "coarse" in codes  # seven integers
    w = coarse_run.warnings[codes.index("coarse")]
    assert w.figure < w.threshold and w.message and w.advice
    assert not coarse_run.trusted


@pytest.mark.parametrize("which", ["henon_run", "coarse_run"])
def test_pickles(request, which, tmp_path):
    s = request.getfixturevalue(which)
    t = pickle.loads(pickle.dumps(s))
    for m in s.dims:
        np.testing.assert_array_equal(t.exponents[m], s.exponents[m])
        np.testing.assert_array_equal(t.estimates[m].log_sums, s.estimates[m].log_sums)
    assert t.warnings == s.warnings and t.parameters == s.parameters
    assert t.result_file_bytes("r.out") == s.result_file_bytes("r.out")


BAD_NAMES = [
    ("series name of 21", {"path": "r.out", "series_name": "a" * 21}, ValueError,
     "longer than 20 characters"),
    ("result name of 21", {"path": "b" * 17 + ".out1"}, ValueError, "longer than 20"),
    ("multibyte name", {"path": "r.out", "series_name": "é" * 11}, ValueError, "longer than 20"),
    ("empty series name", {"path": "r.out", "series_name": ""}, ValueError, "is empty"),
    ("a folder", {"path": "sub/"}, ValueError, "is empty"),
    ("line break", {"path": "r.out", "series_name": "a\nb"}, ValueError, "control character"),
    ("name not a str", {"path": "r.out", "series_name": b"s.dat"}, TypeError, "must be a str"),
]


@pytest.mark.parametrize("kwargs, error, message", [c[1:] for c in BAD_NAMES],
                         ids=[c[0] for c in BAD_NAMES])
def test_write_result_refuses_names(henon_run, tmp_path, kwargs, error, message):
    kwargs = dict(kwargs)
    path = os.path.join(str(tmp_path), kwargs.pop("path"))  # keeps a trailing slash
    (tmp_path / "sub").mkdir()
    with pytest.raises(error, match=message):
        henon_run.write_result(path, **kwargs)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["sub"]


def test_write_result_never_overwrites(henon_run, tmp_path):
    path = tmp_path / "r.out"
    path.write_bytes(b"keep")
    with pytest.raises(FileExistsError, match="never overwritten"):
        henon_run.write_result(path, series_name="h.dat")
    assert path.read_bytes() == b"keep"


def test_write_result_names_and_records(henon_run, tmp_path):
    path = henon_run.write_result(tmp_path / "exactly_twenty_chars", series_name="s" * 20)
    data = open(path, "rb").read()
    assert data.startswith(b"s" * 20 + b"exactly_twenty_chars\r\n")
    lines = data.split(b"\r\n")
    assert lines[-1] == b""
    # The parameter record: npts, ncube, tmax, delay, mto, mfrom, then mto, dt, evolv, 0,
    # the radius, on two lines.
    assert lines[1].split() == [b"3000", b"30", b"1000", b"1", b"3", b"2"]
    # Report points of both dimensions, the last at 1000 samples.
    assert lines[-3].split()[:2] == [b"1000", b"2"] and lines[-2].split()[:2] == [b"1000", b"3"]
    assert data.count(b"\r\n") == 3 + sum(len(henon_run.estimates[m].steps) for m in (2, 3))
