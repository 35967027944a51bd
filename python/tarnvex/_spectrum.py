"""One run of the engine on a series, and its result as a Python object.

Exponents are in bits per unit of time (the unit of ``dt``); counts of samples and steps
are whole numbers. Every number of a result comes from the engine unchanged: the
estimates are the engine's single-precision values (``numpy.float32``), its log sums
are doubles.
"""

from __future__ import annotations

import operator
import os
import warnings
from dataclasses import dataclass, field
from typing import Any, Dict, List, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core
from ._progress import Progress, reporter

InputError = _core.InputError
ParameterError = _core.ParameterError
NoStepsError = _core.NoStepsError

#: The most samples one run takes.
MAX_SAMPLES: int = _core.MAX_SAMPLES
#: The span, in integer steps, that the automatic scale makes the samples reach.
TARGET_SPAN: float = _core.TARGET_SPAN
#: The longest name the result file holds, in bytes (characters, for ASCII names).
NAME_WIDTH = 20

_INT32 = (-(2**31), 2**31 - 1)

Dims = Union[int, Sequence[int]]


@dataclass(frozen=True)
class Parameters:
    """The parameters of a run, as the engine received them.

    ``dt`` (units of time) and ``radius_pct`` (percent of the extent of the samples) are
    the single-precision values the run used, as Python floats. ``tmax`` is ``None`` when
    the run went to the end of the data (see ``Spectrum.tmax`` for the value in force).
    """

    mfrom: int
    mto: int
    ncube: int
    delay: int
    evolv: int
    dt: float
    radius_pct: float
    start: int
    tmax: Optional[int]
    kernels: str

    @property
    def dims(self) -> Tuple[int, int]:
        """The lowest and highest embedding dimension."""
        return (self.mfrom, self.mto)


@dataclass(frozen=True)
class SeriesFacts:
    """The series as the run used it, after scaling and truncation to integers."""

    samples_used: int
    xmin: float          # smallest and largest sample (scaled, single precision)
    xmax: float
    extent: float        # xmax - xmin, what radius_pct refers to
    int_min: int         # smallest and largest truncated sample
    int_max: int
    distinct_ints: int   # distinct integers among the truncated samples
    initial_radius: float  # the search radius at the start of a step, units of the samples


@dataclass(frozen=True)
class TrustWarning:
    """One reason not to believe a run, from the engine's diagnostics.

    ``figure`` is what was measured and ``threshold`` the limit it passed, both in the
    units the code's check uses (see the README's table of checks).
    """

    code: str
    figure: float
    threshold: float
    message: str
    advice: str


@dataclass(frozen=True)
class Figures:
    """The figures of one dimension, in bits per unit time.

    ``lambda1_error`` is the standard error of ``lambda1``: its trajectory part
    (``lambda1_trajectory_error``, batch means of the counted steps) and its radius part
    (``lambda1_radius_error``: how far the sampling spread of the extent moves ``lambda1``
    through the radius, from the run at half the radius, whose ``lambda1`` is
    ``lambda1_half_radius``), combined in quadrature. The radius part and the half-radius
    value are ``None`` for a quick run; the errors are ``None`` when the run is too short
    for them. ``kaplan_yorke`` is a dimension.
    """

    dimension: int
    sorted: np.ndarray = field(repr=False)
    lambda1: float
    lambda1_error: Optional[float]
    sum: float
    kaplan_yorke: float
    lambda1_trajectory_error: Optional[float] = None
    lambda1_radius_error: Optional[float] = None
    lambda1_half_radius: Optional[float] = None


@dataclass(frozen=True)
class Check:
    """What became of one check of the verdict: ``state`` is ``"passed"``, ``"warned"``
    or ``"not checked"``; ``note`` says why a check was not made and how to make it, or
    what a pass found (the dimension from which lambda1 settles)."""

    code: str
    state: str
    note: str


@dataclass(frozen=True)
class TimeReversal:
    """The time-reversal test of the highest dimension: the forward exponents and those of
    the reversed series (bits per unit time, sorted from the largest), and per forward
    exponent its mark: ``"confirmed"``, ``"likely spurious"`` or ``"inconclusive"``."""

    dimension: int
    forward: np.ndarray = field(repr=False)
    reversed: np.ndarray = field(repr=False)
    marks: Tuple[str, ...]
    conclusive: bool
    reason: str


