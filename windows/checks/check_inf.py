#!/usr/bin/env python3
"""Checks a printer-class INF against the package it installs, the way each
version of the platform would read it.

  check_inf.py --version X.Y.Z PACKAGE/textrelay.inf
               --installed i386/textrelay.dll i386/textrelayum.dll ...
               --documents install.txt LICENSE

The package is the folder the INF is in: the installed files (the DLLs and
the data file) and the documents (for the reader),
named by their paths relative to that folder. The check holds when:
- [Version] is a Windows NT printer-class INF with a provider and a DriverVer
  whose date is a real day and whose version is the project's (X.Y.Z.0);
- every section it names exists: models sections (the undecorated one and
  each decorated one the manufacturer line names, e.g. NTx86.5.1), install
  sections with their .NT* variants, data sections, file lists, and the
  sections DestinationDirs names; every %string% it uses is defined;
- for each target (NT 4.0 and Windows 2000 on x86, XP and later on x86, XP
  x64 and later on x64, Windows 10 and 11 on ARM64) the models section that target picks installs one
  driver: the install section copies exactly its three driver files into the
  printer driver directory (dirid 66000), each found through the target's
  source disk lists (the platform's, as [SourceDisksFiles.arm64], where the
  INF has one, else the undecorated ones) at the package file of that name
  and architecture; DriverFile is a graphics DLL in the mode the target
  wants (kernel mode where only NT 4.0 and 2000 read it, user mode from XP
  on; a native-subsystem image is a kernel-mode one), ConfigFile a printer
  interface DLL, both built for the target's machine, DataFile a file of the
  package; no CopyFiles directive copies an INF file (the INF itself included);
- every installed file is installed on some target, and every source disk
  list names only files of the package;
- every target that reads a catalog (Windows 2000 and later) finds one in
  [Version]: CatalogFile.NT<architecture>, else CatalogFile.NT, else
  CatalogFile; each names a plain file beside the INF ending in .cat, the
  decorated ones each a file of its own, and no file list copies one (setup
  takes the catalog from beside the INF, the way it takes the INF).

Exit status: 0 when every check holds, 1 when one fails."""

import argparse
import datetime
import os
import re
import sys
from dataclasses import dataclass

try:
    import pefile
except ImportError:
    print("FAIL: this python3 cannot import pefile; install Debian's python3-pefile")
    sys.exit(1)

PRINTER_CLASS_GUID = "{4D36E979-E325-11CE-BFC1-08002BE10318}"
PRINTER_DRIVER_DIRID = "66000"
GRAPHICS_EXPORTS = {"DrvEnableDriver"}
INTERFACE_EXPORTS = {"DrvDocumentPropertySheets", "DrvDeviceCapabilities"}
STRING_TOKEN = re.compile(r"%([^%]*)%")
# NT[architecture][.major[.minor]]: the decorations this INF may use.
DECORATION = re.compile(r"nt(x86|amd64|ia64|arm|arm64)?(?:\.(\d+)(?:\.(\d+))?)?", re.I)
MACHINES = {"x86": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
            "amd64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"],
            "arm64": pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_ARM64"]}
NATIVE = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_NATIVE"]


@dataclass(frozen=True)
class Target:
    name: str
    architecture: str
    version: tuple
    kernel_mode: bool

    def reads_decorations(self):
        # The manufacturer line's decorations are read from XP (5.1) on;
        # NT 4.0 and Windows 2000 take the undecorated models section.
        return self.version >= (5, 1)


# NT 4.0 takes only a kernel-mode graphics DLL and cannot be told apart from
# Windows 2000 by the INF, so both get the kernel-mode driver; XP and later
# refuse a new kernel-mode driver, so they get the user-mode one.
TARGETS = [
    Target("Windows NT 4.0", "x86", (4, 0), True),
    Target("Windows 2000", "x86", (5, 0), True),
    Target("Windows XP (x86)", "x86", (5, 1), False),
    Target("Windows Server 2003 (x86)", "x86", (5, 2), False),
    Target("Windows Vista (x86)", "x86", (6, 0), False),
    Target("Windows 10 (x86)", "x86", (10, 0), False),
    Target("Windows XP x64 and Server 2003 x64", "amd64", (5, 2), False),
    Target("Windows Vista (x64)", "amd64", (6, 0), False),
    Target("Windows 10 and 11 (x64)", "amd64", (10, 0), False),
    # Windows on ARM64 (10 and later) loads only ARM64 printer drivers.
    Target("Windows 10 and 11 (ARM64)", "arm64", (10, 0), False),
]


