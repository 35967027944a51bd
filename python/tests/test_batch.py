"""Many series at once: threads and a Dask cluster of two worker processes give the numbers
of single calls, in the order (and with the keys) of the input."""

from __future__ import annotations

import os
import pickle
from pathlib import Path

import numpy as np
import pytest

import tarnvex

PARAMS = dict(dims=(2, 3), tmax=1500, ncube=25)


@pytest.fixture(scope="module")
def series(examples):
    """Five different series: windows of the examples, one of them scaled automatically."""
    h, g, z = examples["henon"], examples["logistic"], examples["lorenz"]
    return [h, g, z[:3000], h[500:] / 1e4, z[2000:]]


@pytest.fixture(scope="module")
def singles(series):
    # A batch is quick unless told otherwise: the single runs to compare with are too.
    return [tarnvex.spectrum(x, quick=True, **PARAMS) for x in series]


def assert_same(a: tarnvex.Spectrum, b: tarnvex.Spectrum) -> None:
    assert a.scale == b.scale and a.counted_steps == b.counted_steps
    for m in a.dims:
        assert a.exponents[m].tobytes() == b.exponents[m].tobytes()
        assert a.estimates[m].log_sums.tobytes() == b.estimates[m].log_sums.tobytes()
    assert a.warnings == b.warnings
    assert a.result_file_bytes("r.out") == b.result_file_bytes("r.out")


@pytest.mark.parametrize("workers", [1, 2, 3, None])
def test_threads_give_single_results_in_order(series, singles, workers):
    results = tarnvex.batch(series, workers=workers, **PARAMS)
    assert isinstance(results, list) and len(results) == len(series)
    for got, want in zip(results, singles):
        assert_same(got, want)


def test_a_dict_keeps_its_keys(series, singles):
    keys = ["e", "a", "d", "c", "b"]
    results = tarnvex.batch(dict(zip(keys, series)), workers=2, **PARAMS)
    assert list(results) == keys
    for key, want in zip(keys, singles):
        assert_same(results[key], want)


def test_progress_counts_series(series):
    calls = []
    tarnvex.batch(series[:3], workers=2, progress=lambda d, n: calls.append((d, n)), **PARAMS)
    assert calls == [(1, 3), (2, 3), (3, 3)]


BAD_BATCHES = [
    ("a bad series names its index", ["GOOD", [1.0, np.nan]], {},
     tarnvex.InputError, r"^series 1: sample 1 \(counting from 0\) is NaN"),
    ("a bad series names its key", {"good": "GOOD", "short": [1.0, 2.0]}, {},
     tarnvex.InputError, r"^series 'short': the series has 2 samples"),
    ("refused parameters", ["GOOD"], {"ncube": 0}, tarnvex.ParameterError,
     r"^series 0: the parameters are refused: number of points per cube must be at least 1"),
    ("an unknown parameter", ["GOOD"], {"ncubes": 3}, TypeError,
     r"unknown parameters: ncubes"),
    ("a string", "henon.dat", {}, TypeError, r"a list or a dict"),
    ("no threads", ["GOOD"], {"workers": 0}, ValueError, r"workers must be"),
]


@pytest.mark.parametrize("items, kwargs, error, message", [c[1:] for c in BAD_BATCHES],
                         ids=[c[0] for c in BAD_BATCHES])
def test_batch_errors(henon, items, kwargs, error, message):
    """The first failing series in order raises, its message prefixed with its place."""
    def good(x):
        return henon if isinstance(x, str) and x == "GOOD" else x

    if isinstance(items, dict):
        items = {k: good(v) for k, v in items.items()}
    elif isinstance(items, list):
        items = [good(v) for v in items]
    with pytest.raises(error, match=message):
        tarnvex.batch(items, **kwargs)


def test_empty_batch():
    assert tarnvex.batch([]) == [] and tarnvex.batch({}) == {}


def test_results_pickle(series, singles):
    results = tarnvex.batch(series[:2], workers=2, **PARAMS)
    for got, want in zip(pickle.loads(pickle.dumps(results)), singles):
        assert_same(got, want)


@pytest.fixture(scope="module")
def cluster_client():
    distributed = pytest.importorskip("distributed")
    # The workers import tarnvex from where this process found it.
    package_parent = str(Path(tarnvex.__file__).resolve().parents[1])
    old = os.environ.get("PYTHONPATH")
    os.environ["PYTHONPATH"] = os.pathsep.join(p for p in (package_parent, old) if p)
    try:
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      dashboard_address=None, silence_logs=40) as cluster, \
                distributed.Client(cluster) as client:
            yield client
    finally:
        if old is None:
            del os.environ["PYTHONPATH"]
        else:
            os.environ["PYTHONPATH"] = old


def test_cluster_gives_single_results(cluster_client, series, singles):
    info = cluster_client.scheduler_info()["workers"]
    assert len(info) == 2
    results = tarnvex.batch(series, client=cluster_client, **PARAMS)
    assert len(results) == len(series)
    for got, want in zip(results, singles):
        assert_same(got, want)
    # Both worker processes took part, in processes other than this one.
    where = cluster_client.run(os.getpid)
    assert len(set(where.values())) == 2 and os.getpid() not in where.values()
    calls = []
    keyed = tarnvex.batch({"z": series[2], "h": series[0]}, client=cluster_client,
                          progress=lambda d, n: calls.append((d, n)), **PARAMS)
    assert list(keyed) == ["z", "h"]
    assert_same(keyed["z"], singles[2])
    assert_same(keyed["h"], singles[0])
    assert calls == [(1, 2), (2, 2)]


def test_cluster_errors_name_the_series(cluster_client, henon):
    with pytest.raises(tarnvex.InputError, match=r"^series 1: the series is empty"):
        tarnvex.batch([henon, []], client=cluster_client, dims=2)


def test_cluster_runs_the_kits_calls(cluster_client, series):
    """The tests' results come back from the worker processes as they are made at home."""
    tests = tarnvex.batch(series[:2], client=cluster_client, func=tarnvex.surrogate_test,
                          count=5, dims=2, threads_per_run=1)
    for got, x in zip(tests, series[:2]):
        want = tarnvex.surrogate_test(x, count=5, dims=2)
        assert got.verdict == want.verdict
        assert [d.surrogate_lambda1.tobytes() for d in got.dimensions] == \
            [d.surrogate_lambda1.tobytes() for d in want.dimensions]
    checks = tarnvex.batch({"h": series[0]}, client=cluster_client, func=tarnvex.reverse_check,
                           dims=3)
    want = tarnvex.reverse_check(series[0], dims=3)
    assert checks["h"].marks == want.marks
    assert checks["h"].forward.tobytes() == want.forward.tobytes()
    assert not checks["h"].forward.flags.writeable
