#!/usr/bin/env python3
"""Feeds the INF check copies of the built INF, each broken in one way the
check exists to catch, and expects it to refuse each one with its reason; and
two copies rearranged into decorated sections, the way a later platform
would be added, which it must accept or refuse as their sections stand.

  check_inf_test.py --version X.Y.Z textrelay.inf --installed GRAPHICS.dll UI.dll
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


def driver_date(date):
    """Changes the DriverVer date, whatever it is now."""
    return lambda text: re.sub(r"DriverVer=[^,]*", f"DriverVer={date}", text)


def faults(graphics, interface, inf, version):
    """(what is broken, change, reason the check must give)."""
    driver_version = f"{version}.0"
    other_version = f"{version}.1"
    return [
        ("undefined string", edits(("\r\nModel=", "\r\nModelName=")),
         "%Model% is not defined in [Strings]"),
        ("models section missing", edits(("[TextRelayModels]", "[OtherModels]")),
         "names section [TextRelayModels], which does not exist"),
        ("install section missing", edits(("%Model%=TEXTRELAY,", "%Model%=TEXTRELAY2,")),
         "names section [TEXTRELAY2], which does not exist"),
        ("file list missing", edits(("CopyFiles=TextRelayFiles", "CopyFiles=TextRelayFilez")),
         "names section [TextRelayFilez], which does not exist"),
        ("data section missing", edits(("CopyFiles=", "DataSection=GoneData\r\nCopyFiles=")),
         "names section [GoneData], which does not exist"),
        ("destination of a missing section",
         edits(("DefaultDestDir=66000", "DefaultDestDir=66000\r\nGone=66000")),
         "[DestinationDirs] names section [Gone]"),
        ("copies a file not in the package",
         edits(("[TextRelayFiles]\r\n", "[TextRelayFiles]\r\nextra.dll\r\n")),
         "copies extra.dll, which is not in the package"),
        ("leaves a package file out", edits((f"\r\n{interface}\r\n", "\r\n")),
         f"does not copy {interface}, a file of the package"),
        ("driver keys swapped",
         edits((f"DriverFile={graphics}", f"DriverFile={interface}"),
               (f"ConfigFile={interface}", f"ConfigFile={graphics}")),
         f"DriverFile names {interface}, which is not the graphics DLL"),
        ("config file not the interface DLL", edits((f"ConfigFile={interface}", f"ConfigFile={inf}")),
         f"ConfigFile names {inf}, which is not the printer interface DLL"),
        ("data file not in the package", edits((f"DataFile={inf}", "DataFile=textrelay.ppd")),
         "DataFile names textrelay.ppd, which is not a file of the package"),
        ("no data file", edits((f"DataFile={inf}\r\n", "")), "has no datafile"),
        ("DriverVer version", edits((f",{driver_version}\r\n", f",{other_version}\r\n")),
         f"DriverVer version is {other_version}, not {driver_version}"),
        ("DriverVer date", driver_date("02/30/2026"), "DriverVer date 02/30/2026 is not a real day"),
        ("DriverVer date form", driver_date("2026-12-08"), "is not a real day as mm/dd/yyyy"),
        ("class GUID", edits(("{4D36E979-", "{4D36E97B-")), "ClassGUID is"),
        ("class", edits(("Class=Printer", "Class=Image")), "Class is Image, not Printer"),
        ("signature", edits(('"$Windows NT$"', '"$Chicago$"')), "Signature is"),
        ("no provider", edits(("Provider=%Provider%\r\n", "")), "[Version] has no Provider"),
        ("destination not the driver directory",
         edits(("DefaultDestDir=66000", "DefaultDestDir=11")),
         f"{graphics} goes to dirid 11, not the printer driver directory"),
        ("no destination", edits(("DefaultDestDir=66000\r\n", "")), "with no destination"),
        ("source file missing", edits((f"\r\n{interface}=1", "")),
         f"{interface} is copied but no [SourceDisksFiles] section names it"),
        ("undefined source disk", edits((f"\r\n{graphics}=1", f"\r\n{graphics}=2")),
         "on a source disk that [SourceDisksNames] does not define"),
        ("source file not in the package", edits(("[SourceDisksFiles]\r\n",
                                                   "[SourceDisksFiles]\r\nold.dll=1\r\n")),
         "[SourceDisksFiles] names old.dll, which is not in the package"),
        ("unclosed section name", edits(("[Strings]", "[Strings")), "unclosed section name"),
        # Decorated sections: each one named must exist, each variant is checked.
        ("decorated models section missing",
         edits(("%Manufacturer%=TextRelayModels", "%Manufacturer%=TextRelayModels,NTx86,NTamd64"),
               ("[TextRelayModels]", "[TextRelayModels.NTx86]")),
         "names section [TextRelayModels.NTamd64], which does not exist"),
        ("decorated install section incomplete",
         edits(("[TextRelayFiles]", "[TEXTRELAY.NTx86]\r\nCopyFiles=TextRelayFiles\r\n\r\n"
                                    "[TextRelayFiles]")),
         "[TEXTRELAY.NTx86] has no driverfile"),
    ]


# Rearranged the way decorated sections are added; the check must accept it.
DECORATED = edits(("%Manufacturer%=TextRelayModels", "%Manufacturer%=TextRelayModels,NTx86"),
                  ("[TextRelayModels]", "[TextRelayModels.NTx86]"),
                  ("[TEXTRELAY]", "[TEXTRELAY.NTx86]"),
                  ("[SourceDisksNames]", "[SourceDisksNames.x86]"),
                  ("[SourceDisksFiles]", "[SourceDisksFiles.x86]"))


def run_check(argv, inf_path, text, directory):
    path = os.path.join(directory, os.path.basename(inf_path))
    with open(path, "wb") as inf:
        inf.write(text.encode("ascii"))
    arguments = [path if a == inf_path else a for a in argv]
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = check_inf.main(["check_inf.py", *arguments])
    return status, out.getvalue()


def main(argv):
    arguments = argv[1:]
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("--version", required=True)
    parser.add_argument("inf")
    parser.add_argument("--installed", nargs=2, required=True)
    parser.add_argument("--documents", nargs="*", default=[])
    args = parser.parse_args(arguments)
    inf_path = args.inf
    graphics, interface = (os.path.basename(p) for p in args.installed)
    with open(inf_path, "rb") as inf:
        text = inf.read().decode("ascii")
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        cases = [("the built INF", text, 0, "ok: source disks"),
                 ("decorated sections", DECORATED(text), 0, "ok: [TEXTRELAY.NTx86]")]
        cases += [(name, change(text), 1, reason)
                  for name, change, reason in faults(graphics, interface,
                                                     os.path.basename(inf_path), args.version)]
        for name, broken, wanted, reason in cases:
            status, output = run_check(arguments, inf_path, broken, directory)
            if status != wanted or reason not in output:
                failures.append(f"{name}: status {status}, wanted {wanted} and '{reason}'; "
                                f"the check said:\n{output}")
    for failure in failures:
        print("FAIL:", failure)
    print(f"ok: the INF check judges all {len(cases)} INFs as it should" if not failures
          else f"{len(failures)} INFs were judged wrongly")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
