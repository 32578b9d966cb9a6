"""The editor as a user starts it: `python3 -c "import ArcflexLE"` on the X
display, with private data and run-time folders. Checks the folders and the
curve file it leaves, its main window, that closing the window ends the
import, and that a second start while one runs leaves at once."""
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

PYTHON = "/usr/bin/python3"
TITLE = "Arcflex LE"

import xwin  # noqa: E402

XVFB = xwin.start_private_display()


def read(path):
    with open(path, "rb") as f:
        return f.read()


def tree_state(root):
    """Every path under root with its size, modification time and bytes."""
    state = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            st = os.lstat(path)
            data = read(path) if os.path.isfile(path) else None
            state[os.path.relpath(path, root)] = (st.st_size, st.st_mtime_ns, data)
    return state


class EditorRun(unittest.TestCase):
    """Private folders, a stand-in driver, and the editor started and closed."""

    def setUp(self):
        self.base = tempfile.mkdtemp(prefix="af-e2e-")
        self.env = dict(os.environ)
        self.env["LOCALAPPDATA"] = os.path.join(self.base, "localappdata")
        self.env["XDG_RUNTIME_DIR"] = os.path.join(self.base, "run")
        self.env["AF_SYSROOT"] = os.path.join(self.base, "sysroot")
        for key in ("LOCALAPPDATA", "XDG_RUNTIME_DIR", "AF_SYSROOT"):
            os.makedirs(self.env[key])
        self.env["PYTHONPATH"] = os.environ["AF_STAGE_DIR"]
        self.settings = os.path.join(self.env["LOCALAPPDATA"], "Arcflex LE", "settings")
        self.display = xwin.Display()
        self.procs = []
        # What the editor is started under (a tracer), and how (its process group).
        self.start_prefix, self.start_options = [], {}
        # The meter the editor starts needs a driver to talk to.
        build = os.path.dirname(os.environ["AF_STAGE_DIR"])
        port = os.path.join(self.env["XDG_RUNTIME_DIR"], "arcflex", "AF_D_UserKernelCommPort")
        self.procs.append(subprocess.Popen([os.path.join(build, "standins", "afmouse", "afmouse"), "--zeros",
                                            "--no-x"], env=self.env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL))
        for _ in range(200):
            if os.path.exists(port):
                break
            time.sleep(0.05)

    def tearDown(self):
        for p in self.procs:
            if p.args[-1] == "import ArcflexLE":  # an editor's group: a tracer's tracee too
                with contextlib.suppress(ProcessLookupError):
                    os.killpg(p.pid, signal.SIGKILL)
            if p.poll() is None:
                p.kill()
                p.wait()
        self.display.close()
        shutil.rmtree(self.base, ignore_errors=True)

    def start(self):
        p = subprocess.Popen(self.start_prefix + [PYTHON, "-c", "import ArcflexLE"], env=self.env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             **{"process_group": 0, **self.start_options})
        self.procs.append(p)
        return p

    def start_and_wait_for_window(self):
        self.display.watch_maps()
        p = self.start()
        window, _ = self.display.wait_mapped(TITLE, 60)
        if window is None:
            p.kill()
            out, err = p.communicate()
            self.fail("no main window; editor said:\n" + err.decode(errors="replace"))
        return p, window

    def close(self, p, window):
        self.display.request_close(window)
        self.assert_import_ends(p)

    def assert_import_ends(self, p):
        """The import returns, with exit code 0 and no traceback."""
        try:
            out, err = p.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            p.kill()
            self.fail("the import did not return after the window was closed")
        self.assertEqual(p.returncode, 0, err.decode(errors="replace"))
        self.assertNotIn(b"Traceback", err)


class EditorStart(EditorRun):
    def test_first_start_then_close(self):
        p, window = self.start_and_wait_for_window()
        self.assertTrue(os.path.isdir(self.settings))
        self.assertTrue(os.path.isdir(os.path.join(self.env["LOCALAPPDATA"], "Arcflex LE", "profiles")))
        pdat = read(os.path.join(self.settings, "p.dat"))
        # The default curve: points, then corner flags, written with CR LF.
        self.assertTrue(pdat.startswith(b"0 10 30 40"), pdat[:40])
        self.assertIn(b"\r\n", pdat)
        # The window manager's view: one top-level window with the title.
        found = subprocess.run(["xdotool", "search", "--name", "^Arcflex LE$"], capture_output=True, text=True)
        self.assertIn(str(window), found.stdout.split())
        self.assertIsNone(p.poll())
        self.close(p, window)

    def test_second_start_exits_at_once_and_touches_nothing(self):
        first, window = self.start_and_wait_for_window()
        before = tree_state(self.env["LOCALAPPDATA"])
        self.display.watch_maps()
        t0 = time.monotonic()
        second = self.start()
        out, err = second.communicate(timeout=30)
        self.assertEqual(second.returncode, 1, err.decode(errors="replace"))
        self.assertLess(time.monotonic() - t0, 10)
        self.assertEqual(out + err, b"")
        # No window of its own, nothing changed in the data folders.
        other, _ = self.display.wait_mapped(TITLE, 0.5)
        self.assertIsNone(other)
        self.assertEqual(tree_state(self.env["LOCALAPPDATA"]), before)
        self.assertIsNone(first.poll())
        self.close(first, window)

    def test_readable_curve_file_is_kept_on_the_next_start(self):
        p, window = self.start_and_wait_for_window()
        self.close(p, window)
        path = os.path.join(self.settings, "p.dat")
        before = os.stat(path).st_mtime_ns, read(path)
        p, window = self.start_and_wait_for_window()
        self.assertEqual((os.stat(path).st_mtime_ns, read(path)), before)
        self.close(p, window)

    def test_readable_curve_file_with_a_broken_curve_is_not_rewritten(self):
        p, window = self.start_and_wait_for_window()
        self.close(p, window)
        path = os.path.join(self.settings, "p.dat")
        lines = read(path).split(b"\r\n")
        lines[0] = b"0 40 30 40 "  # x no longer rising, the table still as long
        with open(path, "wb") as f:
            f.write(b"\r\n".join(lines))
        before = os.stat(path).st_mtime_ns, read(path)
        p, window = self.start_and_wait_for_window()
        self.assertEqual((os.stat(path).st_mtime_ns, read(path)), before)
        self.close(p, window)


def main():
    """Runs this file's tests, then ends its X server."""
    try:
        unittest.main(verbosity=2)
    finally:
        XVFB.terminate()
        XVFB.wait()


if __name__ == "__main__":
    main()
