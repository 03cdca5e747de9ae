#!/usr/bin/env python3
"""make bench: measures the utility against baselines taken in the same run
on the same machine, and writes build/bench/benchmarks.md, every figure in it
from this run. Run under scripts/with-display (Wine needs an X screen)."""

import datetime
import os
import platform
import re
import subprocess
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WIN = os.environ["ORVANE_WIN_BUILD"]  # the build scripts/wine-env chose
FUZZ = os.path.join(REPO, "build", "fuzz")
WINE_RUN = os.path.join(REPO, "scripts", "wine-run")
ARCH_NAMES = {"x86": "32-bit", "x64": "64-bit"}
IDLE_SECONDS = int(os.environ.get("BENCH_IDLE_SECONDS", "60"))
EVENTS = int(os.environ.get("BENCH_EVENTS", "10000"))
FUZZ_SECONDS = int(os.environ.get("BENCH_FUZZ_SECONDS", "60"))
CYCLES = int(os.environ.get("BENCH_CYCLES", "1000"))
FULL_RATE_REPORTS = int(os.environ.get("BENCH_FULL_RATE_REPORTS", "5000"))
VISIBLE_SAMPLES = int(os.environ.get("BENCH_VISIBLE_SAMPLES", "200"))
PRESSES = int(os.environ.get("BENCH_PRESSES", "1000"))


def run_figures(program, *args, timeout=3600):
    """Runs a bench program that prints "name value..." lines."""
    out = subprocess.run([WINE_RUN, os.path.join(WIN, program), *map(str, args)],
                         capture_output=True, text=True, timeout=timeout, check=True).stdout
    figures = {}
    for line in out.splitlines():
        fields = line.split()
        if len(fields) >= 2 and re.fullmatch(r"[a-z_0-9]+", fields[0]):
            figures[fields[0]] = [float(v) for v in fields[1:]]
    return figures


def linux_pid(image):
    """The Linux process that runs a Windows program under Wine."""
    for _ in range(200):
        found = subprocess.run(["pgrep", "-f", image], capture_output=True, text=True).stdout
        pids = [int(p) for p in found.split()]
        if pids:
            return pids[0]
        time.sleep(0.1)
    raise RuntimeError("no process for " + image)


def cpu_and_wakeups(pid):
    """CPU seconds of every thread of a process, and its wake-ups by two of
    the kernel's counters: context switches (/proc status) and times run on
    a processor (schedstat); each per thread."""
    ticks = os.sysconf("SC_CLK_TCK")
    cpu, switches, runs = 0.0, {}, {}
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            stat = open(f"/proc/{pid}/task/{tid}/stat").read()
            status = open(f"/proc/{pid}/task/{tid}/status").read()
            schedstat = open(f"/proc/{pid}/task/{tid}/schedstat").read().split()
        except OSError:
            continue
        fields = stat.rsplit(")", 1)[1].split()
        cpu += (int(fields[11]) + int(fields[12])) / ticks
        switches[tid] = sum(int(v) for v in re.findall(r"ctxt_switches:\s+(\d+)", status))
        runs[tid] = int(schedstat[2])
    return cpu, switches, runs


def idle_cost(image, seconds):
    """CPU seconds over the time, then for each counter its total over the
    process's threads and its busiest thread's."""
    pid = linux_pid(image)
    time.sleep(2)
    cpu0, sw0, run0 = cpu_and_wakeups(pid)
    time.sleep(seconds)
    cpu1, sw1, run1 = cpu_and_wakeups(pid)
    counts = []
    for before, after in ((sw0, sw1), (run0, run1)):
        deltas = [after[t] - before.get(t, 0) for t in after]
        counts += [sum(deltas), max(deltas, default=0)]
    return (cpu1 - cpu0, *counts)


