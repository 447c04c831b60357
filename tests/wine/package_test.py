"""The built package under Wine: installed as Add Printer installs it on
x64, then driven through winspool as applications call it and directly for
what Wine does not route, with Wine's heap checking on the whole time
(WINEDEBUG=+heap). A heap error, an access violation, a check of
driver_probe.cpp that fails or heap use that grows over many rounds fails
the test.

  package_test.py --prefix FOLDER --package DIST [--include DIR] [unittest options]

FOLDER holds a prefix made by `wine_prefix.py create` (one per test run,
shared by the Wine tests of that run); without --prefix the test makes and
removes its own. DIST is the package folder (textrelay.inf, amd64/, ...).
--include names the folder of the project's platform header additions.

Wine 8.0 has limits of its own that are no faults of the driver; the probe
works around them and says where:
- its setupapi reads only [SourceDisksFiles], so it would copy the i386
  files: the probe reads [SourceDisksFiles.amd64] itself;
- its AddPrinterDriverExW checks nothing of the files (the image checks do);
- it passes cbOut = pdmOut->dmSize to the document sheet;
- AdvancedDocumentPropertiesW and PrinterProperties are stubs, so the
  printer page is driven directly;
- its common property sheet refuses CPSFUNC_ADD_PCOMPROPSHEETUI: the
  document page's INIT fails there, which is where a block written after
  being freed showed.
- under +heap its own system programs (services, the device host) now and
  then corrupt their heap while they shut down: the prefix keeps them
  running for the whole session, started without heap checking, so that
  only the probe's own process is checked (wine_prefix.py).
Debian 12 has no 32-bit Wine without a second architecture: the x86 DLLs
stay with the host32 loader."""

import argparse
import re
import sys
import tempfile
import unittest
from pathlib import Path, PureWindowsPath

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine_prefix import WinePrefix, compile_program  # noqa: E402

PRINTER = "textrelay under Wine"
# What Wine's heap checker, its exception handling and the probe report
# when something went wrong.
TROUBLE = re.compile(r"err:heap|warn:heap|err:seh|err:virtual|Unhandled exception|"
                     r"page fault|^FAIL|^timed out", re.MULTILINE)
# A probe run takes seconds; one that corrupted the heap may never end.
PROBE_SECONDS = 180
OPTIONS = None


def windows_path(path):
    """The path as Wine's Z: drive shows it."""
    return str(PureWindowsPath("Z:/", *Path(path).resolve().parts[1:]))


class PackageUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.own_folder = None
        if OPTIONS.prefix:
            cls.prefix = WinePrefix.existing(OPTIONS.prefix)
        else:
            cls.own_folder = tempfile.TemporaryDirectory(prefix="textrelay-wine-")
            cls.prefix = WinePrefix.fresh(Path(cls.own_folder.name) / "wine")
        cls.probe = compile_program(
            [Path(__file__).resolve().parent / "driver_probe.cpp"],
            cls.prefix.folder / "driver_probe.exe", libs=["winspool", "setupapi"],
            includes=OPTIONS.include)
        inf = windows_path(Path(OPTIONS.package) / "textrelay.inf")
        cls.install = cls.prefix.run([cls.probe, "install", inf, PRINTER], winedebug="+heap",
                                     timeout=PROBE_SECONDS)

    @classmethod
    def tearDownClass(cls):
        if cls.own_folder:
            cls.prefix.remove()
            cls.own_folder.cleanup()

    def assertClean(self, result):
        trouble = TROUBLE.findall(result.stdout + result.stderr)
        lines = [line for line in (result.stdout + result.stderr).splitlines()
                 if TROUBLE.search(line)]
        self.assertEqual(trouble, [], "\n".join(lines[:40]) + "\n" + result.stdout[-4000:])
        self.assertEqual(result.returncode, 0, result.stdout[-4000:])

    def run_probe(self, mode, *more, winedebug="+heap"):
        self.assertClean(self.install)
        result = self.prefix.run([self.probe, mode, PRINTER, *more], winedebug=winedebug,
                                 timeout=PROBE_SECONDS)
        self.assertClean(result)
        return result

    def run_checked_and_level(self, mode):
        """Once under the checking heap, once judging heap use, which the
        checking heap's delayed frees would blur."""
        self.run_probe(mode)
        return self.run_probe(mode, "level", winedebug="-all")

    def test_installs_as_add_printer_does_on_x64(self):
        self.assertClean(self.install)
        for step in ("resolves to NTamd64", "textrelayum.dll from", "textrelayui.dll from",
                     "textrelay.dat from", "AddPrinterDriverExW level 6", "AddPrinterW on FILE:"):
            self.assertIn(step, self.install.stdout)
        self.assertIn("amd64", self.install.stdout)

    def test_documents_and_capabilities_through_winspool(self):
        result = self.run_checked_and_level("winspool")
        self.assertIn("ok: heap use stays level over rounds through winspool", result.stdout)

    def test_document_page_that_the_sheet_refuses(self):
        self.run_probe("prompt")

    def test_entry_points_wine_does_not_route(self):
        result = self.run_checked_and_level("direct")
        self.assertIn("ok: heap use stays level over rounds of direct calls", result.stdout)


def main(argv):
    global OPTIONS
    parser = argparse.ArgumentParser(prog=Path(argv[0]).name)
    parser.add_argument("--prefix")
    parser.add_argument("--package", required=True)
    parser.add_argument("--include", action="append", default=[])
    OPTIONS, rest = parser.parse_known_args(argv[1:])
    unittest.main(argv=[argv[0], *rest])


if __name__ == "__main__":
    main(sys.argv)
