#!/usr/bin/env python3
"""Whole-job tests of the textrelay command: each group runs the built program.

Usage: tool_command_test.py PROGRAM GROUP
"""
import codecs
import os
import random
import re
import resource
import shutil
import signal
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time
import tty
import unittest

PROGRAM = sys.argv[1] if len(sys.argv) > 1 else "build/host/tools/textrelay"
EMULATOR = [part for part in os.environ.get("TEXTRELAY_EMULATOR", "").split(";") if part]
SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


# With TEXTRELAY_DRIVER set, every print goes through that built DLL.
DRIVER = os.environ.get("TEXTRELAY_DRIVER")


def run(*args, stdin=b"", timeout=120, preexec_fn=None):
    if DRIVER and args and args[0] == "print":
        args = ("print", "--driver", DRIVER, *args[1:])
    return subprocess.run(EMULATOR + [PROGRAM, *args], input=stdin, capture_output=True,
                          timeout=timeout, preexec_fn=preexec_fn)


def print_bytes(text, *options):
    """The bytes of printing text (str) with the options; the job must succeed."""
    result = run("print", *options, stdin=text.encode("utf-8"))
    assert result.returncode == 0, result.stderr.decode()
    return result.stdout


class Folder(unittest.TestCase):
    """A test with a temporary folder of its own."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="textrelay-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as file:
            file.write(data.encode("utf-8") if isinstance(data, str) else data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as file:
            return file.read()


class Options(Folder):
    def assertUsageError(self, result, *words):
        self.assertEqual(result.returncode, 2, result.stderr)
        message = result.stderr.decode()
        self.assertEqual(message.count("\n"), 1, message)
        for word in words:
            self.assertIn(word, message)
        self.assertEqual(result.stdout, b"")

    def test_bad_values_are_usage_errors_naming_the_option(self):
        self.assertUsageError(run("print", "--line-terminator", "crcr"), "--line-terminator", "crcr")
        self.assertUsageError(run("print", "--orientation", "sideways"), "--orientation")
        self.assertUsageError(run("print", "--copies", "40000"), "--copies", "40000")
        self.assertUsageError(run("print", "--lines-per-page", "0"), "--lines-per-page")
        self.assertUsageError(run("print", "--empty-lines", "blank"), "--empty-lines", "blank")
        self.assertUsageError(run("print", "--deadline", "0"), "--deadline", "0")
        self.assertUsageError(run("print", "--no-such-option"), "--no-such-option")
        self.assertUsageError(run("devmode", "new", "--copies", "2"), "--output")
        self.assertUsageError(run(), "subcommand")

    def test_version_is_the_projects_one_number(self):
        with open(os.path.join(SOURCE, "CMakeLists.txt"), encoding="utf-8") as file:
            version = re.search(r"project\(textrelay VERSION ([0-9.]+)", file.read()).group(1)
        for args in (("--version",), ("--version", "print")):
            result = run(*args)
            self.assertEqual((result.returncode, result.stdout.decode(), result.stderr),
                             (0, f"textrelay {version}\n", b""), args)

    def test_devmode_file_and_settings_exclude_each_other(self):
        self.assertUsageError(run("print", "--devmode", "x", "--copies", "2"), "--devmode", "--copies")

    def test_failures_name_what_and_where_and_send_nothing(self):
        cases = [
            (("--driver", "x.dll"), "--driver x.dll: cannot be read"),
            (("--code-page", "NO-SUCH-PAGE"), "--code-page NO-SUCH-PAGE: iconv does not know"),
            (("missing.txt",), "missing.txt: No such file or directory"),
            (("--devmode", "missing.devmode"), "missing.devmode: No such file or directory"),
            (("--output", "/no/such/folder/out.prn"), "/no/such/folder/out.prn"),
        ]
        for options, message in cases:
            result = run("print", *options, stdin=b"text\n")
            self.assertEqual(result.returncode, 1, options)
            self.assertEqual(result.stdout, b"", options)
            self.assertTrue(result.stderr.decode().startswith("textrelay: "), result.stderr)
            self.assertIn(message, result.stderr.decode())
            self.assertEqual(result.stderr.decode().count("\n"), 1, result.stderr)

    def test_trace_flag_takes_a_file_only_after_equals(self):
        text = self.write("in.txt", "hi\n")
        result = run("print", "--trace", text)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"hi")
        self.assertIn(b"DRVKRNL: DrvTextOut: Returning [1]", result.stderr)
        trace = self.path("trace.log")
        result = run("print", "--trace=" + trace, text)
        self.assertEqual(result.stderr, b"")
        self.assertIn(b"DRVKRNL: DrvEnableDriver:", self.read("trace.log"))
        self.assertNotIn(b"DRVKRNL", run("print", text).stderr)

    def test_readme_quick_start_prints_the_receipt_as_a_hex_dump(self):
        result = subprocess.run(EMULATOR + [PROGRAM, "print", "--hexdump", "--line-terminator", "crlf",
                                            "--form-feed", "examples/receipt.txt"],
                                cwd=SOURCE, capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        rows = result.stdout.decode().splitlines()
        stream = bytes.fromhex("".join(row[10:58] for row in rows[:-1]))
        self.assertTrue(stream.startswith(b"\x1b@\r\n"), rows[0])
        self.assertTrue(stream.endswith(b"\r\n\x0c"), rows[-2])
        self.assertEqual(rows[-1], f"{len(stream):08x}")


class Bytes(Folder):
    def test_each_line_ends_with_the_terminator_and_empty_lines_feed_unless_skipped(self):
        # An empty line is one space where the device ends lines, so that it
        # feeds the paper; the terminator in force may come from a device mode.
        lf_devmode = self.path("lf.devmode")
        self.assertEqual(run("devmode", "new", "--line-terminator", "lf", "-o", lf_devmode).returncode, 0)
        text = "ab\n\n\r\ncd"
        cases = [
            ((), b"abcd"),
            (("--line-terminator", "none"), b"abcd"),
            (("--line-terminator", "crlf"), b"ab\r\n \r\n \r\ncd\r\n"),
            (("--line-terminator", "cr"), b"ab\r \r \rcd\r"),
            (("--line-terminator", "lf"), b"ab\n \n \ncd\n"),
            (("--line-terminator", "crlf", "--empty-lines", "skip"), b"ab\r\ncd\r\n"),
            (("--empty-lines", "feed"), b"abcd"),
            (("--devmode", lf_devmode), b"ab\n \n \ncd\n"),
            (("--devmode", lf_devmode, "--empty-lines", "skip"), b"ab\ncd\n"),
        ]
        for options, stream in cases:
            self.assertEqual(print_bytes(text, *options), stream, options)

    def test_control_characters_reach_the_printer_unchanged(self):
        text = "\x1b@\x1bE\x01Bold\x1bE\x00\n\x1dV\x01\n"
        self.assertEqual(print_bytes(text, "--line-terminator", "lf"),
                         b"\x1b@\x1bE\x01Bold\x1bE\x00\n\x1dV\x01\n")

    def test_each_file_is_a_document_with_its_own_form_feed(self):
        first = self.write("a.txt", "A\n")
        second = self.write("b.txt", "B\n")
        options = ("--line-terminator", "crlf", "--form-feed")
        self.assertEqual(print_bytes("", *options, first, second), b"A\r\n\x0cB\r\n\x0c")
        self.assertEqual(print_bytes("", *options, "--one-document", first, second), b"A\r\nB\r\n\x0c")
        self.assertEqual(print_bytes("S\n", *options, first, "-"), b"A\r\n\x0cS\r\n\x0c")

    def test_pages_follow_lines_per_page_and_form_feeds(self):
        def pages(text, *options):
            result = run("print", "--trace", "--line-terminator", "lf", *options, stdin=text.encode())
            self.assertEqual(result.returncode, 0, result.stderr)
            trace = result.stderr.decode()
            self.assertEqual(trace.count("DrvStartPage: Returning [1]"),
                             trace.count("DrvSendPage: Returning [1]"))
            return result.stdout, trace.count("DrvStartPage: Returning [1]")

        self.assertEqual(pages("1\n2\n3\n4\n5\n", "--lines-per-page", "2"), (b"1\n2\n3\n4\n5\n", 3))
        self.assertEqual(pages("1\n2\n", "--lines-per-page", "2"), (b"1\n2\n", 1))
        self.assertEqual(pages(""), (b"", 1))
        # The form feed goes to the printer with its line, which opens the new page.
        self.assertEqual(pages("a\n\fb\nc\n\f\n"), (b"a\n\x0cb\nc\n\x0c\n", 3))
        self.assertEqual(pages("\fa\n", "--lines-per-page", "1"), (b"\x0ca\n", 1))

    def test_copies_repeat_each_documents_bytes(self):
        first = self.write("a.txt", "A\n")
        second = self.write("b.txt", "B\n")
        options = ("--line-terminator", "lf", "--form-feed", "--copies", "3")
        self.assertEqual(print_bytes("", *options, first), b"A\n\x0c" * 3)
        self.assertEqual(print_bytes("", "--copies", "2", first, second), b"AABB")

    def test_large_input_is_printed_whole(self):
        line = "0123456789" * 10
        text = (line + "\n") * 30000
        stream = print_bytes(text, "--line-terminator", "crlf", "--copies", "2")
        self.assertEqual(stream, (line.encode() + b"\r\n") * 60000)


class CodePages(Folder):
    SAMPLES = {
        "CP437": "Größe ½ ░▒▓ Çüé", "CP850": "Größe ½ ÀÁÂÃ ¤ ©", "CP866": "Привет, мир! ░▒▓ Ёё",
        "CP1250": "Zażółć gęślą jaźń Čeština", "CP1251": "Привет, мир! Ђђ",
        "CP1252": "Café € “quotes” …", "CP1253": "Καλημέρα κόσμε", "CP1254": "Günaydın ŞşĞğİı",
        "CP1255": "שלום עולם", "CP1256": "مرحبا بالعالم", "CP1257": "Labas ąčęėįšųūž Ėė",
        "CP1258": "Xin chao ₫ Ơơ Ưư Đđ", "CP932": "ｶﾀｶﾅ abc",
    }

    def test_characters_become_the_code_pages_bytes_and_unmappable_ones_are_counted(self):
        for page, sample in self.SAMPLES.items():
            with self.subTest(page=page):
                text = "ok\n" + sample + " ☃ x ☃\n"
                result = run("print", "--code-page", page, "--line-terminator", "lf",
                             stdin=text.encode())
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, ("ok\n" + sample + " ? x ?\n").encode(page.lower()))
                column = len(sample) + 2
                self.assertEqual(result.stderr.decode(),
                                 f"textrelay: standard input: 2 characters that {page} cannot hold "
                                 f"sent as '?', the first at line 2, column {column}\n")

    def test_strict_makes_unmappable_characters_an_error_before_anything_is_sent(self):
        first = self.write("fine.txt", "fine\n")
        result = run("print", "--strict", "--code-page", "CP866", first, "-", stdin="Ж€\n".encode())
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")
        self.assertIn("1 character that CP866 cannot hold", result.stderr.decode())
        self.assertIn("line 1, column 2; nothing was sent", result.stderr.decode())

    def test_double_byte_text_the_driver_would_cut_is_refused(self):
        result = run("print", "--code-page", "CP932", stdin="ｶﾅ\n日本語\n".encode())
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")
        self.assertIn("standard input: line 2: 1 line takes more bytes in CP932", result.stderr.decode())

    def test_invalid_utf8_stops_the_job_before_anything_is_sent(self):
        good = self.write("good.txt", "good\n")
        bad = self.write("bad.txt", b"ok\nbad \xff here\n")
        result = run("print", good, bad)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")
        self.assertEqual(result.stderr.decode(),
                         f"textrelay: {bad}: line 2, byte offset 7: invalid UTF-8; nothing was sent\n")

    def test_invalid_utf8_is_sent_as_replacement_character_when_asked(self):
        bad = self.write("bad.txt", b"ok\nbad \xff\xfe here\n")
        result = run("print", "--replace-invalid", "--line-terminator", "lf", bad)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"ok\nbad ?? here\n")
        self.assertIn(f"{bad}: 2 invalid UTF-8 sequences sent as U+FFFD, the first at line 2, byte offset 7",
                      result.stderr.decode())

    def test_replacement_matches_an_independent_decoder_on_random_input(self):
        # Python's decoder substitutes one U+FFFD for each maximal subpart of
        # an ill-formed sequence, and its error handler sees where each one
        # starts. ISO-8859-1 holds U+0000..U+00FF as the same bytes in both
        # and sends any other character (U+FFFD too) as one '?', so the whole
        # output, the count and the first place must match exactly.
        starts = []

        def record(error):
            starts.append(error.start)
            return "\ufffd", error.end

        codecs.register_error("textrelay-test", record)
        generator = random.Random(13)
        for sample in range(20):
            data = b"a" + b"".join(self.random_piece(generator) for _ in range(400))
            starts.clear()
            data.decode("utf-8", "textrelay-test")
            lines = data.split(b"\n")
            if lines[-1] == b"":
                lines.pop()
            expected = b"".join(
                ((line[:-1] if line.endswith(b"\r") else line).decode("utf-8", "replace")
                 .encode("latin-1", "replace") or b" ") + b"\n" for line in lines)
            name = self.write(f"random{sample}.txt", data)
            result = run("print", "--replace-invalid", "--code-page", "ISO-8859-1", "--line-terminator", "lf",
                         name)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stdout, expected, data)
            first_line = data.count(b"\n", 0, starts[0]) + 1
            self.assertIn(f"{name}: {len(starts)} invalid UTF-8 sequences sent as U+FFFD, the first at line "
                          f"{first_line}, byte offset {starts[0]}\n", result.stderr.decode(), data)

    @staticmethod
    def random_piece(generator):
        """ASCII or a line break, a stray byte of 0x80 or more, a lead that no
        well-formed sequence starts with (overlong forms, beyond U+10FFFF), or
        a character of two, three or four bytes, surrogates included; all but
        the first kinds often cut short."""
        kind = generator.randrange(6)
        if kind == 0:
            return generator.choice((b"a", b"\n", b"\r\n"))
        if kind == 1:
            return bytes([generator.randrange(0x80, 0x100)])
        if kind == 2:
            encoded = bytes([generator.choice((0xC0, 0xC1, 0xE0, 0xED, 0xF0, 0xF4, 0xF5, 0xFF)),
                             generator.randrange(0x80, 0xC0), 0x80, 0x80])
        else:
            low, high = {3: (0x80, 0x800), 4: (0x800, 0x10000), 5: (0x10000, 0x110000)}[kind]
            encoded = chr(generator.randrange(low, high)).encode("utf-8", "surrogatepass")
        return encoded[:generator.randrange(1, len(encoded) + 1)]


class DevMode(Folder):
    def test_round_trip_new_show_check_print(self):
        devmode = self.path("crlf.devmode")
        settings = ("--line-terminator", "crlf", "--form-feed", "--copies", "2", "--orientation",
                    "landscape", "--paper-width", "800")
        result = run("devmode", "new", *settings, "--name", "Receipts", "-o", devmode)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.path.getsize(devmode), 7228)

        check = run("devmode", "check", devmode)
        self.assertEqual((check.returncode, check.stdout.decode()),
                         (0, f"{devmode}: the driver's own device mode\n"))

        shown = run("devmode", "show", devmode).stdout.decode()
        for expected in ("7228 bytes, the driver's own device mode", 'dmDeviceName         "Receipts"',
                         "dmFields             0x00000109 DM_ORIENTATION DM_PAPERWIDTH DM_COPIES",
                         "sMaxPaperWidth       2032", "byLineTerminator     1",
                         "orientation          landscape", "paper width          800",
                         "copies               2", "line terminator      crlf", "form feed            yes"):
            self.assertIn(expected, shown)

        text = "one\ntwo\n"
        self.assertEqual(print_bytes(text, "--devmode", devmode), print_bytes(text, *settings))
        self.assertEqual(print_bytes(text, "--devmode", devmode), b"one\r\ntwo\r\n\x0c" * 2)

    def test_check_answers_own_not_own_and_unreadable(self):
        devmode = self.path("own.devmode")
        self.assertEqual(run("devmode", "new", "-o", devmode).returncode, 0)
        with open(devmode, "rb") as file:
            record = bytearray(file.read())
        plain = record[:220]
        plain[70:72] = (0).to_bytes(2, "little")
        old = bytearray(record)
        old[64:66] = (0x0400).to_bytes(2, "little")
        cases = [
            ("plain.devmode", plain, 1, "not the driver's own device mode: dmDriverExtra is 0, the driver's is 7008"),
            ("old.devmode", old, 1, "dmSpecVersion is 0x0400, the driver's is 0x0401"),
            ("short.devmode", record[:4000], 2, "holds 4000 bytes, its header announces 7228"),
            ("tiny.devmode", b"DEVMODE", 2, "7 bytes, too short for a device mode"),
        ]
        for name, data, status, why in cases:
            result = run("devmode", "check", self.write(name, bytes(data)))
            self.assertEqual(result.returncode, status, name)
            self.assertIn(why, result.stdout.decode())
            self.assertEqual(result.stdout.decode().count("\n"), 1)
        missing = run("devmode", "check", self.path("missing"))
        self.assertEqual(missing.returncode, 2)

    def test_plain_devmode_public_settings_count_but_not_the_private_block(self):
        devmode = self.path("own.devmode")
        run("devmode", "new", "--copies", "2", "--line-terminator", "crlf", "-o", devmode)
        with open(devmode, "rb") as file:
            plain = bytearray(file.read()[:220])
        plain[70:72] = (0).to_bytes(2, "little")
        result = run("print", "--devmode", self.write("plain.devmode", bytes(plain)), stdin=b"x\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"xx")
        self.assertIn("not the driver's own device mode", result.stderr.decode())

    def test_refused_setting_is_reported_and_the_job_goes_on_unless_strict(self):
        result = run("print", "--paper-width", "3000", "--copies", "1001", stdin=b"x\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"x", "a refused copy count must leave one copy")
        self.assertEqual(result.stderr.decode(),
                         "textrelay: paper width 3000 is refused: the driver takes 1 to 2032 and keeps 3779\n"
                         "textrelay: copies 1001 is refused: the driver takes 1 to 1000 and keeps 1\n")
        strict = run("print", "--strict", "--orientation", "portrait", "--paper-length", "2", stdin=b"x\n")
        self.assertEqual(strict.returncode, 1)
        self.assertEqual(strict.stdout, b"")
        self.assertIn("paper length 2 is refused: the driver takes 3 to 9999", strict.stderr.decode())

    def test_strict_new_writes_no_file_for_a_refused_setting(self):
        devmode = self.path("x.devmode")
        result = run("devmode", "new", "--strict", "--copies", "0", "-o", devmode)
        self.assertEqual(result.returncode, 1)
        self.assertFalse(os.path.exists(devmode))
        self.assertEqual(os.listdir(self.folder), [])


class Outputs(Folder):
    def test_file_output_is_whole_and_leaves_no_temporary(self):
        out = self.path("out.prn")
        result = run("print", "--line-terminator", "lf", "--output", out, stdin=b"a\nb\n")
        self.assertEqual((result.returncode, result.stdout), (0, b""))
        self.assertEqual(self.read("out.prn"), b"a\nb\n")
        self.assertEqual(os.listdir(self.folder), ["out.prn"])

    def test_failing_job_leaves_no_file_and_keeps_an_old_one(self):
        good = self.write("good.txt", "good\n")
        bad = self.write("bad.txt", b"\xff\n")
        self.assertNotEqual(run("print", "-o", self.path("new.prn"), good, bad).returncode, 0)
        self.assertFalse(os.path.exists(self.path("new.prn")))
        self.write("old.prn", "old")
        self.assertNotEqual(run("print", "-o", self.path("old.prn"), good, bad).returncode, 0)
        self.assertEqual(self.read("old.prn"), b"old")
        self.assertEqual(sorted(os.listdir(self.folder)), ["bad.txt", "good.txt", "old.prn"])

    def test_write_failure_midway_leaves_no_file(self):
        def small_files():
            resource.setrlimit(resource.RLIMIT_FSIZE, (4096, 4096))
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)

        text = self.write("big.txt", (b"x" * 100 + b"\n") * 1000)
        out = self.path("big.prn")
        result = run("print", "-o", out, text, preexec_fn=small_files)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(), f"textrelay: {out}: write failed: File too large\n")
        self.assertEqual(os.listdir(self.folder), ["big.txt"])

    def test_full_device_is_a_failure(self):
        result = run("print", "-o", "/dev/full", stdin=b"x\n")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(), "textrelay: /dev/full: write failed: No space left on device\n")

    # Each row makes what the output path names and gives it; the job prints
    # "a" and "b" with LF, or fails with the message, and then the folder
    # holds exactly the names listed (no temporary file) and the check holds.
    def test_each_kind_of_output_path(self):
        def old(name, mode=0o644, owner=None):
            os.chmod(self.write(name, "old"), mode)
            if owner:
                os.chown(self.path(name), *owner)
            return self.path(name)

        def link(name, target):
            os.symlink(target, self.path(name))
            return self.path(name)

        def linked(name, other):
            os.link(old(other), self.path(name))
            return self.path(name)

        def fifo(name):
            os.mkfifo(self.path(name))
            readers.append(threading.Thread(target=lambda: got.append(self.read(name)), daemon=True))
            readers[-1].start()
            return self.path(name)

        def pty():
            master, slave = os.openpty()
            tty.setraw(slave)
            self.addCleanup(os.close, master)
            self.addCleanup(os.close, slave)
            got.append(master)
            return os.ttyname(slave)

        def missing_folder():
            os.mkdir(self.path("gone"))
            os.rmdir(self.path("gone"))
            return self.path("gone/out.prn")

        def mode(name):
            return stat.S_IMODE(os.stat(self.path(name)).st_mode)

        new = b"a\nb\n"
        rows = [
            # what, make the path, umask, exit, message, names left, check
            ("a link", lambda: (old("target.prn"), link("link.prn", "target.prn"))[1], 0o022, 0, "",
             ["link.prn", "target.prn"],
             lambda: (os.path.islink(self.path("link.prn")), self.read("target.prn")) == (True, new)),
            ("a link to a new file in another folder",
             lambda: (os.mkdir(self.path("sub")), link("link.prn", "sub/new.prn"))[1], 0o022, 0, "",
             ["link.prn", "sub"], lambda: self.read("sub/new.prn") == new),
            ("a file's mode", lambda: old("private.prn", 0o640), 0o022, 0, "", ["private.prn"],
             lambda: mode("private.prn") == 0o640),
            ("a new file's mode, from the umask", lambda: self.path("new.prn"), 0o027, 0, "",
             ["new.prn"], lambda: mode("new.prn") == 0o640),
            ("a file with another name", lambda: linked("one.prn", "two.prn"), 0o022, 0, "",
             ["one.prn", "two.prn"],
             lambda: os.path.samefile(self.path("one.prn"), self.path("two.prn"))
             and self.read("two.prn") == new),
            ("a FIFO", lambda: fifo("fifo"), 0o022, 0, "", ["fifo"],
             lambda: stat.S_ISFIFO(os.stat(self.path("fifo")).st_mode) and got == [new]),
            ("a terminal", pty, 0o022, 0, "", [], lambda: os.read(got[0], 100) == new),
            ("a full device", lambda: "/dev/full", 0o022, 1,
             "/dev/full: write failed: No space left on device", [], None),
            ("a directory", lambda: self.folder, 0o022, 1, "{}: a directory; name a file to write",
             [], None),
            ("a missing folder", missing_folder, 0o022, 1,
             "{}: cannot create a temporary file beside it: No such file or directory", [], None),
        ]
        if os.geteuid() == 0:
            rows.append(("a file's owner and group", lambda: old("theirs.prn", owner=(1234, 5678)),
                         0o022, 0, "",
                         ["theirs.prn"], lambda: (os.stat(self.path("theirs.prn")).st_uid,
                                                  os.stat(self.path("theirs.prn")).st_gid) == (1234, 5678)))
        for what, make, umask, code, message, names, check in rows:
            with self.subTest(what):
                shutil.rmtree(self.folder)
                os.mkdir(self.folder)
                got, readers = [], []
                out = make()
                result = run("print", "--line-terminator", "lf", "-o", out, stdin=b"a\nb\n",
                             preexec_fn=lambda: os.umask(umask), timeout=20)
                expected = f"textrelay: {message.format(out)}\n" if message else ""
                self.assertEqual((result.returncode, result.stderr.decode()), (code, expected))
                for reader in readers:
                    reader.join(timeout=5)
                self.assertEqual(sorted(os.listdir(self.folder)), names)
                self.assertTrue(check is None or check(), what)

    def test_hexdump_goes_to_the_output_file(self):
        out = self.path("dump.txt")
        self.assertEqual(run("print", "--hexdump", "-o", out, stdin=b"A\n").returncode, 0)
        self.assertEqual(self.read("dump.txt"),
                         b"00000000  41" + b" " * 47 + b" |A|\n00000001\n")


class Printer:
    """A raw printer port on 127.0.0.1: takes connections one after another and
    keeps each one's bytes. read_limit closes a connection after that many
    bytes; pace makes a slow printer, which takes 4 KB at a time, that many
    seconds apart, into a small buffer. received counts the bytes of the
    connection being read. port: that of an earlier printer, back on."""

    def __init__(self, read_limit=None, pace=0, port=0):
        self.jobs = []
        self.received = 0
        self.read_limit = read_limit
        self.pace = pace
        self.server = socket.socket()
        if pace:
            self.server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.server.bind(("127.0.0.1", port))
        self.server.listen()
        self.server.settimeout(60)
        self.port = self.server.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            with connection:
                self.jobs.append(self.take(connection))

    def take(self, connection):
        data = bytearray()
        self.received = 0
        connection.settimeout(60)
        while self.read_limit is None or len(data) < self.read_limit:
            chunk = connection.recv(4096 if self.pace else 65536)
            if not chunk:
                break
            data += chunk
            self.received = len(data)
            time.sleep(self.pace)
        return bytes(data)

    def close(self):
        try:
            self.server.shutdown(socket.SHUT_RDWR)  # wakes the waiting accept
        except OSError:
            pass
        self.server.close()
        self.thread.join(timeout=5)

    def await_jobs(self, count, timeout=60):
        """A job is complete for the sender once acknowledged, perhaps before
        the port has read and kept it."""
        deadline = time.monotonic() + timeout
        while len(self.jobs) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        return self.jobs


class Listener:
    """A printer port on 127.0.0.1 with a small receive buffer, so that what
    its side acknowledges follows what it reads. It takes one connection
    (unless not accepts: its accept queue is then full) and reads up to
    `reads` bytes (None: all) `pace` seconds apart, sending a status byte
    every 100 ms when `status`; then it resets the connection when `resets`,
    or keeps it until the test ends when `holds`. received counts what it
    read; done_reading is set once it reads no more."""

    def __init__(self, accepts=True, reads=None, pace=0, status=False, resets=False, holds=False):
        self.received = 0
        self.done_reading = threading.Event()
        self.stop = threading.Event()
        self.server = socket.socket()
        self.server.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(0)
        self.port = self.server.getsockname()[1]
        self.threads = []
        self.filler = None if accepts else socket.create_connection(("127.0.0.1", self.port))
        if accepts:
            self.start(self.serve, reads, pace, status, resets, holds)
        else:
            self.done_reading.set()

    def start(self, target, *args):
        self.threads.append(threading.Thread(target=target, args=args, daemon=True))
        self.threads[-1].start()

    def serve(self, reads, pace, status, resets, holds):
        self.server.settimeout(30)
        with self.server.accept()[0] as connection:
            connection.settimeout(30)
            if status:
                self.start(self.send_status, connection)
            try:
                while reads is None or self.received < reads:
                    chunk = connection.recv(4096 if reads is None else min(4096, reads - self.received))
                    if not chunk:
                        break
                    self.received += len(chunk)
                    time.sleep(pace)
            except OSError:
                pass
            self.done_reading.set()
            if resets:
                connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            if holds:
                self.stop.wait(30)

    def send_status(self, connection):
        try:
            while not self.stop.wait(0.1):
                connection.sendall(b"\x13")
        except OSError:
            pass

    def close(self):
        self.stop.set()
        self.server.close()
        if self.filler:
            self.filler.close()
        for thread in self.threads:
            thread.join(timeout=5)


class Tcp(Folder):
    def printer(self, **options):
        printer = Printer(**options)
        self.addCleanup(printer.close)
        return printer

    def test_job_arrives_whole(self):
        printer = self.printer()
        text = "".join(f"line {n}\n" for n in range(5000))
        result = run("print", "--line-terminator", "crlf", "--form-feed", "-o",
                     f"tcp://127.0.0.1:{printer.port}", stdin=text.encode())
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(printer.await_jobs(1),
                         [text.replace("\n", "\r\n").encode() + b"\x0c"])

    def test_two_jobs_arrive_whole_and_in_order(self):
        printer = self.printer()
        first = self.write("a.txt", "A" * 100000 + "\n")
        second = self.write("b.txt", "B\n")
        result = run("print", "--copies", "2", "-o", f"tcp://127.0.0.1:{printer.port}", first, second)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(printer.await_jobs(2), [b"A" * 200000, b"BB"])

    # Exit 0 once the printer's side has acknowledged every byte, whatever it
    # does then; otherwise exit 1 naming why and how many bytes were
    # acknowledged, which is what the printer got. The byte ranges allow
    # for the listener's buffer; a range of acknowledged bytes is given as
    # a function of what the listener read.
    LISTENERS = [
        # what, the listener, job bytes, --deadline, exit, message, acknowledged
        ("reads all, closes", {}, 200_000, "5", 0, "", None),
        ("reads all, stays open", {"holds": True}, 200_000, "5", 0, "", None),
        ("reads slowly", {"pace": 0.02}, 100_000, "10", 0, "", None),
        ("reads slowly", {"pace": 0.02}, 2_000_000, "0.5", 1,
         "the printer did not take the job within 0.5 s \\((\\d+) bytes acknowledged\\)",
         lambda read: (read - 65536, read)),
        ("status every 100 ms", {"status": True, "holds": True}, 200_000, "5", 0, "", None),
        ("resets after N bytes", {"reads": 50_000, "resets": True}, 1_000_000, "5", 1,
         "connection lost: Connection reset by peer \\((\\d+) bytes acknowledged\\)",
         lambda read: (read, read + 65536)),
        ("never accepts", {"accepts": False}, 1000, "1", 1, "connect failed: Connection timed out",
         None),
        ("accepts, never reads", {"reads": 0, "holds": True}, 1_000_000, "1", 1,
         "the printer did not take the job within 1 s \\((\\d+) bytes acknowledged\\)",
         lambda read: (1, 65536)),
    ]

    def test_exit_status_message_and_bytes_for_each_kind_of_listener(self):
        for what, behaviour, size, deadline, code, message, acknowledged in self.LISTENERS:
            with self.subTest(what, deadline=deadline):
                listener = Listener(**behaviour)
                self.addCleanup(listener.close)
                where = f"tcp://127.0.0.1:{listener.port}"
                result = run("print", "--line-terminator", "lf", "--deadline", deadline, "-o", where,
                             stdin=("x" * 99 + "\n").encode() * (size // 100), timeout=20)
                self.assertTrue(listener.done_reading.wait(10))
                self.assertEqual(result.returncode, code, result.stderr)
                if code == 0:
                    self.assertEqual((result.stderr, listener.received), (b"", size))
                    continue
                match = re.fullmatch(f"textrelay: {where}: {message}\n", result.stderr.decode())
                self.assertTrue(match, result.stderr)
                if acknowledged is None:
                    self.assertEqual(listener.received, 0)
                    continue
                low, high = acknowledged(listener.received)
                self.assertLessEqual(low, int(match[1]))
                self.assertLessEqual(int(match[1]), high)

    def test_refused_connection_is_a_failure(self):
        with socket.socket() as unused:
            unused.bind(("127.0.0.1", 0))
            port = unused.getsockname()[1]
        result = run("print", "-o", f"tcp://127.0.0.1:{port}", stdin=b"x\n")
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode(),
                         f"textrelay: tcp://127.0.0.1:{port}: connect failed: Connection refused\n")

    def test_printer_closing_midway_is_a_failure(self):
        printer = self.printer(read_limit=1000)
        text = ("x" * 99 + "\n") * 20000
        result = run("print", "-o", f"tcp://127.0.0.1:{printer.port}", stdin=text.encode())
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"tcp://127.0.0.1:{printer.port}: connection lost", result.stderr.decode())


class CupsServer:
    """A print server of a test's own in folder, on a local socket there. The
    CUPS client programs run by command() talk to it and keep their own
    settings (lpoptions) in the folder too."""

    CUPSD_CONF = """Listen {folder}/cups.sock
