#!/usr/bin/env python3
"""The driver package's catalog: a PKCS #7 SignedData whose content is a
certificate trust list with one member per file the INF copies or is, under
the hash by which the platform looks the file up.

  catalog.py build PACKAGE/textrelay.inf -o textrelay.cat
  catalog.py verify PACKAGE/textrelay.inf textrelay.cat
  catalog.py show textrelay.cat

`build` writes the catalog without a signature (osslsigncode signs it);
`verify` holds a package against a catalog and names every file that is
missing, extra or changed; `show` lists the catalog's attributes and members.

Every file gets two members: one under SHA-1, which Windows 2000, XP, Vista
and 7 look files up by (they read SHA-256 members only with the SHA-2
updates), and one under SHA-256 for Windows 8 and later. A PE image is
hashed as Authenticode hashes it, leaving out the checksum, the certificate
table's directory entry and the certificate table, so that signing a DLL
does not change its members; any other file is hashed whole. The catalog
names the versions it serves (OSAttr, OS); a file that only ARM64 Windows
installs names Windows 10 and 11 in its members' own OSAttr.

Exit status: 0 when it holds, 1 when the package or catalog is refused."""

import argparse
import datetime
import hashlib
import os
import struct
import sys

from asn1crypto import algos, cms, core, x509

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "checks"))
import check_inf  # noqa: E402  (the INF reader the package checks use)

# Object identifiers, each with where it is defined.
OID_SIGNED_DATA = "1.2.840.113549.1.7.2"           # RFC 2315 (PKCS #7), signedData
OID_CTL = "1.3.6.1.4.1.311.10.1"                   # wincrypt.h, szOID_CTL
OID_CATALOG_LIST = "1.3.6.1.4.1.311.12.1.1"        # mscat.h, szOID_CATALOG_LIST
OID_CATALOG_LIST_MEMBER = "1.3.6.1.4.1.311.12.1.2"  # mscat.h, szOID_CATALOG_LIST_MEMBER
OID_CAT_NAMEVALUE = "1.3.6.1.4.1.311.12.2.1"       # mscat.h, CAT_NAMEVALUE_OBJID
OID_CAT_MEMBERINFO = "1.3.6.1.4.1.311.12.2.2"      # mscat.h, CAT_MEMBERINFO_OBJID
OID_SPC_INDIRECT_DATA = "1.3.6.1.4.1.311.2.1.4"    # wintrust.h, SPC_INDIRECT_DATA_OBJID
OID_SPC_PE_IMAGE_DATA = "1.3.6.1.4.1.311.2.1.15"   # wintrust.h, SPC_PE_IMAGE_DATA_OBJID
OID_SPC_CAB_DATA = "1.3.6.1.4.1.311.2.1.25"        # wintrust.h, SPC_CAB_DATA_OBJID (flat files)
OID_SHA1 = "1.3.14.3.2.26"                         # wincrypt.h szOID_OIWSEC_sha1; RFC 3279
OID_SHA256 = "2.16.840.1.101.3.4.2.1"              # wincrypt.h szOID_NIST_sha256; RFC 5754

# The subject interface packages that hash a member (mssip.h's subject
# types, as the catalog's member info names them): PE images by their
# Authenticode hash, anything else whole.
SIP_PE_IMAGE = "{C689AAB8-8E78-11D0-8C47-00C04FC295EE}"
SIP_FLAT_IMAGE = "{DE351A42-8E59-11D0-8C47-00C04FC295EE}"
# CAT_MEMBERINFO's certificate version as the platform's catalog tool
# writes it.
MEMBER_CERT_VERSION = 512
# CRYPTCAT_ATTR_AUTHENTICATED | CRYPTCAT_ATTR_DATAASCII |
# CRYPTCAT_ATTR_NAMEASCII (mscat.h): a signed attribute with a plain name
# and a plain text value.
ATTRIBUTE_FLAGS = 0x10010001
# The Authenticode link text of a member that has no file link.
OBSOLETE = "<<<Obsolete>>>"
HASHES = ("sha1", "sha256")

# The platforms the INF serves that read catalogs (NT 4.0 does not), as
# the OSAttr attribute names them: 2 (VER_PLATFORM_WIN32_NT):major.minor.
OS_ATTRIBUTE = "2:5.0,2:5.1,2:5.2,2:6.0,2:6.1,2:6.2,2:6.3,2:10.0"
OS_NAMES = ("2000,XP_X86,XP_X64,Server2003_X86,Server2003_X64,Vista_X86,Vista_X64,"
            "7_X86,7_X64,8_X86,8_X64,8.1_X86,8.1_X64,10_X86,10_X64,10_ARM64")
