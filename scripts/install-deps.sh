#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing. Usage: scripts/install-deps.sh [extra packages...]
set -euo pipefail

packages=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev libsndfile1-dev libhdf5-dev libmatio-dev
          nlohmann-json3-dev  # the tests read the run's JSON report back
          python3 python3-numpy python3-scipy python3-soundfile python3-pandas python3-h5py sox
          python3-venv python3-pip python3-setuptools python3-wheel
          octave gnuplot-nox fonts-freefont-otf snakemake python3-matplotlib
          slurm-wlm munge  # the study workflow on a one-node Slurm cluster in the tests
          clang libclang-rt-14-dev "$@")  # the fuzz target: clang with libFuzzer and the sanitizers

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
fi
