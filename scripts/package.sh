#!/usr/bin/env bash
# Builds the Debian package (library, headers, CMake and pkg-config files, the kelcore tool)
# in a Release build under build-package/, for the prefix /usr, and lists what it holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir=build-package
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKELCORE_BUILD_TESTS=OFF -DKELCORE_BUILD_BENCHMARKS=OFF -DKELCORE_BUILD_EXAMPLES=OFF \
  -DKELCORE_WERROR="${KELCORE_WERROR:-OFF}" > /dev/null
cmake --build "$dir" -j "$(nproc 2>/dev/null || echo 2)"
(cd "$dir" && cpack -G DEB > /dev/null)
deb=$(ls "$dir"/*.deb)
dpkg-deb --field "$deb" Package Version Architecture Depends
dpkg-deb --contents "$deb"
echo "package: $deb"
