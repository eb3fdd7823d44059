#!/usr/bin/python3
"""Draws the Cuecarry icon: a blue speech bubble with two centred caption lines.

This file is the icon's source. It writes one PNG per image of the icon into
the directory given on the command line; make-icon packs them into
res/Cuecarry.ico.

    draw_icon.py OUTDIR

Images written (file name: icon-SIZE-BPP.png):

    48, 32, 24, 16 px for 4 bpp   flat colours, on/off transparency, at most 15 colours
    48, 32, 24, 16 px for 8 bpp   vertical shading, on/off transparency
    256, 48, 32, 24, 16 px 32 bpp shading and soft (alpha) edges

Two ways of drawing, both from the same proportions:

  * 16, 24 and 32 px are drawn pixel by pixel from hand-tuned integer
    geometry, so that every edge lies on the pixel grid: 1-px outline,
    caption lines of whole pixels, a 45-degree tail. In the 32-bpp images
    the outside steps of the outline (rounded corners, the tail) get a faint
    outline-coloured pixel to soften them.
  * 48 and 256 px are drawn as shapes (rounded rectangle, tail, round-ended
    caption lines) with 8x8 (48 px) or 4x4 (256 px) samples per pixel.
    For 4 and 8 bpp the coverage is cut at one half, so the outer edge has
    no half-transparent pixels.

Only the Python standard library is used; the PNG files are written here.
"""

import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------- colours

OUTLINE = (20, 52, 112)        # dark blue rim
FILL_TOP = (92, 162, 244)      # bubble, top of the shading
FILL_BOTTOM = (34, 100, 206)   # bubble, bottom of the shading
FILL_FLAT = (52, 126, 226)     # bubble in the 16-colour images
LINE = (255, 255, 255)         # caption lines
EDGE_ALPHA = 0.38              # softening pixels of the small 32-bpp images


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# Colours allowed in the 16-colour images (the transparent pixels come on
# top of these). Edge pixels of the 48-px image are mapped to the nearest.
PALETTE_4BPP = [
    OUTLINE,
    FILL_FLAT,
    LINE,
    mix(OUTLINE, FILL_FLAT, 0.5),
    mix(FILL_FLAT, LINE, 0.25),
    mix(FILL_FLAT, LINE, 0.5),
    mix(FILL_FLAT, LINE, 0.75),
]
PALETTE_4BPP = [tuple(int(round(c)) for c in p) for p in PALETTE_4BPP]


def nearest(colour, palette):
    return min(palette, key=lambda p: sum((p[i] - colour[i]) ** 2 for i in range(3)))


# ---------------------------------------------------------------- pixel-drawn sizes
#
# Integer geometry, in pixels, inclusive ranges:
#   body     (x0, x1, y0, y1): the bubble's rectangle
#   corner   insets of the first rows of each corner (rounding), e.g. (2, 1)
#   tail     (x, rows): left edge of the tail and the rows it hangs below the
#            body; row k below the body is (rows + 2 - k) px wide, so the
#            right side runs at 45 degrees down to a 2-px tip
#   lines    [(y0, y1, x0, x1), ...]: the caption lines
#   line_cut whether the caption lines lose their corner pixels (round ends)

PIXEL_SIZES = {
    16: dict(body=(0, 15, 1, 11), corner=(1,), tail=(3, 3),
             lines=[(4, 5, 3, 12), (7, 8, 5, 10)], line_cut=False),
    24: dict(body=(0, 23, 1, 16), corner=(2, 1), tail=(4, 5),
             lines=[(5, 7, 4, 19), (10, 12, 7, 16)], line_cut=False),
    32: dict(body=(0, 31, 2, 22), corner=(3, 1, 1), tail=(6, 6),
             lines=[(7, 10, 5, 26), (14, 17, 9, 22)], line_cut=True),
}


