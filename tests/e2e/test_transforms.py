"""Rewriting a logo's picture and saving the logo through the real program: a conversion
and a rotation from the Edit menu, Save through the real save dialog, and
an options change that is still there after a restart."""

import os
import struct
import unittest
import xml.etree.ElementTree as ET

from harness import Atspi, QuillonTestCase, gradient, wait_for, write_bmp

CHECKED = Atspi.StateType.CHECKED


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", head[:8]
    return struct.unpack(">II", head[16:24])


def jpeg_size(path):
    """Width and height from the frame header of a JPEG file."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:2] == b"\xff\xd8", data[:2]
    at = 2
    while at + 4 <= len(data):
        marker, length = data[at + 1], struct.unpack(">H", data[at + 2:at + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            height, width = struct.unpack(">HH", data[at + 5:at + 9])
            return width, height
        at += 2 + length
    raise AssertionError("no frame header in " + path)


class TransformsByHand(QuillonTestCase):
    def access_hint_box(self, s):
        """Opens the options dialog on its General page; the dialog and the hint check box."""
        s.click(s.wait_find(s.main, "menu item", "Edit"))
        s.click(s.menu_item("Options..."))
        options = wait_for(lambda: s.dialog("Quillon Options"), "the options dialog")
        s.click(s.wait_find(options, None, "General",
                            predicate=lambda a: a.get_role_name() in ("table cell", "tree item")))
        return options, s.wait_find(options, "check box", "Show hint after image upload")

    def test_convert_rotate_save_and_an_option_that_survives_a_restart(self):
        s = self.start()
        picture = os.path.join(s.tmp, "photo.bmp")
        write_bmp(picture, 300, 200, gradient(300, 200))
        s.open_picture(picture)
        wait_for(lambda: "photo.bmp" in s.tree_items(), "the new logo in the tree")
        wait_for(lambda: s.find(s.main, "label", "Source Image: 300x200"), "the picture on screen")

        # Edit > Convert to > PNG: the old file goes, the node takes the new name.
        s.click(s.wait_find(s.main, "menu item", "Edit"))
        s.click(s.menu_item("Convert to"))
        s.click(s.menu_item("PNG (Portable Network Graphics)"))
        wait_for(lambda: "photo.png" in s.tree_items(), "the converted logo")
        self.assertFalse(os.path.exists(s.path("Logo Directory", "photo.bmp")))
        self.assertEqual(png_size(s.path("Logo Directory", "photo.png")), (300, 200))

        # Edit > Rotate > 90 degrees turns the picture clockwise.
        s.click(s.wait_find(s.main, "menu item", "Edit"))
        s.click(s.menu_item("Rotate"))
        s.click(s.menu_item("90\u00b0"))
        wait_for(lambda: s.find(s.main, "label", "Source Image: 200x300"), "the rotated picture on screen")
        self.assertEqual(png_size(s.path("Logo Directory", "photo.png")), (200, 300))
        self.assertEqual(s.tree_items(), ["Logo Directory", "photo.png"])

        # Save through the real save dialog, under a name with another extension: the
        # file is written in the logo's own format.
        target = os.path.join(s.tmp, "saved.jpg")
        s.save_logo(target)
        wait_for(lambda: os.path.isfile(target), "the saved file")
        with open(target, "rb") as f:
            self.assertEqual(f.read(4), b"\x89PNG")

        # A JPEG deleted behind the program's back is turned from the picture on screen,
        # as any other picture is, and the node names the file written.
        s.click(s.wait_find(s.main, "menu item", "Edit"))
        s.click(s.menu_item("Convert to"))
        s.click(s.menu_item("JPG (JPEG JFIF Format)"))
        wait_for(lambda: "photo.jpg" in s.tree_items(), "the logo converted to JPEG")
        jpeg = s.path("Logo Directory", "photo.jpg")
        self.assertEqual(jpeg_size(jpeg), (200, 300))
        os.remove(jpeg)
        s.click(s.wait_find(s.main, "menu item", "Edit"))
        s.click(s.menu_item("Rotate"))
        s.click(s.menu_item("90\u00b0"))
        wait_for(lambda: s.find(s.main, "label", "Source Image: 300x200"), "the rotated JPEG on screen")
        self.assertEqual(jpeg_size(jpeg), (300, 200))
        self.assertEqual(s.tree_items(), ["Logo Directory", "photo.jpg"])
        self.assertEqual(sorted(os.listdir(s.path("Logo Directory"))), ["photo.jpg"])

        # Options: Confirmations > rotate keeps the source; OK saves.
        options, hint = self.access_hint_box(s)
        self.assertTrue(hint.get_state_set().contains(CHECKED))
        s.click(hint)
        s.click(s.button(options, "OK"))
        wait_for(lambda: s.dialog("Quillon Options") is None, "the options dialog to close")

        self.assertEqual(s.quit(), 0)
        root = ET.parse(s.path("options.xml")).getroot()
        self.assertEqual(root.find("enableaccesshint").get("value"), "no")

        # The next start shows the option as it was left.
        s.start_quillon()
        options, hint = self.access_hint_box(s)
        self.assertFalse(hint.get_state_set().contains(CHECKED))
        s.click(s.button(options, "Cancel"))
        wait_for(lambda: s.dialog("Quillon Options") is None, "the options dialog to close")


if __name__ == "__main__":
    unittest.main()