@dataclass(frozen=True, eq=False)
class RunningEstimates:
    """The estimates of one dimension at its report points (every 25 counted steps).

    ``samples`` are the samples counted at each report point (steps times the evolution
    time); ``exponents`` has one row per report point and one column per direction of the
    frame, in bits per unit time (float32); ``log_sums`` the natural-log sums behind them;
    ``warmup`` marks the report point inside the warm-up. A count reached again after a
    step was given up keeps the later estimates only (the result file shows both).
    """

    dimension: int
    steps: np.ndarray
    samples: np.ndarray
    warmup: np.ndarray
    exponents: np.ndarray
    log_sums: np.ndarray


@dataclass(frozen=True, eq=False)
class Spectrum:
    """The result of one run: the estimates of every dimension, the run's counts, the
    diagnostics' figures and warnings, and the records of the program's result file.

    ``exponents[m]`` are the final estimates of dimension ``m`` in the program's order (one
    per direction of the frame, float32, bits per unit time); ``sorted_exponents[m]`` the
    same from the largest. ``scale`` is the factor the samples were multiplied by before
    the run (``scale_exponent`` is k when it was chosen as 10^k, ``None`` when given).
    """

    parameters: Parameters
    scale: float
    scale_exponent: Optional[int]
    series: SeriesFacts
    tmax: int                 # counted steps wanted, in force
    iteration_budget: int     # iterations the data allow
    iterations: int
    counted_steps: int
    reached_tmax: bool
    steps_given_up: int
    warmup_end: int           # iteration that ended the warm-up, 0 if none did
    covariance_retries: int
    orthonormal_retries: int
    retries_by_dimension: Dict[int, Tuple[int, int]]
    exponents: Dict[int, np.ndarray] = field(repr=False)
    sorted_exponents: Dict[int, np.ndarray] = field(repr=False)
    final_samples: Dict[int, int] = field(repr=False)
    final_steps: Dict[int, int] = field(repr=False)
    estimates: Dict[int, RunningEstimates] = field(repr=False)
    figures: Dict[int, Figures] = field(repr=False)
    warnings: Tuple[TrustWarning, ...] = field(repr=False)
    checks: Tuple[Check, ...] = field(repr=False)
    settles_from: Optional[int] = field(repr=False)
    time_reversal: Optional[TimeReversal] = field(repr=False)
    steps: Dict[str, np.ndarray] = field(repr=False)
    retries: Dict[str, np.ndarray] = field(repr=False)
    _records: bytes = field(repr=False)

    @property
    def dims(self) -> List[int]:
        """The embedding dimensions of the run, from the lowest."""
        return sorted(self.exponents)

    @property
    def singular_retries(self) -> int:
        """Steps sent back to the search by a singular matrix, of both kinds."""
        return self.covariance_retries + self.orthonormal_retries

    @property
    def radius_enlargements(self) -> int:
        """Radius enlargements over the counted steps (at their accepted search)."""
        counted = self.steps["counted"]
        return int(self.steps["enlargements"][counted].sum(dtype=np.int64))

    @property
    def mean_radius_enlargements(self) -> float:
        """Radius enlargements per counted step."""
        counted = self.steps["counted"]
        n = int(counted.sum())
        return self.radius_enlargements / n if n else 0.0

    @property
    def trusted(self) -> bool:
        """True when the diagnostics raised no warning (see ``not_checked`` for what they
        could not look at)."""
        return not self.warnings

    @property
    def not_checked(self) -> Tuple[Check, ...]:
        """The checks that were not made, each with why and how to make it."""
        return tuple(c for c in self.checks if c.state == "not checked")

    def _tmax_note(self) -> str:
        if self.parameters.tmax is None:
            return "(to the end of the data)"
        return f"of tmax {self.tmax} ({'reached' if self.reached_tmax else 'not reached'})"

    def __repr__(self) -> str:
        p = self.parameters
        scale = f"{self.scale:g}"
        lines = [
            f"<Spectrum of {self.series.samples_used} samples (scale {scale}), dimensions "
            f"{p.mfrom}..{p.mto}, ncube {p.ncube}, delay {p.delay}, evolv {p.evolv}, "
            f"dt {p.dt:g}, radius {p.radius_pct:g} %",
            f"  counted steps {self.counted_steps} {self._tmax_note()}, given up "
            f"{self.steps_given_up}, singular retries {self.singular_retries}",
            f"  radius enlargements {self.mean_radius_enlargements:.2f} per counted step, "
            f"initial radius {self.series.initial_radius:g}, integers "
            f"{self.series.int_min} to {self.series.int_max}",
        ]
        for m in self.dims:
            f = self.figures[m]
            values = " ".join(f"{float(v):.2f}" for v in self.exponents[m])
            err = "" if f.lambda1_error is None else f" ± {f.lambda1_error:.3f}"
            if f.lambda1_error is not None and f.lambda1_radius_error is None:
                err += " (trajectory part only)"
            lines.append(f"  dimension {m}: {values}   (lambda1 {f.lambda1:.2f}{err}, "
                         f"sum {f.sum:.2f}, Kaplan-Yorke {f.kaplan_yorke:.2f})")
        if self.warnings:
            for w in self.warnings:
                lines.append(f"  warning {w.code}: {w.message}")
        else:
            lines.append("  no warnings")
        if self.not_checked:
            lines.append("  not checked: " + "; ".join(f"{c.code} ({c.note})"
                                                       for c in self.not_checked))
        return "\n".join(lines) + ">"

    def to_records(self, final: bool = False) -> List[Dict[str, Any]]:
        """The estimates as a tidy table: one dict per exponent and report point.

        Keys: ``dimension``, ``samples`` (samples counted), ``steps`` (counted steps),
        ``exponent`` (its index in the program's order, from 1), ``estimate`` (bits per
        unit time) and ``warmup`` (a report point inside the warm-up). With ``final=True``
        one row per exponent of the final estimates, with ``rank`` (its place from the
        largest, from 1) instead of ``warmup``.
        """
        rows: List[Dict[str, Any]] = []
        for m in self.dims:
            if final:
                values = self.exponents[m]
                order = np.argsort(-values.astype(np.float64), kind="stable")
                rank = np.empty(m, dtype=np.int64)
                rank[order] = np.arange(1, m + 1)
                samples = self.final_samples[m]
                for i in range(m):
                    rows.append({"dimension": m, "samples": samples,
                                 "steps": self.final_steps[m],
                                 "exponent": i + 1, "estimate": float(values[i]),
                                 "rank": int(rank[i])})
                continue
            e = self.estimates[m]
            for r in range(len(e.steps)):
                for i in range(m):
                    rows.append({"dimension": m, "samples": int(e.samples[r]),
                                 "steps": int(e.steps[r]), "exponent": i + 1,
                                 "estimate": float(e.exponents[r, i]),
                                 "warmup": bool(e.warmup[r])})
        return rows

    def to_dataframe(self, final: bool = False) -> Any:
        """``to_records`` as a pandas DataFrame (needs pandas: apt-get install
        python3-pandas)."""
        try:
            import pandas as pd
        except ImportError as e:
            raise ImportError("to_dataframe needs pandas (apt-get install python3-pandas); "
                              "to_records() gives the same table without it") from e
        return pd.DataFrame.from_records(self.to_records(final=final))

    def result_file_bytes(self, result_name: str, series_name: str = "series.dat") -> bytes:
        """The program's result file for this run, as bytes (CR LF records).

        ``series_name`` and ``result_name`` are the names its header shows, at most 20
        characters each (bytes, in UTF-8).
        """
        _check_name(series_name, "series_name")
        _check_name(result_name, "the result file's name")
        p = self.parameters
        header = _core.result_header(series_name, result_name, self.series.samples_used,
                                     p.ncube, self.tmax, p.delay, p.mfrom, p.mto, p.dt,
                                     p.evolv, p.radius_pct)
        return header + self._records

    def write_result(self, path: Union[str, "os.PathLike[str]"], *,
                     series_name: str = "series.dat") -> str:
        """Write the program's result file to ``path``; return the path.

        The file is byte for byte what the program writes when it reads the same samples
        from a series file named ``series_name`` and is asked for a result file named as
        the base name of ``path`` (its header shows both names, at most 20 characters
        each). An existing file is never overwritten (FileExistsError).
        """
        path = os.fspath(path)
        data = self.result_file_bytes(os.path.basename(path), series_name=series_name)
        try:
            with open(path, "xb") as f:
                f.write(data)
        except FileExistsError:
            raise FileExistsError(f"{path} exists; a result file is never overwritten") from None
        return path