def pixel_mask(size, g):
    """The bubble's pixels (body with rounded corners, and its tail)."""
    x0, x1, y0, y1 = g["body"]
    inside = [[False] * size for _ in range(size)]
    for y in range(y0, y1 + 1):
        from_top, from_bottom = y - y0, y1 - y
        inset = 0
        for k, c in enumerate(g["corner"]):
            if from_top == k or from_bottom == k:
                inset = c
        for x in range(x0 + inset, x1 - inset + 1):
            inside[y][x] = True
    tx, rows = g["tail"]
    for k in range(1, rows + 1):
        for x in range(tx, tx + rows + 2 - k):
            inside[y1 + k][x] = True
    return inside


def draw_pixels(size, bpp):
    g = PIXEL_SIZES[size]
    inside = pixel_mask(size, g)

    def at(x, y):
        return 0 <= x < size and 0 <= y < size and inside[y][x]

    def in_line(x, y):
        for ly0, ly1, lx0, lx1 in g["lines"]:
            if ly0 <= y <= ly1 and lx0 <= x <= lx1:
                corner = (y in (ly0, ly1)) and (x in (lx0, lx1))
                return "cut" if (corner and g["line_cut"]) else "line"
        return None

    top = g["body"][2]
    bottom = g["body"][3] + g["tail"][1]
    image = []
    for y in range(size):
        row = []
        shade = FILL_FLAT if bpp == 4 else mix(FILL_TOP, FILL_BOTTOM, (y - top) / (bottom - top))
        for x in range(size):
            if at(x, y):
                rim = not (at(x - 1, y) and at(x + 1, y) and at(x, y - 1) and at(x, y + 1))
                kind = in_line(x, y)
                if rim:
                    colour = OUTLINE
                elif kind == "line":
                    colour = LINE
                elif kind == "cut" and bpp == 32:
                    colour = mix(shade, LINE, 0.5)
                else:
                    colour = shade
                row.append(colour + (1.0,))
            else:
                touching = sum(at(*p) for p in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)))
                if bpp == 32 and touching >= 2:
                    row.append(OUTLINE + (EDGE_ALPHA,))
                else:
                    row.append((0, 0, 0, 0.0))
        image.append(row)
    return image


# ---------------------------------------------------------------- shape-drawn sizes
#
# Geometry in pixels of the final image (continuous coordinates, (0,0) is the
# top-left corner of the top-left pixel):
#   body   (x0, y0, x1, y1, radius)
#   tail   polygon, its top edge inside the body so that the two join
#          without a rim between them; rounded by tail_round
#   lines  [(y0, y1, x0, x1)]: bars with half-round ends
#   rim    outline width

SHAPE_SIZES = {
    48: dict(body=(0, 3, 48, 36, 6.5), rim=2.0,
             tail=[(9, 28), (26, 28), (14, 44), (9, 44)], tail_round=1.0,
             lines=[(12, 18, 9, 39), (21, 27, 15, 33)], samples=8),
    256: dict(body=(8, 23, 248, 188, 40), rim=10.0,
              tail=[(54, 150), (140, 150), (68, 230), (54, 230)], tail_round=5.0,
              lines=[(68, 98, 53, 203), (113, 143, 83, 173)], samples=4),
}


