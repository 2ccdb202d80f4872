#include "qvxenc_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qvxtools {

const char* const kEncUsage =
    "usage: qvxenc [options] IN [-o OUT]\n"
    "\n"
    "Encodes the image IN (PNG: 8/16-bit grey, RGB, RGBA; PNM/PAM) into the QVX stream\n"
    "OUT (default: IN with the extension .qvx) and prints the bits per pixel reached;\n"
    "lossy streams are decoded again and their PSNR printed.\n"
    "\n"
    "Frame:\n"
    "  --format F       1|gray, 2|rgb, 3|422, 4|rgba (default: from the image: grey 1,\n"
    "                   RGB 2, RGBA 4 with alpha as the fourth component). 422 takes an\n"
    "                   RGB image, turns it into video-range Y Cb Cr and averages the\n"
    "                   chroma over pixel pairs.\n"
    "  --depth D        bit depth 8, 10, 12 or 14. Default: 8 for 8-bit images; for\n"
    "                   16-bit PNG the sBIT chunk, else the smallest of 10/12/14 that\n"
    "                   holds the largest sample; for PNM the depth of its maxval.\n"
    "                   Samples that do not fit D bits are scaled from the file's range.\n"
    "  --version N      stream version 0..65535 (default 7)\n"
    "  --kernel K       wavelet: 0..2 Haar (full, dyadic, rectangular), 3..5 5/3 (full,\n"
    "                   dyadic, rectangular), 6 none (width a multiple of 16), 7 plain\n"
    "                   (a stream the decoder rejects). Default 3. With 422 and a\n"
    "                   width that is not a multiple of 8 the last two chroma columns\n"
    "                   are coded in every other 4-row band only.\n"
    "  --pred P         prediction mode 0..15 (default 0)\n"
    "  --ct MODE        colour transform of RGB frames: 0 none, 1 video range, 2 and 3\n"
    "                   irreversible, 4 reversible (default), 5 green difference,\n"
    "                   9 reversible with halved chroma, 10 YCoCg-R, 11 YCoCg-R with\n"
    "                   halved chroma\n"
    "  --bayer-mode N   1..5: IN is a raw Bayer mosaic (one-channel PGM or PNG, even\n"
    "                   width and height), split into the coded planes of mode N; the\n"
    "                   coded size and depth follow from the mode (--depth gives the\n"
    "                   mosaic's depth). Needs version 4 or later. --bpp is not available.\n"
    "  --bayer-param P  Bayer parameter: the 2x2 arrangement (0 RGGB, 1 GRBG, 2 BGGR,\n"
    "                   3 GBRG), and for mode 2 the plane it rebuilds\n"
    "  --lut FILE       mark the stream as coded through the tone table FILE (its\n"
    "                   lut_used flag); the samples are coded as given, and the decoder\n"
    "                   needs FILE (qvxdec --lut FILE)\n"
    "Rate control (default: off, lossless):\n"
    "  --bpp X          aim at X bits per pixel: sets the drain, buffer and quantiser\n"
    "                   table and re-encodes a few times to land near X\n"
    "  --drain N        bits drained per 4x4 block position (0 switches rate control off)\n"
    "  --buffer-log2 N  buffer size 2^N bits (0..31)\n"
    "  --window N       rate-control window: N/4 position rows a window (negative:\n"
    "                   width/4/N positions); default 4\n"
    "  --fill N         initial buffer fill in bits (default: half the buffer)\n"
    "  --qp LIST        comma-separated base quantisers, one per window (-128..127);\n"
    "                   a single value serves every window (default with --drain:\n"
    "                   12 + 4 * (depth - 8)). Without rate control they\n"
    "                   are the quantisation indices themselves\n"
    "  --offsets LIST   16 quantiser offsets (0..255) for every component, or 16 per\n"
    "                   component: per component 4 groups (column mod 4) of 4 (row mod 4).\n"
    "                   Default for kernels 0..5: finer steps for the low-pass bands\n"
    "                   (per axis 6, 0, 2, 0 by column or row mod 4, summed); else 0\n"
    "Other:\n"
    "  --crop WxH+X+Y   encode only the W x H region whose top left is (X, Y)\n"
    "  -o OUT           output stream\n"
    "  -q, --quiet      print nothing on success\n"
    "  --help           this text\n"
    "Exit status: 0 on success, 1 if the image cannot be read or encoded, 2 for a usage\n"
    "error.\n";

