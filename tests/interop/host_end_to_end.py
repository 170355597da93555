#!/usr/bin/python3
"""The host program bmpchecker end to end, as a person runs it.

  host_end_to_end.py BMPCHECKER MODULE

Needs nothing beyond Python: the inputs are built byte by byte here.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

from interop_support import Failures


def bmp24(width, height, colour):
    """A 24-bit file whose pixel (x, y) is colour(x, y) as (blue, green, red)."""
    row = (3 * width + 3) // 4 * 4
    rows = b""
    for y in range(height - 1, -1, -1):
        line = b"".join(bytes(colour(x, y)) for x in range(width))
        rows += line + b"\0" * (row - len(line))
    return (struct.pack("<2sIHHI", b"BM", 54 + len(rows), 0, 0, 54)
            + struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(rows), 3780, 3780,
                          0, 0)
            + rows)


def pixel24(data, x, y):
    """(blue, green, red) of pixel (x, y) of a 24-bit file without a gap."""
    width, height = struct.unpack_from("<ii", data, 18)
    row = (3 * width + 3) // 4 * 4
    at = 54 + (height - 1 - y) * row + 3 * x
    return tuple(data[at:at + 3])


def run(command):
    done = subprocess.run(command, capture_output=True, text=True, timeout=60)
    return done.returncode, done.stdout, done.stderr


def main():
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    host, module = sys.argv[1], sys.argv[2]
    failures = Failures()
    with tempfile.TemporaryDirectory(prefix="quarvel-host-") as work:
        source = os.path.join(work, "card.bmp")
        with open(source, "wb") as f:
            f.write(bmp24(45, 43, lambda x, y: (200, 100, (x * 5 + y) % 256)))

        # Painted: exit 0, one line on stdout, the output a painted BMP.
        output = os.path.join(work, "painted.bmp")
        status, out, err = run([host, source, output])
        failures.check(status == 0, "painting exits %d: %s" % (status, err))
        failures.check(out.count("\n") == 1 and "painted" in out, "painting says %r" % out)
        if failures.check(os.path.exists(output), "no output after painting"):
            with open(output, "rb") as f:
                data = f.read()
            failures.check(data[:2] == b"BM" and struct.unpack_from("<I", data, 2)[0] == len(data)
                           and struct.unpack_from("<iiHH", data, 18) == (45, 43, 1, 24),
                           "painted output header")
            failures.check(pixel24(data, 0, 0) == (0, 0, 0), "pixel (0, 0) is not painted")
            failures.check(pixel24(data, 30, 5) == (200, 100, 155), "pixel (30, 5) was painted")
            failures.check(pixel24(data, 44, 42) == (0, 0, (44 * 5 + 42) % 256),
                           "pixel (44, 42) is not painted")

        # Unreadable input: exit 1, the message, no output.
        not_bmp = os.path.join(work, "notes.txt")
        with open(not_bmp, "w") as f:
            f.write("not a picture\n")
        for name in (not_bmp, os.path.join(work, "absent.bmp")):
            target = os.path.join(work, "never.bmp")
            status, out, err = run([host, name, target])
            failures.check(status == 1, "unreadable %s exits %d" % (name, status))
            failures.check(err == "could not read %s as a BMP file this library supports\n"
                           % name, "unreadable input says %r" % err)
            failures.check(not os.path.exists(target), "output created for unreadable input")

        # Output that cannot be written: exit 2.
        status, _, err = run([host, source, os.path.join(work, "missing", "out.bmp")])
        failures.check(status == 2, "missing directory exits %d: %s" % (status, err))
        if os.path.exists("/dev/full"):
            status, _, err = run([host, source, "/dev/full"])
            failures.check(status == 2, "full disk exits %d: %s" % (status, err))

        # Non-ASCII paths reach the module intact.
        unusual = os.path.join(work, "\u00dcn\u00efc\u00f8d\u00e9 \u20ac \U0001F600.bmp")
        status, _, err = run([host, source, unusual])
        failures.check(status == 0 and os.path.exists(unusual),
                       "non-ASCII output exits %d: %s" % (status, err))

        # --help, --version.
        status, out, _ = run([host, "--help"])
        failures.check(status == 0 and "Usage" in out and "--module" in out,
                       "--help exits %d: %r" % (status, out))
        status, out, _ = run([host, "--version"])
        failures.check(status == 0 and out.split() == ["bmpchecker", "1.0.0.1"],
                       "--version exits %d: %r" % (status, out))
        status, _, err = run([host, source])
        failures.check(status not in (0, 1, 2), "one path exits %d: %s" % (status, err))

        # --module: a host away from its module finds it only when told.
        alone = os.path.join(work, "alone")
        os.mkdir(alone)
        lonely_host = os.path.join(alone, os.path.basename(host))
        shutil.copy2(host, lonely_host)
        renamed = os.path.join(work, "renamed-module.so")
        shutil.copy2(module, renamed)
        status, _, err = run([lonely_host, source, os.path.join(work, "a.bmp")])
        failures.check(status not in (0, 1, 2) and "module" in err,
                       "without a module exits %d: %s" % (status, err))
        status, _, err = run([lonely_host, "--module", renamed, source,
                              os.path.join(work, "b.bmp")])
        failures.check(status == 0 and os.path.exists(os.path.join(work, "b.bmp")),
                       "--module exits %d: %s" % (status, err))
        status, _, err = run([lonely_host, "--module", os.path.join(work, "nothing.so"), source,
                              os.path.join(work, "c.bmp")])
        failures.check(status not in (0, 1, 2) and not os.path.exists(os.path.join(work, "c.bmp")),
                       "--module to nothing exits %d: %s" % (status, err))
    failures.finish()


if __name__ == "__main__":
    sys.exit(main())
