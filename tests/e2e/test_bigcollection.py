"""A collection of any size the program writes is read back: a directory file far past
16 MB comes up whole and goes down whole."""

import os
import unittest
import xml.etree.ElementTree as ET

from harness import QuillonTestCase, wait_for

FOLDERS = 100
LOGOS = 80000  # about 19 MB of directory file: past the 16 MB at which files used to be refused


def write_collection(app_dir):
    root = os.path.join(app_dir, "Logo Directory")
    parts = ['<?xml version="1.0" encoding="UTF-8"?>\n<logodirectory>']
    per_folder = LOGOS // FOLDERS
    for f in range(FOLDERS):
        folder = f"Folder {f:03d}"
        os.makedirs(os.path.join(root, folder))
        parts.append(f'<logodirnode nodekind="folder" nodename="{folder}">')
        for i in range(per_folder):
            name = f"picture {i:05d}.jpg"
            open(os.path.join(root, folder, name), "wb").close()
            parts.append(f'<logodirnode nodekind="logo" nodename="{name}" frameleft="0" frametop="0" '
                         f'framewidth="40" frameheight="30" phonemakeid="0" phonemodelid="0" logowidth="128" '
                         f'logoheight="128" fitkind="bigger" keepproportions="yes" '
                         f'uploadurl="http://wap.example/guest/?id={f * per_folder + i}"/>')
        parts.append("</logodirnode>")
    parts.append("</logodirectory>\n")
    with open(os.path.join(app_dir, "logodirectory.xml"), "w") as out:
        out.write("".join(parts))


def logo_count(path):
    return sum(1 for n in ET.parse(path).getroot().iter("logodirnode") if n.get("nodekind") == "logo")


class BigCollection(QuillonTestCase):
    def test_a_big_collection_comes_up_and_goes_down_whole(self):
        # Reading tens of thousands of entries, each checked on disk, takes seconds on a busy machine.
        s = self.start(prepare=lambda s: write_collection(s.app_dir), start_timeout=120)
        directory = s.path("logodirectory.xml")
        self.assertGreater(os.path.getsize(directory), 16 * 1024 * 1024)
        wait_for(lambda: "Folder 099" in s.tree_items(), "the folders in the tree", timeout=120)
        self.assertIsNone(s.dialog(), "no message at start")
        self.assertEqual(s.quit(), 0)
        self.assertEqual(logo_count(directory), LOGOS)
        self.assertFalse(os.path.exists(directory + ".bad"))


if __name__ == "__main__":
    unittest.main()
