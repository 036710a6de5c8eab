#!/usr/bin/env bash
# clang-tidy (.clang-tidy) over the library's, the catalog's and the tool's sources, as a
# report: prints each finding and a count per check, and exits 0 whatever it finds.
#   scripts/tidy.sh [BUILD_DIR]   a configured build with compile_commands.json (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[[ -f $build/compile_commands.json ]] || cmake -S . -B "$build" -G Ninja > /dev/null
mapfile -t files < <(git ls-files 'lang/*.cpp' 'driver/*.cpp' 'types/*.cpp' 'image/*.cpp' \
  'adt/*.cpp' 'collection/*.cpp' 'scalar/*.cpp' 'binding/*.cpp' 'host/*.cpp' 'catalog/*.cpp' \
  'tools/*.cpp')
report=$(mktemp)
trap 'rm -f "$report"' EXIT
printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc 2>/dev/null || echo 2)" -n 4 "${CLANG_TIDY:-clang-tidy}" -p "$build" --quiet \
    2> /dev/null > "$report" || true
grep -E ': warning: ' "$report" | sort -u || true
echo "tidy: ${#files[@]} files; findings per check:"
grep -oE ': warning: .*\[[a-z0-9.,-]+\]$' "$report" | sed -E 's/.*\[([^]]+)\]$/\1/' |
  sort | uniq -c | sort -rn || true
