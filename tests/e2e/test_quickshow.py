"""A large photo is on screen before it is decoded whole: a capture of the screen shows the
picture in the source view while the logo's place beside it is still empty, and then the
logo appears from the full picture."""

import os
import subprocess
import time
import unittest

from harness import QuillonTestCase, Atspi, wait_for

SIZE = 4800  # 23 megapixels: a camera's photo
BASE = (40, 120, 200)  # the photo's colour; fine texture around it gives the decoder work


def write_photo(path):
    """A PPM of the photo, turned into a JPEG by ImageMagick. Its rows repeat every 61, so
    Python makes only those."""
    rows = []
    for y in range(61):
        row = bytearray()
        for x in range(SIZE):
            t = (x * 7 + y * 13) % 41 - 20
            row += bytes((BASE[0] + t, BASE[1] - t, BASE[2] + t // 2))
        rows.append(bytes(row))
    ppm = path + ".ppm"
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (SIZE, SIZE))
        for y in range(SIZE):
            f.write(rows[y % 61])
    subprocess.run(["convert", ppm, "-quality", "92", path], check=True)
    os.remove(ppm)


def extents(acc):
    e = acc.get_extents(Atspi.CoordType.SCREEN)
    return e.x, e.y, e.width, e.height


class QuickFirstLook(QuillonTestCase):
    def test_a_large_photo_is_painted_before_its_logo_is_made(self):
        s = self.start()
        photo = os.path.join(s.tmp, "camera.jpg")
        write_photo(photo)
        # A small picture first, to switch "Fit image into pane" on: then the whole photo
        # is in the pane, and its centre is the pane's centre whatever the logo's shape.
        s.open_gradient("small.bmp")
        fit = s.wait_find(s.main, "check box", "Fit image into pane")
        s.click(fit)
        wait_for(lambda: fit.get_state_set().contains(Atspi.StateType.CHECKED), "fit to pane on")

        # The panes around the two views: the views change size, their viewports do not.
        source = extents(s.find(s.main, None, "Source picture").get_parent())
        logo = extents(s.find(s.main, None, "Logo").get_parent())
        left, top = min(source[0], logo[0]), min(source[1], logo[1])
        right = max(source[0] + source[2], logo[0] + logo[2])
        bottom = max(source[1] + source[3], logo[1] + logo[3])
        width, height = right - left, bottom - top

        def centre(screen, pane):
            """The mean colour of the 9 x 9 pixels at a pane's centre."""
            cx, cy = pane[0] + pane[2] // 2 - left, pane[1] + pane[3] // 2 - top
            sums = [0, 0, 0]
            for y in range(cy - 4, cy + 5):
                for x in range(cx - 4, cx + 5):
                    b, g, r = screen[(y * width + x) * 4:][:3]
                    sums = [sums[0] + r, sums[1] + g, sums[2] + b]
            return tuple(v / 81 for v in sums)

        def is_photo(colour):
            return all(abs(c - b) < 24 for c, b in zip(colour, BASE))

        def is_white(colour):
            return all(c > 245 for c in colour)

        s.open_picture(photo)
        # Captured as fast as the X server answers, each capture one moment of both panes.
        quick_look = None
        end = time.monotonic() + 60
        while True:
            screen = s.capture(left, top, width, height)
            shown, made = centre(screen, source), centre(screen, logo)
            if quick_look is None and is_photo(shown) and is_white(made):
                quick_look = screen
            if is_photo(made):
                break
            self.assertLess(time.monotonic(), end, "the logo never appeared")
        self.assertIsNotNone(quick_look, "the photo was never on screen without its logo")
        self.assertTrue(is_photo(shown), "the photo stays on screen with its logo")
        wait_for(lambda: s.find(s.main, "label", f"Source Image: {SIZE}x{SIZE}"), "the full photo's size")

        for name, shot in (("quick", quick_look), ("full", screen)):
            raw = os.path.join(s.tmp, name + ".bgra")
            with open(raw, "wb") as f:
                f.write(shot)
            png = os.path.join(os.environ.get("QUILLON_E2E_SHOTS", s.tmp), f"quickshow-{name}.png")
            subprocess.run(["convert", "-size", f"{width}x{height}", "-depth", "8", f"bgra:{raw}", "-alpha", "off", png],
                           check=True)


if __name__ == "__main__":
    unittest.main()
