"""Drives the built quillon executable the way a user does.

Each session gets its own X server (Xvfb, display picked by the server), window
manager, D-Bus session with the accessibility bus, runtime folder, home and
application folder, and ends every process it started. The window's controls are
found through the accessibility tree (AT-SPI) and operated with real pointer and
key events (xdotool), so what is tested is what a user meets.
"""

import ctypes
import glob
import os
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import unittest

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

QUILLON = os.environ.get("QUILLON_EXE", "")
SHIPPED = ("phoneslist.xml", "parameters.xml", "quillonhelp.hlp")


class Timeout(AssertionError):
    pass


SERVICE = os.path.join(os.path.dirname(QUILLON), "quillon-service")


def free_port():
    import socket
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start_service(test, data):
    """Starts the built reference service on loopback over the data folder, with the
    confirmed account ann/secret, for the test's lifetime; returns its port."""
    import urllib.request
    port = free_port()
    subprocess.run([SERVICE, "--data", data, "--add-user", "ann", "secret"], check=True, capture_output=True)
    log = open(os.path.join(data, "..", "service.log"), "wb")
    test.addCleanup(log.close)
    service = subprocess.Popen([SERVICE, "--data", data, "--port", str(port), "--listen", "127.0.0.1",
                                "--public-url", f"http://127.0.0.1:{port}", "--quiet"], stdout=log,
                               stderr=subprocess.STDOUT)
    test.addCleanup(lambda: (service.terminate(), service.wait()))

    def answers():
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/faq.php", timeout=2) as r:
                return r.status == 200
        except OSError:
            return False
    wait_for(answers, "the service to answer")
    return port


def point_at_service(port):
    """A prepare step for a session: the program's requests go to the service on port."""
    import xml.etree.ElementTree as ET

    def prepare(s):
        tree = ET.parse(s.path("parameters.xml"))
        for name in ("uploadhost", "sendmailhost"):
            tree.getroot().find(name).set("value", f"127.0.0.1:{port}")
        tree.write(s.path("parameters.xml"))
    return prepare


def wait_for(condition, what, timeout=15.0, interval=0.05):
    """Polls condition until it returns something truthy; fails with what after timeout."""
    end = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                return value
        except Exception as e:  # objects vanish while a window changes
            last_error = e
        if time.monotonic() > end:
            raise Timeout(f"timed out waiting for {what}" + (f" (last error: {last_error})" if last_error else ""))
        time.sleep(interval)