LogLevel debug
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
"""
    FILES_CONF = """ServerRoot {folder}
RequestRoot {folder}/spool
TempDir {folder}/spool/tmp
StateDir {folder}/state
CacheDir {folder}/cache
AccessLog {folder}/log/access_log
ErrorLog {folder}/log/error_log
PageLog {folder}/log/page_log
ServerBin {folder}/serverbin
DataDir /usr/share/cups
Printcap {folder}/printcap
"""

    def __init__(self, folder):
        self.folder = folder
        self.socket = self.path("cups.sock")
        self.daemon = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def write(self, name, text, mode=0o644):
        with open(self.path(name), "w", encoding="utf-8") as file:
            file.write(text)
        os.chmod(self.path(name), mode)

    def make_server_bin(self, filters, installed="/usr/lib/cups"):
        """CUPS's programs, linked, and the given filters copied in: cupsd
        runs only programs that root owns and no one else may change."""
        os.makedirs(self.path("serverbin/filter"))
        for sub in os.listdir(installed):
            if sub != "filter":
                os.symlink(os.path.join(installed, sub), self.path("serverbin/" + sub))
        if os.path.isdir(os.path.join(installed, "filter")):
            for program in os.listdir(os.path.join(installed, "filter")):
                os.symlink(os.path.join(installed, "filter", program), self.path("serverbin/filter/" + program))
        for program in filters:
            copy = self.path("serverbin/filter/" + os.path.basename(program))
            if os.path.lexists(copy):
                os.unlink(copy)  # a link to an installed program, which must stay as it is
            shutil.copyfile(program, copy)
            os.chmod(copy, 0o755)

    def start(self, filters=()):
        """Fails, never skips, when the server cannot run."""
        packages = subprocess.run([os.path.join(SOURCE, "scripts", "ensure-packages"), "cups"], timeout=600)
        cupsd = shutil.which("cupsd") or "/usr/sbin/cupsd"
        if packages.returncode != 0 or not os.path.exists(cupsd) or not shutil.which("lpadmin"):
            raise AssertionError("cupsd cannot start: the cups and cups-client packages are not installed")
        os.chmod(self.folder, 0o755)
        self.make_server_bin(filters)
        for sub in ("spool", "spool/tmp", "state", "cache", "log"):
            os.makedirs(self.path(sub), exist_ok=True)
        self.write("cupsd.conf", self.CUPSD_CONF.format(folder=self.folder))
        self.write("cups-files.conf", self.FILES_CONF.format(folder=self.folder))
        self.daemon = subprocess.Popen([cupsd, "-f", "-c", self.path("cupsd.conf"),
                                        "-s", self.path("cups-files.conf")],
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while not os.path.exists(self.socket):
            if self.daemon.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise AssertionError("cupsd cannot start: " + self.log())
            time.sleep(0.1)

    def log(self, tail=3000):
        """The end of the server's log, or all of it with tail=None."""
        try:
            with open(self.path("log/error_log"), "rb") as file:
                return file.read().decode(errors="replace")[-tail if tail else 0:]
        except OSError:
            return "no error log"

    def stop(self):
        if self.daemon is None:
            return
        self.daemon.terminate()
        try:
            self.daemon.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.daemon.kill()
            self.daemon.wait()
        self.daemon = None

    def command(self, *args, check=True):
        """A CUPS client program (lp, lpadmin, lpoptions, lpstat) against this server."""
        environment = dict(os.environ, CUPS_SERVER=self.socket, CUPS_SERVERROOT=self.folder,
                           HOME=self.folder, LANG="C")
        result = subprocess.run(args, capture_output=True, timeout=60, env=environment)
        if check:
            assert result.returncode == 0, (args, result.stderr.decode(), self.log())
        return result


