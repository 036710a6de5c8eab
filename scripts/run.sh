#!/usr/bin/env bash
# The main job: sets up the machine, builds the kelcore tool and runs it on the example types
# under examples/ (an address with lines, a person with an embedded address, a collection of
# persons, a collection of numbers). For each: describe the type, encode its JSON value as a
# pickled image, dump that image field by field, decode it back, and decode the linear image
# a server would ship for the same value.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja > /dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target kelcore

kelcore=build/kelcore
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {
  echo "\$ kelcore $*"
  "$kelcore" "$@"
  echo
}

for name in address person persons numbers; do
  tds=examples/$name.tds
  names=()
  [[ -f examples/$name.names.json ]] && names=(--names "@examples/$name.names.json")
  layout=()
  [[ -f examples/$name.layout ]] && layout=(--layout "examples/$name.layout")
  echo "=================== $name ==================="
  run describe --tds "$tds" "${names[@]}"
  run encode --tds "$tds" "${names[@]}" --value "@examples/$name.json" --out "$work/$name.img"
  run encode --tds "$tds" "${names[@]}" --value "@examples/$name.json" --hex
  run dump --tds "$tds" "${names[@]}" --image "$work/$name.img"
  run decode --tds "$tds" "${names[@]}" --image "$work/$name.img"
  run dump --tds "$tds" "${names[@]}" "${layout[@]}" --image "examples/$name.linear"
  run decode --tds "$tds" "${names[@]}" "${layout[@]}" --image "examples/$name.linear"
done
run decode --tds examples/persons.tds --names @examples/persons.names.json \
  --image examples/persons.linear --begin 2 --count 1
run decode --tds examples/numbers.tds --image examples/numbers.linear --raw --begin 4 --count 2

# The Java front end: the same library driven from a Java program (examples/java).
echo "=================== java ==================="
if command -v java > /dev/null && command -v javac > /dev/null &&
   grep -q '^KELCORE_JAVA:BOOL=ON' build/CMakeCache.txt; then
  cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target kelcore_jni kelcore_java_example
  echo "\$ java -cp build/kelcore.jar:build/kelcore-example.jar KelcoreExample"
  java -Dkelcore.jni.library="$PWD/build/libkelcore_jni.so" \
    -cp build/kelcore.jar:build/kelcore-example.jar KelcoreExample
  echo
else
  echo "main job: no JDK 17 with JNI headers found (scripts/setup.sh installs" \
    "openjdk-17-jdk-headless); the Java example is skipped"
fi
echo "main job: done"
