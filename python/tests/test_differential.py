"""The program, the kit and Python on the same generated runs.

Every seed gives a short series and a set of answers drawn toward the edges (see
``generated_runs``). The program ``tarnvex`` reads them from its dialogue, ``tarnvex-kit
run`` from options, ``tarnvex.spectrum`` as arguments; then

* a run the program completes with counted steps leaves three result files that are the
  same bytes, and the kit's JSON summary holds Python's numbers bit for bit (final
  estimates, figures, counts, warnings);
* a run the program completes without a counted step is the kit's status 3 (status 1 when
  every sample truncates to one integer) and a ``NoStepsError`` in Python (an
  ``InputError`` when the samples do not even cover the warm-up);
* a run the program refuses (status 2 and its message) is refused by the kit (status 2)
  and raises in Python with the same message.

TARNVEX_DIFF_SEED moves the seeds (default 0: seeds 0 to 39), TARNVEX_DIFF_RUNS sets how
many there are; a failure names its seed, its answers and how to run it alone.
"""

from __future__ import annotations

import json
import os
import re
import subprocess
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional

import numpy as np
import pytest

import tarnvex

from generated_runs import SCENARIOS, WARMUP, Run, generate

SEED_BASE = int(os.environ.get("TARNVEX_DIFF_SEED", "0"))
RUN_COUNT = int(os.environ.get("TARNVEX_DIFF_RUNS", "40"))
SEEDS = list(range(SEED_BASE, SEED_BASE + RUN_COUNT))

# The program's refusals, as its last console line gives them.
REFUSAL_MESSAGES = (
    "emb dim. too high !!", "number of points per cube too large!",
    "emb dim. must be at least 1", "number of points per cube must be at least 1",
    "time delay must not be negative", "evolv time must be at least 1", "dt must be positive",
    "start point outside the embedded series", "data value too large for integer coordinates",
)
# The closing record of a run that ended before tmax: the steps it counted.
COUNTED = re.compile(r"^ nur +(-?\d+) +pts\. genuegen den bedingungen\r?$", re.M)


@dataclass
class Outcome:
    """What the three made of one run."""

    run: Run
    program_tmax: int
    program: subprocess.CompletedProcess
    program_file: Optional[bytes]
    kit: subprocess.CompletedProcess
    kit_leftovers: List[str]
    kit_file: Optional[bytes]
    summary: Optional[Dict[str, Any]]
    spectrum: Optional[tarnvex.Spectrum]
    error: Optional[Exception]
    python_file: Optional[bytes]
    samples_read: np.ndarray

    @property
    def program_refused(self) -> bool:
        """The program refused the answers (status 2)."""
        return self.program.returncode == 2

    @property
    def program_counted(self) -> Optional[int]:
        """Steps the program's closing record says it counted; without that record the
        run reached its tmax: None, or 0 when that asked for no step at all."""
        m = COUNTED.search(self.program.stdout)
        if m is not None:
            return int(m.group(1))
        return 0 if self.program_tmax <= 0 else None

    @property
    def kind(self) -> str:
        """What the program made of the run: ``refused``, ``no step`` or ``counted``."""
        if self.program_refused:
            return "refused"
        return "no step" if self.program_counted == 0 else "counted"


def _read(path: Path) -> Optional[bytes]:
    return path.read_bytes() if path.is_file() else None


