#!/usr/bin/env bash
# The Java benchmark beside the C++ one: builds kelcore.jar, the JNI library and the Java
# benchmark, runs the Java rows (median of RUNS runs, default 5), then the same rows of the C++
# comparison benchmark (bench/CompareBench.cpp) when it is built, so both are measured on the
# same machine at the same time. Not run in CI.
#
# Usage: scripts/java-bench.sh [build-dir] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
[[ -f $build/CMakeCache.txt ]] || cmake -S . -B "$build" -G Ninja > /dev/null
cmake --build "$build" -j 2 --target kelcore_jni kelcore_java_bench
echo "== Java (JNI), median of $runs runs"
java -Xmx2g -Dkelcore.jni.library="$PWD/$build/libkelcore_jni.so" \
  -cp "$build/kelcore.jar:$build/kelcore-bench.jar" KelcoreBench "$runs"
if [[ -x $build/kelcore_bench ]]; then
  echo "== C++ (bench/CompareBench.cpp), median of $runs repetitions"
  "$build/kelcore_bench" \
    --benchmark_filter='cmp/(flat_write|flat_read_sql|flat_read_platform|nums_write_int|nums_read_int|nums_read_sql)/kelcore' \
    --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true 2>/dev/null |
    grep -E '_median' || true
else
  echo "(build the kelcore_bench target for the C++ rows)"
fi
