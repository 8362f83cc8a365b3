#!/usr/bin/python3
"""pelginfo on real files: a folder holding two recordings of two devices
(one with TIV, damaged packets and a cut last packet), a damaged file and a
file without packets, listed as text and as JSON; the JSON is checked entry
by entry, and every command it gives is run and must convert.

Usage: test_pelginfo.py PELGSIM PELGINFO PELG_TO_MATLAB SCRATCH_DIR
"""

import json
import os
import shutil
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import pelg_files  # noqa: E402
from checks import run_unittests  # noqa: E402

PELGSIM = PELGINFO = CONVERTER = SCRATCH = None
_study = {}


def study():
    """The folder and its files, made once."""
    if _study:
        return _study
    root = os.path.join(SCRATCH, "folder")
    shutil.rmtree(root, ignore_errors=True)
    a = pelg_files.simulate(PELGSIM, os.path.join(root, "one"), "dev", "--duration", "240",
                            "--files", "2", "--seed", "3")
    b = pelg_files.simulate(PELGSIM, os.path.join(root, "two", "deeper"), "other", "--duration",
                            "180", "--files", "3", "--tiv", "--stray-bytes", "2",
                            "--bad-checksums", "2", "--cut-last", "--seed", "4")
    for path in b:
        pelg_files.set_serial(path, 0x2222)
    broken = pelg_files.simulate(PELGSIM, os.path.join(root, "two"), "broken", "--duration", "30",
                                 "--seed", "5")[0]
    pelg_files.damage_header(broken)
    empty = pelg_files.simulate(PELGSIM, root, "empty", "--duration", "30", "--seed", "6")[0]
    pelg_files.cut_to_header(empty)
    with open(os.path.join(root, "notes.txt"), "w") as f:
        f.write("not a PELG file, and not named like one\n")
    _study.update(root=root, a=a, b=b, broken=broken, empty=empty)
    return _study


def pelginfo(*args, cwd=None):
    return subprocess.run([PELGINFO] + list(args), capture_output=True, text=True, cwd=cwd)


