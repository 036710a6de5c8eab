#!/usr/bin/env bash
# Sets up the machine, builds the project and runs the main job: an example that writes an
# image with a patched header, reads it back and prints both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target image_roundtrip
./build/image_roundtrip
