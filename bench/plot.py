#!/usr/bin/env python3
"""Plot the benchmark's median copy time against tree size, from results.csv.

One panel per layout, one line per tool, both axes logarithmic (a straight
line of slope 1, like the grey reference, is time growing linearly with the
number of caption files). Writes a PNG with no dependency beyond the standard
library: a small raster, a 5x7 bitmap font, and zlib for the PNG encoding.

  python3 bench/plot.py                      # bench/results/results.csv -> plot.png
  python3 bench/plot.py --csv FILE --out FILE.png
"""

import argparse
import csv
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

TOOL_STYLE = [  # tool, legend text, colour
    ("cuecarry-empty", "cuecarry, empty destination", (31, 87, 200)),
    ("cuecarry-full", "cuecarry, full destination", (120, 60, 190)),
    ("rsync", "rsync -a (filters)", (230, 120, 20)),
    ("cp", "xargs cp --parents", (30, 150, 60)),
]
LAYOUT_TITLE = {"vod": "VOD (flat layout)", "zelvora": "Zelvora (nested layout)"}

# 5x7 glyphs, one 5-bit row each, top row first, bit 4 = leftmost column.
FONT = {
    "0": (0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E),
    "1": (0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E),
    "2": (0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F),
    "3": (0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E),
    "4": (0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02),
    "5": (0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E),
    "6": (0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E),
    "7": (0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08),
    "8": (0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E),
    "9": (0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C),
    "A": (0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11),
    "B": (0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E),
    "C": (0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E),
    "D": (0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C),
    "E": (0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F),
    "F": (0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10),
    "G": (0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F),
    "H": (0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11),
    "I": (0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E),
    "J": (0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C),
    "K": (0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11),
    "L": (0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F),
    "M": (0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11),
    "N": (0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11),
    "O": (0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E),
    "P": (0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10),
    "Q": (0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D),
    "R": (0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11),
    "S": (0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E),
    "T": (0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04),
    "U": (0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E),
    "V": (0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04),
    "W": (0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A),
    "X": (0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11),
    "Y": (0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04),
    "Z": (0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F),
    " ": (0, 0, 0, 0, 0, 0, 0),
    ".": (0, 0, 0, 0, 0, 0x0C, 0x0C),
    ",": (0, 0, 0, 0, 0x0C, 0x04, 0x08),
    ":": (0, 0x0C, 0x0C, 0, 0x0C, 0x0C, 0),
    "-": (0, 0, 0, 0x1F, 0, 0, 0),
    "+": (0, 0x04, 0x04, 0x1F, 0x04, 0x04, 0),
    "=": (0, 0, 0x1F, 0, 0x1F, 0, 0),
    "_": (0, 0, 0, 0, 0, 0, 0x1F),
    "/": (0, 0x01, 0x02, 0x04, 0x08, 0x10, 0),
    "(": (0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02),
    ")": (0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08),
    "%": (0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03),
}