class Cups(Folder):
    """The command's cups: destination on a raw queue whose device is a port
    the test listens on."""

    def setUp(self):
        super().setUp()
        self.server = CupsServer(self.folder)
        self.addCleanup(self.server.stop)
        self.server.start()
        self.socket = self.server.socket
        self.printer = Printer()
        self.addCleanup(self.printer.close)
        self.server.command("lpadmin", "-h", self.socket, "-p", "raw", "-E",
                            "-v", f"socket://127.0.0.1:{self.printer.port}/?snmp=off")

    def await_jobs(self, count):
        self.assertEqual(len(self.printer.await_jobs(count)), count, self.server.log())

    def test_raw_job_reaches_the_queues_device_byte_for_byte(self):
        receipt = os.path.join(SOURCE, "examples", "receipt.txt")
        result = run("print", "--line-terminator", "crlf", "--form-feed",
                     "-o", f"cups:raw@{self.socket}", receipt)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertRegex(result.stdout.decode(), rf"^cups:raw@{self.socket}: job \d+\n$")
        with open(receipt, encoding="utf-8") as file:
            expected = print_bytes(file.read(), "--line-terminator", "crlf", "--form-feed")
        self.await_jobs(1)
        self.assertEqual(self.printer.jobs, [expected])

    def test_each_document_is_its_own_job(self):
        first = self.write("a.txt", "A\n")
        second = self.write("b.txt", "B\n")
        result = run("print", "--copies", "2", "-o", f"cups:raw@{self.socket}", first, second)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.decode().count(" job "), 2)
        self.await_jobs(2)
        self.assertEqual(self.printer.jobs, [b"AA", b"BB"])

    def test_missing_queue_is_a_failure(self):
        result = run("print", "-o", f"cups:nosuchqueue@{self.socket}", stdin=b"x\n")
        self.assertEqual(result.returncode, 1)
        self.assertIn(f"cups:nosuchqueue@{self.socket}: ", result.stderr.decode())



