#!/usr/bin/env bash
# The whole job in one command: installs what is missing, builds in release
# mode, simulates a one-hour recording in two files with gaps, converts it
# with pelgToMatlab and draws overview.png of the result.
# Everything goes to build/demo/ (set DEMO_BUILD_DIR to use another folder).
set -euo pipefail
cd "$(dirname "$0")/.."
began=$(date +%s)

echo "== Installing what is missing"
scripts/install-deps.sh python3-matplotlib

build=${DEMO_BUILD_DIR:-build/demo}
echo "== Building pelgToMatlab, pelginfo and pelgsim (release) in $build"
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELG_BENCHMARKS=OFF > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target pelgToMatlab pelginfo pelgsim

demo="$build/demo-output"
rm -rf "$demo"
mkdir -p "$demo/recording" "$demo/converted"

echo "== Simulating a one-hour recording: two files, a 40 s pause between them, three 30 s gaps"
"$build/pelgsim" -o "$demo/recording" --stem demo --duration 1h --files 2 --file-gap 40 \
  --gaps 3 --gap-length 30 --tiv --sirf --seed 2024

echo "== Converting with pelgToMatlab (console output in $demo/pelgToMatlab.log)"
status=0
"$build/pelgToMatlab" -outputdir "$demo/converted/" "$demo"/recording/*.pelg > "$demo/pelgToMatlab.log" || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 20 "$demo/pelgToMatlab.log"
  echo "pelgToMatlab failed with status $status (the log ends as shown above)" >&2
  exit 1
fi
# The summary report of the write pass: expected against found samples.
sed -n '/# INFO: Summary:/,$p' "$demo/pelgToMatlab.log" | grep -E 'seconds|Sensor Name|Hz' || true
echo "Warnings: $(grep -c '^# WARNING' "$demo/pelgToMatlab.log" || true) (roll-overs of the time counter and the filled gaps)"

echo "== Drawing the overview"
/usr/bin/python3 tools/plot_overview.py "$demo/converted" -o "$demo/overview.png" > /dev/null

elapsed=$(( $(date +%s) - began ))
echo
echo "Recording:   $demo/recording/ ($(ls "$demo/recording" | tr '\n' ' '))"
echo "Converted:   $demo/converted/ (dataOut.mat, completeData.mat, completeSensorAudio.wav, sirfGPSOutput.bin)"
echo "Console log: $demo/pelgToMatlab.log"
echo "Picture:     $demo/overview.png"
echo "The demo took ${elapsed} s."
