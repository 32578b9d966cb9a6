"""Start-up benchmark of the editor: the time from the start of
`import ArcflexLE` to its main window being mapped, beside the time a
baseline script takes to import the same libraries and map one empty
matplotlib figure in Tk (bench/startup_baseline.py). Each is run several
times in a fresh process with private data, run-time and machine folders,
a stand-in driver serving the run-time folder's port (so the editor finds
a driver, as on a machine that has one); the map is seen on the X display
itself (MapNotify), the start is the child's own monotonic clock just
before the import. Every child is ended, with its process group, when a run
ends or fails.

usage: bench/startup.py [--runs N] [--stage DIR] [--driver FILE]
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "support"))
import xwin  # noqa: E402

PYTHON = "/usr/bin/python3"


def wait_for(pred, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if pred():
            return True
        time.sleep(0.02)
    return False


def end_group(p):
    """Ends p and everything it started in its process group (the editor's
    meter); waits for p."""
    try:
        os.killpg(p.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    p.wait()


def one_run(display, code, title, env, base):
    """Seconds from the child's mark to the map of its window titled title."""
    err_path = os.path.join(base, "child.err")
    display.watch_maps()
    with open(err_path, "wb") as err:
        # A session of its own: its process group is ended with it.
        p = subprocess.Popen([PYTHON, "-c", code], env=env, stdout=subprocess.DEVNULL, stderr=err,
                             start_new_session=True)
    failure = None
    try:
        window, mapped = display.wait_mapped(title, 120)
        if window is None:
            failure = "no window %r" % title
        else:
            display.request_close(window)
            try:
                p.wait(timeout=60)
            except subprocess.TimeoutExpired:
                failure = "%r did not close when asked" % title
    finally:
        end_group(p)
    if failure is not None:
        with open(err_path, "rb") as f:
            raise RuntimeError("%s: %s" % (failure, f.read().decode(errors="replace")))
    with open(err_path, "rb") as f:
        for line in f.read().decode(errors="replace").splitlines():
            if line.startswith("T0 "):
                return mapped - float(line[3:])
    raise RuntimeError("the child printed no start mark")


def run_pair(display, stage, driver, codes):
    """One baseline run and one editor run in fresh folders, with a stand-in
    driver serving for both; returns their seconds."""
    base = tempfile.mkdtemp(prefix="af-startup-bench-")
    env = dict(os.environ)
    for key in ("LOCALAPPDATA", "XDG_RUNTIME_DIR", "AF_SYSROOT"):
        env[key] = os.path.join(base, key.lower())
        os.makedirs(env[key], mode=0o700)
    env["PYTHONPATH"] = stage
    port = os.path.join(env["XDG_RUNTIME_DIR"], "arcflex", "AF_D_UserKernelCommPort")
    stand_in = subprocess.Popen([driver, "--zeros", "--no-x"], env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        if not wait_for(lambda: os.path.exists(port), 10):
            raise RuntimeError("the stand-in driver did not start")
        return [one_run(display, code, title, env, base) for code, title in codes]
    finally:
        if stand_in.poll() is None:
            stand_in.terminate()
            try:
                stand_in.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        end_group(stand_in)
        shutil.rmtree(base, ignore_errors=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--runs", type=int, default=5)
    build = os.environ.get("AF_BUILD_DIR", os.path.join(here, "..", "build"))
    ap.add_argument("--stage", default=os.environ.get("AF_STAGE_DIR", os.path.join(build, "stage")))
    ap.add_argument("--driver", help="the stand-in driver (default: standins/afmouse/afmouse beside the stage)")
    args = ap.parse_args()
    stage = os.path.abspath(args.stage)
    driver = os.path.abspath(args.driver or os.path.join(stage, "..", "standins", "afmouse", "afmouse"))
    if not os.access(driver, os.X_OK):
        sys.exit("bench/startup: no stand-in driver at %s (build it, or give --driver)" % driver)

    mark = "import sys, time; sys.stderr.write('T0 %r\\n' % time.monotonic()); sys.stderr.flush(); "
    codes = [(mark + "exec(open(%r).read())" % os.path.join(here, "startup_baseline.py"), "Arcflex baseline"),
             (mark + "import ArcflexLE", "Arcflex LE")]
    display = xwin.Display()
    editor, baseline = [], []
    try:
        for _ in range(args.runs):
            b, e = run_pair(display, stage, driver, codes)
            baseline.append(b)
            editor.append(e)
    finally:
        display.close()

    def row(name, xs):
        return "%-10s median %7.1f ms   min %7.1f ms   max %7.1f ms   runs: %s" % (
            name, statistics.median(xs) * 1e3, min(xs) * 1e3, max(xs) * 1e3,
            " ".join("%.0f" % (x * 1e3) for x in xs))

    print("Start of the import to the main window mapped (%d runs each, fresh data folders, a stand-in driver"
          " serving; the editor's first start in each also writes its default curve file)" % args.runs)
    print(row("baseline", baseline))
    print(row("editor", editor))
    print("ratio editor / baseline (medians): %.2f" % (statistics.median(editor) / statistics.median(baseline)))


if __name__ == "__main__":
    main()