# The files that only some of those versions install say which in their own
# members' OSAttr: ARM64 Windows is 10.0 and later (11 reports 10.0 too).
# Keyed by the INF's source disk list that alone names the file.
MEMBER_OS_ATTRIBUTES = {".arm64": "2:10.0"}


class SpcString(core.Choice):
    _alternatives = [("unicode", core.BMPString, {"implicit": 0}),
                     ("ascii", core.IA5String, {"implicit": 1})]


class SpcLink(core.Choice):
    _alternatives = [("url", core.IA5String, {"implicit": 0}),
                     ("moniker", core.Any, {"implicit": 1}),
                     ("file", SpcString, {"explicit": 2})]


class SpcPeImageData(core.Sequence):
    _fields = [("flags", core.BitString),
               ("file", SpcLink, {"explicit": 0, "optional": True})]


class SpcDataType(core.ObjectIdentifier):
    _map = {OID_SPC_PE_IMAGE_DATA: "pe_image_data", OID_SPC_CAB_DATA: "flat_data"}


class SpcAttributeTypeAndOptionalValue(core.Sequence):
    _fields = [("type", SpcDataType), ("value", core.Any, {"optional": True})]
    _oid_pair = ("type", "value")
    _oid_specs = {"pe_image_data": SpcPeImageData, "flat_data": SpcLink}


class DigestInfo(core.Sequence):
    _fields = [("digest_algorithm", algos.DigestAlgorithm), ("digest", core.OctetString)]


class SpcIndirectDataContent(core.Sequence):
    _fields = [("data", SpcAttributeTypeAndOptionalValue), ("message_digest", DigestInfo)]


class CatMemberInfo(core.Sequence):
    _fields = [("subject_guid", core.BMPString), ("cert_version", core.Integer)]


class CatNameValue(core.Sequence):
    _fields = [("tag", core.BMPString), ("flags", core.Integer), ("value", core.OctetString)]


class SetOfIndirectData(core.SetOf):
    _child_spec = SpcIndirectDataContent


class SetOfMemberInfo(core.SetOf):
    _child_spec = CatMemberInfo


class SetOfNameValue(core.SetOf):
    _child_spec = CatNameValue


class MemberAttributeType(core.ObjectIdentifier):
    _map = {OID_SPC_INDIRECT_DATA: "indirect_data", OID_CAT_MEMBERINFO: "member_info",
            OID_CAT_NAMEVALUE: "name_value"}


class MemberAttribute(core.Sequence):
    _fields = [("type", MemberAttributeType), ("values", None)]
    _oid_specs = {"indirect_data": SetOfIndirectData, "member_info": SetOfMemberInfo,
                  "name_value": SetOfNameValue}

    def _values_spec(self):
        return self._oid_specs.get(self["type"].native, cms.SetOfAny)

    _spec_callbacks = {"values": _values_spec}


class MemberAttributes(core.SetOf):
    _child_spec = MemberAttribute


class TrustedSubject(core.Sequence):
    _fields = [("identifier", core.OctetString),
               ("attributes", MemberAttributes, {"optional": True})]


class TrustedSubjects(core.SequenceOf):
    _child_spec = TrustedSubject


class CatalogExtensionId(core.ObjectIdentifier):
    _map = {OID_CAT_NAMEVALUE: "name_value"}


class CatalogExtension(core.Sequence):
    _fields = [("extn_id", CatalogExtensionId),
               ("critical", core.Boolean, {"default": False}),
               ("extn_value", core.ParsableOctetString)]
    _oid_pair = ("extn_id", "extn_value")
    _oid_specs = {"name_value": CatNameValue}


class CatalogExtensions(core.SequenceOf):
    _child_spec = CatalogExtension


class SubjectUsage(core.SequenceOf):
    _child_spec = core.ObjectIdentifier


class CertificateTrustList(core.Sequence):
    """CTL as wincrypt.h's CTL_INFO encodes it (its version, v1, left to
    its default)."""
    _fields = [("subject_usage", SubjectUsage),
               ("list_identifier", core.OctetString, {"optional": True}),
               ("sequence_number", core.Integer, {"optional": True}),
               ("this_update", x509.Time),
               ("next_update", x509.Time, {"optional": True}),
               ("subject_algorithm", algos.DigestAlgorithm),
               ("trusted_subjects", TrustedSubjects, {"optional": True}),
               ("extensions", CatalogExtensions, {"explicit": 0, "optional": True})]


