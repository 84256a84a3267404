"""A new user's first minutes: add a picture, pick a phone, frame it, organise the
directory through the real dialogs, close; then what is on disk must say the same."""

import os
import unittest
import urllib.parse
import xml.etree.ElementTree as ET

from harness import QuillonTestCase, gradient, wait_for, write_bmp


class DirectoryByHand(QuillonTestCase):
    def test_open_choose_a_phone_drag_the_frame_new_folder_rename_delete_close(self):
        s = self.start()
        self.assertEqual(s.tree_items(), ["Logo Directory"])
        picture = os.path.join(s.tmp, "photo.bmp")
        write_bmp(picture, 400, 300, gradient(400, 300))

        # File > Open (Ctrl+O): the real open dialog; type the path as a user would.
        s.open_picture(picture)
        wait_for(lambda: "photo.bmp" in s.tree_items(), "the new logo in the tree")
        self.assertTrue(os.path.isfile(s.path("Logo Directory", "photo.bmp")))
        wait_for(lambda: s.find(s.main, "label", "Source Image: 400x300"), "the picture on screen")

        # A phone: make, then model; the logo takes the model's screen size.
        for combo, item in (("Make", "Nokia"), ("Model", "3650")):
            s.click(s.wait_find(s.main, "combo box", combo))
            entry = s.wait_find(lambda: s.application(), None, item,
                                predicate=lambda a: a.get_role_name() in ("list item", "menu item"))
            s.click(entry)
            # The list closes and the choice shows in its box.
            wait_for(lambda: s.dialog() is None, f"the {combo} list to close")
        wait_for(lambda: s.find(s.main, "label", "Logo Screen: 176x208"), "the model's screen size")
        selection = s.find(s.main, predicate=lambda a: a.get_name().startswith("Source Selection: ("))
        before = selection.get_name()

        # Drag the frame's right edge inward with the mouse.
        view = s.find(s.main, None, "Source picture")
        e = view.get_extents(0)
        frame = [int(v) for v in before.split(":(")[1].rstrip(")").split("x")]
        # "Bigger Dimension": a 400 x 473 work area, the frame over all of it, centred in the pane
        # or scrolled; its right edge is the view's right edge.
        x0, y0 = e.x + e.width - 1, e.y + min(e.height, 200) // 2
        s.drag((x0, y0), (x0 - 100, y0))
        after = wait_for(lambda: (lambda n: n if n != before else None)(
            s.find(s.main, predicate=lambda a: a.get_name().startswith("Source Selection: (")).get_name()),
            "the frame to change")
        new_width = int(after.split(":(")[1].split("x")[0])
        self.assertLess(new_width, frame[0])

        # New folder through the real input box, from the tool bar.
        s.click(s.tree_item("Logo Directory"))
        s.click(s.wait_find(s.main, "push button", "New folder"))
        s.answer_input("New folder name", "Holiday")
        wait_for(lambda: "Holiday" in s.tree_items(), "the folder in the tree")
        self.assertTrue(os.path.isdir(s.path("Logo Directory", "Holiday")))

        # A second picture into the folder, under a name a trash must escape.
        juice = os.path.join(s.tmp, "100% juice.bmp")
        write_bmp(juice, 40, 30, gradient(40, 30))
        s.click(s.tree_item("Holiday"))
        s.open_picture(juice)
        in_folder = s.path("Logo Directory", "Holiday", "100% juice.bmp")
        wait_for(lambda: os.path.isfile(in_folder), "the picture in the folder")

        # Rename the logo with F2 on the tree.
        s.click(s.tree_item("photo.bmp"))
        s.key("F2")
        s.answer_input("New Logo name", "beach")
        wait_for(lambda: "beach.bmp" in s.tree_items(), "the renamed logo")
        self.assertTrue(os.path.isfile(s.path("Logo Directory", "beach.bmp")))
        self.assertFalse(os.path.exists(s.path("Logo Directory", "photo.bmp")))

        # Delete the folder with the Delete key, confirmed in the real question box.
        s.click(s.tree_item("Holiday"))
        s.key("Delete")
        question = wait_for(lambda: s.dialog(), "the confirmation")
        s.click(wait_for(lambda: s.button(question, "Yes"), "its Yes button"))
        wait_for(lambda: "Holiday" not in s.tree_items(), "the folder gone from the tree")
        self.assertFalse(os.path.exists(s.path("Logo Directory", "Holiday")))
        # Its picture waits in the desktop's trash, its origin written as file managers read it.
        trash = os.path.join(s.env["XDG_DATA_HOME"], "Trash")
        with open(juice, "rb") as f, open(os.path.join(trash, "files", "100% juice.bmp"), "rb") as g:
            self.assertEqual(f.read(), g.read())
        with open(os.path.join(trash, "info", "100% juice.bmp.trashinfo"), encoding="utf-8") as f:
            info = f.read().splitlines()
        self.assertEqual(info[:2], ["[Trash Info]", "Path=" + urllib.parse.quote(os.path.realpath(in_folder))])
        self.assertRegex(info[2], r"^DeletionDate=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d$")

        # Close the window: the directory file says what the screen said.
        self.assertEqual(s.quit(), 0)
        root = ET.parse(s.path("logodirectory.xml")).getroot()
        nodes = root.findall("logodirnode")
        self.assertEqual([n.get("nodename") for n in nodes], ["beach.bmp"])
        logo = nodes[0]
        self.assertEqual((logo.get("logowidth"), logo.get("logoheight")), ("176", "208"))
        self.assertEqual((logo.get("phonemakeid"), logo.get("phonemodelid")), ("0", "3"))
        self.assertEqual(int(logo.get("framewidth")), new_width)
        self.assertTrue(os.path.isfile(s.path("appstate.xml")))


if __name__ == "__main__":
    unittest.main()
