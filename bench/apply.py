"""Benchmark of the editor's Apply cycle and of its live-speed display, with
the real editor, meter and stand-in driver on a private X server (Xvfb), in
private data and run-time folders. Prints figures and judges nothing.

  - Apply to confirm: the time from the XTest click on Apply to the map of
    the "Confirm changes" window (seen as MapNotify on the X server), with
    the curve unchanged; OK is pressed after each, so every run is a whole
    cycle in the same editor.
  - Speed display: for each Rate setting (10, 8, 6, 4, 2 ms between updates)
    a fresh editor, its Rate written into its "GUI.dat" beforehand, while the
    stand-in driver answers the speed queries with a ramp of speeds, so the
    fill under the curve changes on every update. The editor runs
    in-process under a small driver script that counts the speed display's
    blits to the screen in a shared memory page read from here. At the 10 ms
    Rate the bare matplotlib loop of bench/bare_loop.py (the same artists,
    blitted as matplotlib's blitting guide does: the cached background
    restored, the animated artists drawn over it, the axes' box sent to the
    screen) runs in turn with the editor.
    CPU use is the process's (and the X server's) utime + stime from
    /proc/<pid>/stat over the same span.

usage: bench/apply.py [--stage DIR] [--runs N] [--seconds S] [--ramp TOP]
"""
import argparse
import ctypes
import ctypes.util
import mmap
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "support"))

PYTHON = "/usr/bin/python3"
TITLE = "Arcflex LE"
CONFIRM = "Confirm changes"
# From the main window's bottom left corner; the layout below the menu bar is
# fixed (see tests/e2e/editor_apply_test.py).
APPLY_BUTTON = (98, -34)
OK_BUTTON = (30, 44)   # percent of the confirm window's width and height
RATES_MS = (10, 8, 6, 4, 2)  # the Rate slider's positions 1..5

# Run in the editor's process: counts the speed display's updates (its blits
# to the screen), then starts the editor as a user does.
TICK_DRIVER = r"""
import ctypes, mmap, os
from matplotlib.backends.backend_tkagg import FigureCanvasTkAgg
_file = open(os.environ["AF_BENCH_COUNTER"], "r+b")
_page = mmap.mmap(_file.fileno(), 16)
_counts = (ctypes.c_uint64 * 2).from_buffer(_page)
_blit = FigureCanvasTkAgg.blit
def _counting_blit(self, bbox=None):
    # Only the speed display blits; a full draw shows itself without one.
    _counts[0] += 1
    return _blit(self, bbox)
FigureCanvasTkAgg.blit = _counting_blit
import ArcflexLE
"""


def ramp_script(path, top):
    """A stand-in driver script: speeds rising from 2 to top and falling
    back, each answered to 8 queries, so the speed shown changes on every
    update."""
    up = list(range(2, int(top) + 1))
    with open(path, "w") as f:
        for k in up + up[-2:0:-1]:
            f.write("%d %d 1 8\n" % (k, k))


def wait_for(pred, timeout, step=0.02):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if pred():
            return True
        time.sleep(step)
    return False


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the line; fields[0] is field 3.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class XTest:
    def __init__(self, display):
        self.dpy = display.dpy
        self.x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
        self.t = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst") or "libXtst.so.6")
        self.t.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                                ctypes.c_ulong]
        self.t.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.x.XFlush.argtypes = [ctypes.c_void_p]

    def move(self, x, y):
        self.t.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.x.XFlush(self.dpy)

    def click(self):
        """Sends press and release of button 1; returns time.monotonic()
        just before they were sent."""
        t0 = time.monotonic()
        self.t.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.t.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x.XFlush(self.dpy)
        return t0


