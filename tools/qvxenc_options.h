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
    std::optional<double> bpp;
    struct Crop {
        unsigned w, h, x, y;
    };
    std::optional<Crop> crop;
    bool quiet = false;
};

extern const char* const kEncUsage;

// Returns -1 when the options are good; otherwise the exit code (0 after
// --help, 2 after a usage error, whose message went to standard error).
int parse_enc_options(int argc, char** argv, EncOptions& o);
// The same, with a usage error's message in error instead of on standard error.
int parse_enc_options(int argc, char** argv, EncOptions& o, std::string& error);

}  // namespace qvxtools
