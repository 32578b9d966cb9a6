"""A change taken back as a user takes it back: the real editor, meter and
stand-in driver on a private X display; a point dragged and Apply pressed
with XTest pointer events, then Cancel pressed, the countdown left to run
out, or the main window closed while the confirm window is open. Each way
"p.dat" has to hold the previous curve again, byte for byte, and the driver
has to be sent the previous table again."""
import os
import subprocess
import time

import editor_start_test as base
from editor_apply_test import ApplyRun, CANCEL_BUTTON
from editor_start_test import read

# Fields of an upload line that tell one message from another, not what it
# carries.
_SEQUENCE_FIELDS = ("seq", "conn")


def upload_content(line):
    """An upload line of the driver's log as {field: value}, the message's
    sequence and connection numbers left out."""
    fields = dict(w.split("=", 1) for w in line.split() if "=" in w)
    for key in _SEQUENCE_FIELDS:
        fields.pop(key, None)
    return fields


class EditorRevert(ApplyRun):
    def setUp(self):
        super().setUp()
        self.afmeter = os.path.join(os.environ["AF_STAGE_DIR"], "subps", "afmeter")

    def curve_file(self):
        return read(os.path.join(self.settings, "p.dat"))

    def confirm_shown(self):
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Confirm changes$"],
                               capture_output=True, text=True)
        return bool(found.stdout.split())

    def meters(self):
        """Pids of meters started from this test's stage folder with this
        test's run-time folder."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    argv = f.read().split(b"\0")
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environ = f.read().split(b"\0")
            except OSError:
                continue  # gone meanwhile, or not ours to read
            if argv[0].decode(errors="replace") != self.afmeter:
                continue
            if ("XDG_RUNTIME_DIR=" + self.env["XDG_RUNTIME_DIR"]).encode() in environ:
                pids.append(int(entry))
        return pids

    def apply_a_change(self):
        """Starts the editor, applies the dragged point and checks the change
        got through; returns the editor, its window, the confirm window and
        the curve file as it was before Apply."""
        p, window = self.start_and_wait_for_startup_upload()
        self.assertEqual(len(self.meters()), 1, "one meter for this test's editor")
        before = self.curve_file()
        confirm = self.drag_point_and_apply(window)
        self.assertNotEqual(self.curve_file(), before)
        xs, ys = self.curve_in_file()
        self.assertAlmostEqual(xs[1], 20, delta=0.5)
        self.assertAlmostEqual(ys[1], 0.8, delta=0.03)
        uploads = self.uploads()
        self.assertEqual(len(uploads), 2)
        self.assertNotEqual(upload_content(uploads[1]), upload_content(uploads[0]))
        return p, window, confirm, before

    def assert_taken_back(self, before):
        """The previous curve is in the file and was sent to the driver again."""
        self.wait_for("the reload upload", lambda: len(self.uploads()) >= 3, timeout=10)
        self.assertEqual(self.curve_file(), before)
        uploads = self.uploads()
        self.assertEqual(len(uploads), 3)
        first, third = upload_content(uploads[0]), upload_content(uploads[2])
        self.assertEqual(third["table_a"], first["table_a"])
        self.assertEqual(third["table_b"], first["table_b"])
        self.assertEqual(third, first)

    def assert_editor_goes_on(self, p, window):
        """After a revert, the editor still runs, and no further upload comes
        by itself; it closes normally."""
        self.wait_for("the confirm window to go", lambda: not self.confirm_shown(), timeout=10)
        time.sleep(1.5)
        self.assertEqual(len(self.uploads()), 3)
        self.assertIsNone(p.poll())
        self.close(p, window)

    def test_cancel_takes_the_change_back(self):
        p, window, confirm, before = self.apply_a_change()
        self.assertTrue(self.confirm_shown())
        self.click_in_window(confirm, *CANCEL_BUTTON)
        self.assert_taken_back(before)
        self.assert_editor_goes_on(p, window)

    def test_countdown_end_takes_the_change_back(self):
        p, window, confirm, before = self.apply_a_change()
        applied = self.curve_file()
        # The countdown runs 12 s; until it ends the change stays.
        time.sleep(6)
        self.assertTrue(self.confirm_shown())
        self.assertEqual(self.curve_file(), applied)
        self.assertEqual(len(self.uploads()), 2)
        self.wait_for("the reload upload", lambda: len(self.uploads()) >= 3, timeout=20)
        self.assert_taken_back(before)
        self.assert_editor_goes_on(p, window)

    def test_confirm_window_destroyed_from_outside_takes_the_change_back(self):
        p, window, confirm, before = self.apply_a_change()
        subprocess.run(["xdotool", "windowclose", str(confirm)], check=True)
        self.assert_taken_back(before)
        self.assert_editor_goes_on(p, window)

    def test_close_with_a_pending_change_takes_it_back_and_ends_the_meter(self):
        p, window, confirm, before = self.apply_a_change()
        self.assertTrue(self.confirm_shown())
        self.close(p, window)
        # The reload was asked for before the quit, so it is in the log by
        # the time the meter is gone.
        self.wait_for("the meter to end", lambda: not self.meters(), timeout=5)
        self.assert_taken_back(before)
        with open(self.log) as f:
            events = [line.split() for line in f if line.startswith("event=")]
        connects = [e[1] for e in events if e[0] == "event=connect"]
        disconnects = [e[1] for e in events if e[0] == "event=disconnect"]
        self.assertEqual(sorted(disconnects), sorted(connects), "a meter connection stays open")


if __name__ == "__main__":
    base.main()
