#!/usr/bin/env bash
# clang-format over the C++ sources (.clang-format).
#   scripts/format.sh           reformats every file, then empties the pending list
#   scripts/format.sh --check   fails when a file outside .clang-format-pending differs from
#                               its formatted form (what CI runs)
#   scripts/format.sh --pending rewrites .clang-format-pending with the files that differ now
#                               (after merging work written before the format was set down)
# .clang-format-pending lists the files written before the format was set down; they are
# checked once reformatted in one sweep (scripts/format.sh), which then empties the list.
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format}
mapfile -t files < <(git ls-files '*.cpp' '*.h')

if [[ ${1:-} == --pending ]]; then
  for f in "${files[@]}"; do
    "$format" --dry-run -Werror "$f" > /dev/null 2>&1 || echo "$f"
  done > .clang-format-pending
  echo "format: $(wc -l < .clang-format-pending) files pending"
  exit 0
fi

if [[ ${1:-} != --check ]]; then
  "$format" -i "${files[@]}"
  : > .clang-format-pending
  echo "format: ${#files[@]} files formatted"
  exit 0
fi

declare -A pending=()
while read -r f; do [[ -n $f ]] && pending[$f]=1; done < .clang-format-pending
bad=0
checked=0
for f in "${files[@]}"; do
  [[ -n ${pending[$f]:-} ]] && continue
  checked=$((checked + 1))
  if ! "$format" --dry-run -Werror "$f" 2> /dev/null; then
    echo "format: $f differs from its formatted form (scripts/format.sh fixes it)"
    "$format" "$f" | diff -u "$f" - | head -20 || true
    bad=$((bad + 1))
  fi
done
echo "format: $checked files checked, ${#pending[@]} pending, $bad differ"
((bad == 0))
