"""Signed distances (negative inside, in pixels) of the shapes the OSD
artwork is built from, and their combinations. A pixel's coverage is read
from the distance at its centre, which gives smooth edges without
supersampling and the same bytes on every machine."""

import math


def coverage(distance):
    return min(1.0, max(0.0, 0.5 - distance))


def union(*distances):
    return min(distances)


def cut(distance, cutter):
    """The shape with the cutter's area taken out."""
    return max(distance, -cutter)


def intersect(*distances):
    return max(distances)


def box(x, y, left, top, right, bottom):
    dx = max(left - x, x - right)
    dy = max(top - y, y - bottom)
    outside = math.hypot(max(dx, 0.0), max(dy, 0.0))
    return outside + min(max(dx, dy), 0.0)


def rounded_box(x, y, left, top, right, bottom, radius):
    return box(x, y, left + radius, top + radius, right - radius, bottom - radius) - radius


def circle(x, y, cx, cy, radius):
    return math.hypot(x - cx, y - cy) - radius


def ring(x, y, cx, cy, radius, half_width):
    return abs(circle(x, y, cx, cy, radius)) - half_width


def capsule(x, y, ax, ay, bx, by, half_width):
    """A stroke from a to b with round ends."""
    px, py = x - ax, y - ay
    ux, uy = bx - ax, by - ay
    t = min(1.0, max(0.0, (px * ux + py * uy) / (ux * ux + uy * uy)))
    return math.hypot(px - ux * t, py - uy * t) - half_width


def stroke(x, y, ax, ay, bx, by, half_width):
    """A stroke from a to b with square ends cut at a and b."""
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    along = (x - ax) * ux + (y - ay) * uy
    across = -(x - ax) * uy + (y - ay) * ux
    return box(along, across, 0.0, -half_width, length, half_width)


def half_plane(x, y, px, py, nx, ny):
    """Everything on the side of the line through p that the normal n points away from."""
    length = math.hypot(nx, ny)
    return ((x - px) * nx + (y - py) * ny) / length


def rotate(x, y, cx, cy, degrees):
    """The point turned about c; shapes drawn upright are turned this way."""
    a = math.radians(degrees)
    dx, dy = x - cx, y - cy
    return cx + dx * math.cos(a) - dy * math.sin(a), cy + dx * math.sin(a) + dy * math.cos(a)
