#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test.
#   scripts/test.sh              GCC build in build/
#   scripts/test.sh --sanitize   Clang build with AddressSanitizer and UBSan in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)
if [[ ${1:-} == --sanitize ]]; then
  dir=build-asan
  CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELCORE_SANITIZE=ON \
    -DKELCORE_WERROR="${KELCORE_WERROR:-OFF}" -DKELCORE_BENCH=OFF
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DKELCORE_WERROR="${KELCORE_WERROR:-OFF}"
fi
cmake --build "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs"
