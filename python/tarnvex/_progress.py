"""Progress of a run or of a batch: a tqdm bar where tqdm is installed, or a callable."""

from __future__ import annotations

import contextlib
from typing import Callable, Iterator, Optional, Union

ProgressCallback = Callable[[int, int], None]
Progress = Union[bool, None, ProgressCallback]


@contextlib.contextmanager
def reporter(progress: Progress, unit: str = "it",
             desc: str = "tarnvex") -> Iterator[Optional[ProgressCallback]]:
    """Yield the callback that receives (done, planned) for ``progress``.

    ``False`` or ``None``: no callback. ``True``: a tqdm bar (nothing when tqdm is not
    installed), completed when the block ends normally. A callable is yielded as it is.
    ``unit`` names what is counted (iterations of a run, series of a batch).
    """
    if progress is None or progress is False:
        yield None
        return
    if progress is not True:
        if not callable(progress):
            raise TypeError("progress must be True, False or a callable taking "
                            "(done, planned)")
        yield progress
        return
    try:
        from tqdm.auto import tqdm
    except ImportError:
        yield None
        return
    bar = None

    def update(done: int, planned: int) -> None:
        nonlocal bar
        if bar is None:
            bar = tqdm(total=planned, unit=unit, desc=desc)
        bar.update(done - bar.n)

    ok = False
    try:
        yield update
        ok = True
    finally:
        if bar is not None:
            if ok and bar.total is not None:
                bar.update(bar.total - bar.n)
            bar.close()
