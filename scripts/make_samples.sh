#!/usr/bin/env bash
# Regenerates the sample streams in samples/ with qvxenc from the photographs
# in samples/images/. With --images CORPUS_DIR it first cuts those
# photographs again from the corpus (see samples/README.md).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" --target qvxenc qvxdec >/dev/null
ENC="$BUILD/tools/qvxenc"
DEC="$BUILD/tools/qvxdec"
IMG=samples/images

if [ "${1:-}" = --images ]; then
  corpus=${2:?usage: make_samples.sh [--images CORPUS_DIR]}
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  # name, corpus file, region: a lossless round trip writes the crop as PNG.
  cut() {
    "$ENC" -q "$corpus/$2" --crop "$3" -o "$tmp/$1.qvx"
    "$DEC" "$tmp/$1.qvx" -o "$IMG/$1.png" >/dev/null
  }
  cut camera_320x240 camera_512x512_gray8.pgm 320x240+96+40
  cut astronaut_320x240 astronaut_512x512_rgb8.ppm 320x240+120+20
  cut coffee_320x240 coffee_600x400_rgb8.ppm 320x240+160+80
  cut chelsea_320x240 chelsea_451x300_rgb8.ppm 320x240+100+40
  cut ladybird12_320x240 ladybird_1920x1080_rgb12.png 320x240+1188+450
  # An RGGB mosaic sampled from the rocket photograph.
  python3 - "$corpus/rocket_640x427_rgb8.ppm" "$tmp/mosaic.pgm" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
fields, pos = [], 0
while len(fields) < 4:
    while data[pos:pos + 1].isspace():
        pos += 1
    end = pos
    while not data[end:end + 1].isspace():
        end += 1
    fields.append(data[pos:end])
    pos = end
pos += 1
width = int(fields[1])
W, H, X, Y = 320, 240, 160, 100
out = bytearray()
for y in range(H):
    for x in range(W):
        channel = (0, 1, 1, 2)[(y & 1) * 2 + (x & 1)]  # R G / G B
        out.append(data[pos + ((Y + y) * width + X + x) * 3 + channel])
open(sys.argv[2], 'wb').write(b'P5\n%d %d\n255\n' % (W, H) + bytes(out))
PY
  "$ENC" -q "$tmp/mosaic.pgm" -o "$tmp/mosaic.qvx"
  "$DEC" "$tmp/mosaic.qvx" -o "$IMG/rocket_mosaic_320x240.png" >/dev/null
fi

enc() {
  local name=$1
  shift
  "$ENC" "$@" -o "samples/$name.qvx"
}
enc gray_lossless "$IMG/camera_320x240.png"
enc rgb_lossless "$IMG/astronaut_320x240.png"
enc rgb_1bpp "$IMG/coffee_320x240.png" --bpp 1
enc rgb_2bpp "$IMG/coffee_320x240.png" --bpp 2
enc rgb_4bpp "$IMG/coffee_320x240.png" --bpp 4
enc ycbcr422 "$IMG/chelsea_320x240.png" --format 422
enc rgb12_lossless "$IMG/ladybird12_320x240.png"
enc rgb12_2bpp "$IMG/ladybird12_320x240.png" --bpp 2 --kernel 0 --ct 10
enc bayer_mode3 "$IMG/rocket_mosaic_320x240.png" --bayer-mode 3 --bayer-param 0

# A grey frame coded through a tone curve (a gentle gamma), with its table.
python3 - samples/tone_curve.lut <<'PY'
import sys
with open(sys.argv[1], 'w') as f:
    for i in range(65536):
        f.write('0 %d 0 0\n' % round(65535 * (i / 65535) ** 0.8))
PY
enc tone_curve "$IMG/camera_320x240.png" --lut samples/tone_curve.lut
