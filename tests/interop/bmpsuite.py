#!/usr/bin/python3
"""The bmpsuite corpus against an independent decoder.

  bmpsuite.py BMPPROBE SUITE_DIR VERDICTS_TSV

For every file the verdict table marks as read, the pixels our reader loads
are compared with what the table's reference column names (see the table's
own header). Skips when the corpus is absent.
"""

import os
import struct
import sys

from interop_support import SKIP, Failures, Probe, decode_pillow, require_imaging, rgb_of

require_imaging()

import numpy as np  # noqa: E402

WHITE = np.array([255, 255, 255], np.uint8)


def read_verdicts(path):
    verdicts = []
    with open(path, encoding="utf-8") as table:
        for line in table:
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            name, verdict, loaded, reference, note = line.split("\t")
            verdicts.append((name, verdict, loaded, reference, note))
    return verdicts


def mask_rule(path, width, height):
    """A 16-bit file's pixels by the documented rule, computed here from the
    file's own bytes: each channel's field shifted so that its top bit lands
    on bit 4 (fields already below stay put), times 8."""
    with open(path, "rb") as f:
        data = f.read()
    off_bits = struct.unpack_from("<I", data, 10)[0]
    masks = [m & 0xFFFF for m in struct.unpack_from("<III", data, 54)]
    start = max(off_bits, 66)
    row = (2 * width + 3) // 4 * 4
    words = np.zeros((height, width), np.uint32)
    for y in range(height):
        line = data[start + y * row:start + y * row + 2 * width]
        words[height - 1 - y] = np.frombuffer(line, "<u2")
    channels = []
    for mask in masks:  # red, green, blue
        shift = 0
        while (mask >> shift) > 31:
            shift += 1
        channels.append(((words & mask) >> shift) * 8)
    return np.stack(channels, axis=2).astype(np.uint8)


def palette_rule(path, ours_rgb):
    """Pixels whose index lies inside the file's palette match Pillow; the
    others must be white here."""
    from PIL import Image

    with open(path, "rb") as f:
        data = f.read(54)
    entries = (struct.unpack_from("<I", data, 10)[0] - 54) // 4
    with Image.open(path) as image:
        indices = np.asarray(image)
    reference = decode_pillow(path)
    inside = indices < entries
    return (np.array_equal(ours_rgb[inside], reference[inside])
            and bool((ours_rgb[~inside] == WHITE).all())
            and bool(inside.any()) and bool((~inside).any()))


def main():
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    probe, suite, table = Probe(sys.argv[1]), sys.argv[2], sys.argv[3]
    if not os.path.exists(os.path.join(suite, "MANIFEST.tsv")):
        print("skipped: no bmpsuite corpus at " + suite)
        return SKIP
    failures = Failures()
    for name, verdict, loaded, reference, note in read_verdicts(table):
        path = os.path.join(suite, name)
        result = probe.dump(path)
        if not failures.check((result is not None) == (verdict == "read"),
                              "%s: expected %s" % (name, verdict)):
            continue
        if result is None or reference == "none":
            continue
        width, height, depth, bgra, _ = result
        ours = rgb_of(bgra)
        if reference == "pillow":
            expected = decode_pillow(path)
            if depth == 16:
                expected = expected & 0xF8
            ok = np.array_equal(ours, expected)
        elif reference.startswith("pillow:"):
            ok = np.array_equal(ours, decode_pillow(os.path.join(suite, reference[7:])))
        elif reference.startswith("truncated:"):
            expected = decode_pillow(os.path.join(suite, reference[10:]))
            with open(path, "rb") as f:
                data = f.read()
            row = (depth * width + 31) // 32 * 4
            complete = (len(data) - struct.unpack_from("<I", data, 10)[0]) // row
            top = height - complete
            ok = (0 < complete < height and np.array_equal(ours[top:], expected[top:])
                  and bool((ours[:top] == WHITE).all()))
        elif reference == "masks":
            ok = depth == 16 and np.array_equal(ours, mask_rule(path, width, height))
        elif reference == "palette":
            ok = palette_rule(path, ours)
        else:
            ok = False
            note = "unknown reference " + reference
        failures.check(ok, "%s: pixels differ from %s (%s)" % (name, reference, note))
    failures.finish()


if __name__ == "__main__":
    sys.exit(main())
