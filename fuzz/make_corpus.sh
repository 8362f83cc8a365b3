#!/usr/bin/env bash
# Writes the fuzzing seeds (fuzz/corpus/) with pelgsim, and the regression
# recordings of hostile headers (fuzz/regressions/header_rates/), made from a
# seed with header rates beyond the platform. The files are kept in the
# repository; run this only to make them anew.
# Usage: fuzz/make_corpus.sh [pelgsim binary] (default build/release/pelgsim)
set -euo pipefail
cd "$(dirname "$0")/.."
pelgsim=${1:-build/release/pelgsim}
slow=(--accel-rate 10 --baro-rate 10 --compass-rate 10 --hf-light-rate 10 --light-rate 10 --humidity-rate 10
      --gyro-rate 10 --mag-rate 10)

rm -rf fuzz/corpus fuzz/regressions/header_rates
mkdir -p fuzz/corpus fuzz/regressions/header_rates
sim() { "$pelgsim" -o fuzz/corpus -q "$@"; }
# HUX2 sensors only; a roll-over of the time counter inside the file.
sim --stem plain --seed 1 --duration 20s --mic-hz 0 "${slow[@]}" --accel-rate 20 --rollover-at 10s
# Microphone, TIV board and SiRF GPS.
sim --stem tiv_sirf --seed 2 --duration 20s --mic-hz 20 --tiv "${slow[@]}" --sirf
# Damage: stray bytes, a wrong checksum, a gap, the last packet cut short.
sim --stem damaged --seed 3 --duration 40s --intr 640 --mic-hz 10 "${slow[@]}" \
    --stray-bytes 2 --bad-checksums 1 --cut-last --gap-at 25s --gap-length 3s
# TIV with its own clock rolling over.
sim --stem tiv_rollover --seed 4 --duration 20s --mic-hz 0 --tiv "${slow[@]}" --gyro-rate 20 --tiv-rollover-at 8s

# Header rates that once made a small file cost gigabytes: a light rate with
# two header bytes changed, and microphone rates whose tenths overflow 32 bits.
/usr/bin/python3 - fuzz/corpus/plain_001.pelg fuzz/regressions/header_rates <<'PY'
import struct, sys
source, folder = sys.argv[1], sys.argv[2]
data = open(source, 'rb').read()
def patched(tag, value):
    at = data.index(tag.encode())  # the first entry with the tag: the HUX2 device's
    return data[:at + 9] + struct.pack('<i', value) + data[at + 13:]
for name, tag, value in [('dals_16711780', 'dals', 16711780), ('mic_16700000', 'mic ', 16700000),
                         ('mic_214748365', 'mic ', 214748365), ('intr_16711780', 'intr', 16711780),
                         ('acc_2147483647', 'acc ', 2147483647)]:
    open(f'{folder}/{name}.pelg', 'wb').write(patched(tag, value))
PY
ls -l fuzz/corpus fuzz/regressions/header_rates
