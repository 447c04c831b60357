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
NOT_ZERO = "not 00000000"
CERT_E_UNTRUSTEDROOT = "800b0109"


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


class Probe:
    """Runs catalog_probe once for a batch of questions; each starts a
    process in the prefix, which takes seconds."""

    def __init__(self, prefix, program):
        self.prefix = prefix
        self.program = program

    def ask_all(self, questions):
        """[(status, [words of each output line])] for each (command, path)."""
        command = [self.program]
        for name, path in questions:
            command += [name, windows_path(path)]
        result = self.prefix.run(command)
        answers, lines = [], []
        for words in (l.split() for l in result.stdout.splitlines() if l.strip()):
            if words[0] == "status":
                answers.append((int(words[1]), lines))
                lines = []
            else:
                lines.append(words)
        if len(answers) != len(questions):
            raise wine_prefix.WineError(f"catalog_probe answered {len(answers)} of "
                                        f"{len(questions)} questions:\n{result.stderr}")
        return answers


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


def check_members(answer, signed, installed, failures):
    status, lines = answer
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


def said(answer, wanted, failures, what):
    status, lines = answer
    word = lines[-1][-1] if lines else f"nothing (status {status})"
    if (word == "00000000") != (wanted == "00000000") or (wanted != NOT_ZERO and word != wanted):
        failures.append(f"{what}: answers {word}, wanted {wanted}")


def member_key(name, answer):
    """The catalog key of what Wine computes for a file: the digest in a
    DLL's verified signature, the flat SHA-1 of anything else."""
    status, lines = answer
    if status != 0:
        return None
    if name.endswith(".dll"):
        return lines[-1][1], lines[-1][2]
    return catalog.OID_SHA1, lines[-1][1]


def broken_signature(signed, folder):
    """A copy of the catalog with one bit of its signature value flipped
    (the last bytes of a catalog without unsigned attributes)."""
    broken = folder / "broken.cat"
    data = bytearray((signed / "textrelay.cat").read_bytes())
    data[-8] ^= 1
    broken.write_bytes(data)
    return broken


def run_checks(probe, signed, installed, certificate, folder, failures):
    cat = signed / "textrelay.cat"
    dlls = [n for n in installed if n.endswith(".dll")]
    changed = folder / "changed.dll"
    shutil.copy(signed / dlls[0], changed)
    signing_test.flip_byte(str(changed))
    listing, untrusted = probe.ask_all([("members", cat), ("chain", cat)])
    members = check_members(listing, signed, installed, failures)
    said(untrusted, CERT_E_UNTRUSTEDROOT, failures, "the root before it is trusted")
    # Its own process: the chain engine reads the Root store once.
    if probe.ask_all([("trust", certificate)])[0][0] != 0:
        failures.append("cannot add the certificate to Root and TrustedPublisher")
    verified = [(n, "verify", signed / n) for n in ["textrelay.cat", *dlls]]
    lookups = [(n, "digest" if n.endswith(".dll") else "hash", signed / n) for n in installed]
    faults = [("a catalog with a broken signature", "verify", broken_signature(signed, folder)),
              (f"{dlls[0]} changed by one byte", "verify", changed),
              (f"{dlls[0]} changed by one byte", "digest", changed)]
    questions = [("trusted root", "chain", cat)] + verified + lookups + faults
    answers = probe.ask_all([(command, path) for _, command, path in questions])
    said(answers[0], "00000000", failures, "the trusted root")
    for (name, _, _), answer in zip(verified, answers[1:]):
        said(answer, "00000000", failures, f"WinVerifyTrust over {name}")
    for (name, _, _), answer in zip(lookups, answers[1 + len(verified):]):
        if member_key(name, answer) not in members:
            failures.append(f"{name}: not a member of the catalog by what Wine computes "
                            f"({answer})")
    for (what, command, _), answer in zip(faults, answers[-len(faults):]):
        if answer[0] == 0 and (command == "digest" or answer[1][-1][-1] == "00000000"):
            failures.append(f"{what}: {command} accepts it")


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
