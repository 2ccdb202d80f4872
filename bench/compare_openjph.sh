#!/usr/bin/env bash
# Decoding time and peak memory of QVX against OpenJPH on the corpus photographs.
#
#   bench/compare_openjph.sh [--rounds N] [--rounds-large N] [--reencode] [--no-readme] [PHOTO...]
#
# Installs what it needs (bench/install_openjph.sh: the project's Debian
# packages and openjph-tools, libopenjph-dev), builds qvxenc and compare_openjph in
# build-compare/, and encodes every corpus photograph four ways into
# build-compare/compare/: lossless with qvxenc (defaults: 5/3 kernel,
# reversible colour transform) and with OpenJPH (5 decomposition levels,
# reversible), and near 4 bits per pixel with qvxenc --bpp 4 and with OpenJPH
# at the -qstep whose file size comes nearest ours (bisected). Streams are
# reused on later runs; --reencode makes them again. compare_openjph then
# decodes each pair in one process (see build-compare/bench/compare_openjph --help)
# and prints the table; a full run also rewrites the table in README.md.
# PHOTO arguments restrict the run to corpus files whose names contain them;
# README.md is then left alone, as after any failure. --rounds (default 7) and
# --rounds-large (default 5, frames above 2.1 megapixels) set the timed rounds.
# Run it on an idle machine: it takes a few minutes, most of it the first
# encoding. Exit status 1 if anything failed or a lossless decode differs.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${QVX_CORPUS_DIR:-$root/../shared/corpus}
build=$root/build-compare
work=$build/compare
rounds=()
reencode=0
readme=1
filters=()
while (($#)); do
  case $1 in
    --rounds|--rounds-large) (($# >= 2)) || { echo "$1 needs a number" >&2; exit 2; }
                             rounds+=("$1" "$2"); shift ;;
    --reencode) reencode=1 ;;
    --no-readme) readme=0 ;;
    -h|--help) sed -n '2,/^set -e/p' "$0" | sed -n 's/^# \{0,1\}//p'; exit 0 ;;
    -*) echo "unknown option $1 (see --help)" >&2; exit 2 ;;
    *) filters+=("$1"); readme=0 ;;
  esac
  shift
done
[ -d "$corpus" ] || { echo "no corpus at $corpus (set QVX_CORPUS_DIR)" >&2; exit 1; }
start=$(date +%s)

"$root/bench/install_openjph.sh"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVX_BUILD_BENCH=ON \
  -DQVX_BUILD_TESTS=OFF -DQVX_BUILD_TOOLS=ON >/dev/null
cmake --build "$build" --target qvxenc compare_openjph
qvxenc=$build/tools/qvxenc
compare=$build/bench/compare_openjph
mkdir -p "$work"

