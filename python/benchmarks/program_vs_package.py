"""Wall-clock times of the package against the program, and of a batch on 1 and 2 threads.

    PYTHONPATH=build/python python3 python/benchmarks/program_vs_package.py build/bin

Makes its series with ``tarnvex-kit gen henon -n 20000`` in a temporary folder, runs the
estimate at dimensions 2 to 3 to the end of the data (tmax 19975, the iteration budget),
and prints the median of ``--repeat`` runs of each, in seconds, the program's and the
package's runs taking turns. The package's run is quick (one estimate, as the program
makes). A figure, not a test.
"""

from __future__ import annotations

import argparse
import statistics
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Callable, List

import numpy as np

import tarnvex

ANSWERS = "h20k.dat\n{out}\n20000 30 19975 1 2 3\n1\n1\n1\n2\n"


def median_time(run: Callable[[], object], repeat: int) -> float:
    """The median wall-clock time of ``repeat`` calls of ``run``, in seconds."""
    times: List[float] = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        run()
        times.append(time.perf_counter() - t0)
    return statistics.median(times)


def main() -> None:
    """Run the benchmarks and print their figures."""
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("bin", type=Path, help="the build's bin folder (tarnvex, tarnvex-kit)")
    ap.add_argument("--repeat", type=int, default=5)
    args = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        work = Path(tmp)
        gen = [str(args.bin / "tarnvex-kit"), "gen", "henon", "-n", "20000"]
        subprocess.run(gen + ["-o", str(work / "h20k.dat")], check=True, capture_output=True)
        for i in range(8):
            subprocess.run(gen + ["--transient", str(1000 + 997 * i), "-o",
                                  str(work / f"b{i}.dat")], check=True, capture_output=True)
        count = iter(range(10**6))

        def program() -> None:
            answers = ANSWERS.format(out=f"r{next(count)}.out")
            subprocess.run([str(args.bin / "tarnvex")], input=answers, text=True, cwd=work,
                           check=True, capture_output=True)

        x = tarnvex.read_series(work / "h20k.dat")

        def package() -> None:
            tarnvex.spectrum(x, dims=(2, 3), tmax=19975, scale=1, quick=True)

        def package_with_files() -> None:
            y = tarnvex.read_series(work / "h20k.dat")
            s = tarnvex.spectrum(y, dims=(2, 3), tmax=19975, scale=1, quick=True)
            s.write_result(work / f"p{next(count)}.out", series_name="h20k.dat")

        s = tarnvex.spectrum(x, dims=(2, 3), scale=1, quick=True)
        assert s.tmax == 19975, s.tmax
        runs = (("program, 20000 samples, dims 2-3", program),
                ("package call, same run (quick)", package),
                ("package, read + run + write_result", package_with_files))
        times: List[List[float]] = [[] for _ in runs]
        for _ in range(args.repeat):
            for (_, run), t in zip(runs, times):
                t.append(median_time(run, 1))
        for (label, _), t in zip(runs, times):
            print(f"{label:<42} {statistics.median(t):.3f} s")
        print(f"{'package call / program':<42} "
              f"{statistics.median(times[1]) / statistics.median(times[0]):.3f}")
        series = [np.loadtxt(work / f"b{i}.dat") for i in range(8)]
        for workers in (1, 2):
            t = median_time(lambda: tarnvex.batch(series, dims=(2, 3), workers=workers),
                            args.repeat)
            label = f"batch of 8 such series, {workers} worker{'s' if workers > 1 else ''}"
            print(f"{label:<42} {t:.3f} s")


if __name__ == "__main__":
    main()
