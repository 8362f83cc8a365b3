#!/usr/bin/env bash
# A recording of a week and beyond through the converter. Makes (once,
# cached) an 8-day recording with pelgsim: both boards, GPS, 288 files of
# 40 minutes with a 20 s pause between consecutive files and a few gaps.
# Converts it with the Release build and prints the wall time, the peak
# memory (against the target: at most 128 MB, whatever the length), each output's size and
# format, and whether each output loads with the lengths that the summary
# report gives (bench/long_check.py: soundfile and sox frame counts, h5py or
# scipy row counts). Then converts the first day's files alone and checks
# that every row of that day is the same in the long conversion.
#
#   bench/long.sh
#   PELG_LONG_DIR=DIR        where the recording and the outputs go (default build/long-bench;
#                            about 16 GB of input and 25 GB of output, so give a roomy disk)
#   PELG_LONG_HOURS=N        length of the recording (default 192)
#   PELG_LONG_BASELINE=REF   also convert the first day with the build of git REF (e.g. main)
#                            and check that its outputs are byte-identical apart from build and
#                            run times
#   PELG_LONG_KEEP=1         keep the outputs (default: only the recording stays)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >/dev/null
build=build/bench-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELG_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target pelgToMatlab pelgsim >/dev/null

data=${PELG_LONG_DIR:-build/long-bench}
hours=${PELG_LONG_HOURS:-192}
files=$((hours * 3 / 2))  # 40-minute files
day_files=36              # the first 24 hours
mkdir -p "$data"
rec="$data/rec_${hours}h"
if [ ! -f "$rec/.done" ]; then
  rm -rf "$rec"
  echo "making the ${hours}-hour recording in $rec"
  "$build/pelgsim" -q -o "$rec" --duration "${hours}h" --files "$files" --tiv --sirf --gaps 8 --gap-length 30 \
    --file-gap 20
  touch "$rec/.done"
fi
inputs=("$rec"/*.pelg)
in_bytes=$(cat "${inputs[@]}" | wc -c)

# Converts into $1 (emptied first) with the converter $2 and the inputs after
# it; prints "wall_s user_s sys_s peak_kB status" and leaves the console in $1.log.
convert() {
  local out=$1 bin=$2
  shift 2
  rm -rf "$out" && mkdir -p "$out"
  local report status=0
  report=$(mktemp)
  /usr/bin/time -v -o "$report" "$bin" -maxGap_sec 100000 -outputdir "$out/" "$@" >"$out.log" 2>&1 || status=$?
  awk -v s="$status" -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); w = 0; for (i = 1; i <= n; i++) w = w * 60 + t[i]}
    /User time/ {u = $2} /System time/ {y = $2} /Maximum resident/ {m = $2}
    END {printf "%.1f %.1f %.1f %d %d\n", w, u, y, m, s}' "$report"
  rm -f "$report"
}

# The bytes of every array of the two MAT-files, from the last summary report:
# dataOut holds each found sample with its time, completeData each expected
# row (both as doubles).
array_bytes() {
  /usr/bin/python3 - "$1" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
last = text[text.rfind("# INFO: Summary:"):]
rows = {m.group(1): (int(m.group(2)), int(m.group(3)))
        for m in re.finditer(r"# INFO: +(\S+) +[0-9.]+Hz +(\d+) +(\d+) ", last)}
time_of = {"hux/y_accel", "hux/z_accel", "tiv/y_gyro", "tiv/z_gyro", "tiv/x_gyroTemp", "tiv/y_gyroTemp",
           "tiv/z_gyroTemp"}  # channels sharing another channel's time column
data_out = sum(f * (1 if s in time_of else 2) for s, (e, f) in rows.items() if s != "hux/audio")
data_out += rows["hux/hf_vis_light"][1]  # visFreqLightGain
complete = sum(e for s, (e, f) in rows.items() if s != "hux/audio")
print(8 * (data_out + complete))
PY
}

echo "converting $hours hours: ${#inputs[@]} files, $((in_bytes / 1000000)) MB"
out="$data/out_${hours}h"
read -r wall user sys peak status < <(convert "$out" "$build/pelgToMatlab" "${inputs[@]}")
arrays=$(array_bytes "$out.log")
out_bytes=$(du -cb "$out"/* | tail -1 | cut -f1)
printf 'status %d, wall %.1f s (user %.1f s, system %.1f s), input %.1f MB/s\n' "$status" "$wall" "$user" "$sys" \
  "$(awk -v i="$in_bytes" -v w="$wall" 'BEGIN {print i / 1e6 / w}')"
printf 'peak memory %.0f MB (target: at most 128 MB); the arrays written hold %.0f MB\n' \
  "$(awk -v p="$peak" 'BEGIN {print p / 1024}')" "$(awk -v a="$arrays" 'BEGIN {print a / 1048576}')"
printf 'output %.0f MB\n' "$(awk -v o="$out_bytes" 'BEGIN {print o / 1e6}')"
grep -E '^# (INFO: .*(MAT v7.3|RF64)|ERROR)' "$out.log" | sort | uniq -c | head -20 || true

day="$data/out_first_day"
read -r dwall _ _ dpeak dstatus < <(convert "$day" "$build/pelgToMatlab" "${inputs[@]:0:$day_files}")
printf 'first day alone: status %d, wall %.1f s, peak memory %.0f MB\n' "$dstatus" "$dwall" \
  "$(awk -v p="$dpeak" 'BEGIN {print p / 1024}')"

check_args=("$out" "$out.log" --day "$day")
if [ -n "${PELG_LONG_BASELINE:-}" ]; then
  base_build="build/baseline-${PELG_LONG_BASELINE//\//_}"
  rm -rf "$base_build/src" && mkdir -p "$base_build/src"
  git archive "$PELG_LONG_BASELINE" | tar -x -C "$base_build/src"
  cmake -S "$base_build/src" -B "$base_build/build" -DCMAKE_BUILD_TYPE=Release -DPELG_BENCHMARKS=OFF >/dev/null
  cmake --build "$base_build/build" -j "$(nproc)" --target pelgToMatlab >/dev/null
  base="$data/out_first_day_baseline"
  read -r _ _ _ _ bstatus < <(convert "$base" "$base_build/build/pelgToMatlab" "${inputs[@]:0:$day_files}")
  echo "first day with $PELG_LONG_BASELINE: status $bstatus"
  /usr/bin/python3 bench/long_check.py "$day" "$day.log" --baseline "$base" | grep -v '^ok' || true
fi

check=0
/usr/bin/python3 bench/long_check.py "${check_args[@]}" || check=$?
if [ -z "${PELG_LONG_KEEP:-}" ]; then
  rm -rf "$out" "$day" "${base:-}"
fi
exit $(( status != 0 || check != 0 ))
