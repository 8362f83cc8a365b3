#!/usr/bin/env bash
# Converts a whole study on this machine: installs what is missing, builds
# pelgToMatlab and pelginfo in release mode (build/study/), and runs
# workflow/Snakefile with every local core: every PELG file under STUDY is
# grouped into recordings, each converted into OUT/<recording>/, and
# OUT/study.csv lists the recordings and the files that belong to none.
# Usage: scripts/convert-study.sh STUDY OUT [snakemake options...]
#   e.g. scripts/convert-study.sh /data/study /data/converted --config plots=1
# Rerunning converts only what is missing or out of date.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: scripts/convert-study.sh STUDY OUT [snakemake options...]" >&2
  exit 2
fi
study=$(realpath "$1")
mkdir -p "$2"
out=$(realpath "$2")
shift 2
cd "$(dirname "$0")/.."
repo=$(pwd)

scripts/install-deps.sh snakemake python3-matplotlib

build=${STUDY_BUILD_DIR:-$repo/build/study}
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPELG_BENCHMARKS=OFF > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target pelgToMatlab pelginfo > "$build/build.log" 2>&1 \
  || { tail -n 30 "$build/build.log"; exit 1; }

# The folders go in a config file, so that --config in the options given adds
# to them (plots=1, max_gap_sec=N) instead of replacing them. Snakemake keeps
# its state (.snakemake/) in the output folder.
config="$out/study-config.json"
/usr/bin/python3 -c 'import json, sys; json.dump(dict(study=sys.argv[1], out=sys.argv[2], bin=sys.argv[3]), open(sys.argv[4], "w"))' \
  "$study" "$out" "$build" "$config"
exec snakemake --snakefile "$repo/workflow/Snakefile" --directory "$out" --cores "$(nproc)" \
  --configfile "$config" "$@"
