"""Series longer than the program's table: the kit and Python read and use every sample,
write the same result file, and a series of at most the program's samples is the program's
run."""
from __future__ import annotations

import json
import subprocess
from pathlib import Path

import numpy as np
import pytest

import tarnvex


@pytest.fixture(scope="module")
def long_henon() -> np.ndarray:
    """60000 samples of the Henon map times 10000, truncated."""
    return tarnvex.generate("henon", 60000)


def _series_file(path: Path, x: np.ndarray) -> Path:
    path.write_text("".join(f"{int(v)}\n" for v in x))
    return path


def test_kit_and_python_use_every_sample_and_write_the_same_file(tmp_path, kit, long_henon):
    series = _series_file(tmp_path / "h.dat", long_henon)
    done = subprocess.run([str(kit), "run", str(series), "--dims", "2:3", "--quick",
                           "-o", str(tmp_path / "kit.out"), "--json", "-"],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    summary = json.loads(done.stdout)
    s = tarnvex.spectrum(long_henon, dims=(2, 3), quick=True)
    assert s.derived.npts == 60000
    assert summary["run"]["counted_steps"] == s.counted_steps > 59000
    written = Path(s.write_result(tmp_path / "py.out", series_name="h.dat"))
    kit_bytes = (tmp_path / "kit.out").read_bytes()
    assert written.read_bytes() == kit_bytes.replace(b"kit.out ", b"py.out  ")
    # Nothing overflows here: every record keeps the program's layout (14 + 10 m bytes).
    lines = kit_bytes.split(b"\r\n")[3:-1]
    assert len(lines) == 2 * (s.counted_steps // 25) + 2
    assert all(len(line) == 14 + 10 * int(line[7:14]) for line in lines)
    back = tarnvex.read_result(tmp_path / "kit.out")
    assert back.npts == 60000
    assert abs(back.records[-1].estimates[0] - float(s.exponents[3][0])) <= 0.005


def test_a_transcript_only_for_what_the_program_reads(tmp_path, kit, long_henon):
    series = _series_file(tmp_path / "h.dat", long_henon[:20001])
    done = subprocess.run([str(kit), "run", str(series), "--dims", "2:2", "--quick",
                           "--keep-transcript", str(tmp_path / "t.txt")],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 2
    assert "holds 20001 samples, and tarnvex reads only the first 20000" in done.stderr
    assert sorted(p.name for p in tmp_path.iterdir()) == ["h.dat"]
    series = _series_file(tmp_path / "g.dat", long_henon[:20000])
    done = subprocess.run([str(kit), "run", str(series), "--dims", "2:2", "--quick",
                           "--keep-transcript", str(tmp_path / "t.txt")],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert "data read over, ndata =       20000" in (tmp_path / "t.txt").read_text()


def test_the_test_systems_and_the_limits(long_henon):
    assert tarnvex.PROGRAM_SAMPLES == 20000 and tarnvex.MAX_SAMPLES == 10_000_000
    assert len(long_henon) == 60000
    # The first 20000 samples of a long series give the run of those 20000 alone.
    a = tarnvex.spectrum(long_henon, dims=(2, 2), npts=20000, quick=True)
    b = tarnvex.spectrum(long_henon[:20000], dims=(2, 2), quick=True)
    assert np.array_equal(a.exponents[2], b.exponents[2])
    with pytest.raises(tarnvex.ParameterError, match="at most 10000000"):
        tarnvex.generate("henon", tarnvex.MAX_SAMPLES + 1)
