#!/usr/bin/python3
"""Draws an overview of a pelgToMatlab conversion.

One panel per channel of completeData.mat against clock time, with the
stretches that the converter filled (samples missing from the recording)
shaded, and the audio waveform of completeSensorAudio.wav on top.

Usage: plot_overview.py OUTPUT_DIR [-o overview.png]

Needs numpy, scipy and matplotlib (Debian: python3-scipy python3-matplotlib).
"""

import argparse
import os
import sys

import numpy as np
import scipy.io
import scipy.io.wavfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.dates as mdates  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402

# Panel labels; a channel not listed here is drawn with its field name alone.
LABELS = {
    "accel": ("acceleration", "g", ["x", "y", "z"]),
    "visFreqLight": ("high-frequency visible light", "", None),
    "compass": ("compass heading", "deg", None),
    "VisLight": ("visible light", "", None),
    "IRLight": ("infrared light", "", None),
    "AmbientLight": ("ambient light", "", None),
    "BarPres": ("barometric pressure", "mbar", None),
    "BarTemp": ("barometer temperature", "\u00b0C", None),
    "ShtHumid": ("relative humidity", "%", None),
    "ShtTemp": ("humidity-sensor temperature", "\u00b0C", None),
    "gyro": ("gyroscope", "raw", ["x", "y", "z"]),
    "gyroTemp": ("gyroscope temperature", "\u00b0F", ["x", "y", "z"]),
    "mag": ("magnetometer", "raw", ["x", "y", "z"]),
}
FILL_COLOUR = "#f2a36b"
COLUMN_COLOURS = ["#1f5fa8", "#c8373a", "#2e9a45"]  # x, y, z
MAX_POINTS = 6000  # longer series are drawn as a min/max envelope


def channels(complete):
    """Names of the data channels, in file order: fields with a "%s_SR" partner."""
    names = complete._fieldnames
    return [n for n in names if n + "_SR" in names and np.size(getattr(complete, n)) > 0]


def filled_runs(mask):
    """(first, last) row pairs of the filled stretches of a sparse mask column."""
    rows = np.sort(np.asarray(mask.nonzero()[0])) if mask is not None else np.array([], int)
    if rows.size == 0:
        return []
    breaks = np.nonzero(np.diff(rows) > 1)[0]
    starts = np.concatenate(([rows[0]], rows[breaks + 1]))
    ends = np.concatenate((rows[breaks], [rows[-1]]))
    return list(zip(starts, ends))


def to_clock(seconds, start_ms):
    """Seconds after the start as numpy datetimes for matplotlib."""
    base = np.datetime64(int(start_ms), "ms")
    return base + (np.asarray(seconds) * 1e6).astype("timedelta64[us]")


def envelope(values, seconds):
    """(seconds, low, high) of at most MAX_POINTS bins, or None when short."""
    n = values.shape[0]
    if n <= MAX_POINTS:
        return None
    width = int(np.ceil(n / MAX_POINTS))
    bins = n // width
    trimmed = values[: bins * width].reshape(bins, width)
    return seconds[: bins * width : width], trimmed.min(axis=1), trimmed.max(axis=1)


def draw_series(ax, seconds, values, start_ms, label=None, colour=None):
    env = envelope(values, seconds)
    if env is None:
        ax.plot(to_clock(seconds, start_ms), values, lw=0.7, label=label, color=colour)
    else:
        t, low, high = env
        ax.fill_between(to_clock(t, start_ms), low, high, lw=0.3, label=label, color=colour, alpha=0.9)