def execute(run: Run, workdir: Path, program: Path, kit: Path) -> Outcome:
    """Give ``run`` to Python, the program and the kit, each in a folder of its own
    under ``workdir``.

    A run to the end of the data gives the program the iteration budget Python's run
    found, when it found one, as its tmax answer: the kit's header must then show the
    same value of its own accord.
    """
    workdir.mkdir(parents=True, exist_ok=True)
    series = workdir / run.series_name
    series.write_text(run.series_text())

    py_dir = workdir / "py"
    py_dir.mkdir()
    spectrum: Optional[tarnvex.Spectrum] = None
    error: Optional[Exception] = None
    python_file: Optional[bytes] = None
    try:
        spectrum = tarnvex.spectrum(run.samples.astype(np.float64), **run.spectrum_kwargs())
    except (ValueError, RuntimeError) as e:
        error = e
    if spectrum is not None:
        written = spectrum.write_result(py_dir / run.result_name, series_name=run.series_name)
        python_file = Path(written).read_bytes()

    budget = spectrum.iteration_budget if spectrum is not None else run.budget
    done = subprocess.run([str(program)], input="\n".join(run.answers(budget)) + "\n",
                          cwd=workdir, capture_output=True, text=True, timeout=120)

    kit_dir = workdir / "kit"
    kit_dir.mkdir()
    kit_result = kit_dir / run.result_name
    kit_done = subprocess.run([str(kit), "run", str(series), *run.kit_options(),
                               "-o", str(kit_result), "--json", "-"],
                              capture_output=True, text=True, timeout=120)
    summary = json.loads(kit_done.stdout) if kit_done.returncode == 0 else None

    return Outcome(run=run, program_tmax=budget if run.tmax is None else run.tmax,
                   program=done, program_file=_read(workdir / run.result_name),
                   kit=kit_done, kit_leftovers=sorted(p.name for p in kit_dir.iterdir()),
                   kit_file=_read(kit_result), summary=summary, spectrum=spectrum,
                   error=error, python_file=python_file,
                   samples_read=tarnvex.read_series(series, free_format=True))


@pytest.fixture(scope="session")
def outcome_of(tmp_path_factory, program, kit) -> Callable[[int], Outcome]:
    """The outcome of a seed, run once per session whichever test asks first."""
    cache: Dict[int, Outcome] = {}

    def get(seed: int) -> Outcome:
        if seed not in cache:
            workdir = tmp_path_factory.mktemp(f"seed{seed}")
            cache[seed] = execute(generate(seed), workdir, program, kit)
        return cache[seed]

    return get


def first_difference(a: bytes, b: bytes) -> str:
    """The first record in which two result files differ."""
    la, lb = a.split(b"\r\n"), b.split(b"\r\n")
    for i, (x, y) in enumerate(zip(la, lb)):
        if x != y:
            return f"record {i + 1}: {x!r} against {y!r}"
    return f"{len(la)} records against {len(lb)}"


def same_number(from_json: Optional[float], value: Optional[float]) -> bool:
    """A number of the kit's JSON against Python's: the same double, or null for a value
    that is None or not finite (the JSON has no infinities)."""
    if from_json is None:
        return value is None or not np.isfinite(value)
    return value is not None and float(value) == from_json


