#include "qvxenc_options.h"

#include "base/format.h"
#include "cli_common.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qvxtools {

const char* const kEncUsageLine = "usage: qvxenc [options] IN [-o OUT]\n";

const char* const kEncUsage =
    "usage: qvxenc [options] IN [-o OUT]\n"
    "\n"
    "Encodes the image IN (PNG or TIFF: 8/16-bit grey, RGB, RGBA; PNM/PAM; a raw sensor\n"
    "frame with --raw; '-': standard input) into the QVX stream OUT (default: IN with\n"
    "the extension .qvx; '-': standard output) and prints the bits per pixel reached;\n"
    "lossy streams are decoded again and their PSNR printed.\n"
    "\n"
    "Frame:\n"
    "  --format F       1|gray, 2|rgb, 3|422, 4|rgba (default: from the image: grey 1,\n"
    "                   RGB 2, RGBA 4 with alpha as the fourth component). 422 takes an\n"
    "                   RGB image, turns it into video-range Y Cb Cr and averages the\n"
    "                   chroma over pixel pairs.\n"
    "  --depth D        bit depth 8, 10, 12 or 14. Default: 8 for 8-bit images; for\n"
    "                   16-bit PNG the sBIT chunk, for 16-bit TIFF its SMaxSampleValue,\n"
    "                   else the smallest of 10/12/14 that holds the largest sample; for\n"
    "                   PNM and raw input the depth of its maxval (raw: --raw-depth bits;\n"
    "                   16 counts as a 16-bit file).\n"
    "                   Samples that do not fit D bits are scaled from the file's range.\n"
    "  --stream-version N  stream version 0..65535 (default 7)\n"
    "  --kernel K       wavelet: 0..2 Haar (full, dyadic, rectangular), 3..5 5/3 (full,\n"
    "                   dyadic, rectangular), 6 none (width a multiple of 16, not with\n"
    "                   422), 7 plain (a stream the decoder rejects). Default 3. With 422\n"
    "                   and a width that is not a multiple of 8 the last two chroma\n"
    "                   columns are coded in every other 4-row band only.\n"
    "  --pred P         prediction mode 0..7 (default 0)\n"
    "  --ct MODE        colour transform. RGB frames: 0 none, 1 video range, 2 and 3\n"
    "                   irreversible, 4 reversible (default), 5 green difference,\n"
    "                   9 reversible with halved chroma, 10 YCoCg-R, 11 YCoCg-R with\n"
    "                   halved chroma. Bayer mosaics: 0 none (default), 6 Y Cb Cr per\n"
    "                   2x2 cell, 7 green difference per cell, 8 both (modes 1, 3, 4).\n"
    "                   Grey, 4:2:2 and RGBA frames carry none\n"
    "  --bayer-mode N   1..5: IN is a raw Bayer mosaic (one-channel image, even width\n"
    "                   and height), split into the coded planes of mode N; the coded\n"
    "                   size and depth follow from the mode (--depth gives the mosaic's\n"
    "                   depth). Needs stream version 4 or later; not with --bpp or\n"
    "                   --psnr.\n"
    "  --bayer-param P  with --bayer-mode only: the 2x2 arrangement 0 RGGB, 1 GRBG,\n"
    "                   2 BGGR, 3 GBRG (default 0)\n"
    "  --lut FILE       mark the stream as coded through the tone table FILE (its\n"
    "                   lut_used flag); the samples are coded as given, and the decoder\n"
    "                   needs FILE (qvxdec --lut FILE)\n"
    "Raw input:\n"
    "  --raw WxH        IN is a headerless sensor frame of W x H samples, one channel\n"
    "                   (W, H from 1 to 131072)\n"
    "  --raw-depth N    bits per raw sample, 8..16 (default 16): 8 takes one byte a\n"
    "                   sample, 9..16 two\n"
    "  --raw-endian E   byte order of two-byte raw samples: little (default) or big\n"
    "Lossy targets (default: lossless; neither with --bayer-mode):\n"
    "  --bpp X          aim at X bits per pixel, X above 0 and at most 64 (within 2 %):\n"
    "                   one quantiser per rate-control window, chosen for the least\n"
    "                   error at that size; warns when the result is more than 10 % off\n"
    "  --psnr X         the smallest stream found whose PSNR reaches X dB, X above 0\n"
    "                   and at most 200 (not with --bpp or --drain)\n"
    "  --preset P       with --bpp or --psnr, how --kernel, --ct and --pred are chosen\n"
    "                   where not given: fast (default; 5/3 dyadic, median prediction\n"
    "                   of the low band; for 8-bit RGB the irreversible colour\n"
    "                   transform, or YCoCg-R above about 47 dB; YCoCg-R for deeper\n"
    "                   samples) or best (tries the candidates on the image; several\n"
    "                   times slower)\n"
    "Rate control (default: off):\n"
    "  --drain N        bits drained per 4x4 block position, 0..65535 (0 switches rate\n"
    "                   control off; not with --bpp or --psnr)\n"
    "  --buffer-log2 N  buffer size 2^N bits (0..31)\n"
    "  --window N       rate-control window, -32768..32767 but not 0: N/4 position rows\n"
    "                   a window (negative: width/4/N positions); default 4\n"
    "  --fill N         initial buffer fill in bits, 0..4294967295 (default: half the\n"
    "                   buffer)\n"
    "  --qp LIST        up to 2163 comma-separated base quantisers, one per window\n"
    "                   (-128..127); a single value serves every window (default with\n"
    "                   --drain: 12 + 4 * (depth - 8)). Without rate control they\n"
    "                   are the quantisation indices themselves\n"
    "  --offsets LIST   16 quantiser offsets (0..255) for every component, or 16 per\n"
    "                   component: per component 4 groups (column mod 4) of 4 (row mod 4).\n"
    "                   Default: by each subband's and component's weight in the\n"
    "                   rebuilt image (2 log2 of its synthesis gain, the smallest 0)\n"
    "Other:\n"
    "  --crop WxH+X+Y   encode only the W x H region whose top left is (X, Y)\n"
    "  -o OUT           output stream ('-': standard output; the report line then goes\n"
    "                   to standard error)\n"
    "  --threads N      threads of the fast preset's searches and of the decoding that\n"
    "                   checks the stream, 0..256; 0: one per core (default 1). The\n"
    "                   stream is the same for every count\n"
    "  -q, --quiet      print nothing on success\n"
    "  -v, --verbose    also print the stage times on standard error\n"
    "  -V, --version    print the versions of qvxenc and of the decoding library\n"
    "  -h, --help       this text\n"
    "Exit status: 0 on success, 1 if the image cannot be read or encoded, 2 for a usage\n"
    "error.\n";

