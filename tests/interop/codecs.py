#!/usr/bin/python3
"""Interoperability with independent codecs, in both directions.

  codecs.py BMPPROBE

1. Files we write at 1, 4, 8, 16, 24 and 32 bits decode in Pillow, ImageMagick
   and netpbm to the colours the image held: exactly at 24 and 32 bits, the
   nearest palette colour at 1, 4 and 8 bits, the stored 5-6-5 bits at 16.
2. Files those tools write at every depth they offer, with 40-, 108- and
   124-byte info headers, load here with the colours the tools decode
   (16-bit through our 5-bit channels: the decoder's value with its three
   low bits cleared).
"""

import os
import subprocess
import sys
import tempfile

from interop_support import (CONVERT, Failures, Probe, decode_imagemagick, decode_netpbm,
                             decode_pillow, have, header, require_imaging, rgb_of)

require_imaging()

import numpy as np  # noqa: E402
from PIL import Image  # noqa: E402

DEPTHS = [1, 4, 8, 16, 24, 32]
SIZES = [(1, 1), (23, 13), (64, 3)]


def distinct_palette(rng, count):
    """`count` entries with distinct colours, so every index has one colour."""
    colours = rng.choice(1 << 24, size=count, replace=False)
    palette = np.zeros((count, 4), np.uint8)
    palette[:, 0] = colours & 0xFF
    palette[:, 1] = (colours >> 8) & 0xFF
    palette[:, 2] = colours >> 16
    palette[:, 3] = rng.integers(0, 256, count)
    return palette


def nearest(palette, bgra):
    """Nearest palette entry by squared distance in blue, green and red;
    the lowest index among equals."""
    pixels = bgra[:, :, :3].reshape(-1, 1, 3).astype(np.int32)
    entries = palette[None, :, :3].astype(np.int32)
    distances = ((pixels - entries) ** 2).sum(axis=2)
    return distances.argmin(axis=1).reshape(bgra.shape[:2])


def agrees(depth, decoded, expected_rgb):
    if depth == 16:
        # The file holds red and blue in 5 bits, green in 6: compare those.
        shifts = np.array([3, 2, 3])
        return np.array_equal(decoded >> shifts, expected_rgb >> shifts)
    return np.array_equal(decoded, expected_rgb)


def our_files(probe, work, failures):
    rng = np.random.default_rng(2024)
    decoders = [("Pillow", lambda path, w, h: decode_pillow(path))]
    if os.path.exists(CONVERT):
        decoders.append(("ImageMagick", decode_imagemagick))
    if have("bmptopnm"):
        decoders.append(("netpbm", lambda path, w, h: decode_netpbm(path)))
    for depth in DEPTHS:
        for width, height in SIZES:
            name = "ours %d bits %dx%d" % (depth, width, height)
            bgra = rng.integers(0, 256, (height, width, 4), dtype=np.uint8)
            palette = None
            expected = rgb_of(bgra)
            if depth <= 8:
                palette = distinct_palette(rng, 1 << depth)
                # Mostly palette colours, some others that go to the nearest.
                bgra = palette[rng.integers(0, len(palette), (height, width))]
                others = rng.random((height, width)) < 0.25
                bgra[others] = rng.integers(0, 256, (int(others.sum()), 4), dtype=np.uint8)
                expected = rgb_of(palette[nearest(palette, bgra)])
            path = os.path.join(work, "ours-%d-%dx%d.bmp" % (depth, width, height))
            if not failures.check(probe.write(depth, bgra, palette, path, work), name + ": saved"):
                continue
            fields = header(path)
            failures.check((fields["bits"], fields["biSize"], fields["compression"])
                           == (depth, 40, 3 if depth == 16 else 0),
                           name + ": header %s" % fields)
            for decoder, decode in decoders:
                if decoder == "netpbm" and depth == 16:
                    continue  # bmptopnm ignores the masks of a 40-byte header: 5-5-5 always
                try:
                    decoded = decode(path, width, height)
                except (RuntimeError, OSError) as error:
                    failures.check(False, "%s: %s fails: %s" % (name, decoder, error))
                    continue
                failures.check(agrees(depth, decoded, expected),
                               "%s: %s decodes other colours" % (name, decoder))


