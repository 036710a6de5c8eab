#!/usr/bin/env bash
# Builds the tests under ThreadSanitizer (Clang, in build-tsan/) and runs every test that starts
# threads (the C++ tests and the test host's): by convention each has "Concurrent" in its suite or test name. Any report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

dir=build-tsan
CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELCORE_TSAN=ON \
  -DKELCORE_WERROR="${KELCORE_WERROR:-OFF}" -DKELCORE_BENCH=OFF > /dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target kelcore_tests kelcore_host_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
"$dir/kelcore_tests" --gtest_filter='*Concurrent*' --gtest_brief=1
# The host's threads filling the same link-table slots without locks.
"$dir/kelcore_host_tests" --gtest_filter='*Concurrent*' --gtest_brief=1