class Session:
    """A stand-in driver and the editor in a fresh private folder."""

    def __init__(self, stage, driver_args, rate_slider=None, counter=None):
        self.base = tempfile.mkdtemp(prefix="af-apply-bench-")
        self.env = dict(os.environ)
        for key, name in (("LOCALAPPDATA", "localappdata"), ("XDG_RUNTIME_DIR", "run"), ("AF_SYSROOT", "sysroot")):
            self.env[key] = os.path.join(self.base, name)
            os.makedirs(self.env[key], mode=0o700)
        self.env["PYTHONPATH"] = stage
        settings = os.path.join(self.env["LOCALAPPDATA"], "Arcflex LE", "settings")
        os.makedirs(settings)
        if rate_slider is not None:
            # "GUI.dat": profiles folder, negative accel, Rate and Smoothness
            # slider positions, display flags, text scaling.
            lines = [os.path.join(self.env["LOCALAPPDATA"], "Arcflex LE", "profiles"), "0",
                     "%d3" % rate_slider, "100", "100"]
            with open(os.path.join(settings, "GUI.dat"), "wb") as f:
                f.write("\r\n".join(lines).encode())
        self.log = os.path.join(self.base, "driver.log")
        port = os.path.join(self.env["XDG_RUNTIME_DIR"], "arcflex", "AF_D_UserKernelCommPort")
        self.driver = subprocess.Popen(
            [os.path.join(os.path.dirname(stage), "standins", "afmouse", "afmouse"), "--no-x", "--log", self.log,
             *driver_args], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: os.path.exists(port), 10):
            raise RuntimeError("the stand-in driver did not start")
        self.editor = None
        self.counts = None
        if counter is not None:
            path = os.path.join(self.base, "counter")
            with open(path, "wb") as f:
                f.write(b"\0" * mmap.PAGESIZE)
            self._counter_file = open(path, "r+b")
            self._page = mmap.mmap(self._counter_file.fileno(), 16)
            self.counts = (ctypes.c_uint64 * 2).from_buffer(self._page)
            self.env["AF_BENCH_COUNTER"] = path
            self.env["AF_BENCH_RATE_MS"] = str(counter)

    def uploads(self):
        with open(self.log) as f:
            return sum(1 for line in f if " cmd=15 " in line)

    def start(self, display, code):
        display.watch_maps()
        self.stderr = os.path.join(self.base, "editor.err")
        with open(self.stderr, "wb") as err:
            self.editor = subprocess.Popen([PYTHON, "-c", code], env=self.env, stdout=subprocess.DEVNULL, stderr=err)
        window, _ = display.wait_mapped(TITLE, 60)
        if window is None or not wait_for(lambda: self.uploads() >= 1, 30):
            self.editor.kill()
            self.editor.wait()
            with open(self.stderr, "rb") as f:
                raise RuntimeError("the editor did not come up: " + f.read().decode(errors="replace"))
        return window

    def close(self, display, window):
        if self.editor is not None and self.editor.poll() is None:
            display.request_close(window)
            try:
                self.editor.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.editor.kill()
                self.editor.wait()
        if self.counts is not None:
            del self.counts
            self._page.close()
            self._counter_file.close()
        self.driver.terminate()
        self.driver.wait()
        shutil.rmtree(self.base, ignore_errors=True)


def window_geometry(window):
    out = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(window)],
                         capture_output=True, text=True, check=True).stdout
    g = dict(line.split("=") for line in out.split())
    return int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])


def visible(title):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % title],
                         capture_output=True, text=True).stdout
    return bool(out.split())


