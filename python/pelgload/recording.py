"""One converted recording: what pelgToMatlab wrote into one output folder,
with absolute timestamps, units, boolean masks and an info dictionary."""

import glob
import json
import os
import re

import numpy as np
import pandas as pd
import soundfile

from . import catalogue
from .matfile import read_mat

DATA_OUT_FILE = "dataOut.mat"
COMPLETE_DATA_FILE = "completeData.mat"
AUDIO_FILE = "completeSensorAudio.wav"
REPORT_FILE = "report.json"
WAV_FORMAT = "WAV"

# The converter's console line for -integerOutput, and a line every run prints.
_INTEGER_LINE = "# INFO: Outputting integer values to .mat files"
_LOG_MARK = "# INFO: open file ["
_SOURCE_LINE = re.compile(r"^Source \[ *(\d+)\] (.*)$")


def _timestamps(start_ms, seconds):
    """UTC timestamps of times in seconds after start_ms (ms since 1970)."""
    ns = np.int64(start_ms) * 1_000_000 + np.round(np.asarray(seconds, float) * 1e9).astype(np.int64)
    return pd.DatetimeIndex(ns.astype("datetime64[ns]")).tz_localize("UTC")


class Channel:
    """One channel of dataOut or completeData.

    values: 1-D array (n), or n x 3 for the x/y/z channels of completeData;
    seconds: time of each row after the recording's start (dataOut: the time of
    the packet that carried the value; completeData: row k of n lies k / rate
    seconds after the start, k counted from 1); timestamps: the same as UTC
    times (a pandas DatetimeIndex); unit: the unit of the values in the form
    the file holds; rate: samples per second (completeData only); filled: bool
    array, True where completeData filled the row rather than measured it (all
    False for dataOut); columns: names of the columns of an n x 3 channel.
    """

    def __init__(self, name, values, seconds, start_ms, unit, rate=None, filled=None,
                 columns=None, time_field=None, packet_span=None):
        self.name = name
        self.values = values
        self.seconds = seconds
        self.start_ms = start_ms
        self.unit = unit
        self.rate = rate
        self.filled = filled if filled is not None else np.zeros(len(values), dtype=bool)
        self.columns = columns
        self.time_field = time_field
        self.packet_span = packet_span  # completeData: seconds of the first and latest packet
        self._timestamps = None

    @property
    def timestamps(self):
        if self._timestamps is None:
            self._timestamps = _timestamps(self.start_ms, self.seconds)
        return self._timestamps

    def __len__(self):
        return len(self.values)

    def __repr__(self):
        shape = "x".join(str(s) for s in np.shape(self.values))
        return "<Channel %s %s %s>" % (self.name, shape, self.unit)


class Audio:
    """completeSensorAudio.wav: samples (int16, silence where audio was
    missing), rate in Hz; sample k of n (counted from 1) lies k / rate seconds
    after the recording's start."""

    def __init__(self, samples, rate, start_ms):
        self.samples = samples
        self.rate = rate
        self.start_ms = start_ms
        self.unit = "16-bit PCM"

    @property
    def seconds(self):
        return np.arange(1, len(self.samples) + 1) / float(self.rate)

    @property
    def timestamps(self):
        return _timestamps(self.start_ms, self.seconds)

    def __len__(self):
        return len(self.samples)


def _column(array):
    return np.asarray(array, dtype=float).reshape(-1)


def _scalar(value, default=None):
    if value is None:
        return default
    array = np.asarray(value).reshape(-1)
    return array[0].item() if array.size else default


def _source_files(text):
    names = []
    for line in (text or "").splitlines():
        match = _SOURCE_LINE.match(line)
        if match:
            names.append(match.group(2))
    return names


def _report(folder):
    """The run's report (pelgToMatlab -jsonReport) kept in the folder as
    report.json, or None. An empty file, which the study workflow leaves for
    a converter that ended without writing one, counts as none."""
    try:
        with open(os.path.join(folder, REPORT_FILE), encoding="utf-8") as f:
            text = f.read()
    except FileNotFoundError:
        return None
    return json.loads(text) if text.strip() else None


