#!/usr/bin/env python3
"""Draws the program's own small pictures (cursors, glyphs, tiles) as PNG files, each
also at double size (NAME@2x.png) for screens that scale by 1.5 or 2: the tile and the
stop glyph drawn anew at that size, the pixel drawings enlarged by Scale2x, which keeps
their outlines sharp and smooths their diagonals.

Run from the repository top: python3 tools/make_resources.py
The toolbar and tree icons come from the public-domain Tango icon theme instead.
"""
import struct
import zlib
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "src/app/ui/resources"


def write_png(path, rows):
    h = len(rows)
    w = len(rows[0])
    raw = b"".join(b"\0" + b"".join(bytes(px) for px in row) for row in rows)

    def chunk(tag, data):
        c = struct.pack(">I", len(data)) + tag + data
        return c + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    path.write_bytes(png)


def from_art(art, palette):
    lines = art.strip("\n").split("\n")
    width = max(len(l) for l in lines)
    return [[palette[c] for c in line.ljust(width)] for line in lines]


CURSOR = {" ": (0, 0, 0, 0), "#": (0, 0, 0, 255), ".": (255, 255, 255, 255)}

HAND_FLAT = """
       ##       
   ## #..###    
  #..##..#..#   
  #..##..#..# # 
   #..#..#..##.#
   #..#..#..#..#
 ## #.......#..#
#..##..........#
#...#.........# 
 #............# 
  #...........# 
  #..........#  
   #.........#  
    #.......#   
     #......#   
     #......#   
"""

HAND_GRAB = """
                
                
                
    ## ## ##    
   #..#..#..##  
   #........#.# 
    #..........#
   ##..........#
  #.#..........#
  #............#
   #...........#
   #..........# 
    #.........# 
     #.......#  
      #......#  
      #......#  
"""


def scale2x(rows):
    """Scale2x (EPX): each pixel becomes four, taking a neighbour's colour where two
    neighbours agree on a corner."""
    h, w = len(rows), len(rows[0])
    out = [[None] * (2 * w) for _ in range(2 * h)]
    for y in range(h):
        for x in range(w):
            p = rows[y][x]
            a = rows[y - 1][x] if y > 0 else p
            b = rows[y][x + 1] if x < w - 1 else p
            c = rows[y][x - 1] if x > 0 else p
            d = rows[y + 1][x] if y < h - 1 else p
            out[2 * y][2 * x] = a if c == a and c != d and a != b else p
            out[2 * y][2 * x + 1] = b if a == b and a != c and b != d else p
            out[2 * y + 1][2 * x] = c if d == c and d != b and c != a else p
            out[2 * y + 1][2 * x + 1] = d if b == d and b != a and d != c else p
    return out


def tile(scale=1):
    # One box of the moving row drawn while an upload runs: a one-pixel border and a
    # shade that darkens downwards, at any scale.
    n = 16 * scale
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            if x in (0, n - 1) or y in (0, n - 1):
                row.append((20, 60, 140, 255))
            else:
                shade = 255 - round(y * 8 / scale)
                row.append((60, 110, shade, 255))
        rows.append(row)
    return rows


def arrow(up=True, colour=(40, 120, 40, 255)):
    art = """
       ##       
      ####      
     ######     
    ########    
   ##########   
  ############  
      ####      
      ####      
      ####      
      ####      
      ####      
      ####      
 ############## 
 ############## 
                
                
"""
    rows = from_art(art, {" ": (0, 0, 0, 0), "#": colour})
    return rows if up else rows[::-1]


def stop(scale=1):
    # A square from 2 to 14 with its corners rounded off by one unit, sampled at the
    # centre of each pixel.
    n = 16 * scale
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            px, py = (x + 0.5) / scale, (y + 0.5) / scale
            dx, dy = max(3 - px, px - 13, 0), max(3 - py, py - 13, 0)
            inside = 2 <= px < 14 and 2 <= py < 14 and dx * dx + dy * dy <= (1.0 if scale > 1 else 0.25)
            row.append((190, 30, 30, 255) if inside else (0, 0, 0, 0))
        rows.append(row)
    return rows


def mirror(vertical=False):
    size = 22
    rows = [[(0, 0, 0, 0)] * size for _ in range(size)]
    for y in range(4, 18):
        span = (y - 4) if y < 11 else (17 - y)
        for x in range(10 - span - 1, 10):
            rows[y][x] = (52, 101, 164, 255)
        for x in range(12, 12 + span + 1):
            edge = x == 12 + span or y in (4, 17)
            rows[y][x] = (52, 101, 164, 255) if edge else (0, 0, 0, 0)
    for y in range(2, 20, 3):
        rows[y][11] = (0, 0, 0, 255)
        rows[y + 1][11] = (0, 0, 0, 255)
    if vertical:
        rows = [[rows[x][y] for x in range(size)] for y in range(size)]
    return rows


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    pixel_drawings = {
        "handflat": from_art(HAND_FLAT, CURSOR),
        "handgrab": from_art(HAND_GRAB, CURSOR),
        "upload": arrow(),
        "mirror": mirror(),
        "mirror_vertical": mirror(True),
    }
    for name, rows in pixel_drawings.items():
        write_png(OUT / f"{name}.png", rows)
        write_png(OUT / f"{name}@2x.png", scale2x(rows))
    for name, draw in (("upload_box", tile), ("stopupload", stop)):
        write_png(OUT / f"{name}.png", draw())
        write_png(OUT / f"{name}@2x.png", draw(2))


if __name__ == "__main__":
    main()
