"""Nothing the user confirmed is lost: a program killed without warning has already
written the logo it was given and the folder's new name, and a deleted logo's picture
waits in the desktop's trash."""

import os
import signal
import unittest
import xml.etree.ElementTree as ET
from urllib.parse import unquote

from harness import QuillonTestCase, gradient, wait_for, write_bmp


def node_names(path):
    try:
        return [n.get("nodename") for n in ET.parse(path).getroot().iter("logodirnode")]
    except (OSError, ET.ParseError):
        return []


class NothingLost(QuillonTestCase):
    def test_a_kill_loses_nothing_and_delete_uses_the_trash(self):
        s = self.start()
        picture = os.path.join(s.tmp, "photo.bmp")
        write_bmp(picture, 120, 90, gradient(120, 90))
        s.open_picture(picture)
        wait_for(lambda: "photo.bmp" in s.tree_items(), "the new logo in the tree")

        s.click(s.tree_item("Logo Directory"))
        s.click(s.wait_find(s.main, "push button", "New folder"))
        s.answer_input("New folder name", "Holiday")
        s.click(s.tree_item("Holiday"))
        s.key("F2")
        s.answer_input("New Folder name", "Summer")
        wait_for(lambda: "Summer" in s.tree_items(), "the renamed folder")

        # Written a moment after the change, without any shutdown.
        directory = s.path("logodirectory.xml")
        wait_for(lambda: sorted(node_names(directory)) == ["Summer", "photo.bmp"], "the changes on disk", timeout=10)
        s.quillon.send_signal(signal.SIGKILL)
        s.quillon.wait()

        s.start_quillon()
        wait_for(lambda: s.tree_items() == ["Logo Directory", "Summer", "photo.bmp"], "the tree as it was")
        self.assertTrue(os.path.isdir(s.path("Logo Directory", "Summer")))

        # Delete, confirmed: the picture waits in the trash of XDG_DATA_HOME.
        s.click(s.tree_item("photo.bmp"))
        s.key("Delete")
        question = wait_for(lambda: s.dialog(), "the confirmation")
        s.click(wait_for(lambda: s.button(question, "Yes"), "its Yes button"))
        wait_for(lambda: "photo.bmp" not in s.tree_items(), "the logo gone from the tree")
        trash = os.path.join(s.env["XDG_DATA_HOME"], "Trash")
        self.assertFalse(os.path.exists(s.path("Logo Directory", "photo.bmp")))
        with open(os.path.join(trash, "files", "photo.bmp"), "rb") as f, open(picture, "rb") as original:
            self.assertEqual(f.read(), original.read())
        with open(os.path.join(trash, "info", "photo.bmp.trashinfo")) as f:
            origin = [unquote(line[5:].strip()) for line in f if line.startswith("Path=")]
        self.assertEqual(origin, [s.path("Logo Directory", "photo.bmp")])

        self.assertEqual(s.quit(), 0)
        self.assertEqual(node_names(directory), ["Summer"])


if __name__ == "__main__":
    unittest.main()
