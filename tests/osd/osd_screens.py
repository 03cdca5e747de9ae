#!/usr/bin/python3
"""Screenshots of the OSD bar in each of its six states, compared pixel by
pixel with what the bitmaps and skins themselves say the screen must show.

Runs on the X server of scripts/with-display, with a compositing manager
(xcompmgr) as a desktop has one: without it X shows a per-pixel-alpha
window's premultiplied colours over black instead of blending them. The
probe program (tests/win/OsdScreenProbe.cpp) keeps a checkerboard behind
the bar, so blending shows against two colours.

Writes every screenshot and a contact sheet of the six states to --out;
exits 1 when any check fails.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

from PIL import Image, ImageDraw, ImageGrab

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")

# Top-left corners of a bitmap bar (75 x 75) and a skin bar (160 x 160).
CORNERS = {
    (1920, 1080): {"bitmap": (922, 919), "skin": (880, 834)},
    (1366, 768): {"bitmap": (645, 607), "skin": (603, 522)},
}
TILE = 32
TILE_COLORS = [(200, 60, 40), (30, 140, 220)]
BACK_COLOR = (0, 0, 0)  # fills the bar around a 72 x 72 bitmap
MARGIN = 6              # checked around the bar: the background must be intact there
WAIT = 20.0             # generous: a loaded machine may be slow to draw

# (command, image id, what the state is)
STATES = [
    ("show 2 0", 200, "Fn lock off"),
    ("show 2 1", 201, "Fn lock on"),
    ("show 1 1", 202, "microphone muted"),
    ("show 1 0", 203, "microphone on"),
    ("show 3 2", 204, "fan: intelligence"),
    ("show 3 3", 205, "fan: performance"),
]


def checker(x, y):
    return TILE_COLORS[(x // TILE + y // TILE) % 2]


class Probe:
    """The probe program under Wine, driven line by line."""

    def __init__(self, exe):
        self.process = subprocess.Popen([WINE_RUN, exe], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.expect("ready")

    def expect(self, word):
        line = self.process.stdout.readline().strip()
        if line != word:
            raise RuntimeError(f"probe said {line!r}, expected {word!r}")

    def send(self, command):
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        self.expect("done")

    def close(self):
        self.process.stdin.write("quit\n")
        self.process.stdin.close()
        self.process.wait(timeout=60)


def premultiplied_over(skin_pixel, under):
    """What the compositor shows: the premultiplied skin (channel x alpha /
    255, truncated, as the bar hands it over) over the pixel below."""
    r, g, b, a = skin_pixel
    return tuple(c * a // 255 + u * (255 - a) / 255 for c, u in zip((r, g, b), under))


class Screens:
    def __init__(self, args):
        self.out = args.out
        self.failures = []
        self.size = ImageGrab.grab().size
        if self.size not in CORNERS:
            raise RuntimeError(f"no expectations for a {self.size} screen")
        self.bitmaps = {i: Image.open(os.path.join(args.bitmaps, f"osd{i}.bmp")).convert("RGB")
                        for i in range(200, 204)}
        self.skins = {204: Image.open(os.path.join(args.skins, "OSDIntelligence.png")).convert("RGBA"),
                      205: Image.open(os.path.join(args.skins, "OSDPerformance.png")).convert("RGBA")}

    def expected(self, image_id):
        """{(x, y): (r, g, b) or (r, g, b, tolerance)} over the bar and a margin around it."""
        skin = image_id in self.skins
        left, top = CORNERS[self.size]["skin" if skin else "bitmap"]
        size = 160 if skin else 75
        pixels = {}
        for y in range(top - MARGIN, top + size + MARGIN):
            for x in range(left - MARGIN, left + size + MARGIN):
                u, v = x - left, y - top
                if not (0 <= u < size and 0 <= v < size):
                    pixels[(x, y)] = checker(x, y)
                elif skin:
                    pixels[(x, y)] = premultiplied_over(self.skins[image_id].getpixel((u, v)),
                                                        checker(x, y))
                elif u < 72 and v < 72:
                    pixels[(x, y)] = self.bitmaps[image_id].getpixel((u, v))
                else:
                    pixels[(x, y)] = BACK_COLOR
        return pixels

    def background(self):
        left, top = CORNERS[self.size]["skin"]
        return {(x, y): checker(x, y) for y in range(top - MARGIN, top + 160 + MARGIN)
                for x in range(left - MARGIN, left + 160 + MARGIN)}

    @staticmethod
    def mismatches(shot, pixels):
        """Pixels off by more than rounding (the blend of a skin may round
        either way; a bitmap and the background must match exactly)."""
        bad = []
        for (x, y), want in pixels.items():
            got = shot.getpixel((x, y))
            exact = all(float(w).is_integer() for w in want)
            if any(abs(g - w) > (0 if exact else 1) for g, w in zip(got, want)):
                bad.append(((x, y), got, tuple(round(w, 1) for w in want)))
        return bad

    def check(self, name, pixels, settle=0.0):
        """Waits until the screen shows the pixels, or WAIT seconds; with
        settle, also that it still does after that long (for something that
        must not appear)."""
        deadline = time.monotonic() + WAIT
        while True:
            shot = ImageGrab.grab()
            bad = self.mismatches(shot, pixels)
            if not bad or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        if not bad and settle:
            time.sleep(settle)
            shot = ImageGrab.grab()
            bad = self.mismatches(shot, pixels)
        shot.save(os.path.join(self.out, name + ".png"))
        if bad:
            self.failures.append(f"{name}: {len(bad)} of {len(pixels)} pixels differ, "
                                 f"first {bad[:3]} (got, expected)")
        print(f"{name}: {'ok' if not bad else 'FAILED'}", flush=True)
        return shot

    def contact_sheet(self, shots):
        tile, label = 200, 16
        sheet = Image.new("RGB", (3 * tile, 2 * (tile + label)), (40, 40, 40))
        draw = ImageDraw.Draw(sheet)
        for i, ((_, image_id, what), shot) in enumerate(zip(STATES, shots)):
            skin = image_id in self.skins
            left, top = CORNERS[self.size]["skin" if skin else "bitmap"]
            centre = (left + (80 if skin else 37), top + (80 if skin else 37))
            crop = shot.crop((centre[0] - tile // 2, centre[1] - tile // 2,
                              centre[0] + tile // 2, centre[1] + tile // 2))
            x, y = (i % 3) * tile, (i // 3) * (tile + label)
            sheet.paste(crop, (x, y + label))
            draw.text((x + 4, y + 2), f"{image_id} {what}", fill=(255, 255, 255))
        sheet.save(os.path.join(self.out, "contact-sheet.png"))


def copy_without_skins(probe, folder):
    """The probe in a folder whose skins are one undecodable file and one
    missing file."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(os.path.join(folder, "skins"))
    with open(os.path.join(folder, "skins", "OSDIntelligence.png"), "wb") as broken:
        broken.write(b"\x89PNG\r\n\x1a\n but nothing more")
    return shutil.copy(probe, folder)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--probe", required=True)
    parser.add_argument("--bitmaps", required=True)
    parser.add_argument("--skins", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)

    compositor = subprocess.Popen(["xcompmgr", "-n"])
    try:
        screens = Screens(args)
        probe = Probe(args.probe)
        screens.check("background", screens.background())
        shots = []
        for command, image_id, _ in STATES:
            probe.send(command)
            shots.append(screens.check(f"osd-{image_id}", screens.expected(image_id)))
        probe.send("hide")
        screens.check("hidden", screens.background())
        probe.close()
        screens.contact_sheet(shots)

        # A skin that cannot be read leaves nothing visible; the next bitmap
        # shows as always.
        probe = Probe(copy_without_skins(args.probe, os.path.join(args.out, "no-skins")))
        screens.check("no-skins-background", screens.background())
        probe.send("show 3 2")
        screens.check("no-skins-204-undecodable", screens.background(), settle=1.0)
        probe.send("show 3 3")
        screens.check("no-skins-205-missing", screens.background(), settle=1.0)
        probe.send("show 2 0")
        screens.check("no-skins-then-200", screens.expected(200))
        probe.close()
    finally:
        compositor.terminate()
        compositor.wait()

    for failure in screens.failures:
        print(failure, file=sys.stderr)
    return 1 if screens.failures else 0


if __name__ == "__main__":
    sys.exit(main())
