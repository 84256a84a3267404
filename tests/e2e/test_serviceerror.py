"""A service that cannot store the picture: the upload ends with the service's own
sentence in a message box, not with advice about the proxy settings."""

import os
import subprocess
import tempfile
import unittest

from harness import QuillonTestCase, point_at_service, start_service, wait_for

CANNOT_STORE = "The service cannot store pictures now. Please try again later."


class UploadToAServiceThatCannotStore(QuillonTestCase):
    def test_read_only_pictures_folder_is_reported_in_the_services_words(self):
        work = self.enterContext(tempfile.TemporaryDirectory())
        pictures = os.path.join(work, "data", "pictures")
        os.makedirs(pictures)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "ro,size=1m", "tmpfs", pictures],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            raise unittest.SkipTest("cannot mount a read-only tmpfs (needs root): " + mounted.stderr.strip())
        self.addCleanup(lambda: subprocess.run(["umount", "-l", pictures], check=False))
        port = start_service(self, os.path.join(work, "data"))

        s = self.start(prepare=point_at_service(port))
        s.open_gradient("sunset.bmp")

        s.click(s.wait_find(s.main, "push button", "Upload"))
        s.log_in("ann", "secret")
        box = wait_for(lambda: (lambda d: d if d and s.find(d, None, CANNOT_STORE) else None)(s.dialog()),
                       "the service's sentence", timeout=30)
        self.assertIsNone(s.find(box, None, predicate=lambda a: "proxy" in (a.get_name() or "")))
        s.click(wait_for(lambda: s.button(box, "OK"), "its OK button"))
        wait_for(lambda: s.dialog() is None, "the message to close")
        self.assertEqual(s.field_text("Short URL"), "")
        self.assertEqual(os.listdir(pictures), [])
        self.assertEqual(s.quit(), 0)


if __name__ == "__main__":
    unittest.main()
