"""Small X11 helpers over libX11 (ctypes) for the end-to-end tests and the
benchmarks: wait for a top-level window with a given title to be mapped,
and ask a window to close the way a window manager does (WM_DELETE_WINDOW);
and start an X server of one's own.
"""
import ctypes
import ctypes.util
import os
import subprocess
import time

_x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
_x.XOpenDisplay.restype = ctypes.c_void_p
_x.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x.XDefaultRootWindow.restype = ctypes.c_ulong
_x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
_x.XPending.argtypes = [ctypes.c_void_p]
_x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
_x.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
_x.XFree.argtypes = [ctypes.c_void_p]
_x.XInternAtom.restype = ctypes.c_ulong
_x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
_x.XFlush.argtypes = [ctypes.c_void_p]
_x.XCloseDisplay.argtypes = [ctypes.c_void_p]
_x.XConnectionNumber.argtypes = [ctypes.c_void_p]
_x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                          ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                          ctypes.POINTER(ctypes.c_uint)]
_x.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                     ctypes.POINTER(ctypes.c_int), ctypes.POINTER(ctypes.c_int),
                                     ctypes.POINTER(ctypes.c_ulong)]


# A window may be gone by the time its map event is read (a program that
# showed it has ended): the request about it then fails, which is not an
# error here. Xlib's default handler would end the whole process.
_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
_ignore_errors = _ERROR_HANDLER(lambda dpy, event: 0)
_x.XSetErrorHandler.argtypes = [_ERROR_HANDLER]
_x.XSetErrorHandler.restype = ctypes.c_void_p
_x.XSetErrorHandler(_ignore_errors)


def start_private_display():
    """Xvfb on a free display number, so windows of other programs on a
    shared display are never mistaken for ours. Sets DISPLAY; returns the
    server's process."""
    r, w = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(r, 16)
        if not chunk:
            raise RuntimeError("Xvfb did not start")
        number += chunk
    os.close(r)
    os.environ["DISPLAY"] = ":" + number.decode().strip()
    return xvfb


MAP_NOTIFY = 19
CLIENT_MESSAGE = 33
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19
NO_EVENT_MASK = 0


class _MapEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int)]


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xmap", _MapEvent), ("xclient", _ClientMessage),
                ("pad", ctypes.c_long * 24)]


class Display:
    def __init__(self):
        self.dpy = _x.XOpenDisplay(None)
        if not self.dpy:
            raise RuntimeError("cannot open the X display")
        self.root = _x.XDefaultRootWindow(self.dpy)

    def close(self):
        if self.dpy:
            _x.XCloseDisplay(self.dpy)
            self.dpy = None

    def name_of(self, window):
        name = ctypes.c_char_p()
        if _x.XFetchName(self.dpy, window, ctypes.byref(name)) and name.value is not None:
            text = name.value.decode("utf-8", "replace")
            _x.XFree(name)
            return text
        return None

    def top_windows(self):
        root_ret, parent_ret = ctypes.c_ulong(), ctypes.c_ulong()
        children = ctypes.POINTER(ctypes.c_ulong)()
        n = ctypes.c_uint()
        if not _x.XQueryTree(self.dpy, self.root, ctypes.byref(root_ret), ctypes.byref(parent_ret),
                             ctypes.byref(children), ctypes.byref(n)):
            return []
        result = [children[i] for i in range(n.value)]
        if children:
            _x.XFree(children)
        return result

    def find(self, title):
        """Top-level windows whose WM_NAME equals title."""
        return [w for w in self.top_windows() if self.name_of(w) == title]

    def windows_at(self, x, y):
        """The mapped windows that hold the screen point (x, y), from the
        top-level window down to the deepest one: the windows a click there
        goes through, as the X server sees them now. [] over the bare root."""
        chain, window = [], self.root
        dx, dy, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
        while _x.XTranslateCoordinates(self.dpy, self.root, window, x, y, ctypes.byref(dx), ctypes.byref(dy),
                                       ctypes.byref(child)) and child.value:
            window = child.value
            chain.append(window)
        return chain

    def watch_maps(self):
        """Start listening for top-level windows being mapped."""
        _x.XSelectInput(self.dpy, self.root, SUBSTRUCTURE_NOTIFY_MASK)
        _x.XFlush(self.dpy)

    def wait_mapped(self, title, timeout):
        """After watch_maps(): the window id of the first top-level window
        titled `title` to be mapped, and time.monotonic() when its map was
        seen; (None, None) on time-out."""
        import select
        fd = _x.XConnectionNumber(self.dpy)
        end = time.monotonic() + timeout
        ev = _Event()
        while True:
            while _x.XPending(self.dpy):
                _x.XNextEvent(self.dpy, ctypes.byref(ev))
                if ev.type == MAP_NOTIFY:
                    seen = time.monotonic()
                    if self.name_of(ev.xmap.window) == title:
                        return ev.xmap.window, seen
            left = end - time.monotonic()
            if left <= 0:
                return None, None
            select.select([fd], [], [], min(left, 0.05))

    def request_close(self, window):
        """Sends WM_DELETE_WINDOW, as a window manager's close button does."""
        ev = _Event()
        ev.xclient.type = CLIENT_MESSAGE
        ev.xclient.window = window
        ev.xclient.message_type = _x.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        ev.xclient.format = 32
        ev.xclient.data[0] = _x.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        ev.xclient.data[1] = 0
        _x.XSendEvent(self.dpy, window, 0, NO_EVENT_MASK, ctypes.byref(ev))
        _x.XFlush(self.dpy)
