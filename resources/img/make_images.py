#!/usr/bin/env python3
"""Draws Brightfall's two editor images and writes them as PNG files beside this script.

    knob_64x64px_31frames.png      64 x 1984: 31 knob frames of 64 x 64, stacked top to bottom,
                                   frame 1 at value 0 and frame 31 at value 1, on transparency
    duskmere_back_404x250px.png    404 x 250: the panel, with the product name and the labels
                                   "Wet/Dry" and "Sustain" under the two knob positions

Only the Python 3 standard library is used (zlib writes the PNGs); the lettering is drawn from
the small stroke alphabet below, so no font is needed. Everything is anti-aliased analytically:
each shape's coverage of a pixel comes from the distance of the pixel centre to the shape's edge.

Run it again after changing anything here:  python3 resources/img/make_images.py
With --preview PATH it also writes the composed editor (background plus both knobs) for viewing.
"""

import argparse
import math
import os
import struct
import zlib

# --- Geometry shared with the editor ------------------------------------------------------------

EDITOR_W, EDITOR_H = 404, 250
KNOB = 64            # one frame is KNOB x KNOB
FRAMES = 31
# The editor places the knobs' top-left corners at width / 5.85507 and width / 1.491997
# (truncated), height / 1.95 for both; the labels and scales below centre on those knobs.
KNOB1_X = int(EDITOR_W / 5.85507)
KNOB2_X = int(EDITOR_W / 1.491997)
KNOB_Y = int(EDITOR_H / 1.95)
KNOB_CENTRES = [(KNOB1_X + KNOB / 2, KNOB_Y + KNOB / 2), (KNOB2_X + KNOB / 2, KNOB_Y + KNOB / 2)]
LABELS = ["Wet/Dry", "Sustain"]

# The knob turns through 270 degrees: value 0 points to half past seven, value 1 to half past four.
SWEEP_START = -135.0
SWEEP = 270.0

# --- Palette ------------------------------------------------------------------------------------

AMBER = (255, 168, 72)
AMBER_DEEP = (214, 112, 40)
INK = (236, 231, 222)        # lettering
INK_MUTED = (138, 144, 158)
PANEL_TOP = (44, 47, 57)
PANEL_BOTTOM = (22, 23, 28)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def smoothstep(e0, e1, x):
    t = clamp01((x - e0) / (e1 - e0))
    return t * t * (3.0 - 2.0 * t)


def noise(x, y, seed=0):
    """A repeatable value in [-1, 1] per integer position."""
    h = (x * 374761393 + y * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 1274126177) & 0xFFFFFFFF
    h ^= h >> 16
    return (h & 0xFFFF) / 32767.5 - 1.0


def smooth_noise(t, seed=0):
    """Noise along one axis, interpolated smoothly between integer positions."""
    i = math.floor(t)
    f = t - i
    f = f * f * (3.0 - 2.0 * f)
    return noise(i, 0, seed) * (1.0 - f) + noise(i + 1, 0, seed) * f


# --- Canvas: premultiplied floating-point RGBA ---------------------------------------------------

