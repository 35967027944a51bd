"""write_result against the program itself: the same series file and answers given to the
built program ``tarnvex`` must leave the same bytes; the final estimates against the
program's rounded records and against the kit's unrounded JSON summary."""

from __future__ import annotations

import json
import re
import shutil
import subprocess
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional

import numpy as np
import pytest

import tarnvex

from conftest import EXAMPLES, run_program


def coarse_series() -> np.ndarray:
    """Integers from -3 to 3: neighbourhoods are often singular and steps given up."""
    return np.round(np.sin(np.arange(3000) * 0.3) * 3.0)


@dataclass
class Case:
    """One configuration: the series as Python gets it and as the program's file holds it,
    the keyword arguments of ``spectrum``, and the names in the dialogue."""

    name: str
    series: Callable[[], np.ndarray]
    example: Optional[str]  # copy this example file; else write the samples the run used
    series_name: str
    result_name: str
    kwargs: Dict[str, Any]
    expect: Dict[str, Any] = field(default_factory=dict)

    def answers(self, s: tarnvex.Spectrum, npts: int) -> List[str]:
        p = s.parameters
        return [self.series_name, self.result_name,
                f"{npts} {p.ncube} {s.tmax} {p.delay} {p.dims[0]} {p.dims[1]}", str(p.start),
                repr(p.dt), str(p.evolv), repr(p.radius_pct)]


CASES = [
    Case("henon", lambda: np.loadtxt(EXAMPLES / "henon.dat"), "henon.dat", "henon.dat",
         "henon.out", dict(dims=(2, 3), tmax=2500), {"scale": 1.0}),
    # Every parameter away from its default; tmax to the end of the data (the header shows
    # the iteration budget, the answer the program is given).
    Case("logistic", lambda: np.loadtxt(EXAMPLES / "logistic.dat"), "logistic.dat", "l.dat",
         "log.out", dict(dims=(1, 2), ncube=20, evolv=2, dt=0.5, radius_pct=3.0, start=5),
         {"scale": 1.0}),
    # Scaled by 10 automatically (the series spans 3542); a result name of 20 characters.
    Case("lorenz", lambda: np.loadtxt(EXAMPLES / "lorenz.dat"), None, "lorenz10.dat",
         "lorenz_result_20.out",
         dict(dims=(2, 4), delay=5, dt=0.01, start=3, radius_pct=1.5, ncube=40, tmax=3000),
         {"scale": 10.0}),
    # Given-up steps and singular retries: the result file repeats counts.
    Case("coarse", coarse_series, None, "coarse.dat", "coarse.out",
         dict(dims=(1, 3), ncube=5, scale=1), {"scale": 1.0, "given_up": True}),
]


def prepare(case: Case, workdir: Path) -> tarnvex.Spectrum:
    """Run the Python side and lay the series file for the program in ``workdir``."""
    x = case.series()
    s = tarnvex.spectrum(x, **case.kwargs)
    if case.example is not None:
        shutil.copyfile(EXAMPLES / case.example, workdir / case.series_name)
    else:
        samples, _, _ = tarnvex.scaled(x, s.scale)
        # Nine significant digits give every float32 back exactly.
        (workdir / case.series_name).write_text("\n".join(f"{v:.9g}" for v in samples) + "\n")
    return s


@pytest.mark.parametrize("case", CASES, ids=[c.name for c in CASES])
def test_result_file_equals_the_programs(tmp_path, program, case):
    s = prepare(case, tmp_path)
    assert s.scale == case.expect["scale"]
    if case.expect.get("given_up"):
        assert s.steps_given_up > 0 and s.singular_retries > 0
    # The program reads the file: the samples it takes must be those the run used.
    np.testing.assert_array_equal(tarnvex.read_series(tmp_path / case.series_name),
                                  tarnvex.scaled(case.series(), s.scale)[0])
    run_program(program, tmp_path, case.answers(s, 20000))
    ours = tmp_path / "py" / case.result_name
    ours.parent.mkdir()
    assert s.write_result(ours, series_name=case.series_name) == str(ours)
    expected = (tmp_path / case.result_name).read_bytes()
    got = ours.read_bytes()
    assert got == expected
    assert got[:40] == f"{case.series_name:<20}{case.result_name:<20}".encode()


RECORD = re.compile(r"^\s*(\d+)\s+(\d+)((?:\s+-?\d+\.\d+)+)\s*$")


def last_records(path: Path) -> Dict[int, List[float]]:
    """The last estimates of every dimension in a result file (two decimals)."""
    last: Dict[int, List[float]] = {}
    for line in path.read_text().splitlines()[3:]:
        m = RECORD.match(line)
        assert m, line
        last[int(m.group(2))] = [float(v) for v in m.group(3).split()]
    return last


@pytest.mark.parametrize("case", [CASES[0], CASES[2]], ids=[CASES[0].name, CASES[2].name])
def test_final_estimates_within_the_programs_rounding(tmp_path, program, case):
    s = prepare(case, tmp_path)
    run_program(program, tmp_path, case.answers(s, 20000))
    last = last_records(tmp_path / case.result_name)
    assert sorted(last) == s.dims
    for m in s.dims:
        # tmax is a multiple of 25 in these cases: the last report point ends the run.
        assert s.estimates[m].samples[-1] == s.final_samples[m]
        np.testing.assert_array_equal(s.estimates[m].exponents[-1], s.exponents[m])
        assert np.max(np.abs(s.exponents[m].astype(np.float64) - last[m])) <= 0.005 + 1e-6


@pytest.mark.parametrize("case", [CASES[0], CASES[2], CASES[3]],
                         ids=[CASES[0].name, CASES[2].name, CASES[3].name])
def test_final_estimates_equal_the_kits_bits(tmp_path, kit, case):
    s = prepare(case, tmp_path)
    p = s.parameters
    args = [str(kit), "run", str(tmp_path / case.series_name), "--ncube", str(p.ncube),
            "--delay", str(p.delay), "--dims", f"{p.dims[0]}:{p.dims[1]}", "--start", str(p.start),
            "--dt", repr(p.dt), "--evolv", str(p.evolv), "--radius-pct", repr(p.radius_pct),
            "-o", str(tmp_path / "kit.out"), "--json", "-"]
    if p.tmax is not None:
        args += ["--tmax", str(p.tmax)]
    done = subprocess.run(args, capture_output=True, text=True, timeout=300)
    assert done.returncode in (0, 4), done.stderr
    summary = json.loads(done.stdout)
    assert summary["run"]["counted_steps"] == s.counted_steps
    assert summary["run"]["steps_given_up"] == s.steps_given_up
    for d in summary["dimensions"]:
        m = d["dimension"]
        assert [float(v) for v in s.exponents[m]] == d["final"]
        assert s.figures[m].lambda1_error == d["lambda1_error"]
        assert s.figures[m].kaplan_yorke == d["kaplan_yorke"]
    assert [w.code for w in s.warnings] == [w["code"] for w in summary["warnings"]]
