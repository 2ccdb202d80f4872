#!/usr/bin/env bash
# Installs the Debian packages the build, tests and tools need, if missing;
# package names given as arguments are installed too.
set -euo pipefail
# pybind11-dev, python3-dev and python3-numpy serve the Python module, built for /usr/bin/python3.
# libclang-rt-14-dev holds the libFuzzer runtime of the fuzz targets (clang only recommends it).
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libtiff-dev pkg-config
  pybind11-dev python3-dev python3-numpy "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
