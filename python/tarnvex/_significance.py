"""Is a spectrum evidence of chaos, and which of its exponents are real: the surrogate test,
the time-reversal test and an embedding dimension from Cao's statistics.

Each runs in the engine with the GIL released; the parameters of the runs are those of
``spectrum``, under the same names.
"""

from __future__ import annotations

import operator
from typing import Any, Optional

import numpy as np

from . import _core
from ._spectrum import (MAX_DIMENSION, Dims, InputError, ParameterError, TimeReversal,
                        _as_float64, _at_least, _samples, make_parameters)

SurrogateTest = _core.SurrogateTest
SurrogateRank = _core.SurrogateRank
CaoTable = _core.CaoTable

#: The fewest surrogates with which the rank test can reject at 5 %.
MIN_SURROGATES: int = _core.MIN_SURROGATES


def surrogate_test(x: Any, count: int = MIN_SURROGATES, seed: int = 1, *, workers: int = 1,
                   dims: Dims = (2, 4), ncube: int = 30, delay: int = 1, evolv: int = 1,
                   dt: float = 1.0, radius_pct: float = 2.0, start: int = 1,
                   tmax: Optional[int] = None, npts: Optional[int] = None,
                   scale: Optional[float] = None, kernels: Optional[str] = None,
                   threads: int = 1) -> SurrogateTest:
    """lambda1 of every dimension of the run of ``x`` against ``count`` IAAFT surrogates.

    Each surrogate is a permutation of the samples with (nearly) their power spectrum, from
    its own random start: ``seed`` and its index give it, so the same ``seed`` gives the same
    answers whatever ``workers`` (the surrogate runs at a time) is. The same estimate runs
    on each; a two-sided rank test per dimension says on which side of its surrogates the
    data's lambda1 (bits per unit time) lies. ``count`` below 39 cannot reject at 5 %.

    The run's parameters and ``scale`` are those of ``spectrum`` (``threads`` are the
    threads inside each run). Raises ``InputError`` for a series too short for the test
    (64 samples) or for a run, ``ParameterError`` for refused parameters, and
    ``NoStepsError`` when the run of the data counts no step.
    """
    samples, _, _ = _samples(x, npts, scale)
    p = make_parameters(dims=dims, ncube=ncube, delay=delay, evolv=evolv, dt=dt,
                        radius_pct=radius_pct, start=start, tmax=tmax, npts=npts,
                        kernels=kernels, threads=threads)
    return _core.surrogate_test(samples, p, _at_least("count", count, 1), _seed(seed),
                                _at_least("workers", workers, 1))


def reverse_check(x: Any, *, dims: Dims = (2, 4), ncube: int = 30, delay: int = 1,
                  evolv: int = 1, dt: float = 1.0, radius_pct: float = 2.0, start: int = 1,
                  tmax: Optional[int] = None, npts: Optional[int] = None,
                  scale: Optional[float] = None, kernels: Optional[str] = None,
                  threads: int = 1) -> TimeReversal:
    """The time-reversal test of the highest dimension of the run of ``x``.

    Runs ``x`` and ``x`` reversed with the same parameters (those of ``spectrum``) and pairs
    the forward exponents with the negated reversed ones (bits per unit time): an exponent
    with a partner is ``"confirmed"``, one without ``"likely spurious"``. The test is
    inconclusive (every mark ``"inconclusive"``) when the reversed run cannot be trusted,
    when the reversed spectrum copies the forward one, or when too few exponents pair.
    Raises as ``spectrum`` does.
    """
    samples, _, _ = _samples(x, npts, scale)
    p = make_parameters(dims=dims, ncube=ncube, delay=delay, evolv=evolv, dt=dt,
                        radius_pct=radius_pct, start=start, tmax=tmax, npts=npts,
                        kernels=kernels, threads=threads)
    return _core.reverse_check(samples, p)


def _seed(seed: Any) -> int:
    if isinstance(seed, bool):
        raise TypeError("seed must be a whole number, not a bool")
    try:
        v = operator.index(seed)
    except TypeError:
        raise TypeError(f"seed must be a whole number, not {seed!r}") from None
    if not 0 <= v < 2**64:
        raise ParameterError(f"seed must be a whole number from 0 to 2**64 - 1, not {seed!r}")
    return v


def _finite(x: Any) -> np.ndarray:
    a = _as_float64(x)
    if len(a) == 0:
        raise InputError("the series is empty")
    bad = np.flatnonzero(~np.isfinite(a))
    if len(bad):
        raise InputError(f"sample {bad[0]} (counting from 0) is {a[bad[0]]}: every sample "
                         f"must be a finite number; remove or fill the gap first")
    return a


def cao(x: Any, delay: int = 1, max_dim: int = 10, samples: int = 4000) -> CaoTable:
    """Cao's E1 and E2 statistics of ``x`` and the embedding dimension they suggest.

    Over the first ``samples`` values (as single-precision numbers, unscaled), for
    dimensions d = 1 to ``max_dim`` - 1 at the embedding ``delay`` (samples): ``e1[d - 1]``
    and ``e2[d - 1]`` with the maximum norm. ``dimension`` is the first d from which E1
    stays saturated, ``None`` when it does not saturate or E2 says the series looks
    stochastic; ``reason`` says which. A neighbour at distance zero is passed over.
    """
    a = _finite(x)
    d = _at_least("delay", delay, 1)
    m = _at_least("max_dim", max_dim, 2)
    if m > MAX_DIMENSION:
        raise ParameterError(f"max_dim must be at most {MAX_DIMENSION}, not {max_dim!r}")
    return _core.cao(a, d, m, _at_least("samples", samples, 2))
