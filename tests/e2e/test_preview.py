"""The JPEG preview before an upload writes the logo's temporary file, also in a fresh
application folder that has no "Temp" yet, and shows that file's size."""

import os
import subprocess
import unittest

from harness import QuillonTestCase, gradient, wait_for, write_bmp


class JpegPreview(QuillonTestCase):
    def test_the_jpeg_preview_writes_the_logos_file_in_a_fresh_folder(self):
        s = self.start()
        self.assertFalse(os.path.exists(s.path("Temp")))
        bmp = os.path.join(s.tmp, "beach.bmp")
        write_bmp(bmp, 300, 200, gradient(300, 200))
        picture = os.path.join(s.tmp, "beach.jpg")
        subprocess.run(["convert", bmp, "-quality", "95", picture], check=True)
        s.open_picture(picture)
        wait_for(lambda: s.find(s.main, "label", "Source Image: 300x200"), "the picture on screen")

        s.click(s.wait_find(s.main, "push button", "Upload"))
        s.log_in("ann", "secret")
        preview = wait_for(lambda: s.dialog("JPEG Picture Properties"), "the JPEG preview")
        size = s.wait_find(preview, "label", predicate=lambda a: s.text_of(a).isdigit())
        temp = s.path("Temp", "beach.jpg")
        wait_for(lambda: os.path.isfile(temp), "the preview's file")
        self.assertEqual(os.path.getsize(temp), int(s.text_of(size)))
        with open(temp, "rb") as f:
            self.assertEqual(f.read(2), b"\xff\xd8")
        s.click(wait_for(lambda: s.button(preview, "Cancel"), "its Cancel button"))
        wait_for(lambda: s.dialog() is None, "the preview to close")
        self.assertEqual(s.quit(), 0)


if __name__ == "__main__":
    unittest.main()
