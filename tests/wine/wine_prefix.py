"""A private Wine prefix for tests: made fresh in a folder of the test's own,
run headless, and stopped with its own wineserver.

Nothing reaches the user's own prefix ($HOME/.wine), a display or the
network: every process gets WINEPREFIX set to the private folder and no
DISPLAY or WAYLAND_DISPLAY, and Wine's Mono and Gecko installers are
switched off, so that a prefix is made offline.

As a module:
    with WinePrefix.fresh(folder) as prefix:       # or WinePrefix.existing(folder)
        exe = compile_program(["probe.cpp"], folder / "probe.exe", libs=["winspool"])
        result = prefix.run([exe, "arg"], winedebug="+heap")
As a command, for a test fixture that shares one prefix among the tests of
a run:
    wine_prefix.py create FOLDER    # removes what FOLDER held, makes the prefix
    wine_prefix.py remove FOLDER    # stops its wineserver, removes FOLDER
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

# Debian's wine64 package keeps its programs here, outside PATH.
WINE_DIRS = ("/usr/lib/wine", "/usr/bin")
MINGW_CXX = "x86_64-w64-mingw32-g++"
# wineboot of a new prefix takes about 15 seconds on an idle machine.
BOOT_SECONDS = 300


class WineError(RuntimeError):
    pass


def wine_program(name):
    for folder in WINE_DIRS:
        path = Path(folder) / name
        if path.is_file() and os.access(path, os.X_OK):
            return str(path)
    raise WineError(f"{name} not found in {', '.join(WINE_DIRS)}: install Debian's wine64")


class WinePrefix:
    def __init__(self, folder):
        self.folder = Path(folder).resolve()
        self.path = self.folder / "prefix"
        self.session = False

    @classmethod
    def fresh(cls, folder):
        """Makes a new prefix in folder, after removing what folder held."""
        prefix = cls(folder)
        if prefix.folder.exists():
            prefix.stop()
            shutil.rmtree(prefix.folder)
        prefix.folder.mkdir(parents=True)
        prefix.boot()
        return prefix

    @classmethod
    def existing(cls, folder):
        prefix = cls(folder)
        if not (prefix.path / "system.reg").is_file():
            raise WineError(f"no Wine prefix in {prefix.folder}: run `wine_prefix.py create` first")
        return prefix

    def environment(self, winedebug="-all"):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY") and not k.startswith("WINE")}
        env.update(WINEPREFIX=str(self.path), WINEDEBUG=winedebug,
                   WINEDLLOVERRIDES="mscoree,mshtml=", WINEARCH="win64")
        return env

    def boot(self):
        result = subprocess.run([wine_program("wine64"), "wineboot", "--init"],
                                env=self.environment(), capture_output=True, text=True,
                                timeout=BOOT_SECONDS)
        self.wait()
        if result.returncode != 0 or not (self.path / "system.reg").is_file():
            raise WineError(f"wineboot failed ({result.returncode}):\n{result.stderr}")

    def start_session(self):
        """Starts the prefix's wineserver for good, and Wine's own system
        programs (services, the device host and the rest) with it, under
        WINEDEBUG=-all and apart from any program's output. Otherwise each
        run starts them anew with the run's WINEDEBUG and output, and stops
        them when the program ends: under +heap, Wine 8.0's system programs
        now and then corrupt their own heap while they shut down (seen as
        "free block overwritten" in threads of another process, after the
        program had ended cleanly), and one that hangs in its crash handler
        keeps the run's output open until the run times out."""
        quiet = dict(env=self.environment(), stdin=subprocess.DEVNULL,
                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([wine_program("wineserver"), "--persistent"], timeout=60, **quiet)
        subprocess.run([wine_program("wine64"), "cmd", "/c", "exit"], timeout=BOOT_SECONDS,
                       **quiet)
        self.session = True

    def run(self, command, winedebug="-all", timeout=300, cwd=None):
        """Runs a Windows program (its Unix path first) in the prefix's
        session; answers the CompletedProcess with text output. A program
        still running after timeout seconds is stopped with everything else
        in the prefix (a corrupted heap can leave it spinning) and answers
        returncode None, with what it wrote until then and a last line
        saying so."""
        if not self.session:
            self.start_session()
        argv = [wine_program("wine64"), *[str(c) for c in command]]
        try:
            return subprocess.run(argv, env=self.environment(winedebug), capture_output=True,
                                  text=True, errors="replace", timeout=timeout, cwd=cwd)
        except subprocess.TimeoutExpired as expired:
            self.stop()
            return subprocess.CompletedProcess(
                argv, None, text_of(expired.stdout),
                text_of(expired.stderr) + f"\ntimed out after {timeout} seconds\n")

    def drive_c(self):
        return self.path / "drive_c"

    def wait(self):
        """Waits for the prefix's wineserver to end once its programs have."""
        subprocess.run([wine_program("wineserver"), "--wait"], env=self.environment(),
                       capture_output=True, timeout=BOOT_SECONDS)

    def stop(self):
        """Kills this prefix's wineserver (and its programs) only."""
        if self.path.is_dir():
            subprocess.run([wine_program("wineserver"), "--kill"], env=self.environment(),
                           capture_output=True, timeout=60)
        self.session = False

    def remove(self):
        self.stop()
        shutil.rmtree(self.folder, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.remove()


def text_of(output):
    if output is None:
        return ""
    return output.decode(errors="replace") if isinstance(output, bytes) else output


def compile_program(sources, output, libs=(), includes=(), definitions=()):
    """Builds a console program for x86-64 Windows with mingw-w64: Unicode,
    statically linked runtime, so that the prefix needs no DLL of mingw's."""
    command = [MINGW_CXX, "-std=c++20", "-O1", "-municode", "-Wall", "-Wextra", "-Werror",
               "-static", "-DUNICODE", "-D_UNICODE",
               *[f"-I{i}" for i in includes], *[f"-D{d}" for d in definitions],
               *[str(s) for s in sources], "-o", str(output), *[f"-l{lib}" for lib in libs]]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise WineError(f"{' '.join(command)} failed:\n{result.stderr}")
    return Path(output)


def main(argv):
    if len(argv) != 3 or argv[1] not in ("create", "remove"):
        print(__doc__, file=sys.stderr)
        return 2
    try:
        if argv[1] == "create":
            WinePrefix.fresh(argv[2]).wait()
        else:
            WinePrefix(argv[2]).remove()
    except (WineError, subprocess.TimeoutExpired) as error:
        print(f"wine_prefix.py {argv[1]}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
