#!/usr/bin/env python3
"""Checks a printer-class INF against the package it installs.

  check_inf.py --version X.Y.Z PACKAGE/textrelay.inf
               --installed textrelay.dll textrelayui.dll --documents install.txt LICENSE

The package is the INF, the installed files (which every printer the INF
offers must copy) and the documents (for the reader; the INF may copy them
but need not). The check holds when:
- [Version] is a Windows NT printer-class INF with a provider and a DriverVer
  whose date is a real day and whose version is the project's (X.Y.Z.0);
- every section it names exists: models sections (each decorated one the
  manufacturer line names, e.g. NTx86.5.1), install sections (each of the
  install section and its .NT* variants that exists is checked on its own),
  data sections, file-list sections, and the sections DestinationDirs names;
- every %string% it uses is defined in [Strings];
- each install section copies every installed file and copies only files of
  the package, each with a source disk that [SourceDisksNames] defines, and
  [SourceDisksFiles] names only files of the package;
- DriverFile names the graphics DLL (it exports DrvEnableDriver), ConfigFile
  the printer interface DLL (it exports DrvDocumentPropertySheets), DataFile
  a file of the package; all three are copied into the printer driver
  directory (dirid 66000).

Exit status: 0 when every check holds, 1 when one fails."""

import argparse
import datetime
import os
import re
import sys

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

    def variants(self, name):
        """The install section and each of its decorated variants that exists."""
        prefix = name.lower() + ".nt"
        return [self.names[key] for key in self.sections
                if key == name.lower() or key.startswith(prefix)]

    def decorated(self, base):
        """The section base and every base.DECORATION that exists."""
        prefix = base.lower() + "."
        return [self.names[key] for key in self.sections
                if key == base.lower() or key.startswith(prefix)]


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


def models_sections(inf):
    """(models section, where it is named) for each the manufacturers name."""
    if not inf.lines("Manufacturer"):
        return [], ["there is no [Manufacturer] section, or it is empty"]
    found, failures = [], []
    for line in inf.lines("Manufacturer"):
        fields = line.fields() if line.key else [unquote(line.value)]
        base, decorations = fields[0], [d for d in fields[1:] if d]
        for name in [f"{base}.{d}" for d in decorations] or [base]:
            if not inf.has(name):
                failures.append(f"line {line.number}: names section [{name}], which does not exist")
            else:
                found.append(name)
    return found, failures


def install_sections(inf, models):
    """The install sections (with their variants) that the models name."""
    found, failures = [], []
    for section in models:
        if not inf.lines(section):
            failures.append(f"[{section}] offers no printer")
        for line in inf.lines(section):
            fields = line.fields()
            if not line.key or not fields[0]:
                failures.append(f"line {line.number}: a printer needs a name and an install section")
                continue
            variants = inf.variants(fields[0])
            if not variants:
                failures.append(f"line {line.number}: names section [{fields[0]}], which does not exist")
            found.extend(v for v in variants if v not in found)
    return found, failures