def sd_round_rect(px, py, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def sd_polygon(px, py, pts):
    d = float("inf")
    sign = 1.0
    n = len(pts)
    j = n - 1
    for i in range(n):
        (xi, yi), (xj, yj) = pts[i], pts[j]
        ex, ey = xj - xi, yj - yi
        wx, wy = px - xi, py - yi
        t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
        bx, by = wx - ex * t, wy - ey * t
        d = min(d, bx * bx + by * by)
        c1, c2, c3 = py >= yi, py < yj, ex * wy > ey * wx
        if (c1 and c2 and c3) or (not c1 and not c2 and not c3):
            sign = -sign
        j = i
    return sign * math.sqrt(d)


def shrink_polygon_for_round(pts, r):
    """The polygon moved inwards by r, so that 'distance - r' keeps its size."""
    n = len(pts)
    area = sum(pts[i][0] * pts[(i + 1) % n][1] - pts[(i + 1) % n][0] * pts[i][1] for i in range(n))
    orient = 1.0 if area > 0 else -1.0
    lines = []
    for i in range(n):
        (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        nx, ny = -ey / length * orient, ex / length * orient  # inward normal
        lines.append(((ax + nx * r, ay + ny * r), (ex, ey)))
    out = []
    for i in range(n):
        (p, d), (q, e) = lines[i - 1], lines[i]
        den = d[0] * e[1] - d[1] * e[0]
        t = ((q[0] - p[0]) * e[1] - (q[1] - p[1]) * e[0]) / den
        out.append((p[0] + d[0] * t, p[1] + d[1] * t))
    return out


def draw_shape(size, bpp):
    g = SHAPE_SIZES[size]
    bx0, by0, bx1, by1, br = g["body"]
    tail = shrink_polygon_for_round(g["tail"], g["tail_round"])
    rim = g["rim"]
    n = g["samples"]
    top, bottom = by0, max(p[1] for p in g["tail"])

    def colour_at(px, py):
        d = min(sd_round_rect(px, py, bx0, by0, bx1, by1, br),
                sd_polygon(px, py, tail) - g["tail_round"])
        if d > 0:
            return None
        if d > -rim:
            return OUTLINE
        for ly0, ly1, lx0, lx1 in g["lines"]:
            r = (ly1 - ly0) / 2
            if sd_round_rect(px, py, lx0, ly0, lx1, ly1, r) <= 0:
                return LINE
        if bpp == 4:
            return FILL_FLAT
        return mix(FILL_TOP, FILL_BOTTOM, (py - top) / (bottom - top))

    image = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(n):
                for sx in range(n):
                    c = colour_at(x + (sx + 0.5) / n, y + (sy + 0.5) / n)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            cover = hits / (n * n)
            if hits == 0:
                row.append((0, 0, 0, 0.0))
                continue
            colour = tuple(a / hits for a in acc)
            if bpp == 32:
                row.append(colour + (cover,))
            elif cover >= 0.5:
                if bpp == 4:
                    colour = nearest(colour, PALETTE_4BPP)
                row.append(colour + (1.0,))
            else:
                row.append((0, 0, 0, 0.0))
        image.append(row)
    return image


# ---------------------------------------------------------------- output

def to_bytes(image):
    rows = []
    for row in image:
        line = bytearray()
        for r, g, b, a in row:
            alpha = int(round(a * 255))
            if alpha == 0:
                line += bytes(4)
            else:
                line += bytes((int(round(r)), int(round(g)), int(round(b)), alpha))
        rows.append(bytes(line))
    return rows


def write_png(path, rows):
    height, width = len(rows), len(rows[0]) // 4

    def chunk(kind, data):
        crc = zlib.crc32(kind + data) & 0xFFFFFFFF
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", crc)

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


IMAGES = [(s, 4) for s in (48, 32, 24, 16)] + \
         [(s, 8) for s in (48, 32, 24, 16)] + \
         [(s, 32) for s in (256, 48, 32, 24, 16)]


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: draw_icon.py OUTDIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    for size, bpp in IMAGES:
        image = draw_pixels(size, bpp) if size in PIXEL_SIZES else draw_shape(size, bpp)
        rows = to_bytes(image)
        colours = {bytes(row[i:i + 4]) for row in rows for i in range(0, len(row), 4) if row[i + 3]}
        alphas = {row[i + 3] for row in rows for i in range(0, len(row), 4)}
        limit = {4: 15, 8: 255}.get(bpp)
        if limit is not None and (len(colours) > limit or not alphas <= {0, 255}):
            sys.stderr.write("draw_icon.py: %d px %d bpp has %d colours / partial alpha\n"
                             % (size, bpp, len(colours)))
            return 1
        write_png(os.path.join(out, "icon-%d-%d.png" % (size, bpp)), rows)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
