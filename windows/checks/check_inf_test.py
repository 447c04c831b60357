#!/usr/bin/env python3
"""Feeds the INF check copies of the built INF, each broken in one way the
check exists to catch (the decorated sections that pick the files for each
platform among them), and expects it to refuse each one with its reason; and
copies rearranged the way the platform also reads them, which it must accept.
Each copy is checked inside a copy of the package folder, so the source disk
lists resolve to the real DLLs.

  check_inf_test.py --version X.Y.Z PACKAGE/textrelay.inf
      --installed i386/KERNEL.dll i386/USER.dll i386/UI.dll amd64/USER.dll amd64/UI.dll
                  arm64/USER.dll arm64/UI.dll DATA
      --documents NOTE LICENSE"""

import argparse
import contextlib
import io
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_inf  # noqa: E402


def edits(*pairs):
    """A change of the INF's text: each (old, new) must occur exactly once."""
    def apply(text):
        for old, new in pairs:
            assert text.count(old) == 1, f"{old!r} occurs {text.count(old)} times"
            text = text.replace(old, new)
        return text
    return apply


def everywhere(old, new):
    """A change of every occurrence, comments included; there must be one."""
    def apply(text):
        assert old in text, f"{old!r} does not occur"
        return text.replace(old, new)
    return apply


def driver_date(date):
    """Changes the DriverVer date, whatever it is now."""
    return lambda text: re.sub(r"DriverVer=[^,]*", f"DriverVer={date}", text)


def at(target, text):
    """The reason as the check gives it for one target, at any line."""
    return re.compile(re.escape(target) + r": line \d+: " + re.escape(text))


def judged(reason, output):
    return reason.search(output) if isinstance(reason, re.Pattern) else reason in output


