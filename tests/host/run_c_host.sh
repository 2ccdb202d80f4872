#!/usr/bin/env bash
# The C host decodes a sample stream into a PPM and refuses a header that
# announces a 65532 x 65532 frame.
set -euo pipefail
host=$1 samples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$host" "$samples/rgb_lossless.qvx" "$work/out.ppm"
head -c 15 "$work/out.ppm" | cmp - <(printf 'P6\n320 240\n255\n')
test "$(stat -c %s "$work/out.ppm")" -eq $((15 + 320 * 240 * 3 * 2))
# Version 7 header: 65532 x 65532, three components, no table.
{ printf '\x56\x51\xff\xff\x07\x00\x04\x00\x00\x00\xfc\xff\xfc\xff\x00\x02\x00\x08'
  head -c 66 /dev/zero; } > "$work/hostile.qvx"
if "$host" "$work/hostile.qvx" "$work/x" 2> "$work/err"; then exit 1; fi
grep -q 'Error: frame exceeds the pixel limit (-4)' "$work/err"
echo ok
