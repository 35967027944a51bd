"""One run of the engine on a series, and its result as a Python object.

Exponents are in bits per unit of time (the unit of ``dt``); counts of samples and steps
are whole numbers. Every number of a result comes from the engine unchanged: the
estimates are the engine's single-precision values (``numpy.float32``), its log sums
are doubles. The result is the engine's own object (``Spectrum``, bound in
``tarnvex._core``): its tables are read-only numpy views of the engine's vectors, and it
pickles.
"""

from __future__ import annotations

import operator
import os
import warnings
from typing import Any, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core
from ._progress import Progress, reporter

InputError = _core.InputError
ParameterError = _core.ParameterError
NoStepsError = _core.NoStepsError
ResultFileError = _core.ResultFileError

Parameters = _core.Parameters
SeriesFacts = _core.SeriesFacts
Derived = _core.Derived
TrustWarning = _core.TrustWarning
Check = _core.Check
Figures = _core.Figures
TimeReversal = _core.TimeReversal
Diagnosis = _core.Diagnosis
StepFigures = _core.StepFigures
RunningEstimates = _core.RunningEstimates
Spectrum = _core.Spectrum
ResultFile = _core.ResultFile
ResultRecord = _core.ResultRecord

#: The most samples one run takes.
MAX_SAMPLES: int = _core.MAX_SAMPLES
#: The most samples the program ``tarnvex`` reads: for a series of at most this many a run
#: here is the program's run, and its result file the program's byte for byte.
PROGRAM_SAMPLES: int = _core.PROGRAM_SAMPLES
#: The highest embedding dimension.
MAX_DIMENSION: int = _core.MAX_DIMENSION
#: The span, in integer steps, that the automatic scale makes the samples reach.
TARGET_SPAN: float = _core.TARGET_SPAN
#: The longest name the result file holds, in bytes (characters, for ASCII names).
NAME_WIDTH = 20

_INT32 = (-(2**31), 2**31 - 1)

Dims = Union[int, Sequence[int]]
PathLike = Union[str, "os.PathLike[str]"]


# ----------------------------------------------------------------------- arguments

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


def _at_least(name: str, value: Any, least: int) -> int:
    v = _whole(name, value)
    if v < least:
        raise ParameterError(f"{name} must be a whole number of at least {least}, not {value!r}")
    return v


def make_parameters(dims: Dims = (2, 4), ncube: int = 30, delay: int = 1, evolv: int = 1,
                    dt: float = 1.0, radius_pct: float = 2.0, start: int = 1,
                    tmax: Optional[int] = None, npts: Optional[int] = None,
                    kernels: Optional[str] = None, threads: int = 1) -> Parameters:
    """The ``Parameters`` of a run from the keyword arguments of ``spectrum``, checked.

    Types and ranges that cannot reach the engine are refused here (``TypeError``, or
    ``ParameterError`` with a message); the engine's own checks come when the run starts.
    """
    if kernels not in (None, "fast", "plain"):
        raise ParameterError(f"kernels must be 'fast', 'plain' or None, not {kernels!r}")
    return Parameters(
        npts=MAX_SAMPLES if npts is None else _at_least("npts", npts, 1),
        ncube=_whole("ncube", ncube), tmax=None if tmax is None else _whole("tmax", tmax),
        delay=_whole("delay", delay), dims=_dims(dims), start=_whole("start", start),
        dt=_real("dt", dt), evolv=_whole("evolv", evolv),
        radius_pct=_real("radius_pct", radius_pct), kernels=kernels,
        threads=_at_least("threads", threads, 0))


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


def _scale_value(scale: Any) -> float:
    if isinstance(scale, bool):
        raise TypeError("scale must be a number, not a bool")
    try:
        return float(scale)
    except (TypeError, ValueError):
        raise TypeError(f"scale must be a number, not {scale!r}") from None


def scaled(x: Any, scale: Optional[float] = None) -> Tuple[np.ndarray, float, Optional[int]]:
    """The samples as a run takes them: ``(samples, scale, k)``.

    ``samples`` is ``float32(x * scale)`` (the product in double precision, rounded once),
    which the engine then truncates toward zero to integers. Without ``scale``, the factor
    is 10^k for the smallest k >= 0 that makes the samples span (largest minus smallest)
    at least 10 000 integer steps, and k is returned; a series that spans as much already,
    or a constant one, keeps the factor 1. Raises ``InputError`` for anything a run cannot
    take (NaN or infinity, an empty or 2-D array, more than ``MAX_SAMPLES``, a sample whose
    truncation does not fit 32 bits).
    """
    a = _as_float64(x)
    s = None if scale is None else _scale_value(scale)
    samples, factor, k = _core.scaled(a, s)
    return samples, float(factor), (None if k is None else int(k))


