"""Pages from a scanner through the real program: SANE's own "test" backend stands in for
the scanner (no TWAIN manager is there), the source chosen in the program's list, two
pages acquired from the File menu become importedimage.jpg and importedimage2.jpg. SANE's
debug output, asked of its backends, stays off the program's terminal."""

import os
import shutil
import struct
import tempfile
import unittest
import xml.etree.ElementTree as ET

from harness import Atspi, QuillonTestCase, wait_for

# The test backend's colour pattern, 80 x 100 mm at 50 dpi.
PAGE_SIZE = (157, 196)

TEST_CONF = """number_of_devices 2
mode Gray
depth 8
resolution 50.0
test-picture "Color pattern"
read-limit false
read-delay false
tl_x 0.0
tl_y 0.0
br_x 80.0
br_y 100.0
"""


def jpeg_size(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xd8", data[:2]
    i = 2
    while i < len(data):
        marker, length = data[i + 1], struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            return width, height
        i += 2 + length
    raise AssertionError("no frame header")


class ScannerCase(QuillonTestCase):
    def twain_command(self, s, caption):
        s.activate(s.main)
        s.click(s.wait_find(s.main, "menu item", "File"))
        submenu = s.menu_item("Import from TWAIN source")
        # Enabled: a scanner interface is there.
        self.assertTrue(submenu.get_state_set().contains(Atspi.StateType.ENABLED))
        s.click(submenu)
        s.click(s.menu_item(caption))


class ScanByHand(ScannerCase):
    def setUp(self):
        self.sane = tempfile.mkdtemp(prefix="quillon-sane-")
        self.addCleanup(shutil.rmtree, self.sane, True)
        with open(os.path.join(self.sane, "dll.conf"), "w") as f:
            f.write("test\n")
        with open(os.path.join(self.sane, "test.conf"), "w") as f:
            f.write(TEST_CONF)
        # The dll backend then talks on stderr at every call, as network backends do when
        # they find nothing to talk to.
        self.session_env = {"SANE_CONFIG_DIR": self.sane, "SANE_DEBUG_DLL": "255",
                            "QUILLON_TWAIN_DSM": os.path.join(self.sane, "no-twain-here.so")}

    def test_choose_the_source_and_acquire_two_pages(self):
        s = self.start()
        # The program's own list of SANE's devices; the second one is chosen.
        self.twain_command(s, "Select source...")
        dialog = wait_for(lambda: s.dialog("Select source"), "the source list")
        s.click(s.wait_find(dialog, "list item", "Noname frontend-tester (test:1)"))
        s.click(s.button(dialog, "OK"))
        wait_for(lambda: s.dialog("Select source") is None, "the source list to close")

        # Two pages with the default name and format (.JPG, no name question).
        for name in ("importedimage.jpg", "importedimage2.jpg"):
            self.twain_command(s, "Acquire image...")
            wait_for(lambda: name in s.tree_items(), f"{name} in the tree", timeout=30)
            self.assertEqual(jpeg_size(s.path("Logo Directory", name)), PAGE_SIZE)
        wait_for(lambda: s.find(s.main, "label", "Source Image: 157x196"), "the page on screen")

        self.assertEqual(s.quit(), 0)
        # The devices were listed and two pages scanned: the backend's words went nowhere.
        with open(s.log, errors="replace") as f:
            self.assertNotIn("[dll]", f.read())
        root = ET.parse(s.path("logodirectory.xml")).getroot()
        self.assertEqual([n.get("nodename") for n in root.findall("logodirnode")],
                         ["importedimage.jpg", "importedimage2.jpg"])


if __name__ == "__main__":
    unittest.main()
