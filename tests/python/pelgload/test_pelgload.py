#!/usr/bin/python3
"""pelgload on real conversions: pelgsim writes recordings, pelgToMatlab
converts them, and every channel, mask, time and info entry that pelgload
returns is checked against the MAT-files and the WAV file read directly
(scipy.io.loadmat, h5py, soundfile), in MAT v5 and in the converter's
MAT v7.3 form (-mat73).

Usage: test_pelgload.py PELGSIM PELG_TO_MATLAB SCRATCH_DIR
"""

import os
import shutil
import subprocess
import sys
import unittest

import h5py
import numpy as np
import pandas as pd
import scipy.io
import soundfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(HERE, "..", "..", "support"), os.path.join(HERE, "..", "..", "..", "python")]
import pelgload  # noqa: E402
from checks import run_unittests  # noqa: E402
from pelg_files import DATAOUT_HUX, DATAOUT_TIV, HUX_OWNERS, TIV_OWNERS  # noqa: E402

PELGSIM = PELG_TO_MATLAB = SCRATCH = None
START_MS = 1710406800000  # pelgsim's default start, 2024-03-14 09:00:00 UTC

# The recordings the tests convert, by name: pelgsim options, converter options.
RECORDINGS = {
    "tiv_gaps": (["--duration", "300", "--files", "2", "--gaps", "2", "--gap-length", "15",
                  "--tiv", "--sirf", "--seed", "7"], []),
    "integer": (["--duration", "120", "--files", "1", "--gaps", "1", "--gap-length", "10",
                 "--seed", "8"], ["-integerOutput"]),
    "hux_only": (["--duration", "120", "--files", "1", "--seed", "9", "--start",
                  "2024-06-01T12:30:00"], ["-NoDataOut"]),
    # Without light sensors: their channels are empty.
    "no_light": (["--duration", "60", "--files", "1", "--light-rate", "0", "--hf-light-rate", "0",
                  "--seed", "10"], []),
}
# The same recordings converted as MAT v7.3.
RECORDINGS.update({name + "_v73": (sim, conv + ["-mat73"]) for name, (sim, conv) in list(RECORDINGS.items())})

# dataOut's channels without their time fields.
DATA_OUT_NAMES = [name for name in DATAOUT_HUX if not name.endswith("Time")]
TIV_DATA_OUT_NAMES = [name for name in DATAOUT_TIV if not name.endswith("Time")]

_converted = {}


def convert(name):
    """Folder of the conversion of RECORDINGS[name], made once."""
    if name in _converted:
        return _converted[name]
    sim_args, conv_args = RECORDINGS[name]
    base = os.path.join(SCRATCH, name)
    shutil.rmtree(base, ignore_errors=True)
    # A _v73 conversion reads the recording of its v5 twin.
    rec = os.path.join(SCRATCH, name[:-len("_v73")] if name.endswith("_v73") else name, "recording")
    out = os.path.join(base, "out")
    os.makedirs(out)
    if not os.path.isdir(rec):
        subprocess.run([PELGSIM, "-q", "-o", rec] + sim_args, check=True)
    files = sorted(os.path.join(rec, f) for f in os.listdir(rec))
    with open(os.path.join(base, "pelgToMatlab.log"), "w") as log:
        subprocess.run([PELG_TO_MATLAB, "-outputdir", out + "/"] + conv_args + files,
                       stdout=log, check=True)
    _converted[name] = (out, files)
    return out, files


def loadmat(path, variable):
    return scipy.io.loadmat(path, squeeze_me=True, struct_as_record=False)[variable]