class Line:
    def __init__(self, number, key, value):
        self.number = number
        self.key = key
        self.value = value

    def fields(self):
        return [unquote(f) for f in split_outside_quotes(self.value, ",")]


def split_outside_quotes(text, separator):
    parts, current, quoted = [], "", False
    for char in text:
        if char == '"':
            quoted = not quoted
        if char == separator and not quoted:
            parts.append(current.strip())
            current = ""
        else:
            current += char
    parts.append(current.strip())
    return parts


def unquote(text):
    return text[1:-1] if len(text) >= 2 and text[0] == text[-1] == '"' else text


def strip_comment(text):
    return split_outside_quotes(text, ";")[0]


class Inf:
    """Sections by lower-case name (the setup functions ignore case); each a
    list of Lines with %strings% still in them."""

    def __init__(self, text):
        self.sections = {}
        self.names = {}
        self.failures = []
        current = None
        for number, raw in enumerate(text.splitlines(), 1):
            line = strip_comment(raw).strip()
            if not line:
                continue
            if line.startswith("["):
                if not line.endswith("]"):
                    self.failures.append(f"line {number}: unclosed section name {line}")
                    continue
                current = line[1:-1].strip()
                self.names[current.lower()] = current
                self.sections.setdefault(current.lower(), [])
            elif current is None:
                self.failures.append(f"line {number}: outside any section")
            else:
                key, equals, value = line.partition("=")
                if equals and key.count('"') % 2 == 0:
                    self.sections[current.lower()].append(Line(number, key.strip(), value.strip()))
                else:
                    self.sections[current.lower()].append(Line(number, None, line))

    def has(self, name):
        return name.lower() in self.sections

    def lines(self, name):
        return self.sections.get(name.lower(), [])

    def value(self, section, key):
        """The value of the last line with key, the way the setup functions
        read an entry that is given twice."""
        found = [line for line in self.lines(section) if line.key and line.key.lower() == key.lower()]
        return found[-1] if found else None

    def first_of(self, names):
        return next((self.names[n.lower()] for n in names if self.has(n)), None)


def substitute(inf, text, where, failures):
    strings = {line.key.lower(): unquote(line.value)
               for line in inf.lines("Strings") if line.key}

    def token(match):
        name = match.group(1)
        if not name:
            return "%"
        if name.lower() not in strings:
            failures.append(f"{where}: %{name}% is not defined in [Strings]")
            return match.group(0)
        return strings[name.lower()]
    return STRING_TOKEN.sub(token, text)


def resolve_strings(inf):
    """Replaces every %string% outside [Strings]; undefined ones fail."""
    failures = []
    for name, lines in inf.sections.items():
        if name == "strings":
            continue
        for line in lines:
            where = f"line {line.number}"
            if line.key:
                line.key = unquote(substitute(inf, line.key, where, failures))
            line.value = substitute(inf, line.value, where, failures)
    return failures


def check_version_section(inf, version):
    if not inf.has("Version"):
        return ["there is no [Version] section"]
    failures = []
    wanted = {"Signature": "$Windows NT$", "Class": "Printer", "ClassGUID": PRINTER_CLASS_GUID}
    for key, value in wanted.items():
        line = inf.value("Version", key)
        if not line or unquote(line.value).lower() != value.lower():
            failures.append(f"[Version] {key} is {line.value if line else 'missing'}, not {value}")
    provider = inf.value("Version", "Provider")
    if not provider or not provider.value:
        failures.append("[Version] has no Provider")
    return failures + check_driver_ver(inf.value("Version", "DriverVer"), version)


def check_driver_ver(line, version):
    if not line:
        return ["[Version] has no DriverVer"]
    fields = line.fields()
    failures = []
    try:
        datetime.datetime.strptime(fields[0], "%m/%d/%Y")
        if not re.fullmatch(r"\d\d/\d\d/\d{4}", fields[0]):
            raise ValueError
    except ValueError:
        failures.append(f"DriverVer date {fields[0]} is not a real day as mm/dd/yyyy")
    parts = version.split(".")
    wanted = ".".join(parts + ["0"] * (4 - len(parts)))
    found = fields[1] if len(fields) > 1 else "missing"
    if found != wanted:
        failures.append(f"DriverVer version is {found}, not {wanted} (the project's {version})")
    return failures


@dataclass
class Manufacturer:
    line: Line
    base: str
    decorations: list  # (decoration text, architecture or None, (major, minor))