namespace {

int usage_error(std::string& error, const std::string& message) {
    error = message;
    return 2;
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

}  // namespace

int parse_enc_options(int argc, char** argv, EncOptions& o) {
    std::string error;
    const int code = parse_enc_options(argc, argv, o, error);
    if (code == 2) std::fprintf(stderr, "qvxenc: %s\n(qvxenc --help lists the options)\n", error.c_str());
    return code;
}

int parse_enc_options(int argc, char** argv, EncOptions& o, std::string& error) {
    struct Range {
        const char* name;
        std::optional<unsigned>* field;
        long lo, hi;
    };
    const Range ranges[] = {
        {"--version", &o.version, 0, 65535},     {"--depth", &o.depth, 8, 14},
        {"--kernel", &o.kernel, 0, 7},           {"--pred", &o.pred, 0, 15},
        {"--ct", &o.ct, 0, 15},                  {"--bayer-mode", &o.bayer_mode, 0, 255},
        {"--bayer-param", &o.bayer_param, 0, 255}, {"--drain", &o.drain, 0, 65535},
        {"--buffer-log2", &o.buffer_log2, 0, 31}, {"--fill", &o.fill, 0, 4294967295L},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kEncUsage, stdout);
            return 0;
        }
        if (a == "-q" || a == "--quiet") {
            o.quiet = true;
            continue;
        }
        if (a.size() > 1 && a[0] == '-') {
            if (i + 1 >= argc) return usage_error(error, a + " needs a value");
            const std::string v = argv[++i];
            const Range* r = nullptr;
            for (const Range& candidate : ranges)
                if (a == candidate.name) r = &candidate;
            long n;
            if (r) {
                if (!parse_long(v, r->lo, r->hi, n))
                    return usage_error(error, a + " takes a whole number from " + std::to_string(r->lo) + " to " +
                                       std::to_string(r->hi) + ", not '" + v + "'");
                if (a == "--depth" && n % 2) return usage_error(error, "--depth takes 8, 10, 12 or 14, not '" + v + "'");
                *r->field = unsigned(n);
            } else if (a == "-o") {
                o.output = v;
            } else if (a == "--lut") {
                o.lut = v;
            } else if (a == "--format") {
                unsigned f;
                if (!parse_format(v, f)) return usage_error(error, "--format takes 1|gray, 2|rgb, 3|422 or 4|rgba, not '" + v + "'");
                o.format = f;
            } else if (a == "--window") {
                if (!parse_long(v, -32768, 32767, n) || n == 0)
                    return usage_error(error, "--window takes a non-zero number from -32768 to 32767, not '" + v + "'");
                o.window = int(n);
            } else if (a == "--qp") {
                std::vector<int8_t> qp;
                if (!parse_list(v, -128, 127, qp) || qp.size() > 2163)
                    return usage_error(error, "--qp takes up to 2163 comma-separated numbers from -128 to 127, not '" + v + "'");
                o.qp = qp;
            } else if (a == "--offsets") {
                std::vector<uint8_t> off;
                if (!parse_list(v, 0, 255, off) || off.size() % 16 || off.size() > 64)
                    return usage_error(error, "--offsets takes 16, 32, 48 or 64 comma-separated numbers from 0 to 255");
                o.offsets = off;
            } else if (a == "--crop") {
                unsigned w, h, x, y;
                char tail;
                if (std::sscanf(v.c_str(), "%ux%u+%u+%u%c", &w, &h, &x, &y, &tail) != 4 || w == 0 || h == 0)
                    return usage_error(error, "--crop takes WxH+X+Y, not '" + v + "'");
                o.crop = EncOptions::Crop{w, h, x, y};
            } else if (a == "--bpp") {
                char* end = nullptr;
                const double x = std::strtod(v.c_str(), &end);
                if (v.empty() || *end != '\0' || !std::isfinite(x) || x <= 0 || x > 64)
                    return usage_error(error, "--bpp takes a number of bits per pixel above 0 and at most 64, not '" + v + "'");
                o.bpp = x;
            } else {
                return usage_error(error, "unknown option " + a);
            }
            continue;
        }
        if (!o.input.empty()) return usage_error(error, "more than one input given: " + o.input + ", " + a);
        o.input = a;
    }
    if (o.input.empty()) return usage_error(error, "no input given");
    if (o.bpp && o.drain) return usage_error(error, "--bpp and --drain exclude each other");
    return -1;
}

}  // namespace qvxtools