def bench_apply(display, stage, runs):
    xt = XTest(display)
    session = Session(stage, ["--zeros"])
    window = session.start(display, "import ArcflexLE")
    delays = []
    try:
        time.sleep(1)
        for _ in range(runs):
            x, y, w, h = window_geometry(window)
            xt.move(x + APPLY_BUTTON[0], y + h + APPLY_BUTTON[1])
            time.sleep(0.3)
            display.watch_maps()
            t0 = xt.click()
            confirm, mapped = display.wait_mapped(CONFIRM, 30)
            if confirm is None:
                raise RuntimeError("no confirm window after Apply")
            delays.append(mapped - t0)
            time.sleep(0.3)
            x, y, w, h = window_geometry(confirm)
            xt.move(x + w * OK_BUTTON[0] // 100, y + h * OK_BUTTON[1] // 100)
            time.sleep(0.2)
            xt.click()
            if not wait_for(lambda: not visible(CONFIRM), 10, 0.1):
                raise RuntimeError("the confirm window stayed after OK")
            time.sleep(0.7)
    finally:
        session.close(display, window)
    return delays


def bench_ticks(display, xvfb, stage, slider, seconds, ramp):
    rate = RATES_MS[slider - 1]
    script = tempfile.NamedTemporaryFile("w", suffix=".ramp", delete=False)
    script.close()
    ramp_script(script.name, ramp)
    try:
        session = Session(stage, ["--script", script.name, "--script-end", "loop"], rate_slider=slider, counter=rate)
        window = session.start(display, TICK_DRIVER)
        try:
            return measure(session.counts, session.editor.pid, xvfb.pid, seconds, rate)
        finally:
            session.close(display, window)
    finally:
        os.unlink(script.name)


def measure(counts, pid, xpid, seconds, rate):
    """Updates per second, and CPU shares of the process and the X server."""
    time.sleep(1.5)  # past the start-up and the first draws
    c0, cpu0, x0, t0 = counts[0], cpu_seconds(pid), cpu_seconds(xpid), time.monotonic()
    time.sleep(seconds)
    c1, cpu1, x1, t1 = counts[0], cpu_seconds(pid), cpu_seconds(xpid), time.monotonic()
    if c1 == c0:
        raise RuntimeError("no update at %d ms counted: the Rate was not taken, or the loop is stuck" % rate)
    return (c1 - c0) / (t1 - t0), (cpu1 - cpu0) / (t1 - t0), (x1 - x0) / (t1 - t0)


def bench_bare(xvfb, rate, seconds, ramp):
    """The bare matplotlib loop (bench/bare_loop.py) at the same Rate."""
    base = tempfile.mkdtemp(prefix="af-bare-bench-")
    path = os.path.join(base, "counter")
    with open(path, "wb") as f:
        f.write(b"\0" * mmap.PAGESIZE)
    counter_file = open(path, "r+b")
    page = mmap.mmap(counter_file.fileno(), 16)
    counts = (ctypes.c_uint64 * 2).from_buffer(page)
    env = dict(os.environ, AF_BENCH_COUNTER=path)
    p = subprocess.Popen([PYTHON, os.path.join(here, "bare_loop.py"), str(rate), str(ramp)], env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if not wait_for(lambda: counts[0] > 0, 30):
            raise RuntimeError("the bare loop drew nothing")
        return measure(counts, p.pid, xvfb.pid, seconds, rate)
    finally:
        p.kill()
        p.wait()
        del counts
        page.close()
        counter_file.close()
        shutil.rmtree(base, ignore_errors=True)


def row(values, unit, fmt="%.1f"):
    return ("median " + fmt + " %s   min " + fmt + "   max " + fmt + "   runs: %s") % (
        statistics.median(values), unit, min(values), max(values), " ".join(fmt % v for v in values))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--stage", default=os.environ.get("AF_STAGE_DIR", os.path.join(here, "..", "build", "stage")))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--seconds", type=float, default=5.0, help="measuring span per speed display run")
    ap.add_argument("--ramp", type=float, default=60, help="the top of the driver's speed ramp")
    args = ap.parse_args()
    stage = os.path.abspath(args.stage)

    import xwin
    xvfb = xwin.start_private_display()
    display = xwin.Display()
    try:
        delays = bench_apply(display, stage, args.runs)
        print("Apply click to the confirm window mapped (%d cycles in one editor, curve unchanged):" % args.runs)
        print("  " + row([d * 1e3 for d in delays], "ms"))
        print("Speed display, the driver's speed ramping 2..%g and back, %.0f s per run, %d runs per Rate"
              " (a fresh editor each run); the bare matplotlib loop (bench/bare_loop.py) alternates with the"
              " editor at 10 ms:" % (args.ramp, args.seconds, args.runs))
        for slider, rate in enumerate(RATES_MS, start=1):
            runs = {"editor": [], "bare loop": []} if rate == 10 else {"editor": []}
            for _ in range(args.runs):
                runs["editor"].append(bench_ticks(display, xvfb, stage, slider, args.seconds, args.ramp))
                if "bare loop" in runs:
                    runs["bare loop"].append(bench_bare(xvfb, rate, args.seconds, args.ramp))
            for who, results in runs.items():
                label = "Rate %2d ms (at most %3d/s)" % (rate, 1000 // rate)
                print("  %-27s %-10s updates/s    %s" % (label, who, row([r[0] for r in results], "")))
                print("  %27s %-10s CPU          %s" % ("", who, row([r[1] * 100 for r in results], "% of a core")))
                print("  %27s %-10s X server CPU %s" % ("", who, row([r[2] * 100 for r in results], "% of a core")))
            if "bare loop" in runs:
                med = {who: (statistics.median(r[0] for r in res), statistics.median(r[1] for r in res))
                       for who, res in runs.items()}
                print("  editor / bare loop: %.2fx the updates per second at %.2fx the CPU"
                      % (med["editor"][0] / med["bare loop"][0], med["editor"][1] / med["bare loop"][1]))
    finally:
        display.close()
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    main()
