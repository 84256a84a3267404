"""A folder of many logos deleted through the real window: the pictures go to the trash on
a worker while the window keeps answering, a progress dialog offers Cancel, and after the
Cancel the tree, the trash, the folder on disk and the directory file all say the same."""

import os
import shutil
import unittest
import xml.etree.ElementTree as ET

from harness import QuillonTestCase, wait_for

LOGOS = 20000  # enough for the moves to outlast the dialog's delay on any machine


def write_collection(app_dir):
    root = os.path.join(app_dir, "Logo Directory")
    parts = ['<logodirectory>']
    for folder, count in (("Big", LOGOS), ("Keep", 2)):
        os.makedirs(os.path.join(root, folder))
        parts.append(f'<logodirnode nodekind="folder" nodename="{folder}">')
        for i in range(count):
            name = f"picture {i:05d}.jpg"
            open(os.path.join(root, folder, name), "wb").close()
            parts.append(f'<logodirnode nodekind="logo" nodename="{name}" uploadurl="u{i}"/>')
        parts.append("</logodirnode>")
    parts.append("</logodirectory>")
    with open(os.path.join(app_dir, "logodirectory.xml"), "w") as out:
        out.write("".join(parts))


def listed(path, folder):
    for node in ET.parse(path).getroot():
        if node.get("nodename") == folder:
            return sorted(child.get("nodename") for child in node)
    return None


class BigDelete(QuillonTestCase):
    def test_a_big_folder_deleted_and_cancelled_leaves_tree_trash_and_disk_agreeing(self):
        s = self.start(prepare=lambda s: write_collection(s.app_dir), start_timeout=120)
        big = s.path("Logo Directory", "Big")
        trash = os.path.join(s.env["XDG_DATA_HOME"], "Trash", "files")
        s.click(s.tree_item("Big"))
        s.key("Delete")
        question = wait_for(lambda: s.dialog(), "the confirmation")
        s.click(wait_for(lambda: s.button(question, "Yes"), "its Yes button"))

        dialog = wait_for(lambda: s.dialog("Delete"), "the progress dialog", timeout=30)
        bar = s.wait_find(dialog, "progress bar")
        # The window answers while the pictures move: the accessibility bus reaches its tree,
        # and the dialog's progress moves on between two looks.
        self.assertIn("Keep", s.tree_items())
        first = bar.get_value_iface().get_current_value()
        wait_for(lambda: bar.get_value_iface().get_current_value() > first, "the progress to move")
        shot = os.path.join(s.tmp, "delete-progress.png")
        s.screenshot(shot)
        if os.environ.get("QUILLON_E2E_SHOTS"):
            shutil.copy(shot, os.environ["QUILLON_E2E_SHOTS"])

        s.click(s.button(dialog, "Cancel"))
        wait_for(lambda: s.dialog("Delete") is None, "the dialog to close", timeout=30)
        left = sorted(os.listdir(big))
        moved = sorted(os.listdir(trash))
        self.assertTrue(left and moved, "the Cancel came midway")
        self.assertEqual(len(left) + len(moved), LOGOS, "every picture is either left or in the trash")
        self.assertFalse(set(left) & set(moved))
        self.assertIsNone(s.dialog(), "a Cancel is no failure: no message")

        # The directory file is written once the delete is over, and lists what is left.
        directory = s.path("logodirectory.xml")
        wait_for(lambda: listed(directory, "Big") == left, "the directory file to list what is left")
        self.assertEqual(len(listed(directory, "Keep")), 2)
        self.assertIn("Big", s.tree_items())
        self.assertEqual(s.quit(), 0)
        self.assertEqual(listed(directory, "Big"), left, "the tree at exit says the same")
        self.assertEqual(sorted(os.listdir(trash)), moved)


if __name__ == "__main__":
    unittest.main()