class Canvas:
    def __init__(self, w, h, color=None):
        self.w, self.h = w, h
        n = w * h
        if color is None:
            self.r, self.g, self.b, self.a = [0.0] * n, [0.0] * n, [0.0] * n, [0.0] * n
        else:
            self.r, self.g, self.b = [float(color[0])] * n, [float(color[1])] * n, [float(color[2])] * n
            self.a = [1.0] * n

    def over(self, i, color, alpha):
        """Composites `color` at coverage `alpha` over pixel i."""
        if alpha <= 0.0:
            return
        if alpha > 1.0:
            alpha = 1.0
        k = 1.0 - alpha
        self.r[i] = self.r[i] * k + color[0] * alpha
        self.g[i] = self.g[i] * k + color[1] * alpha
        self.b[i] = self.b[i] * k + color[2] * alpha
        self.a[i] = self.a[i] * k + alpha

    def paint(self, box, shade):
        """Calls shade(x, y) for every pixel centre in box = (x0, y0, x1, y1); shade answers
        (color, alpha) or None."""
        x0, y0, x1, y1 = box
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        for y in range(y0, y1):
            row = y * self.w
            for x in range(x0, x1):
                result = shade(x + 0.5, y + 0.5)
                if result is not None:
                    self.over(row + x, result[0], result[1])

    def composite(self, other, ox, oy):
        """Lays another canvas over this one with its top-left corner at (ox, oy)."""
        for y in range(other.h):
            for x in range(other.w):
                j = y * other.w + x
                a = other.a[j]
                if a <= 0.0:
                    continue
                i = (y + oy) * self.w + x + ox
                k = 1.0 - a
                self.r[i] = self.r[i] * k + other.r[j]
                self.g[i] = self.g[i] * k + other.g[j]
                self.b[i] = self.b[i] * k + other.b[j]
                self.a[i] = self.a[i] * k + a

    def straight_rows(self):
        """Rows of 8-bit straight-alpha RGBA bytes, as the PNG stores them."""
        rows = []
        for y in range(self.h):
            row = bytearray()
            for x in range(self.w):
                i = y * self.w + x
                a = self.a[i]
                if a <= 0.0005:
                    row += b"\0\0\0\0"
                    continue
                row += bytes((to_byte(self.r[i] / a), to_byte(self.g[i] / a),
                              to_byte(self.b[i] / a), to_byte(a * 255.0)))
            rows.append(bytes(row))
        return rows


def to_byte(v):
    v = int(v + 0.5)
    return 0 if v < 0 else 255 if v > 255 else v


# --- Shapes --------------------------------------------------------------------------------------

def disc(canvas, cx, cy, radius, color_at, opacity=1.0):
    """A filled circle; color_at(x, y) may vary the colour across it."""
    def shade(x, y):
        cov = clamp01(radius - math.hypot(x - cx, y - cy) + 0.5)
        if cov <= 0.0:
            return None
        return color_at(x, y), cov * opacity
    canvas.paint((cx - radius - 1, cy - radius - 1, cx + radius + 1, cy + radius + 1), shade)


def ring(canvas, cx, cy, r_in, r_out, color_at, opacity=1.0):
    def shade(x, y):
        d = math.hypot(x - cx, y - cy)
        cov = clamp01(r_out - d + 0.5) * clamp01(d - r_in + 0.5)
        if cov <= 0.0:
            return None
        return color_at(x, y), cov * opacity
    canvas.paint((cx - r_out - 1, cy - r_out - 1, cx + r_out + 1, cy + r_out + 1), shade)


def soft_disc(canvas, cx, cy, radius, softness, color, opacity):
    """A blurred circle (shadows and glows): full inside, fading over `softness` at the edge."""
    reach = radius + 2.5 * softness

    def shade(x, y):
        d = math.hypot(x - cx, y - cy)
        t = 0.5 - 0.5 * math.tanh((d - radius) / softness)
        if t < 0.002:
            return None
        return color, t * opacity
    canvas.paint((cx - reach, cy - reach, cx + reach, cy + reach), shade)


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0.0 else clamp01(((px - ax) * dx + (py - ay) * dy) / length2)
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def stroke(canvas, polylines, width, color, opacity=1.0, gain=1.0):
    """Strokes polylines (lists of points) with round ends and joins. The distance to the nearest
    segment is gathered segment by segment over each segment's own small box, then turned into
    coverage once, so overlapping segments never darken each other."""
    half = width / 2.0
    reach = half + 1.0
    dist = {}
    for line in polylines:
        pts = line if len(line) > 1 else [line[0], line[0]]
        for (ax, ay), (bx, by) in zip(pts, pts[1:]):
            x0 = max(0, int(math.floor(min(ax, bx) - reach)))
            x1 = min(canvas.w, int(math.ceil(max(ax, bx) + reach)))
            y0 = max(0, int(math.floor(min(ay, by) - reach)))
            y1 = min(canvas.h, int(math.ceil(max(ay, by) + reach)))
            for y in range(y0, y1):
                for x in range(x0, x1):
                    d = segment_distance(x + 0.5, y + 0.5, ax, ay, bx, by)
                    key = y * canvas.w + x
                    if d < dist.get(key, reach):
                        dist[key] = d
    for key, d in dist.items():
        cov = clamp01(half - d + 0.5)
        if cov > 0.0:
            # gain > 1 thickens the faint edge of thin light strokes on dark ground a little.
            canvas.over(key, color, (cov ** (1.0 / gain)) * opacity)


