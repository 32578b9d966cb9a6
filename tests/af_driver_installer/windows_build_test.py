#!/usr/bin/python3
"""The Windows build of the driver installer (scripts/cross-build, x86_64).

Checks that AF_Driver_Installer.exe is a 64-bit console program whose
manifest asks for the invoker's level, then runs one scenario twice: with the
Windows build under wine64 in a throw-away prefix (wine's own registry and
service manager), and with the Linux build against a stand-in machine. Both
runs must give the same exit codes, output and registry values byte for byte;
only the system folder differs, and wine's service manager stores ImagePath
as REG_SZ where Windows uses REG_EXPAND_SZ, so that value is compared by its
text.

Usage: windows_build_test.py <linux build dir>. Exit 77 (skipped) without the
cross build or wine64.
"""
import os
import shutil
import subprocess
import sys
import tempfile

CLASS_KEY = r"SYSTEM\CurrentControlSet\Control\Class\{4d36e96f-e325-11ce-bfc1-08002be10318}"
SERVICE_KEY = r"SYSTEM\CurrentControlSet\Services\afmouse"
INSTANCES_KEY = SERVICE_KEY + r"\Instances"
INSTANCE_KEY = INSTANCES_KEY + r"\Arcflex fltmgr interface Default"
SESSION_KEY = r"SYSTEM\CurrentControlSet\Control\Session Manager"
USAGE = "\n How to use : installer /I for install or installer /U for UN-install \n"


def multi(*names):
    return b"".join(n.encode("utf-16-le") + b"\0\0" for n in names) + b"\0\0"


def fail(msg):
    print("FAIL:", msg)
    sys.exit(1)


def check_program(exe):
    objdump = "x86_64-w64-mingw32-objdump"
    header = subprocess.run([objdump, "-f", exe], capture_output=True, text=True, check=True).stdout
    if "file format pei-x86-64" not in header:
        fail(f"{exe} is not a 64-bit x86-64 program:\n{header}")
    private = subprocess.run([objdump, "-p", exe], capture_output=True, text=True, check=True).stdout
    if "(PE32+)" not in private:
        fail(f"{exe} is not PE32+")
    if "(Windows CUI)" not in private:
        fail(f"{exe} is not a console program")
    for dll in ("libstdc++", "libgcc", "libwinpthread"):
        if f"DLL Name: {dll}".lower() in private.lower():
            fail(f"{exe} needs {dll}: not statically linked")
    with open(exe, "rb") as f:
        data = f.read()
    if b'requestedExecutionLevel level="asInvoker"' not in data:
        fail(f"{exe} has no manifest asking for the invoker's level")
    print("ok: 64-bit console program, statically linked, manifest level asInvoker")


class Machine:
    """One system to run the installer on: its folder holds the installer,
    the registry tool and the driver image."""

    def __init__(self, tmp, installer, afreg, image_name):
        self.dir = os.path.join(tmp, "AF_Driver")
        os.makedirs(self.dir)
        self.installer = os.path.join(self.dir, os.path.basename(installer))
        self.afreg = os.path.join(self.dir, os.path.basename(afreg))
        shutil.copy(installer, self.installer)
        shutil.copy(afreg, self.afreg)
        self.image = os.path.join(self.dir, image_name)
        self.put_image()

    def put_image(self):
        with open(self.image, "w") as f:
            f.write("dummy afmouse image\n")

    def run(self, program, args):
        # Output goes to a file, not a pipe: wine's own background processes
        # may hold a pipe open long after the program ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            p = subprocess.run(self.command(program, args), cwd=self.dir, env=self.env, stdout=out,
                               stderr=err, stdin=subprocess.DEVNULL, timeout=120)
            out.seek(0)
            text = out.read().decode("utf-8", "replace").replace("\r\n", "\n")
            err.seek(0)
            self.last_stderr = err.read().decode("utf-8", "replace")
        return p.returncode, text

    def install(self, *args):
        return self.run(self.installer, list(args))

    def reg_get(self, key, value):
        rc, out = self.run(self.afreg, ["get", key, value])
        if rc != 0:
            fail(f"afreg get {key} {value} failed: {rc} {out!r}, stderr {self.last_stderr!r}")
        return out.strip()

    def reg_set(self, key, value, type_, data):
        rc, out = self.run(self.afreg, ["set", key, value, str(type_), data.hex()])
        if rc != 0:
            fail(f"afreg set {key} {value} failed: {rc} {out!r}, stderr {self.last_stderr!r}")

    def system_folder(self):
        rc, out = self.run(self.afreg, ["sysdir"])
        if rc != 0:
            fail(f"afreg sysdir failed: {rc} {out!r}, stderr {self.last_stderr!r}")
        return out.strip()

    def path_text(self, key, value):
        """A path-valued string with the system folder written as <SYS>."""
        got = self.reg_get(key, value)
        if got.startswith("missing"):
            return got
        type_, hexdata = got.split(" ")
        text = bytes.fromhex(hexdata).decode("utf-16-le")
        sysdir = self.system_folder()
        text = text.replace(sysdir, "<SYS>").replace("/", "\\")
        return ("string" if type_ in ("1", "2") else type_) + " " + repr(text)


class Linux(Machine):
    def __init__(self, tmp, build):
        root = os.path.join(tmp, "sysroot")
        os.makedirs(root)
        self.env = dict(os.environ, AF_SYSROOT=root)
        super().__init__(tmp, os.path.join(build, "stage", "AF_Driver", "AF_Driver_Installer"),
                         os.path.join(build, "tests", "af_driver_installer", "afreg"), "afmouse.sys")

    def command(self, program, args):
        return [program] + args


