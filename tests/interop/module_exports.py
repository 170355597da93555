#!/usr/bin/python3
"""The built module exports exactly one symbol, BMPChecker, and its file name
and SONAME carry the module name.

  module_exports.py MODULE
"""

import os
import shutil
import subprocess
import sys

from interop_support import SKIP, Failures

MODULE_NAME = "ZIDUVIDEZUDIZADUV"


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    module = sys.argv[1]
    if not shutil.which("nm") or not shutil.which("readelf"):
        print("skipped: needs nm and readelf (binutils)")
        return SKIP
    failures = Failures()
    failures.check(MODULE_NAME in os.path.basename(module), "file name " + module)

    defined = subprocess.run(["nm", "-D", "--defined-only", module], capture_output=True,
                             text=True, check=True).stdout.split("\n")
    symbols = [line.split()[-1] for line in defined if line.strip()]
    failures.check(symbols == ["BMPChecker"], "exported symbols: %s" % symbols)
    # A function in the text section, with an unmangled (C) name.
    failures.check(any(line.split()[-2:] == ["T", "BMPChecker"] for line in defined if line),
                   "BMPChecker is not a defined function: %s" % defined)

    dynamic = subprocess.run(["readelf", "-d", module], capture_output=True, text=True,
                             check=True).stdout
    sonames = [line for line in dynamic.split("\n") if "(SONAME)" in line]
    failures.check(len(sonames) == 1 and "[%s" % MODULE_NAME in sonames[0],
                   "SONAME: %s" % sonames)
    failures.finish()


if __name__ == "__main__":
    sys.exit(main())
