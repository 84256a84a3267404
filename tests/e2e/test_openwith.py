"""Opening pictures with the program from outside: the desktop's "Open with" runs
`quillon PATH...`. A second start hands its pictures to the copy already running (no
second window); a first start adds them itself."""

import os
import subprocess
import unittest
import xml.etree.ElementTree as ET

from harness import QuillonTestCase, gradient, wait_for, write_bmp


class OpenWith(QuillonTestCase):
    def test_a_second_start_hands_its_pictures_to_the_running_copy(self):
        s = self.start()
        pictures = os.path.join(s.tmp, "pictures")
        os.makedirs(pictures)
        write_bmp(os.path.join(pictures, "beach.bmp"), 64, 48, gradient(64, 48))
        write_bmp(os.path.join(pictures, "sunset.bmp"), 48, 64, gradient(48, 64))
        windows = s.windows()

        # Started from the pictures' folder with relative names, as a file manager may.
        env = dict(s.env, QT_QPA_PLATFORM="xcb")
        second = subprocess.run([s.path("quillon"), "beach.bmp", "sunset.bmp"], cwd=pictures, env=env,
                                capture_output=True, timeout=30)
        self.assertEqual(second.returncode, 0, second.stderr)
        wait_for(lambda: {"beach.bmp", "sunset.bmp"} <= set(s.tree_items()), "both pictures in the running copy")
        self.assertEqual(s.windows(), windows)
        for name in ("beach.bmp", "sunset.bmp"):
            with open(os.path.join(pictures, name), "rb") as a, open(s.path("Logo Directory", name), "rb") as b:
                self.assertEqual(a.read(), b.read())

        self.assertEqual(s.quit(), 0)
        names = [n.get("nodename") for n in ET.parse(s.path("logodirectory.xml")).getroot().iter("logodirnode")]
        self.assertEqual(sorted(names), ["beach.bmp", "sunset.bmp"])

        # A first start with a picture adds it too.
        write_bmp(os.path.join(pictures, "harbour.bmp"), 40, 40, gradient(40, 40))
        s.start_quillon(args=[os.path.join(pictures, "harbour.bmp")])
        wait_for(lambda: "harbour.bmp" in s.tree_items(), "the picture of a first start")
        self.assertTrue(os.path.isfile(s.path("Logo Directory", "harbour.bmp")))


if __name__ == "__main__":
    unittest.main()
