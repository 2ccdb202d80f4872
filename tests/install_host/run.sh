#!/usr/bin/env bash
# Installs the build tree into a scratch prefix, then builds and runs a host
# program with find_package (and one of the encoder library) and another with
# pkg-config, and runs the installed tools from the prefix.
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
if [ -x "$work/host-build/enc_host" ]; then "$work/host-build/enc_host"; fi
export PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig:$work/prefix/lib/x86_64-linux-gnu/pkgconfig"
c++ -std=c++11 -I"$src" "$work/host.cpp" -o "$work/host-pc" $(pkg-config --cflags --libs qvxdecode) \
  -Wl,-rpath,"$(pkg-config --variable=libdir qvxdecode)"
"$work/host-pc"

# The installed tools, from the prefix alone: versions, man pages, and a
# lossless round trip through a pipe.
bin="$work/prefix/bin"
"$bin/qvxdec" --version | grep -q "^qvxdec [0-9]"
"$bin/qvxenc" --version | grep -q "^qvxenc [0-9]"
test -s "$work/prefix/share/man/man1/qvxdec.1"
test -s "$work/prefix/share/man/man1/qvxenc.1"
image="$src/../data/camera_64x48.pgm"
"$bin/qvxenc" -q "$image" -o - | "$bin/qvxdec" -q - -o - --format pgm | cmp - "$image"
echo "installed tools: round trip through a pipe is exact"
