#!/usr/bin/env python3
"""Checks a built driver image against what the platform requires of it and
against what it may reach.

  check_image.py --version X.Y.Z [--machine i386|amd64|arm64] KIND IMAGE

graphics: the 32-bit kernel-mode graphics DLL that the engine loads: native
subsystem, entered at its exported DrvEnableDriver, importing exactly the
engine services the driver uses from win32k.sys.
usermode: the user-mode graphics DLL, for i386, amd64 or arm64: a Windows GUI DLL
exporting DrvEnableDriver and DrvQueryDriverInfo, importing the engine
services GDI offers from GDI32.dll and memory, the trace and the spooler
write from KERNEL32.dll and WINSPOOL.DRV, exactly those it calls.
interface: the printer interface DLL that the spooler and applications load
in user mode, for i386, amd64 or arm64: a Windows GUI DLL exporting exactly the
printer interface functions and importing only the few system functions it
calls, no C runtime.
All: the machine asked for (i386 unless --machine says otherwise), a DLL,
base relocations of that machine's kind, exception data on amd64 and arm64, no section both writable and
executable, no writable section but the import table's and the resources'
(the driver keeps no module-wide state: several threads create devices at
once), no
thread-local storage, and the version resource the spooler
reads (the driver's version in the file version, the release in the product
version, the license named).

Exit status: 0 when every check holds, 1 when one fails."""

import argparse
import os
import sys
from dataclasses import dataclass, replace

try:
    import pefile
except ImportError:
    print("FAIL: this python3 cannot import pefile; install Debian's python3-pefile")
    sys.exit(1)

ENGINE_SERVICES = frozenset({
    "EngAllocMem", "EngFreeMem", "EngWritePrinter", "EngCreateBitmap",
    "EngAssociateSurface", "EngDeleteSurface", "EngCreatePalette",
    "EngDeletePalette", "EngUnicodeToMultiByteN", "STROBJ_vEnumStart",
    "STROBJ_bEnum", "EngDebugPrint",
})
GDI_SERVICES = frozenset({
    "EngCreateBitmap", "EngAssociateSurface", "EngDeleteSurface", "EngCreatePalette",
    "EngDeletePalette", "EngUnicodeToMultiByteN", "STROBJ_vEnumStart", "STROBJ_bEnum",
})
# What a user-mode DLL takes from the platform's user-mode services instead of
# the engine's: EngAllocMem and EngFreeMem from the process heap,
# EngDebugPrint from the debugger's output, EngWritePrinter from the spooler;
# SetLastError for DrvQueryDriverInfo's failures.
USER_MODE_SERVICES = {
    "gdi32.dll": GDI_SERVICES,
    "kernel32.dll": frozenset({"GetProcessHeap", "HeapAlloc", "HeapFree",
                               "OutputDebugStringA", "SetLastError"}),
    "winspool.drv": frozenset({"WritePrinter"}),
}
INTERFACE_FUNCTIONS = frozenset({
    "DrvDocumentPropertySheets", "DrvDevicePropertySheets", "DrvConvertDevMode",
    "DrvDeviceCapabilities", "DevQueryPrintEx", "DrvPrinterEvent",
})
# Lower-case module names, as the loader compares them.
INTERFACE_IMPORTS = {
    "kernel32.dll": frozenset({"GetProcessHeap", "HeapAlloc", "HeapFree",
                               "OutputDebugStringA", "SetLastError"}),
    # The print queue's default records.
    "winspool.drv": frozenset({"GetPrinterW"}),
}
C_RUNTIME_PREFIXES = ("msvcr", "msvcp", "ucrt", "api-ms-win-crt", "vcruntime",
                      "libgcc", "libstdc++", "libwinpthread")

# The version resource of a printer driver file.
VOS_NT_WINDOWS32 = 0x00040004
VFT_DRV = 0x00000003
VFT2_DRV_VERSIONED_PRINTER = 0x0000000C
KERNEL_MODE_DRIVER_VERSION = 2
USER_MODE_DRIVER_VERSION = 3
LICENSE_NAME = "Apache License, Version 2.0"
VERSION_STRINGS = ("CompanyName", "FileDescription", "FileVersion", "InternalName",
                   "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion")