def _check_name(name: str, what: str) -> None:
    if not isinstance(name, str):
        raise TypeError(f"{what} must be a str, not {type(name).__name__}")
    if not name.strip(" "):
        raise ValueError(f"{what} is empty")
    if any(ord(c) < 32 or ord(c) == 127 for c in name):
        raise ValueError(f"{what} {name!r} holds a control character")
    if len(name.encode("utf-8")) > NAME_WIDTH:
        raise ValueError(f"{what} {name!r} is longer than {NAME_WIDTH} characters: the "
                         f"result file holds {NAME_WIDTH} for each name")


def _whole(name: str, value: Any) -> int:
    if isinstance(value, bool):
        raise TypeError(f"{name} must be a whole number, not a bool")
    try:
        v = operator.index(value)
    except TypeError:
        raise TypeError(f"{name} must be a whole number, not {value!r}") from None
    if not _INT32[0] <= v <= _INT32[1]:
        raise ParameterError(f"{name}={v} is out of range (a 32-bit integer)")
    return v


def _real(name: str, value: Any) -> float:
    if isinstance(value, bool):
        raise TypeError(f"{name} must be a number, not a bool")
    try:
        v = float(value)
    except (TypeError, ValueError):
        raise TypeError(f"{name} must be a number, not {value!r}") from None
    single = np.float32(v) if np.isfinite(v) and abs(v) <= np.finfo(np.float32).max else None
    if single is None:
        raise ParameterError(f"{name}={value!r} is not a finite number in single precision")
    return float(single)


