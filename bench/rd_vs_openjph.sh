#!/bin/bash
# Rate-distortion comparison with OpenJPH (5 decomposition levels, its
# irreversible path): for every corpus photograph whose sides are multiples
# of 4 and each rate, qvxenc --bpp R gives a stream size; OpenJPH's -qstep is
# bisected to the same size (PSNR interpolated between the two nearest
# sizes). PSNR over every sample of every component, peak = the maximum
# sample value (255, 4095). Prints a table and writes it into README.md
# between the rd-table markers.
#
# usage: bench/rd_vs_openjph.sh [BUILD_DIR] [CORPUS_DIR]
#   BUILD_DIR  where qvxenc and bench/rd/rd_psnr are built (default: build)
#   CORPUS_DIR default: /work/shared/corpus
# Environment: RATES (default "1 2 4 8"), PRESET (fast|best, default fast),
#   ONLY (extended regular expression on file names), NO_README=1 to leave
#   README alone, OJPH_DECOMPS (OpenJPH's decomposition levels, default 5;
#   2, as many as QVX has, shows what the extra levels are worth).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
corpus=${2:-/work/shared/corpus}
rates=${RATES:-1 2 4 8}
decomps=${OJPH_DECOMPS:-5}
preset=${PRESET:-fast}
# qvxenc and rd_psnr come from BUILD_DIR, with the benchmarks switched on
# there (a new directory gets a Release configuration).
if [ -f "$build/CMakeCache.txt" ]; then
    cmake -DQVX_BUILD_BENCH=ON "$build" >/dev/null
else
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQVX_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" --target qvxenc rd_psnr >/dev/null
build=$(cd "$build" && pwd)
qvxenc=$build/tools/qvxenc
rd_psnr=${RD_PSNR:-$build/bench/rd/rd_psnr}
[ -x "$qvxenc" ] || { echo "no $qvxenc after the build" >&2; exit 1; }
[ -x "$rd_psnr" ] || { echo "no $rd_psnr after the build" >&2; exit 1; }
if ! command -v ojph_compress >/dev/null 2>&1; then
    [ "$(id -u)" = 0 ] || { echo "OpenJPH missing: run bench/install_openjph.sh as root" >&2; exit 1; }
    "$root/bench/install_openjph.sh"
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# OpenJPH at a given -qstep: "bytes psnr".
ojph_point() {
    ojph_compress -i "$1" -o "$tmp/o.j2c" -num_decomps "$decomps" -qstep "$2" >/dev/null
    ojph_expand -i "$tmp/o.j2c" -o "$tmp/o.$3" >/dev/null
    echo "$(stat -c %s "$tmp/o.j2c") $("$rd_psnr" "$1" "$tmp/o.$3")"
}

# Bisects log(qstep) for a stream of `bytes`; prints the PSNR interpolated
# between the nearest sizes above and below, and the qstep nearest in size.
ojph_at_size() {
    local ref=$1 bytes=$2 ext=$3
    local lo=-11.5 hi=-0.7   # natural log of qstep: 1e-5 .. 0.5
    local big_b=0 big_p=0 small_b=0 small_p=0 best_q=0 best_d=-1
    for _ in $(seq 1 12); do
        local mid q point b p
        mid=$(awk -v a="$lo" -v b="$hi" 'BEGIN { printf "%.6f", (a + b) / 2 }')
        q=$(awk -v m="$mid" 'BEGIN { printf "%.8f", exp(m) }')
        point=$(ojph_point "$ref" "$q" "$ext")
        b=${point% *}; p=${point#* }
        d=$(( b > bytes ? b - bytes : bytes - b ))
        if [ "$best_d" -lt 0 ] || [ "$d" -lt "$best_d" ]; then best_d=$d; best_q=$q; fi
        if [ "$b" -ge "$bytes" ]; then lo=$mid; big_b=$b; big_p=$p; else hi=$mid; small_b=$b; small_p=$p; fi
        [ "$b" -eq "$bytes" ] && break
    done
    awk -v bb="$big_b" -v bp="$big_p" -v sb="$small_b" -v sp="$small_p" -v t="$bytes" -v q="$best_q" 'BEGIN {
        if (bb == 0) p = sp; else if (sb == 0 || bb == sb) p = bp;
        else p = sp + (bp - sp) * (t - sb) / (bb - sb);
        printf "%.2f %s\n", p, q }'
}

