#!/bin/sh
# Benchmark corpus of real photographs.
#
#   bench/make_corpus.sh [OUTDIR]
#       Rebuilds the corpus (default OUTDIR: ../shared/corpus beside the
#       repository) from the photographs shipped in Debian packages, and
#       writes SHA256SUMS. Needs /usr/bin/convert (imagemagick-6.q16) and the
#       packages python3-skimage, plasma-workspace-wallpapers, mate-backgrounds.
#
#   bench/make_corpus.sh --ppm DIR [CORPUS]
#       Writes every corpus image into DIR as PPM/PGM, the form the codecs
#       read: PNGs are expanded with pngtopam and pamtopnm (Debian netpbm);
#       the 12-bit PNGs keep their values and get maxval 4095. The native-size
#       PPM/PGM files are copied. CORPUS defaults as OUTDIR above, or
#       $QVX_CORPUS_DIR.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
default_corpus=${QVX_CORPUS_DIR:-$here/../../shared/corpus}

die() { echo "make_corpus.sh: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null 2>&1 || die "$1 not found; install the Debian package $2"; }

# Rewrites the maxval of a 16-bit PNM from 65535 to 4095, after checking that
# no sample exceeds 4095.
to_12bit() {
    python3 - "$1" "$2" <<'PY'
import re, sys
src, dst = sys.argv[1], sys.argv[2]
data = open(src, "rb").read()
m = re.match(rb"(P[56])\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
if not m or int(m.group(4)) != 65535:
    sys.exit(f"{src}: not a 16-bit PGM/PPM")
samples = data[m.end():]
hi = max(samples[0::2]) if samples else 0
if hi > 0x0F:
    sys.exit(f"{src}: a sample exceeds 4095")
header = b"%s\n%s %s\n4095\n" % (m.group(1), m.group(2), m.group(3))
open(dst, "wb").write(header + samples)
PY
}

expand_ppm() {
    out=$1
    corpus=$2
    [ -d "$corpus" ] || die "no corpus directory $corpus"
    need pngtopam netpbm
    need pamtopnm netpbm
    need python3 python3
    mkdir -p "$out"
    tmp=$(mktemp)
    trap 'rm -f "$tmp"' EXIT
    for f in "$corpus"/*.png; do
        [ -e "$f" ] || continue
        base=$(basename "$f" .png)
        pngtopam "$f" | pamtopnm > "$tmp"
        case $(head -c 2 "$tmp") in
            P5) ext=pgm ;;
            P6) ext=ppm ;;
            *) die "$f: unexpected pamtopnm output" ;;
        esac
        case $base in
            *12) to_12bit "$tmp" "$out/$base.$ext" ;;
            *) cp "$tmp" "$out/$base.$ext" ;;
        esac
        echo "$out/$base.$ext"
    done
    for f in "$corpus"/*.ppm "$corpus"/*.pgm; do
        [ -e "$f" ] || continue
        cp "$f" "$out/"
        echo "$out/$(basename "$f")"
    done
}

build_corpus() {
    out=$1
    convert=/usr/bin/convert
    [ -x "$convert" ] || die "$convert not found; install imagemagick-6.q16"
    SK=/usr/lib/python3/dist-packages/skimage/data
    PW=/usr/share/wallpapers
    MB=/usr/share/backgrounds/mate
    [ -d "$SK" ] || die "$SK missing; install python3-skimage"
    [ -d "$PW/Path" ] || die "$PW/Path missing; install plasma-workspace-wallpapers"
    [ -d "$MB/nature" ] || die "$MB/nature missing; install mate-backgrounds"
    mkdir -p "$out"
    cd "$out"
    # No dates or profiles, so the bytes are reproducible.
    PNGOPT="-strip -define png:exclude-chunks=date,time"

    $convert $SK/astronaut.png -strip -alpha off -depth 8 astronaut_512x512_rgb8.ppm
    $convert $SK/coffee.png    -strip -alpha off -depth 8 coffee_600x400_rgb8.ppm
    $convert $SK/chelsea.png   -strip -alpha off -depth 8 chelsea_451x300_rgb8.ppm
    $convert $SK/rocket.jpg    -strip -alpha off -depth 8 rocket_640x427_rgb8.ppm
    $convert $SK/camera.png    -strip -alpha off -depth 8 camera_512x512_gray8.pgm

    for pair in "$PW/EveningGlow/contents/images/2560x1600.jpg boats" \
                "$PW/Path/contents/images/2560x1600.jpg forest" \
                "$MB/nature/LadyBird.jpg ladybird"; do
        src=${pair% *}
        name=${pair##* }
        $convert "$src" -gravity center -crop 1920x1080+0+0 +repage -alpha off -depth 8 \
            $PNGOPT PNG24:${name}_1920x1080_rgb8.png
        # 0.0624856... = 4095/65535: 12-bit values in a 16-bit PNG
        $convert "$src" -gravity center -crop 2560x1440+0+0 +repage -alpha off \
            -filter Lanczos -resize '1920x1080!' \
            -evaluate multiply 0.062485694666971 -depth 16 \
            $PNGOPT PNG48:${name}_1920x1080_rgb12.png
    done
    $convert $PW/EveningGlow/contents/images/2560x1600.jpg -gravity center \
        -crop 1920x1080+0+0 +repage -alpha off -grayscale Rec601Luma -depth 8 \
        -define png:color-type=0 $PNGOPT PNG:boats_1920x1080_gray8.png
    $convert $PW/Path/contents/images/2560x1600.jpg -gravity center -crop 2560x1440+0+0 +repage \
        -alpha off -filter Lanczos -resize '3840x2160!' -depth 8 \
        $PNGOPT PNG24:forest_3840x2160_rgb8.png

    LC_ALL=C sha256sum ./*.ppm ./*.pgm ./*.png > SHA256SUMS
    echo "corpus written to $out"
}

case ${1:-} in
    --ppm)
        [ $# -ge 2 ] || die "usage: make_corpus.sh --ppm DIR [CORPUS]"
        expand_ppm "$2" "${3:-$default_corpus}"
        ;;
    -h|--help)
        sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'
        ;;
    *)
        build_corpus "${1:-$default_corpus}"
        ;;
esac
