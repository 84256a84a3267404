"""A session of the program as a native Wayland client of a headless weston.

The compositor runs with its own runtime folder (mode 0700) and no X server anywhere,
so the program can only talk Wayland. Weston's headless backend has no seat: the pointer
and the keyboard are lent to the program by the test seat plug-in (tests/support/
testseat.cpp), which hands its input to Qt where the Wayland plug-in hands the
compositor's. The accessibility tree is found over D-Bus as under X. Screenshots are
weston's own, of what it composes.
"""

import glob
import json
import os
import socket
import subprocess
import urllib.parse

from harness import Atspi, Session, Timeout, wait_for

PLUGINS = os.environ.get("QUILLON_TEST_PLUGINS", "")
SOCKET = "quillon-wayland"


class SeatError(AssertionError):
    pass


class WaylandSession(Session):
    def __init__(self, *args, scale=1, **kw):
        """scale: weston's output scale; screen stays in the output's own pixels."""
        self.seat_socket = None
        self.scale = scale
        super().__init__(*args, **kw)

    # --- set-up -----------------------------------------------------------------------------

    def _start_display(self):
        width, height = self.screen.split("x")[:2]
        self.width, self.height = int(width), int(height)
        runtime = os.path.join(self.tmp, "runtime")
        self.env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "WAYLAND_DISPLAY": SOCKET,
            "XDG_SESSION_TYPE": "wayland",
            "HOME": os.path.join(self.tmp, "home"),
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "home", ".config"),
            "XDG_DATA_HOME": os.path.join(self.tmp, "home", ".local", "share"),
            "XDG_CACHE_HOME": os.path.join(self.tmp, "home", ".cache"),
            "LANG": "C.UTF-8",
        }
        os.makedirs(self.env["HOME"])
        os.makedirs(runtime, mode=0o700)
        # --debug lets weston-screenshooter take the screen; pixman needs no GPU.
        log_path = os.path.join(self.tmp, "weston.log")
        with open(log_path, "wb") as log:
            weston = subprocess.Popen(["weston", "--backend=headless-backend.so", f"--socket={SOCKET}",
                                       f"--width={self.width // self.scale}",
                                       f"--height={self.height // self.scale}", f"--scale={self.scale}", "--use-pixman",
                                       "--idle-time=0", "--debug"], env=self.env, stdout=log,
                                      stderr=subprocess.STDOUT, start_new_session=True)
        self.procs.append(weston)
        # The socket is there once weston listens; its log tells why when it is not.
        try:
            wait_for(lambda: os.path.exists(os.path.join(runtime, SOCKET)) or weston.poll() is not None,
                     "the compositor's socket", timeout=30)
        except Timeout:
            pass
        if not os.path.exists(os.path.join(runtime, SOCKET)):
            with open(log_path, errors="replace") as f:
                raise Timeout(f"weston did not start (exit {weston.poll()}): {f.read()[-2000:]}")

    def platform_env(self):
        self.seat_socket = os.path.join(self.tmp, "seat")
        # Qt's Wayland text input asks the seat's keyboard, and there is no seat: a client-side
        # input context (compose) takes the keys instead.
        return {"QT_QPA_PLATFORM": "wayland", "QT_PLUGIN_PATH": PLUGINS, "QT_IM_MODULE": "compose",
                "QT_QPA_GENERIC_PLUGINS": f"quillontestseat:{self.seat_socket}"}

    def start_quillon(self, extra_env=None, args=()):
        if not PLUGINS:
            raise RuntimeError("QUILLON_TEST_PLUGINS names no folder of test plug-ins")
        self._close_seat()
        if self.seat_socket and os.path.exists(self.seat_socket):
            os.unlink(self.seat_socket)
        return super().start_quillon(extra_env, args)

    def close(self):
        self._close_seat()
        super().close()

    def _close_seat(self):
        if getattr(self, "_seat", None):
            self._seat.close()
            self._seat_socket.close()
        self._seat = None

    # --- the test seat ------------------------------------------------------------------------

    def seat(self, request, timeout=15):
        """Sends one request to the program's test seat; its answer after "ok"."""
        if self._seat is None:
            sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            wait_for(lambda: sock.connect_ex(self.seat_socket) == 0, "the test seat", timeout=timeout)
            sock.settimeout(timeout)
            self._seat = sock.makefile("rwb")
            self._seat_socket = sock
        self._seat.write(request.encode() + b"\n")
        self._seat.flush()
        answer = self._seat.readline().decode().rstrip("\n")
        if not answer:
            self._close_seat()
            raise SeatError(f"the test seat closed on {request!r}")
        if not answer.startswith("ok"):
            raise SeatError(f"{request!r}: {answer}")
        return answer[3:]

    def toplevels(self):
        """The program's shown top-level windows as the test seat sees them."""
        return json.loads(self.seat("windows"))

    # --- user input -------------------------------------------------------------------------

    def xdotool(self, *args):
        raise SeatError("there is no X server in a Wayland session")

    def click(self, acc, button=1, offset=None):
        if button != 1:
            raise SeatError("the test seat has the left button alone")
        x, y = self.center(acc)
        if offset:
            x, y = x + offset[0], y + offset[1]
        self.seat(f"move {x} {y}")
        self.seat(f"press {x} {y}")
        self.seat(f"release {x} {y}")

    def drag(self, start, end, steps=8):
        self.seat("move %d %d" % start)
        self.seat("press %d %d" % start)
        for i in range(1, steps + 1):
            self.seat("move %d %d" % (start[0] + (end[0] - start[0]) * i // steps,
                                      start[1] + (end[1] - start[1]) * i // steps))
        self.seat("release %d %d" % end)

    def drop(self, at, *paths):
        """Files dragged in from a file manager and dropped at a point; whether the window took them."""
        uris = " ".join("file://" + urllib.parse.quote(os.path.abspath(p)) for p in paths)
        return self.seat(f"drop {at[0]} {at[1]} {uris}") == "accepted"

    def key(self, *keys):
        for k in keys:
            self.seat(f"key {k}")

    def type(self, text):
        self.seat(f"type {text}")

    def activate(self, window):
        """The keyboard to a window, as a click on it gives it under a compositor."""
        name = window.get_name()

        def active():
            if window.get_state_set().contains(Atspi.StateType.ACTIVE):
                return True
            self.seat(f"activate {name}")
            return any(w["active"] and w["title"] == name for w in self.toplevels())
        wait_for(active, f"window {name!r} to become active", timeout=10)

    def _main_window_ids(self):
        try:
            return [w for w in self.toplevels() if w["title"] == "Quillon" and not w["popup"]]
        except (OSError, SeatError):
            return []  # the program is gone, and its seat with it

    def screenshot(self, path, acc=None):
        """What weston shows on its output, as a PNG."""
        if acc is not None:
            raise SeatError("a Wayland client does not know where its window is on the screen")
        folder = os.path.join(self.tmp, "shots")
        os.makedirs(folder, exist_ok=True)
        before = set(glob.glob(os.path.join(folder, "wayland-screenshot-*.png")))
        subprocess.run(["weston-screenshooter"], env=self.env, cwd=folder, check=True, timeout=30,
                       capture_output=True)
        taken = wait_for(lambda: set(glob.glob(os.path.join(folder, "wayland-screenshot-*.png"))) - before,
                         "weston's screenshot")
        # The file is complete when the screenshooter has ended.
        os.replace(taken.pop(), path)
        return path
