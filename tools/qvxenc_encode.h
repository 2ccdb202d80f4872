// The encoding qvxenc performs for a set of options, shared by the tool and
// the Python binding so both take the same settings the same way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"
#include "qvx/QvxEncoder.h"
#include "qvxenc_options.h"

namespace qvxtools {

// Throws a failure of the tool, reported to the user as it stands.
[[noreturn]] inline void fail(const std::string& text) {
    throw Vantrel::QVX::enc::EncodeError(text, Vantrel::QVX::enc::EncodeError::Source::Tool);
}

struct EncResult {
    Vantrel::QVX::enc::EncodedImage encoded;
    Vantrel::QVX::enc::EncoderSettings settings;  // as the stream carries them
    unsigned depth = 0;                           // of the coded image, or of the mosaic
    unsigned format = 0;                          // component format; 0 for a Bayer mosaic
    Vantrel::QVX::enc::ImagePlanes planes;        // the image samples coded
    std::vector<uint16_t> mosaic;                 // the mosaic coded
};

// Encodes image (already cropped) as the options ask: as a Bayer mosaic
// when bayer_mode is set, else as an image. Throws EncodeError: the tool's
// own failures and the encoder's.
EncResult encode_for_options(const EncOptions& o, const Image& image);

}  // namespace qvxtools