def _value_form_from_log(folder):
    """(form, evidence) from a pelgToMatlab console log kept in the folder."""
    for path in sorted(glob.glob(os.path.join(folder, "*.log"))):
        try:
            with open(path, "r", errors="replace") as f:
                head = f.read(1 << 16)
        except OSError:
            continue
        if _LOG_MARK not in head:
            continue
        form = catalogue.INTEGER if _INTEGER_LINE in head else catalogue.CONVERTED
        return form, "console log " + os.path.basename(path)
    return None


def _value_form_from_values(data_out, complete):
    """(form, evidence) from the size of values whose two forms cannot be
    mistaken: pressure in mbar against tenths of a mbar, acceleration in g
    against 1/16384 g."""
    def median(name):
        for source in (data_out, complete):
            if source and name in source and np.size(source[name]) > 0:
                return float(np.median(np.abs(np.asarray(source[name], float))))
        return None

    pressure = median("BarPres")
    if pressure is not None and pressure > 0:
        if 250 <= pressure <= 1250:
            return catalogue.CONVERTED, "BarPres values (mbar)"
        if 2500 <= pressure <= 12500:
            return catalogue.INTEGER, "BarPres values (0.1 mbar)"
    for name in ("accelZ", "accelX", "accel"):
        accel = median(name)
        if accel is not None and accel > 0:
            if accel < 8:
                return catalogue.CONVERTED, name + " values (g)"
            if accel > 1000:
                return catalogue.INTEGER, name + " values (1/16384 g)"
    return catalogue.UNKNOWN, "no conclusive values"


