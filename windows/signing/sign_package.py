#!/usr/bin/env python3
"""Signs a staged driver package: an Authenticode signature on every DLL,
then the catalog over the signed files, signed too. The result goes to a
folder of its own with its own SHA256SUMS; the package it came from is not
touched.

  sign_package.py PACKAGE -o SIGNED (--pkcs12 FILE | --cert FILE --key FILE)
                  [--password-file FILE] [--digest sha256|sha1] [--timestamp URL]
  sign_package.py PACKAGE -o SIGNED --self-signed NAME [--key-dir DIR]

A password, where the key or PKCS #12 file has one, comes from
--password-file or from the environment variable TEXTRELAY_SIGNING_PASSWORD,
never from the command line. --self-signed makes (or, when DIR already has
them, reuses) a code-signing certificate NAME.cer/NAME.pem and its key
NAME.key in DIR (default: textrelay-signing in the current folder), which
may lie neither in the package nor in SIGNED.

Every signature carries its signing time; --timestamp adds an RFC 3161
countersignature from that authority, which keeps it valid after the
certificate expires. Bad input (a certificate without the code-signing
usage, expired or not yet valid, a key that is not the certificate's, a
wrong password) is one line on standard error and exit status 1, and
leaves SIGNED as it was."""

import argparse
import datetime
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.serialization import pkcs12
from cryptography.x509.oid import ExtendedKeyUsageOID, NameOID

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import catalog  # noqa: E402

PASSWORD_VARIABLE = "TEXTRELAY_SIGNING_PASSWORD"
DESCRIPTION = "textrelay printer driver"
SELF_SIGNED_YEARS = 3


class SigningError(Exception):
    pass


class Credentials:
    """The certificate (with its chain) and key as osslsigncode takes them,
    checked before anything is signed."""

    def __init__(self, certificate, arguments, password):
        self.certificate = certificate
        self.arguments = arguments
        self.password = password


def read_file(path, what):
    try:
        with open(path, "rb") as source:
            return source.read()
    except OSError as error:
        raise SigningError(f"cannot read the {what} {path}: {error.strerror}")


def load_password(args):
    if args.password_file:
        return read_file(args.password_file, "password file").rstrip(b"\r\n")
    value = os.environ.get(PASSWORD_VARIABLE)
    return value.encode() if value is not None else None


def load_pkcs12(path, password):
    data = read_file(path, "PKCS #12 file")
    try:
        key, certificate, _ = pkcs12.load_key_and_certificates(data, password)
    except ValueError:
        raise SigningError(f"cannot open the PKCS #12 file {path}: wrong password, or not "
                           f"PKCS #12 (the password comes from --password-file or "
                           f"{PASSWORD_VARIABLE})")
    if key is None or certificate is None:
        raise SigningError(f"the PKCS #12 file {path} lacks the certificate or its key")
    arguments = ["-pkcs12", path] + (["-readpass", "-"] if password else [])
    return key, certificate, Credentials(certificate, arguments, password)


def load_pem(cert_path, key_path, password):
    try:
        certificate = x509.load_pem_x509_certificate(read_file(cert_path, "certificate"))
    except ValueError:
        raise SigningError(f"the certificate file {cert_path} holds no PEM certificate")
    try:
        key = serialization.load_pem_private_key(read_file(key_path, "key"), password)
    except TypeError:
        raise SigningError(f"the key {key_path} is encrypted: give its password in "
                           f"--password-file or {PASSWORD_VARIABLE}")
    except ValueError:
        raise SigningError(f"cannot open the key {key_path}: wrong password, or not a PEM key")
    arguments = ["-certs", cert_path, "-key", key_path] + (["-readpass", "-"] if password else [])
    return key, certificate, Credentials(certificate, arguments, password)


def check_certificate(key, certificate, now):
    subject = certificate.subject.rfc4514_string()
    public = serialization.PublicFormat.SubjectPublicKeyInfo
    if key.public_key().public_bytes(serialization.Encoding.DER, public) != \
            certificate.public_key().public_bytes(serialization.Encoding.DER, public):
        raise SigningError(f"the key is not the key of the certificate {subject}")
    if now > certificate.not_valid_after:
        raise SigningError(f"the certificate {subject} expired on "
                           f"{certificate.not_valid_after:%Y-%m-%d %H:%M:%S} UTC")
    if now < certificate.not_valid_before:
        raise SigningError(f"the certificate {subject} is not valid before "
                           f"{certificate.not_valid_before:%Y-%m-%d %H:%M:%S} UTC")
    try:
        usages = certificate.extensions.get_extension_for_class(x509.ExtendedKeyUsage).value
    except x509.ExtensionNotFound:
        usages = []
    if ExtendedKeyUsageOID.CODE_SIGNING not in usages:
        raise SigningError(f"the certificate {subject} is not for code signing (its extended "
                           "key usage lacks 1.3.6.1.5.5.7.3.3)")