class Wine(Machine):
    def __init__(self, tmp, wine, windir):
        self.wine = wine
        prefix = os.path.join(tmp, "prefix")
        os.makedirs(prefix)
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all")
        self.env.pop("DISPLAY", None)
        super().__init__(tmp, os.path.join(windir, "AF_Driver_Installer.exe"), os.path.join(windir, "afreg.exe"),
                         "afmouse.sys")
        server = os.path.join(os.path.dirname(wine), "wineserver64")
        self.server = server if os.path.exists(server) else shutil.which("wineserver")
        # The prefix is set up completely (wineboot, then every wine process
        # of it ended) before the scenario starts, so no first-run set-up is
        # still writing the registry while the installer and afreg use it.
        subprocess.run([wine, "wineboot", "-i"], env=self.env, check=False, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=200)
        if self.server:
            subprocess.run([self.server, "-w"], env=self.env, check=False, timeout=200)
            # One persistent server for the whole run; stopped in close().
            subprocess.run([self.server, "-p"], env=self.env, check=False, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)

    def command(self, program, args):
        return [self.wine, program] + args

    def close(self):
        if self.server:
            subprocess.run([self.server, "-k"], env=self.env, check=False)


def scenario(m):
    """The same steps on either machine; returns the transcript."""
    t = []

    def install(label, *args):
        rc, out = m.install(*args)
        t.append(f"{label}: exit {rc} output {out!r}")
        return rc

    def values(label):
        t.append(f"{label}: UpperFilters {m.reg_get(CLASS_KEY, 'UpperFilters')}")
        t.append(f"{label}: DefaultInstance {m.reg_get(INSTANCES_KEY, 'DefaultInstance')}")
        for v in ("Altitude", "Flags"):
            t.append(f"{label}: {v} {m.reg_get(INSTANCE_KEY, v)}")
        for v in ("Type", "Start", "ErrorControl", "DisplayName"):
            t.append(f"{label}: service {v} {m.reg_get(SERVICE_KEY, v)}")
        t.append(f"{label}: service ImagePath {m.path_text(SERVICE_KEY, 'ImagePath')}")
        t.append(f"{label}: pending {m.path_text(SESSION_KEY, 'PendingFileRenameOperations')}")

    def list_case(label, data, type_=7):
        m.reg_set(CLASS_KEY, "UpperFilters", type_, data)
        install(label + " /I", "/I")
        t.append(f"{label} /I: UpperFilters {m.reg_get(CLASS_KEY, 'UpperFilters')}")
        install(label + " /U", "/U")
        t.append(f"{label} /U: UpperFilters {m.reg_get(CLASS_KEY, 'UpperFilters')}")

    install("usage, no argument")
    install("usage, /X", "/X")
    m.reg_set(CLASS_KEY, "UpperFilters", 7, multi("mouclass"))
    values("seeded")
    install("install", "/I")
    values("installed")
    install("install again", "/I")
    values("installed again")
    install("uninstall", "/U")
    values("uninstalled")
    install("uninstall without service", "/U")

    list_case("495 bytes", multi("x" * 245) + b"\0")
    list_case("496 bytes", multi("x" * 246))
    list_case("any case", multi("mouclass", "AfMoUsE"))
    list_case("afmouse2", multi("afmouse2"))
    list_case("inner empty string", multi("kbd", "", "afmouse"))
    list_case("wrong type", "mouclass\0".encode("utf-16-le"), type_=1)
    list_case("empty", b"")

    m.reg_set(CLASS_KEY, "UpperFilters", 7, multi("mouclass"))
    os.remove(m.image)
    install("no image", "/I")
    t.append(f"no image: UpperFilters {m.reg_get(CLASS_KEY, 'UpperFilters')}")
    m.put_image()
    install("slash-word install", "/install")
    install("slash-word uninstall", "/uninstall")
    values("final")
    return t


def main():
    build = sys.argv[1]
    windir = os.path.join(build, "win32-x86_64", "af_driver_installer")
    exe = os.path.join(windir, "AF_Driver_Installer.exe")
    if not os.path.exists(exe) or not os.path.exists(os.path.join(windir, "afreg.exe")):
        print(f"no {exe} (run scripts/cross-build)")
        return 77
    check_program(exe)
    wine = shutil.which("wine64") or ("/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else None)
    if not wine:
        print("wine64 not installed: the program was checked, not run")
        return 77

    with tempfile.TemporaryDirectory(prefix="af-inst-") as tmp:
        linux = Linux(os.path.join(tmp, "linux"), build)
        expected = scenario(linux)
        w = Wine(os.path.join(tmp, "wine"), wine, windir)
        try:
            got = scenario(w)
        finally:
            w.close()

    # The Linux run must itself be right where it matters most.
    must = [
        "install: exit 0 output ''",
        "installed: UpperFilters 7 " + multi("afmouse", "mouclass").hex(),
        "uninstalled: UpperFilters 7 " + multi("mouclass").hex(),
        "uninstall without service: exit 255 output ''",
        f"usage, no argument: exit 0 output {USAGE!r}",
        "496 bytes /I: exit 255 output ''",
    ]
    for line in must:
        if line not in expected:
            fail(f"Linux run lacks {line!r}")
    status = 0
    for i in range(max(len(expected), len(got))):
        e = expected[i] if i < len(expected) else "<none>"
        g = got[i] if i < len(got) else "<none>"
        if e != g:
            print(f"DIFF linux: {e}\n     wine:  {g}")
            status = 1
        else:
            print(f"same: {e}")
    if status == 0:
        print(f"ok: {len(got)} results the same on Linux and under wine")
    return status


if __name__ == "__main__":
    sys.exit(main())
