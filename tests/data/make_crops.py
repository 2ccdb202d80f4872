#!/usr/bin/env python3
"""Cuts the small test crops from the photograph corpus (binary PPM/PGM, 8-bit).

Usage: make_crops.py CORPUS_DIR  (writes into the directory of this script)
"""
import os
import sys

# (source file, left, top, width, height, output file)
CROPS = [
    ("astronaut_512x512_rgb8.ppm", 180, 60, 64, 48, "astronaut_64x48.ppm"),
    ("chelsea_451x300_rgb8.ppm", 200, 120, 36, 20, "chelsea_36x20.ppm"),
    ("camera_512x512_gray8.pgm", 220, 90, 64, 48, "camera_64x48.pgm"),
    ("coffee_600x400_rgb8.ppm", 300, 150, 36, 20, "coffee_36x20.ppm"),
]


def read_pnm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    magic, w, h, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
    assert magic in (b"P5", b"P6") and maxval == 255, path
    return magic, w, h, data[pos + 1:]


def main():
    corpus = sys.argv[1]
    out_dir = os.path.dirname(os.path.abspath(__file__))
    for src, left, top, cw, ch, out in CROPS:
        magic, w, _, pixels = read_pnm(os.path.join(corpus, src))
        bpp = 3 if magic == b"P6" else 1
        rows = [pixels[((top + y) * w + left) * bpp:((top + y) * w + left + cw) * bpp] for y in range(ch)]
        with open(os.path.join(out_dir, out), "wb") as f:
            f.write(b"%s\n%d %d\n255\n" % (magic, cw, ch))
            f.write(b"".join(rows))


if __name__ == "__main__":
    main()
