#!/usr/bin/env bash
# Installs kelcore into an empty temporary prefix and builds examples/consumer against it
# twice, with CMake's find_package and with pkg-config, runs both builds and the installed
# tool. Nothing is taken from the source tree but the consumer's own files.
#   scripts/consumer.sh [BUILD_DIR]   the kelcore build to install (default build/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
jobs=$(nproc 2>/dev/null || echo 2)

[[ -f $build/CMakeCache.txt ]] || cmake -S . -B "$build" -G Ninja
cmake --build "$build" -j "$jobs"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log"
echo "consumer: installed $(find "$prefix" -type f | wc -l) files into a temporary prefix"

echo "consumer: find_package(kelcore)"
cmake -S examples/consumer -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_BUILD_RPATH="$prefix/lib" > /dev/null
cmake --build "$work/cmake" > /dev/null
"$work/cmake/consumer"

echo "consumer: pkg-config kelcore-catalog"
libdir=$(dirname "$(find "$prefix" -name kelcore.pc)")
export PKG_CONFIG_PATH=$libdir
read -r -a flags <<< "$(pkg-config --cflags --libs kelcore-catalog)"
"${CXX:-c++}" -std=c++20 examples/consumer/main.cpp "${flags[@]}" \
  -Wl,-rpath,"$(pkg-config --variable=libdir kelcore)" -o "$work/consumer-pc"
"$work/consumer-pc"

echo "consumer: the installed tool"
"$prefix/bin/kelcore" describe --tds examples/numbers.tds > /dev/null
echo "consumer: done"
