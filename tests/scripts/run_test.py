"""scripts/run with stand-ins for the build, the driver and the editor: it
returns the editor's exit code, ends the stand-in driver it started, names
an editor that holds the single-instance lock, and passes TERM, INT and HUP
sent to its process group on to the editor as TERM, once."""
import contextlib, fcntl, os, signal, subprocess, tempfile, time, unittest

RUN = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts", "run")
# Leaves with 1 while the lock is held, as the editor does; records a TERM.
EDITOR = """import fcntl, os, signal, sys, time
d, code = os.environ["FAKE_DIR"], int(os.environ["FAKE_CODE"])
for s in (signal.SIGINT, signal.SIGHUP):
    signal.signal(s, lambda n, _: open(d + "/editor.log", "a").write(signal.Signals(n).name[3:]))
signal.signal(signal.SIGTERM, lambda *_: (open(d + "/editor.log", "a").write("TERM"), sys.exit(code)))
lock = open(os.environ["XDG_RUNTIME_DIR"] + "/arcflex/Keep_AF_Alive_Mutex.lock", "a")
try:
    fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
except OSError:
    sys.exit(1)
open(d + "/editor.ready", "w").close()
time.sleep(60 if os.environ.get("FAKE_STAYS") else 0)
sys.exit(code)
"""
STANDIN = """#!/bin/sh
d=$(dirname "$0")
[ "${1:-}" = --probe ] && { [ -e "$d/serving" ]; exit; }
trap 'echo ended >"$d/standin.log"; rm -f "$d/serving"; exit 0' TERM
: >"$d/serving"
i=0; while [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
"""


def put(path, text, mode=0o755):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, mode)


def read(path):
    return open(path).read().strip() if os.path.exists(path) else ""


class Run(unittest.TestCase):
    def test_cases(self):
        # (editor's exit code, lock held by another editor, signal to scripts/run)
        for code, locked, sig in ((3, False, None), (0, True, None), (4, False, signal.SIGTERM),
                                  (4, False, signal.SIGINT), (4, False, signal.SIGHUP)):
            with self.subTest(code=code, locked=locked, sig=sig), tempfile.TemporaryDirectory() as d:
                for tool, out in (("dpkg-query", "echo 'install ok installed'"), ("cmake", ""), ("xdpyinfo", "")):
                    put(f"{d}/fake/{tool}", f"#!/bin/sh\n{out}\n")
                put(f"{d}/build/stage/ArcflexLE.py", EDITOR)
                put(f"{d}/build/standins/afmouse/afmouse", STANDIN)
                os.makedirs(f"{d}/run/arcflex")
                env = dict(os.environ, PATH=f"{d}/fake:" + os.environ["PATH"], DISPLAY=":1", AF_BUILD_DIR=f"{d}/build",
                           AF_SYSROOT=f"{d}/sysroot", XDG_RUNTIME_DIR=f"{d}/run", FAKE_DIR=d, FAKE_CODE=str(code),
                           FAKE_STAYS="1" if sig else "")
                holder = open(f"{d}/run/arcflex/Keep_AF_Alive_Mutex.lock", "a")
                if locked:
                    fcntl.flock(holder, fcntl.LOCK_EX)
                with open(f"{d}/err", "w") as err:
                    p = subprocess.Popen([RUN], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                         stderr=err, start_new_session=True)
                try:
                    # Signalled once the editor runs and scripts/run waits for it (its trap set).
                    end = time.monotonic() + 60
                    while sig and time.monotonic() < end and not (
                            os.path.exists(f"{d}/editor.ready") and read(f"/proc/{p.pid}/wchan") == "do_wait"):
                        time.sleep(0.05)
                    if sig:  # to the group, as a terminal sends it: the editor hears it once, as TERM
                        os.killpg(p.pid, sig)
                    p.wait(timeout=30)
                finally:
                    with contextlib.suppress(ProcessLookupError):
                        os.killpg(p.pid, signal.SIGKILL)  # an editor left behind
                    p.wait()
                    holder.close()
                self.assertEqual((p.returncode, "already running" in read(f"{d}/err"), read(f"{d}/editor.log"),
                                  read(f"{d}/build/standins/afmouse/standin.log")),
                                 (1 if locked else code, locked, "TERM" if sig else "", "ended"), read(f"{d}/err"))


if __name__ == "__main__":
    unittest.main()