class CtlContentType(core.ObjectIdentifier):
    _map = {OID_CTL: "certificate_trust_list"}


class CtlContentInfo(core.Sequence):
    """PKCS #7's ContentInfo, whose content is the CTL itself rather than
    CMS's octet string around it."""
    _fields = [("content_type", CtlContentType),
               ("content", core.Any, {"explicit": 0, "optional": True})]
    _oid_pair = ("content_type", "content")
    _oid_specs = {"certificate_trust_list": CertificateTrustList}


class CatalogSignedData(core.Sequence):
    _fields = [("version", cms.CMSVersion),
               ("digest_algorithms", cms.DigestAlgorithms),
               ("content_info", CtlContentInfo),
               ("certificates", cms.CertificateSet, {"implicit": 0, "optional": True}),
               ("crls", cms.RevocationInfoChoices, {"implicit": 1, "optional": True}),
               ("signer_infos", cms.SignerInfos)]


class CatalogContentType(core.ObjectIdentifier):
    _map = {OID_SIGNED_DATA: "signed_data"}


class Catalog(core.Sequence):
    _fields = [("content_type", CatalogContentType),
               ("content", core.Any, {"explicit": 0})]
    _oid_pair = ("content_type", "content")
    _oid_specs = {"signed_data": CatalogSignedData}


class CatalogError(Exception):
    pass


def authenticode_ranges(data):
    """The byte ranges of a PE image that its Authenticode hash covers, or
    None when data is not a PE image: all of it but the checksum, the
    certificate table's directory entry and the certificate table."""
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if pe + 24 > len(data) or data[pe:pe + 4] != b"PE\0\0":
        return None
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -1)
    if directories < optional or directories + 5 * 8 > len(data):
        raise CatalogError("a PE image whose optional header is cut or unknown")
    checksum = optional + 64
    security = directories + 4 * 8
    table, size = struct.unpack_from("<II", data, security)
    end = len(data)
    if size:
        if table + size != len(data):
            raise CatalogError("a PE image whose certificate table does not end the file")
        end = table
    return [(0, checksum), (checksum + 4, security), (security + 8, end)]


def file_digest(data):
    """{algorithm: digest} of one file and whether it is a PE image."""
    ranges = authenticode_ranges(data)
    digests = {}
    for algorithm in HASHES:
        h = hashlib.new(algorithm)
        for start, end in ranges or [(0, len(data))]:
            h.update(data[start:end])
        digests[algorithm] = h.digest()
    return digests, ranges is not None


def package_files(inf_path):
    """{package path: real path} of the INF and every file its source disk
    lists copy, as the package's checks read them."""
    return {path: real for path, (real, _) in package_platforms(inf_path).items()}


def package_platforms(inf_path):
    """{package path: (real path, the platforms of the source disk lists
    that name it: "" for the undecorated one, ".amd64", ...)}."""
    with open(inf_path, "rb") as source:
        inf = check_inf.Inf(source.read().decode("ascii"))
    failures = check_inf.resolve_strings(inf)
    if failures or inf.failures:
        raise CatalogError(f"{inf_path}: {(failures + inf.failures)[0]}")
    root = os.path.dirname(os.path.abspath(inf_path))
    files = {os.path.basename(inf_path): (inf_path, {""})}
    for key in [k for k in inf.sections if k.startswith("sourcedisksfiles")]:
        platform = inf.names[key][len("SourceDisksFiles"):]
        for line in inf.lines(key):
            path, failure = check_inf.line_path(inf, line, platform)
            if failure:
                raise CatalogError(f"{inf_path}: {failure}")
            files.setdefault(path, (os.path.join(root, path), set()))[1].add(platform.lower())
    return files


def member_os_attribute(platforms):
    """The OSAttr of a file's own members: None where the catalog's holds."""
    only = next(iter(platforms)) if len(platforms) == 1 else None
    return MEMBER_OS_ATTRIBUTES.get(only)


def tag(digest):
    """A member's tag: its digest in upper-case hex, as a NUL-terminated
    UTF-16LE string."""
    return (digest.hex().upper() + "\0").encode("utf-16-le")