def write_bmp(path, width, height, pixel):
    """A 24-bit bottom-up BMP; pixel(x, y) gives (r, g, b)."""
    row_size = (width * 3 + 3) & ~3
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        rows.append(bytes(row))
    data = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def gradient(width, height):
    return lambda x, y: (x * 255 // width, y * 255 // height, 128)


class Session:
    """One running quillon with everything it needs around it."""

    def __init__(self, extra_env=None, app_dir=None, prepare=None, screen="1280x1024x24", first_window="Quillon",
                 start_timeout=30):
        self.tmp = tempfile.mkdtemp(prefix="quillon-e2e-")
        self.first_window = first_window
        self.start_timeout = start_timeout
        self.screen = screen
        self.procs = []
        self.quillon = None
        self.app_dir = app_dir or os.path.join(self.tmp, "app")
        try:
            self._start_display()
            self._start_bus()
            if app_dir is None:
                self.make_app_dir(self.app_dir)
            if prepare:
                prepare(self)
            self.start_quillon(extra_env or {})
        except BaseException:
            self.close()
            raise

    # --- set-up ---------------------------------------------------------------------------

    def _spawn(self, args, **kw):
        p = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True, **kw)
        self.procs.append(p)
        return p

    def _start_display(self):
        r, w = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", self.screen, "-nolisten", "tcp"], pass_fds=(w,))
        os.close(w)
        number = b""
        with os.fdopen(r, "rb") as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode()
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": self.display,
            "HOME": os.path.join(self.tmp, "home"),
            "XDG_RUNTIME_DIR": os.path.join(self.tmp, "runtime"),
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "home", ".config"),
            "XDG_DATA_HOME": os.path.join(self.tmp, "home", ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.tmp, "home", ".cache"),
            "LANG": "C.UTF-8",
        }
        os.makedirs(self.env["HOME"])
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700)
        self._start_window_manager()

    def _start_window_manager(self):
        """Openbox, started again once if it ends before it has taken the screen (a CI run
        saw it never come up); its own words are in the failure if it does not."""
        log_path = os.path.join(self.tmp, "openbox.log")
        for attempt in range(2):
            with open(log_path, "ab") as log:
                wm = subprocess.Popen(["openbox"], env=self.env, stdout=log, stderr=log, start_new_session=True)
            self.procs.append(wm)
            managed = lambda: subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env,
                                             capture_output=True, text=True).stdout.count("window id")
            try:
                wait_for(lambda: managed() or wm.poll() is not None, "the window manager")
            except Timeout:
                break
            if managed():
                return
        with open(log_path, errors="replace") as f:
            raise Timeout(f"the window manager did not take the screen (exit {wm.poll()}): {f.read()[-2000:]}")

    def _start_bus(self):
        out = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1",
                              "--nopidfile"], env=self.env, capture_output=True, text=True, check=True).stdout.split()
        self.env["DBUS_SESSION_BUS_ADDRESS"] = out[0]
        self.bus_pid = int(out[1])
        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=self.env)
        # This process talks to the same buses as the program it drives (and to no X
        # server of an earlier session when this one has none).
        for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
            if k in self.env:
                os.environ[k] = self.env[k]
            else:
                os.environ.pop(k, None)
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        Atspi.init()

    @staticmethod
    def make_app_dir(path):
        os.makedirs(path, exist_ok=True)
        build = os.path.dirname(QUILLON)
        shutil.copy2(QUILLON, os.path.join(path, "quillon"))
        for name in SHIPPED:
            shutil.copy2(os.path.join(build, name), os.path.join(path, name))

    def start_quillon(self, extra_env=None, args=()):
        env = dict(self.env)
        env.update({"QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1"})
        env.update(self.platform_env())
        env.update(extra_env or {})
        self.log = os.path.join(self.tmp, "quillon.log")
        with open(self.log, "ab") as log:
            self.quillon = subprocess.Popen([os.path.join(self.app_dir, "quillon"), *args], env=env, stdout=log,
                                            stderr=subprocess.STDOUT, start_new_session=True)
        # A message at start comes before the main window: first_window None takes whatever
        # window the program shows first.
        first = (lambda: self.window(self.first_window)) if self.first_window else self.first_shown_window
        self.main = wait_for(first, "the main window", timeout=self.start_timeout)
        return self.quillon

    def platform_env(self):
        """How the program reaches this session's display."""
        return {"QT_QPA_PLATFORM": "xcb"}

    # --- ending -----------------------------------------------------------------------------

    def wait_exit(self, timeout=15):
        try:
            return self.quillon.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Timeout("quillon did not end; its threads wait in: " + self._thread_waits())

    def quit(self):
        """Ctrl+Q in the main window, as a person presses it; the exit status. A key pressed
        while the window manager is still handing over the keyboard can be lost, so a press
        seen to leave the window up is repeated once. A window gone and a process that
        stays is a hang, and fails."""
        for attempt in range(2):
            self.activate(self.main)
            self.key("ctrl+q")
            try:
                wait_for(lambda: self.quillon.poll() is not None or not self._main_window_ids(),
                         "the main window to close", timeout=5)
                break
            except Timeout:
                if attempt == 1:
                    raise
        return self.wait_exit()

    def _main_window_ids(self):
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.quillon.pid), "--name",
                               "^Quillon$"], env=self.env, capture_output=True, text=True).stdout.split()

    def _thread_waits(self):
        waits = []
        for task in sorted(glob.glob(f"/proc/{self.quillon.pid}/task/*")):
            try:
                with open(os.path.join(task, "comm")) as f, open(os.path.join(task, "wchan")) as g:
                    waits.append(f"{f.read().strip()}: {g.read().strip() or 'running'}")
            except OSError:
                pass
        return ", ".join(waits) or "(gone)"

    def close(self):
        if self.quillon and self.quillon.poll() is None:
            self.quillon.kill()
            self.quillon.wait()
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait()
        if getattr(self, "bus_pid", None):
            try:
                os.kill(self.bus_pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.tmp, ignore_errors=True)

    # --- the accessibility tree -------------------------------------------------------------

    def application(self):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            a = desktop.get_child_at_index(i)
            if a is not None and a.get_process_id() == self.quillon.pid:
                return a
        return None

    def window(self, name):
        """A top-level window (main window or dialog) of the program by its title."""
        app = self.application()
        if app is None:
            return None
        for i in range(app.get_child_count()):
            w = app.get_child_at_index(i)
            if w is not None and w.get_name() == name and w.get_state_set().contains(Atspi.StateType.SHOWING):
                return w
        return None

    def first_shown_window(self):
        app = self.application()
        for i in range(app.get_child_count() if app else 0):
            w = app.get_child_at_index(i)
            if w is not None and w.get_state_set().contains(Atspi.StateType.SHOWING):
                return w
        return None

    def dialog(self, name=None):
        """The first shown top-level window other than the main one (message boxes carry
        the main window's title, so they are told apart by being another window)."""
        app = self.application()
        if app is None:
            return None
        for i in range(app.get_child_count()):
            w = app.get_child_at_index(i)
            if w is None or w == self.main or not w.get_state_set().contains(Atspi.StateType.SHOWING):
                continue
            if name is None or w.get_name() == name:
                return w
        return None

    def button(self, window, caption):
        """A push button by its caption, with or without its mnemonic."""
        return self.find(window, "push button", predicate=lambda a: a.get_name().replace("&", "") == caption)

    def windows(self):
        app = self.application()
        return [app.get_child_at_index(i).get_name() for i in range(app.get_child_count())] if app else []

    @staticmethod
    def walk(root, depth=40):
        stack = [(root, 0)]
        while stack:
            acc, d = stack.pop()
            if acc is None:
                continue
            yield acc
            if d < depth:
                n = acc.get_child_count()
                for i in range(n - 1, -1, -1):
                    stack.append((acc.get_child_at_index(i), d + 1))

    def find(self, root, role=None, name=None, predicate=None, showing=True):
        for acc in self.walk(root):
            if role and acc.get_role_name() != role:
                continue
            if name is not None and acc.get_name() != name:
                continue
            if predicate and not predicate(acc):
                continue
            if showing and not acc.get_state_set().contains(Atspi.StateType.SHOWING):
                continue
            return acc
        return None

    def wait_find(self, root, role=None, name=None, predicate=None, timeout=15):
        root_fn = root if callable(root) else (lambda: root)
        return wait_for(lambda: self.find(root_fn(), role, name, predicate),
                        f"{role or 'control'} {name!r}", timeout)

    def menu_item(self, caption):
        """A menu item anywhere in the application, open menus included (they are windows of their own)."""
        return self.wait_find(lambda: self.application(), None, caption,
                              predicate=lambda a: a.get_role_name() == "menu item")

    def tree_items(self):
        tree = self.find(self.main, role="tree")
        return [c.get_name() for c in self.walk(tree, 2) if c.get_role_name() in ("table cell", "tree item")]

    @staticmethod
    def text_of(acc):
        t = acc.get_text_iface()
        return t.get_text(0, t.get_character_count()) if t else acc.get_name()

    # --- user input -------------------------------------------------------------------------

    def xdotool(self, *args):
        subprocess.run(["xdotool", *[str(a) for a in args]], env=self.env, check=True)

    @staticmethod
    def center(acc):
        e = acc.get_extents(Atspi.CoordType.SCREEN)
        return e.x + e.width // 2, e.y + e.height // 2

    def click(self, acc, button=1, offset=None):
        x, y = self.center(acc)
        if offset:
            x, y = x + offset[0], y + offset[1]
        self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", button)

    def drag(self, start, end, steps=8):
        self.xdotool("mousemove", "--sync", *start)
        self.xdotool("mousedown", 1)
        for i in range(1, steps + 1):
            x = start[0] + (end[0] - start[0]) * i // steps
            y = start[1] + (end[1] - start[1]) * i // steps
            self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("mouseup", 1)

    def key(self, *keys):
        self.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "5", text)

    def activate(self, window):
        """Gives a window the keyboard, as a click on its title bar would."""
        wait_for(lambda: window.get_state_set().contains(Atspi.StateType.ACTIVE) or self._focus(window),
                 f"window {window.get_name()!r} to become active", timeout=10)

    def _focus(self, window):
        x, y = self.center(window)
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.quillon.pid), "--name",
                              "^" + window.get_name() + "$"], env=self.env, capture_output=True, text=True).stdout.split()
        for wid in ids:
            subprocess.run(["xdotool", "windowactivate", "--sync", wid], env=self.env, capture_output=True)
        if window.get_state_set().contains(Atspi.StateType.ACTIVE):
            return True
        # A window shown again without another one active in between has the keyboard, but
        # the accessibility bus is not always told: the X server's focus decides then.
        focus = subprocess.run(["xdotool", "getwindowfocus"], env=self.env, capture_output=True, text=True).stdout
        return focus.strip() in ids

    def screenshot(self, path, acc=None):
        """The screen, or the part a control covers."""
        args = ["import", "-window", "root"]
        if acc is not None:
            e = acc.get_extents(Atspi.CoordType.SCREEN)
            args += ["-crop", f"{e.width}x{e.height}+{e.x}+{e.y}"]
        subprocess.run([*args, path], env=self.env, check=True)

    def cursor_image(self):
        """The pointer's picture as the X server shows it: (width, height, hot x, hot y)."""
        xcb, xfixes = ctypes.CDLL("libxcb.so.1"), ctypes.CDLL("libxcb-xfixes.so.0")

        class Cookie(ctypes.Structure):
            _fields_ = [("sequence", ctypes.c_uint)]

        class CursorImage(ctypes.Structure):
            _fields_ = [("response_type", ctypes.c_uint8), ("pad0", ctypes.c_uint8), ("sequence", ctypes.c_uint16),
                        ("length", ctypes.c_uint32), ("x", ctypes.c_int16), ("y", ctypes.c_int16),
                        ("width", ctypes.c_uint16), ("height", ctypes.c_uint16), ("xhot", ctypes.c_uint16),
                        ("yhot", ctypes.c_uint16), ("cursor_serial", ctypes.c_uint32), ("pad1", ctypes.c_uint8 * 8)]

        xcb.xcb_connect.restype = ctypes.c_void_p
        xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
        xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
        xfixes.xcb_xfixes_query_version.restype = Cookie
        xfixes.xcb_xfixes_query_version.argtypes = [ctypes.c_void_p, ctypes.c_uint32, ctypes.c_uint32]
        xfixes.xcb_xfixes_query_version_reply.restype = ctypes.c_void_p
        xfixes.xcb_xfixes_query_version_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
        xfixes.xcb_xfixes_get_cursor_image.restype = Cookie
        xfixes.xcb_xfixes_get_cursor_image.argtypes = [ctypes.c_void_p]
        xfixes.xcb_xfixes_get_cursor_image_reply.restype = ctypes.POINTER(CursorImage)
        xfixes.xcb_xfixes_get_cursor_image_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
        libc = ctypes.CDLL(None)
        libc.free.argtypes = [ctypes.c_void_p]
        connection = xcb.xcb_connect(self.display.encode(), None)
        try:
            # The extension answers only once its version has been asked.
            libc.free(xfixes.xcb_xfixes_query_version_reply(connection, xfixes.xcb_xfixes_query_version(connection, 4, 0),
                                                            None))
            reply = xfixes.xcb_xfixes_get_cursor_image_reply(connection, xfixes.xcb_xfixes_get_cursor_image(connection),
                                                             None)
            if not reply:
                return None
            r = reply.contents
            result = (r.width, r.height, r.xhot, r.yhot)
            libc.free(ctypes.cast(reply, ctypes.c_void_p))
            return result
        finally:
            xcb.xcb_disconnect(connection)

    def capture(self, x, y, width, height):
        """A rectangle of the screen in one request, in a few milliseconds: BGRX bytes, four
        a pixel, row after row. Fast enough to catch a picture that is on screen briefly."""
        xcb = ctypes.CDLL("libxcb.so.1")

        class Cookie(ctypes.Structure):
            _fields_ = [("sequence", ctypes.c_uint)]

        class ScreenIterator(ctypes.Structure):
            _fields_ = [("data", ctypes.POINTER(ctypes.c_uint32)), ("rem", ctypes.c_int), ("index", ctypes.c_int)]

        xcb.xcb_connect.restype = ctypes.c_void_p
        xcb.xcb_connect.argtypes = [ctypes.c_char_p, ctypes.c_void_p]
        xcb.xcb_disconnect.argtypes = [ctypes.c_void_p]
        xcb.xcb_get_setup.restype = ctypes.c_void_p
        xcb.xcb_get_setup.argtypes = [ctypes.c_void_p]
        xcb.xcb_setup_roots_iterator.restype = ScreenIterator
        xcb.xcb_setup_roots_iterator.argtypes = [ctypes.c_void_p]
        xcb.xcb_get_image.restype = Cookie
        xcb.xcb_get_image.argtypes = [ctypes.c_void_p, ctypes.c_uint8, ctypes.c_uint32, ctypes.c_int16, ctypes.c_int16,
                                      ctypes.c_uint16, ctypes.c_uint16, ctypes.c_uint32]
        xcb.xcb_get_image_reply.restype = ctypes.c_void_p
        xcb.xcb_get_image_reply.argtypes = [ctypes.c_void_p, Cookie, ctypes.c_void_p]
        xcb.xcb_get_image_data.restype = ctypes.POINTER(ctypes.c_uint8)
        xcb.xcb_get_image_data.argtypes = [ctypes.c_void_p]
        xcb.xcb_get_image_data_length.restype = ctypes.c_int
        xcb.xcb_get_image_data_length.argtypes = [ctypes.c_void_p]
        libc = ctypes.CDLL(None)
        libc.free.argtypes = [ctypes.c_void_p]
        connection = xcb.xcb_connect(self.display.encode(), None)
        try:
            root = xcb.xcb_setup_roots_iterator(xcb.xcb_get_setup(connection)).data[0]  # xcb_screen_t starts with it
            z_pixmap = 2
            reply = xcb.xcb_get_image_reply(
                connection, xcb.xcb_get_image(connection, z_pixmap, root, x, y, width, height, 0xFFFFFFFF), None)
            if not reply:
                return None
            data = ctypes.string_at(xcb.xcb_get_image_data(reply), xcb.xcb_get_image_data_length(reply))
            libc.free(reply)
            return data
        finally:
            xcb.xcb_disconnect(connection)

    def read_qr_code(self, acc):
        """What a phone's camera reads off a QR code on screen."""
        path = os.path.join(self.tmp, "qr.png")

        def read():
            # A window found through the accessibility tree may not be painted yet.
            self.screenshot(path, acc)
            return subprocess.run(["zbarimg", "--raw", "-q", path], capture_output=True, text=True).stdout.strip()
        return wait_for(read, "a readable QR code", timeout=10)

    # --- what users do again and again ---------------------------------------------------------

    def open_picture(self, path):
        """File > Open by its shortcut, the path typed into the real dialog."""
        self.activate(self.main)
        self.key("ctrl+o")
        dialog = wait_for(lambda: self.dialog("Open"), "the open dialog")
        self.activate(dialog)
        self.type(path)
        self.key("Return")

    def open_gradient(self, name, width=300, height=200):
        """A gradient picture written as a bitmap, opened, and waited for on screen; its path."""
        picture = os.path.join(self.tmp, name)
        write_bmp(picture, width, height, gradient(width, height))
        self.open_picture(picture)
        wait_for(lambda: self.find(self.main, "label", f"Source Image: {width}x{height}"), "the picture on screen")
        return picture

    def save_logo(self, target):
        """File > Save..., the file name typed into the real save dialog over what it offers."""
        self.click(self.wait_find(self.main, "menu item", "File"))
        self.click(self.menu_item("Save..."))
        dialog = wait_for(lambda: self.dialog("Save As"), "the save dialog")
        self.activate(dialog)
        self.key("ctrl+a")
        self.type(target)
        self.key("Return")

    def tree_item(self, name):
        return self.wait_find(self.main, None, name, predicate=lambda a: a.get_role_name() in ("table cell", "tree item"))

    def field_text(self, name):
        """The text of a text field by its accessible name."""
        return self.text_of(self.wait_find(self.main, "text", name))

    def log_in(self, login, password):
        """Fills in the service's login dialog and confirms it."""
        box = wait_for(lambda: self.dialog("System Authorization"), "the login dialog")
        self.activate(box)
        self.click(self.wait_find(box, "text", "Login"))
        self.type(login)
        self.click(self.wait_find(box, "password text", "Password"))
        self.type(password)
        self.key("Return")

    def answer_input(self, title, text):
        """Replaces the prefilled text of the input box titled title and presses OK."""
        box = wait_for(lambda: self.dialog(title), f"the input box {title!r}")
        self.activate(box)
        self.key("ctrl+a")
        self.type(text)
        self.key("Return")

    # --- files ------------------------------------------------------------------------------

    def path(self, *parts):
        return os.path.join(self.app_dir, *parts)

    def cpu_seconds(self):
        with open(f"/proc/{self.quillon.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class QuillonTestCase(unittest.TestCase):
    """A test case that starts a session and always ends it."""

    session_env = None

    def start(self, **kw):
        s = Session(extra_env=kw.pop("env", self.session_env), **kw)
        self.addCleanup(s.close)
        return s
