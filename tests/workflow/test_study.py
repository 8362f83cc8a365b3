#!/usr/bin/python3
"""The study workflow (workflow/Snakefile) on a study made with pelgsim:
three participants with two recordings each (other devices, or the same
device on another day or hours later), with damaged packets, gaps inside
files, a pause between files and a roll-over inside a gap, the files
shuffled into sub-folders, a damaged file and a file without packets.
Snakemake's dry run lists six conversions; the run (--cores 2) converts each
recording exactly as pelgToMatlab does by hand, keeps its report, writes a
study.csv that agrees with the console logs and the reports, and lists the
two files in no recording; a second run does nothing; a failing conversion
is reported while the others go on.

Usage: test_study.py PELGSIM PELGINFO PELG_TO_MATLAB REPO SCRATCH_DIR
"""

import csv
import json
import os
import random
import re
import shutil
import subprocess
import sys
import unittest

import numpy as np
import scipy.io
import soundfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "support"), os.path.join(HERE, "..", "..", "python")]
import pelg_files  # noqa: E402
import pelgload  # noqa: E402
from checks import run_unittests  # noqa: E402

PELGSIM = PELGINFO = CONVERTER = REPO = SCRATCH = None

# (participant, stem, serial, pelgsim options): six recordings.
RECORDINGS = [
    ("p1", "p1_day1", 0x1111, ["--start", "2024-03-14T09:00:00", "--duration", "180", "--files", "2",
                               "--gaps", "1", "--gap-length", "10"]),
    ("p1", "p1_day2", 0x1111, ["--start", "2024-03-15T09:30:00", "--duration", "120", "--files", "2",
                               "--stray-bytes", "2", "--bad-checksums", "2"]),
    ("p2", "p2_main", 0x2222, ["--start", "2024-03-14T09:00:00", "--duration", "120", "--files", "2",
                               "--tiv", "--file-gap", "20"]),
    ("p2", "p2_spare", 0x2223, ["--start", "2024-03-14T09:00:00", "--duration", "90", "--files", "1"]),
    ("p3", "p3_morning", 0x3333, ["--start", "2024-03-14T09:00:00", "--duration", "120", "--files", "2",
                                  "--gap-at", "30", "--gap-length", "10", "--rollover-at", "35",
                                  "--cut-last"]),
    ("p3", "p3_afternoon", 0x3333, ["--start", "2024-03-14T14:00:00", "--duration", "120", "--files", "2"]),
]
NAMES = ["0x1111_20240314T090000Z", "0x1111_20240315T093000Z", "0x2222_20240314T090000Z",
         "0x2223_20240314T090000Z", "0x3333_20240314T090000Z", "0x3333_20240314T140000Z"]
# What the pelgsim options above put into each recording, as study.csv counts
# it; every count left out is 0.
ACCOUNT = {
    "0x1111_20240314T090000Z": {"filled_seconds_in_files": 10},
    "0x1111_20240315T093000Z": {"badChecksum_packets": 2},
    "0x2222_20240314T090000Z": {"filled_seconds_in_pauses": 20},
    "0x3333_20240314T090000Z": {"filled_seconds_in_files": 10, "rollovers_bridged": 1,
                                "truncatedPacket_packets": 1},
}
DAMAGE_KINDS = ["skippedBytes", "badChecksum", "truncatedPacket", "timestampOutlier", "foreignStretch",
                "duplicatedSector", "clockJump"]
FOLDERS = ["card_a", os.path.join("card_b", "DCIM"), "card_c", os.path.join("card_c", "old", "x")]