namespace {

[[noreturn]] void usage_error(const std::string& message) {
    throw Vantrel::QVX::enc::EncodeError(message, Vantrel::QVX::enc::EncodeError::Source::Usage);
}

bool parse_long(const std::string& s, long lo, long hi, long& v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtol(s.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && v >= lo && v <= hi;
}

template <class T>
bool parse_list(const std::string& s, long lo, long hi, std::vector<T>& out) {
    out.clear();
    size_t start = 0;
    while (true) {
        const size_t comma = s.find(',', start);
        long v;
        if (!parse_long(s.substr(start, comma - start), lo, hi, v)) return false;
        out.push_back(T(v));
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool parse_format(const std::string& s, unsigned& f) {
    static const char* kNames[5] = {"", "gray", "rgb", "422", "rgba"};
    for (unsigned i = 1; i <= 4; ++i)
        if (s == kNames[i] || s == std::to_string(i)) return f = i, true;
    if (s == "grey") return f = 1, true;
    return false;
}

std::string ct_message(const std::string& value) {
    return "--ct takes 0 to 5, 9, 10 or 11 for RGB frames, 0, 6, 7 or 8 with --bayer-mode, not '" + value + "'";
}

}  // namespace

bool parse_enc_options(int argc, char** argv, EncOptions& o) {
    struct Range {
        const char* name;
        std::optional<unsigned>* field;
        long lo, hi;
    };
    const Range ranges[] = {
        {"--stream-version", &o.version, 0, 65535}, {"--depth", &o.depth, 8, 14},
        {"--kernel", &o.kernel, 0, 7},              {"--pred", &o.pred, 0, 7},
        {"--ct", &o.ct, 0, 11},                     {"--bayer-mode", &o.bayer_mode, 0, 5},
        {"--bayer-param", &o.bayer_param, 0, 3},    {"--drain", &o.drain, 0, 65535},
        {"--buffer-log2", &o.buffer_log2, 0, 31},   {"--fill", &o.fill, 0, 4294967295L},
        {"--raw-depth", &o.raw_depth, 8, 16},
    };
    bool endian_given = false;
    bool preset = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kEncUsage, stdout);
            return false;
        }
        if (a == "--version" || a == "-V") {
            std::printf("%s\n", version_text("qvxenc").c_str());
            return false;
        }
        if (a == "-q" || a == "--quiet" || a == "-v" || a == "--verbose") {
            (a == "-q" || a == "--quiet" ? o.quiet : o.verbose) = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            if (i + 1 >= argc) usage_error(a + " needs a value");
            const std::string v = argv[++i];
            const Range* r = nullptr;
            for (const Range& candidate : ranges)
                if (a == candidate.name) r = &candidate;
            long n;
            if (r) {
                if (a == "--ct" && !parse_long(v, r->lo, r->hi, n)) usage_error(ct_message(v));
                if (!parse_long(v, r->lo, r->hi, n))
                    usage_error(a + " takes a whole number from " + std::to_string(r->lo) + " to " +
                                std::to_string(r->hi) + ", not '" + v + "'");
                if (a == "--depth" && n % 2) usage_error("--depth takes 8, 10, 12 or 14, not '" + v + "'");
                *r->field = unsigned(n);
            } else if (a == "-o") {
                o.output = v;
            } else if (a == "--lut") {
                o.lut = v;
            } else if (a == "--format") {
                unsigned f;
                if (!parse_format(v, f)) usage_error("--format takes 1|gray, 2|rgb, 3|422 or 4|rgba, not '" + v + "'");
                o.format = f;
            } else if (a == "--window") {
                if (!parse_long(v, -32768, 32767, n) || n == 0)
                    usage_error("--window takes a non-zero number from -32768 to 32767, not '" + v + "'");
                o.window = int(n);
            } else if (a == "--qp") {
                std::vector<int8_t> qp;
                if (!parse_list(v, -128, 127, qp) || qp.size() > size_t(Vantrel::QVX::kQpTableRoom))
                    usage_error("--qp takes up to 2163 comma-separated numbers from -128 to 127, not '" + v + "'");
                o.qp = qp;
            } else if (a == "--offsets") {
                std::vector<uint8_t> off;
                if (!parse_list(v, 0, 255, off) || off.size() % 16 || off.size() > 64)
                    usage_error("--offsets takes 16, 32, 48 or 64 comma-separated numbers from 0 to 255");
                o.offsets = off;
            } else if (a == "--crop") {
                unsigned w, h, x, y;
                char tail;
                if (std::sscanf(v.c_str(), "%ux%u+%u+%u%c", &w, &h, &x, &y, &tail) != 4 || w == 0 || h == 0)
                    usage_error("--crop takes WxH+X+Y, not '" + v + "'");
                o.crop = EncOptions::Crop{w, h, x, y};
            } else if (a == "--raw") {
                unsigned w, h;
                char tail;
                if (std::sscanf(v.c_str(), "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0 || w > 131072 ||
                    h > 131072 || v[0] < '0' || v[0] > '9')
                    usage_error("--raw takes WxH with W and H from 1 to 131072, not '" + v + "'");
                o.raw_width = w;
                o.raw_height = h;
            } else if (a == "--raw-endian") {
                if (v != "little" && v != "big") usage_error("--raw-endian takes little or big, not '" + v + "'");
                o.raw_big_endian = v == "big";
                endian_given = true;
            } else if (a == "--threads") {
                if (!parse_long(v, 0, 256, n))
                    usage_error("--threads takes a whole number from 0 to 256, not '" + v + "'");
                o.threads = unsigned(n);
            } else if (a == "--preset") {
                if (v != "fast" && v != "best") usage_error("--preset takes fast or best, not '" + v + "'");
                o.best = v == "best";
                preset = true;
            } else if (a == "--psnr") {
                char* end = nullptr;
                const double x = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != '\0' || !std::isfinite(x) || x <= 0 || x > 200)
                    usage_error("--psnr takes a number of dB above 0 and at most 200, not '" + v + "'");
                o.psnr = x;
            } else if (a == "--bpp") {
                char* end = nullptr;
                const double x = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != '\0' || !std::isfinite(x) || x <= 0 || x > 64)
                    usage_error("--bpp takes a number of bits per pixel above 0 and at most 64, not '" + v + "'");
                o.bpp = x;
            } else {
                usage_error("unknown option " + a);
            }
            continue;
        }
        if (!o.input.empty()) usage_error("more than one input given: " + o.input + ", " + a);
        o.input = a;
    }
    if (o.input.empty()) usage_error("no input given");
    if (o.bpp && o.drain) usage_error("--bpp and --drain exclude each other");
    if (o.psnr && (o.bpp || o.drain)) usage_error("--psnr excludes --bpp and --drain");
    if (preset && !o.bpp && !o.psnr) usage_error("--preset needs --bpp or --psnr");
    const bool bayer = o.bayer_mode.value_or(0) != 0;
    if (o.bayer_param && !bayer) usage_error("--bayer-param needs --bayer-mode 1 to 5");
    if (bayer && o.bpp) usage_error("--bpp is not available with --bayer-mode; use --drain");
    if (bayer && o.psnr) usage_error("--psnr is not available with --bayer-mode; use --drain");
    if (bayer && o.version.value_or(7) < 4) usage_error("--bayer-mode needs --stream-version 4 or later");
    if (o.ct) {
        const unsigned ct = *o.ct;
        const bool fits = bayer ? ct == 0 || (ct >= 6 && ct <= 8) : ct <= 5 || ct >= 9;
        if (!fits) usage_error(ct_message(std::to_string(ct)));
        // Modes 2 and 5 code three components, which the decoder hands to its
        // component colour stage, and that stage has no cell transforms.
        if (bayer && ct != 0 && (*o.bayer_mode == 2 || *o.bayer_mode == 5))
            usage_error("--ct " + std::to_string(ct) + " needs --bayer-mode 1, 3 or 4");
    }
    if (o.format == 3u && o.kernel == 6u) usage_error("--kernel 6 cannot carry --format 422");
    if (!o.raw_width && (o.raw_depth || endian_given)) usage_error("--raw-depth and --raw-endian need --raw WxH");
    if (o.input == "-" && o.output.empty()) usage_error("an image read from standard input needs -o");
    return true;
}

}  // namespace qvxtools