def _dims(dims: Dims) -> Tuple[int, int]:
    if isinstance(dims, (int, np.integer)) and not isinstance(dims, bool):
        m = _whole("dims", dims)
        return m, m
    try:
        lo, hi = dims  # type: ignore[misc]
    except (TypeError, ValueError):
        raise TypeError(f"dims must be a dimension or a pair (from, to), not {dims!r}") from None
    mfrom, mto = _whole("dims[0]", lo), _whole("dims[1]", hi)
    if mfrom > mto:
        # The program runs such parameters and estimates nothing.
        raise ParameterError(f"dims=({mfrom}, {mto}): the lowest dimension is above the "
                             f"highest, so there is no dimension to estimate")
    return mfrom, mto


def _as_float64(x: Any) -> np.ndarray:
    try:
        a = np.asarray(x)
    except (TypeError, ValueError) as e:
        raise InputError(f"the series is not an array of numbers: {e}") from None
    kind = a.dtype.kind
    if kind == "O":
        try:
            a = a.astype(np.float64)
        except (TypeError, ValueError):
            raise InputError("the series holds something that is not a number") from None
    elif kind not in "iuf":
        what = {"b": "booleans", "c": "complex numbers", "U": "strings", "S": "bytes"}
        raise InputError(f"the series must hold real numbers, not "
                         f"{what.get(kind, str(a.dtype))}")
    if a.ndim != 1:
        shape = ", ".join(str(n) for n in a.shape)
        raise InputError(f"the series must be one-dimensional; got an array of shape ({shape})"
                         + (": pass one column, e.g. x[:, 0]" if a.ndim == 2 else ""))
    return np.ascontiguousarray(a, dtype=np.float64)


def scaled(x: Any, scale: Optional[float] = None) -> Tuple[np.ndarray, float, Optional[int]]:
    """The samples as a run takes them: ``(samples, scale, k)``.

    ``samples`` is ``float32(x * scale)`` (the product in double precision, rounded once),
    which the engine then truncates toward zero to integers. Without ``scale``, the factor
    is 10^k for the smallest k >= 0 that makes the samples span (largest minus smallest)
    at least 10 000 integer steps, and k is returned; a series that spans as much already,
    or a constant one, keeps the factor 1. Raises ``InputError`` for anything a run cannot
    take (NaN or infinity, an empty or 2-D array, more than 20 000 samples, a sample whose
    truncation does not fit 32 bits).
    """
    a = _as_float64(x)
    s = None if scale is None else _scale_value(scale)
    samples, factor, k = _core.scaled(a, s)
    return samples, float(factor), (None if k is None else int(k))


