"""A camera's portrait photo, stored sideways with the EXIF orientation that says so,
is framed and rendered upright: its logo is the logo of the same picture stored upright."""

import os
import struct
import subprocess
import unittest

from harness import QuillonTestCase, wait_for, write_bmp

WIDTH, HEIGHT = 120, 200  # the photo as it is seen: portrait


def seen(x, y):
    """The upright photo: red grows to the right, green downwards, a white top-left block."""
    if x < WIDTH // 3 and y < HEIGHT // 4:
        return (255, 255, 255)
    return (x * 255 // WIDTH, y * 255 // HEIGHT, 60)


def exif_orientation_segment(value):
    """APP1 "Exif" with IFD0 holding the orientation tag, in Motorola byte order."""
    tiff = b"MM" + struct.pack(">HI", 42, 8) + struct.pack(">H", 1)
    tiff += struct.pack(">HHIHH", 0x0112, 3, 1, value, 0) + struct.pack(">I", 0)
    body = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def to_jpeg(bmp, jpeg, orientation=None):
    subprocess.run(["convert", bmp, "-quality", "95", jpeg], check=True)
    if orientation:
        with open(jpeg, "rb") as f:
            data = f.read()
        with open(jpeg, "wb") as f:
            f.write(data[:2] + exif_orientation_segment(orientation) + data[2:])


def pixels(path):
    """Width, height and RGB bytes of a picture file."""
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True, capture_output=True, text=True)
    w, h = map(int, size.stdout.split())
    raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    return w, h, raw


class UprightPhotos(QuillonTestCase):
    def save_logo(self, s, target):
        s.activate(s.main)
        s.key("ctrl+s")
        dialog = wait_for(lambda: s.dialog("Save As"), "the save dialog")
        s.activate(dialog)
        s.key("ctrl+a")
        s.type(target)
        s.key("Return")
        wait_for(lambda: os.path.isfile(target) and s.dialog("Save As") is None, "the saved logo")

    def test_a_photo_turned_by_its_exif_orientation_gives_the_upright_logo(self):
        s = self.start()
        # Orientation 6: the camera stored the rows of the photo's right side first; a viewer
        # turns the stored picture clockwise.
        stored = os.path.join(s.tmp, "stored.bmp")
        write_bmp(stored, HEIGHT, WIDTH, lambda x, y: seen(WIDTH - 1 - y, x))
        upright = os.path.join(s.tmp, "upright.bmp")
        write_bmp(upright, WIDTH, HEIGHT, seen)
        to_jpeg(stored, os.path.join(s.tmp, "camera.jpg"), orientation=6)
        to_jpeg(upright, os.path.join(s.tmp, "plain.jpg"))

        logos = {}
        for name in ("camera", "plain"):
            s.open_picture(os.path.join(s.tmp, name + ".jpg"))
            wait_for(lambda: name + ".jpg" in s.tree_items(), f"{name}.jpg in the tree")
            wait_for(lambda: s.find(s.main, "label", f"Source Image: {WIDTH}x{HEIGHT}"), f"{name}.jpg upright on screen")
            logos[name] = os.path.join(s.tmp, name + "-logo.jpg")
            self.save_logo(s, logos[name])

        w, h, camera = pixels(logos["camera"])
        self.assertEqual((w, h), pixels(logos["plain"])[:2])
        plain = pixels(logos["plain"])[2]
        # The same picture through two JPEG encodings: a few levels apart at most, where a
        # turned or mirrored logo would be a hundred apart.
        mean_difference = sum(abs(a - b) for a, b in zip(camera, plain)) / len(plain)
        self.assertLess(mean_difference, 4, "the logos differ")
        mirrored = bytes(b for y in range(h) for x in range(w - 1, -1, -1) for b in plain[3 * (y * w + x):3 * (y * w + x) + 3])
        self.assertGreater(sum(abs(a - b) for a, b in zip(camera, mirrored)) / len(plain), 20)


if __name__ == "__main__":
    unittest.main()