class Vkbd:
    """orvane_vkbd.exe driven over its standard input and output."""

    def __init__(self):
        self.proc = subprocess.Popen([WINE_RUN, os.path.join(WIN, "orvane_vkbd.exe")],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        assert self.proc.stdout.readline().strip() == "ready"

    def command(self, line):
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        return self.proc.stdout.readline().strip()

    def features(self):
        self.proc.stdin.write("features\n")
        self.proc.stdin.flush()
        count = 0
        while self.proc.stdout.readline().strip() != "end":
            count += 1
        return count

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)


def start(program):
    return subprocess.Popen([WINE_RUN, os.path.join(WIN, program)])


def stop(proc, title):
    subprocess.run([WINE_RUN, os.path.join(WIN, "orvane_post.exe"), title, "0x10"], check=False)
    proc.wait(timeout=60)


def measure_idle(results):
    minimal = start("minimal_window.exe")
    results["idle_minimal"] = idle_cost("minimal_window.exe", IDLE_SECONDS)
    stop(minimal, "Orvane_Minimal")

    # Started with no keyboard: measured once its first opening found none.
    keyboard = Vkbd()
    utility = start("Orvane_Keyboard_Hid.exe")
    time.sleep(15)
    results["idle_never_plugged"] = idle_cost("Orvane_Keyboard_Hid.exe", IDLE_SECONDS)
    keyboard.command("plug")
    deadline = time.time() + 60
    while keyboard.features() == 0 and time.time() < deadline:
        time.sleep(0.5)
    results["idle_utility"] = idle_cost("Orvane_Keyboard_Hid.exe", IDLE_SECONDS)
    keyboard.command("unplug")
    time.sleep(1)
    results["idle_no_keyboard"] = idle_cost("Orvane_Keyboard_Hid.exe", IDLE_SECONDS)
    stop(utility, "Orvane_Keyboard_Hid")
    keyboard.close()