def check_counted(o: Outcome) -> None:
    """A run the program counted steps of: the same files and the same numbers."""
    run, s, summary = o.run, o.spectrum, o.summary
    assert o.program.stderr == "", o.program.stderr
    assert o.kit.returncode == 0, f"the kit ended with {o.kit.returncode}: {o.kit.stderr}"
    assert s is not None, f"Python raised {o.error!r} where the program counted steps"
    assert summary is not None

    # The result files: the same bytes from all three.
    assert o.program_file is not None, "the program wrote no result file"
    assert o.kit_file is not None, "the kit wrote no result file"
    assert o.kit_file == o.program_file, \
        "the kit's result file differs: " + first_difference(o.kit_file, o.program_file)
    assert o.python_file == o.program_file, \
        "Python's result file differs: " + first_difference(o.python_file, o.program_file)

    # What the run was given, against the answers themselves.
    samples_used = run.samples_used
    assert s.series.samples_used == samples_used
    assert s.tmax == (s.iteration_budget if run.tmax is None else run.tmax)
    assert s.iterations <= s.iteration_budget
    # The engine divides the samples and the warm-up by the evolution time separately, in
    # floating point: when the whole quotient is exact, the difference can fall a hair
    # short of it and truncate to one less (202 samples at evolv 3: 58, not 59).
    exact = (samples_used - WARMUP) % run.evolv == 0
    assert s.iteration_budget == run.budget or (exact and s.iteration_budget == run.budget - 1), \
        f"iteration budget {s.iteration_budget}, not {run.budget}"
    params = summary["parameters"]
    assert (params["npts"], params["tmax"], params["to_the_end"]) == \
        (samples_used, s.tmax, run.tmax is None)
    assert params["dt"] == s.parameters.dt == float(np.float32(run.dt))
    assert params["radius_pct"] == s.parameters.radius_pct == float(np.float32(run.radius_pct))

    # The counts: the kit's and Python's, and the program's closing record.
    for key in ("iterations", "counted_steps", "reached_tmax", "steps_given_up",
                "covariance_retries", "orthonormal_retries"):
        assert summary["run"][key] == getattr(s, key), \
            f"{key}: {summary['run'][key]} (kit) against {getattr(s, key)}"
    if s.reached_tmax:
        assert o.program_counted is None and s.counted_steps == s.tmax
    else:
        assert o.program_counted == s.counted_steps
    # The integers the samples truncate to, counted here.
    ints = np.unique(np.trunc(run.samples[:samples_used].astype(np.float64)))
    facts = summary["series"]
    assert (facts["int_min"], facts["int_max"], facts["distinct_integers"]) == \
        (ints[0], ints[-1], len(ints))
    assert (s.series.int_min, s.series.int_max) == (ints[0], ints[-1])

    # The numbers of every dimension, bit for bit.
    assert [d["dimension"] for d in summary["dimensions"]] == s.dims == \
        list(range(run.mfrom, run.mto + 1))
    for d in summary["dimensions"]:
        m = d["dimension"]
        f = s.figures[m]
        where = f"dimension {m}"
        assert d["samples"] == s.final_samples[m], where
        assert len(d["final"]) == len(s.exponents[m]) == m, where
        assert s.exponents[m].dtype == np.float32
        assert all(same_number(j, float(v)) for j, v in zip(d["final"], s.exponents[m])), \
            f"{where}: final estimates {d['final']} (kit) against {list(s.exponents[m])}"
        assert all(same_number(j, float(v)) for j, v in zip(d["sorted"], f.sorted)), where
        for key in ("lambda1", "lambda1_error", "lambda1_trajectory_error", "sum",
                    "kaplan_yorke"):
            assert same_number(d[key], getattr(f, key)), \
                f"{where}: {key} {d[key]} (kit) against {getattr(f, key)}"
    assert [w["code"] for w in summary["warnings"]] == [w.code for w in s.warnings]
    assert summary["not_checked"] == [c.code for c in s.not_checked]
    assert summary["settles_from"] == s.settles_from


def check_no_step(o: Outcome) -> None:
    """A run the program completed without a counted step: nothing to compare, and each
    front end says so in its own way."""
    run = o.run
    assert o.program.returncode == 0 and o.program.stderr == "", o.program.stderr
    kit_status = 1 if run.one_integer else 3
    assert o.kit.returncode == kit_status, \
        f"the kit ended with {o.kit.returncode}, not {kit_status}: {o.kit.stderr}"
    assert o.kit.stdout == ""
    assert o.kit_leftovers == [], f"the kit left {o.kit_leftovers}"
    if run.budget < 1:
        # Not even the warm-up's iterations: refused before the run.
        assert isinstance(o.error, tarnvex.InputError), repr(o.error)
        assert f"needs at least {WARMUP + run.evolv}" in str(o.error)
    else:
        assert isinstance(o.error, tarnvex.NoStepsError), \
            f"Python gave {o.error or 'a result'} where the program counted no step"
        assert str(o.error).startswith("the run counted no step: ")


