"""A directory file that cannot be read is kept beside the new one, under the name that
the message at start tells, and nothing of it is thrown away."""

import os
import unittest
import xml.etree.ElementTree as ET

from harness import QuillonTestCase, wait_for


class DamagedDirectory(QuillonTestCase):
    def test_an_unreadable_directory_is_kept_under_the_name_its_message_tells(self):
        damaged = b"<logodirectory><logodirnode nodekind=\"folder\" nodename=\"Holiday\">\x00"
        def prepare(s):
            with open(s.path("logodirectory.xml"), "wb") as f:
                f.write(damaged)
        s = self.start(prepare=prepare, first_window=None)
        # The message box comes before the main window.
        box = s.main
        label = s.wait_find(box, "label", predicate=lambda a: "Error loading mobile logo directory." in s.text_of(a))
        copy = s.path("logodirectory.xml.bad")
        self.assertIn(f'The file was kept unchanged as "{copy}".', s.text_of(label))
        with open(copy, "rb") as f:
            self.assertEqual(f.read(), damaged)
        s.click(s.button(box, "OK"))
        s.main = wait_for(lambda: s.window("Quillon"), "the main window after the message")
        self.assertEqual(s.quit(), 0)
        with open(copy, "rb") as f:
            self.assertEqual(f.read(), damaged)
        self.assertEqual(ET.parse(s.path("logodirectory.xml")).getroot().tag, "logodirectory")


if __name__ == "__main__":
    unittest.main()