# The frames the decoding targets name first, then the small photographs.
photos=()
for pattern in '*_1920x1080_rgb8.png' '*_1920x1080_rgb12.png' '*_1920x1080_gray8.png' \
               '*_3840x2160_*.png' '*.ppm' '*.pgm'; do
  for f in "$corpus"/$pattern; do
    [ -e "$f" ] || continue
    if ((${#filters[@]})); then
      keep=0
      for w in "${filters[@]}"; do [[ $(basename "$f") == *"$w"* ]] && keep=1; done
      ((keep)) || continue
    fi
    photos+=("$f")
  done
done
((${#photos[@]})) || { echo "no corpus photograph matches" >&2; exit 1; }

size() { stat -c %s "$1"; }

# OpenJPH at the quantisation step whose file size comes nearest $3 bytes:
# bisection on the logarithm of the step (a larger step gives a smaller file).
openjph_near() {
  local ref=$1 out=$2 target=$3 lo=-11.5 hi=-0.7 best="" best_err="" q s err i
  for i in $(seq 1 14); do
    q=$(awk -v a="$lo" -v b="$hi" 'BEGIN { printf "%.6g", exp((a + b) / 2) }')
    ojph_compress -i "$ref" -o "$out.try" -num_decomps 5 -qstep "$q" >/dev/null || return 1
    s=$(size "$out.try")
    err=$(awk -v s="$s" -v t="$target" 'BEGIN { d = (s - t) / t; printf "%.6f", d < 0 ? -d : d }')
    if [ -z "$best" ] || awk -v e="$err" -v b="$best_err" 'BEGIN { exit !(e < b) }'; then
      best=$q best_err=$err
      mv "$out.try" "$out"
    fi
    awk -v e="$err" 'BEGIN { exit !(e < 0.005) }' && break
    if ((s > target)); then
      lo=$(awk -v q="$q" 'BEGIN { printf "%.6f", log(q) }')
    else
      hi=$(awk -v q="$q" 'BEGIN { printf "%.6f", log(q) }')
    fi
  done
  rm -f "$out.try"
  [ -n "$best" ] || return 1
  echo "  OpenJPH -qstep $best: $(size "$out") bytes, ours $target"
}

# Reference image and the four streams of one photograph; existing streams
# are kept unless --reencode. Sets ref and s (stream path without extension).
prepare() {
  local f=$1 name
  name=$(basename "${f%.*}")
  s=$work/$name
  if [ ! -e "$s.ppm" ] && [ ! -e "$s.pgm" ]; then
    "$compare" --reference "$f" "$s.pnm" || return 1
    case $(head -c 2 "$s.pnm") in
      P5) mv "$s.pnm" "$s.pgm" ;;
      *) mv "$s.pnm" "$s.ppm" ;;
    esac
  fi
  if [ -e "$s.ppm" ]; then ref=$s.ppm; else ref=$s.pgm; fi
  if ((reencode)) || [ ! -e "$s.qvx" ] || [ ! -e "$s.j2c" ] || [ ! -e "$s-4bpp.qvx" ] || [ ! -e "$s-4bpp.j2c" ]; then
    echo "encoding $name"
    rm -f "$s.qvx" "$s.j2c" "$s-4bpp.qvx" "$s-4bpp.j2c"
    "$qvxenc" -q "$ref" -o "$s.qvx" || return 1
    ojph_compress -i "$ref" -o "$s.j2c" -num_decomps 5 -reversible true >/dev/null || return 1
    "$qvxenc" -q "$ref" --bpp 4 -o "$s-4bpp.qvx" || return 1
    openjph_near "$ref" "$s-4bpp.j2c" "$(size "$s-4bpp.qvx")" || return 1
  fi
}

cases=$work/cases.txt
: >"$cases"
failed=0
for f in "${photos[@]}"; do
  name=$(basename "${f%.*}")
  if ! prepare "$f"; then
    echo "preparing $name failed; left out" >&2
    rm -f "$work/$name".{pnm,qvx,j2c} "$work/$name"-4bpp.{qvx,j2c}
    failed=1
    continue
  fi
  echo "$name lossless $ref $s.qvx $s.j2c" >>"$cases"
  echo "$name 4bpp $ref $s-4bpp.qvx $s-4bpp.j2c" >>"$cases"
done
[ -s "$cases" ] || exit 1

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "decoding (load average $load_before)"
if awk -v l="${load_before%% *}" -v n="$(nproc)" 'BEGIN { exit !(l > 0.5 * n) }'; then
  echo "warning: the machine is busy (load average $load_before on $(nproc) cores); times will be noisy" >&2
fi
table=$work/table.md
status=$failed
"$compare" "${rounds[@]}" --table "$table" "$cases" || status=1
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
[ -s "$table" ] || exit 1

if ((readme && status)); then
  echo "README.md left alone: some photograph failed (see above)" >&2
elif ((readme)); then
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
  ojph=$(dpkg-query -W -f='${Version}' libopenjph-dev)
  commit=$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)
  section=$work/readme_section.md
  {
    echo "Last run: $(date -u '+%Y-%m-%d %H:%M UTC'), commit $commit, OpenJPH $ojph (Debian),"
    echo "$(nproc) cores ($cpu), load average $load_before before and $load_after after."
    echo
    cat "$table"
  } >"$section"
  awk -v section="$section" '
    /<!-- compare_openjph table begin -->/ { print; while ((getline line < section) > 0) print line; skip = 1; next }
    /<!-- compare_openjph table end -->/ { skip = 0 }
    !skip { print }' "$root/README.md" >"$work/README.new"
  if grep -q '<!-- compare_openjph table end -->' "$work/README.new"; then
    mv "$work/README.new" "$root/README.md"
    echo "table written to README.md"
  else
    echo "README.md has no compare_openjph table markers; table left in $table" >&2
  fi
fi
echo "done in $(($(date +%s) - start)) s"
exit $status