@dataclass(frozen=True)
class Machine:
    name: str
    number: int
    relocation: int
    relocation_name: str
    # The platform unwinds through every non-leaf function of a 64-bit image
    # by the image's exception data (.pdata): without it an exception or a
    # debugger's stack walk through the driver goes astray.
    unwinds: bool = False


MACHINES = {
    "i386": Machine("i386", pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
                    pefile.RELOCATION_TYPE["IMAGE_REL_BASED_HIGHLOW"], "HIGHLOW"),
    "amd64": Machine("amd64", pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
                     pefile.RELOCATION_TYPE["IMAGE_REL_BASED_DIR64"], "DIR64", True),
    # ARM64 code reaches its own addresses PC-relative: only the pointers
    # in its data are relocated, 64 bits wide as on x64.
    "arm64": Machine("arm64", pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_ARM64"],
                     pefile.RELOCATION_TYPE["IMAGE_REL_BASED_DIR64"], "DIR64", True),
}
USER_MODE_MACHINES = ("i386", "amd64", "arm64")


@dataclass(frozen=True)
class Kind:
    subsystem: int
    subsystem_name: str
    exports: frozenset
    imports: dict
    entry_export: str | None
    dynamic_base: bool
    machines: tuple
    # The driver version each machine's file carries (see driver_version).
    driver_versions: dict
    machine: Machine = MACHINES["i386"]


GUI = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
KINDS = {
    "graphics": Kind(pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_NATIVE"], "native",
                     frozenset({"DrvEnableDriver"}), {"win32k.sys": ENGINE_SERVICES},
                     "DrvEnableDriver", True, ("i386",),
                     {"i386": KERNEL_MODE_DRIVER_VERSION}),
    "usermode": Kind(GUI, "Windows GUI", frozenset({"DrvEnableDriver", "DrvQueryDriverInfo"}),
                     USER_MODE_SERVICES, None, True, USER_MODE_MACHINES,
                     dict.fromkeys(USER_MODE_MACHINES, USER_MODE_DRIVER_VERSION)),
    # Every interface DLL is a user-mode image, and every system that reads
    # the version (XP and later) installs the x86 one with the user-mode
    # driver: 3 on every machine.
    "interface": Kind(GUI, "Windows GUI", INTERFACE_FUNCTIONS, INTERFACE_IMPORTS, None, False,
                      USER_MODE_MACHINES,
                      dict.fromkeys(USER_MODE_MACHINES, USER_MODE_DRIVER_VERSION)),
}


def driver_version(kind):
    return kind.driver_versions[kind.machine.name]


def check_machine(pe, kind):
    machine = pe.FILE_HEADER.Machine
    if machine != kind.machine.number:
        return [f"machine is {machine:#06x}, not {kind.machine.name} ({kind.machine.number:#06x})"]
    return []


def check_dll(pe, kind):
    if not pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]:
        return ["the file header does not mark the image as a DLL"]
    return []


def check_subsystem(pe, kind):
    subsystem = pe.OPTIONAL_HEADER.Subsystem
    if subsystem != kind.subsystem:
        return [f"subsystem is {subsystem}, not {kind.subsystem_name} ({kind.subsystem})"]
    return []


def exported(pe):
    """{name: RVA}; an export by ordinal alone appears as '#ordinal'."""
    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    symbols = exports.symbols if exports else []
    return {s.name.decode() if s.name else f"#{s.ordinal}": s.address for s in symbols}


def check_exports(pe, kind):
    names = set(exported(pe))
    failures = []
    if kind.exports - names:
        failures.append(f"does not export {', '.join(sorted(kind.exports - names))}")
    if names - kind.exports:
        failures.append(f"exports what it must not: {', '.join(sorted(names - kind.exports))}")
    return failures


def section_of(pe, rva):
    return next((s for s in pe.sections if s.contains_rva(rva)), None)


