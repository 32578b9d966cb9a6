"""Start-up benchmark of the editor: the time from the start of
`import ArcflexLE` to its main window being mapped, beside the time a
baseline script takes to import the same libraries and map one empty
matplotlib figure in Tk (bench/startup_baseline.py). Each is run several
times in a fresh process with private data and run-time folders; the map is
seen on the X display itself (MapNotify), the start is the child's own
monotonic clock just before the import."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "support"))
import xwin  # noqa: E402

PYTHON = "/usr/bin/python3"


def one_run(display, code, title, env):
    """Seconds from the child's mark to the map of its window titled title."""
    display.watch_maps()
    p = subprocess.Popen([PYTHON, "-c", code], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    window, mapped = display.wait_mapped(title, 120)
    if window is None:
        p.kill()
        raise RuntimeError("no window %r: %s" % (title, p.communicate()[1].decode(errors="replace")))
    display.request_close(window)
    out, err = p.communicate(timeout=60)
    for line in err.decode(errors="replace").splitlines():
        if line.startswith("T0 "):
            return mapped - float(line[3:])
    raise RuntimeError("the child printed no start mark")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--stage", default=os.environ.get("AF_STAGE_DIR", os.path.join(here, "..", "build", "stage")))
    args = ap.parse_args()

    base = tempfile.mkdtemp(prefix="af-bench-")
    env = dict(os.environ)
    env["PYTHONPATH"] = os.path.abspath(args.stage)
    mark = "import sys, time; sys.stderr.write('T0 %r\\n' % time.monotonic()); sys.stderr.flush(); "
    baseline_code = mark + "exec(open(%r).read())" % os.path.join(here, "startup_baseline.py")
    editor_code = mark + "import ArcflexLE"
    display = xwin.Display()
    editor, baseline = [], []
    try:
        for i in range(args.runs):
            for key in ("LOCALAPPDATA", "XDG_RUNTIME_DIR"):
                env[key] = os.path.join(base, "%s-%d" % (key, i))
                os.makedirs(env[key])
            baseline.append(one_run(display, baseline_code, "Arcflex baseline", env))
            editor.append(one_run(display, editor_code, "Arcflex LE", env))
    finally:
        display.close()
        shutil.rmtree(base, ignore_errors=True)

    def row(name, xs):
        return "%-10s median %7.1f ms   min %7.1f ms   max %7.1f ms   runs: %s" % (
            name, statistics.median(xs) * 1e3, min(xs) * 1e3, max(xs) * 1e3,
            " ".join("%.0f" % (x * 1e3) for x in xs))

    print("Start of the import to the main window mapped (%d runs each, fresh data folders;"
          " the editor's first run also writes its default curve file)" % args.runs)
    print(row("baseline", baseline))
    print(row("editor", editor))
    print("ratio editor / baseline (medians): %.2f" % (statistics.median(editor) / statistics.median(baseline)))


if __name__ == "__main__":
    main()
