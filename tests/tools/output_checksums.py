#!/usr/bin/python3
"""Regression check of whole conversions: a few small pelgsim recordings are
converted and every output (MAT fields, WAV frames, GPS bytes), the console
text and the exit status are digested and compared with the digests kept in
output_checksums.txt. A change to how the converter works inside (its speed,
its buffers) must leave every one of them as it was; a change that means to
alter an output updates the file with --update and says so in its commit.

    output_checksums.py PELGSIM CONVERTER WORKDIR [--update]
"""
import hashlib
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "bench"))
from output_digest import folder_digests  # noqa: E402

EXPECTED = os.path.join(HERE, "output_checksums.txt")

# name, pelgsim options, converter options
CASES = [
    ("two-boards-gps-gaps",
     "--seed 1 --duration 300 --tiv --sirf --gaps 2 --files 2 --file-gap 30", ""),
    ("damaged-framing",
     "--seed 2 --duration 200 --stray-bytes 3 --bad-checksums 3 --cut-last", ""),
    ("rollover-in-pause",
     "--seed 3 --duration 5800 --tiv --rollover-at 250 --files 3 --file-gap 2700", ""),
    ("fast-audio-integers",
     "--seed 4 --duration 120 --mic-hz 16000 --accel-rate 2000 --intr 10240", "-integerOutput"),
    # Long enough for the WAV file to be handed to the disk during the pass.
    ("quarter-hour-audio",
     "--seed 6 --duration 900 --gap-at 400 --gap-length 30", ""),
    ("clock-jump-no-wav",
     "--seed 5 --duration 400 --tiv --sirf --gap-at 100 --gap-length 150", "-NoWavFile"),
]


def run_case(pelgsim, converter, workdir, name, sim_args, convert_args):
    recording = os.path.join(workdir, name)
    out = os.path.join(workdir, name + ".out")
    shutil.rmtree(recording, ignore_errors=True)
    shutil.rmtree(out, ignore_errors=True)
    # The digests were taken before pelgsim modelled the logger's clock.
    subprocess.run([pelgsim, "-q", "-o", recording, "--exact-clocks"] + sim_args.split(), check=True)
    os.makedirs(out)
    inputs = sorted(os.path.join("..", name, f) for f in os.listdir(recording) if f.endswith(".pelg"))
    # Relative names from inside the output folder: the console text and the
    # MAT-files' source list do not depend on where the test runs.
    run = subprocess.run([converter, "-outputdir", "./"] + convert_args.split() + inputs, cwd=out,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    with open(os.path.join(out, "console.txt"), "wb") as f:
        f.write(run.stdout)
    digests = {"status": str(run.returncode), "console": hashlib.sha256(run.stdout).hexdigest()}
    digests.update(folder_digests(out))
    return digests


def read_expected():
    expected = {}
    with open(EXPECTED) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                case, item, digest = line.split()
                expected[(case, item)] = digest
    return expected


def main():
    pelgsim, converter, workdir = (os.path.abspath(p) for p in sys.argv[1:4])
    update = "--update" in sys.argv[4:]
    os.makedirs(workdir, exist_ok=True)
    found = {}
    for name, sim_args, convert_args in CASES:
        for item, digest in run_case(pelgsim, converter, workdir, name, sim_args, convert_args).items():
            found[(name, item)] = digest
    if update:
        with open(EXPECTED, "w") as f:
            f.write("# case output digest; written by output_checksums.py --update\n")
            for (case, item), digest in sorted(found.items()):
                f.write("%s %s %s\n" % (case, item, digest))
        print("wrote", EXPECTED)
        return 0
    expected = read_expected()
    failures = [key for key in sorted(set(expected) | set(found)) if expected.get(key) != found.get(key)]
    for case, item in failures:
        print("differs: %s %s (expected %s, found %s; outputs in %s)"
              % (case, item, expected.get((case, item)), found.get((case, item)),
                 os.path.join(workdir, case + ".out")))
    print("%d of %d digests equal" % (len(expected) - len(failures), len(expected)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