def faults(names, version):
    """(what is broken, change, reason the check must give)."""
    km, um, ui, inf, dat, x86, x64, arm64 = (names[k] for k in ("km", "um", "ui", "inf", "dat",
                                                                 "x86", "x64", "arm64"))
    driver_version = f"{version}.0"
    other_version = f"{version}.1"
    return [
        # Which models section each platform reads.
        ("XP decoration too late", everywhere("NTx86.5.1", "NTx86.6.0"),
         at("Windows XP (x86)", f"DriverFile={km} is not a graphics DLL in user mode")),
        ("x64 decoration dropped", edits((",NTamd64,", ",")),
         "Windows XP x64 and Server 2003 x64 is offered no printer"),
        ("ARM64 decoration dropped", edits((",NTarm64\r\n", "\r\n")),
         "Windows 10 and 11 (ARM64) is offered no printer"),
        ("ARM64 graphics DLL from the x64 folder", edits((f"{um}=1,{arm64}", f"{um}=1,{x64}")),
         at("Windows 10 and 11 (ARM64)", f"DriverFile={um} is not built for arm64")),
        ("ARM64 files from the x86 list", edits(("[SourceDisksFiles.arm64]", "[SourceDisksFilez]")),
         at("Windows 10 and 11 (ARM64)", f"ConfigFile={ui} is not built for arm64")),
        ("ARM64 interface DLL left out", edits((f"{ui}=1,{arm64}", f"{ui}=1,{x64}")),
         f"no target installs {arm64}/{ui}"),
        ("ARM64 catalog missing",
         edits(("CatalogFile=textrelay.cat", "CatalogFile.NTx86=x86.cat\r\nCatalogFile.NTamd64=x64.cat")),
         "Windows 10 and 11 (ARM64) reads no CatalogFile"),
        ("decorated models section missing",
         edits(("\r\n[TextRelayModels.NTamd64]", "\r\n[TextRelayModels.NTia64]")),
         "names section [TextRelayModels.NTamd64], which does not exist"),
        ("undecorated models section missing", edits(("[TextRelayModels]\r\n", "[Other]\r\n")),
         "names section [TextRelayModels], which does not exist (NT 4.0"),
        ("decoration not read", everywhere("NTamd64", "amd64"),
         "decoration amd64 is not NT[architecture][.major[.minor]]"),
        # Which driver each platform gets.
        ("kernel mode from XP on", edits((f"DriverFile={um}", f"DriverFile={km}"),
                                         (f"[UserModeFiles]\r\n{um}", f"[UserModeFiles]\r\n{km}")),
         at("Windows Vista (x86)", f"DriverFile={km} is not a graphics DLL in user mode")),
        ("user mode on NT 4.0", edits((f"DriverFile={km}", f"DriverFile={um}"),
                                      (f"[KernelModeFiles]\r\n{km}", f"[KernelModeFiles]\r\n{um}")),
         at("Windows NT 4.0", f"DriverFile={um} is not a graphics DLL in kernel mode")),
        ("x64 graphics DLL from the x86 folder", edits((f"{um}=1,{x64}", f"{um}=1,{x86}")),
         at("Windows 10 and 11 (x64)", f"DriverFile={um} is not built for amd64")),
        ("x64 interface DLL left to the x86 list", edits((f"\r\n{ui}=1,{x64}", "")),
         f"Windows Vista (x64): no line of [SourceDisksFiles.amd64] names {ui}"),
        ("x64 files from the x86 list", edits(("[SourceDisksFiles.amd64]", "[SourceDisksFilez]")),
         at("Windows Vista (x64)", f"ConfigFile={ui} is not built for amd64")),
        ("x64 graphics DLL left out", edits((f"{um}=1,{x64}", f"{um}=1,{x86}")),
         f"no target installs {x64}/{um}"),
        ("folder not in the package", edits((f"{um}=1,{x64}", f"{um}=1,x64")),
         f"{um} would come from x64/{um}, which is not in the package"),
        ("both graphics DLLs copied",
         edits(("[UserModeFiles]\r\n", f"[UserModeFiles]\r\n{km}\r\n")),
         f"[TEXTRELAY_USERMODE] copies {km}, which is not one of its three driver files"),
        ("decorated install section incomplete",
         edits(("[KernelModeFiles]", "[TEXTRELAY_USERMODE.NTamd64]\r\nCopyFiles=UserModeFiles\r\n"
                                     "\r\n[KernelModeFiles]")),
         "Windows Vista (x64): [TEXTRELAY_USERMODE.NTamd64] has no driverfile"),
        ("x64 install section missing",
         edits(("[TextRelayModels.NTamd64]\r\n%Model%=TEXTRELAY_USERMODE,",
                "[TextRelayModels.NTamd64]\r\n%Model%=TEXTRELAY_X64,")),
         "names section [TEXTRELAY_X64], which does not exist"),
        # Sections, keys and strings.
        ("undefined string", edits(("\r\nModel=", "\r\nModelName=")),
         "%Model% is not defined in [Strings]"),
        ("file list missing", edits(("CopyFiles=KernelModeFiles", "CopyFiles=KernelModeFilez")),
         "names section [KernelModeFilez], which does not exist"),
        ("data section missing", edits(("CopyFiles=KernelModeFiles",
                                        "DataSection=GoneData\r\nCopyFiles=KernelModeFiles")),
         "names section [GoneData], which does not exist"),
        ("destination of a missing section",
         edits(("DefaultDestDir=66000", "DefaultDestDir=66000\r\nGone=66000")),
         "[DestinationDirs] names section [Gone]"),
        ("leaves a driver file uncopied",
         edits((f"[KernelModeFiles]\r\n{km}\r\n{ui}\r\n", f"[KernelModeFiles]\r\n{km}\r\n")),
         f"ConfigFile names {ui}, which [TEXTRELAY] does not copy"),
        ("driver keys swapped", edits((f"DriverFile={km}", f"DriverFile={ui}"),
                                      (f"ConfigFile={ui}\r\nDataFile={dat}\r\n\r\n; The",
                                       f"ConfigFile={km}\r\nDataFile={dat}\r\n\r\n; The")),
         f"DriverFile={ui} is not a graphics DLL"),
        ("config file not the interface DLL",
         edits((f"ConfigFile={ui}\r\nDataFile={dat}\r\n\r\n[KernelModeFiles]",
                f"ConfigFile={dat}\r\nDataFile={dat}\r\n\r\n[KernelModeFiles]")),
         f"ConfigFile={dat} is not a printer interface DLL"),
        ("copies the INF", edits(("[UserModeFiles]\r\n", f"[UserModeFiles]\r\n{inf}\r\n")),
         f"copies {inf}: CopyFiles directives must not copy INF files"),
        ("data file not copied", edits((f"DataFile={dat}\r\n\r\n[KernelModeFiles]",
                                        "DataFile=textrelay.ppd\r\n\r\n[KernelModeFiles]")),
         "DataFile names textrelay.ppd, which [TEXTRELAY_USERMODE] does not copy"),
        ("no data file", edits((f"DataFile={dat}\r\n\r\n[KernelModeFiles]",
                                "\r\n[KernelModeFiles]")),
         "[TEXTRELAY_USERMODE] has no datafile"),
        ("destination not the driver directory",
         edits(("DefaultDestDir=66000", "DefaultDestDir=11")),
         f"{km} goes to dirid 11, not the printer driver directory"),
        ("no destination", edits(("DefaultDestDir=66000\r\n", "")),
         f"{um} has no destination in [DestinationDirs]"),
        ("undefined source disk", edits((f"{km}=1,", f"{km}=2,")),
         f"{km} is on source disk 2, which [SourceDisksNames] does not define"),
        ("source file not in the package",
         edits(("[SourceDisksFiles]\r\n", "[SourceDisksFiles]\r\nold.dll=1\r\n")),
         "[SourceDisksFiles] names old.dll, which is not in the package"),
        ("source file missing", edits((f"\r\n{km}=1,{x86}", "")),
         f"no line of [SourceDisksFiles] names {km}"),
        ("unclosed section name", edits(("[Strings]", "[Strings")), "unclosed section name"),
        # [Version].
        ("DriverVer version", edits((f",{driver_version}\r\n", f",{other_version}\r\n")),
         f"DriverVer version is {other_version}, not {driver_version}"),
        ("DriverVer date", driver_date("02/30/2026"), "DriverVer date 02/30/2026 is not a real day"),
        ("DriverVer date form", driver_date("2026-12-08"), "is not a real day as mm/dd/yyyy"),
        ("class GUID", edits(("{4D36E979-", "{4D36E97B-")), "ClassGUID is"),
        ("class", edits(("Class=Printer", "Class=Image")), "Class is Image, not Printer"),
        ("signature", edits(('"$Windows NT$"', '"$Chicago$"')), "Signature is"),
        ("no provider", edits(("Provider=%Provider%\r\n", "")), "[Version] has no Provider"),
        # The catalog.
        ("no catalog", edits(("CatalogFile=textrelay.cat\r\n", "")),
         "Windows 10 and 11 (x64) reads no CatalogFile in [Version]"),
        ("x86 catalog only", edits(("CatalogFile=", "CatalogFile.NTx86=")),
         "Windows Vista (x64) reads no CatalogFile"),
        ("catalog in a folder", edits(("CatalogFile=textrelay.cat", "CatalogFile=amd64\\t.cat")),
         "is not a file name ending in .cat"),
        ("catalog not a .cat", edits(("CatalogFile=textrelay.cat", "CatalogFile=textrelay.p7b")),
         "is not a file name ending in .cat"),
        ("decorated catalogs share a file",
         edits(("CatalogFile=textrelay.cat", "CatalogFile.NTx86=t.cat\r\nCatalogFile.NTamd64=t.cat")),
         "CatalogFile.NTamd64 names t.cat, which CatalogFile.NTx86 names too"),
        ("catalog copied", edits((f"[UserModeFiles]\r\n", f"[UserModeFiles]\r\ntextrelay.cat\r\n")),
         "textrelay.cat is copied by a file list"),
    ]


