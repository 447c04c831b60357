#!/usr/bin/env python3
"""Feeds the image check copies of the built DLLs, each broken in one way the
check exists to catch, and expects it to refuse each one with its reason.

  check_image_test.py --version X.Y.Z textrelay.dll textrelayui.dll \
      [--image KIND MACHINE DLL]...

The two positional DLLs are the i386 kernel-mode graphics DLL and the i386
interface DLL; each --image adds one more (usermode i386, usermode amd64,
interface amd64)."""

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


def run_check(version, kind, machine, path):
    out = io.StringIO()
    with contextlib.redirect_stdout(out), contextlib.redirect_stderr(out):
        try:
            status = check_image.main(["check_image.py", "--version", version,
                                       "--machine", machine, kind, path])
        except SystemExit as refused:  # a kind not built for that machine
            status = refused.code
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


def plain_data(pe):
    """The first section of data that no loader table is in (.rdata, or on
    ARM64, where the linker puts the import table there, .reloc)."""
    return next(s for s in pe.sections
                if not s.Characteristics & SCN["IMAGE_SCN_MEM_EXECUTE"]
                and not check_image.holds_loader_table(pe, s))


def clear_directory(pe, name):
    directory(pe, name).VirtualAddress = 0
    directory(pe, name).Size = 0


def set_relocation_type(pe, relocation_type):
    entry = pe.DIRECTORY_ENTRY_BASERELOC[0].entries[-1]
    entry.struct.Data = relocation_type << 12 | entry.struct.Data & 0xFFF


# The machine each image is most easily mistaken for.
OTHER_MACHINE = {"i386": 0x8664, "amd64": 0x014C, "arm64": 0x8664}
RELOCATION = {"i386": 3, "amd64": 10, "arm64": 10}


def machine_faults(machine, driver):
    """The faults whose reason depends on the image's machine and driver
    version. A driver marked with the other mode's version would be taken
    for the other kind of driver."""
    other = OTHER_MACHINE[machine]
    other_driver = 5 - driver
    return [
        (lambda pe: setattr(pe.FILE_HEADER, "Machine", other),
         f"machine is {other:#06x}, not {machine}"),
        (lambda pe: set_relocation_type(pe, RELOCATION["amd64" if machine == "i386" else "i386"]),
         f"{machine} takes {'HIGHLOW' if machine == 'i386' else 'DIR64'}"),
        (lambda pe: setattr(pe.VS_FIXEDFILEINFO[0], "FileVersionMS", other_driver),
         f"file version is 0.{other_driver}.256.0, not 0.{driver}.256.0"),
    ] + ([(lambda pe: clear_directory(pe, "IMAGE_DIRECTORY_ENTRY_EXCEPTION"),
           f"no exception data: {machine} unwinds")] if machine != "i386" else [])


# Faults every image is checked for: (fault, reason the check must give).
COMMON_FAULTS = [
    (lambda pe: setattr(pe.FILE_HEADER, "Characteristics", pe.FILE_HEADER.Characteristics
                        & ~pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]),
     "does not mark the image as a DLL"),
    (lambda pe: setattr(section(pe, b".text"), "Characteristics",
                        section(pe, b".text").Characteristics | SCN["IMAGE_SCN_MEM_WRITE"]),
     "section .text is both writable and executable"),
    (lambda pe: setattr(plain_data(pe), "Characteristics",
                        plain_data(pe).Characteristics | SCN["IMAGE_SCN_MEM_WRITE"]),
     "is writable: module-wide state"),
    (lambda pe: clear_directory(pe, "IMAGE_DIRECTORY_ENTRY_BASERELOC"), "no base relocations"),
    (lambda pe: setattr(directory(pe, "IMAGE_DIRECTORY_ENTRY_TLS"), "VirtualAddress", 0x1000),
     "has thread-local storage"),
    (lambda pe: clear_directory(pe, "IMAGE_DIRECTORY_ENTRY_RESOURCE"), "no version resource"),
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

NOT_RELOCATABLE = (
    lambda pe: setattr(pe.OPTIONAL_HEADER, "DllCharacteristics",
                       pe.OPTIONAL_HEADER.DllCharacteristics & ~pefile.DLL_CHARACTERISTICS[
                           "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]),
    "not marked relocatable")

# Faults of both user-mode DLLs.
USER_MODE_FAULTS = [
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "Subsystem", 1), "subsystem is 1, not Windows GUI"),
    (lambda pe: pe.set_bytes_at_rva(import_of(pe, b"kernel32.dll").struct.Name,
                                    b"msvcrt.dll\0\0\0"),
     "imports the C runtime: msvcrt.dll"),
]