def _samples(x: Any, npts: Optional[int], scale: Optional[float]
             ) -> Tuple[np.ndarray, float, Optional[int]]:
    """The samples a run of the first ``npts`` values of ``x`` takes (see ``scaled``)."""
    if npts is not None:
        a = _as_float64(x)
        x = a[:_at_least("npts", npts, 1)]
    return scaled(x, scale)


def series_facts(x: Any, scale: Optional[float] = None) -> SeriesFacts:
    """The samples of ``x`` as a run would take them (see ``scaled``): how many, the
    smallest and largest truncated to integers, and the distinct integers and values among
    them (a run resolves nothing finer than one integer step)."""
    samples, _, _ = scaled(x, scale)
    return _core.series_facts(samples)


def read_series(path: PathLike, free_format: bool = False) -> np.ndarray:
    """A series file read by the program's rules: float32 samples, at most ``MAX_SAMPLES``
    (the program itself reads only the first ``PROGRAM_SAMPLES``).

    Numbers are separated by blanks, tabs, commas or line ends; each is rounded once from
    its decimal text to single precision. Unless ``free_format``, a file that looks like a
    table (every line the same count of two or more numbers), holds decimal commas
    (``12,345``, which reads as two numbers) or a column of times (rising strictly) is
    refused with ``InputError`` and a hint to ``tarnvex-kit prep``. A file holding more
    values than the sample limit gives the first ``MAX_SAMPLES`` with a ``UserWarning`` that
    says how
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


def read_result(path: PathLike) -> ResultFile:
    """A result file (the program's, the kit's or ``Spectrum.write_result``'s) read back
    through the library's reader.

    The ``ResultFile`` holds the two names of the header, the parameter record (``npts``
    samples used, ``ncube``, ``tmax`` in force, ``delay``, ``dims``, ``dt`` in units of
    time, ``evolv`` in samples, ``radius_pct`` in percent) and the spectrum records, each
    with the samples counted, its dimension and the estimates as the file rounds them
    (bits per unit time). Raises FileNotFoundError for a missing file and
    ``ResultFileError`` (a ValueError) naming the first thing that is wrong.
    """
    path = os.fspath(path)
    if not os.path.exists(path):
        raise FileNotFoundError(f"no result file {path}")
    return _core.read_result(path)


# -------------------------------------------------------------------------- the run

def spectrum(x: Any, dims: Dims = (2, 4), ncube: int = 30, delay: int = 1, evolv: int = 1,
             dt: float = 1.0, radius_pct: float = 2.0, start: int = 1,
             tmax: Optional[int] = None, npts: Optional[int] = None,
             scale: Optional[float] = None, progress: Progress = False,
             kernels: Optional[str] = None, threads: int = 1, quick: bool = False) -> Spectrum:
    """Estimate the spectrum of Lyapunov exponents of the series ``x``.

    Parameters
    ----------
    x : 1-D array-like of finite numbers, at most ``MAX_SAMPLES`` samples (see ``npts``).
    dims : the embedding dimensions, a pair (from, to) or one dimension (1 to 20).
    ncube : neighbours per neighbourhood (1 to 200).
    delay : embedding delay, in samples.
    evolv : how many samples one step follows a neighbourhood.
    dt : the sampling step in your unit of time; exponents are in bits per that unit.
    radius_pct : the initial search radius, percent of the extent of the samples.
    start : the index of the first reference point (a delay vector, from 1).
    tmax : counted steps wanted after the warm-up; ``None``: to the end of the data.
    npts : the samples to use, the first ``npts`` of ``x``; ``None``: all of them.
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

    ``tarnvex.spectrum(x, **s.as_kwargs())`` starts the run of ``s`` again: its
    parameters (``s.parameters.as_kwargs()``) and its scale.
    The GIL is released during the run. Raises ``InputError`` for samples no run can
    take or too few of them, ``ParameterError`` for parameters one of the program's
    checks refuses (with its message), ``NoStepsError`` when the run counted no step.
    """
    samples, factor, k = _samples(x, npts, scale)
    p = make_parameters(dims=dims, ncube=ncube, delay=delay, evolv=evolv, dt=dt,
                        radius_pct=radius_pct, start=start, tmax=tmax, npts=npts,
                        kernels=kernels, threads=threads)
    with reporter(progress) as callback:
        return _core.run(samples, p, callback, bool(quick), factor, k)


# ------------------------------------------------------- the result as Python shows it

def _tmax_note(s: Spectrum) -> str:
    if s.parameters.tmax is None:
        return "(to the end of the data)"
    return f"of tmax {s.tmax} ({'reached' if s.reached_tmax else 'not reached'})"


def _spectrum_repr(self: Spectrum) -> str:
    p = self.parameters
    lo, hi = p.dims
    lines = [
        f"<Spectrum of {self.series.samples_used} samples (scale {self.scale:g}), dimensions "
        f"{lo}..{hi}, ncube {p.ncube}, delay {p.delay}, evolv {p.evolv}, "
        f"dt {p.dt:g}, radius {p.radius_pct:g} %",
        f"  counted steps {self.counted_steps} {_tmax_note(self)}, given up "
        f"{self.steps_given_up}, singular retries {self.singular_retries}",
        f"  radius enlargements {self.mean_radius_enlargements:.2f} per counted step, "
        f"initial radius {self.derived.initial_radius:g}, integers "
        f"{self.series.int_min} to {self.series.int_max}",
    ]
    exponents, figures = self.exponents, self.figures
    for m in self.dims:
        f = figures[m]
        values = " ".join(f"{float(v):.2f}" for v in exponents[m])
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


def _to_records(self: Spectrum, final: bool = False) -> List[Dict[str, Any]]:
    """The estimates as a tidy table: one dict per exponent and report point.

    Keys: ``dimension``, ``samples`` (samples counted), ``steps`` (counted steps),
    ``exponent`` (its index in the program's order, from 1), ``estimate`` (bits per
    unit time) and ``warmup`` (a report point inside the warm-up). With ``final=True``
    one row per exponent of the final estimates, with ``rank`` (its place from the
    largest, from 1) instead of ``warmup``.
    """
    rows: List[Dict[str, Any]] = []
    if final:
        exponents, final_samples, final_steps = (self.exponents, self.final_samples,
                                                 self.final_steps)
        for m in self.dims:
            values = exponents[m]
            order = np.argsort(-values.astype(np.float64), kind="stable")
            rank = np.empty(m, dtype=np.int64)
            rank[order] = np.arange(1, m + 1)
            for i in range(m):
                rows.append({"dimension": m, "samples": final_samples[m],
                             "steps": final_steps[m], "exponent": i + 1,
                             "estimate": float(values[i]), "rank": int(rank[i])})
        return rows
    for m, e in self.estimates.items():
        samples, steps, warmup, table = e.samples, e.steps, e.warmup, e.exponents
        for r in range(len(steps)):
            for i in range(m):
                rows.append({"dimension": m, "samples": int(samples[r]), "steps": int(steps[r]),
                             "exponent": i + 1, "estimate": float(table[r, i]),
                             "warmup": bool(warmup[r])})
    return rows


def _to_dataframe(self: Spectrum, final: bool = False) -> Any:
    """``to_records`` as a pandas DataFrame (needs pandas: apt-get install
    python3-pandas)."""
    try:
        import pandas as pd
    except ImportError as e:
        raise ImportError("to_dataframe needs pandas (apt-get install python3-pandas); "
                          "to_records() gives the same table without it") from e
    return pd.DataFrame.from_records(self.to_records(final=final))


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


def _result_file_bytes(self: Spectrum, result_name: str,
                       series_name: str = "series.dat") -> bytes:
    """The program's result file for this run, as bytes (CR LF records).

    ``series_name`` and ``result_name`` are the names its header shows, at most 20
    characters each (bytes, in UTF-8).
    """
    _check_name(series_name, "series_name")
    _check_name(result_name, "the result file's name")
    return self._result_file_bytes(series_name, result_name)


def _write_result(self: Spectrum, path: PathLike, *, series_name: str = "series.dat") -> str:
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


# The engine's result class gets its presentation here, beside the rest of the Python layer.
Spectrum.__repr__ = _spectrum_repr
Spectrum.to_records = _to_records
Spectrum.to_dataframe = _to_dataframe
Spectrum.result_file_bytes = _result_file_bytes
Spectrum.write_result = _write_result
