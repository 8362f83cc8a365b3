#!/usr/bin/python3
"""Converts small hand-made PELG recordings with the real pelgToMatlab and
reads dataOut.mat, completeData.mat and completeSensorAudio.wav back with
scipy and soundfile, checking names, field order, shapes and values worked
out by hand.

Usage: test_outputs.py <path of pelgToMatlab> <scratch directory>
"""

import os
import shutil
import subprocess
import sys

import numpy as np
import scipy.io
import scipy.sparse
import soundfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, check_equal, created_by_ok, finish, paths  # noqa: E402
from pelg_files import (DATAOUT_HUX, DATAOUT_TIV, GAPS_WITH_TIV, HUX_ID, HUX_LABELS,  # noqa: E402
                        HUX_OWNERS, INTR, START_MS, TIV_LABELS, TIV_OWNERS, audio, hux_sensor,
                        pelg_file)

# The recordings (pelg_files): 10 interrupts per second, a packet at time
# index t is t / 10 seconds, sensors at 10 Hz, the microphone at 40 Hz.


# --- running and reading -------------------------------------------------------

def convert(binary, workdir, args):
    out_dir = os.path.join(workdir, "out") + "/"
    os.makedirs(out_dir)
    run = subprocess.run([binary, "-outputdir", out_dir] + args, cwd=workdir,
                         capture_output=True, text=True)
    return run, out_dir


def load(path, name):
    return scipy.io.loadmat(path)[name][0, 0]


def names(struct_value):
    return list(struct_value.dtype.names)


def col(struct_value, name):
    return struct_value[name]


def output_lines(stdout):
    """The lines of the output phase that the writers print, in order."""
    keep = ("Data will be written", "Opening", "Closing", "Filling", "Magnetometer",
            "ceiling", "dataOut", "completeData", "WAV", "No audio", "resizing")
    phase = stdout[stdout.find("# INFO: Creating output files\n"):]
    return [line for line in phase.splitlines() if any(k in line for k in keep)]


# --- cases ---------------------------------------------------------------------

