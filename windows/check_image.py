#!/usr/bin/env python3
"""Checks the built driver image: what the engine's loader requires of a
32-bit kernel-mode graphics DLL, and that it reaches nothing of the system
but the engine services the driver uses.

Exit status: 0 when every check holds, 1 when one fails, and 77 when the
only fault is services not imported yet while the image still carries
stand-ins for driver functions that are not built (the test is then
reported as skipped, naming them)."""

import sys

try:
    import pefile
except ImportError:
    print("FAIL: this python3 cannot import pefile; install Debian's python3-pefile")
    sys.exit(1)

ENGINE_MODULE = "win32k.sys"
ENGINE_SERVICES = frozenset({
    "EngAllocMem", "EngFreeMem", "EngWritePrinter", "EngCreateBitmap",
    "EngAssociateSurface", "EngDeleteSurface", "EngCreatePalette",
    "EngDeletePalette", "EngUnicodeToMultiByteN", "STROBJ_vEnumStart",
    "STROBJ_bEnum", "EngDebugPrint",
})
ENTRY_NAME = "DrvEnableDriver"
# The trace line of every stand-in driver function ends so.
STAND_IN_MARK = b": not built yet!"
SKIP = 77


def check_machine(pe):
    machine = pe.FILE_HEADER.Machine
    if machine != pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"]:
        return [f"machine is {machine:#06x}, not i386 (0x014c)"]
    return []


def check_subsystem(pe):
    subsystem = pe.OPTIONAL_HEADER.Subsystem
    if subsystem != pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_NATIVE"]:
        return [f"subsystem is {subsystem}, not native (1)"]
    return []


def check_entry(pe):
    entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    symbols = exports.symbols if exports else []
    named = [s.address for s in symbols if s.name == ENTRY_NAME.encode()]
    if not named:
        return [f"no export named {ENTRY_NAME} to compare the entry point with"]
    if entry != named[0]:
        return [f"entry point is RVA {entry:#x}, but {ENTRY_NAME} is at RVA {named[0]:#x}"]
    return []


def imported(pe):
    """(module, names) for each import descriptor; an import by ordinal
    appears as '#ordinal'."""
    result = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        names = [i.name.decode() if i.name else f"#{i.ordinal}" for i in entry.imports]
        result.append((entry.dll.decode(), names))
    return result


def check_imports(pe):
    """(failures, missing services)."""
    failures = []
    names = set()
    for module, module_names in imported(pe):
        if module.lower() != ENGINE_MODULE:
            failures.append(f"imports from {module} ({', '.join(module_names)}); "
                            f"only {ENGINE_MODULE} is allowed")
        else:
            names.update(module_names)
    unexpected = sorted(names - ENGINE_SERVICES)
    if unexpected:
        failures.append(f"imports from {ENGINE_MODULE} what the driver must not use: "
                        f"{', '.join(unexpected)}")
    return failures, sorted(ENGINE_SERVICES - names)


def check_relocations(pe):
    failures = []
    if pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS[
            "IMAGE_FILE_RELOCS_STRIPPED"]:
        failures.append("the file header says its base relocations were stripped")
    if not getattr(pe, "DIRECTORY_ENTRY_BASERELOC", None):
        failures.append("no base relocations: the engine could not load the image "
                        "anywhere but its preferred base")
    if not pe.OPTIONAL_HEADER.DllCharacteristics & pefile.DLL_CHARACTERISTICS[
            "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]:
        failures.append("the image is not marked relocatable (DYNAMIC_BASE)")
    return failures


def check_sections(pe):
    write = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_WRITE"]
    execute = pefile.SECTION_CHARACTERISTICS["IMAGE_SCN_MEM_EXECUTE"]
    failures = []
    for section in pe.sections:
        flags = section.Characteristics
        if flags & write and flags & execute:
            name = section.Name.rstrip(b"\0").decode(errors="replace")
            failures.append(f"section {name} is both writable and executable")
    return failures


def main(argv):
    if len(argv) != 2:
        print(f"usage: {argv[0]} IMAGE.dll")
        return 1
    try:
        pe = pefile.PE(argv[1])
    except (OSError, pefile.PEFormatError) as error:
        print(f"FAIL: cannot read {argv[1]} as a PE image: {error}")
        return 1
    import_failures, missing = check_imports(pe)
    checks = [
        ("machine", check_machine(pe)),
        ("subsystem", check_subsystem(pe)),
        ("entry point", check_entry(pe)),
        ("imports", import_failures),
        ("base relocations", check_relocations(pe)),
        ("sections", check_sections(pe)),
    ]
    for name, failures in checks:
        print(f"ok: {name}" if not failures else "\n".join(f"FAIL: {f}" for f in failures))
    if any(failures for _, failures in checks):
        return 1
    if not missing:
        print(f"ok: the image imports exactly the {len(ENGINE_SERVICES)} engine services")
        return 0
    with open(argv[1], "rb") as image:
        pending = STAND_IN_MARK in image.read()
    print(f"{'PENDING' if pending else 'FAIL'}: engine services not imported: "
          f"{', '.join(missing)}")
    if pending:
        print("(the image still has stand-ins for driver functions not built yet)")
        return SKIP
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