def arc_points(cx, cy, rx, ry, a0, a1, step=4.0):
    """Points of an elliptical arc, angles in degrees counter-clockwise with y pointing up
    (the glyph convention); the caller flips y."""
    n = max(2, int(abs(a1 - a0) / step) + 1)
    return [(cx + rx * math.cos(math.radians(a0 + (a1 - a0) * k / (n - 1))),
             cy + ry * math.sin(math.radians(a0 + (a1 - a0) * k / (n - 1)))) for k in range(n)]


# --- Lettering: a monoline geometric alphabet ------------------------------------------------------
#
# Units: cap height 1, x-height 0.68, descender -0.3; y points up from the baseline. Each glyph is
# (advance, strokes); a stroke is a polyline given as points ("L"), an elliptical arc ("A": centre,
# radii, start and end angle), or a dot ("D").

X = 0.68
R = X / 2


def L(*pts):
    return ("L", pts)


def A(cx, cy, rx, ry, a0, a1):
    return ("A", (cx, cy, rx, ry, a0, a1))


def D(x, y):
    return ("D", (x, y))


GLYPHS = {
    " ": (0.30, []),
    "a": (X, [A(R, R, R, R, 0, 360), L((X, 0), (X, X))]),
    "b": (X, [L((0, 0), (0, 1)), A(R, R, R, R, 0, 360)]),
    "d": (X, [A(R, R, R, R, 0, 360), L((X, 0), (X, 1))]),
    "e": (X, [L((0.02, R), (X, R)), A(R, R, R, R, 0, 318)]),
    "f": (0.42, [L((0.14, 0), (0.14, 0.78)), A(0.36, 0.78, 0.22, 0.22, 180, 40),
                 L((0, 0.64), (0.40, 0.64))]),
    "g": (X, [A(R, R, R, R, 0, 360), L((X, X), (X, -0.06)), A(R, -0.06, R, 0.24, 0, -155)]),
    "h": (0.62, [L((0, 0), (0, 1)), A(0.31, 0.37, 0.31, 0.31, 180, 0), L((0.62, 0.37), (0.62, 0))]),
    "i": (0.0, [L((0, 0), (0, X)), D(0, 0.93)]),
    "l": (0.0, [L((0, 0), (0, 1))]),
    "n": (0.62, [L((0, 0), (0, X)), A(0.31, 0.37, 0.31, 0.31, 180, 0), L((0.62, 0.37), (0.62, 0))]),
    "r": (0.40, [L((0, 0), (0, X)), A(0.30, 0.38, 0.30, 0.30, 180, 68)]),
    "s": (0.50, [A(0.255, 0.515, 0.235, 0.165, 28, 270), A(0.255, 0.175, 0.255, 0.175, 90, -150)]),
    "t": (0.34, [L((0.14, 0.94), (0.14, 0)), L((0, 0.64), (0.34, 0.64))]),
    "u": (0.62, [L((0, X), (0, 0.31)), A(0.31, 0.31, 0.31, 0.31, 180, 360), L((0.62, X), (0.62, 0))]),
    "y": (0.64, [L((0, X), (0.32, 0)), L((0.64, X), (0.18, -0.30))]),
    "/": (0.40, [L((0, -0.12), (0.40, 1.08))]),
    "B": (0.58, [L((0.30, 0.53), (0, 0.53)), L((0.28, 1), (0, 1), (0, 0), (0.32, 0)),
                 A(0.28, 0.765, 0.235, 0.235, 90, -90), A(0.32, 0.265, 0.265, 0.265, 90, -90)]),
    "C": (0.86, [A(0.5, 0.5, 0.5, 0.5, 44, 316)]),
    "D": (0.74, [L((0.24, 1), (0, 1), (0, 0), (0.24, 0)), A(0.24, 0.5, 0.5, 0.5, 90, -90)]),
    "E": (0.50, [L((0.50, 1), (0, 1), (0, 0), (0.50, 0)), L((0, 0.5), (0.44, 0.5))]),
    "I": (0.0, [L((0, 0), (0, 1))]),
    "K": (0.56, [L((0, 0), (0, 1)), L((0.56, 1), (0, 0.40)), L((0.20, 0.61), (0.58, 0))]),
    "L": (0.46, [L((0, 1), (0, 0), (0.46, 0))]),
    "M": (0.84, [L((0, 0), (0, 1), (0.42, 0.08), (0.84, 1), (0.84, 0))]),
    "N": (0.70, [L((0, 0), (0, 1), (0.70, 0), (0.70, 1))]),
    "O": (1.0, [A(0.5, 0.5, 0.5, 0.5, 0, 360)]),
    "R": (0.56, [L((0.28, 0.47), (0, 0.47)), L((0.28, 1), (0, 1), (0, 0)),
                 A(0.28, 0.735, 0.265, 0.265, 90, -90), L((0.24, 0.47), (0.56, 0))]),
    "S": (0.60, [A(0.30, 0.745, 0.26, 0.255, 32, 270), A(0.30, 0.245, 0.30, 0.245, 90, -148)]),
    "T": (0.62, [L((0, 1), (0.62, 1)), L((0.31, 1), (0.31, 0))]),
    "U": (0.70, [L((0, 1), (0, 0.36)), A(0.35, 0.36, 0.35, 0.36, 180, 360), L((0.70, 0.36), (0.70, 1))]),
    "V": (0.68, [L((0, 1), (0.34, 0), (0.68, 1))]),
    "W": (0.92, [L((0, 1), (0.23, 0), (0.46, 0.92), (0.69, 0), (0.92, 1))]),
}

