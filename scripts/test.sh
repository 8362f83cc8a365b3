#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once in a normal
# build and once under AddressSanitizer and UndefinedBehaviorSanitizer; the
# tests that run threads also under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)

echo "== Build and test"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELG_WERROR=ON
cmake --build build/release -j "$jobs"
(cd build/release && ctest --output-on-failure -j "$jobs")

echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DPELG_SANITIZE=ON -DPELG_WERROR=ON -DPELG_BENCHMARKS=OFF
cmake --build build/sanitize -j "$jobs"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build/sanitize && ctest --output-on-failure -j "$jobs")

echo "== Build and test the threads under ThreadSanitizer"
# The write-behind thread's own tests, the read buffer's prefetch and the
# pass's tables run threads in the test process; the conversion tests run the converter with 1, 2, 8
# threads and more, and a report of ThreadSanitizer ends it with a status
# they check.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELG_TSAN=ON -DPELG_WERROR=ON -DPELG_BENCHMARKS=OFF
cmake --build build/tsan -j "$jobs" --target pelgToMatlab pelgsim test_common test_input test_output test_pass test_driver
export TSAN_OPTIONS=halt_on_error=1:exitcode=66
(cd build/tsan && ctest --output-on-failure -j "$jobs" -R '^(tools_output_checksums|ChunkQueue\.|ReadBuffer\.|FilePrefetch\.|WriteBehind\.|Cases/PacketPass\.|OutputFaults\.)')
