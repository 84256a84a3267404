"""On a screen that scales by 2 (QT_SCALE_FACTOR=2) a picture at its own size is not
blurred: each of its pixels is one pixel of the screen, the hand over the frame is drawn
at that scale, and the frame still follows the mouse in the picture's pixels."""

import os
import subprocess
import unittest

from harness import QuillonTestCase, Atspi, wait_for, write_bmp

SCALE = 2


def pattern(x, y):
    # Neighbouring pixels all differ, so any scaling or shift shows.
    return (x * 7) % 256, (y * 13) % 256, ((x ^ y) * 5) % 256


class ScaledScreen(QuillonTestCase):
    def test_a_picture_at_its_own_size_maps_onto_screen_pixels_and_the_frame_follows_the_mouse(self):
        s = self.start(env={"QT_SCALE_FACTOR": str(SCALE)}, screen="2000x1500x24")
        picture = os.path.join(s.tmp, "pattern.bmp")
        write_bmp(picture, 300, 200, pattern)
        s.open_picture(picture)
        wait_for(lambda: "pattern.bmp" in s.tree_items(), "the logo")
        # The default frame covers the 300 x 300 work area ("Bigger Dimension").
        status = lambda: s.find(s.main, predicate=lambda a: a.get_name().startswith("Source Selection: (")).get_name()
        wait_for(lambda: status() == "Source Selection: (0,-50):(300x300)", "the frame over the work area")

        # Accessibility reports layout pixels; the screen has SCALE device pixels for each.
        view = s.find(s.main, None, "Source picture")
        e = view.get_extents(Atspi.CoordType.SCREEN)
        self.assertEqual((e.width, e.height), (300 // SCALE, 300 // SCALE))
        left, top = e.x * SCALE, e.y * SCALE + 50  # the picture lies 50 pixels down the work area

        shot = os.path.join(s.tmp, "screen.rgb")

        def picture_on_screen():
            subprocess.run(["import", "-window", "root", "-depth", "8", f"rgb:{shot}"], env=s.env, check=True)
            with open(shot, "rb") as f:
                screen = f.read()
            width = int(s.screen.split("x")[0])
            # Within a pixel of where the layout puts it (rounding of the reported extents);
            # the frame's dashes run along the edges, so the inside is compared.
            for dx in (0, -1, 1):
                for dy in (0, -1, 1):
                    if all(screen[((top + dy + y) * width + left + dx + 3) * 3:][:294 * 3] ==
                           b"".join(bytes(pattern(x, y)) for x in range(3, 297)) for y in range(3, 197)):
                        return left + dx, top + dy
            return None
        left, top = wait_for(picture_on_screen, "the picture's pixels one to one on the screen's", timeout=10)

        # Over the frame the hand is drawn at the screen's scale, its hot spot where the
        # 16-pixel drawing has it (7, 7), in the double-size picture's pixels.
        s.xdotool("mousemove", "--sync", left + 150, top + 100)
        s.xdotool("mousemove", "--sync", left + 152, top + 102)
        wait_for(lambda: s.cursor_image() == (16 * SCALE, 16 * SCALE, 7 * SCALE, 7 * SCALE), "the scaled hand")

        # Drag the frame's right edge inward by 80 screen pixels: 80 of the picture's. (The
        # edge's last pixel is left alone: with the window at an odd screen position Qt may
        # give the pointer there to the pane around the view.)
        x0, y0 = left + 298, top + 100
        s.drag((x0, y0), (x0 - 80, y0))
        after = wait_for(lambda: (lambda t: t if t != "Source Selection: (0,-50):(300x300)" else None)(status()),
                         "the frame to change")
        width = int(after.split(":(")[1].split("x")[0])
        self.assertLessEqual(abs(width - 220), 2, after)


if __name__ == "__main__":
    unittest.main()
