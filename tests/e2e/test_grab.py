"""The screen grab in the real program on a real X server: a known pattern on the root
window, a rectangle dragged over the frozen screen with the mouse, and the file that
must hold exactly the pattern's pixels of that rectangle; the refusals; Esc. The import
commands stay disabled on a machine without a scanner."""

import os
import subprocess
import unittest
import xml.etree.ElementTree as ET

from harness import Atspi, QuillonTestCase, wait_for

WIDTH, HEIGHT = 1280, 1024  # the harness's screen


def pattern(x, y):
    """Every pixel of the screen tells its own position."""
    return (x * 7 + y) & 255, (y * 5 + (x >> 5)) & 255, (x ^ y) & 255


def write_ppm(path, width, height, pixel):
    data = bytearray()
    for y in range(height):
        for x in range(width):
            data += bytes(pixel(x, y))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (width, height) + bytes(data))


def read_ppm(path):
    """(width, height, pixel(x, y)) of a binary PPM."""
    with open(path, "rb") as f:
        raw = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while raw[pos:pos + 1].isspace():
            pos += 1
        if raw[pos:pos + 1] == b"#":
            pos = raw.index(b"\n", pos) + 1
            continue
        end = pos
        while not raw[end:end + 1].isspace():
            end += 1
        fields.append(raw[pos:end])
        pos = end
    data = raw[pos + 1:]
    w, h = int(fields[1]), int(fields[2])
    return w, h, lambda x, y: tuple(data[(y * w + x) * 3:(y * w + x) * 3 + 3])


def read_bmp(path):
    """(width, height, pixel(x, y)) of a 24-bit BMP, either row order."""
    import struct
    with open(path, "rb") as f:
        raw = f.read()
    offset = struct.unpack_from("<I", raw, 10)[0]
    w, h, _, bits = struct.unpack_from("<iiHH", raw, 18)
    assert bits == 24, bits
    stride = (w * 3 + 3) & ~3

    def pixel(x, y):
        row = (abs(h) - 1 - y) if h > 0 else y
        b, g, r = raw[offset + row * stride + x * 3:offset + row * stride + x * 3 + 3]
        return r, g, b
    return w, abs(h), pixel


def prepare(s):
    # The grab writes a bitmap: its pixels are the screen's exactly.
    with open(s.path("options.xml"), "w") as f:
        f.write('<options><grabbedfileformat value="0"/><checknewversion value="no"/></options>')
    picture = os.path.join(s.tmp, "pattern.ppm")
    write_ppm(picture, WIDTH, HEIGHT, pattern)
    # display's exit status says nothing here (it is 1 after painting the root window);
    # the screen itself tells whether the pattern is up.
    subprocess.run(["display", "-window", "root", picture], env=s.env, timeout=60)
    shot = os.path.join(s.tmp, "root.ppm")
    wait_for(lambda: screenshot(s, shot)(700, 600) == pattern(700, 600), "the pattern on the root window")


def screenshot(s, path):
    """The whole screen now, as pixel(x, y)."""
    subprocess.run(["import", "-window", "root", "-depth", "8", path], env=s.env, check=True)
    w, h, pixel = read_ppm(path)
    assert (w, h) == (WIDTH, HEIGHT), (w, h)
    return pixel