def check_entry(pe, kind):
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    if kind.entry_export is None:
        # An interface DLL may have no entry point at all.
        section = section_of(pe, entry) if entry else None
        if entry and not (section and section.Characteristics
                          & pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]):
            return [f"entry point RVA {entry:#x} is not in an executable section"]
        return []
    named = exported(pe).get(kind.entry_export)
    if named is None:
        return [f"no export named {kind.entry_export} to compare the entry point with"]
    if entry != named:
        return [f"entry point is RVA {entry:#x}, but {kind.entry_export} is at RVA {named:#x}"]
    return []


def imported(pe):
    """(module, names) for each import descriptor; an import by ordinal
    appears as '#ordinal'."""
    result = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        names = [i.name.decode() if i.name else f"#{i.ordinal}" for i in entry.imports]
        result.append((entry.dll.decode(), names))
    return result


def check_imports(pe, kind):
    failures = []
    found = {module: set() for module in kind.imports}
    for module, names in imported(pe):
        key = module.lower()
        if key.startswith(C_RUNTIME_PREFIXES):
            failures.append(f"imports the C runtime: {module} ({', '.join(names)})")
        elif key not in kind.imports:
            failures.append(f"imports from {module} ({', '.join(names)}); only "
                            f"{', '.join(sorted(kind.imports))} are allowed")
        else:
            found[key].update(names)
    for module, wanted in sorted(kind.imports.items()):
        if found[module] - wanted:
            failures.append(f"imports from {module} what it must not use: "
                            f"{', '.join(sorted(found[module] - wanted))}")
        if wanted - found[module]:
            failures.append(f"does not import from {module}: "
                            f"{', '.join(sorted(wanted - found[module]))}")
    return failures


def check_relocations(pe, kind):
    failures = []
    if pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS[
            "IMAGE_FILE_RELOCS_STRIPPED"]:
        failures.append("the file header says its base relocations were stripped")
    blocks = getattr(pe, "DIRECTORY_ENTRY_BASERELOC", None)
    if not blocks:
        failures.append("no base relocations: the image could not be loaded "
                        "anywhere but its preferred base")
    # ABSOLUTE entries only pad a block.
    kinds = {entry.type for block in blocks or [] for entry in block.entries} - {
        pefile.RELOCATION_TYPE["IMAGE_REL_BASED_ABSOLUTE"]}
    if kinds - {kind.machine.relocation}:
        failures.append(f"base relocations of types {sorted(kinds - {kind.machine.relocation})}; "
                        f"{kind.machine.name} takes {kind.machine.relocation_name} "
                        f"({kind.machine.relocation}) only")
    if kind.dynamic_base and not pe.OPTIONAL_HEADER.DllCharacteristics & \
            pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]:
        failures.append("the image is not marked relocatable (DYNAMIC_BASE)")
    return failures


# Tables of the loader's that the linker may leave writable: the import
# table, which the loader binds, and the resources.
LOADER_TABLES = ("IMAGE_DIRECTORY_ENTRY_IMPORT", "IMAGE_DIRECTORY_ENTRY_RESOURCE")


def holds_loader_table(pe, section):
    for name in LOADER_TABLES:
        table = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY[name]]
        if table.Size != 0 and section.contains_rva(table.VirtualAddress):
            return True
    return False


def check_sections(pe, kind):
    write = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
    execute = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]
    failures = []
    for section in pe.sections:
        flags = section.Characteristics
        name = section.Name.rstrip(b"\0").decode(errors="replace")
        if flags & write and flags & execute:
            failures.append(f"section {name} is both writable and executable")
        elif flags & write and not holds_loader_table(pe, section):
            # Anything the driver itself may write is state that every
            # thread of the process shares.
            failures.append(f"section {name} is writable: module-wide state that "
                            "several threads would share")
    return failures


def check_exception_data(pe, kind):
    table = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXCEPTION"]]
    if kind.machine.unwinds and not table.Size:
        return [f"no exception data: {kind.machine.name} unwinds through every function by it"]
    return []


def check_thread_storage(pe, kind):
    tls = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_TLS"]]
    if tls.VirtualAddress or tls.Size:
        return ["has thread-local storage, which only a C runtime's start-up code sets up"]
    return []


