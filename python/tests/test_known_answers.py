"""Known exponents of the bundled example systems, in bits per iteration."""

from __future__ import annotations

import numpy as np
import pytest

import tarnvex

from conftest import ar1


@pytest.mark.parametrize("name, dims, known, tolerance", [
    # Henon map a = 1.4, b = 0.3: 0.605 and -2.342; this estimator gives 0.60 and -2.25.
    ("henon", (2, 2), {2: (0.60, -2.3)}, (0.03, 0.1)),
    # Logistic map r = 4: exactly 1.
    ("logistic", (1, 1), {1: (1.0,)}, (0.02,)),
])
def test_known_exponents(examples, name, dims, known, tolerance):
    s = tarnvex.spectrum(examples[name], dims=dims)
    for m, values in known.items():
        got = s.sorted_exponents[m]
        assert got.dtype == np.float32
        assert len(got) == len(values)
        for g, v, tol in zip(got, values, tolerance):
            assert abs(float(g) - v) < tol, (m, got)
    assert s.trusted, [w.code for w in s.warnings]


def test_henon_figures(henon):
    s = tarnvex.spectrum(henon, dims=(2, 2))
    f = s.figures[2]
    assert f.lambda1 == pytest.approx(float(s.sorted_exponents[2][0]))
    assert f.sum == pytest.approx(float(s.exponents[2].astype(np.float64).sum()))
    # Kaplan-Yorke: 1 + lambda1 / |lambda2|, about 1.27 for the Henon attractor.
    assert f.kaplan_yorke == pytest.approx(1 + f.lambda1 / abs(float(s.sorted_exponents[2][1])))
    assert 1.2 < f.kaplan_yorke < 1.32
    assert f.lambda1_error is not None and 0 < f.lambda1_error < 0.05


def test_program_order_and_sorted(examples):
    """exponents keep the frame's order; sorted_exponents are the same values, largest
    first."""
    s = tarnvex.spectrum(examples["henon"], dims=(2, 4))
    for m in s.dims:
        assert len(s.exponents[m]) == m
        assert sorted(s.exponents[m].tolist(), reverse=True) == s.sorted_exponents[m].tolist()
        assert s.estimates[m].exponents.shape[1] == m


def _ar1(seed: int) -> np.ndarray:
    """20000 samples of an AR(1) process, phi 0.95, times 1000, truncated."""
    return ar1(20000, 0.95, 1000.0, seed)


def test_ar1_error_bars_cover_the_spread_between_realizations():
    """Independent realizations of a linear process spread by about 0.05 bits at dimension 3
    (20 of them, README); the batch means alone report 0.006. The reported error must cover
    the spread: its radius part, from the half-radius run and the spread of the extent,
    carries it."""
    runs = [tarnvex.spectrum(_ar1(100 + k), dims=3, scale=1) for k in range(4)]
    figures = [s.figures[3] for s in runs]
    lambda1 = np.array([f.lambda1 for f in figures])
    reported = float(np.median([f.lambda1_error for f in figures]))
    trajectory = float(np.median([f.lambda1_trajectory_error for f in figures]))
    assert np.std(lambda1, ddof=1) <= 1.7 * reported
    # 20 realizations spread by 0.051 (README): no more than 0.5 to 1.7 times that reported.
    assert 0.03 <= reported <= 0.1
    assert reported >= 5 * trajectory
    # The same series in a quick run: the trajectory part only, and it says so.
    quick = tarnvex.spectrum(_ar1(100), dims=3, scale=1, quick=True)
    assert quick.figures[3].lambda1_radius_error is None
    assert quick.figures[3].lambda1_error == quick.figures[3].lambda1_trajectory_error
    assert {c.code for c in quick.not_checked} == {
        "dimension-drift", "radius-dependence", "time-symmetric", "spurious-largest",
        "surrogates"}
    assert "(trajectory part only)" in repr(quick)


def test_the_full_verdict_never_calls_ar1_clean():
    s = tarnvex.spectrum(_ar1(100), scale=1)  # every default: dimensions 2 to 4
    assert {"dimension-drift", "radius-dependence", "time-symmetric"} <= {
        w.code for w in s.warnings}
    assert not s.trusted
    assert s.time_reversal is not None and not s.time_reversal.conclusive
    assert all(m == "inconclusive" for m in s.time_reversal.marks)
