"""Helpers of compare.sh (run with /usr/bin/python3, which has Pillow and numpy).

    compare.py generate DIR              deterministic input files
    compare.py same A B CHANNELS         pixels of two BMP files agree? (bgr or bgra)
    compare.py resize-pillow FROM TO     Pillow's bilinear resize, seconds per run
    compare.py table DIR                 the table from the timings in DIR
"""
import json
import os
import struct
import sys
import time

import numpy as np

MIB = 1024 * 1024

# Files at 4096 x 4096 at every depth, and 24 bits at two more sizes for the
# cost per pixel. Name: depth-side.
SIDE = 4096
DEPTHS = (1, 4, 8, 16, 24, 32)
SCALING_SIDES = (1024, 8192)


def input_name(depth, side):
    return "in-%d-%d.bmp" % (depth, side)


# ---------------------------------------------------------------- generation
def random_palette(rng, depth):
    if depth == 1:
        return np.array([[0, 0, 0, 0], [255, 255, 255, 0]], dtype=np.uint8)
    palette = rng.integers(0, 256, size=(1 << depth, 4), dtype=np.uint8)
    palette[:, 3] = 0
    if depth == 8:
        # A repeated colour: every program must pick its first index.
        palette[200] = palette[10]
    return palette


def write_bmp(path, depth, width, height, rows, palette=None):
    """rows: top-down bytes of shape (height, padded row size)."""
    extra = 0
    if palette is not None:
        extra = 4 * len(palette)
    elif depth == 16:
        extra = 12
    offset = 54 + extra
    image_bytes = rows.shape[0] * rows.shape[1]
    compression = 3 if depth == 16 else 0
    header = struct.pack("<2sIHHI", b"BM", offset + image_bytes, 0, 0, offset)
    header += struct.pack("<IiiHHIIiiII", 40, width, height, 1, depth, compression,
                          image_bytes, 3780, 3780, 0, 0)
    with open(path, "wb") as stream:
        stream.write(header)
        if palette is not None:
            stream.write(palette.tobytes())
        elif depth == 16:
            stream.write(struct.pack("<III", 0xF800, 0x07E0, 0x001F))
        stream.write(rows[::-1].tobytes())