def endurance(results):
    """The endurance tests of make test, in their long form."""
    for name, program, test_filter, env in (
            (f"{CYCLES} unplug/plug and {CYCLES} suspend/resume cycles with keys",
             "robustness_tests.exe", "*Cycles*", {"ORVANE_ENDURANCE_CYCLES": str(CYCLES)}),
            (f"{CYCLES // 5 * 10} seeded message sequences of 15 steps against the window's model",
             "robustness_tests.exe", "*MessageSequences*",
             {"ORVANE_ENDURANCE_CYCLES": str(CYCLES // 5)}),
            (f"{FULL_RATE_REPORTS} reports at the keyboard's full rate",
             "hid_link_tests.exe", "*FullRate*",
             {"ORVANE_FULL_RATE_REPORTS": str(FULL_RATE_REPORTS)})):
        started = time.time()
        run = subprocess.run([WINE_RUN, os.path.join(WIN, program), "--gtest_filter=" + test_filter],
                             capture_output=True, text=True, env={**os.environ, **env})
        passed = run.returncode == 0 and "[  PASSED  ]" in run.stdout
        results.setdefault("endurance", []).append((name, passed, time.time() - started))


def long_fuzz(results):
    for fuzzer in sorted(os.listdir(os.path.join(REPO, "tests", "fuzz", "corpus"))):
        corpus = os.path.join(FUZZ, "corpus", fuzzer)
        os.makedirs(corpus, exist_ok=True)
        run = subprocess.run([os.path.join(FUZZ, fuzzer), f"-max_total_time={FUZZ_SECONDS}",
                              corpus, os.path.join(REPO, "tests", "fuzz", "corpus", fuzzer)],
                             capture_output=True, text=True, cwd=FUZZ)
        runs = re.findall(r"Done (\d+) runs", run.stderr)
        results["fuzz_" + fuzzer] = (run.returncode, int(runs[-1]) if runs else 0)


# What the utility has at rest beyond the minimal program, each added to the
# minimal program alone (tests/bench/MinimalWindow.cpp) and measured there.
MEMORY_ITEMS = (
    ("minimal_ended_thread", "a thread that has ended: the start-up worker (Wine keeps the "
     "stack of the last thread that ended until another one ends)", "threads:1"),
    ("minimal_waiting_thread", "a thread that waits: the reader", "waiting:1"),
    ("minimal_device_notification", "the window registered for HID interface notifications "
     "(Wine serves it with a thread of its own)", "notify"),
    ("minimal_second_window", "a second hidden window: the OSD controller's", "window"),
    ("minimal_libraries", "the libraries the utility imports that the minimal program does not "
     "(advapi32, gdi32, gdiplus, ole32, oleaut32, shell32, wtsapi32)", "load:NAME ..."),
    ("minimal_com", "COM initialised (not at rest: the microphone key starts it, in the growth "
     "over the first 30 key events)", "com"),
    ("minimal_as_utility", "all that the utility has at rest of the above, together",
     "threads:1 waiting:1 window notify load:NAME ..."),
)


# Wine's share of the private bytes at rest: the items a Windows user's
# utility does not pay for so. Windows commits a thread's stack as it is
# used and frees an ended thread's, and tells a window of device changes
# without a thread in its process; Wine writes each new thread's stack, keeps
# the last ended thread's, and serves the notifications with a thread of its
# own. Its libraries are counted with them.
WINE_SHARE = ("minimal_ended_thread", "minimal_waiting_thread", "minimal_device_notification",
              "minimal_libraries")


def wine_share(proc):
    """Wine's share at rest, measured as one: all that the utility has at rest
    added to the minimal program together, less what is not Wine's (the
    second window)."""
    pm = proc["minimal_private_kb"][0]
    return proc["minimal_as_utility_private_kb"][0] - pm - (proc["minimal_second_window_private_kb"][0] - pm)


def memory_section(proc):
    pm = proc["minimal_private_kb"][0]
    lines = [f"| the minimal program | - | {pm:.0f} KB | - | - |"]
    for key, label, words in MEMORY_ITEMS:
        kb = proc[key + "_private_kb"][0]
        lines.append(f"| {label} | `{words}` | {kb:.0f} KB | {kb - pm:+.0f} KB | "
                     f"{'yes' if key in WINE_SHARE else '-'} |")
    ps = proc["utility_start_private_kb"][0]
    together = proc["minimal_as_utility_private_kb"][0]
    share = wine_share(proc)
    lines.append(f"| the utility after start | - | {ps:.0f} KB | {ps - pm:+.0f} KB, of which "
                 f"{ps - together:+.0f} KB beyond all the items together: its own code and data | - |")
    lines.append(f"| Wine's share, the items marked measured together (all the items together, "
                 f"less the second window's own) | - | - | {share:+.0f} KB | yes |")
    lines.append(f"| the utility after start, less Wine's share | - | {ps - share:.0f} KB | "
                 f"{ps - share - pm:+.0f} KB | - |")
    return """
## Private bytes at rest, item by item

Each thing the utility has at rest that the minimal program lacks, added to
the minimal program alone (the words on its command line) and measured the
same way, in this run (the middle of three samples). The items marked are
Wine's share: Windows commits a thread's stack as it is used and frees an
ended thread's, and tells a window of device changes without a thread in
its process, while Wine writes every new thread's stack, keeps the last
ended thread's, and serves the notifications with a thread of its own; the
libraries are counted with them. The private-bytes goal is judged on the
utility less Wine's share, the figure a Windows user would see.

| item | minimal program with | private bytes | beyond the minimal program | Wine's share |
|---|---|---|---|---|
""" + "\n".join(lines) + "\n"


def ratio(value, baseline):
    return f"{value / baseline:.2f}" if baseline else "n/a"


def write_table(results):
    lat = results["latency"]
    proc = results["process"]
    size = os.path.getsize(os.path.join(WIN, "Orvane_Keyboard_Hid.exe"))
    minimal_size = os.path.getsize(os.path.join(WIN, "minimal_window.exe"))
    wine = subprocess.run([os.environ["WINELOADER"], "--version"], capture_output=True,
                          text=True).stdout.strip()
    rows = []

    def row(figure, measured, baseline, ratio_text, goal, met):
        rows.append(f"| {figure} | {measured} | {baseline} | {ratio_text} | {goal} | {met} |")

    p50, p99 = lat["report_to_post"]
    b50, b99 = lat["minimal_reader"]
    row(f"key latency, report to 0x500 posted (p50 / p99, {PRESSES} presses)",
        f"{p50:.0f} / {p99:.0f} us", f"minimal reader {b50:.0f} / {b99:.0f} us", ratio(p99, b99),
        "p99 <= 1.25 x minimal and <= 2000 us",
        "yes" if p99 <= 1.25 * b99 and p99 <= 2000 else "no")
    if "report_to_pixels" in lat:
        v50, v99 = lat["report_to_pixels"]
        m50, m99 = lat["minimal_to_pixels"]
        row(f"key latency, report to the OSD bar's pixels on the X screen (p50 / p99, "
            f"{VISIBLE_SAMPLES} presses)", f"{v50:.0f} / {v99:.0f} us",
            f"minimal reader showing a ready window {m50:.0f} / {m99:.0f} us", ratio(v99, m99),
            "p99 <= 16000 us", "yes" if v99 <= 16000 else "no")
    else:
        v50, v99 = lat["report_to_visible"]
        row(f"key latency, report to OSD bar window visible (p50 / p99, {VISIBLE_SAMPLES} presses;"
            " no frame buffer file, so not its pixels)", f"{v50:.0f} / {v99:.0f} us",
            f"minimal reader {b50:.0f} / {b99:.0f} us", ratio(v99, b99), "p99 <= 16000 us",
            "yes" if v99 <= 16000 else "no")
    mcpu, mswitches, _, mruns, _ = results["idle_minimal"]
    for name, label in (("idle_utility", "keyboard attached"),
                        ("idle_never_plugged", "no keyboard since start"),
                        ("idle_no_keyboard", "keyboard pulled out")):
        cpu, switches, busiest, runs, busiest_runs = results[name]
        attached = name == "idle_utility"
        row(f"idle {IDLE_SECONDS} s, {label}: CPU time", f"{cpu:.2f} s", f"{mcpu:.2f} s",
            ratio(cpu, mcpu), "<= 1.10 x minimal" if attached else "0.00 s",
            ("yes" if cpu <= mcpu * 1.10 else "no") if attached else ("yes" if cpu < 0.005 else "no"))
        for counter, total, most, base in (("context switches", switches, busiest, mswitches),
                                           ("times run", runs, busiest_runs, mruns)):
            met = total <= base * 1.10 if attached else total <= 60
            row(f"idle {IDLE_SECONDS} s, {label}: thread wake-ups, {counter} (busiest thread)",
                f"{total} ({most})", f"{base}", ratio(total, base),
                "<= 1.10 x minimal" if attached else f"<= 60 in {IDLE_SECONDS} s",
                "yes" if met else "no")
    pm = proc["minimal_private_kb"][0]
    ps = proc["utility_start_private_kb"][0]
    pw = proc["utility_warm_private_kb"][0]
    pa = proc["utility_after_private_kb"][0]
    row("private bytes after start, Wine's share included", f"{ps:.0f} KB", f"{pm:.0f} KB",
        ratio(ps, pm), "reported", "-")
    left = ps - wine_share(proc)
    row("private bytes after start, less Wine's share (threads' stacks, the notification thread, "
        "the libraries: the section below)", f"{left:.0f} KB", f"{pm:.0f} KB", ratio(left, pm),
        "<= 1.5 x minimal", "yes" if left <= 1.5 * pm else "no")
    row("private bytes growth over the first 30 key events (COM and audio start once)",
        f"{pw - ps:+.0f} KB", "-", "-", "reported", "-")
    row(f"private bytes growth over {EVENTS} further key events, two in five with the OSD",
        f"{pa - pw:+.0f} KB", "-", "-", "<= 64 KB", "yes" if pa - pw <= 64 else "no")
    hs, hw, ha, hm = (proc["utility_start_handles"][0], proc["utility_warm_handles"][0],
                      proc["utility_after_handles"][0], proc["minimal_handles"][0])
    row("handles after start / after 30 events", f"{hs:.0f} / {hw:.0f}", f"{hm:.0f}",
        ratio(hs, hm), "reported", "-")
    row(f"handles before / after {EVENTS} events", f"{hw:.0f} / {ha:.0f}", "-", "-", "no growth",
        "yes" if ha <= hw else "no")
    row("GDI / USER objects", "not counted", "not counted", "-", "no growth",
        "unmeasurable: Wine's GetGuiResources answers 0")
    su, sm = proc["startup_utility_ms"][0], proc["startup_minimal_ms"][0]
    row("start-up to the window existing (median of 5)", f"{su:.0f} ms", f"{sm:.0f} ms",
        ratio(su, sm), "reported", "-")
    row("executable size (static runtime)", f"{size / 1024:.0f} KB",
        f"{minimal_size / 1024:.0f} KB", ratio(size, minimal_size), "< 1024 KB",
        "yes" if size < 1024 * 1024 else "no")
    for name, passed, seconds in results.get("endurance", []):
        row(f"endurance: {name}", f"{seconds:.0f} s", "-", "-", "every check holds",
            "yes" if passed else "no")
    for key in sorted(k for k in results if k.startswith("fuzz_")):
        code, runs = results[key]
        row(f"fuzzer {key[5:]}, {FUZZ_SECONDS} s", f"{runs} runs", "-", "-", "no crash",
            "yes" if code == 0 else "no (crash)")

    text = f"""# Benchmarks

Written by `make bench` on {datetime.date.today().isoformat()}.
Machine: {platform.machine()}, {os.cpu_count()} cores, {platform.platform()}; {wine}.
Every Windows figure is from the {ARCH_NAMES[os.environ["ORVANE_ARCH"]]} build
(`{os.path.relpath(WIN, REPO)}`), the first this machine can run.
Every figure stands beside a baseline measured in the same run on the same
machine; the ratio is figure / baseline. These machines are shared and
noisy: compare ratios, not absolute values.

| figure | measured | baseline | ratio | goal | met |
|---|---|---|---|---|---|
""" + "\n".join(rows) + "\n" + memory_section(proc)
    # Into the build; `make bench-update` copies it over docs/benchmarks.md.
    os.makedirs(os.path.join(REPO, "build", "bench"), exist_ok=True)
    with open(os.path.join(REPO, "build", "bench", "benchmarks.md"), "w") as out:
        out.write(text)
    print(text)


def main():
    results = {}
    print(f"bench: the {ARCH_NAMES[os.environ['ORVANE_ARCH']]} build, {os.path.relpath(WIN, REPO)}",
          flush=True)
    print("bench: key latency", flush=True)
    screen = os.path.join(os.environ.get("XVFB_FBDIR", ""), "Xvfb_screen0")
    # Through Wine's drive Z:, the Linux root.
    screen_arg = ["Z:" + screen.replace("/", "\\")] if os.path.isfile(screen) else []
    results["latency"] = run_figures("latency_bench.exe", PRESSES, VISIBLE_SAMPLES, *screen_arg)
    print("bench: start-up and memory", flush=True)
    results["process"] = run_figures("process_bench.exe", EVENTS)
    print("bench: idle cost", flush=True)
    measure_idle(results)
    print("bench: endurance", flush=True)
    endurance(results)
    print("bench: fuzzers", flush=True)
    long_fuzz(results)
    write_table(results)


if __name__ == "__main__":
    sys.exit(main())
