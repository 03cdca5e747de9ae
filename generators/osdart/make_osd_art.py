#!/usr/bin/env python3
"""Draws the OSD artwork: the four bitmap resources 200-203 (72x72, 4-bit
greys, a white symbol on black) and the two sample skins (160x160 RGBA
PNGs with soft edges and a see-through body).

The output depends on nothing but these files, so every build makes the
same bytes. Usage: make_osd_art.py BITMAP_DIR SKIN_DIR
"""

import math
import os
import sys

from imagefiles import write_grey_bmp, write_rgba_png
from sdf import (box, capsule, circle, coverage, cut, half_plane, intersect, ring, rotate,
                 rounded_box, stroke, union)

BITMAP_SIZE = 72
SKIN_SIZE = 160

# Heavy letters: stroke, cap height and x-height in pixels.
STROKE = 6.0
CAP = 21.0
XHEIGHT = 15.0
LETTER_GAP = 2.0


def letter_f(x, y, left, base):
    top = base - CAP
    return union(box(x, y, left, top, left + STROKE, base),
                 box(x, y, left, top, left + 13, top + STROKE),
                 box(x, y, left, top + 8.5, left + 11.5, top + 8.5 + STROKE * 0.9))


def letter_n(x, y, left, base):
    width = 15.0
    radius = width / 2
    cx, cy = left + radius, base - XHEIGHT + radius
    arch = intersect(ring(x, y, cx, cy, radius - STROKE / 2, STROKE / 2), y - cy)
    return union(box(x, y, left, base - XHEIGHT, left + STROKE, base),
                 box(x, y, left + width - STROKE, cy, left + width, base), arch)


def letter_l(x, y, left, base):
    return union(box(x, y, left, base - CAP, left + STROKE, base),
                 box(x, y, left, base - STROKE, left + 12, base))


def letter_o(x, y, left, base):
    radius = XHEIGHT / 2 + 0.5
    return ring(x, y, left + radius, base - XHEIGHT / 2, radius - STROKE / 2, STROKE / 2)


def letter_c(x, y, left, base):
    radius = XHEIGHT / 2 + 0.5
    cx, cy = left + radius, base - XHEIGHT / 2
    # The opening: a wedge of about 70 degrees facing right.
    wedge = intersect(half_plane(x, y, cx, cy, -0.57, 1.0), half_plane(x, y, cx, cy, -0.57, -1.0))
    return cut(ring(x, y, cx, cy, radius - STROKE / 2, STROKE / 2), wedge)


def letter_k(x, y, left, base):
    width = 14.0
    band = box(x, y, left, base - XHEIGHT, left + width, base)
    arm = stroke(x, y, left + STROKE - 1, base - 5.5, left + width + 2, base - XHEIGHT - 3, 3.0)
    leg = stroke(x, y, left + STROKE + 0.5, base - 8.5, left + width + 2, base + 3, 3.2)
    return union(box(x, y, left, base - CAP, left + STROKE, base),
                 intersect(union(arm, leg), band))


WIDTHS = {letter_f: 13.0, letter_n: 15.0, letter_l: 12.0, letter_o: 16.0, letter_c: 14.5,
          letter_k: 14.0}


def word(letters, base):
    """A word centred on the bitmap; returns its distance function."""
    width = sum(WIDTHS[letter] for letter in letters) + LETTER_GAP * (len(letters) - 1)
    lefts, left = [], (BITMAP_SIZE - width) / 2
    for letter in letters:
        lefts.append(left)
        left += WIDTHS[letter] + LETTER_GAP
    return lambda x, y: union(*(letter(x, y, l, base) for letter, l in zip(letters, lefts)))


FN = word([letter_f, letter_n], 32.0)
LOCK = word([letter_l, letter_o, letter_c, letter_k], 61.0)


def fn_lock(x, y):
    return union(FN(x, y), LOCK(x, y))


def microphone(x, y):
    """A hand microphone turned 45 degrees: head top right, handle bottom left."""
    c = BITMAP_SIZE / 2
    u, v = rotate(x, y, c, c, -45)  # upright: head up, centred on x = c
    head_y = c - 16
    head = circle(u, v, c, head_y, 14.5)
    # Dark grille lines across the head.
    grille = union(*(box(u, v, c - 20, head_y + dy - 0.9, c + 20, head_y + dy + 0.9)
                     for dy in (-7.0, 0.0, 7.0)))
    collar = rounded_box(u, v, c - 9, c + 0.5, c + 9, c + 6.5, 2)
    handle_top, handle_end = c + 8.5, c + 26
    t = min(1.0, max(0.0, (v - handle_top) / (handle_end - handle_top)))
    handle = intersect(box(u, v, c - 10, handle_top, c + 10, handle_end), abs(u - c) - (7 - 2.5 * t))
    tip = circle(u, v, c, handle_end, 4.5)
    return union(cut(head, grille), collar, handle, tip)


