#!/usr/bin/env python3
"""Feeds the image check copies of the built DLLs, each broken in one way the
check exists to catch, and expects it to refuse each one with its reason.

  check_image_test.py --version X.Y.Z textrelay.dll textrelayui.dll"""

import argparse
import contextlib
import io
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_image  # noqa: E402
import pefile  # noqa: E402

SCN = pefile.SECTION_CHARACTERISTICS


def run_check(version, kind, path):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = check_image.main(["check_image.py", "--version", version, kind, path])
    return status, out.getvalue()


def section(pe, name):
    return next(s for s in pe.sections if s.Name.rstrip(b"\0") == name)


def import_of(pe, module):
    return next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == module)


def rename_import(pe, module, function, new_name):
    name = next(i for i in import_of(pe, module).imports if i.name == function)
    pe.set_bytes_at_offset(name.name_offset, new_name)


def replace_bytes(pe, old, new):
    """Replaces the first occurrence of old once the image is written: pefile
    writes some structures back over edits made to its data."""
    assert len(old) == len(new), old
    pe.byte_patches.append((old, new))


def directory(pe, name):
    return pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY[name]]


def clear_directory(pe, name):
    directory(pe, name).VirtualAddress = 0
    directory(pe, name).Size = 0


# Faults every image is checked for: (fault, reason the check must give).
COMMON_FAULTS = [
    (lambda pe: setattr(pe.FILE_HEADER, "Machine", 0x8664), "machine is 0x8664, not i386"),
    (lambda pe: setattr(pe.FILE_HEADER, "Characteristics", pe.FILE_HEADER.Characteristics
                        & ~pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]),
     "does not mark the image as a DLL"),
    (lambda pe: setattr(section(pe, b".text"), "Characteristics",
                        section(pe, b".text").Characteristics | SCN["IMAGE_SCN_MEM_WRITE"]),
     "section .text is both writable and executable"),
    (lambda pe: clear_directory(pe, "IMAGE_DIRECTORY_ENTRY_BASERELOC"), "no base relocations"),
    (lambda pe: setattr(directory(pe, "IMAGE_DIRECTORY_ENTRY_TLS"), "VirtualAddress", 0x1000),
     "has thread-local storage"),
    (lambda pe: clear_directory(pe, "IMAGE_DIRECTORY_ENTRY_RESOURCE"), "no version resource"),
    # A driver marked version 3 would be taken for a user-mode driver.
    (lambda pe: setattr(pe.VS_FIXEDFILEINFO[0], "FileVersionMS", 0x00000003),
     "file version is 0.3.256.0, not 0.2.256.0"),
    (lambda pe: setattr(pe.VS_FIXEDFILEINFO[0], "ProductVersionLS", 0x00010000),
     "product version is 1.0.1.0, not 1.0.0.0"),
    (lambda pe: setattr(pe.VS_FIXEDFILEINFO[0], "FileType", 0x2), "FileType is 0x2, not VFT_DRV"),
    (lambda pe: setattr(pe.VS_FIXEDFILEINFO[0], "FileSubtype", 0x1),
     "FileSubtype is 0x1, not VFT2_DRV_VERSIONED_PRINTER"),
    (lambda pe: setattr(pe.VS_FIXEDFILEINFO[0], "FileOS", 0x4), "FileOS is 0x4"),
    (lambda pe: replace_bytes(pe, "Apache".encode("utf-16-le"), "Apachy".encode("utf-16-le")),
     "LegalCopyright does not name the Apache License"),
    (lambda pe: replace_bytes(pe, "CompanyName".encode("utf-16-le"),
                              "CompanyNamx".encode("utf-16-le")),
     "CompanyName is missing"),
    (lambda pe: replace_bytes(pe, ".dll\0".encode("utf-16-le"), ".drv\0".encode("utf-16-le")),
     "OriginalFilename is"),
]

