// Command line of qvxenc: every header setting, the rate target and the
// file names, parsed and range-checked before anything is read.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qvx/QvxEncoder.h"

namespace qvxtools {

struct EncOptions {
    std::string input, output, lut;
    // Explicitly given settings; unset ones get defaults from the image.
    std::optional<unsigned> version, format, depth, kernel, pred, ct, bayer_mode, bayer_param;
    std::optional<unsigned> drain, buffer_log2, fill;
    std::optional<int> window;
    std::optional<std::vector<int8_t>> qp;
    std::optional<std::vector<uint8_t>> offsets;  // 16 (every component) or 16 per component
    std::optional<double> bpp, psnr;
    bool best = false;  // --preset best
    struct Crop {
        unsigned w, h, x, y;
    };
    std::optional<Crop> crop;
    // Raw sensor input: one channel of raw_width x raw_height samples.
    std::optional<unsigned> raw_width, raw_height, raw_depth;
    bool raw_big_endian = false;
    unsigned threads = 1;  // of the fast preset's searches and the decoding that checks the stream
    bool quiet = false;
    bool verbose = false;
};

extern const char* const kEncUsage;
extern const char* const kEncUsageLine;

// Returns true when the options are good, false after --help or --version
// (their text printed). Throws a usage error as EncodeError of source Usage.
bool parse_enc_options(int argc, char** argv, EncOptions& o);

}  // namespace qvxtools
