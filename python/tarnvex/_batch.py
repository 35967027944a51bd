"""Many series with the same parameters: a local thread pool, or a Dask cluster."""

from __future__ import annotations

import inspect
import os
import concurrent.futures
from concurrent.futures import ThreadPoolExecutor
from typing import Any, Callable, Dict, Hashable, List, Mapping, Optional, Sequence, Union

from ._progress import Progress, reporter
from ._spectrum import InputError, NoStepsError, ParameterError, Spectrum, spectrum

_RUN_PARAMETERS = frozenset(inspect.signature(spectrum).parameters) - {"x", "progress"}
_OWN_ERRORS = (InputError, ParameterError, NoStepsError)

Series = Union[Sequence[Any], Mapping[Hashable, Any]]


def batch(series: Series, client: Any = None, *, threads: Optional[int] = None,
          progress: Progress = False,
          **params: Any) -> Union[List[Spectrum], Dict[Hashable, Spectrum]]:
    """Run ``tarnvex.spectrum`` on every series with the same parameters.

    ``series`` is a list (or any sequence) of 1-D array-likes, or a dict of them; the
    results come back in the same order, as a list, or as a dict with the same keys.
    ``params`` are the keyword arguments of ``spectrum`` (``dims``, ``ncube``, ``dt``,
    ``scale``, ...), the same for every series. Unlike ``spectrum``, a batch is quick by
    default (``quick=True``): one estimate per series, without the verdict's runs at half
    the radius and of the reversed series, whose checks each result lists under
    ``not_checked``; pass ``quick=False`` for the full verdict (three times the work).

    Without ``client`` the series run on a local thread pool of ``threads`` threads
    (default: the number of CPUs), each series on one thread of its own, so that the
    machine is not oversubscribed; the engine releases the GIL, so the threads run side
    by side. With a ``dask.distributed.Client`` every series is one task on its cluster
    (the workers must be able to import tarnvex: they inherit PYTHONPATH, or use the same
    environment). ``progress`` counts finished series: ``True`` for a tqdm bar, or a
    callable receiving (series done, series in all).

    The first failing series (in order) raises its exception, its message prefixed with
    the series' key or index.
    """
    params.setdefault("quick", True)
    unknown = sorted(set(params) - _RUN_PARAMETERS)
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
        results = _local(items, labels, threads, progress, params)
    else:
        results = _distributed(items, labels, client, progress, params)
    if keys is not None:
        return dict(zip(keys, results))
    return results


def _gather(futures: List[Any], labels: List[str], progress: Progress,
            as_completed: Callable[[List[Any]], Any]) -> List[Spectrum]:
    """The results of the futures in order, counting the finished ones for ``progress``.

    The first failing series, in order, raises its exception; the package's own errors
    get the series' key or index in front of their message.
    """
    with reporter(progress, unit="series", desc="tarnvex batch") as callback:
        if callback is not None:
            for done, _ in enumerate(as_completed(futures), start=1):
                callback(done, len(futures))
        results: List[Spectrum] = []
        for f, label in zip(futures, labels):
            try:
                results.append(f.result())
            except _OWN_ERRORS as e:
                raise type(e)(f"series {label}: {e}") from e
    return results


def _local(items: List[Any], labels: List[str], threads: Optional[int], progress: Progress,
           params: Dict[str, Any]) -> List[Spectrum]:
    n = threads if threads is not None else (os.cpu_count() or 1)
    if isinstance(n, bool) or not isinstance(n, int) or n < 1:
        raise ValueError(f"threads must be a whole number of at least 1, not {threads!r}")
    if not items:
        return []
    with ThreadPoolExecutor(max_workers=min(n, len(items))) as pool:
        futures = [pool.submit(spectrum, x, **params) for x in items]
        try:
            return _gather(futures, labels, progress, concurrent.futures.as_completed)
        except BaseException:
            for other in futures:  # the pool need not run the rest before it closes
                other.cancel()
            raise


def _distributed(items: List[Any], labels: List[str], client: Any, progress: Progress,
                 params: Dict[str, Any]) -> List[Spectrum]:
    if not items:
        return []
    from distributed import as_completed

    futures = [client.submit(spectrum, x, pure=False, **params) for x in items]
    try:
        return _gather(futures, labels, progress, as_completed)
    finally:
        client.cancel(futures)