def manufacturers(inf):
    """The manufacturer lines with their parsed decorations, and failures:
    every models section they name must exist."""
    if not inf.lines("Manufacturer"):
        return [], ["there is no [Manufacturer] section, or it is empty"]
    found, failures = [], []
    for line in inf.lines("Manufacturer"):
        fields = line.fields() if line.key else [unquote(line.value)]
        entry = Manufacturer(line, fields[0], [])
        if not inf.has(entry.base):
            failures.append(f"line {line.number}: names section [{entry.base}], which does "
                            "not exist (NT 4.0 and Windows 2000 read only that one)")
        for text in (d for d in fields[1:] if d):
            match = DECORATION.fullmatch(text)
            if not match:
                failures.append(f"line {line.number}: decoration {text} is not "
                                "NT[architecture][.major[.minor]]")
                continue
            if not inf.has(f"{entry.base}.{text}"):
                failures.append(f"line {line.number}: names section [{entry.base}.{text}], "
                                "which does not exist")
            architecture = match.group(1).lower() if match.group(1) else None
            entry.decorations.append((text, architecture,
                                      (int(match.group(2) or 0), int(match.group(3) or 0))))
        found.append(entry)
    return found, failures


def models_for(entry, target):
    """The models section the target reads: the closest decoration that fits
    its architecture and version, else the undecorated one on x86 (on x64
    and ARM64 the models section must be decorated)."""
    if target.reads_decorations():
        fitting = [(version, architecture is not None, text)
                   for text, architecture, version in entry.decorations
                   if architecture in (None, target.architecture) and version <= target.version]
        if fitting:
            return f"{entry.base}.{max(fitting)[2]}"
    return entry.base if target.architecture == "x86" else None


def install_variant(inf, name, target):
    """The install section the target uses for name: its .NT<arch> variant,
    else .NT, else the name itself."""
    suffix = "ntx86" if target.architecture == "x86" else "nt" + target.architecture
    return inf.first_of([f"{name}.{suffix}", f"{name}.nt", name])


@dataclass
class PackageFile:
    path: str           # relative to the INF's folder, as given
    real: str
    machine: int | None = None
    subsystem: int | None = None
    exports: frozenset = frozenset()