# Pairs that sit too far apart or too close by their outlines alone (units of cap height).
KERNING = {("W", "e"): -0.08, ("t", "/"): -0.04, ("/", "D"): -0.02, ("r", "y"): -0.06,
           ("f", "a"): -0.02, ("r", "i"): -0.02, ("V", "E"): -0.04,
           ("T", "I"): -0.02, ("L", "U"): -0.04, ("L", "T"): -0.10}


def layout(text, size, tracking):
    """Glyph strokes in pixel units relative to the pen start, and the text's advance."""
    lines = []
    dots = []
    pen = 0.0
    for index, ch in enumerate(text):
        advance, strokes = GLYPHS[ch]
        for kind, args in strokes:
            if kind == "L":
                lines.append([(pen + x * size, -y * size) for x, y in args])
            elif kind == "A":
                cx, cy, rx, ry, a0, a1 = args
                lines.append([(pen + x * size, -y * size)
                              for x, y in arc_points(cx, cy, rx, ry, a0, a1, 3.0 if size > 20 else 6.0)])
            else:
                dots.append((pen + args[0] * size, -args[1] * size))
        pen += advance * size
        if index + 1 < len(text):
            pen += tracking + KERNING.get((ch, text[index + 1]), 0.0) * size
    return lines, dots, pen


def draw_text(canvas, text, x, baseline, size, weight, color, tracking, opacity=1.0,
              align="left", gain=1.0):
    """Draws text with cap height `size` px and stroke `weight` px. x is the left end of the
    first stroke's centre line, or the centre of the text for align="center"."""
    lines, dots, advance = layout(text, size, tracking)
    if align == "center":
        x -= advance / 2.0
    lines = [[(x + px, baseline + py) for px, py in line] for line in lines]
    dots = [(x + px, baseline + py) for px, py in dots]
    stroke(canvas, lines + [[d] for d in dots], weight, color, opacity, gain)


