#!/usr/bin/python3
"""Converts recordings whose names and folders are written in several scripts
with the real pelgToMatlab, and loads dataOut.mat and completeData.mat back
with scipy and with GNU Octave (when installed): every character of the
Basic Multilingual Plane comes back as written, a character beyond it (an
emoji) and a byte that is not UTF-8 come back as U+FFFD, with a warning, and
both files load in both readers. tools/plot_overview.py draws the outputs of
a folder with a non-ASCII name.

Usage: test_output_names.py <path of pelgToMatlab> <scratch directory>
"""

import os
import shutil
import subprocess
import sys

import scipy.io

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import pelg_files  # noqa: E402
from checks import check, created_by_ok, finish, paths  # noqa: E402

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
REPLACED = ("# WARNING: Field sourceFiles: %d character(s) stored as U+FFFD (not valid UTF-8, or "
            "beyond the Basic Multilingual Plane, which not every MAT-file reader loads)")

# (folder, file name, what sourceFiles holds for it, characters replaced);
# names are bytes, as the system keeps them.
CASES = [
    ("Z\u00fcrich", "donn\u00e9es_\u00e9.pelg", None, 0),
    ("\u0395\u03bb\u03bb\u03ac\u03b4\u03b1", "\u041c\u043e\u0441\u043a\u0432\u0430.pelg", None, 0),
    ("\u6771\u4eac", "\u9332\u97f3_\ud55c\uad6d\uc5b4.pelg", None, 0),
    ("emoji", "rec_\U0001F600_\U0001D11E.pelg", "rec_\ufffd_\ufffd.pelg", 2),
]
LATIN1 = (b"latin1", b"donn\xe9es.pelg", "donn\ufffdes.pelg", 1)


def octave_texts(octave, folder):
    """The sourceFiles of both files as Octave loads them, as UTF-8 bytes."""
    script = ("d = load('dataOut.mat'); c = load('completeData.mat');"
              "printf('%d ', double(d.dataOut.stat.sourceFiles)); printf('\\n');"
              "printf('%d ', double(c.completeData.sourceFiles)); printf('\\n');")
    run = subprocess.run([octave, "--no-gui", "--quiet", "--norc", "--eval", script], cwd=folder,
                         capture_output=True)
    if run.returncode != 0:
        return None, run.stderr.decode(errors="replace")
    lines = run.stdout.decode().splitlines()
    return [bytes(int(v) for v in line.split()) for line in lines[:2]], ""


def main():
    binary, scratch = paths(2)
    octave = shutil.which("octave")
    if not octave:
        print("octave not installed: skipping the Octave load checks")

    cases = [(f.encode(), n.encode(), (s if s is not None else n), r) for f, n, s, r in CASES]
    cases.append(LATIN1)
    for folder, name, stored, replaced in cases:
        label = folder.decode(errors="replace")
        work = os.path.join(os.fsencode(scratch), folder)
        os.makedirs(work)
        path = os.path.join(work, name)
        packets = []
        for t in range(20):
            packets += [(pelg_files.HUX_ID, pelg_files.audio(t, [t, t + 1, t + 2, t + 3])),
                        (pelg_files.HUX_ID, pelg_files.hux_sensor(t, accel=(t, 2, 3), compass=7 + t))]
        pelg_files.pelg_file(path, pelg_files.START_MS, packets)
        # Outputs go next to the file, so the folder's name is in every path.
        run = subprocess.run([os.fsencode(binary), path], cwd=os.fsencode(scratch), capture_output=True)
        out = run.stdout.decode("utf-8", errors="replace")
        check(run.returncode == 0, "%s: status %d\n%s" % (label, run.returncode, out))
        warnings = [line for line in out.splitlines() if "stored as U+FFFD" in line]
        expected_warnings = [REPLACED % replaced] * 2 if replaced else []
        check(warnings == expected_warnings, "%s: warnings %r" % (label, warnings))

        expected = "Source [ 0] %s\n" % os.path.join(os.path.join(scratch, folder.decode(errors="replace")),
                                                      stored)
        try:
            d = scipy.io.loadmat(os.path.join(work, b"dataOut.mat"))["dataOut"][0, 0]
            c = scipy.io.loadmat(os.path.join(work, b"completeData.mat"))["completeData"][0, 0]
        except Exception as e:  # noqa: BLE001 - any failure to load is the finding
            check(False, "%s: scipy cannot load the files: %s" % (label, e))
            continue
        check(d["stat"][0, 0]["sourceFiles"][0] == expected, "%s: dataOut sourceFiles %r, expected %r"
              % (label, d["stat"][0, 0]["sourceFiles"][0], expected))
        check(c["sourceFiles"][0] == expected,
              "%s: completeData sourceFiles %r" % (label, c["sourceFiles"][0]))
        check(created_by_ok(c["createdBy"][0]), "%s: createdBy" % label)

        if octave:
            texts, error = octave_texts(octave, work)
            check(texts == [expected.encode()] * 2,
                  "%s: Octave reads %r %s, expected %r" % (label, texts, error, expected))

    # A folder with a non-ASCII name through the plotting tool.
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        print("matplotlib not installed: skipping plot_overview.py")
    else:
        folder = os.path.join(scratch, "Z\u00fcrich")
        picture = os.path.join(scratch, "overview.png")
        run = subprocess.run(["/usr/bin/python3", os.path.join(TOOLS, "plot_overview.py"), folder,
                              "-o", picture], capture_output=True, text=True)
        check(run.returncode == 0 and os.path.getsize(picture) > 0,
              "plot_overview.py: status %d\n%s" % (run.returncode, run.stderr))

    return finish("name")


if __name__ == "__main__":
    sys.exit(main())
