"""Pictures from a TWAIN source through the real program, with the scripted TWAIN manager
the tests build (tests/support/fake_twaindsm.cpp) in place of the real one: three
pictures in one go, of which the last becomes the logo; then, in a second run, a source
that cannot be opened and its message in the TWAIN error box."""

import os
import unittest

from harness import wait_for
from test_scan import ScannerCase, jpeg_size


def twain_env(script):
    return {"QUILLON_TWAIN_DSM": os.environ["QUILLON_FAKE_TWAINDSM"], "QUILLON_FAKE_TWAIN_SCRIPT": script,
            "SANE_CONFIG_DIR": "/nonexistent"}


class TwainByHand(ScannerCase):
    def test_three_pictures_in_one_go_then_a_source_that_cannot_be_opened(self):
        s = self.start(env=twain_env("xfer:ok,ok,ok"))
        self.twain_command(s, "Acquire image...")
        wait_for(lambda: "importedimage.jpg" in s.tree_items(), "the picture in the tree")
        # The fake's n-th picture is 2 + n pixels wide: the third one was kept.
        self.assertEqual(jpeg_size(s.path("Logo Directory", "importedimage.jpg")), (5, 2))
        self.assertEqual(s.quit(), 0)

        s.start_quillon(twain_env("fail=OPENDS"))
        self.twain_command(s, "Acquire image...")
        box = wait_for(lambda: s.dialog("TWAIN Error"), "the TWAIN error box")
        s.wait_find(box, "label", "Unable to open default Data Source.")
        s.click(s.button(box, "OK"))
        wait_for(lambda: s.dialog("TWAIN Error") is None, "the error box to close")
        self.assertEqual(s.tree_items(), ["Logo Directory", "importedimage.jpg"])
        self.assertEqual(os.listdir(s.path("Logo Directory")), ["importedimage.jpg"])


if __name__ == "__main__":
    unittest.main()
