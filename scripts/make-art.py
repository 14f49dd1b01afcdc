#!/usr/bin/env python3
"""Generate the installer artwork: the header logo (logo.bmp) and the
application icon (orvex.ico).

The shapes are defined here as simple vector primitives and rasterised with
4x4 supersampling, so the art can be rebuilt without image tools or fonts.
Standard library only.

Usage: make-art.py OUTPUT_DIR
"""

import os
import struct
import sys

TEAL = (0, 110, 120)
WHITE = (255, 255, 255)
SS = 4  # supersampling factor per axis


# ---------------------------------------------------------------- shapes
# Each shape is a function f(x, y) -> bool in a coordinate system with the
# origin at the top left and y growing downwards.

def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def polygon(*pts):
    """Convex polygon, points in either winding order."""
    n = len(pts)

    def inside(x, y):
        sign = 0
        for i in range(n):
            ax, ay = pts[i]
            bx, by = pts[(i + 1) % n]
            c = (bx - ax) * (y - ay) - (by - ay) * (x - ax)
            if c != 0:
                s = 1 if c > 0 else -1
                if sign == 0:
                    sign = s
                elif s != sign:
                    return False
        return True
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def ring(outer, inner):
    return minus(outer, inner)


# ---------------------------------------------------------------- glyphs
# Each glyph builder takes the stroke width s and cap height h and returns
# (width, shape) with the glyph spanning x in [0, width), y in [0, h).

def glyph_O(s, h):
    w = h * 0.95
    shape = ring(ellipse(w / 2, h / 2, w / 2, h / 2),
                 ellipse(w / 2, h / 2, w / 2 - s * 1.05, h / 2 - s * 0.9))
    return w, shape


def glyph_R(s, h):
    w = h * 0.78
    bowl_h = h * 0.56
    r = bowl_h / 2
    stem = rect(0, 0, s, h)
    bowl = ring(rounded_rect(0, 0, w - s * 0.25, bowl_h, r),
                rounded_rect(s, s * 0.9, w - s * 1.3, bowl_h - s * 0.9,
                             max(r - s, 0.5)))
    dx = s * 1.2
    lx = w * 0.38
    leg = polygon((lx, bowl_h - s * 0.9), (lx + dx, bowl_h - s * 0.9),
                  (w, h), (w - dx, h))
    return w, union(stem, bowl, leg)


def glyph_V(s, h):
    w = h * 0.9
    dx = s * 1.2
    left = polygon((0, 0), (dx, 0), (w / 2 + dx / 2, h), (w / 2 - dx / 2, h))
    right = polygon((w - dx, 0), (w, 0), (w / 2 + dx / 2, h),
                    (w / 2 - dx / 2, h))
    return w, union(left, right)


def glyph_E(s, h):
    w = h * 0.68
    bar = s * 0.92
    shape = union(rect(0, 0, s, h),
                  rect(0, 0, w, bar),
                  rect(0, h / 2 - bar / 2, w * 0.88, h / 2 + bar / 2),
                  rect(0, h - bar, w, h))
    return w, shape


def glyph_X(s, h):
    w = h * 0.88
    dx = s * 1.2
    a = polygon((0, 0), (dx, 0), (w, h), (w - dx, h))
    b = polygon((w - dx, 0), (w, 0), (dx, h), (0, h))
    return w, union(a, b)


GLYPHS = {"O": glyph_O, "R": glyph_R, "V": glyph_V, "E": glyph_E,
          "X": glyph_X}


def translate(shape, ox, oy):
    return lambda x, y: shape(x - ox, y - oy)


# ---------------------------------------------------------------- raster

def coverage(shape, width, height):
    """Return rows of coverage values in [0, 1], top row first."""
    rows = []
    step = 1.0 / SS
    offs = [(i + 0.5) * step for i in range(SS)]
    total = SS * SS
    for py in range(height):
        row = []
        for px in range(width):
            hits = 0
            for oy in offs:
                for ox in offs:
                    if shape(px + ox, py + oy):
                        hits += 1
            row.append(hits / total)
        rows.append(row)
    return rows


def blend(fg, bg, a):
    return tuple(int(round(b + (f - b) * a)) for f, b in zip(fg, bg))


# ---------------------------------------------------------------- logo

def make_logo(width=136, height=30, text="ORVEX"):
    cap = 20.0
    stroke = 4.2
    gap = 3.5
    glyphs = [GLYPHS[c](stroke, cap) for c in text]
    total = sum(w for w, _ in glyphs) + gap * (len(glyphs) - 1)
    x = (width - total) / 2
    y = (height - cap) / 2
    parts = []
    for w, shape in glyphs:
        parts.append(translate(shape, x, y))
        x += w + gap
    cov = coverage(union(*parts), width, height)
    return [[blend(TEAL, WHITE, a) for a in row] for row in cov]


def bmp_bytes(pixels):
    height = len(pixels)
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3
    body = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        body += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                       len(body), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    head = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    return head + info + bytes(body)


# ---------------------------------------------------------------- icon

def make_icon_image(size):
    """Return rows of (r, g, b, a) for one icon size."""
    n = float(size)
    margin = n * 0.03
    square = rounded_rect(margin, margin, n - margin, n - margin, n * 0.2)
    rx = n * 0.27
    ry = n * 0.30
    s = max(n * 0.115, 2.0)
    o = ring(ellipse(n / 2, n / 2, rx, ry),
             ellipse(n / 2, n / 2, rx - s, ry - s))
    bg = coverage(square, size, size)
    fg = coverage(o, size, size)
    out = []
    for brow, frow in zip(bg, fg):
        row = []
        for a_bg, a_fg in zip(brow, frow):
            r, g, b = blend(WHITE, TEAL, a_fg)
            row.append((r, g, b, int(round(255 * a_bg))))
        out.append(row)
    return out


def ico_entry_bytes(pixels):
    size = len(pixels)
    xor = bytearray()
    for row in reversed(pixels):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x >> 3] |= 0x80 >> (x & 7)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                       len(xor) + len(mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(mask)


def ico_bytes(sizes=(16, 32, 48)):
    images = [ico_entry_bytes(make_icon_image(s)) for s in sizes]
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = bytearray()
    for size, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0,
                               1, 32, len(data), offset)
        offset += len(data)
    return head + bytes(entries) + b"".join(images)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make-art.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "logo.bmp"), "wb") as f:
        f.write(bmp_bytes(make_logo()))
    with open(os.path.join(out, "orvex.ico"), "wb") as f:
        f.write(ico_bytes())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