GRAPHICS_FAULTS = [
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "Subsystem", 2), "subsystem is 2, not native"),
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "AddressOfEntryPoint",
                        pe.OPTIONAL_HEADER.AddressOfEntryPoint + 1), "entry point is RVA"),
    NOT_RELOCATABLE,
    (lambda pe: pe.set_bytes_at_rva(import_of(pe, b"win32k.sys").struct.Name, b"hal.dll\0\0\0"),
     "imports from hal.dll"),
    (lambda pe: rename_import(pe, b"win32k.sys", b"EngDebugPrint", b"EngDebugPrinX"),
     "must not use: EngDebugPrinX"),
]

INTERFACE_FAULTS = USER_MODE_FAULTS + [
    (lambda pe: setattr(pe.OPTIONAL_HEADER, "AddressOfEntryPoint",
                        section(pe, b".rdata").VirtualAddress),
     "is not in an executable section"),
    (lambda pe: replace_bytes(pe, b"DrvPrinterEvent\0", b"DrvPrinterEvenX\0"),
     "does not export DrvPrinterEvent"),
    (lambda pe: replace_bytes(pe, b"DevQueryPrintEx\0", b"DevQueryPrintEy\0"),
     "exports what it must not: DevQueryPrintEy"),
    (lambda pe: pe.set_bytes_at_rva(import_of(pe, b"kernel32.dll").struct.Name,
                                    b"GDI32.dll\0\0\0"),
     "imports from GDI32.dll"),
    (lambda pe: rename_import(pe, b"kernel32.dll", b"HeapFree", b"HeapFreX"),
     "must not use: HeapFreX"),
]


USERMODE_FAULTS = USER_MODE_FAULTS + [
    NOT_RELOCATABLE,
    # Without it the spooler takes the DLL for a kernel-mode driver.
    (lambda pe: replace_bytes(pe, b"DrvQueryDriverInfo\0", b"DrvQueryDriverInfX\0"),
     "does not export DrvQueryDriverInfo"),
    (lambda pe: pe.set_bytes_at_rva(import_of(pe, b"winspool.drv").struct.Name,
                                    b"win32k.sys\0\0"),
     "imports from win32k.sys"),
    (lambda pe: rename_import(pe, b"gdi32.dll", b"EngCreateBitmap", b"EngCreateBitmaX"),
     "must not use: EngCreateBitmaX"),
    (lambda pe: rename_import(pe, b"winspool.drv", b"WritePrinter", b"WritePrinteX"),
     "does not import from winspool.drv: WritePrinter"),
]

FAULTS = {"graphics": GRAPHICS_FAULTS, "usermode": USERMODE_FAULTS, "interface": INTERFACE_FAULTS}


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


def image_faults(kind, machine):
    driver = check_image.KINDS[kind].driver_versions[machine]
    return machine_faults(machine, driver) + COMMON_FAULTS + FAULTS[kind]


def check_faults(version, kind, machine, dll, directory):
    failures = []
    status, output = run_check(version, kind, machine, dll)
    if status != 0:
        failures.append(f"{kind} {machine}: the built image itself is refused:\n{output}")
    for number, (fault, reason) in enumerate(image_faults(kind, machine)):
        # The copy keeps the DLL's name, which its version resource gives.
        os.makedirs(os.path.join(directory, f"{kind}-{machine}-{number}"))
        path = os.path.join(directory, f"{kind}-{machine}-{number}", os.path.basename(dll))
        status, output = run_check(version, kind, machine, broken_copy(dll, path, fault))
        if status != 1 or reason not in output:
            failures.append(f"{kind} {machine} fault {number}: status {status}, wanted 1 and "
                            f"'{reason}'; the check said:\n{output}")
    return failures


def misplaced(version, images):
    """Each image is refused wherever another kind or machine belongs."""
    failures = []
    for kind, machine, dll in images:
        for other_kind, other in check_image.KINDS.items():
            for other_machine in other.machines:
                if (other_kind, other_machine) == (kind, machine):
                    continue
                status, output = run_check(version, other_kind, other_machine, dll)
                if status == 0:
                    failures.append(f"{os.path.basename(dll)} ({kind}, {machine}) passed as "
                                    f"the {other_kind} DLL for {other_machine}:\n{output}")
    return failures


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("--version", required=True)
    parser.add_argument("graphics_dll")
    parser.add_argument("interface_dll")
    parser.add_argument("--image", nargs=3, action="append", default=[],
                        metavar=("KIND", "MACHINE", "DLL"))
    args = parser.parse_args(argv[1:])
    images = [("graphics", "i386", args.graphics_dll),
              ("interface", "i386", args.interface_dll)] + [tuple(i) for i in args.image]
    with tempfile.TemporaryDirectory() as directory:
        failures = [failure for kind, machine, dll in images
                    for failure in check_faults(args.version, kind, machine, dll, directory)]
    failures += misplaced(args.version, images)
    for failure in failures:
        print("FAIL:", failure)
    count = sum(len(image_faults(kind, machine)) for kind, machine, _ in images)
    count += sum(len(k.machines) for k in check_image.KINDS.values()) * len(images) - len(images)
    print(f"ok: the image check refuses all {count} broken or misplaced images" if not failures
          else f"{len(failures)} broken images were not refused as they should be")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
