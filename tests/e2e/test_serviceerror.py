"""A service that cannot store the picture: the upload ends with the service's own
sentence in a message box, not with advice about the proxy settings."""

import os
import subprocess
import tempfile
import unittest

from harness import QuillonTestCase, gradient, point_at_service, start_service, wait_for, write_bmp

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
        picture = os.path.join(s.tmp, "sunset.bmp")
        write_bmp(picture, 300, 200, gradient(300, 200))
        s.open_picture(picture)
        wait_for(lambda: s.find(s.main, "label", "Source Image: 300x200"), "the picture on screen")

        s.click(s.wait_find(s.main, "push button", "Upload"))
        login = wait_for(lambda: s.dialog("System Authorization"), "the login dialog")
        s.activate(login)
        s.click(s.wait_find(login, "text", "Login"))
        s.type("ann")
        s.click(s.wait_find(login, "password text", "Password"))
        s.type("secret")
        s.key("Return")
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
