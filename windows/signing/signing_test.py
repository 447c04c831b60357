#!/usr/bin/env python3
"""Signs a copy of the built package the way the README tells an
organisation to, with certificates made here, and holds the result to what
other implementations and an independent reading of the files say:

- osslsigncode verifies every DLL's signature and the catalog's;
- the catalog's members are exactly the INF and the files it installs, each
  under SHA-1 and SHA-256, recomputed here with pefile's offsets (the
  Authenticode hash of a PE image) and hashlib (any other file), and each
  DLL's SHA-256 member is the digest its own signature carries;
- a DLL changed by one byte fails osslsigncode, and the catalog check names
  a file missing, extra or changed;
- bad certificates, keys and passwords are refused with one line and no
  signed folder; the unsigned package is left as it was.

  signing_test.py PACKAGE --installed i386/a.dll ... --documents install.txt LICENSE"""

import argparse
import datetime
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

import pefile
from asn1crypto import cms
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.serialization import pkcs12
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import catalog  # noqa: E402

SIGN = [sys.executable, os.path.join(HERE, "sign_package.py")]
CATALOG = [sys.executable, os.path.join(HERE, "catalog.py")]
NOW = datetime.datetime.utcnow()
DAY = datetime.timedelta(days=1)
PASSWORD = b"correct horse"


def certificate(folder, name, usages=(ExtendedKeyUsageOID.CODE_SIGNING,),
                valid=(NOW - DAY, NOW + 30 * DAY), key=None):
    """A self-signed certificate and its key, as PEM files; (cert, key)."""
    key = key or rsa.generate_private_key(public_exponent=65537, key_size=2048)
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name)])
    builder = (x509.CertificateBuilder().subject_name(subject).issuer_name(subject)
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(valid[0]).not_valid_after(valid[1]))
    if usages:
        builder = builder.add_extension(x509.ExtendedKeyUsage(list(usages)), critical=False)
    cert = builder.sign(key, hashes.SHA256())
    paths = (os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    with open(paths[0], "wb") as target:
        target.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(paths[1], "wb") as target:
        target.write(key.private_bytes(serialization.Encoding.PEM,
                                       serialization.PrivateFormat.PKCS8,
                                       serialization.NoEncryption()))
    return cert, key, paths


def pkcs12_file(folder, cert, key):
    path = os.path.join(folder, "organisation.p12")
    with open(path, "wb") as target:
        target.write(pkcs12.serialize_key_and_certificates(
            b"organisation", key, cert, None,
            serialization.BestAvailableEncryption(PASSWORD)))
    return path


def run(command, env=None):
    return subprocess.run([str(c) for c in command], capture_output=True, text=True,
                          env={**os.environ, **(env or {})})


def authenticode_digest(path, algorithm):
    """The Authenticode hash of a PE image from pefile's offsets."""
    pe = pefile.PE(path, fast_load=True)
    with open(path, "rb") as source:
        data = source.read()
    checksum = pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum")
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    table = security.VirtualAddress if security.Size else len(data)
    entry = security.get_file_offset()
    return hashlib.new(algorithm, data[:checksum] + data[checksum + 4:entry]
                       + data[entry + 8:table]).digest()


def signature_digest(path):
    """The digest the DLL's own Authenticode signature carries."""
    pe = pefile.PE(path, fast_load=True)
    security = pe.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]]
    with open(path, "rb") as source:
        source.seek(security.VirtualAddress + 8)  # past WIN_CERTIFICATE's header
        blob = source.read(security.Size - 8)
    signed = cms.ContentInfo.load(blob)["content"]
    indirect = signed["encap_content_info"]["content"].parse(catalog.SpcIndirectDataContent)
    return indirect["message_digest"]["digest"].native