def accepted(names):
    """(how it is rearranged, change, a line the check must print)."""
    um, ui, dat = names["um"], names["ui"], names["dat"]
    return [
        ("the built INF", lambda text: text, "ok: Windows 10 and 11 (x64)"),
        ("x86 decoration without a version", everywhere("NTx86.5.1", "NTx86"),
         "ok: Windows XP (x86)"),
        ("one catalog for each machine",
         edits(("CatalogFile=textrelay.cat", "CatalogFile.NTx86=x86.cat\r\nCatalogFile.NTamd64=x64.cat"
                                             "\r\nCatalogFile.NTarm64=arm64.cat")),
         "ok: catalog"),
        ("ARM64 install section decorated",
         edits(("[KernelModeFiles]",
                f"[TEXTRELAY_USERMODE.NTarm64]\r\nCopyFiles=UserModeFiles\r\nDriverFile={um}\r\n"
                f"ConfigFile={ui}\r\nDataFile={dat}\r\n\r\n[KernelModeFiles]")),
         "ok: Windows 10 and 11 (ARM64)"),
        ("x64 install section decorated",
         edits(("[KernelModeFiles]",
                f"[TEXTRELAY_USERMODE.NTamd64]\r\nCopyFiles=UserModeFiles\r\nDriverFile={um}\r\n"
                f"ConfigFile={ui}\r\nDataFile={dat}\r\n\r\n[KernelModeFiles]")),
         "ok: Windows Vista (x64)"),
    ]


