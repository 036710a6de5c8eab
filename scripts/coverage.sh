#!/usr/bin/env bash
# Branch coverage of the package and the stand-ins under the test suite: a GCC build with
# coverage counters in build-coverage/, every test run once, then gcovr. Prints branch (and
# line) coverage per folder and writes build-coverage/coverage/index.html with every file.
# Branches that only the compiler's exception plumbing makes are left out
# (--exclude-throw-branches), as are those it proves unreachable.
#
#   scripts/coverage.sh            build, run, report
#   scripts/coverage.sh --report   report on the counters of the last run
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

dir=build-coverage
if [[ ${1:-} != --report ]]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELCORE_COVERAGE=ON \
    -DKELCORE_WERROR="${KELCORE_WERROR:-OFF}" -DKELCORE_BENCH=OFF > /dev/null
  cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)" --target kelcore_tests
  find "$dir" -name '*.gcda' -delete
  "$dir/kelcore_tests" --gtest_brief=1
fi

folders=(types image adt collection scalar binding host lang driver)
filters=()
for f in "${folders[@]}"; do filters+=(--filter "$f/"); done
mkdir -p "$dir/coverage"
gcovr -r . --object-directory "$dir" "${filters[@]}" --exclude-throw-branches \
  --exclude-unreachable-branches --json-summary "$dir/coverage/summary.json" \
  --html-details "$dir/coverage/index.html" > /dev/null

python3 - "$dir/coverage/summary.json" "${folders[@]}" <<'PY'
import json, sys
summary = json.load(open(sys.argv[1]))
folders = sys.argv[2:]
rows = {f: [0, 0, 0, 0] for f in folders}
for entry in summary["files"]:
    folder = entry["filename"].split("/")[0]
    if folder in rows:
        r = rows[folder]
        r[0] += entry["branch_covered"]; r[1] += entry["branch_total"]
        r[2] += entry["line_covered"]; r[3] += entry["line_total"]
def pct(a, b): return f"{100.0 * a / b:5.1f}%" if b else "    -"
package = ["types", "image", "adt", "collection", "scalar"]
print(f"{'folder':<12}{'branches':>16}{'':>8}{'lines':>16}{'':>8}")
for name, group in (("", folders), ("package", package)):
    if name:
        t = [sum(rows[f][i] for f in group) for i in range(4)]
        print(f"{name:<12}{t[0]:>7}/{t[1]:<8}{pct(t[0], t[1])}{t[2]:>7}/{t[3]:<8}{pct(t[2], t[3])}")
        continue
    for f in group:
        r = rows[f]
        if r[1] or r[3]:
            print(f"{f:<12}{r[0]:>7}/{r[1]:<8}{pct(r[0], r[1])}{r[2]:>7}/{r[3]:<8}{pct(r[2], r[3])}")
PY