# --- The knob ------------------------------------------------------------------------------------

def direction(value):
    """Unit vector of the knob's pointer at a value in [0, 1], in screen coordinates (y down)."""
    angle = math.radians(SWEEP_START + SWEEP * value)
    return math.sin(angle), -math.cos(angle)


def clock_angle(dx, dy):
    """Degrees clockwise from twelve o'clock of a screen-space offset, in (-180, 180]."""
    return math.degrees(math.atan2(dx, -dy))


def arc_band(canvas, cx, cy, radius, width, a_from, a_to, color, opacity):
    """A band along a circle between two clock angles, with round ends."""
    half = width / 2.0
    ends = [(cx + radius * math.sin(math.radians(a)), cy - radius * math.cos(math.radians(a)))
            for a in (a_from, a_to)]

    def shade(x, y):
        dx, dy = x - cx, y - cy
        a = clock_angle(dx, dy)
        if a_from <= a <= a_to:
            d = abs(math.hypot(dx, dy) - radius)
        else:
            d = min(math.hypot(x - ex, y - ey) for ex, ey in ends)
        cov = clamp01(half - d + 0.5)
        return (color, cov * opacity) if cov > 0.0 else None
    reach = radius + half + 1
    canvas.paint((cx - reach, cy - reach, cx + reach, cy + reach), shade)


def knob_frame(value):
    c = Canvas(KNOB, KNOB)
    cx = cy = KNOB / 2.0
    body = 20.5       # the turning cap
    skirt = 23.0      # the collar under it

    # Shadows: a wide soft one for depth, a tight one to seat the knob on the panel.
    soft_disc(c, cx, cy + 3.0, skirt - 0.5, 3.2, (0, 0, 0), 0.55)
    soft_disc(c, cx, cy + 1.0, skirt, 1.0, (0, 0, 0), 0.45)

    # The value track and, over it, the amber arc up to the value.
    arc_band(c, cx, cy, 28.6, 2.4, SWEEP_START, SWEEP_START + SWEEP, (0, 0, 0), 0.42)
    if value > 0.0:
        end = SWEEP_START + SWEEP * value
        arc_band(c, cx, cy, 28.6, 4.6, SWEEP_START, end, AMBER, 0.16)   # glow
        arc_band(c, cx, cy, 28.6, 2.2, SWEEP_START, end, AMBER, 1.0)

    # Collar: dark knurled metal, lit from above.
    def collar(x, y):
        dx, dy = x - cx, y - cy
        light = -dy / max(1e-6, math.hypot(dx, dy))         # 1 at the top, -1 at the bottom
        knurl = 0.5 + 0.5 * math.cos(math.atan2(dy, dx) * 48)
        base = 44 + 16 * light + 6 * knurl
        return (base, base + 1, base + 4)
    disc(c, cx, cy, skirt, collar)
    ring(c, cx, cy, skirt - 1.0, skirt, lambda x, y: mix((10, 10, 12), (120, 124, 132),
                                                         clamp01(0.5 - (y - cy) / skirt)), 0.9)

    # Cap: brushed dark aluminium. The conic sheen stays put as the knob turns, as real light does.
    def cap(x, y):
        dx, dy = x - cx, y - cy
        r = math.hypot(dx, dy)
        a = math.atan2(dy, dx)
        sheen = 0.5 + 0.5 * math.cos(2 * (a + 0.95))
        sheen = 0.75 * sheen ** 2.5 + 0.25 * (0.5 + 0.5 * math.cos(2 * (a - 0.6))) ** 4
        grain = 0.022 * smooth_noise(r * 5.0, 7) + 0.012 * smooth_noise(r * 13.0, 11)
        top = 0.07 * (-dy / body)                            # lighter towards the light
        v = 0.27 + 0.20 * sheen + top + grain
        return (200 * v + 6, 204 * v + 6, 214 * v + 9)
    disc(c, cx, cy, body, cap)
    # Bevel: a bright lip on top fading to a dark one below, and a thin shade just inside it.
    ring(c, cx, cy, body - 1.3, body, lambda x, y: mix((18, 18, 20), (205, 208, 214),
                                                       smoothstep(0.6, -0.9, (y - cy) / body)), 0.85)
    ring(c, cx, cy, body - 2.6, body - 1.3, lambda x, y: (0, 0, 0), 0.12)

    # Pointer: an amber line from near the centre to near the rim, with a faint glow.
    ux, uy = direction(value)
    inner, outer = 7.0, body - 4.0
    pts = [[(cx + ux * inner, cy + uy * inner), (cx + ux * outer, cy + uy * outer)]]
    stroke(c, pts, 5.0, AMBER, 0.14)
    stroke(c, pts, 2.4, AMBER, 1.0)
    # A dimple at the centre of the cap.
    disc(c, cx, cy, 2.2, lambda x, y: mix((30, 31, 35), (90, 93, 100), clamp01(0.5 + (y - cy) / 3)), 0.8)
    return c


