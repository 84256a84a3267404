"""The window comes back as the user left it: size and place, the panes between the
splitters, and the fit-to-pane choice, across a quit and a restart."""

import os
import subprocess
import unittest

from harness import QuillonTestCase, Atspi, gradient, wait_for, write_bmp


def extents(acc):
    e = acc.get_extents(Atspi.CoordType.SCREEN)
    return e.x, e.y, e.width, e.height


class RememberedLayout(QuillonTestCase):
    def window_id(self, s):
        ids = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(s.quillon.pid), "--name", "^Quillon$"],
                             env=s.env, capture_output=True, text=True).stdout.split()
        self.assertEqual(len(ids), 1)
        return ids[0]

    def fit_button(self, s):
        return s.wait_find(s.main, "check box", "Fit image into pane")

    def test_size_place_panes_and_fit_come_back_after_a_restart(self):
        s = self.start()
        picture = os.path.join(s.tmp, "photo.bmp")
        write_bmp(picture, 300, 200, gradient(300, 200))
        s.open_picture(picture)
        wait_for(lambda: "photo.bmp" in s.tree_items(), "the logo")

        # The window made larger and moved, as with the mouse on its frame.
        wid = self.window_id(s)
        s.xdotool("windowsize", "--sync", wid, 1000, 760)
        s.xdotool("windowmove", "--sync", wid, 60, 40)
        wait_for(lambda: extents(s.main)[2:] == (1000, 760), "the new window size")

        # The tree's pane widened by dragging the splitter's handle.
        tree = s.find(s.main, role="tree")
        x, y, w, h = extents(tree)
        handle = (x + w + 2, y + h // 2)
        s.drag(handle, (handle[0] + 120, handle[1]))
        wait_for(lambda: extents(s.find(s.main, role="tree"))[2] >= w + 100, "the wider tree pane")

        s.click(self.fit_button(s))
        wait_for(lambda: self.fit_button(s).get_state_set().contains(Atspi.StateType.CHECKED), "fit to pane on")
        before = extents(s.main), extents(s.find(s.main, role="tree"))[2]

        self.assertEqual(s.quit(), 0)
        self.assertTrue(os.path.isfile(s.path("windowlayout.xml")))

        s.start_quillon()
        wait_for(lambda: extents(s.main)[2:] == before[0][2:], "the window's size back", timeout=10)
        self.assertEqual(extents(s.main), before[0])
        wait_for(lambda: extents(s.find(s.main, role="tree"))[2] == before[1], "the tree pane's width back",
                 timeout=10)
        self.assertTrue(self.fit_button(s).get_state_set().contains(Atspi.StateType.CHECKED))


if __name__ == "__main__":
    unittest.main()
