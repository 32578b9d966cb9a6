#!/usr/bin/python3
"""CPU use at rest: the editor, and the meter with the stand-in driver.

Each run starts, on an X server of its own, the stand-in driver reading raw
pointer motion and the editor (which starts the meter), in private data and
run-time folders. It then measures the CPU time (user + system, as a share
of one core) of:
  - the editor before any pointer motion;
  - the editor after the pointer has moved for a while and come to rest;
  - the meter and the stand-in together over the same spans;
and, for scale, Tk alone rescheduling an empty callback at the same 6 ms.
With --before STAGE (and --before-driver) the same runs are made, in
turn, with another build's stage folder and stand-in, printed side by side
(copy build/stage and the stand-in aside before rebuilding to keep one). This is a measurement,
not a test: it prints numbers and judges nothing.

usage: bench/idle.py [--runs N] [--seconds S] [--stage DIR] [--driver FILE]
                     [--before DIR --before-driver FILE]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import psutil

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "support"))
import xwin  # noqa: E402

PYTHON = "/usr/bin/python3"
TARGET_EDITOR = 3.0  # % of one core
TARGET_METER = 2.0


def cpu(procs):
    total = 0.0
    for p in procs:
        try:
            t = p.cpu_times()
            total += t.user + t.system
        except psutil.NoSuchProcess:
            pass
    return total


def share(procs, seconds):
    """Share of one core the processes use over the next seconds, in %."""
    c0, t0 = cpu(procs), time.monotonic()
    time.sleep(seconds)
    return (cpu(procs) - c0) / (time.monotonic() - t0) * 100.0


def wait_for(pred, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if pred():
            return True
        time.sleep(0.02)
    return False


def one_run(stage, driver, seconds, display):
    base = tempfile.mkdtemp(prefix="af-idle-bench-")
    env = dict(os.environ)
    for key in ("LOCALAPPDATA", "XDG_RUNTIME_DIR", "AF_SYSROOT"):
        env[key] = os.path.join(base, key.lower())
        os.makedirs(env[key], mode=0o700)
    env["PYTHONPATH"] = os.path.abspath(stage)
    port = os.path.join(env["XDG_RUNTIME_DIR"], "arcflex", "AF_D_UserKernelCommPort")
    procs = []
    try:
        stand_in = subprocess.Popen([driver], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(stand_in)
        if not wait_for(lambda: os.path.exists(port), 10):
            raise RuntimeError("the stand-in driver did not start")
        display.watch_maps()
        editor = subprocess.Popen([PYTHON, "-c", "import ArcflexLE"], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        procs.append(editor)
        window, _ = display.wait_mapped("Arcflex LE", 120)
        if window is None:
            editor.kill()
            raise RuntimeError("no main window: " + editor.communicate()[1].decode(errors="replace"))
        ed = psutil.Process(editor.pid)
        time.sleep(3.0)  # past the start-up work
        meters = [c for c in ed.children(recursive=True) if "afmeter" in c.name()]
        if not meters:
            raise RuntimeError("the editor started no meter")
        pair = meters + [psutil.Process(stand_in.pid)]

        c_ed, c_pair, t0 = cpu([ed]), cpu(pair), time.monotonic()
        time.sleep(seconds)
        span = time.monotonic() - t0
        before_motion = (cpu([ed]) - c_ed) / span * 100.0
        pair_rest1 = (cpu(pair) - c_pair) / span * 100.0

        # Relative moves reach the stand-in as raw motion; two seconds of them.
        end = time.monotonic() + 2.0
        while time.monotonic() < end:
            subprocess.run(["xdotool", "mousemove_relative", "--", "15", "7"], env=env, check=True)
            subprocess.run(["xdotool", "mousemove_relative", "--", "-15", "-7"], env=env, check=True)
        time.sleep(3.0)  # the speed fades out, the windows empty

        c_ed, c_pair, t0 = cpu([ed]), cpu(pair), time.monotonic()
        time.sleep(seconds)
        span = time.monotonic() - t0
        after_motion = (cpu([ed]) - c_ed) / span * 100.0
        pair_rest2 = (cpu(pair) - c_pair) / span * 100.0

        display.request_close(window)
        editor.wait(30)
        return before_motion, after_motion, (pair_rest1 + pair_rest2) / 2
    finally:
        for p in procs:
            if p.poll() is None:
                p.kill()
            p.wait()
        shutil.rmtree(base, ignore_errors=True)


# For scale: Tk alone, rescheduling an empty Python callback every 6 ms (the
# editor's default Rate) with nothing else to do.
TK_FLOOR = r"""
import tkinter
root = tkinter.Tk()
root.withdraw()
def tick():
    root.tk.call("after", 6, "floor_tick")
root.tk.createcommand("floor_tick", tick)
tick()
root.mainloop()
"""


def tk_floor(seconds):
    p = subprocess.Popen([PYTHON, "-c", TK_FLOOR], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(2.0)
        return share([psutil.Process(p.pid)], seconds)
    finally:
        p.kill()
        p.wait()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--stage", default=os.path.join(here, "..", "build", "stage"))
    ap.add_argument("--driver", default=os.path.join(here, "..", "build", "standins", "afmouse", "afmouse"))
    ap.add_argument("--before", help="stage folder of the build to compare with")
    ap.add_argument("--before-driver", help="stand-in driver of the build to compare with")
    args = ap.parse_args()
    if shutil.which("xdotool") is None:
        sys.exit("xdotool is needed to move the pointer")

    builds = [("now", args.stage, args.driver)]
    if args.before:
        builds.insert(0, ("before", args.before, args.before_driver or args.driver))
    xvfb = xwin.start_private_display()
    display = xwin.Display()
    results = {name: [] for name, _, _ in builds}
    floor = []
    try:
        for n in range(args.runs):
            floor.append(tk_floor(args.seconds))
            for name, stage, driver in builds:  # alternated, so load on the machine hits both alike
                r = one_run(stage, driver, args.seconds, display)
                results[name].append(r)
                print(f"run {n + 1} {name:6s}: editor before motion {r[0]:6.2f} %, after motion {r[1]:6.2f} %;"
                      f" meter + stand-in {r[2]:5.2f} %", flush=True)
    finally:
        display.close()
        xvfb.kill()
        xvfb.wait()

    def cell(values):
        return f"{statistics.median(values):6.2f} ({min(values):.2f}-{max(values):.2f})"

    print(f"\nCPU at rest, % of one core, median (min-max) of {args.runs} runs of {args.seconds:g} s each")
    print(f"{'':30s}" + "".join(f"{name:>22s}" for name, _, _ in builds) + f"{'target':>10s}")
    rows = [("editor, before any motion", 0, TARGET_EDITOR), ("editor, after motion stops", 1, TARGET_EDITOR),
            ("meter + stand-in driver", 2, TARGET_METER)]
    for label, i, target in rows:
        print(f"{label:30s}" + "".join(f"{cell([r[i] for r in results[name]]):>22s}" for name, _, _ in builds)
              + f"{'<= %g' % target:>10s}")
    print(f"{'(Tk alone, an empty 6 ms tick)':30s}{cell(floor):>22s}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