def check_members(signed, installed, failures):
    ctl, signers = catalog.read(os.path.join(signed, "textrelay.cat"))
    if signers != 1:
        failures.append(f"the catalog has {signers} signers, not 1")
    members = {}
    for name, algorithm, digest, _, os_attribute in catalog.listed(ctl):
        members.setdefault(name, {})[algorithm] = digest
        # Only Windows 10 and 11 run ARM64 drivers; the rest take the
        # catalog's own list of versions.
        wanted = "2:10.0" if name.lower().startswith("arm64/") else None
        if os_attribute != wanted:
            failures.append(f"{name}: its {algorithm} member's OSAttr is {os_attribute}, "
                            f"not {wanted}")
    if set(members) != set(installed):
        failures.append(f"the catalog lists {sorted(members)}, not {sorted(installed)}")
    for name in installed:
        path = os.path.join(signed, name)
        for algorithm in ("sha1", "sha256"):
            if name.endswith(".dll"):
                wanted = authenticode_digest(path, algorithm)
            else:
                with open(path, "rb") as source:
                    wanted = hashlib.new(algorithm, source.read()).digest()
            if members.get(name, {}).get(algorithm) != wanted:
                failures.append(f"{name}: its {algorithm} member is not its hash")
        if name.endswith(".dll") and members.get(name, {}).get("sha256") != signature_digest(path):
            failures.append(f"{name}: its signature's digest is not its member")


def check_osslsigncode(signed, installed, ca, failures):
    for name in [n for n in installed if n.endswith(".dll")] + ["textrelay.cat"]:
        result = run(["osslsigncode", "verify", "-CAfile", ca, "-in", os.path.join(signed, name)])
        if result.returncode != 0 or "Signing time" not in result.stdout:
            failures.append(f"osslsigncode does not verify {name} with its signing time:\n"
                            f"{result.stdout}{result.stderr}")


def tampered(signed, folder, change):
    copy = os.path.join(folder, "tampered")
    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(signed, copy)
    change(copy)
    return copy


def flip_byte(path):
    pe = pefile.PE(path, fast_load=True)
    offset = pe.sections[0].PointerToRawData + 16
    with open(path, "r+b") as target:
        target.seek(offset)
        byte = target.read(1)[0]
        target.seek(offset)
        target.write(bytes([byte ^ 1]))


def check_tampering(signed, folder, dll, documents, failures):
    def copied_file(name, source):
        return lambda copy: shutil.copy(os.path.join(copy, source), os.path.join(copy, name))
    cases = [
        ("one byte of a DLL", lambda copy: flip_byte(os.path.join(copy, dll)),
         f"{dll}: changed"),
        ("a DLL gone", lambda copy: os.remove(os.path.join(copy, dll)),
         f"{dll}: missing from the package"),
        ("a DLL more", copied_file("i386/extra.dll", dll), "i386/extra.dll: extra"),
        ("the INF edited", lambda copy: open(os.path.join(copy, "textrelay.inf"), "ab").write(b";"),
         "textrelay.inf: changed"),
    ]
    for what, change, reason in cases:
        copy = tampered(signed, folder, change)
        result = run(CATALOG + ["verify", os.path.join(copy, "textrelay.inf"),
                                os.path.join(copy, "textrelay.cat"),
                                "--documents", *documents, "SHA256SUMS"])
        if result.returncode != 1 or reason not in result.stdout:
            failures.append(f"{what}: the catalog check says {result.returncode}, wanted 1 and "
                            f"'{reason}':\n{result.stdout}{result.stderr}")
        if what == "one byte of a DLL":
            result = run(["osslsigncode", "verify", "-in", os.path.join(copy, dll)])
            if result.returncode == 0:
                failures.append(f"osslsigncode verifies {dll} changed by one byte")


