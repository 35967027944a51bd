"""The page of a whole analysis from Python: the kit's page through the same writer, the
notebook views, a page that refers to nothing outside itself, and the page as a real browser
renders it (headless Chromium, skipped by name where it is not installed)."""

from __future__ import annotations

import re
import shutil
import struct
import subprocess
import zlib
from html.parser import HTMLParser
from pathlib import Path
from typing import Dict, List, Tuple

import numpy as np
import pytest

import tarnvex

from conftest import EXAMPLES, ar1

VOLATILE = 'class="volatile"'


def stable_lines(page: str) -> List[str]:
    """The page without its lines of the date, the command and the timings."""
    return [line for line in page.splitlines() if VOLATILE not in line]


def two(v: float) -> str:
    """Two decimals as the kit prints an estimate (a value that rounds to zero unsigned)."""
    s = f"{float(v):.2f}"
    return "0.00" if s == "-0.00" else s


# --------------------------------------------------------------------- the pages

@pytest.fixture(scope="module")
def pages(tmp_path_factory) -> Dict[str, Tuple[Path, tarnvex.Spectrum]]:
    """The page of the Henon example (from its file, with surrogates) and of an AR(1) noise
    series (from an array), each with the Spectrum of the same run."""
    d = tmp_path_factory.mktemp("pages")
    henon_file = d / "henon.dat"
    henon_file.write_bytes((EXAMPLES / "henon.dat").read_bytes())
    tarnvex.report(henon_file, d / "henon.html", dims=(2, 3), surrogates=9, workers=2)
    henon = tarnvex.spectrum(np.loadtxt(henon_file), dims=(2, 3), scale=1)
    noise_x = ar1(3000, phi=0.9)
    tarnvex.report(noise_x, d / "noise.html", dims=(2, 4), name="AR(1) noise <0.9>")
    noise = tarnvex.spectrum(noise_x, dims=(2, 4))
    return {"henon": (d / "henon.html", henon), "noise": (d / "noise.html", noise)}


