"""Shared fixtures: the bundled example series, and the built program for comparisons.

The program and the companion kit are looked up in TARNVEX_BIN_DIR, else in the build
folder the package was imported from (<build>/python/tarnvex -> <build>/bin). With
TARNVEX_BIN_DIR set, a missing program fails the tests that need it instead of skipping.
"""

from __future__ import annotations

import os
import subprocess
import threading
import time
from pathlib import Path
from typing import Callable, Dict, List, Sequence

import numpy as np
import pytest

import tarnvex

REPO = Path(__file__).resolve().parents[2]
EXAMPLES = REPO / "examples"


def ar1(n: int, phi: float = 0.95, scale: float = 1000.0, seed: int = 5) -> np.ndarray:
    """An AR(1) process x(t) = phi x(t-1) + e(t), Gaussian e, after 1000 steps, times
    ``scale``, truncated."""
    e = np.random.default_rng(seed).standard_normal(n + 1000)
    x = np.empty_like(e)
    x[0] = e[0]
    for i in range(1, len(e)):
        x[i] = phi * x[i - 1] + e[i]
    return np.trunc(x[1000:] * scale)


def runs_beside_python(call: Callable[[], object]) -> tuple:
    """Runs ``call`` in a thread while this one counts loop turns: (the call's result, its
    seconds, the turns counted beside it, the turns a second alone). A call that releases
    the GIL lets the count go on at close to its full rate."""

    def spin(until: Callable[[], bool]) -> int:
        ticks = 0
        while until():
            ticks += 1
        return ticks

    t0 = time.perf_counter()
    alone = spin(lambda: time.perf_counter() - t0 < 0.2) / (time.perf_counter() - t0)
    result: List[object] = []
    worker = threading.Thread(target=lambda: result.append(call()))
    t0 = time.perf_counter()
    worker.start()
    ticks = spin(worker.is_alive)
    took = time.perf_counter() - t0
    worker.join()
    return (result[0] if result else None), took, ticks, alone


def _bin_dir() -> Path:
    env = os.environ.get("TARNVEX_BIN_DIR")
    if env:
        return Path(env)
    return Path(tarnvex.__file__).resolve().parents[2] / "bin"


def _tool(name: str) -> Path:
    path = _bin_dir() / name
    if not path.is_file():
        message = f"{name} is not built at {path}"
        if os.environ.get("TARNVEX_BIN_DIR"):
            pytest.fail(message)
        pytest.skip(message + " (set TARNVEX_BIN_DIR to the build's bin folder)")
    return path


@pytest.fixture(scope="session")
def program() -> Path:
    """The built program ``tarnvex``."""
    return _tool("tarnvex")


@pytest.fixture(scope="session")
def kit() -> Path:
    """The built companion ``tarnvex-kit``."""
    return _tool("tarnvex-kit")


@pytest.fixture(scope="session")
def examples() -> Dict[str, np.ndarray]:
    """The bundled example series as float64 arrays, by name."""
    return {name: np.loadtxt(EXAMPLES / f"{name}.dat") for name in ("henon", "logistic", "lorenz")}


@pytest.fixture(scope="session")
def henon(examples: Dict[str, np.ndarray]) -> np.ndarray:
    """The bundled Henon series (x times 10000, 3000 samples)."""
    return examples["henon"]


def run_program(program: Path, workdir: Path,
                answers: Sequence[str]) -> subprocess.CompletedProcess:
    """Run the program in ``workdir`` with the dialogue's answers, one per line; it must
    end with status 0 and nothing on standard error."""
    done = subprocess.run([str(program)], input="\n".join(answers) + "\n", cwd=workdir,
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert done.stderr == ""
    return done
