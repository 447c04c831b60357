#!/usr/bin/env python3
"""Feeds the image check copies of the built DLL, each broken in one way the
check exists to catch, and expects it to refuse each one with its reason."""

import contextlib
import io
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_image  # noqa: E402
import pefile  # noqa: E402

SCN = pefile.SECTION_CHARACTERISTICS


def run_check(path):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = check_image.main(["check_image.py", path])
    return status, out.getvalue()


def section(pe, name):
    return next(s for s in pe.sections if s.Name.rstrip(b"\0") == name)


def engine_import(pe):
    return next(e for e in pe.DIRECTORY_ENTRY_IMPORT if e.dll.lower() == b"win32k.sys")


def foreign_machine(pe):
    pe.FILE_HEADER.Machine = 0x8664


def gui_subsystem(pe):
    pe.OPTIONAL_HEADER.Subsystem = 2


def entry_elsewhere(pe):
    pe.OPTIONAL_HEADER.AddressOfEntryPoint += 1


def writable_code(pe):
    section(pe, b".text").Characteristics |= SCN["IMAGE_SCN_MEM_WRITE"]


def fixed_base(pe):
    pe.OPTIONAL_HEADER.DllCharacteristics &= ~pefile.DLL_CHARACTERISTICS[
        "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]


def no_relocations(pe):
    entry = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    entry.VirtualAddress = 0
    entry.Size = 0


def other_module(pe):
    pe.set_bytes_at_rva(engine_import(pe).struct.Name, b"hal.dll\0\0\0")


def other_service(pe):
    name = next(i for i in engine_import(pe).imports if i.name == b"EngDebugPrint")
    pe.set_bytes_at_offset(name.name_offset, b"EngDebugPrinX")


def no_stand_ins(pe):
    data = pe.__data__
    at = data.find(check_image.STAND_IN_MARK)
    while at != -1:
        pe.set_bytes_at_offset(at, b"?" * len(check_image.STAND_IN_MARK))
        at = pe.__data__.find(check_image.STAND_IN_MARK)


FAULTS = [
    (foreign_machine, "machine is 0x8664, not i386"),
    (gui_subsystem, "subsystem is 2, not native"),
    (entry_elsewhere, "entry point is RVA"),
    (writable_code, "section .text is both writable and executable"),
    (fixed_base, "not marked relocatable"),
    (no_relocations, "no base relocations"),
    (other_module, "imports from hal.dll"),
    (other_service, "must not use: EngDebugPrinX"),
]


def broken_copy(dll, directory, fault):
    pe = pefile.PE(dll)
    fault(pe)
    path = os.path.join(directory, fault.__name__ + ".dll")
    pe.write(filename=path)
    pe.close()
    return path


def expect(failures, name, status, output, wanted, reason):
    if status != wanted or reason not in output:
        failures.append(f"{name}: status {status}, wanted {wanted} and '{reason}'; "
                        f"the check said:\n{output}")


def main(argv):
    dll = argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        for fault, reason in FAULTS:
            status, output = run_check(broken_copy(dll, directory, fault))
            expect(failures, fault.__name__, status, output, 1, reason)
        # A service the driver should use but does not: only stand-ins
        # excuse it, and only as a skip.
        check_image.ENGINE_SERVICES = check_image.ENGINE_SERVICES | {"EngUnusedService"}
        status, output = run_check(broken_copy(dll, directory, no_stand_ins))
        expect(failures, "missing service", status, output, 1,
               "FAIL: engine services not imported")
        with open(dll, "rb") as image:
            has_stand_ins = check_image.STAND_IN_MARK in image.read()
        if has_stand_ins:
            status, output = run_check(dll)
            expect(failures, "missing service beside stand-ins", status, output,
                   check_image.SKIP, "PENDING: engine services not imported")
    for failure in failures:
        print("FAIL:", failure)
    print("ok: the image check refuses every broken image" if not failures
          else f"{len(failures)} broken images were not refused as they should be")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