class Json(unittest.TestCase):
    def setUp(self):
        self.s = study()
        self.run = pelginfo("--json", "--outdir", os.path.join(SCRATCH, "converted"),
                            "--converter", CONVERTER, self.s["root"])
        self.report = json.loads(self.run.stdout)

    def test_status_and_error_lines(self):
        self.assertEqual(self.run.returncode, 1)
        self.assertIn("%s: does not have a PELG v2 header" % self.s["broken"], self.run.stderr)
        self.assertIn("%s: holds no packets" % self.s["empty"], self.run.stderr)

    def test_files(self):
        files = {f["path"]: f for f in self.report["files"]}
        expected = sorted(self.s["a"] + self.s["b"] + [self.s["broken"], self.s["empty"]])
        self.assertEqual([f["path"] for f in self.report["files"]], expected)
        for path in self.s["a"]:
            f = files[path]
            with self.subTest(path=path):
                self.assertTrue(f["ok"])
                self.assertIsNone(f["problem"])
                self.assertEqual(f["hux"]["serial"], 0x1234)
                self.assertEqual(f["hux"]["serial_hex"], "0x1234")
                self.assertEqual(f["hux"]["schedule"]["interrupt_count"], 5120)
                self.assertEqual(f["hux"]["rates_hz"]["hux/audio"], 8000)
                self.assertEqual(f["hux"]["rates_hz"]["hux/x_accel"], 100)
                self.assertEqual(f["hux"]["calibration"]["word1"], 0xB8F2)
                self.assertIsNone(f["tiv"])
                self.assertEqual(f["damaged_packets"], 0)
                self.assertGreater(f["packets"], 20000)  # about 228 a second
                self.assertAlmostEqual(f["span_seconds"], 120, delta=0.05)
                self.assertEqual(f["size_bytes"], os.path.getsize(path))
        first = files[self.s["a"][0]]
        self.assertEqual(first["start_time_ms"], 1710406800000)
        self.assertEqual(first["start_time"], "2024-03-14T09:00:00.000Z")
        self.assertEqual(files[self.s["a"][1]]["start_time"], "2024-03-14T09:02:00.000Z")
        damaged = [files[p] for p in self.s["b"]]
        for f in damaged:
            self.assertEqual(f["hux"]["serial"], 0x2222)
            self.assertEqual(f["tiv"]["serial"], 0x42)
            self.assertEqual(f["tiv"]["rates_hz"]["tiv/x_gyro"], 100)
            self.assertEqual(f["tiv"]["rates_hz"]["tiv/z_mag"], 10)
        self.assertEqual(sum(f["damaged_stretches"] for f in damaged), 2)
        self.assertEqual(sum(f["bad_checksums"] for f in damaged), 2)
        self.assertEqual([f["cut_short"] for f in damaged], [False, False, True])
        self.assertEqual(sum(f["damaged_packets"] for f in damaged), 5)
        broken, empty = files[self.s["broken"]], files[self.s["empty"]]
        self.assertEqual((broken["ok"], broken["problem"], broken["recording"]),
                         (False, "does not have a PELG v2 header", None))
        self.assertNotIn("hux", broken)
        self.assertEqual((empty["ok"], empty["problem"], empty["packets"]),
                         (False, "holds no packets", 0))
        self.assertEqual(empty["hux"]["serial"], 0x1234)

    def test_recordings(self):
        recordings = self.report["recordings"]
        self.assertEqual([r["name"] for r in recordings],
                         ["0x1234_20240314T090000Z", "0x2222_20240314T090000Z"])
        one, two = recordings
        self.assertEqual(one["files"], self.s["a"])
        self.assertEqual(two["files"], self.s["b"])
        self.assertEqual((one["has_tiv"], one["tiv_serial"]), (False, None))
        self.assertEqual((two["has_tiv"], two["tiv_serial"]), (True, 0x42))
        self.assertAlmostEqual(one["duration_seconds"], 240, delta=0.05)
        self.assertEqual(one["size_bytes"], sum(os.path.getsize(p) for p in self.s["a"]))
        files = {f["path"]: f for f in self.report["files"]}
        for r in recordings:
            for path in r["files"]:
                self.assertEqual(files[path]["recording"], r["name"])
            out = os.path.join(SCRATCH, "converted", r["name"]) + "/"
            self.assertEqual(r["output_dir"], out)
            self.assertEqual(r["args"], [CONVERTER, "-outputdir", out] + r["files"])
            self.assertEqual(r["command"], " ".join(r["args"]))

    def test_every_command_converts(self):
        for r in self.report["recordings"]:
            with self.subTest(recording=r["name"]):
                os.makedirs(r["output_dir"], exist_ok=True)
                run = subprocess.run(r["args"], capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stdout[-2000:])
                self.assertTrue(os.path.exists(os.path.join(r["output_dir"], "completeData.mat")))


class NoCount(unittest.TestCase):
    def test_same_grouping_without_counts(self):
        s = study()
        counted = json.loads(pelginfo("--json", s["root"]).stdout)
        run = pelginfo("--json", "--no-count", s["root"])
        quick = json.loads(run.stdout)
        self.assertEqual(run.returncode, 1)
        self.assertEqual([(r["name"], r["files"], r["args"]) for r in quick["recordings"]],
                         [(r["name"], r["files"], r["args"]) for r in counted["recordings"]])
        self.assertEqual([(f["path"], f["problem"]) for f in quick["files"]],
                         [(f["path"], f["problem"]) for f in counted["files"]])
        good = [f for f in quick["files"] if f["ok"]]
        self.assertTrue(all(f["packets"] is None and f["span_seconds"] is None for f in good))
        self.assertTrue(all(r["end_time"] is None for r in quick["recordings"]))
        # A file without packets is still told apart.
        empty = [f for f in quick["files"] if f["path"] == s["empty"]][0]
        self.assertEqual(empty["problem"], "holds no packets")
        text = pelginfo("--no-count", s["root"]).stdout
        self.assertIn("  packets        not counted (--no-count)\n", text)


