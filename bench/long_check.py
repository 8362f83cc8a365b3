#!/usr/bin/python3
"""Checks the outputs of a long conversion: each output's size and format,
whether it loads, and its lengths against the summary report that the
converter printed last.

    long_check.py OUT_DIR LOG [--day DAY_DIR] [--baseline BASE_DIR]

OUT_DIR, LOG      the conversion and its console output
--day DAY_DIR     a conversion of the recording's first files alone: every
                  row it holds must be the same in OUT_DIR (dataOut's first
                  rows, completeData's first rows and masks, the WAV's first
                  samples)
--baseline DIR    a conversion of the same files by another build: the
                  files must be byte-identical apart from the texts that name
                  the build and the moment of the run

Prints one line per check and exits 1 when any fails.
"""
import os
import re
import subprocess
import sys

import h5py
import numpy as np
import scipy.io
import scipy.sparse
import soundfile

# completeData owners and the source of their rows; dataOut channels and the
# source whose samples they hold (as in the converter's catalogues).
COMPLETE_DATA = [("accel", "hux/x_accel"), ("visFreqLight", "hux/hf_vis_light"), ("compass", "hux/compass"),
                 ("VisLight", "hux/vis_light"), ("IRLight", "hux/ir_light"), ("AmbientLight", "hux/amb_light"),
                 ("BarPres", "hux/bar_press"), ("BarTemp", "hux/temp"), ("ShtHumid", "hux/humidity"),
                 ("ShtTemp", "hux/temp_sensiron"), ("gyro", "tiv/x_gyro"), ("gyroTemp", "tiv/x_gyroTemp"),
                 ("mag", "tiv/x_mag")]
DATA_OUT = [("accelX", "hux/x_accel"), ("accelY", "hux/y_accel"), ("accelZ", "hux/z_accel"),
            ("compass", "hux/compass"), ("visFreqLightGain", "hux/hf_vis_light"),
            ("visFreqLight", "hux/hf_vis_light"), ("VisLight", "hux/vis_light"), ("IRLight", "hux/ir_light"),
            ("AmbientLight", "hux/amb_light"), ("BarTemp", "hux/temp"), ("BarPres", "hux/bar_press"),
            ("ShtTemp", "hux/temp_sensiron"), ("ShtHumid", "hux/humidity"), ("gyroX", "tiv/x_gyro"),
            ("gyroY", "tiv/y_gyro"), ("gyroZ", "tiv/z_gyro"), ("gyroTempX", "tiv/x_gyroTemp"),
            ("gyroTempY", "tiv/y_gyroTemp"), ("gyroTempZ", "tiv/z_gyroTemp"), ("magX", "tiv/x_mag"),
            ("magY", "tiv/y_mag"), ("magZ", "tiv/z_mag")]
TIME_OF = {"accelY": "accelTime", "accelZ": "accelTime", "visFreqLightGain": "visFreqLightTime",
           "gyroY": "gyroTime", "gyroZ": "gyroTime", "gyroTempX": "gyroTime", "gyroTempY": "gyroTime",
           "gyroTempZ": "gyroTime", "accelX": "accelTime", "gyroX": "gyroTime"}

failed = []


def report(ok, what):
    print(("ok     " if ok else "FAILED ") + what)
    if not ok:
        failed.append(what)


def summary_rows(log):
    """Sensor name -> (expected, found) from the last summary report."""
    text = open(log).read()
    last = text[text.rfind("# INFO: Summary:"):]
    rows = {}
    for m in re.finditer(r"# INFO: +(\S+) +[0-9.]+Hz +(\d+) +(\d+) ", last):
        rows[m.group(1)] = (int(m.group(2)), int(m.group(3)))
    return rows


def file_format(path):
    with open(path, "rb") as f:
        head = f.read(128)
    if head.startswith(b"RIFF"):
        return "RIFF WAV"
    if head.startswith(b"RF64"):
        return "RF64"
    if head.startswith(b"MATLAB 7.3 MAT-file"):
        return "MAT v7.3"
    if head.startswith(b"MATLAB 5.0 MAT-file"):
        return "MAT v5"
    return "unknown"


