"""The window's smaller promises, in the real program: the browser failure is told,
the About box is a fixed box, keys act where they belong, and a huge picture on
screen leaves the processor idle."""

import os
import struct
import subprocess
import time
import unittest

from harness import QuillonTestCase, wait_for

BROWSER = "/nonexistent/quillon-test-browser"


def write_rle8_bmp(path, width, height):
    """A palette BMP compressed with RLE8: a very wide picture in a small file."""
    rows = bytearray()
    for y in range(height):
        left = width
        while left:
            n = min(255, left)
            rows += bytes((n, y % 2))
            left -= n
        rows += b"\0\0"  # end of line
    rows += b"\0\1"  # end of picture
    palette = bytes((40, 160, 40, 0, 200, 80, 200, 0)) + b"\0" * 4 * 254
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(rows), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + rows)


class WindowDetails(QuillonTestCase):
    session_env = {"BROWSER": BROWSER}

    def test_browser_failure_about_box_keys_and_an_idle_huge_picture(self):
        s = self.start()

        # Help > FAQ with a browser that cannot start: the error box names it.
        s.activate(s.main)
        s.click(s.wait_find(s.main, "menu item", "Help"))
        s.click(s.wait_find(lambda: s.application(), "menu item", "FAQ"))
        box = wait_for(lambda: s.dialog(), "the error box")
        self.assertTrue(s.find(box, predicate=lambda a: BROWSER in a.get_name()), "the browser in the message")
        s.click(wait_for(lambda: s.button(box, "OK"), "its OK button"))
        wait_for(lambda: s.dialog() is None, "the error box to close")

        # About: a fixed box titled "About" that can be neither resized nor maximised.
        s.click(s.wait_find(s.main, "push button", "About"))
        about = wait_for(lambda: s.dialog("About"), "the About box")
        wid = wait_for(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^About$"], env=s.env,
                                              capture_output=True, text=True).stdout.split(), "its X window")[0]
        actions = subprocess.run(["xprop", "-id", wid, "_NET_WM_ALLOWED_ACTIONS"], env=s.env, capture_output=True,
                                 text=True).stdout
        self.assertNotIn("MAXIMIZE", actions)
        self.assertNotIn("_NET_WM_ACTION_RESIZE", actions)
        s.click(wait_for(lambda: s.button(about, "OK"), "its OK button"))
        wait_for(lambda: s.dialog() is None, "the About box to close")

        # A picture a million pixels wide, 16 high, shown 1:1 with its animated frame.
        huge = os.path.join(s.tmp, "strip.bmp")
        write_rle8_bmp(huge, 1000000, 16)
        s.open_picture(huge)
        wait_for(lambda: s.find(s.main, "label", "Source Image: 1000000x16"), "the huge picture on screen", timeout=60)

        # Delete in a control other than the tree asks nothing: the next F2 on the tree
        # opens the rename box, which a pending question would have kept from opening.
        s.click(s.wait_find(s.main, "spin button", "Screen width"))
        s.key("Delete")
        s.click(s.tree_item("strip.bmp"))
        s.key("F2")
        rename = wait_for(lambda: s.dialog(), "a dialog after F2")
        self.assertEqual(rename.get_name(), "New Logo name")
        s.key("Escape")
        wait_for(lambda: s.dialog() is None, "the rename box to close")

        # Idle: the frame keeps marching, yet the program uses next to no processor time.
        windows = []
        for _ in range(3):
            start_cpu, start = s.cpu_seconds(), time.monotonic()
            time.sleep(1.0)  # a measuring window, not a wait for anything
            windows.append((s.cpu_seconds() - start_cpu) / (time.monotonic() - start))
        print("processor share while idle:", ", ".join(f"{w:.3f}" for w in windows))
        self.assertLess(min(windows), 0.05)

        # Closing the window through the window manager writes the files.
        s.activate(s.main)
        s.key("alt+F4")
        self.assertEqual(s.wait_exit(), 0)
        for name in ("appstate.xml", "options.xml", "logodirectory.xml"):
            self.assertTrue(os.path.isfile(s.path(name)), name)


if __name__ == "__main__":
    unittest.main()