def make_study(root, count=len(RECORDINGS)):
    """The study folder, with the first count recordings; returns
    {recording name: files in start order}, the damaged file and the file
    without packets."""
    shutil.rmtree(root, ignore_errors=True)
    staging = root + ".staging"
    shutil.rmtree(staging, ignore_errors=True)
    by_stem = {}
    for seed, (_, stem, serial, args) in enumerate(RECORDINGS[:count], start=20):
        files = pelg_files.simulate(PELGSIM, staging, stem, "--seed", str(seed), *args)
        for path in files:
            pelg_files.set_serial(path, serial)
        by_stem[stem] = files
    broken = pelg_files.simulate(PELGSIM, staging, "broken", "--duration", "30", "--seed", "40")[0]
    pelg_files.damage_header(broken)
    lonely = pelg_files.simulate(PELGSIM, staging, "lonely", "--duration", "30", "--seed", "41")[0]
    pelg_files.set_serial(lonely, 0x4444)
    pelg_files.cut_to_header(lonely)

    # Shuffle every file into the sub-folders.
    every = sorted(os.listdir(staging))
    random.Random(7).shuffle(every)
    moved = {}
    for k, name in enumerate(every):
        folder = os.path.join(root, FOLDERS[k % len(FOLDERS)])
        os.makedirs(folder, exist_ok=True)
        moved[os.path.join(staging, name)] = os.path.join(folder, name)
        shutil.move(os.path.join(staging, name), moved[os.path.join(staging, name)])
    shutil.rmtree(staging)
    recordings = {NAMES[i]: [moved[p] for p in by_stem[stem]]
                  for i, (_, stem, _, _) in enumerate(RECORDINGS[:count])}
    return recordings, moved[broken], moved[lonely]


def snakemake(out, *extra, converter=None):
    args = ["snakemake", "--snakefile", os.path.join(REPO, "workflow", "Snakefile"), "--cores", "2",
            "--directory", out, "--config", "study=" + os.path.join(SCRATCH, "study"), "out=" + out,
            "pelginfo=" + PELGINFO, "converter=" + (converter or CONVERTER)] + list(extra)
    os.makedirs(out, exist_ok=True)
    return subprocess.run(args, capture_output=True, text=True)


def job_counts(text):
    """{rule: count} of snakemake's "Job stats" table."""
    counts = {}
    table = text[text.index("Job stats:"):]
    for line in table.splitlines()[3:]:
        parts = line.split()
        if len(parts) < 2 or not parts[1].isdigit():
            break
        counts[parts[0]] = int(parts[1])
    return counts


def load_variables(path):
    return scipy.io.loadmat(path, squeeze_me=False, struct_as_record=True)


def assert_same(test, a, b, where):
    """Deep equality of two loadmat results."""
    if isinstance(a, dict):
        keys = [k for k in a if not k.startswith("__")]
        test.assertEqual(keys, [k for k in b if not k.startswith("__")], where)
        for k in keys:
            assert_same(test, a[k], b[k], where + "." + k)
    elif hasattr(a, "toarray"):
        test.assertTrue((a != b).nnz == 0, where)
    elif isinstance(a, np.ndarray) and a.dtype.names:
        test.assertEqual(a.dtype.names, b.dtype.names, where)
        for name in a.dtype.names:
            for x, y in zip(a[name].flat, b[name].flat):
                assert_same(test, x, y, where + "." + name)
    elif isinstance(a, np.ndarray) and a.dtype == object:
        for x, y in zip(a.flat, b.flat):
            assert_same(test, x, y, where)
    else:
        np.testing.assert_array_equal(a, b, err_msg=where)


def assert_same_outputs(test, folder, other, where):
    """The outputs, the console log and the report of two conversions of one
    recording are the same (the MAT-files by their variables: their headers
    hold the time they were written)."""
    for mat in ("dataOut.mat", "completeData.mat"):
        assert_same(test, load_variables(os.path.join(folder, mat)),
                    load_variables(os.path.join(other, mat)), where + "/" + mat)
    a, ra = soundfile.read(os.path.join(folder, "completeSensorAudio.wav"), dtype="int16")
    b, rb = soundfile.read(os.path.join(other, "completeSensorAudio.wav"), dtype="int16")
    test.assertEqual(ra, rb)
    np.testing.assert_array_equal(a, b)
    with open(os.path.join(folder, "sirfGPSOutput.bin"), "rb") as x, \
            open(os.path.join(other, "sirfGPSOutput.bin"), "rb") as y:
        test.assertEqual(x.read(), y.read())
    # The console log and the report are kept next to the outputs, the same lines.
    for kept in ("pelgToMatlab.log", "report.json"):
        with open(os.path.join(folder, kept)) as x, open(os.path.join(other, kept)) as y:
            test.assertEqual(x.read().replace(folder, "OUT"), y.read().replace(other, "OUT"), kept)