def struck(symbol):
    """The symbol crossed from top left to bottom right by a bar, with a dark
    margin on both sides so the bar stands apart from what it crosses."""
    def shape(x, y):
        bar = capsule(x, y, 8, 8, 64, 64, 2.75)
        return union(cut(symbol(x, y), bar - 2.25), bar)
    return shape


def draw_bitmap(shape):
    return [[round(coverage(shape(x + 0.5, y + 0.5)) * 15) for x in range(BITMAP_SIZE)]
            for y in range(BITMAP_SIZE)]


BITMAPS = {
    200: struck(fn_lock),
    201: fn_lock,
    202: struck(microphone),
    203: microphone,
}


def over(under, color, amount):
    """Paints color (r, g, b, a in 0-1) over under with the given coverage."""
    alpha = color[3] * amount
    out_alpha = alpha + under[3] * (1 - alpha)
    if out_alpha == 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((color[i] * alpha + under[i] * under[3] * (1 - alpha)) / out_alpha
                 for i in range(3)) + (out_alpha,)


def fan(x, y, cx, cy):
    blades = []
    for k in range(5):
        bx, by = rotate(x, y, cx, cy, -72 * k)
        # One blade, swept: an ellipse leaning away from the radius.
        u, v = rotate(bx, by, cx, cy - 17, 28)
        du, dv = (u - cx) / 8.5, (v - (cy - 17)) / 15.0
        blades.append((math.hypot(du, dv) - 1.0) * 8.5)
    return union(cut(union(*blades), circle(x, y, cx, cy, 10.5)), circle(x, y, cx, cy, 7.5))


def sparkle(x, y, cx, cy):
    """A four-pointed star: the smart mode."""
    dx, dy = abs(x - cx), abs(y - cy)
    return max(math.sqrt(dx) + math.sqrt(dy) - math.sqrt(8.5), -1.0)


def bolt(x, y, cx, cy):
    """A lightning bolt: the performance mode."""
    upper = stroke(x, y, cx + 4.5, cy - 10, cx - 3.0, cy + 1.5, 2.4)
    lower = stroke(x, y, cx + 3.0, cy - 1.5, cx - 4.5, cy + 10, 2.4)
    middle = box(x, y, cx - 3.5, cy - 1.6, cx + 3.5, cy + 1.6)
    return union(upper, lower, middle)


SKINS = {
    "OSDIntelligence.png": ((0.16, 0.78, 1.0), 2, sparkle),
    "OSDPerformance.png": ((1.0, 0.42, 0.16), 3, bolt),
}


def draw_skin(accent, level, emblem):
    white = (1.0, 1.0, 1.0, 1.0)
    rows = []
    for py in range(SKIN_SIZE):
        row = []
        for px in range(SKIN_SIZE):
            x, y = px + 0.5, py + 0.5
            body = rounded_box(x, y, 12, 12, 148, 148, 30)
            # A soft shadow fading out around the body.
            glow = max(0.0, 1 - max(body, 0.0) / 10) ** 2 if body > -1 else 0.0
            pixel = (0.0, 0.0, 0.0, 0.0)
            pixel = over(pixel, (0.0, 0.0, 0.0, 0.35), glow)
            pixel = over(pixel, (0.09, 0.11, 0.14, 0.72), coverage(body))
            pixel = over(pixel, (1.0, 1.0, 1.0, 0.22), coverage(abs(body + 1.0) - 0.75))
            pixel = over(pixel, accent + (0.9,), coverage(ring(x, y, 80, 70, 40, 3.0)))
            pixel = over(pixel, white, coverage(fan(x, y, 80, 70)))
            # The mode's level: three bars, as many lit as the mode is strong.
            for i in range(3):
                bar = rounded_box(x, y, 57 + i * 17, 124, 70 + i * 17, 131, 3.5)
                lit = accent + (1.0,) if i < level else (1.0, 1.0, 1.0, 0.25)
                pixel = over(pixel, lit, coverage(bar))
            badge = circle(x, y, 110, 40, 13)
            pixel = over(pixel, (0.09, 0.11, 0.14, 1.0), coverage(badge - 2.5))
            pixel = over(pixel, accent + (1.0,), coverage(badge))
            pixel = over(pixel, white, coverage(emblem(x, y, 110, 40)))
            row.append(tuple(round(c * 255) for c in pixel[:3]) + (round(pixel[3] * 255),))
        rows.append(row)
    return rows


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    bitmap_dir, skin_dir = sys.argv[1], sys.argv[2]
    os.makedirs(bitmap_dir, exist_ok=True)
    os.makedirs(skin_dir, exist_ok=True)
    for image_id, shape in BITMAPS.items():
        write_grey_bmp(os.path.join(bitmap_dir, f"osd{image_id}.bmp"), draw_bitmap(shape))
    for name, (accent, level, emblem) in SKINS.items():
        write_rgba_png(os.path.join(skin_dir, name), draw_skin(accent, level, emblem))


if __name__ == "__main__":
    main()