def steady_two_files(binary, scratch, integer=False):
    """A HUX-only recording in two files, named in reverse order on the
    command line: accelerometer, compass and four audio samples at every
    interrupt 0 to 9, without gaps."""
    name = "steady_integer" if integer else "steady"
    work = os.path.join(scratch, name)
    os.makedirs(work)
    first, second = [], []
    for t in range(10):
        packets = first if t < 5 else second
        packets.append((HUX_ID, hux_sensor(t, accel=(100 * t, -t, 16383), compass=100 + t)))
        packets.append((HUX_ID, audio(t, [1000 * t + i for i in range(4)])))
    pelg_file(os.path.join(work, "a.pelg"), START_MS, first)
    pelg_file(os.path.join(work, "b.pelg"), START_MS + 1000, second)
    args = (["-integerOutput"] if integer else []) + ["b.pelg", "a.pelg"]
    run, out = convert(binary, work, args)
    check(run.returncode == 0, name + ": status %d\n%s" % (run.returncode, run.stdout))
    if run.returncode != 0:
        return None

    expected_lines = [
        "# INFO: Data will be written to: '%s'" % out,
        "# INFO: Opening .wav file:             '%scompleteSensorAudio.wav'" % out,
        "# INFO: Opening dataOut.mat file:      '%sdataOut.mat'" % out,
        "# INFO: Opening completeData.mat file: '%scompleteData.mat'" % out,
        "# INFO: Closing completeSensorAudio.wav",
        "# INFO: Closing dataOut.mat",
        "# INFO: Closing completeData.mat",
    ]
    check(output_lines(run.stdout) == expected_lines,
          name + ": output lines %r" % output_lines(run.stdout))
    text = run.stdout
    creating = text.find("\n\n\n# INFO: Creating output files\n# INFO: Data will be written to")
    summary = text.find("\n\n\n# INFO: Summary:\n")
    closing = text.find("# INFO: Closing completeSensorAudio.wav\n# INFO: Closing dataOut.mat\n"
                        "# INFO: Closing completeData.mat\n")
    check(0 < creating < summary < closing and text.endswith("# INFO: Closing completeData.mat\n"),
          name + ": phase order in stdout")

    t = np.arange(10)
    seconds = t * 10.0 / INTR
    d = load(out + "dataOut.mat", "dataOut")
    check(names(d) == ["maxTime", "path", "stat"] + DATAOUT_HUX, name + ": dataOut fields")
    check_equal(col(d, "maxTime"), [[1.0]], name + ": maxTime")  # 10 samples at 10 Hz
    check(col(d, "path")[0] == "./", name + ": path")
    stat = col(d, "stat")[0, 0]
    check(names(stat) == ["serialNumber", "ActualStart", "createdBy", "sourceFiles", "schedule"],
          name + ": stat fields")
    check_equal(col(stat, "serialNumber"), [[0x1234]], name + ": serialNumber")
    check_equal(col(stat, "ActualStart"), [[START_MS]], name + ": ActualStart")
    check(created_by_ok(col(stat, "createdBy")[0]), name + ": createdBy")
    check(col(stat, "sourceFiles")[0] == "Source [ 0] a.pelg\nSource [ 1] b.pelg\n",
          name + ": sourceFiles %r" % col(stat, "sourceFiles")[0])
    schedule = col(stat, "schedule")[0, 0]
    check(names(schedule) == HUX_LABELS, name + ": schedule fields %r" % names(schedule))
    check_equal(col(schedule, "hux/audio"), [[40.0]], name + ": schedule audio")
    check_equal(col(schedule, "hux/compass"), [[10.0]], name + ": schedule compass")

    if integer:
        accel_x, accel_y, accel_z = 100.0 * t, -1.0 * t, np.full(10, 16383.0)
        compass = 100.0 + t
    else:
        accel_x, accel_y, accel_z = 100.0 * t / 16383.0, -1.0 * t / 16383.0, np.ones(10)
        compass = (100.0 + t) / 10.0
    check_equal(col(d, "accelTime"), seconds[:, None], name + ": accelTime")
    check_equal(col(d, "accelX"), accel_x[:, None], name + ": accelX")
    check_equal(col(d, "accelY"), accel_y[:, None], name + ": accelY")
    check_equal(col(d, "accelZ"), accel_z[:, None], name + ": accelZ")
    check_equal(col(d, "compass"), compass[:, None], name + ": compass")
    check_equal(col(d, "compassTime"), seconds[:, None], name + ": compassTime")
    for empty in ("visFreqLightGain", "visFreqLight", "BarPres", "ShtHumid", "ShtHumidTime"):
        check(col(d, empty).shape == (0, 1), name + ": %s empty %r" % (empty, col(d, empty).shape))

    c = load(out + "completeData.mat", "completeData")
    fields = ["path", "ActualStart", "audio_SR", "audioTime", "noAudioSamples", "serialNumber",
              "createdBy", "sourceFiles", "missingSamples"]
    for owner in HUX_OWNERS:
        fields += [owner + "Time", owner, owner + "_SR"]
    check(names(c) == fields, name + ": completeData fields %r" % names(c))
    check_equal(col(c, "ActualStart"), [[START_MS]], name + ": completeData ActualStart")
    check_equal(col(c, "audio_SR"), [[40.0]], name + ": audio_SR")
    # First audio index 0 over the interrupt rate over 10; 40 aligned samples over the rate 400.
    check_equal(col(c, "audioTime"), [[0.0, 40 / 400]], name + ": audioTime")
    check_equal(col(c, "noAudioSamples"), [[40.0]], name + ": noAudioSamples")
    check(col(c, "sourceFiles")[0] == "Source [ 0] a.pelg\nSource [ 1] b.pelg\n",
          name + ": completeData sourceFiles")
    check_equal(col(c, "accel"), np.column_stack([accel_x, accel_y, accel_z]), name + ": accel")
    check_equal(col(c, "accelTime"), [[0.0, 0.9]], name + ": accel time")
    check_equal(col(c, "accel_SR"), [[10.0]], name + ": accel_SR")
    check_equal(col(c, "compass"), compass[:, None], name + ": completeData compass")
    check_equal(col(c, "BarPresTime"), [[-1.0, -1.0]], name + ": BarPresTime unset")
    check(col(c, "BarPres").shape == (0, 1), name + ": BarPres empty")
    missing = col(c, "missingSamples")[0, 0]
    check(names(missing) == HUX_OWNERS, name + ": missingSamples fields")
    for owner in HUX_OWNERS:
        mask = missing[owner]
        check(scipy.sparse.issparse(mask) and mask.nnz == 0,
              name + ": %s mask is an empty sparse column" % owner)
    check(missing["accel"].shape == (10, 1), name + ": accel mask shape")

    samples, rate = soundfile.read(out + "completeSensorAudio.wav", dtype="int16")
    info = soundfile.info(out + "completeSensorAudio.wav")
    check(rate == 40 and info.channels == 1 and info.subtype == "PCM_16" and info.format == "WAV",
          name + ": WAV format %r" % info)
    check_equal(samples, [1000 * (i // 4) + i % 4 for i in range(40)], name + ": WAV samples")
    return samples


def gaps_with_tiv(binary, scratch):
    """One file with TIV data: a compass gap, a late first accelerometer
    value, a visible-light channel with one value, an audio gap, and a
    magnetometer Y axis that misses a value."""
    work = os.path.join(scratch, "gaps")
    os.makedirs(work)
    pelg_file(os.path.join(work, "g.pelg"), START_MS, GAPS_WITH_TIV, tiv=True)
    run, out = convert(binary, work, ["g.pelg"])
    check(run.returncode == 0, "gaps: status %d\n%s" % (run.returncode, run.stdout))
    if run.returncode != 0:
        return
    expected_lines = [
        "# INFO: Data will be written to: '%s'" % out,
        "# INFO: Opening .wav file:             '%scompleteSensorAudio.wav'" % out,
        "# INFO: Opening dataOut.mat file:      '%sdataOut.mat'" % out,
        "# INFO: Opening completeData.mat file: '%scompleteData.mat'" % out,
        "# WARNING: Magnetometer samples are unequal, enforcing minimum size of 2",
        "# WARNING: completeData- Packet      7, magnetometer artificial ceiling reached, "
        "sample dropped, for sensor mag",
        "# WARNING: completeData- Packet      7, magnetometer artificial ceiling reached, "
        "sample dropped, for sensor magZ",
        "# WARNING: Packet      8, Filling   2 missing samples for field accel",
        "# WARNING: Packet      8, Filling   2 missing samples for field accelY",
        "# WARNING: Packet      8, Filling   2 missing samples for field accelZ",
        "# WARNING: Packet      9, WAV, Filling   8 missing samples at pos       4",
        "# WARNING: Packet     11, Filling   2 missing samples for field compass",
        "# INFO: Closing completeSensorAudio.wav",
        "# INFO: Closing dataOut.mat",
        "# INFO: Closing completeData.mat",
    ]
    check(output_lines(run.stdout) == expected_lines,
          "gaps: output lines\n  " + "\n  ".join(output_lines(run.stdout)))

    d = load(out + "dataOut.mat", "dataOut")
    check(names(d) == ["maxTime", "path", "tiv_maxTime", "stat"] + DATAOUT_HUX + DATAOUT_TIV,
          "gaps: dataOut fields %r" % names(d))
    check_equal(col(d, "maxTime"), [[0.4]], "gaps: maxTime")      # 4 compass values at 10 Hz
    check_equal(col(d, "tiv_maxTime"), [[0.4]], "gaps: tiv_maxTime")  # continues from maxTime
    stat = col(d, "stat")[0, 0]
    check(names(stat) == ["serialNumber", "ActualStart", "tiv_serialNumber", "createdBy",
                          "sourceFiles", "schedule", "tiv_schedule"], "gaps: stat fields")
    check_equal(col(stat, "tiv_serialNumber"), [[0x42]], "gaps: tiv_serialNumber")
    check(names(col(stat, "tiv_schedule")[0, 0]) == TIV_LABELS, "gaps: tiv_schedule fields")
    check(col(stat, "sourceFiles")[0] == "Source [ 0] g.pelg\n", "gaps: one source line")
    check_equal(col(d, "compass"), [[50.0], [51.0], [52.0], [56.0]], "gaps: dataOut compass")
    check_equal(col(d, "compassTime"), [[0.0], [0.1], [0.2], [0.6]], "gaps: dataOut compassTime")
    check_equal(col(d, "VisLight"), [[56.5]], "gaps: VisLight")  # byte 0x12: 16.5 + 10*2*2
    check_equal(col(d, "gyroTime"), [[0.0], [0.1], [0.2]], "gaps: gyroTime")
    check_equal(col(d, "gyroZ"), [[3.0], [6.0], [9.0]], "gaps: gyroZ")
    check_equal(col(d, "magY"), [[20.0], [22.0]], "gaps: magY")
    check_equal(col(d, "magYTime"), [[0.0], [0.2]], "gaps: magYTime")
    check_equal(col(d, "magZ"), [[30.0], [31.0], [32.0]], "gaps: magZ")

    c = load(out + "completeData.mat", "completeData")
    fields = ["path", "ActualStart", "audio_SR", "audioTime", "noAudioSamples", "serialNumber",
              "tiv_serialNumber", "createdBy", "sourceFiles", "missingSamples"]
    for owner in HUX_OWNERS + TIV_OWNERS:
        fields += [owner + "Time", owner, owner + "_SR"]
    check(names(c) == fields, "gaps: completeData fields %r" % names(c))
    check_equal(col(c, "noAudioSamples"), [[15.0]], "gaps: noAudioSamples")
    check_equal(col(c, "audioTime"), [[0.0, 15 / 400]], "gaps: audioTime")
    missing = col(c, "missingSamples")[0, 0]
    check(names(missing) == HUX_OWNERS + TIV_OWNERS, "gaps: missingSamples fields")

    # Compass 0, 1, 2, then 6: rows 3 and 4 take the last value and are marked.
    check_equal(col(c, "compass"), [[50.0], [51.0], [52.0], [52.0], [52.0], [56.0]],
                "gaps: compass filled with the last value")
    check_equal(missing["compass"].toarray().ravel(), [0, 0, 0, 1, 1, 0], "gaps: compass mask")
    check_equal(col(c, "compassTime"), [[0.0, 0.6]], "gaps: compassTime")
    # Accelerometer first at interrupt 3: rows 0 and 1 filled with 1.0, in all three columns.
    check_equal(col(c, "accel"), [[1, 1, 1], [1, 1, 1], [1, 0, -1], [0, 1, 0]],
                "gaps: late first accelerometer value")
    check_equal(missing["accel"].toarray().ravel(), [1, 1, 0, 0], "gaps: accel mask")
    check_equal(col(c, "accelTime"), [[0.3, 0.4]], "gaps: accelTime")
    # One value only: [t, -1].
    check_equal(col(c, "VisLight"), [[56.5]], "gaps: completeData VisLight")
    check_equal(col(c, "VisLightTime"), [[0.1, -1.0]], "gaps: VisLightTime")
    # Magnetometer: 3, 2 and 3 aligned samples; the array takes 2 rows.
    check_equal(col(c, "mag"), [[10, 20, 30], [11, 22, 31]], "gaps: mag")
    check_equal(col(c, "magTime"), [[0.0, 0.1]], "gaps: magTime")
    check_equal(col(c, "gyro"), [[1, 2, 3], [4, 5, 6], [7, 8, 9]], "gaps: gyro")
    temps = col(c, "gyroTemp")
    check(temps.shape == (3, 3) and np.allclose(temps, 298 * 1.8 - 459.67),
          "gaps: gyroTemp %r" % temps.tolist())
    for owner in HUX_OWNERS + TIV_OWNERS:
        check(scipy.sparse.issparse(missing[owner]), "gaps: %s mask is sparse" % owner)
    check(missing["mag"].shape == (2, 1), "gaps: mag mask rows")

    samples, _ = soundfile.read(out + "completeSensorAudio.wav", dtype="int16")
    check_equal(samples, [1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 5, 6, 7, 8], "gaps: WAV zeros in the gap")
    octave_reads(out)


OCTAVE_SCRIPT = r"""
load dataOut.mat; load completeData.mat;
ok = true;
masks = fieldnames(completeData.missingSamples);
for i = 1:numel(masks)
  ok = ok && issparse(completeData.missingSamples.(masks{i}));
end
ok = ok && numel(masks) == 13;
ok = ok && isequal(full(completeData.missingSamples.compass)', [0 0 0 1 1 0]);
ok = ok && isequal(full(completeData.missingSamples.accel)', [1 1 0 0]);
ok = ok && isequal(size(completeData.missingSamples.mag), [2 1]);
ok = ok && isequal(completeData.compass', [50 51 52 52 52 56]);
ok = ok && isequal(completeData.mag, [10 20 30; 11 22 31]);
schedule = fieldnames(dataOut.stat.schedule);
ok = ok && numel(schedule) == 14 && strcmp(schedule{1}, 'hux/audio');
ok = ok && isequal(dataOut.magY', [20 22]);
if ok, exit(0); else exit(1); end
"""


def octave_reads(out):
    """GNU Octave, when installed, loads both files with their sparse masks."""
    octave = shutil.which("octave")
    if not octave:
        print("octave not installed: skipping the Octave load check")
        return
    run = subprocess.run([octave, "--no-gui", "--quiet", "--norc", "--eval", OCTAVE_SCRIPT],
                         cwd=out, capture_output=True, text=True)
    check(run.returncode == 0, "gaps: Octave load check, status %d\n%s%s"
          % (run.returncode, run.stdout, run.stderr))


def no_audio(binary, scratch):
    """Audio requested, none recorded: no WAV file; audioTime from the unset
    first audio index."""
    work = os.path.join(scratch, "no_audio")
    os.makedirs(work)
    pelg_file(os.path.join(work, "n.pelg"), START_MS,
              [(HUX_ID, hux_sensor(t, compass=7)) for t in range(3)])
    run, out = convert(binary, work, ["n.pelg"])
    check(run.returncode == 0, "no_audio: status %d" % run.returncode)
    check("# WARNING: No audio samples found, disabling .wav file writing\n" in run.stdout,
          "no_audio: warning")
    check("Opening .wav" not in run.stdout and "Closing completeSensorAudio" not in run.stdout,
          "no_audio: no WAV lines")
    check(not os.path.exists(out + "completeSensorAudio.wav"), "no_audio: no WAV file")
    c = load(out + "completeData.mat", "completeData")
    check_equal(col(c, "audioTime"), [[-1 / INTR / 10.0, 0.0]], "no_audio: audioTime")
    check_equal(col(c, "noAudioSamples"), [[0.0]], "no_audio: noAudioSamples")


def nothing_written(binary, scratch):
    work = os.path.join(scratch, "disabled")
    os.makedirs(work)
    pelg_file(os.path.join(work, "x.pelg"), START_MS,
              [(HUX_ID, audio(0, [1, 2, 3, 4])), (HUX_ID, hux_sensor(0, compass=7))])
    run, out = convert(binary, work, ["-NoDataOut", "-NoCompleteData", "-NoWavFile", "x.pelg"])
    check(run.returncode == 0, "disabled: status %d" % run.returncode)
    check(output_lines(run.stdout) == ["# INFO: Data will be written to: '%s'" % out],
          "disabled: output lines %r" % output_lines(run.stdout))
    check(sorted(os.listdir(out)) == ["sirfGPSOutput.bin"], "disabled: files %r" % os.listdir(out))


def main():
    binary, scratch = paths(2)
    doubles = steady_two_files(binary, scratch)
    integers = steady_two_files(binary, scratch, integer=True)
    if doubles is not None and integers is not None:
        check(np.array_equal(doubles, integers), "integer and double runs give the same WAV")
    gaps_with_tiv(binary, scratch)
    no_audio(binary, scratch)
    nothing_written(binary, scratch)
    return finish("output")


if __name__ == "__main__":
    sys.exit(main())
