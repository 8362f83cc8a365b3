#!/usr/bin/env bash
# Conversion speed against the I/O floor. Makes (once, cached) 1 h, 6 h and
# 24 h recordings with pelgsim (both boards, GPS, a few gaps), converts each
# with the Release build and prints one row per recording and output set:
# input MB, output MB, wall seconds (median of 3), user and system CPU, input
# MB/s, peak memory, the I/O floor measured in the same run (the inputs read
# twice with cat, then dd of the outputs' byte count into the output folder,
# alternated with the conversions) and the ratio wall / floor.
#
#   bench/run.sh [HOURS ...]        default: 1 6 24
#   PELG_BENCH_DIR=DIR              where recordings and outputs go (default build/bench-data)
#   PELG_BENCH_BIN=PATH             the converter to measure (default: this tree's Release build)
#   PELG_BENCH_BEFORE=PATH          a converter to compare with: each run converts with it too,
#                                   right after, and two columns more give its wall seconds
#                                   (median) and the median of before / wall over the runs
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >/dev/null
build=build/bench-release
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELG_BENCHMARKS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target pelgToMatlab pelgsim >/dev/null

bin=${PELG_BENCH_BIN:-$build/pelgToMatlab}
before=${PELG_BENCH_BEFORE:-}
data=${PELG_BENCH_DIR:-build/bench-data}
mkdir -p "$data"
hours=("$@")
[ ${#hours[@]} -gt 0 ] || hours=(1 6 24)
runs=3

# Prints "wall user sys maxKB" of one conversion; a failed conversion ends
# the run with its last console lines.
measure() {
  local report log status=0
  report=$(mktemp) log=$(mktemp)
  /usr/bin/time -o "$report" -f "%e %U %S %M" "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "bench/run.sh: $* ended with status $status:" >&2
    tail -5 "$log" >&2
    rm -f "$report" "$log"
    return 1
  fi
  tail -1 "$report"
  rm -f "$report" "$log"
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# The I/O floor: read the inputs twice (both passes read them), write as many
# bytes as the outputs hold.
floor_seconds() {
  local out=$1 bytes=$2; shift 2
  sync
  local start end
  start=$(date +%s.%N)
  cat "$@" >/dev/null
  cat "$@" >/dev/null
  dd if=/dev/zero of="$out/floor.bin" bs=4M count=$(( (bytes + 4194303) / 4194304 )) conv=fsync status=none
  end=$(date +%s.%N)
  rm -f "$out/floor.bin"
  awk -v a="$start" -v b="$end" 'BEGIN {print b - a}'
}

printf '%-6s %-16s %8s %8s %7s %6s %6s %8s %8s %7s %6s' hours outputs in_MB out_MB wall_s user_s sys_s in_MB/s peak_MB floor_s ratio
if [ -n "$before" ]; then printf ' %8s %7s' before_s speedup; fi
printf '\n'
for h in "${hours[@]}"; do
  rec="$data/rec_${h}h"
  # The standard lengths keep their roll-overs out of gaps and pauses, so
  # that builds from before the time line bridged them (they stopped with -11
  # there) convert the same bytes; other lengths are laid out by the seed.
  # The same recording as long as the simulator's options stay the same.
  case $h in
    1) layout=(--rollover-at 0 --gap-at 880,2690) ;;
    6) layout=(--rollover-at 0 --gap-at 876,11686) ;;
    24) layout=(--rollover-at 200 --gap-at 875,11678,22480,33283,44085,54888,65690,76493) ;;
    *) layout=(--gaps $((h < 6 ? 2 : h / 3))) ;;
  esac
  sim=(--duration "${h}h" --tiv --sirf "${layout[@]}" --gap-length 30 --file-gap 20)
  if [ "$(cat "$rec/.done" 2>/dev/null)" != "${sim[*]}" ]; then
    rm -rf "$rec"
    "$build/pelgsim" -q -o "$rec" "${sim[@]}"
    echo "${sim[*]}" >"$rec/.done"
  fi
  inputs=("$rec"/*.pelg)
  in_bytes=$(cat "${inputs[@]}" | wc -c)
  for variant in all no-wav wav-only; do
    case $variant in
      all) flags=() ;;
      no-wav) flags=(-NoWavFile) ;;
      wav-only) flags=(-NoDataOut -NoCompleteData) ;;
    esac
    out="$data/out_${h}h_$variant"
    walls=() users=() syss=() peaks=() floors=() befores=() speedups=()
    for _ in $(seq $runs); do
      rm -rf "$out" && mkdir -p "$out"
      sync
      timing=$(measure "$bin" -maxGap_sec 100000 "${flags[@]}" -outputdir "$out/" "${inputs[@]}")
      read -r wall user sys peak <<<"$timing"
      out_bytes=$(du -cb "$out"/* | tail -1 | cut -f1)
      walls+=("$wall") users+=("$user") syss+=("$sys") peaks+=("$peak")
      floors+=("$(floor_seconds "$out" "$out_bytes" "${inputs[@]}")")
      if [ -n "$before" ]; then
        # The same conversion with the other build, at the same moment of
        # the disk as near as can be.
        rm -rf "$out" && mkdir -p "$out"
        sync
        timing=$(measure "$before" -maxGap_sec 100000 "${flags[@]}" -outputdir "$out/" "${inputs[@]}")
        read -r before_wall _ <<<"$timing"
        befores+=("$before_wall")
        speedups+=("$(awk -v b="$before_wall" -v w="$wall" 'BEGIN {print b / w}')")
      fi
    done
    wall=$(median "${walls[@]}")
    floor=$(median "${floors[@]}")
    awk -v h="$h" -v v="$variant" -v i="$in_bytes" -v o="$out_bytes" -v w="$wall" -v u="$(median "${users[@]}")" \
      -v s="$(median "${syss[@]}")" -v p="$(median "${peaks[@]}")" -v f="$floor" \
      'BEGIN {printf "%-6s %-16s %8.0f %8.0f %7.2f %6.2f %6.2f %8.0f %8.0f %7.2f %6.2f", h, v, i / 1e6, o / 1e6, w, u, s,
              i / 1e6 / w, p / 1024, f, w / f}'
    if [ -n "$before" ]; then
      printf ' %8.2f %7.2f' "$(median "${befores[@]}")" "$(median "${speedups[@]}")"
    fi
    printf '\n'
  done
done