def name_value(name, value):
    return CatNameValue({"tag": name, "flags": ATTRIBUTE_FLAGS,
                         "value": (value + "\0").encode("utf-16-le")})


def member(path, digest, algorithm, pe_image, os_attribute):
    data = (SpcAttributeTypeAndOptionalValue(
                {"type": "pe_image_data",
                 "value": SpcPeImageData({"flags": core.BitString(()),
                                          "file": SpcLink(name="file", value=SpcString(
                                              name="unicode", value=OBSOLETE))})})
            if pe_image else
            SpcAttributeTypeAndOptionalValue(
                {"type": "flat_data",
                 "value": SpcLink(name="file", value=SpcString(name="unicode", value=OBSOLETE))}))
    indirect = SpcIndirectDataContent({
        "data": data,
        "message_digest": {"digest_algorithm": {"algorithm": algorithm, "parameters": core.Null()},
                           "digest": digest}})
    info = CatMemberInfo({"subject_guid": SIP_PE_IMAGE if pe_image else SIP_FLAT_IMAGE,
                          "cert_version": MEMBER_CERT_VERSION})
    attributes = [
        {"type": "name_value", "values": [name_value("File", path.replace("/", "\\"))]},
        {"type": "member_info", "values": [info]},
        {"type": "indirect_data", "values": [indirect]}]
    if os_attribute:
        attributes.insert(1, {"type": "name_value", "values": [name_value("OSAttr", os_attribute)]})
    return TrustedSubject({"identifier": tag(digest), "attributes": attributes})


def members(files):
    """The members of every file ({path: (real path, platforms)}), in the
    order of their tags."""
    found = []
    for path in sorted(files):
        real, platforms = files[path]
        try:
            with open(real, "rb") as source:
                data = source.read()
        except OSError as error:
            raise CatalogError(f"{path}: missing from the package ({error.strerror})")
        try:
            digests, pe_image = file_digest(data)
        except CatalogError as error:
            raise CatalogError(f"{path}: {error}")
        for algorithm in HASHES:
            found.append(member(path, digests[algorithm], algorithm, pe_image,
                                member_os_attribute(platforms)))
    return sorted(found, key=lambda m: m["identifier"].native)


def build(inf_path, when):
    subjects = members(package_platforms(inf_path))
    identifier = hashlib.sha256(b"".join(s["identifier"].native for s in subjects)).digest()[:16]
    ctl = CertificateTrustList({
        "subject_usage": [OID_CATALOG_LIST],
        "list_identifier": identifier,
        "this_update": x509.Time(name="utc_time", value=when),
        "subject_algorithm": {"algorithm": OID_CATALOG_LIST_MEMBER, "parameters": core.Null()},
        "trusted_subjects": subjects,
        "extensions": [
            {"extn_id": "name_value", "extn_value": name_value("OSAttr", OS_ATTRIBUTE)},
            {"extn_id": "name_value", "extn_value": name_value("OS", OS_NAMES)}]})
    signed = CatalogSignedData({
        "version": "v1",
        "digest_algorithms": [{"algorithm": "sha256"}],
        "content_info": {"content_type": "certificate_trust_list", "content": ctl},
        "signer_infos": []})
    return Catalog({"content_type": "signed_data", "content": signed}).dump(force=True)


def read(path):
    """The catalog's CTL and its signer count."""
    try:
        with open(path, "rb") as source:
            catalog = Catalog.load(source.read())
        signed = catalog["content"]
        ctl = signed["content_info"]["content"]
        ctl.native  # parses every member now, so that a broken one fails here
    except (OSError, ValueError, TypeError, KeyError) as error:
        raise CatalogError(f"{path}: not a catalog ({error})")
    if catalog["content_type"].native != "signed_data" \
            or signed["content_info"]["content_type"].native != "certificate_trust_list" \
            or ctl["subject_usage"].native != [OID_CATALOG_LIST]:
        raise CatalogError(f"{path}: not a catalog (no catalog list in a SignedData)")
    return ctl, len(signed["signer_infos"])


def member_names(subject):
    """{name: text} of a member's name-value attributes (File, OSAttr)."""
    return {v["tag"].native: v["value"].native.decode("utf-16-le").rstrip("\0")
            for a in subject["attributes"] if a["type"].native == "name_value"
            for v in a["values"]}


