#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds and runs a host
# program with find_package and another with pkg-config.
set -euo pipefail
build=$1
src=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cp "$src/host.cpp" "$src/tiny_stream.inc" "$work/"
cmake -S "$src" -B "$work/host-build" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DCMAKE_CXX_FLAGS="-I$src" >/dev/null
cmake --build "$work/host-build" >/dev/null
"$work/host-build/host"
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/x86_64-linux-gnu/pkgconfig"
c++ -std=c++11 -I"$src" "$work/host.cpp" -o "$work/host-pc" $(pkg-config --cflags --libs qvxdecode) \
  -Wl,-rpath,"$(pkg-config --variable=libdir qvxdecode)"
"$work/host-pc"
