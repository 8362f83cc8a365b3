#!/usr/bin/python3
"""The progress display through a pseudo-terminal: pelgToMatlab converts a
pelgsim recording with its error stream on a terminal (and once with both
streams on it), and once with neither. The display shows both passes with
file k of n, the share of the bytes, the speed and the time left, ends
cleared, never runs into a console line, and standard output is the same
byte for byte as without a terminal.

Usage: test_progress_terminal.py PELGSIM PELG_TO_MATLAB SCRATCH_DIR
"""

import os
import pty
import re
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import run_unittests  # noqa: E402

PELGSIM = CONVERTER = SCRATCH = None
CLEAR = "\r\x1b[K"
FRAME = re.compile(r"\rpelgToMatlab: (scan|write) pass ([12]) of ([12]), file (\d+) of (\d+), "
                   r"(\d+\.\d)%, (-- MB/s|\d+\.\d MB/s), (--:-- left|\d+:\d\d left|\d+:\d\d:\d\d left)"
                   r"\x1b\[K")


def read_all(fd):
    chunks = []
    while True:
        try:
            data = os.read(fd, 65536)
        except OSError:  # the terminal's other side is closed
            break
        if not data:
            break
        chunks.append(data)
    return b"".join(chunks).decode("utf-8", "replace")


def convert(name, extra=(), stderr_tty=False, stdout_tty=False):
    """Runs the converter on the recording; returns (status, stdout, stderr)."""
    rec = os.path.join(SCRATCH, "recording")
    out = os.path.join(SCRATCH, name)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    files = sorted(os.path.join(rec, f) for f in os.listdir(rec))
    args = [CONVERTER] + list(extra) + ["-outputdir", out + "/"] + files
    if not stderr_tty:
        run = subprocess.run(args, capture_output=True)
        return run.returncode, run.stdout.decode(), run.stderr.decode()
    master, slave = pty.openpty()
    stdout = slave if stdout_tty else subprocess.PIPE
    proc = subprocess.Popen(args, stdout=stdout, stderr=slave, close_fds=True)
    os.close(slave)
    if stdout_tty:
        terminal = read_all(master)
        proc.wait()
        os.close(master)
        return proc.returncode, terminal, terminal
    out_text, _ = proc.communicate()
    terminal = read_all(master)
    os.close(master)
    return proc.returncode, out_text.decode(), terminal


class ProgressOnATerminal(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        rec = os.path.join(SCRATCH, "recording")
        shutil.rmtree(rec, ignore_errors=True)
        subprocess.run([PELGSIM, "-q", "-o", rec, "--duration", "900", "--files", "3", "--tiv",
                        "--gaps", "1", "--seed", "12"], check=True)
        cls.plain = convert("same")

    def test_no_display_without_a_terminal(self):
        status, _, err = self.plain
        self.assertEqual(status, 0)
        self.assertEqual(err, "")

    def test_display_on_the_error_stream(self):
        status, out, terminal = convert("same", stderr_tty=True)  # the same folder: the same lines
        self.assertEqual(status, 0)
        # Standard output is exactly what it is without a terminal.
        self.assertEqual(out, self.plain[1])
        self.assertNotIn("pelgToMatlab: scan pass", out)
        frames = FRAME.findall(terminal)
        self.assertTrue(frames, repr(terminal[:300]))
        # Nothing but frames and clears on the terminal.
        self.assertEqual(FRAME.sub("", terminal).replace(CLEAR, ""), "")
        passes = [(f[0], f[1], f[2]) for f in frames]
        self.assertIn(("scan", "1", "2"), passes)
        self.assertIn(("write", "2", "2"), passes)
        # Every file of each pass, in order, at 0 .. 100 % rising.
        for name in ("scan", "write"):
            mine = [f for f in frames if f[0] == name]
            self.assertEqual(sorted({int(f[3]) for f in mine}), [1, 2, 3])
            self.assertTrue(all(f[4] == "3" for f in mine))
            shares = [float(f[5]) for f in mine]
            self.assertEqual(shares, sorted(shares))
            self.assertLessEqual(shares[-1], 100.0)
        # Each pass ends cleared: a clear after the last scan frame and at the very end.
        self.assertTrue(terminal.endswith(CLEAR))
        last_scan = terminal.rindex("scan pass")
        self.assertIn(CLEAR, terminal[last_scan:terminal.index("write pass")])

    def test_display_and_output_on_one_terminal(self):
        status, screen, _ = convert("shared", stderr_tty=True, stdout_tty=True)
        self.assertEqual(status, 0)
        # Every console line starts on a cleared line, never after a frame.
        lines = screen.replace("\r\n", "\n").split("\n")
        console_lines = 0
        for line in lines:
            text = line.split(CLEAR)[-1]
            if "# INFO" in text or "# WARNING" in text:
                console_lines += 1
                self.assertTrue(text.startswith("#"), repr(line))
                self.assertNotIn("MB/s", text)
        self.assertGreater(console_lines, 50)
        self.assertIn("write pass 2 of 2", screen)

    def test_scan_only_runs_have_one_pass(self):
        status, out, terminal = convert("stats", ["-write_summaryFile"], stderr_tty=True)
        self.assertEqual(status, 0)
        frames = FRAME.findall(terminal)
        self.assertTrue(frames)
        self.assertEqual({(f[0], f[1], f[2]) for f in frames}, {("scan", "1", "1")})
        self.assertTrue(terminal.endswith(CLEAR))

    def test_a_fatal_end_leaves_the_terminal_clear(self):
        # -write_timestampFile ends the run at the end of the scan pass (status -1).
        status, _, terminal = convert("timestamps", ["-write_timestampFile"], stderr_tty=True)
        self.assertEqual(status, 255)
        self.assertTrue(FRAME.findall(terminal))
        self.assertTrue(terminal.endswith(CLEAR), repr(terminal[-100:]))


if __name__ == "__main__":
    run_unittests(globals(), "PELGSIM", "CONVERTER", "SCRATCH")