def listed(ctl):
    """[(file name, algorithm, digest, tag, OSAttr or None)] of every member."""
    entries = []
    for subject in ctl["trusted_subjects"]:
        values = {}
        for a in subject["attributes"]:
            values.setdefault(a["type"].native, []).extend(a["values"])
        if any(len(values.get(t, [])) != 1 for t in ("member_info", "indirect_data")):
            raise CatalogError("a member without exactly one member info and one indirect data")
        digest = values["indirect_data"][0]["message_digest"]
        names = member_names(subject)
        entries.append((names.get("File", "?").replace("\\", "/"),
                        digest["digest_algorithm"]["algorithm"].native,
                        digest["digest"].native, subject["identifier"].native,
                        names.get("OSAttr")))
    return entries


def folder_files(root):
    return {os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
            for folder, _, names in os.walk(root) for name in names}


def verify(inf_path, catalog_path, documents=()):
    """Failures, each naming a file: missing (the INF copies it, or the
    catalog lists it, and the package lacks it), extra (in the package
    without a member, other than the catalog and the documents) or changed
    (its hash is not its member's)."""
    ctl, _ = read(catalog_path)
    found = {}
    failures = []
    for name, algorithm, digest, identifier, _ in listed(ctl):
        if identifier != tag(digest):
            failures.append(f"{name}: its member's tag is not its digest")
        found.setdefault(name.lower(), {})[algorithm] = digest
    root = os.path.dirname(os.path.abspath(inf_path))
    # Windows compares file names without regard to case.
    present = {path.lower(): path for path in folder_files(root)}
    copied = {path.lower(): path for path in package_files(inf_path)}
    unlisted = {os.path.relpath(os.path.abspath(catalog_path), root).replace(os.sep, "/").lower(),
                *(d.lower() for d in documents)}
    for key in sorted(set(present) | set(copied)):
        path = present.get(key) or copied[key]
        if key not in present:
            failures.append(f"{path}: missing from the package")
        elif key not in found:
            if key not in unlisted:
                failures.append(f"{path}: extra, the catalog has no member for it")
        else:
            with open(os.path.join(root, path), "rb") as source:
                data = source.read()
            try:
                digests = file_digest(data)[0]
            except CatalogError as error:
                digests = str(error)
            if found[key] != digests:
                failures.append(f"{path}: changed, its hash is not the catalog's")
    failures += [f"{name}: missing from the package, the catalog lists it"
                 for name in sorted(set(found) - set(present))]
    return failures


def show(catalog_path):
    ctl, signers = read(catalog_path)
    print(f"signers: {signers}")
    print(f"this update: {ctl['this_update'].native.isoformat()}")
    for extension in ctl["extensions"]:
        value = extension["extn_value"].parsed
        print(f"attribute {value['tag'].native}: "
              f"{value['value'].native.decode('utf-16-le').rstrip(chr(0))}")
    for name, algorithm, digest, _, os_attribute in sorted(listed(ctl), key=lambda m: m[:3]):
        only = f" OSAttr {os_attribute}" if os_attribute else ""
        print(f"member {name} {algorithm} {digest.hex()}{only}")


def main(argv):
    parser = argparse.ArgumentParser(prog=os.path.basename(argv[0]))
    commands = parser.add_subparsers(dest="command", required=True)
    build_command = commands.add_parser("build", help="write the unsigned catalog of a package")
    build_command.add_argument("inf")
    build_command.add_argument("-o", "--output", required=True)
    build_command.add_argument("--time", type=int,
                               help="the catalog's date as seconds since 1970 (default: now)")
    verify_command = commands.add_parser("verify", help="hold a package against its catalog")
    verify_command.add_argument("inf")
    verify_command.add_argument("catalog")
    verify_command.add_argument("--documents", nargs="*", default=[],
                                help="files of the package for its reader, not installed")
    show_command = commands.add_parser("show", help="list a catalog's attributes and members")
    show_command.add_argument("catalog")
    args = parser.parse_args(argv[1:])
    try:
        if args.command == "build":
            seconds = args.time if args.time is not None else int(datetime.datetime.now().timestamp())
            when = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)
            data = build(args.inf, when)
            with open(args.output, "wb") as target:
                target.write(data)
            return 0
        if args.command == "show":
            show(args.catalog)
            return 0
        failures = verify(args.inf, args.catalog, args.documents)
    except CatalogError as error:
        print(f"FAIL: {error}", file=sys.stderr)
        return 1
    for failure in failures:
        print(f"FAIL: {failure}")
    if not failures:
        print(f"ok: {args.catalog} lists every file of the package as it is")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
