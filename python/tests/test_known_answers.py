"""Known exponents of the bundled example systems, in bits per iteration."""

from __future__ import annotations

import numpy as np
import pytest

import tarnvex


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
