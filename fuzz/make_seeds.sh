#!/usr/bin/env bash
# Writes the fuzzers' seed corpora: tiny streams from qvxenc of every stream
# version, component format, kernel, depth and Bayer mode (fuzz/seeds/streams,
# for decode_fuzzer and c_api_fuzzer), short tone-table texts (fuzz/seeds/lut)
# and a few settings inputs (fuzz/seeds/roundtrip).
# Usage: fuzz/make_seeds.sh [QVXENC]   (default: build/tools/qvxenc)
set -euo pipefail
cd "$(dirname "$0")/.."
enc=${1:-build/tools/qvxenc}
[ -x "$enc" ] || { echo "make_seeds: no qvxenc at $enc (build the tools first)" >&2; exit 1; }
out=fuzz/seeds
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
rm -rf "$out"
mkdir -p "$out/streams" "$out/lut" "$out/roundtrip"

# A 16 x 8 picture: grey (P5), RGB (P6), RGBA (PAM) with smooth ramps and a
# little texture, so that every subband carries something.
picture() {  # channels file
    awk -v ch="$1" 'BEGIN {
        w = 16; h = 8
        if (ch == 1) printf "P5\n%d %d\n255\n", w, h
        else if (ch == 3) printf "P6\n%d %d\n255\n", w, h
        else printf "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", w, h
        for (y = 0; y < h; y++) for (x = 0; x < w; x++) for (c = 0; c < ch; c++)
            printf "%c", (x * 13 + y * 29 + c * 71 + (x * y) % 7 * 9) % 256
    }' > "$2"
}
picture 1 "$tmp/grey.pgm"
picture 3 "$tmp/rgb.ppm"
picture 4 "$tmp/rgba.pam"

n=0
seed() {  # input name options...
    local input=$1 name=$2
    shift 2
    if "$enc" -q "$@" "$input" -o "$out/streams/$name.qvx" 2>/dev/null; then n=$((n + 1)); fi
}

for v in 0 1 2 3 4 5 6 7 8 100; do
    seed "$tmp/grey.pgm" "v${v}_grey" --stream-version "$v" --format 1 --kernel $((v % 7))
    seed "$tmp/rgb.ppm" "v${v}_rgb" --stream-version "$v" --format 2 --kernel $(((v + 2) % 7)) --ct 4
    seed "$tmp/rgb.ppm" "v${v}_422" --stream-version "$v" --format 3 --kernel $(((v + 4) % 6))
    seed "$tmp/rgba.pam" "v${v}_rgba" --stream-version "$v" --format 4 --kernel $(((v + 1) % 7))
done
for k in 0 1 2 3 4 5 6 7; do
    for d in 8 10 12 14; do
        seed "$tmp/grey.pgm" "k${k}_d${d}_p$((k % 8))" --kernel "$k" --depth "$d" --pred $(((k + d) % 8))
    done
done
for ct in 0 1 2 3 4 5 9 10 11; do
    seed "$tmp/rgb.ppm" "ct$ct" --format 2 --ct "$ct" --kernel $((ct % 6)) --depth $((8 + 2 * (ct % 4)))
done
for m in 1 2 3 4 5; do
    for p in 0 1 2 3; do
        seed "$tmp/grey.pgm" "bayer${m}_p$p" --bayer-mode "$m" --bayer-param "$p" --kernel $(((m + p) % 6))
    done
    [ "$m" = 2 ] || [ "$m" = 5 ] || seed "$tmp/grey.pgm" "bayer${m}_cell" --bayer-mode "$m" --ct $((5 + m % 3 + 1))
done
seed "$tmp/rgb.ppm" rc_drain --format 2 --drain 300 --window 2 --buffer-log2 12
seed "$tmp/grey.pgm" rc_qp --qp 3,9,20 --window -1
seed "$tmp/grey.pgm" rc_offsets --qp 2 --offsets 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15
seed "$tmp/rgb.ppm" bpp2 --format 2 --bpp 2
seed "$tmp/grey.pgm" lut_used --lut /dev/null
echo "make_seeds: $n streams in $out/streams"

# Tone-table texts: well-formed records, signs, other white space, numbers
# past 32 bits, a stop at an incomplete record.
printf '0 0 0 0\n1 4660 1 1\n2 65535 2 2\n3 9 3 3\n' > "$out/lut/plain"
printf '%s\n' '-1 +7 -0 +0' '1-2 3 4' '5 4294967297 6 7' '8 9' > "$out/lut/signs"
printf '\t0\v12\f0\r0  1 99999999999 1 1 x 2 2 2 2' > "$out/lut/spaces"
printf '0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19' > "$out/lut/run"

# Round-trip inputs: a handful of byte patterns (the fuzzer reads settings
# from them, so any bytes make a valid input).
for i in 0 1 2 3 4 5; do
    awk -v s="$i" 'BEGIN { for (k = 0; k < 96; k++) printf "%c", (k * (37 + 2 * s) + s * 101) % 256 }' \
        > "$out/roundtrip/pattern$i"
done