def make_self_signed(name, directory, now):
    """The certificate and key of NAME in directory, made when missing."""
    os.makedirs(directory, mode=0o700, exist_ok=True)
    base = os.path.join(directory, name)
    if os.path.exists(base + ".key"):
        return base + ".pem", base + ".key"
    key = rsa.generate_private_key(public_exponent=65537, key_size=3072)
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, name)])
    certificate = (
        x509.CertificateBuilder().subject_name(subject).issuer_name(subject)
        .public_key(key.public_key()).serial_number(x509.random_serial_number())
        .not_valid_before(now - datetime.timedelta(days=1))
        .not_valid_after(now + datetime.timedelta(days=365 * SELF_SIGNED_YEARS))
        .add_extension(x509.BasicConstraints(ca=False, path_length=None), critical=True)
        .add_extension(x509.KeyUsage(True, False, False, False, False, False, False, False, False),
                       critical=True)
        .add_extension(x509.ExtendedKeyUsage([ExtendedKeyUsageOID.CODE_SIGNING]), critical=False)
        .add_extension(x509.SubjectKeyIdentifier.from_public_key(key.public_key()), critical=False)
        .sign(key, hashes.SHA256()))
    descriptor = os.open(base + ".key", os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(descriptor, "wb") as target:
        target.write(key.private_bytes(serialization.Encoding.PEM,
                                       serialization.PrivateFormat.PKCS8,
                                       serialization.NoEncryption()))
    with open(base + ".pem", "wb") as target:
        target.write(certificate.public_bytes(serialization.Encoding.PEM))
    with open(base + ".cer", "wb") as target:
        target.write(certificate.public_bytes(serialization.Encoding.DER))
    print(f"made the code-signing certificate {base}.cer and its key {base}.key")
    return base + ".pem", base + ".key"


def inside(path, folder):
    path, folder = os.path.realpath(path), os.path.realpath(folder)
    return path == folder or path.startswith(folder + os.sep)


def osslsigncode(arguments, password, what):
    result = subprocess.run(["osslsigncode", *arguments], input=password or b"",
                            capture_output=True)
    if result.returncode != 0:
        lines = (result.stderr or result.stdout).decode(errors="replace").strip().splitlines()
        raise SigningError(f"osslsigncode could not sign {what}: "
                           f"{lines[-1] if lines else 'no reason given'}")


def sign_file(credentials, source, target, what, args):
    arguments = ["sign", *credentials.arguments, "-h", args.digest, "-n", DESCRIPTION]
    if args.timestamp:
        arguments += ["-ts", args.timestamp]
    osslsigncode(arguments + ["-in", source, "-out", target], credentials.password, what)


def write_sums(folder):
    names = sorted(os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "/")
                   for root, _, files in os.walk(folder) for name in files)
    lines = []
    for name in (n for n in names if n != "SHA256SUMS"):
        with open(os.path.join(folder, name), "rb") as source:
            lines.append(f"{hashlib.sha256(source.read()).hexdigest()}  {name}\n")
    with open(os.path.join(folder, "SHA256SUMS"), "w") as target:
        target.writelines(lines)


def find_inf(package):
    infs = [n for n in os.listdir(package) if n.lower().endswith(".inf")]
    if len(infs) != 1:
        raise SigningError(f"{package} is not a driver package: it holds "
                           f"{len(infs)} INF files, not one")
    return os.path.join(package, infs[0])


def catalog_name(inf_path):
    with open(inf_path, "rb") as source:
        inf = catalog.check_inf.Inf(source.read().decode("ascii"))
    line = inf.value("Version", "CatalogFile")
    if not line:
        raise SigningError(f"{inf_path} names no CatalogFile in [Version]")
    return catalog.check_inf.unquote(line.value)


