#!/usr/bin/python3
"""The converter's memory does not grow with the recording: a 3-hour
recording (both boards, GPS, gaps) converts, as MAT v5 and as MAT v7.3, in
about the memory of a 10-minute one, and in at most 128 MB. A converter that
held its output arrays would need about 68 MB more per recorded hour.

Usage: test_memory.py <path of pelgToMatlab> <scratch directory>
"""

import os
import resource
import shutil
import subprocess
import sys

LIMIT_KB = 128 * 1024
GROWTH_KB = 16 * 1024  # allowed between the two lengths


def peak_kb(command):
    """Peak resident memory of the command, run in a child of its own."""
    child = os.fork()
    if child == 0:
        with open(os.devnull, "w") as null:
            os.dup2(null.fileno(), 1)
        os.execv(command[0], command)
    _, status, usage = os.wait4(child, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s ended with status %d" % (" ".join(command), os.waitstatus_to_exitcode(status)))
    return usage.ru_maxrss


def main():
    binary, scratch = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    pelgsim = os.path.join(os.path.dirname(binary), "pelgsim")
    shutil.rmtree(scratch, ignore_errors=True)
    failures = []
    peaks = {}
    for length in ("10m", "3h"):
        rec = os.path.join(scratch, length)
        subprocess.run([pelgsim, "-q", "-o", rec, "--duration", length, "--tiv", "--sirf",
                        "--gaps", "6", "--gap-length", "30", "--seed", "21"], check=True)
        inputs = sorted(os.path.join(rec, f) for f in os.listdir(rec) if f.endswith(".pelg"))
        for options in ([], ["-mat73"]):
            out = os.path.join(scratch, length + "".join(options) + ".out")
            os.makedirs(out)
            peaks[(length, tuple(options))] = peak_kb(
                [binary, "-NoWavFile", "-outputdir", out + "/"] + options + inputs)
            shutil.rmtree(out)
    for options in ([], ["-mat73"]):
        short, long = peaks[("10m", tuple(options))], peaks[("3h", tuple(options))]
        print("%s: %d kB for 10 minutes, %d kB for 3 hours" % (options or "MAT v5", short, long))
        if long > LIMIT_KB or long - short > GROWTH_KB:
            failures.append(options or "MAT v5")
    shutil.rmtree(scratch, ignore_errors=True)
    if failures:
        print("memory grows with the recording: %r" % failures)
        return 1
    print("1 passed, 0 failed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
