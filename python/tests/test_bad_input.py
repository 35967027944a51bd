"""Input no run can take, and parameters the program's checks refuse: a Python exception
with a plain message, never a crash."""

from __future__ import annotations

import re
import warnings

import numpy as np
import pytest

import tarnvex


def ramp(n: int) -> np.ndarray:
    """n samples rising by 100."""
    return np.arange(n, dtype=np.float64) * 100.0


BAD_SERIES = [
    ("nan", lambda h: np.concatenate([h[:7], [np.nan], h[8:]]), {},
     r"^sample 7 \(counting from 0\) is NaN"),
    ("inf", lambda h: np.concatenate([h[:12], [np.inf], h[13:]]), {},
     r"^sample 12 \(counting from 0\) is \+inf"),
    ("minus inf", lambda h: np.concatenate([[-np.inf], h[1:]]), {},
     r"^sample 0 \(counting from 0\) is -inf"),
    ("nan after inf", lambda h: np.concatenate([h[:3], [np.inf, np.nan], h[5:]]), {},
     r"^sample 3 .*\+inf"),
    ("empty list", lambda h: [], {}, r"^the series is empty$"),
    ("empty array", lambda h: np.empty(0), {}, r"^the series is empty$"),
    ("2-D", lambda h: h[:3000].reshape(1500, 2), {},
     r"one-dimensional; got an array of shape \(1500, 2\): pass one column"),
    ("scalar", lambda h: 3.0, {}, r"one-dimensional; got an array of shape \(\)"),
    ("strings", lambda h: ["1.5", "2.5"], {}, r"real numbers, not strings"),
    ("booleans", lambda h: [True, False] * 50, {}, r"real numbers, not booleans"),
    ("complex", lambda h: h + 1j, {}, r"real numbers, not complex numbers"),
    ("objects", lambda h: [1.0, "x", 2.0], {}, r"real numbers|not a number"),
    ("ragged", lambda h: [[1.0, 2.0], [3.0]], {}, r"not an array of numbers"),
    ("too many samples", lambda h: np.ones(tarnvex.MAX_SAMPLES + 1), {},
     r"10000001 samples; a run takes at most 10000000: run a window of it, "
     r"e\.g\. x\[:10000000\]"),
    ("too few for the warm-up", lambda h: h[:25], {},
     r"^the series has 25 samples; a run at an evolution time of 1 needs at least 26"),
    ("too few for evolv", lambda h: h[:40], {"evolv": 20},
     r"^the series has 40 samples; .* evolution time of 20 needs at least 45"),
    ("too few for the embedding", lambda h: h[:30], {"dims": (2, 4), "delay": 10},
     r"^the series has 30 samples; dimension 4 at a delay of 10 from start point 1 needs at "
     r"least 32 \(start point outside the embedded series\)"),
    ("start beyond the series", lambda h: h, {"start": 2999, "dims": (2, 2)},
     r"^the series has 3000 samples; dimension 2 .* needs at least 3001"),
    ("32 bits, as given", lambda h: h, {"scale": 1e6},
     r"times the scale 1000000 is .*does not fit a 32-bit integer"),
    ("32 bits, one sample", lambda h: np.concatenate([h[:99], [3e9], h[100:]]), {"scale": 1},
     r"^sample 99 \(3000000000\) .*does not fit a 32-bit integer"),
    ("32 bits, automatic", lambda h: 1e9 + h / 1e4, {},
     r"^sample \d+ becomes .* at the factor 10\^1 .*does not fit a 32-bit integer: subtract an "
     r"offset"),
    ("32 bits, unscaled", lambda h: h * 1e6, {},
     r"^sample 0 is .*whose truncation does not fit a 32-bit integer"),
    ("scale zero", lambda h: h, {"scale": 0}, r"^scale must be a positive finite number"),
    ("scale negative", lambda h: h, {"scale": -10}, r"^scale must be a positive finite number"),
    ("scale nan", lambda h: h, {"scale": float("nan")}, r"^scale must be a positive"),
]


@pytest.mark.parametrize("make, kwargs, message", [c[1:] for c in BAD_SERIES],
                         ids=[c[0] for c in BAD_SERIES])
def test_bad_series(henon, make, kwargs, message):
    with pytest.raises(tarnvex.InputError, match=message) as info:
        tarnvex.spectrum(make(henon), **kwargs)
    assert isinstance(info.value, ValueError)


# Every check of the program, with its own message.
REFUSED = [
    ("dimension above 20", {"dims": (2, 21)}, "emb dim. too high !!"),
    ("too many neighbours", {"ncube": 201}, "number of points per cube too large!"),
    ("lowest dimension 0", {"dims": (0, 2)}, "emb dim. must be at least 1"),
    ("highest dimension 0", {"dims": (-1, 0)}, "emb dim. must be at least 1"),
    ("no neighbours", {"ncube": 0}, "number of points per cube must be at least 1"),
    ("negative delay", {"delay": -1}, "time delay must not be negative"),
    ("evolv 0", {"evolv": 0}, "evolv time must be at least 1"),
    ("dt 0", {"dt": 0.0}, "dt must be positive"),
    ("dt negative", {"dt": -0.5}, "dt must be positive"),
    ("dt below single precision", {"dt": 1e-50}, "dt must be positive"),
    ("start 0", {"start": 0}, "start point outside the embedded series"),
]