def sign_into(stage, inf_name, credentials, args, now):
    inf_path = os.path.join(stage, inf_name)
    documents = catalog.folder_files(stage) - set(catalog.package_files(inf_path))
    for path in sorted(catalog.package_files(inf_path)):
        if path.lower().endswith(".dll"):
            target = os.path.join(stage, path)
            unsigned = target + ".unsigned"
            os.rename(target, unsigned)
            sign_file(credentials, unsigned, target, path, args)
            os.remove(unsigned)
    cat = os.path.join(stage, catalog_name(inf_path))
    with open(cat + ".unsigned", "wb") as target:
        target.write(catalog.build(inf_path, now.replace(tzinfo=datetime.timezone.utc)))
    sign_file(credentials, cat + ".unsigned", cat, os.path.basename(cat), args)
    os.remove(cat + ".unsigned")
    failures = catalog.verify(inf_path, cat, documents | {"SHA256SUMS"})
    if failures:
        raise SigningError(f"the signed catalog does not hold: {failures[0]}")
    write_sums(stage)


def replace_folder(stage, output):
    old = None
    if os.path.exists(output):
        old = tempfile.mkdtemp(prefix=".old-", dir=os.path.dirname(output))
        os.rename(output, os.path.join(old, "signed"))
    os.rename(stage, output)
    if old:
        shutil.rmtree(old)


def sign(args):
    now = datetime.datetime.utcnow()
    package = os.path.abspath(args.package)
    output = os.path.abspath(args.output)
    if inside(output, package) or inside(package, output):
        raise SigningError(f"the signed package {output} must be a folder of its own, "
                           f"apart from {package}")
    inf_path = find_inf(package)
    if args.self_signed:
        key_dir = os.path.abspath(args.key_dir)
        if inside(key_dir, package) or inside(key_dir, output):
            raise SigningError(f"the key folder {key_dir} may lie neither in the package "
                               "nor in the signed package")
        args.cert, args.key = make_self_signed(args.self_signed, key_dir, now)
    password = load_password(args)
    for path in (args.pkcs12, args.key):
        if path and (inside(path, package) or inside(path, output)):
            raise SigningError(f"the key {path} lies in a package: keep it elsewhere")
    key, certificate, credentials = (load_pkcs12(args.pkcs12, password) if args.pkcs12
                                     else load_pem(args.cert, args.key, password))
    check_certificate(key, certificate, now)
    os.makedirs(os.path.dirname(output), exist_ok=True)
    stage = tempfile.mkdtemp(prefix=".signing-", dir=os.path.dirname(output))
    try:
        staged = os.path.join(stage, "package")
        shutil.copytree(package, staged)
        stale_sums = os.path.join(staged, "SHA256SUMS")
        if os.path.exists(stale_sums):
            os.remove(stale_sums)
        sign_into(staged, os.path.basename(inf_path), credentials, args, now)
        replace_folder(staged, output)
    finally:
        shutil.rmtree(stage, ignore_errors=True)
    print(f"signed {package} into {output} as {certificate.subject.rfc4514_string()}")


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    parser.add_argument("package", help="the staged package (dist/)")
    parser.add_argument("-o", "--output", required=True, help="the signed package's folder")
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("--pkcs12", help="a PKCS #12 file with the certificate and key")
    source.add_argument("--cert", help="the certificate (PEM; its chain may follow it)")
    source.add_argument("--self-signed", metavar="NAME",
                        help="make or reuse a self-signed code-signing certificate NAME")
    parser.add_argument("--key", help="the certificate's private key (PEM), with --cert")
    parser.add_argument("--key-dir", default="textrelay-signing",
                        help="where --self-signed keeps its certificate and key")
    parser.add_argument("--password-file", help="the key's or PKCS #12 file's password")
    parser.add_argument("--digest", choices=("sha256", "sha1"), default="sha256",
                        help="the signatures' digest (sha1 for Windows 2000 and XP before SP3)")
    parser.add_argument("--timestamp", metavar="URL", help="an RFC 3161 time-stamp authority")
    args = parser.parse_args(argv[1:])
    if bool(args.cert) != bool(args.key):
        parser.error("--cert and --key go together")
    try:
        sign(args)
    except (SigningError, catalog.CatalogError) as error:
        print(f"sign_package: {error}", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"sign_package: {error.filename or args.output}: {error.strerror}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
