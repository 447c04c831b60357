#!/usr/bin/env python3
"""Signs a copy of the built package with a self-signed certificate and has
Wine's wintrust and crypt32 (an implementation nobody here wrote) read it,
in a private prefix of the test's own:

- CryptCATOpen and CryptCATEnumerateMember list exactly the members the
  package's files call for: every file under SHA-1 and SHA-256, PE images
  by their Authenticode hash (recomputed here with pefile), tags that are
  their digests;
- with the certificate in the machine's Root and TrustedPublisher stores,
  the signer's chain ends in a trusted root, and WinVerifyTrust answers 0
  for the catalog and for every signed DLL; a catalog whose signature is
  broken, and a DLL changed by one byte, are refused;
- every file is a member of the catalog, looked up by what Wine computes.

Wine 8.0's limits, and how the test works around them:
- its WinVerifyTrust does not check that a file is a member of a catalog,
  and it has no CryptCATAdminCalcHashFromFileHandle2; so membership is
  checked here, from the digest in each DLL's own verified signature (the
  Authenticode hash, which Windows looks a PE image up by) and from
  CryptCATAdminCalcHashFromFileHandle's hash for other files;
- that hash is SHA-1 over the whole file even for PE images, where Windows
  uses the Authenticode hash, so it is asked only about the other files;
- its Authenticode policy accepts a chain that ends in an untrusted root,
  so whether the root is trusted is asked of the base chain policy.

  wine_catalog_test.py PACKAGE --installed i386/a.dll ... --documents install.txt LICENSE"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(0, str(HERE.parents[1] / "tests" / "wine"))
import catalog  # noqa: E402
import signing_test  # noqa: E402
import wine_prefix  # noqa: E402

OIDS = {"sha1": catalog.OID_SHA1, "sha256": catalog.OID_SHA256}
TRUST_E_NOSIGNATURE_OR_WORSE = "not 00000000"
CERT_E_UNTRUSTEDROOT = "800b0109"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Probe:
    def __init__(self, prefix, program):
        self.prefix = prefix
        self.program = program

    def ask(self, command, path):
        """(exit status, the words of its output's last line)."""
        result = self.prefix.run([self.program, command, windows_path(path)])
        lines = result.stdout.split("\n")
        words = [l.split() for l in lines if l.strip()]
        return result.returncode, words


def expected_members(signed, installed):
    """{(algorithm OID, digest hex): (file, subject type)} from the files."""
    members = {}
    for name in installed:
        path = signed / name
        for algorithm, oid in OIDS.items():
            if name.endswith(".dll"):
                digest = signing_test.authenticode_digest(str(path), algorithm)
                subject = catalog.SIP_PE_IMAGE
            else:
                digest = hashlib.new(algorithm, path.read_bytes()).digest()
                subject = catalog.SIP_FLAT_IMAGE
            members[(oid, digest.hex())] = (name, subject)
    return members


def check_members(probe, signed, installed, failures):
    status, lines = probe.ask("members", signed / "textrelay.cat")
    listed = {}
    for words in lines:
        tag, oid, digest, subject = words[1:5]
        if tag != digest.upper():
            failures.append(f"member {tag}: its tag is not its digest {digest}")
        listed[(oid, digest)] = subject
    wanted = expected_members(signed, installed)
    if status != 0 or set(listed) != set(wanted) or len(lines) != len(wanted):
        failures.append(f"CryptCATEnumerateMember lists {sorted(listed)} (status {status}), "
                        f"not {sorted(wanted)}")
    for key, (name, subject) in wanted.items():
        if key in listed and listed[key] != subject:
            failures.append(f"{name}: its member's subject type is {listed[key]}, not {subject}")
    return set(listed)


def expect(probe, command, path, answer, failures, what):
    status, lines = probe.ask(command, path)
    said = lines[-1][-1] if lines else f"nothing (status {status})"
    good = said != "00000000" if answer == TRUST_E_NOSIGNATURE_OR_WORSE else said == answer
    if not good:
        failures.append(f"{what}: {command} answers {said}, wanted {answer}")


def check_membership(probe, signed, names, members, failures):
    for name in names:
        if name.endswith(".dll"):
            status, lines = probe.ask("digest", signed / name)
            key = (lines[-1][1], lines[-1][2]) if status == 0 else None
        else:
            status, lines = probe.ask("hash", signed / name)
            key = (catalog.OID_SHA1, lines[-1][1]) if status == 0 else None
        if key not in members:
            failures.append(f"{name}: not a member of the catalog by what Wine computes "
                            f"({' '.join(lines[-1]) if lines else status})")


def broken_signature(signed, folder):
    """A copy of the catalog with one bit of its signature value flipped
    (the last bytes of a catalog without unsigned attributes)."""
    broken = folder / "broken.cat"
    data = bytearray((signed / "textrelay.cat").read_bytes())
    data[-8] ^= 1
    broken.write_bytes(data)
    return broken


def run_checks(probe, signed, installed, certificate, folder, failures):
    members = check_members(probe, signed, installed, failures)
    expect(probe, "chain", signed / "textrelay.cat", CERT_E_UNTRUSTEDROOT, failures,
           "before the certificate is trusted")
    status, _ = probe.ask("trust", certificate)
    if status != 0:
        failures.append(f"cannot add the certificate to Root and TrustedPublisher ({status})")
    expect(probe, "chain", signed / "textrelay.cat", "00000000", failures, "trusted root")
    for name in ["textrelay.cat"] + [n for n in installed if n.endswith(".dll")]:
        expect(probe, "verify", signed / name, "00000000", failures, name)
    expect(probe, "verify", broken_signature(signed, folder), TRUST_E_NOSIGNATURE_OR_WORSE,
           failures, "a catalog with a broken signature")
    check_membership(probe, signed, installed, members, failures)
    dll = next(n for n in installed if n.endswith(".dll"))
    changed = folder / "changed.dll"
    shutil.copy(signed / dll, changed)
    signing_test.flip_byte(str(changed))
    expect(probe, "verify", changed, TRUST_E_NOSIGNATURE_OR_WORSE, failures,
           f"{dll} changed by one byte")
    status, _ = probe.ask("digest", changed)
    if status == 0:
        failures.append(f"{dll} changed by one byte still yields a verified digest")


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("package")
    parser.add_argument("--installed", nargs="+", required=True)
    parser.add_argument("--documents", nargs="*", default=[])
    args = parser.parse_args(argv[1:])
    installed = ["textrelay.inf", *args.installed]
    failures = []
    with tempfile.TemporaryDirectory() as temporary:
        folder = Path(temporary)
        signed = folder / "signed"
        result = subprocess.run([sys.executable, str(HERE / "sign_package.py"), args.package,
                                 "-o", str(signed), "--self-signed", "textrelay wine test",
                                 "--key-dir", str(folder / "lab")], capture_output=True, text=True)
        if result.returncode != 0:
            print(f"FAIL: cannot sign the package:\n{result.stderr}")
            return 1
        try:
            program = wine_prefix.compile_program([HERE / "wine" / "catalog_probe.cpp"],
                                                  folder / "catalog_probe.exe",
                                                  libs=["wintrust", "crypt32", "ole32"])
            with wine_prefix.WinePrefix.fresh(folder / "wine") as prefix:
                run_checks(Probe(prefix, program), signed, installed,
                           folder / "lab" / "textrelay wine test.cer", folder, failures)
        except (wine_prefix.WineError, subprocess.TimeoutExpired) as error:
            failures.append(str(error))
    for failure in failures:
        print("FAIL:", failure)
    print("ok: Wine reads the catalog and trusts the signed package" if not failures
          else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