class Recording:
    """What pelgToMatlab wrote into one folder.

    data_out: {name: Channel} for the dataOut channels (accelX ... magZ);
    complete: {name: Channel} for the completeData channels (accel ... mag);
    audio: Audio, or None without a WAV file; mat: the MAT variables as read
    ({"dataOut": {...}, "completeData": {...}}); info: a dict describing the
    recording (see load); report: the run's report.json as a dict (status,
    files with their damage, channels, gaps, ...), None without one."""

    def __init__(self, folder, values=None):
        self.folder = folder
        self.mat = {}
        self.report = _report(folder)
        files = {}
        for name, variable in ((DATA_OUT_FILE, "dataOut"), (COMPLETE_DATA_FILE, "completeData")):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                variables, fmt = read_mat(path)
                if variable not in variables:
                    raise ValueError("%s holds no variable %s" % (path, variable))
                self.mat[variable] = variables[variable]
                files[name] = fmt
        audio_path = os.path.join(folder, AUDIO_FILE)
        if os.path.exists(audio_path):
            files[AUDIO_FILE] = WAV_FORMAT
        if not files:
            raise FileNotFoundError("no %s, %s or %s in %s" % (DATA_OUT_FILE, COMPLETE_DATA_FILE,
                                                               AUDIO_FILE, folder))
        d = self.mat.get("dataOut")
        c = self.mat.get("completeData")
        stat = d.get("stat", {}) if d else {}

        if values is not None:
            form = (values, "given")
        else:
            form = _value_form_from_log(folder) or _value_form_from_values(d, c)

        start_ms = _scalar(stat.get("ActualStart")) if stat else None
        if start_ms is None and c:
            start_ms = _scalar(c.get("ActualStart"))
        start_ms = int(start_ms) if start_ms is not None else 0
        self.start_ms = start_ms

        self.data_out = self._data_out_channels(d, form[0]) if d else {}
        self.complete = self._complete_channels(c, form[0]) if c else {}
        self.audio = None
        if os.path.exists(audio_path):
            samples, rate = soundfile.read(audio_path, dtype="int16", always_2d=False)
            self.audio = Audio(samples, rate, start_ms)

        has_tiv = bool((d and "tiv_maxTime" in d) or (c and "gyro" in c))
        serial = _scalar(stat.get("serialNumber")) if stat else None
        if serial is None and c:
            serial = _scalar(c.get("serialNumber"))
        tiv_serial = _scalar(stat.get("tiv_serialNumber")) if stat else None
        if tiv_serial is None and c:
            tiv_serial = _scalar(c.get("tiv_serialNumber"))
        created_by = (stat.get("createdBy") if stat else None) or (c.get("createdBy") if c else "")
        sources = (stat.get("sourceFiles") if stat else None) or (c.get("sourceFiles") if c else "")
        schedule, tiv_schedule = self._schedules(stat, c)

        self.info = {
            "folder": folder,
            "files": files,
            "serial_number": int(serial) if serial is not None else None,
            "serial_number_hex": "0x%04X" % int(serial) if serial is not None else None,
            "has_tiv": has_tiv,
            "tiv_serial_number": int(tiv_serial) if tiv_serial is not None else None,
            "start_ms": start_ms,
            "start": pd.Timestamp(start_ms, unit="ms", tz="UTC"),
            "schedule": schedule,
            "tiv_schedule": tiv_schedule,
            "source_files": _source_files(sources),
            "created_by": (created_by or "").rstrip("\n"),
            "values": form[0],
            "values_evidence": form[1],
            "max_time": _scalar(d.get("maxTime")) if d else None,
            "audio_rate": self.audio.rate if self.audio is not None else
            (_scalar(c.get("audio_SR")) if c else None),
            "audio_samples": len(self.audio) if self.audio is not None else
            (int(_scalar(c.get("noAudioSamples"), 0)) if c else None),
        }

    def _data_out_channels(self, d, form):
        channels = {}
        for name, time_field in catalogue.DATA_OUT_CHANNELS:
            if name not in d:
                continue
            values = _column(d[name])
            seconds = _column(d[time_field]) if time_field in d else np.full(len(values), np.nan)
            channels[name] = Channel(name, values, seconds, self.start_ms,
                                     catalogue.unit_of(name, form), time_field=time_field)
        return channels

    def _complete_channels(self, c, form):
        channels = {}
        masks = c.get("missingSamples", {}) or {}
        for name, (_, columns) in catalogue.COMPLETE_CHANNELS.items():
            if name not in c:
                continue
            array = np.asarray(c[name], dtype=float)
            values = array.reshape(-1) if columns is None else array.reshape(-1, 3) if array.size \
                else np.zeros((0, 3))
            rows = values.shape[0]
            rate = float(_scalar(c.get(name + "_SR"), 0.0))
            seconds = np.arange(1, rows + 1) / rate if rate > 0 else np.full(rows, np.nan)
            filled = np.zeros(rows, dtype=bool)
            mask = masks.get(name)
            if mask is not None:
                dense = np.asarray(mask.toarray() if hasattr(mask, "toarray") else mask).reshape(-1)
                filled[:min(rows, dense.size)] = dense[:rows] != 0
            span = _column(c[name + "Time"]) if name + "Time" in c else None
            channels[name] = Channel(name, values, seconds, self.start_ms,
                                     catalogue.unit_of(name, form), rate=rate, filled=filled,
                                     columns=columns, time_field=name + "Time", packet_span=span)
        return channels

    @staticmethod
    def _schedules(stat, c):
        def rates(struct):
            # A MAT v7.3 file spells the sources with "_" ("hux_audio"), as
            # HDF5 names cannot hold "/"; the keys are the sources' names.
            def source(name):
                return name.replace("_", "/", 1) if name.startswith(("hux_", "tiv_")) else name

            return {source(k): float(_scalar(v)) for k, v in struct.items()} if struct else {}

        schedule = rates(stat.get("schedule")) if stat else {}
        tiv_schedule = rates(stat.get("tiv_schedule")) if stat else {}
        if not schedule and c:
            # Without dataOut (or when a file form cannot name the fields),
            # the rates of completeData's channels.
            for name, source in catalogue.COMPLETE_SOURCES.items():
                if name + "_SR" in c:
                    target = tiv_schedule if source.startswith("tiv/") else schedule
                    target[source] = float(_scalar(c[name + "_SR"]))
            if "audio_SR" in c:
                schedule["hux/audio"] = float(_scalar(c["audio_SR"]))
        return schedule, tiv_schedule

    def channel(self, name):
        """The completeData channel of that name, else the dataOut channel."""
        if name in self.complete:
            return self.complete[name]
        return self.data_out[name]

    def to_dataframe(self, source="completeData", rate=None):
        """pandas DataFrames with a UTC DatetimeIndex.

        source "completeData" (the default): one DataFrame per sample rate, as
        {rate in Hz: DataFrame}, with a column per channel (name_x, name_y,
        name_z for the three-column channels) and a bool column `filled`, True
        where any channel of the group was filled rather than measured. With
        rate given, only that rate's DataFrame. A channel shorter than its
        group's longest ends in NaN.

        source "dataOut": one DataFrame per time field, as {time field:
        DataFrame}, indexed by the packet times, with `filled` all False.
        """
        if source in ("completeData", "complete"):
            frames = self._complete_frames()
        elif source == "dataOut":
            frames = self._data_out_frames()
        else:
            raise ValueError("source must be 'completeData' or 'dataOut', not %r" % (source,))
        if rate is None:
            return frames
        if rate not in frames:
            raise KeyError("no group %r; there are %s" % (rate, sorted(frames)))
        return frames[rate]

    def _complete_frames(self):
        groups = {}
        for ch in self.complete.values():
            if ch.rate:
                groups.setdefault(ch.rate, []).append(ch)
        frames = {}
        for rate, members in groups.items():
            rows = max(len(ch) for ch in members)
            index = _timestamps(self.start_ms, np.arange(1, rows + 1) / rate)
            columns = {}
            filled = np.zeros(rows, dtype=bool)
            for ch in members:
                n = len(ch)
                if ch.columns:
                    for k, col in enumerate(ch.columns):
                        columns["%s_%s" % (ch.name, col)] = _padded(ch.values[:, k], rows)
                else:
                    columns[ch.name] = _padded(ch.values, rows)
                filled[:n] |= ch.filled
            columns["filled"] = filled
            frames[rate] = pd.DataFrame(columns, index=pd.DatetimeIndex(index, name="time"))
        return frames

    def _data_out_frames(self):
        groups = {}
        for ch in self.data_out.values():
            groups.setdefault(ch.time_field, []).append(ch)
        frames = {}
        for field, members in groups.items():
            rows = min(len(ch) for ch in members)
            first = members[0]
            index = first.timestamps[:rows]
            columns = {ch.name: ch.values[:rows] for ch in members}
            columns["filled"] = np.zeros(rows, dtype=bool)
            frames[field] = pd.DataFrame(columns, index=pd.DatetimeIndex(index, name="time"))
        return frames


def _padded(values, rows):
    if len(values) == rows:
        return values
    out = np.full(rows, np.nan)
    out[:len(values)] = values
    return out


def load(folder, values=None):
    """Loads the outputs of pelgToMatlab in folder (dataOut.mat,
    completeData.mat, completeSensorAudio.wav; any may be missing, not all).

    values: "converted" or "integer" to say which form the MAT-files hold
    (pelgToMatlab -integerOutput writes the integer form); by default it is
    read from a pelgToMatlab console log (*.log) in the folder, else told from
    the values themselves, else "unknown". Returns a Recording; its info dict
    holds: folder, files ({file: format}), serial_number, serial_number_hex,
    has_tiv, tiv_serial_number, start_ms, start (UTC pandas Timestamp),
    schedule and tiv_schedule ({source: Hz}), source_files, created_by,
    values, values_evidence, max_time, audio_rate, audio_samples. Its report
    is the folder's report.json (pelgToMatlab -jsonReport), None without one.
    """
    if values not in (None, catalogue.CONVERTED, catalogue.INTEGER):
        raise ValueError("values must be 'converted' or 'integer'")
    return Recording(folder, values)
