#!/usr/bin/env python3
"""scripts/ensure-packages on a machine that lacks packages: each step that
installs says so in one line, apt's own output goes to its log and is shown
only when a step fails, and no service starts meanwhile. apt-get and
dpkg-query are stand-ins on PATH, and /usr/sbin (where the script puts its
policy-rc.d) is a folder of the test's own in a private mount namespace, so
the machine's packages and policy are never touched.

Usage: ensure_packages_test.py SOURCE
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = sys.argv[1] if __name__ == "__main__" else "."
APT_NOISE = "(Reading database ... 5%\n(Reading database ... 100%\nSetting up time (1.9-0.2) ...\n"

DPKG_QUERY = """#!/bin/sh
# Installed: every package but those named in $MISSING.
for package; do :; done
case " $MISSING " in *" $package "*) exit 1 ;; esac
printf 'install ok installed'
"""
APT_GET = """#!/bin/sh
echo "apt-get $*" >>"$CALLS"
[ -e /usr/sbin/policy-rc.d ] && echo "policy-rc.d present" >>"$CALLS"
printf '%s' "$NOISE"
case " $* " in *" $FAIL "*) echo "E: Unable to locate package" >&2; exit 100 ;; esac
exit 0
"""


class EnsurePackages(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="ensure-packages-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        self.stubs = os.path.join(self.folder, "bin")
        self.sbin = os.path.join(self.folder, "sbin")
        os.mkdir(self.stubs)
        os.mkdir(self.sbin)
        for name, text in (("dpkg-query", DPKG_QUERY), ("apt-get", APT_GET)):
            path = os.path.join(self.stubs, name)
            with open(path, "w", encoding="ascii") as file:
                file.write(text)
            os.chmod(path, 0o755)

    def ensure(self, missing, fail=""):
        """Runs the script for the bench group; returns its result and the
        stand-in apt-get's record of its calls."""
        calls = os.path.join(self.folder, "calls")
        if os.path.exists(calls):
            os.remove(calls)
        environment = dict(os.environ, PATH=self.stubs + ":" + os.environ["PATH"], TMPDIR=self.folder,
                           MISSING=missing, FAIL=fail, NOISE=APT_NOISE, CALLS=calls)
        script = os.path.join(SOURCE, "scripts", "ensure-packages")
        result = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c",
                                 'mount --bind "$0" /usr/sbin && exec "$1" bench', self.sbin, script],
                                env=environment, capture_output=True, text=True, timeout=60)
        with open(calls, "a+", encoding="ascii") as file:
            file.seek(0)
            return result, file.read()

    def test_steps_show_one_line_each_and_apt_output_only_on_failure(self):
        log = os.path.join(self.folder, "textrelay-ensure-packages.log")
        # missing, failing step, exit status, what standard error holds, calls
        cases = [
            ("", "", 0, "", ""),
            ("time", "", 0, "installing time\n", "apt-get update\npolicy-rc.d present\napt-get install"),
            ("time libbenchmark-dev", "", 0, "installing libbenchmark-dev time\n", "apt-get install"),
            ("time", "time", 1, "installing time\n" + APT_NOISE * 2, "apt-get install"),
            ("time", "update", 1, APT_NOISE, "apt-get update\n"),
        ]
        for missing, fail, status, stderr, calls in cases:
            with self.subTest(missing=missing, fail=fail):
                result, made = self.ensure(missing, fail)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertTrue(result.stderr.startswith(stderr), result.stderr)
                self.assertNotIn("Reading database", result.stderr[len(stderr):])
                if calls:
                    self.assertIn(calls, made)
                else:
                    self.assertEqual(made, "")
                if missing:
                    with open(log, encoding="ascii") as file:
                        self.assertIn(APT_NOISE, file.read())
                # The policy it made for the install is gone again.
                self.assertEqual(os.listdir(self.sbin), [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
