"""The grab on a Wayland output at scale 2: the portal's picture, in the output's own
pixels, covers weston's output pixel for pixel, and a rectangle dragged in the program's
(halved) coordinates grabs exactly the pixels under it."""

import os
import unittest

from harness import Atspi, QuillonTestCase, wait_for
from test_grab import HEIGHT, WIDTH, pattern, read_bmp
from test_wayland import screen, start_portal
from waylandsession import WaylandSession


def prepare(s):
    with open(s.path("options.xml"), "w") as f:
        f.write('<options><grabbedfileformat value="0"/><checknewversion value="no"/></options>')
    start_portal(s)


class WaylandScaledGrab(QuillonTestCase):
    def test_the_grab_is_one_to_one_in_the_outputs_pixels(self):
        s = WaylandSession(prepare=prepare, screen=f"{WIDTH}x{HEIGHT}", scale=2)
        self.addCleanup(s.close)

        # The portal fails once (start_portal), then hands over the screen.
        for attempt in range(2):
            s.activate(s.main)
            s.click(s.wait_find(s.main, "push button", "Grab from screen"))
            if attempt == 0:
                box = wait_for(lambda: s.dialog(), "the portal's failure")
                s.click(wait_for(lambda: s.button(box, "OK"), "its OK button"))
                wait_for(lambda: s.dialog() is None, "the message to close")

        def frozen():
            pixel = screen(s)
            wrong = [(p, pixel(*p)) for p in ((0, 0), (11, 13), (601, 499), (WIDTH - 1, HEIGHT - 1))
                     if pixel(*p) != pattern(*p)]
            if wrong:
                raise AssertionError(f"pixels not the pattern's: {wrong}")
            return True
        wait_for(frozen, "the frozen screen over the whole output", timeout=30)

        # (5, 5) to (13, 16) in the program's coordinates: (10, 10) to (26, 32) on the output.
        s.seat("move 5 5")
        s.seat("press 5 5")
        s.seat("move 13 16")
        s.seat("release 13 16")
        wait_for(lambda: s.main.get_state_set().contains(Atspi.StateType.SHOWING), "the main window back")
        grabbed_file = s.path("Logo Directory", "grabbedimage.bmp")
        wait_for(lambda: os.path.isfile(grabbed_file), "the grabbed picture")
        w, h, grabbed = read_bmp(grabbed_file)
        self.assertEqual((w, h), (17, 23))
        self.assertTrue(all(grabbed(x, y) == pattern(10 + x, 10 + y) for y in range(h) for x in range(w)))
        self.assertEqual(s.quit(), 0)


if __name__ == "__main__":
    unittest.main()