GRAPHICS_FAULTS = [
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "Subsystem", 2), "subsystem is 2, not native"),
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "AddressOfEntryPoint",
                        pe.OPTIONAL_HEADER.AddressOfEntryPoint + 1), "entry point is RVA"),
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "DllCharacteristics",
                        pe.OPTIONAL_HEADER.DllCharacteristics & ~pefile.DLL_CHARACTERISTICS[
                            "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]),
     "not marked relocatable"),
    (lambda pe: pe.set_bytes_at_rva(import_of(pe, b"win32k.sys").struct.Name, b"hal.dll\0\0\0"),
     "imports from hal.dll"),
    (lambda pe: rename_import(pe, b"win32k.sys", b"EngDebugPrint", b"EngDebugPrinX"),
     "must not use: EngDebugPrinX"),
]

INTERFACE_FAULTS = [
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "Subsystem", 1), "subsystem is 1, not Windows GUI"),
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "AddressOfEntryPoint",
                        section(pe, b".rdata").VirtualAddress),
     "is not in an executable section"),
    (lambda pe: replace_bytes(pe, b"DrvPrinterEvent\0", b"DrvPrinterEvenX\0"),
     "does not export DrvPrinterEvent"),
    (lambda pe: replace_bytes(pe, b"DevQueryPrintEx\0", b"DevQueryPrintEy\0"),
     "exports what it must not: DevQueryPrintEy"),
    (lambda pe: pe.set_bytes_at_rva(import_of(pe, b"kernel32.dll").struct.Name,
                                    b"msvcrt.dll\0\0\0"),
     "imports the C runtime: msvcrt.dll"),
    (lambda pe: pe.set_bytes_at_rva(import_of(pe, b"user32.dll").struct.Name, b"GDI32.dll\0\0"),
     "imports from GDI32.dll"),
    (lambda pe: rename_import(pe, b"kernel32.dll", b"HeapFree", b"HeapFreX"),
     "must not use: HeapFreX"),
]


def broken_copy(dll, path, fault):
    pe = pefile.PE(dll)
    pe.byte_patches = []
    fault(pe)
    data = bytearray(pe.write())
    pe.close()
    for old, new in pe.byte_patches:
        at = data.find(old)
        assert at != -1, old
        data[at:at + len(old)] = new
    with open(path, "wb") as image:
        image.write(data)
    return path


def check_faults(version, kind, dll, faults, directory):
    failures = []
    status, output = run_check(version, kind, dll)
    if status != 0:
        failures.append(f"{kind}: the built image itself is refused:\n{output}")
    for number, (fault, reason) in enumerate(faults):
        # The copy keeps the DLL's name, which its version resource gives.
        os.makedirs(os.path.join(directory, f"{kind}-{number}"))
        path = os.path.join(directory, f"{kind}-{number}", os.path.basename(dll))
        status, output = run_check(version, kind, broken_copy(dll, path, fault))
        if status != 1 or reason not in output:
            failures.append(f"{kind} fault {number}: status {status}, wanted 1 and "
                            f"'{reason}'; the check said:\n{output}")
    return failures


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("--version", required=True)
    parser.add_argument("graphics_dll")
    parser.add_argument("interface_dll")
    args = parser.parse_args(argv[1:])
    with tempfile.TemporaryDirectory() as directory:
        failures = (check_faults(args.version, "graphics", args.graphics_dll,
                                 COMMON_FAULTS + GRAPHICS_FAULTS, directory)
                    + check_faults(args.version, "interface", args.interface_dll,
                                   COMMON_FAULTS + INTERFACE_FAULTS, directory))
        # Each DLL is refused where the other belongs.
        for kind, dll in (("interface", args.graphics_dll), ("graphics", args.interface_dll)):
            status, output = run_check(args.version, kind, dll)
            if status != 1:
                failures.append(f"{os.path.basename(dll)} passed as the {kind} DLL:\n{output}")
    for failure in failures:
        print("FAIL:", failure)
    count = 2 * len(COMMON_FAULTS) + len(GRAPHICS_FAULTS) + len(INTERFACE_FAULTS) + 2
    print(f"ok: the image check refuses all {count} broken images" if not failures
          else f"{len(failures)} broken images were not refused as they should be")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
