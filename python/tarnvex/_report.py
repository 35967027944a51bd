"""One page that shows a whole analysis of a series, written by the library's page writer
(the same one as ``tarnvex-kit report``): the verdict first, the final exponents, the
figures, the parameters of every run and the time each part took, as one self-contained
HTML file (no script, no reference outside the page).
"""

from __future__ import annotations

import os
from typing import Any, Dict, Optional

from . import _core
from ._significance import _seed
from ._spectrum import (Dims, PathLike, _at_least, _samples, make_parameters)

# The defaults of ``report``'s keyword arguments, for the command that makes a page again.
_DEFAULTS: Dict[str, Any] = {
    "dims": (2, 4), "ncube": 30, "delay": 1, "evolv": 1, "dt": 1.0, "radius_pct": 2.0,
    "start": 1, "tmax": None, "npts": None, "scale": None, "kernels": None, "threads": 1,
    "surrogates": 0, "seed": 1, "workers": 1, "quick": False, "name": None,
    "free_format": False,
}


def _command(x_text: str, path: str, given: Dict[str, Any]) -> str:
    """The call that makes the same page: the arguments that differ from the defaults."""
    args = [x_text, repr(path)]
    for key, default in _DEFAULTS.items():
        value = given[key]
        if key == "dims" and not isinstance(value, int):
            value = tuple(value)
        if value != default:
            args.append(f"{key}={value!r}")
    return f"tarnvex.report({', '.join(args)})"


def _is_path(x: Any) -> bool:
    return isinstance(x, (str, os.PathLike))


def report(x: Any, path: PathLike, *, dims: Dims = (2, 4), ncube: int = 30, delay: int = 1,
           evolv: int = 1, dt: float = 1.0, radius_pct: float = 2.0, start: int = 1,
           tmax: Optional[int] = None, npts: Optional[int] = None,
           scale: Optional[float] = None, kernels: Optional[str] = None, threads: int = 1,
           surrogates: int = 0, seed: int = 1, workers: int = 1, quick: bool = False,
           name: Optional[str] = None, free_format: bool = False) -> str:
    """Write the page of a whole analysis of ``x`` to the new file ``path``; return the path.

    ``x`` is a series file (a path: read as ``tarnvex-kit report`` reads it, the values as
    they are unless ``scale`` is given) or a 1-D array-like of samples (scaled as
    ``spectrum`` scales them). The run's parameters are ``spectrum``'s, under the same names
    and units (exponents in bits per unit of ``dt``). ``surrogates``: the number of IAAFT
    surrogates of the rank test (0: none; 39 is the fewest that can reject at 5 %), from
    ``seed``, ``workers`` surrogate runs at a time. ``quick``: no runs at half the radius
    and of the reversed series (their checks are then not checked, and the page has no
    time-reversal pairs). ``name`` names the series in the page (default: the file's name,
    or "the samples given").

    The page is the same, byte for byte, as the kit's for the same series and options, but
    for the lines of the date, the command and the timings. It is written whole under a
    temporary name beside ``path`` and takes that name only when no file has it
    (``FileExistsError`` otherwise; nothing is left behind). Without gnuplot every figure is
    replaced by its text. Raises as ``spectrum`` does; a run that counts no step still gets
    its page, and then ``NoStepsError`` says so.
    """
    out = os.fspath(path)
    given = dict(dims=dims, ncube=ncube, delay=delay, evolv=evolv, dt=dt,
                 radius_pct=radius_pct, start=start, tmax=tmax, npts=npts, scale=scale,
                 kernels=kernels, threads=threads, surrogates=surrogates, seed=seed,
                 workers=workers, quick=quick, name=name, free_format=free_format)
    if os.path.lexists(out):
        raise FileExistsError(f"{out} exists; it is not overwritten")
    p = make_parameters(dims=dims, ncube=ncube, delay=delay, evolv=evolv, dt=dt,
                        radius_pct=radius_pct, start=start, tmax=tmax, npts=npts,
                        kernels=kernels, threads=threads)
    count = _at_least("surrogates", surrogates, 0)
    jobs = _at_least("workers", workers, 1)
    s = _seed(seed)
    if name is not None and not isinstance(name, str):
        raise TypeError(f"name must be a str, not {type(name).__name__}")
    if _is_path(x) and scale is None:
        series = os.fspath(x)
        if not os.path.exists(series):
            raise FileNotFoundError(f"no series file {series}")
        command = _command(repr(series), out, given)
        _core.report_file(series, bool(free_format), p, bool(quick), count, s, jobs,
                          name if name is not None else os.path.basename(series), command,
                          out)
        return out
    if _is_path(x):
        series = os.fspath(x)
        if not os.path.exists(series):
            raise FileNotFoundError(f"no series file {series}")
        values = _core.read_series(series, bool(free_format))[0].astype("float64")
        x_text, default_name = repr(series), os.path.basename(series)
    else:
        values, x_text, default_name = x, "x", "the samples given"
    samples, factor, k = _samples(values, npts, scale)
    if k is None:
        preparation = (f"scale {factor:g} (as given): the samples times {factor:g}, "
                       f"truncated toward zero to integers")
    else:
        preparation = (f"scale 10^{k} = {factor:g} (chosen: the smallest power of ten that "
                       f"makes the samples span at least {_core.TARGET_SPAN:g} integer steps), "
                       f"truncated toward zero to integers")
    command = _command(x_text, out, given)
    _core.report(samples, p, bool(quick), count, s, jobs,
                 name if name is not None else default_name, preparation, command, out)
    return out