# The CUPS driver as CUPS runs it: the filter and the PPD the build made.
FILTER = os.environ.get("TEXTRELAY_FILTER", "build/host/tools/textrelaytoraw")
PPD = os.environ.get("TEXTRELAY_PPD", "build/host/tools/textrelay.ppd")


def command_bytes(data, *options):
    """What `textrelay print` sends for data (bytes) with the options."""
    result = run("print", *options, stdin=data)
    assert result.returncode == 0, result.stderr.decode()
    return result.stdout


class CupsDriver(unittest.TestCase):
    """Queues made from the PPD on one private cupsd for the whole group, each
    test with its own queue and its own printer port."""

    TEXT = "Receipt 42\n\n\x1b!\x08Café 1,50 €\n\fTotal\n".encode()

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="textrelay-cups-")
        cls.server = CupsServer(cls.folder)
        try:
            cls.server.start(filters=[FILTER])
        except BaseException:
            shutil.rmtree(cls.folder, ignore_errors=True)
            raise

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.queue = self._testMethodName.removeprefix("test_")[:20]
        self.printer = Printer()
        self.addCleanup(self.printer.close)
        self.lpadmin("-E", "-v", f"socket://127.0.0.1:{self.printer.port}/?snmp=off", "-P", PPD)

    def lpadmin(self, *options):
        return self.server.command("lpadmin", "-p", self.queue, *options)

    def lp(self, data, *options, name="job.txt", check=True):
        """Prints data (bytes) as a file of that name; the job's number."""
        path = os.path.join(self.folder, name)
        with open(path, "wb") as file:
            file.write(data)
        result = self.server.command("lp", "-d", self.queue, *options, path, check=check)
        if not check:
            return result
        return int(result.stdout.decode().split(f"{self.queue}-")[1].split()[0])

    def await_bytes(self, expected):
        """Waits until the port has received expected; returns every byte it got."""
        deadline = time.monotonic() + 60
        while b"".join(self.printer.jobs) != expected and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(0.3)  # anything more that was on its way
        return b"".join(self.printer.jobs)

    def test_jobs_print_as_the_command_prints_them(self):
        cyrillic = "Привет\n\nмир ☃\n".encode()
        invalid = b"ok \xe2\x82 \xff\n\n"
        cases = [
            # lp's options; the command's for the same bytes; the text
            ((), ("--line-terminator", "crlf"), self.TEXT),
            (("-o", "LineTerminator=LF", "-o", "FormFeed=True"), ("--line-terminator", "lf", "--form-feed"),
             self.TEXT),
            (("-n", "2", "-o", "EmptyLines=Skip"), ("--line-terminator", "crlf", "--copies", "2",
                                                     "--empty-lines", "skip"), self.TEXT),
            (("-o", "CodePage=CP866", "-o", "LineTerminator=CR", "-o", "media=Label4x6in", "-o", "landscape"),
             ("--code-page", "CP866", "--line-terminator", "cr", "--paper-width", "1016",
              "--paper-length", "1524", "--orientation", "landscape"), cyrillic),
            (("-o", "PageSize=Custom.58x100mm", "-o", "orientation-requested=4", "-o", "InvalidUTF8=Replace",
              "-o", "LineTerminator=None"), ("--paper-width", "580", "--paper-length", "1000", "--orientation",
                                              "landscape", "--replace-invalid"), invalid),
        ]
        for lp_options, _, data in cases:
            self.lp(data, *lp_options)
        expected = [command_bytes(data, *options) for _, options, data in cases]
        self.assertEqual(self.await_bytes(b"".join(expected)), b"".join(expected), self.server.log())
        self.assertEqual(self.printer.jobs, expected)

    def test_defaults_of_the_queue_and_its_ppd_give_way_to_the_job(self):
        self.lpadmin("-o", "LineTerminator=LF")  # the queue's PPD default
        self.lp(self.TEXT)
        self.server.command("lpoptions", "-p", self.queue, "-o", "FormFeed=True", "-o", "EmptyLines=Skip")
        self.lp(self.TEXT)
        self.lp(self.TEXT, "-o", "LineTerminator=CR", "-o", "EmptyLines=Feed")
        self.lp(self.TEXT, "-o", "FormFeed=False")
        expected = [command_bytes(self.TEXT, *options) for options in (
            ("--line-terminator", "lf"),
            ("--line-terminator", "lf", "--form-feed", "--empty-lines", "skip"),
            ("--line-terminator", "cr", "--form-feed"),
            ("--line-terminator", "lf", "--empty-lines", "skip"),
        )]
        self.assertEqual(self.await_bytes(b"".join(expected)), b"".join(expected), self.server.log())
        self.assertEqual(self.printer.jobs, expected)

    def test_bad_jobs_stop_with_the_filters_message_and_send_nothing(self):
        cases = [
            (b"ok\nbad \xff\n", (), "bad.txt: line 2, byte offset 7: invalid UTF-8; nothing was sent"),
            ("ｶﾅ\n日本\n".encode(), ("-o", "CodePage=CP932"),
             "bad.txt: line 2: 1 line takes more bytes in CP932 than characters"),
            (b"fine\n", ("-o", "LineTerminator=CRCR"),
             "LineTerminator=CRCR is not a choice of LineTerminator (None, CRLF, CR or LF); nothing was sent"),
        ]
        jobs = [self.lp(data, *options, name="bad.txt") for data, options, _ in cases]
        self.lp(b"good\n")
        self.assertEqual(self.await_bytes(b"good\r\n"), b"good\r\n", self.server.log())
        listing = self.server.command("lpstat", "-W", "not-completed", "-l", "-o", self.queue).stdout.decode()
        log = self.server.log(tail=None)
        for job, (_, _, message) in zip(jobs, cases):
            self.assertRegex(listing, rf"{self.queue}-{job} .*\n\tStatus: {re.escape(message)}")
            self.assertRegex(log, rf"\[Job {job}\] Job (stopped|aborted)")

    def test_receipts_text_types_and_desktop_sizes_print_through_the_driver(self):
        # Files that begin with printer commands, scripts and HTML, a paper
        # size the queue lacks: as the command prints them. Binary printer
        # data goes unchanged, also with -o raw.
        with open(os.path.join(SOURCE, "examples", "receipt.txt"), "rb") as file:
            receipt = file.read()
        script = b"#!/bin/sh\necho Caf\xc3\xa9\n"
        html = b"<!DOCTYPE html>\n<p>Gr\xc3\xb6\xc3\x9fe</p>\n"
        binary = b"\x1b@\x1d\x76\x30\x00\xff\x0a\x00\x80\n"
        pages = b"a\n\fb\n"
        lf = ("--line-terminator", "lf", "--form-feed")
        cases = [
            # the file's name and bytes, lp's options; the command's options or the bytes sent
            ("receipt.txt", receipt, ("-o", "LineTerminator=LF", "-o", "FormFeed=True"), lf),
            ("run.sh", script, (), ("--line-terminator", "crlf")),
            ("page.html", html, ("-o", "media=A4"), ("--line-terminator", "crlf")),
            ("letter.txt", receipt, ("-o", "PageSize=Letter", "-o", "LineTerminator=LF", "-o", "FormFeed=True"), lf),
            ("cut.prn", b"Total\n\x1dV\x01\n", (), ("--line-terminator", "crlf")),
            ("raw.txt", receipt, ("-o", "raw"), ("--line-terminator", "crlf")),
            ("logo.bin", binary, ("-n", "2"), binary * 2),
            ("logo.prn", binary, ("-o", "raw"), binary),
            ("pages.txt", pages, ("-n", "3"), ("--line-terminator", "crlf", "--copies", "3")),
        ]
        jobs = [self.lp(data, *options, name=name) for name, data, options, _ in cases]
        expected = [sent if isinstance(sent, bytes) else command_bytes(data, *sent)
                    for _, data, _, sent in cases]
        self.assertEqual(self.await_bytes(b"".join(expected)), b"".join(expected), self.server.log())
        self.assertEqual(self.printer.jobs, expected)
        log = self.server.log(tail=None)
        self.assertIn(f"[Job {jobs[0]}] Request file type is application/vnd.cups-raw", log)
        self.assertIn(f"[Job {jobs[4]}] Request file type is application/octet-stream", log)
        self.assertRegex(log, rf"W \[.*\] \[Job {jobs[2]}\] media=A4 is neither a size of the PPD .*: printed "
                              r"on the queue\W+s default size Roll80mm")
        for job in jobs:
            self.assertEqual(len(re.findall(rf"\[Job {job}\] textrelaytoraw: ", log)), 1, job)
        # The driver's pages, times their copies, reach CUPS's accounting.
        self.assertEqual(self.await_impressions(jobs), [1, 1, 1, 1, 1, 1, 2, 1, 6])

    def await_impressions(self, jobs):
        """The impressions the page log counts for each job once all are done."""
        deadline = time.monotonic() + 30
        while True:
            with open(self.server.path("log/page_log"), encoding="utf-8", errors="replace") as file:
                totals = dict(re.findall(rf"^{self.queue} \S+ (\d+) \[[^]]*\] total (\d+) ", file.read(), re.M))
            if all(str(job) in totals for job in jobs) or time.monotonic() > deadline:
                return [int(totals.get(str(job), -1)) for job in jobs]
            time.sleep(0.1)

    def test_a_cancelled_job_ends_its_last_line_and_page(self):
        # The backend sends what the filter wrote before the cancel; the
        # filter stops reading and ends its document, so that the printer's
        # next job starts on a fresh line and a fresh page.
        self.printer.close()
        self.printer = Printer(pace=0.01)
        self.addCleanup(self.printer.close)
        self.lpadmin("-v", f"socket://127.0.0.1:{self.printer.port}/?snmp=off")
        text = "".join(f"line {n} alpha beta gamma Café\n" for n in range(200000)).encode()
        job = self.lp(text, "-o", "LineTerminator=LF", "-o", "FormFeed=True")
        deadline = time.monotonic() + 60
        while self.printer.received < 65536 and time.monotonic() < deadline:
            time.sleep(0.05)
        self.server.command("cancel", f"{self.queue}-{job}")
        deadline = time.monotonic() + 60
        while not self.printer.jobs and time.monotonic() < deadline:
            time.sleep(0.1)
        whole = command_bytes(text, "--line-terminator", "lf", "--form-feed")
        self.assertEqual(len(self.printer.jobs), 1, self.server.log())
        sent = self.printer.jobs[0]
        self.assertLess(len(sent), len(whole) // 2, "the job was cancelled early")
        self.assertTrue(sent.endswith(b"\n\x0c"), sent[-60:])
        self.assertEqual(sent[:-1], whole[:len(sent) - 1])

    def test_documents_that_are_neither_text_nor_printer_data_are_refused(self):
        pdf = b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<<>>\nendobj\ntrailer\n<<>>\n%%EOF\n"
        result = self.lp(pdf, name="x.pdf", check=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn('Unsupported document-format "application/pdf"', result.stderr.decode())


class CupsFilter(Folder):
    """The filter run by hand as CUPS runs it: arguments, environment, standard
    input and output."""

    def filter(self, *arguments, stdin=b"", ppd=PPD, content_type="text/plain", tmpdir=None):
        environment = {k: v for k, v in os.environ.items() if k not in ("PPD", "CONTENT_TYPE")}
        if ppd:
            environment["PPD"] = ppd
        if content_type:
            environment["CONTENT_TYPE"] = content_type
        if tmpdir:
            environment["TMPDIR"] = tmpdir
        return subprocess.run(EMULATOR + [FILTER, *arguments], input=stdin, capture_output=True,
                              timeout=60, env=environment)

    @staticmethod
    def messages(result, *levels):
        """The filter's lines on standard error of those levels (all but
        DEBUG: and PAGE: when none are named)."""
        lines = result.stderr.decode().splitlines(keepends=True)
        if levels:
            return "".join(line for line in lines if line.startswith(levels))
        return "".join(line for line in lines if not line.startswith(("DEBUG: ", "PAGE: ")))

    def test_filter_prints_as_the_command_does(self):
        text = "one\n\ntwo ☃\n".encode()
        file = self.write("in.txt", text)
        cases = [
            # arguments after the job's user; PPD or none; the command's options
            (("t", "1", "", file), PPD, ("--code-page", "CP1252", "--line-terminator", "crlf")),
            (("t", "3", "FormFeed=yes LineTerminator=lf"), PPD,
             ("--code-page", "CP1252", "--line-terminator", "lf", "--form-feed", "--copies", "3")),
            # No PPD: the driver's own settings but for those given.
            (("t", "1", "orientation-requested=3 media=Custom.58x297mm"), None,
             ("--orientation", "portrait", "--paper-width", "580", "--paper-length", "2970")),
            (("t", "1", "PageSize=Custom.300x100mm"), PPD,
             ("--code-page", "CP1252", "--line-terminator", "crlf", "--paper-width", "3000", "--paper-length", "1000")),
        ]
        for arguments, ppd, options in cases:
            with self.subTest(arguments=arguments):
                result = self.filter("7", "user", *arguments, stdin=text, ppd=ppd)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout, command_bytes(text, *options))
                notes = run("print", *options, stdin=text).stderr.decode()
                self.assertEqual(self.messages(result), notes.replace("textrelay: ", "WARNING: ")
                                 .replace("standard input", "t"))

    def test_filter_failures_are_error_lines_with_nothing_sent(self):
        missing = self.path("missing.ppd")
        cases = [
            (("7", "u", "t", "1", "", self.path("none.txt")), {}, f"ERROR: {self.path('none.txt')}: No such file"),
            (("7", "u", "t", "0", ""), {}, "ERROR: copies 0 is not a count of copies"),
            (("7", "u", "t", "2x", ""), {}, "ERROR: copies 2x is not a count of copies"),
            (("7", "u", "t", "1", "EmptyLines=Maybe"), {},
             "ERROR: EmptyLines=Maybe is not a choice of EmptyLines (Feed or Skip)"),
            (("7", "u", "t", "1", "orientation-requested=7"), {}, "ERROR: orientation-requested=7 is not a choice"),
            (("7", "u", "t", "1", "RawData=Maybe"), {}, "ERROR: RawData=Maybe is not a choice of RawData"),
            (("7", "u", "t", "1", ""), {"ppd": missing}, f"ERROR: {missing}: No such file or directory"),
            # Standard input is copied where CUPS asks filters to keep their files.
            (("7", "u", "t", "1", ""), {"tmpdir": self.path("none")},
             "ERROR: standard input: temporary file: No such file or directory"),
            (("7", "u", "t", "1"), {}, "Usage: "),
        ]
        for arguments, environment, message in cases:
            with self.subTest(arguments=arguments, environment=environment):
                result = self.filter(*arguments, stdin=b"text\n", **environment)
                self.assertEqual((result.returncode, result.stdout), (1, b""))
                self.assertTrue(self.messages(result).startswith(message), result.stderr)
                self.assertEqual(self.messages(result).count("\n"), 1, result.stderr)
                self.assertEqual(self.messages(result, "PAGE: "), "")

    def test_printer_data_that_is_not_utf8_goes_unchanged_unless_refused(self):
        # Text types, and UTF-8 printer data, print as the command prints
        # them (see CupsDriver); what is not UTF-8 is judged by RawData.
        binary = b"\x1b@\x1d\x76\x30\x00\xff\x0a\x00\x80\n"
        cases = [
            # type, job options, copies; the bytes sent, the command's options for them, or the error
            ("application/octet-stream", "FormFeed=True", "2", binary * 2),
            ("application/vnd.cups-raw", "RawData=Refuse InvalidUTF8=Replace", "1",
             ("--line-terminator", "crlf", "--replace-invalid")),
            ("application/vnd.cups-raw", "RawData=Refuse", "1", "ERROR: t: line 1, byte offset 6: invalid UTF-8"),
            ("text/plain", "", "1", "ERROR: t: line 1, byte offset 6: invalid UTF-8"),
        ]
        for content_type, options, copies, expected in cases:
            with self.subTest(content_type=content_type, options=options):
                result = self.filter("7", "u", "t", copies, options, stdin=binary, content_type=content_type)
                if isinstance(expected, str):
                    self.assertEqual((result.returncode, result.stdout), (1, b""))
                    self.assertTrue(self.messages(result).startswith(expected), result.stderr)
                    continue
                self.assertEqual(result.returncode, 0, result.stderr)
                if isinstance(expected, tuple):
                    expected = command_bytes(binary, *expected)
                self.assertEqual(result.stdout, expected)
                self.assertEqual(self.messages(result, "PAGE: "), f"PAGE: 1 {copies}\n")

    def test_test_servers_leave_an_installed_filter_alone(self):
        installed = self.path("installed")
        os.makedirs(os.path.join(installed, "filter"))
        old = self.write("installed/filter/" + os.path.basename(FILTER), b"installed build")
        server = CupsServer(self.path("server"))
        os.makedirs(server.folder)
        server.make_server_bin([FILTER], installed=installed)
        copy = server.path("serverbin/filter/" + os.path.basename(FILTER))
        self.assertEqual(self.read("installed/filter/" + os.path.basename(FILTER)), b"installed build")
        self.assertFalse(os.path.islink(copy))
        with open(FILTER, "rb") as built, open(copy, "rb") as copied:
            self.assertEqual(built.read(), copied.read())
        self.assertEqual(os.stat(old).st_mode & 0o777, 0o644)

    def test_ppd_carries_the_projects_version(self):
        with open(PPD, encoding="latin-1") as file:
            ppd = file.read()
        version = re.search(r'^\*FileVersion: "([0-9.]+)"$', ppd, re.M).group(1)
        self.assertEqual(run("--version").stdout.decode(), f"textrelay {version}\n")
        self.assertIn(f'*NickName: "textrelay raw text {version}"', ppd)

    def test_reversed_orientations_are_printed_unreversed_with_a_warning(self):
        result = self.filter("7", "u", "t", "1", "orientation-requested=5", stdin=b"x\n")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, b"x\r\n")
        self.assertEqual(self.messages(result),
                         "WARNING: orientation-requested=5 (reverse landscape) is printed as landscape\n")

