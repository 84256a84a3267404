"""The program's main job, end to end: frame a picture, press Upload, log in through
the real dialog, and get back a URL that the reference service answers with the logo."""

import os
import urllib.request
import xml.etree.ElementTree as ET

from harness import QuillonTestCase, point_at_service, start_service, wait_for


class UploadToTheReferenceService(QuillonTestCase):
    def test_member_then_guest_upload_and_the_phone_url_serves_the_logo(self):
        work = self.enterContext(__import__("tempfile").TemporaryDirectory())
        port = start_service(self, os.path.join(work, "data"))
        s = self.start(prepare=point_at_service(port))
        s.open_gradient("sunset.bmp")

        # Upload: no login yet, so the real login dialog asks for it.
        s.click(s.wait_find(s.main, "push button", "Upload"))
        s.log_in("ann", "secret")
        hint = wait_for(lambda: s.dialog("Access URL Hint"), "the access hint", timeout=30)
        hint_url = s.text_of(s.wait_find(hint, "text", "Access URL"))
        self.assertEqual(hint_url, f"http://127.0.0.1:{port}/wap/?login=ann&password=secret")
        self.assertEqual(s.read_qr_code(s.wait_find(hint, None, "QR code of the access URL")), hint_url)
        s.click(wait_for(lambda: s.button(hint, "Close"), "its Close button"))
        wait_for(lambda: s.dialog() is None, "the hint to close")

        short = s.field_text("Short URL")
        self.assertIn("?id=", short)
        self.assertEqual(s.field_text("Image ID"), short.split("?id=")[1])
        self.assertEqual(s.field_text("Full URL"), short + "&login=ann&password=secret")
        self.assertEqual(s.read_qr_code(s.find(s.main, None, "QR code of the full URL")), s.field_text("Full URL"))
        with urllib.request.urlopen(short, timeout=5) as r:
            logo = r.read()
        self.assertEqual(logo[:2], b"BM")  # the logo in the picture's own format
        shown = s.find(s.main, predicate=lambda a: a.get_name().startswith("Logo Image: ")).get_name()
        width, height = int.from_bytes(logo[18:22], "little"), int.from_bytes(logo[22:26], "little", signed=True)
        self.assertEqual(f"Logo Image: {width}x{abs(height)}", shown)
        with urllib.request.urlopen(hint_url, timeout=5) as r:
            self.assertIn(short.split("?")[1], r.read().decode())  # the member's page lists it

        # What the phone gets is what Save writes for the same logo, byte for byte.
        saved = os.path.join(s.tmp, "saved.bmp")
        s.activate(s.main)
        s.key("ctrl+s")
        dialog = wait_for(lambda: s.dialog("Save As"), "the save dialog")
        s.activate(dialog)
        s.key("ctrl+a")
        s.type(saved)
        s.key("Return")
        wait_for(lambda: os.path.isfile(saved) and os.path.getsize(saved) == len(logo), "the saved logo")
        with open(saved, "rb") as f:
            self.assertEqual(f.read(), logo)

        self.assertEqual(s.quit(), 0)
        node = ET.parse(s.path("logodirectory.xml")).getroot().find("logodirnode")
        self.assertEqual(node.get("uploadurl"), short)

        # Again as the guest, in the next run: the logo is selected again, its stored URL
        # shown, and the upload needs no dialog.
        options = ET.parse(s.path("options.xml"))
        options.getroot().find("login").set("value", "Guest")
        options.write(s.path("options.xml"))
        s.start_quillon()
        wait_for(lambda: s.field_text("Short URL") == short, "the stored URL of the selected logo")
        s.click(s.wait_find(s.main, "push button", "Upload again"))
        hint = wait_for(lambda: s.dialog("Access URL Hint"), "the access hint", timeout=30)
        self.assertEqual(s.text_of(s.wait_find(hint, "text", "Access URL")), f"http://127.0.0.1:{port}/guest/")
        s.click(wait_for(lambda: s.button(hint, "Close"), "its Close button"))
        full = s.field_text("Full URL")
        self.assertTrue(full.startswith(f"http://127.0.0.1:{port}/guest/") and "?id=" in full, full)
        self.assertEqual(s.field_text("Short URL"), full.split("?")[0])
        with urllib.request.urlopen(full, timeout=5) as r:
            self.assertEqual(r.read(), logo)  # the same logo, now in the guest gallery
        self.assertEqual(s.quit(), 0)


if __name__ == "__main__":
    import unittest
    unittest.main()