rows=()
sum_diff=0; n4=0
for f in "$corpus"/*.png "$corpus"/*.ppm "$corpus"/*.pgm; do
    [ -e "$f" ] || continue
    name=$(basename "$f"); name=${name%.*}
    if [ -n "${ONLY:-}" ] && ! [[ $name =~ $ONLY ]]; then continue; fi
    dims=$(echo "$name" | grep -o '[0-9]*x[0-9]*' | head -1)
    w=${dims%x*}; h=${dims#*x}
    if [ $((w % 4)) -ne 0 ] || [ $((h % 4)) -ne 0 ]; then
        echo "skipping $name: sides not multiples of 4" >&2; continue
    fi
    case $name in *gray*) ext=pgm ;; *) ext=ppm ;; esac
    case $name in *12) maxval=4095 ;; *) maxval= ;; esac
    "$rd_psnr" --to-pnm "$f" "$tmp/ref.$ext" $maxval
    for r in $rates; do
        line=$("$qvxenc" "$tmp/ref.$ext" --bpp "$r" --preset "$preset" -o "$tmp/q.qvx")
        bytes=$(stat -c %s "$tmp/q.qvx")
        qpsnr=$(echo "$line" | grep -o 'PSNR [0-9.]*' | cut -d' ' -f2 || true)
        [ -n "$qpsnr" ] || qpsnr=inf
        bpp=$(awk -v b="$bytes" -v w="$w" -v h="$h" 'BEGIN { printf "%.3f", b * 8 / (w * h) }')
        read -r opsnr qstep < <(ojph_at_size "$tmp/ref.$ext" "$bytes" "$ext")
        diff=$(awk -v a="$qpsnr" -v b="$opsnr" 'BEGIN { if (a == "inf") print "-"; else printf "%+.2f", a - b }')
        row="| $name | $r | $bpp | $qpsnr | $opsnr | $diff |"
        echo "$row   (OpenJPH -qstep $qstep)"
        rows+=("$row")
        if [ "$r" = 4 ] && [ "$diff" != "-" ]; then
            sum_diff=$(awk -v s="$sum_diff" -v d="$diff" 'BEGIN { print s + d }'); n4=$((n4 + 1))
        fi
    done
done
summary=""
[ "$n4" -gt 0 ] && summary=$(awk -v s="$sum_diff" -v n="$n4" 'BEGIN { printf "At 4 bpp, QVX minus OpenJPH on average over %d photographs: %+.2f dB.", n, s / n }')
echo "$summary"

[ "${NO_README:-}" = 1 ] && exit 0
{
    echo "<!-- rd-table-begin -->"
    echo "qvxenc --bpp R --preset $preset against OpenJPH 0.9 ($decomps decomposition levels, -qstep bisected to the same"
    echo "stream size), PSNR over all components with the peak at the maximum sample value"
    echo "(\`bench/rd_vs_openjph.sh\`, $(date -u +%Y-%m-%d)):"
    echo
    echo "| photo | target bpp | bpp | QVX dB | OpenJPH dB | difference |"
    echo "|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
    echo
    echo "$summary"
    echo "<!-- rd-table-end -->"
} > "$tmp/table.md"
readme=$root/README.md
if grep -q '<!-- rd-table-begin -->' "$readme"; then
    awk -v tf="$tmp/table.md" '
        /<!-- rd-table-begin -->/ { while ((getline l < tf) > 0) print l; skip = 1; next }
        /<!-- rd-table-end -->/ { skip = 0; next }
        !skip { print }' "$readme" > "$tmp/readme" && cp "$tmp/readme" "$readme"
else
    { echo; echo "## Rate-distortion against OpenJPH"; echo; cat "$tmp/table.md"; } >> "$readme"
fi
echo "table written into $readme"
