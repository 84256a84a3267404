"""Pictures from the clipboard: a picture copied in another program and the address of a
picture on a web server, each pasted with Ctrl+V, arrive as logos."""

import os
import subprocess
import unittest

from harness import QuillonTestCase, gradient, wait_for, write_bmp
from test_handoff import SlowPictureServer


class Paste(QuillonTestCase):
    def copy(self, s, data, mime_type):
        """What copying in another program does: xclip owns the clipboard from now on."""
        subprocess.run(["xclip", "-selection", "clipboard", "-t", mime_type, "-i"], input=data, env=s.env,
                       check=True, timeout=10)

    def size_of(self, path):
        out = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True, check=True)
        return tuple(map(int, out.stdout.split()))

    def test_a_copied_picture_and_a_copied_picture_address_become_logos(self):
        s = self.start()
        bmp = os.path.join(s.tmp, "copied.bmp")
        write_bmp(bmp, 160, 120, gradient(160, 120))
        png = os.path.join(s.tmp, "copied.png")
        subprocess.run(["convert", bmp, png], check=True)
        with open(png, "rb") as f:
            self.copy(s, f.read(), "image/png")
        s.click(s.tree_item("Logo Directory"))
        s.key("ctrl+v")
        # Named as a grabbed picture is, in the grab's format (JPEG unless the options say otherwise).
        wait_for(lambda: "pastedimage.jpg" in s.tree_items(), "the pasted picture in the tree")
        self.assertEqual(self.size_of(s.path("Logo Directory", "pastedimage.jpg")), (160, 120))
        wait_for(lambda: s.find(s.main, "label", "Source Image: 160x120"), "the pasted picture on screen")

        # An address: the download dialog fetches it, as a picture handed over by a browser.
        with open(bmp, "rb") as f:
            data = f.read()
        server = SlowPictureServer(data)
        server.release.set()
        self.addCleanup(server.close)
        self.copy(s, server.url("/gallery/sunset.bmp").encode(), "UTF8_STRING")
        s.activate(s.main)
        s.key("ctrl+v")
        wait_for(lambda: "sunset.bmp" in s.tree_items(), "the downloaded picture in the tree", timeout=30)
        wait_for(lambda: s.window("Picture Download") is None, "the dialog to close")
        self.assertEqual(server.requests, ["/gallery/sunset.bmp"])
        with open(s.path("Logo Directory", "sunset.bmp"), "rb") as f:
            self.assertEqual(f.read(), data)
        self.assertEqual(s.tree_items(), ["Logo Directory", "pastedimage.jpg", "sunset.bmp"])


if __name__ == "__main__":
    unittest.main()
