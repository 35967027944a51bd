"""tarnvex: the spectrum of Lyapunov exponents of a dynamical system from one measured
scalar time series, in bits per unit of time, for every embedding dimension of a range.

    >>> import numpy as np, tarnvex
    >>> s = tarnvex.spectrum(np.loadtxt("henon.dat"), dims=(2, 2))
    >>> s.exponents[2]          # final estimates, the program's order, float32

``spectrum`` runs the engine on one series (the GIL released); ``batch`` runs many with
the same parameters on local threads or a Dask cluster. The samples are truncated to
integers before they are embedded: ``scale`` (see ``scaled``) decides how finely.
"""

from __future__ import annotations

try:
    from . import _core
except ImportError as e:  # pragma: no cover - depends on the installation
    raise ImportError(
        "the extension module tarnvex._core is not built: install the package with "
        "'pip install --no-build-isolation ./python', or build the repository with "
        "-DTARNVEX_PYTHON=ON and set PYTHONPATH=<build>/python") from e

from ._batch import batch
from ._spectrum import (MAX_SAMPLES, TARGET_SPAN, Check, Figures, InputError, NoStepsError,
                        ParameterError, Parameters, RunningEstimates, SeriesFacts, Spectrum,
                        TimeReversal, TrustWarning, read_series, scaled, spectrum)

__version__ = "0.1.0"

#: The kernel set a run uses when ``kernels=None``: "fast", or "plain" in a build made with
#: TARNVEX_PLAIN_KERNELS.
DEFAULT_KERNELS: str = _core.DEFAULT_KERNELS

__all__ = [
    "DEFAULT_KERNELS", "MAX_SAMPLES", "TARGET_SPAN", "Check", "Figures", "InputError", "NoStepsError",
    "ParameterError", "Parameters", "RunningEstimates", "SeriesFacts", "Spectrum",
    "TimeReversal", "TrustWarning", "batch", "read_series", "scaled", "spectrum",
]