class Text(unittest.TestCase):
    def test_listing(self):
        s = study()
        run = pelginfo(*sorted(s["a"] + s["b"] + [s["broken"]]))
        self.assertEqual(run.returncode, 1)
        out = run.stdout
        self.assertIn("  HUX2 board     serial 0x2222, hardware 2, software 1.7\n", out)
        self.assertIn("  TIV board      serial 0x0042, hardware 1, software 3.2\n", out)
        self.assertIn("  ERROR: does not have a PELG v2 header; belongs to no recording\n", out)
        self.assertIn("\n2 recordings\n", out)
        self.assertIn("0x1234_20240314T090000Z: 2 files, 2024-03-14T09:00:00.000Z to", out)
        self.assertIn("  mkdir -p converted/0x2222_20240314T090000Z/ && pelgToMatlab -outputdir "
                      "converted/0x2222_20240314T090000Z/ " + " ".join(s["b"]) + "\n", out)
        self.assertIn("1 file in no recording:\n  %s: does not have a PELG v2 header\n"
                      % s["broken"], out)

    def test_all_good_is_status_0(self):
        run = pelginfo(*study()["a"])
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr, "")
        self.assertIn("\n1 recording\n", run.stdout)

    def test_usage(self):
        cases = [(["--help"], 0, "pelginfo [options] FILE|FOLDER..."), ([], 2, "pelginfo [options]"),
                 (["--bogus", "x"], 2, "unknown option --bogus"),
                 (["--max-gap-sec", "soon", "x"], 2, "whole number"),
                 (["x", "--outdir"], 2, "--outdir needs a value")]
        for args, status, text in cases:
            with self.subTest(args=args):
                run = pelginfo(*args)
                self.assertEqual(run.returncode, status)
                self.assertIn(text, run.stdout + run.stderr)

    def test_missing_file(self):
        run = pelginfo(os.path.join(SCRATCH, "no-such.pelg"))
        self.assertEqual(run.returncode, 1)
        self.assertIn("no-such.pelg: cannot be opened", run.stderr)

    def test_files_the_converter_refuses(self):
        s = study()
        folder = os.path.join(SCRATCH, "refused")
        shutil.rmtree(folder, ignore_errors=True)
        fast = pelg_files.simulate(PELGSIM, folder, "fast", "--duration", "20", "--seed", "8")[0]
        pelg_files.set_entry(fast, "dals", 16711780)
        link = os.path.join(folder, "again.pelg")
        os.symlink(s["a"][0], link)
        run = pelginfo("--json", s["a"][0], link, fast)
        files = {f["path"]: f for f in json.loads(run.stdout)["files"]}
        self.assertEqual(run.returncode, 1)
        self.assertEqual(files[link]["problem"], "the same file as " + s["a"][0])
        self.assertEqual(files[fast]["problem"],
                         "'dals' rate 16711780 is out of range (allowed 0 to 1000000)")
        self.assertEqual(json.loads(run.stdout)["recordings"][0]["files"], [s["a"][0]])

    def test_max_gap_joins_days(self):
        s = study()
        # The two devices never join; a larger gap changes nothing for them,
        # and it goes into the commands.
        run = pelginfo("--json", "--max-gap-sec", "100000", *s["a"])
        r = json.loads(run.stdout)["recordings"][0]
        self.assertEqual(r["args"][:3], ["pelgToMatlab", "-maxGap_sec", "100000"])


if __name__ == "__main__":
    run_unittests(globals(), "PELGSIM", "PELGINFO", "CONVERTER", "SCRATCH")
