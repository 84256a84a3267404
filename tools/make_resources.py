#!/usr/bin/env python3
"""Draws the program's own small pictures (cursors, glyphs, tiles) as PNG files.

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


def tile():
    # One box of the moving row drawn while an upload runs.
    rows = []
    for y in range(16):
        row = []
        for x in range(16):
            if x in (0, 15) or y in (0, 15):
                row.append((20, 60, 140, 255))
            else:
                shade = 255 - y * 8
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


def stop():
    rows = []
    for y in range(16):
        row = []
        for x in range(16):
            inside = 2 <= x <= 13 and 2 <= y <= 13
            corner = (x in (2, 13)) and (y in (2, 13))
            row.append((190, 30, 30, 255) if inside and not corner else (0, 0, 0, 0))
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
    write_png(OUT / "handflat.png", from_art(HAND_FLAT, CURSOR))
    write_png(OUT / "handgrab.png", from_art(HAND_GRAB, CURSOR))
    write_png(OUT / "upload_box.png", tile())
    write_png(OUT / "upload.png", arrow())
    write_png(OUT / "stopupload.png", stop())
    write_png(OUT / "mirror.png", mirror())
    write_png(OUT / "mirror_vertical.png", mirror(True))


if __name__ == "__main__":
    main()
