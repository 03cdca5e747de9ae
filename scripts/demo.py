#!/usr/bin/python3
"""make demo: the simulation build of the utility plays a scripted session
with the virtual keyboard, and build/demo/ receives the diagnostic log, the
feature reports the keyboard got, a screenshot per OSD state and a contact
sheet of them.

Runs on the X server of scripts/with-display, with a compositing manager
(xcompmgr) as a desktop has one, so the skins' per-pixel alpha blends.
"""

import os
import shutil
import subprocess
import time

from PIL import Image, ImageDraw, ImageGrab

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIN = os.environ["ORVANE_WIN_BUILD"]  # the build scripts/wine-env chose
OUT = os.path.join(REPO, "build", "demo")
APP = os.path.join(OUT, "app")
SIM = "Orvane_Keyboard_Hid_sim.exe"
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")
LOG = os.path.join(os.environ["WINEPREFIX"], "drive_c", "LOG", "Orvane_Keyboard.log")
TITLE = "Orvane_Keyboard_Hid"
WAIT = 30.0  # generous: a loaded machine may be slow to open the keyboard or to draw
SETTLE = 0.5

# The OSD keys in the order played: vkbd key, screenshot name, label.
# The fake capture device starts unmuted and the fake fan in mode 2.
OSD_KEYS = [
    ("fnlock-on", "fn-lock-on", "Fn lock on"),
    ("fnlock-off", "fn-lock-off", "Fn lock off"),
    ("mic", "mic-muted", "microphone muted"),
    ("mic", "mic-on", "microphone on"),
    ("fan", "fan-performance", "fan: performance"),
    ("fan", "fan-intelligence", "fan: intelligence"),
    ("fan", "fan-performance-again", "fan: performance again"),
]


