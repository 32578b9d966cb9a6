"""A change made as a user makes it: the real editor, meter and stand-in
driver on a private X display; a point dragged with XTest pointer events,
Apply pressed, the confirm window's OK pressed. The dragged value has to
reach "p.dat" and the driver, and stay after the countdown would have
ended."""
import os
import subprocess
import time
import unittest

import editor_start_test as base
from editor_start_test import read

# Where the default view puts things in the main window (its layout is
# fixed: the figure's size and the panel below it do not follow the screen).
POINT_10_1 = (206, 146)     # control point (10, 1.0)
TARGET_20_08 = (303, 199)   # data position (20, 0.8)
APPLY_BUTTON = (98, 513)


def xdo(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True)
    time.sleep(0.15)


class EditorApply(base.EditorRun):
    def setUp(self):
        super().setUp()
        # The driver again, now with a log of what it receives.
        for p in self.procs:
            p.kill()
            p.wait()
        self.procs = []
        self.log = os.path.join(self.base, "driver.log")
        build = os.path.dirname(os.environ["AF_STAGE_DIR"])
        port = os.path.join(self.env["XDG_RUNTIME_DIR"], "arcflex", "AF_D_UserKernelCommPort")
        if os.path.exists(port):
            os.unlink(port)
        self.procs.append(subprocess.Popen(
            [os.path.join(build, "standins", "afmouse", "afmouse"), "--zeros", "--no-x", "--log", self.log],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        for _ in range(200):
            if os.path.exists(port):
                break
            time.sleep(0.05)

    def uploads(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log) as f:
            return [line for line in f if " cmd=15 " in line]

    def wait_for(self, what, check, timeout=30):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if check():
                return
            time.sleep(0.1)
        self.fail("timed out waiting for " + what)

    def curve_in_file(self):
        lines = read(os.path.join(self.settings, "p.dat")).split(b"\r\n")
        return [float(v) for v in lines[0].split()], [float(v) for v in lines[1].split()]

    def test_dragged_point_is_applied_and_kept_after_ok(self):
        p, window = self.start_and_wait_for_window()
        self.wait_for("the start-up upload", lambda: len(self.uploads()) == 1)
        time.sleep(1)

        (sx, sy), (tx, ty) = POINT_10_1, TARGET_20_08
        xdo("mousemove", sx, sy)
        xdo("mousedown", 1)
        for k in range(1, 5):
            xdo("mousemove", sx + (tx - sx) * k // 4, sy + (ty - sy) * k // 4)
        xdo("mouseup", 1)

        self.display.watch_maps()
        xdo("mousemove", *APPLY_BUTTON)
        xdo("click", 1)
        confirm, _ = self.display.wait_mapped("Confirm changes", 30)
        self.assertIsNotNone(confirm, "no confirm window after Apply")

        xs, ys = self.curve_in_file()
        self.assertAlmostEqual(xs[1], 20, delta=0.5)
        self.assertAlmostEqual(ys[1], 0.8, delta=0.03)
        self.assertEqual(len(self.uploads()), 2)

        # OK sits in the left half of the confirm window's button row.
        geo = subprocess.run(["xdotool", "getwindowgeometry", "--shell", str(confirm)],
                             capture_output=True, text=True, check=True).stdout
        g = dict(line.split("=") for line in geo.split())
        ok = (int(g["X"]) + int(g["WIDTH"]) * 30 // 100, int(g["Y"]) + int(g["HEIGHT"]) * 44 // 100)
        xdo("mousemove", *ok)
        xdo("click", 1)

        # Past the 12 s countdown: the change stays, nothing is taken back.
        time.sleep(14)
        self.assertEqual(self.curve_in_file(), (xs, ys))
        self.assertEqual(len(self.uploads()), 2)
        self.assertIsNone(p.poll())
        self.close(p, window)


if __name__ == "__main__":
    try:
        unittest.main(verbosity=2)
    finally:
        base.XVFB.terminate()
        base.XVFB.wait()
