#!/usr/bin/python3
"""Writes the table of a converted study, one row per recording and one per
file that belongs to no recording.

Usage: study_table.py RECORDINGS_JSON OUT_DIR STUDY_CSV

RECORDINGS_JSON is pelginfo's --json listing of the study; each recording's
folder OUT_DIR/<recording>/ holds status.txt (the converter's exit status)
and pelgToMatlab.log (its console log), whose last summary gives the
samples expected and found per channel.
"""

import csv
import json
import os
import re
import sys

CHANNELS = ["hux/audio", "hux/bar_press", "hux/compass", "hux/hf_vis_light", "hux/humidity",
            "hux/ir_light", "hux/amb_light", "hux/temp", "hux/temp_sensiron", "hux/vis_light",
            "hux/x_accel", "hux/y_accel", "hux/z_accel", "tiv/x_gyro", "tiv/y_gyro", "tiv/z_gyro",
            "tiv/x_gyroTemp", "tiv/y_gyroTemp", "tiv/z_gyroTemp", "tiv/x_mag", "tiv/y_mag",
            "tiv/z_mag"]
OUTPUTS = ["dataOut.mat", "completeData.mat", "completeSensorAudio.wav", "sirfGPSOutput.bin"]

# A row of the converter's summary table and its HUX2 total line.
SUMMARY_ROW = re.compile(r"^# INFO: +(\S+) +(-?[\d.]+)Hz +(-?\d+) +(-?\d+) +[+-]\d+ +\( *-?[\d.]+%\)$")
HUX_SECONDS = re.compile(r"^# INFO: HUX2 +(-?[\d.]+|inf|nan) seconds")
SUMMARY_HEADING = "# INFO: Summary:"

COLUMNS = (["recording", "result", "exit_status", "reason", "file_count", "files", "start",
            "end", "duration_seconds", "input_bytes"]
           + [name.replace(".", "_") + "_bytes" for name in OUTPUTS]
           + [c + " " + kind for c in CHANNELS for kind in ("expected", "found")])


def read_summary(log_path):
    """(HUX2 seconds, {channel: (expected, found)}) of the log's last summary
    (the write pass's; the scan pass's when the run ended before it)."""
    try:
        with open(log_path, errors="replace") as f:
            lines = f.read().splitlines()
    except OSError:
        return None, {}
    if SUMMARY_HEADING in lines:
        last = len(lines) - 1 - lines[::-1].index(SUMMARY_HEADING)
        lines = lines[last:]
    seconds, counts = None, {}
    for line in lines:
        match = SUMMARY_ROW.match(line)
        if match:
            counts[match.group(1)] = (int(match.group(3)), int(match.group(4)))
        match = HUX_SECONDS.match(line)
        if match:
            seconds = match.group(1)
    return seconds, counts


def recording_row(recording, out_dir):
    folder = os.path.join(out_dir, recording["name"])
    try:
        with open(os.path.join(folder, "status.txt")) as f:
            status = int(f.read().strip())
    except (OSError, ValueError):
        status = None
    seconds, counts = read_summary(os.path.join(folder, "pelgToMatlab.log"))
    row = {
        "recording": recording["name"],
        "result": "converted" if status == 0 else "not converted" if status is None else "failed",
        "exit_status": "" if status is None else status,
        "reason": "" if status == 0 else "pelgToMatlab ended with status %s (see %s/pelgToMatlab.log)"
        % (status, recording["name"]) if status is not None else "no status",
        "file_count": len(recording["files"]),
        "files": ";".join(recording["files"]),
        "start": recording["start_time"],
        "end": recording.get("end_time") or "",
        "duration_seconds": seconds if seconds is not None else recording.get("duration_seconds", ""),
        "input_bytes": recording["size_bytes"],
    }
    for name in OUTPUTS:
        path = os.path.join(folder, name)
        row[name.replace(".", "_") + "_bytes"] = os.path.getsize(path) if os.path.exists(path) else ""
    for channel in CHANNELS:
        expected, found = counts.get(channel, ("", ""))
        row[channel + " expected"] = expected
        row[channel + " found"] = found
    return row


def unplaced_row(entry):
    return {"recording": "", "result": "no recording", "exit_status": "",
            "reason": entry["problem"], "file_count": 1, "files": entry["path"],
            "start": entry.get("start_time", ""), "input_bytes": max(entry.get("size_bytes", 0), 0)}


def main():
    listing_path, out_dir, csv_path = sys.argv[1:4]
    with open(listing_path) as f:
        listing = json.load(f)
    # Recordings by name: by board serial, then start.
    rows = [recording_row(r, out_dir) for r in sorted(listing["recordings"], key=lambda r: r["name"])]
    rows += [unplaced_row(f) for f in listing["files"] if not f["ok"]]
    with open(csv_path, "w", newline="") as f:
        writer = csv.DictWriter(f, fieldnames=COLUMNS, restval="")
        writer.writeheader()
        writer.writerows(rows)


if __name__ == "__main__":
    main()
