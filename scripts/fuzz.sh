#!/usr/bin/env bash
# Builds every libFuzzer target (Clang, AddressSanitizer and UBSan, in build-fuzz/) and runs
# each in turn for a fixed time over its seed corpus in fuzz/corpus/<Target>/.
#
#   scripts/fuzz.sh [TARGET...]     every target (or those named), FUZZ_SECONDS each (60)
#   scripts/fuzz.sh --corpus        writes the seed corpora anew from the catalog's writers and
#                                   the examples, and stops
#   scripts/fuzz.sh --replay        runs each target once over the kept reproducers of past
#                                   findings in fuzz/findings/<Target>/: fails while any of them
#                                   still fails
#
# A finding fails the run: a crash or sanitizer report, a leak, an input that runs longer than
# FUZZ_TIMEOUT seconds (10) or takes more than 2048 MB. Its reproducer is kept in
# build-fuzz/findings/<Target>/; replay it with build-fuzz/<Target> FILE. New inputs found on
# the way go to build-fuzz/corpus/<Target>/, never into the repository's seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-10}
dir=build-fuzz
CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELCORE_FUZZ=ON \
  -DKELCORE_WERROR="${KELCORE_WERROR:-OFF}" -DKELCORE_BENCH=OFF > /dev/null
jobs=$(nproc 2>/dev/null || echo 2)

targets=()
for src in fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done

if [[ ${1:-} == --corpus ]]; then
  cmake --build "$dir" -j "$jobs" --target kelcore_fuzz_corpus
  rm -rf fuzz/corpus/Fuzz*/
  "$dir/kelcore_fuzz_corpus" fuzz/corpus examples
  du -sh fuzz/corpus
  exit 0
fi
if [[ ${1:-} == --replay ]]; then
  cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
  export ASAN_OPTIONS=detect_leaks=1
  failed=()
  for t in "${targets[@]}"; do
    [[ -d fuzz/findings/$t ]] || continue
    for f in fuzz/findings/$t/*; do
      if "$dir/$t" -timeout="$timeout" -rss_limit_mb=2048 "$f" > "$dir/replay.log" 2>&1; then
        echo "replay: $f passes"
      else
        echo "replay: $f FAILS"; failed+=("$f")
        grep -E 'ERROR|SUMMARY' "$dir/replay.log" | head -3
      fi
    done
  done
  ((${#failed[@]} == 0)) || exit 1
  exit 0
fi
(($# > 0)) && targets=("$@")

cmake --build "$dir" -j "$jobs" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for t in "${targets[@]}"; do
  work=$dir/corpus/$t
  findings=$dir/findings/$t
  mkdir -p "$work" "$findings"
  seeds=()
  [[ -d fuzz/corpus/$t ]] && seeds=("fuzz/corpus/$t")
  echo "fuzz: $t for ${seconds}s"
  if "$dir/$t" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$work" "${seeds[@]}" \
      > "$dir/$t.log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "$dir/$t.log" | tail -2 || true
  else
    failed+=("$t")
    echo "fuzz: $t FOUND A FAULT; its report:"
    grep -v -E '^#[0-9]+ +(NEW|REDUCE|pulse|INITED|RELOAD)' "$dir/$t.log" | tail -60
    ls "$findings"
  fi
done

if ((${#failed[@]} > 0)); then
  echo "fuzz: findings in ${failed[*]}"
  exit 1
fi
echo "fuzz: ${#targets[@]} targets clean"