# A stand-in for ninja in the Script tests: logs each build, answers -t
# inputs and -t deps (of the one object) from the tree, and a build makes tools/textrelay, which
# prints where it runs and its arguments; FAIL in the tree fails the build.
FAKE_NINJA = """#!/bin/sh
build=$2; tree=${build%/build/release}
case "$3 $4" in
  "-t inputs") printf '%s\\n' "$tree/CMakeLists.txt" "$tree/src/a.cpp" obj/a.o "$build/gen.h" ;;
  "-t deps") [ "$5" = obj/a.o ] || exit 1; echo 'obj/a.o: #deps 2, deps mtime 1 (VALID)'
     [ ! -e "$tree/src/a.h" ] || echo "    $tree/src/a.h"; echo '    /usr/include/stdio.h' ;;
  *) echo build >>"$tree/builds"; [ ! -e "$tree/FAIL" ] || { echo broken; exit 1; }
     mkdir -p "$build/tools"; printf '#!/bin/sh\\necho "$PWD $*"\\n' >"$build/tools/textrelay"
     chmod +x "$build/tools/textrelay" ;;
esac
"""


class Script(Folder):
    """./textrelay rebuilds when, and only when, what the last build read changed."""

    def setUp(self):
        super().setUp()
        for name in ("CMakeLists.txt", "src/a.cpp", "src/a.h", "build/release/build.ninja", "bin/ninja"):
            os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
            self.write(name, "")
        shutil.copy(os.path.join(SOURCE, "textrelay"), self.path("textrelay"))
        self.write("bin/ninja", FAKE_NINJA)
        os.chmod(self.path("bin/ninja"), 0o755)
        past = time.time() - 100
        for name in ("CMakeLists.txt", "src/a.cpp", "src/a.h", "src"):
            os.utime(self.path(name), (past, past))

    def run_script(self):
        """Runs ./textrelay from another folder; whether it built, and its output."""
        before = self.builds()
        time.sleep(0.05)  # a change after a build is later than its stamp
        result = subprocess.run([self.path("textrelay"), "print", "x.txt"], cwd=self.path("src"),
                                env={**os.environ, "PATH": self.path("bin") + ":" + os.environ["PATH"]},
                                capture_output=True, timeout=60)
        return self.builds() > before, result

    def builds(self):
        return self.read("builds").count(b"build") if os.path.exists(self.path("builds")) else 0

    def changed(self, name):
        stamp = os.stat(self.path("build/release/textrelay-built")).st_mtime
        os.utime(self.path(name), (stamp + 0.01, stamp + 0.01))

    def test_builds_after_each_change_to_what_the_build_read_and_only_then(self):
        steps = [
            ("first run", lambda: None, True),
            ("nothing changed", lambda: None, False),
            ("a source", lambda: self.changed("src/a.cpp"), True),
            ("nothing changed", lambda: None, False),
            ("a header from the deps log", lambda: self.changed("src/a.h"), True),
            ("a CMake file", lambda: self.changed("CMakeLists.txt"), True),
            ("a file added to a source folder", lambda: self.write("src/b.cpp", ""), True),
            ("nothing changed", lambda: None, False),
            ("a file the build read removed", lambda: os.remove(self.path("src/a.h")), True),
            ("a file the build did not read", lambda: self.write("notes.txt", ""), False),
        ]
        for what, change, builds in steps:
            change()
            built, result = self.run_script()
            self.assertEqual(result.returncode, 0, (what, result.stderr))
            self.assertEqual(built, builds, what)
            self.assertEqual(result.stdout.decode(), self.path("src") + " print x.txt\n", what)

    def test_failed_build_is_reported_and_tried_again(self):
        self.write("FAIL", "")
        built, result = self.run_script()
        self.assertTrue(built)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, b"broken\n")
        os.remove(self.path("FAIL"))
        self.assertEqual(self.run_script()[0], True, "a failed build leaves nothing to trust")
        self.assertEqual(self.run_script()[0], False)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:3], verbosity=2)
