"""The editor's display goes away under it: its X server ends, or its main
window is destroyed from outside (as `xdotool windowclose` or a window
manager's destroy does). The editor has to end at once with exit code 1,
without an abort (no signal, no core file) and without Python's fatal
error, and its meter has to end with it."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))

import xwin  # noqa: E402

PYTHON = "/usr/bin/python3"
TITLE = "Arcflex LE"


def alive(pid):
    """Whether the process runs (a zombie counts as ended)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except OSError:
        return False
    return stat[stat.rindex(")") + 2] != "Z"


def children_of(pid):
    """Process ids whose parent is pid."""
    found = []
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name) as f:
                stat = f.read()
        except OSError:
            continue
        if int(stat[stat.rindex(")") + 2:].split()[1]) == pid:
            found.append(int(name))
    return found


class DisplayLoss(unittest.TestCase):
    def setUp(self):
        # Each case has an X server of its own: one of them ends it.
        self.xvfb = xwin.start_private_display()
        self.base = tempfile.mkdtemp(prefix="af-e2e-loss-")
        self.env = dict(os.environ)
        for key, sub in (("LOCALAPPDATA", "localappdata"), ("XDG_RUNTIME_DIR", "run"), ("AF_SYSROOT", "sysroot")):
            self.env[key] = os.path.join(self.base, sub)
            os.makedirs(self.env[key])
        self.env["PYTHONPATH"] = os.environ["AF_STAGE_DIR"]
        build = os.path.dirname(os.environ["AF_STAGE_DIR"])
        self.driver = subprocess.Popen([os.path.join(build, "standins", "afmouse", "afmouse"), "--zeros", "--no-x"],
                                       env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = os.path.join(self.env["XDG_RUNTIME_DIR"], "arcflex", "AF_D_UserKernelCommPort")
        for _ in range(400):
            if os.path.exists(port):
                break
            time.sleep(0.05)
        self.display = xwin.Display()
        self.editor = None

    def tearDown(self):
        for p in (self.editor, self.driver):
            if p is not None and p.poll() is None:
                p.kill()
                p.wait()
        self.display.close()
        if self.xvfb.poll() is None:
            self.xvfb.terminate()
            self.xvfb.wait()
        shutil.rmtree(self.base, ignore_errors=True)

    def start_editor(self):
        """The editor's process, its main window and its meter's pid, once
        the meter reports (the editor is in its main loop)."""
        self.display.watch_maps()
        self.editor = subprocess.Popen([PYTHON, "-c", "import ArcflexLE"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        window, _ = self.display.wait_mapped(TITLE, 60)
        self.assertIsNotNone(window, "no main window")
        meters = []
        for _ in range(400):
            meters = children_of(self.editor.pid)
            if meters:
                break
            time.sleep(0.05)
        self.assertEqual(len(meters), 1, "the editor started no meter")
        time.sleep(0.5)  # into the main loop, with the update loop running
        return window, meters[0]

    def assert_quiet_end(self, meter):
        try:
            _, err = self.editor.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            self.fail("the editor did not end")
        text = err.decode(errors="replace")
        # A negative code is a signal (SIGABRT leaves a core file).
        self.assertEqual(self.editor.returncode, 1, text)
        self.assertNotIn("Fatal Python error", text)
        self.assertNotIn("Traceback", text)
        for _ in range(200):
            if not alive(meter):
                break
            time.sleep(0.05)
        self.assertFalse(alive(meter), "the meter outlived the editor")

    def test_x_server_ends(self):
        _, meter = self.start_editor()
        self.display.close()
        self.xvfb.kill()
        self.xvfb.wait()
        self.assert_quiet_end(meter)

    def test_main_window_destroyed_from_outside(self):
        window, meter = self.start_editor()
        subprocess.run(["xdotool", "windowclose", str(window)], env=self.env, check=True)
        self.assert_quiet_end(meter)
        # The X server itself lives on.
        self.assertIsNone(self.xvfb.poll())


if __name__ == "__main__":
    unittest.main(verbosity=2)