class Package:
    def __init__(self, inf_path, installed, documents):
        self.paths = {os.path.basename(p).lower(): p for p in [inf_path, *installed, *documents]}
        self.installed = {os.path.basename(p).lower() for p in installed}

    def exports(self, name):
        try:
            pe = pefile.PE(self.paths[name.lower()], fast_load=True)
            pe.parse_data_directories(directories=[
                pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
        except (KeyError, OSError, pefile.PEFormatError):
            return set()
        exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
        return {s.name.decode() for s in exports.symbols if s.name} if exports else set()


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
    """{file: dirid} for every file the CopyFiles entries copy, and failures."""
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
    return files, failures


def check_driver_files(section, entries, files, package):
    failures = []
    kinds = {"driverfile": ("the graphics DLL", lambda n: GRAPHICS_EXPORTS <= package.exports(n)),
             "configfile": ("the printer interface DLL",
                            lambda n: INTERFACE_EXPORTS <= package.exports(n)),
             "datafile": ("a file of the package", lambda n: n.lower() in package.paths)}
    for key, (what, fits) in kinds.items():
        line = entries.get(key)
        if not line:
            failures.append(f"[{section}] has no {key}: the spooler needs all three driver files")
            continue
        name = line.value
        if not fits(name):
            failures.append(f"line {line.number}: {line.key} names {name}, which is not {what}")
        if name.lower() not in files:
            failures.append(f"line {line.number}: {line.key} names {name}, which [{section}] "
                            "does not copy")
        elif files[name.lower()] != PRINTER_DRIVER_DIRID:
            failures.append(f"line {line.number}: {name} goes to dirid {files[name.lower()]}, "
                            f"not the printer driver directory ({PRINTER_DRIVER_DIRID})")
    return failures


def check_install_section(inf, section, package):
    entries, failures = install_entries(inf, section)
    files, copy_failures = copied_files(inf, entries)
    failures += copy_failures
    failures += [f"[{section}] copies {name}, which is not in the package"
                 for name in sorted(files) if name not in package.paths]
    failures += [f"[{section}] does not copy {name}, a file of the package"
                 for name in sorted(package.installed - set(files))]
    failures += [f"[{section}] copies {name} with no destination in [DestinationDirs]"
                 for name, dirid in sorted(files.items()) if dirid is None]
    return failures + check_driver_files(section, entries, files, package), set(files)


def check_sources(inf, copied, package):
    failures = []
    disks = {}
    for section in inf.decorated("SourceDisksFiles"):
        suffix = section[len("SourceDisksFiles"):]
        names = {line.key for line in inf.lines("SourceDisksNames" + suffix) if line.key}
        names |= {line.key for line in inf.lines("SourceDisksNames") if line.key}
        for line in inf.lines(section):
            name = (line.key or line.value).lower()
            disks[name] = line
            if name not in package.paths:
                failures.append(f"line {line.number}: [{section}] names {name}, "
                                "which is not in the package")
            if not line.key or line.fields()[0] not in names:
                failures.append(f"line {line.number}: {name} is on a source disk that "
                                f"[SourceDisksNames{suffix}] does not define")
    failures += [f"{name} is copied but no [SourceDisksFiles] section names it"
                 for name in sorted(copied - set(disks))]
    return failures


def check_destinations(inf):
    return [f"line {line.number}: [DestinationDirs] names section [{line.key}], "
            "which does not exist"
            for line in inf.lines("DestinationDirs")
            if line.key and line.key.lower() != "defaultdestdir" and not inf.has(line.key)]


def check(inf, package, version):
    results = [("syntax", inf.failures), ("strings", resolve_strings(inf)),
               ("[Version]", check_version_section(inf, version))]
    models, failures = models_sections(inf)
    installs, install_failures = install_sections(inf, models)
    results.append(("manufacturers and models", failures + install_failures))
    copied = set()
    for section in installs:
        failures, files = check_install_section(inf, section, package)
        results.append((f"[{section}]", failures))
        copied |= files
    if not installs:
        results.append(("install sections", ["no printer is installed by any section"]))
    results.append(("destinations", check_destinations(inf)))
    results.append(("source disks", check_sources(inf, copied, package)))
    return results


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("--version", required=True, help="the project's version, X.Y.Z")
    parser.add_argument("inf")
    parser.add_argument("--installed", nargs="+", required=True)
    parser.add_argument("--documents", nargs="*", default=[])
    args = parser.parse_args(argv[1:])
    try:
        with open(args.inf, "rb") as source:
            text = source.read().decode("ascii")
    except (OSError, UnicodeDecodeError) as error:
        print(f"FAIL: cannot read {args.inf} as an ASCII INF: {error}")
        return 1
    results = check(Inf(text), Package(args.inf, args.installed, args.documents), args.version)
    for name, failures in results:
        print(f"ok: {name}" if not failures else "\n".join(f"FAIL: {f}" for f in failures))
    return 1 if any(failures for _, failures in results) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