class AgainstTheFiles(unittest.TestCase):
    """Every value pelgload gives equals what the files hold."""

    def setUp(self):
        self.out, self.files = convert("tiv_gaps")
        self.r = pelgload.load(self.out)
        self.d = loadmat(os.path.join(self.out, "dataOut.mat"), "dataOut")
        self.c = loadmat(os.path.join(self.out, "completeData.mat"), "completeData")

    def test_data_out_channels_values_and_times(self):
        time_of = {"accelX": "accelTime", "accelY": "accelTime", "accelZ": "accelTime",
                   "visFreqLightGain": "visFreqLightTime"}
        time_of.update({name: "gyroTime" for name in TIV_DATA_OUT_NAMES[:6]})
        self.assertEqual(list(self.r.data_out), DATA_OUT_NAMES + TIV_DATA_OUT_NAMES)
        for name in DATA_OUT_NAMES + TIV_DATA_OUT_NAMES:
            with self.subTest(name=name):
                ch = self.r.data_out[name]
                expected = np.atleast_1d(getattr(self.d, name))
                self.assertGreater(expected.size, 100)
                np.testing.assert_array_equal(ch.values, expected)
                field = time_of.get(name, name + "Time")
                np.testing.assert_array_equal(ch.seconds, np.atleast_1d(getattr(self.d, field)))
                self.assertEqual(ch.time_field, field)
                # Absolute times: ActualStart plus the packet's seconds.
                k = expected.size // 2
                want = pd.Timestamp(START_MS, unit="ms", tz="UTC") + pd.to_timedelta(
                    getattr(self.d, field)[k], unit="s")
                self.assertLess(abs((ch.timestamps[k] - want).total_seconds()), 1e-6)
                self.assertEqual(str(ch.timestamps.tz), "UTC")

    def test_complete_channels_values_masks_and_times(self):
        self.assertEqual(list(self.r.complete), HUX_OWNERS + TIV_OWNERS)
        for name in HUX_OWNERS + TIV_OWNERS:
            with self.subTest(name=name):
                ch = self.r.complete[name]
                expected = np.asarray(getattr(self.c, name))
                np.testing.assert_array_equal(ch.values, expected)
                self.assertEqual(ch.values.ndim, 2 if name in ("accel", "gyro", "gyroTemp", "mag")
                                 else 1)
                mask = getattr(self.c.missingSamples, name)
                # scipy reads the logical mask as 0/1 integers; pelgload as booleans.
                self.assertEqual(mask.dtype, np.uint8)
                self.assertEqual(ch.filled.dtype, np.bool_)
                np.testing.assert_array_equal(ch.filled, mask.toarray().ravel() != 0)
                # Two 15 s gaps: about 30 s of rows filled, at the channel's rate.
                rate = float(getattr(self.c, name + "_SR"))
                self.assertEqual(ch.rate, rate)
                self.assertAlmostEqual(ch.filled.sum() / rate, 30, delta=1.0)
                # Indexing by the mask selects the filled rows only.
                self.assertEqual(len(ch.values[ch.filled]), ch.filled.sum())
                # Row k (from 1) lies k / rate seconds after the start.
                n = len(ch)
                self.assertAlmostEqual(ch.seconds[0], 1 / rate)
                self.assertAlmostEqual(ch.seconds[-1], n / rate)
                last = pd.Timestamp(START_MS, unit="ms", tz="UTC") + pd.to_timedelta(n / rate, "s")
                self.assertLess(abs((ch.timestamps[-1] - last).total_seconds()), 1e-6)
                np.testing.assert_array_equal(ch.packet_span, getattr(self.c, name + "Time"))

    def test_audio(self):
        samples, rate = soundfile.read(os.path.join(self.out, "completeSensorAudio.wav"),
                                       dtype="int16")
        self.assertEqual(self.r.audio.rate, rate)
        np.testing.assert_array_equal(self.r.audio.samples, samples)
        self.assertEqual(len(self.r.audio), int(self.c.noAudioSamples))

    def test_info(self):
        info = self.r.info
        expected = {
            "serial_number": 0x1234, "serial_number_hex": "0x1234", "has_tiv": True,
            "tiv_serial_number": 0x42, "start_ms": START_MS, "source_files": self.files,
            "values": "converted", "audio_rate": 8000,
            "start": pd.Timestamp("2024-03-14 09:00:00", tz="UTC"),
            "files": {"dataOut.mat": "MAT v5", "completeData.mat": "MAT v5",
                      "completeSensorAudio.wav": "WAV"},
        }
        for key, value in expected.items():
            with self.subTest(key=key):
                self.assertEqual(info[key], value)
        self.assertTrue(info["created_by"].startswith("Created by pelgToMatlab"))
        self.assertEqual(info["schedule"]["hux/x_accel"], 100.0)
        self.assertEqual(info["schedule"]["hux/audio"], 8000.0)
        self.assertEqual(info["tiv_schedule"]["tiv/x_mag"], 10.0)
        self.assertEqual(info["max_time"], float(self.d.maxTime))
        # The console log lies outside the folder: the form is told from the values.
        self.assertEqual(info["values_evidence"], "BarPres values (mbar)")

    def test_units(self):
        expected = {"accel": "g", "BarPres": "mbar", "BarTemp": "degC", "ShtHumid": "%RH",
                    "compass": "degree", "gyroTemp": "degF", "mag": "sensor units"}
        for name, unit in expected.items():
            with self.subTest(name=name):
                self.assertEqual(self.r.complete[name].unit, unit)
        self.assertEqual(self.r.data_out["accelY"].unit, "g")

    def test_dataframes_per_rate(self):
        frames = self.r.to_dataframe()
        self.assertEqual(sorted(frames), [10.0, 100.0])
        fast = frames[100.0]
        self.assertEqual(list(fast.columns), ["accel_x", "accel_y", "accel_z", "gyro_x", "gyro_y",
                                              "gyro_z", "gyroTemp_x", "gyroTemp_y", "gyroTemp_z",
                                              "filled"])
        self.assertIsInstance(fast.index, pd.DatetimeIndex)
        self.assertEqual(str(fast.index.tz), "UTC")
        self.assertEqual(fast["filled"].dtype, np.bool_)
        np.testing.assert_array_equal(fast["accel_z"].to_numpy()[:len(self.r.complete["accel"])],
                                      self.c.accel[:, 2])
        accel_filled = self.r.complete["accel"].filled
        self.assertTrue(fast["filled"].to_numpy()[:accel_filled.size][accel_filled].all())
        slow = self.r.to_dataframe(rate=10.0)
        self.assertIn("BarPres", slow.columns)
        self.assertIn("mag_z", slow.columns)
        self.assertEqual(slow.index[0], pd.Timestamp("2024-03-14 09:00:00.1", tz="UTC"))
        with self.assertRaises(KeyError):
            self.r.to_dataframe(rate=12.5)

    def test_dataframes_of_data_out(self):
        frames = self.r.to_dataframe("dataOut")
        accel = frames["accelTime"]
        self.assertEqual(list(accel.columns), ["accelX", "accelY", "accelZ", "filled"])
        np.testing.assert_array_equal(accel["accelZ"].to_numpy(), self.d.accelZ)
        self.assertFalse(accel["filled"].any())
        self.assertEqual(list(frames["gyroTime"].columns)[:6], TIV_DATA_OUT_NAMES[:6])


