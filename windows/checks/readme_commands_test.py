#!/usr/bin/env python3
"""Runs the shell commands the README's Windows sections show, as written,
in a tree made as a fresh clone makes it: the files git tracks, with the
modes git records (so a script shown run directly must have its execute
bit in git). Every command of a `sh` block is run, in order, unless a rule
below says why it cannot run here; a command added to those sections later
is run too. What the skipped commands would have made is put in its place:
dist/ is the package this build assembled for its tests, and build/ holds
this checkout's own preset builds, where they exist.

  readme_commands_test.py SOURCE_DIR PACKAGE_DIR"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "signing"))
from signing_test import certificate  # noqa: E402

SECTIONS = ["The driver DLL", "Installing the driver", "Signing the package"]
RUNNABLE = {"sh", "bash"}
# (pattern in the command, why it is not run here); the first that matches.
SKIPPED = [
    (r"^cmake --preset (\S+) && cmake --build --preset \1( && ctest --preset \1)?$",
     "builds a preset, minutes of compiling: ./check builds every preset as written, and "
     "the fresh tree is given this checkout's builds"),
    (r"^ctest --preset ", "a test run: ./check runs every preset's tests, this one among them"),
    (r"^cmake --build ",
     "builds in a preset's build folder, which the fresh tree shares with this checkout; "
     "dist/ here is the package this build assembled for its tests"),
    (r"/secure/|--timestamp https?://",
     "needs an organisation's own certificate and a time-stamp authority on the network"),
]
TIMEOUT = 300


def section_blocks(readme):
    """(language, text) of each fenced block in the Windows sections."""
    blocks, inside, language, lines = [], False, None, []
    found = set()
    for line in readme.splitlines():
        heading = re.match(r"## (?!#)(.*)", line)
        if heading and language is None:
            inside = heading.group(1).strip() in SECTIONS
            found.add(heading.group(1).strip())
        fence = re.match(r"```(\w*)", line)
        if fence and language is None:
            language, lines = fence.group(1), []
        elif fence:
            if inside:
                blocks.append((language, "\n".join(lines)))
            language = None
        elif language is not None:
            lines.append(line)
    missing = [section for section in SECTIONS if section not in found]
    if missing:
        sys.exit(f"README.md has no section {missing}: the Windows sections were renamed?")
    return blocks


def commands(block):
    """The block's commands, each continued line joined."""
    joined = re.sub(r"\\\n\s*", "", block)
    lines = (re.sub(r"(^|\s+)#\s.*$", "", line).strip() for line in joined.splitlines())
    return [line for line in lines if line]


def why_skipped(command):
    for pattern, reason in SKIPPED:
        if re.search(pattern, command):
            return reason
    return None


def fresh_tree(source, tree):
    """The tracked files of source as a clone has them: the working tree's
    content, git's modes."""
    result = subprocess.run(["git", "-C", source, "ls-files", "-s", "-z"], capture_output=True)
    if result.returncode != 0:
        sys.exit(f"{source} is not a git checkout: {result.stderr.decode().strip()}")
    listing = result.stdout.decode()
    for entry in filter(None, listing.split("\0")):
        meta, path = entry.split("\t", 1)
        mode = meta.split()[0]
        origin, copy = os.path.join(source, path), os.path.join(tree, path)
        if not os.path.lexists(origin):
            continue
        os.makedirs(os.path.dirname(copy), exist_ok=True)
        if mode == "120000":
            os.symlink(os.readlink(origin), copy)
            continue
        shutil.copyfile(origin, copy)
        os.chmod(copy, 0o755 if mode == "100755" else 0o644)


def provide(tree, source, package):
    """What the skipped commands would have made: dist/, and the builds."""
    shutil.copytree(package, os.path.join(tree, "dist"))
    os.makedirs(os.path.join(tree, "build"))
    built = os.path.join(source, "build")
    for preset in os.listdir(built) if os.path.isdir(built) else []:
        os.symlink(os.path.join(built, preset), os.path.join(tree, "build", preset))


def missing_build(tree, command):
    """Why a command that runs a preset's build cannot run, or None."""
    for program in re.findall(r"\bbuild/[\w.+-]+/\S+", command):
        if not os.path.exists(os.path.join(tree, program)):
            return f"needs {program}: ./check builds every preset before these tests"
    return None


def make_named_certificates(tree, command):
    """The organisation's certificate and key where a command names them."""
    cert = re.search(r"--cert (\S+)", command)
    key = re.search(r"--key (\S+)", command)
    if cert and key and not os.path.exists(os.path.join(tree, cert.group(1))):
        _, _, (made_cert, made_key) = certificate(tree, "organisation")
        os.replace(made_cert, os.path.join(tree, cert.group(1)))
        os.replace(made_key, os.path.join(tree, key.group(1)))


def run(tree, command):
    """("ok", ""), ("fail", what it said), or ("skipped", why) when the
    kernel cannot run its program's machine."""
    make_named_certificates(tree, command)
    # The scripts' `env python3` is the Python the build found, with the
    # modules they import, as on a Debian machine.
    path = os.path.dirname(sys.executable) + os.pathsep + os.environ.get("PATH", "")
    try:
        result = subprocess.run(["bash", "-c", command], cwd=tree, capture_output=True,
                                text=True, timeout=TIMEOUT, env={**os.environ, "PATH": path})
    except subprocess.TimeoutExpired:
        return "fail", f"no answer within {TIMEOUT} s"
    if result.returncode == 0:
        return "ok", ""
    if result.returncode == 126 and "Exec format error" in result.stderr:
        return "skipped", ("this kernel runs no programs of that machine: the README says to "
                           "put qemu in front, as the tests do")
    return "fail", f"exit {result.returncode}: {(result.stderr or result.stdout).strip()[-800:]}"


def run_blocks(tree, blocks):
    """Runs every command it may, saying which it skips and why; returns
    how many ran and the failures."""
    failures, ran = [], 0
    for language, block in blocks:
        if language not in RUNNABLE:
            print(f"skipped, a `{language}` block (runs on Windows): {block.splitlines()[0]}")
            continue
        for command in commands(block):
            status, text = "skipped", why_skipped(command) or missing_build(tree, command)
            if not text:
                status, text = run(tree, command)
            if status == "skipped":
                print(f"skipped: {command}\n  ({text})")
                continue
            ran += 1
            print(f"{status}: {command}")
            if status == "fail":
                failures.append(f"{command}\n  {text}")
    return ran, failures


def main(argv):
    if len(argv) != 3:
        sys.exit(__doc__.splitlines()[-1].strip())
    source, package = (os.path.abspath(path) for path in argv[1:])
    with open(os.path.join(source, "README.md"), encoding="utf-8") as readme:
        blocks = section_blocks(readme.read())
    with tempfile.TemporaryDirectory(prefix="readme-commands.") as tree:
        fresh_tree(source, tree)
        provide(tree, source, package)
        ran, failures = run_blocks(tree, blocks)
    if ran == 0:
        failures.append(f"no command found to run in the sections {SECTIONS}")
    for failure in failures:
        print(f"FAIL: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
