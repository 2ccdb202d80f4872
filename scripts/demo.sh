#!/usr/bin/env bash
# Builds the tools and decodes every sample stream into out/ as PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
mkdir -p out
shopt -s nullglob
streams=(samples/*.qvx)
if ((${#streams[@]} == 0)); then
  echo "no sample streams in samples/"
  exit 0
fi
for s in "${streams[@]}"; do
  name=$(basename "$s" .qvx)
  lut=()
  [ -f "samples/$name.lut" ] && lut=(--lut "samples/$name.lut")
  build/tools/qvxdec "${lut[@]}" "$s" -o "out/$name.png"
done
echo "decoded images are in out/"