def check_refused(o: Outcome) -> None:
    """A run the program refused: refused by the kit and Python too, for the same reason."""
    lines = o.program.stdout.splitlines()
    message = lines[-1].strip() if lines else ""
    assert message in REFUSAL_MESSAGES, f"the program's last line {message!r}"
    assert o.program.stderr == ""
    assert o.kit.returncode == 2, f"the kit ended with {o.kit.returncode}: {o.kit.stderr}"
    assert o.kit_leftovers == [], f"the kit left {o.kit_leftovers}"
    said = re.search(r"the parameters are refused: (.*)", o.kit.stderr)
    if said:
        assert said.group(1).strip() == message
    assert isinstance(o.error, (tarnvex.ParameterError, tarnvex.InputError)), \
        f"Python gave {o.error or 'a result'} where the program refused: {message}"
    if message == "data value too large for integer coordinates":
        assert "does not fit a 32-bit integer" in str(o.error)
    else:
        assert message in str(o.error)


CHECKS = {"counted": check_counted, "no step": check_no_step, "refused": check_refused}


@pytest.mark.parametrize("seed", SEEDS, ids=[f"seed{s}" for s in SEEDS])
def test_program_kit_and_python_agree(outcome_of, seed):
    """One generated run through the program, the kit and Python."""
    o = outcome_of(seed)
    try:
        assert o.program.returncode in (0, 2), \
            f"the program ended with {o.program.returncode}: {o.program.stderr}"
        if o.run.refusal is not None:
            assert o.program_refused, f"the program ran answers it must refuse ({o.run.refusal})"
        # The series file holds the very samples Python was given.
        np.testing.assert_array_equal(o.samples_read, o.run.samples)
        CHECKS[o.kind](o)
    except AssertionError as e:
        raise AssertionError(
            f"{o.run}\nthe program: {o.kind}\n{e}\nthis run alone: TARNVEX_DIFF_SEED={seed} "
            f"TARNVEX_DIFF_RUNS=1 python3 -m pytest {__file__}") from None


@pytest.mark.skipif(RUN_COUNT < 5 * len(SCENARIOS),
                    reason="too few runs to judge their spread")
def test_generated_runs_reach_the_edges(outcome_of):
    """The generator keeps reaching every edge: without this, a change that made every
    run alike would leave the comparisons above passing on easy cases only."""
    outcomes = [outcome_of(seed) for seed in SEEDS]
    kinds = [o.kind for o in outcomes]
    counted = [o.spectrum for o in outcomes if o.kind == "counted" and o.spectrum is not None]
    refusals = {o.program.stdout.splitlines()[-1].strip()
                for o in outcomes if o.kind == "refused"}
    spread = {
        "refused": kinds.count("refused"),
        "kinds of refusal": len(refusals),
        "no step": kinds.count("no step"),
        "counted": len(counted),
        "giving steps up": sum(s.steps_given_up > 0 for s in counted),
        "singular neighbourhoods": sum(s.singular_retries > 0 for s in counted),
        "ending inside the warm-up": sum(s.warmup_end == 0 for s in counted),
        "reaching tmax": sum(s.reached_tmax for s in counted),
        "to the end of the data": sum(s.parameters.tmax is None for s in counted),
        "evolution time above 1": sum(s.parameters.evolv > 1 for s in counted),
        "five dimensions or more": sum(s.parameters.dims[1] >= 5 for s in counted),
        "dt other than 1": sum(s.parameters.dt != 1.0 for s in counted),
        "no-step runs refused by Python before the warm-up":
            sum(isinstance(o.error, tarnvex.InputError) for o in outcomes if o.kind == "no step"),
    }
    least = {"refused": 4, "kinds of refusal": 3, "no step": 2, "counted": 12,
             "giving steps up": 2, "singular neighbourhoods": 2, "ending inside the warm-up": 2,
             "reaching tmax": 2, "to the end of the data": 2, "evolution time above 1": 5,
             "five dimensions or more": 3, "dt other than 1": 5,
             "no-step runs refused by Python before the warm-up": 1}
    short = {k: f"{spread[k]} < {n}" for k, n in least.items() if spread[k] < n}
    assert not short, f"seeds {SEEDS[0]}..{SEEDS[-1]} reach too few edges: {short} ({spread})"
