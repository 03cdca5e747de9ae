#!/usr/bin/env python3
"""Draws the application icon, a keyboard key with "Fn" on it, and writes it
as a Windows .ico with a 16x16 and a 32x32 image (32-bit, alpha).

The output depends on nothing but this file, so every build makes the same
bytes. Usage: make_icon.py OUTPUT.ico
"""

import struct
import sys

OUTLINE = (0x3A, 0x3F, 0x47)
SKIRT = (0x8A, 0x91, 0x9C)
TOP_LIGHT = (0xF4, 0xF6, 0xF8)
TOP_DARK = (0xD6, 0xDA, 0xE0)
LEGEND = (0x2A, 0x5D, 0xB0)

# 3x5 letters, '#' is ink.
LETTERS = {
    "F": ["###", "#..", "##.", "#..", "#.."],
    "n": ["...", "##.", "#.#", "#.#", "#.#"],
}

SAMPLES = 4  # per axis, for smooth rounded corners


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def coverage(px, py, rect):
    hits = 0
    for sy in range(SAMPLES):
        for sx in range(SAMPLES):
            x = px + (sx + 0.5) / SAMPLES
            y = py + (sy + 0.5) / SAMPLES
            hits += in_rounded_rect(x, y, *rect)
    return hits / (SAMPLES * SAMPLES)


def blend(under, over, amount):
    return tuple(round(u + (o - u) * amount) for u, o in zip(under, over))


def draw(size):
    """Returns rows of (r, g, b, a), top row first."""
    unit = size / 16
    cap = (0.5 * unit, 1 * unit, size - 0.5 * unit, size - 1 * unit, 2.5 * unit)
    skirt = (1.5 * unit, 2 * unit, size - 1.5 * unit, size - 2 * unit, 1.5 * unit)
    top = (3 * unit, 2.5 * unit, size - 3 * unit, size - 4.5 * unit, 1.5 * unit)
    top_height = top[3] - top[1]

    scale = max(1, size // 16)
    legend = "Fn"
    legend_width = (len(legend) * 4 - 1) * scale
    legend_left = (size - legend_width) // 2
    legend_top = round(top[1] + (top_height - 5 * scale) / 2)

    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            alpha = coverage(px, py, cap)
            color = OUTLINE
            color = blend(color, SKIRT, coverage(px, py, skirt))
            shade = min(max((py + 0.5 - top[1]) / top_height, 0), 1)
            color = blend(color, blend(TOP_LIGHT, TOP_DARK, shade), coverage(px, py, top))
            lx, ly = (px - legend_left) // scale, (py - legend_top) // scale
            if 0 <= ly < 5 and 0 <= lx and lx % 4 < 3 and lx // 4 < len(legend):
                if LETTERS[legend[lx // 4]][ly][lx % 4] == "#":
                    color = LEGEND
            row.append(color + (round(alpha * 255),))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, AND mask."""
    rows = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(
        bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    sizes = (16, 32)
    images = [icon_image(size) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(sys.argv[1], "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
