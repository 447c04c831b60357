#!/usr/bin/env python3
"""The Debian packages installed into a throwaway Debian 12 root: apt
resolves their dependencies, each package prints the receipt (the command,
a CUPS queue with the packaged PPD, the printer application started as its
unit says), and purging them leaves none of their files. in_root.sh does the
work inside; this lays out the root and keeps everything inside it: the
root's /proc and a private devpts are mounted in a mount namespace of its
own, its processes run in their own PID namespace (they all end with it), a
policy-rc.d refuses every service start, and once the packages are
installed (apt may fetch a dependency from this machine's sources) they run
in a network namespace of their own, with only a loopback, so nothing they
start reaches the machine's network.

Usage: install_test.py ROOT_CACHE PACKAGES SOURCE
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def expected_bytes(text):
    """The bytes a printer receives for the text with CR LF and a form feed:
    each line in the default code page, an empty line as one space, which
    feeds the paper."""
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    return b"".join((line or " ").encode("cp1252") + b"\r\n" for line in lines) + b"\f"


def lay_out(root, packages, source):
    t = os.path.join(root, "tmp", "t")
    os.makedirs(os.path.join(t, "debs"))
    debs = [deb for deb in glob.glob(os.path.join(packages, "*.deb")) if "-dbgsym_" not in deb]
    if len(debs) != 3:
        sys.exit(f"FAILED: expected the three packages in {packages}, found {debs}")
    for deb in debs:
        shutil.copy(deb, os.path.join(t, "debs"))
    with open(os.path.join(source, "examples", "receipt.txt"), encoding="utf-8") as file:
        receipt = file.read()
    with open(os.path.join(t, "receipt.txt"), "w", encoding="utf-8") as file:
        file.write(receipt)
    with open(os.path.join(t, "expected.prn"), "wb") as file:
        file.write(expected_bytes(receipt))
    shutil.copy(os.path.join(HERE, "in_root.sh"), t)
    os.chmod(t, 0o755)
    # apt inside resolves the archive's name as this machine does. A link
    # there would be followed outside the root: it is replaced, never written.
    resolv_conf = os.path.join(root, "etc", "resolv.conf")
    if os.path.lexists(resolv_conf):
        os.remove(resolv_conf)
    shutil.copy("/etc/resolv.conf", resolv_conf)
    policy = os.path.join(root, "usr", "sbin", "policy-rc.d")
    with open(policy, "w", encoding="ascii") as file:
        file.write("#!/bin/sh\nexit 101\n")
    os.chmod(policy, 0o755)


def run_inside(root, stage, network):
    setup = ('mount -t proc proc "$0/proc" && '
             'mount -t devpts -o newinstance,ptmxmode=0666 devpts "$0/dev/pts" && '
             + ('' if network else 'ip link set lo up && ') +
             'exec chroot "$0" /tmp/t/in_root.sh "$1"')
    namespaces = ["--mount", "--propagation", "private", "--pid", "--fork"] + ([] if network else ["--net"])
    return subprocess.run(["unshare", *namespaces, "sh", "-c", setup, root, stage],
                          stdin=subprocess.DEVNULL, timeout=600).returncode


def main():
    cache, packages, source = sys.argv[1:4]
    tarball = subprocess.run([os.path.join(HERE, "make_root.sh"), cache], check=True,
                             stdout=subprocess.PIPE, text=True).stdout.strip()
    work = tempfile.mkdtemp(prefix="install-test-", dir=cache)
    try:
        root = os.path.join(work, "root")
        os.mkdir(root)
        subprocess.run(["tar", "-xf", tarball, "-C", root], check=True)
        lay_out(root, packages, source)
        return run_inside(root, "install", network=True) or run_inside(root, "use", network=False)
    finally:
        # Nothing is mounted here any more: the mounts went with their
        # namespace. --one-file-system all the same, so a mount left by a
        # fault is never crossed.
        subprocess.run(["rm", "-rf", "--one-file-system", work], check=False)


if __name__ == "__main__":
    sys.exit(main())