# Files other tools write: (name, writer, depth, biSize). The writers get
# the source picture as PNG (RGBA), as PPM and as a Pillow image.
def tool_files():
    files = []

    def pillow(mode, colours=None):
        def write(source, png, ppm, out):
            image = source.convert("RGB").quantize(colours) if colours else source.convert(mode)
            image.save(out)
        return write

    files += [("Pillow 1-bit", pillow("1"), 1, 40),
              ("Pillow grey", pillow("L"), 8, 40),
              ("Pillow palette", pillow("P", 100), 8, 40),
              ("Pillow RGB", pillow("RGB"), 24, 40),
              ("Pillow RGBA", pillow("RGBA"), 32, 40)]

    if os.path.exists(CONVERT):
        def magick(*options):
            def write(source, png, ppm, out):
                fmt = options[-1]
                subprocess.run([CONVERT, png, "-alpha", "off"] + list(options[:-1])
                               + ["-compress", "None", fmt + ":" + out], check=True,
                               capture_output=True)
            return write

        files += [("ImageMagick BMP3 1-bit", magick("-monochrome", "BMP3"), 1, 40),
                  ("ImageMagick BMP3 4-bit", magick("-colors", "16", "-type", "Palette", "BMP3"),
                   4, 40),
                  ("ImageMagick BMP3 8-bit", magick("-colors", "200", "-type", "Palette", "BMP3"),
                   8, 40),
                  ("ImageMagick BMP3 24-bit", magick("-type", "TrueColor", "BMP3"), 24, 40),
                  ("ImageMagick V4 1-bit", magick("-monochrome", "BMP"), 1, 108),
                  ("ImageMagick V5 1-bit", magick("-colors", "2", "-type", "Palette", "BMP"),
                   1, 124),
                  ("ImageMagick V5 4-bit", magick("-colors", "16", "-type", "Palette", "BMP"),
                   4, 124),
                  ("ImageMagick V5 8-bit", magick("-colors", "200", "-type", "Palette", "BMP"),
                   8, 124),
                  ("ImageMagick V5 16-bit 5-6-5",
                   magick("-define", "bmp:subtype=RGB565", "BMP"), 16, 124),
                  ("ImageMagick V5 16-bit 5-5-5",
                   magick("-define", "bmp:subtype=RGB555", "BMP"), 16, 124),
                  ("ImageMagick V5 24-bit", magick("-type", "TrueColor", "BMP"), 24, 124)]

    if have("ppmtobmp"):
        def netpbm(bits):
            def write(source, png, ppm, out):
                colours = {1: 2, 4: 16, 8: 256}.get(bits)
                picture = ppm
                if colours:
                    picture = out + ".ppm"
                    source.convert("RGB").quantize(colours).convert("RGB").save(picture)
                with open(out, "wb") as f:
                    subprocess.run(["ppmtobmp", "-windows", "-bpp", str(bits), picture],
                                   stdout=f, stderr=subprocess.DEVNULL, check=True)
            return write

        files += [("netpbm %d-bit" % bits, netpbm(bits), bits, 40) for bits in (1, 4, 8, 24)]
    return files


def their_files(probe, work, failures):
    rng = np.random.default_rng(7)
    height, width = 13, 23  # odd width: every depth needs row padding
    rgba = rng.integers(0, 256, (height, width, 4), dtype=np.uint8)
    source = Image.fromarray(rgba, "RGBA")
    png = os.path.join(work, "source.png")
    ppm = os.path.join(work, "source.ppm")
    source.save(png)
    source.convert("RGB").save(ppm)

    for name, write, depth, info_size in tool_files():
        out = os.path.join(work, name.replace(" ", "-") + ".bmp")
        try:
            write(source, png, ppm, out)
        except (subprocess.CalledProcessError, OSError) as error:
            failures.check(False, "%s: cannot write: %s" % (name, error))
            continue
        fields = header(out)
        failures.check((fields["bits"], fields["biSize"]) == (depth, info_size),
                       "%s: written as %s" % (name, fields))
        loaded = probe.dump(out)
        if not failures.check(loaded is not None, name + ": refused"):
            continue
        ours_width, ours_height, ours_depth, bgra, _ = loaded
        failures.check((ours_width, ours_height, ours_depth) == (width, height, depth),
                       "%s: loaded as %dx%d at %d bits" % (name, ours_width, ours_height,
                                                            ours_depth))
        if bgra.shape[:2] != (height, width):
            continue
        reference = decode_pillow(out)
        if depth == 16:
            reference = reference & 0xF8
        failures.check(np.array_equal(rgb_of(bgra), reference),
                       name + ": colours differ from the tool's")
        # 24 and 32 bits hold the source's own colours (16 bits hold the
        # tool's rounding of them, which the comparison above covers).
        if depth >= 24:
            failures.check(np.array_equal(rgb_of(bgra), rgba[:, :, :3]),
                           name + ": colours differ from the source")
        if name == "Pillow RGBA":
            failures.check(np.array_equal(bgra[:, :, 3], rgba[:, :, 3]),
                           name + ": alpha differs from the source")

    # ImageMagick writes 32 bits with bit fields, which the reader refuses.
    if os.path.exists(CONVERT):
        out = os.path.join(work, "ImageMagick-V5-32-bit.bmp")
        subprocess.run([CONVERT, png, "BMP:" + out], check=True, capture_output=True)
        fields = header(out)
        failures.check((fields["bits"], fields["compression"]) == (32, 3),
                       "ImageMagick 32-bit: written as %s" % fields)
        failures.check(probe.dump(out) is None, "ImageMagick 32-bit bit fields: not refused")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    probe = Probe(sys.argv[1])
    failures = Failures()
    with tempfile.TemporaryDirectory(prefix="quarvel-interop-") as work:
        our_files(probe, work, failures)
        their_files(probe, work, failures)
    failures.finish()


if __name__ == "__main__":
    sys.exit(main())
