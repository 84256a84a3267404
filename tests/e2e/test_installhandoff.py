"""The README's install is all a browser hand-off needs: installed into a fresh home, the
program started from its installed place takes a picture URL handed over on the session
bus, and the README's uninstall takes the registration away again."""

import os
import shutil
import subprocess
import unittest

from harness import QUILLON, QuillonTestCase, gradient, wait_for, write_bmp
from test_handoff import SlowPictureServer, hand_off

TOP = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))


class HandOffAfterInstall(QuillonTestCase):
    def test_an_installed_program_takes_a_handed_over_picture(self):
        def install(s):
            # A build folder of the program alone: a developer's files beside the real one
            # would come along into the fresh home.
            build = os.path.join(s.tmp, "build")
            os.makedirs(build)
            shutil.copy2(QUILLON, build)
            subprocess.run(["bash", os.path.join(TOP, "scripts", "install.sh"), build], env=s.env, check=True,
                           capture_output=True, timeout=60)
            s.app_dir = os.path.join(s.env["XDG_DATA_HOME"], "quillon")

        s = self.start(prepare=install)
        self.assertEqual(s.quillon.args[0], os.path.join(s.env["XDG_DATA_HOME"], "quillon", "quillon"))
        picture = os.path.join(s.tmp, "beach.bmp")
        write_bmp(picture, 200, 150, gradient(200, 150))
        with open(picture, "rb") as f:
            data = f.read()
        server = SlowPictureServer(data)
        server.release.set()
        self.addCleanup(server.close)

        self.assertEqual(hand_off(s, server.url("/pictures/beach.bmp")), "(uint32 0,)")
        wait_for(lambda: "beach.bmp" in s.tree_items(), "the handed-over picture in the tree", timeout=30)
        with open(s.path("Logo Directory", "beach.bmp"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertEqual(s.quit(), 0)

        subprocess.run(["bash", os.path.join(TOP, "scripts", "uninstall.sh")], env=s.env, check=True,
                       capture_output=True, timeout=60)
        self.assertFalse(os.path.exists(os.path.join(s.env["XDG_CONFIG_HOME"], "quillon", "settings.ini")))
        self.assertFalse(os.path.exists(os.path.join(s.env["XDG_DATA_HOME"], "dbus-1", "services",
                                                     "org.quillon.QuillonPI.service")))
        self.assertTrue(os.path.isfile(s.path("Logo Directory", "beach.bmp")), "the user's pictures stay")


if __name__ == "__main__":
    unittest.main()