class ValueForms(unittest.TestCase):
    """Which form the values are in, and their units."""

    def test_forms(self):
        out, _ = convert("integer")
        cases = [
            # (folder setup, values argument, expected form, evidence contains)
            ("no log", None, "integer", "BarPres"),
            ("integer log", None, "integer", "console log"),
            ("converted log", None, "converted", "console log"),
            ("no log", "converted", "converted", "given"),
        ]
        for setup, values, form, evidence in cases:
            with self.subTest(setup=setup, values=values):
                folder = os.path.join(SCRATCH, "forms", setup.replace(" ", "_"))
                shutil.rmtree(folder, ignore_errors=True)
                shutil.copytree(out, folder)
                if setup == "integer log":
                    shutil.copy(os.path.join(os.path.dirname(out), "pelgToMatlab.log"), folder)
                if setup == "converted log":
                    src = os.path.join(os.path.dirname(convert("tiv_gaps")[0]), "pelgToMatlab.log")
                    shutil.copy(src, folder)
                r = pelgload.load(folder, values=values)
                self.assertEqual(r.info["values"], form)
                self.assertIn(evidence, r.info["values_evidence"])
        r = pelgload.load(out)
        self.assertEqual(r.complete["BarPres"].unit, "0.1 mbar")
        self.assertEqual(r.complete["accel"].unit, "1/16384 g")
        self.assertGreater(np.median(r.complete["BarPres"].values), 2500)
        with self.assertRaises(ValueError):
            pelgload.load(out, values="raw")


