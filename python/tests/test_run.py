"""Bits, progress and threads of a run."""

from __future__ import annotations

import threading

import numpy as np
import pytest

import tarnvex

from conftest import runs_beside_python


def assert_same_bits(a: tarnvex.Spectrum, b: tarnvex.Spectrum) -> None:
    assert a.dims == b.dims
    for m in a.dims:
        assert a.exponents[m].tobytes() == b.exponents[m].tobytes()
        assert a.estimates[m].exponents.tobytes() == b.estimates[m].exponents.tobytes()
        assert a.estimates[m].log_sums.tobytes() == b.estimates[m].log_sums.tobytes()
    assert a.result_file_bytes("r.out") == b.result_file_bytes("r.out")


@pytest.mark.parametrize("name, kwargs", [
    ("henon", dict(dims=(1, 4))),
    ("lorenz", dict(dims=(2, 5), delay=5, dt=0.01, ncube=40)),
])
def test_fast_and_plain_kernels_give_the_same_bits(examples, name, kwargs):
    """Two independent computations: the kernels that reorder what cannot change a
    rounded result, and the plain loops in the defining order."""
    fast = tarnvex.spectrum(examples[name], kernels="fast", **kwargs)
    plain = tarnvex.spectrum(examples[name], kernels="plain", **kwargs)
    assert (fast.parameters.kernels, plain.parameters.kernels) == ("fast", "plain")
    assert_same_bits(fast, plain)


def test_threads_in_a_run_give_the_same_bits(examples):
    """Steps large enough (200 neighbours, dimensions 2 to 12) that 2 threads share them."""
    kwargs = dict(dims=(2, 12), delay=5, dt=0.01, ncube=200, tmax=300)
    one = tarnvex.spectrum(examples["lorenz"], **kwargs)
    for threads in (2, 0):
        assert_same_bits(one, tarnvex.spectrum(examples["lorenz"], threads=threads, **kwargs))


@pytest.mark.parametrize("threads, error", [(-1, tarnvex.ParameterError), (1.5, TypeError),
                                            (True, TypeError)])
def test_threads_must_be_a_whole_number_from_0(henon, threads, error):
    with pytest.raises(error, match="threads"):
        tarnvex.spectrum(henon, threads=threads)


def test_repeated_calls_give_the_same_bits(henon):
    assert_same_bits(tarnvex.spectrum(henon), tarnvex.spectrum(list(henon)))


def test_input_types_give_the_same_samples(henon):
    """Lists, integer arrays, float32 arrays and float64 arrays of the same numbers."""
    ints = henon.astype(np.int64)
    base = tarnvex.scaled(ints)[0]
    for x in (ints.tolist(), ints.astype(np.float32), ints.astype(np.float64),
              ints.astype(np.int32), tuple(ints.tolist()), ints.astype(object)):
        np.testing.assert_array_equal(tarnvex.scaled(x)[0], base)


def test_progress_callable_sees_increasing_counts(henon):
    calls = []
    s = tarnvex.spectrum(henon, dims=(2, 3), progress=lambda done, planned: calls.append(
        (done, planned, threading.get_ident())))
    done = [c[0] for c in calls]
    assert all(b > a for a, b in zip(done, done[1:]))
    assert {c[1] for c in calls} == {s.iteration_budget}
    assert done[-1] == s.iterations == s.iteration_budget
    # About every 1 % of the run, not at every iteration.
    assert 90 <= len(calls) <= 110
    assert {c[2] for c in calls} == {threading.get_ident()}


def test_progress_callable_stops_short_with_tmax(henon):
    calls = []
    s = tarnvex.spectrum(henon, dims=2, tmax=500, progress=lambda d, p: calls.append((d, p)))
    assert s.iterations == 525
    assert calls[-1][0] <= s.iterations < calls[-1][1]


def test_an_error_in_the_callable_stops_the_run(henon):
    calls = []

    def stop(done: int, planned: int) -> None:
        calls.append(done)
        if len(calls) == 3:
            raise KeyError("stop here")

    with pytest.raises(KeyError, match="stop here"):
        tarnvex.spectrum(henon, progress=stop)
    assert len(calls) == 3


def test_progress_bar(henon, capsys):
    pytest.importorskip("tqdm")
    s = tarnvex.spectrum(henon, dims=2, progress=True)
    err = capsys.readouterr().err
    assert "tarnvex" in err and f"{s.iteration_budget}/{s.iteration_budget}" in err


def henon_series(n: int) -> np.ndarray:
    """n samples of the Henon map's x (a = 1.4, b = 0.3), after a transient."""
    x, y = 0.1, 0.1
    out = np.empty(n + 1000)
    for i in range(n + 1000):
        x, y = 1.0 - 1.4 * x * x + y, 0.3 * x
        out[i] = x
    return out[1000:]


def test_the_gil_is_released():
    """While a run goes on in one thread, Python code runs in another at close to its
    full speed (a run holding the GIL would let it run only between the run's own Python
    parts, a few milliseconds)."""
    x = henon_series(20000)
    s, took, ticks, alone = runs_beside_python(lambda: tarnvex.spectrum(x, dims=(2, 5)))
    assert s.counted_steps > 0 and s.scale == 1e4
    assert took > 0.1
    assert ticks > 0.1 * alone * took
