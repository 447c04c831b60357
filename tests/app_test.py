#!/usr/bin/env python3
"""Whole-job tests of textrelay-app with real clients: ipptool, a private cupsd,
and a browser. The app listens on 127.0.0.1 only and cannot reach an mDNS
responder (no system bus), so it advertises nothing on the network.

Usage: app_test.py APP TEXTRELAY GROUP
"""
import os
import http.client
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from tool_command_test import CupsServer, Folder, Printer  # noqa: E402

APP = sys.argv[1] if __name__ == "__main__" else None
TEXTRELAY = sys.argv[2] if __name__ == "__main__" else None
IPPTOOL_FILES = "/usr/share/cups/ipptool"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def expected_bytes(text, *options):
    """What `textrelay print` sends for the text (bytes) with the options."""
    result = subprocess.run([TEXTRELAY, "print", *options], input=text, capture_output=True, timeout=60)
    assert result.returncode == 0, result.stderr.decode()
    return result.stdout


class App:
    """textrelay-app with its state, spool and local socket in a folder of its
    own: the framework keeps them under SNAP_COMMON when it is set."""

    def __init__(self, folder, program=None):
        self.program = program or APP
        self.folder = folder
        self.port = free_port()
        self.process = None
        self.environment = dict(os.environ, SNAP_COMMON=folder, HOME=folder, TMPDIR=folder,
                                DBUS_SYSTEM_BUS_ADDRESS=f"unix:path={folder}/no-bus")

    def start(self, *options, preload=None):
        environment = dict(self.environment, LD_PRELOAD=preload) if preload else self.environment
        arguments = [self.program, "server", "-o", f"server-port={self.port}", "-o", "listen-hostname=127.0.0.1",
                     "-o", f"log-file={self.folder}/app.log", "-o", "log-level=debug"]
        for option in options:
            arguments += ["-o", option]
        self.process = subprocess.Popen(arguments, env=environment,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return
            except OSError:
                if self.process.poll() is not None:
                    break
                time.sleep(0.1)
        raise AssertionError("textrelay-app did not start: " + self.log())

    def stop(self):
        if self.process is None:
            return
        self.command("shutdown", check=False)
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        self.process = None

    def restart(self, *options, preload=None):
        self.stop()
        self.start(*options, preload=preload)

    def log(self):
        try:
            with open(os.path.join(self.folder, "app.log"), "rb") as file:
                return file.read().decode(errors="replace")[-4000:]
        except OSError:
            return "no log"

    def command(self, *args, check=True):
        """A sub-command of the framework's main loop, through the local socket."""
        result = subprocess.run([self.program, *args], env=self.environment, capture_output=True, timeout=60)
        if check:
            assert result.returncode == 0, (args, result.stdout.decode(), result.stderr.decode(), self.log())
        return result.stdout.decode()

    def add_printer(self, name, device_uri):
        self.command("add", "-d", name, "-m", "textrelay-raw-text", "-v", device_uri)

    def uri(self, name):
        return f"ipp://127.0.0.1:{self.port}/ipp/print/{name}"


def operation_group(language="en"):
    """The operation attributes every request to the printer under test starts with."""
    return ("  GROUP operation-attributes-tag\n"
            "  ATTR charset attributes-charset utf-8\n"
            f"  ATTR language attributes-natural-language {language}\n"
            "  ATTR uri printer-uri $uri\n")


PRINT_AND_WAIT = """{{
  NAME "Print-Job"
  IGNORE-ERRORS yes
  OPERATION Print-Job
""" + operation_group() + """  ATTR name requesting-user-name tester
  ATTR mimeMediaType document-format {format}
{operation}
  GROUP job-attributes-tag
{attributes}
  FILE $filename
  STATUS successful-ok
  EXPECT job-id OF-TYPE integer
}}
{{
  NAME "Wait"
  SKIP-IF-NOT-DEFINED job-id
{delay}
  OPERATION Get-Job-Attributes
""" + operation_group() + """  ATTR integer job-id $job-id
  STATUS successful-ok
  EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH
  DISPLAY job-state
  DISPLAY job-state-message
  DISPLAY job-impressions-completed
}}
"""


class Outcome:
    """What ipptool reported for a print: the submission's status, and the
    job's final state and message when it was taken."""

    def __init__(self, output):
        self.output = output
        refused = re.search(r"EXPECTED: STATUS successful-ok \(got (\S+)\)", output)
        self.status = refused.group(1) if refused else "successful-ok"
        state = re.findall(r"job-state \(enum\) = (\S+)", output)
        self.state = state[-1] if state else None
        message = re.findall(r"job-state-message \(textWithoutLanguage\) = (.*)", output)
        self.message = message[-1] if message else ""
        impressions = re.findall(r"job-impressions-completed \(integer\) = (\d+)", output)
        self.impressions = int(impressions[-1]) if impressions else None


def ipp_print(folder, uri, data, attributes=(), document_format="text/plain", delay=0):
    """Prints data (bytes) with ipptool; attributes as ipptool ATTR lines, in
    the job group unless they start with "operation ". ipptool asks for the
    job's state again 5 seconds after it found the job printing: a delay
    (seconds) before the first question spares that for a job known to take
    a moment."""
    job = tempfile.NamedTemporaryFile(dir=folder, suffix=".txt", delete=False)
    job.write(data)
    job.close()
    test = job.name + ".test"
    with open(test, "w", encoding="utf-8") as file:
        operation = [a[len("operation "):] for a in attributes if a.startswith("operation ")]
        job_attributes = [a for a in attributes if not a.startswith("operation ")]
        file.write(PRINT_AND_WAIT.format(format=document_format, delay=f"  DELAY {delay}" if delay else "",
                                         operation="\n".join("  ATTR " + a for a in operation),
                                         attributes="\n".join("  ATTR " + a for a in job_attributes)))
    result = subprocess.run(["ipptool", "-T", "60", "-f", job.name, "-t", uri, test],
                            capture_output=True, timeout=180)
    os.unlink(job.name)
    os.unlink(test)
    return Outcome(result.stdout.decode(errors="replace"))


# A print, as ipp_print sends it, then a cancel of the job at once.
CANCEL_AT_START = PRINT_AND_WAIT[:PRINT_AND_WAIT.index('{{\n  NAME "Wait"')].format(
    format="text/plain", operation="", attributes="") + """{
  IGNORE-ERRORS yes
  OPERATION Cancel-Job
""" + operation_group() + """  ATTR integer job-id $job-id
  ATTR name requesting-user-name tester
}
"""


def filter_pages(data, copies):
    """The pages CUPS counts for the data from the filter's PAGE: lines."""
    result = subprocess.run([os.path.join(os.path.dirname(TEXTRELAY), "textrelaytoraw"), "1", "tester", "title",
                             str(copies), ""], input=data, capture_output=True, timeout=60,
                            env={k: v for k, v in os.environ.items() if k != "PPD"})
    assert result.returncode == 0, result.stderr.decode()
    return sum(int(line.split()[2]) for line in result.stderr.decode().splitlines() if line.startswith("PAGE: "))


def printer_attribute(folder, uri, name):
    test = os.path.join(folder, "attribute.test")
    with open(test, "w", encoding="utf-8") as file:
        file.write(GET_DEFAULTS.replace("textrelay-line-terminator-default,textrelay-form-feed-default,"
                                        "textrelay-code-page-default,media-default", name))
    result = subprocess.run(["ipptool", "-tv", uri, test], capture_output=True, timeout=60)
    found = re.search(name + r" \(\w+\) = (.*)", result.stdout.decode())
    return found.group(1) if found else None


class AppTest(Folder):
    """An app with one printer, named receipt, whose device is a port the test
    listens on."""

    def setUp(self):
        super().setUp()
        os.chmod(self.folder, 0o755)
        self.app = App(self.folder)
        self.addCleanup(self.app.stop)
        self.app.start()
        self.printer = Printer()
        self.addCleanup(self.printer.close)
        self.app.add_printer("receipt", f"socket://127.0.0.1:{self.printer.port}")

    def print(self, data, *attributes, document_format="text/plain", delay=0):
        return ipp_print(self.folder, self.app.uri("receipt"), data, attributes, document_format, delay)

    def preload_library(self, name):
        """One of the tests' preloaded shims (tests/NAME.c), built for the test."""
        library = self.path(name + ".so")
        subprocess.run(["cc", "-shared", "-fPIC", "-o", library,
                        os.path.join(os.path.dirname(os.path.abspath(__file__)), name + ".c"), "-ldl"],
                       check=True, timeout=120)
        return library

    def await_jobs(self, count, timeout=60):
        deadline = time.monotonic() + timeout
        while len(self.printer.jobs) < count and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(len(self.printer.jobs), count, self.app.log())
        return self.printer.jobs


RECEIPT = "Café  12,50\n\nTotal 12,50 €\n".encode("utf-8")
# One black pixel.
PNG_PIXEL = bytes.fromhex("89504e470d0a1a0a0000000d49484452000000010000000108000000003a7e9b55"
                          "0000000a49444154789c636000000002000148afa4710000000049454e44ae426082")


class Printing(AppTest):
    def test_jobs_carry_the_commands_bytes_for_the_same_settings(self):
        cases = [
            # job attributes, the command's options
            ((), ()),
            (('keyword textrelay-line-terminator crlf', 'boolean textrelay-form-feed true'),
             ("--line-terminator", "crlf", "--form-feed")),
            (('keyword textrelay-line-terminator lf', 'keyword textrelay-empty-lines skip',
              'integer copies 2'), ("--line-terminator", "lf", "--empty-lines", "skip", "--copies", "2")),
            (('keyword textrelay-code-page cp437', 'keyword textrelay-line-terminator cr',
              'enum orientation-requested 4', 'keyword media oe_4x6-label_4x6in'),
             ("--code-page", "CP437", "--line-terminator", "cr", "--orientation", "landscape")),
        ]
        for attributes, options in cases:
            outcome = self.print(RECEIPT, *attributes)
            self.assertEqual((outcome.status, outcome.state), ("successful-ok", "completed"), outcome.output)
        jobs = self.await_jobs(len(cases))
        self.assertEqual(jobs, [expected_bytes(RECEIPT, *options) for _, options in cases])

    def test_printer_defaults_apply_and_job_values_override_them(self):
        self.app.command("modify", "-d", "receipt", "-o", "textrelay-line-terminator-default=crlf",
                         "-o", "textrelay-form-feed-default=true")
        self.print(b"a\n")
        self.print(b"a\n", "keyword textrelay-line-terminator lf")
        self.assertEqual(self.await_jobs(2), [b"a\r\n\f", b"a\n\f"])

    def test_printer_commands_in_text_go_through_the_driver_whatever_the_client_calls_it(self):
        escpos = b"\x1b@\x1b!\x08Bold\nplain\n\x1dV\x00\n"
        zpl = b"^XA\n^FO50,50^ADN,36,20^FDLabel^FS\n^XZ\n"
        for data in (escpos, zpl):
            for document_format in ("text/plain", "application/octet-stream"):
                outcome = self.print(data, "keyword textrelay-line-terminator crlf",
                                     document_format=document_format)
                self.assertEqual(outcome.state, "completed", outcome.output)
        expected = [expected_bytes(data, "--line-terminator", "crlf") for data in (escpos, zpl)]
        self.assertEqual(self.await_jobs(4), [expected[0]] * 2 + [expected[1]] * 2)

    def test_other_formats_and_bad_values_are_refused_and_nothing_is_sent(self):
        # PAPPL 1.3.1 checks document-format against attributes that lack the
        # driver's formats, so it takes any format and aborts the job later.
        refused = "client-error-attributes-or-values-not-supported"
        cases = [
            (b"%PDF-1.4\n", (), "application/pdf", ("successful-ok", "aborted")),
            (b"%PDF-1.4\n", (), "application/octet-stream", ("successful-ok", "aborted")),
            (b"a\n", ("integer copies 0",), "text/plain", (refused, None)),
            # Without fidelity an unknown orientation is ignored, as IPP says.
            (b"a\n", ("enum orientation-requested 9",), "text/plain",
             ("successful-ok-ignored-or-substituted-attributes", "completed")),
            (b"a\n", ("keyword media na_letter_8.5x11in",), "text/plain",
             ("successful-ok-ignored-or-substituted-attributes", "completed")),
        ]
        for data, attributes, document_format, expected in cases:
            outcome = self.print(data, *attributes, document_format=document_format)
            self.assertEqual((outcome.status, outcome.state), expected, outcome.output)
        # The framework opens the device for a job it then aborts.
        self.assertEqual([job for job in self.await_jobs(4) if job], [b"a", b"a"])

    def test_a_job_that_cannot_print_stops_before_a_byte_with_the_reason_and_the_next_prints(self):
        cases = [
            (b"ok\n\xff\xfe broken\n", (), "invalid UTF-8"),
            ("漢字\n".encode("utf-8"), ("keyword textrelay-code-page cp932",), "CP932"),
            (b"a\n", ("keyword textrelay-line-terminator crlf2",), "textrelay-line-terminator 'crlf2'"),
            (b"a\n", ("keyword textrelay-code-page klingon",), "textrelay-code-page 'klingon'"),
        ]
        for data, attributes, reason in cases:
            outcome = self.print(data, *attributes)
            self.assertEqual(outcome.state, "aborted", outcome.output)
            self.assertIn(reason, outcome.message)
            self.assertIn("nothing was sent", outcome.message)
            self.assertEqual(self.print(b"next\n").state, "completed")
        # The framework opens the device before the job is read.
        self.assertEqual(self.await_jobs(2 * len(cases)), [b"", b"next"] * len(cases))
        listed = [line for line in self.app.command("jobs", "-d", "receipt").splitlines() if " aborted " in line]
        self.assertEqual(len(listed), len(cases), listed)
        for (_, _, reason), line in zip(cases, sorted(listed, key=lambda line: int(line.split()[0]))):
            self.assertIn(reason, line)

    def test_a_failed_device_write_aborts_the_job_with_the_reason(self):
        # A port that hangs up after its first byte fails the writes after
        # it, once the job is larger than the sockets' buffers can hide (6 MB
        # here); a full disk fails the first.
        closing = Printer(read_limit=1)
        self.addCleanup(closing.close)
        self.app.add_printer("closing", f"socket://127.0.0.1:{closing.port}")
        self.app.add_printer("full", "file:///dev/full")
        for name in ("closing", "full"):
            outcome = ipp_print(self.folder, self.app.uri(name), b"x" * 4000 + b"\n" * 40000,
                                ("integer copies 50", "keyword textrelay-line-terminator crlf"))
            self.assertEqual(outcome.state, "aborted", name + outcome.output + self.app.log())
            self.assertIn("device", outcome.message)

    def test_submit_prints_the_copies_asked_for(self):
        # As the README shows it: -n is the framework's own option for copies.
        receipt = self.write("receipt.txt", RECEIPT)
        self.app.command("submit", "-d", "receipt", "-o", "textrelay-line-terminator=lf", "-n", "2", receipt)
        self.assertEqual(self.await_jobs(1), [expected_bytes(RECEIPT, "--line-terminator", "lf", "--copies", "2")])

    def test_pages_are_counted_as_the_filter_counts_them(self):
        cases = [(b"one line\n", 1), (b"page 1\n\fpage 2\n\fpage 3\n", 1), (b"a\n\fb\n", 3), (b"end\n\f", 2)]
        counts = []
        for data, copies in cases:
            outcome = self.print(data, f"integer copies {copies}")
            self.assertEqual(outcome.state, "completed", outcome.output)
            counts.append(outcome.impressions)
        self.assertEqual(counts, [filter_pages(data, copies) for data, copies in cases])
        self.assertEqual(printer_attribute(self.folder, self.app.uri("receipt"), "printer-impressions-completed"), str(sum(counts)))

    def test_a_job_cancelled_as_it_starts_ends_canceled(self):
        # Each cancel reaches a job whose thread has been started but has not
        # run yet: PAPPL then starts a job that has lost its document.
        self.app.restart(preload=self.preload_library("late_threads"))
        rounds = 30
        self.assertEqual(self.run_ipptool(CANCEL_AT_START * rounds, b"x\n" * 2000), 0)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            listed = self.app.command("jobs", "-d", "receipt").splitlines()
            if len(listed) == rounds and not any(re.search(r" (pending|processing) ", line) for line in listed):
                break
            time.sleep(0.2)
        self.assertEqual(len(listed), rounds, listed)
        for line in listed:
            self.assertRegex(line, r"^\d+ (canceled|completed) ")
            self.assertNotRegex(line, r"basic_string|internal|exception")

    def test_the_test_page_prints_through_the_driver_with_the_printers_settings(self):
        # code page, terminator, bytes that code page prints as themselves
        cases = [("cp437", "crlf", range(0x80, 0x100)), ("windows-1252", "lf", range(0xA0, 0x100))]
        for code_page, terminator, own_bytes in cases:
            self.app.command("modify", "-d", "receipt", "-o", f"textrelay-code-page-default={code_page}",
                             "-o", f"textrelay-line-terminator-default={terminator}")
            printed = len(self.printer.jobs)
            status, _ = web_form(self.app.port, "/receipt", action="print-test-page")
            self.assertEqual(status, 200)
            page = self.await_jobs(printed + 1)[-1]
            end = {"crlf": b"\r\n", "lf": b"\n"}[terminator]
            lines = page.split(end)
            self.assertNotIn(b"\r" if terminator == "lf" else b"\n", b"".join(lines))
            self.assertIn(b"Printer: receipt", lines)
            self.assertIn(f"textrelay-code-page: {code_page}".encode(), lines)
            self.assertIn(f"textrelay-line-terminator: {terminator}".encode(), lines)
            self.assertIn(b"1234567890" * 8, lines)
            self.assertIn(b"         1         2         3         4         5         6         7         8", lines)
            for byte in own_bytes:
                self.assertIn(bytes([byte]), page, (code_page, hex(byte)))

    def run_ipptool(self, tests, data):
        test = self.write("repeat.test", tests)
        document = self.write("document.txt", data)
        return subprocess.run(["ipptool", "-T", "30", "-f", document, self.app.uri("receipt"), test],
                              capture_output=True, timeout=120).returncode

    def test_cancel_ends_the_document_cleanly(self):
        slow = Printer(read_limit=None)
        self.addCleanup(slow.close)
        # A listener that reads slowly keeps the job printing long enough to cancel.
        gate = threading.Event()
        original_take = slow.take

        def slow_take(connection):
            gate.wait(30)
            return original_take(connection)

        slow.take = slow_take
        self.app.add_printer("slow", f"socket://127.0.0.1:{slow.port}")
        lines = b"".join(b"line %07d\n" % number for number in range(400000))
        submitted = threading.Thread(target=ipp_print, args=(
            self.folder, self.app.uri("slow"), lines,
            ("keyword textrelay-line-terminator lf", "boolean textrelay-form-feed true")))
        submitted.start()
        deadline = time.monotonic() + 30
        while "processing" not in self.app.command("jobs", "-d", "slow") and time.monotonic() < deadline:
            time.sleep(0.05)
        job_id = self.app.command("jobs", "-d", "slow").split()[0]
        self.app.command("cancel", "-d", "slow", "-j", job_id)
        gate.set()
        submitted.join(120)
        deadline = time.monotonic() + 30
        while not slow.jobs and time.monotonic() < deadline:
            time.sleep(0.05)
        data = slow.jobs[0]
        self.assertLess(len(data), len(lines), "the cancel came too late to show")
        self.assertTrue(data.endswith(b"\n\f"), data[-40:])
        self.assertRegex(data[:-1].rsplit(b"\n", 2)[-2], rb"^line \d{7}$")


GET_DEFAULTS = """{
  OPERATION Get-Printer-Attributes
""" + operation_group() + """  ATTR keyword requested-attributes textrelay-line-terminator-default,textrelay-form-feed-default,textrelay-code-page-default,media-default
  STATUS successful-ok
}
"""


DESCRIBE = """{
  OPERATION Get-Printer-Attributes
""" + operation_group("fr") + """  ATTR keyword requested-attributes printer-description,printer-strings-uri
  STATUS successful-ok
}
"""

SETTINGS = ("textrelay-line-terminator", "textrelay-form-feed", "textrelay-empty-lines", "textrelay-code-page",
            "textrelay-invalid-utf8")


def parse_strings(text):
    return dict(re.findall(r'^"([^"]+)" = "([^"]*)";$', text, re.MULTILINE))


def ppd_choices(option):
    """The built PPD's choices of an option: (keyword, label) in order."""
    with open(os.path.join(os.path.dirname(TEXTRELAY), "textrelay.ppd"), encoding="latin-1") as ppd:
        return re.findall(rf"^\*{option} ([^/:]+)/([^:]+):", ppd.read(), re.MULTILINE)


class Described(AppTest):
    def described(self):
        test = self.write("describe.test", DESCRIBE)
        result = subprocess.run(["ipptool", "-tv", self.app.uri("receipt"), test], capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stdout.decode())
        return result.stdout.decode()

    def test_the_driver_settings_are_listed_described_and_labelled(self):
        self.app.command("modify", "-d", "receipt", "-o", "textrelay-code-page-default=cp852")
        options = self.app.command("options", "-d", "receipt")
        for line in ("-o textrelay-line-terminator=none (default)", "-o textrelay-line-terminator=crlf",
                     "-o textrelay-form-feed=false (default)", "-o textrelay-code-page=cp852 (default)",
                     "-o textrelay-code-page=windows-1258", "-o textrelay-invalid-utf8=replace"):
            self.assertIn(line, options)
        described = self.described()
        for name in SETTINGS:
            self.assertIn(name + "-default", described)
            self.assertIn(name + "-supported", described)
        # The strings the printer names for a French client label every
        # choice it offers; the PPD offers the same code pages.
        uri = re.search(r"printer-strings-uri \(uri\) = (\S+)", described).group(1)
        with urllib.request.urlopen(uri, timeout=30) as answer:
            french = parse_strings(answer.read().decode())
        supported = re.search(r"textrelay-code-page-supported \(1setOf keyword\) = (\S+)", described).group(1)
        self.assertEqual(french["textrelay-code-page"], "Page de codes")
        self.assertEqual(len(supported.split(",")), len(ppd_choices("CodePage")))
        for keyword in supported.split(","):
            self.assertIn("textrelay-code-page." + keyword, french)
TEXTTOPDF = "/usr/lib/cups/filter/texttopdf"
# Enough for a small PDF's text to be read, most times.
PDF_TIME = 0.5
RECEIPT_COLUMNS = ["Item            Qty    Price", "Café             2    12,50", "  Tea            1     3,00",
                   "", "Total                  15,50 €"]
THREE_PAGES = [["Page 1 of 3", "first"], ["Page 2 of 3", "  second"], ["Page 3 of 3", "third"]]


class Pdf(AppTest):
    """PDFs as clients send them, made here by two generators: cairo (a
    subset font with its ToUnicode map) and CUPS's texttopdf (a whole CID
    font that draws glyph numbers)."""

    def cairo_pdf(self, pages, draw=None):
        import cairo  # Debian's python3-cairo
        path = self.path("cairo.pdf")
        surface = cairo.PDFSurface(path, 226, 300)
        context = cairo.Context(surface)
        context.select_font_face("DejaVu Sans Mono")
        context.set_font_size(9)
        for lines in pages:
            for number, line in enumerate(lines):
                context.move_to(12, 24 + 11 * number)
                context.show_text(line)
            if draw:
                draw(context)
            context.show_page()
        surface.finish()
        return self.read("cairo.pdf")

    def texttopdf(self, text):
        """The PDF CUPS makes of a text file, as cupsd runs the filter for a
        job whose charset is UTF-8."""
        self.write("text.txt", text)
        environment = dict(os.environ, CHARSET="utf-8", CONTENT_TYPE="text/plain", TMPDIR=self.folder)
        result = subprocess.run([TEXTTOPDF, "1", "tester", "text", "1", "", self.path("text.txt")],
                                capture_output=True, timeout=60, env=environment)
        self.assertEqual(result.returncode, 0, result.stderr.decode(errors="replace"))
        return result.stdout

    def encrypted_pdf(self, pdf):
        self.write("open.pdf", pdf)
        subprocess.run(["gs", "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pdfwrite", "-sOwnerPassword=owner",
                        "-sUserPassword=user", "-sOutputFile=" + self.path("locked.pdf"), self.path("open.pdf")],
                       check=True, capture_output=True, timeout=60)
        return self.read("locked.pdf")

    def test_the_printer_prefers_pdf_and_its_text_comes_back_in_the_lines_it_was_set_in(self):
        attributes = subprocess.run(["ipptool", "-tv", self.app.uri("receipt"), "get-printer-attributes.test"],
                                    capture_output=True, timeout=60).stdout.decode()
        self.assertIn("document-format-preferred (mimeMediaType) = application/pdf", attributes)
        supported = re.search(r"document-format-supported \(1setOf mimeMediaType\) = (\S+)", attributes)
        self.assertTrue({"application/pdf", "text/plain", "application/octet-stream"}
                        <= set(supported.group(1).split(",")), attributes)
        receipt = "\n".join(RECEIPT_COLUMNS) + "\n"
        three_pages = "".join(line + "\n" for page in THREE_PAGES for line in page)
        cases = [
            # what made the PDF, the PDF, the format it is sent as, its text, job attributes
            ("cairo receipt", self.cairo_pdf([RECEIPT_COLUMNS]), "application/pdf", receipt, ()),
            ("texttopdf receipt", self.texttopdf(receipt), "application/pdf", receipt, ()),
            ("cairo pages", self.cairo_pdf(THREE_PAGES), "application/pdf", three_pages, ()),
            # A form feed starts texttopdf's next page, and no page end prints.
            ("texttopdf pages", self.texttopdf("\f".join("".join(line + "\n" for line in page)
                                                         for page in THREE_PAGES)),
             "application/octet-stream", three_pages, ()),
            ("page-ranges", self.cairo_pdf(THREE_PAGES), "application/pdf",
             "".join(line + "\n" for line in THREE_PAGES[1]), ("rangeOfInteger page-ranges 2-2",)),
        ]
        for what, pdf, document_format, _, attributes in cases:
            outcome = self.print(pdf, "keyword textrelay-line-terminator crlf", *attributes,
                                 document_format=document_format, delay=PDF_TIME)
            self.assertEqual(outcome.state, "completed", what + outcome.output + self.app.log())
        self.assertEqual(self.await_jobs(len(cases)),
                         [expected_bytes(text.encode("utf-8"), "--line-terminator", "crlf")
                          for _, _, _, text, _ in cases])

    def test_what_holds_no_text_or_cannot_be_read_ends_with_its_reason_and_sends_nothing(self):
        def picture(context):
            context.rectangle(20, 20, 100, 100)
            context.fill()

        cases = [
            (self.cairo_pdf([[]], draw=picture), "application/pdf", "this PDF holds no text on its one page"),
            (self.cairo_pdf([[], []], draw=picture), "application/octet-stream",
             "this PDF holds no text on any of its 2 pages"),
            (b"%PDF-1.4\n", "application/pdf", "this file is not a PDF or is damaged"),
            (self.encrypted_pdf(self.cairo_pdf([["secret"]])), "application/pdf",
             "this PDF is encrypted with a password"),
            (PNG_PIXEL, "image/png", "this printer prints text only"),
            (self.cairo_pdf(THREE_PAGES), "application/pdf", "page-ranges 5-6 holds none of this PDF's 3 pages",
             "rangeOfInteger page-ranges 5-6"),
        ]
        for pdf, document_format, reason, *attributes in cases:
            outcome = self.print(pdf, *attributes, document_format=document_format, delay=PDF_TIME)
            self.assertEqual(outcome.state, "aborted", outcome.output)
            self.assertIn(reason, outcome.message)
            self.assertIn("nothing was sent", outcome.message)
        self.assertEqual(self.print(b"next\n").state, "completed")
        # The framework opens the device for a job it then aborts.
        self.assertEqual(self.await_jobs(len(cases) + 1), [b""] * len(cases) + [b"next"])


class State(AppTest):
    def test_printers_and_their_defaults_survive_a_restart(self):
        self.app.command("modify", "-d", "receipt", "-o", "textrelay-line-terminator-default=crlf",
                         "-o", "textrelay-form-feed-default=true", "-o", "textrelay-code-page-default=cp850")
        self.app.command("add", "-d", "labels", "-m", "textrelay-raw-text", "-v", "file:///dev/null")
        self.app.restart()
        self.assertEqual(sorted(self.app.command("printers").split()), ["labels", "receipt"])
        # Vendor attributes come only when named: "all" means IPP's own.
        test = self.write("get.test", GET_DEFAULTS)
        attributes = subprocess.run(["ipptool", "-tv", self.app.uri("receipt"), test],
                                    capture_output=True, timeout=60).stdout.decode()
        for line in ("textrelay-line-terminator-default (keyword) = crlf",
                     "textrelay-form-feed-default (boolean) = true",
                     "textrelay-code-page-default (keyword) = cp850"):
            self.assertIn(line, attributes)
        self.print("é\n".encode("utf-8"))
        self.assertEqual(self.await_jobs(1), [b"\x82\r\n\f"])


    def test_jobs_for_a_printer_that_is_off_wait_and_print_when_it_returns_even_across_a_restart(self):
        off = Printer()
        port = off.port
        off.close()
        self.app.add_printer("off", f"socket://127.0.0.1:{port}")
        files = [self.write(f"job{n}.txt", f"job {n}\n") for n in range(3)]
        documents = [expected_bytes(f"job {n}\n".encode()) for n in range(3)]

        def await_offline():
            deadline = time.monotonic() + 20
            reasons = None
            while time.monotonic() < deadline and reasons != "offline":
                time.sleep(0.2)
                reasons = printer_attribute(self.folder, self.app.uri("off"), "printer-state-reasons")
            self.assertEqual(reasons, "offline")
            self.assertEqual(printer_attribute(self.folder, self.app.uri("off"), "printer-state"), "idle")

        def printed(expected):
            printer = Printer(port=port)
            self.addCleanup(printer.close)
            deadline = time.monotonic() + 30
            while sum(map(len, printer.jobs)) < len(expected) and time.monotonic() < deadline:
                time.sleep(0.1)
            printer.close()
            return b"".join(printer.jobs)

        self.app.command("submit", "-d", "off", files[0])
        await_offline()
        self.assertEqual(printed(documents[0]), documents[0])
        for file in files[1:]:
            self.app.command("submit", "-d", "off", file)
        await_offline()
        # Jobs waiting for their device hold a service stop only until they
        # are saved.
        self.app.process.terminate()
        self.app.process.wait(timeout=20)
        self.app.process = None
        self.app.start()
        # PAPPL 1.3.1 starts the newest pending job first.
        self.assertIn(printed(documents[1] + documents[2]),
                      (documents[1] + documents[2], documents[2] + documents[1]))


class Security(AppTest):
    SET_DEFAULT = """{{
  OPERATION Set-Printer-Attributes
""" + operation_group() + """  GROUP printer-attributes-tag
  ATTR keyword textrelay-line-terminator-default {value}
  DISPLAY status-code
  STATUS {status}
}}
"""

    def set_terminator(self, value, status):
        test = self.write("set.test", self.SET_DEFAULT.format(value=value, status=status))
        result = subprocess.run(["ipptool", "-t", self.app.uri("receipt"), test], stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=60)
        return result.returncode, result.stdout.decode()[-600:]

    def remote_peer_library(self):
        return self.preload_library("remote_peer")

    def terminator_default(self):
        test = self.write("get.test", GET_DEFAULTS)
        output = subprocess.run(["ipptool", "-tv", self.app.uri("receipt"), test],
                                capture_output=True, timeout=60).stdout.decode()
        return re.search(r"textrelay-line-terminator-default \(keyword\) = (\S+)", output).group(1)

    def test_settings_change_from_elsewhere_only_with_authentication(self):
        self.assertEqual(self.set_terminator("lf", "successful-ok")[0], 0)
        # Without a PAM service only local clients may change settings.
        self.app.restart(preload=self.remote_peer_library())
        self.assertIn("client-error-forbidden", self.set_terminator("cr", "successful-ok")[1])
        self.print(b"a\n")
        self.assertEqual(self.await_jobs(1), [b"a\n"])
        # With one, everyone must log in.
        self.app.restart("auth-service=login")
        self.assertIn("client-error-not-authenticated", self.set_terminator("cr", "successful-ok")[1])
        self.assertEqual(self.terminator_default(), "lf")

    def test_web_administration_answers_local_clients_only_without_authentication(self):
        port = self.app.port
        local_only = (403, "Administration is local only")
        # request, what a remote client gets: status, text in the page
        requests = [
            (("GET", "/receipt/printing"), local_only),
            (("POST", "/receipt/printing", {"textrelay-line-terminator": "cr"}), local_only),
            (("POST", "/receipt/delete", {}), local_only),
            (("GET", "/receipt/config"), local_only),
            (("GET", "/receipt/media"), local_only),
            (("POST", "/receipt/cancelall", {}), local_only),
            (("GET", "/addprinter"), local_only),
            (("GET", "/config"), local_only),
            # Else the first to come would set the password.
            (("GET", "/security"), local_only),
            (("GET", "/logs"), local_only),
            # The status page's forms ask PAPPL for no authorization.
            (("POST", "/receipt", {"action": "hold-new-jobs"}), (200, "Invalid form data.")),
            (("GET", "/"), (200, "receipt")),
            (("GET", "/receipt"), (200, "receipt")),
        ]

        def send(request):
            if request[0] == "GET":
                return web(port, "GET", request[1])
            return web_form(port, request[1], **request[2])

        self.app.restart(preload=self.remote_peer_library())
        for request, (expected_status, expected_text) in requests:
            status, page = send(request)
            self.assertEqual(status, expected_status, request)
            self.assertIn(expected_text, page, request)
        self.assertEqual((self.terminator_default(), self.app.command("printers").split()), ("none", ["receipt"]))
        self.print(b"a\n")
        self.assertEqual(self.await_jobs(1), [b"a"])
        # With an authentication service PAPPL's own login applies: plain
        # HTTP from elsewhere is sent to TLS and changes nothing.
        self.app.restart("auth-service=login", preload=self.remote_peer_library())
        self.assertNotEqual(send(requests[1][0])[0], 200)
        self.assertEqual(self.terminator_default(), "none")
        # A local client administers as before.
        self.app.restart()
        for request, _ in requests[:2]:
            self.assertEqual(send(request)[0], 200, request)
        self.assertEqual(self.terminator_default(), "cr")

    def test_spooled_jobs_are_readable_by_their_owner_only(self):
        self.print(b"a\n")
        self.await_jobs(1)
        mode = os.stat(os.path.join(self.folder, "textrelay-app.d")).st_mode
        self.assertEqual(mode & 0o077, 0, oct(mode))


def ipp_attribute(tag, name, value):
    name, value = name.encode(), value if isinstance(value, bytes) else value.encode()
    return bytes([tag]) + len(name).to_bytes(2, "big") + name + len(value).to_bytes(2, "big") + value


def raw_print_job(port, path, job_name, document):
    """A Print-Job request written by hand to a raw socket; the HTTP status
    line and the IPP status code of the answer (None when there is none)."""
    body = (b"\x02\x00\x00\x02\x00\x00\x00\x01\x01"
            + ipp_attribute(0x47, "attributes-charset", "utf-8")
            + ipp_attribute(0x48, "attributes-natural-language", "en")
            + ipp_attribute(0x45, "printer-uri", f"ipp://127.0.0.1:{port}{path}")
            + b"\x02" + ipp_attribute(0x42, "job-name", job_name) + b"\x03" + document)
    return raw_exchange(port, b"POST " + path.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                        b"Content-Type: application/ipp\r\nContent-Length: "
                        + str(len(body)).encode() + b"\r\n\r\n" + body)


def raw_exchange(port, request):
    with socket.create_connection(("127.0.0.1", port), timeout=20) as raw:
        answer = b""
        try:
            raw.sendall(request)
            raw.shutdown(socket.SHUT_WR)
            while chunk := raw.recv(65536):
                answer += chunk
        except OSError:
            pass
    head, _, body = answer.partition(b"\r\n\r\n")
    status_line = head.split(b"\r\n")[0].decode(errors="replace")
    return status_line, int.from_bytes(body[2:4], "big") if len(body) >= 4 else None


def web(port, method, path, form=None):
    """An HTTP request to the app's web pages; its status and page."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
    body = urllib.parse.urlencode(form).encode() if form is not None else None
    headers = {"Content-Type": "application/x-www-form-urlencoded"} if form is not None else {}
    connection.request(method, path, body=body, headers=headers)
    answer = connection.getresponse()
    page = answer.read().decode(errors="replace")
    connection.close()
    return answer.status, page


def web_form(port, path, **fields):
    """Posts a form as the web page does, with the CSRF token a printer's
    status page (open to everyone) hands out."""
    token = re.search(r'name="session" value="([^"]+)"', web(port, "GET", "/receipt")[1]).group(1)
    return web(port, "POST", path, dict(fields, session=token))


class Robustness(AppTest):
    def test_a_device_that_stops_reading_stalls_only_its_own_printer(self):
        stuck = Printer()
        self.addCleanup(stuck.close)
        gate = threading.Event()
        original_take = stuck.take
        stuck.take = lambda connection: gate.wait(300) and original_take(connection)
        self.app.add_printer("stuck", f"socket://127.0.0.1:{stuck.port}")
        # Far beyond what the sockets between them buffer.
        lines = b"".join(b"line %07d\n" % number for number in range(400000))
        stalled = threading.Thread(target=ipp_print, daemon=True, args=(
            self.folder, self.app.uri("stuck"), lines, ("keyword textrelay-line-terminator lf",)))
        stalled.start()
        self.addCleanup(lambda: (gate.set(), stalled.join(120)))
        deadline = time.monotonic() + 30
        while "processing" not in self.app.command("jobs", "-d", "stuck") and time.monotonic() < deadline:
            time.sleep(0.05)
        outcomes = []
        receipts = threading.Thread(target=lambda: outcomes.extend(
            self.print(RECEIPT, "keyword textrelay-line-terminator crlf") for _ in range(3)), daemon=True)
        receipts.start()
        receipts.join(60)
        self.assertEqual([outcome.state for outcome in outcomes], ["completed"] * 3, self.app.log())
        expected = expected_bytes(RECEIPT, "--line-terminator", "crlf") * 3
        deadline = time.monotonic() + 30
        while sum(map(len, self.printer.jobs)) < len(expected) and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(b"".join(self.printer.jobs), expected)
        self.assertIn("processing", self.app.command("jobs", "-d", "stuck"), "the stalled job ended early")

    def test_the_server_survives_bad_requests_and_keeps_every_job_apart(self):
        # A name longer than IPP's limits, and requests that are not IPP at all.
        status_line, ipp_status = raw_print_job(self.app.port, "/ipp/print/receipt", "x" * 40000, b"big\n")
        self.assertTrue(ipp_status is None or ipp_status >= 0x0400, (status_line, ipp_status))
        for garbage in (b"\x02\x00\x00\x02\x00\x00\x00\x01\x01\x47\xff\xff" + b"\x00" * 8,
                        b"\x00" * 64 + b"\r\n\r\n"):
            raw_exchange(self.app.port, garbage)
            status_line, _ = raw_exchange(self.app.port, b"POST /ipp/print/receipt HTTP/1.1\r\n"
                                          b"Host: 127.0.0.1\r\nContent-Type: application/ipp\r\n"
                                          b"Content-Length: 12\r\n\r\n" + garbage[:12])
            self.assertRegex(status_line, r"^HTTP/1.1 [45]\d\d ")
        # Two printers, so that jobs of both are printed at once.
        labels = Printer()
        self.addCleanup(labels.close)
        self.app.add_printer("labels", f"socket://127.0.0.1:{labels.port}")
        listeners = {"receipt": self.printer, "labels": labels}
        names = ["receipt", "labels"] * 10
        results = [None] * 20
        clients = [threading.Thread(target=lambda n=n: results.__setitem__(n, ipp_print(
            self.folder, self.app.uri(names[n]), (f"client {n:02d} line\n" * 200).encode(),
            ("keyword textrelay-line-terminator lf",)))) for n in range(20)]
        for client in clients:
            client.start()
        for client in clients:
            client.join(240)
        self.assertEqual([outcome.state for outcome in results], ["completed"] * 20,
                         [outcome.message for outcome in results])
        # The framework keeps the device open while jobs wait, so several
        # jobs may share a connection: each must arrive whole and apart.
        for name, listener in listeners.items():
            expected = [f"client {n:02d} line\n".encode() * 200 for n in range(20) if names[n] == name]
            deadline = time.monotonic() + 60
            while sum(map(len, listener.jobs)) < sum(map(len, expected)) and time.monotonic() < deadline:
                time.sleep(0.05)
            received = b"".join(listener.jobs)
            size = len(expected[0])
            pieces = [received[i:i + size] for i in range(0, len(received), size)]
            self.assertEqual(sorted(pieces), expected, name)


class Conformance(AppTest):
    """CUPS's IPP test files, as ipptool ships them. Over loopback the
    framework offers no ipps: URI, so TLS is off for the check of
    uri-security-supported against printer-uri-supported."""

    # The test files and the URI each is meant for: the printer's, or the
    # first job's. cancel-current-job.test needs a job printing at the time,
    # which a printer that takes bytes at once never has.
    FILES = [("ipp-1.1.test", ""), ("ipp-2.0.test", ""), ("print-job.test", ""),
             ("print-job-and-wait.test", ""), ("validate-job.test", ""), ("create-job.test", ""),
             ("get-jobs.test", ""), ("get-completed-jobs.test", ""),
             ("get-job-attributes.test", "/1")]
    maxDiff = None

    def test_cups_ipp_test_files_pass(self):
        self.app.restart("server-options=no-tls")
        time.sleep(1.5)  # printer-up-time must be above 0
        document = self.write("document.txt", "conformance\n")
        failures = []
        for name, suffix in self.FILES:
            result = subprocess.run(["ipptool", "-T", "60", "-t", "-f", document, self.app.uri("receipt") + suffix,
                                     os.path.join(IPPTOOL_FILES, name)], capture_output=True, timeout=600)
            if result.returncode != 0:
                failures += [name + ": " + line.strip() for line in result.stdout.decode(errors="replace").splitlines()
                             if "[FAIL]" in line or "EXPECTED" in line or "GOT" in line]
        self.assertEqual(failures, [])


class Cups(AppTest):
    """A driverless queue in a private cupsd for the app's printer. CUPS turns
    a text file into PDF (texttopdf, then pdftopdf) on the medium the printer
    prefers, and the app prints the PDF's text; `lp -o raw` sends the file as
    it is, and the app types it as text."""

    def test_lp_prints_text_through_a_driverless_queue(self):
        cups = CupsServer(os.path.join(self.folder, "cups"))
        os.makedirs(cups.folder)
        self.addCleanup(cups.stop)
        cups.start()
        self.app.command("modify", "-d", "receipt", "-o", "textrelay-line-terminator-default=crlf")
        cups.command("lpadmin", "-h", cups.socket, "-p", "app", "-E", "-m", "everywhere",
                     "-v", f"ipp://localhost:{self.app.port}/ipp/print/receipt")
        # Three pages of the 63 lines the medium holds: every third line
        # blank, so the first page ends with a blank line, which comes back
        # because the second ends with text. Columns, an indent and a line of
        # the 80 columns the medium holds.
        lines = [f"{n:3}  Café {n * 1.5:8.2f} €" if n % 3 else "" for n in range(1, 150)]
        lines[1] = "    indented"
        lines[4] = "".join(str(n % 10) for n in range(1, 81))
        lines[125] = "end of page two"
        text = self.write("note.txt", "\n".join(lines) + "\n")
        cups.command("lp", "-h", cups.socket, "-d", "app", text)
        cups.command("lp", "-h", cups.socket, "-d", "app", "-o", "raw", text)
        expected = expected_bytes(self.read("note.txt"), "--line-terminator", "crlf")
        self.assertEqual(self.await_jobs(2, timeout=120), [expected] * 2, cups.log())


class Browser(AppTest):
    """Debian's chromium through chromedriver sets the driver's settings on the
    printer's page of defaults."""

    def browser(self):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                         "--disable-background-networking", "--disable-component-update", "--disable-sync",
                         "--window-size=1280,4000",
                         f"--user-data-dir={self.path('chromium')}"):
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.addCleanup(driver.quit)
        return driver

    def shown_settings(self, driver):
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import Select
        driver.get(f"http://127.0.0.1:{self.app.port}/receipt/printing")
        terminator = Select(driver.find_element(By.NAME, "textrelay-line-terminator"))
        form_feed = driver.find_element(By.NAME, "textrelay-form-feed")
        return terminator, form_feed

    def assert_readable(self, driver, terminator):
        """Labels and choices read as words, the code pages as the PPD's, and
        the rows that change nothing for text are hidden."""
        from selenium.webdriver.common.by import By
        label = driver.find_element(By.XPATH, "//select[@name='textrelay-line-terminator']/ancestor::tr/th")
        self.assertEqual(label.text, "Line terminator:")
        self.assertEqual([option.text for option in terminator.options], ["None", "CR LF", "CR", "LF"])
        code_pages = driver.find_element(By.NAME, "textrelay-code-page")
        labels = [option.text for option in code_pages.find_elements(By.TAG_NAME, "option")]
        self.assertEqual(labels, [label for _, label in ppd_choices("CodePage")])
        rows = [row.text for row in driver.find_elements(By.CSS_SELECTOR, "tr") if row.is_displayed()]
        for hidden in ("Print Quality", "Optimize For", "Scaling", "Resolution"):
            self.assertFalse([row for row in rows if row.startswith(hidden)], rows)
        self.assertTrue([row for row in rows if row.startswith("Form feed at the end:")], rows)

    def test_settings_saved_in_the_web_page_reach_the_bytes_and_stay_after_a_restart(self):
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.expected_conditions import staleness_of
        from selenium.webdriver.support.wait import WebDriverWait
        driver = self.browser()
        terminator, form_feed = self.shown_settings(driver)
        self.assert_readable(driver, terminator)
        self.assertEqual((terminator.first_selected_option.get_attribute("value"), form_feed.is_selected()),
                         ("none", False))
        terminator.select_by_value("crlf")
        form_feed.click()
        # The click returns before the page's answer: print once it has come,
        # the settings saved.
        page = driver.find_element(By.TAG_NAME, "html")
        driver.find_element(By.CSS_SELECTOR, "form input[type=submit]").click()
        WebDriverWait(driver, 20).until(staleness_of(page))
        self.print(b"a\nb\n")
        self.assertEqual(self.await_jobs(1), [b"a\r\nb\r\n\f"])
        for restart in (False, True):
            if restart:
                self.app.restart()
            terminator, form_feed = self.shown_settings(driver)
            self.assertEqual((terminator.first_selected_option.get_attribute("value"), form_feed.is_selected()),
                             ("crlf", True), restart)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:4], verbosity=2)
