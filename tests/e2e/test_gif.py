"""Converting a logo to GIF in the real program: a picture large enough to be mapped
and compressed on two threads, the halves joined into one file, which the program reads
back to show."""

import os
import struct
import unittest

from harness import QuillonTestCase, gradient, wait_for, write_bmp


def read_gif(path):
    """Width, height and the pixels (RGB, row by row) of a one-image GIF file: the blocks
    whole up to the trailer, every LZW code known when it is read."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:6] in (b"GIF87a", b"GIF89a"), data[:6]
    width, height, flags = struct.unpack("<HHB", data[6:11])
    assert flags & 0x80, "no global palette"
    colours = 2 << (flags & 7)
    palette = [tuple(data[13 + 3 * i:16 + 3 * i]) for i in range(colours)]
    at = 13 + 3 * colours
    assert data[at:at + 1] == b",", data[at:at + 1]
    min_bits = data[at + 10]
    at += 11
    stream = bytearray()
    while data[at]:
        stream += data[at + 1:at + 1 + data[at]]
        at += 1 + data[at]
    assert data[at + 1:] == b";", data[at + 1:]

    clear, end = 1 << min_bits, (1 << min_bits) + 1
    bits, table, previous, indexes = min_bits + 1, [], None, []
    value = held = pos = 0
    while True:
        while held < bits:
            value |= stream[pos] << held
            held += 8
            pos += 1
        code = value & ((1 << bits) - 1)
        value >>= bits
        held -= bits
        if code == clear:
            table = [[i] for i in range(clear)] + [None, None]
            bits, previous = min_bits + 1, None
            continue
        if code == end:
            break
        if code < len(table):
            entry = table[code]
            if previous is not None:
                table.append(previous + entry[:1])
        else:  # the string being defined by this very code
            assert previous is not None and code == len(table), f"code {code} unknown"
            entry = previous + previous[:1]
            table.append(entry)
        indexes += entry
        previous = entry
        if len(table) == 1 << bits and bits < 12:
            bits += 1
    assert len(indexes) == width * height, (len(indexes), width * height)
    return width, height, [palette[i] for i in indexes]


class ConvertToGif(QuillonTestCase):
    def test_convert_to_gif_and_see_it(self):
        s = self.start()
        picture = os.path.join(s.tmp, "wide.bmp")
        write_bmp(picture, 400, 330, gradient(400, 330))
        s.open_picture(picture)
        wait_for(lambda: s.find(s.main, "label", "Source Image: 400x330"), "the picture on screen")

        s.click(s.wait_find(s.main, "menu item", "Edit"))
        s.click(s.menu_item("Convert to"))
        s.click(s.menu_item("GIF (Graphics Interchange Format)"))
        wait_for(lambda: "wide.gif" in s.tree_items(), "the converted logo")
        self.assertFalse(os.path.exists(s.path("Logo Directory", "wide.bmp")))
        width, height, pixels = read_gif(s.path("Logo Directory", "wide.gif"))
        self.assertEqual((width, height), (400, 330))
        # Dithered to its palette, the picture is still the gradient, in both halves.
        expected = gradient(400, 330)
        for top in (0, 165):
            rows = range(top, top + 165)
            error = sum(abs(a - b) for y in rows for x in range(400)
                        for a, b in zip(pixels[y * 400 + x], expected(x, y))) / (3 * 400 * 165)
            self.assertLess(error, 8, f"rows from {top}")  # dithering keeps it near 3
        wait_for(lambda: s.find(s.main, "label", "Source Image: 400x330"), "the GIF on screen")
        self.assertEqual(s.quit(), 0)


if __name__ == "__main__":
    unittest.main()