def shade(ax, runs, start_ms, label):
    for i, (a, b) in enumerate(runs):
        ax.axvspan(to_clock(a, start_ms), to_clock(b, start_ms), color=FILL_COLOUR, alpha=0.35, lw=0,
                   label=label if i == 0 else None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output_dir", help="folder holding completeData.mat and completeSensorAudio.wav")
    parser.add_argument("-o", "--out", help="picture to write (default OUTPUT_DIR/overview.png)")
    args = parser.parse_args()
    out = args.out or os.path.join(args.output_dir, "overview.png")

    mat = scipy.io.loadmat(os.path.join(args.output_dir, "completeData.mat"), squeeze_me=True,
                           struct_as_record=False)
    complete = mat["completeData"]
    start_ms = float(complete.ActualStart)
    names = channels(complete)
    masks = getattr(complete, "missingSamples", None)

    # Filled stretches of every channel, in seconds after the start.
    gaps_by_channel = {}
    for name in names:
        rate = float(getattr(complete, name + "_SR"))
        mask = getattr(masks, name, None) if masks is not None else None
        gaps_by_channel[name] = [((a + 1) / rate, (b + 2) / rate) for a, b in filled_runs(mask)]
    # Their union, overlapping stretches merged (channels of different rates
    # round a gap's edges differently).
    all_gaps = []
    for a, b in sorted(g for runs in gaps_by_channel.values() for g in runs):
        if all_gaps and a <= all_gaps[-1][1]:
            all_gaps[-1] = (all_gaps[-1][0], max(all_gaps[-1][1], b))
        else:
            all_gaps.append((a, b))

    wav_path = os.path.join(args.output_dir, "completeSensorAudio.wav")
    has_audio = os.path.exists(wav_path)
    panels = len(names) + (1 if has_audio else 0)
    heights = ([2.2] if has_audio else []) + [1.25] * len(names)
    fig, axes = plt.subplots(panels, 1, sharex=True, figsize=(13, sum(heights) + 1.2),
                             gridspec_kw={"height_ratios": heights}, squeeze=False)
    axes = axes[:, 0]
    title = "pelgToMatlab output: %s" % os.path.abspath(args.output_dir)
    fig.suptitle(title + "\nstart %s UTC, shaded: stretches filled by the converter (samples missing)"
                 % np.datetime_as_string(np.datetime64(int(start_ms), "ms"), unit="s").replace("T", " "),
                 fontsize=10)

    row = 0
    if has_audio:
        rate, audio = scipy.io.wavfile.read(wav_path, mmap=True)
        audio = np.asarray(audio, dtype=np.float32) / 32768.0
        first = float(np.atleast_1d(complete.audioTime)[0]) if np.size(complete.audioTime) else 0.0
        seconds = max(first, 0.0) + np.arange(audio.shape[0]) / float(rate)
        ax = axes[0]
        draw_series(ax, seconds, audio, start_ms, colour="#2b6cb0")
        shade(ax, all_gaps, start_ms, "filled")
        ax.set_ylabel("audio\n%d Hz" % rate, fontsize=8)
        peak = float(np.abs(audio).max()) if audio.size else 1.0
        ax.set_ylim(-1.1 * peak or -1, 1.1 * peak or 1)
        ax.text(0.005, 0.92, "microphone (completeSensorAudio.wav)", transform=ax.transAxes, fontsize=7,
                va="top", bbox=dict(facecolor="white", alpha=0.7, lw=0))
        row = 1

    for name in names:
        ax = axes[row]
        row += 1
        data = np.asarray(getattr(complete, name), dtype=float)
        if data.ndim == 1:
            data = data[:, None]
        rate = float(getattr(complete, name + "_SR"))
        seconds = (np.arange(data.shape[0]) + 1) / rate
        label, unit, columns = LABELS.get(name, (name, "", None))
        for c in range(data.shape[1]):
            draw_series(ax, seconds, data[:, c], start_ms,
                        label=columns[c] if columns and c < len(columns) else None,
                        colour=COLUMN_COLOURS[c % len(COLUMN_COLOURS)])
        shade(ax, gaps_by_channel[name], start_ms, "filled" if row == 1 else None)
        ax.set_ylabel("%s\n%s" % (name, unit), fontsize=8)
        ax.text(0.005, 0.92, "%s (%g Hz)" % (label, rate), transform=ax.transAxes, fontsize=7, va="top",
                bbox=dict(facecolor="white", alpha=0.7, lw=0))
        if columns and data.shape[1] > 1:
            ax.legend(loc="upper right", fontsize=6, ncol=3, framealpha=0.7)
        ax.tick_params(labelsize=7)

    for ax in axes:
        ax.grid(True, lw=0.3, alpha=0.5)
    axes[-1].xaxis.set_major_formatter(mdates.DateFormatter("%H:%M"))
    axes[-1].set_xlabel("time (UTC)")
    if all_gaps:
        axes[0].legend(loc="upper right", fontsize=7, framealpha=0.7)
    fig.tight_layout(rect=(0, 0, 1, 0.97))
    fig.savefig(out, dpi=110)
    print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
