"""Every other command of the window as a native Wayland client of a headless weston:
upload to the reference service through the login dialog, new folder, rename, convert,
mirror, rotate, fit into the pane, options, send to friend, About, FAQ with a browser
that cannot start, delete into the trash, help, and Exit from the menu."""

import os
import tempfile
import unittest
import urllib.request

from harness import Atspi, QuillonTestCase, point_at_service, start_service, wait_for
from waylandsession import WaylandSession

BROWSER = "/nonexistent/quillon-test-browser"


def read(path):
    with open(path, "rb") as f:
        return f.read()


class WaylandCommands(QuillonTestCase):
    def menu(self, s, *path):
        s.activate(s.main)
        s.click(s.wait_find(s.main, "menu item", path[0]))
        for item in path[1:]:
            s.click(s.menu_item(item))

    def close_with(self, s, window, caption):
        s.click(wait_for(lambda: s.button(window, caption), f"its {caption} button"))
        wait_for(lambda: s.dialog() is None, f"{caption} to close it")

    def test_every_command_of_the_window(self):
        work = self.enterContext(tempfile.TemporaryDirectory())
        port = start_service(self, os.path.join(work, "data"))
        s = WaylandSession(prepare=point_at_service(port), extra_env={"BROWSER": BROWSER})
        self.addCleanup(s.close)
        s.open_gradient("sunset.bmp", 300, 200)

        # Upload through the real login dialog: worker thread, access hint, fields filled.
        s.click(s.wait_find(s.main, "push button", "Upload"))
        s.log_in("ann", "secret")
        hint = wait_for(lambda: s.dialog("Access URL Hint"), "the access hint", timeout=30)
        self.close_with(s, hint, "Close")
        short = s.field_text("Short URL")
        with urllib.request.urlopen(short, timeout=5) as r:
            self.assertEqual(r.read(2), b"BM")

        # New folder from the tool bar, rename with F2 on the tree.
        s.click(s.tree_item("Logo Directory"))
        s.click(s.wait_find(s.main, "push button", "New folder"))
        s.answer_input("New folder name", "Holiday")
        wait_for(lambda: os.path.isdir(s.path("Logo Directory", "Holiday")), "the new folder")
        s.click(s.tree_item("sunset.bmp"))
        s.key("F2")
        s.answer_input("New Logo name", "beach")
        wait_for(lambda: os.path.isfile(s.path("Logo Directory", "beach.bmp")), "the renamed picture")

        # Convert, mirror and rotate from the Edit menu.
        self.menu(s, "Edit", "Convert to", "PNG (Portable Network Graphics)")
        wait_for(lambda: "beach.png" in s.tree_items(), "the converted logo")
        self.assertFalse(os.path.exists(s.path("Logo Directory", "beach.bmp")))
        before = read(s.path("Logo Directory", "beach.png"))
        self.menu(s, "Edit", "Mirror", "Horizontally")
        wait_for(lambda: read(s.path("Logo Directory", "beach.png")) != before, "the mirrored file")
        self.menu(s, "Edit", "Rotate", "90\u00b0")
        wait_for(lambda: s.find(s.main, "label", "Source Image: 200x300"), "the rotated picture")

        # Fit into the pane from the tool bar's toggle.
        fit = s.wait_find(s.main, "check box", "Fit image into pane")
        s.click(fit)
        wait_for(lambda: fit.get_state_set().contains(Atspi.StateType.CHECKED), "fit to pane on")

        # Options, Send to friend and About open as dialogs and close again.
        self.menu(s, "Edit", "Options...")
        self.close_with(s, wait_for(lambda: s.dialog("Quillon Options"), "the options dialog"), "Cancel")
        self.menu(s, "Help", "Send to friend...")
        self.close_with(s, wait_for(lambda: s.dialog("Send application link to friend"), "the send dialog"),
                        "Cancel")
        s.click(s.wait_find(s.main, "push button", "About"))
        self.close_with(s, wait_for(lambda: s.dialog("About"), "the About box"), "OK")

        # FAQ with a browser that cannot start says so.
        self.menu(s, "Help", "FAQ")
        box = wait_for(lambda: (lambda d: d if d and s.find(d, predicate=lambda a: BROWSER in a.get_name()) else None)(
            s.dialog()), "the browser's failure")
        self.close_with(s, box, "OK")

        # Delete asks, then moves the picture to the desktop's trash.
        s.click(s.tree_item("beach.png"))
        s.key("Delete")
        question = wait_for(lambda: s.dialog(), "the confirmation")
        s.click(wait_for(lambda: s.button(question, "Yes"), "its Yes button"))
        wait_for(lambda: "beach.png" not in s.tree_items(), "the logo gone")
        self.assertTrue(os.path.isfile(os.path.join(s.env["XDG_DATA_HOME"], "Trash", "files", "beach.png")))

        # Help shows a window of its own, which Exit closes with the program.
        self.menu(s, "Help", "Contents")
        wait_for(lambda: s.window("Quillon Help"), "the help window")

        # File > Exit ends the program and writes the directory.
        self.menu(s, "File", "Exit")
        self.assertEqual(s.wait_exit(), 0)
        with open(s.path("logodirectory.xml")) as f:
            self.assertIn('nodename="Holiday"', f.read())


if __name__ == "__main__":
    unittest.main()
