#!/usr/bin/env bash
# Builds the libFuzzer target for the whole-file path with clang, under
# AddressSanitizer and UndefinedBehaviorSanitizer, in build/fuzz; replays the
# seeds (fuzz/corpus/) and the regression inputs (fuzz/regressions/) once each,
# then fuzzes for the given number of seconds (default 60) in one process.
# Inputs the fuzzer finds go to build/fuzz/corpus/, which later runs go on
# from. Any crash, sanitizer report, leak or hang fails the script; the input
# is saved in build/fuzz/artifacts/ and printed in hexadecimal.
# Usage: scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-build/fuzz}

scripts/install-deps.sh

echo "== Building the fuzz target in $build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DPELG_FUZZ=ON \
      -DPELG_BENCHMARKS=OFF > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target pelg_file_fuzzer

fuzzer="$build/fuzz/pelg_file_fuzzer"
corpus="$build/corpus"
artifacts="$build/artifacts"
mkdir -p "$corpus" "$artifacts"
# Scratch folders of the target (and of any run cut short) stay inside the build folder.
export TMPDIR="$PWD/$build/tmp"
rm -rf "$TMPDIR"
mkdir -p "$TMPDIR"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# A single input may run this long, use this much memory and be this long.
limits=(-timeout=30 -rss_limit_mb=2048 -max_len=16384)

report() {
  local status=$1
  echo "pelg_file_fuzzer failed (status $status)" >&2
  local found=0
  for input in "$artifacts"/*; do
    [ -f "$input" ] || continue
    found=1
    echo "== Input $input ($(stat -c %s "$input") bytes), saved for reproduction:" >&2
    echo "   $fuzzer $input" >&2
    od -A d -t x1 -v "$input" >&2
  done
  [ "$found" -eq 1 ] || echo "(no input was saved)" >&2
  exit 1
}

rm -f "$artifacts"/*
echo "== Replaying the seeds and the regression inputs"
mapfile -t inputs < <(find fuzz/corpus fuzz/regressions -type f | sort)
status=0
"$fuzzer" "${limits[@]}" -artifact_prefix="$artifacts/" "${inputs[@]}" > "$build/replay.log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$build/replay.log" >&2
  report "$status"
fi
echo "${#inputs[@]} inputs replayed"

echo "== Fuzzing for $seconds s"
"$fuzzer" "${limits[@]}" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$artifacts/" \
          "$corpus" fuzz/corpus > "$build/fuzz.log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$build/fuzz.log" >&2
  report "$status"
fi
grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::' "$build/fuzz.log" || true
echo "== Fuzzing found nothing in $seconds s ($(find "$corpus" -type f | wc -l) inputs in $corpus)"