# --- The panel -----------------------------------------------------------------------------------

def background():
    w, h = EDITOR_W, EDITOR_H
    c = Canvas(w, h, (0, 0, 0))
    # Matte panel: a vertical gradient under a broad light from above, a fine grain that also
    # keeps the gradient from banding, and darker corners.
    for y in range(h):
        for x in range(w):
            t = y / (h - 1)
            col = mix(PANEL_TOP, PANEL_BOTTOM, t ** 0.9)
            glow = math.exp(-(((x - w / 2) / 230.0) ** 2 + ((y + 30) / 150.0) ** 2))
            vignette = 1.0 - 0.18 * (((x - w / 2) / (w / 2)) ** 2) * (0.5 + t)
            grain = 1.6 * noise(x, y, 3)
            i = y * w + x
            c.r[i] = col[0] * vignette + 16 * glow + grain
            c.g[i] = col[1] * vignette + 15 * glow + grain
            c.b[i] = col[2] * vignette + 18 * glow + grain

    # Bevelled edge: a light line along the top and left, shade along the bottom and right.
    for x in range(w):
        c.over(x, (255, 255, 255), 0.10)
        c.over(w + x, (255, 255, 255), 0.03)
        c.over((h - 1) * w + x, (0, 0, 0), 0.45)
    for y in range(h):
        c.over(y * w, (255, 255, 255), 0.05)
        c.over(y * w + w - 1, (0, 0, 0), 0.35)

    # Header: the product name, a small subtitle, and an engraved rule under them.
    draw_text(c, "Brightfall", w / 2, 47, 27, 2.5, INK, 3.2, align="center", gain=1.2)
    draw_text(c, "CONVOLUTION REVERB", w / 2, 68, 6.5, 1.05, INK_MUTED, 4.0, align="center",
              gain=1.3)
    for x in range(40, w - 40):
        fade = smoothstep(40, 120, x) * smoothstep(w - 40, w - 120, x)
        c.over(84 * w + x, (0, 0, 0), 0.45 * fade)
        c.over(85 * w + x, (255, 255, 255), 0.06 * fade)
    # An amber spark on the rule: the light the name speaks of.
    soft_disc(c, w / 2, 84.5, 1.0, 6.0, AMBER, 0.22)
    disc(c, w / 2, 84.5, 1.4, lambda x, y: (255, 214, 160), 0.9)

    for (kx, ky), label in zip(KNOB_CENTRES, LABELS):
        # A shallow well the knob sits in: darker, with a shaded upper edge and a lit lower one.
        soft_disc(c, kx, ky, 33.5, 1.2, (8, 9, 12), 0.35)
        ring(c, kx, ky, 33.0, 34.2, lambda x, y, ky=ky: mix((0, 0, 0), (255, 255, 255),
                                                             smoothstep(-0.4, 0.9, (y - ky) / 34)),
             0.10)
        # Scale: eleven ticks over the sweep, the ends and the middle longer.
        for k in range(11):
            v = k / 10.0
            ux, uy = direction(v)
            major = k in (0, 5, 10)
            r0, r1 = 36.5, (41.0 if major else 39.2)
            stroke(c, [[(kx + ux * r0, ky + uy * r0), (kx + ux * r1, ky + uy * r1)]],
                   1.3 if major else 1.0, INK_MUTED, 0.9 if major else 0.6)
        draw_text(c, label, kx, ky + 59, 9.5, 1.3, INK, 1.6, align="center", gain=1.25)

    # Between the knobs, the reverb's own impulse response drawn small: noise under a falling
    # quarter circle, the first line (the direct sound) in amber.
    cx, cy = w / 2.0, KNOB_CENTRES[0][1]
    count = 27
    for k in range(count):
        t = k / float(count)
        x = cx - 34 + k * 68.0 / (count - 1)
        envelope = math.sqrt(max(0.0, 1.0 - t * t))
        height = 20.0 * envelope * (0.30 + 0.70 * abs(noise(k, 5, 9))) if k else 22.0
        color = AMBER if k == 0 else INK_MUTED
        opacity = 0.95 if k == 0 else 0.22 + 0.30 * envelope
        stroke(c, [[(x, cy - height), (x, cy + height)]], 1.2, color, opacity)
    for x in range(int(cx - 40), int(cx + 42)):
        fade = smoothstep(cx - 40, cx - 30, x) * smoothstep(cx + 42, cx + 30, x)
        c.over(int(cy) * w + x, INK_MUTED, 0.25 * fade)

    # Maker's mark at the foot of the panel, between the knobs.
    draw_text(c, "DUSKMERE", w / 2, h - 14, 5.5, 0.95, INK_MUTED, 3.6, opacity=0.75, align="center",
              gain=1.3)
    return c