def mirror(package, paths, directory):
    """The package's files, linked into directory under the same paths."""
    for path in paths:
        link = os.path.join(directory, path)
        os.makedirs(os.path.dirname(link), exist_ok=True)
        os.symlink(os.path.abspath(os.path.join(package, path)), link)


def run_check(arguments, inf_name, text, directory):
    path = os.path.join(directory, inf_name)
    with open(path, "wb") as inf:
        inf.write(text.encode("ascii"))
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = check_inf.main(["check_inf.py", path, *arguments])
    return status, out.getvalue()


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("--version", required=True)
    parser.add_argument("inf")
    parser.add_argument("--installed", nargs=8, required=True)
    parser.add_argument("--documents", nargs="*", default=[])
    args = parser.parse_args(argv[1:])
    kernel, user, interface, user_x64, _, user_arm64, _, data = args.installed
    names = {"km": os.path.basename(kernel), "um": os.path.basename(user),
             "ui": os.path.basename(interface), "inf": os.path.basename(args.inf), "dat": os.path.basename(data),
             "x86": os.path.dirname(kernel), "x64": os.path.dirname(user_x64),
             "arm64": os.path.dirname(user_arm64)}
    with open(args.inf, "rb") as inf:
        text = inf.read().decode("ascii")
    arguments = ["--installed", *args.installed, "--documents", *args.documents,
                 "--version", args.version]
    cases = [(name, change, 0, reason) for name, change, reason in accepted(names)]
    cases += [(name, change, 1, reason) for name, change, reason in faults(names, args.version)]
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        mirror(os.path.dirname(os.path.abspath(args.inf)), args.installed + args.documents,
               directory)
        for name, change, wanted, reason in cases:
            status, output = run_check(arguments, names["inf"], change(text), directory)
            if status != wanted or not judged(reason, output):
                failures.append(f"{name}: status {status}, wanted {wanted} and '{reason}'; "
                                f"the check said:\n{output}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"ok: the INF check judges all {len(cases)} INFs as it should" if not failures
          else f"{len(failures)} INFs were judged wrongly")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