def check_refusals(package, folder, failures):
    keys = os.path.join(folder, "keys")
    os.makedirs(keys)
    _, _, plain = certificate(keys, "plain", usages=())
    _, _, server = certificate(keys, "server", usages=(ExtendedKeyUsageOID.SERVER_AUTH,))
    _, _, expired = certificate(keys, "expired", valid=(NOW - 30 * DAY, NOW - DAY))
    _, _, future = certificate(keys, "future", valid=(NOW + DAY, NOW + 30 * DAY))
    _, _, other = certificate(keys, "other")
    cert, key, _ = certificate(keys, "organisation")
    p12 = pkcs12_file(keys, cert, key)
    existing = os.path.join(folder, "existing")
    os.makedirs(existing)
    with open(os.path.join(existing, "kept"), "w") as target:
        target.write("an earlier signed package")
    cases = [
        ("no code-signing usage", ["--cert", plain[0], "--key", plain[1]], {},
         "is not for code signing"),
        ("another usage only", ["--cert", server[0], "--key", server[1]], {},
         "is not for code signing"),
        ("expired", ["--cert", expired[0], "--key", expired[1]], {}, "expired on"),
        ("not yet valid", ["--cert", future[0], "--key", future[1]], {}, "is not valid before"),
        ("key of another certificate", ["--cert", cert_path(keys, "organisation"), "--key", other[1]],
         {}, "is not the key of the certificate"),
        ("wrong password", ["--pkcs12", p12], {"TEXTRELAY_SIGNING_PASSWORD": "wrong"},
         "wrong password"),
        ("no password", ["--pkcs12", p12], {}, "wrong password"),
        ("key inside the package", ["--cert", plain[0], "--key", os.path.join(package, "LICENSE")],
         {}, "lies in a package"),
    ]
    for what, arguments, env, reason in cases:
        for output in (os.path.join(folder, "refused"), existing):
            result = run(SIGN + [package, "-o", output, *arguments], env)
            lines = result.stderr.splitlines()
            if result.returncode != 1 or len(lines) != 1 or reason not in lines[0]:
                failures.append(f"{what}: status {result.returncode}, wanted 1 and one line "
                                f"with '{reason}':\n{result.stderr}")
        if os.path.exists(os.path.join(folder, "refused")) or os.listdir(existing) != ["kept"]:
            failures.append(f"{what}: a signed folder was left behind or changed")
        stray = [n for n in os.listdir(folder) if n.startswith(".")]
        if stray:
            failures.append(f"{what}: left {stray} behind")
    return p12, cert_path(keys, "organisation")


def cert_path(folder, name):
    return os.path.join(folder, name + ".pem")


def digests(folder):
    return {name: hashlib.sha256(open(os.path.join(folder, name), "rb").read()).hexdigest()
            for name in catalog.folder_files(folder)}


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("package")
    parser.add_argument("--installed", nargs="+", required=True)
    parser.add_argument("--documents", nargs="*", default=[])
    args = parser.parse_args(argv[1:])
    installed = ["textrelay.inf", *args.installed]
    failures = []
    before = digests(args.package)
    with tempfile.TemporaryDirectory() as folder:
        p12, ca = check_refusals(args.package, folder, failures)
        signed = os.path.join(folder, "signed")
        for arguments, env in ((["--pkcs12", p12], {"TEXTRELAY_SIGNING_PASSWORD": PASSWORD.decode()}),
                               (["--self-signed", "textrelay test", "--key-dir",
                                 os.path.join(folder, "lab")], {})):
            result = run(SIGN + [args.package, "-o", signed, *arguments], env)
            if result.returncode != 0:
                failures.append(f"signing with {arguments[0]} fails:\n{result.stderr}")
                continue
            if arguments[0] == "--self-signed":
                ca = os.path.join(folder, "lab", "textrelay test.pem")
            check_osslsigncode(signed, installed, ca, failures)
            check_members(signed, installed, failures)
            sums = subprocess.run(["sha256sum", "--check", "--strict", "--quiet", "SHA256SUMS"],
                                  cwd=signed, capture_output=True)
            listed = sorted(l.split("  ", 1)[1] for l in open(
                os.path.join(signed, "SHA256SUMS")).read().splitlines())
            if sums.returncode != 0 or listed != sorted(catalog.folder_files(signed) - {"SHA256SUMS"}):
                failures.append("the signed package's SHA256SUMS does not hold or list every file")
        if os.path.isdir(signed):
            dll = next(n for n in installed if n.endswith(".dll"))
            check_tampering(signed, folder, dll, args.documents, failures)
    if digests(args.package) != before:
        failures.append(f"signing changed the unsigned package {args.package}")
    for failure in failures:
        print("FAIL:", failure)
    print("ok: signed, verified and every fault refused" if not failures
          else f"{len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
