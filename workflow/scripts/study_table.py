#!/usr/bin/python3
"""Writes the table of a converted study, one row per recording and one per
file that belongs to no recording.

Usage: study_table.py RECORDINGS_JSON OUT_DIR STUDY_CSV

RECORDINGS_JSON is pelginfo's --json listing of the study; each recording's
folder OUT_DIR/<recording>/ holds status.txt (the converter's exit status)
and report.json (the converter's -jsonReport: the samples expected and found
per channel, the damage per file, the gaps and pauses), which is empty where
the converter ended without writing it.
"""

import csv
import json
import os
import sys

CHANNELS = ["hux/audio", "hux/bar_press", "hux/compass", "hux/hf_vis_light", "hux/humidity",
            "hux/ir_light", "hux/amb_light", "hux/temp", "hux/temp_sensiron", "hux/vis_light",
            "hux/x_accel", "hux/y_accel", "hux/z_accel", "tiv/x_gyro", "tiv/y_gyro", "tiv/z_gyro",
            "tiv/x_gyroTemp", "tiv/y_gyroTemp", "tiv/z_gyroTemp", "tiv/x_mag", "tiv/y_mag",
            "tiv/z_mag"]
OUTPUTS = ["dataOut.mat", "completeData.mat", "completeSensorAudio.wav", "sirfGPSOutput.bin"]
# The kinds of damage a report counts per file.
DAMAGE_KINDS = ["skippedBytes", "badChecksum", "truncatedPacket", "timestampOutlier",
                "foreignStretch", "duplicatedSector", "clockJump"]
REPORT_VERSION = 1

COLUMNS = (["recording", "result", "exit_status", "reason", "file_count", "files", "start",
            "end", "duration_seconds", "input_bytes"]
           + [name.replace(".", "_") + "_bytes" for name in OUTPUTS]
           + [c + " " + kind for c in CHANNELS for kind in ("expected", "found")]
           + [kind + "_" + count for kind in DAMAGE_KINDS for count in ("bytes", "packets")]
           + ["filled_seconds_in_files", "filled_seconds_in_pauses", "rollovers_bridged"]
           + ["coverage_" + c.replace("/", "_") for c in CHANNELS])


def read_report(path):
    """The run's report, or None where there is none (or an empty file)."""
    try:
        with open(path, encoding="utf-8") as f:
            text = f.read()
    except FileNotFoundError:
        return None
    if not text.strip():
        return None
    report = json.loads(text)
    if report.get("version") != REPORT_VERSION:
        sys.exit("%s: report version %r, this table reads version %d"
                 % (path, report.get("version"), REPORT_VERSION))
    return report


def report_columns(report):
    """The columns drawn from a run's report: the samples and coverage per
    channel of the last pass, the damage summed over the files, the filled
    seconds of gaps and pauses, the roll-overs bridged; none where the run
    ended before a pass read the files. A run that failed in a pass counts
    as far as it got."""
    row = {}
    if report["pass"] is None:
        return row
    channels = {c["name"]: c for c in report["channels"]}
    for name in CHANNELS:
        if name in channels:
            expected, found = channels[name]["expected"], channels[name]["found"]
            row[name + " expected"] = expected
            row[name + " found"] = found
            row["coverage_" + name.replace("/", "_")] = found / expected if expected else ""
    for kind in DAMAGE_KINDS:
        for count in ("bytes", "packets"):
            row[kind + "_" + count] = sum(f["damage"][kind][count] for f in report["files"])
    for kind, column in (("gap", "filled_seconds_in_files"), ("pause", "filled_seconds_in_pauses")):
        row[column] = sum(float(g["seconds"]) for g in report["gaps"] if g["kind"] == kind and g["filled"])
    row["rollovers_bridged"] = report["rollovers"]["bridged"]
    # The summary's HUX2 seconds: the files' spans, added up, once every file was read.
    if report["status"] == 0:
        row["duration_seconds"] = "%.2f" % sum(f["seconds"] for f in report["files"])
    return row


def recording_row(recording, out_dir):
    folder = os.path.join(out_dir, recording["name"])
    try:
        with open(os.path.join(folder, "status.txt")) as f:
            status = int(f.read().strip())
    except (OSError, ValueError):
        status = None
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
        "duration_seconds": recording.get("duration_seconds", ""),
        "input_bytes": recording["size_bytes"],
    }
    for name in OUTPUTS:
        path = os.path.join(folder, name)
        row[name.replace(".", "_") + "_bytes"] = os.path.getsize(path) if os.path.exists(path) else ""
    report = read_report(os.path.join(folder, "report.json"))
    if report is not None:
        row.update(report_columns(report))
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