# --- PNG output ----------------------------------------------------------------------------------

def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_rows(rows, bpp=4):
    """Picks per row the PNG filter with the smallest sum of magnitudes (the usual heuristic)."""
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        candidates = []
        n = len(row)
        left = lambda i: row[i - bpp] if i >= bpp else 0
        up_left = lambda i: prev[i - bpp] if i >= bpp else 0
        candidates.append((0, row))
        candidates.append((1, bytes((row[i] - left(i)) & 0xFF for i in range(n))))
        candidates.append((2, bytes((row[i] - prev[i]) & 0xFF for i in range(n))))
        candidates.append((3, bytes((row[i] - ((left(i) + prev[i]) >> 1)) & 0xFF for i in range(n))))
        candidates.append((4, bytes((row[i] - paeth(left(i), prev[i], up_left(i))) & 0xFF
                                    for i in range(n))))
        kind, data = min(candidates, key=lambda c: sum(v if v < 128 else 256 - v for v in c[1]))
        out.append(kind)
        out += data
        prev = row
    return bytes(out)


def write_png(path, width, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    ihdr = struct.pack(">IIBBBBB", width, len(rows), 8, 6, 0, 0, 0)   # 8-bit RGBA
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
           chunk(b"IDAT", zlib.compress(filter_rows(rows), 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--preview", metavar="PATH",
                        help="also write the editor composed at Wet/Dry 0.35 and Sustain 0.8")
    parser.add_argument("--out", metavar="DIR", default=os.path.dirname(os.path.abspath(__file__)),
                        help="where to write the images (default: beside this script)")
    args = parser.parse_args()

    frames = [knob_frame(k / (FRAMES - 1)) for k in range(FRAMES)]
    strip = []
    for frame in frames:
        strip += frame.straight_rows()
    write_png(os.path.join(args.out, "knob_64x64px_31frames.png"), KNOB, strip)

    panel = background()
    write_png(os.path.join(args.out, "duskmere_back_404x250px.png"), EDITOR_W, panel.straight_rows())

    if args.preview:
        for (x, value) in ((KNOB1_X, 0.35), (KNOB2_X, 0.8)):
            panel.composite(frames[round(value * (FRAMES - 1))], x, KNOB_Y)
        write_png(args.preview, EDITOR_W, panel.straight_rows())


if __name__ == "__main__":
    main()