class Vkbd:
    """orvane_vkbd.exe driven over its standard input and output."""

    def __init__(self):
        self.proc = subprocess.Popen([WINE_RUN, os.path.join(WIN, "orvane_vkbd.exe")],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.expect_line("ready")

    def expect_line(self, word):
        line = self.proc.stdout.readline().strip()
        if not line.startswith(word):
            raise RuntimeError(f"vkbd said {line!r}, expected {word!r}")

    def command(self, line, answer="ok"):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        self.expect_line(answer)

    def features(self):
        self.proc.stdin.write("features\n")
        self.proc.stdin.flush()
        reports = []
        while (line := self.proc.stdout.readline().strip()) != "end":
            reports.append(line.removeprefix("feature "))
        return reports

    def wait_features(self, count, what):
        deadline = time.monotonic() + WAIT
        while len(self.features()) < count:
            if time.monotonic() > deadline:
                raise RuntimeError(f"no feature report {what}")
            time.sleep(0.5)

    def quit(self):
        self.proc.stdin.write("quit\n")
        self.proc.stdin.close()
        self.proc.wait(timeout=WAIT)


def post(message, wparam):
    subprocess.run([WINE_RUN, os.path.join(WIN, "orvane_post.exe"), TITLE, hex(message),
                    str(wparam)], check=True)


class Screen:
    """Screenshots of the region where the OSD bar shows: bottom centre,
    86 px above the bottom edge, 75 px square for a bitmap and 160 px for a
    skin; the region holds either with 20 px around."""

    def __init__(self):
        width, height = ImageGrab.grab().size
        self.region = (width // 2 - 100, height - 266, width // 2 + 100, height - 66)
        self.empty = self.bar(ImageGrab.grab())
        self.before = self.empty

    def bar(self, shot):
        return shot.crop(self.region).tobytes()

    def shoot(self, name):
        """Waits until the region shows something new (neither what it showed
        before the key nor nothing) that holds still for SETTLE seconds, as
        a bar may show for a moment before it is painted, then saves the
        screen."""
        deadline = time.monotonic() + WAIT
        last, since = None, 0.0
        while True:
            shot = ImageGrab.grab()
            now = self.bar(shot)
            if now != last:
                last, since = now, time.monotonic()
            elif now not in (self.before, self.empty) and time.monotonic() - since >= SETTLE:
                break
            if time.monotonic() > deadline:
                raise RuntimeError(f"{name}: the OSD bar did not show")
            time.sleep(0.1)
        self.before = now
        shot.save(os.path.join(OUT, name + ".png"))
        return shot.crop(self.region)

    @staticmethod
    def contact_sheet(crops):
        columns, label = 4, 16
        tile_w, tile_h = crops[0][1].size
        rows = (len(crops) + columns - 1) // columns
        sheet = Image.new("RGB", (columns * tile_w, rows * (tile_h + label)), (40, 40, 40))
        draw = ImageDraw.Draw(sheet)
        for i, (text, crop) in enumerate(crops):
            x, y = (i % columns) * tile_w, (i // columns) * (tile_h + label)
            sheet.paste(crop, (x, y + label))
            draw.text((x + 4, y + 2), text, fill=(255, 255, 255))
        sheet.save(os.path.join(OUT, "contact-sheet.png"))


def prepare():
    """A fresh output folder with the exe, a config enabling Fn+Q and the
    skins; no log left from an earlier run."""
    shutil.rmtree(OUT, ignore_errors=True)
    os.makedirs(APP)
    shutil.copy(os.path.join(WIN, SIM), APP)
    shutil.copytree(os.path.join(WIN, "skins"), os.path.join(APP, "skins"))
    with open(os.path.join(APP, "config"), "w") as config:
        config.write("[Setting]\nSmartFan=1\n")
    if os.path.exists(LOG):
        os.remove(LOG)


def step(text):
    print(f"demo: {text}", flush=True)


def play():
    keyboard = Vkbd()
    keyboard.command("plug")
    step("starting the utility; it opens the keyboard 10 s later")
    # Its standard output, the fan class's trace, is in the log as well.
    utility = subprocess.Popen([WINE_RUN, os.path.join(APP, SIM)], stdout=subprocess.DEVNULL)
    keyboard.wait_features(1, "at start")

    # Only now, with the compositor long up, does the screen show what it
    # shows without a bar.
    screen = Screen()
    crops = []
    for key, name, label in OSD_KEYS:
        step(f"key {key}: {name}.png")
        keyboard.command("key " + key, "sent")
        crops.append((label, screen.shoot(name)))
    Screen.contact_sheet(crops)

    step("key settings (Win+I)")
    keyboard.command("key settings", "sent")
    step("replug")
    keyboard.command("unplug")
    keyboard.command("plug")
    keyboard.wait_features(2, "after replug")
    step("resume; the keyboard is reopened 10 s later")
    post(0x218, 18)  # WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC
    time.sleep(2)
    post(0x218, 7)  # WM_POWERBROADCAST, PBT_APMRESUMESUSPEND
    keyboard.wait_features(3, "after resume")

    step("ending the utility")
    post(0x111, 6002)  # WM_COMMAND, exit
    utility.wait(timeout=WAIT)
    reports = keyboard.features()
    keyboard.quit()
    with open(os.path.join(OUT, "features.txt"), "w") as out:
        for report, when in zip(reports, ["at start", "after replug", "after resume"]):
            out.write(f"{report}   {when}\n")


def main():
    started = time.monotonic()
    step(f"the {os.environ['ORVANE_ARCH']} build, {os.path.relpath(WIN, REPO)}")
    prepare()
    compositor = subprocess.Popen(["xcompmgr", "-n"])
    try:
        play()
    finally:
        compositor.terminate()
        compositor.wait()
        if os.path.exists(LOG):
            shutil.copy(LOG, OUT)
    step(f"done in {time.monotonic() - started:.0f} s; log, features.txt, screenshots and "
         f"contact-sheet.png are in {OUT}")


if __name__ == "__main__":
    main()
