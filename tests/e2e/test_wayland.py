"""The program as a native Wayland client of a headless weston, with no X server anywhere:
a picture opened through the real dialog, the frame dragged, the logo shown and saved
(the overwrite question answered), a file dropped in from another program, the screen
grabbed through the desktop portal and shown 1:1 on weston's output (and, before the
portal is there and when it fails, a grab that says why it cannot), the panes and the size kept across a
restart while the place an X session stored stays untouched."""

import os
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ET

from harness import Atspi, QuillonTestCase, gradient, wait_for, write_bmp
from test_grab import HEIGHT, WIDTH, pattern, read_bmp, read_ppm, write_ppm
from waylandsession import WaylandSession

STORED_LAYOUT = ('<windowlayout><window x="60" y="40" width="1000" height="700" maximized="0"/>'
                 '<splitter name="VerticalSplitter" sizes="185,800"/></windowlayout>')
NO_PORTAL = "The screen cannot be grabbed: this Wayland desktop offers no screenshot portal"
PORTAL_FAILED = "The screen cannot be grabbed: the desktop's screenshot portal did not hand over"


def start_portal(s):
    """The desktop portal, on the session's own bus, with the pattern as the screen; its
    first screenshot fails, the next ones are taken."""
    picture = os.path.join(s.tmp, "pattern.ppm")
    write_ppm(picture, WIDTH, HEIGHT, pattern)
    png = os.path.join(s.tmp, "portal-screenshot.png")
    subprocess.run(["convert", picture, png], check=True, timeout=60)
    portal = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__), "fake_portal.py"), png,
                               os.path.join(s.tmp, "portal.log"), "2", "0"], env=s.env, stdout=subprocess.PIPE,
                              start_new_session=True)
    s.procs.append(portal)
    ready = portal.stdout.readline().strip() == b"ready"
    portal.stdout.close()
    if not ready:
        raise RuntimeError("the fake portal did not start")


def prepare(s):
    with open(s.path("options.xml"), "w") as f:
        f.write('<options><grabbedfileformat value="0"/><checknewversion value="no"/></options>')
    with open(s.path("windowlayout.xml"), "w") as f:
        f.write(STORED_LAYOUT)


def screen(s):
    """Weston's output now, as pixel(x, y)."""
    png, ppm = os.path.join(s.tmp, "output.png"), os.path.join(s.tmp, "output.ppm")
    s.screenshot(png)
    subprocess.run(["convert", png, "-depth", "8", ppm], check=True, timeout=60)
    w, h, pixel = read_ppm(ppm)
    assert (w, h) == (WIDTH, HEIGHT), (w, h)
    return pixel


def label_value(s, prefix):
    found = s.find(s.main, "label", predicate=lambda a: a.get_name().startswith(prefix))
    return found.get_name()[len(prefix):] if found else None