def generate_one(path, depth, side, seed):
    rng = np.random.default_rng(seed)
    row_bytes = ((depth * side + 31) // 32) * 4
    data_bytes = (depth * side + 7) // 8
    rows = np.zeros((side, row_bytes), dtype=np.uint8)
    # Random bytes: every colour or index occurs, nothing repeats in a way a
    # codec could profit from. Bits past the last pixel stay zero.
    rows[:, :data_bytes] = rng.integers(0, 256, size=(side, data_bytes), dtype=np.uint8)
    used_bits = (depth * side) % 8
    if used_bits:
        rows[:, data_bytes - 1] &= (0xFF00 >> used_bits) & 0xFF
    palette = random_palette(rng, depth) if depth <= 8 else None
    write_bmp(path, depth, side, side, rows, palette)


def generate(directory):
    os.makedirs(directory, exist_ok=True)
    wanted = [(depth, SIDE) for depth in DEPTHS] + [(24, side) for side in SCALING_SIDES]
    for depth, side in wanted:
        path = os.path.join(directory, input_name(depth, side))
        if not os.path.exists(path):
            generate_one(path, depth, side, seed=depth * 100000 + side)
    return 0


# ---------------------------------------------------------------- comparison
def decode(path):
    """Pixels of an uncompressed (or bit-field) BMP file as top-down BGRA;
    indexed pixels take their palette colour, alpha 0."""
    data = np.fromfile(path, dtype=np.uint8)
    offset = struct.unpack_from("<I", data, 10)[0]
    header_size, width, height, _, depth, compression = struct.unpack_from("<IiiHHI", data, 14)
    top_down = height < 0
    height = abs(height)
    row_bytes = ((depth * width + 31) // 32) * 4
    rows = data[offset : offset + row_bytes * height].reshape(height, row_bytes)
    if not top_down:
        rows = rows[::-1]
    out = np.zeros((height, width, 4), dtype=np.uint8)
    if depth in (24, 32):
        step = depth // 8
        pixels = rows[:, : width * step].reshape(height, width, step)
        if compression == 3:
            masks = struct.unpack_from("<IIII", data, 54)
            if masks != (0xFF0000, 0xFF00, 0xFF, 0xFF000000):
                raise ValueError("%s: unexpected masks %s" % (path, masks))
        out[:, :, :step] = pixels
    elif depth == 16:
        words = rows[:, : 2 * width].copy().view("<u2").astype(np.uint32)
        masks = (0x7C00, 0x03E0, 0x001F)
        if compression == 3:
            masks = tuple(m & 0xFFFF for m in struct.unpack_from("<III", data, 54))
        for channel, mask in zip((2, 1, 0), masks):
            shift = 0
            while (mask >> shift) > 31:
                shift += 1
            out[:, :, channel] = (((words & mask) >> shift) * 8) & 0xFF
    else:
        count = (offset - 14 - header_size) // 4
        palette = np.full((1 << depth, 4), 255, dtype=np.uint8)
        palette[:, 3] = 0
        start = 14 + header_size
        palette[: min(count, 1 << depth)] = data[start : start + 4 * min(count, 1 << depth)].reshape(-1, 4)
        bits = np.unpackbits(rows, axis=1) if depth < 8 else None
        if depth == 8:
            indices = rows[:, :width]
        else:
            groups = bits[:, : width * depth].reshape(height, width, depth)
            weights = (1 << np.arange(depth - 1, -1, -1)).astype(np.uint8)
            indices = (groups * weights).sum(axis=2)
        out[:, :, :3] = palette[indices][:, :, :3]
    return out


def same(first, second, channels):
    a = decode(first)
    b = decode(second)
    if a.shape != b.shape:
        print("DIFFERENT SIZE %s %s: %s vs %s" % (first, second, a.shape, b.shape))
        return 1
    count = 4 if channels == "bgra" else 3
    differ = np.any(a[:, :, :count] != b[:, :, :count], axis=2)
    if differ.any():
        y, x = np.argwhere(differ)[0]
        print("DIFFERENT %s %s: %d pixels, first at x=%d y=%d: %s vs %s"
              % (first, second, differ.sum(), x, y, a[y, x], b[y, x]))
        return 1
    return 0


# ---------------------------------------------------------------- rescaling
def resize_pillow(source, target, runs=3):
    from PIL import Image

    rng = np.random.default_rng(7)
    image = Image.fromarray(rng.integers(0, 256, size=(source, source, 3), dtype=np.uint8), "RGB")
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        image.resize((target, target), Image.BILINEAR)
        times.append(time.perf_counter() - start)
    print("%.6f" % sorted(times)[len(times) // 2])
    return 0


# ---------------------------------------------------------------- the table
def median(values):
    values = sorted(values)
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2


def load_times(path):
    """Median seconds per command name of one hyperfine export."""
    with open(path) as stream:
        results = json.load(stream)["results"]
    return {result["command"]: median(result["times"]) for result in results}


def peak_kib(directory, name):
    path = os.path.join(directory, "mem-%s.txt" % name)
    if not os.path.exists(path):
        return None
    with open(path) as stream:
        return int(stream.read().split()[-1])


class Verdicts:
    def __init__(self):
        self.lines = []
        self.failed = 0

    def check(self, ok, text):
        self.lines.append("%s  %s" % ("met   " if ok else "MISSED", text))
        self.failed += 0 if ok else 1


def fmt_ratio(value):
    return "-" if value is None else "%.2f" % value


def table(directory):
    verdicts = Verdicts()
    pixels = SIDE * SIDE
    limit_mib = 4 * pixels / MIB + 8
    rows = []
    ours_time = {}
    for depth in DEPTHS:
        times = load_times(os.path.join(directory, "time-%d-%d.json" % (depth, SIDE)))
        ours = times["bmpchecker"]
        ours_time[depth] = ours
        floor = times.get("floor")
        stb = times.get("stb")
        pillow = times.get("pillow")
        peak = peak_kib(directory, "bmpchecker-%d-%d" % (depth, SIDE))
        peak_mib = None if peak is None else peak / 1024
        rows.append((depth, ours, floor, stb, pillow, peak_mib))
        if peak_mib is not None:
            verdicts.check(peak_mib <= limit_mib, "%2d bits: peak memory %.1f MiB <= %.1f MiB"
                           % (depth, peak_mib, limit_mib))
        if depth in (24, 32):
            verdicts.check(ours <= 2 * floor, "%2d bits: bmpchecker %.2fx the floor (<= 2x)"
                           % (depth, ours / floor))
            if stb is not None:
                verdicts.check(stb >= 4 * ours, "%2d bits: %.1fx faster than stb (>= 4x)"
                               % (depth, stb / ours))
            if pillow is not None:
                verdicts.check(pillow >= 12 * ours, "%2d bits: %.1fx faster than Pillow (>= 12x)"
                               % (depth, pillow / ours))
    for depth in (8, 4, 1):
        verdicts.check(ours_time[depth] <= ours_time[24],
                       "%2d bits: %.2fx the 24-bit time (<= 1x)" % (depth, ours_time[depth] / ours_time[24]))
        pillow = rows[DEPTHS.index(depth)][4]
        if pillow is not None:
            verdicts.check(pillow >= 5 * ours_time[depth], "%2d bits: %.1fx faster than Pillow (>= 5x)"
                           % (depth, pillow / ours_time[depth]))
    verdicts.check(ours_time[16] <= 1.2 * ours_time[24],
                   "16 bits: %.2fx the 24-bit time (<= 1.2x)" % (ours_time[16] / ours_time[24]))

    print("Whole process, %d x %d, medians of hyperfine runs (seconds; ratios are"
          " bmpchecker / floor and peer / bmpchecker):" % (SIDE, SIDE))
    print()
    print("| Bits | bmpchecker | floor | ours/floor | stb | stb/ours | Pillow | Pillow/ours |")
    print("|---:|---:|---:|---:|---:|---:|---:|---:|")

    def seconds(value):
        return "-" if value is None else "%.3f" % value

    for depth, ours, floor, stb, pillow, peak_mib in rows:
        print("| %d | %s | %s | %s | %s | %s | %s | %s |" % (
            depth, seconds(ours), seconds(floor), fmt_ratio(ours / floor if floor else None),
            seconds(stb), fmt_ratio(stb / ours if stb else None),
            seconds(pillow), fmt_ratio(pillow / ours if pillow else None)))
    print()
    print("Peak memory (maximum resident set, MiB); the limit at %d x %d is 4 bytes per"
          " pixel + 8 MiB = %.0f MiB:" % (SIDE, SIDE, limit_mib))
    print()
    print("| Bits | bmpchecker | floor | stb | Pillow |")
    print("|---:|---:|---:|---:|---:|")
    for depth in DEPTHS:
        cells = []
        for name in ("bmpchecker", "floor", "stb", "pillow"):
            peak = peak_kib(directory, "%s-%d-%d" % (name, depth, SIDE))
            cells.append("-" if peak is None else "%.1f" % (peak / 1024))
        print("| %d | %s |" % (depth, " | ".join(cells)))

    scaling = {}
    for side in SCALING_SIDES:
        times = load_times(os.path.join(directory, "time-24-%d.json" % side))
        scaling[side] = times
    print()
    print("| 24 bits | bmpchecker | ns/pixel | floor | ns/pixel |")
    print("|---:|---:|---:|---:|---:|")
    per_pixel = {}
    for side in (SCALING_SIDES[0], SIDE, SCALING_SIDES[1]):
        times = scaling.get(side) or load_times(os.path.join(directory, "time-24-%d.json" % side))
        count = side * side
        per_pixel[side] = times["bmpchecker"] / count
        print("| %d x %d | %.4f | %.2f | %.4f | %.2f |" % (
            side, side, times["bmpchecker"], 1e9 * times["bmpchecker"] / count,
            times["floor"], 1e9 * times["floor"] / count))
    growth = per_pixel[SCALING_SIDES[1]] / per_pixel[SCALING_SIDES[0]]
    verdicts.check(growth <= 1.25, "24 bits: cost per pixel at 8192 is %.2fx that at 1024 (<= 1.25x)" % growth)

    rescale_path = os.path.join(directory, "rescale.json")
    pillow_path = os.path.join(directory, "rescale-pillow.txt")
    print()
    if os.path.exists(rescale_path):
        with open(rescale_path) as stream:
            report = json.load(stream)
        rate = None
        for entry in report["benchmarks"]:
            # The median of the repetitions when there are several.
            if entry["name"].startswith("BM_RescaleImage") and entry.get("aggregate_name", "median") == "median":
                rate = entry["items_per_second"]
        pillow_seconds = None
        if os.path.exists(pillow_path):
            with open(pillow_path) as stream:
                pillow_seconds = float(stream.read().split()[-1])
        outputs = 8192 * 8192
        print("| Rescale 4096 -> 8192, one core | seconds | million output pixels/s |")
        print("|---|---:|---:|")
        if rate:
            print("| RescaleImage (bilinear, exact doubles) | %.3f | %.0f |" % (outputs / rate, rate / 1e6))
            verdicts.check(rate >= 100e6, "RescaleImage: %.0f million output pixels/s (>= 100)" % (rate / 1e6))
        if pillow_seconds:
            print("| Pillow resize BILINEAR | %.3f | %.0f |" % (pillow_seconds, outputs / pillow_seconds / 1e6))
    else:
        print("RescaleImage: not measured (the library has no transform/Rescale.cpp yet)")

    print()
    print("Targets:")
    for line in verdicts.lines:
        print("  " + line)
    return 0


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    command = argv[1]
    if command == "generate":
        return generate(argv[2])
    if command == "same":
        return same(argv[2], argv[3], argv[4])
    if command == "resize-pillow":
        return resize_pillow(int(argv[2]), int(argv[3]))
    if command == "table":
        return table(argv[2])
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
