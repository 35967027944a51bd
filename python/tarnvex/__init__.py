"""tarnvex: the spectrum of Lyapunov exponents of a dynamical system from one measured
scalar time series, in bits per unit of time, for every embedding dimension of a range.

    >>> import numpy as np, tarnvex
    >>> s = tarnvex.spectrum(np.loadtxt("henon.dat"), dims=(2, 2))
    >>> s.exponents[2]          # final estimates, the program's order, float32

``spectrum`` runs the engine on one series (the GIL released); ``batch`` runs many with
the same parameters on local threads or a Dask cluster. The samples are truncated to
integers before they are embedded: ``scale`` (see ``scaled``) decides how finely.

Everything the companion ``tarnvex-kit`` asks is here too: ``surrogate_test`` and
``reverse_check`` (is the spectrum evidence of chaos, which exponents are real), ``cao``
and ``suggest_delay`` (an embedding dimension and delay), ``generate`` (series of systems
with known exponents) and ``read_result`` (a result file read back). ``report`` writes one
self-contained HTML page of a whole analysis, the same page as ``tarnvex-kit report``; in a
notebook a ``Spectrum`` and the significance results show themselves as HTML.
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
from ._report import report
from ._series import DelaySuggestion, SystemInfo, generate, suggest_delay, systems
from ._significance import (MIN_SURROGATES, CaoTable, SurrogateRank, SurrogateTest, cao,
                            reverse_check, surrogate_test)
from ._spectrum import (MAX_DIMENSION, MAX_SAMPLES, PROGRAM_SAMPLES, TARGET_SPAN, Check,
                        Derived, Diagnosis, Figures, InputError, NoStepsError, ParameterError, Parameters,
                        ResultFile, ResultFileError, ResultRecord, RunningEstimates,
                        SeriesFacts, Spectrum, StepFigures, TimeReversal, TrustWarning,
                        make_parameters, read_result, read_series, scaled, series_facts,
                        spectrum)

__version__ = "0.1.0"

#: The kernel set a run uses when ``kernels=None``: "fast", or "plain" in a build made with
#: TARNVEX_PLAIN_KERNELS.
DEFAULT_KERNELS: str = _core.DEFAULT_KERNELS

__all__ = [
    "DEFAULT_KERNELS", "MAX_DIMENSION", "MAX_SAMPLES", "MIN_SURROGATES", "PROGRAM_SAMPLES",
    "TARGET_SPAN",
    "CaoTable", "Check", "DelaySuggestion", "Derived", "Diagnosis", "Figures", "InputError",
    "NoStepsError", "ParameterError", "Parameters", "ResultFile", "ResultFileError",
    "ResultRecord", "RunningEstimates", "SeriesFacts", "Spectrum", "StepFigures",
    "SurrogateRank", "SurrogateTest", "SystemInfo", "TimeReversal", "TrustWarning", "batch",
    "cao", "generate", "make_parameters", "read_result", "read_series", "report", "reverse_check",
    "scaled", "series_facts", "spectrum", "suggest_delay", "surrogate_test", "systems",
]