class Wayland(QuillonTestCase):
    def start(self, **kw):
        s = WaylandSession(**kw)
        self.addCleanup(s.close)
        return s

    def test_open_frame_save_drop_grab_and_layout_as_a_wayland_client(self):
        s = self.start(prepare=prepare, screen=f"{WIDTH}x{HEIGHT}")
        self.assertNotIn("DISPLAY", s.env)

        # No portal on the desktop yet, then one that fails: each time the grab says why,
        # and the window comes back with nothing added.
        for message in (NO_PORTAL, PORTAL_FAILED):
            s.activate(s.main)
            s.click(s.wait_find(s.main, "push button", "Grab from screen"))
            box = wait_for(lambda: (lambda d: d if d and s.find(d, None, predicate=lambda a: a.get_name().startswith(
                message)) else None)(s.dialog()), f"the message {message!r}")
            s.click(wait_for(lambda: s.button(box, "OK"), "its OK button"))
            wait_for(lambda: s.dialog() is None and s.main.get_state_set().contains(Atspi.StateType.SHOWING),
                     "the main window back")
            self.assertEqual(s.tree_items(), ["Logo Directory"])
            if message == NO_PORTAL:
                start_portal(s)

        # The stored size comes back; the window is not moved (the compositor places it).
        extents = s.main.get_extents(0)
        self.assertEqual((extents.width, extents.height), (1000, 700))

        # File > Open through its shortcut and the real dialog.
        photo = s.open_gradient("photo.bmp", 400, 300)
        wait_for(lambda: "photo.bmp" in s.tree_items(), "the logo in the tree")
        self.assertTrue(os.path.isfile(s.path("Logo Directory", "photo.bmp")))

        # The frame's right edge dragged inward; the logo follows it.
        before, logo_before = label_value(s, "Source Selection: "), label_value(s, "Logo Image: ")
        view = s.find(s.main, None, "Source picture").get_extents(0)
        x0, y0 = view.x + view.width - 1, view.y + min(view.height, 200) // 2
        s.drag((x0, y0), (x0 - 100, y0))
        after = wait_for(lambda: (lambda v: v if v != before else None)(label_value(s, "Source Selection: ")),
                         "the frame to change")
        self.assertLess(int(after.split(":(")[1].split("x")[0]), int(before.split(":(")[1].split("x")[0]))
        logo = wait_for(lambda: (lambda v: v if v != logo_before else None)(label_value(s, "Logo Image: ")),
                        "the logo rendered again")
        logo_size = tuple(int(v) for v in logo.split("x"))

        # File > Save through the menu and the real save dialog, twice: the second time
        # the overwrite question is answered in its own box.
        target = os.path.join(s.tmp, "saved.bmp")
        for attempt in range(2):
            s.save_logo(target)
            if attempt == 1:
                question = wait_for(lambda: (lambda d: d if d and s.find(d, None, predicate=lambda a: "already exists"
                                                                         in a.get_name()) else None)(s.dialog()),
                                    "the overwrite question")
                os.remove(target)
                s.click(wait_for(lambda: s.button(question, "Yes"), "its Yes button"))
            wait_for(lambda: os.path.isfile(target), "the saved logo")
            wait_for(lambda: s.dialog() is None, "the dialogs to close")
            self.assertEqual(read_bmp(target)[:2], logo_size)

        # A picture file dragged in from a file manager and dropped on the window.
        dropped = os.path.join(s.tmp, "dropped.bmp")
        write_bmp(dropped, 64, 48, gradient(64, 48))
        tree = s.find(s.main, role="tree").get_extents(0)
        self.assertTrue(s.drop((tree.x + tree.width // 2, tree.y + tree.height // 2), dropped))
        wait_for(lambda: "dropped.bmp" in s.tree_items(), "the dropped picture in the tree")
        self.assertTrue(os.path.isfile(s.path("Logo Directory", "dropped.bmp")))

        # The grab: the portal's screen fills weston's output pixel for pixel, the band is
        # drawn as the mouse moves, and the file holds the pattern's pixels exactly.
        s.activate(s.main)
        s.click(s.wait_find(s.main, "push button", "Grab from screen"))

        def frozen():
            pixel = screen(s)
            wrong = [(p, pixel(*p)) for p in ((0, 0), (10, 10), (600, 500), (WIDTH - 1, HEIGHT - 1))
                     if pixel(*p) != pattern(*p)]
            if wrong:
                raise AssertionError(f"pixels not the pattern's: {wrong}")
            return True
        wait_for(frozen, "the frozen screen over the whole output", timeout=30)
        s.seat("move 10 10")
        s.seat("press 10 10")
        s.seat("move 18 20")
        s.seat("move 25 30")
        wait_for(lambda: screen(s)(10, 10) == tuple(255 - v for v in pattern(10, 10)), "the rubber band")
        s.seat("release 25 30")
        wait_for(lambda: s.main.get_state_set().contains(Atspi.StateType.SHOWING), "the main window back")
        wait_for(lambda: os.path.isfile(s.path("Logo Directory", "grabbedimage.bmp")), "the grabbed picture")
        w, h, grabbed = read_bmp(s.path("Logo Directory", "grabbedimage.bmp"))
        self.assertEqual((w, h), (16, 21))
        self.assertTrue(all(grabbed(x, y) == pattern(10 + x, 10 + y) for y in range(21) for x in range(16)))
        wait_for(lambda: "grabbedimage.bmp" in s.tree_items(), "the grabbed logo in the tree")

        # The tree's pane widened with the splitter's handle.
        tree = s.find(s.main, role="tree").get_extents(0)
        handle = (tree.x + tree.width + 2, tree.y + tree.height // 2)
        s.drag(handle, (handle[0] + 120, handle[1]))
        wide = wait_for(lambda: (lambda e: e.width if e.width >= tree.width + 100 else None)(
            s.find(s.main, role="tree").get_extents(0)), "the wider tree pane")

        self.assertEqual(s.quit(), 0)
        window = ET.parse(s.path("windowlayout.xml")).getroot().find("window")
        self.assertEqual({k: window.get(k) for k in ("x", "y", "width", "height")},
                         {"x": "60", "y": "40", "width": "1000", "height": "700"})
        names = [n.get("nodename") for n in ET.parse(s.path("logodirectory.xml")).getroot().iter("logodirnode")]
        self.assertEqual(names, ["photo.bmp", "dropped.bmp", "grabbedimage.bmp"])
        self.assertTrue(os.path.isfile(photo))

        # The next start brings the size and the panes back.
        s.start_quillon()
        wait_for(lambda: s.find(s.main, role="tree").get_extents(0).width == wide, "the tree pane's width back")
        extents = s.main.get_extents(0)
        self.assertEqual((extents.width, extents.height), (1000, 700))
        self.assertEqual(s.quit(), 0)



if __name__ == "__main__":
    unittest.main()
