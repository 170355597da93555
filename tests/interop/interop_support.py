"""Shared pieces of the interoperability scripts: the bmpprobe helper, BMP
header fields, independent decoders and a failure tally.

The scripts run under Debian's /usr/bin/python3, which has Pillow and numpy
(python3-pil, python3-numpy). A script whose tools are missing exits with
SKIP, which ctest reports as skipped.
"""

import shutil
import struct
import subprocess
import sys

SKIP = 77

CONVERT = "/usr/bin/convert"  # ImageMagick; a bare "convert" may be something else


def require_imaging():
    try:
        import numpy  # noqa: F401
        import PIL  # noqa: F401
    except ImportError:
        print("skipped: needs Pillow and numpy (python3-pil, python3-numpy)")
        sys.exit(SKIP)


def have(program):
    return shutil.which(program) is not None


class Failures:
    """Collects failed checks so that one run reports all of them."""

    def __init__(self):
        self.passed = 0
        self.failed = []

    def check(self, ok, message):
        if ok:
            self.passed += 1
        else:
            self.failed.append(message)
            print("FAIL: " + message)
        return ok

    def finish(self):
        print("%d passed, %d failed" % (self.passed, len(self.failed)))
        sys.exit(1 if self.failed else 0)


def header(path):
    """The fields of the two headers that the checks look at."""
    with open(path, "rb") as f:
        data = f.read(54)
    off_bits = struct.unpack_from("<I", data, 10)[0]
    size, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    return {"offBits": off_bits, "biSize": size, "width": width, "height": height,
            "bits": bits, "compression": compression}


class Probe:
    """The library's reader and writer through tests/interop/BmpProbe.cpp."""

    def __init__(self, path):
        self.path = path

    def dump(self, bmp):
        """(width, height, depth, bgra HxWx4, palette Nx4 or None), or None
        when the reader refuses the file."""
        import numpy as np

        run = subprocess.run([self.path, "dump", bmp], capture_output=True)
        if run.returncode == 1 and run.stdout.startswith(b"refused"):
            return None
        if run.returncode != 0:
            raise RuntimeError("bmpprobe dump %s ended with %d: %s"
                               % (bmp, run.returncode, run.stderr.decode(errors="replace")))
        first, _, body = run.stdout.partition(b"\n")
        width, height, depth, _, _ = (int(v) for v in first.split())
        count = width * height * 4
        bgra = np.frombuffer(body[:count], np.uint8).reshape(height, width, 4)
        palette = None
        if depth <= 8:
            palette = np.frombuffer(body[count:], np.uint8).reshape(-1, 4)
        return width, height, depth, bgra, palette

    def write(self, depth, bgra, palette, out, work):
        """Saves the BGRA pixels (and palette) at `depth`; True on success."""
        height, width = bgra.shape[:2]
        pixels = work + "/pixels.raw"
        with open(pixels, "wb") as f:
            f.write(bgra.astype("uint8").tobytes())
        palette_file = "-"
        if palette is not None:
            palette_file = work + "/palette.raw"
            with open(palette_file, "wb") as f:
                f.write(palette.astype("uint8").tobytes())
        run = subprocess.run([self.path, "write", str(depth), str(width), str(height),
                              pixels, palette_file, out], capture_output=True)
        return run.returncode == 0


def rgb_of(bgra):
    return bgra[:, :, 2::-1]


def decode_pillow(path):
    import numpy as np
    from PIL import Image

    with Image.open(path) as image:
        return np.asarray(image.convert("RGB"))


def decode_imagemagick(path, width, height):
    import numpy as np

    run = subprocess.run([CONVERT, path, "-depth", "8", "rgb:-"], capture_output=True)
    if run.returncode != 0:
        raise RuntimeError("ImageMagick cannot read %s: %s" % (path, run.stderr.decode()))
    return np.frombuffer(run.stdout, np.uint8).reshape(height, width, 3)


def decode_netpbm(path):
    """netpbm's bmptopnm does the decoding; Pillow only unpacks its PNM output."""
    import io

    import numpy as np
    from PIL import Image

    run = subprocess.run(["bmptopnm", path], capture_output=True)
    if run.returncode != 0:
        raise RuntimeError("bmptopnm cannot read %s: %s" % (path, run.stderr.decode()))
    with Image.open(io.BytesIO(run.stdout)) as image:
        return np.asarray(image.convert("RGB"))
