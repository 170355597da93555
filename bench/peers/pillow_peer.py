"""pillow_peer: the checker job done with Pillow and numpy.

    /usr/bin/python3 pillow_peer.py INPUT OUTPUT

24 bits: Pillow reads and writes RGB. 32 bits: Pillow's BMP reader drops the
fourth byte, so the rows go through Pillow's raw BGRA decoder instead and the
result is written as RGBA (32 bits, alpha kept). 1, 4 and 8 bits: the picture
stays indexed; each index is mapped through a table of exact nearest colours
(the first exact match, else the lowest index among the nearest), the way the
library writes painted colours. Pillow writes 1-bit pictures at 1 bit and
every other indexed picture at 8 bits. 16 bits: Pillow cannot write them.
"""
import struct
import sys

import numpy as np
from PIL import Image


def checker_sets(size):
    """Bit 0 where a square 1 covers the index, bit 1 for square 2."""
    sets = np.zeros(size, dtype=np.uint8)
    for origin in range(0, size + 1, 40):
        for square in (0, 1):
            first = origin + 20 * square
            start = min(first, size - 1)
            stop = min(first + 20, size - 1)
            sets[start : stop + 1] |= 1 << square
    return sets


def painted_mask(width, height):
    return (checker_sets(height)[:, None] & checker_sets(width)[None, :]) != 0


def nearest_table(palette, colours):
    """Index of the nearest palette colour for each colour; argmin takes the
    first of equal distances, which is also the first exact match."""
    difference = colours[:, None, :].astype(np.int32) - palette[None, :, :].astype(np.int32)
    return np.argmin((difference * difference).sum(axis=2), axis=1).astype(np.uint8)


def main(source, target):
    with open(source, "rb") as stream:
        header = stream.read(54)
    offset = struct.unpack_from("<I", header, 10)[0]
    width, height = struct.unpack_from("<ii", header, 18)
    depth = struct.unpack_from("<H", header, 28)[0]
    mask = painted_mask(width, height)

    if depth == 32:
        with open(source, "rb") as stream:
            data = stream.read()
        image = Image.frombuffer("RGBA", (width, height), data[offset:], "raw", "BGRA", 0, -1)
        pixels = np.array(image)
        pixels[mask, 1] = 0
        pixels[mask, 2] = 0
        Image.fromarray(pixels, "RGBA").save(target, "BMP")
    elif depth == 24:
        pixels = np.array(Image.open(source).convert("RGB"))
        pixels[mask, 1] = 0
        pixels[mask, 2] = 0
        Image.fromarray(pixels, "RGB").save(target, "BMP")
    elif depth in (1, 4, 8):
        image = Image.open(source)
        if image.mode == "1":
            indices = np.array(image).astype(np.uint8)
            palette = np.array([[0, 0, 0], [255, 255, 255]], dtype=np.uint8)
        else:
            indices = np.array(image)
            palette = np.array(image.getpalette(), dtype=np.uint8).reshape(-1, 3)
        painted = palette.copy()
        painted[:, 1:] = 0  # RGB order: green and blue cleared, red kept
        keep = nearest_table(palette, palette)
        paint = nearest_table(palette, painted)
        result = np.where(mask, paint[indices], keep[indices]).astype(np.uint8)
        if image.mode == "1":
            Image.fromarray(result.astype(bool)).save(target, "BMP")
        else:
            out = Image.fromarray(result, "P")
            out.putpalette(palette.reshape(-1).tolist())
            out.save(target, "BMP")
    else:
        sys.stderr.write("pillow_peer: Pillow does not write %d-bit BMP files\n" % depth)
        return 1
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.stderr.write("usage: pillow_peer.py INPUT OUTPUT\n")
        sys.exit(1)
    sys.exit(main(sys.argv[1], sys.argv[2]))