def test_the_page_is_the_kits_but_for_date_command_and_timings(tmp_path, kit):
    (tmp_path / "h.dat").write_bytes((EXAMPLES / "henon.dat").read_bytes())
    done = subprocess.run([str(kit), "report", str(tmp_path / "h.dat"), "--dims", "2:3",
                           "--surrogates", "5", "-o", str(tmp_path / "kit.html")],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    out = tarnvex.report(tmp_path / "h.dat", tmp_path / "py.html", dims=(2, 3), surrogates=5)
    assert out == str(tmp_path / "py.html")
    ours = (tmp_path / "py.html").read_text(encoding="utf-8")
    theirs = (tmp_path / "kit.html").read_text(encoding="utf-8")
    assert stable_lines(ours) == stable_lines(theirs)
    # The lines left out are the date, the command and one per timing, and they name
    # their front-end.
    assert ours.count(VOLATILE) == theirs.count(VOLATILE) >= 5
    assert "tarnvex.report(" in ours and "tarnvex-kit report " in theirs


def test_numbers_and_verdict_are_the_engines(pages):
    for path, s in pages.values():
        page = path.read_text(encoding="utf-8")
        for m in s.dims:
            f = s.figures[m]
            cells = [str(m), str(s.final_samples[m]),
                     " ".join(two(v) for v in s.sorted_exponents[m])]
            row = "".join(f'<td class="num">{c}</td>' for c in cells)
            assert "<tr>" + row in page, row
            assert f"{two(f.lambda1)} ± {f.lambda1_error:.3g}" in page
            assert f'<td class="num">{two(f.sum)}</td><td class="num">{two(f.kaplan_yorke)}' \
                   in page
        verdict = page.split('<pre class="verdict-text">', 1)[1].split("</pre>", 1)[0]
        codes = re.findall(r"^  ([a-z-]+): ", verdict, flags=re.M)
        assert codes == [w.code for w in s.warnings]
        assert verdict.startswith("verdict: no warnings" if not s.warnings
                                  else f"verdict: {len(s.warnings)} warning")


def test_arrays_names_refusals_and_a_run_without_a_step(tmp_path, henon):
    page = tmp_path / "a.html"
    tarnvex.report(henon / 10, page, dims=2, quick=True)
    text = page.read_text(encoding="utf-8")
    assert "the samples given" in text and "scale 10^1 = 10 (chosen" in text
    assert "tarnvex.report(x, " in text and "quick=True" in text
    with pytest.raises(FileExistsError):
        tarnvex.report(henon, page, dims=2, quick=True)
    assert page.read_text(encoding="utf-8") == text
    with pytest.raises(tarnvex.ParameterError):
        tarnvex.report(henon, tmp_path / "refused.html", dims=2, ncube=300)
    with pytest.raises(FileNotFoundError):
        tarnvex.report(tmp_path / "none.dat", tmp_path / "none.html")
    short = tmp_path / "short.html"
    with pytest.raises(tarnvex.NoStepsError, match="the page says so"):
        tarnvex.report(henon[:50], short, dims=2, scale=1, surrogates=39)
    assert "NO STEP COUNTED" in short.read_text(encoding="utf-8")
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.html", "short.html"]


def test_notebook_views(henon):
    s = tarnvex.spectrum(henon, dims=(2, 3), scale=1)
    view = s._repr_html_()
    for m in s.dims:
        assert " ".join(two(v) for v in s.sorted_exponents[m]) in view
    for w in s.warnings:
        assert f"  {w.code}: " in view
    assert ("<svg" in view) == (shutil.which("gnuplot") is not None)
    assert_no_external_references(view)

    t = tarnvex.surrogate_test(henon, count=5, dims=(2, 3), scale=1)
    table = t._repr_html_()
    for d in t.dimensions:
        assert f'<td class="num">{d.dimension}</td><td class="num">{two(d.data_lambda1)}' in table
        assert f'<td class="num">{d.p_value:.3f}</td><td>{d.direction}</td>' in table
    assert t.verdict in table

    r = tarnvex.reverse_check(henon, dims=(3, 3), scale=1)
    rows = re.findall(r'<tr><td class="num">(-?\d+\.\d\d)</td><td>([a-z ]+)</td>',
                      r._repr_html_())
    assert rows == [(two(f), mark) for f, mark in zip(r.forward, r.marks)]

    c = tarnvex.cao(henon)
    assert re.findall(r'<td class="num">(\d+\.\d\d)</td><td class="num">', c._repr_html_()) \
        == [two(e) for e in c.e1]


# ---------------------------------------------------------- nothing outside the page

URL = re.compile(r"url\(\s*['\"]?([^'\")]*)")


def _local(ref: str) -> bool:
    ref = ref.strip()
    return ref.startswith("#") or ref.startswith("data:")


def _css_refs(text: str) -> List[str]:
    bad = [u for u in URL.findall(text) if not _local(u)]
    if "@import" in text:
        bad.append("@import")
    return bad


class _References(HTMLParser):
    """Every reference of a page that points outside it."""

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.bad: List[str] = []
        self._style = False

    def handle_starttag(self, tag, attrs):
        if tag == "link":
            self.bad.append("<link>")
        for name, value in attrs:
            value = value or ""
            if name in ("src", "href", "xlink:href") and not _local(value):
                self.bad.append(f"{name}={value}")
            self.bad += _css_refs(value)
        self._style = tag == "style"

    def handle_endtag(self, tag):
        self._style = False

    def handle_data(self, data):
        if self._style:
            self.bad += _css_refs(data)


def _html5lib_refs(page: str) -> List[str]:
    html5lib = pytest.importorskip("html5lib")
    tree = html5lib.parse(page, treebuilder="etree", namespaceHTMLElements=False)
    bad = []
    for el in tree.iter():
        tag = el.tag if isinstance(el.tag, str) else ""
        if tag.rsplit("}", 1)[-1] == "link":
            bad.append("<link>")
        for name, value in el.attrib.items():
            local = name.rsplit("}", 1)[-1]
            if local in ("src", "href") and not _local(value):
                bad.append(f"{name}={value}")
            bad += _css_refs(value)
        if tag == "style":
            bad += _css_refs(el.text or "")
    return bad


def external_references(page: str) -> List[str]:
    p = _References()
    p.feed(page)
    p.close()
    return p.bad + _html5lib_refs(page)


def assert_no_external_references(page: str) -> None:
    assert external_references(page) == []


@pytest.mark.parametrize("fragment, refused", [
    ('<img src="http://example.invalid/x.png">', True),
    ('<a href="https://example.invalid/">x</a>', True),
    ('<svg><use xlink:href="shapes.svg#dot"/></svg>', True),
    ('<div style="background: url(http://example.invalid/b.png)">x</div>', True),
    ("<style>@import 'other.css';</style>", True),
    ('<link rel="stylesheet" href="#x">', True),
    ('<svg><g filter="url(other.svg#f)"></g></svg>', True),
    ('<a href="#verdict">x</a>', False),
    ('<svg xmlns="http://www.w3.org/2000/svg" '
     'xmlns:xlink="http://www.w3.org/1999/xlink"><use xlink:href="#dot"/></svg>', False),
    ('<svg><image xlink:href="data:image/png;base64,AAAA"/></svg>', False),
    ('<svg><g filter="url(#textbox)"></g></svg>', False),
])
def test_the_reference_check_tells_outside_from_inside(fragment, refused):
    page = f"<!DOCTYPE html><html><head><title>t</title></head><body>{fragment}</body></html>"
    assert bool(external_references(page)) == refused


def test_pages_refer_to_nothing_outside_themselves(pages):
    for path, _ in pages.values():
        page = path.read_text(encoding="utf-8")
        assert "<script" not in page
        assert_no_external_references(page)
        assert path.stat().st_size < 2_000_000


# --------------------------------------------------------------------- a real browser

def png_facts(data: bytes, rows: int) -> Tuple[int, int, int]:
    """(width, height, distinct colours among the first `rows` rows) of an 8-bit RGB or
    RGBA PNG, decoded here (zlib and the PNG filters)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, header = 8, b"", None
    while at < len(data):
        n, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + n]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        at += 12 + n
    width, height, depth, colour = header[:4]
    assert depth == 8 and colour in (2, 6), header
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    prev = np.zeros(stride, dtype=np.int64)
    seen = set()
    for y in range(min(rows, height)):
        kind = raw[y * (stride + 1)]
        line = np.frombuffer(raw, dtype=np.uint8, count=stride,
                             offset=y * (stride + 1) + 1).astype(np.int64)
        if kind == 0:
            cur = line
        elif kind == 2:
            cur = (line + prev) % 256
        elif kind == 1:
            cur = (line.reshape(-1, bpp).cumsum(axis=0) % 256).reshape(-1)
        else:
            cur = np.zeros(stride, dtype=np.int64)
            a, p = line.tolist(), prev.tolist()
            c = [0] * stride
            for i in range(stride):
                left = c[i - bpp] if i >= bpp else 0
                up = p[i]
                if kind == 3:
                    c[i] = (a[i] + (left + up) // 2) % 256
                else:
                    ul = p[i - bpp] if i >= bpp else 0
                    est = left + up - ul
                    pa, pb, pc = abs(est - left), abs(est - up), abs(est - ul)
                    pred = left if pa <= pb and pa <= pc else (up if pb <= pc else ul)
                    c[i] = (a[i] + pred) % 256
            cur = np.array(c, dtype=np.int64)
        seen.update(map(tuple, cur.reshape(-1, bpp)[:, :3].tolist()))
        prev = cur
    return width, height, len(seen)


def test_report_renders_in_chromium(pages, tmp_path):
    chromium = shutil.which("chromium")
    if chromium is None:
        pytest.skip("chromium is not installed: test_report_renders_in_chromium skipped")
    base = [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
            "--enable-logging=stderr", "--v=0"]
    for name, (path, s) in pages.items():
        shot = tmp_path / f"{name}.png"
        done = subprocess.run(base + [f"--screenshot={shot}", "--window-size=1200,3000",
                                      path.as_uri()],
                              capture_output=True, text=True, timeout=180)
        assert done.returncode == 0, done.stderr[-2000:]
        console = [line for line in done.stderr.splitlines()
                   if ":CONSOLE" in line or "Uncaught" in line]
        assert console == [], console
        data = shot.read_bytes()
        width, height, colours = png_facts(data, rows=700)
        assert (width, height) == (1200, 3000)
        # A blank page is one colour and compresses to almost nothing.
        assert colours > 50, colours
        assert len(data) > 50_000

        dom = subprocess.run(base + ["--dump-dom", path.as_uri()], capture_output=True,
                             text=True, timeout=180)
        assert dom.returncode == 0, dom.stderr[-2000:]
        text = dom.stdout
        assert "Verdict" in text
        assert ("verdict: no warnings" if not s.warnings
                else f"verdict: {len(s.warnings)} warning") in text
        for w in s.warnings:
            assert f"  {w.code}: " in text
        for m in s.dims:
            assert " ".join(two(v) for v in s.sorted_exponents[m]) in text
        assert text.count("<svg") == (8 if name == "henon" else 7) or \
            shutil.which("gnuplot") is None
