#!/usr/bin/env bash
# Installs pelgload as the README says, without network, into a fresh
# virtual environment made with --system-site-packages, and loads a
# conversion with the installed copy, from outside the source tree.
# Usage: install_test.sh SOURCE_DIR PELGSIM PELG_TO_MATLAB WORK_DIR
set -euo pipefail
source_dir=$1 pelgsim=$2 converter=$3 work=$4

rm -rf "$work"
mkdir -p "$work/recording" "$work/converted" "$work/elsewhere"
"$pelgsim" -q -o "$work/recording" --duration 60 --seed 11
"$converter" -outputdir "$work/converted/" "$work"/recording/*.pelg > "$work/pelgToMatlab.log"

# A copy of the package's folder, so that the build leaves nothing in the source tree.
cp -r "$source_dir/python" "$work/python"
rm -rf "$work/python/build" "$work/python"/*.egg-info
cd "$work"
/usr/bin/python3 -m venv --system-site-packages venv
# No package index: everything must come from the folder and Debian's packages.
PIP_NO_INDEX=1 venv/bin/pip install --no-build-isolation ./python > pip.log 2>&1 \
  || { cat pip.log; echo "FAILED: pip install" >&2; exit 1; }

cd "$work/elsewhere"
"$work/venv/bin/python" -c "
import sys, pelgload
assert pelgload.__file__.startswith('$work/venv/'), pelgload.__file__
r = pelgload.load('$work/converted')
print(r.info)
assert r.info['serial_number'] == 0x1234, r.info
assert r.complete['accel'].filled.dtype == bool
assert len(r.complete['accel']) > 5000
" || { echo "FAILED: load with the installed pelgload" >&2; exit 1; }
echo "pelgload installed offline and loaded the conversion"