class Canvas:
    def __init__(self, w, h, bg=(255, 255, 255)):
        self.w, self.h = w, h
        self.px = bytearray(bytes(bg) * (w * h))

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            i = (y * self.w + x) * 3
            self.px[i:i + 3] = bytes(c)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1 + 1)):
            i = (y * self.w + max(0, x0)) * 3
            n = min(self.w, x1 + 1) - max(0, x0)
            if n > 0:
                self.px[i:i + 3 * n] = bytes(c) * n

    def line(self, x0, y0, x1, y1, c, width=1, dash=0):
        """Bresenham line, thickened with a square pen; dash = on/off length."""
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err, step, r = dx + dy, 0, width // 2
        while True:
            if not dash or (step // dash) % 2 == 0:
                self.rect(x0 - r, y0 - r, x0 - r + width - 1, y0 - r + width - 1, c)
            if x0 == x1 and y0 == y1:
                break
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy
            step += 1

    def text(self, x, y, s, c, scale=2, vertical=False):
        """Draw s with its top-left corner at (x, y); vertical text reads
        bottom to top, with (x, y) its bottom-left corner."""
        for ch in s.upper():
            rows = FONT.get(ch, FONT[" "])
            for gy, bits in enumerate(rows):
                for gx in range(5):
                    if bits & (0x10 >> gx):
                        if vertical:
                            px, py = x + gy * scale, y - (gx + 1) * scale
                        else:
                            px, py = x + gx * scale, y + gy * scale
                        self.rect(px, py, px + scale - 1, py + scale - 1, c)
            if vertical:
                y -= 6 * scale
            else:
                x += 6 * scale

    def png(self, path):
        raw = b"".join(b"\0" + bytes(self.px[y * self.w * 3:(y + 1) * self.w * 3])
                       for y in range(self.h))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
            f.write(chunk(b"IEND", b""))


def text_width(s, scale=2):
    return len(s) * 6 * scale - scale


def log_ticks(lo, hi):
    """Tick values 1, 2, 5 x 10^k within [lo, hi]; only powers of ten when the
    range spans more than two decades."""
    mults = (1,) if math.log10(hi / lo) > 2.2 else (1, 2, 5)
    ticks = []
    for k in range(math.floor(math.log10(lo)) - 1, math.ceil(math.log10(hi)) + 1):
        for m in mults:
            v = m * 10.0 ** k
            if lo <= v <= hi:
                ticks.append(v)
    return ticks


def fmt_count(v):
    for div, suffix in ((1e6, "M"), (1e3, "K")):
        if v >= div:
            q = v / div
            return ("%d" % round(q) if abs(q - round(q)) < 1e-9 else "%.1f" % q) + suffix
    return "%d" % round(v)


def fmt_secs(v):
    if v >= 1:
        return "%d" % round(v)
    s = "%.3f" % v
    return s.rstrip("0").rstrip(".")


def padded_range(values, factor):
    lo, hi = min(values), max(values)
    if hi / lo < 2:
        mid = math.sqrt(lo * hi)
        lo, hi = mid / 2, mid * 2
    return lo / factor, hi * factor


def draw_panel(cv, x0, y0, w, h, title, series, xr, yr, xticks):
    """series: list of (label, colour, [(x, y), ...], dashed)."""
    ink, grid = (40, 40, 40), (225, 225, 225)
    left, right, top, bottom = x0 + 78, x0 + w - 16, y0 + 40, y0 + h - 58
    lx0, lx1 = math.log10(xr[0]), math.log10(xr[1])
    ly0, ly1 = math.log10(yr[0]), math.log10(yr[1])

    def px(v):
        return int(round(left + (math.log10(v) - lx0) / (lx1 - lx0) * (right - left)))

    def py(v):
        return int(round(bottom - (math.log10(v) - ly0) / (ly1 - ly0) * (bottom - top)))

    cv.text(x0 + (w - text_width(title)) // 2, y0 + 12, title, ink)
    for t in xticks:
        x = px(t)
        cv.line(x, top, x, bottom, grid)
        cv.line(x, bottom, x, bottom + 5, ink)
        lab = fmt_count(t)
        cv.text(x - text_width(lab) // 2, bottom + 10, lab, ink)
    for t in log_ticks(*yr):
        y = py(t)
        cv.line(left, y, right, y, grid)
        cv.line(left - 5, y, left, y, ink)
        lab = fmt_secs(t)
        cv.text(left - 10 - text_width(lab), y - 7, lab, ink)
    cv.line(left, top, left, bottom, ink)
    cv.line(left, bottom, right, bottom, ink)
    xl = "caption files"
    cv.text(left + (right - left - text_width(xl)) // 2, bottom + 34, xl, ink)
    yl = "seconds (median)"
    cv.text(x0 + 8, (top + bottom + text_width(yl)) // 2, yl, ink, vertical=True)
    for _, colour, pts, dashed in series:
        pts = sorted(pts)
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            cv.line(px(ax), py(ay), px(bx), py(by), colour,
                    width=1 if dashed else 3, dash=6 if dashed else 0)
        if not dashed:
            for x, y in pts:
                cv.rect(px(x) - 4, py(y) - 4, px(x) + 4, py(y) + 4, colour)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--csv", default=os.path.join(HERE, "results", "results.csv"))
    ap.add_argument("--out", default=os.path.join(HERE, "results", "plot.png"))
    a = ap.parse_args(argv)
    with open(a.csv, newline="") as f:
        rows = [r for r in csv.DictReader(f)
                if r.get("median_s") and float(r["median_s"]) > 0]
    if not rows:
        sys.exit("no timed rows in %s" % a.csv)
    layouts = [l for l in ("vod", "zelvora") if any(r["layout"] == l for r in rows)]
    layouts += sorted({r["layout"] for r in rows} - set(layouts))
    xs = [float(r["caption_files"]) for r in rows]
    ys = [float(r["median_s"]) for r in rows]
    xr, yr = padded_range(xs, 1.4), padded_range(ys, 1.6)
    # the tree sizes themselves label the x axis
    xticks = sorted(set(xs)) if len(set(xs)) <= 6 else log_ticks(*xr)

    pw, ph, head, legend = 560, 420, 44, 64
    cv = Canvas(pw * len(layouts), head + ph + legend)
    title = "cuecarry benchmark: copy time against tree size (log-log, warm cache)"
    cv.text((cv.w - text_width(title)) // 2, 14, title, (0, 0, 0))
    for i, layout in enumerate(layouts):
        series = []
        for tool, label, colour in TOOL_STYLE:
            pts = [(float(r["caption_files"]), float(r["median_s"]))
                   for r in rows if r["layout"] == layout and r["tool"] == tool]
            if pts:
                series.append((label, colour, pts, False))
        ref = [(float(r["caption_files"]), float(r["median_s"])) for r in rows
               if r["layout"] == layout and r["tool"] == "cuecarry-empty"]
        if len(ref) >= 2:
            x1, y1 = min(ref)
            x2 = max(x for x, _ in ref)
            series.append(("linear", (110, 110, 110),
                           [(x1, y1), (x2, y1 * x2 / x1)], True))
        draw_panel(cv, i * pw, head, pw, ph, LAYOUT_TITLE.get(layout, layout),
                   series, xr, yr, xticks)
    # legend
    items = [(label, colour, False) for tool, label, colour in TOOL_STYLE
             if any(r["tool"] == tool for r in rows)]
    items.append(("linear growth from the first cuecarry point", (110, 110, 110), True))
    x, y = 24, head + ph + 8
    for label, colour, dashed in items:
        wdt = 40 + text_width(label) + 28
        if x + wdt > cv.w:
            x, y = 24, y + 26
        if dashed:
            cv.line(x, y + 7, x + 30, y + 7, colour, dash=6)
        else:
            cv.line(x, y + 7, x + 30, y + 7, colour, width=3)
            cv.rect(x + 11, y + 3, x + 19, y + 11, colour)
        cv.text(x + 40, y, label, (40, 40, 40))
        x += wdt
    os.makedirs(os.path.dirname(os.path.abspath(a.out)), exist_ok=True)
    cv.png(a.out)
    print("wrote %s (%dx%d)" % (a.out, cv.w, cv.h))
    return 0


if __name__ == "__main__":
    sys.exit(main())