def _scale_value(scale: Any) -> float:
    if isinstance(scale, bool):
        raise TypeError("scale must be a number, not a bool")
    try:
        return float(scale)
    except (TypeError, ValueError):
        raise TypeError(f"scale must be a number, not {scale!r}") from None


def read_series(path: Union[str, "os.PathLike[str]"], free_format: bool = False) -> np.ndarray:
    """A series file read as the program reads it: float32 samples, at most 20 000.

    Numbers are separated by blanks, tabs, commas or line ends; each is rounded once from
    its decimal text to single precision. Unless ``free_format``, a file that looks like a
    table (every line the same count of two or more numbers), holds decimal commas
    (``12,345``, which reads as two numbers) or a column of times (rising strictly) is
    refused with ``InputError`` and a hint to ``tarnvex-kit prep``. A file holding more
    values than the sample limit gives the first 20 000 with a ``UserWarning`` that says how
    many there were. Raises FileNotFoundError for a missing file and ``InputError`` for a
    value that is not a number.
    """
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(f"no series file {path}")
    samples, note = _core.read_series(path, bool(free_format))
    if note:
        warnings.warn(f"{path}: {note}", UserWarning, stacklevel=2)
    return samples


def spectrum(x: Any, dims: Dims = (2, 4), ncube: int = 30, delay: int = 1, evolv: int = 1,
             dt: float = 1.0, radius_pct: float = 2.0, start: int = 1,
             tmax: Optional[int] = None, scale: Optional[float] = None,
             progress: Progress = False, kernels: Optional[str] = None,
             threads: int = 1, quick: bool = False) -> Spectrum:
    """Estimate the spectrum of Lyapunov exponents of the series ``x``.

    Parameters
    ----------
    x : 1-D array-like of finite numbers, at most 20 000 samples.
    dims : the embedding dimensions, a pair (from, to) or one dimension (1 to 20).
    ncube : neighbours per neighbourhood (1 to 200).
    delay : embedding delay, in samples.
    evolv : how many samples one step follows a neighbourhood.
    dt : the sampling step in your unit of time; exponents are in bits per that unit.
    radius_pct : the initial search radius, percent of the extent of the samples.
    start : the index of the first reference point (a delay vector, from 1).
    tmax : counted steps wanted after the warm-up; ``None``: to the end of the data.
    scale : the factor applied before the samples are truncated to integers; ``None``:
        10^k for the smallest k >= 0 giving a span of at least 10 000 integer steps
        (see ``scaled``); ``1``: the numbers as they are, as the program reads them.
    progress : ``True`` for a progress bar (tqdm, where installed), or a callable that
        receives (iterations done, iterations planned) about every 1 % of the run.
    kernels : ``"fast"`` or ``"plain"`` numerical kernels (the same bits); ``None``: the
        build's default.
    threads : threads that compute the dimensions of each step together (the same
        numbers for every count); ``0``: as many as the processors this process may run
        on. A run whose steps are too small to gain starts none.
    quick : ``True``: one estimate only, without the verdict's runs at half the radius and
        of the reversed series (about a third of the processor time); their checks and the
        radius part of the standard error are then listed under ``not_checked``.

    The GIL is released during the run. Raises ``InputError`` for samples no run can
    take or too few of them, ``ParameterError`` for parameters one of the program's
    checks refuses (with its message), ``NoStepsError`` when the run counted no step.
    """
    samples, factor, k = scaled(x, scale)
    mfrom, mto = _dims(dims)
    ncube_i = _whole("ncube", ncube)
    delay_i = _whole("delay", delay)
    evolv_i = _whole("evolv", evolv)
    start_i = _whole("start", start)
    tmax_i = None if tmax is None else _whole("tmax", tmax)
    dt_f = _real("dt", dt)
    pct_f = _real("radius_pct", radius_pct)
    threads_i = _whole("threads", threads)
    if threads_i < 0:
        raise ParameterError(f"threads must be a whole number of at least 0, not {threads!r}")
    if kernels not in (None, "fast", "plain"):
        raise ParameterError(f"kernels must be 'fast', 'plain' or None, not {kernels!r}")
    with reporter(progress) as callback:
        raw = _core.run(samples, ncube_i, tmax_i, delay_i, mfrom, mto, start_i, dt_f, evolv_i,
                        pct_f, kernels or "default", threads_i, callback, bool(quick))
    params = Parameters(mfrom=mfrom, mto=mto, ncube=ncube_i, delay=delay_i, evolv=evolv_i,
                        dt=dt_f, radius_pct=pct_f, start=start_i, tmax=tmax_i,
                        kernels=raw["kernels"])
    return _from_raw(raw, params, factor, k)


