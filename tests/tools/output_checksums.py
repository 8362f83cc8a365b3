#!/usr/bin/python3
"""Regression check of whole conversions: a few small pelgsim recordings are
converted and every output (MAT fields, WAV frames, GPS bytes), the console
text and the exit status are digested and compared with the digests kept in
output_checksums.txt. A change to how the converter works inside (its speed,
its buffers, its threads) must leave every one of them as it was; a change
that means to alter an output updates the file with --update and says so in
its commit. Every recording is converted with -threads 1, 2 and 8, and each
conversion must give the same digests.

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

# The digests of the first cases were taken before pelgsim modelled the
# logger's clock.
EXACT = "--exact-clocks "

# name, pelgsim options, converter options
CASES = [
    ("two-boards-gps-gaps",
     EXACT + "--seed 1 --duration 300 --tiv --sirf --gaps 2 --files 2 --file-gap 30", ""),
    ("damaged-framing",
     EXACT + "--seed 2 --duration 200 --stray-bytes 3 --bad-checksums 3 --cut-last", ""),
    ("rollover-in-pause",
     EXACT + "--seed 3 --duration 5800 --tiv --rollover-at 250 --files 3 --file-gap 2700", ""),
    ("fast-audio-integers",
     EXACT + "--seed 4 --duration 120 --mic-hz 16000 --accel-rate 2000 --intr 10240", "-integerOutput"),
    # Long enough for the WAV file to be handed to the disk during the pass.
    ("quarter-hour-audio",
     EXACT + "--seed 6 --duration 900 --gap-at 400 --gap-length 30", ""),
    ("clock-jump-no-wav",
     EXACT + "--seed 5 --duration 400 --tiv --sirf --gap-at 100 --gap-length 150", "-NoWavFile"),
    # Damage, gaps with clock jumps, pauses between files and a roll-over in
    # one of them, on the logger's own clock.
    ("damaged-gaps-pauses-rollover",
     "--seed 8 --duration 3000 --tiv --sirf --files 3 --file-gap 200 --rollover-at 1100 --gap-at 300,1600 "
     "--gap-length 120 --stray-bytes 4 --bad-checksums 4 --cut-last", ""),
    # The same recording without MAT-files, whose pass converts the audio
    # alone (its WAV frames are those of the case before; the file names
    # other inputs).
    ("damaged-gaps-pauses-rollover-wav-only",
     "--seed 8 --duration 3000 --tiv --sirf --files 3 --file-gap 200 --rollover-at 1100 --gap-at 300,1600 "
     "--gap-length 120 --stray-bytes 4 --bad-checksums 4 --cut-last", "-NoDataOut -NoCompleteData"),
]

THREADS = (1, 2, 8)


def run_case(pelgsim, converter, workdir, name, sim_args, convert_args, threads):
    recording = os.path.join(workdir, name)
    out = os.path.join(workdir, "%s.out%d" % (name, threads))
    shutil.rmtree(recording, ignore_errors=True)
    shutil.rmtree(out, ignore_errors=True)
    subprocess.run([pelgsim, "-q", "-o", recording] + sim_args.split(), check=True)
    os.makedirs(out)
    inputs = sorted(os.path.join("..", name, f) for f in os.listdir(recording) if f.endswith(".pelg"))
    # Relative names from inside the output folder: the console text and the
    # MAT-files' source list do not depend on where the test runs. The
    # threads go last, where they leave the files' argument numbers alone.
    run = subprocess.run([converter, "-outputdir", "./"] + convert_args.split() + inputs + ["-threads", str(threads)],
                         cwd=out, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
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
    unequal = []
    for name, sim_args, convert_args in CASES:
        for threads in THREADS:
            digests = run_case(pelgsim, converter, workdir, name, sim_args, convert_args, threads)
            for item, digest in digests.items():
                if threads == THREADS[0]:
                    found[(name, item)] = digest
                elif found.get((name, item)) != digest:
                    unequal.append("%s %s with -threads %d (outputs in %s.out%d)" % (name, item, threads, name, threads))
    for line in unequal:
        print("differs from -threads %d: %s" % (THREADS[0], line))
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
                 os.path.join(workdir, case + ".out%d" % THREADS[0])))
    print("%d of %d digests equal" % (len(expected) - len(failures), len(expected)))
    return 1 if failures or unequal else 0


if __name__ == "__main__":
    sys.exit(main())
