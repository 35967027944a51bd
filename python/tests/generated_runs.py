"""Seeded runs for the differential tests: a seed gives a series and a set of answers,
drawn toward the edges of what a run takes.

The seed alone fixes everything, the kind of run included (``SCENARIOS[seed % 8]``), so a
failing seed reproduces on its own. The same run is given to the program (its dialogue),
to the kit (options) and to Python (keyword arguments), each in its own words.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Callable, Dict, List, Optional, Sequence, Tuple

import numpy as np

#: Iterations of the warm-up, at an evolution time of one sample.
WARMUP = 25

#: The kinds of run, one per seed in turn.
SCENARIOS: Tuple[str, ...] = ("henon", "ar1", "noise", "sine", "short", "crowded",
                              "late-start", "refused")

# Answers given as text, the same text to the program, the kit and Python. The long one
# lies a hair above the midpoint of two single-precision numbers, so that rounding it
# once or through a double can give different values: all three must agree on one.
DT_TEXTS = ("1", "1", "0.5", "0.01", "2.5", "0.3", "0.125", "3",
            "1.000000059604644775390625000000001")
PCT_TEXTS = ("2", "2", "0.5", "0.1", "1", "5", "0.05", "0.3")

# Answers one of the program's checks refuses, one kind a run.
REFUSALS: Tuple[str, ...] = ("ncube above 200", "ncube 0", "negative delay", "evolv 0",
                             "dt 0", "dt negative", "lowest dimension 0",
                             "dimension above 20", "start 0", "start beyond the vectors",
                             "sample beyond 32 bits")


@dataclass(frozen=True)
class Run:
    """One generated run: the samples (float32, as the series file holds them) and the
    answers. ``tmax`` is ``None`` for a run to the end of the data; ``dt`` and
    ``radius_pct`` are decimal texts."""

    seed: int
    scenario: str
    series_kind: str
    samples: np.ndarray
    npts_answer: int
    ncube: int
    tmax: Optional[int]
    delay: int
    mfrom: int
    mto: int
    start: int
    dt: str
    evolv: int
    radius_pct: str
    threads: int
    series_name: str
    result_name: str
    layout: str = "lines"
    refusal: Optional[str] = None

    @property
    def samples_used(self) -> int:
        """The samples a run takes: all of them (npts is never below their count)."""
        return min(len(self.samples), self.npts_answer)

    @property
    def budget(self) -> int:
        """The iterations the samples allow: the samples less the warm-up's, over the
        evolution time, toward zero (0 for an evolution time of 0)."""
        if self.evolv == 0:
            return 0
        return int((self.samples_used - WARMUP) / self.evolv)

    @property
    def one_integer(self) -> bool:
        """Every sample truncates to the same integer."""
        return len(np.unique(np.trunc(self.samples.astype(np.float64)))) == 1

    def series_text(self) -> str:
        """The series file, nine significant digits a sample (every float32 comes back
        exactly): one sample a line, or rows of several separated by blanks, tabs or
        commas (``layout``)."""
        texts = [f"{float(v):.9g}" for v in self.samples]
        if self.layout == "lines":
            return "".join(t + "\n" for t in texts)
        separator = {"blanks": "  ", "tabs": "\t", "commas": ","}[self.layout]
        rows = [separator.join(texts[i:i + 7]) for i in range(0, len(texts), 7)]
        return "\n".join(rows) + "\n"

    def answers(self, budget: Optional[int] = None) -> List[str]:
        """The program's dialogue, one answer a line. The program has no answer for "to
        the end of the data": a run without tmax gets ``budget`` (default ``self.budget``),
        the iterations the data allow."""
        if self.tmax is not None:
            tmax = self.tmax
        else:
            tmax = self.budget if budget is None else budget
        return [self.series_name, self.result_name,
                f"{self.npts_answer} {self.ncube} {tmax} {self.delay} {self.mfrom} {self.mto}",
                str(self.start), self.dt, str(self.evolv), self.radius_pct]

    def kit_options(self) -> List[str]:
        """The options of ``tarnvex-kit run`` for the same answers (every sample of the
        file, read in order as the program reads it)."""
        options = ["--free-format", "--quick", "--ncube", str(self.ncube),
                   "--delay", str(self.delay), "--dims", f"{self.mfrom}:{self.mto}",
                   "--start", str(self.start), "--dt", self.dt, "--evolv", str(self.evolv),
                   "--radius-pct", self.radius_pct]
        if self.tmax is not None:
            options += ["--tmax", str(self.tmax)]
        return options

    def spectrum_kwargs(self) -> Dict[str, Any]:
        """The keyword arguments of ``tarnvex.spectrum`` for the same answers (the samples
        as they are: scale 1)."""
        return dict(dims=(self.mfrom, self.mto), ncube=self.ncube, delay=self.delay,
                    evolv=self.evolv, dt=float(self.dt), radius_pct=float(self.radius_pct),
                    start=self.start, tmax=self.tmax, scale=1, quick=True,
                    threads=self.threads)

    def __str__(self) -> str:
        tmax = "to the end" if self.tmax is None else str(self.tmax)
        refusal = f", refused by design: {self.refusal}" if self.refusal else ""
        return (f"seed {self.seed} ({self.scenario}: {len(self.samples)} samples of "
                f"{self.series_kind}{refusal}; npts {self.npts_answer}, ncube {self.ncube}, "
                f"tmax {tmax}, delay {self.delay}, dims {self.mfrom}:{self.mto}, start "
                f"{self.start}, dt {self.dt}, evolv {self.evolv}, radius {self.radius_pct} %, "
                f"Python threads {self.threads}, samples in {self.layout})")


# The series, each from the seed's generator.

def henon(rng: np.random.Generator, n: int) -> np.ndarray:
    """x of the Henon map (a = 1.4, b = 0.3) times 10000, after a transient."""
    x, y = rng.uniform(-0.1, 0.1), rng.uniform(-0.1, 0.1)
    out = np.empty(n)
    for i in range(-200, n):
        x, y = 1.0 - 1.4 * x * x + y, 0.3 * x
        if i >= 0:
            out[i] = x
    return out * 10000.0


def ar1(rng: np.random.Generator, n: int) -> np.ndarray:
    """An AR(1) process with a coefficient from 0.5 to 0.97, times 1000."""
    phi = rng.uniform(0.5, 0.97)
    e = rng.standard_normal(n + 100)
    x = np.empty(n + 100)
    x[0] = e[0]
    for i in range(1, n + 100):
        x[i] = phi * x[i - 1] + e[i]
    return x[100:] * 1000.0


def coarse_noise(rng: np.random.Generator, n: int) -> np.ndarray:
    """Independent samples on two to five neighbouring integers; now and then fractions
    inside one integer, which all truncate alike."""
    if rng.random() < 0.15:
        base = float(rng.integers(-3, 4))
        return base + np.sign(base or 1.0) * rng.choice([0.25, 0.5, 0.75], n)
    levels = int(rng.integers(2, 6))
    return float(rng.integers(-20, 21)) + rng.integers(0, levels, n).astype(np.float64)


def coarse_sine(rng: np.random.Generator, n: int) -> np.ndarray:
    """A sine rounded to a few integers: a closed curve through a handful of points."""
    amplitude = float(rng.integers(2, 5))
    omega = rng.uniform(0.15, 0.6)
    return np.round(amplitude * np.sin(np.arange(n) * omega + rng.uniform(0, 6.28)))


SERIES: Dict[str, Callable[[np.random.Generator, int], np.ndarray]] = {
    "Henon": henon, "AR(1)": ar1, "coarse noise": coarse_noise, "coarse sine": coarse_sine,
}


def _pick(rng: np.random.Generator, values: Sequence[Any]) -> Any:
    return values[int(rng.integers(0, len(values)))]


def _vectors(n: int, delay: int, mto: int) -> int:
    """Delay vectors of the highest dimension in n samples."""
    return n - (mto - 1) * delay


def generate(seed: int) -> Run:
    """The run of ``seed``."""
    rng = np.random.default_rng([seed, 0x7A27])
    scenario = SCENARIOS[seed % len(SCENARIOS)]

    kind = {"henon": "Henon", "ar1": "AR(1)", "noise": "coarse noise",
            "sine": "coarse sine"}.get(scenario) or _pick(rng, ("Henon", "AR(1)", "Henon"))
    n = {"crowded": (40, 230), "noise": (80, 500),
         "late-start": (120, 400)}.get(scenario, (150, 600))
    n = int(rng.integers(*n))

    mto = int(rng.integers(1, 9))
    mfrom = int(rng.integers(1, mto + 1))
    delay = int(_pick(rng, (0, 1, 1, 1, 2, 3, 4, 6)))
    evolv = int(rng.integers(1, 6))
    tmax: Optional[int] = None
    u = rng.random()
    if u < 0.4:
        tmax = int(rng.integers(1, 50))
    elif u < 0.6:
        tmax = int(rng.integers(50, 400))
    ncube = int(_pick(rng, (int(rng.integers(1, 8)), int(rng.integers(8, 40)), 30)))
    start = 1
    if rng.random() < 0.3:
        start = int(rng.integers(1, max(2, _vectors(n, delay, mto) // 2)))
    dt = str(_pick(rng, DT_TEXTS))
    pct = str(_pick(rng, PCT_TEXTS))
    refusal: Optional[str] = None

    if scenario == "henon" and (seed // len(SCENARIOS)) % 2 == 0:
        # A tmax the run reaches, inside the warm-up or after it.
        tmax = int(rng.integers(1, max(2, min(50, (n - WARMUP) // evolv - WARMUP))))
        start = 1
    elif scenario == "ar1" and (seed // len(SCENARIOS)) % 2 == 0:
        tmax = None  # to the end of the data
    elif scenario == "sine":
        # Few neighbours on a closed curve through a handful of integer points: singular
        # neighbourhoods and steps given up, yet most runs count steps between them.
        mto = int(rng.integers(2, 5))
        mfrom = int(rng.integers(1, mto + 1))
        ncube = int(rng.integers(3, 7))
        delay = max(delay, 1)
        if tmax is not None:
            tmax = int(rng.integers(100, 400))  # long enough to meet a step given up
    elif scenario == "noise":
        # Few neighbours on few integers (not at a delay of 0, which puts every point on
        # the diagonal, where neighbourhoods of two or more dimensions are singular).
        ncube = int(rng.integers(1, 12))
        delay = max(delay, 1)
    elif scenario == "short":
        # Too few samples for the warm-up's iterations, fewer iterations than the warm-up,
        # or hardly more.
        mto = int(rng.integers(1, 4))
        mfrom = int(rng.integers(1, mto + 1))
        delay = int(rng.integers(0, 3))
        evolv = int(rng.integers(1, 4))
        start = 1
        ncube = int(rng.integers(1, 12))
        # Which of the three takes turns over the seeds of this scenario.
        iterations = (int(rng.integers(-3, 1)), int(rng.integers(1, 26)),
                      int(rng.integers(26, 40)))[(seed // len(SCENARIOS)) % 3]
        n = max(WARMUP + iterations * evolv + int(rng.integers(0, evolv)),
                (mto - 1) * delay + 2)
    elif scenario == "crowded":
        # Nearly as many neighbours wanted as there are samples.
        ncube = int(np.clip(n - int(rng.integers(-10, 40)), 1, 200))
    elif scenario == "late-start":
        # The first reference point among the last vectors, or at the very last, which
        # leaves none to follow it (refused).
        start = max(1, _vectors(n, delay, mto) - int(rng.integers(0, 6)))

    x = SERIES[kind](rng, n)

    if scenario == "refused":
        # The kinds of refusal take turns over the seeds of this scenario.
        refusal = REFUSALS[(seed // len(SCENARIOS)) % len(REFUSALS)]
        if refusal == "ncube above 200":
            ncube = int(_pick(rng, (201, 250, 1000)))
        elif refusal == "ncube 0":
            ncube = 0
        elif refusal == "negative delay":
            delay = -int(rng.integers(1, 4))
        elif refusal == "evolv 0":
            evolv = int(_pick(rng, (0, -1)))
        elif refusal == "dt 0":
            dt = "0"
        elif refusal == "dt negative":
            dt = str(_pick(rng, ("-1", "-0.5", "-0.01")))
        elif refusal == "lowest dimension 0":
            mfrom = 0
        elif refusal == "dimension above 20":
            mto = int(rng.integers(21, 26))
        elif refusal == "start 0":
            start = int(_pick(rng, (0, -1)))
        elif refusal == "start beyond the vectors":
            start = _vectors(n, delay, mto) + int(rng.integers(0, 4))
        else:
            x[int(rng.integers(0, n))] = float(_pick(rng, (3.0e9, -3.0e9, 1.0e12)))

    u = rng.random()
    npts = n if u < 0.5 else (20000 if u < 0.75 else n + int(rng.integers(1, 100)))
    threads = int(_pick(rng, (1, 1, 2, 0)))
    layout = str(_pick(rng, ("lines", "lines", "blanks", "tabs", "commas")))
    name_length = int(rng.integers(5, 21))
    result_name = (f"r{seed}_" + "x" * 20)[:name_length - 4] + ".out"
    # The names the result file's header shows: 20 characters at most.
    series_name = f"s{seed}.dat" if len(f"s{seed}.dat") <= 20 else "series.dat"
    return Run(seed=seed, scenario=scenario, series_kind=kind,
               samples=np.asarray(x, dtype=np.float32), npts_answer=npts, ncube=ncube,
               tmax=tmax, delay=delay, mfrom=mfrom, mto=mto, start=start, dt=dt, evolv=evolv,
               radius_pct=pct, threads=threads, series_name=series_name,
               result_name=result_name, layout=layout, refusal=refusal)