def summary_of(log_text):
    """{channel: (expected, found)} of the last summary of a converter log."""
    last = log_text.rindex("# INFO: Summary:")
    rows = {}
    for line in log_text[last:].splitlines():
        m = re.match(r"^# INFO: +(\S+) +[\d.]+Hz +(\d+) +(\d+) ", line)
        if m:
            rows[m.group(1)] = (int(m.group(2)), int(m.group(3)))
    return rows


class Study(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.recordings, cls.broken, cls.lonely = make_study(os.path.join(SCRATCH, "study"))
        cls.out = os.path.join(SCRATCH, "converted")
        shutil.rmtree(cls.out, ignore_errors=True)
        cls.dry = snakemake(cls.out, "-n")
        cls.first = snakemake(cls.out)
        cls.again = snakemake(cls.out)
        cls.dry_again = snakemake(cls.out, "-n")

    def test_dry_run_lists_the_six_conversions(self):
        self.assertEqual(self.dry.returncode, 0, self.dry.stderr[-3000:])
        counts = job_counts(self.dry.stdout + self.dry.stderr)
        self.assertEqual(counts.get("convert"), 6, counts)
        self.assertEqual(counts, {"all": 1, "convert": 6, "recordings": 1, "study_table": 1,
                                  "total": 9})
        for name in NAMES:
            self.assertIn("recording=" + name, self.dry.stdout + self.dry.stderr)

    def test_run_converts_like_by_hand(self):
        self.assertEqual(self.first.returncode, 0, self.first.stderr[-3000:])
        for name, files in self.recordings.items():
            with self.subTest(recording=name):
                folder = os.path.join(self.out, name)
                with open(os.path.join(folder, "status.txt")) as f:
                    self.assertEqual(f.read().strip(), "0")
                by_hand = os.path.join(SCRATCH, "by_hand", name)
                shutil.rmtree(by_hand, ignore_errors=True)
                os.makedirs(by_hand)
                with open(os.path.join(by_hand, "pelgToMatlab.log"), "w") as log:
                    status = subprocess.run([CONVERTER, "-jsonReport", os.path.join(by_hand, "report.json"),
                                             "-outputdir", by_hand + "/"] + files, stdout=log).returncode
                self.assertEqual(status, 0)
                assert_same_outputs(self, folder, by_hand, name)
                # pelgload finds the report in the folder.
                self.assertEqual(pelgload.load(folder).report["status"], 0)

    def test_study_table(self):
        with open(os.path.join(self.out, "study.csv"), newline="") as f:
            rows = list(csv.DictReader(f))
        self.assertEqual([r["recording"] for r in rows], NAMES + ["", ""])
        for row in rows[:6]:
            name = row["recording"]
            with self.subTest(recording=name):
                files = self.recordings[name]
                self.assertEqual((row["result"], row["exit_status"], row["reason"]), ("converted", "0", ""))
                self.assertEqual(row["files"].split(";"), files)
                self.assertEqual(int(row["file_count"]), len(files))
                self.assertEqual(row["start"][:19], "%s-%s-%sT%s:%s:%s" % (
                    name[7:11], name[11:13], name[13:15], name[16:18], name[18:20], name[20:22]))
                self.assertEqual(int(row["input_bytes"]), sum(os.path.getsize(p) for p in files))
                folder = os.path.join(self.out, name)
                for out_file in ("dataOut.mat", "completeData.mat", "completeSensorAudio.wav"):
                    self.assertEqual(int(row[out_file.replace(".", "_") + "_bytes"]),
                                     os.path.getsize(os.path.join(folder, out_file)))
                with open(os.path.join(folder, "pelgToMatlab.log")) as log:
                    summary = summary_of(log.read())
                for channel, (expected, found) in summary.items():
                    self.assertEqual((int(row[channel + " expected"]), int(row[channel + " found"])),
                                     (expected, found), channel)
                    coverage = row["coverage_" + channel.replace("/", "_")]
                    self.assertEqual(float(coverage) if expected else coverage,
                                     found / expected if expected else "", channel)
                has_tiv = name.startswith("0x2222")
                self.assertEqual(row["tiv/x_gyro expected"] != "", has_tiv)
                self.assertEqual(row["coverage_tiv_x_gyro"] != "", has_tiv)
                self.assert_account(row, folder)
        durations = {r["recording"]: float(r["duration_seconds"]) for r in rows[:6]}
        self.assertAlmostEqual(durations["0x1111_20240314T090000Z"], 180, delta=0.1)
        self.assertAlmostEqual(durations["0x2223_20240314T090000Z"], 90, delta=0.1)
        # The gap of the first recording shows as found below expected.
        first = rows[0]
        self.assertLess(int(first["hux/x_accel found"]), int(first["hux/x_accel expected"]))
        unplaced = {r["files"]: r for r in rows[6:]}
        self.assertEqual(set(unplaced), {self.broken, self.lonely})
        self.assertEqual(unplaced[self.broken]["result"], "no recording")
        self.assertEqual(unplaced[self.broken]["reason"], "does not have a PELG v2 header")
        self.assertEqual(unplaced[self.lonely]["reason"], "holds no packets")

    def assert_account(self, row, folder):
        """The damage, filled-seconds and roll-over columns: those of the
        recording's report, and what pelgsim was asked to put in."""
        with open(os.path.join(folder, "report.json")) as f:
            report = json.load(f)
        files, gaps = report["files"], report["gaps"]
        account = ACCOUNT.get(row["recording"], {})
        for kind in DAMAGE_KINDS:
            for count in ("bytes", "packets"):
                column = kind + "_" + count
                self.assertEqual(int(row[column]), sum(f["damage"][kind][count] for f in files), column)
            self.assertEqual(int(row[kind + "_packets"]), account.get(kind + "_packets", 0), kind)
        for kind, column in (("gap", "filled_seconds_in_files"), ("pause", "filled_seconds_in_pauses")):
            seconds = sum(g["seconds"] for g in gaps if g["kind"] == kind and g["filled"])
            self.assertEqual(float(row[column]), seconds, column)
            self.assertAlmostEqual(seconds, account.get(column, 0), delta=0.1, msg=column)
        self.assertEqual(int(row["rollovers_bridged"]), report["rollovers"]["bridged"])
        self.assertEqual(int(row["rollovers_bridged"]), account.get("rollovers_bridged", 0))

    def test_second_run_does_nothing(self):
        self.assertEqual(self.again.returncode, 0, self.again.stderr[-2000:])
        self.assertIn("Nothing to be done", self.again.stdout + self.again.stderr)
        self.assertIn("Nothing to be done", self.dry_again.stdout + self.dry_again.stderr)


# Conversions that fail, by recording: the converter's line in the wrapper
# below, the status, and the last pass its report holds.
FAILURES = {
    # Ends as pelgToMatlab fails (-11), without a report (as when it crashes).
    "0x3333_20240314T140000Z": ("echo '# ERROR: Exiting'; exit 245", -11, "no report"),
    # Ends after the scan pass (-1), its report holding that pass.
    "0x3333_20240314T090000Z": ('exec %(converter)s -write_timestampFile "$@"', -1, "scan"),
    # Ends on its command line (-2), its report holding no pass.
    "0x2223_20240314T090000Z": ('exec %(converter)s "$@" -blacklist /nonexistent', -2, None),
}


class FailingRecording(unittest.TestCase):
    def test_failed_conversions_are_reported_and_the_others_go_on(self):
        wrapper = os.path.join(SCRATCH, "failing-converter.sh")
        with open(wrapper, "w") as f:
            f.write('#!/bin/sh\ncase "$*" in\n')
            for name, (line, _, _) in FAILURES.items():
                f.write("  *%s*) %s;;\n" % (name, line % {"converter": CONVERTER}))
            f.write('esac\nexec %s "$@"\n' % CONVERTER)
        os.chmod(wrapper, 0o755)
        if not os.path.exists(os.path.join(SCRATCH, "study")):
            make_study(os.path.join(SCRATCH, "study"))
        out = os.path.join(SCRATCH, "failing")
        shutil.rmtree(out, ignore_errors=True)
        run = snakemake(out, converter=wrapper)
        self.assertEqual(run.returncode, 0, run.stderr[-3000:])
        with open(os.path.join(out, "study.csv"), newline="") as f:
            rows = {r["recording"]: r for r in csv.DictReader(f)}
        for name, (_, status, last_pass) in FAILURES.items():
            with self.subTest(recording=name):
                failed = rows[name]
                self.assertEqual((failed["result"], failed["exit_status"]), ("failed", str(status)))
                self.assertIn("status %d" % status, failed["reason"])
                self.assertEqual(failed["completeData_mat_bytes"], "")
                with open(os.path.join(out, name, "report.json")) as f:
                    text = f.read()
                if last_pass == "no report":
                    self.assertEqual(text, "")
                else:
                    report = json.loads(text)
                    self.assertEqual((report["status"], report["pass"]), (status, last_pass))
                if last_pass in ("no report", None):
                    # Without a report, or one without a pass, its columns stay empty.
                    for column in ("coverage_hux_audio", "badChecksum_packets", "filled_seconds_in_files",
                                   "rollovers_bridged"):
                        self.assertEqual(failed[column], "", column)
                if last_pass == "scan":
                    # The columns of the pass the run ended after.
                    audio = [c for c in report["channels"] if c["name"] == "hux/audio"][0]
                    self.assertEqual(float(failed["coverage_hux_audio"]), audio["found"] / audio["expected"])
                    self.assertEqual(failed["truncatedPacket_packets"], "1")
                    self.assertEqual(failed["rollovers_bridged"], "1")
        with open(os.path.join(out, "0x3333_20240314T140000Z", "pelgToMatlab.log")) as log:
            self.assertEqual(log.read(), "# ERROR: Exiting\n")
        converted = [r for r in rows.values() if r["result"] == "converted"]
        self.assertEqual(len(converted), 3)


class RelativePaths(unittest.TestCase):
    def setUp(self):
        if not os.path.exists(os.path.join(SCRATCH, "study")):
            make_study(os.path.join(SCRATCH, "study"))

    def run_in_scratch(self, *args):
        return subprocess.run(["snakemake", "--snakefile", os.path.join(REPO, "workflow", "Snakefile"),
                               "--cores", "1", "-n"] + list(args),
                              cwd=SCRATCH, capture_output=True, text=True)

    def test_taken_from_the_folder_the_command_started_in(self):
        run = self.run_in_scratch("--config", "study=study", "out=relative-out",
                                  "pelginfo=" + os.path.relpath(PELGINFO, SCRATCH),
                                  "converter=" + os.path.relpath(CONVERTER, SCRATCH))
        self.assertEqual(run.returncode, 0, run.stderr[-3000:])
        self.assertEqual(job_counts(run.stdout + run.stderr).get("convert"), 6)
        self.assertIn(os.path.join(SCRATCH, "relative-out", NAMES[0], "status.txt"), run.stdout + run.stderr)

    def test_refused_with_directory(self):
        # Snakemake reads the workflow in --directory, where bin= would be
        # looked up: the message says to give it whole.
        out = os.path.join(SCRATCH, "relative-refused")
        run = self.run_in_scratch("--directory", out, "--config", "study=" + os.path.join(SCRATCH, "study"),
                                  "out=" + out, "bin=build/study")
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("bin=build/study is a relative path, but with --directory Snakemake reads this "
                      "workflow in " + out, run.stdout + run.stderr)
        self.assertIn("give bin= as an absolute path", run.stdout + run.stderr)


if __name__ == "__main__":
    run_unittests(globals(), "PELGSIM", "PELGINFO", "CONVERTER", "REPO", "SCRATCH")
