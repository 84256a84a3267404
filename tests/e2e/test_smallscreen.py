"""On an ordinary screen at a strong scale (1280 x 1024 at QT_SCALE_FACTOR=2, 640 x 512 of
the program's pixels) the window, frame and title bar included, lies on the screen and its
controls can be used; a window stored at a place that is gone comes back there too."""

import os
import subprocess
import unittest

from harness import QuillonTestCase, Atspi, gradient, wait_for, write_bmp

SCALE = 2


def frame_on_screen(s):
    """The window's frame (title bar and borders included) in screen pixels."""
    wid = s._main_window_ids()[0]
    info = subprocess.run(["xwininfo", "-id", wid], env=s.env, capture_output=True, text=True).stdout
    field = lambda name: int(info.split(name + ":")[1].split()[0])
    extents = subprocess.run(["xprop", "-id", wid, "_NET_FRAME_EXTENTS"], env=s.env, capture_output=True,
                             text=True).stdout
    left, right, top, bottom = (int(n) for n in extents.split("=")[1].split(","))
    return (field("Absolute upper-left X") - left, field("Absolute upper-left Y") - top,
            field("Width") + left + right, field("Height") + top + bottom)


class ScaledOrdinaryScreen(QuillonTestCase):
    SCREEN = (1280, 1024)

    def assert_window_usable_on_screen(self, s, picture_name):
        width, height = self.SCREEN

        def on_screen():
            x, y, w, h = frame_on_screen(s)
            return (x, y, w, h) if x >= 0 and y >= 0 and x + w <= width and y + h <= height else None
        wait_for(on_screen, "the whole window, its title bar first, on the screen", timeout=10)
        # The controls at the window's far corners lie whole on the screen, and the window
        # takes commands.
        for name in ("Upload", "Logo directory"):
            e = s.wait_find(s.main, None, name).get_extents(Atspi.CoordType.SCREEN)
            self.assertTrue(e.width > 0 and e.height > 0, name)
            self.assertTrue(0 <= e.x * SCALE and (e.x + e.width) * SCALE <= width, name)
            self.assertTrue(0 <= e.y * SCALE and (e.y + e.height) * SCALE <= height, name)
        picture = os.path.join(s.tmp, picture_name)
        write_bmp(picture, 300, 200, gradient(300, 200))
        s.open_picture(picture)
        wait_for(lambda: picture_name in s.tree_items(), "the logo added through the menu's shortcut")

    def test_the_window_fits_a_1280_by_1024_screen_at_scale_2_also_from_a_place_that_is_gone(self):
        s = self.start(env={"QT_SCALE_FACTOR": str(SCALE)}, screen="1280x1024x24")
        self.assert_window_usable_on_screen(s, "first.bmp")
        self.assertEqual(s.quit(), 0)

        # Stored on a screen to the right that is no longer there, larger than this one.
        with open(s.path("windowlayout.xml"), "w") as f:
            f.write('<windowlayout><window x="2400" y="-300" width="900" height="700" maximized="0"/></windowlayout>')
        s.start_quillon({"QT_SCALE_FACTOR": str(SCALE)})
        self.assert_window_usable_on_screen(s, "second.bmp")
        self.assertEqual(s.quit(), 0)


if __name__ == "__main__":
    unittest.main()