class GrabSteps:
    """The user's steps of a grab, for the test cases of the grab's screen sources."""

    def grab_window(self, s, scale=1.0):
        """Starts the command from the tool bar; returns the grab window once it covers the
        screen (the accessibility tree tells sizes in the program's scaled pixels)."""
        s.activate(s.main)
        x, y = s.center(s.wait_find(s.main, "push button", "Grab from screen"))
        s.xdotool("mousemove", "--sync", round(x * scale), round(y * scale))
        s.xdotool("click", 1)

        def covering():
            w = s.dialog()
            if w is None or s.main.get_state_set().contains(Atspi.StateType.SHOWING):
                return None
            e = w.get_extents(0)
            return w if (e.x, e.y, round(e.width * scale), round(e.height * scale)) == (0, 0, WIDTH, HEIGHT) else None
        return wait_for(covering, "the grab window over the whole screen")

    def back_to_main(self, s):
        wait_for(lambda: s.main.get_state_set().contains(Atspi.StateType.SHOWING), "the main window back")

    def drag_and_check(self, s, name, scale=1.0):
        """Grabs (10, 10) to (25, 30) of the pattern, and checks the screen on the way and the file."""
        self.grab_window(s, scale)
        shot = os.path.join(s.tmp, "grabbing.ppm")

        # Shown 1:1, without the main window; on a busy machine the window covers the
        # screen a moment before its picture is painted.
        def painted():
            frozen = screenshot(s, shot)
            wrong = [((x, y), frozen(x, y)) for x, y in ((0, 0), (10, 10), (600, 500), (1279, 1023))
                     if frozen(x, y) != pattern(x, y)]
            if wrong:
                raise AssertionError(f"pixels not the pattern's: {wrong}")
            return True
        wait_for(painted, "the frozen screen painted")
        s.xdotool("mousemove", "--sync", 10, 10)
        s.xdotool("mousedown", 1)
        s.xdotool("mousemove", "--sync", 18, 20)
        s.xdotool("mousemove", "--sync", 25, 30)
        banded = wait_for(lambda: (lambda p: p if p(10, 10) == tuple(255 - v for v in pattern(10, 10)) else None)(
            screenshot(s, shot)), "the rubber band on screen")
        self.assertEqual(banded(25, 29), tuple(255 - v for v in pattern(25, 29)))  # its far corner's column
        self.assertEqual(banded(17, 20), pattern(17, 20))  # inside is untouched
        s.xdotool("mouseup", 1)
        self.back_to_main(s)
        grabbed_file = s.path("Logo Directory", name)
        wait_for(lambda: os.path.isfile(grabbed_file), "the grabbed picture")
        w, h, grabbed = read_bmp(grabbed_file)
        self.assertEqual((w, h), (16, 21))
        for y in range(21):
            for x in range(16):
                self.assertEqual(grabbed(x, y), pattern(10 + x, 10 + y), (x, y))


class ScreenGrab(GrabSteps, QuillonTestCase):
    def test_grab_a_rectangle_exactly_refusals_esc_and_a_scale_factor(self):
        s = self.start(prepare=prepare)
        # No scanner interface on this machine: the import command is disabled.
        for role in ("push button", "menu item"):
            twain = wait_for(lambda: s.find(s.main, role, "Import from TWAIN source", showing=False), role)
            self.assertFalse(twain.get_state_set().contains(Atspi.StateType.ENABLED), role)

        # Drag from (10, 10) to (25, 30); halfway the band shows in XOR over the frozen screen.
        self.drag_and_check(s, "grabbedimage.bmp")
        wait_for(lambda: "grabbedimage.bmp" in s.tree_items(), "the grabbed logo in the tree")

        # A click without a drag: one pixel wide, refused.
        self.grab_window(s)
        s.xdotool("mousemove", "--sync", 300, 300)
        s.xdotool("click", 1)
        text = "Picture width must be 16 pixels or more"
        box = wait_for(lambda: (lambda d: d if d and s.find(d, None, text) else None)(s.dialog()), "the width warning")
        s.click(wait_for(lambda: s.button(box, "OK"), "its OK button"))
        wait_for(lambda: s.dialog() is None, "the warning to close")

        # Esc while dragging: nothing, and no message.
        self.grab_window(s)
        s.xdotool("mousemove", "--sync", 100, 100)
        s.xdotool("mousedown", 1)
        s.xdotool("mousemove", "--sync", 200, 200)
        s.xdotool("key", "Escape")
        s.xdotool("mouseup", 1)
        self.back_to_main(s)
        self.assertIsNone(s.dialog())
        self.assertEqual([n for n in s.tree_items() if n.startswith("grabbed")], ["grabbedimage.bmp"])

        self.assertEqual(s.quit(), 0)
        nodes = ET.parse(s.path("logodirectory.xml")).getroot().findall("logodirnode")
        self.assertEqual([n.get("nodename") for n in nodes], ["grabbedimage.bmp"])
        self.assertEqual(sorted(os.listdir(s.path("Logo Directory"))), ["grabbedimage.bmp"])

        # With a scale factor the frozen picture and the mouse still count in screen pixels.
        s.start_quillon({"QT_SCALE_FACTOR": "1.25"})
        self.drag_and_check(s, "grabbedimage2.bmp", 1.25)
        self.assertEqual(s.quit(), 0)



if __name__ == "__main__":
    unittest.main()
