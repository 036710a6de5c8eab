#!/usr/bin/env bash
# Installs, once, every Debian package that building, testing, benchmarking, the sanitizer
# build, the format check and the Debian package need. Safe to run again: packages already
# present are not touched.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libprotobuf-dev protobuf-compiler
  nlohmann-json3-dev libcli11-dev gcovr
  clang-format clang-tidy binutils dpkg-dev
  openjdk-17-jdk-headless junit5
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