class Mat:
    """Row counts and row slices of a MAT-file of either version, in MATLAB's
    orientation (rows first)."""

    def __init__(self, path, name):
        self.version = file_format(path)
        if self.version == "MAT v7.3":
            self.h5 = h5py.File(path, "r")
            self.root = self.h5[name]
        else:
            self.h5 = None
            self.root = scipy.io.loadmat(path)[name][0, 0]

    def fields(self):
        if self.h5:
            return [b"".join(p).decode() for p in self.root.attrs["MATLAB_fields"]]
        return list(self.root.dtype.names)

    def rows(self, field):
        if self.h5:
            obj = self.root[field]
            if obj.attrs.get("MATLAB_empty", 0):
                return int(obj[()][0])
            return obj.shape[-1]
        return self.root[field].shape[0]

    def head(self, field, n):
        """The first n rows (all columns)."""
        if self.h5:
            obj = self.root[field]
            if obj.attrs.get("MATLAB_empty", 0):
                return np.zeros((0, 1))
            return obj[:, :n].T
        return self.root[field][:n]

    def mask_rows(self, channel, below):
        """Rows of a mask marked true that lie below `below`."""
        if self.h5:
            group = self.root["missingSamples"][channel]
            ir, data = group["ir"][()], group["data"][()]
            return ir[(ir < below) & (data != 0)]
        mask = self.root["missingSamples"][0, 0][channel].tocsc()
        rows = mask.indices[mask.data != 0]
        return rows[rows < below]

    def scalar(self, field):
        return float(np.asarray(self.h5[self.root.name + "/" + field] if self.h5 else self.root[field]).ravel()[0])


def check_outputs(out, log):
    rows = summary_rows(log)
    for name in sorted(os.listdir(out)):
        path = os.path.join(out, name)
        print("       %-24s %14d bytes  %s" % (name, os.path.getsize(path), file_format(path)))
    complete = Mat(os.path.join(out, "completeData.mat"), "completeData")
    data_out = Mat(os.path.join(out, "dataOut.mat"), "dataOut")
    tiv = "tiv/x_gyro" in rows

    wav = os.path.join(out, "completeSensorAudio.wav")
    if os.path.exists(wav):
        expected = int(complete.scalar("noAudioSamples"))
        report(expected == rows["hux/audio"][0],
               "noAudioSamples %d = summary's expected audio %d" % (expected, rows["hux/audio"][0]))
        frames = soundfile.info(wav).frames
        report(frames == expected, "soundfile (libsndfile) reads %d frames, expected %d" % (frames, expected))
        sox = int(subprocess.run(["soxi", "-s", wav], capture_output=True, text=True).stdout.strip() or -1)
        report(sox == expected, "sox reads %d frames, expected %d" % (sox, expected))
        with soundfile.SoundFile(wav) as f:
            f.seek(max(expected - 1000, 0))
            tail = f.read(dtype="int16")
        report(len(tail) == min(1000, expected), "the last samples read back (%d)" % len(tail))

    for channel, source in COMPLETE_DATA:
        if source.startswith("tiv") and not tiv:
            continue
        want = rows[source][0]
        if channel == "mag":
            want = min(rows["tiv/x_mag"][0], rows["tiv/y_mag"][0], rows["tiv/z_mag"][0])
        got = complete.rows(channel)
        # A channel's last row of slack stays unwritten and is cut at closing.
        report(got in (want, want - 1), "completeData %-12s %10d rows, summary expects %d" % (channel, got, want))
    for channel, source in DATA_OUT:
        if source.startswith("tiv") and not tiv:
            continue
        got, want = data_out.rows(channel), rows[source][1]
        report(got == want, "dataOut %-16s %10d rows, summary found %d" % (channel, got, want))
    return complete, data_out