@pytest.mark.parametrize("kwargs, message", [c[1:] for c in REFUSED], ids=[c[0] for c in REFUSED])
def test_program_checks(henon, kwargs, message):
    with pytest.raises(tarnvex.ParameterError) as info:
        tarnvex.spectrum(henon, **kwargs)
    assert str(info.value) == "the parameters are refused: " + message
    assert isinstance(info.value, ValueError)


OUR_CHECKS = [
    ("dimensions reversed", {"dims": (3, 2)}, tarnvex.ParameterError,
     r"dims=\(3, 2\): the lowest dimension is above the highest"),
    ("ncube beyond 32 bits", {"ncube": 2**40}, tarnvex.ParameterError,
     r"ncube=\d+ is out of range"),
    ("dt infinite", {"dt": float("inf")}, tarnvex.ParameterError, r"dt=inf is not a finite"),
    ("radius nan", {"radius_pct": float("nan")}, tarnvex.ParameterError,
     r"radius_pct=nan is not a finite"),
    ("ncube not whole", {"ncube": 2.5}, TypeError, r"ncube must be a whole number, not 2\.5"),
    ("delay a string", {"delay": "1"}, TypeError, r"delay must be a whole number"),
    ("tmax a bool", {"tmax": True}, TypeError, r"tmax must be a whole number, not a bool"),
    ("dims three values", {"dims": (1, 2, 3)}, TypeError, r"dims must be a dimension or a pair"),
    ("kernels unknown", {"kernels": "turbo"}, tarnvex.ParameterError, r"kernels must be"),
    ("progress not callable", {"progress": "yes"}, TypeError, r"progress must be True, False"),
]


@pytest.mark.parametrize("kwargs, error, message", [c[1:] for c in OUR_CHECKS],
                         ids=[c[0] for c in OUR_CHECKS])
def test_parameter_types_and_ranges(henon, kwargs, error, message):
    with pytest.raises(error, match=message):
        tarnvex.spectrum(henon, **kwargs)


NO_STEPS = [
    ("constant", lambda h: np.full(500, 7.0), {},
     r"the series is constant \(every sample truncates to 7\)"),
    ("collapsed by truncation", lambda h: h / 1e6, {"scale": 1},
     r"every sample truncates to the same integer, 0, .*tarnvex-kit prep"),
    ("negative radius", lambda h: h, {"radius_pct": -1.0},
     r"^the run counted no step: every one of its 2975 iterations was given up"),
]


@pytest.mark.parametrize("make, kwargs, message", [c[1:] for c in NO_STEPS],
                         ids=[c[0] for c in NO_STEPS])
def test_run_without_a_counted_step(henon, make, kwargs, message):
    with pytest.raises(tarnvex.NoStepsError, match=message) as info:
        tarnvex.spectrum(make(henon), **kwargs)
    assert isinstance(info.value, RuntimeError)


def test_errors_leave_the_caller_intact(henon):
    """A refused call changes nothing: the same series runs afterwards."""
    x = henon.copy()
    with pytest.raises(tarnvex.ParameterError):
        tarnvex.spectrum(x, ncube=500)
    np.testing.assert_array_equal(x, henon)
    assert tarnvex.spectrum(x, dims=2, tmax=100).counted_steps == 100
    assert not re.search(r"Error|refused", repr(tarnvex.spectrum(x, dims=2, tmax=100)))


@pytest.mark.parametrize("text, refusal", [
    ("12,345\n3,25\n0,5\n", r"decimal commas\?"),
    ("0.1,120\n0.2,131\n0.3,127\n", r"looks like a table: every line holds 2 numbers"),
    ("".join(f"{3 * i}\n" for i in range(1, 11)), r"like a column of times"),
], ids=["decimal commas", "two columns", "times"])
def test_read_series_refuses_files_meant_otherwise(tmp_path, text, refusal):
    path = tmp_path / "s.dat"
    path.write_text(text)
    with pytest.raises(tarnvex.InputError, match=refusal):
        tarnvex.read_series(path)
    # Read as the program reads it, on request: every number in order.
    assert len(tarnvex.read_series(path, free_format=True)) >= 6


def test_read_series_says_what_the_sample_limit_left_out(tmp_path):
    # More values than the program reads are all read, without a word.
    path = tmp_path / "long.dat"
    path.write_text("".join(f"{(i * 7919) % 1000}\n" for i in range(20500)))
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        x = tarnvex.read_series(path)
    assert len(x) == 20500 and x[-1] == (20499 * 7919) % 1000
    # More than a run takes: the first MAX_SAMPLES, and a warning that says so.
    path = tmp_path / "longer.dat"
    path.write_text(f"{tarnvex.MAX_SAMPLES - 1}*1 3*2 5\n")
    with pytest.warns(UserWarning, match=r"used the first 10000000 of 10000003 values"):
        x = tarnvex.read_series(path)
    assert len(x) == tarnvex.MAX_SAMPLES and x[-1] == 2
