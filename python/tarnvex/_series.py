"""What comes before a run: an embedding delay for a series, and test series of systems with
known exponents (what ``tarnvex-kit gen`` writes)."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Any, Dict, Optional, Tuple

import numpy as np

from . import _core
from ._spectrum import MAX_SAMPLES, ParameterError, _at_least
from ._significance import _finite

DelaySuggestion = _core.DelaySuggestion

#: The largest lag ``suggest_delay`` looks at, and its histogram's bins, by default.
DELAY_MAX_LAG: int = _core.DELAY_MAX_LAG
DELAY_BINS: int = _core.DELAY_BINS


def suggest_delay(x: Any, max_lag: int = DELAY_MAX_LAG, bins: int = DELAY_BINS
                  ) -> DelaySuggestion:
    """An embedding delay for ``x``, in samples, with the curves it was chosen from.

    The first minimum of the mutual information (a histogram of ``bins`` bins, in bits) of
    ``x`` and ``x`` delayed, looking at lags 1 to ``max_lag`` (at most half the samples); a
    minimum lies below the two lags before it and not above the two after it. Where there
    is none, the first lag whose autocorrelation is not positive; else 1. ``rule`` and
    ``method`` say which; ``mutual_information`` and ``autocorrelation`` hold the curves at
    lags 0 to ``max_lag``. Raises ``InputError`` for fewer than 8 samples.
    """
    return _core.suggest_delay(_finite(x), _at_least("max_lag", max_lag, 1),
                               _at_least("bins", bins, 1))


@dataclass(frozen=True)
class SystemInfo:
    """A test system: its default samples, transient (iterations or steps dropped first),
    integration and sampling ``step`` (units of time, flows), the ``scale`` applied before
    truncation, and its known exponents in nats per unit time (``nats``; ``bits`` the same
    in bits per unit time, per iteration for a map)."""

    name: str
    description: str
    flow: bool
    samples: int
    transient: int
    step: float
    scale: float
    nats: Tuple[float, ...]
    source: str

    @property
    def bits(self) -> Tuple[float, ...]:
        """The known exponents in bits per unit time (per iteration for a map)."""
        return tuple(n / math.log(2.0) for n in self.nats)


def systems() -> Dict[str, SystemInfo]:
    """The test systems ``generate`` knows, by name."""
    return {s["name"]: SystemInfo(**s) for s in _core.SYSTEMS}


def generate(name: str, n: Optional[int] = None, *, scale: Optional[float] = None,
             transient: Optional[int] = None, step: Optional[float] = None) -> np.ndarray:
    """A series of the test system ``name`` as ``tarnvex-kit gen`` writes it.

    ``n`` samples (default: the system's) of its first observable x after ``transient``
    iterations or steps, flows integrated with the fourth-order Runge-Kutta scheme at
    ``step`` units of time a sample; then x times ``scale`` truncated toward zero to
    integers (returned as float64). ``None`` takes the system's default (see
    ``systems()``). Raises ``ParameterError`` for an unknown system or a value out of
    range, ``InputError`` when a scaled value leaves the 32-bit range.
    """
    if not isinstance(name, str):
        raise TypeError(f"name must be a str, not {type(name).__name__}")
    count = None if n is None else _at_least("n", n, 1)
    if count is not None and count > MAX_SAMPLES:
        raise ParameterError(f"n must be at most {MAX_SAMPLES}, not {n!r}")
    info = systems().get(name)
    if info is None:
        raise ParameterError(f"unknown system {name!r}; systems: {', '.join(systems())}")
    return _core.generate(name, info.samples if count is None else count,
                          None if transient is None else _at_least("transient", transient, 0),
                          None if step is None else _positive("step", step),
                          None if scale is None else _positive("scale", scale))


def _positive(name: str, value: Any) -> float:
    v = _number(name, value)
    if not (math.isfinite(v) and v > 0):
        raise ParameterError(f"{name} must be a positive finite number, not {value!r}")
    return v


def _number(name: str, value: Any) -> float:
    if isinstance(value, bool):
        raise TypeError(f"{name} must be a number, not a bool")
    try:
        return float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a number, not {value!r}") from None