class Mat73(unittest.TestCase):
    """The v7.3 (HDF5) form of the same files loads to the same values."""

    def test_same_as_v5(self):
        out, _ = convert("tiv_gaps")  # first: the v7.3 twin reads its recording
        folder, _ = convert("tiv_gaps_v73")
        for name in ("dataOut.mat", "completeData.mat"):
            with h5py.File(os.path.join(folder, name), "r") as f:
                self.assertIn(name[:-4], f)  # a real HDF5 file with the variable
        v5, v73 = pelgload.load(out), pelgload.load(folder)
        self.assertEqual(v73.info["files"]["dataOut.mat"], "MAT v7.3")
        self.assertEqual(v73.info["files"]["completeData.mat"], "MAT v7.3")
        self.assertEqual(list(v73.data_out), list(v5.data_out))
        self.assertEqual(list(v73.complete), list(v5.complete))
        for name, ch in v5.data_out.items():
            with self.subTest(channel=name):
                np.testing.assert_array_equal(v73.data_out[name].values, ch.values)
                np.testing.assert_array_equal(v73.data_out[name].seconds, ch.seconds)
        for name, ch in v5.complete.items():
            with self.subTest(channel=name):
                np.testing.assert_array_equal(v73.complete[name].values, ch.values)
                np.testing.assert_array_equal(v73.complete[name].filled, ch.filled)
                self.assertEqual(v73.complete[name].rate, ch.rate)
        for key in ("serial_number", "tiv_serial_number", "start", "source_files", "created_by",
                    "values", "max_time", "has_tiv"):
            with self.subTest(key=key):
                self.assertEqual(v73.info[key], v5.info[key])
        # HDF5 cannot hold the schedule's field names ("hux/x_accel"); the
        # rates then come from completeData.
        for source in ("hux/x_accel", "hux/bar_press", "hux/audio"):
            self.assertEqual(v73.info["schedule"][source], v5.info["schedule"][source])
        # The structs keep their field order.
        variables, fmt = pelgload.read_mat(os.path.join(folder, "completeData.mat"))
        self.assertEqual(fmt, "MAT v7.3")
        self.assertEqual(list(variables["completeData"])[:6],
                         ["path", "ActualStart", "audio_SR", "audioTime", "noAudioSamples",
                          "serialNumber"])
        self.assertEqual(variables["completeData"]["path"], "./")
        self.assertEqual(variables["completeData"]["audioTime"].shape, (1, 2))

    def test_same_shapes_as_v5(self):
        """Every field of both files, empty channels and masks included, has
        the same shape and class in either version."""
        def shapes(value, where, found):
            if isinstance(value, dict):
                for key, item in value.items():
                    shapes(item, where + "." + key.replace("/", "_"), found)
            elif isinstance(value, str):
                found[where] = ("text", len(value))
            else:
                found[where] = (str(value.dtype), value.shape)
            return found
        for name in ("tiv_gaps", "no_light"):
            convert(name)
            for mat in ("dataOut.mat", "completeData.mat"):
                with self.subTest(recording=name, file=mat):
                    v5, _ = pelgload.read_mat(os.path.join(convert(name)[0], mat))
                    v73, _ = pelgload.read_mat(os.path.join(convert(name + "_v73")[0], mat))
                    self.assertEqual(shapes(v73, "", {}), shapes(v5, "", {}))
        empty = pelgload.read_mat(os.path.join(convert("no_light_v73")[0], "dataOut.mat"))[0]
        self.assertEqual(empty["dataOut"]["VisLight"].shape, (0, 1))


class PartialFolders(unittest.TestCase):
    def test_complete_data_only_without_tiv(self):
        out, files = convert("hux_only")
        r = pelgload.load(out)
        self.assertEqual(r.data_out, {})
        self.assertEqual(list(r.complete), HUX_OWNERS)
        self.assertFalse(r.info["has_tiv"])
        self.assertIsNone(r.info["tiv_serial_number"])
        self.assertEqual(r.info["start"], pd.Timestamp("2024-06-01 12:30:00", tz="UTC"))
        self.assertEqual(r.info["schedule"]["hux/x_accel"], 100.0)
        self.assertEqual(r.info["source_files"], files)
        self.assertFalse(r.complete["accel"].filled.any())
        self.assertEqual(sorted(r.to_dataframe()), [10.0, 100.0])

    def test_empty_folder(self):
        folder = os.path.join(SCRATCH, "empty")
        os.makedirs(folder, exist_ok=True)
        with self.assertRaises(FileNotFoundError):
            pelgload.load(folder)


if __name__ == "__main__":
    run_unittests(globals(), "PELGSIM", "PELG_TO_MATLAB", "SCRATCH")