def words(ms, ls):
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def dotted(version_words):
    return ".".join(str(w) for w in version_words)


def expected_versions(version, driver):
    major, minor, patch = (list(map(int, version.split("."))) + [0, 0])[:3]
    return ((0, driver, major << 8 | minor, patch), (major, minor, patch, 0))


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                for key, value in table.entries.items():
                    strings[key.decode(errors="replace")] = value.decode(errors="replace")
    return strings


def check_fixed_version(fixed, file_words, product_words):
    failures = []
    found = words(fixed.FileVersionMS, fixed.FileVersionLS)
    if found != file_words:
        mode = "kernel mode" if file_words[1] == KERNEL_MODE_DRIVER_VERSION else "user mode"
        failures.append(f"file version is {dotted(found)}, not {dotted(file_words)} "
                        f"(0, driver version {file_words[1]}: {mode}, feature set, fix)")
    found = words(fixed.ProductVersionMS, fixed.ProductVersionLS)
    if found != product_words:
        failures.append(f"product version is {dotted(found)}, not {dotted(product_words)}")
    for field, wanted, name in (("FileOS", VOS_NT_WINDOWS32, "VOS_NT_WINDOWS32"),
                                ("FileType", VFT_DRV, "VFT_DRV"),
                                ("FileSubtype", VFT2_DRV_VERSIONED_PRINTER,
                                 "VFT2_DRV_VERSIONED_PRINTER")):
        if getattr(fixed, field) != wanted:
            failures.append(f"{field} is {getattr(fixed, field):#x}, not {name} ({wanted:#x})")
    return failures


def check_version_strings(strings, path, file_words, product_words):
    failures = [f"version string {key} is missing or empty"
                for key in VERSION_STRINGS if not strings.get(key)]
    wanted = {"FileVersion": dotted(file_words),
              "ProductVersion": dotted(product_words[:3]),
              "OriginalFilename": os.path.basename(path)}
    for key, value in wanted.items():
        if strings.get(key) and strings[key].lower() != value.lower():
            failures.append(f"version string {key} is '{strings[key]}', not '{value}'")
    if strings.get("LegalCopyright") and LICENSE_NAME not in strings["LegalCopyright"]:
        failures.append(f"version string LegalCopyright does not name the {LICENSE_NAME}")
    return failures


def check_version(pe, path, version, kind):
    fixed = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not fixed:
        return ["no version resource"]
    file_words, product_words = expected_versions(version, driver_version(kind))
    return (check_fixed_version(fixed[0], file_words, product_words)
            + check_version_strings(version_strings(pe), path, file_words, product_words))


CHECKS = [
    ("machine", check_machine),
    ("DLL", check_dll),
    ("subsystem", check_subsystem),
    ("exports", check_exports),
    ("entry point", check_entry),
    ("imports", check_imports),
    ("base relocations", check_relocations),
    ("sections", check_sections),
    ("exception data", check_exception_data),
    ("thread-local storage", check_thread_storage),
]


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("--version", required=True, help="the project's version, X.Y.Z")
    parser.add_argument("--machine", choices=sorted(MACHINES), default="i386")
    parser.add_argument("kind", choices=sorted(KINDS))
    parser.add_argument("image")
    args = parser.parse_args(argv[1:])
    if args.machine not in KINDS[args.kind].machines:
        parser.error(f"a {args.kind} DLL is built for {', '.join(KINDS[args.kind].machines)} only")
    try:
        pe = pefile.PE(args.image)
    except (OSError, pefile.PEFormatError) as error:
        print(f"FAIL: cannot read {args.image} as a PE image: {error}")
        return 1
    kind = replace(KINDS[args.kind], machine=MACHINES[args.machine])
    results = [(name, check(pe, kind)) for name, check in CHECKS]
    results.append(("version resource", check_version(pe, args.image, args.version, kind)))
    for name, failures in results:
        print(f"ok: {name}" if not failures else "\n".join(f"FAIL: {f}" for f in failures))
    return 1 if any(failures for _, failures in results) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