class Package:
    def __init__(self, inf_path, installed, documents):
        self.root = os.path.dirname(os.path.abspath(inf_path))
        self.files = {}
        for path in [os.path.basename(inf_path), *installed, *documents]:
            self.files[normal(path)] = self.load(path)
        self.installed = {normal(p) for p in installed}

    def load(self, path):
        entry = PackageFile(path, os.path.join(self.root, path))
        if not path.lower().endswith(".dll"):
            return entry
        try:
            pe = pefile.PE(entry.real, fast_load=True)
            pe.parse_data_directories(directories=[
                pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
        except (OSError, pefile.PEFormatError):
            return entry
        exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
        entry.machine = pe.FILE_HEADER.Machine
        entry.subsystem = pe.OPTIONAL_HEADER.Subsystem
        entry.exports = frozenset(s.name.decode() for s in exports.symbols
                                  if s.name) if exports else frozenset()
        return entry

    def get(self, path):
        return self.files.get(normal(path)) if path else None


def normal(path):
    return "/".join(p for p in path.replace("\\", "/").lower().split("/") if p and p != ".")


def install_entries(inf, section):
    """The section's entries over those of its data section, and failures."""
    entries = {}
    data = inf.value(section, "DataSection")
    failures = []
    if data:
        if not inf.has(data.value):
            failures.append(f"line {data.number}: names section [{data.value}], which does not exist")
        entries.update({line.key.lower(): line for line in inf.lines(data.value) if line.key})
    entries.update({line.key.lower(): line for line in inf.lines(section) if line.key})
    return entries, failures


def destination(inf, file_list):
    """The dirid a file list is copied to (None for a single @file)."""
    for name in ([file_list] if file_list else []) + ["DefaultDestDir"]:
        line = inf.value("DestinationDirs", name)
        if line:
            return line.fields()[0]
    return None


def copied_files(inf, entries):
    """{file name: dirid} for every file the CopyFiles entries copy, and failures."""
    files, failures = {}, []
    line = entries.get("copyfiles")
    for item in line.fields() if line else []:
        if item.startswith("@"):
            files[item[1:].lower()] = destination(inf, None)
        elif not inf.has(item):
            failures.append(f"line {line.number}: names section [{item}], which does not exist")
        else:
            dirid = destination(inf, item)
            files.update({entry.fields()[0].lower(): dirid for entry in inf.lines(item)})
    failures += [f"line {line.number}: copies {name}: CopyFiles directives must not copy "
                 "INF files" for name in sorted(files) if name.endswith(".inf")]
    return files, failures


def platform_section(inf, base, platform):
    """The section the setup functions read for the platform: base.platform
    where the INF has one, else base."""
    return inf.first_of([base + platform]) or base


def source_path(inf, name, architecture):
    """Where the target's setup finds file name in the package; (path, failure)."""
    section = platform_section(inf, "SourceDisksFiles", "." + architecture)
    line = next((l for l in inf.lines(section) if (l.key or "").lower() == name), None)
    if not line:
        return None, f"no line of [{section}] names {name}"
    return line_path(inf, line, "." + architecture)


def line_path(inf, line, platform):
    """The package path of a source disk list's line: the disk's path, the
    line's subdirectory and its name; (path, failure)."""
    fields = line.fields()
    names = platform_section(inf, "SourceDisksNames", platform)
    disk = inf.value(names, fields[0])
    if not disk:
        return None, (f"line {line.number}: {line.key} is on source disk {fields[0]}, which "
                      f"[{names}] does not define")
    disk_fields = disk.fields()
    root = disk_fields[3] if len(disk_fields) > 3 else ""
    subdir = fields[1] if len(fields) > 1 else ""
    return normal(f"{root}/{subdir}/{line.key}"), None


def check_driver_file(key, line, file, target):
    """A driver key's file against what the target needs; line is the key's."""
    where = f"line {line.number}: {line.key}={line.value}"
    if key == "datafile":
        return []
    if key == "configfile" and not INTERFACE_EXPORTS <= file.exports:
        return [f"{where} is not a printer interface DLL"]
    if key == "driverfile" and not GRAPHICS_EXPORTS <= file.exports:
        return [f"{where} is not a graphics DLL"]
    if file.machine != MACHINES[target.architecture]:
        return [f"{where} is not built for {target.architecture}"]
    if key == "driverfile" and (file.subsystem == NATIVE) != target.kernel_mode:
        wanted = "kernel mode" if target.kernel_mode else "user mode"
        return [f"{where} is not a graphics DLL in {wanted}"]
    return []


def check_install(inf, section, target, package):
    """The install section for one target: exactly three driver files, each
    from the package and fit for the target. Returns (failures, package
    paths it installs)."""
    entries, failures = install_entries(inf, section)
    files, copy_failures = copied_files(inf, entries)
    failures += copy_failures
    installs, keyed = set(), set()
    for key in ("driverfile", "configfile", "datafile"):
        line = entries.get(key)
        if not line:
            failures.append(f"[{section}] has no {key}: the spooler needs all three driver files")
            continue
        name = line.value.lower()
        keyed.add(name)
        if name not in files:
            failures.append(f"line {line.number}: {line.key} names {line.value}, which "
                            f"[{section}] does not copy")
            continue
        path, failure = source_path(inf, name, target.architecture)
        file = package.get(path)
        if failure or not file:
            failures.append(failure or f"{line.value} would come from {path}, which is not "
                                       "in the package")
            continue
        installs.add(normal(file.path))
        failures += check_driver_file(key, line, file, target)
        if files[name] is None:
            failures.append(f"line {line.number}: {line.value} has no destination in "
                            "[DestinationDirs]")
        elif files[name] != PRINTER_DRIVER_DIRID:
            failures.append(f"line {line.number}: {line.value} goes to dirid {files[name]}, "
                            f"not the printer driver directory ({PRINTER_DRIVER_DIRID})")
    failures += [f"[{section}] copies {name}, which is not one of its three driver files"
                 for name in sorted(set(files) - keyed)]
    return [f"{target.name}: {f}" for f in failures], installs


def check_target(inf, entries, target, package):
    """What the target installs from the INF: (failures, package paths)."""
    failures, installs = [], set()
    offered = False
    for entry in entries:
        models = models_for(entry, target)
        if not models or not inf.has(models):
            continue
        for line in inf.lines(models):
            fields = line.fields()
            if not line.key or not fields[0]:
                failures.append(f"line {line.number}: a printer needs a name and an "
                                "install section")
                continue
            offered = True
            section = install_variant(inf, fields[0], target)
            if not section:
                failures.append(f"line {line.number}: names section [{fields[0]}], "
                                "which does not exist")
                continue
            more, paths = check_install(inf, section, target, package)
            failures += more
            installs |= paths
    if not offered:
        failures.append(f"{target.name} is offered no printer")
    return failures, installs


def check_sources(inf, package):
    failures = []
    for section in [inf.names[k] for k in inf.sections if k.startswith("sourcedisksfiles")]:
        platform = section[len("SourceDisksFiles"):]
        for line in inf.lines(section):
            if not line.key:
                failures.append(f"line {line.number}: [{section}] has an entry without a disk")
                continue
            path, failure = line_path(inf, line, platform)
            if failure or not package.get(path):
                failures.append(failure or f"line {line.number}: [{section}] names {path}, "
                                           "which is not in the package")
    return failures


def catalog_entries(inf):
    """{lower-case key: line} of every CatalogFile entry in [Version]."""
    return {line.key.lower(): line for line in inf.lines("Version")
            if line.key and (line.key.lower() == "catalogfile"
                             or line.key.lower().startswith("catalogfile."))}


def check_catalog(inf):
    entries = catalog_entries(inf)
    failures = []
    for target in (t for t in TARGETS if t.version >= (5, 0)):
        keys = [f"catalogfile.nt{target.architecture}", "catalogfile.nt", "catalogfile"]
        if not any(k in entries for k in keys):
            failures.append(f"{target.name} reads no CatalogFile in [Version]: without a "
                            "catalog the package is unsigned")
    names = {}
    for key, line in entries.items():
        name = unquote(line.value)
        if not re.fullmatch(r"[^\\/:]+\.cat", name, re.I):
            failures.append(f"line {line.number}: {line.key}={line.value} is not a file "
                            "name ending in .cat")
        if key != "catalogfile" and name.lower() in names:
            failures.append(f"line {line.number}: {line.key} names {name}, which "
                            f"{names[name.lower()]} names too")
        names.setdefault(name.lower(), line.key)
    copied = {entry.key.lower() if entry.key else entry.fields()[0].lower()
              for section in inf.sections if section.startswith("sourcedisksfiles")
              for entry in inf.lines(section)}
    for section in (s for s in inf.sections if s not in ("version", "strings")):
        copied |= {entry.fields()[0].lower() for entry in inf.lines(section) if not entry.key}
    failures += [f"{name} is copied by a file list: setup takes the catalog from beside "
                 "the INF" for name in sorted(set(names) & copied)]
    return failures


def check_destinations(inf):
    return [f"line {line.number}: [DestinationDirs] names section [{line.key}], "
            "which does not exist"
            for line in inf.lines("DestinationDirs")
            if line.key and line.key.lower() != "defaultdestdir" and not inf.has(line.key)]


def check(inf, package, version):
    results = [("syntax", inf.failures), ("strings", resolve_strings(inf)),
               ("[Version]", check_version_section(inf, version))]
    entries, failures = manufacturers(inf)
    results.append(("manufacturers and models", failures))
    installed = set()
    for target in TARGETS:
        failures, paths = check_target(inf, entries, target, package)
        results.append((target.name, failures))
        installed |= paths
    results.append(("every installed file is installed",
                    [f"no target installs {package.files[p].path}"
                     for p in sorted(package.installed - installed)]))
    results.append(("destinations", check_destinations(inf)))
    results.append(("catalog", check_catalog(inf)))
    results.append(("source disks", check_sources(inf, package)))
    return results


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("--version", required=True, help="the project's version, X.Y.Z")
    parser.add_argument("inf")
    parser.add_argument("--installed", nargs="+", required=True,
                        help="the installed files, relative to the INF's folder")
    parser.add_argument("--documents", nargs="*", default=[],
                        help="the other files of the package, relative to the INF's folder")
    args = parser.parse_args(argv[1:])
    try:
        with open(args.inf, "rb") as source:
            text = source.read().decode("ascii")
    except (OSError, UnicodeDecodeError) as error:
        print(f"FAIL: cannot read {args.inf} as an ASCII INF: {error}")
        return 1
    package = Package(args.inf, args.installed, args.documents)
    missing = [f.path for f in package.files.values() if not os.path.isfile(f.real)]
    if missing:
        print(f"FAIL: the package has no {', '.join(missing)} beside {args.inf}")
        return 1
    results = check(Inf(text), package, args.version)
    for name, failures in results:
        print(f"ok: {name}" if not failures else "\n".join(f"FAIL: {f}" for f in failures))
    return 1 if any(failures for _, failures in results) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
