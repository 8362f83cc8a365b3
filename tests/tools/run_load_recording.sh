#!/usr/bin/env bash
# Runs examples/load_recording.m headless in Octave on a converted simulated
# recording. Exit status 77 (skipped) when Octave is not installed.
# Usage: run_load_recording.sh PELGSIM PELG_TO_MATLAB EXAMPLE_M WORK_DIR
set -euo pipefail
pelgsim=$1 converter=$2 example=$3 work=$4

if ! command -v octave > /dev/null; then
  echo "octave is not installed: skipped"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/recording" "$work/converted"
"$pelgsim" -q -o "$work/recording" --duration 120 --gaps 1 --gap-length 15 --seed 5
"$converter" -outputdir "$work/converted/" "$work"/recording/*.pelg > "$work/pelgToMatlab.log"

octave --no-gui --no-window-system --quiet \
  --eval "folder = '$work/converted'; run('$example');" > "$work/octave.log" 2>&1 || true
cat "$work/octave.log"

# The README's form: a folder relative to where Octave runs, the example called by name.
(cd "$work" && octave --no-gui --no-window-system --quiet \
  --eval "folder = 'converted'; addpath('$(dirname "$example")'); load_recording" \
  > "$work/octave-relative.log" 2>&1 || true)
grep -q '^Recording of board 0x1234 starts 2024-03-14 09:00:00 UTC$' "$work/octave-relative.log" \
  || { cat "$work/octave-relative.log"; echo "FAILED: relative folder" >&2; exit 1; }

fail() { echo "FAILED: $1" >&2; exit 1; }
grep -q '^Recording of board 0x1234 starts 2024-03-14 09:00:00 UTC$' "$work/octave.log" || fail "start line"
grep -q '^Source files:$' "$work/octave.log" || fail "source files"
grep -q '^Accelerometer: 1050[0-9] readings as found' "$work/octave.log" || fail "dataOut accelerometer"
grep -q '^Accelerometer: 1199[0-9] x 3 on the uniform time base at 100 Hz$' "$work/octave.log" \
  || fail "completeData accelerometer"
grep -q '^Audio: 9599[0-9][0-9] samples at 8000 Hz' "$work/octave.log" || fail "audio"
grep -Eq '^BarPres: 1[45][0-9] of 1199 samples filled$' "$work/octave.log" || fail "filled pressure samples"
if grep -q '^No graphics toolkit' "$work/octave.log"; then
  echo "no graphics toolkit: the picture was not drawn"
else
  grep -q '^Picture: ' "$work/octave.log" || fail "picture line"
  [ -s "$work/converted/pressure.png" ] || fail "pressure.png"
fi
echo "load_recording.m ran in Octave"
