#!/usr/bin/python3
"""Checks the built Windows module with an independent PE reader (pefile).

    scripts/check-pe.py ZIDUVIDEZUDIZADUV.dll [bmpchecker.exe]

Prints the export directory, the version resource and the imports as pefile
reads them, then one PASS or FAIL line per property. Exits 1 on any FAIL.
Hosts find the module by its export name and ordinal and installers read its
version strings, so each of them must be exactly as below, with nothing more.
"""

import re
import sys

import pefile

MODULE_NAME = b"ZIDUVIDEZUDIZADUV.dll"
EXPORT_NAME = b"BMPChecker"
EXPORT_ORDINAL = 1
LANGUAGE_BLOCK = "040904B0"
VERSION_STRINGS = {
    "CompanyName": "",
    "FileDescription": "ZiduvidEZUDizaduv DLL",
    "FileVersion": "1, 0, 0, 1",
    "InternalName": "ZiduvidEZUDizaduv",
    "LegalTrademarks": "",
    "OriginalFilename": "ZiduvidEZUDizaduv.DLL",
    "ProductName": "ZiduvidEZUDizaduv Dynamic Link Library",
    "ProductVersion": "1, 0, 0, 1",
}
TRANSLATION = "0x0409 0x04b0"  # US English, UTF-16
VERSION_MS = 0x00010000  # 1.0
VERSION_LS = 0x00000001  # 0.1
VFT_DLL = 2

# What every Windows installation has. Anything else (libstdc++, libgcc,
# winpthread) would have to ship beside the module.
SYSTEM_DLL = re.compile(
    r"^(kernel32|user32|advapi32|shell32|ntdll|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$",
    re.IGNORECASE)

failures = 0


def verdict(ok, what):
    global failures
    print(("PASS " if ok else "FAIL ") + what)
    if not ok:
        failures += 1


def text(value):
    return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)


def check_exports(pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        verdict(False, "export directory: none")
        return
    exports = pe.DIRECTORY_ENTRY_EXPORT
    header = exports.struct
    print("export directory:")
    print(f"  Name              {text(exports.name)!r}")
    print(f"  Base              {header.Base}")
    print(f"  NumberOfFunctions {header.NumberOfFunctions}")
    print(f"  NumberOfNames     {header.NumberOfNames}")
    for symbol in exports.symbols:
        forwarder = f" -> {text(symbol.forwarder)}" if symbol.forwarder else ""
        print(f"  ordinal {symbol.ordinal}  name {text(symbol.name)!r}  "
              f"RVA 0x{symbol.address:x}{forwarder}")
    verdict(exports.name == MODULE_NAME, f"export directory names the module {text(MODULE_NAME)}")
    only = exports.symbols[0] if len(exports.symbols) == 1 else None
    verdict(len(exports.symbols) == 1 and header.NumberOfFunctions == 1 and
            header.NumberOfNames == 1, "export directory holds exactly one entry")
    verdict(only is not None and only.name == EXPORT_NAME and only.forwarder is None,
            f"the entry is named {text(EXPORT_NAME)} (unmangled, not forwarded)")
    verdict(only is not None and only.ordinal == EXPORT_ORDINAL,
            f"the entry has ordinal {EXPORT_ORDINAL}")


def check_version(pe):
    if not hasattr(pe, "VS_FIXEDFILEINFO") or not hasattr(pe, "FileInfo"):
        verdict(False, "version resource: none")
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    print("version resource:")
    print(f"  FileVersion    MS 0x{fixed.FileVersionMS:08x} LS 0x{fixed.FileVersionLS:08x}")
    print(f"  ProductVersion MS 0x{fixed.ProductVersionMS:08x} "
          f"LS 0x{fixed.ProductVersionLS:08x}")
    print(f"  FileType       {fixed.FileType}")
    tables = {}
    translations = []
    # pefile gives a list per VS_VERSIONINFO; one resource means one list.
    for info in (entry for group in pe.FileInfo for entry in group):
        for table in getattr(info, "StringTable", []):
            language = text(table.LangID).upper()
            tables[language] = {text(k): text(v) for k, v in table.entries.items()}
            print(f"  StringTable {language}:")
            for key, value in table.entries.items():
                print(f"    {text(key)} = {text(value)!r}")
        for var in getattr(info, "Var", []):
            for key, value in var.entry.items():
                print(f"  VarFileInfo {text(key)} = {value}")
                if text(key) == "Translation":
                    translations.append(value)
    verdict(fixed.FileVersionMS == VERSION_MS and fixed.FileVersionLS == VERSION_LS,
            "numeric file version 1.0.0.1")
    verdict(fixed.ProductVersionMS == VERSION_MS and fixed.ProductVersionLS == VERSION_LS,
            "numeric product version 1.0.0.1")
    verdict(fixed.FileType == VFT_DLL, "file type is a DLL")
    verdict(list(tables) == [LANGUAGE_BLOCK], f"one string table, language block {LANGUAGE_BLOCK}")
    strings = tables.get(LANGUAGE_BLOCK, {})
    for key, wanted in VERSION_STRINGS.items():
        got = strings.get(key)
        verdict(got == wanted, f"{key} is {wanted!r}" + ("" if got == wanted else f" (got {got!r})"))
    extra = sorted(set(strings) - set(VERSION_STRINGS))
    verdict(not extra, "no other version strings" + (f" (found {extra})" if extra else ""))
    verdict(translations == [TRANSLATION], f"translation {TRANSLATION}")


def check_imports(pe, label):
    names = [text(entry.dll) for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    print(f"{label} imports: {', '.join(names) if names else '(none)'}")
    foreign = [name for name in names if not SYSTEM_DLL.match(name)]
    verdict(not foreign, f"{label} imports only system DLLs" +
            (f" (also {', '.join(foreign)})" if foreign else ""))


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    module = pefile.PE(argv[1])
    print(f"PE file {argv[1]} (pefile {pefile.__version__})")
    check_exports(module)
    check_version(module)
    check_imports(module, "module")
    if len(argv) == 3:
        check_imports(pefile.PE(argv[2]), "host")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
