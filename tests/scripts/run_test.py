"""scripts/run with stand-ins for the build, the stand-in driver and the
editor: it returns the editor's exit code, ends the stand-in driver it
started, names an editor that holds the single-instance lock, and passes
TERM, HUP and INT on to the editor as TERM."""
import fcntl
import os
import signal
import subprocess
import tempfile
import time
import unittest

RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "run")
RUNNING = "an editor is already running"

# The editor: leaves with 1 while the lock is held, as the real one does;
# records a TERM and then leaves with its exit code as closing it does.
EDITOR = """import fcntl, os, signal, sys, time
d = os.environ["FAKE_DIR"]
code = int(os.environ["FAKE_EDITOR_CODE"])
def closed(*_):
    with open(os.path.join(d, "editor.log"), "a") as f:
        f.write("TERM\\n")
    sys.exit(code)
signal.signal(signal.SIGTERM, closed)
lock = open(os.path.join(os.environ["XDG_RUNTIME_DIR"], "arcflex", "Keep_AF_Alive_Mutex.lock"), "a")
try:
    fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
except OSError:
    sys.exit(1)
open(os.path.join(d, "editor.ready"), "w").close()
if os.environ.get("FAKE_EDITOR_STAYS"):
    time.sleep(60)
sys.exit(code)
"""
# The stand-in driver: serves (a marker file) until TERM, which it records.
STANDIN = """#!/bin/sh
d=$(dirname "$0")
[ "${1:-}" = --probe ] && { [ -e "$d/serving" ]; exit; }
trap 'echo ended >>"$d/standin.log"; rm -f "$d/serving"; exit 0' TERM
: >"$d/serving"
i=0
while [ $i -lt 3000 ]; do sleep 0.1; i=$((i + 1)); done
"""


def write(path, text, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


def read(path):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return ""


class Run(unittest.TestCase):
    # (what, editor's exit code, lock held by another editor, signal to scripts/run)
    CASES = [
        ("editor's exit code", 3, False, None),
        ("exit code 1, no editor running", 1, False, None),
        ("an editor holds the lock", 0, True, None),
        ("TERM", 4, False, signal.SIGTERM),
        ("HUP", 4, False, signal.SIGHUP),
        ("INT", 4, False, signal.SIGINT),
    ]

    def test_cases(self):
        for what, code, locked, sig in self.CASES:
            with self.subTest(what), tempfile.TemporaryDirectory(prefix="af-run-") as d:
                fake = os.path.join(d, "fake")
                build = os.path.join(d, "build")
                # Packages present, the build done and the display answering.
                write(os.path.join(fake, "dpkg-query"), "#!/bin/sh\necho 'install ok installed'\n", 0o755)
                write(os.path.join(fake, "cmake"), "#!/bin/sh\nexit 0\n", 0o755)
                write(os.path.join(fake, "xdpyinfo"), "#!/bin/sh\nexit 0\n", 0o755)
                write(os.path.join(build, "stage", "ArcflexLE.py"), EDITOR)
                write(os.path.join(build, "standins", "afmouse", "afmouse"), STANDIN, 0o755)
                os.makedirs(os.path.join(d, "run", "arcflex"))
                env = dict(os.environ, PATH=fake + ":" + os.environ["PATH"], DISPLAY=":1", AF_BUILD_DIR=build,
                           AF_SYSROOT=os.path.join(d, "sysroot"), XDG_RUNTIME_DIR=os.path.join(d, "run"),
                           FAKE_DIR=d, FAKE_EDITOR_CODE=str(code))
                if sig:
                    env["FAKE_EDITOR_STAYS"] = "1"
                holder = open(os.path.join(d, "run", "arcflex", "Keep_AF_Alive_Mutex.lock"), "a")
                if locked:
                    fcntl.flock(holder, fcntl.LOCK_EX | fcntl.LOCK_NB)
                # Output to a file: an editor left behind must not hold up the wait.
                with open(os.path.join(d, "err"), "w") as err:
                    p = subprocess.Popen([RUN], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=err, start_new_session=True)
                try:
                    if sig:
                        # The editor runs and scripts/run waits for it (its
                        # signal trap is set by then).
                        end = time.monotonic() + 60
                        while not (waiting := os.path.exists(os.path.join(d, "editor.ready"))
                                   and read(f"/proc/{p.pid}/wchan") == "do_wait") and time.monotonic() < end:
                            time.sleep(0.05)
                        self.assertTrue(waiting, "scripts/run does not wait for a running editor")
                        p.send_signal(sig)
                    p.wait(timeout=30)
                finally:
                    try:
                        os.killpg(p.pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                    p.wait()
                    holder.close()
                err = read(os.path.join(d, "err"))
                self.assertEqual(p.returncode, 1 if locked else code, err)
                self.assertEqual(RUNNING in err, locked, err)
                self.assertEqual(read(os.path.join(d, "editor.log")), "TERM" if sig else "")
                self.assertEqual(read(os.path.join(build, "standins", "afmouse", "standin.log")), "ended")


if __name__ == "__main__":
    unittest.main()