def check_day(out_complete, out_data, out, day):
    """Every row of the conversion of the first day equals the long one's."""
    day_complete = Mat(os.path.join(day, "completeData.mat"), "completeData")
    day_data = Mat(os.path.join(day, "dataOut.mat"), "dataOut")
    for channel, _ in COMPLETE_DATA:
        if channel not in day_complete.fields():
            continue
        n = day_complete.rows(channel)
        # The day's last row may differ: the long recording goes on from it.
        n = max(n - 1, 0)
        same = np.array_equal(day_complete.head(channel, n), out_complete.head(channel, n))
        same_mask = np.array_equal(day_complete.mask_rows(channel, n), out_complete.mask_rows(channel, n))
        report(same and same_mask, "first day: completeData %-12s %9d rows and mask equal" % (channel, n))
    for channel, _ in DATA_OUT:
        if channel not in day_data.fields():
            continue
        n = day_data.rows(channel)
        same = np.array_equal(day_data.head(channel, n), out_data.head(channel, n))
        time = TIME_OF.get(channel, channel + "Time")
        same_time = np.array_equal(day_data.head(time, n), out_data.head(time, n))
        report(same and same_time, "first day: dataOut %-16s %9d rows and times equal" % (channel, n))
    wav, day_wav = os.path.join(out, "completeSensorAudio.wav"), os.path.join(day, "completeSensorAudio.wav")
    if os.path.exists(wav) and os.path.exists(day_wav):
        a, _ = soundfile.read(day_wav, dtype="int16")
        with soundfile.SoundFile(wav) as f:
            b = f.read(len(a), dtype="int16")
        report(np.array_equal(a, b), "first day: the WAV's first %d samples equal" % len(a))


# Texts that name the build or the moment of the run, in ASCII or UTF-16.
BUILD_TEXTS = [rb"compiled on [A-Z][a-z]{2} [ 0-9]\d \d{4} at \d\d:\d\d:\d\d",
               rb"[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4}"]


def masked(data):
    """data with the MAT v5 header text and every build or run time text
    (ASCII, or UTF-16 with every other byte 0) overwritten."""
    out = bytearray(data)
    if out.startswith(b"MATLAB 5.0 MAT-file"):
        out[:116] = b" " * 116
    for pattern in BUILD_TEXTS:
        for m in re.finditer(pattern, bytes(out)):
            out[m.start():m.end()] = b"#" * (m.end() - m.start())
        for start in (0, 1):  # the pattern over the even or the odd bytes
            for m in re.finditer(pattern, bytes(out[start::2])):
                for k in range(m.start(), m.end()):
                    if start + 2 * k + 1 < len(out) and out[start + 2 * k + 1] == 0:
                        out[start + 2 * k] = ord("#")
    return bytes(out)


def same_apart_from_times(path_a, path_b):
    """Whether two files are byte for byte equal but for masked texts; only
    the stretches around differing bytes are masked and compared."""
    a, b = np.memmap(path_a, np.uint8, "r"), np.memmap(path_b, np.uint8, "r")
    if a.size != b.size:
        return False
    chunk, diffs = 1 << 26, []
    for at in range(0, a.size, chunk):
        diffs.extend(at + np.flatnonzero(a[at:at + chunk] != b[at:at + chunk]))
        if len(diffs) > 10000:
            return False
    for d in diffs:
        lo, hi = (0 if d < 512 else d - 200), min(d + 200, a.size)
        if masked(a[lo:hi].tobytes()) != masked(b[lo:hi].tobytes()):
            return False
    return True


def check_baseline(out, base):
    for name in sorted(os.listdir(base)):
        path = os.path.join(out, name)
        same = os.path.exists(path) and same_apart_from_times(path, os.path.join(base, name))
        report(same, "%s byte-identical to the baseline build's (%d bytes) apart from build and run times"
               % (name, os.path.getsize(os.path.join(base, name))))


def main():
    args = sys.argv[1:]
    out, log = args[0], args[1]
    day = args[args.index("--day") + 1] if "--day" in args else None
    base = args[args.index("--baseline") + 1] if "--baseline" in args else None
    complete, data_out = check_outputs(out, log)
    if day:
        check_day(complete, data_out, out, day)
    if base:
        check_baseline(out, base)
    print("%d check(s) failed" % len(failed) if failed else "all checks passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
