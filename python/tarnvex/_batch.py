"""Many series with the same parameters: a local thread pool, or a Dask cluster."""

from __future__ import annotations

import concurrent.futures
import inspect
import os
import warnings
from concurrent.futures import ThreadPoolExecutor
from typing import Any, Callable, Dict, Hashable, List, Mapping, Optional, Sequence, Union

from ._progress import Progress, reporter
from ._spectrum import InputError, NoStepsError, ParameterError, spectrum

_OWN_ERRORS = (InputError, ParameterError, NoStepsError)
# Told apart from every value a caller may pass.
_UNSET: Any = object()

Series = Union[Sequence[Any], Mapping[Hashable, Any]]


def _accepted(func: Callable[..., Any]) -> Optional[frozenset]:
    """The keyword arguments ``func`` takes besides the series, or None for any."""
    try:
        signature = inspect.signature(func)
    except (TypeError, ValueError):
        return None
    names = []
    for p in list(signature.parameters.values())[1:]:
        if p.kind is inspect.Parameter.VAR_KEYWORD:
            return None
        if p.kind in (inspect.Parameter.POSITIONAL_OR_KEYWORD, inspect.Parameter.KEYWORD_ONLY):
            names.append(p.name)
    return frozenset(names) - {"progress"}


def batch(series: Series, client: Any = None, *, func: Callable[..., Any] = spectrum,
          workers: Optional[int] = None, threads_per_run: Optional[int] = None,
          progress: Progress = False, threads: Any = _UNSET,
          **params: Any) -> Union[List[Any], Dict[Hashable, Any]]:
    """Call ``func`` (``tarnvex.spectrum`` unless told) on every series with the same
    parameters.

    ``series`` is a list (or any sequence) of 1-D array-likes, or a dict of them; the
    results come back in the same order, as a list, or as a dict with the same keys.
    ``func`` is ``tarnvex.spectrum``, ``tarnvex.surrogate_test``, ``tarnvex.reverse_check``,
    ``tarnvex.cao``, ``tarnvex.suggest_delay`` or any function of a series and keyword
    arguments; ``params`` are its keyword arguments (``dims``, ``ncube``, ``dt``, ``scale``,
    ``count``, ...), the same for every series. A batch of ``spectrum`` is quick by default
    (``quick=True``): one estimate per series, without the verdict's runs at half the
    radius and of the reversed series, whose checks each result lists under
    ``not_checked``; pass ``quick=False`` for the full verdict (three times the work).

    Two counts of threads, each with its own name: without ``client`` the series run on a
    local pool of ``workers`` threads (default: the number of CPUs), one series a thread,
    and the engine releases the GIL, so they run side by side; ``threads_per_run`` are the
    threads inside each run (``func``'s ``threads``, default 1, so that the pool does not
    oversubscribe the machine). With a ``dask.distributed.Client`` every series is one task
    on its cluster (the workers must be able to import tarnvex: they inherit PYTHONPATH, or
    use the same environment). ``progress`` counts finished series: ``True`` for a tqdm
    bar, or a callable receiving (series done, series in all).

    ``threads=`` meant the pool's size in the previous release: it still does, with a
    DeprecationWarning; call it ``workers=``.

    The first failing series (in order) raises its exception, its message prefixed with
    the series' key or index.
    """
    if threads is not _UNSET:
        warnings.warn("batch(threads=) is deprecated: the pool's size is workers=, and the "
                      "threads inside each run are threads_per_run=",
                      DeprecationWarning, stacklevel=2)
        if workers is None:
            workers = threads
    if not callable(func):
        raise TypeError(f"func must be callable, not {func!r}")
    if func is spectrum:
        params.setdefault("quick", True)
    accepted = _accepted(func)
    if threads_per_run is not None:
        if accepted is not None and "threads" not in accepted:
            raise TypeError(f"threads_per_run: {getattr(func, '__name__', func)} takes no "
                            f"threads")
        params["threads"] = threads_per_run
    if accepted is not None:
        unknown = sorted(set(params) - accepted)
        if unknown:
            raise TypeError(f"batch() got unknown parameters: {', '.join(unknown)}")
    if isinstance(series, Mapping):
        keys: Optional[List[Hashable]] = list(series.keys())
        items = [series[k] for k in keys]
    elif isinstance(series, (str, bytes)) or not hasattr(series, "__iter__"):
        raise TypeError("series must be a list or a dict of series")
    else:
        keys = None
        items = list(series)
    labels = [repr(k) for k in keys] if keys is not None else [str(i) for i in range(len(items))]
    if client is None:
        results = _local(func, items, labels, workers, progress, params)
    else:
        results = _distributed(func, items, labels, client, progress, params)
    if keys is not None:
        return dict(zip(keys, results))
    return results


def _gather(futures: List[Any], labels: List[str], progress: Progress,
            as_completed: Callable[[List[Any]], Any]) -> List[Any]:
    """The results of the futures in order, counting the finished ones for ``progress``.

    The first failing series, in order, raises its exception; the package's own errors
    get the series' key or index in front of their message.
    """
    with reporter(progress, unit="series", desc="tarnvex batch") as callback:
        if callback is not None:
            for done, _ in enumerate(as_completed(futures), start=1):
                callback(done, len(futures))
        results: List[Any] = []
        for f, label in zip(futures, labels):
            try:
                results.append(f.result())
            except _OWN_ERRORS as e:
                raise type(e)(f"series {label}: {e}") from e
    return results


def _local(func: Callable[..., Any], items: List[Any], labels: List[str],
           workers: Optional[int], progress: Progress, params: Dict[str, Any]) -> List[Any]:
    n = workers if workers is not None else (os.cpu_count() or 1)
    if isinstance(n, bool) or not isinstance(n, int) or n < 1:
        raise ValueError(f"workers must be a whole number of at least 1, not {workers!r}")
    if not items:
        return []
    with ThreadPoolExecutor(max_workers=min(n, len(items))) as pool:
        futures = [pool.submit(func, x, **params) for x in items]
        try:
            return _gather(futures, labels, progress, concurrent.futures.as_completed)
        except BaseException:
            for other in futures:  # the pool need not run the rest before it closes
                other.cancel()
            raise


def _distributed(func: Callable[..., Any], items: List[Any], labels: List[str], client: Any,
                 progress: Progress, params: Dict[str, Any]) -> List[Any]:
    if not items:
        return []
    from distributed import as_completed

    futures = [client.submit(func, x, pure=False, **params) for x in items]
    try:
        return _gather(futures, labels, progress, as_completed)
    finally:
        client.cancel(futures)