def _from_raw(raw: Mapping[str, Any], params: Parameters, factor: float,
              k: Optional[int]) -> Spectrum:
    d = raw["derived"]
    s = raw["series"]
    facts = SeriesFacts(samples_used=int(s["samples_used"]), xmin=float(d["xmin"]),
                        xmax=float(d["xmax"]), extent=float(d["extent"]),
                        int_min=int(s["int_min"]), int_max=int(s["int_max"]),
                        distinct_ints=int(s["distinct_ints"]),
                        initial_radius=float(d["scalmx"]))
    exponents: Dict[int, np.ndarray] = {}
    final_samples: Dict[int, int] = {}
    final_steps: Dict[int, int] = {}
    estimates: Dict[int, RunningEstimates] = {}
    for e in raw["dimensions"]:
        m = int(e["dimension"])
        exponents[m] = e["final_exponents"]
        final_samples[m] = int(e["final_samples"])
        final_steps[m] = int(e["final_steps"])
        estimates[m] = RunningEstimates(dimension=m, steps=e["steps"], samples=e["samples"],
                                        warmup=e["warmup"], exponents=e["exponents"],
                                        log_sums=e["log_sums"])
    figures: Dict[int, Figures] = {}
    sorted_exponents: Dict[int, np.ndarray] = {}
    for f in raw["diagnosis"]["figures"]:
        m = int(f["dimension"])
        def opt(key: str) -> Optional[float]:
            return None if f[key] is None else float(f[key])
        figures[m] = Figures(dimension=m, sorted=f["sorted"], lambda1=float(f["lambda1"]),
                             lambda1_error=opt("lambda1_error"),
                             sum=float(f["sum"]), kaplan_yorke=float(f["kaplan_yorke"]),
                             lambda1_trajectory_error=opt("lambda1_trajectory_error"),
                             lambda1_radius_error=opt("lambda1_radius_error"),
                             lambda1_half_radius=opt("lambda1_half_radius"))
        # The sorted exponents are the float32 estimates themselves, reordered.
        sorted_exponents[m] = np.asarray(f["sorted"], dtype=np.float32)
    warnings = tuple(TrustWarning(code=w["code"], figure=float(w["figure"]),
                                  threshold=float(w["threshold"]), message=w["message"],
                                  advice=w["advice"])
                     for w in raw["diagnosis"]["warnings"])
    checks = tuple(Check(code=c, state=st, note=n) for c, st, n in raw["diagnosis"]["checks"])
    rv = raw["diagnosis"]["reversal"]
    reversal = None if rv is None else TimeReversal(
        dimension=int(rv["dimension"]), forward=rv["forward"], reversed=rv["reversed"],
        marks=tuple(rv["marks"]), conclusive=bool(rv["conclusive"]), reason=rv["reason"])
    settles = raw["diagnosis"]["settles_from"]
    return Spectrum(parameters=params, scale=factor, scale_exponent=k, series=facts,
                    tmax=int(d["tmax"]), iteration_budget=int(d["ntrip"]),
                    iterations=int(raw["iterations"]),
                    counted_steps=int(raw["counted_steps"]),
                    reached_tmax=bool(raw["reached_tmax"]),
                    steps_given_up=int(raw["steps_given_up"]),
                    warmup_end=int(raw["warmup_end"]),
                    covariance_retries=int(raw["covariance_retries"]),
                    orthonormal_retries=int(raw["orthonormal_retries"]),
                    retries_by_dimension={int(m): (int(c), int(o)) for m, (c, o)
                                          in raw["retries_by_dimension"].items()},
                    exponents=exponents, sorted_exponents=sorted_exponents,
                    final_samples=final_samples, final_steps=final_steps,
                    estimates=estimates, figures=figures,
                    warnings=warnings, checks=checks,
                    settles_from=None if settles is None else int(settles),
                    time_reversal=reversal, steps=dict(raw["steps"]), retries=dict(raw["retries"]),
                    _records=bytes(raw["records"]))
