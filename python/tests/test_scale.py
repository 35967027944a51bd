"""The scale rule, and the samples a run takes against those the program reads from a
file."""

from __future__ import annotations

import numpy as np
import pytest

import tarnvex

# (series, expected k): the smallest k >= 0 with a span of at least 10 000 integer steps.
RULE = [
    ("already spans 25567", lambda h: h, 0),
    ("exactly 10000", lambda h: np.array([0.0, 10000.0, 5000.0] * 20), 0),
    ("just short of 10000", lambda h: np.array([0.0, 9999.5, 5000.0] * 20), 1),
    ("Henon unscaled, span 2.56", lambda h: h / 1e4, 4),
    ("span 1e-3, negative values", lambda h: -5.0 + (h - h.min()) / (h.max() - h.min()) * 1e-3, 7),
    ("span 0.01 exactly", lambda h: np.array([0.0, 0.01] * 30), 6),
    ("tiny values", lambda h: h * 1e-20, 20),
    ("constant", lambda h: np.full(100, 3.25), 0),
]


@pytest.mark.parametrize("make, k", [c[1:] for c in RULE], ids=[c[0] for c in RULE])
def test_smallest_power_of_ten(henon, make, k):
    x = np.asarray(make(henon), dtype=np.float64)
    samples, factor, got_k = tarnvex.scaled(x)
    assert got_k == k
    assert factor == 10.0 ** k
    assert samples.dtype == np.float32
    np.testing.assert_array_equal(samples, (x * factor).astype(np.float32))
    span = float(samples.max()) - float(samples.min())
    if span > 0 and k > 0:
        assert span >= tarnvex.TARGET_SPAN
        smaller = (x * 10.0 ** (k - 1)).astype(np.float32)
        assert float(smaller.max()) - float(smaller.min()) < tarnvex.TARGET_SPAN


@pytest.mark.parametrize("scale", [1, 1.0, 10000, 0.5, 123.456])
def test_a_given_scale_is_used_as_it_is(henon, scale):
    x = henon / 1e4
    samples, factor, k = tarnvex.scaled(x, scale)
    assert (factor, k) == (float(scale), None)
    np.testing.assert_array_equal(samples, (x * float(scale)).astype(np.float32))


def test_the_run_reports_its_scale(henon):
    s = tarnvex.spectrum(henon / 1e4, dims=2, tmax=500)
    assert (s.scale, s.scale_exponent) == (1e4, 4)
    t = tarnvex.spectrum(henon, dims=2, tmax=500, scale=1)
    assert (t.scale, t.scale_exponent) == (1.0, None)
    # Scaling by a power of ten gives back the same integers here, so the same run.
    np.testing.assert_array_equal(s.exponents[2], t.exponents[2])


def write(path, texts):
    path.write_text("\n".join(texts) + "\n")
    return path


def test_integer_file_reads_as_the_program_reads_it(tmp_path, henon):
    """scale=1 on the numbers of a file gives exactly the samples the program reads."""
    from conftest import EXAMPLES
    read = tarnvex.read_series(EXAMPLES / "henon.dat")
    np.testing.assert_array_equal(tarnvex.scaled(henon, 1)[0], read)


@pytest.mark.parametrize("digits", [3, 6, 9, 12, 15])
def test_decimal_text_reads_the_same(tmp_path, digits):
    """Decimal numbers as Python parses them, then float32, against the program's reader,
    which rounds the text once to single precision: equal for typical numbers."""
    rng = np.random.default_rng(digits)
    values = rng.uniform(-3e4, 3e4, 20000) * 10.0 ** rng.integers(-4, 2, 20000)
    texts = [f"{v:.{digits}g}" for v in values]
    read = tarnvex.read_series(write(tmp_path / "s.dat", texts))
    ours, _, _ = tarnvex.scaled([float(t) for t in texts], 1)
    np.testing.assert_array_equal(ours, read)


def test_scaled_values_written_in_full_read_the_same(tmp_path, henon):
    """float32(x * scale) against the program reading x * scale written with repr."""
    x = np.concatenate([henon / 1e4, np.random.default_rng(7).normal(0, 0.37, 17000)])
    ours, factor, _ = tarnvex.scaled(x)
    read = tarnvex.read_series(write(tmp_path / "s.dat", [repr(v * factor) for v in x]))
    np.testing.assert_array_equal(ours, read)


def test_the_one_known_difference(tmp_path):
    """A double exactly halfway between two floats whose shortest text is not exact:
    float32 rounds the double to even, the reader rounds the text, which lies above."""
    d = 1.0 + 2.0 ** -24
    assert repr(d) == "1.0000000596046448"
    ours, _, _ = tarnvex.scaled([d], 1)
    read = tarnvex.read_series(write(tmp_path / "s.dat", [repr(d)]))
    assert ours[0] == np.float32(1.0)
    assert read[0] == np.float32(1.0 + 2.0 ** -23)


def test_reader_errors(tmp_path):
    with pytest.raises(FileNotFoundError, match="no series file"):
        tarnvex.read_series(tmp_path / "missing.dat")
    with pytest.raises(tarnvex.InputError, match=r"line 2, column \d+: 'abc' is not a finite"):
        tarnvex.read_series(write(tmp_path / "bad.dat", ["1.5", "abc"]))
